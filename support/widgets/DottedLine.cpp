#include "support/widgets/DottedLine.h"

#include <QImage>
#include <QPainter>

#include <cstdlib>

namespace {

// Bresenham stepping from (x1, y1) towards (x2, y2), calling plot for every
// point but the end point, like the platform's line stepping does.
template <typename Plot>
void stepLine(int x1, int y1, int x2, int y2, Plot plot)
{
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1;
    const int sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    int x = x1, y = y1;
    while (x != x2 || y != y2) {
        plot(x, y);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

bool isOdd(int x, int y)
{
    return ((x + y) & 1) != 0;
}

} // namespace

void DrawDottedLine(int x1, int y1, int x2, int y2, QPainter& canvas)
{
    // A filled logical pixel, not a cosmetic point: crisp and whole on
    // high-density screens, and untouched by antialiasing.
    const QColor colour = canvas.pen().color();
    stepLine(x1, y1, x2, y2, [&canvas, &colour](int x, int y) {
        if (isOdd(x, y))
            canvas.fillRect(x, y, 1, 1, colour);
    });
}

void DrawDottedLine(int x1, int y1, int x2, int y2, QImage& canvas, unsigned rgb)
{
    stepLine(x1, y1, x2, y2, [&canvas, rgb](int x, int y) {
        if (isOdd(x, y) && canvas.valid(x, y))
            canvas.setPixel(x, y, rgb);
    });
}
