#pragma once
// The way down the store tree to one data set (a search result shown in
// the tree): from the root, each folder on the data set's path is listed
// through the model if it is not yet, and the walk waits for the model's
// directoryLoaded before it looks among the folder's rows for the next step.
// It never waits for the disk, and a folder of any size is looked at only
// once all its rows are in.
//
// Window thread only (the model's).
#include <QObject>
#include <QPersistentModelIndex>

#include <string>

#include "model/StoreTreeModel.h"

class PathWalk : public QObject {
    Q_OBJECT
public:
    // The data set at `path` (bytes, as the file system has them) whose
    // metadata file is `xmlPath`.
    PathWalk(StoreTreeModel* model, std::string path, std::string xmlPath, QObject* parent = nullptr);
    // Drops nothing: a folder listed on the way stays listed.
    ~PathWalk() override = default;

    void start();
    // Stops without a word: neither signal comes.
    void cancel() { m_running = false; }
    bool isRunning() const { return m_running; }

signals:
    // A folder on the way down, about to be looked into (a view opens it);
    // once per folder.
    void entering(const QModelIndex& folder);
    // The walk ended at the data set's node.
    void found(const QModelIndex& node);
    // The tree has no node for it (any more), or a folder on the way could
    // not be listed.
    void notFound();

private:
    void step();
    void onLoaded(const QModelIndex& dir);
    void onDropped(const QModelIndex& dir);

    StoreTreeModel* m_model;
    std::string m_path, m_xmlPath;
    QPersistentModelIndex m_at;       // the folder reached so far
    QPersistentModelIndex m_awaiting; // the folder whose listing it waits for
    bool m_toldEntering = false;      // entering() was emitted for m_at
    bool m_running = false;
};
