#include <gtest/gtest.h>

#include <libxml/tree.h>

#include <QDate>

#include "model/AtlasdeskOps.h"
#include "support/FileOps.h"
#include "ModelFixture.h"
#include "TestUtil.h"
#include "model/XMLFile.h"

using testutil::TempDir;
using testutil::writeFile;

namespace {

class XMLFileTest : public ModelFixture {};

TEST_F(XMLFileTest, ClassifiesEachKindOfPath)
{
    const std::string d = m_tree.path();
    testutil::makeDir(d + "roads");
    testutil::makeDir(d + "dem");
    writeFile(d + "dem.aux", "aux");
    writeFile(d + "image.tif", "tif");
    writeFile(d + "image.aux", "aux");
    writeFile(d + "lone.aux", "aux");
    writeFile(d + "streets.shp", "shp");
    writeFile(d + "streets.dbf", "dbf");
    writeFile(d + "stations.dbf", "dbf");
    writeFile(d + "README", "x");
    writeFile(d + "ROADS.SHP", "x");

    const struct {
        std::string path, name, dir, ext, xmlPath;
        uint8_t category;
    } cases[] = {
        {d + "roads", "roads/", d, "", d + "roads/metadata.xml", catDirectory},
        {d + "roads/", "roads/", d, "", d + "roads/metadata.xml", catDirectory},
        {d + "streets.shp", "streets.shp", d, ".shp", d + "streets.shp.xml", catVector},
        {d + "ROADS.SHP", "ROADS.SHP", d, ".shp", d + "ROADS.SHP.xml", catVector},
        {d + "streets.dbf", "streets.dbf", d, ".dbf", d + "streets.dbf.xml", catUnknown},
        {d + "stations.dbf", "stations.dbf", d, ".dbf", d + "stations.dbf.xml", catTable},
        {d + "dem.aux", "dem", d, ".aux", d + "dem/metadata.xml", catRaster},
        {d + "image.aux", "image.aux", d, ".aux", d + "image.aux", catUnknown},
        {d + "lone.aux", "lone.aux", d, ".aux", d + "lone.aux", catUnknown},
        {d + "README", "README", d, "", d + "README.xml", catUnknown},
        {d + "gone.pdf", "gone.pdf", d, ".pdf", d + "gone.pdf.xml", catDocument},
    };
    for (const auto& c : cases) {
        const tXMLFile f(c.path);
        SCOPED_TRACE(c.path);
        EXPECT_EQ(f.Name, c.name);
        EXPECT_EQ(f.Dir, c.dir);
        EXPECT_EQ(f.Ext, c.ext);
        EXPECT_EQ(f.XMLPath, c.xmlPath);
        EXPECT_EQ(f.Category, c.category);
        EXPECT_EQ(f.Doc, nullptr);
    }
    EXPECT_EQ(tXMLFile(d + "roads").DataPath(), d + "roads/");
    EXPECT_EQ(tXMLFile("/").DataPath(), "/");
    EXPECT_EQ(tXMLFile("/").XMLPath, "/metadata.xml");
}

TEST_F(XMLFileTest, SizeInMegabytes)
{
    const std::string d = m_tree.path();
    testutil::makeDir(d + "dir");
    writeFile(d + "dir/big.pdf", std::string(3 * 1024 * 1024, 'x'));
    testutil::makeDir(d + "dem/sub");
    writeFile(d + "dem/hdr.adf", std::string(1024 * 1024, 'a'));
    writeFile(d + "dem/w001001.adf", std::string(512 * 1024, 'b'));
    writeFile(d + "dem/sub/deeper.adf", std::string(1024 * 1024, 'c'));
    writeFile(d + "dem.aux", "aux");
    writeFile(d + "half.pdf", std::string(512 * 1024, 'h'));

    EXPECT_EQ(tXMLFile(d + "dir").GetSizeMB(), 0.0) << "a directory is 0";
    EXPECT_EQ(tXMLFile(d + "dem.aux").GetSizeMB(), 1.5) << "grid: the entries directly inside";
    EXPECT_EQ(tXMLFile(d + "half.pdf").GetSizeMB(), 0.5);
    EXPECT_EQ(tXMLFile(d + "gone.pdf").GetSizeMB(), -1.0 / 1048576);
}

TEST_F(XMLFileTest, NewDocumentIsOnDiskAtOnce)
{
    tXMLFile f(m_tree / "new.pdf");
    f.NewDocument();
    ASSERT_NE(f.Doc, nullptr);
    f.CloseDocument();
    const std::string text = testutil::readFile(m_tree / "new.pdf.xml");
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << text;
    EXPECT_NE(text.find("<!--" + EsriMetadataDocType + "-->"), std::string::npos) << text;
    EXPECT_LT(text.find("<!--"), text.find("<metadata"));
    tXMLDocument doc(m_tree / "new.pdf.xml");
    EXPECT_EQ(doc.FindNodes("metadata").size(), 1u);
    EXPECT_EQ(doc.FindNodes("metadata/*").size(), 0u);
}

TEST_F(XMLFileTest, StampingTwiceLeavesOneOfEachElement)
{
    writeFile(m_tree / "a.shp", "x");
    writeFile(m_tree / "a.shp.xml",
              "<metadata><idinfo><citation><citeinfo><serinfo><issue>4711</issue>"
              "</serinfo></citeinfo></citation></idinfo></metadata>");
    tXMLFile f(m_tree / "a.shp");
    for (int i = 0; i < 2; ++i) {
        f.OpenDocument();
        f.Stamp();
        f.CloseDocument();
    }
    tXMLDocument doc(f.XMLPath);
    const std::string today = QDate::currentDate().toString("yyyyMMdd").toStdString();
    for (const char* path : {"metainfo", "metainfo/atlasdesk", "atlasdesk/modifdate",
                             "atlasdesk/modiftime", "atlasdesk/manager", "metc/metd",
                             "metc/cntinfo/cntorgp/cntper", "metc/cntinfo/cntemail"})
        EXPECT_EQ(doc.FindNodes(path).size(), 1u) << path;
    EXPECT_EQ(doc.GetNodeText("metainfo/atlasdesk/modifdate"), today);
    EXPECT_EQ(doc.GetNodeText("metainfo/atlasdesk/modiftime").size(), 6u);
    EXPECT_EQ(doc.GetNodeText("metainfo/atlasdesk/manager"), "tester");
    EXPECT_EQ(doc.GetNodeText("metainfo/metc/metd"), today);
    EXPECT_EQ(doc.GetNodeText("cntorgp/cntper"), StampContactPerson);
    EXPECT_EQ(doc.GetNodeText("metc/cntinfo/cntemail"), StampContactEmail);
    tXMLNode stamp = doc.FindNode("metainfo/atlasdesk");
    xmlChar* version = xmlGetProp(stamp, reinterpret_cast<const xmlChar*>("version"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(version)), VersionString(4));
    xmlFree(version);
    tXMLNode issue = doc.FindNode("serinfo/issue");
    xmlChar* sync = xmlGetProp(issue, reinterpret_cast<const xmlChar*>("Sync"));
    ASSERT_NE(sync, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(sync), "\"FALSE\"");
    xmlFree(sync);
}

TEST_F(XMLFileTest, StampWithoutTheSyncElementAddsNoAttributeAnywhere)
{
    writeFile(m_tree / "b.pdf.xml", "<metadata><idinfo/></metadata>");
    tXMLFile f(m_tree / "b.pdf");
    f.OpenDocument();
    f.Stamp();
    f.CloseDocument();
    const std::string text = testutil::readFile(f.XMLPath);
    EXPECT_EQ(text.find("Sync"), std::string::npos);
    tXMLDocument doc(f.XMLPath);
    EXPECT_EQ(doc.FindNodes("serinfo").size(), 0u) << "the Sync element is never created";
    EXPECT_EQ(doc.FindNodes("metadata/metainfo/metc/cntinfo/cntorgp/cntper").size(), 1u);
}

TEST_F(XMLFileTest, StampOnAForeignRootFailsAndSavesNothing)
{
    const std::string original = "<other><a/></other>";
    writeFile(m_tree / "c.pdf.xml", original);
    tXMLFile f(m_tree / "c.pdf");
    f.OpenDocument();
    EXPECT_THROW(
        {
            try {
                f.Stamp();
            } catch (const EInvalidXMLOp& e) {
                EXPECT_STREQ(e.what(), "Ambiguous node Xpath for metadata/metainfo/atlasdesk");
                throw;
            }
        },
        EInvalidXMLOp);
    f.CloseDocument();
    EXPECT_EQ(testutil::readFile(f.XMLPath), original);
}

TEST_F(XMLFileTest, OpeningAMissingOrBrokenDocumentRaisesTheLoadError)
{
    writeFile(m_tree / "broken.pdf.xml", "<metadata><unclosed></metadata>");
    for (const std::string name : {"missing.pdf", "broken.pdf"}) {
        tXMLFile f(m_tree / name);
        try {
            f.OpenDocument();
            ADD_FAILURE() << "no error for " << name;
        } catch (const EInOutError& e) {
            EXPECT_EQ(std::string(e.what()), "An error occured while loading " + f.XMLPath);
        }
        EXPECT_EQ(f.Doc, nullptr);
    }
}

} // namespace
