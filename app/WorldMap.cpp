#include "app/WorldMap.h"

#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

const QRectF kWorld(-180, -90, 360, 180);
// The closest view: a tenth of a degree across.
constexpr double kMinWidth = 0.1;
// A press that moved less than this (pixels) is a click.
constexpr double kClickSlop = 4;

} // namespace

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
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("World map"));
    setToolTip(QStringLiteral("Drag a rectangle to search data sets lying there; click a box to pick its data set.\n"
                              "Wheel: zoom. Right button or Shift+drag: move. Double click or Home: the whole world."));
}

void WorldMap::setExtent(const std::optional<GeoBox>& extent)
{
    m_extent = extent;
    update();
}

void WorldMap::setBoxes(std::vector<std::optional<GeoBox>> boxes)
{
    m_boxes = std::move(boxes);
    m_highlighted = -1;
    update();
}

void WorldMap::setHighlighted(int result)
{
    m_highlighted = result >= 0 && size_t(result) < m_boxes.size() ? result : -1;
    update();
}

void WorldMap::setView(const QRectF& degrees)
{
    QRectF v = degrees.normalized();
    // The map keeps its shape: twice as wide as high, within the world.
    double w = std::clamp(std::max(v.width(), 2 * v.height()), kMinWidth, kWorld.width());
    const QPointF c = v.center();
    v = QRectF(c.x() - w / 2, c.y() - w / 4, w, w / 2);
    v.moveLeft(std::clamp(v.left(), kWorld.left(), kWorld.right() - v.width()));
    v.moveTop(std::clamp(v.top(), kWorld.top(), kWorld.bottom() - v.height()));
    m_view = v;
    update();
}

void WorldMap::zoom(double factor, const QPointF& at)
{
    if (factor <= 0)
        return;
    const QPointF fixed = toDegrees(at);
    const double w = std::clamp(m_view.width() / factor, kMinWidth, kWorld.width());
    const double scale = w / m_view.width();
    // The point under `at` stays under it.
    const QPointF topLeft(fixed.x() - (fixed.x() - m_view.left()) * scale,
                          fixed.y() - (fixed.y() - m_view.top()) * scale);
    setView(QRectF(topLeft, QSizeF(w, w / 2)));
}

QPointF WorldMap::toDegrees(const QPointF& p) const
{
    const double lon = m_view.left() + p.x() / std::max(1, width()) * m_view.width();
    const double lat = m_view.bottom() - p.y() / std::max(1, height()) * m_view.height();
    return {std::clamp(lon, -180.0, 180.0), std::clamp(lat, -90.0, 90.0)};
}

QPointF WorldMap::toWidget(const QPointF& d) const
{
    return {(d.x() - m_view.left()) / m_view.width() * width(), (m_view.bottom() - d.y()) / m_view.height() * height()};
}

QRectF WorldMap::widgetRect(const GeoBox& part) const
{
    return QRectF(toWidget({part.west, part.north}), toWidget({part.east, part.south})).normalized();
}

int WorldMap::resultAt(const QPointF& point) const
{
    // A box is hit within a few pixels of it, so that points and lines can
    // be clicked; of several, the smallest is the one meant.
    int best = -1;
    double bestArea = 0;
    for (size_t i = 0; i < m_boxes.size(); ++i) {
        if (!m_boxes[i])
            continue;
        for (const GeoBox& part : m_boxes[i]->parts()) {
            const QRectF r = widgetRect(part).adjusted(-kClickSlop, -kClickSlop, kClickSlop, kClickSlop);
            if (!r.contains(point))
                continue;
            const double area = m_boxes[i]->area();
            if (best < 0 || area < bestArea) {
                best = int(i);
                bestArea = area;
            }
        }
    }
    return best;
}

void WorldMap::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0xdd, 0xe8, 0xf2));
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x70, 0x80, 0x70), 0));
    p.setBrush(QColor(0xf4, 0xf1, 0xe6));
    const double sx = width() / m_view.width(), sy = height() / m_view.height();
    p.save();
    p.setTransform(QTransform(sx, 0, 0, -sy, -m_view.left() * sx, m_view.bottom() * sy));
    for (const QPolygonF& ring : outlines())
        p.drawPolygon(ring);
    p.restore();

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0xc0, 0x30, 0x30), 1));
    for (size_t i = 0; i < m_boxes.size(); ++i)
        if (m_boxes[i] && int(i) != m_highlighted)
            for (const GeoBox& part : m_boxes[i]->parts())
                p.drawRect(widgetRect(part));
    if (m_highlighted >= 0 && m_boxes[size_t(m_highlighted)]) {
        // Drawn last, over the others, and at least a few pixels large.
        p.setPen(QPen(QColor(0xe0, 0x70, 0x00), 2.5));
        p.setBrush(QColor(0xe0, 0x70, 0x00, 70));
        for (const GeoBox& part : m_boxes[size_t(m_highlighted)]->parts()) {
            QRectF r = widgetRect(part);
            if (r.width() < 6 || r.height() < 6)
                r = QRectF(r.center() - QPointF(3, 3), QSizeF(6, 6)) | r;
            p.drawRect(r);
        }
    }
    if (m_extent) {
        p.setPen(QPen(QColor(0x20, 0x50, 0xc0), 2));
        p.setBrush(QColor(0x20, 0x50, 0xc0, 40));
        for (const GeoBox& part : m_extent->parts())
            p.drawRect(widgetRect(part));
    }
    if (m_dragStart) {
        p.setPen(QPen(Qt::black, 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(*m_dragStart, m_dragNow).normalized());
    }
}

void WorldMap::mousePressEvent(QMouseEvent* e)
{
    const bool pan = e->button() == Qt::RightButton || e->button() == Qt::MiddleButton ||
                     (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ShiftModifier));
    if (pan) {
        m_panFrom = e->position();
        m_panned = false;
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (e->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(e);
    m_dragStart = e->position();
    m_dragNow = e->position();
    update();
}

void WorldMap::mouseMoveEvent(QMouseEvent* e)
{
    if (m_panFrom) {
        const QPointF delta = e->position() - *m_panFrom;
        m_panned = m_panned || delta.manhattanLength() > 0;
        m_panFrom = e->position();
        setView(m_view.translated(-delta.x() / std::max(1, width()) * m_view.width(),
                                  delta.y() / std::max(1, height()) * m_view.height()));
        return;
    }
    if (!m_dragStart)
        return;
    m_dragNow = e->position();
    update();
}

void WorldMap::mouseReleaseEvent(QMouseEvent* e)
{
    if (m_panFrom) {
        m_panFrom.reset();
        setCursor(Qt::CrossCursor);
        return;
    }
    if (!m_dragStart || e->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(e);
    const QPointF start = *m_dragStart;
    m_dragStart.reset();
    update();
    if ((e->position() - start).manhattanLength() < kClickSlop) {
        // A click, not a rectangle: the box under it, if any.
        const int result = resultAt(e->position());
        if (result >= 0) {
            setHighlighted(result);
            emit resultClicked(result);
        }
        return;
    }
    const QPointF a = toDegrees(start), b = toDegrees(e->position());
    emit extentPicked(std::min(a.x(), b.x()), std::max(a.x(), b.x()), std::min(a.y(), b.y()),
                      std::max(a.y(), b.y()));
}

void WorldMap::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && resultAt(e->position()) < 0)
        setView(kWorld);
}

void WorldMap::wheelEvent(QWheelEvent* e)
{
    const double steps = e->angleDelta().y() / 120.0;
    if (steps == 0)
        return QWidget::wheelEvent(e);
    zoom(std::pow(1.25, steps), e->position());
    e->accept();
}

void WorldMap::keyPressEvent(QKeyEvent* e)
{
    const QPointF middle(width() / 2.0, height() / 2.0);
    switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom(1.5, middle);
        return;
    case Qt::Key_Minus:
        zoom(1 / 1.5, middle);
        return;
    case Qt::Key_Home:
        setView(kWorld);
        return;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const double dx = e->key() == Qt::Key_Left ? -1 : e->key() == Qt::Key_Right ? 1 : 0;
        const double dy = e->key() == Qt::Key_Down ? -1 : e->key() == Qt::Key_Up ? 1 : 0;
        setView(m_view.translated(dx * m_view.width() / 8, dy * m_view.height() / 8));
        return;
    }
    default:
        QWidget::keyPressEvent(e);
    }
}
