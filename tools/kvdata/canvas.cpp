#include "canvas.h"

#include "image_writer.h"

#include <algorithm>
#include <cmath>

Canvas canvas_make(int width, int height, Colour fill) {
    Canvas canvas;
    canvas.width = width;
    canvas.height = height;
    canvas.rgba.resize(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        canvas.rgba[4 * i] = fill.r;
        canvas.rgba[4 * i + 1] = fill.g;
        canvas.rgba[4 * i + 2] = fill.b;
        canvas.rgba[4 * i + 3] = fill.a;
    }
    return canvas;
}

void canvas_blend(Canvas& canvas, int x, int y, Colour colour, double coverage) {
    if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height || coverage <= 0) return;
    double* p = &canvas.rgba[(size_t(y) * size_t(canvas.width) + size_t(x)) * 4];
    double sa = colour.a * std::min(coverage, 1.0);
    double da = p[3];
    double oa = sa + da * (1 - sa);
    if (oa <= 0) return;
    p[0] = (colour.r * sa + p[0] * da * (1 - sa)) / oa;
    p[1] = (colour.g * sa + p[1] * da * (1 - sa)) / oa;
    p[2] = (colour.b * sa + p[2] * da * (1 - sa)) / oa;
    p[3] = oa;
}

namespace {

int lo(double v) {
    return int(std::floor(v)) - 1;
}
int hi(double v) {
    return int(std::ceil(v)) + 1;
}

} // namespace

void canvas_disc(Canvas& canvas, double cx, double cy, double radius, Colour colour) {
    canvas_fill(
        canvas, colour, lo(cx - radius), lo(cy - radius), hi(cx + radius), hi(cy + radius),
        [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius; });
}

void canvas_ring(Canvas& canvas, double cx, double cy, double inner, double outer, Colour colour) {
    canvas_fill(canvas, colour, lo(cx - outer), lo(cy - outer), hi(cx + outer), hi(cy + outer),
                [=](double x, double y) {
                    double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                    return d2 <= outer * outer && d2 >= inner * inner;
                });
}

void canvas_arc(Canvas& canvas, double cx, double cy, double inner, double outer, double from, double to,
                Colour colour) {
    canvas_fill(canvas, colour, lo(cx - outer), lo(cy - outer), hi(cx + outer), hi(cy + outer),
                [=](double x, double y) {
                    double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                    if (d2 > outer * outer || d2 < inner * inner) return false;
                    double angle = std::atan2(x - cx, cy - y); // clockwise from straight up
                    return angle >= from && angle <= to;
                });
}

void canvas_line(Canvas& canvas, double x0, double y0, double x1, double y1, double width, Colour colour) {
    double half = width / 2;
    double ex = x1 - x0, ey = y1 - y0, len2 = ex * ex + ey * ey;
    canvas_fill(canvas, colour, lo(std::min(x0, x1) - half), lo(std::min(y0, y1) - half),
                hi(std::max(x0, x1) + half), hi(std::max(y0, y1) + half), [=](double x, double y) {
                    double t = len2 > 0 ? std::clamp(((x - x0) * ex + (y - y0) * ey) / len2, 0.0, 1.0) : 0;
                    double dx = x - (x0 + ex * t), dy = y - (y0 + ey * t);
                    return dx * dx + dy * dy <= half * half;
                });
}

void canvas_rect(Canvas& canvas, double x0, double y0, double x1, double y1, double corner, Colour colour) {
    canvas_fill(canvas, colour, lo(x0), lo(y0), hi(x1), hi(y1), [=](double x, double y) {
        if (x < x0 || x > x1 || y < y0 || y > y1) return false;
        double cx = std::clamp(x, x0 + corner, x1 - corner), cy = std::clamp(y, y0 + corner, y1 - corner);
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= corner * corner;
    });
}

std::vector<uint8_t> canvas_bytes(const Canvas& canvas, bool alpha) {
    int channels = alpha ? 4 : 3;
    std::vector<uint8_t> out(size_t(canvas.width) * size_t(canvas.height) * size_t(channels));
    for (size_t i = 0; i < size_t(canvas.width) * size_t(canvas.height); ++i)
        for (int c = 0; c < channels; ++c)
            out[i * size_t(channels) + size_t(c)] =
                uint8_t(std::lround(std::clamp(canvas.rgba[4 * i + size_t(c)], 0.0, 1.0) * 255));
    return out;
}

Bytes canvas_png(const Canvas& canvas, bool alpha) {
    std::vector<uint8_t> bytes = canvas_bytes(canvas, alpha);
    return png_encode(bytes.data(), canvas.width, canvas.height, alpha ? 4 : 3);
}
