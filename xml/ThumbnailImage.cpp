#include "xml/ThumbnailImage.h"

#include "support/StringOps.h"
#include "xml/PreparedDocument.h"

#include <libxml/xpath.h>

#include <QByteArray>
#include <QMimeDatabase>
#include <QMimeType>

#include <cstdio>
#include <mutex>
#include <random>

namespace {

// The picture types a browser shows, told by their content (the shared
// MIME database); "" for others.
std::string pictureMimeType(const QByteArray& bytes)
{
    static const QMimeDatabase database;
    const QString type = database.mimeTypeForData(bytes).name();
    for (const char* shown : {"image/bmp", "image/jpeg", "image/png", "image/gif"})
        if (type == QLatin1String(shown))
            return type.toStdString();
    return {};
}

std::string newStandIn()
{
    static std::mt19937_64 random{std::random_device{}()};
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    char text[64];
    std::snprintf(text, sizeof text, "atlasdesk-thumbnail-%016llx%016llx",
                  static_cast<unsigned long long>(random()), static_cast<unsigned long long>(random()));
    return text;
}

} // namespace

void Thumbnails::putInto(std::string& page) const
{
    for (const auto& [standIn, picture] : standIns) {
        std::string out;
        std::size_t from = 0;
        for (std::size_t at = page.find(standIn); at != std::string::npos; at = page.find(standIn, from)) {
            if (out.empty())
                out.reserve(page.size() + picture.size());
            out.append(page, from, at - from);
            out += picture;
            from = at + standIn.size();
        }
        if (from > 0) {
            out.append(page, from, std::string::npos);
            page = std::move(out);
        }
    }
}

Thumbnails addThumbnailImage(xmlDoc* doc)
{
    Thumbnails thumbnails;
    xmlXPathContextPtr context = xmlXPathNewContext(doc);
    if (!context)
        return thumbnails;
    xmlXPathObjectPtr found = xmlXPathEvalExpression(asXml("//Binary/Thumbnail[Data][not(img)]"), context);
    if (found && found->nodesetval) {
        for (int i = 0; i < found->nodesetval->nodeNr; ++i) {
            xmlNode* thumbnail = found->nodesetval->nodeTab[i];
            xmlNode* data = thumbnail->children;
            while (data && !(data->type == XML_ELEMENT_NODE && xmlStrEqual(data->name, asXml("Data"))))
                data = data->next;
            if (!data)
                continue;
            XmlString text(xmlNodeGetContent(data));
            // Well-formed Base64 goes into the page as it is, without its
            // line breaks and indentation; damaged Base64 is decoded as far
            // as it goes, as the Thumbnail page does, and encoded anew.
            QByteArray base64(chars(text.get()));
            base64.removeIf([](char ch) { return isXmlSpace(ch); });
            QByteArray picture;
            if (auto strict = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors)) {
                picture = std::move(*strict);
            } else {
                picture = QByteArray::fromBase64(base64);
                base64 = picture.toBase64();
            }
            const std::string mime = pictureMimeType(picture);
            if (mime.empty())
                continue;
            std::string standIn = newStandIn();
            const std::string uri = "data:" + mime + ";base64," + standIn;
            xmlNode* img = xmlNewChild(thumbnail, nullptr, asXml("img"), nullptr);
            if (!img)
                continue;
            xmlNewProp(img, asXml("src"), asXml(uri.c_str()));
            thumbnails.standIns.emplace_back(std::move(standIn), base64.toStdString());
        }
    }
    if (found)
        xmlXPathFreeObject(found);
    xmlXPathFreeContext(context);
    return thumbnails;
}
