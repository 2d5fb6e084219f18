// The "Thumbnail" page: the picture a metadata document carries.
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include "AtlasdeskOps.h"
#include "Errors.h"
#include "PathOps.h"
#include "StringOps.h"
#include "XMLFile.h"
#include "dlgAtlasdeskU.h"


void TdlgAtlasdesk::OnTabThumbnailShow()
{
    imgThumbnail->clear();
    edThbFilename->clear();
    edThbThumbnail->clear();
    if (SelectedFiles.size() != 1 || !SelectedFiles.front())
        return;
    tXMLFile* file = SelectedFiles.front();
    if (!FileExists(file->XMLPath))
        return;
    edThbFilename->setText(DecodeFileName(file->DataPath()));

    std::string encoded, name;
    file->OpenDocument();
    try {
        if (!FieldMap[fiEsriThumbnail].XML_Path.empty())
            encoded = file->Doc->GetNodeText(FieldMap[fiEsriThumbnail].XML_Path);
        if (!FieldMap[fiThumbnail].XML_Path.empty())
            name = file->Doc->GetNodeText(FieldMap[fiThumbnail].XML_Path);
    } catch (...) {
        file->CloseDocument();
        throw;
    }
    file->CloseDocument();

    if (!encoded.empty()) {
        // Decoded in memory (the current directory may not be writable) and
        // recognised by content: BMP as the ESRI profile stores it, JPEG and
        // PNG as newer metadata does.
        const std::string bytes = DecodeBase64(encoded);
        QImage picture;
        if (!picture.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                  static_cast<int>(bytes.size())))
            throw EInOutError("Bitmap image is not valid");
        imgThumbnail->setPixmap(QPixmap::fromImage(picture));
    }
    if (!name.empty())
        edThbThumbnail->setText(QString::fromStdString(name));
}
