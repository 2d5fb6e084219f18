#include "xml/PreparedDocument.h"

#include "support/FileOps.h"
#include "support/StringOps.h"
#include "xml/XMLOps.h"

#include <libxml/parser.h>

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

const char* const kUtf8Bom = "\xEF\xBB\xBF";

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix)
{
    return text.size() >= at + prefix.size() && text.compare(at, prefix.size(), prefix) == 0;
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

} // namespace

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

namespace {

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

} // namespace

std::string tooLargeToShow(std::uint64_t size)
{
    return "The file holds " + megabytes(static_cast<double>(size)) + "; documents of up to "
           + megabytes(kMaxShownDocument) + " are shown.";
}

// Parses the file `path`, known as `name` in messages and as its base URL;
// on failure `problem` tells why.
DocPtr readXmlFile(const std::string& path, int options, PreparedXml& prepared, LibxmlMessages& messages,
                   Problem& problem, const std::string& name, const std::function<void()>& onRead)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)
        && static_cast<std::uint64_t>(info.st_size) > kMaxShownDocument) {
        problem.title = "The document is too large to be shown";
        problem.explanation = tooLargeToShow(static_cast<std::uint64_t>(info.st_size));
        problem.document = name;
        std::string start;
        if (ReadRegularFile(path, start, 512 * 1024 + 1))
            problem.source = quotable(start);
        if (onRead)
            onRead();
        return nullptr;
    }
    std::string bytes;
    const bool read = ReadRegularFile(path, bytes);
    if (onRead)
        onRead();
    if (!read) {
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
