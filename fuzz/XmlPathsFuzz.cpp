// The path operations of tXMLDocument on arbitrary documents and paths.
//
// Input: a document, optionally followed by a NUL byte and a script of
// operations, each an operation byte, a path, NUL, a text, NUL. Without a
// script a fixed one runs over the paths of the metadata profile, so plain
// XML files make good seeds.
//
// Beyond "no crash, no leak", two promises are checked: whatever Save wrote
// loads again, and after one reload saving gives the same bytes every time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/Errors.h"
#include "FuzzSupport.h"
#include "xml/XMLOps.h"

namespace {

struct Operation {
    uint8_t code;
    std::string path;
    std::string text;
};

const char* const kDefaultPaths[] = {
    "metadata/idinfo/citation/citeinfo/title",
    "idinfo/citation/citeinfo/origin",
    "idinfo/descript/abstract",
    "Binary/Thumbnail/Data",
    "metadata/metainfo/atlasdesk/ignore",
    "MetadataDOM/ProdName/XML_Path",
    "*/filetypes/vector/ext",
    "*",
    "a/b/",
};

// No more operations than this per input, so every run stays short.
constexpr std::size_t kMaxOperations = 48;

std::vector<Operation> parseScript(std::string_view script)
{
    std::vector<Operation> operations;
    const auto field = [&](std::string& out) {
        const std::size_t end = script.find('\0');
        out = std::string(script.substr(0, end));
        script.remove_prefix(end == std::string_view::npos ? script.size() : end + 1);
    };
    while (!script.empty() && operations.size() < kMaxOperations) {
        Operation op;
        op.code = static_cast<uint8_t>(script.front());
        script.remove_prefix(1);
        field(op.path);
        field(op.text);
        operations.push_back(std::move(op));
    }
    return operations;
}

std::vector<Operation> defaultScript()
{
    std::vector<Operation> operations;
    uint8_t code = 0;
    for (const char* path : kDefaultPaths)
        for (int i = 0; i < 4; ++i)
            operations.push_back({code++, path, "Text & <text> \xC3\xA9 \xE9 \x01"});
    return operations;
}

void run(tXMLDocument& doc, const Operation& op)
{
    const std::string& path = op.path;
    const std::string& text = op.text;
    switch (op.code % 12) {
    case 0: (void)doc.FindNode(path); break;
    case 1: (void)doc.GetNodeText(path); break;
    case 2: (void)doc.GetNodeTextAt(path, static_cast<unsigned>(text.size() % 4)); break;
    case 3: (void)doc.SetNodeText(path, text); break;
    case 4: (void)doc.CreateNodePath(path, text.size() % 2 == 1); break;
    case 5: (void)doc.AddNodeWithText(path, text); break;
    case 6: doc.DeleteNode(path); break;
    case 7: (void)doc.SetNodeTextAt(path, text, static_cast<unsigned>(text.size() % 5)); break;
    case 8: doc.ClearNodeText(path, text.size() % 2 == 0); break;
    case 9: (void)doc.GetNodeTexts(path); break;
    case 10: doc.SetAttribute(path, text.empty() ? "a" : text, text.size() % 2 == 0, text); break;
    case 11: (void)tXMLDocument::CollectTexts(doc.FindNodes(path)); break;
    }
}

std::string readBack(const std::string& path)
{
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.append(buffer, n);
        std::fclose(file);
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view document = input.substr(0, split);
    const std::vector<Operation> script =
        split == std::string_view::npos ? defaultScript() : parseScript(input.substr(split + 1));

    const std::string& dir = fuzzsupport::scratchDir();
    const std::string source = dir + "doc.xml";
    const std::string saved = dir + "saved.xml";
    const std::string again = dir + "again.xml";
    fuzzsupport::writeFile(source, document);

    tXMLDocument doc;
    try {
        doc.FileName = source;
        doc.Load();
    } catch (const Exception&) {
        // Not a document: the operations still run, on a fresh one.
        try {
            doc.WriteProlog();
            doc.CreateRoot("metadata");
        } catch (const Exception&) {
            fuzzsupport::broken("a new document cannot be started");
        }
    }
    for (const Operation& op : script) {
        try {
            run(doc, op);
        } catch (const Exception&) {
            // Refused paths and texts are part of the contract.
        }
    }

    try {
        doc.SaveAs(saved);
    } catch (const Exception&) {
        return 0;  // e.g. an encoding that cannot be written: reported, nothing written
    }
    // The first reload may settle what only a document in memory can hold
    // (an empty text node reads back as no text node); from then on a save
    // gives the same bytes every time.
    const std::string first = readBack(saved);
    std::string second, third;
    try {
        tXMLDocument(saved).SaveAs(again);
        second = readBack(again);
        tXMLDocument(again).SaveAs(saved);
        third = readBack(saved);
    } catch (const Exception& e) {
        fuzzsupport::broken("a saved document does not load and save again",
                            first + "\n---\n" + second + "\n--- " + e.what());
    }
    fuzzsupport::check(second == third, "saving a reloaded document changes it", second + "\n---\n" + third);
    return 0;
}
