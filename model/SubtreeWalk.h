#pragma once
// A walk over subtrees of the store tree ("Expand all", "Select children",
// the double click): every node below the given ones is visited depth
// first, and every directory on the way that is not listed yet is listed
// through the model, one at a time; the walk waits for the model's
// directoryLoaded and never for the disk. It goes on a slice of nodes per
// turn of the event loop, so the window keeps drawing and reacting, and
// stops when cancelled, leaving what was listed.
//
// A directory already on the way down (a symbolic link back to one of its
// ancestors) is not entered and is left unlisted, so link cycles end.
//
// Window thread only (the model's).
#include <QElapsedTimer>
#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

#include <set>
#include <vector>

#include "model/StoreTreeModel.h"

class SubtreeWalk : public QObject {
    Q_OBJECT
public:
    // Walks the subtrees of `tops`, in the order given, once start() is called.
    SubtreeWalk(StoreTreeModel* model, const std::vector<QModelIndex>& tops, QObject* parent = nullptr);
    // Drops the listing it waits for (its node stays unlisted).
    ~SubtreeWalk() override;

    // A folder that cannot be read ends the walk, not completed; error()
    // then says why.
    void setStopOnError(bool stop) { m_stopOnError = stop; }
    void start();
    // Stops at once: finished(false), the listing waited for dropped.
    void cancel();

    bool isRunning() const { return m_running; }
    int foldersRead() const { return m_foldersRead; }
    // Why a walk stopped on an error; empty otherwise.
    const QString& error() const { return m_error; }

signals:
    // `node` and everything below it were visited; its rows are in.
    // Children are left before their parents.
    void left(const QModelIndex& node);
    // Folders read so far; at most every 50 ms.
    void progress(int foldersRead);
    // The walk ended: completed, or stopped (cancelled, a node removed under
    // it, or an error with setStopOnError). Emitted once.
    void finished(bool completed);

private:
    using DirectoryId = StoreTreeModel::DirectoryId;
    struct Frame {
        QPersistentModelIndex node;
        int next = 0;        // the next child to enter
        bool onPath = false; // its directory is in m_onPath
        DirectoryId id{0, 0};
    };
    void queueStep();
    void step();
    // Enters `node`: false when the walk now waits for its listing.
    bool enter(const QModelIndex& node);
    void push(const QModelIndex& node);
    void onLoaded(const QModelIndex& dir);
    void onDropped(const QModelIndex& dir);
    void end(bool completed);

    StoreTreeModel* m_model;
    std::vector<QPersistentModelIndex> m_tops;
    size_t m_nextTop = 0;
    std::vector<Frame> m_stack;
    std::set<DirectoryId> m_onPath;  // directories on the way down
    QPersistentModelIndex m_awaiting; // the node whose listing it waits for
    bool m_running = false;
    bool m_stepQueued = false;
    bool m_stopOnError = false;
    int m_foldersRead = 0;
    QElapsedTimer m_sinceProgress;
    QString m_error;
};
