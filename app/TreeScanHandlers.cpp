// The server tree: connecting to a root, listing directories lazily,
// Refresh, and releasing nodes.
#include <QApplication>
#include <QLabel>
#include <QStyle>

#include "model/AtlasdeskOps.h"
#include "app/CommandGuard.h"
#include "support/FileOps.h"
#include "model/PathWalk.h"
#include "model/StoreTreeModel.h"
#include "model/SubtreeWalk.h"
#include "support/PathOps.h"
#include "app/SearchPane.h"
#include "app/ServerTree.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

namespace {

// Names on old servers are often Latin-1 rather than UTF-8: such a name is
// shown as windows-1252 text instead of with replacement characters. Only
// the display changes; the node's paths keep the bytes as they are.
QString displayText(const std::string& bytes)
{
    return DecodeFileName(bytes);
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
    m_dataSetShown = false;
    // The name rule needs no disk; what the disk says (is it a folder, has
    // it an .aux beside it) is asked in the background and applied when it
    // comes (applyRootProbe).
    if (ExtractFileName(root) == "info")
        throw Exception("Invalid index");
    std::unique_ptr<tXMLFile> item = rootItem(root);
    const std::string& name = item->Name;
    QString text = displayText(name.substr(0, name.size() - 1));
    if (text.isEmpty())
        text = displayText(root); // a drive-like root "/"
    const QModelIndex first = m_store->setRoot(std::move(item), text);
    probeRoot(root);
    tvXMLTree->setCurrentIndex(first);
    setWindowTitle(EditionTitle + QStringLiteral(" - ") + QString::fromStdString(root));
    UpdateCounters();
    // Results of the previous server go; this one's index is brought up to
    // date once the root is known to be a folder.
    cancelReveal();
    searchPane->clearSearch();
    readTeamSearch();
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
    const QModelIndex root = m_store->rootIndex();
    if (!root.isValid())
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
    m_store->setNodeText(root, displayText(ServerRoot));
    m_store->setExpandable(root, false);
}

void TdlgAtlasdesk::ScanDirectoryNode(const QModelIndex& node)
{
    m_store->list(node);
}

bool TdlgAtlasdesk::listingBusy() const
{
    return m_store->isListing() || m_walk != nullptr;
}

void TdlgAtlasdesk::onDirectoryLoaded(const QModelIndex& dir)
{
    // A folder that cannot be read lists as empty; why is told on the node
    // (its tool tip) and in the status line, never in a box that stops the
    // user.
    const QString error = dir.data(StoreTreeModel::ListingErrorRole).toString();
    if (!error.isEmpty()) {
        lblTask->setText(error);
        showStatusMessage(error); // the task line is hidden in the View edition
    }
    UpdateCounters();
}

void TdlgAtlasdesk::OntvXMLTreeExpanding(const QModelIndex& node)
{
    runCommand(this, [this, &node] { ScanDirectoryNode(node); });
}

void TdlgAtlasdesk::OntvXMLTreeCollapsed(const QModelIndex& node)
{
    // A read still pending is dropped: expanding again asks anew.
    m_store->cancelListing(node);
    DropHiddenFromSelection();
}

void TdlgAtlasdesk::DropHiddenFromSelection()
{
    // Only visible nodes can be selected: those a collapse hid leave the
    // selection, so that no command acts on what the user cannot see.
    std::vector<QModelIndex> hidden;
    for (const QModelIndex& node : tvXMLTree->selectionOrder())
        for (QModelIndex p = node.parent(); p.isValid(); p = p.parent())
            if (!tvXMLTree->isExpanded(p)) {
                hidden.push_back(node);
                break;
            }
    tvXMLTree->deselectNodes(hidden);
}

void TdlgAtlasdesk::mnuRefreshClick()
{
    runCommand(this, [this] {
        QModelIndex node = tvXMLTree->primaryNode();
        if (!node.isValid())
            return;
        // A data set has nothing to list: refreshing it lists its directory again.
        if (m_store->file(node)->Category != catDirectory && node.parent().isValid())
            node = node.parent();
        cancelWalk(); // its nodes are about to go
        const int selectedBefore = tvXMLTree->selectionCount();
        {
            const QSignalBlocker quiet(tvXMLTree);
            m_store->relist(node);
        }
        // No released item may stay in the list of selected data sets.
        if (tvXMLTree->selectionCount() != selectedBefore)
            OntvXMLTreeSelect();
        // New, changed and removed metadata reach the search index too.
        startIndexing();
    });
}

void TdlgAtlasdesk::ClearTree()
{
    cancelWalk();
    cancelReveal();
    {
        const QSignalBlocker quiet(tvXMLTree);
        m_store->clear();
    }
    SelectedFiles.clear();
}
