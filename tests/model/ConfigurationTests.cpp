#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <filesystem>

#include "model/AtlasdeskOps.h"
#include "FaultSupport.h"
#include "TestUtil.h"
#include "xml/XMLOps.h"

using testutil::TempDir;
using testutil::writeFile;

namespace {

const char* kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<atlasdesk>
  <MetadataDOM>
    <ProdName><XML_Path>idinfo/citation/citeinfo/title</XML_Path><Offset>2</Offset></ProdName>
    <ProdEdition><XML_Path>idinfo/citation/citeinfo/edition</XML_Path></ProdEdition>
    <ProdDesc><XML_Path>idinfo/descript/abstract</XML_Path><Offset>two</Offset></ProdDesc>
    <Left><XML_Path>spdom/lbounding/leftbc</XML_Path><Offset>3</Offset></Left>
    <EsriThumbnail><XML_Path>Binary/Thumbnail/Data</XML_Path></EsriThumbnail>
    <Ignore><XML_Path>metadata/metainfo/atlasdesk/ignore</XML_Path></Ignore>
  </MetadataDOM>
  <filetypes>
    <vector><ext>shp</ext><ext>e00</ext><ext> dxf </ext></vector>
    <raster><ext>TIF</ext><ext>jp2</ext></raster>
    <table><ext>dbf</ext><ext>e00</ext></table>
    <executable><ext>sh</ext></executable>
  </filetypes>
  <Thumbnails>thumbs</Thumbnails>
  <Logs>logs</Logs>
  <directories><servers><path>d:/data</path><path> D:/maps </path><path>d:/data</path></servers></directories>
  <keywords><themes><data>transport</data><data>Hydrology</data><data>geology</data></themes></keywords>
</atlasdesk>
)";

class ConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetProgramFolder(m_program.path());
        writeFile(m_program / "AtlasdeskView.ini.xml", kConfig);
        // The user's configuration folder, as the program names it.
        m_oldConfigHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_home.path() + "config"));
        QCoreApplication::setApplicationName(QStringLiteral("Atlasdesk"));
    }
    void TearDown() override
    {
        ClearConfiguration();
        SetProgramFolder({});
        if (m_oldConfigHome.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", m_oldConfigHome);
    }
    std::string userFile() const { return m_home.path() + "config/Atlasdesk/AtlasdeskView.ini.xml"; }
    std::string sharedFile() const { return m_program / "AtlasdeskView.ini.xml"; }
    TempDir m_program;
    TempDir m_cwd;
    TempDir m_home;
    QByteArray m_oldConfigHome;
};

TEST_F(ConfigurationTest, ReadsFieldMapFileTypesAndDirectories)
{
    testutil::ChangeDir cd(m_cwd.path());
    LoadConfiguration();

    EXPECT_EQ(FieldMap[fiProdName].XML_Path, "idinfo/citation/citeinfo/title");
    EXPECT_EQ(FieldMap[fiProdName].Offset, 2u);
    EXPECT_EQ(FieldMap[fiProdEdition].Offset, 0u) << "missing Offset reads as 0";
    EXPECT_EQ(FieldMap[fiProdDesc].Offset, 0u) << "non-numeric Offset reads as 0";
    EXPECT_EQ(FieldMap[fiLeft].XML_Path, "spdom/lbounding/leftbc");
    EXPECT_EQ(FieldMap[fiLeft].Offset, 0u) << "fields past the 22nd carry no offset";
    EXPECT_EQ(FieldMap[fiRemarks].XML_Path, "") << "absent field gives an empty path";
    EXPECT_EQ(FieldMap[fiIgnore].Name, "Ignore");

    EXPECT_EQ(CategoryExtensions[catVector], ".shp.e00.dxf");
    EXPECT_EQ(CategoryExtensions[catRaster], ".TIF.jp2");
    EXPECT_EQ(CategoryExtensions[catGIS], "");
    EXPECT_EQ(RasterExtensions, (tVectorOfString{"TIF", "jp2"}));
    EXPECT_EQ(AllExtensions, ".shp.e00.dxf.tif.jp2.dbf.e00.sh");

    EXPECT_EQ(AppDir, m_program.path());
    EXPECT_EQ(ThumbnailsDir, m_program.path() + "thumbs/");
    EXPECT_EQ(LogsDir, m_program.path() + "logs/");
    EXPECT_EQ(EsriPythonScriptsDir, "/") << "missing setting gives the bare separator";
    EXPECT_EQ(ProjectionsDir, "/");
}

TEST_F(ConfigurationTest, CategoryOfExtensionFollowsTheSubstringRule)
{
    testutil::ChangeDir cd(m_cwd.path());
    LoadConfiguration();
    const struct {
        const char* ext;
        uint8_t category;
    } cases[] = {
        {".shp", catVector},
        {".sh", catExecutable},    // in .shp (2) and .sh (7): the highest wins
        {".e00", catTable},        // listed under vector and table
        {".tif", catUnknown},      // configured in upper case: never matches
        {".jp2", catRaster},
        {".j", catRaster},         // a leading part of a configured extension
        {"", catUnknown},
        {".xml", catUnknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CategoryOfExtension(c.ext), c.category) << c.ext;
}

TEST_F(ConfigurationTest, MissingFileRaisesTheLoadErrorAndLeavesTablesEmpty)
{
    testutil::ChangeDir cd(m_cwd.path());
    LoadConfiguration();
    std::filesystem::remove(m_program / "AtlasdeskView.ini.xml");
    try {
        LoadConfiguration();
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "An error occured while loading " + m_program.path() + "AtlasdeskView.ini.xml");
    }
    EXPECT_EQ(AllExtensions, "");
    EXPECT_EQ(CategoryExtensions[catVector], "");
    EXPECT_EQ(FieldMap[fiProdName].XML_Path, "");
    EXPECT_EQ(FieldMap[fiProdName].Offset, 0u);
}

TEST_F(ConfigurationTest, OneFileServesEveryReaderAndWriter)
{
    {
        testutil::ChangeDir cd(m_cwd.path());
        EXPECT_EQ(ConfigFilePath(), m_program.path() + "AtlasdeskView.ini.xml");
    }
    // A configuration in the current directory wins, for reading the
    // globals as much as for the server list written later.
    writeFile(m_cwd / "AtlasdeskView.ini.xml",
              "<atlasdesk><filetypes><vector><ext>gml</ext></vector></filetypes></atlasdesk>");
    testutil::ChangeDir cd(m_cwd.path());
    LoadConfiguration();
    EXPECT_EQ(CategoryExtensions[catVector], ".gml");
    AppendServer("/srv/geodata");
    EXPECT_EQ(ReadServerList(), (tVectorOfString{"/srv/geodata"}));
    const std::string programCopy = testutil::readFile(m_program / "AtlasdeskView.ini.xml");
    EXPECT_EQ(programCopy, kConfig) << "the other file is never touched";
}

TEST_F(ConfigurationTest, ServerListIsSortedByByteValueWithDuplicates)
{
    testutil::ChangeDir cd(m_cwd.path());
    EXPECT_EQ(ReadServerList(), (tVectorOfString{"D:/maps", "d:/data", "d:/data"}));
}

TEST_F(ConfigurationTest, AppendingTheFirstServerCreatesTheMissingElements)
{
    testutil::ChangeDir cd(m_cwd.path());
    writeFile(m_program / "AtlasdeskView.ini.xml", "<atlasdesk><filetypes/></atlasdesk>");
    AppendServer("/mnt/share one");
    AppendServer("/mnt/a");
    tXMLDocument doc(m_program / "AtlasdeskView.ini.xml");
    EXPECT_EQ(doc.GetNodeTexts("atlasdesk/directories/servers/path"),
              (tVectorOfString{"/mnt/share one", "/mnt/a"}))
        << "appended in order, at the end";
    EXPECT_EQ(doc.FindNodes("directories").size(), 1u);
    EXPECT_EQ(doc.FindNodes("servers").size(), 1u);
}

TEST_F(ConfigurationTest, AppendingToAForeignRootChangesNothing)
{
    testutil::ChangeDir cd(m_cwd.path());
    const std::string foreign = "<settings><directories/></settings>";
    writeFile(m_program / "AtlasdeskView.ini.xml", foreign);
    try {
        AppendServer("/mnt/x");
        FAIL() << "no error";
    } catch (const EInvalidXMLOp& e) {
        EXPECT_STREQ(e.what(), "Ambiguous node Xpath for atlasdesk/directories/servers/path");
    }
    EXPECT_EQ(testutil::readFile(m_program / "AtlasdeskView.ini.xml"), foreign);
}

// Which of the three files is read: the current directory's, the user's own
// copy, the program's, the first that exists.
TEST_F(ConfigurationTest, TheFirstExistingFileIsRead)
{
    struct Case {
        bool inCurrent, ofUser;
        const char* expected;  // the extension of the file that is read
    };
    const Case cases[] = {
        {true, true, "cwd"}, {true, false, "cwd"}, {false, true, "user"}, {false, false, "program"}};
    const auto config = [](const char* ext) {
        return std::string("<atlasdesk><filetypes><vector><ext>") + ext + "</ext></vector></filetypes></atlasdesk>";
    };
    writeFile(sharedFile(), config("program"));
    testutil::ChangeDir cd(m_cwd.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("current ") + (c.inCurrent ? "yes" : "no") + ", user " + (c.ofUser ? "yes" : "no"));
        std::filesystem::remove(m_cwd / "AtlasdeskView.ini.xml");
        std::filesystem::remove(userFile());
        if (c.inCurrent)
            writeFile(m_cwd / "AtlasdeskView.ini.xml", config("cwd"));
        if (c.ofUser)
            writeFile(userFile(), config("user"));
        LoadConfiguration();
        EXPECT_EQ(CategoryExtensions[catVector], std::string(".") + c.expected);
        const std::string expectedPath = c.inCurrent ? m_cwd / "AtlasdeskView.ini.xml"
                                         : c.ofUser  ? userFile()
                                                     : sharedFile();
        EXPECT_EQ(ConfigFilePath(), expectedPath);
    }
}

// Adding a server rewrites nothing but the new element: the file keeps its
// comments, blank lines and indentation, and the new path is indented like
// its neighbours.
TEST_F(ConfigurationTest, AddingAServerChangesOnlyTheNewElement)
{
    const std::string shipped = testutil::readFile(ATLASDESK_SOURCE_DIR "/data/AtlasdeskView.ini.xml");
    ASSERT_NE(shipped.find("\n    <servers/>\n"), std::string::npos) << "the shipped file has an empty server list";
    std::string shippedAfter = shipped;
    shippedAfter.replace(shipped.find("    <servers/>"), std::string("    <servers/>").size(),
                         "    <servers>\n      <path>/srv/new store</path>\n    </servers>");
    struct Case {
        const char* name;
        std::string before, after;
    };
    const Case cases[] = {
        {"the shipped file", shipped, shippedAfter},
        {"a list with servers",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- ours -->\n<atlasdesk>\n\n  <directories>\n"
         "    <servers>\n      <path>/a</path>   <!-- first -->\n      <path>/b</path>\n    </servers>\n"
         "  </directories>\n</atlasdesk>\n",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- ours -->\n<atlasdesk>\n\n  <directories>\n"
         "    <servers>\n      <path>/a</path>   <!-- first -->\n      <path>/b</path>\n"
         "      <path>/srv/new store</path>\n    </servers>\n  </directories>\n</atlasdesk>\n"},
        {"no server list yet",
         "<atlasdesk>\n\t<filetypes/>\n</atlasdesk>\n",
         "<atlasdesk>\n\t<filetypes/>\n\t<directories>\n\t\t<servers>\n\t\t\t<path>/srv/new store</path>\n"
         "\t\t</servers>\n\t</directories>\n</atlasdesk>\n"},
        {"blank lines between groups, CR LF line ends",
         "<atlasdesk>\r\n  <filetypes/>\r\n\r\n  <directories>\r\n    <servers>\r\n      <path>/a</path>\r\n\r\n"
         "      <path>/b</path>\r\n    </servers>\r\n  </directories>\r\n</atlasdesk>\r\n",
         "<atlasdesk>\r\n  <filetypes/>\r\n\r\n  <directories>\r\n    <servers>\r\n      <path>/a</path>\r\n\r\n"
         "      <path>/b</path>\r\n      <path>/srv/new store</path>\r\n    </servers>\r\n  </directories>\r\n"
         "</atlasdesk>\r\n"},
        {"an emptied server list",
         "<atlasdesk>\n  <directories>\n    <servers>\n    </servers>\n  </directories>\n</atlasdesk>\n",
         "<atlasdesk>\n  <directories>\n    <servers>\n      <path>/srv/new store</path>\n    </servers>\n"
         "  </directories>\n</atlasdesk>\n"},
    };
    testutil::ChangeDir cd(m_cwd.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(sharedFile(), c.before);
        AppendServer("/srv/new store");
        EXPECT_EQ(testutil::readFile(sharedFile()), c.after);
        EXPECT_FALSE(testutil::exists(userFile())) << "a file the user may write is written itself";
    }
}

// An installed program's shared file that the user may not write: what the
// user adds goes to their own copy, made from the shared one, and that copy
// is read from then on; the shared file stays as it was.
TEST_F(ConfigurationTest, ServersAUserAddsGoToTheirOwnCopy)
{
    const std::string shared = testutil::readFile(sharedFile());
    ::chmod(sharedFile().c_str(), 0444);
    ::chmod(m_program.path().c_str(), 0555);
    testutil::ChangeDir cd(m_cwd.path());
    {
        faults::PermissionBitsHold asOrdinaryUser;
        EXPECT_EQ(ConfigFilePathForWriting(), userFile());
        AppendServer("/srv/mine");
        AppendServer("/srv/also mine");
    }
    ::chmod(m_program.path().c_str(), 0755);
    EXPECT_EQ(testutil::readFile(sharedFile()), shared) << "the shared file is never touched";
    ASSERT_TRUE(testutil::exists(userFile()));
    std::string expected = shared;
    expected.insert(expected.find("</servers>"), "<path>/srv/mine</path><path>/srv/also mine</path>");
    EXPECT_EQ(testutil::readFile(userFile()), expected);
    EXPECT_EQ(ConfigFilePath(), userFile());
    EXPECT_EQ(ReadServerList(), (tVectorOfString{"/srv/also mine", "/srv/mine", "D:/maps", "d:/data", "d:/data"}));
}

// A shared file that everyone may write, in a folder that only its owner may
// change: the save cannot make a file beside it, so it rewrites the file in
// place; where the folder allows, the file is replaced whole as usual. A
// save that cannot complete leaves the old file as it was.
TEST_F(ConfigurationTest, ASharedFileInAFolderOfAnotherOwnerIsWrittenInPlace)
{
    struct Case {
        const char* name;
        mode_t folderMode;
        bool sameInode;     // rewritten in place, not replaced
        bool sizeLimit;     // files may grow by 100 bytes at most: the new content does not fit
        const char* error;  // "" when the save works
    };
    const Case cases[] = {
        {"writable folder", 0755, false, false, ""},
        {"read-only folder", 0555, true, false, ""},
        {"read-only folder, file size limit", 0555, true, true, "File too large"},
    };
    testutil::ChangeDir cd(m_cwd.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(sharedFile(), kConfig);
        struct stat before {};
        ::stat(sharedFile().c_str(), &before);
        ::chmod(m_program.path().c_str(), c.folderMode);
        std::string error;
        {
            faults::PermissionBitsHold asOrdinaryUser;
            std::unique_ptr<faults::FileSizeLimit> limit;
            if (c.sizeLimit)
                limit = std::make_unique<faults::FileSizeLimit>(std::string(kConfig).size() + 100);
            try {
                AppendServer("/srv/" + std::string(600, 'x'));
            } catch (const std::exception& e) {
                error = e.what();
            }
        }
        ::chmod(m_program.path().c_str(), 0755);
        struct stat after {};
        ::stat(sharedFile().c_str(), &after);
        EXPECT_EQ(before.st_ino == after.st_ino, c.sameInode);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_program.path()),
                                std::filesystem::directory_iterator()), 1)
            << "no file is left beside it";
        EXPECT_FALSE(testutil::exists(userFile()));
        if (*c.error) {
            EXPECT_EQ(error, "Cannot save " + sharedFile() + ": " + c.error);
            EXPECT_EQ(testutil::readFile(sharedFile()), kConfig) << "the old file is whole";
        } else {
            EXPECT_EQ(error, "");
            std::string expected = kConfig;
            expected.insert(expected.find("</servers>"), "<path>/srv/" + std::string(600, 'x') + "</path>");
            EXPECT_EQ(testutil::readFile(sharedFile()), expected);
        }
    }
}

TEST_F(ConfigurationTest, ThemesAreTrimmedAndSortedByByteValue)
{
    testutil::ChangeDir cd(m_cwd.path());
    EXPECT_EQ(ReadThemes(), (tVectorOfString{"Hydrology", "geology", "transport"}));
}

} // namespace
