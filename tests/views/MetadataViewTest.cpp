// The render job of the metadata pages (RenderMetadataView) and the title
// our two stylesheets put at the top of the page.
#include "xml/MetadataView.h"
#include "xml/TemporaryDocument.h"
#include "xml/XslTransform.h"

#include "TestPictures.h"
#include "ViewsTestSupport.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

using namespace viewstest;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const char* const kSheets[] = {"Atlasdesk Full.xsl", "Atlasdesk Summary.xsl"};

// `text` (UTF-8) in UTF-16, little or big endian, with or without its mark.
std::string utf16(const std::string& text, bool littleEndian, bool mark)
{
    const QString decoded = QString::fromUtf8(text);
    std::string out;
    if (mark)
        out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const QChar ch : decoded) {
        const char high = static_cast<char>(ch.unicode() >> 8), low = static_cast<char>(ch.unicode() & 0xFF);
        out += littleEndian ? low : high;
        out += littleEndian ? high : low;
    }
    return out;
}

MetadataViewRequest requestFor(MetadataPage page, const std::string& metadata, const std::string& scratch)
{
    MetadataViewRequest request;
    request.page = page;
    request.dataPath = metadata.substr(0, metadata.size() - 4);
    request.metadataPath = metadata;
    request.scratchFolder = scratch;
    request.pictureElement = "Binary/Thumbnail/Data";
    request.pictureNameElement = "idinfo/browse/browsen";
    return request;
}

// Older desktop tools wrote UTF-16 documents: with a byte-order mark in
// either byte order, and declared as UTF-16. Every page shows them, through
// both of our stylesheets.
TEST(MetadataView, Utf16DocumentsOnEveryPage)
{
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<metadata>\r\n<idinfo><citation><citeinfo>"
        "<title>For\xC3\xAAt \xE2\x80\x93 \xE6\xA3\xAE</title></citeinfo></citation>\n"
        "<browse><browsen>for\xC3\xAAt.bmp</browsen></browse></idinfo>\r"
        "<Binary><Thumbnail><Data>" + testutil::bmpBase64(3, 2, Qt::darkGreen) + "</Data></Thumbnail></Binary>\n</metadata>\r\n";
    const struct {
        const char* name;
        bool littleEndian, mark;
    } encodings[] = {{"UTF-16LE with mark", true, true},
                     {"UTF-16BE with mark", false, true},
                     {"UTF-16LE declared, no mark", true, false}};
    for (const auto& encoding : encodings) {
        SCOPED_TRACE(encoding.name);
        TempDir dir, scratch;
        writeFile(dir / "forest.shp.xml", utf16(document, encoding.littleEndian, encoding.mark));
        const std::string metadata = dir / "forest.shp.xml";

        for (const char* sheet : kSheets) {
            SCOPED_TRACE(sheet);
            MetadataViewRequest request = requestFor(MetadataPage::Rendered, metadata, scratch.path());
            request.stylesheetPath = stylesheetPath(sheet);
            const MetadataView view = RenderMetadataView(request);
            EXPECT_TRUE(view.error.empty()) << view.error;
            EXPECT_TRUE(view.page.ok) << view.page.error;
            EXPECT_TRUE(contains(view.page.html, "<h1>For\xC3\xAAt \xE2\x80\x93 \xE6\xA3\xAE</h1>"))
                << view.page.html.substr(0, 2000);
            EXPECT_EQ(view.pagePath, scratch / "~TempXML.xml");
            EXPECT_EQ(readFile(scratch / "~Last Used.xsl"), readFile(stylesheetPath(sheet)));
        }

        const MetadataView raw = RenderMetadataView(requestFor(MetadataPage::Raw, metadata, {}));
        EXPECT_TRUE(raw.page.ok) << raw.page.error;
        EXPECT_TRUE(contains(raw.page.html, "For\xC3\xAAt \xE2\x80\x93 \xE6\xA3\xAE"));

        const MetadataView thumbnail = RenderMetadataView(requestFor(MetadataPage::Thumbnail, metadata, {}));
        EXPECT_TRUE(thumbnail.error.empty()) << thumbnail.error;
        EXPECT_EQ(thumbnail.picture.size(), QSize(3, 2));
        EXPECT_EQ(thumbnail.pictureName, "for\xC3\xAAt.bmp");
    }
}

// The scratch document of a UTF-16 file stays UTF-16 in the file's byte
// order: the mark first, the stylesheet line and the line ends in 16-bit
// units, and a byte 0x0A or 0x0D inside a character is no line end.
TEST(MetadataView, ScratchDocumentOfUtf16KeepsItsUnits)
{
    const std::string line = "<?xml-stylesheet type=\"text/xsl\" href=\"~Last Used.xsl\"?>\r\n";
    // U+0A0D and U+0D0A hold the bytes of line ends in both orders.
    const std::string body = "<a>\xE0\xA8\x8D\xE0\xB4\x8A</a>";
    const struct {
        bool littleEndian, mark;
    } cases[] = {{true, true}, {false, true}, {true, false}, {false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.littleEndian ? "LE" : "BE") + (c.mark ? " with mark" : " without mark"));
        TempDir dir;
        const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>";
        writeFile(dir / "in.xml", utf16(declaration + "\n" + body + "\r\n<b/>", c.littleEndian, c.mark));
        writeTemporaryDocument(dir / "in.xml", dir / "out.xml");
        EXPECT_EQ(readFile(dir / "out.xml"),
                  (c.mark ? utf16("", c.littleEndian, true) : std::string())
                      + utf16(line + declaration + "\r\n" + body + "\r\n<b/>\r\n", c.littleEndian, false));
    }
}

TEST(MetadataView, WithoutAMetadataFileThePagesSaySo)
{
    TempDir dir, scratch;
    writeFile(dir / "plain.xsl", readFile(stylesheetPath("Atlasdesk Summary.xsl")));
    for (const MetadataPage page : {MetadataPage::Rendered, MetadataPage::Raw, MetadataPage::Thumbnail}) {
        MetadataViewRequest request = requestFor(page, dir / "missing.shp.xml", scratch.path());
        request.stylesheetPath = dir / "plain.xsl";
        const MetadataView view = RenderMetadataView(request);
        EXPECT_FALSE(view.hasMetadata);
        EXPECT_TRUE(view.error.empty()) << view.error;
        EXPECT_TRUE(view.picture.isNull());
        if (page == MetadataPage::Thumbnail) {
            EXPECT_TRUE(view.page.html.empty());
        } else {
            EXPECT_FALSE(view.page.ok);
            EXPECT_TRUE(contains(view.page.html, "There is no metadata for <code>" + dir / "missing.shp</code>"));
        }
    }
    EXPECT_FALSE(testutil::exists(scratch / "~TempXML.xml"));
}

// Whoever waits for a job learns when the metadata file has been read (the
// folder answered), and only then: not for a file that is missing, nor for
// one the Thumbnail page refuses unread because it is too large to show.
TEST(MetadataView, TheJobTellsOnceTheFileIsRead)
{
    TempDir dir, scratch;
    writeFile(dir / "roads.shp.xml", "<metadata><idinfo><citation><citeinfo><title>Roads</title></citeinfo>"
                                     "</citation></idinfo></metadata>");
    writeFile(dir / "huge.shp.xml", "<metadata>" + std::string(17 * 1024 * 1024, ' ') + "</metadata>");
    const struct {
        const char* file;
        MetadataPage page;
        bool read;
        const char* error;
    } cases[] = {
        {"roads.shp.xml", MetadataPage::Rendered, true, ""},
        {"roads.shp.xml", MetadataPage::Raw, true, ""},
        {"roads.shp.xml", MetadataPage::Thumbnail, true, ""},
        {"missing.shp.xml", MetadataPage::Rendered, false, ""},
        {"missing.shp.xml", MetadataPage::Raw, false, ""},
        {"missing.shp.xml", MetadataPage::Thumbnail, false, ""},
        {"huge.shp.xml", MetadataPage::Thumbnail, false,
         "The document is too large to be shown. The file holds 17.0 MB; documents of up to 16.0 MB are shown."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + ", page " + std::to_string(static_cast<int>(c.page)));
        MetadataViewRequest request = requestFor(c.page, dir / c.file, scratch.path());
        request.stylesheetPath = stylesheetPath("Atlasdesk Summary.xsl");
        request.progress = std::make_shared<MetadataViewProgress>();
        const MetadataView view = RenderMetadataView(request);
        EXPECT_EQ(request.progress->read(), c.read);
        EXPECT_EQ(view.error, c.error);
    }
    // Without anyone to tell, the job runs all the same.
    const MetadataView view = RenderMetadataView(requestFor(MetadataPage::Raw, dir / "roads.shp.xml", {}));
    EXPECT_TRUE(view.page.ok) << view.page.error;
}

TEST(MetadataView, AScratchFolderThatCannotBeWrittenIsReported)
{
    TempDir dir;
    writeFile(dir / "a.shp.xml", "<metadata/>");
    MetadataViewRequest request = requestFor(MetadataPage::Rendered, dir / "a.shp.xml", dir / "no-such-folder/");
    request.stylesheetPath = stylesheetPath("Atlasdesk Full.xsl");
    const MetadataView view = RenderMetadataView(request);
    EXPECT_EQ(view.error, "Cannot write " + dir / "no-such-folder/~TempXML.xml" + ": No such file or directory");
    EXPECT_TRUE(view.page.html.empty()) << "no page: the pane keeps what it showed";
}

// The heading of both stylesheets: the older profile's title when it is not
// blank, else the newer format's title.
TEST(ShippedStylesheetTitle, OlderProfileTitleFirst)
{
    const std::string older = "<idinfo><citation><citeinfo><title>Older title</title></citeinfo></citation></idinfo>";
    const std::string blankOlder = "<idinfo><citation><citeinfo><title>  </title></citeinfo></citation></idinfo>";
    const std::string newer = "<dataIdInfo><idCitation><resTitle>Newer title</resTitle></idCitation></dataIdInfo>";
    const struct {
        const char* name;
        std::string body;
        const char* heading;
    } cases[] = {
        {"older only", older, "Older title"},
        {"newer only", newer, "Newer title"},
        {"both, newer first in the file", newer + older, "Older title"},
        {"both, older blank", blankOlder + newer, "Newer title"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        writeFile(dir / "doc.xml", "<metadata>" + c.body + "</metadata>");
        for (const char* sheet : kSheets) {
            SCOPED_TRACE(std::string(c.name) + " through " + sheet);
            const RenderResult result = ApplyStylesheet(dir / "doc.xml", stylesheetPath(sheet));
            ASSERT_TRUE(result.ok) << result.error;
            EXPECT_TRUE(contains(result.html, std::string("<h1>") + c.heading + "</h1>"));
            EXPECT_TRUE(contains(result.html, std::string("<title>") + c.heading + "</title>"));
        }
    }
}

} // namespace
