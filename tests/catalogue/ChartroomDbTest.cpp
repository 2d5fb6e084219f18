// The catalogue against a real MariaDB server: the data module, the upload
// run and the ignore flags, checked by reading the rows back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlQuery>
#include <QSqlQueryModel>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>

#include "catalogue/CatalogueOps.h"
#include "CatalogueTestUtil.h"
#include "support/Errors.h"
#include "support/FileOps.h"
#include "Samples.h"
#include "PrivateServer.h"
#include "TestDatabase.h"
#include "catalogue/UploadRun.h"
#include "model/XMLFile.h"
#include "catalogue/dmAtlasdeskU.h"

using cattest::CatalogueFixture;
using cattest::RecordingHost;
using cattest::TestDatabase;
using testutil::writeFile;
using Rows = std::vector<std::vector<std::string>>;

namespace {

// Sets an environment variable for one scope and restores it afterwards.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const std::optional<std::string>& value)
        : m_name(name), m_old(qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name)) : std::nullopt)
    {
        if (value)
            qputenv(name, QByteArray::fromStdString(*value));
        else
            qunsetenv(name);
    }
    ~EnvironmentVariable()
    {
        if (m_old)
            qputenv(m_name, *m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

// Every text DateTimeText can give for a moment between `from` and `to`.
std::vector<std::string> dateTextsBetween(const QDateTime& from, const QDateTime& to)
{
    std::vector<std::string> texts;
    QDateTime t = from.addMSecs(-from.time().msec());
    while (t <= to) {
        texts.push_back(DateTimeText(t));
        texts.push_back(DateTimeText(t.addMSecs(1)));
        t = t.addSecs(1);
    }
    return texts;
}

bool oneOf(const std::string& text, const std::vector<std::string>& candidates)
{
    return std::find(candidates.begin(), candidates.end(), text) != candidates.end();
}

class ChartroomDbTest : public CatalogueFixture {
protected:
    void SetUp() override
    {
        CatalogueFixture::SetUp();
        ATLASDESK_TEST_SERVER_ACCOUNT(account)
        m_account = *account;
        try {
            m_db.emplace(*account);
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
        m_dm.setConnectionSettings(m_db->settings());
    }
    void TearDown() override
    {
        m_dm.close();
        m_db.reset();
        CatalogueFixture::TearDown();
    }

    std::string root() const { return m_tree / "Geodata"; }

    // A data file below the root (a directory when `relative` ends with
    // '/'), with its metadata file unless `metadata` is none.
    tXMLFile* dataSet(const std::string& relative, const std::optional<std::string>& metadata,
                      const std::string& content = "data")
    {
        const std::string path = root() + "/" + relative;
        if (path.back() == '/') {
            testutil::makeDir(path);
            if (metadata)
                writeFile(path + "metadata.xml", *metadata);
        } else {
            writeFile(path, content);
            if (metadata)
                writeFile(path + ".xml", *metadata);
        }
        m_items.push_back(std::make_unique<tXMLFile>(path));
        return m_items.back().get();
    }

    std::string tableComment() const
    {
        return m_db->scalar("SELECT TABLE_COMMENT FROM information_schema.TABLES WHERE TABLE_SCHEMA='" +
                            m_db->name() + "' AND TABLE_NAME='Main'");
    }

    cattest::ServerAccount m_account;
    std::optional<TestDatabase> m_db;
    TdmAtlasdesk m_dm;
    std::vector<std::unique_ptr<tXMLFile>> m_items;
};

const std::string kRoadsMetadata = cattest::metadataText(
    "<citation><citeinfo><origin>First Office</origin><origin>Second Office</origin><origin>Third</origin>"
    "<title>Roads of O'Hara</title><edition>Ausgabe Zürich – 2024</edition>"
    "<onlink>http://example.org/map?layer=roads:1&amp;mode=:name</onlink>"
    "<serinfo><issue>123456789</issue></serinfo></citeinfo></citation>"
    "<descript><abstract>Path C:\\data\\roads</abstract><supplinf>Para one\n\nPara two 🗺</supplinf></descript>"
    "<spdom><bounding><westbc>6.6207</westbc><eastbc>abc</eastbc></bounding></spdom>",
    "<spdom><lbounding><leftbc>2500000.5</leftbc></lbounding></spdom>");

std::string flagged(const std::string& flag)
{
    return cattest::metadataText("<citation/>", "<metainfo><atlasdesk><ignore>" + flag + "</ignore></atlasdesk></metainfo>");
}

// ---- The upload run ----------------------------------------------------------------

class UploadRunTest : public ChartroomDbTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UploadRunTest, UploadsTheSelectedDataSets)
{
    const std::vector<tXMLFile*> selection = {
        dataSet("10_world/21_country/transport/survey/roads.shp", kRoadsMetadata, std::string(2048, 'x')),
        dataSet("50_europe/hydrology/rivers.shp", flagged("no")),
        dataSet("85_archive/old.shp", cattest::metadataText("<citation/>")),
        dataSet("10_world/ignored.shp", flagged("YES")),
        dataSet("10_world/ignored2.shp", flagged("yes")),
        dataSet("10_world/missing.shp", std::nullopt),
        dataSet("10_world/broken.shp", "<metadata><idinfo></metadata>"),
        dataSet("10_world/21_country/roads/", cattest::metadataText("<citation><citeinfo><title>Road folder</title></citeinfo></citation>")),
    };
    tHTMLLog log = newLog();
    RecordingHost host;
    const std::string serverRoot = GetParam() ? root() + "/" : root();

    const QDateTime before = QDateTime::currentDateTime();
    UploadSelection(m_dm, selection, serverRoot, log, host);
    const QDateTime after = QDateTime::currentDateTime();

    EXPECT_FALSE(m_dm.isOpen());
    const Rows main = m_db->rows(
        "SELECT FileName,PathFile,FileExt,FileType,ProdName,ProdEdition,ProdDesc,ProdURL,CreatorName,Remarks,"
        "RightID,ASITVD,aLeft,West,East,Loc,Thematic,Source FROM Main ORDER BY RecordNumber");
    const Rows expected = {
        {"roads.shp", R"(\10_world\21_country\transport\survey\)", ".shp", "Vector", "Roads of O'Hara",
         "Ausgabe Zürich – 2024", R"(Path C:\data\roads)", "http://example.org/map?layer=roads:1&mode=:name",
         "Second Office", "Para one<br>Para two 🗺", "0", "12345", "2500000.5", "6.6207", "0",
         "world,world,country", "transport", "survey"},
        {"rivers.shp", R"(\50_europe\hydrology\)", ".shp", "Vector", "", "", "", "", "", "", "0", "", "0", "0",
         "0", "world,europe", "hydrology", ""},
        {R"(roads\)", R"(\10_world\21_country\)", "", "Directory", "Road folder", "", "", "", "", "", "0", "", "0",
         "0", "0", "world,world,country", "", ""},
    };
    EXPECT_EQ(main, expected);
    const Rows sizes = m_db->rows("SELECT DatasetSizeMB FROM Main ORDER BY RecordNumber");
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(std::stod(sizes[0][0]), 2048.0 / 1048576);
    EXPECT_EQ(std::stod(sizes[1][0]), 4.0 / 1048576);
    EXPECT_EQ(std::stod(sizes[2][0]), 0.0);

    EXPECT_EQ(m_db->rows("SELECT Location,BelongTo FROM Locations ORDER BY Location"),
              (Rows{{"country", R"(\10_world\,\21_country\all\)"}, {"europe", R"(\10_world\,\50_europe\all\)"}}));
    EXPECT_EQ(m_db->rows("SELECT Data FROM Themes ORDER BY Data"), (Rows{{"geology"}, {"hydrology"}, {"transport"}}));
    EXPECT_EQ(m_db->rows("SELECT Data FROM Sources ORDER BY Data"), (Rows{{"survey"}}));

    const std::vector<std::string> lines = logLines(log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "- File ignored (no XML found): " + selection[5]->XMLPath + "<BR>");
    EXPECT_EQ(lines[1], "*** XML reading error for " + selection[6]->XMLPath + ". This file was not uploaded. ***<BR>");
    const std::string head = "- Data added to Chartroom: 3 records added on ";
    ASSERT_EQ(lines[2].substr(0, head.size()), head);
    ASSERT_EQ(lines[2].substr(lines[2].size() - 4), "<BR>");
    const std::vector<std::string> moments = dateTextsBetween(before, after);
    EXPECT_TRUE(oneOf(lines[2].substr(head.size(), lines[2].size() - head.size() - 4), moments)) << lines[2];

    const std::string comment = tableComment();
    const std::string commentHead = "Data added by Atlasdesk " + VersionString(4) + " on ";
    ASSERT_EQ(comment.substr(0, commentHead.size()), commentHead);
    EXPECT_TRUE(oneOf(comment.substr(commentHead.size()), moments)) << comment;

    std::vector<std::string> events = {"StartTask Uploading chartroom: 8"};
    for (int i = 0; i < 8; ++i)
        events.push_back("ShowProgress " + std::to_string(i));
    events.push_back("ShowReady");
    EXPECT_EQ(host.events, events);
    for (const auto& item : m_items)
        EXPECT_FALSE(item->Doc) << "every document is released";
}

INSTANTIATE_TEST_SUITE_P(ServerRoot, UploadRunTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "WithTrailingSeparator" : "AsChosen";
                         });

TEST_F(ChartroomDbTest, DatabaseErrorAtTheSecondOfFiveDataSets)
{
    m_db->exec("CREATE TRIGGER refuse_b BEFORE INSERT ON Main FOR EACH ROW BEGIN "
               "IF NEW.FileName = 'b.shp' THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused by the test trigger'; "
               "END IF; END");
    std::vector<tXMLFile*> selection;
    for (const char* name : {"a", "b", "c", "d", "e"})
        selection.push_back(dataSet(std::string("10_world/") + name + ".shp", cattest::metadataText("<citation/>")));
    tHTMLLog log = newLog();
    RecordingHost host;

    std::string message;
    try {
        UploadSelection(m_dm, selection, root(), log, host);
        ADD_FAILURE() << "the refused row must be reported";
    } catch (const Exception& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("refused by the test trigger"), std::string::npos) << message;

    // The end steps ran before the error was thrown.
    EXPECT_EQ(host.events, (std::vector<std::string>{"StartTask Uploading chartroom: 5", "ShowProgress 0",
                                                     "ShowProgress 1", "ShowReady"}));
    const std::vector<std::string> lines = logLines(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("- Data added to Chartroom: 1 records added on ", 0), 0u) << lines[0];
    EXPECT_EQ(tableComment().rfind("Data added by Atlasdesk " + VersionString(4) + " on ", 0), 0u);
    EXPECT_FALSE(m_dm.isOpen());
    EXPECT_FALSE(selection[1]->Doc);

    EXPECT_EQ(m_db->rows("SELECT FileName FROM Main"), (Rows{{"a.shp"}}));
    EXPECT_EQ(m_db->rows("SELECT Data FROM Themes"), Rows{}) << "the run ended before the themes";
}

// A field path the XPath processor refuses fails the row; the run stops at
// that data set, after its Locations row, as it would if the row had been
// built at its step rather than ahead of it.
TEST_F(ChartroomDbTest, FieldPathTheProcessorRefusesStopsTheRunAtItsDataSet)
{
    const std::string kept = FieldMap[fiProdName].XML_Path;
    FieldMap[fiProdName].XML_Path = "idinfo/citation[";
    std::vector<tXMLFile*> selection;
    for (const char* name : {"a", "b"})
        selection.push_back(dataSet(std::string("10_world/21_country/") + name + ".shp", cattest::metadataText("<citation/>")));
    tHTMLLog log = newLog();
    RecordingHost host;
    std::string message;
    try {
        UploadSelection(m_dm, selection, root(), log, host);
        ADD_FAILURE() << "the row cannot be built";
    } catch (const EInvalidXMLOp& e) {
        message = e.what();
    }
    FieldMap[fiProdName].XML_Path = kept;

    EXPECT_NE(message.find("idinfo/citation["), std::string::npos) << message;
    EXPECT_EQ(host.events, (std::vector<std::string>{"StartTask Uploading chartroom: 2", "ShowProgress 0", "ShowReady"}));
    EXPECT_EQ(m_db->rows("SELECT COUNT(*) FROM Main"), (Rows{{"0"}}));
    EXPECT_EQ(m_db->rows("SELECT Location FROM Locations"), (Rows{{"country"}}));
    ASSERT_EQ(logLines(log).size(), 1u);
    EXPECT_EQ(logLines(log)[0].rfind("- Data added to Chartroom: 0 records added on ", 0), 0u);
    EXPECT_FALSE(m_dm.isOpen());
}

TEST_F(ChartroomDbTest, NothingSelected)
{
    tHTMLLog log = newLog();
    RecordingHost host;
    UploadSelection(m_dm, {}, root(), log, host);
    EXPECT_EQ(m_db->rows("SELECT COUNT(*) FROM Main"), (Rows{{"0"}}));
    EXPECT_EQ(m_db->rows("SELECT COUNT(*) FROM Themes"), (Rows{{"3"}}));
    EXPECT_EQ(m_db->rows("SELECT COUNT(*) FROM Sources"), (Rows{{"0"}}));
    ASSERT_EQ(logLines(log).size(), 1u);
    EXPECT_EQ(logLines(log)[0].rfind("- Data added to Chartroom: 0 records added on ", 0), 0u);
    EXPECT_EQ(host.events, (std::vector<std::string>{"StartTask Uploading chartroom: 0", "ShowReady"}));
    EXPECT_FALSE(m_dm.isOpen());
}

// The run works on the snapshot taken when it started: the data sets it
// was taken from may be gone (the tree refreshed) before the run reads them.
TEST_F(ChartroomDbTest, RunNeedsNothingOfTheDataSetsOnceTheSnapshotIsTaken)
{
    dataSet("10_world/transport/a.shp", cattest::metadataText("<citation><citeinfo><title>A</title></citeinfo></citation>"));
    dataSet("10_world/transport/survey/b.shp", cattest::metadataText("<citation/>"));
    const std::vector<DataSetEntry> snapshot = SnapshotOf({m_items[0].get(), nullptr, m_items[1].get()});
    ASSERT_EQ(snapshot.size(), 3u);
    EXPECT_EQ(snapshot[1].xmlPath, "") << "no data set: passed over";
    m_items.clear();
    tHTMLLog log = newLog();
    RecordingHost host;
    UploadDataSets(m_dm.loginSettings(), snapshot, root(), log, host);
    EXPECT_EQ(m_db->rows("SELECT FileName,ProdName,Thematic,Source FROM Main ORDER BY RecordNumber"),
              (Rows{{"a.shp", "A", "transport", ""}, {"b.shp", "", "transport", "survey"}}));
    EXPECT_EQ(host.events, (std::vector<std::string>{"StartTask Uploading chartroom: 3", "ShowProgress 0",
                                                     "ShowProgress 1", "ShowProgress 2", "ShowReady"}));
    ASSERT_EQ(logLines(log).size(), 1u);
    EXPECT_EQ(logLines(log)[0].rfind("- Data added to Chartroom: 2 records added on ", 0), 0u);
    EXPECT_EQ(logLines(log)[0].find("("), std::string::npos) << "a finished run adds no note";
}

// A cancel stops the run before its next data set: the rows written stay,
// the themes and the sources of those rows are still written, the log line
// counts the rows and says where the run was cancelled, and nothing is
// thrown.
TEST_F(ChartroomDbTest, CancelledRunKeepsItsRowsAndSaysSo)
{
    for (const char* name : {"a", "b", "c", "d"})
        dataSet(std::string("10_world/transport/survey/") + name + ".shp", cattest::metadataText("<citation/>"));
    RunControl control;
    cattest::cancelDuring(control, 1);
    tHTMLLog log = newLog();
    RecordingHost host;
    EXPECT_NO_THROW(UploadDataSets(m_dm.loginSettings(),
                                   SnapshotOf({m_items[0].get(), m_items[1].get(), m_items[2].get(), m_items[3].get()}),
                                   root(), log, host, &control));
    EXPECT_EQ(m_db->rows("SELECT FileName FROM Main ORDER BY RecordNumber"), (Rows{{"a.shp"}, {"b.shp"}}));
    EXPECT_EQ(m_db->rows("SELECT COUNT(*) FROM Themes"), (Rows{{"3"}}));
    EXPECT_EQ(m_db->rows("SELECT Data FROM Sources"), (Rows{{"survey"}}));
    EXPECT_EQ(host.events, (std::vector<std::string>{"StartTask Uploading chartroom: 4", "ShowProgress 0",
                                                     "ShowProgress 1", "ShowReady"}));
    const std::vector<std::string> lines = logLines(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("- Data added to Chartroom: 2 records added on ", 0), 0u) << lines[0];
    const std::string note = " (cancelled by the user before data set 3 of 4)<BR>";
    ASSERT_GT(lines[0].size(), note.size());
    EXPECT_EQ(lines[0].substr(lines[0].size() - note.size()), note) << lines[0];
    EXPECT_EQ(tableComment().rfind("Data added by Atlasdesk ", 0), 0u) << "the comment is written";
}

// A statement the server refuses breaks the run off; the log line says at
// which data set.
TEST_F(ChartroomDbTest, BrokenOffRunSaysWhereInItsLogLine)
{
    m_db->exec("CREATE TRIGGER refuse_c BEFORE INSERT ON Main FOR EACH ROW BEGIN "
               "IF NEW.FileName = 'c.shp' THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF; END");
    for (const char* name : {"a", "b", "c", "d"})
        dataSet(std::string("10_world/") + name + ".shp", cattest::metadataText("<citation/>"));
    tHTMLLog log = newLog();
    RecordingHost host;
    EXPECT_THROW(UploadDataSets(m_dm.loginSettings(),
                                SnapshotOf({m_items[0].get(), m_items[1].get(), m_items[2].get(), m_items[3].get()}),
                                root(), log, host),
                 Exception);
    const std::vector<std::string> lines = logLines(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("- Data added to Chartroom: 2 records added on ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(" (the run broke off at data set 3 of 4)<BR>"), std::string::npos) << lines[0];
}

TEST_F(ChartroomDbTest, NoThemesConfigured)
{
    writeConfig({});
    tHTMLLog log = newLog();
    RecordingHost host;
    tXMLFile* dataset = dataSet("10_world/maps/a.shp", cattest::metadataText("<citation/>"));
    EXPECT_NO_THROW(UploadSelection(m_dm, {dataset}, root(), log, host));
    EXPECT_EQ(m_db->rows("SELECT Loc,Thematic FROM Main"), (Rows{{"world,world,maps", ""}}));
    EXPECT_EQ(m_db->rows("SELECT COUNT(*) FROM Themes"), (Rows{{"0"}}));
}

TEST_F(ChartroomDbTest, IgnoredDataSetIsNotUploaded)
{
    tXMLFile* ignored = dataSet("10_world/roads.shp", std::nullopt);
    tXMLFile* kept = dataSet("10_world/rivers.shp", cattest::metadataText("<citation/>"));
    tHTMLLog log = newLog();
    RecordingHost host;
    SetIgnoreFlags(true, {ignored}, log, host);
    ASSERT_TRUE(testutil::exists(ignored->XMLPath));

    UploadSelection(m_dm, {ignored, kept}, root(), log, host);

    EXPECT_EQ(m_db->rows("SELECT FileName FROM Main"), (Rows{{"rivers.shp"}}));
    const std::vector<std::string> lines = logLines(log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "- XML file created: " + ignored->XMLPath + "<BR>");
    EXPECT_EQ(lines[2].rfind("- Data added to Chartroom: 1 records added on ", 0), 0u) << lines[2];

    // Taken again once the flag is cleared.
    SetIgnoreFlags(false, {ignored}, log, host);
    UploadSelection(m_dm, {ignored}, root(), log, host);
    EXPECT_EQ(m_db->rows("SELECT FileName FROM Main ORDER BY RecordNumber"), (Rows{{"rivers.shp"}, {"roads.shp"}}));
}

TEST_F(ChartroomDbTest, EscapingHoldsWhenTheServerDisablesBackslashEscapes)
{
    const std::string oldMode = m_db->scalar("SELECT @@GLOBAL.sql_mode");
    struct RestoreMode {
        const TestDatabase& db;
        std::string mode;
        ~RestoreMode() { db.exec("SET GLOBAL sql_mode='" + mode + "'"); }
    } restore{*m_db, oldMode};
    m_db->exec("SET GLOBAL sql_mode='" + oldMode + (oldMode.empty() ? "" : ",") + "NO_BACKSLASH_ESCAPES'");
    ASSERT_NE(m_db->scalar("SELECT @@GLOBAL.sql_mode").find("NO_BACKSLASH_ESCAPES"), std::string::npos);

    tXMLFile* dataset = dataSet("10_world/o'brien/roads.shp", kRoadsMetadata);
    tHTMLLog log = newLog();
    RecordingHost host;
    UploadSelection(m_dm, {dataset}, root(), log, host);

    EXPECT_EQ(m_db->rows("SELECT PathFile,ProdName,ProdDesc,Loc FROM Main"),
              (Rows{{R"(\10_world\o'brien\)", "Roads of O'Hara", R"(Path C:\data\roads)", "world,world,o'brien"}}));
    EXPECT_EQ(m_db->rows("SELECT Location,BelongTo FROM Locations"),
              (Rows{{"o'brien", R"(\10_world\,\o'brien\all\)"}}));
}

// ---- One row per data set ---------------------------------------------------------

// Main is keyed on the data set (its folder and name): uploading the same
// selection again replaces each data set's row, which then carries the
// newer record number; data sets that differ in folder or in the letter
// case of their name keep rows of their own.
TEST_F(ChartroomDbTest, UploadingTheSameSelectionTwiceKeepsOneRowPerDataSet)
{
    const std::vector<tXMLFile*> selection = {
        dataSet("10_world/transport/roads.shp", cattest::metadataText("<citation><citeinfo><title>First</title></citeinfo></citation>")),
        dataSet("10_world/transport/Roads.shp", cattest::metadataText("<citation/>")),
        dataSet("10_world/hydrology/roads.shp", cattest::metadataText("<citation/>")),
        dataSet("10_world/21_country/", cattest::metadataText("<citation/>")),
        dataSet("10_world/" + std::string(120, 'n') + "_a.shp", cattest::metadataText("<citation/>")),
        dataSet("10_world/" + std::string(120, 'n') + "_b.shp", cattest::metadataText("<citation/>")),
    };
    tHTMLLog log = newLog();
    RecordingHost host;
    UploadSelection(m_dm, selection, root(), log, host);
    const Rows first = m_db->rows("SELECT PathFile,FileName,RecordNumber FROM Main ORDER BY BINARY PathFile,BINARY FileName");
    ASSERT_EQ(first.size(), selection.size());

    writeFile(selection[0]->XMLPath, cattest::metadataText("<citation><citeinfo><title>Second</title></citeinfo></citation>"));
    UploadSelection(m_dm, selection, root(), log, host);
    const Rows second = m_db->rows("SELECT PathFile,FileName,RecordNumber FROM Main ORDER BY BINARY PathFile,BINARY FileName");
    ASSERT_EQ(second.size(), selection.size()) << "one row per data set";
    for (size_t i = 0; i < second.size(); ++i) {
        EXPECT_EQ(second[i][0], first[i][0]);
        EXPECT_EQ(second[i][1], first[i][1]);
        EXPECT_GT(std::stoll(second[i][2]), std::stoll(first[i][2])) << second[i][1] << ": the newer record number";
    }
    EXPECT_EQ(m_db->rows("SELECT ProdName FROM Main WHERE BINARY FileName='roads.shp' AND PathFile LIKE '%transport%'"),
              (Rows{{"Second"}}))
        << "the row holds the newer upload";
    EXPECT_EQ(m_db->rows("SELECT COUNT(*) FROM Main WHERE FileName LIKE 'nnnn%'"), (Rows{{"2"}}))
        << "long names stay apart";
}

// Documents of the older profile, of the newer format and with both, read
// through the field map the program ships, into the catalogue.
TEST_F(ChartroomDbTest, ShippedFieldMapReadsOlderAndNewerDocuments)
{
    std::filesystem::copy_file(ATLASDESK_SOURCE_DIR "/data/AtlasdeskView.ini.xml", m_program / ConfigFileName,
                               std::filesystem::copy_options::overwrite_existing);
    LoadConfiguration();
    const std::string older =
        "<idinfo><citation><citeinfo><title>Old title</title></citeinfo></citation>"
        "<descript><abstract>Old abstract</abstract></descript>"
        "<spdom><bounding><westbc>6.1</westbc><eastbc>6.2</eastbc><northbc>46.4</northbc><southbc>46.3</southbc>"
        "</bounding></spdom></idinfo>";
    const std::string newer =
        "<dataIdInfo><idCitation><resTitle>New title</resTitle></idCitation><idAbs>New abstract</idAbs>"
        "<dataExt><geoEle><GeoBndBox><westBL>-115.1</westBL><eastBL>-115</eastBL><northBL>44.3</northBL>"
        "<southBL>44.2</southBL></GeoBndBox></geoEle></dataExt></dataIdInfo>";
    const std::vector<tXMLFile*> selection = {
        dataSet("10_world/older.shp", "<metadata>" + older + "</metadata>"),
        dataSet("10_world/newer.shp", "<metadata>" + newer + "</metadata>"),
        dataSet("10_world/both.shp", "<metadata>" + newer + older + "</metadata>"),
    };
    tHTMLLog log = newLog();
    RecordingHost host;
    UploadSelection(m_dm, selection, root(), log, host);
    EXPECT_EQ(m_db->rows("SELECT FileName,ProdName,ProdDesc,West,East,North,South FROM Main ORDER BY FileName"),
              (Rows{{"both.shp", "Old title", "Old abstract", "6.1", "6.2", "46.4", "46.3"},
                    {"newer.shp", "New title", "New abstract", "-115.1", "-115", "44.3", "44.2"},
                    {"older.shp", "Old title", "Old abstract", "6.1", "6.2", "46.4", "46.3"}}));

    const std::string sample = ATLASDESK_SAMPLES_DIR "/flathers_arcgis.xml";
    if (!std::filesystem::exists(sample)) {
        if (testutil::underCI())
            FAIL() << "CI=true but the sample " << sample << " is missing";
        GTEST_SKIP() << "the sample " << sample << " is not there (../shared/samples)";
    }
    tXMLFile* arcgis = dataSet("10_world/stanley.tif", testutil::readFile(sample));
    UploadSelection(m_dm, {arcgis}, root(), log, host);
    // ProdName is cut to its column's 50 characters by the server.
    EXPECT_EQ(m_db->rows("SELECT ProdName,West,East,South,North FROM Main WHERE FileName='stanley.tif'"),
              (Rows{{"Digital Orthoimagery Series of the Stanley, Idaho ", "-115.186234", "-115.004415", "44.250047",
                     "44.369278"}}));
}

// A UTF-8 folder holding a Latin-1 file name and a Latin-1 source folder:
// the catalogue and the log receive the names with their letters.
TEST_F(ChartroomDbTest, NamesThatAreNotUtf8ReachTheCatalogueAndTheLogReadably)
{
    const std::string folder = "10_world/21_donn\xc3\xa9" "es/transport/relev\xe9/";
    const std::vector<tXMLFile*> selection = {
        dataSet(folder + "for\xeat.shp", cattest::metadataText("<citation><citeinfo><title>For\xc3\xaat</title></citeinfo></citation>")),
        dataSet(folder + "g\xe9o.shp", std::nullopt),
    };
    tHTMLLog log;
    log.LogFile = m_program / "log.html";
    createLogFile(log.LogFile);
    RecordingHost host;
    UploadSelection(m_dm, selection, root(), log, host);

    EXPECT_EQ(m_db->rows("SELECT FileName,PathFile,Loc,Source FROM Main"),
              (Rows{{"forêt.shp", R"(\10_world\21_données\transport\relevé\)", "world,world,données", "relevé"}}));
    EXPECT_EQ(m_db->rows("SELECT Location,BelongTo FROM Locations"), (Rows{{"données", R"(\10_world\,\21_données\all\)"}}));
    EXPECT_EQ(m_db->rows("SELECT Data FROM Sources"), (Rows{{"relevé"}}));

    const std::string text = testutil::readFile(log.LogFile);
    EXPECT_EQ(text.rfind(LogFileHead, 0), 0u) << "the log declares its character set";
    EXPECT_TRUE(IsValidUtf8(text)) << text;
    EXPECT_NE(text.find("- File ignored (no XML found): " + root() + "/10_world/21_données/transport/relevé/géo.shp.xml<BR>"),
              std::string::npos)
        << text;
}

// ---- The data module ------------------------------------------------------------

TEST_F(ChartroomDbTest, SessionTakesUtf8AndBackslashEscapesWithoutStrictMode)
{
    m_dm.open();
    m_dm.open();  // opening an open connection changes nothing
    ASSERT_TRUE(m_dm.isOpen());
    QSqlQuery query(m_dm.conChartroom);
    ASSERT_TRUE(query.exec("SELECT @@SESSION.sql_mode, @@SESSION.character_set_client") && query.next());
    const std::string mode = query.value(0).toString().toStdString();
    for (const char* unwanted : {"NO_BACKSLASH_ESCAPES", "STRICT_TRANS_TABLES", "STRICT_ALL_TABLES"})
        EXPECT_EQ(mode.find(unwanted), std::string::npos) << mode;
    EXPECT_EQ(query.value(1).toString().toStdString(), "utf8mb4");
    m_dm.close();
    EXPECT_FALSE(m_dm.isOpen());
}

TEST_F(ChartroomDbTest, StatementsAreSentAsTheyAre)
{
    m_dm.open();
    const std::string value = "a:b?c :name ?? @x $1 %s";
    m_dm.execute("INSERT INTO Sources(Data) VALUES ('" + SqlEscape(value) + "')");
    EXPECT_EQ(m_db->rows("SELECT Data FROM Sources"), (Rows{{value}}));

    try {
        m_dm.execute("SELECT * FROM NoSuchTable");
        ADD_FAILURE() << "a missing table must be reported";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find("NoSuchTable"), std::string::npos) << e.what();
    }
    m_dm.close();
    EXPECT_THROW(m_dm.execute("SELECT 1"), Exception);
}

TEST_F(ChartroomDbTest, TableShowsMainInGridOrder)
{
    EXPECT_THROW(m_dm.setTableActive(true), Exception) << "closed";
    m_dm.open();
    for (int i = 1; i <= 3; ++i)
        m_dm.execute("INSERT INTO Main(RecordNumber,FileName,Source) VALUES (" + std::to_string(i) + ",'f" +
                     std::to_string(i) + "','s')");
    m_dm.setTableActive(true);
    QSqlQueryModel* table = m_dm.tblChartroom();
    EXPECT_TRUE(m_dm.isTableActive());
    ASSERT_EQ(table->columnCount(), 37);
    for (int c = 0; c < 37; ++c)
        EXPECT_EQ(table->headerData(c, Qt::Horizontal).toString().toStdString(), TdmAtlasdesk::Fields[c].name);
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->data(table->index(2, 0)).toString().toStdString(), "f3");
    EXPECT_EQ(TdmAtlasdesk::Fields[0].displayWidth, 20);
    EXPECT_EQ(TdmAtlasdesk::Fields[3].displayWidth, 0);

    m_dm.setTableActive(false);
    EXPECT_EQ(table->rowCount(), 0);
    m_dm.setTableActive(true);
    EXPECT_EQ(table->rowCount(), 3);
    m_dm.close();
    EXPECT_EQ(table->rowCount(), 0) << "closing the connection closes the table";
    EXPECT_FALSE(m_dm.isTableActive());
}

// Several servers (the nodes of a cluster): the configuration lists them,
// a connection tries the next while one does not answer and says which it
// uses; a server that answers with a refusal ends the tries.
TEST_F(ChartroomDbTest, SeveralServersTheNextIsTriedWhileOneDoesNotAnswer)
{
    const std::string dead = std::to_string(cattest::closedPort());
    const std::string alive = m_account.host + ":" + std::to_string(m_account.port);
    writeConfig({"transport"}, "<chartroom><host>127.0.0.1:" + dead + "</host><host>" + alive +
                                   "</host><host>::1</host><port>3307</port><database>" + m_db->name() +
                                   "</database><user>" + m_account.user + "</user></chartroom>\n");
    ChartroomSettings settings = ReadChartroomSettings();
    EXPECT_EQ(settings.host, "127.0.0.1");
    EXPECT_EQ(std::to_string(settings.port), dead);
    ASSERT_EQ(settings.otherHosts.size(), 2u);
    EXPECT_EQ(settings.otherHosts[0].host, m_account.host);
    EXPECT_EQ(settings.otherHosts[0].port, m_account.port);
    EXPECT_EQ(settings.otherHosts[1].host, "::1") << "an IPv6 address has no port of its own";
    EXPECT_EQ(settings.otherHosts[1].port, 3307);

    settings.password = m_account.password;
    {
        ChartroomConnection connection(settings);
        connection.open();
        EXPECT_EQ(connection.where(), alive);
        std::string one;
        connection.query("SELECT 1", [&](const QSqlQuery& row) { one = row.value(0).toString().toStdString(); });
        EXPECT_EQ(one, "1");
    }
    {
        // A wrong password on the server that answers: the next is not tried.
        ChartroomSettings refused = settings;
        refused.host = m_account.host;
        refused.port = m_account.port;
        refused.otherHosts = {{"127.0.0.1", std::stoi(dead)}};
        refused.password = "wrong";
        ChartroomConnection connection(refused);
        try {
            connection.open();
            ADD_FAILURE() << "a wrong password must not connect";
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find("Access denied"), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).find(dead), std::string::npos) << e.what();
        }
    }
    {
        ChartroomSettings none = settings;
        none.otherHosts = {{"127.0.0.1", cattest::closedPort()}};
        ChartroomConnection connection(none);
        try {
            connection.open();
            ADD_FAILURE() << "no server answers";
        } catch (const Exception& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find("No server of the Chartroom catalogue answered"), std::string::npos) << text;
            EXPECT_NE(text.find("127.0.0.1:" + dead), std::string::npos) << text;
        }
    }
}

TEST_F(ChartroomDbTest, ConnectionSettingsFromTheConfiguration)
{
    writeConfig({"transport"}, "<chartroom><host>" + m_account.host + "</host><port>" + std::to_string(m_account.port) +
                                   "</port><database>" + m_db->name() + "</database><user>" + m_account.user +
                                   "</user></chartroom>\n");
    {
        TdmAtlasdesk dm;
        const ChartroomSettings settings = dm.connectionSettings();
        EXPECT_EQ(settings.host, m_account.host);
        EXPECT_EQ(settings.port, m_account.port);
        EXPECT_EQ(settings.database, m_db->name());
        EXPECT_EQ(settings.user, m_account.user);
        EXPECT_FALSE(settings.password);

        EnvironmentVariable password("ATLASDESK_CHARTROOM_PASSWORD", m_account.password);
        int asked = 0;
        dm.passwordPrompt = [&]() -> std::optional<std::string> { ++asked; return "wrong"; };
        dm.open();
        EXPECT_TRUE(dm.isOpen());
        EXPECT_EQ(asked, 0) << "the environment comes first";
    }
    EnvironmentVariable noPassword("ATLASDESK_CHARTROOM_PASSWORD", std::nullopt);
    {
        TdmAtlasdesk dm;
        int asked = 0;
        dm.passwordPrompt = [&]() -> std::optional<std::string> { ++asked; return m_account.password; };
        dm.open();
        EXPECT_TRUE(dm.isOpen());
        EXPECT_EQ(asked, 1);
    }
    {
        TdmAtlasdesk dm;
        dm.passwordPrompt = []() -> std::optional<std::string> { return std::nullopt; };
        try {
            dm.open();
            ADD_FAILURE() << "a cancelled prompt must not connect";
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find("cancelled"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(dm.isOpen());
    }
    {
        TdmAtlasdesk dm;
        dm.passwordPrompt = []() -> std::optional<std::string> { return "wrong password"; };
        try {
            dm.open();
            ADD_FAILURE() << "a wrong password must be refused";
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find("Access denied"), std::string::npos) << e.what();
        }
        EXPECT_FALSE(dm.isOpen());
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
