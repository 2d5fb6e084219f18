#include "model/SubtreeWalk.h"

#include <QMetaObject>

#include "model/AtlasdeskOps.h"
#include "model/XMLFile.h"

namespace {

// Nodes visited per turn of the event loop before the window may react
// (nodes already listed cost no waiting).
constexpr int kNodesPerTurn = 500;
constexpr qint64 kProgressIntervalMs = 50;

} // namespace

SubtreeWalk::SubtreeWalk(StoreTreeModel* model, const std::vector<QModelIndex>& tops, QObject* parent)
    : QObject(parent), m_model(model)
{
    m_tops.reserve(tops.size());
    for (const QModelIndex& top : tops)
        m_tops.emplace_back(top);
    connect(m_model, &StoreTreeModel::directoryLoaded, this, &SubtreeWalk::onLoaded);
    connect(m_model, &StoreTreeModel::listingDropped, this, &SubtreeWalk::onDropped);
}

SubtreeWalk::~SubtreeWalk()
{
    if (m_running && m_awaiting.isValid())
        m_model->cancelListing(m_awaiting);
}

void SubtreeWalk::start()
{
    if (m_running)
        return;
    m_running = true;
    m_sinceProgress.start();
    emit progress(0);
    queueStep();
}

void SubtreeWalk::cancel()
{
    if (!m_running)
        return;
    end(false);
}

void SubtreeWalk::queueStep()
{
    if (!m_running || m_stepQueued)
        return;
    m_stepQueued = true;
    QMetaObject::invokeMethod(this, [this] {
        m_stepQueued = false;
        step();
    }, Qt::QueuedConnection);
}

void SubtreeWalk::step()
{
    if (!m_running || m_awaiting.isValid())
        return;
    for (int visited = 0; visited < kNodesPerTurn; ++visited) {
        if (m_stack.empty()) {
            if (m_nextTop >= m_tops.size())
                return end(true);
            const QModelIndex top = m_tops[m_nextTop++];
            if (top.isValid() && !enter(top))
                return; // waiting for its listing
            continue;
        }
        Frame& frame = m_stack.back();
        if (!frame.node.isValid())
            return end(false); // removed under the walk
        const QModelIndex node = frame.node;
        if (frame.next < m_model->rowCount(node)) {
            if (!enter(m_model->index(frame.next++, 0, node)))
                return;
            continue;
        }
        if (frame.onPath)
            m_onPath.erase(frame.id);
        m_stack.pop_back();
        emit left(node);
        if (!m_running)
            return; // cancelled by whoever was told
    }
    queueStep();
}

bool SubtreeWalk::enter(const QModelIndex& node)
{
    if (m_model->state(node) != StoreTreeModel::State::Listed && m_model->list(node)) {
        m_awaiting = node;
        return false;
    }
    push(node);
    return true;
}

void SubtreeWalk::push(const QModelIndex& node)
{
    Frame frame;
    frame.node = node;
    frame.id = m_model->directoryId(node);
    if (frame.id.second != 0) {
        // A directory already on the way down (a link to an ancestor) is
        // not entered again, so link cycles end.
        if (!m_onPath.insert(frame.id).second)
            return;
        frame.onPath = true;
    }
    m_stack.push_back(std::move(frame));
}

void SubtreeWalk::onLoaded(const QModelIndex& dir)
{
    if (!m_running || !m_awaiting.isValid() || QModelIndex(m_awaiting) != dir)
        return;
    m_awaiting = QPersistentModelIndex();
    ++m_foldersRead;
    const QString error = dir.data(StoreTreeModel::ListingErrorRole).toString();
    if (m_stopOnError && !error.isEmpty()) {
        m_error = error;
        return end(false);
    }
    const DirectoryId id = m_model->directoryId(dir);
    if (id.second != 0 && m_onPath.count(id) > 0) {
        // A link back to a folder on the way down: not entered, and left
        // unlisted as if the walk had never asked.
        m_model->unlist(dir);
    } else {
        push(dir);
    }
    if (m_sinceProgress.elapsed() >= kProgressIntervalMs) {
        m_sinceProgress.restart();
        emit progress(m_foldersRead);
    }
    queueStep();
}

void SubtreeWalk::onDropped(const QModelIndex& dir)
{
    if (!m_running || !m_awaiting.isValid() || QModelIndex(m_awaiting) != dir)
        return;
    // Dropped by someone else (a collapse): that folder is passed over.
    m_awaiting = QPersistentModelIndex();
    queueStep();
}

void SubtreeWalk::end(bool completed)
{
    m_running = false;
    if (m_awaiting.isValid()) {
        const QModelIndex awaiting = m_awaiting;
        m_awaiting = QPersistentModelIndex();
        m_model->cancelListing(awaiting);
    }
    m_stack.clear();
    m_onPath.clear();
    emit finished(completed);
}
