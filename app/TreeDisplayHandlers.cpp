// Tree display: category filters, greyed nodes, selection commands.
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <set>
#include <utility>

#include "AtlasdeskOps.h"
#include "CommandGuard.h"
#include "SearchPane.h"
#include "ServerTree.h"
#include "XMLFile.h"
#include "dlgAtlasdeskU.h"

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

void TdlgAtlasdesk::expandSubtree(TreeNode* top)
{
    // Depth first, listing every directory below `top`. A directory already
    // on the current path (a symbolic link to an ancestor) is not entered
    // again, so link cycles end.
    struct Frame {
        TreeNode* node;
        int next;
        bool pushedId;
    };
    std::set<std::pair<dev_t, ino_t>> onPath;
    std::vector<Frame> stack;
    auto enter = [&](TreeNode* node) {
        bool pushed = false;
        const tXMLFile* f = node->file();
        if (f->Category == catDirectory) {
            struct stat st;
            if (::stat(f->DataPath().c_str(), &st) == 0) {
                if (!onPath.insert({st.st_dev, st.st_ino}).second)
                    return; // a cycle: leave this node as it is
                pushed = true;
            }
        }
        ScanDirectoryNode(node);
        stack.push_back({node, 0, pushed});
    };
    enter(top);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next < frame.node->childCount()) {
            enter(frame.node->childNode(frame.next++));
            continue;
        }
        TreeNode* node = frame.node;
        if (frame.pushedId) {
            struct stat st;
            if (::stat(node->file()->DataPath().c_str(), &st) == 0)
                onPath.erase({st.st_dev, st.st_ino});
        }
        stack.pop_back();
        if (node->childCount() > 0)
            node->setExpanded(true);
    }
}

void TdlgAtlasdesk::mnuXMLExpandAllClick()
{
    runCommand(this, [this] {
        const std::vector<TreeNode*> selected(tvXMLTree->selectionOrder().begin(),
                                              tvXMLTree->selectionOrder().end());
        QApplication::setOverrideCursor(Qt::WaitCursor);
        try {
            tvXMLTree->setUpdatesEnabled(false);
            for (TreeNode* node : selected)
                expandSubtree(node);
        } catch (...) {
            tvXMLTree->setUpdatesEnabled(true);
            QApplication::restoreOverrideCursor();
            throw;
        }
        tvXMLTree->setUpdatesEnabled(true);
        QApplication::restoreOverrideCursor();
    });
}

void TdlgAtlasdesk::mnuXMLCollapseAllClick()
{
    runCommand(this, [this] {
        TreeNode* root = tvXMLTree->rootNode();
        if (!root)
            throw Exception("Invalid index");
        tvXMLTree->collapseAll();
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
        mnuXMLExpandAllClick();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // The selection handling runs once at the end instead of once per
        // added node; the end state is the same: n with its shown descendants.
        m_batchSelecting = true;
        try {
            tvXMLTree->clearSelection();
            if (n)
                SelectSubtree(n);
        } catch (...) {
            m_batchSelecting = false;
            QApplication::restoreOverrideCursor();
            throw;
        }
        m_batchSelecting = false;
        QApplication::restoreOverrideCursor();
        OntvXMLTreeSelect();
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
