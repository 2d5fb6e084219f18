// The field map with several paths per field: how the configuration lists
// them, ReadField's precedence, and the shipped map on documents of the
// older profile, of the newer format and of both.
#include <gtest/gtest.h>

#include <filesystem>

#include "model/AtlasdeskOps.h"
#include "Samples.h"
#include "TestUtil.h"
#include "xml/XMLOps.h"

using testutil::TempDir;
using testutil::writeFile;

namespace {

// In a test: skips it when the shared samples are not beside the project,
// and fails it under CI=true (CI has them).
#define REQUIRE_SAMPLE(path)                                                                       \
    if (!std::filesystem::exists(path)) {                                                          \
        if (testutil::underCI())                                                                   \
            FAIL() << "CI=true but the sample " << (path) << " is missing";                        \
        GTEST_SKIP() << "the sample " << (path) << " is not there (../shared/samples)";            \
    }

class FieldMapTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        ClearConfiguration();
        SetProgramFolder({});
    }

    // Loads a configuration whose MetadataDOM holds `fields`.
    void loadFieldMap(const std::string& fields)
    {
        SetProgramFolder(m_program.path());
        writeFile(m_program / ConfigFileName,
                  "<?xml version=\"1.0\"?>\n<atlasdesk><MetadataDOM>" + fields + "</MetadataDOM></atlasdesk>\n");
        testutil::ChangeDir cd(m_program.path());
        LoadConfiguration();
    }

    // Loads the configuration the program ships.
    void loadShippedFieldMap()
    {
        SetProgramFolder(m_program.path());
        std::filesystem::copy_file(ATLASDESK_SOURCE_DIR "/data/AtlasdeskView.ini.xml", m_program / ConfigFileName);
        testutil::ChangeDir cd(m_program.path());
        LoadConfiguration();
    }

    std::string document(const std::string& name, const std::string& text)
    {
        writeFile(m_docs / name, text);
        return m_docs / name;
    }

    TempDir m_program;
    TempDir m_docs;
};

TEST_F(FieldMapTest, SeveralPathsAreKeptInTheFilesOrder)
{
    loadFieldMap("<ProdName><XML_Path>idinfo/title</XML_Path><XML_Path></XML_Path>"
                 "<XML_Path>dataIdInfo/resTitle</XML_Path><XML_Path>title</XML_Path><Offset>1</Offset></ProdName>"
                 "<ProdDesc><XML_Path></XML_Path><XML_Path>dataIdInfo/idAbs</XML_Path></ProdDesc>"
                 "<West><XML_Path>westbc</XML_Path></West>");
    EXPECT_EQ(FieldMap[fiProdName].XML_Path, "idinfo/title");
    EXPECT_EQ(FieldMap[fiProdName].FallbackPaths, (std::vector<std::string>{"dataIdInfo/resTitle", "title"}))
        << "an empty XML_Path is left out";
    EXPECT_EQ(FieldMap[fiProdName].Offset, 1u);
    EXPECT_EQ(FieldMap[fiProdDesc].XML_Path, "dataIdInfo/idAbs") << "the first path that is given";
    EXPECT_TRUE(FieldMap[fiProdDesc].FallbackPaths.empty());
    EXPECT_EQ(FieldMap[fiWest].XML_Path, "westbc");
    EXPECT_TRUE(FieldMap[fiWest].FallbackPaths.empty());
    EXPECT_EQ(FieldMap[fiEast].XML_Path, "");

    // Loading another configuration forgets the fallbacks of the first.
    loadFieldMap("<ProdName><XML_Path>idinfo/title</XML_Path></ProdName>");
    EXPECT_TRUE(FieldMap[fiProdName].FallbackPaths.empty());
    ClearConfiguration();
    EXPECT_TRUE(FieldMap[fiProdName].FallbackPaths.empty());
}

TEST_F(FieldMapTest, FirstPathWithATextWins)
{
    loadFieldMap("<ProdName><XML_Path>old/title</XML_Path><XML_Path>new/title</XML_Path>"
                 "<XML_Path>any/title</XML_Path><Offset>1</Offset></ProdName>"
                 "<West><XML_Path>old/west</XML_Path><XML_Path>new/west</XML_Path><Offset>1</Offset></West>");
    const struct {
        const char* name;
        std::string body;
        std::string title, west;
    } cases[] = {
        {"only the first path", "<old><title>a</title><title>A</title><west>1</west></old>", "A", "1"},
        {"only the second path", "<new><title>b</title><title>B</title><west>2</west><west>3</west></new>", "B", "2"},
        {"both: the first wins", "<old><title>a</title><title>A</title><west>1</west></old>"
                                 "<new><title>b</title><title>B</title><west>2</west></new>", "A", "1"},
        {"the first blank: the second", "<old><title>a</title><title> \n\t</title><west/></old>"
                                        "<new><title>b</title><title>B</title><west>2</west></new>", "B", "2"},
        {"the offset applies to every path", "<old><title>a</title></old><new><title>b</title></new>"
                                             "<any><title>c</title><title>C</title></any>", "C", ""},
        {"all blank: the first path's text", "<old><title>a</title><title>  </title></old>", "  ", ""},
        {"nothing", "<other/>", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tXMLDocument doc(document("doc.xml", "<metadata>" + c.body + "</metadata>"));
        EXPECT_EQ(ReadField(doc, fiProdName), c.title);
        EXPECT_EQ(ReadField(doc, fiWest), c.west) << "coordinates take the first match, whatever the offset";
        EXPECT_EQ(ReadField(doc, fiRemarks), "") << "a field without a path";
    }
    const tXMLDocument doc(document("doc.xml", "<metadata/>"));
    EXPECT_THROW(ReadField(doc, FieldCount), EInvalidOperation);
    EXPECT_THROW(ReadField(doc, -1), EInvalidOperation);
}

// A configuration with one path per field reads each field exactly as the
// document's own look-up of that path, blank texts included.
TEST_F(FieldMapTest, OnePathPerFieldReadsAsThePath)
{
    loadFieldMap("<ProdName><XML_Path>citeinfo/title</XML_Path><Offset>1</Offset></ProdName>"
                 "<Remarks><XML_Path>descript/supplinf</XML_Path></Remarks>"
                 "<North><XML_Path>bounding/northbc/</XML_Path></North>");
    const tXMLDocument doc(document(
        "doc.xml", "<metadata><citeinfo><title>First</title><title>Second</title></citeinfo>"
                   "<descript><supplinf>  </supplinf></descript><bounding><northbc>46.5</northbc></bounding></metadata>"));
    EXPECT_EQ(ReadField(doc, fiProdName), doc.GetNodeTextAt("citeinfo/title", 1));
    EXPECT_EQ(ReadField(doc, fiProdName), "Second");
    EXPECT_EQ(ReadField(doc, fiRemarks), doc.GetNodeTextAt("descript/supplinf", 0));
    EXPECT_EQ(ReadField(doc, fiNorth), doc.GetNodeText("bounding/northbc/"));
    EXPECT_EQ(ReadField(doc, fiNorth), "46.5");
}

// The shipped map reads the older profile, the newer format, and a
// document carrying both (the older profile's texts first).
TEST_F(FieldMapTest, ShippedMapReadsBothFormats)
{
    loadShippedFieldMap();
    const std::string older =
        "<idinfo><citation><citeinfo><title>Old title</title><origin>Old office</origin></citeinfo></citation>"
        "<descript><abstract>Old abstract</abstract></descript>"
        "<keywords><theme><themekey>old theme</themekey></theme></keywords>"
        "<spdom><bounding><westbc>6.1</westbc><eastbc>6.2</eastbc><northbc>46.4</northbc><southbc>46.3</southbc>"
        "</bounding></spdom><browse><browsen>old.png</browsen></browse></idinfo>";
    const std::string newer =
        "<dataIdInfo><idCitation><resTitle>New title</resTitle><citRespParty><rpOrgName>New office</rpOrgName>"
        "</citRespParty></idCitation><idAbs>New abstract</idAbs><idPurp>New purpose</idPurp>"
        "<themeKeys><keyword>new theme</keyword></themeKeys>"
        "<dataExt><geoEle><GeoBndBox><westBL>-115.1</westBL><eastBL>-115.0</eastBL><northBL>44.3</northBL>"
        "<southBL>44.2</southBL></GeoBndBox></geoEle></dataExt>"
        "<graphOver><bgFileName>new.png</bgFileName></graphOver></dataIdInfo>";
    const struct {
        const char* name;
        std::string body;
        std::vector<std::string> fields; // title, creator, abstract, theme, west, east, north, south, thumbnail
    } cases[] = {
        {"older profile", older,
         {"Old title", "Old office", "Old abstract", "old theme", "6.1", "6.2", "46.4", "46.3", "old.png"}},
        {"newer format", newer,
         {"New title", "New office", "New abstract", "new theme", "-115.1", "-115.0", "44.3", "44.2", "new.png"}},
        {"both", newer + older,
         {"Old title", "Old office", "Old abstract", "old theme", "6.1", "6.2", "46.4", "46.3", "old.png"}},
    };
    const int fields[] = {fiProdName, fiCreatorName, fiProdDesc, fiTheme, fiWest, fiEast, fiNorth, fiSouth, fiThumbnail};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tXMLDocument doc(document("doc.xml", "<metadata>" + c.body + "</metadata>"));
        for (size_t i = 0; i < std::size(fields); ++i)
            EXPECT_EQ(ReadField(doc, fields[i]), c.fields[i]) << FieldMap[static_cast<size_t>(fields[i])].Name;
    }
    // Without an abstract the description falls back to the purpose.
    const tXMLDocument purposeOnly(document("doc.xml", "<metadata><dataIdInfo><idPurp>Why</idPurp></dataIdInfo></metadata>"));
    EXPECT_EQ(ReadField(purposeOnly, fiProdDesc), "Why");
}

TEST_F(FieldMapTest, ShippedMapReadsTheRealSamples)
{
    const std::string newer = ATLASDESK_SAMPLES_DIR "/flathers_arcgis.xml";
    const std::string older = ATLASDESK_SAMPLES_DIR "/flathers_fgdc.xml";
    REQUIRE_SAMPLE(newer);
    REQUIRE_SAMPLE(older);
    loadShippedFieldMap();

    const tXMLDocument arcgis(newer);
    EXPECT_EQ(ReadField(arcgis, fiProdName).rfind("Digital Orthoimagery Series of the Stanley, Idaho Study Area (2010,", 0),
              0u)
        << ReadField(arcgis, fiProdName);
    EXPECT_EQ(ReadField(arcgis, fiProdDesc).rfind("This", 0), 0u) << ReadField(arcgis, fiProdDesc);
    EXPECT_EQ(ReadField(arcgis, fiWest), "-115.186234");
    EXPECT_EQ(ReadField(arcgis, fiEast), "-115.004415");
    EXPECT_EQ(ReadField(arcgis, fiSouth), "44.250047");
    EXPECT_EQ(ReadField(arcgis, fiNorth), "44.369278");
    EXPECT_EQ(ReadField(arcgis, fiTheme), "imageryBaseMapsEarthCover");
    EXPECT_EQ(ReadField(arcgis, fiCreatorName), "Watershed Sciences, Inc.");
    EXPECT_EQ(ReadField(arcgis, fiProviderName), "Idaho Geospatial Data Clearinghouse");
    EXPECT_EQ(ReadField(arcgis, fiModifDate), "20121211");
    EXPECT_EQ(ReadField(arcgis, fiASITVD), "series");

    const tXMLDocument fgdc(older);
    EXPECT_EQ(ReadField(fgdc, fiProdName), fgdc.GetNodeText("idinfo/citation/citeinfo/title"));
    EXPECT_EQ(ReadField(fgdc, fiProdName).rfind("Downscaled Climate Model Output", 0), 0u);
    EXPECT_EQ(ReadField(fgdc, fiWest), fgdc.GetNodeText("idinfo/spdom/bounding/westbc"));
    EXPECT_FALSE(ReadField(fgdc, fiWest).empty());
}

} // namespace
