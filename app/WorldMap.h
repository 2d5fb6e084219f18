#pragma once
// A small world map for searching by place: the land outlines, the extent
// being searched, and the boxes of the data sets found. Dragging a
// rectangle with the left button picks an extent.
#include <QPolygonF>
#include <QRectF>
#include <QWidget>
#include <optional>
#include <vector>

class WorldMap : public QWidget {
    Q_OBJECT
public:
    explicit WorldMap(QWidget* parent = nullptr);

    // The extent drawn as the one searched (degrees: x = longitude, y =
    // latitude, width east - west); none clears it.
    void setExtent(const std::optional<QRectF>& extent);
    // The boxes of the results.
    void setBoxes(std::vector<QRectF> boxes);
    // The land outlines (the shipped resource); empty when it is missing.
    static const std::vector<QPolygonF>& outlines();
    // Longitude/latitude of a point of the widget, and back.
    QPointF toDegrees(const QPointF& point) const;
    QPointF toWidget(const QPointF& degrees) const;

    QSize sizeHint() const override { return {360, 180}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width / 2; }

signals:
    // A rectangle was dragged: west, east, south, north in degrees.
    void extentPicked(double west, double east, double south, double north);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QRectF degreesRect(const QRectF& box) const;

    std::optional<QRectF> m_extent;    // window thread only, as everything here
    std::vector<QRectF> m_boxes;
    std::optional<QPointF> m_dragStart; // widget coordinates
    QPointF m_dragNow;
};
