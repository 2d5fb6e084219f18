#include "model/SearchFields.h"

#include <QRegularExpression>

#include <algorithm>
#include <exception>
#include <optional>

#include "model/IsoMetadata.h"
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
    p.date = FieldMap[fiCreationDate];
    p.west = FieldMap[fiWest];
    p.east = FieldMap[fiEast];
    p.south = FieldMap[fiSouth];
    p.north = FieldMap[fiNorth];
    return p;
}

bool SearchFields::nothingKnown() const
{
    return title.isEmpty() && abstract.isEmpty() && purpose.isEmpty() && keywords.isEmpty() && places.isEmpty() &&
           originator.isEmpty() && date.isEmpty() && boxReading == BoxReading::None;
}

namespace {

// The year, month and day (empty when not written) of a date written in
// ASCII digits as yyyy, yyyymm, yyyymmdd, yyyy-mm or yyyy-mm-dd, as most
// are: read without the regular expressions. False for any other text.
bool plainDate(QStringView t, QStringView parts[3])
{
    auto digits = [&](qsizetype from, qsizetype count) {
        for (qsizetype i = from; i < from + count; ++i)
            if (t[i] < QLatin1Char('0') || t[i] > QLatin1Char('9'))
                return false;
        return true;
    };
    switch (t.size()) {
    case 4:
    case 6:
    case 8:
        if (!digits(0, t.size()))
            return false;
        parts[0] = t.left(4);
        parts[1] = t.size() >= 6 ? t.mid(4, 2) : QStringView();
        parts[2] = t.size() == 8 ? t.mid(6, 2) : QStringView();
        return true;
    case 7:
    case 10:
        if (!digits(0, 4) || t[4] != QLatin1Char('-') || !digits(5, 2) ||
            (t.size() == 10 && (t[7] != QLatin1Char('-') || !digits(8, 2))))
            return false;
        parts[0] = t.left(4);
        parts[1] = t.mid(5, 2);
        parts[2] = t.size() == 10 ? t.mid(8, 2) : QStringView();
        return true;
    default:
        return false;
    }
}

} // namespace

QString normalizedDate(const QString& text)
{
    static const QRegularExpression compact(QStringLiteral("^(\\d{4})(\\d{2})?(\\d{2})?$"));
    static const QRegularExpression dashed(QStringLiteral("^(\\d{4})-(\\d{2})(?:-(\\d{2}))?(?:[T ].*)?$"));
    const QString t = text.trimmed();
    QStringView parts[3];
    if (!plainDate(t, parts)) {
        QRegularExpressionMatch m = compact.match(t);
        if (!m.hasMatch())
            m = dashed.match(t);
        if (!m.hasMatch())
            return t.left(40);
        for (int i = 0; i < 3; ++i)
            parts[i] = m.capturedView(i + 1);
        // The views are of `t`, which outlives them.
    }
    const int month = parts[1].isEmpty() ? 1 : parts[1].toInt();
    const int day = parts[2].isEmpty() ? 1 : parts[2].toInt();
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return t.left(40);
    QString date = parts[0].toString();
    for (int i = 1; i < 3; ++i)
        if (!parts[i].isEmpty()) {
            date += QLatin1Char('-');
            date += parts[i];
        }
    return date;
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
                                   &p.date, &p.west, &p.east, &p.south, &p.north}) {
        add(f->XML_Path);
        for (const std::string& path : f->FallbackPaths)
            add(path);
    }
    return paths;
}

void setBox(SearchFields& fields, const QString& w, const QString& e, const QString& s, const QString& n)
{
    GeoBox box;
    fields.boxReading = readBox(w, e, s, n, box);
    if (fields.boxReading == BoxReading::Box)
        fields.box = box;
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
        const tXMLDocument doc(xmlPath, tXMLDocument::Layout::ReadOnly);
        return read(doc, fields, error);
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    return false;
}

bool SearchFieldReader::read(const tXMLDocument& doc, SearchFields& fields, QString& error) const
{
    fields = SearchFields();
    try {
        IsoTexts iso;
        if (readIsoMetadata(doc, iso)) {
            fields.title = iso.title;
            fields.abstract = iso.abstract;
            fields.purpose = iso.purpose;
            fields.keywords = iso.keywords;
            fields.places = iso.places;
            fields.originator = iso.originator;
            fields.date = normalizedDate(iso.date);
            setBox(fields, iso.west, iso.east, iso.south, iso.north);
            return true;
        }
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
            return QString::fromStdString(Trim(ReadFieldWith(f, [&](const std::string& path) {
                const tXMLNodeList& nodes = nodesAt(path);
                return f.Offset < nodes.size() ? tXMLDocument::NodeText(nodes[f.Offset]) : std::string();
            })));
        };
        auto texts = [&](const FieldMapEntry& f) {
            return QString::fromStdString(ReadFieldWith(f, [&](const std::string& path) {
                std::string joined;
                for (const std::string& t : tXMLDocument::CollectTexts(nodesAt(path))) {
                    if (!joined.empty())
                        joined += ' ';
                    joined += t;
                }
                return joined;
            }));
        };
        fields.title = text(m_fields.title);
        fields.abstract = text(m_fields.abstract);
        fields.purpose = text(m_fields.purpose);
        fields.keywords = texts(m_fields.keywords);
        fields.places = texts(m_fields.places);
        fields.originator = text(m_fields.originator);
        fields.date = normalizedDate(text(m_fields.date));
        setBox(fields, text(m_fields.west), text(m_fields.east), text(m_fields.south), text(m_fields.north));
        return true;
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    }
    return false;
}
