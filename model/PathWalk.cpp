#include "model/PathWalk.h"

#include "model/AtlasdeskOps.h"
#include "model/XMLFile.h"

PathWalk::PathWalk(StoreTreeModel* model, std::string path, std::string xmlPath, QObject* parent)
    : QObject(parent), m_model(model), m_path(std::move(path)), m_xmlPath(std::move(xmlPath))
{
    connect(m_model, &StoreTreeModel::directoryLoaded, this, &PathWalk::onLoaded);
    connect(m_model, &StoreTreeModel::listingDropped, this, &PathWalk::onDropped);
}

void PathWalk::start()
{
    m_running = true;
    m_at = m_model->rootIndex();
    m_toldEntering = false;
    step();
}

void PathWalk::step()
{
    while (m_running) {
        const QModelIndex node = m_at;
        const tXMLFile* file = m_model->file(node);
        if (!file) {
            m_running = false;
            emit notFound();
            return;
        }
        if (file->XMLPath == m_xmlPath) {
            m_running = false;
            emit found(node);
            return;
        }
        if (!m_toldEntering) {
            m_toldEntering = true;
            emit entering(node);
            if (!m_running)
                return;
        }
        if (m_model->state(node) != StoreTreeModel::State::Listed) {
            if (m_model->list(node)) {
                m_awaiting = node;
                return; // goes on when its rows are all in
            }
            m_running = false;
            emit notFound();
            return;
        }
        // The data set itself, or the folder on its way down.
        const std::string here = file->DataPath();
        QModelIndex next;
        for (int row = 0, rows = m_model->rowCount(node); row < rows && !next.isValid(); ++row) {
            const QModelIndex child = m_model->index(row, 0, node);
            const tXMLFile* f = m_model->file(child);
            const std::string there = f->DataPath();
            if (f->XMLPath == m_xmlPath ||
                (f->Category == catDirectory && m_model->hasChildren(child) && there.size() > here.size() &&
                 m_path.compare(0, there.size(), there) == 0))
                next = child;
        }
        m_at = next;
        m_toldEntering = false;
    }
}

void PathWalk::onLoaded(const QModelIndex& dir)
{
    if (!m_running || !m_awaiting.isValid() || QModelIndex(m_awaiting) != dir)
        return;
    m_awaiting = QPersistentModelIndex();
    step();
}

void PathWalk::onDropped(const QModelIndex& dir)
{
    if (!m_running || !m_awaiting.isValid() || QModelIndex(m_awaiting) != dir)
        return;
    // The folder's listing was dropped (collapsed, refreshed): the data set
    // cannot be reached that way now.
    m_awaiting = QPersistentModelIndex();
    m_running = false;
    emit notFound();
}
