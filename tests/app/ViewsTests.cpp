#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>

#include "AppFixture.h"
#include "app/BrowserPane.h"
#include "OwnPictures.h"
#include "Samples.h"
#include "app/MetadataViews.h"
#include "support/StringOps.h"
#include "xml/TemporaryDocument.h"
#include "TestPictures.h"
#include "xml/PreparedPages.h"
#include "xml/Stylesheets.h"
#include "xml/XslTransform.h"

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
    // The scratch files live in the window's own folder, not the program's.
    const std::string scratch = w.views()->scratchFolder();
    ASSERT_FALSE(scratch.empty());
    w.PageControl1->setCurrentWidget(w.TabXSL);
    select({"roads.shp"});
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(readFile(scratch + "~Last Used.xsl"), kPlainStylesheet);
    EXPECT_EQ(readFile(scratch + "~TempXML.xml"),
              "<?xml-stylesheet type=\"text/xsl\" href=\"~Last Used.xsl\"?>\r\n"
              "<metadata><idinfo><citation><citeinfo><title>Roads</title></citeinfo></citation>"
              "</idinfo></metadata>\r\n");
    EXPECT_EQ(w.wbXSL->lastPath().toStdString(), scratch + "~TempXML.xml");

    // A data set without metadata gets the page that says so, and the
    // stylesheet copy is made all the same.
    std::filesystem::remove(scratch + "~Last Used.xsl");
    std::filesystem::remove(scratch + "~TempXML.xml");
    EXPECT_FALSE(pageAfter(w.wbXSL, [&] { select({"bare.shp"}); }));
    EXPECT_TRUE(testutil::exists(scratch + "~Last Used.xsl"));
    EXPECT_FALSE(testutil::exists(scratch + "~TempXML.xml"));
    EXPECT_EQ(w.wbXSL->lastPath().toStdString(), m_tree / "bare.shp.xml");
    EXPECT_TRUE(pageText(w.wbXSL).contains("There is no metadata for"));
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
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(w.wbXML->lastPath().toStdString(), m_tree / "b.shp.xml")
        << "the node the tree reports as selected";
    EXPECT_FALSE(pageAfter(w.wbXML, [&] { select({"c.shp"}); })) << "no metadata: a page that says so";
    EXPECT_EQ(w.wbXML->lastPath().toStdString(), m_tree / "c.shp.xml");
    EXPECT_TRUE(pageText(w.wbXML).contains("There is no metadata for"));
    w.tvXMLTree->clearSelection();
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(w.wbXML->lastPath().toStdString(), m_tree / "c.shp.xml") << "no selection: unchanged";
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
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "bmp.tif");
    EXPECT_EQ(w.imgThumbnail->pixmap().size(), QSize(200, 133));
    select({"jpeg.tif"});
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(w.imgThumbnail->pixmap().size(), QSize(64, 48));
    select({"bmp.tif", "jpeg.tif"});
    ASSERT_TRUE(viewsSettled());
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
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "flathers_fgdc.xml.tif");
    QPixmap bmp = w.imgThumbnail->pixmap();
    EXPECT_EQ(bmp.size(), QSize(200, 133)) << "the BMP the ESRI profile stores";

    select({"flathers_arcgis.xml.tif"});
    ASSERT_TRUE(viewsSettled());
    QPixmap jpeg = w.imgThumbnail->pixmap();
    EXPECT_FALSE(jpeg.isNull()) << "a JPEG as newer metadata stores it";

    select({"flathers_fgdc.xml.tif", "flathers_arcgis.xml.tif"});
    ASSERT_TRUE(viewsSettled());
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
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "named.shp");
    EXPECT_TRUE(w.imgThumbnail->pixmap().isNull());
    EXPECT_EQ(w.edThbThumbnail->text(), "named.bmp");
    EXPECT_TRUE(m_errors.isEmpty());

    select({"broken.shp"});
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(m_errors, QStringList{"Bitmap image is not valid."});
    EXPECT_TRUE(w.imgThumbnail->pixmap().isNull());
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "broken.shp");
    ASSERT_EQ(w.SelectedFiles.size(), 1u);
    EXPECT_EQ(w.SelectedFiles[0]->Doc, nullptr) << "the document is closed again";
}

} // namespace

namespace {

const char* const kRoadsMetadata = "<metadata><idinfo><citation><citeinfo><title>Roads</title></citeinfo>"
                                   "</citation></idinfo></metadata>";

std::string metadataWithPicture(const std::string& title)
{
    return "<metadata><idinfo><citation><citeinfo><title>" + title + "</title></citeinfo></citation></idinfo>"
           "<Binary><Thumbnail><Data>" + testutil::bmpBase64(4, 3, Qt::darkRed)
           + "</Data></Thumbnail></Binary></metadata>";
}

// A share that does not answer for one metadata file until `answer` is set.
struct StuckShare {
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    std::atomic<bool> jobEnded{false};
};

// Makes `w`'s render jobs for `stuck` (only those rendered ahead, with
// `aheadOnly`) wait for the share's answer, then render as usual.
std::shared_ptr<StuckShare> hangOn(TdlgAtlasdesk& w, const std::string& stuck, bool aheadOnly)
{
    auto share = std::make_shared<StuckShare>();
    w.views()->setJob([share, stuck, aheadOnly](const MetadataViewRequest& request) {
        if (request.metadataPath == stuck && (!aheadOnly || request.ahead)) {
            share->answered.wait();
            share->jobEnded = true;
        }
        return RenderMetadataView(request);
    });
    return share;
}

} // namespace

// An installed program folder is read-only for its users: the Metadata page
// writes its scratch files elsewhere, per window, and the Format list shows
// only real stylesheets (not a scratch copy an earlier version left there).
TEST_F(ViewsTest, ScratchFilesStayOutOfAReadOnlyProgramFolderAndApartPerWindow)
{
    writeFile(m_program / "~Last Used.xsl", kPlainStylesheet);
    writeFile(m_tree / "roads.shp", "shp");
    writeFile(m_tree / "roads.shp.xml", kRoadsMetadata);
    writeFile(m_tree / "rails.shp", "shp");
    writeFile(m_tree / "rails.shp.xml", "<metadata><idinfo><citation><citeinfo><title>Rails</title></citeinfo>"
                                        "</citation></idinfo></metadata>");
    const std::vector<std::string> before = testutil::entries(m_program.path());
    ASSERT_EQ(::chmod(m_program.path().c_str(), 0555), 0);

    TdlgAtlasdesk& first = connected();
    TdmAtlasdesk secondModule;
    TdlgAtlasdesk second(&secondModule);
    second.ConnectToServer(m_tree.path());
    second.tvXMLTree->expand(second.tvXMLTree->rootNode());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !second.listingBusy(); }, 30000));
    for (TdlgAtlasdesk* w : {&first, &second}) {
        ASSERT_EQ(w->cbXslFormat->count(), 1);
        EXPECT_EQ(w->cbXslFormat->itemText(0), "plain.xsl");
        w->PageControl1->setCurrentWidget(w->TabXSL);
    }
    first.tvXMLTree->addToSelection(child(first.tvXMLTree->rootNode(), "roads.shp"));
    second.tvXMLTree->addToSelection(child(second.tvXMLTree->rootNode(), "rails.shp"));
    ASSERT_TRUE(viewsSettled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !second.views()->busy(); }, 60000));
    ::chmod(m_program.path().c_str(), 0755);

    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(testutil::entries(m_program.path()), before) << "nothing written into the program folder";
    const std::string a = first.views()->scratchFolder(), b = second.views()->scratchFolder();
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_NE(a, b);
    EXPECT_NE(a.rfind(m_program.path(), 0), 0u);
    EXPECT_TRUE(readFile(a + "~TempXML.xml").find("Roads") != std::string::npos);
    EXPECT_TRUE(readFile(b + "~TempXML.xml").find("Rails") != std::string::npos);
    for (const std::string& folder : {a, b})
        EXPECT_EQ(testutil::entries(folder), (std::vector<std::string>{"owner.lock", "~Last Used.xsl", "~TempXML.xml"}))
            << "nothing left over but the lock that tells the window still runs";
    EXPECT_EQ(first.wbXSL->lastLocalPath(), a + "~TempXML.xml");
    EXPECT_EQ(second.wbXSL->lastLocalPath(), b + "~TempXML.xml");
}

// A node without metadata never leaves the previous data set on a page.
TEST_F(ViewsTest, NodesWithoutMetadataNeverShowThePreviousDataSet)
{
    writeFile(m_tree / "roads.shp", "shp");
    writeFile(m_tree / "roads.shp.xml", metadataWithPicture("Roads"));
    writeFile(m_tree / "bare.shp", "shp");
    testutil::makeDir(m_tree / "folder");
    writeFile(m_tree / "folder/inside.shp", "shp");
    writeFile(m_tree / "counts.dbf", "dbf");
    writeFile(m_tree / "counts.dbf.xml", metadataWithPicture("Counts"));
    TdlgAtlasdesk& w = connected();
    QModelIndex root = w.tvXMLTree->rootNode();
    QModelIndex roads = child(root, "roads.shp");
    ASSERT_FALSE(w.IsCategoryShown(child(root, "counts.dbf"))) << "tables are greyed at start";

    const struct {
        const char* node;
        bool greyed;
    } nodes[] = {{"bare.shp", false}, {"folder", false}, {"counts.dbf", true}};
    for (QWidget* page : {w.TabXSL, w.tabXML, w.tabThumbnail}) {
        for (const auto& n : nodes) {
            SCOPED_TRACE(page->objectName().toStdString() + ", " + n.node);
            w.PageControl1->setCurrentWidget(page);
            w.tvXMLTree->setCurrentIndex(roads);
            ASSERT_TRUE(viewsSettled());
            w.tvXMLTree->setCurrentIndex(child(root, n.node));
            ASSERT_TRUE(viewsSettled());
            EXPECT_EQ(w.tvXMLTree->selectionCount(), n.greyed ? 0 : 1);
            if (page == w.tabThumbnail) {
                EXPECT_TRUE(w.imgThumbnail->pixmap().isNull());
                EXPECT_TRUE(w.edThbFilename->text().isEmpty());
                if (!n.greyed) {
                    EXPECT_EQ(w.imgThumbnail->text(), "No metadata for this data set.");
                }
                continue;
            }
            BrowserPane* pane = page == w.TabXSL ? w.wbXSL : w.wbXML;
            ASSERT_TRUE(QTest::qWaitFor([&] { return pane->lastLocalPath() == fileOf(child(root, n.node))->XMLPath; },
                                        60000));
            QString text;
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    text = pageText(pane);
                    return text.contains("There is no metadata for");
                },
                60000))
                << text.toStdString();
            EXPECT_FALSE(text.contains("Roads"));
        }
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// After a data set whose metadata cannot be read, the next click shows the
// next data set, on every page.
TEST_F(ViewsTest, ABrokenDocumentDoesNotStickToThePages)
{
    writeFile(m_tree / "broken.shp", "shp");
    writeFile(m_tree / "broken.shp.xml", "<metadata><unclosed></metadata>");
    writeFile(m_tree / "roads.shp", "shp");
    writeFile(m_tree / "roads.shp.xml", metadataWithPicture("Roads"));
    TdlgAtlasdesk& w = connected();
    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    select({"broken.shp"});
    ASSERT_TRUE(viewsSettled());
    EXPECT_EQ(m_errors, QStringList{QString::fromStdString("An error occured while loading " + m_tree / "broken.shp.xml.")});
    m_errors.clear();

    select({"roads.shp"});
    ASSERT_TRUE(viewsSettled());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "roads.shp");
    EXPECT_EQ(w.imgThumbnail->pixmap().size(), QSize(4, 3));

    for (BrowserPane* pane : {w.wbXML, w.wbXSL}) {
        w.PageControl1->setCurrentWidget(pane == w.wbXML ? w.tabXML : w.TabXSL);
        EXPECT_FALSE(pageAfter(pane, [&] { select({"broken.shp"}); }));
        EXPECT_TRUE(pageAfter(pane, [&] { select({"roads.shp"}); }));
        EXPECT_TRUE(pageText(pane).contains("Roads"));
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// Listing directories updates the counters, which does not read the
// selected metadata again: a document broken after it was shown stays shown
// without an error for every directory listed.
TEST_F(ViewsTest, ListingDirectoriesDoesNotReadTheThumbnailAgain)
{
    writeFile(m_tree / "roads.shp", "shp");
    writeFile(m_tree / "roads.shp.xml", metadataWithPicture("Roads"));
    for (int i = 0; i < 40; ++i)
        writeFile(m_tree / ("d" + std::to_string(i) + "/inner.shp"), "shp");
    TdlgAtlasdesk& w = connected();
    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    select({"roads.shp"});
    ASSERT_TRUE(viewsSettled());
    ASSERT_EQ(w.imgThumbnail->pixmap().size(), QSize(4, 3));

    writeFile(m_tree / "roads.shp.xml", "<metadata><unclosed></metadata>");
    QModelIndex root = w.tvXMLTree->rootNode();
    for (int i = 0; i < 40; ++i)
        expand(child(root, QString("d%1").arg(i)));
    ASSERT_TRUE(viewsSettled());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    EXPECT_EQ(w.imgThumbnail->pixmap().size(), QSize(4, 3));
    EXPECT_EQ(w.edThbFilename->text().toStdString(), m_tree / "roads.shp");
}

// Only the answer to the newest selection reaches a page; the stylesheet is
// parsed once for a run of data sets.
TEST_F(ViewsTest, OnlyTheNewestAnswerIsShownAndTheStylesheetIsParsedOnce)
{
    // An included part is read when the stylesheet is parsed: changing it
    // while the main file stays the same shows whether a parse took place.
    writeFile(m_program / "part.xsl", R"(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template name="part">old part</xsl:template></xsl:stylesheet>)");
    writeFile(m_program / "plain.xsl", R"(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:include href="part.xsl"/>
<xsl:template match="/"><html><body><h1><xsl:value-of select="//title"/></h1><p><xsl:call-template name="part"/></p></body></html></xsl:template>
</xsl:stylesheet>)");
    ClearStylesheetCache();
    for (const char* name : {"a", "b", "c", "d"}) {
        writeFile(m_tree / (std::string(name) + ".shp"), "shp");
        writeFile(m_tree / (std::string(name) + ".shp.xml"),
                  std::string("<metadata><title>") + name + "</title></metadata>");
    }
    TdlgAtlasdesk& w = connected();
    std::vector<MetadataView> shown;
    QObject::connect(w.views(), &MetadataViews::ready, [&](const MetadataView& view) { shown.push_back(view); });
    w.cbXslFormat->setCurrentIndex(w.cbXslFormat->findText("plain.xsl"));
    w.PageControl1->setCurrentWidget(w.TabXSL);
    select({"a.shp"});
    ASSERT_TRUE(viewsSettled());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].page.html.find("<h1>a</h1>") != std::string::npos) << shown[0].page.html;
    EXPECT_TRUE(shown[0].page.html.find("<p>old part</p>") != std::string::npos) << shown[0].page.html;

    writeFile(m_program / "part.xsl", ReplaceAll(readFile(m_program / "part.xsl"), "old part", "new part"));
    shown.clear();
    select({"b.shp"});
    select({"c.shp"});
    select({"d.shp"});
    ASSERT_TRUE(viewsSettled());
    ASSERT_EQ(shown.size(), 1u) << "b and c were asked for and then replaced";
    EXPECT_EQ(shown[0].request.metadataPath, m_tree / "d.shp.xml");
    EXPECT_TRUE(shown[0].page.html.find("<h1>d</h1>") != std::string::npos) << shown[0].page.html;
    EXPECT_TRUE(shown[0].page.html.find("<p>old part</p>") != std::string::npos)
        << "the stylesheet came from the cache: " << shown[0].page.html;
    EXPECT_EQ(w.wbXSL->lastLocalPath(), w.views()->scratchFolder() + "~TempXML.xml");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// While a data set's Metadata or XML page shows, the pages of the rows
// above and below it are rendered ahead: moving there shows them without a
// render. A file changed since (even at the same size) is rendered anew,
// never shown as it was, and the Metadata page's scratch document is always
// the one of the page shown.
TEST_F(ViewsTest, TheRowsNextToTheSelectionAreRenderedAheadButNeverShownStale)
{
    const auto metadata = [](const std::string& title) {
        return "<metadata><idinfo><citation><citeinfo><title>" + title
               + "</title></citeinfo></citation></idinfo></metadata>";
    };
    const auto scratchDocument = [&](const std::string& title) {
        return "<?xml-stylesheet type=\"text/xsl\" href=\"~Last Used.xsl\"?>\r\n" + metadata(title) + "\r\n";
    };
    for (const char* name : {"a", "b", "c", "d"}) {
        writeFile(m_tree / (std::string(name) + ".shp"), "shp");
        writeFile(m_tree / (std::string(name) + ".shp.xml"), metadata(std::string("Title ") + name));
    }
    TdlgAtlasdesk& w = connected();
    const std::string scratch = w.views()->scratchFolder();
    std::vector<MetadataView> shown;
    QObject::connect(w.views(), &MetadataViews::ready, [&](const MetadataView& view) { shown.push_back(view); });
    w.cbXslFormat->setCurrentIndex(w.cbXslFormat->findText("plain.xsl"));

    const struct {
        QWidget* page;
        BrowserPane* pane;
    } pages[] = {{w.TabXSL, w.wbXSL}, {w.tabXML, w.wbXML}};
    for (const auto& p : pages) {
        SCOPED_TRACE(p.pane == w.wbXSL ? "Metadata page" : "XML page");
        w.PageControl1->setCurrentWidget(p.page);
        select({"b.shp"});
        ASSERT_TRUE(viewsSettled());
        ASSERT_FALSE(shown.empty());
        if (p.pane == w.wbXSL) {
            EXPECT_FALSE(shown.back().prepared) << "nothing was rendered ahead before";
        }

        // c and a were rendered ahead while b showed.
        shown.clear();
        EXPECT_TRUE(pageAfter(p.pane, [&] { select({"c.shp"}); }));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].prepared);
        EXPECT_TRUE(pageText(p.pane).contains("Title c"));
        if (p.pane == w.wbXSL) {
            EXPECT_EQ(readFile(scratch + "~TempXML.xml"), scratchDocument("Title c"));
        }

        // a changed after it was rendered ahead: same size, new title.
        writeFile(m_tree / "a.shp.xml", metadata(p.pane == w.wbXSL ? "Title A" : "Title Z"));
        shown.clear();
        EXPECT_TRUE(pageAfter(p.pane, [&] { select({"a.shp"}); }));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_FALSE(shown[0].prepared) << "rendered anew";
        const QString text = pageText(p.pane);
        EXPECT_TRUE(text.contains(p.pane == w.wbXSL ? "Title A" : "Title Z")) << text.toStdString();
        EXPECT_FALSE(text.contains("Title a")) << text.toStdString();
        if (p.pane == w.wbXSL) {
            EXPECT_EQ(readFile(scratch + "~TempXML.xml"), scratchDocument("Title A"));
        }
        ASSERT_TRUE(viewsSettled());
    }
    EXPECT_LE(w.views()->preparedPages().size(), 6u);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// A row rendered ahead whose file does not answer (a share that hangs) does
// not hold up the page asked for next: it is given up after its own short
// time-out, not the page's.
TEST_F(ViewsTest, ARowRenderedAheadThatHangsDoesNotHoldUpThePageAskedFor)
{
    for (const char* name : {"a", "b", "c"}) {
        writeFile(m_tree / (std::string(name) + ".shp"), "shp");
        writeFile(m_tree / (std::string(name) + ".shp.xml"),
                  std::string("<metadata><title>Title ") + name + "</title></metadata>");
    }
    TdlgAtlasdesk& w = connected();
    const auto share = hangOn(w, m_tree / "c.shp.xml", true);
    w.cbXslFormat->setCurrentIndex(w.cbXslFormat->findText("plain.xsl"));
    w.PageControl1->setCurrentWidget(w.TabXSL);
    // b's page; then c (below it) is rendered ahead and hangs.
    ASSERT_TRUE(pageAfter(w.wbXSL, [&] { select({"b.shp"}); }));
    QElapsedTimer waited;
    waited.start();
    EXPECT_TRUE(pageAfter(w.wbXSL, [&] { select({"a.shp"}); }));
    EXPECT_LT(waited.elapsed(), 20000) << "the page waited for the row rendered ahead";
    EXPECT_TRUE(pageText(w.wbXSL).contains("Title a"));

    share->answer.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return share->jobEnded.load(); }, 60000));
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// A share that stops answering: the page says so after the time-out instead
// of waiting for ever, later clicks are answered all the same, and the late
// answer is never shown.
TEST_F(ViewsTest, APageThatGetsNoAnswerSaysSoAndLaterClicksAreAnswered)
{
    writeFile(m_tree / "stuck.shp", "shp");
    writeFile(m_tree / "stuck.shp.xml", kRoadsMetadata);
    writeFile(m_tree / "rails.shp", "shp");
    writeFile(m_tree / "rails.shp.xml", "<metadata><title>Rails</title></metadata>");
    TdlgAtlasdesk& w = connected();

    // The job for stuck.shp does not come back until the share "answers".
    const std::string stuck = m_tree / "stuck.shp.xml";
    const auto share = hangOn(w, stuck, false);
    w.views()->setAnswerTimeout(300);
    std::vector<std::string> shown;
    QObject::connect(w.views(), &MetadataViews::ready,
                     [&](const MetadataView& view) { shown.push_back(view.request.metadataPath); });

    w.PageControl1->setCurrentWidget(w.tabXML);
    EXPECT_FALSE(pageAfter(w.wbXML, [&] { select({"stuck.shp"}); }));
    EXPECT_FALSE(w.views()->busy());
    EXPECT_TRUE(pageText(w.wbXML).contains("did not arrive within 0.3 s"));

    EXPECT_TRUE(pageAfter(w.wbXML, [&] { select({"rails.shp"}); })) << "answered beside the stuck job";
    EXPECT_TRUE(pageText(w.wbXML).contains("Rails"));

    share->answer.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return share->jobEnded.load(); }, 60000));
    QTest::qWait(0); // lets a late answer arrive, if one were sent
    EXPECT_EQ(shown, (std::vector<std::string>{stuck, m_tree / "rails.shp.xml"}))
        << "the time-out page of stuck.shp, then rails.shp; the late answer is dropped";
    EXPECT_EQ(w.wbXML->lastLocalPath(), m_tree / "rails.shp.xml");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

// A page that waits too long says what held it up: the folder while the
// metadata file is not in yet; the work on the document once it has been
// read (the folder answered, and blaming it would send the user the wrong
// way). Each page, with a job stuck before its read and one stuck after.
TEST_F(ViewsTest, APageThatWaitsTooLongSaysWhetherTheFolderOrTheDocumentHeldItUp)
{
    writeFile(m_tree / "slow.shp", "shp");
    writeFile(m_tree / "slow.shp.xml", kRoadsMetadata);
    TdlgAtlasdesk& w = connected();
    w.views()->setAnswerTimeout(300);
    const char* const folder = "did not arrive within 0.3 s: the folder that holds it does not answer";
    const char* const document = "The metadata file was read, but preparing it for this page took longer than 0.3 s";
    const struct {
        const char* name;
        QWidget* tab;
        BrowserPane* pane; // null: the Thumbnail page, which reports in the error box
        bool stuckAfterRead;
        const char* said;
        const char* neverSaid;
    } cases[] = {
        {"XML, before", w.tabXML, w.wbXML, false, folder, document},
        {"XML, after", w.tabXML, w.wbXML, true, document, folder},
        {"Metadata, before", w.TabXSL, w.wbXSL, false, folder, document},
        {"Metadata, after", w.TabXSL, w.wbXSL, true, document, folder},
        {"Thumbnail, before", w.tabThumbnail, nullptr, false, folder, document},
        {"Thumbnail, after", w.tabThumbnail, nullptr, true, document, folder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The real job, held up before or after it runs (after it, the file
        // has been read by the job itself, which must have said so).
        auto release = std::make_shared<std::promise<void>>();
        const std::shared_future<void> released = release->get_future().share();
        auto ended = std::make_shared<std::atomic<bool>>(false);
        const bool after = c.stuckAfterRead;
        w.views()->setJob([released, ended, after](const MetadataViewRequest& request) {
            MetadataView view;
            if (after)
                view = RenderMetadataView(request);
            released.wait();
            if (!after)
                view = RenderMetadataView(request);
            *ended = true;
            return view;
        });
        w.tvXMLTree->clearSelection();
        ASSERT_TRUE(viewsSettled());
        w.PageControl1->setCurrentWidget(c.tab);
        m_errors.clear();
        QString said;
        if (c.pane) {
            EXPECT_FALSE(pageAfter(c.pane, [&] { select({"slow.shp"}); }));
            said = pageText(c.pane);
        } else {
            select({"slow.shp"});
            ASSERT_TRUE(QTest::qWaitFor([&] { return !m_errors.isEmpty(); }, 60000));
            said = m_errors.join('\n');
            EXPECT_EQ(m_errors.size(), 1) << said.toStdString();
        }
        EXPECT_TRUE(said.contains(c.said)) << said.toStdString();
        EXPECT_FALSE(said.contains(c.neverSaid)) << said.toStdString();
        EXPECT_FALSE(w.views()->busy());
        release->set_value();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended->load(); }, 60000));
    }
    w.views()->setJob(RenderMetadataView);
    m_errors.clear();
}
