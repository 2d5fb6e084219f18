#include "app/ServerTree.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <set>

#include "app/Accessibility.h"
#include "app/CategoryIcons.h"
#include "support/widgets/DottedLine.h"
#include "app/HandOver.h"
#include "model/XMLFile.h"

TreeNode::TreeNode(std::unique_ptr<tXMLFile> file) : m_file(std::move(file)) {}

TreeNode::~TreeNode()
{
    if (m_tree)
        m_tree->nodeDestroyed(this);
}

void TreeNode::setHasChildrenMark(bool on)
{
    setChildIndicatorPolicy(on ? QTreeWidgetItem::ShowIndicator
                               : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

bool TreeNode::hasChildrenMark() const
{
    return childIndicatorPolicy() == QTreeWidgetItem::ShowIndicator || childCount() > 0;
}

void TreeNode::setData(int column, int role, const QVariant& value)
{
    m_width = -1; // the text or the picture may change its width
    QTreeWidgetItem::setData(column, role, value);
}

QVariant TreeNode::data(int column, int role) const
{
    if (role == Qt::AccessibleDescriptionRole && column == 0 && m_file)
        return categoryDescription(m_file->Category);
    return QTreeWidgetItem::data(column, role);
}

ServerTree::ServerTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
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
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    // Expanding or collapsing changes the rows: the column fits anew.
    connect(this, &QTreeView::expanded, this, [this] { m_seenWidth = 0; });
    connect(this, &QTreeView::collapsed, this, [this] { m_seenWidth = 0; });
}

ServerTree::~ServerTree()
{
    clearAll();
}

TreeNode* ServerTree::primaryNode() const
{
    auto* current = static_cast<TreeNode*>(currentItem());
    if (current && current->m_inOrder)
        return current;
    return m_order.empty() ? nullptr : m_order.back();
}

void ServerTree::nodeDestroyed(TreeNode* node)
{
    if (m_clearing)
        return;
    --m_nodeCount;
    forget(node);
}

void ServerTree::forget(TreeNode* node)
{
    if (node->m_inOrder) {
        m_order.erase(node->m_orderPos);
        node->m_inOrder = false;
    }
}

void ServerTree::clearAll()
{
    m_clearing = true;
    for (TreeNode* node : m_order)
        node->m_inOrder = false;
    m_order.clear();
    clear();
    m_nodeCount = 0;
    m_seenWidth = 0;
    m_clearing = false;
}

void ServerTree::deleteSubtree(TreeNode* node)
{
    for (int i = node->childCount() - 1; i >= 0; --i)
        deleteSubtree(node->childNode(i));
    delete node;
}

void ServerTree::attach(TreeNode* parent, TreeNode* child)
{
    child->m_tree = this;
    ++m_nodeCount;
    if (parent)
        parent->addChild(child);
    else
        addTopLevelItem(child);
}

void ServerTree::attachChildren(TreeNode* parent, QList<QTreeWidgetItem*> children)
{
    for (QTreeWidgetItem* c : children)
        static_cast<TreeNode*>(c)->m_tree = this;
    m_nodeCount += static_cast<int>(children.size());
    parent->addChildren(children);
}

void ServerTree::addToSelection(TreeNode* node)
{
    const QModelIndex index = indexFromItem(node);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::Select);
}

QItemSelection ServerTree::rangesOf(const std::vector<TreeNode*>& nodes) const
{
    // The selection model compares selections range by range, each with
    // each, so one range per node makes large selections quadratically
    // slow. Consecutive rows under one parent make one range here.
    struct Row {
        const QTreeWidgetItem* parent;
        int row;
    };
    std::vector<Row> rows;
    rows.reserve(nodes.size());
    for (const TreeNode* node : nodes) {
        const QModelIndex index = indexFromItem(node);
        if (index.isValid())
            rows.push_back({node->parent(), index.row()});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.parent != b.parent ? std::less<const QTreeWidgetItem*>()(a.parent, b.parent) : a.row < b.row;
    });
    QItemSelection ranges;
    for (size_t first = 0; first < rows.size();) {
        size_t last = first;
        while (last + 1 < rows.size() && rows[last + 1].parent == rows[first].parent &&
               rows[last + 1].row <= rows[last].row + 1)
            ++last;
        const QModelIndex parent = rows[first].parent ? indexFromItem(rows[first].parent) : QModelIndex();
        ranges.append(QItemSelectionRange(model()->index(rows[first].row, 0, parent),
                                          model()->index(rows[last].row, 0, parent)));
        first = last + 1;
    }
    return ranges;
}

void ServerTree::selectInOrder(const std::vector<TreeNode*>& nodes)
{
    struct Pending {
        const std::vector<TreeNode*>*& slot;
        const std::vector<TreeNode*>* previous;
        ~Pending() { slot = previous; }
    } pending{m_pendingOrder, m_pendingOrder};
    m_pendingOrder = &nodes;
    selectionModel()->select(rangesOf(nodes), QItemSelectionModel::Select);
}

void ServerTree::selectNodes(const std::vector<TreeNode*>& nodes)
{
    if (!nodes.empty())
        selectInOrder(nodes);
}

void ServerTree::deselectNodes(const std::vector<TreeNode*>& nodes)
{
    std::vector<TreeNode*> kept;
    bool dropping = false;
    {
        std::vector<const TreeNode*> drop(nodes.begin(), nodes.end());
        std::sort(drop.begin(), drop.end());
        for (TreeNode* node : m_order) {
            if (std::binary_search(drop.begin(), drop.end(), node))
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

void ServerTree::selectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected)
{
    // A node being deleted leaves the selection only after its own
    // destructor has forgotten it; by then it is no TreeNode any more, which
    // dynamic_cast tells.
    for (const QModelIndex& index : deselected.indexes())
        if (auto* node = dynamic_cast<TreeNode*>(itemFromIndex(index)))
            forget(node);
    auto enter = [this](TreeNode* node) {
        if (node && !node->m_inOrder) {
            node->m_orderPos = m_order.insert(m_order.end(), node);
            node->m_inOrder = true;
        }
    };
    if (m_pendingOrder) {
        for (TreeNode* node : *m_pendingOrder)
            if (indexFromItem(node).isValid())
                enter(node);
    } else {
        for (const QModelIndex& index : selected.indexes())
            enter(static_cast<TreeNode*>(itemFromIndex(index)));
    }
    QTreeWidget::selectionChanged(selected, deselected);
}

QRect ServerTree::rowRect(const QTreeWidgetItem* node) const
{
    QRect r = visualItemRect(node);
    r.setLeft(0);
    r.setRight(viewport()->width() - 1);
    return r;
}

bool ServerTree::hasNextSibling(const QTreeWidgetItem* node) const
{
    // The model index knows its row at once; searching the parent's
    // children for it costs as much as the directory is long.
    const int row = indexFromItem(node).row();
    if (const QTreeWidgetItem* parent = node->parent())
        return row < parent->childCount() - 1;
    return row < topLevelItemCount() - 1;
}

int ServerTree::sizeHintForColumn(int column) const
{
    // The toolkit measures the text of up to a thousand rows on every
    // layout, which made every expansion cost tens of milliseconds however
    // small the directory. Only the rows on screen (and the width of those
    // scrolled past since the rows last changed) count here, each row
    // measured once.
    if (column != 0)
        return QTreeWidget::sizeHintForColumn(column);
    return std::max(visibleRowsWidth(), m_seenWidth);
}

int ServerTree::visibleRowsWidth() const
{
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
        const auto* node = static_cast<const TreeNode*>(itemFromIndex(index));
        if (!node)
            continue;
        if (node->m_width < 0 || node->m_widthEpoch != m_widthEpoch) {
            node->m_width = itemDelegateForIndex(index)->sizeHint(option, index).width();
            node->m_widthEpoch = m_widthEpoch;
        }
        width = std::max(width, node->m_width + indent * (level(node) + (rootIsDecorated() ? 1 : 0)));
    }
    return width;
}

void ServerTree::scrollContentsBy(int dx, int dy)
{
    QTreeWidget::scrollContentsBy(dx, dy);
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
    QTreeWidget::rowsInserted(parent, start, end);
}

void ServerTree::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    m_seenWidth = 0;
    QTreeWidget::rowsAboutToBeRemoved(parent, start, end);
}

void ServerTree::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        ++m_widthEpoch;
    QTreeWidget::changeEvent(event);
}

const QPixmap& ServerTree::picture(int category, qreal devicePixelRatio) const
{
    // Drawing a picture costs more than the rest of a greyed row.
    auto [it, inserted] = m_pictures.try_emplace({category, devicePixelRatio});
    if (inserted)
        it->second = categoryPixmap(category, devicePixelRatio);
    return it->second;
}

int ServerTree::level(const QTreeWidgetItem* node) const
{
    int depth = 0;
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        ++depth;
    return depth;
}

void ServerTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const
{
    auto* node = static_cast<const TreeNode*>(itemFromIndex(index));
    if (!node || !isShown || isShown(node)) {
        QTreeWidget::drawRow(painter, option, index);
        return;
    }
    QRect row = option.rect;
    row.setLeft(0);
    drawGreyedRow(painter, row, node);
}

void ServerTree::drawGreyedRow(QPainter* painter, const QRect& row, const TreeNode* node) const
{
    // Drawn by hand so that a greyed node never shows a selection or
    // hot-tracking highlight.
    const int lvl = level(node);
    const int indent = indentation();
    const int pictureWidth = iconSize().width();
    QRect r = row.translated(-horizontalOffset(), 0);
    painter->save();
    painter->setPen(palette().color(QPalette::Disabled, QPalette::Text));
    const QRect textRect(r.left() + (lvl + 1) * indent + pictureWidth + 5, r.top() + 1,
                         std::max(0, r.width()), r.height() - 1);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, node->text(0));
    r.setLeft(r.left() + lvl * indent);
    drawTreeLines(painter, r, node);
    r.setLeft(r.left() + indent);
    const int category = node->data(0, Qt::UserRole).toInt();
    painter->drawPixmap(r.left(), r.top() + (r.bottom() - r.top()) / 2 - iconSize().height() / 2,
                        picture(category, painter->device()->devicePixelRatioF()));
    painter->restore();
}

void ServerTree::drawTreeLines(QPainter* painter, QRect r, const TreeNode* node) const
{
    painter->setPen(palette().color(QPalette::Active, QPalette::Dark)); // button shadow
    const int indent = indentation();
    int x = r.left() + indent / 2 - 1;
    const int y = r.top() + (r.bottom() - r.top()) / 2;
    DrawDottedLine(x, y, r.left() + indent, y, *painter);
    DrawDottedLine(x, y, x, r.top() - 1, *painter);
    const QTreeWidgetItem* below = itemBelow(node);
    const QTreeWidgetItem* parent = node->parent();
    if ((below && level(below) == level(node)) || hasNextSibling(node))
        DrawDottedLine(x, y, x, r.bottom() + 1, *painter);
    if (node->hasChildrenMark()) {
        DrawDottedLine(x + 2, y, x - 1, y, *painter);
        if (!node->isExpanded())
            DrawDottedLine(x, y + 2, x, y - 2, *painter);
    }
    for (const QTreeWidgetItem* a = parent; a; a = a->parent()) {
        x -= indent;
        if (hasNextSibling(a))
            DrawDottedLine(x, r.top(), x, r.bottom(), *painter);
    }
}

void ServerTree::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::RightButton) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    // A right click selects exactly as a left click with the same keys.
    QTreeWidgetItem* node = itemAt(event->position().toPoint());
    if (!node) {
        clearSelection();
    } else {
        QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->globalPosition(),
                          Qt::LeftButton, Qt::LeftButton, event->modifiers());
        QTreeWidget::mousePressEvent(&press);
        QMouseEvent release(QEvent::MouseButtonRelease, event->position(),
                            event->globalPosition(), Qt::LeftButton, Qt::NoButton,
                            event->modifiers());
        QTreeWidget::mouseReleaseEvent(&release);
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
    QTreeWidget::mouseReleaseEvent(event);
}

void ServerTree::requestPopupAtCurrent()
{
    QPoint at(0, 0);
    if (QTreeWidgetItem* node = currentItem()) {
        scrollToItem(node);
        const QRect r = visualItemRect(node);
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
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && keys == Qt::NoModifier
        && currentItem()) {
        event->accept();
        emit enterPressed();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

QStringList ServerTree::mimeTypes() const
{
    return handOverMimeTypes();
}

QMimeData* ServerTree::mimeData(const QList<QTreeWidgetItem*>& items) const
{
    // In the order the user selected them, then any other dragged node;
    // greyed nodes stay behind.
    std::set<const QTreeWidgetItem*> dragged(items.begin(), items.end());
    std::vector<const TreeNode*> nodes;
    for (const TreeNode* node : m_order)
        if (dragged.erase(node))
            nodes.push_back(node);
    for (const QTreeWidgetItem* item : items)
        if (dragged.count(item))
            nodes.push_back(static_cast<const TreeNode*>(item));
    std::vector<std::string> paths;
    for (const TreeNode* node : nodes)
        if (node->file() && (!isShown || isShown(node)))
            paths.push_back(handedOverPath(*node->file()));
    return handOverMimeData(paths);
}

Qt::DropActions ServerTree::supportedDropActions() const
{
    return Qt::CopyAction;
}
