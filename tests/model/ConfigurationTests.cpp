#include <gtest/gtest.h>

#include "AtlasdeskOps.h"
#include "TestUtil.h"
#include "XMLOps.h"

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
    }
    void TearDown() override
    {
        ClearConfiguration();
        SetProgramFolder({});
    }
    TempDir m_program;
    TempDir m_cwd;
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

TEST_F(ConfigurationTest, ThemesAreTrimmedAndSortedByByteValue)
{
    testutil::ChangeDir cd(m_cwd.path());
    EXPECT_EQ(ReadThemes(), (tVectorOfString{"Hydrology", "geology", "transport"}));
}

} // namespace
