#include "model/IsoMetadata.h"

#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "xml/XMLOps.h"

namespace {

const char* const kGmd = "http://www.isotc211.org/2005/gmd";
const char* const kGmi = "http://www.isotc211.org/2005/gmi";
// The namespaces of ISO 19115-3 are this followed by a short name and a
// version ("mdb/2.0"); their prefixes are those short names.
const char* const k19115Part3 = "http://standards.iso.org/iso/19115/-3/";

// The paths of one standard, from its metadata element.
struct Paths {
    const char* title;
    const char* abstract;
    const char* purpose;
    const char* keywords;
    const char* places;
    std::vector<const char*> originator; // the first that gives a text
    std::vector<const char*> date;
    const char* boxes;
    const char* west;
    const char* east;
    const char* south;
    const char* north;
};

const Paths kIso19139 = {
    "gmd:identificationInfo/*/gmd:citation/*/gmd:title/*[1]",
    "gmd:identificationInfo/*/gmd:abstract",
    "gmd:identificationInfo/*/gmd:purpose",
    "gmd:identificationInfo/*/gmd:descriptiveKeywords/*[not(gmd:type/*/@codeListValue='place')]/gmd:keyword"
    " | gmd:identificationInfo/*/gmd:topicCategory",
    "gmd:identificationInfo/*/gmd:descriptiveKeywords/*[gmd:type/*/@codeListValue='place']/gmd:keyword"
    " | gmd:identificationInfo/*/*[self::gmd:extent or self::srv:extent]/*/gmd:description"
    " | gmd:identificationInfo/*/*[self::gmd:extent or self::srv:extent]/*/gmd:geographicElement/*"
    "/gmd:geographicIdentifier/*/gmd:code",
    {"(gmd:identificationInfo/*/gmd:citation/*/gmd:citedResponsibleParty/*[gmd:role/*/@codeListValue='originator'])[1]"
     "/gmd:organisationName",
     "(gmd:identificationInfo/*/gmd:citation/*/gmd:citedResponsibleParty/*[gmd:role/*/@codeListValue='originator'])[1]"
     "/gmd:individualName",
     "(gmd:identificationInfo/*/gmd:pointOfContact/*)[1]/gmd:organisationName",
     "(gmd:identificationInfo/*/gmd:pointOfContact/*)[1]/gmd:individualName"},
    {"gmd:identificationInfo/*/gmd:citation/*/gmd:date/*[gmd:dateType/*/@codeListValue='publication']/gmd:date/*",
     "gmd:identificationInfo/*/gmd:citation/*/gmd:date/*[gmd:dateType/*/@codeListValue='creation']/gmd:date/*",
     "gmd:identificationInfo/*/gmd:citation/*/gmd:date/*[gmd:dateType/*/@codeListValue='revision']/gmd:date/*",
     "gmd:identificationInfo/*/gmd:citation/*/gmd:date/*/gmd:date/*", "gmd:dateStamp/*"},
    "gmd:identificationInfo/*/*[self::gmd:extent or self::srv:extent]/*/gmd:geographicElement"
    "/gmd:EX_GeographicBoundingBox",
    "gmd:westBoundLongitude/*",
    "gmd:eastBoundLongitude/*",
    "gmd:southBoundLatitude/*",
    "gmd:northBoundLatitude/*",
};

const Paths kIso19115Part3 = {
    "mdb:identificationInfo/*/mri:citation/*/cit:title/*[1]",
    "mdb:identificationInfo/*/mri:abstract",
    "mdb:identificationInfo/*/mri:purpose",
    "mdb:identificationInfo/*/mri:descriptiveKeywords/*[not(mri:type/*/@codeListValue='place')]/mri:keyword"
    " | mdb:identificationInfo/*/mri:topicCategory",
    "mdb:identificationInfo/*/mri:descriptiveKeywords/*[mri:type/*/@codeListValue='place']/mri:keyword"
    " | mdb:identificationInfo/*/mri:extent/*/gex:description"
    " | mdb:identificationInfo/*/mri:extent/*/gex:geographicElement/*/gex:geographicIdentifier/*/mcc:code",
    {"(mdb:identificationInfo/*/mri:citation/*/cit:citedResponsibleParty/*[cit:role/*/@codeListValue='originator'])[1]"
     "/cit:party/*/cit:name",
     "(mdb:identificationInfo/*/mri:pointOfContact/*)[1]/cit:party/*/cit:name"},
    {"mdb:identificationInfo/*/mri:citation/*/cit:date/*[cit:dateType/*/@codeListValue='publication']/cit:date/*",
     "mdb:identificationInfo/*/mri:citation/*/cit:date/*[cit:dateType/*/@codeListValue='creation']/cit:date/*",
     "mdb:identificationInfo/*/mri:citation/*/cit:date/*[cit:dateType/*/@codeListValue='revision']/cit:date/*",
     "mdb:identificationInfo/*/mri:citation/*/cit:date/*/cit:date/*",
     "mdb:dateInfo/*[cit:dateType/*/@codeListValue='creation']/cit:date/*"},
    "mdb:identificationInfo/*/mri:extent/*/gex:geographicElement/gex:EX_GeographicBoundingBox",
    "gex:westBoundLongitude/*",
    "gex:eastBoundLongitude/*",
    "gex:southBoundLatitude/*",
    "gex:northBoundLatitude/*",
};

bool named(const xmlNode* node, const char* name, const char* ns, bool nsIsPrefix = false)
{
    if (!node || node->type != XML_ELEMENT_NODE || !node->ns || !node->ns->href)
        return false;
    const char* href = reinterpret_cast<const char*>(node->ns->href);
    const bool inNs = nsIsPrefix ? std::strncmp(href, ns, std::strlen(ns)) == 0 : std::strcmp(href, ns) == 0;
    return inNs && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

// The ISO metadata element of the document, and which standard it follows.
xmlNode* metadataElement(xmlDoc* doc, const Paths*& paths)
{
    xmlNode* root = xmlDocGetRootElement(doc);
    auto standard = [&](xmlNode* e) -> const Paths* {
        if (named(e, "MD_Metadata", kGmd) || named(e, "MI_Metadata", kGmi))
            return &kIso19139;
        if (named(e, "MD_Metadata", k19115Part3, true) || named(e, "MI_Metadata", k19115Part3, true))
            return &kIso19115Part3;
        return nullptr;
    };
    if ((paths = standard(root)))
        return root;
    for (xmlNode* child = root ? root->children : nullptr; child; child = child->next)
        if ((paths = standard(child)))
            return child;
    return nullptr;
}

// Every namespace the elements below `top` are in, by the prefix the paths
// above use for it.
void registerNamespaces(xmlXPathContext* context, const xmlNode* top)
{
    std::map<std::string, std::string> found = {
        {"gmd", kGmd},
        {"gco", "http://www.isotc211.org/2005/gco"},
        {"gmx", "http://www.isotc211.org/2005/gmx"},
        {"srv", "http://www.isotc211.org/2005/srv"},
    };
    const size_t baseLength = std::strlen(k19115Part3);
    std::vector<const xmlNode*> stack{top};
    while (!stack.empty()) {
        const xmlNode* node = stack.back();
        stack.pop_back();
        for (const xmlNode* child = node->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE)
                stack.push_back(child);
        if (!node->ns || !node->ns->href)
            continue;
        const std::string href = reinterpret_cast<const char*>(node->ns->href);
        if (href.compare(0, baseLength, k19115Part3) != 0)
            continue;
        const std::string name = href.substr(baseLength, href.find('/', baseLength) - baseLength);
        found.emplace(name, href); // the first version met of each
    }
    // Prefixes the paths use that no element below is in still need a
    // namespace (an unknown prefix is an error of the whole path).
    for (const char* name : {"mdb/2.0", "mri/1.0", "cit/2.0", "gex/1.0", "mcc/1.0"}) {
        const std::string n = name;
        found.emplace(n.substr(0, n.find('/')), std::string(k19115Part3) + n);
    }
    for (const auto& [prefix, href] : found)
        xmlXPathRegisterNs(context, reinterpret_cast<const xmlChar*>(prefix.c_str()),
                           reinterpret_cast<const xmlChar*>(href.c_str()));
}

class Reader {
public:
    Reader(xmlDoc* doc, xmlNode* metadata) : m_context(xmlXPathNewContext(doc), &xmlXPathFreeContext)
    {
        if (!m_context)
            throw EInOutError("out of memory reading an ISO document");
        registerNamespaces(m_context.get(), metadata);
        m_context->node = metadata;
    }

    tXMLNodeList nodes(const char* path, xmlNode* from = nullptr)
    {
        if (from)
            m_context->node = from;
        std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> result(
            xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(path), m_context.get()), &xmlXPathFreeObject);
        tXMLNodeList list;
        if (result && result->type == XPATH_NODESET && result->nodesetval)
            for (int i = 0; i < result->nodesetval->nodeNr; ++i)
                list.push_back(result->nodesetval->nodeTab[i]);
        return list;
    }

    // The texts below the nodes, joined by spaces.
    static QString textOf(const tXMLNodeList& list)
    {
        QStringList parts;
        for (const std::string& t : tXMLDocument::CollectTexts(list))
            if (!t.empty())
                parts << QString::fromStdString(t);
        return parts.join(QLatin1Char(' '));
    }

    QString text(const char* path, xmlNode* from = nullptr) { return textOf(nodes(path, from)); }

    QString firstText(const tXMLNodeList& list)
    {
        for (xmlNode* n : list)
            if (QString t = textOf({n}); !t.isEmpty())
                return t;
        return {};
    }

private:
    std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> m_context;
};

} // namespace

bool readIsoMetadata(const tXMLDocument& document, IsoTexts& texts)
{
    texts = IsoTexts();
    const Paths* paths = nullptr;
    xmlNode* metadata = document.DOMDocument() ? metadataElement(document.DOMDocument(), paths) : nullptr;
    if (!metadata)
        return false;
    Reader r(document.DOMDocument(), metadata);
    texts.title = r.firstText(r.nodes(paths->title));
    texts.abstract = r.text(paths->abstract);
    texts.purpose = r.text(paths->purpose);
    texts.keywords = r.text(paths->keywords);
    texts.places = r.text(paths->places);
    for (const char* path : paths->originator)
        if (!(texts.originator = r.firstText(r.nodes(path))).isEmpty())
            break;
    for (const char* path : paths->date)
        if (!(texts.date = r.firstText(r.nodes(path))).isEmpty())
            break;

    // The boxes: their union unless one crosses the antimeridian, then the first.
    bool first = true;
    double w = 0, e = 0, s = 0, n = 0;
    for (xmlNode* box : r.nodes(paths->boxes)) {
        const QString tw = r.text(paths->west, box), te = r.text(paths->east, box);
        const QString ts = r.text(paths->south, box), tn = r.text(paths->north, box);
        bool ok[4];
        const double v[4] = {tw.toDouble(&ok[0]), te.toDouble(&ok[1]), ts.toDouble(&ok[2]), tn.toDouble(&ok[3])};
        if (first) {
            texts.west = tw, texts.east = te, texts.south = ts, texts.north = tn;
            first = false;
            if (!(ok[0] && ok[1] && ok[2] && ok[3]) || v[0] > v[1])
                break;
            w = v[0], e = v[1], s = v[2], n = v[3];
            continue;
        }
        if (!(ok[0] && ok[1] && ok[2] && ok[3]) || v[0] > v[1])
            continue;
        w = std::min(w, v[0]), e = std::max(e, v[1]), s = std::min(s, v[2]), n = std::max(n, v[3]);
        texts.west = QString::number(w, 'g', 17), texts.east = QString::number(e, 'g', 17);
        texts.south = QString::number(s, 'g', 17), texts.north = QString::number(n, 'g', 17);
    }
    return true;
}
