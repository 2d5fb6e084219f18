// What the fuzz targets of fuzz/ found, kept as tests of the normal suite.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <filesystem>

#include "TestUtil.h"
#include "xml/XMLOps.h"
#include "xml/RawXmlView.h"
#include "xml/XslTransform.h"

namespace {

using testutil::readFile;
using testutil::writeFile;

bool isUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8() ==
           QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// fuzz_xml_paths: DeleteNode of the root element left a document that Save
// wrote as a bare XML declaration, which nothing can load again: the
// metadata was gone. Such a document is refused and the old file kept.
TEST(FuzzFindings, DocumentWithoutRootElementIsNotSaved)
{
    testutil::TempDir dir;
    const std::string original = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<metadata><idinfo/></metadata>\n";
    for (const char* rootPath : {"metadata", "*", "metadata/"}) {
        SCOPED_TRACE(rootPath);
        writeFile(dir / "doc.xml", original);
        tXMLDocument doc(dir / "doc.xml");
        doc.DeleteNode(rootPath);
        ASSERT_EQ(doc.FindNode("*"), nullptr);
        try {
            doc.Save();
            ADD_FAILURE() << "a document without its root element was saved";
        } catch (const EInOutError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot save " + dir / "doc.xml" + ": the document has no root element");
        }
        EXPECT_EQ(readFile(dir / "doc.xml"), original);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary file";
    }

    // A new document is saved once it has its root, not before.
    tXMLDocument fresh;
    fresh.WriteProlog();
    EXPECT_THROW(fresh.SaveAs(dir / "new.xml"), EInOutError);
    EXPECT_FALSE(testutil::exists(dir / "new.xml"));
    fresh.CreateRoot("metadata");
    fresh.SaveAs(dir / "new.xml");
    EXPECT_EQ(tXMLDocument(dir / "new.xml").FindNodes("metadata").size(), 1u);
}

// fuzz_xml_views: the parser's messages quote bytes of the document as
// they are; an error page that copied them was no UTF-8 page any more.
TEST(FuzzFindings, ErrorPageQuotingBytesThatAreNotUtf8IsUtf8)
{
    testutil::TempDir dir;
    writeFile(dir / "doc.xml", std::string("<?xml encoding?><\xe0" "a\0\0", 21));
    for (const RenderResult& result : {RenderRawXml(dir / "doc.xml"), TransformFile(dir / "doc.xml")}) {
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(isUtf8(result.html)) << result.html;
        EXPECT_TRUE(isUtf8(result.error)) << result.error;
        EXPECT_NE(result.html.find("Couldn&#39;t find end of Start Tag \xc3\xa0" "a"), std::string::npos)
            << "the byte is shown as the Latin-1 character it may be";
    }
}

// The promise fuzz_xml_paths checks (what Save wrote loads again) also broke
// for paths deeper than the parser reads: CreateNodePath built a document
// of 300 levels that no load accepted. Paths now stop at 256 levels.
TEST(FuzzFindings, PathDeeperThanTheParserReadsIsRefused)
{
    testutil::TempDir dir;
    for (const int depth : {256, 257, 300}) {
        SCOPED_TRACE(depth);
        tXMLDocument doc;
        doc.CreateRoot("r");
        std::string path = "r";
        for (int level = 2; level <= depth; ++level)
            path += "/a";
        if (depth <= 256) {
            EXPECT_NE(doc.AddNodeWithText(path, "bottom"), nullptr);
        } else {
            EXPECT_THROW(doc.AddNodeWithText(path, "bottom"), EInvalidXMLOp);
            EXPECT_THROW(doc.CreateNodePath(path, false), EInvalidXMLOp);
        }
        doc.SaveAs(dir / "deep.xml");
        EXPECT_NO_THROW(tXMLDocument{dir / "deep.xml"}) << "what was saved loads again";
    }
}

// fuzz_xml_paths: on a chain of elements 170 deep, ClearNodeText("a//a/a/...")
// (the XPath "//a//a" and thirty child steps) ran for minutes: the second
// descendant step reaches every node once per ancestor, and the processor
// removes the duplicates pairwise at each later step. Such expressions are
// refused at once; a single descendant step, unions and predicates stay.
TEST(FuzzFindings, ExpressionsThatCostFarMoreThanTheDocumentAreRefused)
{
    testutil::TempDir dir;
    std::string chain = "x";
    for (int level = 0; level < 170; ++level)
        chain = "<a>" + chain + "</a>";
    writeFile(dir / "deep.xml", "<r>" + chain + "<b>t</b></r>");
    tXMLDocument doc(dir / "deep.xml");
    std::string steps;
    for (int i = 0; i < 30; ++i)
        steps += "/a";

    const struct {
        std::string expression;
        bool refused;
        std::size_t texts; // one per match: each holds the "x" at the bottom
    } cases[] = {
        {"//a//a" + steps, true, 0},
        {"//a/descendant::a" + steps, true, 0},
        {"//a/ancestor::a", true, 0},
        {"//a/ancestor :: a", true, 0},
        {"//a/following-sibling::b", true, 0},
        {"//a[.//a]//a", true, 0},
        {"r/a/descendant-or-self::a", true, 0},
        {"//a" + steps, false, 140},            // one descendant step
        {"//b | //a[count(a) = 0]", false, 2},  // one per side of a union
        {"//a[.//b]", false, 0},                // one inside a predicate
        {"//*[@n = '//x']", false, 0},          // inside a string
        {"r/a/a/child::a", false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        if (c.refused)
            EXPECT_THROW(doc.GetNodeTexts(c.expression), EInvalidXMLOp);
        else
            EXPECT_EQ(doc.GetNodeTexts(c.expression).size(), c.texts);
    }
    // The anywhere paths of the document class put "//" in front.
    EXPECT_THROW(doc.FindNodes("a//a" + steps), EInvalidXMLOp);
    EXPECT_THROW(doc.ClearNodeText("a//a" + steps, true), EInvalidXMLOp);
    EXPECT_EQ(doc.FindNodes("a" + steps).size(), 140u);
}

} // namespace
