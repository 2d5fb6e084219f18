#include "xml/XslTransform.h"

#include "support/FileOps.h"
#include "support/PathOps.h"
#include "support/StringOps.h"
#include "xml/XMLOps.h"

#include <libexslt/exslt.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>
#include <libxslt/documents.h>
#include <libxslt/extensions.h>
#include <libxslt/extra.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string_view>
#include <vector>

namespace {

const char* const kObsoleteMicrosoftXslNamespace = "http://www.w3.org/TR/WD-xsl";
const char* const kMicrosoftXsltNamespace = "urn:schemas-microsoft-com:xslt";
const char* const kUtf8Bom = "\xEF\xBB\xBF";

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

struct XmlFree {
    void operator()(void* p) const { xmlFree(p); }
};
using XmlString = std::unique_ptr<xmlChar, XmlFree>;

const char* chars(const xmlChar* text)
{
    return text ? reinterpret_cast<const char*>(text) : "";
}

const xmlChar* xml(const char* text)
{
    return reinterpret_cast<const xmlChar*>(text);
}

// ---- Small text and file helpers ----------------------------------------------

void appendEscaped(std::string& out, std::string_view text)
{
    for (const char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += ch;
        }
    }
}

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    appendEscaped(out, text);
    return out;
}

std::string lowerExtension(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return LowerAscii(path.substr(dot));
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string encodeBase64(std::string_view bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16)
                           | (static_cast<unsigned char>(bytes[i + 1]) << 8)
                           | static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// The Base64 text without its line breaks and indentation, or "" when it is
// not well-formed Base64 (a character outside the alphabet, padding inside,
// a length that is no multiple of four).
std::string cleanBase64(std::string_view text)
{
    static const auto table = [] {
        std::array<signed char, 256> t{};
        t.fill(-1);
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            t[static_cast<unsigned char>(alphabet[i])] = 1;
        for (const char ch : {' ', '\t', '\r', '\n'})
            t[static_cast<unsigned char>(ch)] = 0;
        t[static_cast<unsigned char>('=')] = 2;
        return t;
    }();
    std::string out;
    out.reserve(text.size());
    std::size_t padding = 0;
    for (const char ch : text) {
        const signed char kind = table[static_cast<unsigned char>(ch)];
        if (kind == 0)
            continue;
        if (kind < 0 || (kind == 1 && padding > 0))
            return {};
        padding += kind == 2;
        out += ch;
    }
    if (out.size() % 4 != 0 || padding > 2)
        return {};
    return out;
}

// The picture types a browser shows, told by their first bytes; "" for others.
std::string pictureMimeType(std::string_view bytes)
{
    if (bytes.substr(0, 2) == "BM")
        return "image/bmp";
    if (bytes.substr(0, 2) == "\xFF\xD8")
        return "image/jpeg";
    if (bytes.substr(0, 8) == "\x89PNG\r\n\x1A\n")
        return "image/png";
    if (bytes.substr(0, 6) == "GIF87a" || bytes.substr(0, 6) == "GIF89a")
        return "image/gif";
    return {};
}

// ---- Messages of libxml2 and libxslt -------------------------------------------

// Both libraries report through handlers that would print to stderr. While
// one of our calls runs, everything they say is collected here so that it can
// be shown on the error page. libxml2 keeps its handlers per thread, but
// libxslt's are process-wide: one collector at a time, the others wait.
std::mutex& collectorMutex()
{
    static std::mutex mutex;
    return mutex;
}

class ProcessorMessages {
public:
    ProcessorMessages()
        : m_onlyCollector(collectorMutex()),
          m_oldStructured(xmlStructuredError),
          m_oldStructuredContext(xmlStructuredErrorContext),
          m_oldGeneric(xmlGenericError),
          m_oldGenericContext(xmlGenericErrorContext),
          m_oldXslt(xsltGenericError),
          m_oldXsltContext(xsltGenericErrorContext)
    {
        xmlSetStructuredErrorFunc(this, &ProcessorMessages::onStructured);
        xmlSetGenericErrorFunc(this, &ProcessorMessages::onGeneric);
        xsltSetGenericErrorFunc(this, &ProcessorMessages::onGeneric);
    }
    ~ProcessorMessages()
    {
        xmlSetStructuredErrorFunc(m_oldStructuredContext, m_oldStructured);
        xmlSetGenericErrorFunc(m_oldGenericContext, m_oldGeneric);
        xsltSetGenericErrorFunc(m_oldXsltContext, m_oldXslt);
    }
    ProcessorMessages(const ProcessorMessages&) = delete;
    ProcessorMessages& operator=(const ProcessorMessages&) = delete;

    // printf-style sink, also for a transform context's error function.
    static void onGeneric(void* self, const char* format, ...)
    {
        va_list args;
        va_start(args, format);
        char buffer[2048];
        const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        if (n > 0)
            static_cast<ProcessorMessages*>(self)->m_text.append(
                buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
    }

    void add(const std::string& line)
    {
        if (!m_text.empty() && m_text.back() != '\n')
            m_text += '\n';
        m_text += line;
        m_text += '\n';
    }

    // Everything said so far, one message a line, without blank lines.
    std::string text() const
    {
        std::string out;
        std::istringstream lines(m_text);
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (Trim(line).empty())
                continue;
            out += line;
            out += '\n';
        }
        return out;
    }

private:
    static void onStructured(void* self, xmlErrorPtr error)
    {
        if (!error || error->level == XML_ERR_NONE)
            return;
        std::string line;
        if (error->file && *error->file) {
            line += error->file;
            line += ':';
            if (error->line > 0)
                line += std::to_string(error->line) + ':';
            line += ' ';
        } else if (error->line > 0) {
            line += "line " + std::to_string(error->line) + ": ";
        }
        if (error->level == XML_ERR_WARNING)
            line += "warning: ";
        line += Trim(error->message ? error->message : "unknown error");
        // XPath errors name the expression in str1.
        if (error->domain == XML_FROM_XPATH && error->str1 && *error->str1)
            line += std::string(" (expression: ") + error->str1 + ")";
        static_cast<ProcessorMessages*>(self)->add(line);
    }

    std::lock_guard<std::mutex> m_onlyCollector; // taken first, released last
    xmlStructuredErrorFunc m_oldStructured;
    void* m_oldStructuredContext;
    xmlGenericErrorFunc m_oldGeneric;
    void* m_oldGenericContext;
    xmlGenericErrorFunc m_oldXslt;
    void* m_oldXsltContext;
    std::string m_text;
};

// ---- Pages ----------------------------------------------------------------------

// Shared look of the pages made here: system fonts, light and dark.
const char* const kPageStyle = R"CSS(
:root{color-scheme:light dark;--bg:#ffffff;--fg:#1f2328;--muted:#59636e;--line:#d1d9e0;
--panel:#f6f8fa;--accent:#0969da;--bad:#cf222e;--badbg:#ffebe9;--tag:#116329;--attr:#953800;
--val:#0a3069;--com:#6e7781;--pi:#8250df}
@media (prefers-color-scheme:dark){:root{--bg:#0d1117;--fg:#e6edf3;--muted:#9198a1;--line:#30363d;
--panel:#151b23;--accent:#4493f8;--bad:#ff7b72;--badbg:#2d1214;--tag:#7ee787;--attr:#ffa657;
--val:#a5d6ff;--com:#8b949e;--pi:#d2a8ff}}
html{background:var(--bg);color:var(--fg)}
body{margin:0;padding:20px 24px;font:14px/1.5 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans",
"Helvetica Neue",Arial,sans-serif}
code,pre,.xml{font-family:ui-monospace,SFMono-Regular,"SF Mono",Menlo,Consolas,"Liberation Mono",monospace}
h1{font-size:20px;margin:0 0 12px}
h2{font-size:15px;margin:20px 0 8px}
.problem{border:1px solid var(--bad);background:var(--badbg);border-radius:8px;padding:12px 16px}
.problem p{margin:6px 0}
.where{color:var(--muted)}
.where code{color:var(--fg);word-break:break-all}
pre{background:var(--panel);border:1px solid var(--line);border-radius:6px;padding:10px 12px;
white-space:pre-wrap;overflow-wrap:anywhere;font-size:12.5px;margin:0}
)CSS";

std::string pageStart(const std::string& title, const char* extraStyle = "")
{
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>";
    appendEscaped(page, title);
    page += "</title>\n<style>";
    page += kPageStyle;
    page += extraStyle;
    page += "</style></head>\n<body>\n";
    return page;
}

struct Problem {
    std::string title;       // the page's heading
    std::string explanation; // one or two sentences
    std::string stylesheet;  // path of the stylesheet concerned, if any
    std::string document;    // path of the document concerned, if any
    std::string messages;    // the processor's own words, if any
    std::string source;      // text quoted below the messages, if any
};

std::string quotable(std::string_view bytes);

RenderResult failure(const Problem& problem)
{
    // The processor's messages quote pieces of the document, which need not
    // be UTF-8 (that may be why it failed); the page must be.
    const std::string messages = quotable(problem.messages);
    RenderResult result;
    result.ok = false;
    result.error = problem.explanation;
    if (!problem.stylesheet.empty())
        result.error += "\nStylesheet: " + problem.stylesheet;
    if (!problem.document.empty())
        result.error += "\nDocument: " + problem.document;
    if (!messages.empty())
        result.error += "\n" + messages;

    std::string& page = result.html;
    page = pageStart(problem.title);
    page += "<div class=\"problem\">\n<h1>";
    appendEscaped(page, problem.title);
    page += "</h1>\n<p>";
    appendEscaped(page, problem.explanation);
    page += "</p>\n";
    if (!problem.stylesheet.empty()) {
        page += "<p class=\"where\">Stylesheet: <code>";
        appendEscaped(page, DecodeFileNameUtf8(problem.stylesheet));
        page += "</code></p>\n";
    }
    if (!problem.document.empty()) {
        page += "<p class=\"where\">Document: <code>";
        appendEscaped(page, DecodeFileNameUtf8(problem.document));
        page += "</code></p>\n";
    }
    page += "</div>\n";
    if (!messages.empty()) {
        page += "<h2>Messages of the XML and XSLT processor</h2>\n<pre>";
        appendEscaped(page, messages);
        page += "</pre>\n";
    }
    if (!problem.source.empty()) {
        page += "<h2>Text of the document</h2>\n<pre>";
        appendEscaped(page, problem.source);
        page += "</pre>\n";
    }
    page += "</body></html>\n";
    return result;
}

// ---- Reading XML documents ------------------------------------------------------

// A document's bytes made ready for the parser.
struct PreparedXml {
    std::string bytes;
    // The XML declaration as written in the file ("" when it has none).
    std::string declaration;
    // The encoding to force, "" to let the parser follow the document.
    std::string encoding;
};

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix)
{
    return text.size() >= at + prefix.size() && text.compare(at, prefix.size(), prefix) == 0;
}

bool isXmlSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

// End of a DOCTYPE that starts at `at` (one past its ">"), npos if unterminated.
std::size_t doctypeEnd(std::string_view text, std::size_t at)
{
    char quote = 0;
    int depth = 0;
    for (std::size_t i = at + 2; i < text.size(); ++i) {
        const char ch = text[i];
        if (quote) {
            if (ch == quote)
                quote = 0;
        } else if (ch == '"' || ch == '\'') {
            quote = ch;
        } else if (ch == '[') {
            ++depth;
        } else if (ch == ']') {
            --depth;
        } else if (ch == '>' && depth <= 0) {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// When `bytes` are UTF-16 (a byte-order mark, or "<?" in UTF-16 without
// one), replaces them by their UTF-8 text without the mark and says so.
bool toUtf8FromUtf16(std::string& bytes)
{
    const std::string_view text(bytes);
    const bool littleEndian = startsWith(text, 0, "\xFF\xFE") || startsWith(text, 0, std::string_view("<\0?\0", 4));
    const bool bigEndian = startsWith(text, 0, "\xFE\xFF") || startsWith(text, 0, std::string_view("\0<\0?", 4));
    if (!littleEndian && !bigEndian)
        return false;
    const std::size_t mark = text[0] == '<' || text[0] == '\0' ? 0 : 2;
    QStringDecoder decoder(littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
    const QString decoded = decoder(QByteArrayView(bytes.data() + mark, static_cast<qsizetype>(bytes.size() - mark)));
    const QByteArray utf8 = decoded.toUtf8();
    bytes.assign(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    return true;
}

// The scratch document of the Metadata page is the stylesheet instruction on
// line 1 followed by the metadata file line by line, so the file's own XML
// declaration (and byte-order mark) land on line 2, where the parser rejects
// them. Both are moved to the front; line numbers stay as they were.
//
// A UTF-16 document (with a byte-order mark, or starting "<?" in UTF-16) is
// turned into UTF-8 first, so that the same moves apply to it; the parser is
// then told that the bytes are UTF-8, whatever the declaration says.
PreparedXml prepareXml(std::string bytes)
{
    PreparedXml prepared;
    const bool utf16 = toUtf8FromUtf16(bytes);
    const std::string_view text(bytes);
    std::size_t pos = startsWith(text, 0, kUtf8Bom) ? 3 : 0;
    const bool bomAtStart = pos == 3;

    std::size_t declarationAt = std::string::npos, declarationEnd = 0, bomAt = std::string::npos;
    while (pos < text.size()) {
        if (isXmlSpace(text[pos])) {
            ++pos;
        } else if (startsWith(text, pos, kUtf8Bom)) {
            if (bomAt != std::string::npos)
                break;
            bomAt = pos;
            pos += 3;
        } else if (startsWith(text, pos, "<?xml") && pos + 5 < text.size()
                   && (isXmlSpace(text[pos + 5]) || text[pos + 5] == '?')) {
            const std::size_t end = text.find("?>", pos);
            if (end == std::string::npos)
                break;
            if (pos == (bomAtStart ? 3u : 0u)) {
                prepared.declaration = std::string(text.substr(pos, end + 2 - pos));
            } else if (declarationAt == std::string::npos && prepared.declaration.empty()) {
                declarationAt = pos;
                declarationEnd = end + 2;
            }
            pos = end + 2;
        } else if (startsWith(text, pos, "<?")) {
            const std::size_t end = text.find("?>", pos);
            if (end == std::string::npos)
                break;
            pos = end + 2;
        } else if (startsWith(text, pos, "<!--")) {
            const std::size_t end = text.find("-->", pos + 4);
            if (end == std::string::npos)
                break;
            pos = end + 3;
        } else if (startsWith(text, pos, "<!DOCTYPE")) {
            const std::size_t end = doctypeEnd(text, pos);
            if (end == std::string::npos)
                break;
            pos = end;
        } else {
            break;
        }
    }

    if (declarationAt != std::string::npos || (bomAt != std::string::npos && !bomAtStart)) {
        std::string moved;
        moved.reserve(bytes.size() + 3);
        if (bomAt != std::string::npos && !bomAtStart)
            moved += kUtf8Bom;
        if (declarationAt != std::string::npos) {
            prepared.declaration = std::string(text.substr(declarationAt, declarationEnd - declarationAt));
            moved += prepared.declaration;
        }
        // Cut both pieces out of their places, in whichever order they stand.
        std::size_t from = 0;
        const auto cut = [&](std::size_t at, std::size_t length) {
            moved.append(text.substr(from, at - from));
            from = at + length;
        };
        if (bomAt != std::string::npos && !bomAtStart && (declarationAt == std::string::npos || bomAt < declarationAt))
            cut(bomAt, 3);
        if (declarationAt != std::string::npos)
            cut(declarationAt, declarationEnd - declarationAt);
        if (bomAt != std::string::npos && !bomAtStart && declarationAt != std::string::npos && bomAt > declarationAt)
            cut(bomAt, 3);
        moved.append(text.substr(from));
        bytes = std::move(moved);
    }

    prepared.encoding = utf16 ? std::string("UTF-8") : EffectiveXmlEncoding(bytes);
    if (prepared.encoding.empty() && !utf16) {
        // A document that declares UTF-8, or nothing, yet is not UTF-8 was
        // written in the Windows code page; show it rather than refuse it.
        const std::string declared = LowerAscii(prepared.declaration);
        const bool declaresUtf8 = declared.find("encoding") == std::string::npos
                                  || declared.find("utf-8") != std::string::npos
                                  || declared.find("utf8") != std::string::npos;
        if (declaresUtf8 && !IsValidUtf8(bytes))
            prepared.encoding = "windows-1252";
    }
    prepared.bytes = std::move(bytes);
    return prepared;
}

DocPtr parseXml(const PreparedXml& prepared, const std::string& url, int options)
{
    if (prepared.bytes.size() > static_cast<std::size_t>(INT_MAX))
        return nullptr;
    // No DTD loading, no entity substitution, no network, whatever the caller asks.
    options &= ~(XML_PARSE_NOENT | XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR | XML_PARSE_DTDVALID
                 | XML_PARSE_XINCLUDE);
    options |= XML_PARSE_NONET | XML_PARSE_BIG_LINES;
    if (!prepared.encoding.empty())
        options |= XML_PARSE_IGNORE_ENC;
    xmlParserCtxtPtr parser = xmlNewParserCtxt();
    if (!parser)
        return nullptr;
    DocPtr doc(xmlCtxtReadMemory(parser, prepared.bytes.data(), static_cast<int>(prepared.bytes.size()),
                                 url.c_str(), prepared.encoding.empty() ? nullptr : prepared.encoding.c_str(),
                                 options));
    const bool wellFormed = parser->wellFormed;
    xmlFreeParserCtxt(parser);
    if (doc && (!wellFormed || !xmlDocGetRootElement(doc.get())))
        doc.reset();
    return doc;
}

// A document's text for an error page: UTF-8 (bytes that are not are read
// as Latin-1) and at most 512 KB, so that a huge file still gives a page.
std::string quotable(std::string_view bytes)
{
    constexpr std::size_t limit = 512 * 1024;
    std::size_t size = std::min(bytes.size(), limit);
    while (size > 0 && size < bytes.size() && (static_cast<unsigned char>(bytes[size]) & 0xC0) == 0x80)
        --size; // not inside a UTF-8 sequence
    const std::string_view shown = bytes.substr(0, size);
    std::string text;
    if (IsValidUtf8(shown)) {
        text = shown;
    } else {
        text.reserve(shown.size() + shown.size() / 4);
        for (const char ch : shown) {
            const auto byte = static_cast<unsigned char>(ch);
            if (byte < 0x80) {
                text += ch;
            } else {
                text += static_cast<char>(0xC0 | (byte >> 6));
                text += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
    }
    if (size < bytes.size())
        text += "\n[\xE2\x80\xA6 the rest of the file is not shown]";
    return text;
}

// Documents above this size are not rendered: parsing and rendering need
// about twenty times their size in memory, and the page would hold several
// times their size of HTML. Metadata documents, thumbnails included, stay
// far below it.
constexpr std::size_t kMaxShownDocument = 16 * 1024 * 1024;

// Entity references may bring in no more text than this. The parser stops
// nested entities that multiply without end ("billion laughs"), but lets
// through a document that refers many times to one large entity, which a
// transformation would expand into gigabytes.
constexpr std::size_t kMaxEntityText = 16 * 1024 * 1024;

// Adds up the text that entity references stand for, as a transformation
// expands it: each reference counts its entity's whole replacement text,
// nested references included. Stops counting just past the limit.
class EntityText {
public:
    explicit EntityText(std::size_t limit) : m_limit(limit) {}

    // The text brought in by the references among `first`, its following
    // siblings and their descendants.
    std::size_t referencedBy(const xmlNode* first) { return walk(first, false); }

private:
    std::size_t walk(const xmlNode* first, bool countText)
    {
        std::size_t total = 0;
        std::vector<const xmlNode*> pending;
        if (first)
            pending.push_back(first);
        while (!pending.empty() && total <= m_limit) {
            const xmlNode* node = pending.back();
            pending.pop_back();
            if (node->next)
                pending.push_back(node->next);
            switch (node->type) {
            case XML_ELEMENT_NODE:
                if (node->children)
                    pending.push_back(node->children);
                // Attribute values keep their references too, and reading
                // a value expands them.
                for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next)
                    if (attribute->children)
                        pending.push_back(attribute->children);
                break;
            case XML_TEXT_NODE:
            case XML_CDATA_SECTION_NODE:
                if (countText && node->content)
                    total = add(total, std::strlen(chars(node->content)));
                break;
            case XML_ENTITY_REF_NODE:
                // The reference's child is the entity's declaration.
                if (node->children && node->children->type == XML_ENTITY_DECL)
                    total = add(total, entity(node->children));
                break;
            default:
                break;
            }
        }
        return total;
    }

    std::size_t entity(const xmlNode* declaration)
    {
        const auto known = m_sizes.find(declaration);
        if (known != m_sizes.end())
            return known->second;
        m_sizes[declaration] = 0;  // a reference loop counts nothing (the parser refuses loops)
        const std::size_t size = walk(declaration->children, true);
        m_sizes[declaration] = size;
        return size;
    }

    std::size_t add(std::size_t a, std::size_t b) const { return std::min(m_limit + 1, a + std::min(b, m_limit + 1)); }

    std::size_t m_limit;
    std::map<const xmlNode*, std::size_t> m_sizes;
};

std::string megabytes(double bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024.0));
    return text;
}

// Parses the file `path`, known as `name` in messages and as its base URL;
// on failure `problem` tells why.
DocPtr readXmlFile(const std::string& path, int options, PreparedXml& prepared, ProcessorMessages& messages,
                   Problem& problem, const std::string& name)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
        && static_cast<std::uint64_t>(info.st_size) > kMaxShownDocument) {
        problem.title = "The document is too large to be shown";
        problem.explanation = "The file holds " + megabytes(static_cast<double>(info.st_size))
                              + "; documents of up to " + megabytes(kMaxShownDocument) + " are shown.";
        problem.document = name;
        std::string start;
        if (ReadRegularFile(path, start, 512 * 1024 + 1))
            problem.source = quotable(start);
        return nullptr;
    }
    std::string bytes;
    if (!ReadRegularFile(path, bytes)) {
        problem.title = "The file could not be opened";
        problem.explanation = "The file does not exist or cannot be read.";
        problem.document = name;
        return nullptr;
    }
    prepared = prepareXml(std::move(bytes));
    DocPtr doc = parseXml(prepared, name, options);
    if (!doc) {
        problem.title = "The XML document could not be read";
        problem.explanation = "The file is not a well-formed XML document.";
        problem.document = name;
        problem.messages = messages.text();
        problem.source = quotable(prepared.bytes);
        return nullptr;
    }
    if (EntityText(kMaxEntityText).referencedBy(doc->children) > kMaxEntityText) {
        problem.title = "The XML document could not be read";
        problem.explanation = "Its entity references stand for more than " + megabytes(kMaxEntityText)
                              + " of text, more than any metadata document needs.";
        problem.document = name;
        problem.source = quotable(prepared.bytes);
        return nullptr;
    }
    return doc;
}

// ---- The xml-stylesheet instruction ---------------------------------------------

// The value of the pseudo-attribute `name` in a processing instruction's data.
std::string pseudoAttribute(std::string_view data, std::string_view name)
{
    std::size_t pos = 0;
    while (pos < data.size()) {
        while (pos < data.size() && isXmlSpace(data[pos]))
            ++pos;
        const std::size_t nameStart = pos;
        while (pos < data.size() && data[pos] != '=' && !isXmlSpace(data[pos]))
            ++pos;
        const std::string_view found = data.substr(nameStart, pos - nameStart);
        while (pos < data.size() && isXmlSpace(data[pos]))
            ++pos;
        if (pos >= data.size() || data[pos] != '=')
            return {};
        ++pos;
        while (pos < data.size() && isXmlSpace(data[pos]))
            ++pos;
        if (pos >= data.size() || (data[pos] != '"' && data[pos] != '\''))
            return {};
        const char quote = data[pos++];
        const std::size_t end = data.find(quote, pos);
        if (end == std::string_view::npos)
            return {};
        if (found == name) {
            // Pseudo-attributes may use the predefined entities.
            std::string value(data.substr(pos, end - pos));
            value = ReplaceAll(value, "&quot;", "\"");
            value = ReplaceAll(value, "&apos;", "'");
            value = ReplaceAll(value, "&lt;", "<");
            value = ReplaceAll(value, "&gt;", ">");
            return ReplaceAll(value, "&amp;", "&");
        }
        pos = end + 1;
    }
    return {};
}

// The href of the first xml-stylesheet instruction before the root element
// that names an XSL stylesheet, or "" when there is none.
std::string stylesheetHref(xmlDoc* doc)
{
    for (xmlNode* node = doc->children; node && node->type != XML_ELEMENT_NODE; node = node->next) {
        if (node->type != XML_PI_NODE || !xmlStrEqual(node->name, xml("xml-stylesheet")))
            continue;
        const std::string_view data(chars(node->content));
        const std::string type = LowerAscii(Trim(pseudoAttribute(data, "type")));
        const std::string href = Trim(pseudoAttribute(data, "href"));
        if (href.empty())
            continue;
        const bool xslType = type == "text/xsl" || type == "application/xslt+xml" || type == "text/xml"
                             || type == "application/xml";
        const std::string extension = lowerExtension(href);
        if (xslType || (type.empty() && (extension == ".xsl" || extension == ".xslt")))
            return href;
    }
    return {};
}

bool hasNonFileScheme(std::string_view reference)
{
    std::size_t i = 0;
    while (i < reference.size() && (std::isalnum(static_cast<unsigned char>(reference[i])) || reference[i] == '+'
                                     || reference[i] == '-' || reference[i] == '.'))
        ++i;
    if (i < 2 || i >= reference.size() || reference[i] != ':'
        || !std::isalpha(static_cast<unsigned char>(reference[0])))
        return false;
    return LowerAscii(reference.substr(0, i)) != "file";
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool fileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The local path the href names, relative to `folder`; "" for remote ones.
std::string stylesheetPath(const std::string& href, const std::string& folder)
{
    if (hasNonFileScheme(href))
        return {};
    std::string path = href;
    if (LowerAscii(path.substr(0, 5)) == "file:") {
        path = percentDecoded(path.substr(5));
        if (path.substr(0, 2) == "//") {
            // file://host/path: only the local host is ours.
            const std::size_t slash = path.find('/', 2);
            const std::string host = path.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
            if (!host.empty() && LowerAscii(host) != "localhost")
                return {};
            path = slash == std::string::npos ? std::string("/") : path.substr(slash);
        }
    }
    if (path.empty() || path[0] != '/')
        path = folder + path;
    // A name written as a URL ("My%20Style.xsl") when no file has the literal name.
    if (!fileExists(path) && path.find('%') != std::string::npos && fileExists(percentDecoded(path)))
        path = percentDecoded(path);
    return path;
}

// ---- libxslt set-up ---------------------------------------------------------------

bool isLocalReference(const char* uri)
{
    return uri && !hasNonFileScheme(uri);
}

// Loads the documents that stylesheets include, import or read with
// document(): local files only, never a DTD, never the network.
xmlDocPtr localDocumentLoader(const xmlChar* uri, xmlDictPtr dict, int options, void*, xsltLoadType)
{
    const char* name = chars(uri);
    if (!isLocalReference(name)) {
        xsltGenericError(xsltGenericErrorContext, "Not loaded: %s (only local files are read)\n", name);
        return nullptr;
    }
    xmlParserCtxtPtr parser = xmlNewParserCtxt();
    if (!parser)
        return nullptr;
    if (dict) {
        // Documents of one transformation share the stylesheet's dictionary.
        if (parser->dict)
            xmlDictFree(parser->dict);
        parser->dict = dict;
        xmlDictReference(dict);
    }
    options &= ~(XML_PARSE_NOENT | XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR | XML_PARSE_DTDVALID
                 | XML_PARSE_XINCLUDE);
    xmlCtxtUseOptions(parser, options | XML_PARSE_NONET);
    xmlParserInputPtr input = xmlLoadExternalEntity(name, nullptr, parser);
    if (!input) {
        xmlFreeParserCtxt(parser);
        return nullptr;
    }
    inputPush(parser, input);
    if (!parser->directory)
        parser->directory = xmlParserGetDirectory(name);
    xmlParseDocument(parser);
    xmlDocPtr doc = parser->myDoc;
    parser->myDoc = nullptr;
    if (!parser->wellFormed && doc) {
        xmlFreeDoc(doc);
        doc = nullptr;
    }
    xmlFreeParserCtxt(parser);
    return doc;
}

xsltSecurityPrefsPtr securityPrefs()
{
    static xsltSecurityPrefsPtr prefs = [] {
        xsltSecurityPrefsPtr p = xsltNewSecurityPrefs();
        xsltSetSecurityPrefs(p, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
        xsltSetSecurityPrefs(p, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
        return p;
    }();
    return prefs;
}

void initialiseXslt()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xsltInit();
        exsltRegisterAll();
        // Stylesheets written for MSXML use msxsl:node-set(); it is the same
        // function as exsl:node-set().
        xsltRegisterExtModuleFunction(xml("node-set"), xml(kMicrosoftXsltNamespace), xsltFunctionNodeSet);
        xsltSetLoaderFunc(localDocumentLoader);
        // Also applies to xsl:include and xsl:import, checked without a
        // transformation context.
        xsltSetDefaultSecurityPrefs(securityPrefs());
    });
}

// ---- Stylesheet cache -------------------------------------------------------------

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedSeconds = 0, modifiedNanoseconds = 0;
    long long changedSeconds = 0, changedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

bool identify(const std::string& path, FileIdentity& identity)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modifiedSeconds = info.st_mtim.tv_sec;
    identity.modifiedNanoseconds = info.st_mtim.tv_nsec;
    identity.changedSeconds = info.st_ctim.tv_sec;
    identity.changedNanoseconds = info.st_ctim.tv_nsec;
    return true;
}

using StylesheetPtr = std::shared_ptr<xsltStylesheet>;

class StylesheetCache {
public:
    StylesheetPtr find(const std::string& path, const FileIdentity& identity)
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->path != path)
                continue;
            if (!(it->identity == identity)) {
                m_entries.erase(it);
                return nullptr;
            }
            m_entries.splice(m_entries.begin(), m_entries, it);
            return m_entries.front().style;
        }
        return nullptr;
    }
    void store(const std::string& path, const FileIdentity& identity, StylesheetPtr style)
    {
        std::lock_guard lock(m_mutex);
        m_entries.push_front(Entry{path, identity, std::move(style)});
        while (m_entries.size() > kCapacity)
            m_entries.pop_back();
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_entries.clear();
    }

private:
    static constexpr std::size_t kCapacity = 8;
    struct Entry {
        std::string path;
        FileIdentity identity;
        StylesheetPtr style;
    };
    std::mutex m_mutex;
    std::list<Entry> m_entries;
};

StylesheetCache& stylesheetCache()
{
    static StylesheetCache cache;
    return cache;
}

// The parsed stylesheet at `path`, from the cache when the file is unchanged.
StylesheetPtr loadStylesheet(const std::string& path, ProcessorMessages& messages, Problem& problem)
{
    problem.stylesheet = path;
    FileIdentity identity;
    if (!identify(path, identity)) {
        problem.title = "The stylesheet could not be found";
        problem.explanation = "The stylesheet that the document names does not exist or is not a file.";
        return nullptr;
    }
    if (StylesheetPtr cached = stylesheetCache().find(path, identity))
        return cached;

    std::string bytes;
    if (!ReadRegularFile(path, bytes)) {
        problem.title = "The stylesheet could not be opened";
        problem.explanation = "The stylesheet file cannot be read.";
        return nullptr;
    }
    const PreparedXml prepared = prepareXml(std::move(bytes));
    DocPtr doc = parseXml(prepared, path, XML_PARSE_NOCDATA);
    if (!doc) {
        problem.title = "The stylesheet could not be read";
        problem.explanation = "The stylesheet is not a well-formed XML document.";
        problem.messages = messages.text();
        return nullptr;
    }
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root->ns && xmlStrEqual(root->ns->href, xml(kObsoleteMicrosoftXslNamespace))) {
        problem.title = "The stylesheet uses the obsolete Microsoft XSL namespace";
        problem.explanation = std::string("This stylesheet is written for the namespace ") + kObsoleteMicrosoftXslNamespace
                              + ", the working draft of XSL that only Internet Explorer 5 ran. No XSLT 1.0 "
                                "processor runs it; the stylesheet must be rewritten for XSLT 1.0 "
                                "(namespace http://www.w3.org/1999/XSL/Transform).";
        return nullptr;
    }
    xsltStylesheetPtr style = xsltParseStylesheetDoc(doc.get());
    if (style && style->errors == 0) {
        doc.release(); // owned by the stylesheet now
    } else {
        if (style) {
            doc.release();
            xsltFreeStylesheet(style);
        }
        problem.title = "The stylesheet could not be compiled";
        problem.explanation = "The file is not a usable XSLT 1.0 stylesheet.";
        problem.messages = messages.text();
        return nullptr;
    }
    // Every page goes to the browser as UTF-8, whatever the stylesheet asks for.
    if (style->encoding)
        xmlFree(style->encoding);
    style->encoding = xmlStrdup(xml("UTF-8"));
    StylesheetPtr shared(style, xsltFreeStylesheet);
    stylesheetCache().store(path, identity, shared);
    return shared;
}

// ---- The thumbnail for third-party stylesheets -------------------------------------

// Stylesheets written for ArcCatalog show the thumbnail from
// Binary/Thumbnail/img/@src, which ArcCatalog added while rendering; files
// never carry it. It is added here as a data: URI of the decoded picture.
//
// libxml2's HTML writer escapes src attributes character by character, which
// for a picture of 100 KB costs more than the whole transformation. The
// document therefore carries a short stand-in for the Base64 part, and the
// picture replaces it in the finished page.
struct Thumbnails {
    std::vector<std::pair<std::string, std::string>> standIns; // stand-in, Base64 picture

    void putInto(std::string& page) const
    {
        for (const auto& [standIn, picture] : standIns) {
            std::string out;
            std::size_t from = 0;
            for (std::size_t at = page.find(standIn); at != std::string::npos; at = page.find(standIn, from)) {
                if (out.empty())
                    out.reserve(page.size() + picture.size());
                out.append(page, from, at - from);
                out += picture;
                from = at + standIn.size();
            }
            if (from > 0) {
                out.append(page, from, std::string::npos);
                page = std::move(out);
            }
        }
    }
};

std::string newStandIn()
{
    static std::mt19937_64 random{std::random_device{}()};
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    char text[64];
    std::snprintf(text, sizeof text, "atlasdesk-thumbnail-%016llx%016llx",
                  static_cast<unsigned long long>(random()), static_cast<unsigned long long>(random()));
    return text;
}

Thumbnails addThumbnailImage(xmlDoc* doc)
{
    Thumbnails thumbnails;
    xmlXPathContextPtr context = xmlXPathNewContext(doc);
    if (!context)
        return thumbnails;
    xmlXPathObjectPtr found = xmlXPathEvalExpression(xml("//Binary/Thumbnail[Data][not(img)]"), context);
    if (found && found->nodesetval) {
        for (int i = 0; i < found->nodesetval->nodeNr; ++i) {
            xmlNode* thumbnail = found->nodesetval->nodeTab[i];
            xmlNode* data = thumbnail->children;
            while (data && !(data->type == XML_ELEMENT_NODE && xmlStrEqual(data->name, xml("Data"))))
                data = data->next;
            if (!data)
                continue;
            XmlString text(xmlNodeGetContent(data));
            std::string base64 = cleanBase64(chars(text.get()));
            std::string mime;
            if (!base64.empty()) {
                mime = pictureMimeType(DecodeBase64(std::string_view(base64).substr(0, 16)));
            } else {
                // Damaged Base64: decode what there is, as the Thumbnail page does.
                const std::string picture = DecodeBase64(chars(text.get()));
                mime = pictureMimeType(picture);
                base64 = encodeBase64(picture);
            }
            if (mime.empty())
                continue;
            std::string standIn = newStandIn();
            const std::string uri = "data:" + mime + ";base64," + standIn;
            xmlNode* img = xmlNewChild(thumbnail, nullptr, xml("img"), nullptr);
            if (!img)
                continue;
            xmlNewProp(img, xml("src"), xml(uri.c_str()));
            thumbnails.standIns.emplace_back(std::move(standIn), std::move(base64));
        }
    }
    if (found)
        xmlXPathFreeObject(found);
    xmlXPathFreeContext(context);
    return thumbnails;
}

// ---- Applying a stylesheet ---------------------------------------------------------

RenderResult transform(xsltStylesheetPtr style, xmlDoc* doc, const Thumbnails& thumbnails, const std::string& xslPath,
                       const std::string& xmlPath, ProcessorMessages& messages)
{
    Problem problem;
    problem.stylesheet = xslPath;
    problem.document = xmlPath;

    xsltTransformContextPtr context = xsltNewTransformContext(style, doc);
    if (!context) {
        problem.title = "The stylesheet could not be applied";
        problem.explanation = "The XSLT processor could not start the transformation.";
        return failure(problem);
    }
    xsltSetCtxtSecurityPrefs(securityPrefs(), context);
    xsltSetTransformErrorFunc(context, &messages, &ProcessorMessages::onGeneric);
    DocPtr result(xsltApplyStylesheetUser(style, doc, nullptr, nullptr, nullptr, context));
    const bool failed = !result || context->state != XSLT_STATE_OK;
    xsltFreeTransformContext(context);
    if (failed) {
        problem.title = "The stylesheet could not be applied";
        problem.explanation = "The XSLT processor stopped with an error while applying the stylesheet.";
        problem.messages = messages.text();
        if (problem.messages.empty())
            problem.messages = "The processor gave no further message.";
        return failure(problem);
    }

    xmlChar* output = nullptr;
    int length = 0;
    if (xsltSaveResultToString(&output, &length, result.get(), style) != 0) {
        problem.title = "The stylesheet could not be applied";
        problem.explanation = "The result of the stylesheet could not be written out.";
        problem.messages = messages.text();
        return failure(problem);
    }
    XmlString outputOwner(output);
    std::string text(chars(output), static_cast<std::size_t>(std::max(length, 0)));
    if (Trim(text).empty()) {
        problem.title = "The stylesheet produced an empty page";
        problem.explanation = "The stylesheet ran without error but wrote nothing for this document.";
        problem.messages = messages.text();
        return failure(problem);
    }

    RenderResult rendered;
    rendered.ok = true;
    const xmlChar* method = nullptr;
    XSLT_GET_IMPORT_PTR(method, style, method)
    if (method && xmlStrEqual(method, xml("text"))) {
        rendered.html = pageStart(xmlPath) + "<pre>" + escaped(text) + "</pre>\n</body></html>\n";
    } else {
        rendered.html = std::move(text);
    }
    thumbnails.putInto(rendered.html);
    return rendered;
}

// ---- The raw XML view --------------------------------------------------------------

const char* const kRawStyle = R"CSS(
body{padding:12px 16px}
.xml{font-size:12.5px;line-height:1.55}
.head{color:var(--muted);font-size:12px;margin-bottom:10px;padding-bottom:8px;border-bottom:1px solid var(--line);
word-break:break-all}
.l{padding-left:1.1em}
.k{padding-left:1.4em;margin-left:.45em;border-left:1px solid var(--line)}
details>summary{list-style:none;cursor:pointer;padding-left:1.1em;position:relative}
details>summary::-webkit-details-marker{display:none}
details>summary::before{content:"\25BE";position:absolute;left:0;color:var(--com)}
details:not([open])>summary::before{content:"\25B8"}
details:not([open])>summary::after{content:" \2026";color:var(--com)}
.t{color:var(--tag)}.a{color:var(--attr)}.v{color:var(--val)}.p{color:var(--pi)}
.c{color:var(--com);white-space:pre-wrap;overflow-wrap:anywhere}
.x{white-space:pre-wrap;overflow-wrap:anywhere}
.b64{display:block;color:var(--muted);white-space:normal;word-break:break-all;overflow-wrap:anywhere}
)CSS";

// Texts longer than this are shown on their own lines below the start tag.
constexpr std::size_t kInlineTextLimit = 160;

class RawXmlWriter {
public:
    explicit RawXmlWriter(std::string& out) : m_out(out) {}

    void nodes(const xmlNode* first)
    {
        for (const xmlNode* node = first; node; node = node->next)
            this->node(node);
    }

private:
    static bool isBlank(const xmlChar* text)
    {
        for (const xmlChar* p = text; p && *p; ++p)
            if (!isXmlSpace(static_cast<char>(*p)))
                return false;
        return true;
    }

    // Base64 as ArcCatalog writes pictures: long, only the alphabet and white space.
    static bool looksLikeBase64(std::string_view text)
    {
        if (text.size() < 200)
            return false;
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (!(std::isalnum(c) || ch == '+' || ch == '/' || ch == '=' || isXmlSpace(ch)))
                return false;
        }
        return true;
    }

    // The text without its surrounding white space and without the
    // indentation at the start of each of its lines.
    static std::string tidied(std::string_view text)
    {
        const std::string trimmed = Trim(text);
        std::string out;
        out.reserve(trimmed.size());
        bool lineStart = false;
        for (const char ch : trimmed) {
            if (ch == '\r')
                continue;
            if (ch == '\n') {
                out += '\n';
                lineStart = true;
                continue;
            }
            if (lineStart && (ch == ' ' || ch == '\t'))
                continue;
            lineStart = false;
            out += ch;
        }
        return out;
    }

    static std::string qualifiedName(const xmlNode* node)
    {
        std::string name;
        if (node->ns && node->ns->prefix) {
            name += chars(node->ns->prefix);
            name += ':';
        }
        name += chars(node->name);
        return name;
    }

    void attribute(const std::string& name, const std::string& value)
    {
        m_out += " <span class=\"a\">";
        appendEscaped(m_out, name);
        m_out += "</span>=<span class=\"v\">&quot;";
        appendEscaped(m_out, value);
        m_out += "&quot;</span>";
    }

    void startTag(const xmlNode* element, bool empty)
    {
        m_out += "<span class=\"t\">&lt;";
        appendEscaped(m_out, qualifiedName(element));
        m_out += "</span>";
        for (const xmlNs* ns = element->nsDef; ns; ns = ns->next)
            attribute(ns->prefix ? std::string("xmlns:") + chars(ns->prefix) : std::string("xmlns"), chars(ns->href));
        for (const xmlAttr* attr = element->properties; attr; attr = attr->next) {
            std::string name;
            if (attr->ns && attr->ns->prefix) {
                name += chars(attr->ns->prefix);
                name += ':';
            }
            name += chars(attr->name);
            XmlString value(xmlNodeGetContent(reinterpret_cast<const xmlNode*>(attr)));
            attribute(name, chars(value.get()));
        }
        m_out += empty ? "<span class=\"t\">/&gt;</span>" : "<span class=\"t\">&gt;</span>";
    }

    void endTag(const xmlNode* element)
    {
        m_out += "<span class=\"t\">&lt;/";
        appendEscaped(m_out, qualifiedName(element));
        m_out += "&gt;</span>";
    }

    void text(std::string_view content)
    {
        if (looksLikeBase64(content)) {
            m_out += "<span class=\"b64\">";
            appendEscaped(m_out, Trim(content));
            m_out += "</span>";
        } else {
            m_out += "<span class=\"x\">";
            appendEscaped(m_out, tidied(content));
            m_out += "</span>";
        }
    }

    void element(const xmlNode* element)
    {
        bool hasElements = false, hasContent = false;
        std::size_t textLength = 0;
        bool multiline = false;
        for (const xmlNode* child = element->children; child; child = child->next) {
            if (child->type == XML_TEXT_NODE) {
                if (isBlank(child->content))
                    continue;
                hasContent = true;
                const std::string_view content(chars(child->content));
                textLength += content.size();
                multiline = multiline || Trim(content).find('\n') != std::string::npos;
            } else {
                hasContent = true;
                hasElements = hasElements || child->type != XML_ENTITY_REF_NODE;
            }
        }
        if (!hasContent) {
            m_out += "<div class=\"l\">";
            startTag(element, true);
            m_out += "</div>\n";
            return;
        }
        if (!hasElements && !multiline && textLength <= kInlineTextLimit) {
            m_out += "<div class=\"l\">";
            startTag(element, false);
            for (const xmlNode* child = element->children; child; child = child->next)
                inlineNode(child);
            endTag(element);
            m_out += "</div>\n";
            return;
        }
        m_out += "<details open><summary>";
        startTag(element, false);
        m_out += "</summary><div class=\"k\">\n";
        for (const xmlNode* child = element->children; child; child = child->next)
            node(child);
        m_out += "</div><div class=\"l\">";
        endTag(element);
        m_out += "</div></details>\n";
    }

    void inlineNode(const xmlNode* node)
    {
        if (node->type == XML_TEXT_NODE) {
            m_out += "<span class=\"x\">";
            appendEscaped(m_out, Trim(chars(node->content)));
            m_out += "</span>";
        } else if (node->type == XML_ENTITY_REF_NODE) {
            m_out += "<span class=\"x\">&amp;";
            appendEscaped(m_out, chars(node->name));
            m_out += ";</span>";
        }
    }

    void node(const xmlNode* node)
    {
        switch (node->type) {
        case XML_ELEMENT_NODE:
            element(node);
            break;
        case XML_TEXT_NODE:
            if (isBlank(node->content))
                break;
            m_out += "<div class=\"l\">";
            text(chars(node->content));
            m_out += "</div>\n";
            break;
        case XML_CDATA_SECTION_NODE:
            m_out += "<div class=\"l\"><span class=\"p\">&lt;![CDATA[</span><span class=\"x\">";
            appendEscaped(m_out, chars(node->content));
            m_out += "</span><span class=\"p\">]]&gt;</span></div>\n";
            break;
        case XML_ENTITY_REF_NODE:
            m_out += "<div class=\"l\">";
            inlineNode(node);
            m_out += "</div>\n";
            break;
        case XML_COMMENT_NODE:
            m_out += "<div class=\"l c\">&lt;!--";
            appendEscaped(m_out, chars(node->content));
            m_out += "--&gt;</div>\n";
            break;
        case XML_PI_NODE:
            m_out += "<div class=\"l p\">&lt;?";
            appendEscaped(m_out, chars(node->name));
            if (node->content && *node->content) {
                m_out += ' ';
                appendEscaped(m_out, chars(node->content));
            }
            m_out += "?&gt;</div>\n";
            break;
        case XML_DTD_NODE: {
            xmlBufferPtr buffer = xmlBufferCreate();
            if (buffer) {
                xmlNodeDump(buffer, node->doc, const_cast<xmlNode*>(node), 0, 0);
                m_out += "<div class=\"l p\">";
                appendEscaped(m_out, chars(xmlBufferContent(buffer)));
                m_out += "</div>\n";
                xmlBufferFree(buffer);
            }
            break;
        }
        default:
            break;
        }
    }

    std::string& m_out;
};

RenderResult rawXmlPage(xmlDoc* doc, const PreparedXml& prepared, const std::string& path)
{
    RenderResult result;
    result.ok = true;
    std::string& page = result.html;
    // Names that are not UTF-8 (Latin-1 names of old servers) are read
    // component by component: the page itself is UTF-8.
    const std::string shownPath = DecodeFileNameUtf8(path);
    page = pageStart(shownPath, kRawStyle);
    page.reserve(prepared.bytes.size() * 3);
    page += "<div class=\"head\">";
    appendEscaped(page, shownPath);
    page += "</div>\n<div class=\"xml\">\n";
    if (!prepared.declaration.empty()) {
        page += "<div class=\"l p\">";
        appendEscaped(page, prepared.declaration);
        page += "</div>\n";
    }
    RawXmlWriter(page).nodes(doc->children);
    page += "</div>\n</body></html>\n";
    return result;
}

// Source documents keep CDATA sections (the raw view shows them; XSLT
// treats them as text) and their white space.
constexpr int kSourceOptions = 0;

} // namespace

RenderResult TransformFile(const std::string& path)
{
    const std::string extension = lowerExtension(path);
    if (extension == ".htm" || extension == ".html") {
        RenderResult result;
        if (ReadRegularFile(path, result.html)) {
            result.ok = true;
            return result;
        }
        return failure({"The file could not be opened", "The file does not exist or cannot be read.", {}, path, {}, {}});
    }

    initialiseXslt();
    ProcessorMessages messages;
    PreparedXml prepared;
    Problem problem;
    DocPtr doc = readXmlFile(path, kSourceOptions, prepared, messages, problem, path);
    if (!doc)
        return failure(problem);

    const std::string href = stylesheetHref(doc.get());
    if (href.empty())
        return rawXmlPage(doc.get(), prepared, path);

    const std::string xslPath = stylesheetPath(href, folderOf(path));
    if (xslPath.empty())
        return failure({"The stylesheet was not loaded",
                        "The document names a stylesheet that is not on this computer; only local "
                        "stylesheets are used.",
                        href, path, {}, {}});
    StylesheetPtr style = loadStylesheet(xslPath, messages, problem);
    if (!style) {
        problem.document = path;
        return failure(problem);
    }
    const Thumbnails thumbnails = addThumbnailImage(doc.get());
    return transform(style.get(), doc.get(), thumbnails, xslPath, path, messages);
}

RenderResult ApplyStylesheet(const std::string& xmlPath, const std::string& xslPath, const std::string& xmlName)
{
    const std::string& name = xmlName.empty() ? xmlPath : xmlName;
    initialiseXslt();
    ProcessorMessages messages;
    PreparedXml prepared;
    Problem problem;
    DocPtr doc = readXmlFile(xmlPath, kSourceOptions, prepared, messages, problem, name);
    if (!doc) {
        problem.stylesheet = xslPath;
        return failure(problem);
    }
    StylesheetPtr style = loadStylesheet(xslPath, messages, problem);
    if (!style) {
        problem.document = name;
        return failure(problem);
    }
    const Thumbnails thumbnails = addThumbnailImage(doc.get());
    return transform(style.get(), doc.get(), thumbnails, xslPath, name, messages);
}

RenderResult RenderRawXml(const std::string& xmlPath)
{
    ProcessorMessages messages;
    PreparedXml prepared;
    Problem problem;
    DocPtr doc = readXmlFile(xmlPath, kSourceOptions, prepared, messages, problem, xmlPath);
    if (!doc)
        return failure(problem);
    return rawXmlPage(doc.get(), prepared, xmlPath);
}

RenderResult NoMetadataPage(const std::string& dataPath, const std::string& metadataPath)
{
    const std::string name = DecodeFileNameUtf8(dataPath);
    RenderResult result;
    result.error = "No metadata for " + name;
    std::string& page = result.html;
    page = pageStart("No metadata");
    page += "<h1>No metadata</h1>\n<p>There is no metadata for <code>";
    appendEscaped(page, name);
    page += "</code>.</p>\n<p class=\"where\">Its metadata file would be <code>";
    appendEscaped(page, DecodeFileNameUtf8(metadataPath));
    page += "</code>.</p>\n</body></html>\n";
    return result;
}

RenderResult ErrorPage(const std::string& title, const std::string& explanation, const std::string& document)
{
    Problem problem;
    problem.title = title;
    problem.explanation = explanation;
    problem.document = document;
    return failure(problem);
}

void ClearStylesheetCache()
{
    stylesheetCache().clear();
}
