#include "xml/XMLOps.h"

#include "support/FileOps.h"
#include "support/SaveFile.h"
#include "support/StringOps.h"
#include "xml/LibxmlMessages.h"

#include <QList>
#include <QString>
#include <QStringDecoder>

#include <libxml/encoding.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xmlversion.h>
#include <libxml/xpath.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace {

const xmlChar* xmlStr(const std::string& text)
{
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

std::string fromXml(const xmlChar* text)
{
    return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

// ---- UTF-8 and the windows-1252 code page --------------------------------

// The code page of old Windows servers, for bytes that are no UTF-8.
QStringDecoder windows1252()
{
    return QStringDecoder("windows-1252");
}

// Whether windows-1252 gives the byte `byte` (0x80-0x9F) a character; the
// others are C1 control codes there, as in Latin-1.
bool definedInWindows1252(unsigned char byte)
{
    static const std::array<bool, 32> defined = [] {
        std::array<bool, 32> table{};
        QStringDecoder legacy = windows1252();
        for (int i = 0; i < 32; ++i) {
            const char c = static_cast<char>(0x80 + i);
            const QString decoded = legacy(QByteArrayView(&c, 1));
            table[i] = decoded.size() == 1 && (decoded[0].unicode() < 0x80 || decoded[0].unicode() > 0x9F);
        }
        return table;
    }();
    return defined[byte - 0x80];
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// libxml2 stores whatever bytes it is given and would write a file that no
// parser accepts; callers hand us 8-bit texts that may come from anywhere.
// Well-formed UTF-8 is kept; every other byte is read as windows-1252;
// characters XML does not allow become U+FFFD.
std::string toXmlText(std::string_view text)
{
    QString decoded;
    if (IsValidUtf8(text)) {
        decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    } else {
        QStringDecoder legacy = windows1252();
        for (std::size_t i = 0; i < text.size();) {
            const auto lead = static_cast<unsigned char>(text[i]);
            const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            const std::string_view sequence = text.substr(i, length);
            if (length > 1 && sequence.size() == length && IsValidUtf8(sequence)) {
                decoded += QString::fromUtf8(sequence.data(), static_cast<qsizetype>(length));
                i += length;
            } else {
                decoded += legacy(QByteArrayView(text.data() + i, 1));
                ++i;
            }
        }
    }
    QList<uint> codePoints = decoded.toUcs4();
    for (uint& c : codePoints)
        if (!isXmlChar(c))
            c = 0xFFFD;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(codePoints.constData()), codePoints.size())
        .toUtf8()
        .toStdString();
}

bool isXmlName(const std::string& name)
{
    return !name.empty() && IsValidUtf8(name) && xmlValidateName(xmlStr(name), 0) == 0;
}

// ---- The XML declaration ---------------------------------------------------

struct XmlDeclaration {
    bool present = false;
    std::string encoding;
};

XmlDeclaration readDeclaration(std::string_view bytes)
{
    XmlDeclaration declaration;
    if (bytes.size() < 6 || bytes.substr(0, 5) != "<?xml" ||
        static_cast<unsigned char>(bytes[5]) > ' ')
        return declaration;
    declaration.present = true;
    const std::size_t end = bytes.find("?>");
    const std::string_view text = bytes.substr(0, end);
    std::size_t at = text.find("encoding");
    if (at == std::string_view::npos)
        return declaration;
    at += 8;
    const auto skipBlanks = [&] {
        while (at < text.size() && static_cast<unsigned char>(text[at]) <= ' ')
            ++at;
    };
    skipBlanks();
    if (at >= text.size() || text[at] != '=')
        return declaration;
    ++at;
    skipBlanks();
    if (at >= text.size() || (text[at] != '"' && text[at] != '\''))
        return declaration;
    const std::size_t close = text.find(text[at], at + 1);
    if (close != std::string_view::npos)
        declaration.encoding = std::string(text.substr(at + 1, close - at - 1));
    return declaration;
}

bool isNamed(const std::string& lowered, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (lowered == name)
            return true;
    return false;
}

std::string unquote(const std::string& text)
{
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front())
        return text.substr(1, text.size() - 2);
    return text;
}

bool isUtf8Name(const xmlChar* encoding)
{
    const std::string lowered = LowerAscii(fromXml(encoding));
    return lowered == "utf-8" || lowered == "utf8";
}

// ---- Saving ------------------------------------------------------------------

int appendToString(void* context, const char* buffer, int length)
{
    static_cast<std::string*>(context)->append(buffer, static_cast<std::size_t>(length));
    return length;
}

// ---- Nodes ------------------------------------------------------------------

std::string readNodeText(const xmlNode* node)
{
    if (!node)
        return {};
    if (node->type == XML_TEXT_NODE)
        return fromXml(node->content);
    const xmlNode* first = node->children;
    if (first && first->type == XML_TEXT_NODE)
        return fromXml(first->content);
    return {};
}

void setTextValue(xmlNodePtr textNode, const std::string& text)
{
    xmlNodeSetContent(textNode, xmlStr(toXmlText(text)));
}

// Texts that entity references bring in may not add up to more than this.
// The parser stops entities that multiply without end, but lets through a
// document that refers many times to one large entity: collecting its
// texts would fill the memory.
constexpr std::size_t kMaxEntityText = 16 * 1024 * 1024;

// `entityText` counts the bytes (and the string objects) collected from
// inside entities so far.
void collectTexts(const xmlNode* parent, tVectorOfString& out, std::size_t& entityText, bool inEntity)
{
    for (const xmlNode* child = parent->children; child; child = child->next) {
        switch (child->type) {
        case XML_ELEMENT_NODE:
            collectTexts(child, out, entityText, inEntity);
            break;
        case XML_ENTITY_REF_NODE:
            // The reference's child is the entity declaration, whose
            // children are the entity's parsed content.
            if (child->children && child->children->type == XML_ENTITY_DECL)
                collectTexts(child->children, out, entityText, true);
            break;
        case XML_TEXT_NODE:
            if (inEntity) {
                entityText += sizeof(std::string) + (child->content ? xmlStrlen(child->content) : 0);
                if (entityText > kMaxEntityText)
                    throw EInvalidXMLOp("The entity references of the document stand for more than 16 MB of text");
            }
            out.push_back(Trim(fromXml(child->content)));
            break;
        default:
            break;
        }
    }
}

std::string withoutTrailingSlash(std::string path)
{
    if (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}

// Limit on the elements SetNodeTextAt appends for one call, so that a wild
// offset fails instead of exhausting memory.
constexpr unsigned kMaxAppendedElements = 100000;

// The parser refuses documents nested deeper than this (it guards against
// documents built to exhaust the stack), so nothing deeper may be built:
// the saved file could not be loaded again.
constexpr int kMaxElementDepth = 256;

// The level of `node`: 1 for the root element.
int elementDepth(const xmlNode* node)
{
    int depth = 0;
    for (; node && node->type == XML_ELEMENT_NODE; node = node->parent)
        ++depth;
    return depth;
}

} // namespace

// ---- Encoding detection -------------------------------------------------------

std::string EffectiveXmlEncoding(std::string_view bytes)
{
    const bool bom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (bom)
        bytes.remove_prefix(3);
    const std::string declared = LowerAscii(readDeclaration(bytes).encoding);
    if (declared.empty() || declared == "utf-8" || declared == "utf8")
        return {};
    if (bom)
        return "UTF-8";

    const bool latin1 = isNamed(declared, {"iso-8859-1", "iso8859-1", "iso_8859-1", "iso_8859-1:1987",
                                           "latin1", "latin-1", "l1", "iso-ir-100", "cp819",
                                           "ibm819", "csisolatin1"});
    const bool cp1252 = isNamed(declared, {"windows-1252", "cp1252", "x-cp1252"});
    if (!latin1 && !cp1252)
        return {};

    bool high = false, c1 = false, c1Defined = true;
    for (const char ch : bytes) {
        const unsigned char byte = static_cast<unsigned char>(ch);
        if (byte < 0x80)
            continue;
        high = true;
        if (byte <= 0x9F) {
            c1 = true;
            c1Defined = c1Defined && definedInWindows1252(byte);
        }
    }
    if (!high)
        return {};
    if (IsValidUtf8(bytes))
        return "UTF-8";
    if (latin1 && c1 && c1Defined)
        return "windows-1252";
    return {};
}

// ---- tXMLDocument ------------------------------------------------------------------

namespace {
// Marks a document loaded from a file whose lines end with CR LF.
const char kCrLfLines[] = "CR LF";
} // namespace

tXMLDocument::tXMLDocument()
{
    reset();
}

tXMLDocument::tXMLDocument(const std::string& fileName, Layout layout) : tXMLDocument()
{
    FileName = fileName;
    m_layout = layout;
    Load();
}

tXMLDocument::~tXMLDocument()
{
    if (m_doc)
        xmlFreeDoc(m_doc);
}

void tXMLDocument::requireChangeable() const
{
    // A compactly stored text cannot be changed: libxml2 would free memory
    // it never allocated.
    if (m_layout == Layout::ReadOnly)
        throw EInvalidXMLOp("The document " + FileName + " was loaded for reading only");
}

void tXMLDocument::reset()
{
    xmlDocPtr doc = xmlNewDoc(nullptr);
    if (!doc)
        throw std::bad_alloc();
    if (m_doc)
        xmlFreeDoc(m_doc);
    m_doc = doc;
    RootNode = nullptr;
    m_declared = false;
}

void tXMLDocument::Load(const std::function<void()>& onRead)
{
    // libxml2 sets up its tables at the first parse; documents are loaded
    // on several threads at once, and that first time must not be a race.
    static std::once_flag parserReady;
    std::call_once(parserReady, [] { xmlInitParser(); });
    const std::string failure = "An error occured while loading " + FileName;
    std::string bytes;
    const bool read = ReadRegularFile(FileName, bytes);
    if (onRead)
        onRead();
    if (!read || bytes.size() > static_cast<std::size_t>(INT_MAX))
        throw EInOutError(failure);

    const std::string forced = EffectiveXmlEncoding(bytes);
    const XmlDeclaration declaration =
        readDeclaration(std::string_view(bytes).substr(bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0));

    LibxmlMessages errors;
    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> parser(xmlNewParserCtxt(),
                                                                       &xmlFreeParserCtxt);
    if (!parser)
        throw EInOutError(failure);
    // No DTD loading, no entity substitution, no network: metadata files
    // name DTDs on the web that must never be fetched.
    int options = XML_PARSE_NONET | (m_layout == Layout::Keep ? 0 : XML_PARSE_NOBLANKS) |
                  (m_layout == Layout::ReadOnly ? XML_PARSE_COMPACT : 0);
    if (!forced.empty())
        options |= XML_PARSE_IGNORE_ENC;
    xmlDocPtr doc = xmlCtxtReadMemory(parser.get(), bytes.data(), static_cast<int>(bytes.size()),
                                      FileName.c_str(), forced.empty() ? nullptr : forced.c_str(),
                                      options);
    if (!doc)
        throw EInOutError(failure);
    if (!xmlDocGetRootElement(doc)) {
        xmlFreeDoc(doc);
        throw EInOutError(failure);
    }
    if (!forced.empty()) {
        // The bytes were read in the encoding they really have; saving
        // writes the encoding the file declares, so the file becomes honest.
        if (doc->encoding)
            xmlFree(const_cast<xmlChar*>(doc->encoding));
        doc->encoding = declaration.encoding.empty() ? nullptr : xmlStrdup(xmlStr(declaration.encoding));
    }

    if (m_doc)
        xmlFreeDoc(m_doc);
    m_doc = doc;
    RootNode = nullptr;
    m_declared = declaration.present;
    // The parser makes every line break LF; the file's own kind is put back
    // on saving when its layout is kept. Noted in the document's slot for
    // the application, which nothing else of ours uses.
    const std::size_t lineBreak = bytes.find('\n');
    if (lineBreak != std::string::npos && lineBreak > 0 && bytes[lineBreak - 1] == '\r')
        m_doc->_private = const_cast<char*>(kCrLfLines);
}

void tXMLDocument::Save()
{
    requireChangeable();
    if (FileName.empty())
        throw EInOutError("Cannot save a document that has no file name");
    // Without its root element the file would hold no XML document at all:
    // nothing could load it again, so the old file is kept instead.
    if (!xmlDocGetRootElement(m_doc))
        throw EInOutError("Cannot save " + FileName + ": the document has no root element");

    // A document that names no encoding is UTF-8 (without one, libxml2
    // would write every other character as a reference); any other encoding
    // must be declared for the file to be read back.
    const char* encoding = m_doc->encoding ? reinterpret_cast<const char*>(m_doc->encoding) : "UTF-8";
    const bool declare = m_declared || (m_doc->encoding && !isUtf8Name(m_doc->encoding));
    std::string bytes;
    {
        LibxmlMessages errors;
        xmlSaveCtxtPtr writer = xmlSaveToIO(&appendToString, nullptr, &bytes, encoding,
                                            (m_layout == Layout::Keep ? 0 : XML_SAVE_FORMAT) |
                                                (declare ? 0 : XML_SAVE_NO_DECL));
        if (!writer)
            throw EInOutError("Cannot save " + FileName + ": " +
                              errors.firstError(std::string("unsupported encoding ") + encoding));
        const long saved = xmlSaveDoc(writer, m_doc);
        const int closed = xmlSaveClose(writer);
        if (saved < 0 || closed < 0 || errors.failed())
            throw EInOutError("Cannot save " + FileName + ": " +
                              errors.firstError("the document cannot be written"));
    }
    if (m_layout == Layout::Keep && m_doc->_private == kCrLfLines) {
        // The serializer writes a carriage return in content as "&#13;": every
        // raw LF is a line break of the layout.
        bytes = ReplaceAll(bytes, "\n", "\r\n");
    }
    SaveFileWhole(FileName, bytes);
}

void tXMLDocument::SaveAs(const std::string& fileName)
{
    requireChangeable();
    FileName = fileName;
    Save();
}

void tXMLDocument::WriteProlog()
{
    requireChangeable();
    const std::string version = unquote(Version);
    const std::string encoding = unquote(Encoding);
    if (version.empty() || version.find_first_not_of("0123456789.") != std::string::npos)
        throw EInvalidXMLOp("Invalid version in the XML declaration: " + Version);
    if (!encoding.empty()) {
        xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(encoding.c_str());
        if (!handler)
            throw EInvalidXMLOp("Unsupported encoding in the XML declaration: " + Encoding);
        xmlCharEncCloseFunc(handler);
    }
    std::string comment;
    if (!DocType.empty()) {
        comment = toXmlText(DocType);
        if (comment.find("--") != std::string::npos || comment.back() == '-')
            throw EInvalidXMLOp("A comment cannot hold \"--\" or end with \"-\": " + DocType);
    }

    // libxml2 keeps the declaration as document properties, not as a node;
    // the serializer writes it in front of everything else.
    if (m_doc->version)
        xmlFree(const_cast<xmlChar*>(m_doc->version));
    m_doc->version = xmlStrdup(xmlStr(version));
    if (m_doc->encoding)
        xmlFree(const_cast<xmlChar*>(m_doc->encoding));
    m_doc->encoding = encoding.empty() ? nullptr : xmlStrdup(xmlStr(encoding));
    m_declared = true;

    if (!comment.empty())
        xmlAddChild(reinterpret_cast<xmlNodePtr>(m_doc), xmlNewDocComment(m_doc, xmlStr(comment)));
}

tXMLNode tXMLDocument::CreateRoot(const std::string& name)
{
    requireChangeable();
    if (!isXmlName(name))
        throw EInvalidXMLOp("Invalid node tag " + name + " for the root");
    if (xmlDocGetRootElement(m_doc))
        throw EInvalidXMLOp("The document already has a root element");
    xmlNodePtr root = xmlNewDocNode(m_doc, nullptr, xmlStr(name), nullptr);
    xmlAddChild(reinterpret_cast<xmlNodePtr>(m_doc), root);
    RootNode = root;
    return root;
}

// ---- Reading -------------------------------------------------------------------

namespace {

// Enough for any field lookup on a 100 MB document (each step visits every
// node at most a few times), a second or two of work at most.
constexpr unsigned long kXPathOperationLimit = 100'000'000;

// Axes that, taken from a set of nested or neighbouring nodes, reach the
// same nodes again and again.
constexpr std::string_view kOverlappingAxes[] = {"ancestor", "ancestor-or-self", "descendant",
                                                 "descendant-or-self", "following", "following-sibling",
                                                 "preceding", "preceding-sibling"};

// Refuses expressions whose cost can grow far beyond the document's size.
// After one descendant step the context holds nested nodes, and a second
// one (or any overlapping axis) reaches each node once per ancestor; the
// processor then removes the duplicates pairwise at every later step. On a
// document 200 levels deep "//a//a" followed by thirty "/a" steps ran for
// minutes. The paths of metadata fields are element names and "*" with the
// "//" put in front of anywhere paths, far from this.
void checkExpressionCost(const std::string& expression)
{
    // Counted per location path: a predicate or a parenthesised expression
    // starts its own (a predicate runs with one context node at a time), and
    // each side of a union is a path of its own.
    std::vector<int> descendantSteps(1, 0);
    bool refused = false;
    char quote = 0;
    for (std::size_t i = 0; i < expression.size() && !refused; ++i) {
        const char c = expression[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '[' || c == '(') {
            descendantSteps.push_back(0);
        } else if ((c == ']' || c == ')') && descendantSteps.size() > 1) {
            descendantSteps.pop_back();
        } else if (c == '|') {
            descendantSteps.back() = 0;
        } else if (c == '/' && i + 1 < expression.size() && expression[i + 1] == '/') {
            refused = ++descendantSteps.back() > 1;
            ++i;
        } else if (c == ':' && i + 1 < expression.size() && expression[i + 1] == ':') {
            std::size_t end = i; // the axis name may stand apart from its "::"
            while (end > 0 && std::isspace(static_cast<unsigned char>(expression[end - 1])))
                --end;
            std::size_t start = end;
            while (start > 0 && (std::isalpha(static_cast<unsigned char>(expression[start - 1])) ||
                                 expression[start - 1] == '-'))
                --start;
            const std::string_view axis = std::string_view(expression).substr(start, end - start);
            for (std::string_view overlapping : kOverlappingAxes)
                refused = refused || axis == overlapping;
            ++i;
        }
    }
    if (refused)
        throw EInvalidXMLOp("Unsupported XPath " + expression +
                            ": one descendant step (\"//\") at most, and no ancestor, descendant, following or "
                            "preceding axis");
}

// Evaluates `expression` with the document node as context node. Nodes that
// are not part of the tree (namespace nodes are copies freed with the result)
// and the document node itself are left out.
tXMLNodeList selectNodes(xmlDocPtr doc, const std::string& expression)
{
    checkExpressionCost(expression);
    LibxmlMessages errors;
    std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> context(xmlXPathNewContext(doc),
                                                                             &xmlXPathFreeContext);
    if (!context)
        throw std::bad_alloc();
    context->node = reinterpret_cast<xmlNodePtr>(doc);
    // The steps the processor counts stop at a bound instead of running on.
    context->opLimit = kXPathOperationLimit;
    std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> result(
        xmlXPathEvalExpression(xmlStr(expression), context.get()), &xmlXPathFreeObject);
    if (!result || errors.failed())
        throw EInvalidXMLOp(errors.firstError("Invalid expression") + " in XPath " + expression);
    if (result->type != XPATH_NODESET)
        throw EInvalidXMLOp("The XPath " + expression + " does not select nodes");

    tXMLNodeList nodes;
    if (const xmlNodeSet* set = result->nodesetval) {
        nodes.reserve(static_cast<std::size_t>(set->nodeNr));
        for (int i = 0; i < set->nodeNr; ++i) {
            xmlNodePtr node = set->nodeTab[i];
            if (node && node->type != XML_NAMESPACE_DECL && node->type != XML_DOCUMENT_NODE &&
                node->type != XML_HTML_DOCUMENT_NODE)
                nodes.push_back(node);
        }
    }
    return nodes;
}

} // namespace

tXMLNode tXMLDocument::FindNode(std::string path) const
{
    const tXMLNodeList nodes = FindNodes(withoutTrailingSlash(std::move(path)));
    return nodes.empty() ? nullptr : nodes.front();
}

tXMLNodeList tXMLDocument::FindNodes(const std::string& path) const
{
    return selectNodes(m_doc, "//" + path);
}

std::string tXMLDocument::GetNodeText(const std::string& path) const
{
    return readNodeText(FindNode(path));
}

std::string tXMLDocument::GetNodeTextAt(const std::string& path, unsigned offset) const
{
    const tXMLNodeList nodes = FindNodes(path);
    return offset < nodes.size() ? readNodeText(nodes[offset]) : std::string();
}

std::string tXMLDocument::NodeText(const xmlNode* node)
{
    return readNodeText(node);
}

tVectorOfString tXMLDocument::GetNodeTexts(const std::string& path) const
{
    return CollectTexts(selectNodes(m_doc, path));
}

tVectorOfString tXMLDocument::CollectTexts(const tXMLNodeList& nodes)
{
    tVectorOfString texts;
    std::size_t entityText = 0;
    for (const xmlNode* node : nodes)
        if (node && node->type != XML_TEXT_NODE)
            collectTexts(node, texts, entityText, node->type == XML_ENTITY_DECL);
    return texts;
}

// ---- Writing text ----------------------------------------------------------------

tXMLNode tXMLDocument::SetNodeText(const std::string& path, const std::string& text)
{
    requireChangeable();
    tXMLNode node = FindNode(path);
    if (!node)
        return AddNodeWithText(path, text);
    // A path may select a text node itself (…/text()); it has no children
    // to look at, so its own value is the text.
    if (IsTextNode(node))
        setTextValue(node, text);
    else if (IsTextNode(node->children))
        setTextValue(node->children, text);
    else
        AppendText(node, text);
    return node;
}

tXMLNode tXMLDocument::SetNodeTextAt(const std::string& path, const std::string& text, unsigned offset)
{
    requireChangeable();
    const tXMLNodeList nodes = selectNodes(m_doc, path);
    if (offset < nodes.size())
        return ReplaceText(nodes, text, offset);
    const unsigned missing = offset - static_cast<unsigned>(nodes.size());
    if (missing > kMaxAppendedElements)
        throw EInvalidXMLOp("Invalid offset in SetNodeTextAt: " + std::to_string(offset));
    for (unsigned i = 0; i < missing; ++i)
        AddNodeWithText(path, "");
    AddNodeWithText(path, text);
    return nullptr;
}

tXMLNode tXMLDocument::ReplaceText(const tXMLNodeList& nodes, const std::string& text, unsigned offset)
{
    requireChangeable();
    if (offset >= nodes.size() || !nodes[offset])
        throw EInvalidXMLOp("Invalid offset in ReplaceText: " + std::to_string(offset));
    tXMLNode node = nodes[offset];
    if (IsTextNode(node))
        setTextValue(node, text);
    else if (IsTextNode(node->children))
        setTextValue(node->children, text);
    else if (node->children)
        throw EInvalidXMLOp("No TEXT node at Offset in ReplaceText");
    else
        AppendText(node, text);
    return node;
}

tXMLNode tXMLDocument::CreateNodePath(std::string path, bool appendLast)
{
    requireChangeable();
    path = withoutTrailingSlash(std::move(path));
    const tVectorOfString steps = SplitString(path, '/');
    const std::size_t high = steps.size() - 1;
    const std::size_t last = appendLast ? high - 1 : high;  // wraps to npos for one step: no loop

    const auto appendElement = [&](tXMLNode parent, const std::string& name) {
        if (name.empty())
            throw EInvalidXMLOp("Empty node tag in " + path);
        if (!isXmlName(name))
            throw EInvalidXMLOp("Invalid node tag " + name + " in " + path);
        if (parent->type != XML_ELEMENT_NODE)
            throw EInvalidXMLOp("Cannot add the element " + name + " below a node that is not an element in " + path);
        if (elementDepth(parent) >= kMaxElementDepth)
            throw EInvalidXMLOp("The path " + path + " goes deeper than the " + std::to_string(kMaxElementDepth) +
                                " levels of elements a document may have");
        xmlNodePtr element = xmlNewDocNode(m_doc, nullptr, xmlStr(name), nullptr);
        if (!element)
            throw std::bad_alloc();
        if (m_layout == Layout::Keep)
            placeIndented(parent, element);
        else
            xmlAddChild(parent, element);
        return element;
    };

    tXMLNode parent = nullptr;
    std::string prefix;
    for (std::size_t i = 0; last != std::string::npos && i <= last; ++i) {
        if (steps[i].empty()) {
            if (i == high)
                break;
            throw EInvalidXMLOp("Empty node tag in " + path);
        }
        prefix += "/" + steps[i];
        const tXMLNodeList matches = selectNodes(m_doc, prefix);
        if (matches.empty()) {
            if (!parent)
                throw EInvalidXMLOp("Ambiguous node Xpath for " + path);
            parent = appendElement(parent, steps[i]);
        } else if (matches.size() == 1) {
            parent = matches.front();
        } else {
            parent = nullptr;
        }
    }
    if (appendLast) {
        if (!parent)
            throw EInvalidXMLOp("Ambiguous node Xpath for " + path);
        parent = appendElement(parent, steps[last + 1]);
    }
    return parent;
}

namespace {

bool isBlankText(const xmlNode* node)
{
    return node && node->type == XML_TEXT_NODE && xmlIsBlankNode(const_cast<xmlNode*>(node));
}

// The indentation in front of `node`: the white space after the last line
// break of the blank text before it ("" when there is none).
std::string indentBefore(const xmlNode* node)
{
    if (!node || !isBlankText(node->prev))
        return {};
    const std::string blank = fromXml(node->prev->content);
    const std::size_t lineBreak = blank.rfind('\n');
    return lineBreak == std::string::npos ? std::string() : blank.substr(lineBreak + 1);
}

xmlNodePtr newBlank(xmlDocPtr doc, const std::string& text)
{
    xmlNodePtr blank = xmlNewDocText(doc, xmlStr(text));
    if (!blank)
        throw std::bad_alloc();
    return blank;
}

} // namespace

void tXMLDocument::placeIndented(xmlNodePtr parent, xmlNodePtr element)
{
    xmlNodePtr lastElement = xmlLastElementChild(parent);
    if (lastElement) {
        // After the last element, behind a copy of the line break and
        // indentation in front of it; what closes the parent stays last.
        xmlAddNextSibling(lastElement, element);
        if (isBlankText(lastElement->prev)) {
            // One line break, not the blank lines that may part groups.
            const std::string blank = fromXml(lastElement->prev->content);
            const bool onNewLine = blank.find('\n') != std::string::npos;
            xmlAddPrevSibling(element, newBlank(m_doc, onNewLine ? "\n" + indentBefore(lastElement) : blank));
        }
        return;
    }
    const bool onlyBlank = parent->children && parent->children == parent->last && isBlankText(parent->children);
    if (parent->children && !onlyBlank) {
        // Text content of its own: the element joins it as it is.
        xmlAddChild(parent, element);
        return;
    }
    // The first child of an empty element: one step deeper than the parent,
    // the step being the parent's own indentation against its parent's.
    const std::string indent = indentBefore(parent);
    const std::string outer = parent->parent && parent->parent->type == XML_ELEMENT_NODE
                                  ? indentBefore(parent->parent) : std::string();
    std::string step = indent.size() > outer.size() && indent.compare(0, outer.size(), outer) == 0
                           ? indent.substr(outer.size()) : std::string();
    if (step.empty())
        step = "  ";
    if (onlyBlank) {
        // The blank that closes the parent stays where it is.
        xmlAddPrevSibling(parent->children, element);
    } else {
        xmlAddChild(parent, element);
        xmlAddChild(parent, newBlank(m_doc, "\n" + indent));
    }
    xmlAddPrevSibling(element, newBlank(m_doc, "\n" + indent + step));
}

tXMLNode tXMLDocument::AppendText(tXMLNode element, const std::string& text)
{
    requireChangeable();
    if (!element)
        throw EInvalidOperation("Node not found in AppendText");
    if (element->type != XML_ELEMENT_NODE && element->type != XML_ATTRIBUTE_NODE)
        throw EInvalidXMLOp("Text can only be added to an element");
    // Linked by hand: xmlAddChild would merge the new text into a text node
    // that ends the element, where the DOM keeps two text nodes.
    xmlNodePtr textNode = xmlNewDocText(element->doc, xmlStr(toXmlText(text)));
    if (!textNode)
        throw std::bad_alloc();
    textNode->parent = element;
    textNode->prev = element->last;
    if (element->last)
        element->last->next = textNode;
    else
        element->children = textNode;
    element->last = textNode;
    return element;
}

tXMLNode tXMLDocument::AddNodeWithText(const std::string& path, const std::string& text)
{
    return AppendText(CreateNodePath(path, true), text);
}

// ---- Removing ------------------------------------------------------------------

tXMLNode tXMLDocument::RemoveTextChildren(tXMLNode element)
{
    requireChangeable();
    if (!element)
        throw EInvalidOperation("Node not found in RemoveTextChildren");
    if (element->type != XML_ELEMENT_NODE && element->type != XML_ATTRIBUTE_NODE)
        return element;
    for (xmlNodePtr child = element->last; child;) {
        xmlNodePtr previous = child->prev;
        if (IsTextNode(child)) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        }
        child = previous;
    }
    return element;
}

void tXMLDocument::ClearNodeText(const std::string& path, bool allowSeveral)
{
    requireChangeable();
    const tXMLNodeList nodes = FindNodes(path);
    if (nodes.size() > 1 && !allowSeveral)
        throw EInvalidXMLOp("Several nodes correspond to the XPath to be cleared.");
    for (tXMLNode node : nodes)
        RemoveTextChildren(node);
}

void tXMLDocument::DeleteNode(const std::string& path)
{
    requireChangeable();
    tXMLNode node = FindNode(path);
    if (!node)
        return;
    if (node == RootNode)
        RootNode = nullptr;
    if (node->type == XML_ATTRIBUTE_NODE) {
        xmlRemoveProp(reinterpret_cast<xmlAttrPtr>(node));
    } else {
        xmlUnlinkNode(node);
        xmlFreeNode(node);
    }
}

// ---- Attributes ----------------------------------------------------------------

_xmlAttr* tXMLDocument::GetAttributeNode(tXMLNode node, const std::string& name) const
{
    if (!node)
        throw EInvalidOperation("Node not found in GetAttributeNode");
    if (node->type != XML_ELEMENT_NODE)
        return nullptr;
    // Matched by qualified name, as the DOM's attribute map does; libxml2's
    // own look-up would also return declarations from the DTD.
    for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
        std::string qualified = fromXml(attribute->name);
        if (attribute->ns && attribute->ns->prefix)
            qualified = fromXml(attribute->ns->prefix) + ":" + qualified;
        if (qualified == name)
            return attribute;
    }
    return nullptr;
}

void tXMLDocument::SetNodeAttribute(tXMLNode element, const std::string& name, const std::string& value)
{
    requireChangeable();
    xmlAttrPtr attribute = GetAttributeNode(element, name);
    if (element->type != XML_ELEMENT_NODE)
        throw EInvalidXMLOp("Attributes can only be set on elements");
    if (!attribute) {
        if (!isXmlName(name))
            throw EInvalidXMLOp("Invalid attribute name " + name);
        attribute = xmlNewProp(element, xmlStr(name), nullptr);
        if (!attribute)
            throw std::bad_alloc();
    }
    // Replaced as a plain text child: xmlNodeSetContent would read "&"
    // in the value as the start of an entity reference.
    xmlNodePtr text = xmlNewDocText(element->doc, xmlStr(toXmlText(value)));
    if (!text)
        throw std::bad_alloc();
    xmlFreeNodeList(attribute->children);
    text->parent = reinterpret_cast<xmlNodePtr>(attribute);
    attribute->children = attribute->last = text;
}

void tXMLDocument::SetAttribute(const std::string& path, const std::string& name, bool createIfMissing,
                                const std::string& value)
{
    requireChangeable();
    tXMLNode node = FindNode(path);
    if (!node) {
        if (!createIfMissing)
            return;
        node = CreateNodePath(path, true);
    }
    SetNodeAttribute(node, name, value);
}

bool tXMLDocument::IsTextNode(const _xmlNode* node)
{
    return node && node->type == XML_TEXT_NODE;
}

// ---- The sample document ---------------------------------------------------------

void WriteTestXML(const std::string& fileName)
{
    tXMLDocument doc;
    doc.DocType = EsriMetadataDocType;
    doc.WriteProlog();
    doc.CreateRoot("root");

    doc.CreateNodePath("root/level1/text1", false);
    doc.CreateNodePath("root/level1/text2", false);
    doc.CreateNodePath("root/level1/text3", false);
    doc.CreateNodePath("root/level1/Level2/text4", false);
    doc.CreateNodePath("root/level1/text2", false);

    doc.SetNodeText("root/level1/text1/", "This is text1");

    doc.AddNodeWithText("root/level1/text1", "This is more text1");
    doc.AddNodeWithText("root/level1/text3", "This is text3");
    doc.AddNodeWithText("root/newlevel1/newlevel2/text5", "This is text5");
    doc.AddNodeWithText("root/newlevel1/newlevel2/text5", "This is text5bis");

    doc.SetNodeText("root/newlevel1/newlevel2/text5", "This is text5ter");
    doc.SetNodeText("root/newlevel1/yetanotherlevel/text6", "This is text6");
    doc.SetNodeText("root/level1/text3", "This is new text3");

    doc.ClearNodeText("root/level1/text1", true);

    doc.AddNodeWithText("root/test", "text1");
    doc.AddNodeWithText("root/test", "text2");
    doc.AddNodeWithText("root/test", "text3");

    doc.SetNodeTextAt("root/test", "newtext2", 1);
    doc.SetNodeTextAt("root/test", "newtext4", 3);
    doc.SetNodeTextAt("root/test2", "newtext1", 0);
    doc.SetNodeTextAt("root/test3", "newtext1", 2);

    doc.SaveAs(fileName);
}
