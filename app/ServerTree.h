#pragma once
// The server tree widget: nodes own their tXMLFile, the selection order is
// kept (first selected first), greyed nodes are drawn by hand.
#include <QPixmap>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <utility>
#include <vector>

class tXMLFile;
class ServerTree;

// Item data role holding the readable error of a directory that could not
// be listed (absent when it was listed fine).
inline constexpr int ListingErrorRole = Qt::UserRole + 1;

// One node of the server tree; owns its data object for its whole life.
class TreeNode : public QTreeWidgetItem {
public:
    explicit TreeNode(std::unique_ptr<tXMLFile> file);
    ~TreeNode() override;

    tXMLFile* file() const { return m_file.get(); }
    TreeNode* parentNode() const { return static_cast<TreeNode*>(parent()); }
    TreeNode* childNode(int i) const { return static_cast<TreeNode*>(child(i)); }
    // The has-children mark: an expand button even before children exist.
    void setHasChildrenMark(bool on);
    bool hasChildrenMark() const;
    // As the item's own, and forgets the node's measured width.
    void setData(int column, int role, const QVariant& value) override;

    // Listing bookkeeping; window thread only.
    // The request whose answer the node waits for; 0 when none. Collapse,
    // Refresh and reconnecting clear it, which makes a late answer stale.
    quint64 listingRequest = 0;
    // The identity (device, inode) of the directory listed for it; 0 before
    // a listing or when it failed. Walks use it to notice link cycles.
    uint64_t dirDevice = 0;
    uint64_t dirInode = 0;

private:
    friend class ServerTree;
    std::unique_ptr<tXMLFile> m_file;
    ServerTree* m_tree = nullptr; // set while the node is counted by a tree
    bool m_inOrder = false;
    std::list<TreeNode*>::iterator m_orderPos;
    // The width its picture and text need, measured once (see ServerTree).
    mutable int m_width = -1;
    mutable unsigned m_widthEpoch = 0;
};

class ServerTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit ServerTree(QWidget* parent = nullptr);
    ~ServerTree() override;

    static constexpr int Indent = 19;

    // Decides whether a node is drawn normally; greyed otherwise.
    std::function<bool(const TreeNode*)> isShown;

    TreeNode* rootNode() const { return static_cast<TreeNode*>(topLevelItem(0)); }
    // Selected nodes in the order they were selected.
    const std::list<TreeNode*>& selectionOrder() const { return m_order; }
    int selectionCount() const { return static_cast<int>(m_order.size()); }
    // The primary selected node: the current node when it is selected,
    // otherwise the one selected last; null without a selection.
    TreeNode* primaryNode() const;
    // Number of nodes at every depth.
    int nodeCount() const { return m_nodeCount; }
    // Removes every node, releasing their data objects; the selection
    // bookkeeping is emptied first so no handler sees a released node.
    void clearAll();
    // Deletes `node`, its descendants and their data objects.
    void deleteSubtree(TreeNode* node);
    // Adds `child` to `parent` (top level when null) and counts it.
    void attach(TreeNode* parent, TreeNode* child);
    // Adds a batch of already sorted children at once.
    void attachChildren(TreeNode* parent, QList<QTreeWidgetItem*> children);
    // Adds `node` to the selection as a Ctrl-click would, making it current.
    void addToSelection(TreeNode* node);
    // Adds `nodes` to the selection in one change; those not selected yet
    // enter the selection order in the order given.
    void selectNodes(const std::vector<TreeNode*>& nodes);
    // Drops `nodes` from the selection in one change (none when none of
    // them is selected); the others keep their order.
    void deselectNodes(const std::vector<TreeNode*>& nodes);
    // The rectangle of a node's whole row, in viewport coordinates.
    QRect rowRect(const QTreeWidgetItem* node) const;

signals:
    // Right click on a node or on empty space, after the selection changed.
    void popupRequested(const QPoint& globalPos);

protected:
    // The width of the widest row on screen: the column is sized to what
    // the user sees, and grows while scrolling brings wider rows in.
    int sizeHintForColumn(int column) const override;
    void scrollContentsBy(int dx, int dy) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void changeEvent(QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Runs before the tree announces itemSelectionChanged, so handlers
    // always see the order list up to date.
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    friend class TreeNode;
    void nodeDestroyed(TreeNode* node);
    void forget(TreeNode* node);
    void drawGreyedRow(QPainter* painter, const QRect& row, const TreeNode* node) const;
    void drawTreeLines(QPainter* painter, QRect r, const TreeNode* node) const;
    int level(const QTreeWidgetItem* node) const;
    bool hasNextSibling(const QTreeWidgetItem* node) const;
    int visibleRowsWidth() const;
    QItemSelection rangesOf(const std::vector<TreeNode*>& nodes) const;
    void selectInOrder(const std::vector<TreeNode*>& nodes);
    const QPixmap& picture(int category, qreal devicePixelRatio) const;

    std::list<TreeNode*> m_order;
    // While set, newly selected nodes enter the order as listed here.
    const std::vector<TreeNode*>* m_pendingOrder = nullptr;
    unsigned m_widthEpoch = 1; // bumped when fonts or style change every width
    int m_seenWidth = 0;       // the widest rows scrolled past since the rows changed
    mutable std::map<std::pair<int, qreal>, QPixmap> m_pictures;
    int m_nodeCount = 0;
    bool m_clearing = false;
    bool m_rightPressHandled = false;
};
