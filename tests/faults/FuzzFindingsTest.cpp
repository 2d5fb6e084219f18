// What the fuzz targets of fuzz/ found, kept as tests of the normal suite.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "XMLOps.h"

namespace {

using testutil::readFile;
using testutil::writeFile;

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

} // namespace
