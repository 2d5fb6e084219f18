// The "Thumbnail" page: the picture a metadata document carries. The
// document is read on the views' worker; the window shows the answer.
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include "model/AtlasdeskOps.h"
#include "app/MetadataViews.h"
#include "support/PathOps.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

namespace {

const QString kNoMetadata = QStringLiteral("No metadata for this data set.");

} // namespace

void TdlgAtlasdesk::OnTabThumbnailShow()
{
    // What the page shows follows from the one selected data set; an empty
    // key stands for the empty view.
    const tXMLFile* file = SelectedFiles.size() == 1 ? SelectedFiles.front() : nullptr;
    m_thumbnailKey = file ? file->XMLPath + '\0' + file->DataPath() : std::string();
    if (!file) {
        m_views->cancel(MetadataPage::Thumbnail);
        imgThumbnail->clear();
        edThbFilename->clear();
        edThbThumbnail->clear();
        return;
    }
    MetadataViewRequest request;
    request.page = MetadataPage::Thumbnail;
    request.dataPath = file->DataPath();
    request.metadataPath = file->XMLPath;
    request.pictureElement = FieldMap[fiEsriThumbnail].XML_Path;
    request.pictureNameElement = FieldMap[fiThumbnail].XML_Path;
    m_views->request(request);
}

void TdlgAtlasdesk::refreshThumbnailIfChanged()
{
    const tXMLFile* file = SelectedFiles.size() == 1 ? SelectedFiles.front() : nullptr;
    const std::string key = file ? file->XMLPath + '\0' + file->DataPath() : std::string();
    if (key != m_thumbnailKey)
        OnTabThumbnailShow();
}

void TdlgAtlasdesk::showThumbnail(const MetadataView& view)
{
    imgThumbnail->clear();
    edThbFilename->clear();
    edThbThumbnail->clear();
    if (!view.hasMetadata) {
        imgThumbnail->setText(kNoMetadata);
        return;
    }
    edThbFilename->setText(DecodeFileName(view.request.dataPath));
    if (!view.picture.isNull())
        imgThumbnail->setPixmap(QPixmap::fromImage(view.picture));
    if (!view.pictureName.empty() && view.error.empty())
        edThbThumbnail->setText(QString::fromStdString(view.pictureName));
}
