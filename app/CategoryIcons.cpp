#include "app/CategoryIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <array>

namespace {

const QColor kOutline(0x3c, 0x4a, 0x5a);
const QColor kPaper(0xfb, 0xfb, 0xf8);
const QColor kFolder(0xe8, 0xb9, 0x4a);
const QColor kWater(0x4a, 0x90, 0xd9);
const QColor kLand(0x6a, 0xb0, 0x5a);

QPen pen(const QColor& c, qreal w = 1.0)
{
    QPen p(c, w);
    p.setJoinStyle(Qt::RoundJoin);
    p.setCapStyle(Qt::RoundCap);
    return p;
}

void drawPage(QPainter& p, bool lines)
{
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10.5, 1.5);
    page.lineTo(13.5, 4.5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(pen(kOutline));
    p.setBrush(kPaper);
    p.drawPath(page);
    p.drawLine(QPointF(10.5, 1.5), QPointF(10.5, 4.5));
    p.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 4.5));
    if (lines) {
        p.setPen(pen(QColor(0x7a, 0x86, 0x94)));
        for (qreal y : {6.5, 8.5, 10.5, 12.5})
            p.drawLine(QPointF(5.5, y), QPointF(y < 7 ? 9.0 : 11.5, y));
    }
}

void drawGlobe(QPainter& p, const QRectF& r)
{
    p.setPen(pen(kOutline));
    p.setBrush(kWater);
    p.drawEllipse(r);
    p.setPen(Qt::NoPen);
    p.setBrush(kLand);
    QPainterPath land;
    const qreal x = r.x(), y = r.y(), w = r.width(), h = r.height();
    land.moveTo(x + w * 0.25, y + h * 0.2);
    land.cubicTo(x + w * 0.55, y + h * 0.15, x + w * 0.55, y + h * 0.45, x + w * 0.35, y + h * 0.55);
    land.cubicTo(x + w * 0.2, y + h * 0.6, x + w * 0.1, y + h * 0.4, x + w * 0.25, y + h * 0.2);
    land.moveTo(x + w * 0.6, y + h * 0.55);
    land.cubicTo(x + w * 0.85, y + h * 0.5, x + w * 0.85, y + h * 0.8, x + w * 0.62, y + h * 0.85);
    land.closeSubpath();
    p.drawPath(land);
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(QColor(255, 255, 255, 150), 0.7));
    p.drawEllipse(r.adjusted(w * 0.3, 0.5, -w * 0.3, -0.5));
    p.drawLine(QPointF(x + 1, y + h / 2), QPointF(x + w - 1, y + h / 2));
    p.setPen(pen(kOutline));
    p.drawEllipse(r);
}

void paintCategory(QPainter& p, int category)
{
    p.setRenderHint(QPainter::Antialiasing);
    switch (category) {
    case 0: { // question mark
        p.setPen(pen(kOutline));
        p.setBrush(QColor(0xf2, 0xf2, 0xf2));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        QFont f = p.font();
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case 1: { // folder
        QPainterPath folder;
        folder.moveTo(1.5, 3.5);
        folder.lineTo(6.0, 3.5);
        folder.lineTo(7.5, 5.0);
        folder.lineTo(14.5, 5.0);
        folder.lineTo(14.5, 13.5);
        folder.lineTo(1.5, 13.5);
        folder.closeSubpath();
        p.setPen(pen(kFolder.darker(160)));
        p.setBrush(kFolder);
        p.drawPath(folder);
        p.setBrush(kFolder.lighter(120));
        p.drawRect(QRectF(1.5, 6.5, 13, 7));
        break;
    }
    case 2: { // vector shapes: a polygon, a line and points
        p.setPen(pen(QColor(0x2e, 0x7d, 0x32), 1.2));
        p.setBrush(QColor(0xa5, 0xd6, 0xa7));
        const QPointF poly[] = {{2.5, 9.5}, {6.5, 6.5}, {9.5, 9.0}, {7.5, 13.5}, {3.0, 13.0}};
        p.drawPolygon(poly, 5);
        p.setPen(pen(QColor(0xc6, 0x28, 0x28), 1.3));
        const QPointF line[] = {{1.5, 5.5}, {5.5, 2.5}, {10.0, 4.5}, {14.5, 1.5}};
        p.drawPolyline(line, 4);
        p.setPen(pen(kOutline));
        p.setBrush(QColor(0x15, 0x65, 0xc0));
        p.drawEllipse(QPointF(12.5, 11.0), 1.8, 1.8);
        break;
    }
    case 3: { // picture with a pencil
        p.setPen(pen(kOutline));
        p.setBrush(QColor(0xbb, 0xde, 0xfb));
        p.drawRect(QRectF(1.5, 2.5, 11, 10));
        p.setPen(Qt::NoPen);
        p.setBrush(kLand);
        const QPointF hill[] = {{2, 12}, {5.5, 7}, {8, 10}, {10, 8}, {12, 12}};
        p.drawPolygon(hill, 5);
        p.setBrush(QColor(0xff, 0xca, 0x28));
        p.drawEllipse(QPointF(9.5, 5.0), 1.4, 1.4);
        p.setPen(pen(QColor(0x5d, 0x40, 0x37), 2.2));
        p.drawLine(QPointF(14.5, 7.5), QPointF(9.0, 13.5));
        p.setPen(pen(QColor(0xff, 0xb3, 0x00), 1.4));
        p.drawLine(QPointF(14.2, 7.8), QPointF(10.2, 12.2));
        break;
    }
    case 4: // globe
        drawGlobe(p, QRectF(1.5, 1.5, 13, 13));
        break;
    case 5: { // table grid
        p.setPen(pen(kOutline));
        p.setBrush(kPaper);
        p.drawRect(QRectF(1.5, 2.5, 13, 11));
        p.setBrush(QColor(0x90, 0xa4, 0xae));
        p.drawRect(QRectF(1.5, 2.5, 13, 3));
        for (qreal y : {8.5, 11.0})
            p.drawLine(QPointF(1.5, y), QPointF(14.5, y));
        for (qreal x : {6.0, 10.5})
            p.drawLine(QPointF(x, 2.5), QPointF(x, 13.5));
        break;
    }
    case 6: // page with lines of text
        drawPage(p, true);
        break;
    case 7: { // linked boxes
        p.setPen(pen(kOutline));
        p.drawLine(QPointF(4.5, 5.5), QPointF(4.5, 10.5));
        p.drawLine(QPointF(4.5, 10.5), QPointF(10.5, 10.5));
        p.drawLine(QPointF(4.5, 5.5), QPointF(10.5, 4.0));
        p.setBrush(QColor(0x7e, 0x57, 0xc2));
        p.drawRect(QRectF(1.5, 2.5, 5, 4));
        p.setBrush(QColor(0x26, 0xa6, 0x9a));
        p.drawRect(QRectF(9.5, 1.5, 5, 4));
        p.setBrush(QColor(0xff, 0x70, 0x43));
        p.drawRect(QRectF(9.5, 8.5, 5, 5));
        break;
    }
    case 8: // blank page
        drawPage(p, false);
        break;
    case 9: { // globe in an open box
        drawGlobe(p, QRectF(3.5, 0.5, 9, 9));
        p.setPen(pen(QColor(0x6d, 0x4c, 0x41)));
        p.setBrush(QColor(0xbc, 0xaa, 0xa4));
        const QPointF box[] = {{1.5, 8.5}, {14.5, 8.5}, {13.5, 14.5}, {2.5, 14.5}};
        p.drawPolygon(box, 4);
        p.setBrush(QColor(0xd7, 0xcc, 0xc8));
        const QPointF flapL[] = {{1.5, 8.5}, {0.5, 6.0}, {4.5, 6.0}, {5.0, 8.5}};
        const QPointF flapR[] = {{14.5, 8.5}, {15.5, 6.0}, {11.5, 6.0}, {11.0, 8.5}};
        p.drawPolygon(flapL, 4);
        p.drawPolygon(flapR, 4);
        break;
    }
    default:
        break;
    }
}

} // namespace

QPixmap categoryPixmap(int category, qreal devicePixelRatio)
{
    const int side = qRound(16 * devicePixelRatio);
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.scale(devicePixelRatio, devicePixelRatio);
    paintCategory(p, category);
    p.end();
    pm.setDevicePixelRatio(devicePixelRatio);
    return pm;
}

QIcon categoryIcon(int category)
{
    static std::array<QIcon, 10> icons;
    if (category < 0 || category > 9)
        return {};
    QIcon& icon = icons[static_cast<size_t>(category)];
    if (icon.isNull()) {
        for (qreal ratio : {1.0, 1.5, 2.0, 3.0})
            icon.addPixmap(categoryPixmap(category, ratio));
    }
    return icon;
}

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.scale(size / 16.0, size / 16.0);
        paintCategory(p, 9);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}
