// Tree display: category filters, greyed nodes, selection commands.
#include <QApplication>
#include <QCheckBox>
#include <QMenu>

#include "model/AtlasdeskOps.h"
#include "app/CommandGuard.h"
#include "app/SearchPane.h"
#include "app/ServerTree.h"
#include "model/XMLFile.h"
#include "app/dlgAtlasdeskU.h"

bool TdlgAtlasdesk::IsCategoryShown(const TreeNode* node) const
{
    const int c = node->file()->Category;
    return c <= 15 && ShownCategories.contains(c);
}

void TdlgAtlasdesk::CleanSelection()
{
    try {
        const std::vector<TreeNode*> selected(tvXMLTree->selectionOrder().rbegin(),
                                              tvXMLTree->selectionOrder().rend());
        std::vector<TreeNode*> greyed;
        for (TreeNode* node : selected)
            if (!IsCategoryShown(node))
                greyed.push_back(node);
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

void TdlgAtlasdesk::mnuXMLExpandAllClick()
{
    runCommand(this, [this] {
        const std::vector<TreeNode*> selected(tvXMLTree->selectionOrder().begin(),
                                              tvXMLTree->selectionOrder().end());
        // Runs on between listings; the window stays usable meanwhile.
        startWalk(selected, {});
    });
}

void TdlgAtlasdesk::mnuXMLCollapseAllClick()
{
    runCommand(this, [this] {
        TreeNode* root = tvXMLTree->rootNode();
        if (!root)
            throw Exception("Invalid index");
        cancelWalk();
        tvXMLTree->collapseAll();
        // Collapsing everything at once tells no node: reads still pending
        // are dropped here, and the hidden nodes leave the selection.
        std::vector<TreeNode*> loading;
        for (const auto& [id, index] : m_pendingListings)
            if (auto* node = static_cast<TreeNode*>(tvXMLTree->itemFromIndex(index)))
                loading.push_back(node);
        for (TreeNode* node : loading)
            dropListing(node);
        DropHiddenFromSelection();
    });
}

namespace {

// The descendants of `node` before `node` itself, deepest first.
void collectSubtree(TreeNode* node, std::vector<TreeNode*>& nodes)
{
    for (int i = 0; i < node->childCount(); ++i)
        collectSubtree(node->childNode(i), nodes);
    nodes.push_back(node);
}

} // namespace

void TdlgAtlasdesk::SelectSubtree(TreeNode* node)
{
    // Added as Ctrl-clicks would add them, in one selection change.
    std::vector<TreeNode*> nodes;
    collectSubtree(node, nodes);
    tvXMLTree->selectNodes(nodes);
    tvXMLTree->selectionModel()->setCurrentIndex(tvXMLTree->indexFromItem(node),
                                                 QItemSelectionModel::NoUpdate);
}

void TdlgAtlasdesk::mnuSelectChildrenClick()
{
    runCommand(this, [this] {
        TreeNode* n = tvXMLTree->primaryNode();
        if (!n && tvXMLTree->selectionCount() == 0)
            return;
        const QPersistentModelIndex primary(n ? tvXMLTree->indexFromItem(n) : QModelIndex());
        const std::vector<TreeNode*> selected(tvXMLTree->selectionOrder().begin(),
                                              tvXMLTree->selectionOrder().end());
        // First what "&Expand all" does; the selection follows once every
        // directory below is listed. A stopped walk selects nothing, and so
        // does one that met a folder it could not read: the subtree could
        // not be listed whole.
        startWalk(selected, [this, primary, hadPrimary = n != nullptr](bool completed) {
            if (!completed)
                return;
            runCommand(this, [this, primary, hadPrimary] {
                auto* node = static_cast<TreeNode*>(tvXMLTree->itemFromIndex(primary));
                QApplication::setOverrideCursor(Qt::WaitCursor);
                // The selection handling runs once at the end instead of once
                // per added node; the end state is the same: n with its shown
                // descendants.
                m_batchSelecting = true;
                try {
                    tvXMLTree->clearSelection();
                    if (hadPrimary && node)
                        SelectSubtree(node);
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
