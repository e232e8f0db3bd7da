#include "preview.h"

#include "canvas.h"
#include "image_writer.h"

#include <algorithm>
#include <cmath>

namespace {

void put(std::vector<uint8_t>& pixels, int size, int x, int y, const uint8_t rgb[3]) {
    if (x < 0 || y < 0 || x >= size || y >= size) return;
    uint8_t* p = &pixels[(size_t(y) * size_t(size) + size_t(x)) * 3];
    p[0] = rgb[0], p[1] = rgb[1], p[2] = rgb[2];
}

} // namespace

Bytes preview_track(const TrackBuild& track, const Course* course) {
    const TerrainData& t = track.terrain;
    int scale = std::max(1, 256 / t.tiles);
    int size = t.tiles * scale;
    std::vector<uint8_t> pixels(size_t(size) * size_t(size) * 3);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int tc = x / scale, tr = y / scale;
            uint8_t rgb[3];
            tiles_colour(t.tile_map[size_t(tr) * size_t(t.tiles) + size_t(tc)], rgb);
            // Shading at the tile's centre sample (stored at half intensity).
            size_t k = size_t(2 * tr + 1) * size_t(t.samples) + size_t(2 * tc + 1);
            double light = 2.0 * t.shading[3 * k] / 255.0;
            uint8_t shaded[3];
            for (int c = 0; c < 3; ++c)
                shaded[c] = uint8_t(std::min(255.0, rgb[c] * light));
            put(pixels, size, x, y, shaded);
        }
    if (course) {
        double per_pixel = t.cell_size * 2 / scale; // feet per pixel
        const uint8_t red[3] = {220, 30, 30}, yellow[3] = {255, 230, 40}, white[3] = {255, 255, 255};
        for (double s = 0; s < course->length; s += per_pixel * 0.5) {
            CoursePoint p = course_at(*course, s);
            bool on_feature = course_feature_height(*course, s) > 0;
            const uint8_t* colour = on_feature ? yellow : red;
            int x = int(p.x / per_pixel), y = int(p.z / per_pixel);
            put(pixels, size, x, y, colour);
            if (on_feature) {
                put(pixels, size, x + 1, y, colour);
                put(pixels, size, x, y + 1, colour);
            }
        }
        CoursePoint gate = course_at(*course, course->gate_s);
        for (double u = -course->gate_width / 2; u <= course->gate_width / 2; u += per_pixel * 0.5) {
            double x = gate.x - gate.dz * u, z = gate.z + gate.dx * u;
            put(pixels, size, int(x / per_pixel), int(z / per_pixel), white);
        }
    }
    return png_encode(pixels.data(), size, size, 3);
}

Bytes preview_profile(const TrackBuild& track, const Course& course) {
    const TerrainData& t = track.terrain;
    const int width = 2048, per_foot = 4;
    const int height = int((t.max_height - t.min_height) * per_foot) + 8;
    Canvas canvas = canvas_make(width, height, Colour{1, 1, 1, 1});
    for (double foot = std::ceil(t.min_height / 10) * 10; foot <= t.max_height; foot += 10) {
        double y = height - 4 - (foot - t.min_height) * per_foot;
        canvas_line(canvas, 0, y, width, y, 1, Colour{0.8, 0.8, 0.9, 1});
    }
    double previous = -1;
    for (int x = 0; x < width; ++x) {
        CoursePoint p = course_at(course, course.length * x / width);
        int col = std::clamp(int(std::lround(p.x / t.cell_size)), 0, t.samples - 1);
        int row = std::clamp(int(std::lround(p.z / t.cell_size)), 0, t.samples - 1);
        double h = t.heights[size_t(row) * size_t(t.samples) + size_t(col)];
        double y = height - 4 - (h - t.min_height) * per_foot;
        if (previous >= 0) canvas_line(canvas, x - 1, previous, x, y, 1.5, Colour{0.45, 0.3, 0.15, 1});
        previous = y;
    }
    return canvas_png(canvas, false);
}
