// The dotted lines of greyed tree rows: every other pixel, the end point
// left out, on an image and through a painter's pen.
#include "support/widgets/DottedLine.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

namespace {

using PixelSet = std::set<std::pair<int, int>>;

PixelSet setPixels(const QImage& image)
{
    PixelSet result;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                result.insert({x, y});
    return result;
}

QImage blank()
{
    QImage image(12, 12, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

struct LineCase {
    int x1, y1, x2, y2;
    PixelSet expected;
};

const LineCase lineCases[] = {
    {0, 5, 0, 0, {{0, 5}, {0, 3}, {0, 1}}},
    {0, 0, 0, 5, {{0, 1}, {0, 3}}},
    {0, 0, 7, 0, {{1, 0}, {3, 0}, {5, 0}}},
    {7, 2, 1, 2, {{7, 2}, {5, 2}, {3, 2}}},
    {2, 2, 6, 6, {}},               // x + y stays even along a diagonal
    {1, 0, 4, 3, {{1, 0}, {2, 1}, {3, 2}}},
    {3, 3, 3, 3, {}},               // a line of no length visits nothing
};

TEST(DottedLine, DrawDottedLineOnAnImage)
{
    for (const auto& c : lineCases) {
        QImage image = blank();
        DrawDottedLine(c.x1, c.y1, c.x2, c.y2, image, qRgb(0, 0, 0));
        EXPECT_EQ(setPixels(image), c.expected) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
    }
}

TEST(DottedLine, DrawDottedLineOnAnObliqueLineSetsOnlyOddPointsBeforeTheEnd)
{
    const std::pair<QPoint, QPoint> lines[] = {
        {{0, 0}, {11, 4}}, {{11, 1}, {0, 6}}, {{2, 11}, {5, 0}}, {{1, 10}, {10, 3}},
    };
    for (const auto& [from, to] : lines) {
        QImage image = blank();
        DrawDottedLine(from.x(), from.y(), to.x(), to.y(), image, qRgb(0, 0, 0));
        const PixelSet pixels = setPixels(image);
        EXPECT_FALSE(pixels.empty());
        EXPECT_EQ(pixels.count({to.x(), to.y()}), 0u);
        for (const auto& [x, y] : pixels) {
            EXPECT_EQ((x + y) % 2, 1) << x << "," << y;
            EXPECT_TRUE(x >= std::min(from.x(), to.x()) && x <= std::max(from.x(), to.x()));
            EXPECT_TRUE(y >= std::min(from.y(), to.y()) && y <= std::max(from.y(), to.y()));
        }
    }
}

TEST(DottedLine, DrawDottedLineWithAPainterUsesItsPen)
{
    const QColor penColour(200, 30, 40);
    for (const auto& c : lineCases) {
        QImage image = blank();
        {
            QPainter painter(&image);
            painter.setPen(penColour);
            DrawDottedLine(c.x1, c.y1, c.x2, c.y2, painter);
        }
        EXPECT_EQ(setPixels(image), c.expected) << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
        for (const auto& [x, y] : c.expected)
            EXPECT_EQ(image.pixelColor(x, y), penColour);
    }
}

TEST(DottedLine, DrawDottedLineClipsToTheImage)
{
    QImage image = blank();
    DrawDottedLine(-3, 1, 3, 1, image, qRgb(0, 0, 0));
    EXPECT_EQ(setPixels(image), (PixelSet{{0, 1}, {2, 1}}));
}

} // namespace
