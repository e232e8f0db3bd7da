#include "sim_ground.h"

#include <cmath>
#include <utility>

#include "sim/tyre.h"

void sim_make_terrain(Terrain& t, int size_log2, double grade) {
    double slope = std::tan(grade);
    double extent = 2.0 * (1 << size_log2) * 1.25;
    terrain_generate(t, size_log2, 1.25f, [=](double, double z) { return (extent - z) * slope; });
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
