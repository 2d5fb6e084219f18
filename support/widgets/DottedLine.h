#pragma once
// The dotted lines of greyed tree rows, drawn pixel by pixel.
class QImage;
class QPainter;

// Sets every pixel (x, y) with x + y odd on the line from (x1, y1) to
// (x2, y2), end point excluded, to the pen colour of the canvas.
void DrawDottedLine(int x1, int y1, int x2, int y2, QPainter& canvas);
void DrawDottedLine(int x1, int y1, int x2, int y2, QImage& canvas, unsigned rgb);
