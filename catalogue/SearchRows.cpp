#include "catalogue/SearchRows.h"

#include <charconv>

#include "catalogue/DataSetRows.h"
#include "model/SearchWords.h"
#include "support/PathOps.h"
#include "support/StringOps.h"

namespace {

const std::string kDataSetHead =
    "REPLACE INTO SearchDataSets(RecordNumber,DataSetKey,ItemPath,XmlPath,Category,Title,Date,MetadataTime,"
    "West,East,South,North,Abstract,Purpose,Keywords,Places,Originator,TitleWords,LabelWords,TextWords,"
    "TitleLength,LabelLength,TextLength) VALUES(";

// Text between single quotes, exactly as it is (the session reads
// backslash escapes, see OpenChartroom).
void appendText(std::string& out, const QString& text)
{
    out += '\'';
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\'': out += "\\'"; break;
        case '\0': out += "\\0"; break;
        default: out += c;
        }
    }
    out += '\'';
}

// Bytes (a native path) as a hexadecimal literal.
void appendBytes(std::string& out, const std::string& bytes)
{
    out += bytes.empty() ? "''" : KeyLiteral(bytes);
}

// A number as the shortest fixed-point text that reads back as it is (the
// geometry's text takes no exponent).
std::string number(double value)
{
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, result.ptr);
}

// `path` below `root` (which has no trailing separator).
std::string below(const std::string& path, const std::string& root)
{
    if (path.compare(0, root.size(), root) != 0)
        return path;
    std::string rel = path.substr(root.size());
    while (!rel.empty() && rel.front() == PathDelim)
        rel.erase(0, 1);
    return rel;
}

} // namespace

std::string BoxGeometry(const GeoBox& b)
{
    const std::string w = number(b.west), e = number(b.east), s = number(b.south), n = number(b.north);
    return "ST_GeomFromText('POLYGON((" + w + " " + s + "," + e + " " + s + "," + e + " " + n + "," + w + " " + n +
           "," + w + " " + s + "))')";
}

SearchRows BuildSearchRows(const SearchFields& f, const CatalogueItem& item, const std::string& serverRoot,
                           const std::string& xmlPath, int64_t metadataTime)
{
    const std::string root = NormalisedServerRoot(serverRoot);
    const std::string itemPath = item.Dir + item.Name;
    const std::string key = KeyLiteral(DataSetKeyOf(CataloguePlaceOf(item, serverRoot)));
    const QString fileName = DecodeFileName(ExtractFileName(ExcludeTrailingPathDelimiter(itemPath)));
    const searchwords::WordRows words = searchwords::wordRows(fileName, f);

    SearchRows rows;
    std::string& s = rows.dataSetRow;
    s.reserve(kDataSetHead.size() + 1024);
    s = kDataSetHead;
    s += "0,";
    s += key;
    s += ',';
    appendBytes(s, below(itemPath, root));
    s += ',';
    appendBytes(s, below(xmlPath, root));
    s += ',' + std::to_string(int(item.Category)) + ',';
    appendText(s, f.title);
    s += ',';
    appendText(s, f.date);
    s += ',' + std::to_string(metadataTime);
    if (f.box) {
        for (const double v : {f.box->west, f.box->east, f.box->south, f.box->north}) {
            s += ',';
            s += number(v);
        }
    } else {
        s += ",NULL,NULL,NULL,NULL";
    }
    for (const QString* t : {&f.abstract, &f.purpose, &f.keywords, &f.places, &f.originator}) {
        s += ',';
        appendText(s, *t);
    }
    for (const QString& t : words.text) {
        s += ',';
        appendText(s, searchwords::serverTokens(t));
    }
    for (int row = 0; row < searchwords::kRows; ++row)
        s += ',' + std::to_string(words.bucket(row));
    s += ')';

    if (f.box) {
        rows.boxRow = "INSERT INTO SearchBoxes(DataSetKey,Part,Category,Box) VALUES";
        const std::vector<GeoBox> parts = f.box->parts();
        for (size_t i = 0; i < parts.size(); ++i)
            rows.boxRow += std::string(i ? "," : "") + "(" + key + "," + std::to_string(i) + "," +
                           std::to_string(int(item.Category)) + "," + BoxGeometry(parts[i]) + ")";
    }
    return rows;
}

void SetSearchRecordNumber(SearchRows& rows, int64_t recordNumber)
{
    const size_t start = kDataSetHead.size();
    const size_t end = rows.dataSetRow.find(',', start);
    if (rows.dataSetRow.compare(0, start, kDataSetHead) != 0 || end == std::string::npos)
        throw EInvalidOperation("Not a search row statement: " + rows.dataSetRow.substr(0, 200));
    rows.dataSetRow.replace(start, end - start, std::to_string(recordNumber));
}

std::string RemoveSearchRowsStatement(const std::string& keyList, int64_t keepFrom)
{
    return "DELETE FROM SearchDataSets WHERE DataSetKey IN (" + keyList + ") AND RecordNumber<" +
           std::to_string(keepFrom);
}

std::string SearchSyncedStatement()
{
    return "REPLACE INTO SearchInfo(Name,Value) VALUES('synced',DATE_FORMAT(UTC_TIMESTAMP(),'%Y-%m-%dT%H:%i:%sZ'))";
}

std::string SearchTablesCountStatement()
{
    return "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA=DATABASE() AND "
           "TABLE_NAME IN ('SearchDataSets','SearchBoxes')";
}
