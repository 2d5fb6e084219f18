// The list of data sets found as a CSV file: texts a spreadsheet would run
// as a formula stay text.
#include <gtest/gtest.h>

#include "model/AtlasdeskOps.h"
#include "model/SearchExport.h"

namespace {

TEST(SearchExportTest, CellsASpreadsheetWouldTakeForAFormulaAreWrittenAsText)
{
    const struct {
        QString title;
        QByteArray cell;
    } cases[] = {
        {QStringLiteral("=HYPERLINK(\"http://x.test/\",\"open\")"), "\"'=HYPERLINK(\"\"http://x.test/\"\",\"\"open\"\")\""},
        {QStringLiteral("=cmd|' /C calc'!A0"), "'=cmd|' /C calc'!A0"},
        {QStringLiteral("+33 1 23 45 67"), "'+33 1 23 45 67"},
        {QStringLiteral("-2+3"), "'-2+3"},
        {QStringLiteral("@SUM(A1:A9)"), "'@SUM(A1:A9)"},
        {QStringLiteral("\t=1+1"), "'\t=1+1"},
        {QStringLiteral("\r=1+1"), "\"'\r=1+1\""},
        // Only the first character counts; an empty title stays empty.
        {QStringLiteral("Roads = 2 + 3 - 1 @ 1:25000"), "Roads = 2 + 3 - 1 @ 1:25000"},
        {QString(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        SearchHit hit;
        hit.path = "/store/roads.shp";
        hit.xmlPath = "/store/roads.shp.xml";
        hit.category = catVector;
        hit.title = c.title;
        hit.box = GeoBox{-170.5, -160, -20, -10};
        // The box's negative numbers are numbers, not texts to guard.
        EXPECT_EQ(resultsCsv({hit}), "path,title,category,west,east,south,north\r\n/store/roads.shp," + c.cell +
                                         ",Vector,-170.5,-160,-20,-10\r\n");
    }
    // A path is guarded as a title is (a store's root may be any text).
    SearchHit hit;
    hit.path = "=x/";
    hit.xmlPath = "=x/metadata.xml";
    hit.category = catDirectory;
    EXPECT_EQ(resultsCsv({hit}), "path,title,category,west,east,south,north\r\n'=x/,,Directory,,,,\r\n");
}

} // namespace
