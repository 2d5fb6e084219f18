#include "CatalogueOps.h"

#include <QLocale>
#include <QTime>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "Errors.h"
#include "PathOps.h"
#include "StringOps.h"
#include "XMLFile.h"
#include "XMLOps.h"

namespace {

// Column names of the Main row, in the order of its values.
const std::array<const char*, 39> kMainColumns = {
    "RecordNumber", "PathFile", "FileName", "FileExt", "Thumbnail", "FileType",
    "ProdName", "ProdEdition", "ProdDesc", "ProdURL", "CreatorURL", "CreatorName",
    "CreatorNameLong", "CreationDate", "ModifDate", "Remarks", "Rights", "RightURL",
    "RightID", "Scale", "Unit", "ProviderName", "ProviderNameLong", "ProviderURL",
    "ASITVD", "Theme", "Location", "aLeft", "aRight", "aBottom", "aTop", "West",
    "East", "North", "South", "Loc", "Thematic", "Source", "DatasetSizeMB"};

// The mapped text fields of the row, columns 7 to 27, in column order.
const std::array<FieldIndex, 21> kTextFields = {
    fiProdName, fiProdEdition, fiProdDesc, fiProdURL, fiCreatorURL, fiCreatorName,
    fiCreatorNameLong, fiCreationDate, fiModifDate, fiRemarks, fiRights, fiRightURL,
    fiRightID, fiScale, fiUnit, fiProviderName, fiProviderNameLong, fiProviderURL,
    fiASITVD, fiTheme, fiLocation};

// The coordinate fields, columns 28 to 35.
const std::array<FieldIndex, 8> kCoordinateFields = {
    fiLeft, fiRight, fiBottom, fiTop, fiWest, fiEast, fiNorth, fiSouth};

constexpr char kCatalogueDelim = '\\';

std::string quoted(std::string_view text)
{
    return "'" + SqlEscape(text) + "'";
}

// Elements [from, to] joined by ","; empty when the range is.
std::string joinRange(const tVectorOfString& parts, int from, int to)
{
    std::string list;
    for (int i = std::max(from, 0); i <= to && i < static_cast<int>(parts.size()); ++i)
        list += parts[static_cast<size_t>(i)] + ",";
    return DropLastChar(list);
}

std::string coordinateValue(const tXMLDocument& doc, const FieldMapEntry& entry)
{
    // An unconfigured field reads like a missing element.
    const std::string text = entry.XML_Path.empty() ? std::string() : doc.GetNodeText(entry.XML_Path);
    return FormatGeneral(ParseCoordinate(text));
}

// "REPLACE INTO <table>(Data) VALUES ('a'),('b');"; none without rows.
template <typename Texts>
std::optional<std::string> dataRowsStatement(const std::string& table, const Texts& rows)
{
    if (rows.empty())
        return std::nullopt;
    std::string statement = "REPLACE INTO " + table + "(Data) VALUES ";
    for (const std::string& row : rows)
        statement += "(" + quoted(row) + "),";
    statement.back() = ';';
    return statement;
}

} // namespace

std::string SqlEscape(std::string_view text)
{
    // Backslashes first, so that the ones escaping quotes stay single.
    std::string escaped = ReplaceAll(text, "\\", "\\\\");
    escaped = ReplaceAll(escaped, "'", "\\'");
    return ReplaceAll(escaped, "\n\n", "<br>");
}

std::string FormatGeneral(double value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0";

    // 15 significant digits, rounded once; to_chars ignores the locale.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::scientific, 14);
    const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    const bool negative = text.front() == '-';
    const std::string_view body = negative ? text.substr(1) : text;
    const size_t e = body.find('e');
    std::string digits;
    for (char c : body.substr(0, e))
        if (c != '.')
            digits.push_back(c);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const int exponent = std::atoi(std::string(body.substr(e + 1)).c_str());

    std::string formatted = negative ? "-" : "";
    if (exponent >= -4 && exponent < 15) {
        if (exponent >= 0) {
            const size_t intDigits = static_cast<size_t>(exponent) + 1;
            std::string intPart = digits.substr(0, std::min(intDigits, digits.size()));
            intPart.resize(intDigits, '0');
            formatted += intPart;
            if (digits.size() > intDigits)
                formatted += "." + digits.substr(intDigits);
        } else {
            formatted += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
        }
    } else {
        formatted += digits.substr(0, 1);
        if (digits.size() > 1)
            formatted += "." + digits.substr(1);
        formatted += "E";
        if (exponent < 0)
            formatted += "-";
        formatted += std::to_string(std::abs(exponent));
    }
    return formatted;
}

double ParseCoordinate(std::string text)
{
    text = Trim(text);
    std::string_view number = text;
    if (!number.empty() && number.front() == '+') {
        number.remove_prefix(1);
        if (!number.empty() && number.front() == '-')
            return 0;
    }
    if (number.empty())
        return 0;
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                        std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != number.data() + number.size() || !std::isfinite(value))
        return 0;
    return value;
}

int64_t RecordNumberOf(const QDate& date, int msecsSinceMidnight)
{
    // Whole milliseconds times 10^10 / 86 400 000, i.e. times 100 000 / 864:
    // integers only, so no rounding error creeps into the key.
    const int64_t days = QDate(1899, 12, 30).daysTo(date);
    const int64_t msecs = days * 86400000 + msecsSinceMidnight;
    return msecs * 100000 / 864;
}

int64_t RecordNumberNow()
{
    static std::atomic<int64_t> lastIssued{0};
    const QDateTime now = QDateTime::currentDateTime();
    int64_t number = RecordNumberOf(now.date(), now.time().msecsSinceStartOfDay());
    // The record number is the key of Main: two data sets written within the
    // same millisecond (easily reached on a fast local server) would
    // otherwise replace each other's row.
    int64_t last = lastIssued.load();
    do {
        if (number <= last)
            number = last + 1;
    } while (!lastIssued.compare_exchange_weak(last, number));
    return number;
}

std::string DateTimeText(const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (when.time() != QTime(0, 0))
        format += QLatin1Char(' ') + locale.timeFormat(QLocale::LongFormat);
    return locale.toString(when, format).toStdString();
}

std::string NormalisedServerRoot(std::string_view serverRoot)
{
    // All trailing separators go, so the file-system root becomes the empty
    // prefix: the first folder below "/" is then the first folder of a path.
    std::string root(serverRoot);
    while (!root.empty() && root.back() == PathDelim)
        root.pop_back();
    return root;
}

int FirstFolderNumber(const std::string& dir, const std::string& serverRoot)
{
    const size_t start = NormalisedServerRoot(serverRoot).size() + 1;
    if (start >= dir.size())
        return 999;
    std::string_view pair = std::string_view(dir).substr(start, 2);
    if (!pair.empty() && pair.front() == '+')
        pair.remove_prefix(1);
    int number = 0;
    const auto result = std::from_chars(pair.data(), pair.data() + pair.size(), number);
    if (pair.empty() || result.ec != std::errc() || result.ptr != pair.data() + pair.size())
        return 999;
    return number;
}

std::string QuotedFieldValue(const tXMLDocument& doc, const FieldMapEntry& entry)
{
    if (entry.XML_Path.empty())
        return "''";
    return quoted(doc.GetNodeTextAt(entry.XML_Path, entry.Offset));
}

int FirstThemeIndex(const tVectorOfString& parts, const tVectorOfString& themes)
{
    for (size_t i = 0; i < parts.size(); ++i)
        if (FindSorted(themes, parts[i]) >= 0)
            return static_cast<int>(i);
    return -1;
}

int LastThemeIndex(const tVectorOfString& parts, const tVectorOfString& themes)
{
    for (size_t i = parts.size(); i-- > 0;)
        if (FindSorted(themes, parts[i]) >= 0)
            return static_cast<int>(i);
    return -1;
}

UploadContext::UploadContext(tVectorOfString themes)
    : m_themes(std::move(themes)), m_collator(QLocale::system())
{
    SortStrings(m_themes);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

void UploadContext::addSource(const std::string& source)
{
    const QString key = QString::fromStdString(source);
    const auto less = [this](const std::string& element, const QString& k) {
        return m_collator.compare(QString::fromStdString(element), k) < 0;
    };
    const auto at = std::lower_bound(m_sources.begin(), m_sources.end(), key, less);
    if (at != m_sources.end() && m_collator.compare(QString::fromStdString(*at), key) == 0)
        return;
    m_sources.insert(at, source);
}

FolderClassification ClassifyFolderPath(const std::string& dir, const std::string& serverRoot,
                                        const tVectorOfString& themes)
{
    const std::string root = CatalogueSeparators(NormalisedServerRoot(serverRoot));
    std::string rel = ReplaceFirst(LowerAscii(CatalogueSeparators(dir)),
                                   LowerAscii(root) + kCatalogueDelim, "");
    if (!rel.empty() && rel.back() == kCatalogueDelim)
        rel = DropLastChar(rel);
    // A data set in the root folder itself lies below no folder at all.
    tVectorOfString parts = rel.empty() ? tVectorOfString() : SplitString(rel, kCatalogueDelim);

    const int count = static_cast<int>(parts.size());
    int first = FirstThemeIndex(parts, themes);
    int last = LastThemeIndex(parts, themes);
    if (first == -1) {
        first = count;
        last = count - 1;
    }

    FolderClassification result;
    FolderLists& lists = result.Lists;
    std::string locations = "world,";
    std::string parents = "\\10_world\\,";
    for (int j = 0; j < first; ++j) {
        std::string& part = parts[static_cast<size_t>(j)];
        if (part != "all" && part != "10_world")
            parents += "\\" + part + "\\all\\,";
        if (part.size() >= 3 && part[2] == '_')
            part = DropFirstChars(part, 3);
        if (part != "all") {
            locations += part + ",";
        } else {
            // An "all" folder directly below the root covers the whole world,
            // as one below a country covers the whole country: world_all.
            const std::string& owner = j > 0 ? parts[static_cast<size_t>(j - 1)] : std::string("world");
            locations += owner + "_all,";
        }
    }
    lists.LocationList = DropLastChar(locations);
    if (lists.LocationList == "world,world")
        lists.LocationList = "world";
    lists.ParentList = DropLastChar(parents);

    // Without a place folder (the first folder is a theme, or there is no
    // folder) the data set names no place of its own: a row for it would
    // claim a world folder this server need not have, so none is written.
    if (first > 0) {
        const std::string name = SqlEscape(parts[static_cast<size_t>(first - 1)]);
        if (name != "all")
            result.LocationsStatement = "INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('" + name +
                                        "','" + SqlEscape(lists.ParentList) + "');";
    }

    lists.ThemeList = joinRange(parts, first, last);
    lists.SourceList = joinRange(parts, last + 1, count - 1);
    for (int i = last + 1; i < count; ++i)
        result.Sources.push_back(parts[static_cast<size_t>(i)]);
    return result;
}

FolderLists ClassifyFolders(const tXMLFile& dataset, const std::string& serverRoot,
                            UploadContext& context, const StatementExecutor& execute)
{
    FolderClassification classification = ClassifyFolderPath(dataset.Dir, serverRoot, context.themes());
    if (classification.LocationsStatement)
        execute(*classification.LocationsStatement);
    for (const std::string& source : classification.Sources)
        context.addSource(source);
    return classification.Lists;
}

std::string BuildCatalogueRecord(const tXMLFile& dataset, const std::string& serverRoot,
                                 const FolderLists& lists, int64_t recordNumber)
{
    if (!dataset.Doc)
        throw EInvalidOperation("The metadata document of " + dataset.DataPath() + " is not open.");
    const tXMLDocument& doc = *dataset.Doc;
    const std::string root = CatalogueSeparators(NormalisedServerRoot(serverRoot));
    const std::string category =
        dataset.Category < CategoryNames.size() ? CategoryNames[dataset.Category] : CategoryNames[0];

    std::vector<std::string> values;
    values.reserve(kMainColumns.size());
    values.push_back(std::to_string(recordNumber));
    values.push_back(quoted(DropFirstChars(CatalogueSeparators(dataset.Dir), static_cast<int>(root.size()))));
    values.push_back(quoted(CatalogueSeparators(dataset.Name)));
    values.push_back(quoted(dataset.Ext));
    FieldMapEntry thumbnail = FieldMap[fiThumbnail];
    thumbnail.Offset = 0;
    values.push_back(QuotedFieldValue(doc, thumbnail));
    values.push_back("'" + category + "'");
    for (FieldIndex field : kTextFields)
        values.push_back(QuotedFieldValue(doc, FieldMap[field]));
    for (FieldIndex field : kCoordinateFields)
        values.push_back(coordinateValue(doc, FieldMap[field]));
    values.push_back(quoted(lists.LocationList));
    values.push_back(quoted(lists.ThemeList));
    values.push_back(quoted(lists.SourceList));
    values.push_back(FormatGeneral(dataset.GetSizeMB()));

    std::string statement = "REPLACE INTO Main(";
    for (size_t i = 0; i < kMainColumns.size(); ++i)
        statement += (i ? "," : "") + std::string(kMainColumns[i]);
    statement += ") VALUES(";
    for (size_t i = 0; i < values.size(); ++i)
        statement += (i ? "," : "") + values[i];
    statement += ")";
    return statement;
}

std::string BuildCatalogueRecord(const tXMLFile& dataset, const std::string& serverRoot,
                                 const FolderLists& lists)
{
    return BuildCatalogueRecord(dataset, serverRoot, lists, RecordNumberNow());
}

void WriteCatalogueRecord(const tXMLFile& dataset, const std::string& serverRoot,
                          const FolderLists& lists, const StatementExecutor& execute)
{
    execute(BuildCatalogueRecord(dataset, serverRoot, lists));
}

std::optional<std::string> ThemesStatement(const UploadContext& context)
{
    // With no theme configured the statement would have no row, which the
    // server refuses; there is then nothing to write.
    return dataRowsStatement("Themes", context.themes());
}

std::optional<std::string> SourcesStatement(const UploadContext& context)
{
    return dataRowsStatement("Sources", context.sources());
}
