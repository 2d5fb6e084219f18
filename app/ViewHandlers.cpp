// The "&Metadata" page (rendered through a stylesheet) and the "&XML" page.
// The window only asks and shows: the reading, parsing and rendering run on
// the views' worker (MetadataViews), whose newest answer comes back to
// showView.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <QAction>

#include <functional>
#include <vector>

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
#include "model/StoreTreeModel.h"
#include "xml/Pages.h"

namespace {

MetadataViewRequest requestFor(MetadataPage page, const tXMLFile* file)
{
    MetadataViewRequest request;
    request.page = page;
    request.dataPath = file->DataPath();
    request.metadataPath = file->XMLPath;
    return request;
}

// The requests of `shown`'s page for the rows next to `node` that are not
// greyed: below first, the way through a folder is mostly down.
std::vector<MetadataViewRequest> neighbourRequests(const ServerTree& tree, const QModelIndex& node,
                                                   const MetadataViewRequest& shown,
                                                   const std::function<bool(const QModelIndex&)>& isShown)
{
    std::vector<MetadataViewRequest> requests;
    for (const QModelIndex& next : {tree.indexBelow(node), tree.indexAbove(node)}) {
        if (!next.isValid() || !isShown(next))
            continue;
        requests.push_back(requestFor(shown.page, tree.file(next)));
        requests.back().stylesheetPath = shown.stylesheetPath;
    }
    return requests;
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
    m_dataSetShown = true;
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
        if (!node.isValid()) {
            // Once a data set has been shown, its pages stay when the
            // selection is cleared.
            if (m_dataSetShown)
                return;
            // Before, the start page; shown once the selection has settled:
            // a selection that is cleared and set again at once never
            // flashes it.
            m_views->cancel(page);
            m_startPageWanted = true;
            return refreshStartPage();
        }
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

bool TdlgAtlasdesk::isRootMetadata(const std::string& metadataPath) const
{
    const QModelIndex root = m_store->rootIndex();
    return root.isValid() && tvXMLTree->file(root)->XMLPath == metadataPath;
}

void TdlgAtlasdesk::showView(const MetadataView& view)
{
    // The root that connecting selected, without metadata of its own: until
    // a data set's page has been shown, the start page stands for it.
    const bool startPage = !m_dataSetShown && !view.hasMetadata && view.error.empty()
                           && isRootMetadata(view.request.metadataPath);
    if (!startPage)
        m_dataSetShown = true;
    switch (view.request.page) {
    case MetadataPage::Rendered:
    case MetadataPage::Raw:
        if (startPage)
            showStartPage(view.request.page);
        else if (!view.page.html.empty())
            (view.request.page == MetadataPage::Rendered ? wbXSL : wbXML)
                ->showPage(view.pagePath, view.page, view.baseFolder);
        // The rows the arrow keys go to next are rendered ahead: those of
        // the tree's node whose page this is (one that rendered), not of a
        // search result.
        if (!startPage && view.page.ok && !searchPane->highlightedResult()) {
            bool greyed = false;
            const QModelIndex node = viewedNode(greyed);
            if (node.isValid() && !greyed && tvXMLTree->file(node)->XMLPath == view.request.metadataPath)
                m_views->prepare(neighbourRequests(*tvXMLTree, node, view.request,
                                                   [this](const QModelIndex& n) { return IsCategoryShown(n); }));
        }
        break;
    case MetadataPage::Thumbnail:
        showThumbnail(view);
        break;
    }
    if (!view.error.empty())
        throw EInOutError(view.error);
}

void TdlgAtlasdesk::showStartPage(MetadataPage page)
{
    BrowserPane* pane = page == MetadataPage::Rendered ? wbXSL : wbXML;
    StartFacts facts;
    facts.server = ServerRoot;
    if (!ServerRoot.empty()) {
        facts.counts.push_back(QStringLiteral("Items: %1 in the tree (a folder's items are counted once it is opened)")
                                   .arg(m_store->nodeCount())
                                   .toStdString());
        facts.counts.push_back(QStringLiteral("Selected: %1").arg(tvXMLTree->selectionCount()).toStdString());
        facts.index = searchPane->indexStatus().toStdString();
    }
    const auto key = [&facts](const QAction* action, const char* what) {
        facts.keys.emplace_back(action->shortcut().toString(QKeySequence::NativeText).toStdString(), what);
    };
    key(mnuSearch, "Find data sets by the words of their metadata or a place on the map");
    facts.keys.emplace_back("\u2191 \u2193 \u2190 \u2192", "Move through the tree; the pages follow");
    key(mnuXMLExpandAll, "Expand everything below the selected folders");
    key(mnuRefresh, "Read the selected folder again");
    key(mnuOpenFiles, "Open the selected data sets in their programs");
    key(mnuCopyPath, "Copy the paths of the selected data sets");
    key(mnuHelpHelp, "Help");
    key(mnuQuit, "Quit");
    pane->showPage({}, StartPage(facts), AppDir);
}

void TdlgAtlasdesk::refreshStartPage()
{
    if (!m_startPageTimer) {
        m_startPageTimer = new QTimer(this);
        m_startPageTimer->setSingleShot(true);
        connect(m_startPageTimer, &QTimer::timeout, this, [this] {
            runCommand(this, [this] {
                QWidget* page = PageControl1->currentWidget();
                BrowserPane* pane = page == TabXSL ? wbXSL : page == tabXML ? wbXML : nullptr;
                m_startPageWanted = false;
                if (!pane || m_dataSetShown || searchPane->highlightedResult())
                    return;
                // Nothing viewed: the start page. The root viewed: only a
                // start page that stands for it (a page of no file) is
                // redrawn for new counts; its own answer comes by showView.
                bool greyed = false;
                const QModelIndex node = viewedNode(greyed);
                if (node.isValid() && (node != m_store->rootIndex() || !pane->lastLocalPath().empty()))
                    return;
                showStartPage(page == TabXSL ? MetadataPage::Rendered : MetadataPage::Raw);
            });
        });
    }
    // Asked for by the page: at once; new counts: at most four times a second.
    if (m_startPageWanted)
        m_startPageTimer->start(0);
    else if (!m_startPageTimer->isActive())
        m_startPageTimer->start(250);
}

MetadataViews* TdlgAtlasdesk::views() const
{
    return m_views;
}
