// The server tree: connecting to a root, listing directories lazily,
// Refresh, and releasing nodes.
#include <QApplication>
#include <QLabel>
#include <QStyle>

#include "model/AtlasdeskOps.h"
#include "app/CategoryIcons.h"
#include "app/CommandGuard.h"
#include "model/DirectoryListing.h"
#include "support/FileOps.h"
#include "model/ListingService.h"
#include "support/PathOps.h"
#include "app/SearchPane.h"
#include "app/ServerTree.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

namespace {

void setPicture(TreeNode* node, int picture)
{
    node->setIcon(0, categoryIcon(picture));
    node->setData(0, Qt::UserRole, picture);
}

// Names on old servers are often Latin-1 rather than UTF-8: such a name is
// shown as windows-1252 text instead of with replacement characters. Only
// the display changes; the node's paths keep the bytes as they are.
QString displayText(const std::string& bytes)
{
    return DecodeFileName(bytes);
}

// A node for one listed entry: a directory node to expand, or a data set.
TreeNode* makeListedNode(const DirectoryListing& listing, const ListedEntry& entry)
{
    auto* node = new TreeNode(makeListedItem(listing, entry));
    node->setText(0, entry.text);
    node->setHasChildrenMark(entry.subdirectory);
    setPicture(node, entry.category);
    return node;
}

} // namespace

namespace {

// The root's item as a directory, made from its path alone: the root of a
// share that does not answer must not hold the window while it connects.
std::unique_ptr<tXMLFile> rootItem(const std::string& root)
{
    std::string p = root;
    while (p.size() > 1 && p.back() == PathDelim)
        p.pop_back();
    if (p == std::string(1, PathDelim))
        return std::make_unique<tXMLFile>(tXMLFile::Fields{p + "metadata.xml", catDirectory, p, "", ""});
    return std::make_unique<tXMLFile>(
        tXMLFile::Fields{p + PathDelim + "metadata.xml", catDirectory, ExtractFileName(p) + PathDelim, ExtractFilePath(p), ""});
}

} // namespace

void TdlgAtlasdesk::ConnectToServer(const std::string& root)
{
    ServerRoot = root;
    ClearTree();
    // The name rule needs no disk; what the disk says (is it a folder, has
    // it an .aux beside it) is asked on a thread of its own and applied when
    // it comes (applyRootProbe).
    if (ExtractFileName(root) == "info")
        throw Exception("Invalid index");
    auto* first = new TreeNode(rootItem(root));
    const std::string& name = first->file()->Name;
    QString text = displayText(name.substr(0, name.size() - 1));
    if (text.isEmpty())
        text = displayText(root); // a drive-like root "/"
    first->setText(0, text);
    first->setHasChildrenMark(true);
    tvXMLTree->attach(nullptr, first);
    probeRoot(root);
    setPicture(first, catCatalog);
    tvXMLTree->setCurrentItem(first);
    setWindowTitle(EditionTitle + QStringLiteral(" - ") + QString::fromStdString(root));
    UpdateCounters();
    // Results of the previous server go; this one's index is brought up to date.
    m_reveal.reset();
    searchPane->clearSearch();
    // The index is brought up to date once the root is known to be a folder.
}

void TdlgAtlasdesk::probeRoot(const std::string& root)
{
    const quint64 probe = ++m_rootProbe;
    m_rootProbePending = true;
    m_rootProbeAtStart = false;
    // A stat on a hung mount may never return: the probe of a root that is
    // left behind is abandoned, so the next one does not wait for it.
    if (m_rootProbeJob)
        m_rootProbeJob->abandon();
    m_rootProbeJob = runInBackground<RootProbe>(m_rootChecks, this, [root](QPromise<RootProbe>& promise) {
        RootProbe found;
        found.isDirectory = IsDirectory(root);
        found.auxBeside = FileExists(ExcludeTrailingPathDelimiter(root) + ".aux");
        promise.addResult(found);
    });
    m_rootProbeJob->onResult([this, probe](const RootProbe& found) {
        m_rootProbeJob = nullptr;
        applyRootProbe(probe, found);
    });
}

void TdlgAtlasdesk::applyRootProbe(quint64 probe, const RootProbe& found)
{
    if (probe != m_rootProbe)
        return; // another server was connected meanwhile
    m_rootProbePending = false;
    TreeNode* root = tvXMLTree->rootNode();
    if (!root)
        return;
    if (found.auxBeside) {
        // Such a folder is shown through its .aux file: it is no server root.
        ClearTree();
        setWindowTitle(EditionTitle);
        UpdateCounters();
        runCommand(this, [] { throw Exception("Invalid index"); });
        return;
    }
    if (found.isDirectory) {
        startIndexing();
        return;
    }
    if (m_rootProbeAtStart) {
        // Never an error box at start: the tree stays empty and the status
        // line says why.
        m_rootProbeAtStart = false;
        ClearTree();
        setWindowTitle(EditionTitle);
        UpdateCounters();
        showStatusMessage(QStringLiteral("The server %1 cannot be reached; choose a server under "
                                         "Files > Connect to geodata server.")
                              .arg(DecodeFileName(ServerRoot)));
        return;
    }
    // A root that does not exist: shown by its whole path, with nothing to expand.
    root->setText(0, displayText(ServerRoot));
    root->setHasChildrenMark(false);
}

void TdlgAtlasdesk::ScanDirectoryNode(TreeNode* node)
{
    requestListing(node);
}

quint64 TdlgAtlasdesk::requestListing(TreeNode* node)
{
    if (node->file()->Scanned)
        return 0;
    if (node->listingRequest)
        return node->listingRequest; // already on its way
    const quint64 id = m_listing->request(node->file()->DataPath());
    node->listingRequest = id;
    m_pendingListings.emplace(id, QPersistentModelIndex(tvXMLTree->indexFromItem(node)));
    // The node shows that it is loading until the answer is attached.
    node->setIcon(0, style()->standardIcon(QStyle::SP_BrowserReload));
    node->setToolTip(0, QStringLiteral("Loading…"));
    return id;
}

void TdlgAtlasdesk::dropListing(TreeNode* node)
{
    if (!node->listingRequest)
        return;
    const quint64 id = node->listingRequest;
    node->listingRequest = 0;
    m_listing->cancel(id);
    m_pendingListings.erase(id);
    setPicture(node, node->data(0, Qt::UserRole).toInt());
    node->setToolTip(0, QString());
    walkListed(id, nullptr);
}

void TdlgAtlasdesk::dropAllListings()
{
    for (const auto& [id, index] : m_pendingListings) {
        m_listing->cancel(id);
        if (auto* node = static_cast<TreeNode*>(tvXMLTree->itemFromIndex(index)))
            node->listingRequest = 0;
    }
    m_pendingListings.clear();
}

bool TdlgAtlasdesk::listingBusy() const
{
    return !m_pendingListings.empty() || m_walk != nullptr;
}

// An answer on its way into the tree: its nodes are made a slice per turn
// of the event loop (a share's folder may hold tens of thousands of
// entries), then attached in one batch.
struct TdlgAtlasdesk::AttachJob {
    quint64 request = 0;
    DirectoryListing listing;
    QList<QTreeWidgetItem*> built; // not in the tree yet; owned here until attached
    size_t next = 0;
    ~AttachJob() { qDeleteAll(built); }
};

void TdlgAtlasdesk::onListed(quint64 request, const DirectoryListing& listing)
{
    auto pending = m_pendingListings.find(request);
    if (pending == m_pendingListings.end())
        return; // dropped by a collapse, Refresh or reconnecting
    auto* node = static_cast<TreeNode*>(tvXMLTree->itemFromIndex(pending->second));
    if (!node || node->listingRequest != request) {
        m_pendingListings.erase(pending);
        return walkListed(request, nullptr);
    }
    if (listing.cancelled || walkRejects(request, listing)) {
        // Not listed: the node stays as it was before, ready to be listed.
        m_pendingListings.erase(pending);
        node->listingRequest = 0;
        setPicture(node, node->data(0, Qt::UserRole).toInt());
        node->setToolTip(0, QString());
        return walkListed(request, nullptr);
    }
    auto job = std::make_shared<AttachJob>();
    job->request = request;
    job->listing = listing;
    job->built.reserve(static_cast<qsizetype>(listing.entries.size()));
    continueAttach(job);
}

void TdlgAtlasdesk::continueAttach(const std::shared_ptr<AttachJob>& job)
{
    // Making a node costs some microseconds: so many keep a turn of the
    // event loop well under the 50 ms a user notices.
    constexpr size_t kNodesPerTurn = 500;
    auto pending = m_pendingListings.find(job->request);
    auto* node = pending == m_pendingListings.end()
                     ? nullptr
                     : static_cast<TreeNode*>(tvXMLTree->itemFromIndex(pending->second));
    if (!node || node->listingRequest != job->request) {
        // Collapsed, refreshed or cleared meanwhile: the answer is stale.
        if (pending != m_pendingListings.end())
            m_pendingListings.erase(pending);
        return walkListed(job->request, nullptr);
    }
    const DirectoryListing& listing = job->listing;
    const size_t end = std::min(listing.entries.size(), job->next + kNodesPerTurn);
    for (; job->next < end; ++job->next)
        job->built.append(makeListedNode(listing, listing.entries[job->next]));
    if (job->next < listing.entries.size()) {
        QMetaObject::invokeMethod(this, [this, job] { continueAttach(job); }, Qt::QueuedConnection);
        return;
    }

    m_pendingListings.erase(pending);
    node->listingRequest = 0;
    setPicture(node, node->data(0, Qt::UserRole).toInt());
    node->setToolTip(0, QString());
    if (!job->built.isEmpty())
        tvXMLTree->attachChildren(node, std::exchange(job->built, {}));
    node->dirDevice = listing.device;
    node->dirInode = listing.inode;
    node->setHasChildrenMark(node->childCount() > 0);
    node->file()->Scanned = true;
    if (!listing.error.isEmpty()) {
        // A folder that cannot be read lists as empty; why is told on the
        // node and in the status line, never in a box that stops the user.
        node->setToolTip(0, listing.error);
        node->setData(0, ListingErrorRole, listing.error);
        lblTask->setText(listing.error);
        showStatusMessage(listing.error); // the task line is hidden in the View edition
    }
    UpdateCounters();
    walkListed(job->request, &listing);
}

void TdlgAtlasdesk::OntvXMLTreeExpanding(QTreeWidgetItem* item)
{
    auto* node = static_cast<TreeNode*>(item);
    runCommand(this, [this, node] { requestListing(node); });
}

void TdlgAtlasdesk::OntvXMLTreeCollapsed(QTreeWidgetItem* item)
{
    auto* node = static_cast<TreeNode*>(item);
    // A read still pending is dropped: expanding again asks anew.
    dropListing(node);
    DropHiddenFromSelection();
}

void TdlgAtlasdesk::DropHiddenFromSelection()
{
    // Only visible nodes can be selected: those a collapse hid leave the
    // selection, so that no command acts on what the user cannot see.
    std::vector<TreeNode*> hidden;
    for (TreeNode* node : tvXMLTree->selectionOrder())
        for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent())
            if (!p->isExpanded()) {
                hidden.push_back(node);
                break;
            }
    tvXMLTree->deselectNodes(hidden);
}

void TdlgAtlasdesk::mnuRefreshClick()
{
    runCommand(this, [this] {
        TreeNode* node = tvXMLTree->primaryNode();
        if (!node)
            return;
        // A data set has nothing to list: refreshing it lists its directory again.
        if (node->file()->Category != catDirectory && node->parentNode())
            node = node->parentNode();
        cancelWalk(); // its nodes are about to go
        const int selectedBefore = tvXMLTree->selectionCount();
        {
            const QSignalBlocker quiet(tvXMLTree);
            for (int i = node->childCount() - 1; i >= 0; --i)
                DeleteSubtree(node->childNode(i));
        }
        dropListing(node);
        node->file()->Scanned = false;
        node->setData(0, ListingErrorRole, QVariant());
        node->setToolTip(0, QString());
        ScanDirectoryNode(node);
        if (tvXMLTree->selectionCount() != selectedBefore)
            OntvXMLTreeSelect();
        // New, changed and removed metadata reach the search index too.
        startIndexing();
    });
}

void TdlgAtlasdesk::DeleteSubtree(TreeNode* node)
{
    tvXMLTree->deleteSubtree(node);
    // No released data object may stay in the list of selected data sets.
    SelectedFiles.clear();
    for (TreeNode* n : tvXMLTree->selectionOrder())
        SelectedFiles.push_back(n->file());
}

void TdlgAtlasdesk::ClearTree()
{
    cancelWalk();
    dropAllListings();
    {
        const QSignalBlocker quiet(tvXMLTree);
        tvXMLTree->clearAll();
    }
    SelectedFiles.clear();
}
