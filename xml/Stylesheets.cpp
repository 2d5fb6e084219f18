#include "xml/Stylesheets.h"

#include "support/FileIdentity.h"
#include "support/FileOps.h"
#include "support/PathOps.h"
#include "support/StringOps.h"
#include "xml/PreparedDocument.h"

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxslt/documents.h>
#include <libxslt/extensions.h>
#include <libxslt/extra.h>
#include <libxslt/security.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltutils.h>

#include <QByteArray>

#include <sys/stat.h>

#include <cctype>
#include <list>
#include <mutex>
#include <string_view>

namespace {

const char* const kObsoleteMicrosoftXslNamespace = "http://www.w3.org/TR/WD-xsl";
const char* const kMicrosoftXsltNamespace = "urn:schemas-microsoft-com:xslt";

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
    return QByteArray::fromPercentEncoding(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())))
        .toStdString();
}

bool fileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

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

} // namespace

// The href of the first xml-stylesheet instruction before the root element
// that names an XSL stylesheet, or "" when there is none.
std::string stylesheetHref(xmlDoc* doc)
{
    for (xmlNode* node = doc->children; node && node->type != XML_ELEMENT_NODE; node = node->next) {
        if (node->type != XML_PI_NODE || !xmlStrEqual(node->name, asXml("xml-stylesheet")))
            continue;
        const std::string_view data(chars(node->content));
        const std::string type = LowerAscii(Trim(pseudoAttribute(data, "type")));
        const std::string href = Trim(pseudoAttribute(data, "href"));
        if (href.empty())
            continue;
        const bool xslType = type == "text/xsl" || type == "application/xslt+xml" || type == "text/xml"
                             || type == "application/xml";
        const std::string extension = LowerAscii(ExtractFileExt(href));
        if (xslType || (type.empty() && (extension == ".xsl" || extension == ".xslt")))
            return href;
    }
    return {};
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
        xsltRegisterExtModuleFunction(asXml("node-set"), asXml(kMicrosoftXsltNamespace), xsltFunctionNodeSet);
        xsltSetLoaderFunc(localDocumentLoader);
        // Also applies to xsl:include and xsl:import, checked without a
        // transformation context.
        xsltSetDefaultSecurityPrefs(securityPrefs());
    });
}

// The parsed stylesheet at `path`, from the cache when the file is unchanged.
StylesheetPtr loadStylesheet(const std::string& path, LibxmlMessages& messages, Problem& problem)
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
    if (root->ns && xmlStrEqual(root->ns->href, asXml(kObsoleteMicrosoftXslNamespace))) {
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
    style->encoding = xmlStrdup(asXml("UTF-8"));
    StylesheetPtr shared(style, xsltFreeStylesheet);
    stylesheetCache().store(path, identity, shared);
    return shared;
}

void ClearStylesheetCache()
{
    stylesheetCache().clear();
}
