#include "catalogue/CatalogueOps.h"

#include <libxml/tree.h>

#include <QLocale>
#include <QTime>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "support/Errors.h"
#include "support/PathOps.h"
#include "support/StringOps.h"
#include "model/XMLFile.h"
#include "xml/XMLOps.h"

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

// SqlEscape(text) appended to `out`, in one pass: the three replacements
// never touch each other's characters, so doing them at once gives the same
// text as doing them in turn.
void appendEscaped(std::string& out, std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\'') {
            out += "\\'";
        } else if (c == '\n' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "<br>";
            ++i;
        } else {
            out += c;
        }
    }
}

// A native path or name as catalogue text: each component decoded by the
// file-name rule (UTF-8 when valid, else windows-1252), then '\' as
// separator. The statement is sent as UTF-8, so a name's Latin-1 bytes
// would otherwise reach the server as U+FFFD. The root and a folder below
// it decode alike component by component, so the root stays a prefix.
std::string catalogueText(std::string_view path)
{
    return CatalogueSeparators(DecodeFileNameUtf8(path));
}

void appendQuoted(std::string& out, std::string_view text)
{
    out += '\'';
    appendEscaped(out, text);
    out += '\'';
}

std::string quoted(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + 2);
    appendQuoted(result, text);
    return result;
}

// Elements [from, to] joined by ","; empty when the range is.
std::string joinRange(const tVectorOfString& parts, int from, int to)
{
    std::string list;
    for (int i = std::max(from, 0); i <= to && i < static_cast<int>(parts.size()); ++i)
        list += parts[static_cast<size_t>(i)] + ",";
    return DropLastChar(list);
}

// The steps of a path made only of element names (ASCII letters, digits,
// "_", "-", ".", not starting with a digit, "-" or ".") and "*" steps;
// nothing for any other path.
std::optional<std::vector<std::string>> nameSteps(std::string_view path)
{
    std::vector<std::string> steps;
    size_t start = 0;
    while (true) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string_view step = path.substr(start, end - start);
        if (step != "*") {
            if (step.empty())
                return std::nullopt;
            const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
            if (!letter(step.front()))
                return std::nullopt;
            for (char c : step)
                if (!letter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.')
                    return std::nullopt;
        }
        steps.emplace_back(step);
        if (end == path.size())
            return steps;
        start = end + 1;
    }
}

// The paths a row reads: every configured path of the thumbnail, the text
// fields and the coordinates (these with one trailing "/" dropped, as
// GetNodeText drops it), fallbacks included.
using RowPaths = std::vector<std::string_view>;

std::string_view anywherePath(std::string_view path)
{
    if (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

void addEntryPaths(RowPaths& paths, const FieldMapEntry& entry, bool anywhere)
{
    paths.push_back(anywhere ? anywherePath(entry.XML_Path) : std::string_view(entry.XML_Path));
    for (const std::string& path : entry.FallbackPaths)
        paths.push_back(anywhere ? anywherePath(path) : std::string_view(path));
}

RowPaths rowPaths()
{
    RowPaths paths;
    paths.reserve(2 * (1 + kTextFields.size() + kCoordinateFields.size()));
    addEntryPaths(paths, FieldMap[fiThumbnail], false);
    for (FieldIndex field : kTextFields)
        addEntryPaths(paths, FieldMap[field], false);
    for (FieldIndex field : kCoordinateFields)
        addEntryPaths(paths, FieldMap[field], true);
    return paths;
}

// Where a row's fields live: each distinct path parsed into its steps and
// indexed by its last step, so that each element of a document is looked
// up once instead of being compared with every path. Kept while the field
// map stays the same.
class FieldPlan {
public:
    static const FieldPlan& of(const RowPaths& paths)
    {
        static thread_local std::unique_ptr<FieldPlan> plan;
        if (!plan || !plan->isFor(paths))
            plan.reset(new FieldPlan(paths));
        return *plan;
    }

    struct Path {
        std::string text;
        std::vector<std::string> steps;
        bool simple = false; // names and "*" only: matched by FieldReader
    };

    const std::vector<Path>& paths() const { return m_parsed; }
    // The distinct path whose text is `path`; -1 for one the plan was not
    // made for (or an empty one).
    int indexOf(std::string_view path) const
    {
        const auto it = m_index.find(path);
        return it == m_index.end() ? -1 : it->second;
    }
    // The simple paths whose last step names `name`, and those ending in "*".
    const std::vector<size_t>* endingIn(std::string_view name) const
    {
        const auto it = m_byLastName.find(name);
        return it == m_byLastName.end() ? nullptr : &it->second;
    }
    const std::vector<size_t>& endingInAny() const { return m_endingInAny; }

private:
    explicit FieldPlan(const RowPaths& paths)
    {
        m_parsed.reserve(paths.size());
        for (std::string_view given : paths) {
            m_given.emplace_back(given);
            if (given.empty() || indexOf(given) >= 0)
                continue;
            Path parsed;
            parsed.text = std::string(given);
            if (std::optional<std::vector<std::string>> steps = nameSteps(given)) {
                parsed.steps = std::move(*steps);
                parsed.simple = true;
            }
            m_parsed.push_back(std::move(parsed));
            // Keys view the texts of m_parsed, which never reallocates (reserved).
            m_index.emplace(m_parsed.back().text, static_cast<int>(m_parsed.size() - 1));
        }
        for (size_t i = 0; i < m_parsed.size(); ++i) {
            if (!m_parsed[i].simple)
                continue;
            const std::string& last = m_parsed[i].steps.back();
            if (last == "*")
                m_endingInAny.push_back(i);
            else
                m_byLastName[last].push_back(i);
        }
    }

    bool isFor(const RowPaths& paths) const
    {
        if (paths.size() != m_given.size())
            return false;
        for (size_t k = 0; k < paths.size(); ++k)
            if (m_given[k] != paths[k])
                return false;
        return true;
    }

    std::vector<std::string> m_given;
    std::unordered_map<std::string_view, int> m_index;
    std::vector<Path> m_parsed;
    // Keys view the steps of m_parsed, which never move after construction.
    std::unordered_map<std::string_view, std::vector<size_t>> m_byLastName;
    std::vector<size_t> m_endingInAny;
};

// The mapped fields of one metadata document, read in one walk over its
// elements. A row reads some thirty fields; asking the document for each in
// turn evaluated an XPath expression per field, each walking the whole
// document, which made reading the metadata cost more than sending the row.
// Paths of element names and "*" steps are matched here as the XPath
// "//" + path matches them (a name step matches an element of that name in
// no namespace, "*" any element; elements inside entity references are not
// reached); any other path is asked of the document itself.
class FieldReader {
public:
    FieldReader(const tXMLDocument& doc, const FieldPlan& plan) : m_doc(doc), m_plan(plan)
    {
        m_matches.reserve(64);
        for (xmlNode* node = xmlDocGetRootElement(doc.DOMDocument()); node; node = next(node)) {
            if (node->type != XML_ELEMENT_NODE)
                continue;
            if (const std::vector<size_t>* named = plan.endingIn(reinterpret_cast<const char*>(node->name)))
                for (size_t i : *named)
                    if (node->ns == nullptr && matches(node, plan.paths()[i].steps))
                        m_matches.push_back({i, node});
            for (size_t i : plan.endingInAny())
                if (matches(node, plan.paths()[i].steps))
                    m_matches.push_back({i, node});
        }
    }

    // GetNodeTextAt(given, offset) of one of the row's paths.
    std::string textAt(const std::string& given, unsigned offset) const
    {
        const int i = m_plan.indexOf(given);
        if (i < 0 || !m_plan.paths()[static_cast<size_t>(i)].simple)
            return m_doc.GetNodeTextAt(given, offset);
        // The matches of all paths, in document order.
        for (const auto& [path, node] : m_matches)
            if (path == static_cast<size_t>(i) && offset-- == 0)
                return nodeText(node);
        return {};
    }

    // GetNodeText(given) of one of the row's paths.
    std::string text(const std::string& given) const
    {
        const std::string_view path = anywherePath(given);
        const int i = m_plan.indexOf(path);
        if (i < 0 || !m_plan.paths()[static_cast<size_t>(i)].simple)
            return m_doc.GetNodeText(given);
        return textAt(std::string(path), 0);
    }

private:
    static bool stepMatches(const xmlNode* node, const std::string& step)
    {
        if (node->type != XML_ELEMENT_NODE)
            return false;
        if (step == "*")
            return true;
        return node->ns == nullptr && std::strcmp(reinterpret_cast<const char*>(node->name), step.c_str()) == 0;
    }

    // The node and its ancestors match the steps from the last backwards.
    static bool matches(const xmlNode* node, const std::vector<std::string>& steps)
    {
        for (size_t i = steps.size(); i-- > 0; node = node->parent)
            if (!node || !stepMatches(node, steps[i]))
                return false;
        return true;
    }

    // The next element in document order: the first child element, else
    // the next sibling element of the node or of its nearest ancestor.
    static xmlNode* next(xmlNode* node)
    {
        for (xmlNode* child = node->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE)
                return child;
        for (; node && node->type == XML_ELEMENT_NODE; node = node->parent)
            for (xmlNode* sibling = node->next; sibling; sibling = sibling->next)
                if (sibling->type == XML_ELEMENT_NODE)
                    return sibling;
        return nullptr;
    }

    // GetNodeText's reading of an element: its first child's text when that
    // child is a text node, else "".
    static std::string nodeText(const xmlNode* node)
    {
        const xmlNode* first = node->children;
        if (first && first->type == XML_TEXT_NODE && first->content)
            return reinterpret_cast<const char*>(first->content);
        return {};
    }

    const tXMLDocument& m_doc;
    const FieldPlan& m_plan;
    std::vector<std::pair<size_t, const xmlNode*>> m_matches; // (path, element), in document order
};

// The row's text field `entry`, read with the field map's precedence over
// its paths (an unconfigured field reads like a missing element: '').
void appendField(std::string& out, const FieldReader& fields, const FieldMapEntry& entry, unsigned offset)
{
    appendQuoted(out, ReadFieldWith(entry, [&](const std::string& path) { return fields.textAt(path, offset); }));
}

std::string coordinateValue(const FieldReader& fields, const FieldMapEntry& entry)
{
    return FormatGeneral(
        ParseCoordinate(ReadFieldWith(entry, [&](const std::string& path) { return fields.text(path); })));
}

// "REPLACE INTO Main(<the 39 columns>) VALUES(".
const std::string& mainStatementHead()
{
    static const std::string head = [] {
        std::string text = "REPLACE INTO Main(";
        for (size_t i = 0; i < kMainColumns.size(); ++i)
            text += (i ? "," : "") + std::string(kMainColumns[i]);
        return text + ") VALUES(";
    }();
    return head;
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
    std::string escaped;
    escaped.reserve(text.size());
    appendEscaped(escaped, text);
    return escaped;
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
    return quoted(ReadFieldWith(entry, [&](const std::string& path) { return doc.GetNodeTextAt(path, entry.Offset); }));
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
    // Folder names become catalogue texts: decoded one by one (a UTF-8
    // folder may hold a Latin-1 one), as the tree shows them.
    const std::string root = catalogueText(NormalisedServerRoot(serverRoot));
    std::string rel = ReplaceFirst(LowerAscii(catalogueText(dir)),
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
    return ApplyFolderClassification(ClassifyFolderPath(dataset.Dir, serverRoot, context.themes()), context,
                                     execute);
}

FolderLists ApplyFolderClassification(FolderClassification classification, UploadContext& context,
                                      const StatementExecutor& execute)
{
    if (classification.LocationsStatement)
        execute(*classification.LocationsStatement);
    for (const std::string& source : classification.Sources)
        context.addSource(source);
    return std::move(classification.Lists);
}

CatalogueItem CatalogueItemOf(const tXMLFile& dataset)
{
    return {dataset.Dir, dataset.Name, dataset.Ext, dataset.Category, dataset.GetSizeMB()};
}

CataloguePlace CataloguePlaceOf(const CatalogueItem& item, const std::string& serverRoot)
{
    return {CataloguePathFile(item.Dir, serverRoot), CatalogueFileName(item.Name)};
}

std::string CataloguePathFile(const std::string& dir, const std::string& serverRoot)
{
    const std::string root = catalogueText(NormalisedServerRoot(serverRoot));
    return DropFirstChars(catalogueText(dir), static_cast<int>(root.size()));
}

std::string CatalogueFileName(const std::string& name)
{
    return catalogueText(name);
}

std::string BuildCatalogueRecord(const tXMLFile& dataset, const std::string& serverRoot,
                                 const FolderLists& lists, int64_t recordNumber)
{
    if (!dataset.Doc)
        throw EInvalidOperation("The metadata document of " + dataset.DataPath() + " is not open.");
    return BuildCatalogueRecord(*dataset.Doc, CatalogueItemOf(dataset), serverRoot, lists, recordNumber);
}

void ReplaceRecordNumber(std::string& statement, int64_t recordNumber)
{
    const size_t start = mainStatementHead().size();
    const size_t end = statement.find(',', start);
    if (statement.compare(0, start, mainStatementHead()) != 0 || end == std::string::npos)
        throw EInvalidOperation("Not a catalogue row statement: " + statement.substr(0, 200));
    statement.replace(start, end - start, std::to_string(recordNumber));
}

std::string BuildCatalogueRecord(const tXMLDocument& doc, const CatalogueItem& item,
                                 const std::string& serverRoot, const FolderLists& lists, int64_t recordNumber)
{
    const CataloguePlace place = CataloguePlaceOf(item, serverRoot);
    const std::string category =
        item.Category < CategoryNames.size() ? CategoryNames[item.Category] : CategoryNames[0];

    const FieldReader fields(doc, FieldPlan::of(rowPaths()));
    // The values are written straight into the statement: the row is built
    // for every data set of an upload, and one text is cheaper than
    // thirty-nine joined.
    std::string statement = mainStatementHead();
    statement.reserve(statement.size() + 1024);
    statement += std::to_string(recordNumber);
    statement += ',';
    appendQuoted(statement, place.pathFile);
    statement += ',';
    appendQuoted(statement, place.fileName);
    statement += ',';
    appendQuoted(statement, item.Ext);
    statement += ',';
    appendField(statement, fields, FieldMap[fiThumbnail], 0);
    statement += ",'";
    statement += category;
    statement += '\'';
    for (FieldIndex field : kTextFields) {
        statement += ',';
        appendField(statement, fields, FieldMap[field], FieldMap[field].Offset);
    }
    for (FieldIndex field : kCoordinateFields) {
        statement += ',';
        statement += coordinateValue(fields, FieldMap[field]);
    }
    for (const std::string* list : {&lists.LocationList, &lists.ThemeList, &lists.SourceList}) {
        statement += ',';
        appendQuoted(statement, *list);
    }
    statement += ',';
    statement += FormatGeneral(item.SizeMB);
    statement += ')';
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
