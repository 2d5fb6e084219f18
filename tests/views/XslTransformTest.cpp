// TransformFile, ApplyStylesheet and RenderRawXml: stylesheets named by the
// scratch document, encodings that lie, the thumbnail for third-party
// stylesheets, error pages, the sandbox and the raw XML view.
#include "xml/XMLOps.h"
#include "xml/RawXmlView.h"
#include "xml/Stylesheets.h"
#include "xml/XslTransform.h"

#include "OwnPictures.h"
#include "Samples.h"
#include "ViewsTestSupport.h"

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace viewstest;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const char* const kTitleSheet = R"XML(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html"/>
<xsl:template match="/"><html><body><p id="title"><xsl:value-of select="/metadata/idinfo/citation/citeinfo/title"/></p></body></html></xsl:template>
</xsl:stylesheet>
)XML";

// Shows what the stylesheet sees of the thumbnail.
const char* const kThumbnailProbeSheet = R"XML(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html"/>
<xsl:template match="/"><html><body>
<p id="count">images: <xsl:value-of select="count(//Binary/Thumbnail/img)"/></p>
<p id="src"><xsl:value-of select="//Binary/Thumbnail/img/@src"/></p>
</body></html></xsl:template>
</xsl:stylesheet>
)XML";

std::string metadataWithTitle(const std::string& title)
{
    return "<metadata><idinfo><citation><citeinfo><title>" + title
           + "</title></citeinfo></citation></idinfo></metadata>\n";
}

std::string dataText(const std::string& xmlPath)
{
    tXMLDocument doc(xmlPath);
    return doc.GetNodeText("Binary/Thumbnail/Data");
}

class TransformTest : public ::testing::Test {
protected:
    // Writes `sheet` as "~Last Used.xsl" and the scratch document of
    // `metadata` as "~TempXML.xml" into the temporary folder, as the Metadata
    // page does; returns the scratch document's path.
    std::string scratch(const std::string& metadata, const std::string& sheet)
    {
        writeFile(dir / "~Last Used.xsl", sheet);
        writeFile(dir / "~TempXML.xml", scratchDocument(metadata));
        return dir / "~TempXML.xml";
    }

    TempDir dir;
};

// ---- Third-party stylesheet on a real document -------------------------------------

TEST_F(TransformTest, FgdcPlusShowsTheTitleAndTheThumbnailOfARealDocument)
{
    ATLASDESK_REQUIRE_SAMPLES("flathers_fgdc.xml", "FGDC_Plus.xsl");
    const std::string sample = samplePath("flathers_fgdc.xml");
    const std::string path = scratch(readFile(sample), readFile(samplePath("FGDC_Plus.xsl")));

    const RenderResult result = TransformFile(path);

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.error.empty());
    EXPECT_TRUE(contains(result.html, "Downscaled Climate Model Output for the Contiguous United States"));
    const std::string src = firstDataSrc(result.html);
    ASSERT_EQ(src.rfind("data:image/bmp;base64,", 0), 0u) << src.substr(0, 40);
    const std::string picture = DecodeBase64(src.substr(src.find(',') + 1));
    EXPECT_EQ(picture.substr(0, 2), "BM");
    EXPECT_EQ(picture, DecodeBase64(dataText(sample)));
}

TEST_F(TransformTest, ApplyStylesheetIgnoresTheDocumentsOwnInstruction)
{
    writeFile(dir / "other.xsl", "not even XML");
    writeFile(dir / "doc.xml", "<?xml-stylesheet type=\"text/xsl\" href=\"other.xsl\"?>" + metadataWithTitle("Chosen"));
    writeFile(dir / "title.xsl", kTitleSheet);

    const RenderResult result = ApplyStylesheet(dir / "doc.xml", dir / "title.xsl");

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(contains(result.html, "<p id=\"title\">Chosen</p>"));
}

// ---- Encodings -------------------------------------------------------------------------

struct EncodingCase {
    const char* name;
    std::string file;      // the metadata file's bytes
    std::string expected;  // UTF-8 text that the page must show
    std::string wrong;     // what a wrong decoding would show
};

std::vector<EncodingCase> encodingCases()
{
    const std::string latin1Declaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";
    return {
        {"true ISO-8859-1", latin1Declaration + metadataWithTitle("Caf\xE9 \xE0 Z\xFCrich"),
         "Caf\xC3\xA9 \xC3\xA0 Z\xC3\xBC" "rich", "\xEF\xBF\xBD"},
        {"ISO-8859-1 declared, UTF-8 bytes", latin1Declaration + metadataWithTitle("Rep\xC3\xBA" "blica"),
         "Rep\xC3\xBA" "blica", "Rep\xC3\x83\xC2\xBA" "blica"},
        {"ISO-8859-1 declared, windows-1252 en dash", latin1Declaration + metadataWithTitle("1990 \x96 2000"),
         "1990 \xE2\x80\x93 2000", "\xC2\x96"},
        {"single-quoted lower-case declaration, UTF-8 bytes",
         "<?xml version='1.0' encoding='iso-8859-1'?>\n" + metadataWithTitle("S\xC3\xA3o Paulo"),
         "S\xC3\xA3o Paulo", "S\xC3\x83\xC2\xA3o"},
        {"byte-order mark, ISO-8859-1 declared, UTF-8 bytes",
         "\xEF\xBB\xBF" + latin1Declaration + metadataWithTitle("Rep\xC3\xBA" "blica"), "Rep\xC3\xBA" "blica",
         "Rep\xC3\x83\xC2\xBA" "blica"},
        {"no declaration, windows-1252 bytes", metadataWithTitle("Caf\xE9 \x93quoted\x94"),
         "Caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D", "\xEF\xBF\xBD"},
        {"no declaration, UTF-8 bytes", metadataWithTitle("\xC3\x85lesund"), "\xC3\x85lesund", "\xC3\x83\xC2\x85"},
    };
}

TEST_F(TransformTest, EveryRouteReadsTheBytesInTheEncodingTheyReallyHave)
{
    writeFile(dir / "title.xsl", kTitleSheet);
    for (const EncodingCase& c : encodingCases()) {
        SCOPED_TRACE(c.name);
        writeFile(dir / "metadata.xml", c.file);
        const std::string scratchPath = scratch(c.file, kTitleSheet);

        const RenderResult viaScratch = TransformFile(scratchPath);
        const RenderResult viaApply = ApplyStylesheet(dir / "metadata.xml", dir / "title.xsl");
        const RenderResult raw = TransformFile(dir / "metadata.xml");

        for (const RenderResult* result : {&viaScratch, &viaApply, &raw}) {
            ASSERT_TRUE(result->ok) << result->error;
            EXPECT_TRUE(contains(result->html, c.expected)) << result->html;
            EXPECT_FALSE(contains(result->html, c.wrong));
        }
        EXPECT_TRUE(contains(viaScratch.html, "<p id=\"title\">" + c.expected + "</p>"));
        // The file is only read.
        EXPECT_EQ(readFile(dir / "metadata.xml"), c.file);
    }
}

TEST_F(TransformTest, ScratchDocumentOfARealLatin1FileKeepsItsDeclarationOnLine2)
{
    const std::string file = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                             "<metadata>\r\n<idinfo><citation><citeinfo>\r\n"
                             "<title>R\xE9seau hydrographique \xAB Nord \xBB</title>\r\n"
                             "</citeinfo></citation></idinfo>\r\n</metadata>";
    const std::string path = scratch(file, kTitleSheet);
    const std::string written = readFile(path);
    ASSERT_EQ(written.substr(written.find("\r\n") + 2, 5), "<?xml");

    const RenderResult result = TransformFile(path);

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(contains(result.html, "R\xC3\xA9seau hydrographique \xC2\xAB Nord \xC2\xBB"));
    EXPECT_EQ(readFile(path), written);
}

TEST_F(TransformTest, PagesAreUtf8WhateverEncodingTheStylesheetAsksFor)
{
    std::string sheet = ReplaceAll(kTitleSheet, "<xsl:output method=\"html\"/>",
                                   "<xsl:output method=\"html\" encoding=\"ISO-8859-1\"/>");
    sheet = ReplaceAll(sheet, "<html><body>", "<html><head><title>t</title></head><body>");
    const RenderResult result = TransformFile(scratch(metadataWithTitle("Cr\xC3\xA8me"), sheet));

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(contains(result.html, "Cr\xC3\xA8me"));
    EXPECT_TRUE(contains(LowerAscii(result.html), "charset=utf-8"));
    EXPECT_FALSE(contains(LowerAscii(result.html), "iso-8859-1"));
}

// ---- Where the instruction is ---------------------------------------------------------

TEST_F(TransformTest, TheInstructionCountsAnywhereInTheProlog)
{
    writeFile(dir / "sheets/title.xsl", kTitleSheet);
    const std::string documents[] = {
        "<?xml version=\"1.0\"?>\n<!-- made by hand -->\n<!DOCTYPE metadata [<!ELEMENT metadata ANY>]>\n"
        "<?xml-stylesheet type=\"text/xsl\" href=\"sheets/title.xsl\"?>\n" + metadataWithTitle("Deep"),
        "<?xml-stylesheet type=\"text/css\" href=\"look.css\"?><?xml-stylesheet href='sheets/title.xsl' "
        "type='text/xsl'?>" + metadataWithTitle("Deep"),
        "<?xml-stylesheet type=\"text/xsl\" href=\"file://" + dir.path() + "sheets/title.xsl\"?>"
            + metadataWithTitle("Deep"),
    };
    for (const std::string& document : documents) {
        SCOPED_TRACE(document.substr(0, 80));
        writeFile(dir / "doc.xml", document);
        const RenderResult result = TransformFile(dir / "doc.xml");
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(contains(result.html, "<p id=\"title\">Deep</p>"));
    }
}

TEST_F(TransformTest, HtmlFilesAreReturnedAsTheyAre)
{
    const std::string page = "<html><body><p>Log line &amp; more<BR></p></body></html>\r\n";
    for (const char* name : {"log.html", "LOG.HTM"}) {
        writeFile(dir / name, page);
        const RenderResult result = TransformFile(dir / name);
        ASSERT_TRUE(result.ok);
        EXPECT_EQ(result.html, page);
    }
}

TEST_F(TransformTest, TextOutputIsShownEscapedInAPreformattedBlock)
{
    const std::string sheet = R"XML(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="text"/>
<xsl:template match="/">a &lt; b &amp; <xsl:value-of select="//title"/></xsl:template>
</xsl:stylesheet>
)XML";
    const RenderResult result = TransformFile(scratch(metadataWithTitle("T"), sheet));

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(contains(result.html, "<pre>a &lt; b &amp; T</pre>"));
}

// ---- Stylesheets that cannot be used ------------------------------------------------------

struct BadSheetCase {
    const char* name;
    std::string sheet;
    std::vector<std::string> said; // words the error page must hold
};

std::vector<BadSheetCase> badSheetCases()
{
    const std::string head = "<?xml version=\"1.0\"?>\n";
    const std::string open = "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">\n";
    return {
        {"Microsoft working-draft namespace",
         head + "<xsl:stylesheet xmlns:xsl=\"http://www.w3.org/TR/WD-xsl\"><xsl:template match=\"/\">"
                "<html><body><xsl:value-of select=\"metadata/idinfo/citation/citeinfo/title\"/></body></html>"
                "</xsl:template></xsl:stylesheet>\n",
         {"obsolete Microsoft", "http://www.w3.org/TR/WD-xsl"}},
        {"not well-formed",
         head + open + "<xsl:template match=\"/\"><html><body></html></xsl:template>\n</xsl:stylesheet>\n",
         {"not a well-formed XML document", "mismatch"}},
        {"unknown extension function",
         head + "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
                "xmlns:acme=\"urn:acme\">\n<xsl:template match=\"/\"><html><body>"
                "<xsl:value-of select=\"acme:shout(//title)\"/></body></html></xsl:template>\n</xsl:stylesheet>\n",
         {"stopped with an error", "shout"}},
        {"not a stylesheet", head + "<catalog><item/></catalog>\n", {"not a usable XSLT 1.0 stylesheet", "not a stylesheet"}},
        {"bad XPath", head + open + "<xsl:template match=\"/\"><xsl:value-of select=\"//[[\"/></xsl:template>\n</xsl:stylesheet>\n",
         {"not a usable XSLT 1.0 stylesheet", "//[["}},
        {"terminating message",
         head + open + "<xsl:template match=\"/\"><xsl:message terminate=\"yes\">No &lt;way&gt;</xsl:message>"
                       "</xsl:template>\n</xsl:stylesheet>\n",
         {"stopped with an error", "No &lt;way&gt;"}},
        {"no output", head + open + "<xsl:template match=\"/\"/>\n</xsl:stylesheet>\n", {"empty page"}},
    };
}

TEST_F(TransformTest, AnUnusableStylesheetGivesAnErrorPageNamingItAndTheProcessorsWords)
{
    for (const BadSheetCase& c : badSheetCases()) {
        SCOPED_TRACE(c.name);
        const RenderResult result = TransformFile(scratch(metadataWithTitle("Roads"), c.sheet));

        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.empty());
        EXPECT_TRUE(contains(result.html, "<html>"));
        EXPECT_TRUE(contains(result.html, dir.path() + "~Last Used.xsl")) << result.html;
        for (const std::string& word : c.said)
            EXPECT_TRUE(contains(result.html, word)) << word << "\n" << result.html;
    }
}

TEST_F(TransformTest, AMissingOrRemoteStylesheetGivesAnErrorPage)
{
    LoopbackListener listener;
    const std::string remote = listener.url("sheet.xsl");
    writeFile(dir / "missing.xml", scratchDocument(metadataWithTitle("A"), "gone.xsl"));
    writeFile(dir / "remote.xml", scratchDocument(metadataWithTitle("A"), remote));

    const RenderResult missing = TransformFile(dir / "missing.xml");
    const RenderResult remoteResult = TransformFile(dir / "remote.xml");

    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(contains(missing.html, "could not be found"));
    EXPECT_TRUE(contains(missing.html, dir.path() + "gone.xsl"));
    EXPECT_FALSE(remoteResult.ok);
    EXPECT_TRUE(contains(remoteResult.html, "not on this computer"));
    EXPECT_TRUE(contains(remoteResult.html, remote));
    EXPECT_EQ(listener.connections(), 0);
}

TEST_F(TransformTest, ADocumentThatCannotBeReadGivesAnErrorPageWithItsText)
{
    const RenderResult broken = TransformFile(scratch("<metadata><title>a & b</metadata>", kTitleSheet));
    const RenderResult brokenLatin1 = TransformFile(scratch("<metadata><title>caf\xE9</metadata>", kTitleSheet));
    const RenderResult empty = TransformFile(scratch("", kTitleSheet));
    const RenderResult absent = TransformFile(dir / "absent.xml");

    EXPECT_FALSE(broken.ok);
    EXPECT_TRUE(contains(broken.html, "not a well-formed XML document"));
    EXPECT_TRUE(contains(broken.html, "&lt;metadata&gt;&lt;title&gt;a &amp; b&lt;/metadata&gt;"));
    EXPECT_FALSE(brokenLatin1.ok);
    EXPECT_TRUE(contains(brokenLatin1.html, "caf\xC3\xA9")) << "quoted as UTF-8";
    const QByteArray page = QByteArray::fromStdString(brokenLatin1.html);
    EXPECT_EQ(QString::fromUtf8(page).toUtf8(), page);
    EXPECT_FALSE(empty.ok);
    EXPECT_TRUE(contains(empty.html, "could not be read"));
    EXPECT_FALSE(absent.ok);
    EXPECT_TRUE(contains(absent.html, dir.path() + "absent.xml"));
}

// ---- The sandbox -----------------------------------------------------------------------------

TEST_F(TransformTest, StylesheetsNeitherReachTheNetworkNorWriteFiles)
{
    LoopbackListener listener;
    const std::string written = dir / "written.html";
    const std::string sheet = "<?xml version=\"1.0\"?>\n"
                              "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
                              "xmlns:exsl=\"http://exslt.org/common\" extension-element-prefixes=\"exsl\">\n"
                              "<xsl:template match=\"/\"><html><body><p>start</p>"
                              "<xsl:value-of select=\"document('" + listener.url("codes.xml") + "')\"/>"
                              "<exsl:document href=\"" + written + "\"><x/></exsl:document>"
                              "</body></html></xsl:template>\n</xsl:stylesheet>\n";

    const RenderResult result = TransformFile(scratch(metadataWithTitle("A"), sheet));

    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(contains(result.html, listener.url("codes.xml")));
    EXPECT_EQ(listener.connections(), 0);
    EXPECT_FALSE(testutil::exists(written));
}

TEST_F(TransformTest, DocumentsNeverLoadTheirDtdOrExternalEntities)
{
    LoopbackListener listener;
    writeFile(dir / "secret.txt", "TOPSECRET");
    const std::string document = "<?xml version=\"1.0\"?>\n<!DOCTYPE metadata SYSTEM \"" + listener.url("esriprof80.dtd")
                                 + "\" [<!ENTITY leak SYSTEM \"secret.txt\">]>\n"
                                   "<metadata><idinfo><citation><citeinfo><title>A &leak; B</title></citeinfo>"
                                   "</citation></idinfo></metadata>\n";
    writeFile(dir / "doc.xml", document);

    const RenderResult raw = TransformFile(dir / "doc.xml");
    const RenderResult styled = TransformFile(scratch(document, kTitleSheet));

    ASSERT_TRUE(raw.ok) << raw.error;
    EXPECT_TRUE(contains(raw.html, "&amp;leak;"));
    for (const RenderResult* result : {&raw, &styled})
        EXPECT_FALSE(contains(result->html, "TOPSECRET"));
    EXPECT_EQ(listener.connections(), 0);
}

TEST_F(TransformTest, StylesheetsMayIncludeLocalFiles)
{
    const std::string folder = dir / "with space/";
    writeFile(folder + "parts/common.xsl", R"XML(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template name="shared"><b>from the included file</b></xsl:template>
</xsl:stylesheet>
)XML");
    writeFile(folder + "codes.xml", "<codes><code id=\"1\">Paved</code></codes>");
    writeFile(folder + "main.xsl", R"XML(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:include href="parts/common.xsl"/>
<xsl:template match="/"><html><body><xsl:call-template name="shared"/>
<i><xsl:value-of select="document('codes.xml')/codes/code[@id='1']"/></i></body></html></xsl:template>
</xsl:stylesheet>
)XML");
    writeFile(folder + "doc.xml", metadataWithTitle("A"));

    const RenderResult result = ApplyStylesheet(folder + "doc.xml", folder + "main.xsl");

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(contains(result.html, "<b>from the included file</b>"));
    EXPECT_TRUE(contains(result.html, "<i>Paved</i>"));
}

// ---- The thumbnail for third-party stylesheets -----------------------------------------------

TEST_F(TransformTest, TheStylesheetSeesTheThumbnailAsADataUriImage)
{
    QByteArray png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
    const std::string pngBase64 = QByteArray(png).toBase64().toStdString();
    const std::string ownBmp = testutil::ownMetadata("BMP", testutil::pictureBytes("BMP", 200, 133));
    const std::string ownJpeg = testutil::ownMetadata("JPEG", testutil::pictureBytes("JPG", 64, 48));
    const auto withLostCharacter = [](std::string document) {
        document.erase(document.find("Qk") + 500, 1); // one character lost inside the picture
        return document;
    };

    struct Case {
        const char* name;
        std::string document;
        std::string images;   // expected count
        std::string srcStart; // expected beginning of the src
    };
    const bool samples = testutil::missingSamples({"flathers_fgdc.xml", "flathers_arcgis.xml"}).empty();
    std::vector<Case> cases;
    if (samples) {
        const std::string fgdc = readFile(samplePath("flathers_fgdc.xml"));
        cases = {
            {"BMP of the ArcGIS 9 sample", fgdc, "images: 1", "data:image/bmp;base64,Qk"},
            {"JPEG of the ArcGIS 10 sample", readFile(samplePath("flathers_arcgis.xml")), "images: 1",
             "data:image/jpeg;base64,/9j/"},
            {"a character lost in the Base64 of the sample", withLostCharacter(fgdc), "images: 1", "data:image/"},
        };
    }
    const Case own[] = {
        {"BMP of our ArcGIS 9 style document", ownBmp, "images: 1", "data:image/bmp;base64,Qk"},
        {"JPEG", ownJpeg, "images: 1", "data:image/jpeg;base64,/9j/"},
        {"a character lost in the Base64", withLostCharacter(ownBmp), "images: 1", "data:image/"},
        {"PNG", "<metadata><Binary><Thumbnail><Data>\n" + pngBase64 + "\n</Data></Thumbnail></Binary></metadata>",
         "images: 1", "data:image/png;base64,iVBORw0KGgo"},
        {"an img already there is kept",
         "<metadata><Binary><Thumbnail><Data>" + pngBase64 + "</Data><img src=\"own.png\"/></Thumbnail></Binary></metadata>",
         "images: 1", "own.png"},
        {"no picture", metadataWithTitle("A"), "images: 0", ""},
        {"bytes that are no picture", "<metadata><Binary><Thumbnail><Data>SGVsbG8=</Data></Thumbnail></Binary></metadata>",
         "images: 0", ""},
    };
    cases.insert(cases.end(), std::begin(own), std::end(own));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RenderResult result = TransformFile(scratch(c.document, kThumbnailProbeSheet));
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(contains(result.html, c.images)) << result.html.substr(0, 300);
        EXPECT_TRUE(contains(result.html, "<p id=\"src\">" + c.srcStart));
    }
    ATLASDESK_REQUIRE_SAMPLES("flathers_fgdc.xml", "flathers_arcgis.xml");
}

TEST_F(TransformTest, TheRawViewDoesNotGetTheThumbnailImage)
{
    writeFile(dir / "own.xml", testutil::ownMetadata("BMP", testutil::pictureBytes("BMP", 20, 10)));
    std::vector<std::string> documents = {dir / "own.xml"};
    const bool sample = testutil::missingSamples({"flathers_fgdc.xml"}).empty();
    if (sample)
        documents.push_back(samplePath("flathers_fgdc.xml"));
    for (const std::string& document : documents) {
        SCOPED_TRACE(document);
        const RenderResult result = RenderRawXml(document);

        ASSERT_TRUE(result.ok);
        EXPECT_FALSE(contains(result.html, "data:image"));
        EXPECT_FALSE(contains(result.html, "&lt;img"));
    }
    ATLASDESK_REQUIRE_SAMPLES("flathers_fgdc.xml");
}

// ---- The stylesheet cache ----------------------------------------------------------------------

TEST_F(TransformTest, AChangedStylesheetIsReadAgain)
{
    const std::string first = ReplaceAll(kTitleSheet, "id=\"title\"", "id=\"first\"");
    const std::string second = ReplaceAll(kTitleSheet, "id=\"title\"", "id=\"later\"");
    ASSERT_EQ(first.size(), second.size());
    const std::string path = scratch(metadataWithTitle("A"), first);
    ASSERT_TRUE(contains(TransformFile(path).html, "<p id=\"first\">A</p>"));

    writeFile(dir / "~Last Used.xsl", second);
    EXPECT_TRUE(contains(TransformFile(path).html, "<p id=\"later\">A</p>"));
    // The same for a copy made by writing a new file and renaming it over the old one.
    writeFile(dir / "new.xsl", first);
    std::filesystem::rename(dir / "new.xsl", dir / "~Last Used.xsl");
    EXPECT_TRUE(contains(TransformFile(path).html, "<p id=\"first\">A</p>"));
}

TEST_F(TransformTest, AnUnchangedStylesheetIsNotParsedAgain)
{
    // An included file is read when the stylesheet is parsed; while the main
    // file stays the same, a change to it shows that no parse took place.
    writeFile(dir / "part.xsl", R"XML(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template name="part">old part</xsl:template>
</xsl:stylesheet>
)XML");
    const std::string main = R"XML(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:include href="part.xsl"/>
<xsl:template match="/"><html><body><p><xsl:call-template name="part"/></p></body></html></xsl:template>
</xsl:stylesheet>
)XML";
    const std::string path = scratch(metadataWithTitle("A"), main);
    ASSERT_TRUE(contains(TransformFile(path).html, "<p>old part</p>"));

    writeFile(dir / "part.xsl", ReplaceAll(readFile(dir / "part.xsl"), "old part", "new part"));
    EXPECT_TRUE(contains(TransformFile(path).html, "<p>old part</p>"));

    ClearStylesheetCache();
    EXPECT_TRUE(contains(TransformFile(path).html, "<p>new part</p>"));
}

// ---- The raw XML view ------------------------------------------------------------------------------

TEST_F(TransformTest, TheRawViewShowsEveryKindOfNodeEscaped)
{
    writeFile(dir / "doc.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- made <i>by hand</i> -->\n"
              "<metadata xmlns:esri=\"urn:esri\" note=\"say &quot;&lt;b&gt;&quot;\">\n"
              "  <esri:item>1 &lt; 2 &amp; &lt;script&gt;alert(1)&lt;/script&gt;</esri:item>\n"
              "  <?render <b>now</b>?>\n"
              "  <code><![CDATA[<b>bold</b>]]></code>\n"
              "  <empty/>\n"
              "</metadata>\n");

    const RenderResult result = TransformFile(dir / "doc.xml");

    ASSERT_TRUE(result.ok) << result.error;
    for (const char* forbidden : {"<script>", "<b>", "<i>by"})
        EXPECT_FALSE(contains(result.html, forbidden)) << forbidden;
    for (const char* shown : {"&lt;?xml version=&quot;1.0&quot; encoding=&quot;UTF-8&quot;?&gt;",
                              "&lt;!-- made &lt;i&gt;by hand&lt;/i&gt; --&gt;",
                              "xmlns:esri", "urn:esri", "say &quot;&lt;b&gt;&quot;",
                              "&lt;esri:item", "1 &lt; 2 &amp; &lt;script&gt;alert(1)&lt;/script&gt;",
                              "&lt;?render &lt;b&gt;now&lt;/b&gt;?&gt;", "&lt;![CDATA[",
                              "&lt;b&gt;bold&lt;/b&gt;", "&lt;empty</span><span class=\"t\">/&gt;", "&lt;/metadata&gt;"})
        EXPECT_TRUE(contains(result.html, shown)) << shown;
}

TEST_F(TransformTest, TheRawViewWrapsLongBase64)
{
    const std::string oneLine(30000, 'A');
    writeFile(dir / "doc.xml", "<metadata><Binary><Thumbnail><Data>" + oneLine + "</Data></Thumbnail></Binary></metadata>");

    const RenderResult synthetic = RenderRawXml(dir / "doc.xml");
    const bool withSample = testutil::missingSamples({"flathers_fgdc.xml"}).empty();
    const RenderResult sample = withSample ? RenderRawXml(samplePath("flathers_fgdc.xml")) : synthetic;

    for (const RenderResult* result : {&synthetic, &sample}) {
        ASSERT_TRUE(result->ok) << result->error;
        EXPECT_TRUE(contains(result->html, ".b64{")) << "the class that wraps";
        const std::size_t rule = result->html.find(".b64{");
        const std::string ruleText = result->html.substr(rule, result->html.find('}', rule) - rule);
        EXPECT_TRUE(contains(ruleText, "word-break:break-all"));
        EXPECT_TRUE(contains(ruleText, "content-visibility:auto")) << "laid out only when scrolled near";
    }
    // Until then it holds the room of its lines: 301 of 1.55em.
    EXPECT_TRUE(contains(synthetic.html,
                         "<span class=\"b64\" style=\"contain-intrinsic-block-size:auto 466em\">" + oneLine + "</span>"));
    ATLASDESK_REQUIRE_SAMPLES("flathers_fgdc.xml");
    EXPECT_TRUE(contains(sample.html, "<span class=\"b64\" style=\"contain-intrinsic-block-size:auto "));
    EXPECT_TRUE(contains(sample.html, "em\">Qk3uNwEAAAAAADYAAAAoAAAAyAAAAIUAAAABABgAAAAAALg3AQAA"));
}

TEST_F(TransformTest, TheRawViewOfAScratchDocumentWithoutStylesheetInstructionMovesTheDeclaration)
{
    // A document whose own declaration follows a comment still shows, with
    // its declaration, instead of failing.
    writeFile(dir / "doc.xml", "<!-- head -->\r\n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                               "<metadata><t>\xE9t\xE9</t></metadata>\r\n");

    const RenderResult result = TransformFile(dir / "doc.xml");

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(contains(result.html, "\xC3\xA9t\xC3\xA9"));
    EXPECT_TRUE(contains(result.html, "encoding=&quot;ISO-8859-1&quot;"));
}

} // namespace
