// The shipped stylesheets "Atlasdesk Full.xsl" and "Atlasdesk Summary.xsl" on
// the real samples (ArcGIS 8, 9 and 10 styles) and on small documents that
// exercise the sections the samples lack.
#include "xml/XMLOps.h"
#include "xml/XslTransform.h"

#include "IsoDocuments.h"
#include "OwnPictures.h"
#include "Samples.h"
#include "ViewsTestSupport.h"

#include <gtest/gtest.h>

using namespace viewstest;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const char* const kFull = "Atlasdesk Full.xsl";
const char* const kSummary = "Atlasdesk Summary.xsl";

// White space runs made single blanks, ends trimmed: what the pages show.
std::string normalized(const std::string& text)
{
    std::string out;
    bool blank = false;
    for (const char ch : Trim(text)) {
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') {
            blank = true;
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        out += ch;
    }
    return out;
}

std::string escapedHtml(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += ch;
        }
    }
    return out;
}

struct SampleFacts {
    std::string file;
    std::string titlePath;
    std::vector<std::string> boxPaths; // west, east, north, south
    bool thumbnail;
};

std::vector<SampleFacts> samples()
{
    const std::vector<std::string> fgdcBox = {"idinfo/spdom/bounding/westbc", "idinfo/spdom/bounding/eastbc",
                                              "idinfo/spdom/bounding/northbc", "idinfo/spdom/bounding/southbc"};
    return {
        {"flathers_fgdc.xml", "idinfo/citation/citeinfo/title", fgdcBox, true},
        {"flathers_arcgis.xml", "dataIdInfo/idCitation/resTitle",
         {"GeoBndBox/westBL", "GeoBndBox/eastBL", "GeoBndBox/northBL", "GeoBndBox/southBL"}, true},
        {"geotools_example.shp.xml", "idinfo/citation/citeinfo/title", fgdcBox, false},
    };
}

// What both stylesheets show of the document `path`: its title, its extent
// and its thumbnail (the very picture the document holds), in a page that
// needs nothing from outside.
void expectTitleExtentAndThumbnail(const char* sheet, const std::string& path, const SampleFacts& facts)
{
    tXMLDocument doc(path);

    const RenderResult result = ApplyStylesheet(path, stylesheetPath(sheet));

    ASSERT_TRUE(result.ok) << result.error;
    const std::string title = escapedHtml(normalized(doc.GetNodeText(facts.titlePath)));
    ASSERT_FALSE(title.empty());
    EXPECT_TRUE(contains(result.html, "<h1>" + title + "</h1>")) << title;
    EXPECT_TRUE(contains(result.html, "<title>" + title + "</title>"));
    for (const std::string& boxPath : facts.boxPaths) {
        const std::string value = normalized(doc.GetNodeText(boxPath));
        ASSERT_FALSE(value.empty()) << boxPath;
        EXPECT_TRUE(contains(result.html, ">" + value + "\xC2\xB0<")) << boxPath << " " << value;
    }
    EXPECT_TRUE(contains(result.html, "class=\"map\" viewBox=\"-180 -90 360 180\""));
    const std::string src = firstDataSrc(result.html);
    if (facts.thumbnail) {
        ASSERT_EQ(src.rfind("data:image/", 0), 0u);
        EXPECT_EQ(DecodeBase64(src.substr(src.find(',') + 1)),
                  DecodeBase64(doc.GetNodeText("Binary/Thumbnail/Data")));
    } else {
        EXPECT_TRUE(src.empty());
        EXPECT_FALSE(contains(result.html, "<img"));
    }
    // Self-contained pages.
    EXPECT_FALSE(contains(result.html, "<link"));
    EXPECT_FALSE(contains(result.html, "<script"));
    EXPECT_FALSE(contains(result.html, "src=\"http"));
}

TEST(ShippedStylesheets, ShowTitleExtentAndThumbnailOfEverySample)
{
    ATLASDESK_REQUIRE_SAMPLES("flathers_fgdc.xml", "flathers_arcgis.xml", "geotools_example.shp.xml");
    for (const char* sheet : {kFull, kSummary}) {
        for (const SampleFacts& facts : samples()) {
            SCOPED_TRACE(std::string(sheet) + " on " + facts.file);
            expectTitleExtentAndThumbnail(sheet, samplePath(facts.file), facts);
        }
    }
}

// The same on documents of ours in the three styles: ArcGIS 9 with a BMP,
// ArcGIS 10 with a JPEG, ArcInfo 8 with a commented-out DOCTYPE and none.
TEST(ShippedStylesheets, ShowTitleExtentAndThumbnailOfOurOwnDocuments)
{
    TempDir dir;
    const std::vector<std::string> fgdcBox = samples().front().boxPaths;
    writeFile(dir / "arcgis9.xml", testutil::ownMetadata("Gew\xC3\xA4sser &amp; Ufer", testutil::pictureBytes("BMP", 200, 133)));
    writeFile(dir / "arcgis10.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<metadata xml:lang=\"en\"><Esri><ArcGISFormat>1.0"
              "</ArcGISFormat></Esri><dataIdInfo><idCitation><resTitle>Orthophotos 2010</resTitle></idCitation>"
              "<dataExt><geoEle><GeoBndBox esriExtentType=\"search\"><westBL>-115.186234</westBL><eastBL>-114.5"
              "</eastBL><northBL>44.3</northBL><southBL>44.1</southBL></GeoBndBox></geoEle></dataExt></dataIdInfo>"
              "<Binary><Thumbnail><Data EsriPropertyType=\"PictureX\">" +
                  testutil::base64(testutil::pictureBytes("JPG", 64, 48)) + "</Data></Thumbnail></Binary></metadata>\n");
    writeFile(dir / "arcinfo8.xml", testutil::ownMetadata("Example Shapefile", "",
                                                          "<?xml version=\"1.0\" ?>\n<!-- <!DOCTYPE metadata SYSTEM "
                                                          "\"http://www.esri.com/metadata/esriprof80.dtd\"> -->\n"));
    const SampleFacts own[] = {
        {"arcgis9.xml", "idinfo/citation/citeinfo/title", fgdcBox, true},
        {"arcgis10.xml", "dataIdInfo/idCitation/resTitle",
         {"GeoBndBox/westBL", "GeoBndBox/eastBL", "GeoBndBox/northBL", "GeoBndBox/southBL"}, true},
        {"arcinfo8.xml", "idinfo/citation/citeinfo/title", fgdcBox, false},
    };
    for (const char* sheet : {kFull, kSummary}) {
        for (const SampleFacts& facts : own) {
            SCOPED_TRACE(std::string(sheet) + " on " + facts.file);
            expectTitleExtentAndThumbnail(sheet, dir / facts.file, facts);
        }
    }
}

TEST(ShippedStylesheets, FullPageHasEverySectionOfTheSamples)
{
    ATLASDESK_REQUIRE_SAMPLES("flathers_fgdc.xml", "flathers_arcgis.xml");
    const RenderResult fgdc = ApplyStylesheet(samplePath("flathers_fgdc.xml"), stylesheetPath(kFull));
    const RenderResult arcgis = ApplyStylesheet(samplePath("flathers_arcgis.xml"), stylesheetPath(kFull));
    ASSERT_TRUE(fgdc.ok) << fgdc.error;
    ASSERT_TRUE(arcgis.ok) << arcgis.error;

    for (const char* shown : {"Dr. Von Walden", "2010-08", "This data series contains 2868 temporal datasets",
                              "The intended use of these data", "Brandon C. Moore", "Downscaled Climate Scenarios",
                              "ISO 19115 Topic Categories", "1900 &#8211; 2100", "None planned",
                              "href=\"http://cloud.insideidaho.org/webservices.html#webdav\"",
                              "WebDAV Bulk Download Information", "Idaho Geospatial Data Clearinghouse",
                              "mailto:vonw@uidaho.edu", "Although these data have been processed",
                              "2012-01-09", "FGDC Content Standard", "ground condition"})
        EXPECT_TRUE(contains(fgdc.html, shown) || contains(fgdc.html, ReplaceAll(shown, "&#8211;", "\xE2\x80\x93")))
            << shown;
    for (const char* shown : {"This data series contains 149 2010 20-centimeter", "Orthoimagery serves a variety",
                              "Idaho EPSCoR Office and the National Science Foundation", "Imagery, base maps, earth cover",
                              "Completed", "Not planned", "2017-03-26", "2010-08-13", "Watershed Sciences, Inc.",
                              "Originator", "Publisher", "View Imagery in Google Earth", "bgodfrey@uidaho.edu",
                              "ArcGIS Metadata", "Digital map", "UTF-8"})
        EXPECT_TRUE(contains(arcgis.html, shown)) << shown;
}

TEST(ShippedStylesheets, Arcgis10HtmlTextIsShownAsTextNotMarkup)
{
    ATLASDESK_REQUIRE_SAMPLES("flathers_arcgis.xml");
    const RenderResult result = ApplyStylesheet(samplePath("flathers_arcgis.xml"), stylesheetPath(kFull));

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(contains(result.html, "Data will be provided to all who agree to appropriately acknowledge"));
    EXPECT_TRUE(contains(result.html, "<p>Acceptable uses of data provided by Idaho EPSCoR"));
    EXPECT_FALSE(contains(result.html, "SPAN"));
    EXPECT_FALSE(contains(result.html, "text-align:Left"));
}

class ShippedStylesheetFixture : public ::testing::Test {
protected:
    RenderResult render(const char* sheet, const std::string& document)
    {
        writeFile(dir / "doc.xml", document);
        return ApplyStylesheet(dir / "doc.xml", stylesheetPath(sheet));
    }
    TempDir dir;
};

const char* const kRichFgdc = R"XML(<?xml version="1.0" encoding="UTF-8"?>
<metadata>
  <idinfo>
    <citation><citeinfo><origin>County GIS</origin><pubdate>20240315</pubdate>
      <title>Roads &amp; Rails &lt;b&gt;2024&lt;/b&gt;</title><edition>3</edition></citeinfo></citation>
    <descript><abstract>First paragraph of the abstract
      continues here.

      Second paragraph at http://example.org/roads, with a link.</abstract>
      <purpose>Routing.</purpose><supplinf>Digitised from 1:10 000 plans.</supplinf></descript>
    <timeperd><timeinfo><sngdate><caldate>20231201</caldate></sngdate></timeinfo><current>ground condition</current></timeperd>
    <status><progress>In work</progress><update>Monthly</update></status>
    <spdom><bounding><westbc>170</westbc><eastbc>-170</eastbc><northbc>-10</northbc><southbc>-20</southbc></bounding></spdom>
    <keywords><theme><themekt>None</themekt><themekey>roads</themekey></theme>
      <place><placekt>GNIS</placekt><placekey>Fiji</placekey></place></keywords>
    <accconst>None</accconst><useconst>Not for navigation.</useconst>
  </idinfo>
  <spref><horizsys>
    <planar><gridsys><gridsysn>Universal Transverse Mercator</gridsysn><utm><utmzone>60</utmzone>
      <transmer><sfctrmer>0.9996</sfctrmer><longcm>177</longcm></transmer></utm></gridsys>
      <planci><plance>coordinate pair</plance><plandu>meters</plandu></planci></planar>
    <geodetic><horizdn>D_WGS_1984</horizdn><ellips>WGS_1984</ellips></geodetic>
    <cordsysn><projcsn>WGS_1984_UTM_Zone_60S</projcsn></cordsysn></horizsys></spref>
  <spdoinfo><direct>Vector</direct><ptvctinf><esriterm Name="roads"><efeatyp>Simple</efeatyp>
    <efeageom>Polyline</efeageom><efeacnt>1234</efeacnt></esriterm></ptvctinf></spdoinfo>
  <dataqual><logic>Topology checked.</logic><lineage><procstep><procdesc>Digitised.</procdesc>
    <procdate>20231201</procdate></procstep></lineage></dataqual>
  <eainfo><detailed><enttyp><enttypl>roads</enttypl><enttypd>Road centre lines</enttypd></enttyp>
    <attr><attrlabl>ROAD_ID</attrlabl><attalias>Road id</attalias><attrtype>Integer</attrtype>
      <attwidth>10</attwidth><attrdef>Road identifier</attrdef></attr>
    <attr><attrlabl>SURFACE</attrlabl><attrtype>String</attrtype><attrdef>Surface kind</attrdef>
      <attrdomv><edom><edomv>P</edomv><edomvd>Paved &lt;sealed&gt;</edomvd></edom></attrdomv>
      <attrdomv><edom><edomv>U</edomv><edomvd>Unpaved</edomvd></edom></attrdomv></attr>
    <attr><attrlabl>LENGTH</attrlabl><attrtype>Double</attrtype>
      <attrdomv><rdom><rdommin>0</rdommin><rdommax>5000</rdommax><attrunit>m</attrunit></rdom></attrdomv></attr>
  </detailed></eainfo>
  <distinfo><stdorder><digform><digtinfo><formname>Shapefile</formname></digtinfo>
    <digtopt><onlinopt><computer><networka><networkr>https://example.org/roads.zip</networkr></networka></computer></onlinopt></digtopt>
  </digform></stdorder></distinfo>
  <metainfo><metd>20240316</metd><metstdn>FGDC CSDGM</metstdn></metainfo>
</metadata>
)XML";

TEST_F(ShippedStylesheetFixture, FullPageShowsEntitiesSpatialReferenceAndEverythingEscaped)
{
    const RenderResult result = render(kFull, kRichFgdc);

    ASSERT_TRUE(result.ok) << result.error;
    for (const char* shown :
         {"Roads &amp; Rails &lt;b&gt;2024&lt;/b&gt;", "2024-03-15", "<p>First paragraph of the abstract continues here.</p>",
          "<a href=\"http://example.org/roads\">http://example.org/roads</a>, with a link.",
          "Digitised from 1:10 000 plans.", "2023-12-01", "In work", "Monthly", "Fiji", "Thesaurus: GNIS", "roads",
          "Not for navigation.", "Universal Transverse Mercator", "60", "0.9996", "Central meridian",
          "WGS_1984_UTM_Zone_60S", "D_WGS_1984", "Polyline", "1234", "Topology checked.", "Digitised.",
          "Road centre lines", "<table class=\"data\">", "ROAD_ID", "Road id", "Integer", "Road identifier",
          "SURFACE", "<code>P</code> Paved &lt;sealed&gt;", "Unpaved", "0 &#8211; 5000 m",
          "href=\"https://example.org/roads.zip\"", "Shapefile", "2024-03-16", "FGDC CSDGM"})
        EXPECT_TRUE(contains(result.html, shown) || contains(result.html, ReplaceAll(shown, "&#8211;", "\xE2\x80\x93")))
            << shown;
    EXPECT_FALSE(contains(result.html, "<b>2024</b>"));
    EXPECT_FALSE(contains(result.html, "<sealed>"));
    // A box across the 180th meridian is drawn in two parts.
    EXPECT_EQ(countOf(result.html, "<rect class=\"box\""), 2u);
}

TEST_F(ShippedStylesheetFixture, SummaryShortensTheAbstractAndListsTheKeywords)
{
    std::string longAbstract;
    for (int i = 0; i < 80; ++i)
        longAbstract += "word" + std::to_string(i) + " ";
    const std::string withLongAbstract =
        ReplaceAll(kRichFgdc, "First paragraph of the abstract", longAbstract + "First paragraph of the abstract");

    const RenderResult result = render(kSummary, withLongAbstract);

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(contains(result.html, "word0 word1 word2"));
    EXPECT_FALSE(contains(result.html, "Second paragraph"));
    EXPECT_TRUE(contains(result.html, "\xE2\x80\xA6"));
    EXPECT_TRUE(contains(result.html, "<span class=\"chip\">roads</span>"));
    EXPECT_TRUE(contains(result.html, "<span class=\"chip\">Fiji</span>"));
    EXPECT_TRUE(contains(result.html, "County GIS"));
    EXPECT_TRUE(contains(result.html, "2024-03-16"));
}

// `metadata` behind the stylesheet instruction, as the Metadata page writes
// it, shows `title` as the page's heading.
void expectShownThroughScratchDocument(const char* sheet, const std::string& metadata, const std::string& title)
{
    TempDir dir;
    writeFile(dir / "~Last Used.xsl", readFile(stylesheetPath(sheet)));
    writeFile(dir / "~TempXML.xml", scratchDocument(metadata));
    const RenderResult result = TransformFile(dir / "~TempXML.xml");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(contains(result.html, "<h1>" + title + "</h1>"));
}

TEST_F(ShippedStylesheetFixture, AnEmptyDocumentStillGivesAPage)
{
    for (const char* sheet : {kFull, kSummary}) {
        SCOPED_TRACE(sheet);
        const RenderResult result = render(sheet, "<metadata/>");
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(contains(result.html, "Untitled data set"));
    }
}

TEST_F(ShippedStylesheetFixture, StylesheetsWorkThroughTheScratchDocument)
{
    ATLASDESK_REQUIRE_SAMPLES("geotools_example.shp.xml");
    for (const char* sheet : {kFull, kSummary}) {
        SCOPED_TRACE(sheet);
        expectShownThroughScratchDocument(sheet, readFile(samplePath("geotools_example.shp.xml")), "Example Shapefile");
    }
}

// Our own documents through the scratch document, where the stylesheet
// instruction comes first and the document's declaration (if any) follows
// on line 2: with a declaration and a commented-out DOCTYPE, with CR LF
// lines, and without a declaration.
TEST_F(ShippedStylesheetFixture, StylesheetsWorkThroughTheScratchDocumentOnOurOwnDocuments)
{
    const std::string commentedDocType =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<!-- <!DOCTYPE metadata SYSTEM "
        "\"http://www.esri.com/metadata/esriprof80.dtd\"> -->\n";
    const struct {
        const char* name;
        std::string document;
        std::string title;
    } cases[] = {
        {"declaration and commented DOCTYPE", testutil::ownMetadata("Example \xE9t\xE9", "", commentedDocType),
         "Example \xC3\xA9t\xC3\xA9"},
        {"CR LF lines", ReplaceAll(testutil::ownMetadata("Roads", "", commentedDocType), "\n", "\r\n"), "Roads"},
        {"no declaration", testutil::ownMetadata("Rivers", ""), "Rivers"},
    };
    for (const char* sheet : {kFull, kSummary})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(sheet) + ", " + c.name);
            expectShownThroughScratchDocument(sheet, c.document, c.title);
        }
}

TEST_F(ShippedStylesheetFixture, IsoDocumentsGetAPageOfTheirOwn)
{
    std::string wrapped = isodocs::iso19139("Salt &amp; marsh &lt;birds&gt;");
    wrapped = "<csw:GetRecordByIdResponse xmlns:csw=\"http://www.opengis.net/cat/csw/2.0.2\">" +
              wrapped.substr(wrapped.find("<gmd:MD_Metadata")) + "</csw:GetRecordByIdResponse>";
    const struct {
        const char* what;
        std::string document;
        std::vector<std::string> shown;
    } cases[] = {
        {"ISO 19139", isodocs::iso19139(),
         {"<h1>Wetlands of the Camargue</h1>", "ISO 19139", "Marshes and lagoons mapped from aerial photographs.",
          "Conservation planning", "<span class=\"chip\">flamingos</span>", "<span class=\"chip place\">Provence</span>",
          "Inland waters", "By <b>Tour du Valat</b>", "Publication <b>2014-03-02</b>", "Rhone delta", ">4.1\xC2\xB0<",
          ">43.8\xC2\xB0<", "Point of contact", "Regional Park Office", "English"}},
        {"ISO 19115-3", isodocs::iso19115part3(),
         {"<h1>Glaciers of the Bernese Oberland</h1>", "ISO 19115-3", "Outlines of ice bodies surveyed by satellite.",
          "<span class=\"chip\">moraines</span>", "<span class=\"chip place\">Jungfrau</span>",
          "By <b>Glacier Monitoring Service</b>", ">7.5\xC2\xB0<", ">46.7\xC2\xB0<", "2020-11-05"}},
        {"in a catalogue's answer, escaped", wrapped, {"<h1>Salt &amp; marsh &lt;birds&gt;</h1>", "Tour du Valat"}},
    };
    for (const char* sheet : {kFull, kSummary}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(sheet) + ": " + c.what);
            const RenderResult result = render(sheet, c.document);
            ASSERT_TRUE(result.ok) << result.error;
            for (const std::string& shown : c.shown)
                EXPECT_TRUE(contains(result.html, shown)) << shown;
            EXPECT_EQ(countOf(result.html, "<rect class=\"box\""), 1u);
            EXPECT_FALSE(contains(result.html, "Untitled data set"));
            EXPECT_FALSE(contains(result.html, "<script"));
            EXPECT_FALSE(contains(result.html, "src=\"http"));
        }
    }
    // The whole page lists the links and the lineage, the summary does not.
    const RenderResult full = render(kFull, isodocs::iso19139());
    const RenderResult summary = render(kSummary, isodocs::iso19139());
    EXPECT_TRUE(contains(full.html, "http://example.org/camargue.zip"));
    EXPECT_FALSE(contains(summary.html, "http://example.org/camargue.zip"));
    // Through the scratch document, as the Metadata page writes it.
    for (const char* sheet : {kFull, kSummary})
        expectShownThroughScratchDocument(sheet, isodocs::iso19139(), "Wetlands of the Camargue");
}

TEST(ShippedStylesheets, TheIsoPartIsTheSameInBoth)
{
    // Each page needs nothing beside it, so both carry the ISO part: they
    // must not drift apart.
    const auto part = [](const char* sheet) {
        const std::string text = readFile(stylesheetPath(sheet));
        const size_t from = text.find("<!-- ===== Documents of the ISO standards");
        const size_t to = text.find("<!-- ===== End of the ISO part");
        EXPECT_NE(from, std::string::npos) << sheet;
        EXPECT_NE(to, std::string::npos) << sheet;
        return from == std::string::npos || to == std::string::npos ? std::string() : text.substr(from, to - from);
    };
    const std::string full = part(kFull);
    EXPECT_GT(full.size(), 5000u);
    EXPECT_EQ(full, part(kSummary));
}

} // namespace
