#pragma once
// Reading an XML document for the views: its bytes made ready for the
// parser (the encoding they really have, a declaration moved to the front)
// and parsed without DTDs, external entities or the network, within the
// limits of what a metadata document may need.
#include <libxml/tree.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "xml/LibxmlMessages.h"
#include "xml/Pages.h"

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

struct XmlFree {
    void operator()(void* p) const { xmlFree(p); }
};
using XmlString = std::unique_ptr<xmlChar, XmlFree>;

inline const char* chars(const xmlChar* text)
{
    return text ? reinterpret_cast<const char*>(text) : "";
}

inline const xmlChar* asXml(const char* text)
{
    return reinterpret_cast<const xmlChar*>(text);
}

inline bool isXmlSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

// A document's bytes made ready for the parser.
struct PreparedXml {
    std::string bytes;
    // The XML declaration as written in the file ("" when it has none).
    std::string declaration;
    // The encoding to force, "" to let the parser follow the document.
    std::string encoding;
};

// The scratch document of the Metadata page is the stylesheet instruction on
// line 1 followed by the metadata file line by line, so the file's own XML
// declaration (and byte-order mark) land on line 2, where the parser rejects
// them. Both are moved to the front; line numbers stay as they were.
//
// A UTF-16 document (with a byte-order mark, or starting "<?" in UTF-16) is
// turned into UTF-8 first, so that the same moves apply to it; the parser is
// then told that the bytes are UTF-8, whatever the declaration says.
PreparedXml prepareXml(std::string bytes);

// Parses prepared bytes; null when they are no well-formed document. `url`
// names it in messages and as its base.
DocPtr parseXml(const PreparedXml& prepared, const std::string& url, int options);

// Source documents keep CDATA sections (the raw view shows them; XSLT
// treats them as text) and their white space.
constexpr int kSourceOptions = 0;

// Documents above this size are not shown: parsing and rendering need
// about twenty times their size in memory, and a page would hold several
// times their size of HTML. Metadata documents, thumbnails included, stay
// far below it.
constexpr std::size_t kMaxShownDocument = 16 * 1024 * 1024;

// Why a file of `size` bytes is not shown: "The file holds 100.0 MB;
// documents of up to 16.0 MB are shown."
std::string tooLargeToShow(std::uint64_t size);

// Parses the file `path`, known as `name` in messages and as its base URL;
// on failure `problem` tells why. Documents too large to be shown, and
// documents whose entity references stand for more text than any metadata
// document needs, are refused. `onRead`, when set, is called once the
// file's bytes have been read (or found too large), before the parsing.
DocPtr readXmlFile(const std::string& path, int options, PreparedXml& prepared, LibxmlMessages& messages,
                   Problem& problem, const std::string& name, const std::function<void()>& onRead = {});
