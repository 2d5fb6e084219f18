#include "app/HandOver.h"

#include <QByteArray>
#include <QMimeData>
#include <QUrl>

#include "support/PathOps.h"
#include "model/XMLFile.h"
#include "model/AtlasdeskOps.h"

std::string dataFileOf(const tXMLFile& file)
{
    const std::string& path = file.XMLPath;
    const std::string ext = ExtractFileExt(path);
    return path.substr(0, path.size() - ext.size());
}

std::string handedOverPath(const tXMLFile& file)
{
    if (file.Category == catDirectory || file.Category == catCatalog)
        return file.DataPath();
    return dataFileOf(file);
}

QUrl fileUrlOfBytes(const std::string& path)
{
    // QUrl::fromLocalFile wants the path as Unicode text, which a Latin-1
    // name is not; the percent-encoded bytes reach the receiver unchanged.
    return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"),
                             QUrl::StrictMode);
}

QStringList handOverMimeTypes()
{
    return {QStringLiteral("text/uri-list"), QStringLiteral("text/plain")};
}

QMimeData* handOverMimeData(const std::vector<std::string>& paths)
{
    auto* data = new QMimeData;
    // text/uri-list is written by hand: lines end in CRLF, and each URL
    // keeps its percent-encoded bytes as they are.
    QByteArray uris;
    QByteArray text;
    for (const std::string& path : paths) {
        uris += fileUrlOfBytes(path).toEncoded() + "\r\n";
        text += QByteArray::fromStdString(path) + '\n';
    }
    data->setData(QStringLiteral("text/uri-list"), uris);
    data->setData(QStringLiteral("text/plain"), text);
    return data;
}
