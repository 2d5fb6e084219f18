#pragma once
// A small world map for searching by place: the land outlines, the extent
// being searched, and the boxes of the data sets found, the highlighted one
// picked out. Dragging a rectangle with the left button picks an extent; a
// click on a box picks its data set. The wheel zooms about the pointer,
// dragging with the right or middle button (or with the left one while
// Shift is held) pans, and Home or a double click shows the whole world
// again. Window thread only, as everything here.
#include <QPolygonF>
#include <QRectF>
#include <QWidget>
#include <optional>
#include <vector>

#include "model/GeoBox.h"

class WorldMap : public QWidget {
    Q_OBJECT
public:
    explicit WorldMap(QWidget* parent = nullptr);

    // The extent drawn as the one searched; none clears it.
    void setExtent(const std::optional<GeoBox>& extent);
    // The boxes of the results, one per result in list order (none for a
    // result without a box); a box across the antimeridian is drawn as its
    // two parts.
    void setBoxes(std::vector<std::optional<GeoBox>> boxes);
    // The result drawn picked out; -1 for none.
    void setHighlighted(int result);
    int highlighted() const { return m_highlighted; }
    // The land outlines (the shipped resource); empty when it is missing.
    static const std::vector<QPolygonF>& outlines();

    // The part of the world shown, in degrees (x longitude, y latitude,
    // y growing northwards): the whole world, or less once zoomed in.
    QRectF view() const { return m_view; }
    void setView(const QRectF& degrees);
    // Zooms by `factor` (> 1 closer) keeping the point `at` (widget
    // coordinates) where it is.
    void zoom(double factor, const QPointF& at);
    // Longitude/latitude of a point of the widget, and back.
    QPointF toDegrees(const QPointF& point) const;
    QPointF toWidget(const QPointF& degrees) const;
    // The result whose box is under `point` (the smallest of several), or -1.
    int resultAt(const QPointF& point) const;

    QSize sizeHint() const override { return {360, 180}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width / 2; }

signals:
    // A rectangle was dragged: west, east, south, north in degrees.
    void extentPicked(double west, double east, double south, double north);
    // A click on the box of a result.
    void resultClicked(int result);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRectF widgetRect(const GeoBox& part) const;

    std::optional<GeoBox> m_extent;
    std::vector<std::optional<GeoBox>> m_boxes;
    int m_highlighted = -1;
    QRectF m_view{-180, -90, 360, 180};
    std::optional<QPointF> m_dragStart; // widget coordinates: a rectangle being drawn
    QPointF m_dragNow;
    std::optional<QPointF> m_panFrom;   // widget coordinates: the view being moved
    bool m_panned = false;
};
