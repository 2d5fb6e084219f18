#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "catalogue/CatalogueOps.h"
#include "CatalogueTestUtil.h"
#include "support/Errors.h"
#include "model/XMLFile.h"
#include "xml/XMLOps.h"

using cattest::CatalogueFixture;
using testutil::writeFile;

namespace {

// ---- Escaping and number texts -------------------------------------------------

TEST(SqlEscapeTest, EscapesBackslashQuoteAndParagraphBreaks)
{
    const struct {
        std::string text, escaped;
    } cases[] = {
        {"O'Hara", R"(O\'Hara)"},
        {R"(C:\data)", R"(C:\\data)"},
        {R"(O'Hara in C:\data)", R"(O\'Hara in C:\\data)"},
        {R"(\')", R"(\\\')"},
        {"para one\n\npara two", "para one<br>para two"},
        {"a\n\n\nb", "a<br>\nb"},
        {"a\n\n\n\nb", "a<br><br>b"},
        {"one\nline", "one\nline"},
        {"\"quoted\" 100% \r\n\t", "\"quoted\" 100% \r\n\t"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SqlEscape(c.text), c.escaped);
    }
}

TEST(FormatGeneralTest, WritesFifteenSignificantDigitsInGeneralForm)
{
    const struct {
        double value;
        std::string text;
    } cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {0.0001, "0.0001"},
        {0.00005, "5E-5"},
        {-1.0 / 1048576, "-9.5367431640625E-7"},
        {2.5e20, "2.5E20"},
        {6.6207, "6.6207"},
        {100.0, "100"},
        {-42.5, "-42.5"},
        {2048.0 / 1048576, "0.001953125"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {0.1 + 0.2, "0.3"},
        {0.00012345, "0.00012345"},
        {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},
        {1234567890123456.0, "1.23456789012346E15"},
        {999999999999999.9, "1E15"},
        {2500000.5, "2500000.5"},
        {1e-300, "1E-300"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FormatGeneral(c.value), c.text);
    }
}

TEST(ParseCoordinateTest, ReadsDecimalNumbersWithZeroAsDefault)
{
    const struct {
        std::string text;
        double value;
    } cases[] = {
        {"6.6207", 6.6207},
        {"", 0},
        {"abc", 0},
        {" 46.5 \n", 46.5},
        {"-7.25", -7.25},
        {"+3", 3},
        {"1E3", 1000},
        {"2.5e-2", 0.025},
        {".5", 0.5},
        {"6,6207", 0},
        {"12abc", 0},
        {"1 2", 0},
        {"+-1", 0},
        {"nan", 0},
        {"inf", 0},
        {"1e999", 0},
        {"0x10", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseCoordinate(c.text), c.value);
    }
}

// ---- Record numbers and dates --------------------------------------------------

TEST(RecordNumberTest, CountsDaysSince1899TimesTenToTheTen)
{
    const struct {
        QDate date;
        int msecs;
        int64_t number;
    } cases[] = {
        {QDate(1899, 12, 30), 0, 0},
        {QDate(1899, 12, 30), 1, 115},
        {QDate(1899, 12, 31), 0, 10000000000},
        {QDate(1900, 1, 1), 12 * 3600 * 1000, 25000000000},
        {QDate(2024, 1, 1), 0, 452920000000000},
        {QDate(2024, 1, 1), 1, 452920000000115},
        {QDate(2024, 1, 1), 86399999, 452929999999884},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date.toString(Qt::ISODate).toStdString() + " " + std::to_string(c.msecs));
        EXPECT_EQ(RecordNumberOf(c.date, c.msecs), c.number);
    }
    // One millisecond is about 115.7 units: the same millisecond, the same number.
    EXPECT_EQ(RecordNumberOf(QDate(2024, 5, 6), 1234), RecordNumberOf(QDate(2024, 5, 6), 1234));
}

TEST(RecordNumberTest, NowFollowsTheClockAndNeverRepeats)
{
    const QDateTime before = QDateTime::currentDateTime();
    const int64_t first = RecordNumberNow();
    const int64_t second = RecordNumberNow();
    const int64_t third = RecordNumberNow();
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    // Within the clock readings around the calls (the numbers handed out in
    // one millisecond may run a few units ahead of it).
    EXPECT_GE(first, RecordNumberOf(before.date(), before.time().msecsSinceStartOfDay()));
    EXPECT_LE(third, RecordNumberOf(after.date(), after.time().msecsSinceStartOfDay()) + 1000);
}

TEST(DateTimeTextTest, ShortDateAndLongTimeWithoutTheTimeAtMidnight)
{
    const QLocale locale = QLocale::system();
    const QDate date(2024, 3, 9);
    const std::string dateText = locale.toString(date, QLocale::ShortFormat).toStdString();
    EXPECT_EQ(DateTimeText(QDateTime(date, QTime(0, 0))), dateText);
    const std::string withTime = DateTimeText(QDateTime(date, QTime(14, 5, 7)));
    ASSERT_GT(withTime.size(), dateText.size() + 1);
    EXPECT_EQ(withTime.substr(0, dateText.size() + 1), dateText + " ");
    EXPECT_NE(withTime.find(locale.toString(QTime(14, 5, 7), QLocale::LongFormat).toStdString()),
              std::string::npos);
    // One millisecond after midnight is not midnight.
    EXPECT_NE(DateTimeText(QDateTime(date, QTime(0, 0, 0, 1))), dateText);
}

// ---- Server root and first folder ----------------------------------------------

TEST(ServerRootTest, TrailingSeparatorsAreDropped)
{
    const struct {
        std::string root, normalised;
    } cases[] = {
        {"/srv/geo", "/srv/geo"}, {"/srv/geo/", "/srv/geo"}, {"/srv/geo//", "/srv/geo"}, {"/", ""}, {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        EXPECT_EQ(NormalisedServerRoot(c.root), c.normalised);
    }
}

TEST(ServerRootTest, FirstFolderNumberReadsTheTwoCharactersBelowTheRoot)
{
    const struct {
        std::string dir, root;
        int number;
    } cases[] = {
        {"/srv/geo/10_world/x/", "/srv/geo", 10},
        {"/srv/geo/10_world/x/", "/srv/geo/", 10},
        {"/srv/geo/79_x/", "/srv/geo", 79},
        {"/srv/geo/80_x/", "/srv/geo", 80},
        {"/srv/geo/85_archive/a/", "/srv/geo", 85},
        {"/srv/geo/world/", "/srv/geo", 999},
        {"/srv/geo/7_world/", "/srv/geo", 999},
        {"/srv/geo/1/", "/srv/geo", 999},
        {"/srv/geo/", "/srv/geo", 999},
        {"/srv/", "/srv/geo", 999},
        {"/10_world/x/", "/", 10},
        {"\\srv\\geo\\50_europe\\", "/srv/geo", 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dir + " below " + c.root);
        EXPECT_EQ(FirstFolderNumber(c.dir, c.root), c.number);
    }
}

// ---- Folders: locations, themes, sources ---------------------------------------

TEST(ClassifyFolderPathTest, WorkedExample)
{
    const FolderClassification c = ClassifyFolderPath(
        "/srv/Geodata/10_World/21_Country/31_Region/Transport/Survey/", "/srv/Geodata", {"hydrology", "transport"});
    EXPECT_EQ(c.Lists.LocationList, "world,world,country,region");
    EXPECT_EQ(c.Lists.ParentList, R"(\10_world\,\21_country\all\,\31_region\all\)");
    ASSERT_TRUE(c.LocationsStatement);
    EXPECT_EQ(*c.LocationsStatement,
              R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('region','\\10_world\\,\\21_country\\all\\,\\31_region\\all\\');)");
    EXPECT_EQ(c.Lists.ThemeList, "transport");
    EXPECT_EQ(c.Lists.SourceList, "survey");
    EXPECT_EQ(c.Sources, tVectorOfString{"survey"});
}

TEST(ClassifyFolderPathTest, EdgeCases)
{
    const std::string root = "/srv/Geodata";
    const tVectorOfString themes = {"hydrology", "rail", "transport"};
    const struct {
        std::string what, dir, root;
        tVectorOfString themes;
        std::string locations, parents;
        std::optional<std::string> statement;
        std::string themeList, sourceList;
        tVectorOfString sources;
    } cases[] = {
        {"directly in 10_world", root + "/10_world/", root, themes, "world", R"(\10_world\)",
         R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('world','\\10_world\\');)", "", "", {}},
        {"an all folder", root + "/10_world/21_country/all/transport/", root, themes,
         "world,world,country,country_all", R"(\10_world\,\21_country\all\)", std::nullopt, "transport", "", {}},
        {"no number prefix", root + "/maps/", root, themes, "world,maps", R"(\10_world\,\maps\all\)",
         R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('maps','\\10_world\\,\\maps\\all\\');)", "", "",
         {}},
        {"short and long prefixes", root + "/5_x/ab_x/", root, themes, "world,5_x,x",
         R"(\10_world\,\5_x\all\,\ab_x\all\)",
         R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('x','\\10_world\\,\\5_x\\all\\,\\ab_x\\all\\');)",
         "", "", {}},
        {"themes need not be adjacent", root + "/10_world/Transport/roads2009/rail/", root, themes, "world",
         R"(\10_world\)", R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('world','\\10_world\\');)",
         "transport,roads2009,rail", "", {}},
        {"two themes, two sources", root + "/10_world/20_europe/hydrology/transport/swisstopo/2020/", root, themes,
         "world,world,europe", R"(\10_world\,\20_europe\all\)",
         R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('europe','\\10_world\\,\\20_europe\\all\\');)",
         "hydrology,transport", "swisstopo,2020", {"swisstopo", "2020"}},
        {"a capitalised theme never matches", root + "/10_world/Transport/", root, {"Transport"},
         "world,world,transport", R"(\10_world\,\transport\all\)",
         R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('transport','\\10_world\\,\\transport\\all\\');)",
         "", "", {}},
        {"a quote in a folder name", root + "/10_world/o'brien/", root, themes, "world,world,o'brien",
         R"(\10_world\,\o'brien\all\)",
         R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('o\'brien','\\10_world\\,\\o\'brien\\all\\');)",
         "", "", {}},
        {"root in another letter case", "/srv/geodata/10_World/21_Country/", "/SRV/GeoData", themes,
         "world,world,country", R"(\10_world\,\21_country\all\)",
         R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('country','\\10_world\\,\\21_country\\all\\');)",
         "", "", {}},
        {"root with a trailing separator", root + "/10_world/21_country/transport/survey/", root + "/", themes,
         "world,world,country", R"(\10_world\,\21_country\all\)",
         R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('country','\\10_world\\,\\21_country\\all\\');)",
         "transport", "survey", {"survey"}},
        {"the file-system root", "/10_world/21_country/", "/", themes, "world,world,country",
         R"(\10_world\,\21_country\all\)",
         R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('country','\\10_world\\,\\21_country\\all\\');)",
         "", "", {}},
        // No place folder: the data set names no place, so no Locations row.
        {"first folder is a theme", root + "/transport/survey/", root, themes, "world", R"(\10_world\)",
         std::nullopt, "transport", "survey", {"survey"}},
        // An all folder right below the root covers the whole world.
        {"first folder is all", root + "/all/transport/", root, themes, "world,world_all", R"(\10_world\)",
         std::nullopt, "transport", "", {}},
        {"in the root itself", root + "/", root, themes, "world", R"(\10_world\)", std::nullopt, "", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tVectorOfString sortedThemes = c.themes;
        SortStrings(sortedThemes);
        const FolderClassification r = ClassifyFolderPath(c.dir, c.root, sortedThemes);
        EXPECT_EQ(r.Lists.LocationList, c.locations);
        EXPECT_EQ(r.Lists.ParentList, c.parents);
        EXPECT_EQ(r.LocationsStatement, c.statement);
        EXPECT_EQ(r.Lists.ThemeList, c.themeList);
        EXPECT_EQ(r.Lists.SourceList, c.sourceList);
        EXPECT_EQ(r.Sources, c.sources);
    }
}

// Folder names as the file system holds them: UTF-8, or Latin-1 bytes of
// an old server, mixed in one path. Each folder becomes text by the
// file-name rule (UTF-8 when valid, else windows-1252), the same as the
// tree shows, so no letter is lost.
TEST(ClassifyFolderPathTest, NamesThatAreNotUtf8)
{
    const tVectorOfString themes = {"transport"};
    const std::string donnees = "21_donn\xc3\xa9" "es";   // UTF-8
    const std::string releve = "Relev\xe9";                // Latin-1
    const struct {
        std::string what, dir, root;
        std::string locations, parents, statement, sourceList;
    } cases[] = {
        {"a Latin-1 source below a UTF-8 place", "/srv/geo/10_world/" + donnees + "/transport/" + releve + "/",
         "/srv/geo", "world,world,donn\xc3\xa9" "es", "\\10_world\\,\\21_donn\xc3\xa9" "es\\all\\",
         "INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('donn\xc3\xa9" "es','\\\\10_world\\\\,\\\\21_donn\xc3\xa9" "es\\\\all\\\\');",
         "relev\xc3\xa9"},
        {"a Latin-1 place", "/srv/geo/10_world/21_for\xeat/", "/srv/geo", "world,world,for\xc3\xaat",
         "\\10_world\\,\\21_for\xc3\xaat\\all\\",
         "INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('for\xc3\xaat','\\\\10_world\\\\,\\\\21_for\xc3\xaat\\\\all\\\\');",
         ""},
        {"a Latin-1 root", "/srv/g\xe9o/10_world/21_" + releve + "/", "/srv/g\xe9o", "world,world,relev\xc3\xa9",
         "\\10_world\\,\\21_relev\xc3\xa9\\all\\",
         "INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('relev\xc3\xa9','\\\\10_world\\\\,\\\\21_relev\xc3\xa9\\\\all\\\\');",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const FolderClassification r = ClassifyFolderPath(c.dir, c.root, themes);
        EXPECT_EQ(r.Lists.LocationList, c.locations);
        EXPECT_EQ(r.Lists.ParentList, c.parents);
        EXPECT_EQ(r.LocationsStatement.value_or(""), c.statement);
        EXPECT_EQ(r.Lists.SourceList, c.sourceList);
        for (const std::string& text : {r.Lists.LocationList, r.Lists.SourceList, r.Lists.ParentList})
            EXPECT_TRUE(IsValidUtf8(text)) << text;
    }
}

TEST(ThemeIndexTest, FirstAndLastThemeFolders)
{
    const tVectorOfString themes = {"hydrology", "rail", "transport"};
    const struct {
        tVectorOfString parts;
        int first, last;
    } cases[] = {
        {{"10_world", "transport", "survey"}, 1, 1},
        {{"transport", "roads", "rail", "x"}, 0, 2},
        {{"10_world", "maps"}, -1, -1},
        {{}, -1, -1},
        {{"Transport"}, -1, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FirstThemeIndex(c.parts, themes), c.first);
        EXPECT_EQ(LastThemeIndex(c.parts, themes), c.last);
    }
}

TEST(UploadContextTest, ThemesSortedAndSourcesUniqueWithoutRegardToCase)
{
    UploadContext context({"transport", "hydrology", "transport", "Zoning"});
    EXPECT_EQ(context.themes(), (tVectorOfString{"Zoning", "hydrology", "transport", "transport"}));
    for (const char* source : {"survey", "Survey", "alpha", "SURVEY", "Beta", "beta"})
        context.addSource(source);
    EXPECT_EQ(context.sources(), (std::vector<std::string>{"alpha", "Beta", "survey"}));
    context.clearSources();
    EXPECT_TRUE(context.sources().empty());
}

TEST(EndStatementsTest, ThemesAndSources)
{
    UploadContext context({"transport", "hydrology"});
    EXPECT_EQ(ThemesStatement(context), "REPLACE INTO Themes(Data) VALUES ('hydrology'),('transport');");
    EXPECT_EQ(SourcesStatement(context), std::nullopt);
    context.addSource("survey");
    context.addSource("o'neil");
    EXPECT_EQ(SourcesStatement(context), R"(REPLACE INTO Sources(Data) VALUES ('o\'neil'),('survey');)");

    UploadContext single({"a\\b"});
    EXPECT_EQ(ThemesStatement(single), R"(REPLACE INTO Themes(Data) VALUES ('a\\b');)");
    EXPECT_EQ(ThemesStatement(UploadContext({})), std::nullopt);
}

// ---- Data sets and their row ---------------------------------------------------

class CatalogueRecordTest : public CatalogueFixture {
protected:
    std::string root() const { return m_tree / "Geodata"; }
};

TEST_F(CatalogueRecordTest, ClassifyFoldersExecutesTheLocationsRowThenCollectsSources)
{
    const tXMLFile dataset(root() + "/10_World/21_Country/Transport/Survey/roads.shp");
    UploadContext context(ReadThemes());
    std::vector<std::string> sent;
    const FolderLists lists = ClassifyFolders(dataset, root(), context, [&](const std::string& s) {
        EXPECT_TRUE(context.sources().empty()) << "sources are added after the Locations row";
        sent.push_back(s);
    });
    EXPECT_EQ(sent, std::vector<std::string>{
                        R"(INSERT IGNORE INTO Locations(Location,BelongTo) VALUES ('country','\\10_world\\,\\21_country\\all\\');)"});
    EXPECT_EQ(lists.LocationList, "world,world,country");
    EXPECT_EQ(lists.ThemeList, "transport");
    EXPECT_EQ(lists.SourceList, "survey");
    EXPECT_EQ(context.sources(), std::vector<std::string>{"survey"});

    // A refused Locations row ends the data set: its sources are not kept.
    const tXMLFile other(root() + "/10_world/hydrology/gauges/rivers.shp");
    EXPECT_THROW(ClassifyFolders(other, root(), context,
                                 [](const std::string&) { throw Exception("refused"); }),
                 Exception);
    EXPECT_EQ(context.sources(), std::vector<std::string>{"survey"});
}

TEST_F(CatalogueRecordTest, FullStatementOfASmallDocument)
{
    const std::string dir = root() + "/10_world/21_country/transport/survey/";
    writeFile(dir + "roads.shp", std::string(2048, 'x'));
    writeFile(dir + "roads.shp.xml",
              cattest::metadataText(
                  "<citation><citeinfo><origin>First Office</origin><origin>Second Office</origin>"
                  "<origin>Third Office</origin><title>Roads of O'Hara</title>"
                  "<onlink>http://example.org/map?layer=roads:1</onlink></citeinfo></citation>"
                  "<descript><abstract>Path C:\\data\\roads</abstract>"
                  "<supplinf>Para one\n\nPara two</supplinf></descript>"
                  "<spdom><bounding><westbc>6.6207</westbc><eastbc>abc</eastbc></bounding></spdom>"
                  "<browse><browsen>roads.png</browsen></browse>",
                  "<spdom><lbounding><leftbc>2500000.5</leftbc></lbounding></spdom>"));
    tXMLFile dataset(dir + "roads.shp");
    dataset.OpenDocument();
    const FolderLists lists = ClassifyFolderPath(dataset.Dir, root(), ReadThemes()).Lists;

    const int64_t before = RecordNumberNow();
    const std::string statement = BuildCatalogueRecord(dataset, root(), lists);
    const int64_t after = RecordNumberNow();

    const std::string head =
        "REPLACE INTO Main(RecordNumber,PathFile,FileName,FileExt,Thumbnail,FileType,ProdName,ProdEdition,"
        "ProdDesc,ProdURL,CreatorURL,CreatorName,CreatorNameLong,CreationDate,ModifDate,Remarks,Rights,"
        "RightURL,RightID,Scale,Unit,ProviderName,ProviderNameLong,ProviderURL,ASITVD,Theme,Location,aLeft,"
        "aRight,aBottom,aTop,West,East,North,South,Loc,Thematic,Source,DatasetSizeMB) VALUES(";
    const std::string tail =
        R"(,'\\10_world\\21_country\\transport\\survey\\','roads.shp','.shp','roads.png','Vector',)"
        R"('Roads of O\'Hara','','Path C:\\data\\roads','http://example.org/map?layer=roads:1','',)"
        R"('Second Office','','','','Para one<br>Para two','','','','','','','','','','','',)"
        R"(2500000.5,0,0,0,6.6207,0,0,0,'world,world,country','transport','survey',0.001953125))";
    ASSERT_EQ(statement.substr(0, head.size()), head);
    const size_t comma = statement.find(',', head.size());
    ASSERT_NE(comma, std::string::npos);
    const int64_t number = std::stoll(statement.substr(head.size(), comma - head.size()));
    EXPECT_GT(number, before);
    EXPECT_LT(number, after);
    EXPECT_EQ(statement.substr(comma), tail);

    // The same data set with a fixed record number, and sent through an executor.
    EXPECT_EQ(BuildCatalogueRecord(dataset, root(), lists, 42), head + "42" + tail);
    // Built ahead from a copy of the data set, then numbered.
    std::string ahead = BuildCatalogueRecord(*dataset.Doc, CatalogueItemOf(dataset), root(), lists, 0);
    ReplaceRecordNumber(ahead, 450123456789012);
    EXPECT_EQ(ahead, head + "450123456789012" + tail);
    ReplaceRecordNumber(ahead, 42);
    EXPECT_EQ(ahead, head + "42" + tail);
    std::string other = "REPLACE INTO Themes(Data) VALUES ('a');";
    EXPECT_THROW(ReplaceRecordNumber(other, 42), EInvalidOperation);
    EXPECT_EQ(other, "REPLACE INTO Themes(Data) VALUES ('a');");
    std::vector<std::string> sent;
    WriteCatalogueRecord(dataset, root() + "/", lists, [&](const std::string& s) { sent.push_back(s); });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].substr(sent[0].find(",'")), tail) << "a root with a trailing separator";
}

TEST_F(CatalogueRecordTest, DirectoryDataSetRow)
{
    const std::string dir = root() + "/10_world/roads";
    testutil::makeDir(dir);
    writeFile(dir + "/metadata.xml", cattest::metadataText("<citation><citeinfo><title>Roads</title></citeinfo></citation>"));
    tXMLFile dataset(dir);
    dataset.OpenDocument();
    const FolderLists lists = ClassifyFolderPath(dataset.Dir, root(), ReadThemes()).Lists;
    const std::string statement = BuildCatalogueRecord(dataset, root(), lists, 7);
    const std::string values = statement.substr(statement.find("VALUES("));
    const std::string head = R"(VALUES(7,'\\10_world\\','roads\\','','','Directory','Roads',)";
    const std::string tail = ",0,0,0,0,0,0,0,0,'world','','',0)";
    ASSERT_GT(values.size(), head.size() + tail.size());
    EXPECT_EQ(values.substr(0, head.size()), head);
    EXPECT_EQ(values.substr(values.size() - tail.size()), tail);
}

TEST_F(CatalogueRecordTest, FieldValuesByOffset)
{
    const std::string path = m_tree / "doc.xml";
    writeFile(path, cattest::metadataText("<citation><citeinfo><origin>First</origin><origin>Sec'ond</origin>"
                                          "<origin>Third</origin></citeinfo></citation>"));
    const tXMLDocument doc(path);
    const std::string origin = "idinfo/citation/citeinfo/origin";
    const struct {
        FieldMapEntry entry;
        std::string value;
    } cases[] = {
        {{"CreatorName", origin, 0, {}}, "'First'"},
        {{"CreatorName", origin, 1, {}}, R"('Sec\'ond')"},
        {{"CreatorName", origin, 2, {}}, "'Third'"},
        {{"CreatorName", origin, 3, {}}, "''"},
        {{"ProdName", "idinfo/citation/citeinfo/title", 0, {}}, "''"},
        {{"ProdName", "", 0, {}}, "''"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry.XML_Path + " " + std::to_string(c.entry.Offset));
        EXPECT_EQ(QuotedFieldValue(doc, c.entry), c.value);
    }
}

TEST_F(CatalogueRecordTest, ClosedDocumentIsAnError)
{
    const tXMLFile dataset(root() + "/10_world/roads.shp");
    EXPECT_THROW(BuildCatalogueRecord(dataset, root(), FolderLists{}), EInvalidOperation);
}

// The row holds each mapped field exactly as the document's own look-ups
// read it (GetNodeTextAt for the text fields, GetNodeText for the
// coordinates), whatever the paths and the document look like.
TEST_F(CatalogueRecordTest, RowReadsEachFieldAsTheDocumentDoes)
{
    const std::string dir = root() + "/10_world/transport/";
    writeFile(dir + "roads.shp", "x");
    const std::string plain = cattest::metadataText(
        "<citation><citeinfo><origin>First</origin><origin>Second</origin><title>Roads</title>"
        "<title>Again</title></citeinfo></citation>"
        "<descript><abstract><![CDATA[in cdata]]></abstract><purpose><!--note-->after a comment</purpose>"
        "<supplinf><b>bold</b> then text</supplinf></descript>"
        "<x><x><x>deep</x></x></x><text>named text</text><node>named node</node><div>divided</div>"
        "<spdom><bounding><westbc> 6.5 </westbc><eastbc>7E1</eastbc><northbc>n/a</northbc></bounding></spdom>",
        "<other><title>Elsewhere</title><x>shallow</x></other><title lang=\"fr\">Top level</title>");
    const std::string spaced = R"(<?xml version="1.0"?>
<!DOCTYPE metadata [<!ENTITY hidden "<title>In an entity</title>">]>
<metadata xmlns:p="urn:p"><idinfo><citation><citeinfo><p:title>Prefixed</p:title>&hidden;<title>Plain</title>
<origin xmlns="urn:d">Default namespace</origin><origin>No namespace</origin></citeinfo></citation></idinfo>
<q xmlns="urn:q"><title>Inside a namespace</title></q></metadata>
)";
    // Paths for the 22 text fields and the thumbnail, then the 8 coordinates.
    const std::vector<std::pair<std::string, unsigned>> textPaths = {
        {"idinfo/citation/citeinfo/title", 1}, {"citeinfo/origin", 0},     {"citeinfo/origin", 1},
        {"citeinfo/origin", 2},               {"*/title", 0},             {"*/title", 2},
        {"idinfo/*/*/title", 0},              {"title", 3},               {"descript/abstract", 0},
        {"descript/purpose", 0},              {"descript/supplinf", 0},   {"x/x", 0},
        {"x", 2},                             {"x", 4},                   {"text", 0},
        {"node", 0},                          {"div", 0},                 {"title/text()", 0},
        {"metadata/title/@lang", 0},          {"missing/element", 0},     {"", 0},
        {"metadata/*", 1},
    };
    const std::vector<std::string> coordinatePaths = {
        "westbc", "bounding/eastbc/", "bounding/northbc", "*/westbc", "nowhere", "", "x/x/x", "spdom/bounding"};
    const FieldIndex textFields[] = {
        fiProdName, fiProdEdition, fiProdDesc, fiProdURL, fiCreatorURL, fiCreatorName,
        fiCreatorNameLong, fiCreationDate, fiModifDate, fiRemarks, fiRights, fiRightURL,
        fiRightID, fiScale, fiUnit, fiProviderName, fiProviderNameLong, fiProviderURL,
        fiASITVD, fiTheme, fiLocation, fiThumbnail};
    const FieldIndex coordinateFields[] = {fiLeft, fiRight, fiBottom, fiTop, fiWest, fiEast, fiNorth, fiSouth};
    ASSERT_EQ(textPaths.size(), std::size(textFields));
    ASSERT_EQ(coordinatePaths.size(), std::size(coordinateFields));
    for (size_t i = 0; i < textPaths.size(); ++i)
        FieldMap[textFields[i]] = {FieldMap[textFields[i]].Name, textPaths[i].first, textPaths[i].second, {}};
    for (size_t i = 0; i < coordinatePaths.size(); ++i)
        FieldMap[coordinateFields[i]] = {FieldMap[coordinateFields[i]].Name, coordinatePaths[i], 0, {}};

    for (const std::string& text : {plain, spaced}) {
        writeFile(dir + "roads.shp.xml", text);
        tXMLFile dataset(dir + "roads.shp");
        dataset.OpenDocument();
        const tXMLDocument& doc = *dataset.Doc;
        const FolderLists lists = ClassifyFolderPath(dataset.Dir, root(), ReadThemes()).Lists;
        const std::string statement = BuildCatalogueRecord(dataset, root(), lists, 42);

        // The row as the document's look-ups give it, field by field.
        FieldMapEntry thumbnail = FieldMap[fiThumbnail];
        thumbnail.Offset = 0;
        std::string values = "42,'\\\\10_world\\\\transport\\\\','roads.shp','.shp'," +
                             QuotedFieldValue(doc, thumbnail) + ",'Vector'";
        for (size_t i = 0; i + 1 < std::size(textFields); ++i)
            values += "," + QuotedFieldValue(doc, FieldMap[textFields[i]]);
        for (FieldIndex field : coordinateFields) {
            const std::string& path = FieldMap[field].XML_Path;
            values += "," + FormatGeneral(ParseCoordinate(path.empty() ? std::string() : doc.GetNodeText(path)));
        }
        values += ",'world','transport','',9.5367431640625E-7)";
        SCOPED_TRACE(text);
        ASSERT_NE(statement.find(") VALUES("), std::string::npos);
        EXPECT_EQ(statement.substr(statement.find(") VALUES(") + 9), values);
    }
    // The last document was read: neither the prefixed title nor the one in
    // the entity counts, the plain one does.
    EXPECT_EQ(QuotedFieldValue(tXMLDocument(dir + "roads.shp.xml"), {"ProdName", "idinfo/citation/citeinfo/title", 0, {}}),
              "'Plain'");
}

// A Latin-1 file name in a UTF-8 folder: the row's PathFile and FileName
// are UTF-8 text with the letters of the name.
TEST_F(CatalogueRecordTest, RowOfANameThatIsNotUtf8)
{
    const std::string dir = root() + "/10_world/21_donn\xc3\xa9" "es/";
    writeFile(dir + "for\xeat.shp", "x");
    writeFile(dir + "for\xeat.shp.xml", cattest::metadataText("<citation/>"));
    tXMLFile dataset(dir + "for\xeat.shp");
    dataset.OpenDocument();
    const FolderLists lists = ClassifyFolderPath(dataset.Dir, root(), ReadThemes()).Lists;
    const std::string statement = BuildCatalogueRecord(dataset, root(), lists, 7);
    EXPECT_TRUE(IsValidUtf8(statement));
    EXPECT_NE(statement.find("VALUES(7,'\\\\10_world\\\\21_donn\xc3\xa9" "es\\\\','for\xc3\xaat.shp','.shp',"),
              std::string::npos)
        << statement;
    EXPECT_NE(statement.find(",'world,world,donn\xc3\xa9" "es','',''"), std::string::npos) << statement;
}

// With several paths per field the row holds what ReadField gives for each
// field, whichever path it comes from and whether the reader matches the
// path itself or asks the document.
TEST_F(CatalogueRecordTest, RowReadsEachFieldAsReadFieldDoes)
{
    const std::string dir = root() + "/10_world/transport/";
    writeFile(dir + "roads.shp", "x");
    const std::string older = cattest::metadataText(
        "<citation><citeinfo><title>Old</title><origin>First</origin><origin>Second</origin></citeinfo></citation>"
        "<descript><abstract>   </abstract></descript><spdom><bounding><westbc>6.5</westbc></bounding></spdom>");
    const std::string newer =
        "<metadata><dataIdInfo><idCitation><resTitle>New</resTitle><citRespParty><rpOrgName>A</rpOrgName></citRespParty>"
        "<citRespParty><rpOrgName>B</rpOrgName></citRespParty></idCitation><idAbs>New abstract</idAbs>"
        "<dataExt><geoEle><GeoBndBox><westBL>-115.5</westBL><eastBL>-115</eastBL></GeoBndBox></geoEle></dataExt>"
        "<graphOver><bgFileName>new.png</bgFileName></graphOver></dataIdInfo></metadata>\n";
    const struct {
        FieldIndex field;
        std::string first;
        std::vector<std::string> fallbacks;
        unsigned offset;
    } map[] = {
        {fiProdName, "idinfo/citation/citeinfo/title", {"dataIdInfo/idCitation/resTitle"}, 0},
        {fiCreatorName, "citeinfo/origin", {"citRespParty/rpOrgName"}, 1},
        {fiProdDesc, "descript/abstract", {"missing", "dataIdInfo/idAbs"}, 0},
        {fiRemarks, "descript/supplinf", {"idAbs/text()", "idCitation/*"}, 0},  // not plain names: asked of the document
        {fiWest, "bounding/westbc", {"GeoBndBox/westBL"}, 0},
        {fiEast, "bounding/eastbc/", {"GeoBndBox/eastBL/"}, 0},
        {fiThumbnail, "browse/browsen", {"graphOver/bgFileName"}, 0},
    };
    for (const auto& m : map)
        FieldMap[m.field] = {FieldMap[m.field].Name, m.first, m.offset, m.fallbacks};

    const std::vector<std::pair<std::string, std::vector<std::string>>> documents = {
        {older, {"Old", "Second", "   ", "", "6.5", "0", ""}},
        {newer, {"New", "B", "New abstract", "New abstract", "-115.5", "-115", "new.png"}},
    };
    for (const auto& [text, expected] : documents) {
        SCOPED_TRACE(text);
        writeFile(dir + "roads.shp.xml", text);
        tXMLFile dataset(dir + "roads.shp");
        dataset.OpenDocument();
        const tXMLDocument& doc = *dataset.Doc;
        const std::vector<std::string> read = {
            ReadField(doc, fiProdName), ReadField(doc, fiCreatorName), ReadField(doc, fiProdDesc),
            ReadField(doc, fiRemarks), FormatGeneral(ParseCoordinate(ReadField(doc, fiWest))),
            FormatGeneral(ParseCoordinate(ReadField(doc, fiEast))), ReadField(doc, fiThumbnail)};
        EXPECT_EQ(read, expected);

        const std::string statement =
            BuildCatalogueRecord(dataset, root(), ClassifyFolderPath(dataset.Dir, root(), ReadThemes()).Lists, 42);
        std::string values = "42,'\\\\10_world\\\\transport\\\\','roads.shp','.shp','" +
                             SqlEscape(ReadField(doc, fiThumbnail)) + "','Vector'";
        for (FieldIndex field : {fiProdName, fiProdEdition, fiProdDesc, fiProdURL, fiCreatorURL, fiCreatorName,
                                 fiCreatorNameLong, fiCreationDate, fiModifDate, fiRemarks, fiRights, fiRightURL,
                                 fiRightID, fiScale, fiUnit, fiProviderName, fiProviderNameLong, fiProviderURL,
                                 fiASITVD, fiTheme, fiLocation})
            values += ",'" + SqlEscape(ReadField(doc, field)) + "'";
        for (FieldIndex field : {fiLeft, fiRight, fiBottom, fiTop, fiWest, fiEast, fiNorth, fiSouth})
            values += "," + FormatGeneral(ParseCoordinate(ReadField(doc, field)));
        values += ",'world','transport','',9.5367431640625E-7)";
        ASSERT_NE(statement.find(") VALUES("), std::string::npos);
        EXPECT_EQ(statement.substr(statement.find(") VALUES(") + 9), values);
        EXPECT_EQ(QuotedFieldValue(doc, FieldMap[fiCreatorName]), "'" + expected[1] + "'");
    }
}

// A path that is no valid XPath fails as it does when the document is asked.
TEST_F(CatalogueRecordTest, InvalidFieldPathFailsTheRow)
{
    const std::string dir = root() + "/10_world/";
    writeFile(dir + "roads.shp", "x");
    writeFile(dir + "roads.shp.xml", cattest::metadataText("<citation><citeinfo><title>Roads</title></citeinfo></citation>"));
    tXMLFile dataset(dir + "roads.shp");
    dataset.OpenDocument();
    FieldMap[fiRemarks].XML_Path = "idinfo/descript/";
    EXPECT_THROW(QuotedFieldValue(*dataset.Doc, FieldMap[fiRemarks]), EInvalidXMLOp);
    EXPECT_THROW(BuildCatalogueRecord(dataset, root(), FolderLists{}, 1), EInvalidXMLOp);
}

} // namespace
