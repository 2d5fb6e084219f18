// Tree display: category filters, greyed nodes, selection commands.
#include <QApplication>
#include <QCheckBox>
#include <QMenu>

#include <QLabel>
#include <QProgressBar>

#include "model/AtlasdeskOps.h"
#include "app/CommandGuard.h"
#include "app/SearchPane.h"
#include "app/ServerTree.h"
#include "model/StoreTreeModel.h"
#include "model/SubtreeWalk.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

bool TdlgAtlasdesk::IsCategoryShown(const QModelIndex& node) const
{
    const int c = node.data(StoreTreeModel::CategoryRole).toInt();
    return c <= 15 && ShownCategories.contains(c);
}

void TdlgAtlasdesk::CleanSelection()
{
    try {
        const std::vector<QModelIndex> selected = tvXMLTree->selectionOrder();
        std::vector<QModelIndex> greyed;
        for (auto node = selected.rbegin(); node != selected.rend(); ++node)
            if (!IsCategoryShown(*node))
                greyed.push_back(*node);
        // One deselection for all: dropping nodes one by one costs a
        // selection-model round trip each.
        tvXMLTree->deselectNodes(greyed);
    } catch (...) {
        tvXMLTree->viewport()->update();
        throw;
    }
    tvXMLTree->viewport()->update();
    UpdateCounters();
}

void TdlgAtlasdesk::OnChangeFileTypeDisplayed()
{
    auto* box = qobject_cast<QCheckBox*>(sender());
    if (!box || FilterBusy)
        return;
    FilterBusy = true;
    runCommand(this, [this, box] {
        const int tag = box->property("Tag").toInt();
        if (box->isChecked() && !ShownCategories.contains(tag)) {
            ShownCategories.insert(tag);
            CleanSelection();
        } else {
            ShownCategories.remove(tag);
        }
        CleanSelection();
        // Results follow the same filter as the tree.
        if (searchPane->resultsShown())
            runSearch();
    });
    FilterBusy = false;
}

void TdlgAtlasdesk::startWalk(const std::vector<QModelIndex>& tops, std::function<void(bool completed)> done,
                              bool stopOnError)
{
    cancelWalk();
    m_walk = new SubtreeWalk(m_store, tops, this);
    m_walk->setStopOnError(stopOnError);
    SubtreeWalk* walk = m_walk;
    // A directory is opened once everything below it is listed and open, so
    // the view lays the rows out once, not at every listing.
    connect(walk, &SubtreeWalk::left, this, [this](const QModelIndex& node) {
        if (m_store->rowCount(node) > 0)
            tvXMLTree->expand(node);
    });
    connect(walk, &SubtreeWalk::progress, this, [this](int foldersRead) {
        lblTask->setText(QStringLiteral("Expanding: %1 folders read").arg(foldersRead));
    });
    connect(walk, &SubtreeWalk::finished, this, [this, walk, done = std::move(done)](bool completed) {
        if (m_walk != walk)
            return;
        m_walk = nullptr;
        walk->deleteLater();
        endCancellableTask();
        ggTask->setRange(0, 100);
        ggTask->setValue(0);
        lblTask->setText(completed ? QStringLiteral("Ready: %1 folders read").arg(walk->foldersRead())
                                   : QStringLiteral("Stopped: %1 folders read").arg(walk->foldersRead()));
        if (!walk->error().isEmpty())
            showStatusMessage(QStringLiteral("Stopped: %1").arg(walk->error()));
        UpdateCounters();
        if (done)
            done(completed);
    });
    beginCancellableTask([this] { cancelWalk(); });
    ggTask->setRange(0, 0); // how many folders lie below is not known
    walk->start();
}

void TdlgAtlasdesk::cancelWalk()
{
    // The listing it waits for is dropped; its node stays unlisted. What
    // was listed stays.
    if (m_walk)
        m_walk->cancel();
}

void TdlgAtlasdesk::mnuXMLExpandAllClick()
{
    runCommand(this, [this] {
        // Runs on between listings; the window stays usable meanwhile.
        startWalk(tvXMLTree->selectionOrder(), {});
    });
}

void TdlgAtlasdesk::mnuXMLCollapseAllClick()
{
    runCommand(this, [this] {
        if (!m_store->rootIndex().isValid())
            throw Exception("Invalid index");
        cancelWalk();
        tvXMLTree->collapseAll();
        // Collapsing everything at once tells no node: reads still pending
        // are dropped here, and the hidden nodes leave the selection.
        m_store->cancelAllListings();
        DropHiddenFromSelection();
    });
}

namespace {

// The descendants of `node` before `node` itself, deepest first.
void collectSubtree(const QAbstractItemModel* model, const QModelIndex& node, std::vector<QModelIndex>& nodes)
{
    for (int row = 0, rows = model->rowCount(node); row < rows; ++row)
        collectSubtree(model, model->index(row, 0, node), nodes);
    nodes.push_back(node);
}

} // namespace

void TdlgAtlasdesk::SelectSubtree(const QModelIndex& node)
{
    // Added as Ctrl-clicks would add them, in one selection change.
    std::vector<QModelIndex> nodes;
    collectSubtree(m_store, node, nodes);
    tvXMLTree->selectNodes(nodes);
    tvXMLTree->selectionModel()->setCurrentIndex(node, QItemSelectionModel::NoUpdate);
}

void TdlgAtlasdesk::mnuSelectChildrenClick()
{
    runCommand(this, [this] {
        const QModelIndex n = tvXMLTree->primaryNode();
        if (!n.isValid() && tvXMLTree->selectionCount() == 0)
            return;
        const QPersistentModelIndex primary(n);
        // First what "&Expand all" does; the selection follows once every
        // directory below is listed. A stopped walk selects nothing, and so
        // does one that met a folder it could not read: the subtree could
        // not be listed whole.
        startWalk(tvXMLTree->selectionOrder(), [this, primary, hadPrimary = n.isValid()](bool completed) {
            if (!completed)
                return;
            runCommand(this, [this, primary, hadPrimary] {
                QApplication::setOverrideCursor(Qt::WaitCursor);
                // The selection handling runs once at the end instead of once
                // per added node; the end state is the same: n with its shown
                // descendants.
                m_batchSelecting = true;
                try {
                    tvXMLTree->clearSelection();
                    if (hadPrimary && primary.isValid())
                        SelectSubtree(primary);
                } catch (...) {
                    m_batchSelecting = false;
                    QApplication::restoreOverrideCursor();
                    throw;
                }
                m_batchSelecting = false;
                QApplication::restoreOverrideCursor();
                OntvXMLTreeSelect();
            });
        }, /*stopOnError=*/true);
    });
}

void TdlgAtlasdesk::mnuUnselectAllClick()
{
    runCommand(this, [this] { tvXMLTree->clearSelection(); });
}

void TdlgAtlasdesk::OntvXMLTreeDblClick()
{
    mnuSelectChildrenClick();
}

void TdlgAtlasdesk::OntvXMLTreePopup(const QPoint& globalPos)
{
    popXMLTree->popup(globalPos);
}
