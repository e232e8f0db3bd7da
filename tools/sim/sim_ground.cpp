#include "sim_ground.h"

#include <cmath>
#include <utility>

#include "sim/tyre.h"

void sim_make_terrain(Terrain& t, int size_log2, double grade) {
    t = Terrain{};
    t.size_log2 = size_log2;
    t.tiles_per_side = 1 << size_log2;
    t.samples_per_side = 2 * t.tiles_per_side + 1;
    t.cell_size = 1.25f;
    t.tile_size = 2.5f;
    t.extent = 2.0f * t.tiles_per_side * t.cell_size;
    int side = t.samples_per_side;
    double slope = std::tan(grade);
    t.heights.resize(static_cast<size_t>(side) * side);
    for (int row = 0; row < side; ++row)
        for (int col = 0; col < side; ++col)
            t.heights[static_cast<size_t>(row) * side + col] =
                static_cast<float>((t.extent - row * t.cell_size) * slope);
    t.min_height = t.heights.back();
    t.max_height = t.heights.front();
    if (t.min_height > t.max_height) std::swap(t.min_height, t.max_height);
    t.tile_map.assign(static_cast<size_t>(t.tiles_per_side) * t.tiles_per_side, 0);
    t.tiles.push_back(tile_type_defaults());
    t.tile_count = 1;
}

double sim_ground_height(const Terrain& terrain, double x, double z) {
    return terrain_height_at(terrain, static_cast<float>(x), static_cast<float>(z));
}

void sim_ground_normal(const Terrain& terrain, double x, double z, double n[3]) {
    TerrainVec v = terrain_triangle_normal(terrain, static_cast<float>(x), static_cast<float>(z));
    n[0] = v.x;
    n[1] = v.y;
    n[2] = v.z;
    SimVec u = normalised_or(SimVec{n[0], n[1], n[2]}, SimVec{0, 1, 0});
    if (u.y <= 0) u = SimVec{0, 1, 0};
    n[0] = u.x;
    n[1] = u.y;
    n[2] = u.z;
}
