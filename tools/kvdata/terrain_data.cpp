#include "terrain_data.h"

#include "image_writer.h"

#include <algorithm>
#include <cmath>

void terrain_setup(TerrainData& terrain, int size_log2, double cell_size) {
    terrain.size_log2 = size_log2;
    terrain.cell_size = cell_size;
    terrain.tiles = 1 << size_log2;
    terrain.samples = 2 * terrain.tiles + 1;
    terrain.tile_map.assign(size_t(terrain.tiles) * size_t(terrain.tiles), 0);
}

void terrain_quantise(TerrainData& terrain, const std::vector<double>& heights, double margin) {
    double lo = heights.empty() ? 0 : heights[0], hi = lo;
    for (double h : heights) {
        lo = std::min(lo, h);
        hi = std::max(hi, h);
    }
    // Whole feet print exactly in the header's "%f" form; the margin leaves room for ruts and edits.
    terrain.min_height = std::floor(lo) - margin;
    terrain.max_height = std::max(std::ceil(hi) + margin, terrain.min_height + 1);
    double range = terrain.max_height - terrain.min_height;
    terrain.raw.resize(heights.size());
    terrain.heights.resize(heights.size());
    for (size_t i = 0; i < heights.size(); ++i) {
        double q = std::round((heights[i] - terrain.min_height) / range * 65535.0);
        uint16_t s = uint16_t(std::clamp(q, 0.0, 65535.0));
        terrain.raw[i] = s;
        terrain.heights[i] = float(terrain.min_height + double(s) * range * 1.5259021896696422e-05);
    }
}

float terrain_sample_height(const TerrainData& terrain, int col, int row) {
    col = std::clamp(col, 0, terrain.samples - 1);
    row = std::clamp(row, 0, terrain.samples - 1);
    return terrain.heights[size_t(row) * size_t(terrain.samples) + size_t(col)];
}

void terrain_sample_normal(const TerrainData& terrain, int col, int row, double normal[3]) {
    static const int k_ring[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
    double s = terrain.cell_size;
    double cy = terrain_sample_height(terrain, col, row);
    double sum[3] = {0, 0, 0};
    for (int k = 0; k < 8; ++k) {
        const int* p = k_ring[k];
        const int* q = k_ring[(k + 1) % 8];
        double a[3] = {p[0] * s, terrain_sample_height(terrain, col + p[0], row + p[1]) - cy, p[1] * s};
        double b[3] = {q[0] * s, terrain_sample_height(terrain, col + q[0], row + q[1]) - cy, q[1] * s};
        double n[3] = {b[1] * a[2] - b[2] * a[1], b[2] * a[0] - b[0] * a[2], b[0] * a[1] - b[1] * a[0]};
        double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (len > 0)
            for (int i = 0; i < 3; ++i)
                sum[i] += n[i] / len;
    }
    double len = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    for (int i = 0; i < 3; ++i)
        normal[i] = len > 0 ? sum[i] / len : (i == 1 ? 1 : 0);
}

void terrain_light(TerrainData& terrain) {
    const int n = terrain.samples;
    const double sun[3] = {1 / std::sqrt(3.0), 1 / std::sqrt(3.0), 1 / std::sqrt(3.0)};
    // Shadows: the sun lies towards +x, +z at an elevation whose tangent is 1/sqrt(2). Walking each
    // diagonal from the sun's side, the ceiling is the highest shadow line cast so far; a sample
    // below it is in shadow, softened over a few inches.
    terrain.shadow.assign(size_t(n) * size_t(n), 0);
    // Step along the diagonal cell·√2 times tan(elevation) 1/√2.
    const double drop = terrain.cell_size;
    for (int d = -(n - 1); d <= n - 1; ++d) { // d = col - row
        int col = d >= 0 ? n - 1 : n - 1 + d;
        int row = col - d;
        double ceiling = -1e30;
        for (; col >= 0 && row >= 0; --col, --row) {
            ceiling -= drop;
            double h = terrain.heights[size_t(row) * size_t(n) + size_t(col)];
            double depth = ceiling - h;
            if (depth > 0)
                terrain.shadow[size_t(row) * size_t(n) + size_t(col)] =
                    uint8_t(std::min(255.0, depth / 0.6 * 255));
            ceiling = std::max(ceiling, h);
        }
    }
    terrain.shading.assign(size_t(n) * size_t(n) * 3, 0);
    for (int row = 0; row < n; ++row)
        for (int col = 0; col < n; ++col) {
            double normal[3];
            terrain_sample_normal(terrain, col, row, normal);
            size_t i = size_t(row) * size_t(n) + size_t(col);
            double w = std::clamp(normal[0] * sun[0] + normal[1] * sun[1] + normal[2] * sun[2], 0.0, 1.0);
            w *= 1 - terrain.shadow[i] / 255.0;
            double v = std::clamp(std::trunc((w + 0.5) * 0.5 * 255), 0.0, 255.0);
            terrain.shading[3 * i] = terrain.shading[3 * i + 1] = terrain.shading[3 * i + 2] = uint8_t(v);
        }
}

Bytes terrain_hf_bytes(const TerrainData& terrain) {
    Bytes out = bytes_of(format_text("%d %f %f %f\n:", terrain.size_log2, terrain.cell_size,
                                     terrain.min_height, terrain.max_height));
    out.reserve(out.size() + terrain.raw.size() * 2);
    for (uint16_t s : terrain.raw) {
        out.push_back(uint8_t(s & 255));
        out.push_back(uint8_t(s >> 8));
    }
    return out;
}

Bytes terrain_shading_bytes(const TerrainData& terrain) {
    return ppm_encode(terrain.shading.data(), terrain.samples, terrain.samples);
}

Bytes terrain_shadows_bytes(const TerrainData& terrain) {
    std::vector<uint8_t> lit(terrain.shadow.size());
    for (size_t i = 0; i < lit.size(); ++i)
        lit[i] = uint8_t(255 - terrain.shadow[i]);
    return pgm_encode(lit.data(), terrain.samples, terrain.samples);
}
