#pragma once
// Helpers shared by the XML document tests: documents from text, and text
// pictures of element trees.
#include <libxml/tree.h>

#include <sys/stat.h>

#include <memory>
#include <sstream>
#include <string>

#include "TestUtil.h"
#include "xml/XMLOps.h"

using testutil::TempDir;
using testutil::readFile;
using testutil::writeFile;

// A document loaded from the given XML text through a file in `dir`.
inline std::unique_ptr<tXMLDocument> documentFrom(const TempDir& dir, const std::string& xml,
                                                  const std::string& name = "doc.xml")
{
    writeFile(dir / name, xml);
    return std::make_unique<tXMLDocument>(dir / name);
}

// name="text"{children} for an element: its direct text children joined,
// its child elements in braces; comments as <!--text-->.
inline std::string describe(const xmlNode* node)
{
    if (node->type == XML_COMMENT_NODE)
        return "<!--" + std::string(reinterpret_cast<const char*>(node->content)) + "-->";
    std::string text, children;
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type == XML_TEXT_NODE)
            text += reinterpret_cast<const char*>(child->content);
        else if (child->type == XML_ELEMENT_NODE || child->type == XML_COMMENT_NODE)
            children += (children.empty() ? "" : " ") + describe(child);
    }
    std::string out = reinterpret_cast<const char*>(node->name);
    if (!text.empty())
        out += "=\"" + text + "\"";
    if (!children.empty())
        out += "{" + children + "}";
    return out;
}

// Every node below `node` with its kind, name and exact content, one a line.
inline void dumpTree(const xmlNode* node, std::ostringstream& out, int depth = 0)
{
    for (const xmlNode* child = node->children; child; child = child->next) {
        out << std::string(static_cast<std::size_t>(depth), ' ') << child->type << ' '
            << (child->name ? reinterpret_cast<const char*>(child->name) : "");
        if (child->type == XML_TEXT_NODE || child->type == XML_COMMENT_NODE ||
            child->type == XML_CDATA_SECTION_NODE)
            out << " [" << reinterpret_cast<const char*>(child->content) << ']';
        for (const xmlAttr* a = child->type == XML_ELEMENT_NODE ? child->properties : nullptr; a; a = a->next) {
            xmlChar* value = xmlNodeGetContent(reinterpret_cast<const xmlNode*>(a));
            out << " @";
            if (a->ns && a->ns->prefix)
                out << a->ns->prefix << ':';
            out << a->name << '=' << reinterpret_cast<const char*>(value);
            xmlFree(value);
        }
        out << '\n';
        if (child->type == XML_ELEMENT_NODE)
            dumpTree(child, out, depth + 1);
    }
}

inline std::string dumpDocument(const tXMLDocument& doc)
{
    std::ostringstream out;
    dumpTree(reinterpret_cast<const xmlNode*>(doc.DOMDocument()), out);
    return out.str();
}

inline unsigned permissions(const std::string& fileName)
{
    struct stat info {};
    if (::stat(fileName.c_str(), &info) != 0)
        return ~0u;
    return info.st_mode & 07777;
}
