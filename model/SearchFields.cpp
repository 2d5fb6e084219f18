#include "SearchFields.h"

#include <exception>

#include "XMLOps.h"

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

// Both read with the field map's precedence (the first configured path that
// gives a text), as the catalogue does, so a data set is found by the same
// title the catalogue and the pages show.
std::string readFieldText(const tXMLDocument& doc, const FieldMapEntry& field)
{
    return Trim(ReadFieldWith(field, [&](const std::string& path) { return doc.GetNodeTextAt(path, field.Offset); }));
}

std::string readFieldTexts(const tXMLDocument& doc, const FieldMapEntry& field)
{
    return ReadFieldWith(field, [&](const std::string& path) {
        std::string joined;
        for (const std::string& text : tXMLDocument::CollectTexts(doc.FindNodes(path))) {
            if (!joined.empty())
                joined += ' ';
            joined += text;
        }
        return joined;
    });
}

namespace {

bool coordinate(const tXMLDocument& doc, const FieldMapEntry& field, double limit, double& value)
{
    bool ok = false;
    // Some documents write a decimal comma.
    QString text = QString::fromStdString(readFieldText(doc, field));
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    value = text.toDouble(&ok);
    return ok && value >= -limit && value <= limit;
}

} // namespace

bool readSearchFields(const std::string& xmlPath, const SearchFieldPaths& paths,
                      SearchFields& fields, QString& error)
{
    fields = SearchFields();
    try {
        tXMLDocument doc(xmlPath);
        auto text = [&](const FieldMapEntry& f) { return QString::fromStdString(readFieldText(doc, f)); };
        auto texts = [&](const FieldMapEntry& f) { return QString::fromStdString(readFieldTexts(doc, f)); };
        fields.title = text(paths.title);
        fields.abstract = text(paths.abstract);
        fields.purpose = text(paths.purpose);
        fields.keywords = texts(paths.keywords);
        fields.places = texts(paths.places);
        fields.originator = text(paths.originator);
        double w, e, s, n;
        if (coordinate(doc, paths.west, 180, w) && coordinate(doc, paths.east, 180, e) &&
            coordinate(doc, paths.south, 90, s) && coordinate(doc, paths.north, 90, n) && s <= n) {
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
