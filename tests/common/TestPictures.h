#pragma once
// Pictures for the tests of the Thumbnail page and of the stylesheets.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

#include <string>

namespace testutil {

// A `width` x `height` BMP picture of one colour, Base64-encoded as the ESRI
// profile stores thumbnails.
inline std::string bmpBase64(int width, int height, const QColor& colour = Qt::darkCyan)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "BMP");
    return bytes.toBase64().toStdString();
}

} // namespace testutil
