#include "model/SearchFields.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "xml/XMLOps.h"

SearchFieldPaths SearchFieldPaths::fromConfiguration()
{
    SearchFieldPaths p;
    p.title = FieldMap[fiProdName];
    p.abstract = FieldMap[fiProdDesc];
    p.purpose = FieldMapEntry{"Purpose", "descript/purpose", 0, {"dataIdInfo/idPurp"}};
    p.keywords = FieldMap[fiTheme];
    p.places = FieldMap[fiLocation];
    p.originator = FieldMap[fiCreatorName];
    p.west = FieldMap[fiWest];
    p.east = FieldMap[fiEast];
    p.south = FieldMap[fiSouth];
    p.north = FieldMap[fiNorth];
    return p;
}

namespace {

std::vector<std::string> distinctPaths(const SearchFieldPaths& p)
{
    std::vector<std::string> paths;
    auto add = [&](const std::string& path) {
        if (!path.empty() && std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(path);
    };
    for (const FieldMapEntry* f : {&p.title, &p.abstract, &p.purpose, &p.keywords, &p.places, &p.originator,
                                   &p.west, &p.east, &p.south, &p.north}) {
        add(f->XML_Path);
        for (const std::string& path : f->FallbackPaths)
            add(path);
    }
    return paths;
}

bool coordinate(const std::string& text, double limit, double& value)
{
    bool ok = false;
    // Some documents write a decimal comma.
    QString number = QString::fromStdString(text);
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    value = number.toDouble(&ok);
    return ok && value >= -limit && value <= limit;
}

} // namespace

SearchFieldReader::SearchFieldReader(const SearchFieldPaths& paths)
    : m_fields(paths), m_paths(distinctPaths(paths)), m_matcher(m_paths)
{
}

bool SearchFieldReader::read(const std::string& xmlPath, SearchFields& fields, QString& error) const
{
    fields = SearchFields();
    try {
        tXMLDocument doc(xmlPath, tXMLDocument::Layout::ReadOnly);
        const std::vector<tXMLNodeList> matched = m_matcher.match(doc);
        // Paths the one pass does not answer are evaluated only when a
        // field asks for them, as reading them one by one would.
        std::vector<std::optional<tXMLNodeList>> evaluated(m_paths.size());
        auto nodesAt = [&](const std::string& path) -> const tXMLNodeList& {
            const size_t i = size_t(std::find(m_paths.begin(), m_paths.end(), path) - m_paths.begin());
            if (m_matcher.handles(i))
                return matched[i];
            if (!evaluated[i])
                evaluated[i] = doc.FindNodes(path);
            return *evaluated[i];
        };
        auto text = [&](const FieldMapEntry& f) {
            return Trim(ReadFieldWith(f, [&](const std::string& path) {
                const tXMLNodeList& nodes = nodesAt(path);
                return f.Offset < nodes.size() ? tXMLDocument::NodeText(nodes[f.Offset]) : std::string();
            }));
        };
        auto texts = [&](const FieldMapEntry& f) {
            return ReadFieldWith(f, [&](const std::string& path) {
                std::string joined;
                for (const std::string& t : tXMLDocument::CollectTexts(nodesAt(path))) {
                    if (!joined.empty())
                        joined += ' ';
                    joined += t;
                }
                return joined;
            });
        };
        fields.title = QString::fromStdString(text(m_fields.title));
        fields.abstract = QString::fromStdString(text(m_fields.abstract));
        fields.purpose = QString::fromStdString(text(m_fields.purpose));
        fields.keywords = QString::fromStdString(texts(m_fields.keywords));
        fields.places = QString::fromStdString(texts(m_fields.places));
        fields.originator = QString::fromStdString(text(m_fields.originator));
        double w, e, s, n;
        if (coordinate(text(m_fields.west), 180, w) && coordinate(text(m_fields.east), 180, e) &&
            coordinate(text(m_fields.south), 90, s) && coordinate(text(m_fields.north), 90, n) && s <= n) {
            if (w > e) {
                w = -180;
                e = 180;
            }
            fields.hasExtent = true;
            fields.west = w;
            fields.east = e;
            fields.south = s;
            fields.north = n;
        }
        return true;
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    return false;
}
