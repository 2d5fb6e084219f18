#include "app/TreeRowDelegate.h"

#include <QPainter>
#include <QStyle>

#include "app/CategoryIcons.h"
#include "model/StoreTreeModel.h"

namespace {

constexpr int kPictureSize = 16;

bool isListing(const QModelIndex& index)
{
    return index.data(StoreTreeModel::StateRole).toInt() == int(StoreTreeModel::State::Listing);
}

} // namespace

TreeRowDelegate::TreeRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void TreeRowDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->decorationSize = QSize(kPictureSize, kPictureSize);
    // A folder being listed shows that it is loading until its rows are in.
    if (isListing(index) && option->widget)
        option->icon = option->widget->style()->standardIcon(QStyle::SP_BrowserReload);
    else
        option->icon = categoryIcon(index.data(StoreTreeModel::PictureRole).toInt());
}

void TreeRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (isShown && !isShown(index))
        paintGreyed(painter, option, index);
    else
        QStyledItemDelegate::paint(painter, option, index);
}

void TreeRowDelegate::paintGreyed(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // The picture at the cell's left, centred on the row; the text five
    // pixels after it, in the grey of disabled text, on no background.
    const QRect& r = option.rect;
    painter->save();
    const QPalette& palette = option.widget ? option.widget->palette() : option.palette;
    painter->setPen(palette.color(QPalette::Disabled, QPalette::Text));
    painter->setFont(option.font);
    const QRect textRect(r.left() + kPictureSize + 5, r.top() + 1, std::max(0, r.width()), r.height() - 1);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
    const int category = index.data(StoreTreeModel::PictureRole).toInt();
    painter->drawPixmap(r.left(), r.top() + (r.bottom() - r.top()) / 2 - kPictureSize / 2,
                        picture(category, painter->device()->devicePixelRatioF()));
    painter->restore();
}

const QPixmap& TreeRowDelegate::picture(int category, qreal devicePixelRatio) const
{
    auto [it, inserted] = m_pictures.try_emplace({category, devicePixelRatio});
    if (inserted)
        it->second = categoryPixmap(category, devicePixelRatio);
    return it->second;
}
