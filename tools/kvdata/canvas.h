#pragma once
// A small RGBA drawing surface for the generated pictures: anti-aliased shapes by coverage,
// composited "source over" in straight (not premultiplied) alpha.
#include "output.h"

#include <vector>

struct Colour {
    double r, g, b, a; // 0 … 1
};

struct Canvas {
    int width = 0, height = 0;
    std::vector<double> rgba; // width × height × 4, rows top first
};

Canvas canvas_make(int width, int height, Colour fill);
// Lays a colour over a pixel with the given coverage (0 … 1); outside pixels are ignored.
void canvas_blend(Canvas& canvas, int x, int y, Colour colour, double coverage);
// Fills the pixels whose centres satisfy the inside test, with 4 × 4 supersampling at edges.
// inside(x, y) receives pixel coordinates.
template <typename Inside>
void canvas_fill(Canvas& canvas, Colour colour, int x0, int y0, int x1, int y1, Inside inside) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    hits += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4) ? 1 : 0;
            if (hits) canvas_blend(canvas, x, y, colour, hits / 16.0);
        }
}
void canvas_disc(Canvas& canvas, double cx, double cy, double radius, Colour colour);
void canvas_ring(Canvas& canvas, double cx, double cy, double inner, double outer, Colour colour);
// A band of the ring between two angles (radians clockwise from straight up).
void canvas_arc(Canvas& canvas, double cx, double cy, double inner, double outer, double from, double to,
                Colour colour);
void canvas_line(Canvas& canvas, double x0, double y0, double x1, double y1, double width, Colour colour);
void canvas_rect(Canvas& canvas, double x0, double y0, double x1, double y1, double corner, Colour colour);
// 8-bit RGBA bytes (or RGB when `alpha` is false).
std::vector<uint8_t> canvas_bytes(const Canvas& canvas, bool alpha);
Bytes canvas_png(const Canvas& canvas, bool alpha);
