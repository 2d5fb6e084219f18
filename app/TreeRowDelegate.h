#pragma once
// Draws one row of the server tree: the category picture of the node (a
// loading picture while its folder is being listed) and its text; greyed
// rows with their text in the grey of disabled text, their picture in its
// normal look and never a highlight. Window thread only.
#include <QPixmap>
#include <QStyledItemDelegate>

#include <functional>
#include <map>
#include <utility>

class TreeRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TreeRowDelegate(QObject* parent = nullptr);

    // Decides whether a node is drawn normally; greyed otherwise.
    std::function<bool(const QModelIndex&)> isShown;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    void paintGreyed(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // The picture of a category at a device pixel ratio, drawn once: drawing
    // a picture costs more than the rest of a greyed row.
    const QPixmap& picture(int category, qreal devicePixelRatio) const;

    mutable std::map<std::pair<int, qreal>, QPixmap> m_pictures;
};
