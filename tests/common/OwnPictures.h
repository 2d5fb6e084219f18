#pragma once
// Our own small metadata documents in the ESRI profile, with real pictures
// made here as their thumbnails: what the third-party samples show about
// thumbnails, covered without them. Needs Qt GUI (QImage).
#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <string>

namespace testutil {

// A picture of `width` x `height` in `format` ("BMP", "JPG", "PNG"): a
// gradient with a frame, so that no two pixels rows are alike.
inline std::string pictureBytes(const char* format, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor(x * 255 / width, y * 255 / height, 128));
    QPainter(&image).drawRect(0, 0, width - 1, height - 1);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

inline std::string base64(const std::string& bytes)
{
    return QByteArray::fromStdString(bytes).toBase64().toStdString();
}

// A data set's metadata as ArcGIS 9 writes it (title, bounding box, the
// thumbnail in Binary/Thumbnail/Data, Base64 over lines of 76 characters),
// with no XML declaration unless `declaration` is given.
inline std::string ownMetadata(const std::string& title, const std::string& picture,
                               const std::string& declaration = {})
{
    std::string data;
    const std::string encoded = base64(picture);
    for (std::size_t at = 0; at < encoded.size(); at += 76)
        data += encoded.substr(at, 76) + "\n";
    return declaration + "<metadata xml:lang=\"en\">\n"
           "<idinfo><citation><citeinfo><title>" + title + "</title></citeinfo></citation>\n"
           "<spdom><bounding><westbc>6.02</westbc><eastbc>10.49</eastbc><northbc>47.81</northbc>"
           "<southbc>45.82</southbc></bounding></spdom></idinfo>\n"
           "<Esri><MetaID>{0E6C8B54-1B0C-4F2F-9D3F-5A0C2B1E1A11}</MetaID></Esri>\n" +
           (picture.empty() ? std::string()
                            : "<Binary><Thumbnail><Data EsriPropertyType=\"Picture\">" + data +
                                  "</Data></Thumbnail></Binary>\n") +
           "</metadata>\n";
}

} // namespace testutil
