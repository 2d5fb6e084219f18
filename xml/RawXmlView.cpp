#include "xml/RawXmlView.h"

#include "support/PathOps.h"
#include "support/StringOps.h"
#include "xml/PreparedDocument.h"

#include <cctype>
#include <string_view>

namespace {

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
.b64{display:block;color:var(--muted);white-space:normal;word-break:break-all;overflow-wrap:anywhere;
content-visibility:auto}
)CSS";

// Texts longer than this are shown on their own lines below the start tag.
constexpr std::size_t kInlineTextLimit = 160;

// About how many characters of Base64 text a line of the page holds (each
// line 1.55em high, the line height of .xml).
constexpr std::size_t kBase64LineChars = 100;

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
        AppendHtmlEscaped(m_out, name);
        m_out += "</span>=<span class=\"v\">&quot;";
        AppendHtmlEscaped(m_out, value);
        m_out += "&quot;</span>";
    }

    void startTag(const xmlNode* element, bool empty)
    {
        m_out += "<span class=\"t\">&lt;";
        AppendHtmlEscaped(m_out, qualifiedName(element));
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
        AppendHtmlEscaped(m_out, qualifiedName(element));
        m_out += "&gt;</span>";
    }

    void text(std::string_view content)
    {
        if (looksLikeBase64(content)) {
            // A picture's text is most of many metadata files, and breaking
            // it into lines costs the engine more than all the rest of the
            // page: it is laid out only once scrolled near (found and copied
            // all the same), holding meanwhile about the room its lines take.
            const std::string encoded = Trim(content);
            m_out += "<span class=\"b64\" style=\"contain-intrinsic-block-size:auto ";
            m_out += std::to_string((encoded.size() / kBase64LineChars + 1) * 155 / 100);
            m_out += "em\">";
            AppendHtmlEscaped(m_out, encoded);
            m_out += "</span>";
        } else {
            m_out += "<span class=\"x\">";
            AppendHtmlEscaped(m_out, tidied(content));
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
            AppendHtmlEscaped(m_out, Trim(chars(node->content)));
            m_out += "</span>";
        } else if (node->type == XML_ENTITY_REF_NODE) {
            m_out += "<span class=\"x\">&amp;";
            AppendHtmlEscaped(m_out, chars(node->name));
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
            AppendHtmlEscaped(m_out, chars(node->content));
            m_out += "</span><span class=\"p\">]]&gt;</span></div>\n";
            break;
        case XML_ENTITY_REF_NODE:
            m_out += "<div class=\"l\">";
            inlineNode(node);
            m_out += "</div>\n";
            break;
        case XML_COMMENT_NODE:
            m_out += "<div class=\"l c\">&lt;!--";
            AppendHtmlEscaped(m_out, chars(node->content));
            m_out += "--&gt;</div>\n";
            break;
        case XML_PI_NODE:
            m_out += "<div class=\"l p\">&lt;?";
            AppendHtmlEscaped(m_out, chars(node->name));
            if (node->content && *node->content) {
                m_out += ' ';
                AppendHtmlEscaped(m_out, chars(node->content));
            }
            m_out += "?&gt;</div>\n";
            break;
        case XML_DTD_NODE: {
            xmlBufferPtr buffer = xmlBufferCreate();
            if (buffer) {
                xmlNodeDump(buffer, node->doc, const_cast<xmlNode*>(node), 0, 0);
                m_out += "<div class=\"l p\">";
                AppendHtmlEscaped(m_out, chars(xmlBufferContent(buffer)));
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

} // namespace

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
    AppendHtmlEscaped(page, shownPath);
    page += "</div>\n<div class=\"xml\">\n";
    if (!prepared.declaration.empty()) {
        page += "<div class=\"l p\">";
        AppendHtmlEscaped(page, prepared.declaration);
        page += "</div>\n";
    }
    RawXmlWriter(page).nodes(doc->children);
    page += "</div>\n</body></html>\n";
    return result;
}

RenderResult RenderRawXml(const std::string& xmlPath)
{
    LibxmlMessages messages;
    PreparedXml prepared;
    Problem problem;
    DocPtr doc = readXmlFile(xmlPath, kSourceOptions, prepared, messages, problem, xmlPath);
    if (!doc)
        return failure(problem);
    return rawXmlPage(doc.get(), prepared, xmlPath);
}
