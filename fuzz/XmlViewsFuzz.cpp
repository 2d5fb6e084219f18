// The XML and Metadata views on arbitrary documents: the raw tree view, the
// document's own xml-stylesheet instruction, and the shipped stylesheets.
// Every result must be a page of UTF-8 HTML, and a failure must say why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "support/StringOps.h"
#include "xml/RawXmlView.h"
#include "xml/XslTransform.h"

namespace {

void checkPage(const RenderResult& result, const char* view)
{
    fuzzsupport::check(!result.html.empty(), view, "an empty page");
    fuzzsupport::check(IsValidUtf8(result.html), view, "a page that is not UTF-8");
    fuzzsupport::check(result.ok == result.error.empty(), view, "a failure without its reason, or the reverse");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string& dir = fuzzsupport::scratchDir();
    const std::string document = dir + "doc.xml";
    fuzzsupport::writeFile(document, std::string_view(reinterpret_cast<const char*>(data), size));
    checkPage(RenderRawXml(document), "RenderRawXml");
    checkPage(TransformFile(document), "TransformFile");
    for (const char* stylesheet : {"Atlasdesk Summary.xsl", "Atlasdesk Full.xsl"})
        checkPage(ApplyStylesheet(document, std::string(ATLASDESK_SOURCE_DIR "/data/") + stylesheet), stylesheet);
    return 0;
}
