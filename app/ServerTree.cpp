#include "ServerTree.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

#include "CategoryIcons.h"
#include "FileOps.h"
#include "XMLFile.h"

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
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
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

void ServerTree::selectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected)
{
    for (const QModelIndex& index : deselected.indexes())
        if (auto* node = static_cast<TreeNode*>(itemFromIndex(index)))
            forget(node);
    for (const QModelIndex& index : selected.indexes()) {
        auto* node = static_cast<TreeNode*>(itemFromIndex(index));
        if (node && !node->m_inOrder) {
            node->m_orderPos = m_order.insert(m_order.end(), node);
            node->m_inOrder = true;
        }
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
    auto* item = const_cast<QTreeWidgetItem*>(node);
    if (QTreeWidgetItem* parent = item->parent())
        return parent->indexOfChild(item) < parent->childCount() - 1;
    return indexOfTopLevelItem(item) < topLevelItemCount() - 1;
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
    const int picture = node->data(0, Qt::UserRole).toInt();
    const QPixmap pm = categoryPixmap(picture, painter->device()->devicePixelRatioF());
    painter->drawPixmap(r.left(), r.top() + (r.bottom() - r.top()) / 2 - iconSize().height() / 2,
                        pm);
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
