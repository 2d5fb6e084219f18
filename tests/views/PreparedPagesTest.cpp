// Pages rendered ahead (PreparedPages): served without a render while their
// files are unchanged, never once one of them changed, and bounded.
#include "xml/MetadataView.h"
#include "xml/PreparedPages.h"

#include "ViewsTestSupport.h"

#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace viewstest;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const char* const kStylesheet = R"(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template match="/"><html><body><h1><xsl:value-of select="//title"/></h1></body></html></xsl:template>
</xsl:stylesheet>)";

std::string metadata(const std::string& title)
{
    return "<metadata><title>" + title + "</title></metadata>";
}

class PreparedPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(m_dir / "sheet.xsl", kStylesheet);
        for (const char* name : {"a", "b", "c"})
            writeFile(m_dir / (std::string(name) + ".shp.xml"), metadata(std::string("Title ") + name));
    }
    MetadataViewRequest request(const std::string& name) const
    {
        MetadataViewRequest r;
        r.page = MetadataPage::Rendered;
        r.dataPath = m_dir / (name + ".shp");
        r.metadataPath = m_dir / (name + ".shp.xml");
        r.stylesheetPath = m_dir / "sheet.xsl";
        r.scratchFolder = m_scratch.path();
        return r;
    }
    // Renders as the views do, counting the renders and what they were
    // asked for.
    PreparedPages::Render counting()
    {
        return [this](const MetadataViewRequest& r) {
            m_rendered.push_back(r);
            return RenderMetadataView(r);
        };
    }
    // The scratch folder holds the stylesheet's copy and, once a page was
    // shown, its document; never a part left behind.
    std::vector<std::string> scratchFiles() const { return testutil::entries(m_scratch.path()); }

    TempDir m_dir, m_scratch;
    std::vector<MetadataViewRequest> m_rendered;
};

// A page rendered ahead leaves the shown page's document alone; taken, it is
// the page a render gives, with the document written as a render writes it,
// and it is not rendered again.
TEST_F(PreparedPagesTest, AKeptPageIsServedWithItsDocumentWithoutARender)
{
    PreparedPages pages;
    writeFile(m_scratch / "~TempXML.xml", "the document of the page on screen");
    ASSERT_TRUE(pages.prepare(request("a"), counting()));
    ASSERT_EQ(m_rendered.size(), 1u);
    EXPECT_TRUE(m_rendered[0].ahead);
    EXPECT_EQ(readFile(m_scratch / "~TempXML.xml"), "the document of the page on screen");
    EXPECT_EQ(scratchFiles(), (std::vector<std::string>{"~Last Used.xsl", "~TempXML.xml"}));
    EXPECT_TRUE(pages.prepare(request("a"), counting())) << "kept already";
    EXPECT_EQ(m_rendered.size(), 1u) << "an unchanged page is not rendered twice";

    const std::optional<MetadataView> kept = pages.take(request("a"));
    ASSERT_TRUE(kept);
    const MetadataView rendered = RenderMetadataView(request("a"));
    EXPECT_TRUE(kept->prepared);
    EXPECT_FALSE(kept->request.ahead);
    EXPECT_EQ(kept->request.metadataPath, request("a").metadataPath);
    EXPECT_EQ(kept->page.html, rendered.page.html);
    EXPECT_TRUE(contains(kept->page.html, "<h1>Title a</h1>")) << kept->page.html;
    EXPECT_EQ(kept->pagePath, rendered.pagePath);
    EXPECT_EQ(kept->baseFolder, rendered.baseFolder);
    EXPECT_EQ(m_rendered.size(), 1u);
    EXPECT_EQ(readFile(m_scratch / "~TempXML.xml"), scratchDocument(metadata("Title a")));
    EXPECT_EQ(readFile(m_scratch / "~Last Used.xsl"), kStylesheet);
    EXPECT_EQ(scratchFiles(), (std::vector<std::string>{"~Last Used.xsl", "~TempXML.xml"}));
    EXPECT_TRUE(pages.take(request("a"))) << "the page stays kept";
    EXPECT_FALSE(pages.take(request("b"))) << "never prepared";
    MetadataViewRequest otherSheet = request("a");
    otherSheet.stylesheetPath = m_dir / "other.xsl";
    EXPECT_FALSE(pages.take(otherSheet)) << "another stylesheet is another page";
}

// Whatever changed one of the files a kept page was made from, the page is
// not served: the next render shows the change, and the page is dropped.
TEST_F(PreparedPagesTest, APageWhoseFilesChangedIsNeverServed)
{
    const auto rewriteKeepingTimes = [this](const std::string& path, const std::string& text) {
        // Same size, same modification time (the change time may well be
        // the same too, within one tick of the file system's clock).
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        writeFile(path, text);
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    };
    const struct {
        const char* change;
        std::function<void()> make;
        const char* shown; // in the page rendered after it; null: no page
    } cases[] = {
        {"metadata written anew",
         [&] { writeFile(m_dir / "a.shp.xml", metadata("Title A, new edition")); }, "Title A, new edition"},
        {"metadata of the same size and time",
         [&] { rewriteKeepingTimes(m_dir / "a.shp.xml", metadata("Title x")); }, "Title x"},
        {"metadata replaced by a rename",
         [&] {
             writeFile(m_dir / "new.xml", metadata("Title y"));
             ASSERT_EQ(std::rename((m_dir / "new.xml").c_str(), (m_dir / "a.shp.xml").c_str()), 0);
         },
         "Title y"},
        {"stylesheet changed",
         [&] { writeFile(m_dir / "sheet.xsl", ReplaceAll(kStylesheet, "<h1>", "<h1>Changed: ")); },
         "Changed: Title a"},
        {"metadata removed", [&] { std::remove((m_dir / "a.shp.xml").c_str()); }, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        SetUp();
        PreparedPages pages;
        ASSERT_TRUE(pages.prepare(request("a"), counting()));
        c.make();
        EXPECT_FALSE(pages.take(request("a")));
        EXPECT_EQ(pages.size(), 0u) << "dropped";
        const MetadataView now = RenderMetadataView(request("a"));
        if (c.shown)
            EXPECT_TRUE(contains(now.page.html, c.shown)) << now.page.html;
        else
            EXPECT_FALSE(now.hasMetadata);
    }
}

// Only pages that rendered without error are kept: of the Metadata page,
// and of the XML page when the document names no stylesheet of its own
// (a file that is not watched); no more than the capacity (the oldest go).
TEST_F(PreparedPagesTest, KeepsOnlyGoodPagesAndAtMostItsCapacity)
{
    writeFile(m_dir / "broken.shp.xml", "<metadata><title>unclosed</metadata>");
    writeFile(m_dir / "styled.shp.xml", "<?xml-stylesheet type=\"text/xsl\" href=\"sheet.xsl\"?>" + metadata("Styled"));
    writeFile(m_dir / "wide.shp.xml", std::string("\xFF\xFE<\0m\0/\0>\0", 10));
    const auto on = [this](MetadataPage page, const std::string& name) {
        MetadataViewRequest r = request(name);
        r.page = page;
        return r;
    };
    MetadataViewRequest noScratch = request("a");
    noScratch.scratchFolder.clear();
    const struct {
        const char* what;
        MetadataViewRequest request;
        bool kept;
    } cases[] = {
        {"an error page, rendered when asked for", request("broken"), false},
        {"no metadata", request("missing"), false},
        {"no scratch folder", noScratch, false},
        {"a thumbnail", on(MetadataPage::Thumbnail, "a"), false},
        {"an XML page", on(MetadataPage::Raw, "a"), true},
        {"an XML page through the document's own stylesheet", on(MetadataPage::Raw, "styled"), false},
        {"an XML page of UTF-16", on(MetadataPage::Raw, "wide"), false},
    };
    for (const auto& c : cases) {
        PreparedPages pages;
        EXPECT_EQ(pages.prepare(c.request, counting()), c.kept) << c.what;
        EXPECT_EQ(pages.size(), c.kept ? 1u : 0u) << c.what;
        EXPECT_EQ(pages.take(c.request).has_value(), c.kept) << c.what;
    }

    PreparedPages pages(2);
    for (const char* name : {"a", "b", "c"})
        EXPECT_TRUE(pages.prepare(request(name), counting())) << name;
    EXPECT_EQ(pages.size(), 2u);
    EXPECT_FALSE(pages.take(request("a"))) << "the oldest went";
    EXPECT_TRUE(pages.take(request("b")));
    EXPECT_TRUE(pages.take(request("c")));
    pages.clear();
    EXPECT_EQ(pages.size(), 0u);
    EXPECT_FALSE(pages.take(request("c")));
    EXPECT_EQ(scratchFiles(), (std::vector<std::string>{"~Last Used.xsl", "~TempXML.xml"}));
}

} // namespace
