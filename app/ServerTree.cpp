#include "app/ServerTree.h"

#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/HandOver.h"
#include "app/TreeRowDelegate.h"
#include "model/StoreTreeModel.h"
#include "model/XMLFile.h"
#include "support/widgets/DottedLine.h"

ServerTree::ServerTree(QWidget* parent) : QTreeView(parent), m_delegate(new TreeRowDelegate(this))
{
    setHeaderHidden(true);
    setIndentation(Indent);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setMouseTracking(true); // hot tracking
    setContextMenuPolicy(Qt::NoContextMenu);
    // Nodes leave by drag as files for other programs; nothing is dropped in.
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    m_delegate->isShown = [this](const QModelIndex& index) { return !isShown || isShown(index); };
    setItemDelegate(m_delegate);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    // Expanding or collapsing changes the rows: the column fits anew.
    connect(this, &QTreeView::expanded, this, [this] { m_seenWidth = 0; });
    connect(this, &QTreeView::collapsed, this, [this] { m_seenWidth = 0; });
}

ServerTree::~ServerTree() = default;

void ServerTree::setStoreModel(StoreTreeModel* model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    forgetAll();
    setModel(model);
    if (!model)
        return;
    // Nothing is told: the model goes while its owner is going too, and
    // the owner's slots may be gone already.
    connect(model, &QObject::destroyed, this, [this] { forgetAll(); });
    // A reset tells the selection model nothing it would pass on.
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        const bool hadSelection = !m_order.empty();
        forgetAll();
        if (hadSelection)
            emit itemSelectionChanged();
    });
}

StoreTreeModel* ServerTree::storeModel() const
{
    return m_model;
}

QModelIndex ServerTree::rootNode() const
{
    return m_model ? m_model->rootIndex() : QModelIndex();
}

tXMLFile* ServerTree::file(const QModelIndex& node) const
{
    return m_model ? m_model->file(node) : nullptr;
}

std::vector<QModelIndex> ServerTree::selectionOrder() const
{
    return std::vector<QModelIndex>(m_order.begin(), m_order.end());
}

bool ServerTree::isSelected(const QModelIndex& node) const
{
    return node.isValid() && m_inOrder.count(node.internalPointer()) > 0;
}

QModelIndex ServerTree::primaryNode() const
{
    const QModelIndex current = currentIndex();
    if (isSelected(current))
        return current;
    return m_order.empty() ? QModelIndex() : m_order.back();
}

void ServerTree::enterOrder(const QModelIndex& node)
{
    if (!node.isValid() || m_inOrder.count(node.internalPointer()))
        return;
    m_inOrder.emplace(node.internalPointer(), m_order.insert(m_order.end(), node.sibling(node.row(), 0)));
}

void ServerTree::leaveOrder(const QModelIndex& node)
{
    const auto it = m_inOrder.find(node.internalPointer());
    if (it == m_inOrder.end())
        return;
    m_order.erase(it->second);
    m_inOrder.erase(it);
}

void ServerTree::forgetAll()
{
    m_order.clear();
    m_inOrder.clear();
    m_seenWidth = 0;
}

void ServerTree::forgetBelow(const QModelIndex& parent)
{
    // A folder's rows go all together: every selected node below it goes.
    for (auto it = m_order.begin(); it != m_order.end();) {
        bool below = false;
        for (QModelIndex p = it->parent(); p.isValid() && !below; p = p.parent())
            below = p == parent;
        if (below) {
            m_inOrder.erase(it->internalPointer());
            it = m_order.erase(it);
        } else {
            ++it;
        }
    }
}

void ServerTree::addToSelection(const QModelIndex& node)
{
    selectionModel()->setCurrentIndex(node, QItemSelectionModel::Select);
}

QItemSelection ServerTree::rangesOf(const std::vector<QModelIndex>& nodes) const
{
    // The selection model compares selections range by range, each with
    // each, so one range per node makes large selections quadratically
    // slow. Consecutive rows under one parent make one range here.
    struct Row {
        QModelIndex parent;
        int row;
    };
    std::vector<Row> rows;
    rows.reserve(nodes.size());
    for (const QModelIndex& node : nodes)
        if (node.isValid())
            rows.push_back({node.parent(), node.row()});
    const auto parentKey = [](const Row& r) { return r.parent.internalPointer(); };
    std::sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
        return parentKey(a) != parentKey(b) ? std::less<const void*>()(parentKey(a), parentKey(b)) : a.row < b.row;
    });
    QItemSelection ranges;
    for (size_t first = 0; first < rows.size();) {
        size_t last = first;
        while (last + 1 < rows.size() && rows[last + 1].parent == rows[first].parent &&
               rows[last + 1].row <= rows[last].row + 1)
            ++last;
        const QModelIndex& parent = rows[first].parent;
        ranges.append(QItemSelectionRange(model()->index(rows[first].row, 0, parent),
                                          model()->index(rows[last].row, 0, parent)));
        first = last + 1;
    }
    return ranges;
}

void ServerTree::selectInOrder(const std::vector<QModelIndex>& nodes)
{
    struct Pending {
        const std::vector<QModelIndex>*& slot;
        const std::vector<QModelIndex>* previous;
        ~Pending() { slot = previous; }
    } pending{m_pendingOrder, m_pendingOrder};
    m_pendingOrder = &nodes;
    selectionModel()->select(rangesOf(nodes), QItemSelectionModel::Select);
}

void ServerTree::selectNodes(const std::vector<QModelIndex>& nodes)
{
    if (!nodes.empty())
        selectInOrder(nodes);
}

void ServerTree::deselectNodes(const std::vector<QModelIndex>& nodes)
{
    std::vector<QModelIndex> kept;
    bool dropping = false;
    {
        std::vector<const void*> drop;
        drop.reserve(nodes.size());
        for (const QModelIndex& node : nodes)
            drop.push_back(node.internalPointer());
        std::sort(drop.begin(), drop.end());
        for (const QModelIndex& node : m_order) {
            if (std::binary_search(drop.begin(), drop.end(), node.internalPointer()))
                dropping = true;
            else
                kept.push_back(node);
        }
    }
    if (!dropping)
        return;
    if (kept.empty()) {
        selectionModel()->clearSelection();
        return;
    }
    // Deselecting range by range compares every dropped range with every
    // selected one. The selection is rebuilt instead: cleared quietly, then
    // the kept nodes selected again, which the tree announces as one change.
    {
        const QSignalBlocker quiet(this);
        selectionModel()->clearSelection();
    }
    selectInOrder(kept);
}

void ServerTree::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    for (const QModelIndex& index : deselected.indexes())
        leaveOrder(index);
    if (m_pendingOrder) {
        for (const QModelIndex& node : *m_pendingOrder)
            if (selectionModel()->isSelected(node))
                enterOrder(node);
    } else {
        for (const QModelIndex& index : selected.indexes())
            enterOrder(index);
    }
    QTreeView::selectionChanged(selected, deselected);
    emit itemSelectionChanged();
}

QRect ServerTree::rowRect(const QModelIndex& node) const
{
    QRect r = visualRect(node);
    r.setLeft(0);
    r.setRight(viewport()->width() - 1);
    return r;
}

bool ServerTree::hasNextSibling(const QModelIndex& index) const
{
    return index.row() < model()->rowCount(index.parent()) - 1;
}

int ServerTree::level(QModelIndex index) const
{
    int depth = 0;
    for (index = index.parent(); index.isValid(); index = index.parent())
        ++depth;
    return depth;
}

int ServerTree::sizeHintForColumn(int column) const
{
    // The toolkit measures the text of up to a thousand rows on every
    // layout, which made every expansion cost tens of milliseconds however
    // small the directory. Only the rows on screen (and the width of those
    // scrolled past since the rows last changed) count here.
    if (column != 0)
        return QTreeView::sizeHintForColumn(column);
    return std::max(visibleRowsWidth(), m_seenWidth);
}

int ServerTree::visibleRowsWidth() const
{
    if (!model())
        return -1;
    ensurePolished();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int indent = indentation();
    const int bottom = viewport()->height();
    int width = -1;
    for (QModelIndex index = indexAt(QPoint(columnViewportPosition(0), 0)); index.isValid();
         index = indexBelow(index)) {
        if (visualRect(index).top() >= bottom)
            break;
        const int own = itemDelegateForIndex(index)->sizeHint(option, index).width();
        width = std::max(width, own + indent * (level(index) + (rootIsDecorated() ? 1 : 0)));
    }
    return width;
}

void ServerTree::scrollContentsBy(int dx, int dy)
{
    QTreeView::scrollContentsBy(dx, dy);
    // Rows scrolled into view may need a wider column. What was seen stays
    // fitted until the rows change, so the column never narrows while
    // scrolling and the horizontal position stays where it was.
    if (dy == 0)
        return;
    const int width = visibleRowsWidth();
    m_seenWidth = std::max(m_seenWidth, width);
    if (width > columnWidth(0))
        header()->resizeSections(QHeaderView::ResizeToContents);
}

void ServerTree::rowsInserted(const QModelIndex& parent, int start, int end)
{
    m_seenWidth = 0;
    QTreeView::rowsInserted(parent, start, end);
}

void ServerTree::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    m_seenWidth = 0;
    forgetBelow(parent);
    QTreeView::rowsAboutToBeRemoved(parent, start, end);
}

void ServerTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (!isShown || isShown(index)) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    // A greyed row is drawn by hand, so that it never shows a selection or
    // hot-tracking highlight: its dotted lines here, its picture and text by
    // the delegate.
    const int lvl = level(index);
    const int indent = indentation();
    QRect r = option.rect;
    r.setLeft(0);
    r.translate(-horizontalOffset(), 0);
    painter->save();
    QRect lines = r;
    lines.setLeft(r.left() + lvl * indent);
    drawTreeLines(painter, lines, index);
    painter->restore();
    QStyleOptionViewItem cell = option;
    cell.rect = QRect(r.left() + (lvl + 1) * indent, r.top(), std::max(0, r.width()), r.height());
    cell.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus);
    itemDelegateForIndex(index)->paint(painter, cell, index);
}

void ServerTree::drawTreeLines(QPainter* painter, QRect r, const QModelIndex& index) const
{
    painter->setPen(palette().color(QPalette::Active, QPalette::Dark)); // button shadow
    const int indent = indentation();
    int x = r.left() + indent / 2 - 1;
    const int y = r.top() + (r.bottom() - r.top()) / 2;
    DrawDottedLine(x, y, r.left() + indent, y, *painter);
    DrawDottedLine(x, y, x, r.top() - 1, *painter);
    const QModelIndex below = indexBelow(index);
    if ((below.isValid() && level(below) == level(index)) || hasNextSibling(index))
        DrawDottedLine(x, y, x, r.bottom() + 1, *painter);
    if (model()->hasChildren(index)) {
        DrawDottedLine(x + 2, y, x - 1, y, *painter);
        if (!isExpanded(index))
            DrawDottedLine(x, y + 2, x, y - 2, *painter);
    }
    for (QModelIndex a = index.parent(); a.isValid(); a = a.parent()) {
        x -= indent;
        if (hasNextSibling(a))
            DrawDottedLine(x, r.top(), x, r.bottom(), *painter);
    }
}

void ServerTree::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::RightButton) {
        QTreeView::mousePressEvent(event);
        return;
    }
    // A right click selects exactly as a left click with the same keys.
    if (!indexAt(event->position().toPoint()).isValid()) {
        clearSelection();
    } else {
        QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->globalPosition(), Qt::LeftButton,
                          Qt::LeftButton, event->modifiers());
        QTreeView::mousePressEvent(&press);
        QMouseEvent release(QEvent::MouseButtonRelease, event->position(), event->globalPosition(), Qt::LeftButton,
                            Qt::NoButton, event->modifiers());
        QTreeView::mouseReleaseEvent(&release);
    }
    m_rightPressHandled = true;
    event->accept();
}

void ServerTree::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton && m_rightPressHandled) {
        m_rightPressHandled = false;
        event->accept();
        emit popupRequested(event->globalPosition().toPoint());
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void ServerTree::requestPopupAtCurrent()
{
    QPoint at(0, 0);
    const QModelIndex node = currentIndex();
    if (node.isValid()) {
        scrollTo(node);
        const QRect r = visualRect(node);
        at = QPoint(r.left() + iconSize().width(), r.center().y());
    }
    emit popupRequested(viewport()->mapToGlobal(at));
}

void ServerTree::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers keys = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && keys == Qt::ShiftModifier)) {
        event->accept();
        requestPopupAtCurrent();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && keys == Qt::NoModifier &&
        currentIndex().isValid()) {
        event->accept();
        emit enterPressed();
        return;
    }
    QTreeView::keyPressEvent(event);
}

QMimeData* ServerTree::dragData(const std::vector<QModelIndex>& nodes) const
{
    std::vector<std::string> paths;
    for (const QModelIndex& node : nodes)
        if (const tXMLFile* f = file(node); f && (!isShown || isShown(node)))
            paths.push_back(handedOverPath(*f));
    return paths.empty() ? nullptr : handOverMimeData(paths);
}

void ServerTree::startDrag(Qt::DropActions)
{
    QMimeData* data = dragData(selectionOrder());
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}
