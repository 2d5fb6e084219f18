// Walks over the server tree: every directory below some nodes is listed
// (one listing at a time, off the window's thread) and expanded. The walk
// goes on between answers, so the window keeps drawing and reacting; it
// shows "n folders read" and stops on Cancel or Esc, leaving what was read.
#include "app/TreeWalk.h"

#include <QLabel>
#include <QProgressBar>

#include "model/AtlasdeskOps.h"
#include "app/ServerTree.h"
#include "model/XMLFile.h"

namespace {

// So many nodes are visited per turn of the event loop before the walk
// lets the window react (nodes already listed cost no waiting).
constexpr int kNodesPerTurn = 500;
constexpr qint64 kProgressIntervalMs = 50;

} // namespace

void TdlgAtlasdesk::startWalk(const std::vector<TreeNode*>& tops, std::function<void(bool completed)> done,
                              bool stopOnError)
{
    cancelWalk();
    m_walk = std::make_unique<TreeWalk>();
    m_walk->stopOnError = stopOnError;
    for (TreeNode* node : tops)
        m_walk->tops.emplace_back(tvXMLTree->indexFromItem(node));
    m_walk->done = std::move(done);
    m_walk->sinceProgress.start();
    beginCancellableTask([this] { cancelWalk(); });
    ggTask->setRange(0, 0); // how many folders lie below is not known
    walkProgress(true);
    queueWalkStep();
}

void TdlgAtlasdesk::cancelWalk()
{
    if (!m_walk)
        return;
    std::unique_ptr<TreeWalk> walk = std::move(m_walk);
    // The listing it waits for is dropped; its node stays unlisted.
    if (walk->awaiting)
        if (auto* node = static_cast<TreeNode*>(tvXMLTree->itemFromIndex(walk->entering)))
            if (node->listingRequest == walk->awaiting)
                dropListing(node);
    endCancellableTask();
    ggTask->setRange(0, 100);
    ggTask->setValue(0);
    lblTask->setText(QStringLiteral("Stopped: %1 folders read").arg(walk->foldersRead));
    if (walk->done)
        walk->done(false);
}

void TdlgAtlasdesk::queueWalkStep()
{
    if (!m_walk || m_walk->stepQueued)
        return;
    m_walk->stepQueued = true;
    QMetaObject::invokeMethod(this, [this] {
        if (m_walk) {
            m_walk->stepQueued = false;
            walkStep();
        }
    }, Qt::QueuedConnection);
}

void TdlgAtlasdesk::walkStep()
{
    if (!m_walk || m_walk->awaiting)
        return;
    TreeWalk& w = *m_walk;
    for (int visited = 0; visited < kNodesPerTurn; ++visited) {
        if (w.stack.empty()) {
            if (w.nextTop >= w.tops.size())
                return endWalk(true);
            auto* top = static_cast<TreeNode*>(tvXMLTree->itemFromIndex(w.tops[w.nextTop++]));
            if (top && !walkEnter(top))
                return; // waiting for its listing
            continue;
        }
        TreeWalk::Frame& frame = w.stack.back();
        auto* node = static_cast<TreeNode*>(tvXMLTree->itemFromIndex(frame.node));
        if (!node)
            return endWalk(false); // removed under the walk
        if (frame.next < node->childCount()) {
            if (!walkEnter(node->childNode(frame.next++)))
                return;
            continue;
        }
        if (frame.onPath)
            w.onPath.erase(frame.id);
        w.stack.pop_back();
        if (node->childCount() > 0)
            node->setExpanded(true);
    }
    queueWalkStep();
}

bool TdlgAtlasdesk::walkEnter(TreeNode* node)
{
    if (node->file()->Category == catDirectory && !node->file()->Scanned) {
        if (const quint64 id = requestListing(node)) {
            m_walk->awaiting = id;
            m_walk->entering = QPersistentModelIndex(tvXMLTree->indexFromItem(node));
            return false;
        }
    }
    walkPush(node);
    return true;
}

void TdlgAtlasdesk::walkPush(TreeNode* node)
{
    TreeWalk& w = *m_walk;
    TreeWalk::Frame frame;
    frame.node = QPersistentModelIndex(tvXMLTree->indexFromItem(node));
    frame.id = {node->dirDevice, node->dirInode};
    if (node->file()->Category == catDirectory && frame.id.second != 0) {
        // A directory already on the way down (a link to an ancestor) is
        // not entered again, so link cycles end.
        if (!w.onPath.insert(frame.id).second)
            return;
        frame.onPath = true;
    }
    w.stack.push_back(std::move(frame));
}

bool TdlgAtlasdesk::walkRejects(quint64 request, const DirectoryListing& listing) const
{
    // Checked before the answer is attached, so a cycle's node stays
    // unlisted, as if it had never been entered.
    return m_walk && m_walk->awaiting == request && listing.inode != 0 &&
           m_walk->onPath.count({listing.device, listing.inode}) > 0;
}

void TdlgAtlasdesk::walkListed(quint64 request, const DirectoryListing* listing)
{
    if (!m_walk || m_walk->awaiting != request)
        return;
    m_walk->awaiting = 0;
    if (listing) {
        ++m_walk->foldersRead;
        if (m_walk->stopOnError && !listing->error.isEmpty()) {
            m_walk->entering = QPersistentModelIndex();
            endWalk(false);
            showStatusMessage(QStringLiteral("Stopped: %1").arg(listing->error));
            return;
        }
        if (auto* node = static_cast<TreeNode*>(tvXMLTree->itemFromIndex(m_walk->entering)))
            walkPush(node);
        walkProgress(false);
    }
    m_walk->entering = QPersistentModelIndex();
    queueWalkStep();
}

void TdlgAtlasdesk::walkProgress(bool force)
{
    if (!force && m_walk->sinceProgress.elapsed() < kProgressIntervalMs)
        return;
    m_walk->sinceProgress.restart();
    lblTask->setText(QStringLiteral("Expanding: %1 folders read").arg(m_walk->foldersRead));
}

void TdlgAtlasdesk::endWalk(bool completed)
{
    std::unique_ptr<TreeWalk> walk = std::move(m_walk);
    endCancellableTask();
    ggTask->setRange(0, 100);
    ggTask->setValue(0);
    lblTask->setText(completed ? QStringLiteral("Ready: %1 folders read").arg(walk->foldersRead)
                               : QStringLiteral("Stopped: %1 folders read").arg(walk->foldersRead));
    UpdateCounters();
    if (walk->done)
        walk->done(completed);
}
