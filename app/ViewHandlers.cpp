// The "&Metadata" page (rendered through a stylesheet) and the "&XML" page.
// The window only asks and shows: the reading, parsing and rendering run on
// the views' worker (MetadataViews), whose newest answer comes back to
// showView.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include "model/AtlasdeskOps.h"
#include "app/BrowserPane.h"
#include "app/CommandGuard.h"
#include "support/Errors.h"
#include "app/MetadataViews.h"
#include "app/SearchPane.h"
#include "support/PathOps.h"
#include "app/ServerTree.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

namespace {

MetadataViewRequest requestFor(MetadataPage page, const tXMLFile* file)
{
    MetadataViewRequest request;
    request.page = page;
    request.dataPath = file->DataPath();
    request.metadataPath = file->XMLPath;
    return request;
}

} // namespace

void TdlgAtlasdesk::setupViews()
{
    m_views = new MetadataViews(this);
    connect(m_views, &MetadataViews::ready, this, [this](const MetadataView& view) {
        runCommand(this, [this, &view] { showView(view); });
    });
}

// The node whose metadata the browser pages show: the tree's selected node,
// or a greyed node that was clicked (it cannot stay selected, and the pages
// must not go on showing the data set before it). Null when neither.
QModelIndex TdlgAtlasdesk::viewedNode(bool& greyed) const
{
    greyed = false;
    const QModelIndex node = tvXMLTree->primaryNode();
    if (node.isValid())
        return node;
    const QModelIndex current = tvXMLTree->currentIndex();
    if (current.isValid() && !tvXMLTree->isSelected(current) && !IsCategoryShown(current)) {
        greyed = true;
        return current;
    }
    return {};
}

void TdlgAtlasdesk::showGreyedNode(BrowserPane* pane, MetadataPage page, const QModelIndex& node)
{
    m_views->cancel(page);
    const tXMLFile* file = tvXMLTree->file(node);
    pane->showPage(file->XMLPath, NoMetadataPage(file->DataPath(), file->XMLPath), ExtractFilePath(file->XMLPath));
}

void TdlgAtlasdesk::showMetadataPage(MetadataPage page)
{
    MetadataViewRequest request;
    // A result highlighted in the search pane is shown without leaving the
    // results; otherwise the tree's node.
    if (const SearchHit* hit = searchPane->highlightedResult()) {
        request.page = page;
        request.dataPath = hit->path;
        request.metadataPath = hit->xmlPath;
    } else {
        bool greyed = false;
        const QModelIndex node = viewedNode(greyed);
        if (!node.isValid())
            return;
        if (greyed)
            return showGreyedNode(page == MetadataPage::Rendered ? wbXSL : wbXML, page, node);
        request = requestFor(page, tvXMLTree->file(node));
    }
    if (page == MetadataPage::Rendered && !cbXslFormat->currentText().isEmpty())
        request.stylesheetPath = AppDir + QFile::encodeName(cbXslFormat->currentText()).toStdString();
    m_views->request(request);
}

void TdlgAtlasdesk::OnTabXslShow()
{
    showMetadataPage(MetadataPage::Rendered);
}

void TdlgAtlasdesk::OnTabXMLShow()
{
    showMetadataPage(MetadataPage::Raw);
}

bool TdlgAtlasdesk::redrawView(const QWidget* page)
{
    if (page == TabXSL)
        OnTabXslShow();
    else if (page == tabXML)
        OnTabXMLShow();
    else if (page == tabThumbnail)
        OnTabThumbnailShow();
    else
        return false;
    return true;
}

void TdlgAtlasdesk::showView(const MetadataView& view)
{
    switch (view.request.page) {
    case MetadataPage::Rendered:
    case MetadataPage::Raw:
        if (!view.page.html.empty())
            (view.request.page == MetadataPage::Rendered ? wbXSL : wbXML)
                ->showPage(view.pagePath, view.page, view.baseFolder);
        break;
    case MetadataPage::Thumbnail:
        showThumbnail(view);
        break;
    }
    if (!view.error.empty())
        throw EInOutError(view.error);
}

MetadataViews* TdlgAtlasdesk::views() const
{
    return m_views;
}
