// BrowserPane driving a real QWebEngineView on the offscreen platform: what
// the page shows, that it fetches nothing from the network, relative local
// images, and pages too large for setHtml.
#include "app/BrowserPane.h"
#include "xml/Pages.h"

#include "OwnPictures.h"
#include "Samples.h"
#include "ViewsTestSupport.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QEventLoop>
#include <QImage>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <gtest/gtest.h>

using namespace viewstest;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

constexpr int kLoadTimeoutMs = 60000;

// Stands in for the desktop's browser: QDesktopServices hands it the
// addresses it is asked to open.
class DesktopBrowser : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
signals:
    void received();
public slots:
    void open(const QUrl& url)
    {
        opened.append(url);
        emit received();
    }
};

class BrowserPaneTest : public ::testing::Test {
protected:
    BrowserPaneTest() { pane.resize(900, 700); }

    // Navigates and waits for the page; the value of `rendered`.
    bool show(const std::string& path)
    {
        QSignalSpy spy(&pane, &BrowserPane::rendered);
        pane.navigate(QString::fromStdString(path));
        if (!spy.wait(kLoadTimeoutMs)) {
            ADD_FAILURE() << "no page for " << path;
            return false;
        }
        return spy.takeFirst().at(0).toBool();
    }

    QString pageText()
    {
        QString text;
        bool done = false;
        QEventLoop loop;
        pane.view()->page()->toPlainText([&](const QString& result) {
            text = result;
            done = true;
            loop.quit();
        });
        QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
        if (!done)
            loop.exec();
        EXPECT_TRUE(done) << "no page text";
        return text;
    }

    QVariant evaluate(const QString& script)
    {
        QVariant value;
        bool done = false;
        QEventLoop loop;
        pane.view()->page()->runJavaScript(script, [&](const QVariant& result) {
            value = result;
            done = true;
            loop.quit();
        });
        QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
        if (!done)
            loop.exec();
        EXPECT_TRUE(done) << "no script result";
        return value;
    }

    // Writes the stylesheet and the scratch document as the Metadata page does.
    std::string scratch(const std::string& metadata, const std::string& sheet)
    {
        writeFile(dir / "~Last Used.xsl", sheet);
        writeFile(dir / "~TempXML.xml", scratchDocument(metadata));
        return dir / "~TempXML.xml";
    }

    TempDir dir;
    BrowserPane pane;
};

TEST_F(BrowserPaneTest, ShowsARealDocumentThroughFgdcPlusWithItsThumbnail)
{
    ATLASDESK_REQUIRE_SAMPLES("flathers_fgdc.xml", "FGDC_Plus.xsl");
    const std::string path = scratch(readFile(samplePath("flathers_fgdc.xml")), readFile(samplePath("FGDC_Plus.xsl")));

    ASSERT_TRUE(show(path));

    EXPECT_EQ(pane.lastPath(), QString::fromStdString(path));
    EXPECT_TRUE(pageText().contains("Downscaled Climate Model Output for the Contiguous United States"));
    // The BMP thumbnail decodes in the page: 200 x 133 pixels.
    EXPECT_EQ(evaluate("Array.from(document.images).filter(i => i.naturalWidth == 200 && i.naturalHeight == 133).length")
                  .toInt(),
              1);
}

TEST_F(BrowserPaneTest, ShowsOurStylesheetAndTheRawXml)
{
    ATLASDESK_REQUIRE_SAMPLES("flathers_arcgis.xml");
    const std::string sample = samplePath("flathers_arcgis.xml");
    ASSERT_TRUE(show(scratch(readFile(sample), readFile(stylesheetPath("Atlasdesk Full.xsl")))));
    const QString styled = pageText();
    EXPECT_TRUE(styled.contains("Digital Orthoimagery Series of the Stanley, Idaho Study Area"));
    EXPECT_TRUE(styled.contains("-115.186234"));
    EXPECT_EQ(evaluate("document.querySelector('.thumb img').naturalWidth > 0").toBool(), true);

    ASSERT_TRUE(show(sample));
    const QString raw = pageText();
    EXPECT_TRUE(raw.contains("<dataIdInfo>"));
    EXPECT_TRUE(raw.contains("<westBL>-115.186234</westBL>"));
}

// Our own documents: the BMP and the JPEG thumbnails decode in the page at
// their own sizes, and the raw view shows the document's elements.
TEST_F(BrowserPaneTest, ShowsOurOwnDocumentsWithTheirThumbnails)
{
    const struct {
        const char* format;
        int width, height;
    } cases[] = {{"BMP", 200, 133}, {"JPG", 64, 48}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const std::string metadata =
            testutil::ownMetadata("Own roads", testutil::pictureBytes(c.format, c.width, c.height));
        writeFile(dir / "own.xml", metadata);
        ASSERT_TRUE(show(scratch(metadata, readFile(stylesheetPath("Atlasdesk Full.xsl")))));
        EXPECT_TRUE(pageText().contains("Own roads"));
        EXPECT_EQ(evaluate(QStringLiteral("Array.from(document.images).filter(i => i.naturalWidth == %1 && "
                                          "i.naturalHeight == %2).length").arg(c.width).arg(c.height))
                      .toInt(),
                  1);

        ASSERT_TRUE(show(dir / "own.xml"));
        const QString raw = pageText();
        EXPECT_TRUE(raw.contains("<title>Own roads</title>"));
        EXPECT_TRUE(raw.contains("<westbc>6.02</westbc>"));
    }
}

// Long text without a break (a projection string in the processing
// history, a WKT in the spatial reference) wraps inside the page instead of
// widening it.
TEST_F(BrowserPaneTest, LongUnbrokenTextWrapsOnOurPages)
{
    std::string projection = "PROJCS[";
    while (projection.size() < 3000)
        projection += "\"WGS_1984_UTM_Zone_31N\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[6378137.0]],";
    const std::string metadata = "<metadata><idinfo><citation><citeinfo><title>Wide</title></citeinfo></citation>"
                                 "</idinfo><dataqual><lineage><procstep><procdesc>" + projection +
                                 "</procdesc><srcused>" + projection + "</srcused></procstep></lineage></dataqual>"
                                 "<Esri><DataProperties><lineage><Process Name=\"Project\" Date=\"20120101\">" +
                                 projection + "</Process></lineage></DataProperties></Esri></metadata>";
    pane.show(); // laid out at its real width of 900 pixels
    for (const char* sheet : {"Atlasdesk Full.xsl", "Atlasdesk Summary.xsl"}) {
        SCOPED_TRACE(sheet);
        ASSERT_TRUE(show(scratch(metadata, readFile(stylesheetPath(sheet)))));
        ASSERT_TRUE(pageText().contains("Wide"));
        const int width = evaluate("document.documentElement.clientWidth").toInt();
        ASSERT_GT(width, 800);
        EXPECT_LE(evaluate("document.documentElement.scrollWidth").toInt(), width);
    }
}

// Later pages of the same base replace the content of the loaded page in
// place (no navigation): only the new page shows, with its title, its
// relative pictures and its links within itself; a page's own scripts cannot
// stop that; a page of another base gets a document of its own.
TEST_F(BrowserPaneTest, LaterPagesReplaceTheContentInPlace)
{
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(QString::fromStdString(dir / "pic.png")));
    const std::string sheet = R"XML(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" encoding="UTF-8"/>
<xsl:template match="/"><html><head><title><xsl:value-of select="/metadata/title"/></title></head>
<body><a id="down" href="#end">down</a><p><xsl:value-of select="/metadata/title"/> shown</p><img id="pic" src="pic.png"/>
<xsl:copy-of select="/metadata/script"/><div style="height: 5000px"></div><p id="end">end</p></body></html></xsl:template>
</xsl:stylesheet>
)XML";
    ASSERT_TRUE(show(scratch("<metadata><title>First</title></metadata>", sheet)));
    QSignalSpy started(pane.view(), &QWebEngineView::loadStarted);

    // A script of its own that would keep the page from being replaced.
    ASSERT_TRUE(show(scratch("<metadata><title>Second</title><script>document.open = function () {};"
                             "document.write = function () {};</script></metadata>", sheet)));
    EXPECT_EQ(started.count(), 0) << "replaced in place, not loaded anew";
    QString text = pageText();
    EXPECT_TRUE(text.contains("Second shown")) << text.toStdString();
    EXPECT_FALSE(text.contains("First"));
    EXPECT_EQ(pane.view()->title(), "Second");
    EXPECT_EQ(evaluate("document.getElementById('pic').naturalWidth").toInt(), 4);
    evaluate("document.getElementById('down').click()");
    EXPECT_TRUE(QTest::qWaitFor([&] { return evaluate("window.scrollY").toInt() > 1000; }, 10000))
        << "a link within the page stays on it";

    ASSERT_TRUE(show(scratch("<metadata><title>Third</title></metadata>", sheet)));
    EXPECT_EQ(started.count(), 0);
    text = pageText();
    EXPECT_TRUE(text.contains("Third shown")) << text.toStdString();
    EXPECT_FALSE(text.contains("Second"));
    EXPECT_EQ(evaluate("window.scrollY").toInt(), 0) << "a new page starts at its top";

    // Another folder: a document of its own, its pictures from its folder.
    TempDir other;
    picture.scaled(6, 5).save(QString::fromStdString(other / "pic.png"));
    writeFile(other / "~Last Used.xsl", sheet);
    writeFile(other / "~TempXML.xml", scratchDocument("<metadata><title>Fourth</title></metadata>"));
    ASSERT_TRUE(show(other / "~TempXML.xml"));
    EXPECT_GT(started.count(), 0);
    EXPECT_TRUE(pageText().contains("Fourth shown"));
    EXPECT_EQ(evaluate("document.getElementById('pic').naturalWidth").toInt(), 6);
}

// The text of a page replaced in place arrives as it is, whatever it holds:
// quotes and backslashes, control characters, the line and paragraph
// separators, characters of two UTF-16 units; bytes that are not UTF-8 show
// as the replacement character, as in a page of its own.
TEST_F(BrowserPaneTest, ThePageTextArrivesUnchangedWhenReplacedInPlace)
{
    const auto page = [](const std::string& body) {
        RenderResult result;
        result.ok = true;
        result.html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title></head><body>"
                      "<pre id=\"text\">" + body + "</pre></body></html>";
        return result;
    };
    QSignalSpy rendered(&pane, &BrowserPane::rendered);
    QSignalSpy started(pane.view(), &QWebEngineView::loadStarted);
    const struct {
        const char* name;
        std::string body;
        QString shown;
    } cases[] = {
        {"first, loaded", "plain", QStringLiteral("plain")},
        {"quotes and backslashes", R"(say "\" and '\\' and \n, \u0041 ")", QStringLiteral(R"(say "\" and '\\' and \n, \u0041 ")")},
        {"control characters", "a\tb\x01" "c\x1f\x7f\r\nd", QStringLiteral("a\tb\x01" "c\x1f\x7f\nd")},
        {"separators and a character of two units", "x\u2028y\u2029z \U0001D11E", QString::fromUtf8("x\u2028y\u2029z \U0001D11E")},
        {"bytes that are not UTF-8", "caf\xe9 \xc3", QStringLiteral("caf") + QChar(0xFFFD) + QStringLiteral(" ") + QChar(0xFFFD)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rendered.clear();
        pane.showPage(dir / "page.xml", page(c.body), dir.path());
        ASSERT_TRUE(rendered.count() > 0 || rendered.wait(kLoadTimeoutMs));
        EXPECT_TRUE(rendered.takeFirst().at(0).toBool());
        EXPECT_EQ(evaluate("document.getElementById('text').textContent").toString(), c.shown);
    }
    EXPECT_EQ(started.count(), 1) << "only the first page was loaded; the others replaced it in place";
}

// A large document's raw page is written in parts: `rendered` comes with the
// first screen, the rest follows until the page is whole, and then it is
// found and copied as any page (the picture's text too, which is laid out
// only when scrolled near, found or selected).
class LargePageTest : public BrowserPaneTest {
protected:
    // On screen: the engine runs the timers of hidden pages once a second.
    LargePageTest() { pane.show(); }

    // Metadata with `elements` elements and a picture holding `marker`,
    // ending with `last`.
    std::string largeDocument(const std::string& name, int elements, const std::string& marker, const std::string& last)
    {
        std::string xml = "<metadata><title>" + name + "</title>";
        for (int i = 0; i < elements; ++i)
            xml += "<attr><attrlabl>" + name + "_" + std::to_string(i) + "</attrlabl><attrdef>monthly mean</attrdef></attr>";
        xml += "<Binary><Thumbnail><Data>" + std::string(40000, 'A') + marker + std::string(40000, 'B') +
               "</Data></Thumbnail></Binary><last>" + last + "</last></metadata>";
        writeFile(dir / (name + ".xml"), xml);
        return dir / (name + ".xml");
    }

    bool pageHolds(const QString& text)
    {
        return QTest::qWaitFor([&] { return pageText().contains(text); }, 20000);
    }

    int matches(const QString& text)
    {
        int found = -1;
        QEventLoop loop;
        pane.view()->page()->findText(text, {}, [&](const QWebEngineFindTextResult& result) {
            found = result.numberOfMatches();
            loop.quit();
        });
        QTimer::singleShot(kLoadTimeoutMs, &loop, &QEventLoop::quit);
        if (found < 0)
            loop.exec();
        return found;
    }
};

TEST_F(LargePageTest, ComesWholeAndIsFoundAndCopiedAsAnyPage)
{
    ASSERT_TRUE(show(largeDocument("small", 1, "SmallPicture", "small end")));
    QSignalSpy started(pane.view(), &QWebEngineView::loadStarted);

    ASSERT_TRUE(show(largeDocument("large", 600, "FindMeInThePicture", "END-OF-DOCUMENT")));
    EXPECT_EQ(started.count(), 0) << "replaced in place";
    ASSERT_TRUE(pageHolds("END-OF-DOCUMENT")) << "the rest of the page never came";
    const QString text = pageText();
    EXPECT_FALSE(text.contains("small end"));
    for (const char* shown : {"large_0", "large_299", "large_599", "</metadata>"})
        EXPECT_TRUE(text.contains(shown)) << shown;
    EXPECT_EQ(text.count("large_"), 600);
    EXPECT_EQ(evaluate("document.readyState").toString(), "complete");

    EXPECT_EQ(matches("FindMeInThePicture"), 1);
    EXPECT_EQ(matches("large_599</attrlabl>"), 1);
    EXPECT_EQ(matches("NowhereOnThePage"), 0);
    EXPECT_EQ(matches("END-OF-DOCUMENT"), 1);
    QGuiApplication::clipboard()->clear();
    pane.view()->page()->triggerAction(QWebEnginePage::SelectAll);
    pane.view()->page()->triggerAction(QWebEnginePage::Copy);
    ASSERT_TRUE(QTest::qWaitFor([] { return QGuiApplication::clipboard()->text().contains("END-OF-DOCUMENT"); }, 20000))
        << "select all and copy did not copy the page";
    const QString copied = QGuiApplication::clipboard()->text();
    for (const char* part : {"large_0", "large_599", "FindMeInThePicture", "</metadata>"})
        EXPECT_TRUE(copied.contains(part)) << part;
}

TEST_F(LargePageTest, ANewerPageStopsTheRestOfAnOlderOne)
{
    ASSERT_TRUE(show(largeDocument("small", 1, "SmallPicture", "small end")));
    QSignalSpy rendered(&pane, &BrowserPane::rendered);
    QSignalSpy started(pane.view(), &QWebEngineView::loadStarted);

    // Asked one after the other, as arrow keys do: the first page's rest
    // must not run into the second.
    pane.navigate(QString::fromStdString(largeDocument("first", 600, "FirstPicture", "FIRST-END")));
    pane.navigate(QString::fromStdString(largeDocument("second", 600, "SecondPicture", "SECOND-END")));
    ASSERT_TRUE(rendered.wait(kLoadTimeoutMs));
    ASSERT_TRUE(pageHolds("SECOND-END"));
    QTest::qWait(300);
    const QString text = pageText();
    EXPECT_FALSE(text.contains("first_")) << "pieces of the older page came in";
    EXPECT_EQ(text.count("second_"), 600);
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(rendered.count(), 1) << "one page, one signal";
}

// The parts are cut by length, in the middle of tags and texts: a character
// outside the Basic Multilingual Plane (two UTF-16 units) that lies across
// an edge stays one character. Here every edge falls inside one.
TEST_F(LargePageTest, CharactersAtTheEdgesOfThePartsStayWhole)
{
    const auto page = [](const std::string& body) {
        RenderResult result;
        result.ok = true;
        result.html = "<html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>";
        return result;
    };
    const std::string base = dir.path();
    pane.showPage(dir / "a.xml", page("<p>first</p>"), base);
    QSignalSpy rendered(&pane, &BrowserPane::rendered);
    ASSERT_TRUE(rendered.wait(kLoadTimeoutMs));
    QSignalSpy started(pane.view(), &QWebEngineView::loadStarted);

    // "x" puts the first character at an odd distance from <body>, and the
    // parts are cut at even distances from it.
    std::string faces;
    for (int i = 0; i < 40000; ++i)
        faces += "\xF0\x9F\x98\x80"; // U+1F600
    pane.showPage(dir / "b.xml", page("x" + faces + "<p>FACES-END</p>"), base);
    ASSERT_TRUE(rendered.wait(kLoadTimeoutMs));
    EXPECT_EQ(started.count(), 0) << "replaced in place";
    ASSERT_TRUE(pageHolds("FACES-END"));
    const QString text = pageText();
    EXPECT_EQ(text.count(QString::fromUtf8("\xF0\x9F\x98\x80")), 40000);
    EXPECT_FALSE(text.contains(QChar::ReplacementCharacter));
}

// The engine answers a page's pending script as the page is destroyed,
// with the pane half gone (its members destroyed, its children going): a
// window closed while a page was being replaced in place must end quietly.
TEST_F(BrowserPaneTest, APaneThatGoesWhileItsPageIsReplacedEndsQuietly)
{
    const std::string sheet = R"XML(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" encoding="UTF-8"/>
<xsl:template match="/"><html><body><p><xsl:value-of select="/metadata/title"/></p></body></html></xsl:template>
</xsl:stylesheet>
)XML";
    for (int round = 0; round < 5; ++round) {
        auto* doomed = new BrowserPane;
        doomed->resize(400, 300);
        doomed->view();
        QSignalSpy rendered(doomed, &BrowserPane::rendered);
        doomed->navigate(QString::fromStdString(scratch("<metadata><title>First</title></metadata>", sheet)));
        ASSERT_TRUE(rendered.wait(kLoadTimeoutMs));
        QSignalSpy started(doomed->view(), &QWebEngineView::loadStarted);
        doomed->navigate(QString::fromStdString(scratch("<metadata><title>Second</title></metadata>", sheet)));
        ASSERT_EQ(started.count(), 0) << "the second page is being replaced in place";
        QPointer<QWebEngineView> view = doomed->view();
        delete doomed;
        EXPECT_TRUE(view.isNull());
        QTest::qWait(50);
    }
}

TEST_F(BrowserPaneTest, SectionLinksOfTheFullPageStayOnThePage)
{
    ATLASDESK_REQUIRE_SAMPLES("flathers_fgdc.xml");
    ASSERT_TRUE(show(scratch(readFile(samplePath("flathers_fgdc.xml")), readFile(stylesheetPath("Atlasdesk Full.xsl")))));
    QSignalSpy started(pane.view(), &QWebEngineView::loadStarted);
    QSignalSpy moved(pane.view(), &QWebEngineView::urlChanged);

    evaluate("document.querySelector('nav.toc a[href=\"#extent\"]').click()");

    ASSERT_TRUE(moved.count() > 0 || moved.wait(kLoadTimeoutMs));
    EXPECT_EQ(pane.view()->url().fragment(), "extent");
    EXPECT_EQ(started.count(), 0);
    EXPECT_TRUE(pageText().contains("Downscaled Climate Model Output"));
}

TEST_F(BrowserPaneTest, WebLinksOpenInTheDesktopsBrowserAndTheMetadataStays)
{
    DesktopBrowser browser;
    QDesktopServices::setUrlHandler("http", &browser, "open");
    writeFile(dir / "links.html", "<html><body><p>Metadata page</p>"
                                  "<a id=\"same\" href=\"http://example.invalid/page\">same window</a>"
                                  "<a id=\"blank\" target=\"_blank\" href=\"http://example.invalid/other\">new window</a>"
                                  "</body></html>");
    ASSERT_TRUE(show(dir / "links.html"));
    QSignalSpy received(&browser, &DesktopBrowser::received);
    QSignalSpy renderedSpy(&pane, &BrowserPane::rendered);

    for (const char* id : {"same", "blank"}) {
        SCOPED_TRACE(id);
        const qsizetype before = received.count();
        evaluate(QString("document.getElementById('%1').click()").arg(id));
        ASSERT_TRUE(received.count() > before || received.wait(kLoadTimeoutMs));
    }
    QDesktopServices::unsetUrlHandler("http");

    EXPECT_EQ(browser.opened, (QList<QUrl>{QUrl("http://example.invalid/page"), QUrl("http://example.invalid/other")}));
    EXPECT_EQ(pane.view()->url(), QUrl::fromLocalFile(QString::fromStdString(dir / "links.html")));
    EXPECT_TRUE(pageText().contains("Metadata page"));
    // The refused loads report nothing: the next signal is the next page's.
    ASSERT_TRUE(show(dir / "links.html"));
    ASSERT_EQ(renderedSpy.count(), 1);
    EXPECT_TRUE(renderedSpy.at(0).at(0).toBool());
}

TEST_F(BrowserPaneTest, AnUnusableStylesheetShowsItsErrorPageAndReportsFailure)
{
    const std::string sheet = "<?xml version=\"1.0\"?>\n<xsl:stylesheet xmlns:xsl=\"http://www.w3.org/TR/WD-xsl\">"
                              "<xsl:template match=\"/\"><html/></xsl:template></xsl:stylesheet>\n";

    EXPECT_FALSE(show(scratch("<metadata/>", sheet)));

    const QString text = pageText();
    EXPECT_TRUE(text.contains("obsolete Microsoft XSL namespace"));
    EXPECT_TRUE(text.contains(QString::fromStdString(dir / "~Last Used.xsl")));
}

TEST_F(BrowserPaneTest, RemoteScriptsStylesAndImagesAreBlockedAndThePageStillShows)
{
    LoopbackListener listener;
    // XML syntax, so that the same markup serves the stylesheet.
    const std::string remote = "<link rel=\"stylesheet\" href=\"" + listener.url("look.css") + "\"/>"
                               "<link rel=\"stylesheet\" href=\"http://example.invalid/remote.css\"/>"
                               "<script src=\"" + listener.url("x.js") + "\"></script>"
                               "<script src=\"http://example.invalid/x.js\"></script>";
    const std::string body = "<p id=\"own\">Own content stays</p><img src=\"" + listener.url("pic.png") + "\"/>"
                             "<iframe src=\"" + listener.url("frame.html") + "\"></iframe>";
    writeFile(dir / "page.html", "<html><head>" + remote + "</head><body>" + body + "</body></html>");
    const std::string sheet = "<?xml version=\"1.0\"?>\n<xsl:stylesheet version=\"1.0\" "
                              "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:output method=\"html\"/>"
                              "<xsl:template match=\"/\"><html><head>" + remote + "</head><body>" + body +
                              "</body></html></xsl:template></xsl:stylesheet>\n";
    const std::string styled = scratch("<metadata/>", sheet);

    for (const std::string& path : {dir / "page.html", styled}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(show(path));
        EXPECT_TRUE(pageText().contains("Own content stays"));
        EXPECT_EQ(listener.connections(), 0);
    }
}

TEST_F(BrowserPaneTest, RelativeImagesLoadFromTheDocumentsFolderAlsoForPagesTooLargeForSetHtml)
{
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(QString::fromStdString(dir / "pic.png")));
    const std::string sheet = R"XML(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" encoding="UTF-8"/>
<xsl:template match="/"><html><head><title>t</title></head><body><img id="pic" src="pic.png"/>
<p><xsl:value-of select="/metadata/filler"/></p><p>Caf&#233; END-OF-PAGE</p></body></html></xsl:template>
</xsl:stylesheet>
)XML";
    for (const std::size_t filler : {std::size_t(0), std::size_t(2500000)}) {
        SCOPED_TRACE(filler);
        ASSERT_TRUE(show(scratch("<metadata><filler>" + std::string(filler, 'x') + "</filler></metadata>", sheet)));
        EXPECT_EQ(evaluate("document.getElementById('pic').naturalWidth").toInt(), 4);
        EXPECT_TRUE(pageText().contains(QString::fromUtf8("Caf\xC3\xA9 END-OF-PAGE")));
    }
}

TEST_F(BrowserPaneTest, HtmlFilesAreShownAsTheyAreAndReloadedOnEveryNavigation)
{
    writeFile(dir / "log.html", "line one<BR>\r\n");
    ASSERT_TRUE(show(dir / "log.html"));
    EXPECT_TRUE(pageText().contains("line one"));

    writeFile(dir / "log.html", "line one<BR>\r\nline two<BR>\r\n");
    ASSERT_TRUE(show(dir / "log.html"));
    EXPECT_TRUE(pageText().contains("line two"));
}

} // namespace

#include "BrowserPaneTest.moc"
