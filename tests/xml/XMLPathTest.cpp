// Path semantics, reading, writing and removing through tXMLDocument.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <functional>

#include "XMLTestSupport.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// Two a/b pairs at different depths, a b directly under the root, texts
// with padding, mixed content, an entity, a CDATA section.
const char* const kSample = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE r [<!ENTITY ent "in<i>ner</i>">]>
<r>
  <a><b>1</b></a>
  <x><a><b>2</b></a></x>
  <b>3</b>
  <pad>  padded  </pad>
  <m>one<!--c-->two</m>
  <n><!--c-->two</n>
  <e>x&ent;y</e>
  <d><![CDATA[cd]]>t</d>
</r>)";

class XMLPathTest : public ::testing::Test {
protected:
    void SetUp() override { doc = documentFrom(dir, kSample); }
    TempDir dir;
    std::unique_ptr<tXMLDocument> doc;
};

enum class Kind { Anywhere, Rooted };

struct PathCase {
    Kind kind;
    const char* path;
    tVectorOfString texts;
};

TEST_F(XMLPathTest, AnywhereAndRootedPathsSelectTheRightElements)
{
    const PathCase cases[] = {
        {Kind::Anywhere, "a/b", {"1", "2"}},
        {Kind::Anywhere, "b", {"1", "2", "3"}},
        {Kind::Anywhere, "r/a/b", {"1"}},
        {Kind::Anywhere, "r/b", {"3"}},
        {Kind::Anywhere, "x/a/b", {"2"}},
        {Kind::Anywhere, "*/b", {"1", "2", "3"}},
        {Kind::Anywhere, "nothing/b", {}},
        {Kind::Rooted, "a/b", {}},
        {Kind::Rooted, "b", {}},
        {Kind::Rooted, "r/a/b", {"1"}},
        {Kind::Rooted, "*/a/b", {"1"}},
        {Kind::Rooted, "*/*/a/b", {"2"}},
        {Kind::Rooted, "r/b", {"3"}},
        {Kind::Rooted, "q/b", {}},
        {Kind::Rooted, "r/x", {"2"}},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(std::string(c.kind == Kind::Anywhere ? "anywhere " : "rooted ") + c.path);
        const tVectorOfString got = c.kind == Kind::Anywhere
                                        ? tXMLDocument::CollectTexts(doc->FindNodes(c.path))
                                        : doc->GetNodeTexts(c.path);
        EXPECT_EQ(got, c.texts);
    }
}

TEST_F(XMLPathTest, ReadsSingleTexts)
{
    struct Case {
        const char* path;
        long long offset;  // -1: GetNodeText
        const char* text;
    } const cases[] = {
        {"a/b", -1, "1"},
        {"a/b/", -1, "1"},
        {"x/a/b", -1, "2"},
        {"nothing", -1, ""},
        {"r", -1, ""},            // only child elements
        {"x", -1, ""},
        {"pad", -1, "  padded  "},  // not trimmed
        {"m", -1, "one"},         // first child only
        {"n", -1, ""},            // first child is a comment
        {"d", -1, ""},            // first child is CDATA
        {"e", -1, "x"},
        {"b/text()", -1, "1"},    // a text node reads as itself
        {"a/b", 0, "1"},
        {"a/b", 1, "2"},
        {"a/b", 2, ""},
        {"b", 2, "3"},
        {"b", 4000000000, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " at " + std::to_string(c.offset));
        EXPECT_EQ(c.offset < 0 ? doc->GetNodeText(c.path)
                               : doc->GetNodeTextAt(c.path, static_cast<unsigned>(c.offset)),
                  c.text);
    }
    EXPECT_EQ(doc->FindNode("a/b/"), doc->FindNode("a/b"));
    EXPECT_EQ(doc->FindNode("a/b"), doc->FindNodes("a/b").at(0));
    EXPECT_EQ(doc->FindNode("none"), nullptr);
}

TEST_F(XMLPathTest, CollectTextsWalksEveryTextNodeTrimmed)
{
    EXPECT_THAT(doc->GetNodeTexts("r/pad"), ElementsAre("padded"));
    EXPECT_THAT(doc->GetNodeTexts("r/m"), ElementsAre("one", "two"));
    EXPECT_THAT(doc->GetNodeTexts("r/e"), ElementsAre("x", "in", "ner", "y"));  // entity descended
    EXPECT_THAT(doc->GetNodeTexts("r/d"), ElementsAre("t"));                    // CDATA skipped
    EXPECT_THAT(doc->GetNodeTexts("r/x"), ElementsAre("2"));
    EXPECT_THAT(tXMLDocument::CollectTexts({}), IsEmpty());
}

// A document read only for looking things up reads as any other, and
// refuses every change (its short texts are stored where libxml2 could not
// free them).
TEST_F(XMLPathTest, ReadOnlyDocumentsReadTheSameAndRefuseChanges)
{
    const std::string longText(200, 'z');
    writeFile(dir / "long.xml", std::string(kSample).replace(std::string(kSample).find("<pad>"), 0,
                                                             "<long>" + longText + "</long>"));
    const tXMLDocument normal(dir / "long.xml");
    tXMLDocument readOnly(dir / "long.xml", tXMLDocument::Layout::ReadOnly);
    for (const char* path : {"b", "a/b", "pad", "m", "n", "e", "d", "long", "r"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(tXMLDocument::CollectTexts(readOnly.FindNodes(path)), tXMLDocument::CollectTexts(normal.FindNodes(path)));
        EXPECT_EQ(readOnly.GetNodeText(path), normal.GetNodeText(path));
    }
    EXPECT_EQ(readOnly.GetNodeText("long"), longText);

    const std::string before = readFile(dir / "long.xml");
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"SetNodeText", [&] { readOnly.SetNodeText("r/b", "4"); }},
        {"SetNodeTextAt", [&] { readOnly.SetNodeTextAt("r/a/b", "4", 0); }},
        {"ReplaceText", [&] { readOnly.ReplaceText(readOnly.FindNodes("r/b"), "4", 0); }},
        {"CreateNodePath", [&] { readOnly.CreateNodePath("r/new", true); }},
        {"AddNodeWithText", [&] { readOnly.AddNodeWithText("r/new", "4"); }},
        {"AppendText", [&] { readOnly.AppendText(readOnly.FindNode("pad"), "4"); }},
        {"RemoveTextChildren", [&] { readOnly.RemoveTextChildren(readOnly.FindNode("pad")); }},
        {"ClearNodeText", [&] { readOnly.ClearNodeText("pad", false); }},
        {"DeleteNode", [&] { readOnly.DeleteNode("pad"); }},
        {"SetNodeAttribute", [&] { readOnly.SetNodeAttribute(readOnly.FindNode("pad"), "k", "v"); }},
        {"SetAttribute", [&] { readOnly.SetAttribute("pad", "k", true, "v"); }},
        {"WriteProlog", [&] { readOnly.WriteProlog(); }},
        {"CreateRoot", [&] { readOnly.CreateRoot("other"); }},
        {"Save", [&] { readOnly.Save(); }},
        {"SaveAs", [&] { readOnly.SaveAs(dir / "copy.xml"); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        EXPECT_THROW(change(), EInvalidXMLOp);
    }
    EXPECT_EQ(readOnly.GetNodeText("pad"), normal.GetNodeText("pad")) << "nothing changed";
    EXPECT_EQ(readOnly.FileName, dir / "long.xml");
    EXPECT_EQ(readFile(dir / "long.xml"), before);
    EXPECT_FALSE(testutil::exists(dir / "copy.xml"));
}

// Only FindNode and CreateNodePath (and what is built on them) drop a
// trailing "/"; the others hand the path on unchanged, where it is not a
// valid expression.
TEST_F(XMLPathTest, TrailingSlashIsDroppedOnlyByFindNodeAndCreateNodePath)
{
    const std::pair<const char*, std::function<void()>> accepted[] = {
        {"FindNode", [&] { EXPECT_NE(doc->FindNode("r/a/"), nullptr); }},
        {"GetNodeText", [&] { EXPECT_EQ(doc->GetNodeText("r/b/"), "3"); }},
        {"SetNodeText", [&] { doc->SetNodeText("r/b/", "33"); EXPECT_EQ(doc->GetNodeText("r/b"), "33"); }},
        {"CreateNodePath", [&] { EXPECT_EQ(doc->CreateNodePath("r/x/", false), doc->FindNode("r/x")); }},
        {"DeleteNode", [&] { doc->DeleteNode("r/pad/"); EXPECT_EQ(doc->FindNode("pad"), nullptr); }},
        {"SetAttribute", [&] { doc->SetAttribute("r/n/", "k", false, "v");
                               EXPECT_NE(doc->GetAttributeNode(doc->FindNode("r/n"), "k"), nullptr); }},
    };
    for (const auto& [name, check] : accepted) {
        SCOPED_TRACE(name);
        check();
    }
    const std::pair<const char*, std::function<void()>> rejected[] = {
        {"FindNodes", [&] { doc->FindNodes("a/b/"); }},
        {"GetNodeTextAt", [&] { doc->GetNodeTextAt("a/b/", 0); }},
        {"GetNodeTexts", [&] { doc->GetNodeTexts("r/a/"); }},
        {"ClearNodeText", [&] { doc->ClearNodeText("r/a/", true); }},
        {"SetNodeTextAt", [&] { doc->SetNodeTextAt("r/a/", "t", 0); }},
    };
    for (const auto& [name, call] : rejected) {
        SCOPED_TRACE(name);
        EXPECT_THROW(call(), EInvalidXMLOp);
    }
}

enum class Raised { InvalidXMLOp, InvalidOperation, InOutError };

struct FailureCase {
    const char* name;
    std::function<void(tXMLDocument&, const TempDir&)> call;
    Raised type;
    std::string message;
};

TEST_F(XMLPathTest, FailuresRaiseTheirMessages)
{
    const FailureCase cases[] = {
        {"leading slash", [](tXMLDocument& d, const TempDir&) { d.CreateNodePath("/r/a", true); },
         Raised::InvalidXMLOp, "Empty node tag in /r/a"},
        {"empty middle step", [](tXMLDocument& d, const TempDir&) { d.CreateNodePath("r//a", false); },
         Raised::InvalidXMLOp, "Empty node tag in r//a"},
        {"empty step to append", [](tXMLDocument& d, const TempDir&) { d.CreateNodePath("r/a//", true); },
         Raised::InvalidXMLOp, "Empty node tag in r/a/"},
        {"one step appended", [](tXMLDocument& d, const TempDir&) { d.CreateNodePath("r", true); },
         Raised::InvalidXMLOp, "Ambiguous node Xpath for r"},
        {"one step added", [](tXMLDocument& d, const TempDir&) { d.AddNodeWithText("x", "t"); },
         Raised::InvalidXMLOp, "Ambiguous node Xpath for x"},
        {"other root", [](tXMLDocument& d, const TempDir&) { d.CreateNodePath("q/a/", false); },
         Raised::InvalidXMLOp, "Ambiguous node Xpath for q/a"},
        {"missing step below several", [](tXMLDocument& d, const TempDir&) { d.SetNodeText("r/*/zz", "t"); },
         Raised::InvalidXMLOp, "Ambiguous node Xpath for r/*/zz"},
        {"created outside the root", [](tXMLDocument& d, const TempDir&) { d.SetAttribute("x/a/q", "k", true, "v"); },
         Raised::InvalidXMLOp, "Ambiguous node Xpath for x/a/q"},
        {"several to clear", [](tXMLDocument& d, const TempDir&) { d.ClearNodeText("a/b", false); },
         Raised::InvalidXMLOp, "Several nodes correspond to the XPath to be cleared."},
        {"no node for attribute", [](tXMLDocument& d, const TempDir&) { d.GetAttributeNode(nullptr, "k"); },
         Raised::InvalidOperation, "Node not found in GetAttributeNode"},
        {"no node to set attribute", [](tXMLDocument& d, const TempDir&) { d.SetNodeAttribute(nullptr, "k", "v"); },
         Raised::InvalidOperation, "Node not found in GetAttributeNode"},
        {"offset past the list", [](tXMLDocument& d, const TempDir&) { d.ReplaceText(d.FindNodes("a/b"), "t", 2); },
         Raised::InvalidXMLOp, "Invalid offset in ReplaceText: 2"},
        {"empty list", [](tXMLDocument& d, const TempDir&) { d.ReplaceText({}, "t", 0); },
         Raised::InvalidXMLOp, "Invalid offset in ReplaceText: 0"},
        {"element first", [](tXMLDocument& d, const TempDir&) { d.ReplaceText(d.FindNodes("x"), "t", 0); },
         Raised::InvalidXMLOp, "No TEXT node at Offset in ReplaceText"},
        {"comment first", [](tXMLDocument& d, const TempDir&) { d.SetNodeTextAt("r/n", "t", 0); },
         Raised::InvalidXMLOp, "No TEXT node at Offset in ReplaceText"},
        {"not an expression", [](tXMLDocument& d, const TempDir&) { d.FindNode("a["); },
         Raised::InvalidXMLOp, "Invalid expression in XPath //a["},
        {"empty anywhere path", [](tXMLDocument& d, const TempDir&) { d.GetNodeText(""); },
         Raised::InvalidXMLOp, "Invalid expression in XPath //"},
        {"unknown prefix", [](tXMLDocument& d, const TempDir&) { d.GetNodeTexts("r/gmd:title"); },
         Raised::InvalidXMLOp, "Undefined namespace prefix in XPath r/gmd:title"},
        {"not a step", [](tXMLDocument& d, const TempDir&) { d.CreateNodePath("r/1x", false); },
         Raised::InvalidXMLOp, "Invalid expression in XPath /r/1x"},
        {"not a name", [](tXMLDocument& d, const TempDir&) { d.CreateNodePath("r/x/text()", false); },
         Raised::InvalidXMLOp, "Invalid node tag text() in r/x/text()"},
        {"star below nothing", [](tXMLDocument& d, const TempDir&) { d.CreateNodePath("r/b/*", false); },
         Raised::InvalidXMLOp, "Invalid node tag * in r/b/*"},
        {"missing file", [](tXMLDocument& d, const TempDir& s) { d.FileName = s / "none.xml"; d.Load(); },
         Raised::InOutError, "An error occured while loading " + (dir / "none.xml")},
        {"directory", [](tXMLDocument& d, const TempDir& s) { d.FileName = s.path(); d.Load(); },
         Raised::InOutError, "An error occured while loading " + dir.path()},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        tXMLDocument fresh(dir / "doc.xml");
        try {
            c.call(fresh, dir);
            ADD_FAILURE() << "nothing raised";
        } catch (const Exception& e) {
            EXPECT_EQ(e.what(), c.message);
            switch (c.type) {
            case Raised::InvalidXMLOp: EXPECT_NE(dynamic_cast<const EInvalidXMLOp*>(&e), nullptr); break;
            case Raised::InvalidOperation: EXPECT_NE(dynamic_cast<const EInvalidOperation*>(&e), nullptr); break;
            case Raised::InOutError: EXPECT_NE(dynamic_cast<const EInOutError*>(&e), nullptr); break;
            }
        }
    }
}

TEST_F(XMLPathTest, ClearingSeveralWithoutLeaveChangesNothing)
{
    EXPECT_THROW(doc->ClearNodeText("a/b", false), EInvalidXMLOp);
    EXPECT_THAT(tXMLDocument::CollectTexts(doc->FindNodes("a/b")), ElementsAre("1", "2"));
    doc->ClearNodeText("a/b", true);
    EXPECT_THAT(tXMLDocument::CollectTexts(doc->FindNodes("a/b")), IsEmpty());
    EXPECT_EQ(doc->FindNodes("a/b").size(), 2u);
    EXPECT_EQ(doc->GetNodeText("r/b"), "3");
    doc->ClearNodeText("nothing", false);  // no match: nothing happens
}

TEST(XMLDocumentTest, LoadFailureLeavesNoObjectAndNoOutput)
{
    TempDir dir;
    writeFile(dir / "bad.xml", "<r><a></r>");
    writeFile(dir / "empty.xml", "");
    testing::internal::CaptureStderr();
    for (const char* name : {"bad.xml", "empty.xml", "missing.xml"}) {
        SCOPED_TRACE(name);
        try {
            tXMLDocument doc(dir / name);
            ADD_FAILURE() << "loaded";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.what(), "An error occured while loading " + (dir / name));
        }
    }
    tXMLDocument doc;
    EXPECT_THROW(doc.FindNode("a[["), EInvalidXMLOp);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(XMLDocumentTest, NewDocumentIsEmptyWithQuotedDefaults)
{
    tXMLDocument doc;
    EXPECT_EQ(doc.Version, "\"1.0\"");
    EXPECT_EQ(doc.Encoding, "\"UTF-8\"");
    EXPECT_EQ(doc.FileName, "");
    EXPECT_EQ(doc.DocType, "");
    EXPECT_EQ(doc.RootNode, nullptr);
    EXPECT_EQ(doc.DOMDocument()->children, nullptr);
    EXPECT_EQ(doc.FindNode("*"), nullptr);
    EXPECT_THROW(doc.CreateNodePath("r/a", false), EInvalidXMLOp);  // the root is never created here
    tXMLNode root = doc.CreateRoot("r");
    EXPECT_EQ(doc.RootNode, root);
    EXPECT_EQ(xmlDocGetRootElement(doc.DOMDocument()), root);
    EXPECT_THROW(doc.CreateRoot("s"), EInvalidXMLOp);
}

// ---- Building ------------------------------------------------------------------

class XMLBuildTest : public ::testing::Test {
protected:
    tXMLDocument& from(const std::string& xml)
    {
        doc = documentFrom(dir, xml);
        return *doc;
    }
    std::string tree() const { return describe(xmlDocGetRootElement(doc->DOMDocument())); }
    TempDir dir;
    std::unique_ptr<tXMLDocument> doc;
};

TEST_F(XMLBuildTest, SetNodeTextCreatesOnceThenChanges)
{
    from("<r><p/></r>");
    tXMLNode created = doc->SetNodeText("r/p/q", "first");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(tree(), R"(r{p{q="first"}})");
    EXPECT_EQ(doc->SetNodeText("r/p/q", "second"), created);
    EXPECT_EQ(tree(), R"(r{p{q="second"}})");
    doc->SetNodeText("r/p/s/t", "deep");
    EXPECT_EQ(tree(), R"(r{p{q="second" s{t="deep"}}})");
}

TEST_F(XMLBuildTest, SetNodeTextAppendsBehindANonTextFirstChild)
{
    from("<r><s><k/></s><c><!--c--></c></r>");
    doc->SetNodeText("r/s", "v");
    doc->SetNodeText("r/c", "w");
    EXPECT_EQ(tree(), R"(r{s="v"{k} c="w"{<!--c-->}})");
    EXPECT_EQ(doc->GetNodeText("r/s"), "");  // still reads its first child
    EXPECT_THAT(doc->GetNodeTexts("r/s"), ElementsAre("v"));
}

TEST_F(XMLBuildTest, AddNodeWithTextRepeatsSiblings)
{
    from("<r/>");
    tXMLNode first = doc->AddNodeWithText("r/x", "one");
    tXMLNode second = doc->AddNodeWithText("r/x", "two");
    EXPECT_NE(first, second);
    EXPECT_EQ(tree(), R"(r{x="one" x="two"})");
    EXPECT_THAT(doc->GetNodeTexts("r/x"), ElementsAre("one", "two"));
    EXPECT_EQ(doc->GetNodeTextAt("r/x", 1), "two");
    EXPECT_EQ(doc->GetNodeText("r/x"), "one");
}

TEST_F(XMLBuildTest, AppendTextKeepsSeparateTextNodes)
{
    from("<r><s>a</s></r>");
    tXMLNode s = doc->FindNode("s");
    EXPECT_EQ(doc->AppendText(s, "b"), s);
    EXPECT_EQ(doc->GetNodeText("s"), "a");
    EXPECT_THAT(doc->GetNodeTexts("r/s"), ElementsAre("a", "b"));
    EXPECT_THROW(doc->AppendText(nullptr, "x"), EInvalidOperation);
}

TEST_F(XMLBuildTest, CreateNodePathResolvesAmbiguityByLaterSteps)
{
    from("<r><a/><a><b/></a></r>");
    tXMLNode b = doc->CreateNodePath("r/a/b", false);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b, doc->FindNode("r/a/b"));
    EXPECT_EQ(b->parent, doc->FindNodes("r/a").at(1));
    EXPECT_EQ(tree(), "r{a a{b}}");
    // Several matches for the last step: nothing to return, nothing created.
    EXPECT_EQ(doc->CreateNodePath("r/a", false), nullptr);
    EXPECT_EQ(tree(), "r{a a{b}}");

    from("<r><a/><a/></r>");
    try {
        doc->CreateNodePath("r/a/b", false);
        ADD_FAILURE() << "nothing raised";
    } catch (const EInvalidXMLOp& e) {
        EXPECT_STREQ(e.what(), "Ambiguous node Xpath for r/a/b");
    }
    EXPECT_EQ(tree(), "r{a a}");
}

TEST_F(XMLBuildTest, CreateNodePathBuildsAndAppends)
{
    from("<r><a/></r>");
    struct Case {
        const char* path;
        bool appendLast;
        const char* tree;
        const char* returned;  // name of the element returned
    } const cases[] = {
        {"r/a", false, "r{a}", "a"},
        {"*/a", false, "r{a}", "a"},
        {"r/a/b/c", false, "r{a{b{c}}}", "c"},
        {"r/a/b/c/", false, "r{a{b{c}}}", "c"},
        {"r/a/b//", false, "r{a{b{c}}}", "b"},  // a path ending in "//" stops before the empty step
        {"r/a", true, "r{a{b{c}} a}", "a"},     // appended although one exists
        {"*/p", false, "r{a{b{c}} a p}", "p"},
        {"r/p/q", true, "r{a{b{c}} a p{q}}", "q"},
        {"r/p/q", true, "r{a{b{c}} a p{q q}}", "q"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.appendLast ? " appended" : ""));
        tXMLNode node = doc->CreateNodePath(c.path, c.appendLast);
        ASSERT_NE(node, nullptr);
        EXPECT_STREQ(reinterpret_cast<const char*>(node->name), c.returned);
        EXPECT_EQ(tree(), c.tree);
    }
}

TEST_F(XMLBuildTest, ElementsCreatedBeforeAFailureStay)
{
    from("<r/>");
    EXPECT_THROW(doc->CreateNodePath("r/a/b//c", false), EInvalidXMLOp);
    EXPECT_EQ(tree(), "r{a{b}}");
}

TEST_F(XMLBuildTest, SetNodeTextAtReplacesOrAppendsUpToTheOffset)
{
    from("<r><t>a</t><t>b</t></r>");
    tXMLNode second = doc->FindNodes("t").at(1);
    EXPECT_EQ(doc->SetNodeTextAt("r/t", "B", 1), second);
    EXPECT_EQ(doc->SetNodeTextAt("r/t", "z", 4), nullptr);  // two past the end
    EXPECT_THAT(doc->GetNodeTexts("r/t"), ElementsAre("a", "B", "", "", "z"));
    EXPECT_EQ(doc->FindNodes("r/t").size(), 5u);
    EXPECT_EQ(doc->SetNodeTextAt("r/u", "first", 0), nullptr);
    EXPECT_EQ(doc->SetNodeTextAt("r/u", "again", 0), doc->FindNode("r/u"));
    EXPECT_THAT(doc->GetNodeTexts("r/u"), ElementsAre("again"));
    EXPECT_THROW(doc->SetNodeTextAt("r/v", "far", 4000000000u), EInvalidXMLOp);
    EXPECT_EQ(doc->FindNode("r/v"), nullptr);
}

TEST_F(XMLBuildTest, ReplaceTextOnAnEmptyElementAddsText)
{
    from("<r><t/><t>x</t></r>");
    const tXMLNodeList list = doc->FindNodes("t");
    EXPECT_EQ(doc->ReplaceText(list, "new", 0), list[0]);
    EXPECT_EQ(doc->ReplaceText(list, "y", 1), list[1]);
    EXPECT_EQ(tree(), R"(r{t="new" t="y"})");
    const tXMLNodeList texts = doc->FindNodes("t/text()");
    EXPECT_EQ(doc->ReplaceText(texts, "on text", 1), texts[1]);
    EXPECT_EQ(tree(), R"(r{t="new" t="on text"})");
}

TEST_F(XMLBuildTest, RemoveTextChildrenKeepsElementsAndAttributes)
{
    from(R"(<r><c k="v">t1<kid>kid</kid>t2</c><d>x</d></r>)");
    doc->ClearNodeText("r/c", false);
    EXPECT_EQ(tree(), R"(r{c{kid="kid"} d="x"})");
    EXPECT_NE(doc->GetAttributeNode(doc->FindNode("c"), "k"), nullptr);
    EXPECT_THROW(doc->RemoveTextChildren(nullptr), EInvalidOperation);
}

TEST_F(XMLBuildTest, DeleteNodeRemovesTheFirstMatchWithItsSubtree)
{
    from("<r><a><b>1</b></a><a><b>2</b></a></r>");
    doc->DeleteNode("a");
    EXPECT_EQ(tree(), R"(r{a{b="2"}})");
    doc->DeleteNode("missing");
    EXPECT_EQ(tree(), R"(r{a{b="2"}})");
}

TEST_F(XMLBuildTest, AttributesAreSetCreatedOrLeftAlone)
{
    from(R"(<r><e k="old"/></r>)");
    const std::string before = dumpDocument(*doc);
    doc->SetAttribute("r/missing", "k", false, "v");
    EXPECT_EQ(dumpDocument(*doc), before);

    doc->SetAttribute("r/e", "k", false, "new & <odd>");
    doc->SetAttribute("r/e", "j", false, "2");
    doc->SetAttribute("r/f", "k", true, "made");
    doc->SetNodeAttribute(doc->FindNode("r/e"), "xml:lang", "en");
    EXPECT_EQ(dumpDocument(*doc), "1 r\n"
                                  " 1 e @k=new & <odd> @j=2 @xml:lang=en\n"
                                  " 1 f @k=made\n");
    EXPECT_EQ(doc->GetAttributeNode(doc->FindNode("r/e"), "missing"), nullptr);
    EXPECT_THROW(doc->SetNodeAttribute(doc->FindNode("r/e"), "1bad", "v"), EInvalidXMLOp);

    doc->SaveAs(dir / "attributes.xml");
    tXMLDocument again(dir / "attributes.xml");
    EXPECT_EQ(dumpDocument(again), dumpDocument(*doc));
}

TEST_F(XMLBuildTest, TextsXmlCannotHoldAreMadeStorable)
{
    from("<r/>");
    // A control character and a lone windows-1252 byte (en dash).
    doc->SetNodeText("r/a", std::string("x\x01y\x96z"));
    EXPECT_EQ(doc->GetNodeText("r/a"), "x\xEF\xBF\xBDy\xE2\x80\x93z");
    doc->Save();
    tXMLDocument again(doc->FileName);
    EXPECT_EQ(again.GetNodeText("r/a"), "x\xEF\xBF\xBDy\xE2\x80\x93z");
}

} // namespace
