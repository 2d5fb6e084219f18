// Loading and saving tXMLDocument files: declarations, encodings, DTDs that
// must not be fetched, safe replacement, and the sample-document command.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <libxml/parser.h>

#include <filesystem>

#include "Samples.h"
#include "XMLTestSupport.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

using testutil::entries;

std::string describeTopLevel(const tXMLDocument& doc)
{
    std::string out;
    for (const xmlNode* node = doc.DOMDocument()->children; node; node = node->next)
        out += (out.empty() ? "" : "\n") + describe(node);
    return out;
}

TEST(XMLSampleDocumentTest, WriteTestXMLBuildsTheSampleTree)
{
    TempDir dir;
    {
        testutil::ChangeDir into(dir.path());
        WriteTestXML();  // the bare name: into the current directory
    }

    EXPECT_THAT(readFile(dir / "TestXML.xml"), StartsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"));
    tXMLDocument doc(dir / "TestXML.xml");
    const xmlNode* first = doc.DOMDocument()->children;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->type, XML_COMMENT_NODE);
    EXPECT_STREQ(reinterpret_cast<const char*>(first->content), EsriMetadataDocType.c_str());
    EXPECT_EQ(describeTopLevel(doc),
              "<!--" + EsriMetadataDocType + "-->\n"
              "root{"
              "level1{text1 text2 text3=\"This is new text3\" Level2{text4} text1 text3=\"This is text3\"} "
              "newlevel1{newlevel2{text5=\"This is text5ter\" text5=\"This is text5bis\"} "
              "yetanotherlevel{text6=\"This is text6\"}} "
              "test=\"text1\" test=\"newtext2\" test=\"text3\" test=\"newtext4\" "
              "test2=\"newtext1\" "
              "test3 test3 test3=\"newtext1\"}");
}

TEST(XMLPrologTest, DeclarationAndCommentComeBeforeTheRoot)
{
    TempDir dir;
    struct Case {
        const char* version;
        const char* encoding;
        const char* docType;
        const char* head;
    } const cases[] = {
        {"\"1.0\"", "\"UTF-8\"", "<!DOCTYPE x>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--<!DOCTYPE x>-->\n<r"},
        {"'1.0'", "'ISO-8859-1'", "", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r"},
        {"1.0", "", "", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r"},  // UTF-8 made explicit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.head);
        tXMLDocument doc;
        doc.Version = c.version;
        doc.Encoding = c.encoding;
        doc.DocType = c.docType;
        doc.WriteProlog();
        doc.CreateRoot("r");
        doc.SetNodeText("r/t", "caf\xC3\xA9");
        doc.SaveAs(dir / "prolog.xml");
        EXPECT_THAT(readFile(dir / "prolog.xml"), StartsWith(c.head));
        EXPECT_EQ(tXMLDocument(dir / "prolog.xml").GetNodeText("t"), "caf\xC3\xA9");
    }

    tXMLDocument bare;
    bare.CreateRoot("plain");
    bare.SaveAs(dir / "bare.xml");
    EXPECT_THAT(readFile(dir / "bare.xml"), StartsWith("<plain"));

    tXMLDocument bad;
    bad.Encoding = "\"no-such-encoding\"";
    EXPECT_THROW(bad.WriteProlog(), EInvalidXMLOp);
    bad.Encoding = "\"UTF-8\"";
    bad.DocType = "a -- b";
    EXPECT_THROW(bad.WriteProlog(), EInvalidXMLOp);
}

TEST(XMLRoundTripTest, SampleMetadataSurvivesSaveAndReload)
{
    ATLASDESK_REQUIRE_SAMPLES("flathers_fgdc.xml");
    TempDir dir;
    const std::string sample = ATLASDESK_SAMPLES_DIR "/flathers_fgdc.xml";
    tXMLDocument original(sample);
    EXPECT_THAT(original.GetNodeText("idinfo/citation/citeinfo/title"),
                StartsWith("Downscaled Climate Model Output for the Contiguous United States"));
    const std::string thumbnail = original.GetNodeText("Binary/Thumbnail/Data");
    EXPECT_GT(thumbnail.size(), 10000u);

    original.SaveAs(dir / "copy.xml");
    EXPECT_EQ(original.FileName, dir / "copy.xml");
    EXPECT_THAT(readFile(dir / "copy.xml"), StartsWith("<metadata"));  // had no declaration
    tXMLDocument copy(dir / "copy.xml");
    EXPECT_EQ(dumpDocument(copy), dumpDocument(original));
    EXPECT_EQ(copy.GetNodeText("Binary/Thumbnail/Data"), thumbnail);
}

// The same on a document of ours shaped like it: no declaration, a long
// Base64 thumbnail over many lines, an attribute on the root.
TEST(XMLRoundTripTest, OwnMetadataSurvivesSaveAndReload)
{
    TempDir dir;
    std::string thumbnail;
    for (int line = 0; line < 300; ++line)
        thumbnail += std::string(76, static_cast<char>('A' + line % 26)) + "\n";
    writeFile(dir / "own.xml", "<metadata xml:lang=\"en\"><idinfo><citation><citeinfo><title>Gew\xC3\xA4sser 1:25000"
                               "</title></citeinfo></citation></idinfo><Binary><Thumbnail><Data EsriPropertyType="
                               "\"Picture\">" + thumbnail + "</Data></Thumbnail></Binary></metadata>\n");
    tXMLDocument original(dir / "own.xml");
    EXPECT_EQ(original.GetNodeText("idinfo/citation/citeinfo/title"), "Gew\xC3\xA4sser 1:25000");

    original.SaveAs(dir / "copy.xml");
    EXPECT_THAT(readFile(dir / "copy.xml"), StartsWith("<metadata"));  // had no declaration
    tXMLDocument copy(dir / "copy.xml");
    EXPECT_EQ(dumpDocument(copy), dumpDocument(original));
    EXPECT_EQ(copy.GetNodeText("Binary/Thumbnail/Data"), thumbnail);
}

int g_entityLoads = 0;
xmlParserInputPtr countingLoader(const char*, const char*, xmlParserCtxtPtr)
{
    ++g_entityLoads;
    return nullptr;
}

TEST(XMLDocTypeTest, WebDtdIsNeverFetched)
{
    TempDir dir;
    writeFile(dir / "web.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<!DOCTYPE metadata SYSTEM \"http://10.255.255.1/esriprof80.dtd\">\n"
                                "<metadata><a>x&fromdtd;y</a></metadata>\n");
    const xmlExternalEntityLoader previous = xmlGetExternalEntityLoader();
    xmlSetExternalEntityLoader(countingLoader);
    g_entityLoads = 0;
    std::unique_ptr<tXMLDocument> doc;
    EXPECT_NO_THROW(doc = std::make_unique<tXMLDocument>(dir / "web.xml"));
    xmlSetExternalEntityLoader(previous);
    ASSERT_NE(doc, nullptr);

    EXPECT_EQ(g_entityLoads, 0);
    EXPECT_EQ(doc->DOMDocument()->extSubset, nullptr);
    EXPECT_THAT(doc->GetNodeTexts("metadata/a"), ElementsAre("x", "y"));
    doc->Save();
    EXPECT_THAT(readFile(dir / "web.xml"), HasSubstr("esriprof80.dtd"));
}

// ---- Saving safely ----------------------------------------------------------------

class XMLSaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(dir / "doc.xml", "<r><t>old</t></r>");
        doc = std::make_unique<tXMLDocument>(dir / "doc.xml");
        doc->SetNodeText("r/t", "new");
    }
    void expectSaveFails(const std::string& target, const std::string& reason)
    {
        try {
            doc->SaveAs(target);
            ADD_FAILURE() << "saved " << target;
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.what(), "Cannot save " + target + ": " + reason);
        }
    }
    TempDir dir;
    std::unique_ptr<tXMLDocument> doc;
};

TEST_F(XMLSaveTest, FailedSaveLeavesEverythingAsItWas)
{
    writeFile(dir / "plain.txt", "keep");
    std::filesystem::create_directory(dir / "folder.xml");
    writeFile(dir / "folder.xml/inside.txt", "inside");

    expectSaveFails(dir / "plain.txt/doc.xml", "Not a directory");
    expectSaveFails(dir / "folder.xml", "Is a directory");
    expectSaveFails(dir / "no/such/dir/doc.xml", "No such file or directory");
    ASSERT_EQ(::mkfifo((dir / "pipe.xml").c_str(), 0600), 0);
    expectSaveFails(dir / "pipe.xml", "not a regular file");
    EXPECT_THROW(tXMLDocument{dir / "pipe.xml"}, EInOutError);

    // No temporary file left behind.
    EXPECT_EQ(entries(dir.path()),
              (std::vector<std::string>{"doc.xml", "folder.xml", "pipe.xml", "plain.txt"}));
    EXPECT_EQ(readFile(dir / "plain.txt"), "keep");
    EXPECT_EQ(readFile(dir / "folder.xml/inside.txt"), "inside");
    EXPECT_EQ(readFile(dir / "doc.xml"), "<r><t>old</t></r>");

    tXMLDocument unnamed;
    EXPECT_THROW(unnamed.Save(), EInOutError);
}

TEST_F(XMLSaveTest, DocumentThatCannotBeEncodedLeavesTheFileWhole)
{
    writeFile(dir / "latin.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><t>old</t></r>");
    tXMLDocument latin(dir / "latin.xml");
    // Bytes that are not UTF-8, put in behind the document's back: the
    // conversion to ISO-8859-1 fails while the file is being written.
    xmlNodeSetContent(latin.FindNode("t")->children, reinterpret_cast<const xmlChar*>("bad \xFF\xFE bytes"));
    EXPECT_THROW(latin.Save(), EInOutError);
    EXPECT_EQ(readFile(dir / "latin.xml"), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><t>old</t></r>");
}

TEST_F(XMLSaveTest, ReplacedFileKeepsItsPermissions)
{
    ASSERT_EQ(::chmod((dir / "doc.xml").c_str(), 0640), 0);
    doc->Save();
    EXPECT_EQ(permissions(dir / "doc.xml"), 0640u);
    EXPECT_EQ(tXMLDocument(dir / "doc.xml").GetNodeText("t"), "new");
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"doc.xml"});

    const mode_t old = ::umask(027);
    doc->SaveAs(dir / "fresh.xml");
    ::umask(old);
    EXPECT_EQ(permissions(dir / "fresh.xml"), 0640u);
}

TEST_F(XMLSaveTest, SymbolicLinkIsWrittenThrough)
{
    std::filesystem::create_directory(dir / "real");
    std::filesystem::rename(dir / "doc.xml", dir / "real/doc.xml");
    std::filesystem::create_symlink("real/doc.xml", dir / "link.xml");
    tXMLDocument linked(dir / "link.xml");
    linked.SetNodeText("r/t", "through");
    linked.Save();
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.xml"));
    EXPECT_EQ(tXMLDocument(dir / "real/doc.xml").GetNodeText("t"), "through");
    EXPECT_EQ(entries(dir / "real"), std::vector<std::string>{"doc.xml"});
}

TEST_F(XMLSaveTest, NamesThatAreNotUtf8AreSavedByTheirBytes)
{
    // Windows-1252 names of an old server: a folder, a new file in it, and
    // the same file saved again over itself.
    const std::string folder = dir / "r\xe9seau";
    std::filesystem::create_directory(folder);
    const std::string name = folder + "/caf\xe9.shp.xml";
    doc->SaveAs(name);
    EXPECT_EQ(tXMLDocument(name).GetNodeText("t"), "new");
    ASSERT_EQ(::chmod(name.c_str(), 0640), 0);
    tXMLDocument again(name);
    again.SetNodeText("r/t", "newer");
    again.Save();
    EXPECT_EQ(tXMLDocument(name).GetNodeText("t"), "newer");
    EXPECT_EQ(permissions(name), 0640u);
    EXPECT_EQ(entries(folder), std::vector<std::string>{"caf\xe9.shp.xml"}) << "no stand-in left behind";
    expectSaveFails(folder + "/missing\xe9/doc.xml", "No such file or directory");
}

// ---- Encodings ----------------------------------------------------------------------

TEST(XMLEncodingTest, EffectiveEncodingOverridesOnlyLyingLatin1Declarations)
{
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        const char* name;
        std::string bytes;
        const char* encoding;
    } const cases[] = {
        {"empty", "", ""},
        {"no declaration", "<r>\xC3\xA9</r>", ""},
        {"encoding only in content", "<r enc=\"x\" encoding=\"latin1\">\xC3\xA9</r>", ""},
        {"utf-8 declared", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xC3\xA9</r>", ""},
        {"utf-8 declared, other bytes", "<?xml version=\"1.0\" encoding=\"utf-8\"?><r>\xE9</r>", ""},
        {"latin1, ascii only", latin1 + "<r>e</r>", ""},
        {"latin1, utf-8 bytes", latin1 + "<r>Rep\xC3\xBA" "blica</r>", "UTF-8"},
        {"latin1 spelled otherwise", "<?xml version='1.0' encoding = 'latin1' ?><r>\xC3\xBA</r>", "UTF-8"},
        {"latin1, 0x96", latin1 + "<r>a\x96" "b</r>", "windows-1252"},
        {"latin1, 0x81 undefined in windows-1252", latin1 + "<r>a\x81" "b</r>", ""},
        {"latin1, honest", latin1 + "<r>\xE9</r>", ""},
        {"windows-1252, utf-8 bytes", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xC3\xA9</r>", "UTF-8"},
        {"windows-1252, honest", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\x96</r>", ""},
        {"other code page", "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?><r>\xC3\xA9</r>", ""},
        {"bom, latin1 declared", bom + latin1 + "<r>\xC3\xA9</r>", "UTF-8"},
        {"bom, utf-8 declared", bom + "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r/>", ""},
        {"bom, no declaration", bom + "<r>\xC3\xA9</r>", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EffectiveXmlEncoding(c.bytes), c.encoding);
    }
}

TEST(XMLEncodingTest, FilesReadAsTheyAreAndSaveInTheDeclaredEncoding)
{
    TempDir dir;
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
    const std::string bom = "\xEF\xBB\xBF";
    struct Case {
        const char* name;
        std::string bytes;
        const char* text;         // UTF-8
        const char* savedHead;    // start of the saved file
        const char* savedBytes;   // how the text is written
    } const cases[] = {
        {"latin1 declared, utf-8 bytes", latin1 + "<r><t>Rep\xC3\xBA" "blica</t></r>", "Rep\xC3\xBA" "blica",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "<t>Rep\xFA" "blica</t>"},
        {"latin1 declared, windows-1252 dash", latin1 + "<r><t>a\x96" "b</t></r>", "a\xE2\x80\x93" "b",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "<t>a&#8211;b</t>"},
        {"honest latin1", latin1 + "<r><t>\xE9t\xE9</t></r>", "\xC3\xA9t\xC3\xA9",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "<t>\xE9t\xE9</t>"},
        {"utf-8 with bom", bom + "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><t>\xC3\xA9</t></r>", "\xC3\xA9",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<t>\xC3\xA9</t>"},
        {"bom, latin1 declared", bom + latin1 + "<r><t>\xC3\xA9</t></r>", "\xC3\xA9",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "<t>\xE9</t>"},
        {"no declaration", "<r><t>\xC3\xA9</t></r>", "\xC3\xA9", "<r>", "<t>\xC3\xA9</t>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir / "enc.xml", c.bytes);
        tXMLDocument doc(dir / "enc.xml");
        EXPECT_EQ(doc.GetNodeText("r/t"), c.text);
        doc.Save();
        const std::string saved = readFile(dir / "enc.xml");
        EXPECT_THAT(saved, StartsWith(c.savedHead));
        EXPECT_THAT(saved, HasSubstr(c.savedBytes));
        EXPECT_EQ(tXMLDocument(dir / "enc.xml").GetNodeText("r/t"), c.text);
    }
}

} // namespace
