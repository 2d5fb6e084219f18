#include "app/WorldMap.h"

#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

const std::vector<QPolygonF>& WorldMap::outlines()
{
    // Read once: one ring per line of "lon,lat" pairs (see
    // scripts/make-world-map.mjs).
    static const std::vector<QPolygonF> rings = [] {
        std::vector<QPolygonF> result;
        QFile file(QStringLiteral(":/atlasdesk/world-110m.txt"));
        if (!file.open(QIODevice::ReadOnly))
            return result;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine().trimmed();
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            QPolygonF ring;
            for (const QByteArray& pair : line.split(' ')) {
                const int comma = pair.indexOf(',');
                if (comma > 0)
                    ring << QPointF(pair.left(comma).toDouble(), pair.mid(comma + 1).toDouble());
            }
            if (ring.size() >= 3)
                result.push_back(ring);
        }
        return result;
    }();
    return rings;
}

WorldMap::WorldMap(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(180, 90);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setCursor(Qt::CrossCursor);
    setToolTip(QStringLiteral("Drag a rectangle to search data sets lying there"));
}

void WorldMap::setExtent(const std::optional<QRectF>& extent)
{
    m_extent = extent;
    update();
}

void WorldMap::setBoxes(std::vector<QRectF> boxes)
{
    m_boxes = std::move(boxes);
    update();
}

QPointF WorldMap::toDegrees(const QPointF& p) const
{
    const double lon = p.x() / std::max(1, width()) * 360.0 - 180.0;
    const double lat = 90.0 - p.y() / std::max(1, height()) * 180.0;
    return {std::clamp(lon, -180.0, 180.0), std::clamp(lat, -90.0, 90.0)};
}

QPointF WorldMap::toWidget(const QPointF& d) const
{
    return {(d.x() + 180.0) / 360.0 * width(), (90.0 - d.y()) / 180.0 * height()};
}

QRectF WorldMap::degreesRect(const QRectF& box) const
{
    // box: x west, y south, width and height in degrees.
    return QRectF(toWidget({box.left(), box.top() + box.height()}), toWidget({box.left() + box.width(), box.top()}))
        .normalized();
}

void WorldMap::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0xdd, 0xe8, 0xf2));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x70, 0x80, 0x70), 0));
    p.setBrush(QColor(0xf4, 0xf1, 0xe6));
    const double sx = width() / 360.0, sy = height() / 180.0;
    p.save();
    p.setTransform(QTransform(sx, 0, 0, -sy, 180.0 * sx, 90.0 * sy));
    for (const QPolygonF& ring : outlines())
        p.drawPolygon(ring);
    p.restore();

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xc0, 0x30, 0x30), 1));
    for (const QRectF& box : m_boxes)
        p.drawRect(degreesRect(box));
    if (m_extent) {
        p.setPen(QPen(QColor(0x20, 0x50, 0xc0), 2));
        p.setBrush(QColor(0x20, 0x50, 0xc0, 40));
        if (m_extent->width() >= 0) {
            p.drawRect(degreesRect(*m_extent));
        } else {
            // Across the antimeridian: the two halves.
            const QRectF& e = *m_extent;
            p.drawRect(degreesRect(QRectF(e.left(), e.top(), 180.0 - e.left(), e.height())));
            p.drawRect(degreesRect(QRectF(-180.0, e.top(), e.left() + e.width() + 180.0, e.height())));
        }
    }
    if (m_dragStart) {
        p.setPen(QPen(Qt::black, 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(*m_dragStart, m_dragNow).normalized());
    }
}

void WorldMap::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(e);
    m_dragStart = e->position();
    m_dragNow = e->position();
    update();
}

void WorldMap::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_dragStart)
        return;
    m_dragNow = e->position();
    update();
}

void WorldMap::mouseReleaseEvent(QMouseEvent* e)
{
    if (!m_dragStart || e->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(e);
    const QPointF a = toDegrees(*m_dragStart), b = toDegrees(e->position());
    m_dragStart.reset();
    update();
    const double west = std::min(a.x(), b.x()), east = std::max(a.x(), b.x());
    const double south = std::min(a.y(), b.y()), north = std::max(a.y(), b.y());
    if (east - west < 0.5 && north - south < 0.5)
        return; // a click, not a rectangle
    emit extentPicked(west, east, south, north);
}
