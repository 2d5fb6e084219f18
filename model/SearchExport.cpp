#include "model/SearchExport.h"

#include <QSaveFile>

#include "model/AtlasdeskOps.h"
#include "support/PathOps.h"

namespace {

QByteArray field(QString text, bool guardFormula)
{
    if (guardFormula && !text.isEmpty() &&
        (text[0] == QLatin1Char('=') || text[0] == QLatin1Char('+') || text[0] == QLatin1Char('-') ||
         text[0] == QLatin1Char('@') || text[0] == QLatin1Char('\t') || text[0] == QLatin1Char('\r')))
        text.prepend(QLatin1Char('\''));
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r')) {
        bytes.replace("\"", "\"\"");
        bytes = '"' + bytes + '"';
    }
    return bytes;
}

QByteArray number(double v)
{
    return QByteArray::number(v, 'g', 10);
}

} // namespace

std::string resultPath(const SearchHit& hit)
{
    if (hit.category == catDirectory || hit.category == catCatalog)
        return hit.path;
    const std::string ext = ExtractFileExt(hit.xmlPath);
    return hit.xmlPath.substr(0, hit.xmlPath.size() - ext.size());
}

QByteArray resultsCsv(const std::vector<SearchHit>& hits)
{
    QByteArray out = "path,title,category,west,east,south,north\r\n";
    for (const SearchHit& h : hits) {
        out += field(DecodeFileName(resultPath(h)), true) + ',' + field(h.title, true) + ',';
        out += field(QString::fromStdString(h.category < CategoryNames.size() ? CategoryNames[h.category]
                                                                               : CategoryNames[catUnknown]),
                     false);
        if (h.box)
            out += ',' + number(h.box->west) + ',' + number(h.box->east) + ',' + number(h.box->south) + ',' +
                   number(h.box->north);
        else
            out += ",,,,";
        out += "\r\n";
    }
    return out;
}

bool writeResultsCsv(const std::vector<SearchHit>& hits, const QString& file, QString& error)
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        error = out.errorString();
        return false;
    }
    const QByteArray csv = resultsCsv(hits);
    if (out.write(csv) != csv.size() || !out.commit()) {
        error = out.errorString();
        out.cancelWriting();
        return false;
    }
    return true;
}
