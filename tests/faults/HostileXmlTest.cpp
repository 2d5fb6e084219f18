// Metadata documents made to hurt: 100 MB of elements, one 100 MB text,
// elements nested 10,000 deep, the "billion laughs" entities, and one large
// entity referred to ten thousand times (in a text and in an attribute
// value). Through tXMLDocument, the XML and
// Metadata views (RenderRawXml, TransformFile, ApplyStylesheet) and the
// window's pages: no crash, memory in proportion to the file and never
// runaway, and a clear error where the document cannot be used.
//
// The documents are written once into a temporary folder for the whole
// suite and removed after it.
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include <malloc.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "FaultSupport.h"
#include "WindowFaultFixture.h"
#include "xml/RawXmlView.h"
#include "xml/XslTransform.h"

namespace {

using testutil::writeFile;

#if defined(__SANITIZE_ADDRESS__)
constexpr long kSanitizerFactor = 2;  // red zones and the quarantine of freed blocks
#else
constexpr long kSanitizerFactor = 1;
#endif

constexpr std::size_t kHundredMegabytes = 100u * 1024 * 1024;

struct Hostile {
    const char* name;  // data set name: <name>.shp with <name>.shp.xml
    // tXMLDocument loads it (else: "An error occured while loading ...").
    bool loads;
    // tXMLDocument refuses to collect every text of it (its elements'
    // entity references stand for too much text).
    bool textsRefused;
    // A text of the error page the views show.
    const char* viewError;
    // The error the Thumbnail page shows ("" for none); for a document
    // that does not load, the load error.
    const char* thumbnailError;
    // The peak memory an operation on it may take, in MB.
    long budgetMb;
};

// What the Thumbnail page says of a document too large for every page: it
// is refused before it is read, as the other pages refuse it.
constexpr char kTooLargeToShow[] =
    "The document is too large to be shown. The file holds 100.0 MB; documents of up to 16.0 MB are shown.";

const Hostile kDocuments[] = {
    // 900,000 small elements: loads, in proportion to its size (libxml2
    // keeps about eight bytes per byte of such markup); too large to show.
    {"many-elements", true, false, "documents of up to 16.0 MB are shown", kTooLargeToShow, 1100},
    // One text of 100 MB, a thumbnail gone wrong: loads; too large to show,
    // its picture included.
    {"huge-text", true, false, "documents of up to 16.0 MB are shown", kTooLargeToShow, 450},
    // 10,000 levels: libxml2 stops at 256.
    {"deep", false, false, "Excessive depth in document", "", 64},
    // Entities that multiply to 3 GB: libxml2 detects the loop of references.
    {"laughs", false, false, "entity reference loop", "", 64},
    // One 100 KB entity referred to 10,000 times, 1 GB when expanded: the
    // parser accepts it; the views refuse to expand it, and so does
    // tXMLDocument when asked for every text.
    {"quadratic", true, true, "entity references stand for more than 16.0 MB of text", "", 64},
    // The same references in an attribute value, which a stylesheet (and
    // the raw view) would expand.
    {"quadratic-attribute", true, false, "entity references stand for more than 16.0 MB of text", "", 64},
};

class HostileXmlTest : public WindowFaultFixture, public ::testing::WithParamInterface<Hostile> {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<testutil::TempDir>();
        const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        const std::string citation =
            "<idinfo><citation><citeinfo><title>Hostile</title></citeinfo></citation></idinfo>";
        {
            std::string doc = head + "<metadata>" + citation + "<eainfo><detailed>\n";
            char record[160];
            for (long n = 0; doc.size() < kHundredMegabytes; ++n) {
                const int length = std::snprintf(record, sizeof record,
                                                 "<attr><attrlabl>FIELD_%07ld</attrlabl><attrdef>Value of the field "
                                                 "number %07ld in the big table</attrdef></attr>\n",
                                                 n, n);
                doc.append(record, static_cast<std::size_t>(length));
            }
            doc += "</detailed></eainfo></metadata>\n";
            write("many-elements", doc);
        }
        {
            std::string doc = head + "<metadata>" + citation + "<Binary><Thumbnail><Data>";
            const std::string line = std::string(76, 'Q') + "\n";
            while (doc.size() < kHundredMegabytes)
                doc += line;
            doc += "</Data></Thumbnail></Binary></metadata>\n";
            write("huge-text", doc);
        }
        {
            std::string doc = head + "<metadata>" + citation;
            for (int i = 0; i < 10000; ++i)
                doc += "<d>";
            doc += "bottom";
            for (int i = 0; i < 10000; ++i)
                doc += "</d>";
            write("deep", doc + "</metadata>\n");
        }
        {
            std::string doc = head + "<!DOCTYPE metadata [\n<!ENTITY lol \"lol\">\n";
            for (int level = 1; level <= 9; ++level) {
                doc += "<!ENTITY lol" + std::to_string(level) + " \"";
                for (int k = 0; k < 10; ++k)
                    doc += level == 1 ? "&lol;" : "&lol" + std::to_string(level - 1) + ";";
                doc += "\">\n";
            }
            write("laughs", doc + "]>\n<metadata>" + citation + "<title>&lol9;</title></metadata>\n");
        }
        std::string references;
        for (int i = 0; i < 10000; ++i)
            references += "&big;";
        const std::string bigEntity = "<!DOCTYPE metadata [<!ENTITY big \"" + std::string(100000, 'x') + "\">]>\n";
        write("quadratic", head + bigEntity + "<metadata>" + citation + "<descript><abstract>" + references +
                               "</abstract></descript></metadata>\n");
        write("quadratic-attribute", head + bigEntity + "<metadata>" + citation + "<descript><abstract lang=\"" +
                                         references + "\">text</abstract></descript></metadata>\n");
    }

    static void TearDownTestSuite() { s_dir.reset(); }

    static void write(const std::string& name, const std::string& doc)
    {
        writeFile(*s_dir / (name + ".shp"), "shp");
        writeFile(*s_dir / (name + ".shp.xml"), doc);
    }

    static std::string xmlPath() { return *s_dir / (std::string(GetParam().name) + ".shp.xml"); }

    // Runs `operation` and checks its peak memory against the budget.
    template <typename Operation>
    void withinBudget(const char* what, Operation&& operation)
    {
        // Memory freed by earlier cases goes back to the system first, or
        // this case would reuse it unseen.
        ::malloc_trim(0);
        faults::PeakMemory memory;
        const bool measured = memory.reset();
        const long before = faults::PeakMemory::currentKb();
        operation();
        if (!measured) {
            std::printf("%s: the peak memory cannot be measured here\n", what);
            return;
        }
        const long growthMb = (faults::PeakMemory::peakKb() - before) / 1024;
        std::printf("%s of %s: peak memory %ld MB above the start\n", what, GetParam().name, growthMb);
        EXPECT_LE(growthMb, GetParam().budgetMb * kSanitizerFactor) << what << " took " << growthMb << " MB";
    }

    static std::unique_ptr<testutil::TempDir> s_dir;
};

std::unique_ptr<testutil::TempDir> HostileXmlTest::s_dir;

TEST_P(HostileXmlTest, ThroughTheDocumentClass)
{
    const Hostile& c = GetParam();
    withinBudget("loading", [&] {
        try {
            tXMLDocument doc(xmlPath());
            EXPECT_TRUE(c.loads) << "loaded";
            EXPECT_EQ(doc.GetNodeText("idinfo/citation/citeinfo/title"), "Hostile");
            // Every text of the document, entities expanded, as the
            // configuration's lists are read.
            try {
                const tVectorOfString texts = doc.GetNodeTexts("metadata/idinfo");
                EXPECT_EQ(texts, tVectorOfString{"Hostile"});
                const tVectorOfString all = doc.GetNodeTexts("metadata");
                EXPECT_FALSE(c.textsRefused) << "its entities expand to 1 GB";
                EXPECT_GT(all.size(), 1u);
            } catch (const EInvalidXMLOp& e) {
                EXPECT_TRUE(c.textsRefused) << e.what();
                EXPECT_STREQ(e.what(), "The entity references of the document stand for more than 16 MB of text");
            }
        } catch (const EInOutError& e) {
            EXPECT_FALSE(c.loads) << e.what();
            EXPECT_EQ(e.what(), "An error occured while loading " + xmlPath());
        }
    });
}

TEST_P(HostileXmlTest, ThroughTheViews)
{
    const Hostile& c = GetParam();
    const std::string stylesheet = std::string(ATLASDESK_SOURCE_DIR) + "/data/Atlasdesk Full.xsl";
    const struct {
        const char* name;
        std::function<RenderResult()> render;
    } views[] = {
        {"RenderRawXml", [&] { return RenderRawXml(xmlPath()); }},
        {"TransformFile", [&] { return TransformFile(xmlPath()); }},
        {"ApplyStylesheet", [&] { return ApplyStylesheet(xmlPath(), stylesheet); }},
    };
    for (const auto& view : views) {
        SCOPED_TRACE(view.name);
        withinBudget(view.name, [&] {
            const RenderResult result = view.render();
            EXPECT_FALSE(result.ok);
            EXPECT_NE(result.error.find(c.viewError), std::string::npos) << result.error;
            EXPECT_NE(result.html.find(c.viewError), std::string::npos) << "the page says it";
            EXPECT_LT(result.html.size(), 2u * 1024 * 1024) << "an error page quotes the start of the file only";
        });
    }
}

TEST_P(HostileXmlTest, ThroughTheWindowsPages)
{
    const Hostile& c = GetParam();
    TdlgAtlasdesk& w = window();
    w.ConnectToServer(s_dir->path());
    QModelIndex root = w.tvXMLTree->rootNode();
    expand(root);
    waitForListings();
    QModelIndex node = child(root, QString::fromLatin1(c.name) + ".shp");
    ASSERT_TRUE(node.isValid());

    // The Thumbnail page loads the document, unless it is too large to be
    // shown; none of them holds a picture.
    w.PageControl1->setCurrentWidget(w.tabThumbnail);
    selectOnly(node);
    ASSERT_TRUE(viewsSettled());
    EXPECT_TRUE(w.imgThumbnail->pixmap().isNull());
    if (!c.loads)
        EXPECT_EQ(m_errors, QStringList{QString::fromStdString("An error occured while loading " + xmlPath() + ".")});
    else if (*c.thumbnailError)
        EXPECT_EQ(m_errors, QStringList{QString::fromUtf8(c.thumbnailError)});
    else
        EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
    m_errors.clear();

    // The XML and Metadata pages show an error page that says why.
    for (BrowserPane* pane : {w.wbXML, w.wbXSL}) {
        EXPECT_FALSE(pageAfter(pane, [&] { w.PageControl1->setCurrentWidget(pane == w.wbXML ? w.tabXML : w.TabXSL); }));
        EXPECT_TRUE(pageText(pane).contains(QString::fromUtf8(c.viewError)));
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Documents, HostileXmlTest, ::testing::ValuesIn(kDocuments),
                         [](const ::testing::TestParamInfo<Hostile>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
