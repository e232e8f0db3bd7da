// The terrain query of a tyre skips cells, triangles and edges that cannot hold the deepest touch and
// visits the likeliest cell first. Whatever it skips, it must keep the touch that the plain scan keeps
// (every cell under the wheel's square, row by row, every triangle measured in full, the first of the
// deepest), or one exactly as deep (two triangles sharing the edge nearest to the tyre). Compared on
// bumpy ground with a sharp step, where many edge cuts of equal depth compete, for upright, leaning,
// lying and sunk wheels.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "sim/tyre.h"
#include "track/terrain.h"

namespace {

constexpr double R = 0.833333, r = 0.333333;
// Depths this close are the same depth: which of the two touches is kept is then a matter of rounding.
constexpr double k_same_depth = 1e-12;

SimVec cleaned(SimVec n) {
    if (n.y >= 0) return n;
    SimVec flat{n.x, 0, n.z};
    return dot(flat, flat) >= 1.0 / 1024 ? normalised_or(flat, {0, 1, 0}) : SimVec{0, 1, 0};
}

// The plain scan: every triangle's touch measured in full, in order. Returns the deepest depth (0 for
// none) and the touches that reach it.
double plain_scan(const Terrain& t, SimVec c, SimVec a, std::vector<ContactHit>& deepest) {
    double e = R + r, s = t.cell_size;
    int i0 = int(std::floor((c.x - e) / s)), i1 = int(std::ceil((c.x + e) / s)) - 1;
    int j0 = int(std::floor((c.z - e) / s)), j1 = int(std::ceil((c.z + e) / s)) - 1;
    std::vector<ContactHit> touches;
    double most = 0;
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            TerrainTriangle tris[2];
            terrain_cell_triangles(t, i, j, tris);
            for (const TerrainTriangle& tri : tris) {
                SimVec v[3];
                for (int k = 0; k < 3; ++k)
                    v[k] = SimVec{tri.p[k].x, tri.p[k].y, tri.p[k].z};
                ContactHit h;
                if (torus_triangle_contact(v, c, a, R, r, h) == TorusNone) continue;
                if (!(h.depth > 0) || !finite(h.point) || !finite(h.normal)) continue;
                h.normal = cleaned(h.normal);
                touches.push_back(h);
                most = std::max(most, h.depth);
            }
        }
    deepest.clear();
    for (const ContactHit& h : touches)
        if (h.depth >= most - k_same_depth) deepest.push_back(h);
    return most;
}

} // namespace

TEST(TyreScan, SkippingWorkKeepsThePlainScansTouch) {
    Terrain t;
    terrain_generate(t, 5, 1.25f, [](double x, double z) {
        return 0.6 * std::sin(x * 0.7) * std::cos(z * 0.5) + (x > 40 ? 1.5 : 0.0);
    });
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> u(0, 1);
    struct Kind {
        const char* what;
        double axle_y;      // vertical part of the axle before normalising
        double centre_drop; // how far the centre is below resting on the ground (ft), at most
    };
    // Sunk wheels have their ring wholly under some triangles' planes: the deepest kind of touch.
    const Kind kinds[] = {{"upright", 0.05, 0.5}, {"leaning", 0.6, 0.5}, {"lying", 4, 0.5}, {"sunk", 1, 2}};
    int touches = 0;
    for (const Kind& kind : kinds) {
        for (int n = 0; n < 3000; ++n) {
            double x = 30 + 20 * u(rng), z = 10 + 40 * u(rng); // across the step at x = 40
            double ground = terrain_height_at(t, float(x), float(z));
            SimVec c{x, ground + R * (1 - kind.axle_y / 5) + r - kind.centre_drop * u(rng), z};
            SimVec a =
                normalised_or(SimVec{u(rng) - 0.5, kind.axle_y * (u(rng) + 0.5), u(rng) - 0.5}, {1, 0, 0});
            ContactHit fast;
            std::vector<ContactHit> deepest;
            bool found = torus_terrain_query_at(t, c, a, R, r, fast);
            double most = plain_scan(t, c, a, deepest);
            ASSERT_EQ(found, most > 0) << kind.what << " at " << x << ", " << z;
            if (!found) continue;
            ++touches;
            SCOPED_TRACE(kind.what);
            EXPECT_NEAR(fast.depth, most, k_same_depth);
            // The first of the deepest in the scan (depths within rounding of each other are the same
            // depth: every edge cut has the same one, and two triangles sharing the edge nearest to
            // the tyre differ by rounding).
            EXPECT_NEAR(length(fast.point - deepest[0].point), 0, 1e-5) << "at " << x << ", " << z;
            EXPECT_NEAR(length(fast.normal - deepest[0].normal), 0, 1e-5);
        }
    }
    EXPECT_GT(touches, 6000); // most poses touch: the comparison is about touches
}
