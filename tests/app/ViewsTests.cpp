#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include <sys/stat.h>

#include "AppFixture.h"
#include "BrowserPane.h"
#include "OwnPictures.h"
#include "Samples.h"
#include "TemporaryDocument.h"

namespace {

using testutil::readFile;
using testutil::writeFile;

TEST(TemporaryDocument, CopiesLinesBehindTheStylesheetLineWithCrLf)
{
    testutil::TempDir dir;
    const std::string head = "<?xml-stylesheet type=\"text/xsl\" href=\"~Last Used.xsl\"?>\r\n";
    const struct {
        const char* source;
        std::string expected;
    } cases[] = {
        {"", head},
        {"<a/>", head + "<a/>\r\n"},                          // last line without terminator
        {"<a>\n<b/>\n</a>\n", head + "<a>\r\n<b/>\r\n</a>\r\n"},
        {"<a>\r\n<b/>\r\n</a>", head + "<a>\r\n<b/>\r\n</a>\r\n"},
        {"x\r\ry\n\nz", head + "x\r\n\r\ny\r\n\r\nz\r\n"},   // empty lines stay
        {"caf\xe9 \x96 \xc3\xa9", head + "caf\xe9 \x96 \xc3\xa9\r\n"}, // bytes unchanged
    };
    for (const auto& c : cases) {
        writeFile(dir / "in.xml", c.source);
        writeTemporaryDocument(dir / "in.xml", dir / "out.xml");
        EXPECT_EQ(readFile(dir / "out.xml"), c.expected) << c.source;
    }
    EXPECT_THROW(writeTemporaryDocument(dir / "missing.xml", dir / "out.xml"), EInOutError);

    // A named pipe would block the copy for ever: refused at once, and the
    // previous temporary document is left as it was.
    ASSERT_EQ(::mkfifo((dir / "pipe.xml").c_str(), 0644), 0);
    writeFile(dir / "out.xml", "previous");
    EXPECT_THROW(writeTemporaryDocument(dir / "pipe.xml", dir / "out.xml"), EInOutError);
    EXPECT_EQ(readFile(dir / "out.xml"), "previous");
}

class ViewsTest : public AppFixture {
protected:
    TdlgAtlasdesk& connected()
    {
        TdlgAtlasdesk& w = window();
        connectAndExpand();
        return w;
    }
    void select(std::initializer_list<const char*> names)
    {
        TdlgAtlasdesk& w = window();
        w.tvXMLTree->clearSelection();
        for (const char* name : names)
            w.tvXMLTree->addToSelection(child(w.tvXMLTree->rootNode(), name));
    }
};

TEST_F(ViewsTest, MetadataPageRendersThroughACopyOfTheChosenStylesheet)
{
    writeFile(m_tree / "roads.shp", "shp");
    writeFile(m_tree / "roads.shp.xml", "<metadata><idinfo><citation><citeinfo><title>Roads"
                                        "</title></citeinfo></citation></idinfo></metadata>");
    writeFile(m_tree / "bare.shp", "shp");
    TdlgAtlasdesk& w = connected();
    w.PageControl1->setCurrentWidget(w.TabXSL);
    select({"roads.shp"});
    EXPECT_EQ(readFile(m_program / "~Last Used.xsl"), kPlainStylesheet);
    EXPECT_EQ(readFile(m_program / "~TempXML.xml"),
              "<?xml-stylesheet type=\"text/xsl\" href=\"~Last Used.xsl\"?>\r\n"
              "<metadata><idinfo><citation><citeinfo><title>Roads</title></citeinfo></citation>"
              "</idinfo></metadata>\r\n");
    EXPECT_EQ(w.wbXSL->lastPath().toStdString(), m_program / "~TempXML.xml");

    // A data set without metadata leaves the page as it was, but the
    // stylesheet copy is made all the same.
    std::filesystem::remove(m_program / "~Last Used.xsl");
    std::filesystem::remove(m_program / "~TempXML.xml");
    select({"bare.shp"});
    EXPECT_TRUE(testutil::exists(m_program / "~Last Used.xsl"));
    EXPECT_FALSE(testutil::exists(m_program / "~TempXML.xml"));
    EXPECT_EQ(w.wbXSL->lastPath().toStdString(), m_program / "~TempXML.xml");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(ViewsTest, XmlPageShowsTheSelectedNodesFile)
{
    writeFile(m_tree / "a.shp", "shp");
    writeFile(m_tree / "a.shp.xml", "<metadata/>");
    writeFile(m_tree / "b.shp", "shp");
    writeFile(m_tree / "b.shp.xml", "<metadata/>");
    writeFile(m_tree / "c.shp", "shp");
    TdlgAtlasdesk& w = connected();
    w.PageControl1->setCurrentWidget(w.tabXML);
    select({"a.shp", "b.shp"});
    EXPECT_EQ(w.wbXML->lastPath().toStdString(), m_tree / "b.shp.xml")
        << "the node the tree reports as selected";
    select({"c.shp"});
    EXPECT_EQ(w.wbXML->lastPath().toStdString(), m_tree / "b.shp.xml") << "no metadata: unchanged";
    w.tvXMLTree->clearSelection();
    EXPECT_EQ(w.wbXML->lastPath().toStdString(), m_tree / "b.shp.xml");
}

// The thumbnails of our own documents: a BMP as the ESRI profile stores it
// and a JPEG as newer metadata does, each at its own size.
TEST_F(ViewsTest, ThumbnailOfOurOwnDocuments)
{
    writeFile(m_tree / "bmp.tif", "tif");
    writeFile(m_tree / "bmp.tif.xml", testutil::ownMetadata("BMP", testutil::pictureBytes("BMP", 200, 133)));
    writeFile(m_tree / "jpeg.tif", "tif");
    writeFile(m_tree / "jpeg.tif.xml", testutil::ownMetadata("JPEG", testutil::pictureBytes("JPG", 64, 48)));
    TdlgAtlasdesk& w = connected();
    w.PageControl1->setCurrentWidget(w.tabThumbnail);

    select({"bmp.tif"});
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "bmp.tif");
    EXPECT_EQ(w.imgThumbnail->pixmap().size(), QSize(200, 133));
    select({"jpeg.tif"});
    EXPECT_EQ(w.imgThumbnail->pixmap().size(), QSize(64, 48));
    select({"bmp.tif", "jpeg.tif"});
    EXPECT_TRUE(w.imgThumbnail->pixmap().isNull()) << "two data sets: an empty view";
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(ViewsTest, ThumbnailOfTheRealSamples)
{
    ATLASDESK_REQUIRE_SAMPLES("flathers_fgdc.xml", "flathers_arcgis.xml");
    const struct {
        const char* sample;
        int width, height;
    } cases[] = {{"flathers_fgdc.xml", 200, 133}, {"flathers_arcgis.xml", 0, 0}};
    for (const auto& c : cases) {
        const std::string name = std::string(c.sample) + ".tif";
        writeFile(m_tree / name, "tif");
        std::filesystem::copy_file(std::string(ATLASDESK_SAMPLES_DIR) + "/" + c.sample,
                                   m_tree / (name + ".xml"));
    }
    TdlgAtlasdesk& w = connected();
    w.PageControl1->setCurrentWidget(w.tabThumbnail);

    select({"flathers_fgdc.xml.tif"});
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "flathers_fgdc.xml.tif");
    QPixmap bmp = w.imgThumbnail->pixmap();
    EXPECT_EQ(bmp.size(), QSize(200, 133)) << "the BMP the ESRI profile stores";

    select({"flathers_arcgis.xml.tif"});
    QPixmap jpeg = w.imgThumbnail->pixmap();
    EXPECT_FALSE(jpeg.isNull()) << "a JPEG as newer metadata stores it";

    select({"flathers_fgdc.xml.tif", "flathers_arcgis.xml.tif"});
    EXPECT_TRUE(w.imgThumbnail->pixmap().isNull()) << "two data sets: an empty view";
    EXPECT_TRUE(w.edThbFilename->text().isEmpty());
    EXPECT_TRUE(w.edThbThumbnail->text().isEmpty());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

TEST_F(ViewsTest, ThumbnailWithoutPictureOrWithACorruptOne)
{
    writeFile(m_tree / "named.shp", "shp");
    writeFile(m_tree / "named.shp.xml",
              "<metadata><idinfo><browse><browsen>named.bmp</browsen></browse></idinfo></metadata>");
    writeFile(m_tree / "broken.shp", "shp");
    // A JPEG cut short after its first bytes.
    writeFile(m_tree / "broken.shp.xml",
              "<metadata><Binary><Thumbnail><Data>/9j/4AAQSkZJRgABAQEA</Data></Thumbnail>"
              "</Binary></metadata>");
    TdlgAtlasdesk& w = connected();
    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    select({"named.shp"});
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "named.shp");
    EXPECT_TRUE(w.imgThumbnail->pixmap().isNull());
    EXPECT_EQ(w.edThbThumbnail->text(), "named.bmp");
    EXPECT_TRUE(m_errors.isEmpty());

    select({"broken.shp"});
    EXPECT_EQ(m_errors, QStringList{"Bitmap image is not valid."});
    EXPECT_TRUE(w.imgThumbnail->pixmap().isNull());
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "broken.shp");
    ASSERT_EQ(w.SelectedFiles.size(), 1u);
    EXPECT_EQ(w.SelectedFiles[0]->Doc, nullptr) << "the document is closed again";
}

} // namespace
