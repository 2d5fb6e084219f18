// Matching many element paths in one pass gives what XPath gives path by
// path, and leaves to XPath what it cannot answer.
#include <gtest/gtest.h>

#include "xml/ElementPaths.h"
#include "XMLTestSupport.h"

namespace {

// Names met at several depths, nested elements of one name, elements in a
// default and in a prefixed namespace, an entity whose text holds an
// element, comments and processing instructions between elements.
const char* const kDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE r [<!ENTITY ent "in<b>side</b>">]>
<?pi before?>
<r>
  <a><b>1</b><b>2</b></a>
  <x><a><b>3</b></a><!-- note --><a><c><b>4</b></c></a></x>
  <b>5<b>6</b></b>
  <n xmlns="urn:default"><b>7</b><a><b>8</b></a></n>
  <p:a xmlns:p="urn:p"><b>9</b></p:a>
  <e>x&ent;y</e>
  <?pi between?>
  <r><a><b>10</b></a></r>
</r>)";

// Every path of the table is matched in one set, as the indexer does; the
// first 15 are names and "*" only.
const std::vector<std::string> kPaths = {
    "a/b", "b", "r", "r/a/b", "x/a/b", "*/b", "a/*/b", "*", "b/b", "nothing/b", "a/nothing",
    "r/r/a/b", "n/b", "c/b", "e/b",
    // More than names and "*": XPath's
    "@x", "a[1]/b", "p:a/b", "a//b", "a/b/", "a/text()", "", "élan/b", "a /b",
};

std::vector<std::string> texts(const tXMLNodeList& nodes)
{
    std::vector<std::string> out;
    for (const auto* node : nodes)
        out.push_back(tXMLDocument::NodeText(node));
    return out;
}

TEST(ElementPathSetTest, OnePassFindsWhatXPathFindsForEveryPlainPath)
{
    TempDir dir;
    auto doc = documentFrom(dir, kDocument);
    const ElementPathSet set(kPaths);
    ASSERT_EQ(set.size(), kPaths.size());
    const std::vector<tXMLNodeList> matched = set.match(*doc);
    ASSERT_EQ(matched.size(), kPaths.size());
    for (size_t i = 0; i < kPaths.size(); ++i) {
        SCOPED_TRACE("path \"" + kPaths[i] + "\"");
        if (!set.handles(i)) {
            EXPECT_TRUE(matched[i].empty());
            continue;
        }
        // The same nodes, in the same (document) order.
        EXPECT_EQ(matched[i], doc->FindNodes(kPaths[i]));
    }

    // A few spelled out, so that a shared mistake of both would show.
    EXPECT_EQ(texts(matched[0]), (std::vector<std::string>{"1", "2", "3", "10"}));
    EXPECT_EQ(texts(matched[1]), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "9", "10"}))
        << "nested elements of one name both match; those in the default namespace do not, the child of a "
           "prefixed element does";
    EXPECT_EQ(matched[2].size(), 2u) << "the root element itself, and the r inside it";
    EXPECT_EQ(texts(matched[6]), (std::vector<std::string>{"4"}));
    EXPECT_EQ(texts(matched[8]), (std::vector<std::string>{"6"}));
    EXPECT_TRUE(matched[14].empty()) << "the element an entity brings in is not entered";
}

TEST(ElementPathSetTest, PathsThatAreMoreThanNamesAreLeftToXPath)
{
    const ElementPathSet set(kPaths);
    for (size_t i = 0; i < kPaths.size(); ++i) {
        SCOPED_TRACE("path \"" + kPaths[i] + "\"");
        EXPECT_EQ(set.handles(i), i < 15);
    }
}

TEST(ElementPathSetTest, DocumentsBuiltInMemoryMatchToo)
{
    // Built, not parsed: the names then live in no dictionary.
    tXMLDocument doc;
    doc.CreateRoot("metadata");
    doc.AddNodeWithText("metadata/idinfo/citation/citeinfo/title", "Roads");
    doc.AddNodeWithText("metadata/idinfo/citation/citeinfo/title", "Rivers");
    doc.AddNodeWithText("metadata/dataIdInfo/idCitation/resTitle", "Lakes");
    const std::vector<std::string> paths = {"citeinfo/title", "idCitation/resTitle", "metadata/*/title"};
    const ElementPathSet set(paths);
    const auto matched = set.match(doc);
    EXPECT_EQ(texts(matched[0]), (std::vector<std::string>{"Roads", "Rivers"}));
    EXPECT_EQ(texts(matched[1]), (std::vector<std::string>{"Lakes"}));
    EXPECT_TRUE(matched[2].empty());
    for (size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(matched[i], doc.FindNodes(paths[i])) << paths[i];
}

} // namespace
