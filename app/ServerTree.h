#pragma once
// The server tree: a view of the store tree model (model/StoreTreeModel).
// It draws and reacts; the nodes, their items and their listing state are
// the model's. What it keeps of its own is view state: which rows are open,
// the selection (Qt's QItemSelectionModel) and the order in which nodes
// were selected, first selected first. Greyed rows (categories the user
// turned off) are drawn by hand with dotted lines and no highlight; the
// pictures and texts of every row are drawn by TreeRowDelegate.
//
// Window thread only.
#include <QPixmap>
#include <QPointer>
#include <QTreeView>

#include <functional>
#include <list>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

class QMimeData;
class StoreTreeModel;
class TreeRowDelegate;
class tXMLFile;

class ServerTree : public QTreeView {
    Q_OBJECT
public:
    explicit ServerTree(QWidget* parent = nullptr);
    ~ServerTree() override;

    static constexpr int Indent = 19;

    // Shows `model` (not owned). A model that goes before the view takes
    // the selection order with it: the view then shows nothing and keeps
    // no index of it.
    void setStoreModel(StoreTreeModel* model);
    StoreTreeModel* storeModel() const;

    // Decides whether a node is drawn normally; greyed otherwise.
    std::function<bool(const QModelIndex&)> isShown;

    // The server's node; invalid when the tree is empty.
    QModelIndex rootNode() const;
    // The item of a node; null for an invalid index.
    tXMLFile* file(const QModelIndex& node) const;
    // Selected nodes in the order they were selected.
    std::vector<QModelIndex> selectionOrder() const;
    int selectionCount() const { return static_cast<int>(m_order.size()); }
    bool isSelected(const QModelIndex& node) const;
    // The primary selected node: the current node when it is selected,
    // otherwise the one selected last; invalid without a selection.
    QModelIndex primaryNode() const;
    // Adds `node` to the selection as a Ctrl-click would, making it current.
    void addToSelection(const QModelIndex& node);
    // Adds `nodes` to the selection in one change; those not selected yet
    // enter the selection order in the order given.
    void selectNodes(const std::vector<QModelIndex>& nodes);
    // Drops `nodes` from the selection in one change (none when none of
    // them is selected); the others keep their order.
    void deselectNodes(const std::vector<QModelIndex>& nodes);
    // What dragging `nodes` hands over (see HandOver.h): their paths in the
    // order given, greyed nodes left behind; null when none is left.
    QMimeData* dragData(const std::vector<QModelIndex>& nodes) const;
    // The rectangle of a node's whole row, in viewport coordinates.
    QRect rowRect(const QModelIndex& node) const;

    // Asks for the pop-up menu at the current node (at the tree's top left
    // without one), as the Menu key and Shift+F10 do.
    void requestPopupAtCurrent();

signals:
    // The selection changed; the selection order is up to date.
    void itemSelectionChanged();
    // Right click on a node or on empty space, after the selection changed;
    // also the Menu key and Shift+F10, at the current node.
    void popupRequested(const QPoint& globalPos);
    // Enter or Return on the current node.
    void enterPressed();

protected:
    // The width of the widest row on screen: the column is sized to what
    // the user sees, and grows while scrolling brings wider rows in.
    int sizeHintForColumn(int column) const override;
    void scrollContentsBy(int dx, int dy) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The selected nodes leave as file URLs of their data files (dragData).
    void startDrag(Qt::DropActions supportedActions) override;
    // Runs before itemSelectionChanged, so handlers always see the order
    // list up to date.
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    void drawTreeLines(QPainter* painter, QRect r, const QModelIndex& index) const;
    int level(QModelIndex index) const;
    bool hasNextSibling(const QModelIndex& index) const;
    int visibleRowsWidth() const;
    QItemSelection rangesOf(const std::vector<QModelIndex>& nodes) const;
    void selectInOrder(const std::vector<QModelIndex>& nodes);
    void enterOrder(const QModelIndex& node);
    void leaveOrder(const QModelIndex& node);
    void forgetBelow(const QModelIndex& parent);
    void forgetAll();

    QPointer<StoreTreeModel> m_model;
    TreeRowDelegate* m_delegate;
    // The selection order. The model only appends rows and removes a
    // folder's rows all together, so an index stays valid until its node
    // goes; the view forgets it then.
    std::list<QModelIndex> m_order;
    std::unordered_map<const void*, std::list<QModelIndex>::iterator> m_inOrder; // by node
    // While set, newly selected nodes enter the order as listed here.
    const std::vector<QModelIndex>* m_pendingOrder = nullptr;
    int m_seenWidth = 0; // the widest rows scrolled past since the rows changed
    bool m_rightPressHandled = false;
};
