// The "Thumbnail" page: the picture a metadata document carries. The
// document is read on the views' worker; the window shows the answer.
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include "model/AtlasdeskOps.h"
#include "app/MetadataViews.h"
#include "app/SearchPane.h"
#include "support/PathOps.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

namespace {

const QString kNoMetadata = QStringLiteral("No metadata for this data set.");

} // namespace

// The data set the page shows: the result highlighted in the search pane,
// else the one selected data set of the tree; false for none.
bool TdlgAtlasdesk::thumbnailSubject(std::string& dataPath, std::string& xmlPath) const
{
    if (const SearchHit* hit = searchPane->highlightedResult()) {
        dataPath = hit->path;
        xmlPath = hit->xmlPath;
        return true;
    }
    const tXMLFile* file = SelectedFiles.size() == 1 ? SelectedFiles.front() : nullptr;
    if (!file)
        return false;
    dataPath = file->DataPath();
    xmlPath = file->XMLPath;
    return true;
}

void TdlgAtlasdesk::OnTabThumbnailShow()
{
    // What the page shows follows from one data set; an empty key stands
    // for the empty view.
    std::string dataPath, xmlPath;
    const bool shown = thumbnailSubject(dataPath, xmlPath);
    m_thumbnailKey = shown ? xmlPath + '\0' + dataPath : std::string();
    if (!shown) {
        m_views->cancel(MetadataPage::Thumbnail);
        imgThumbnail->clear();
        edThbFilename->clear();
        edThbThumbnail->clear();
        return;
    }
    MetadataViewRequest request;
    request.page = MetadataPage::Thumbnail;
    request.dataPath = dataPath;
    request.metadataPath = xmlPath;
    request.pictureElement = FieldMap[fiEsriThumbnail].XML_Path;
    request.pictureNameElement = FieldMap[fiThumbnail].XML_Path;
    m_views->request(request);
}

void TdlgAtlasdesk::refreshThumbnailIfChanged()
{
    std::string dataPath, xmlPath;
    const std::string key = thumbnailSubject(dataPath, xmlPath) ? xmlPath + '\0' + dataPath : std::string();
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
