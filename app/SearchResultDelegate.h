#pragma once
// Draws a row of the result list (SearchResultsModel): the category
// picture, the title, the folder and the date, and two lines of snippet,
// with the words that matched marked in the title and the snippet.
// Window thread only.
#include <QStyledItemDelegate>

class SearchResultDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
