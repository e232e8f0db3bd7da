// The tyre torus against triangles, checked against a brute-force oracle over densely sampled
// geometry; the terrain query's choice and clean-up; degenerate inputs; and the tyre model on the
// ground (loads, friction, rolling resistance) by outcome.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "contact_fixture.h"
#include "sim/tyre.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr double R = 0.833333, r = 0.333333; // the front tyre of the stock bikes

SimVec unit(SimVec v) {
    return normalised_or(v, SimVec{1, 0, 0});
}

SimVec random_unit(std::mt19937& rng) {
    std::normal_distribution<double> g;
    return unit(SimVec{g(rng), g(rng), g(rng)});
}

// A triangle of about terrain-cell size, corners in upward order.
void random_triangle(std::mt19937& rng, SimVec v[3]) {
    std::uniform_real_distribution<double> xz(-1.6, 1.6), y(-0.8, 0.8);
    for (;;) {
        for (int i = 0; i < 3; ++i)
            v[i] = SimVec{xz(rng), y(rng), xz(rng)};
        SimVec n = cross(v[1] - v[0], v[2] - v[0]);
        if (n.y < 0) std::swap(v[1], v[2]);
        n = cross(v[1] - v[0], v[2] - v[0]);
        double area = length(n);
        // Reasonably shaped and facing up like a height field's triangles.
        if (area > 1.0 && n.y / area > 0.45) return;
    }
}

bool inside_seen_along(const SimVec v[3], SimVec n, SimVec x) {
    for (int i = 0; i < 3; ++i)
        if (dot(x - v[i], cross(v[(i + 1) % 3] - v[i], n)) > 0) return false;
    return true;
}

// The ring circle's point at angle theta, and the wheel-plane unit vectors that span it.
void wheel_plane(SimVec a, SimVec& e1, SimVec& e2) {
    e1 = unit(cross(a, std::fabs(a.x) < 0.6 ? SimVec{1, 0, 0} : SimVec{0, 1, 0}));
    e2 = cross(a, e1);
}

// Oracle for a torus over the face: the deepest point of the densely sampled torus surface below
// the triangle's plane, among the samples that lie over the triangle.
double oracle_face_depth(const SimVec v[3], SimVec c, SimVec a) {
    SimVec n = unit(cross(v[1] - v[0], v[2] - v[0]));
    SimVec e1, e2;
    wheel_plane(a, e1, e2);
    double deepest = -INFINITY;
    constexpr int k_ring = 1440, k_tube = 96;
    for (int i = 0; i < k_ring; ++i) {
        double t = 2 * k_pi * i / k_ring;
        SimVec radial = e1 * std::cos(t) + e2 * std::sin(t);
        SimVec ring_point = c + radial * R;
        for (int j = 0; j < k_tube; ++j) {
            double p = 2 * k_pi * j / k_tube;
            SimVec s = ring_point + (radial * std::cos(p) + a * std::sin(p)) * r;
            if (!inside_seen_along(v, n, s)) continue;
            deepest = std::fmax(deepest, -dot(s - v[0], n));
        }
    }
    return deepest;
}

// Oracle for a torus beside the triangle: the least distance between densely sampled ring-circle
// points and densely sampled edge points gives the tube's penetration of the nearest edge.
double oracle_edge_depth(const SimVec v[3], SimVec c, SimVec a, SimVec& normal) {
    SimVec e1, e2;
    wheel_plane(a, e1, e2);
    double best = INFINITY;
    constexpr int k_ring = 1440, k_edge = 400;
    for (int i = 0; i < k_ring; ++i) {
        double t = 2 * k_pi * i / k_ring;
        SimVec ring_point = c + (e1 * std::cos(t) + e2 * std::sin(t)) * R;
        for (int k = 0; k < 3; ++k) {
            SimVec p = v[k], d = v[(k + 1) % 3] - v[k];
            for (int j = 0; j <= k_edge; ++j) {
                SimVec q = p + d * (double(j) / k_edge);
                double dist = length(ring_point - q);
                if (dist < best) {
                    best = dist;
                    normal = unit(ring_point - q);
                }
            }
        }
    }
    return r - best;
}

// The centre of a torus whose lowest ring point (relative to the plane of normal n) is p_low.
SimVec centre_for_low_point(SimVec p_low, SimVec a, SimVec n) {
    SimVec low_dir = unit(cross(cross(n, a), a));
    if (dot(low_dir, n) > 0) low_dir = -low_dir;
    return p_low - low_dir * R;
}

} // namespace

TEST(TorusTriangle, FaceAndCrossingContactsAgreeWithTheSampledSurface) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> unit_interval(0, 1);
    int compared = 0;
    for (int trial = 0; trial < 60; ++trial) {
        SimVec v[3];
        random_triangle(rng, v);
        SimVec n = unit(cross(v[1] - v[0], v[2] - v[0]));
        // A point well inside the triangle, the lowest ring point above or a little below it.
        double b1 = 0.2 + 0.4 * unit_interval(rng), b2 = 0.2 + (0.6 - b1) * unit_interval(rng);
        SimVec inner = v[0] + (v[1] - v[0]) * b1 + (v[2] - v[0]) * b2;
        bool crossing = trial % 3 == 0;
        double height = crossing ? -0.15 * unit_interval(rng) : (0.02 + 0.29 * unit_interval(rng));
        SimVec a = random_unit(rng);
        if (crossing) a = unit(a - n * dot(a, n)); // upright over the face: the centre line meets it nearby
        if (std::fabs(dot(a, n)) > 0.9) continue;
        SimVec c = centre_for_low_point(inner + n * height, a, n);
        ContactHit hit;
        TorusCase kind = torus_triangle_contact(v, c, a, R, r, hit);
        SCOPED_TRACE(trial);
        ASSERT_EQ(kind, crossing ? TorusCrossing : TorusFace);
        EXPECT_NEAR(hit.depth, oracle_face_depth(v, c, a), 2e-3);
        EXPECT_NEAR(dot(hit.normal, n), 1, 1e-9);
        // The contact point lies on the tyre surface under the lowest ring point.
        EXPECT_NEAR(length(hit.point - (inner + n * height - n * r)), 0, 1e-9);
        ++compared;
    }
    EXPECT_GT(compared, 40);
}

TEST(TorusTriangle, DistanceContactsAgreeWithTheSampledCircleAndEdges) {
    std::mt19937 rng(777);
    std::uniform_real_distribution<double> unit_interval(0, 1);
    int compared = 0;
    for (int trial = 0; trial < 80 && compared < 40; ++trial) {
        SimVec v[3];
        random_triangle(rng, v);
        SimVec N = cross(v[1] - v[0], v[2] - v[0]);
        SimVec n = unit(N);
        // A point on an edge, and a ring point beside it, outside and above the triangle.
        int k = trial % 3;
        SimVec edge = v[(k + 1) % 3] - v[k];
        SimVec on_edge = v[k] + edge * (0.3 + 0.4 * unit_interval(rng));
        SimVec outward = unit(cross(edge, N));
        SimVec u = unit(outward * (0.4 + unit_interval(rng)) + n * (0.4 + unit_interval(rng)));
        double gap = r * (0.3 + 0.6 * unit_interval(rng));
        SimVec ring_point = on_edge + u * gap;
        // The axle across u, so that the ring point is the circle's nearest to the edge point.
        SimVec a = unit(cross(u, random_unit(rng)));
        SimVec w = unit(u - a * dot(u, a));
        SimVec c = ring_point + w * R;
        ContactHit hit;
        TorusCase kind = torus_triangle_contact(v, c, a, R, r, hit);
        if (kind != TorusDistance) continue; // the construction does not always keep the ring beside
        SimVec oracle_normal{0, 1, 0};
        double oracle = oracle_edge_depth(v, c, a, oracle_normal);
        SCOPED_TRACE(trial);
        EXPECT_NEAR(hit.depth, oracle, 2e-3);
        if (oracle > 0.02) {
            EXPECT_GT(dot(hit.normal, oracle_normal), 0.995);
        }
        // The point lies on the tyre surface: one tube radius from the ring circle.
        SimVec nearest = circle_nearest_point(c, a, R, hit.point);
        EXPECT_NEAR(length(hit.point - nearest), r, 1e-6);
        ++compared;
    }
    EXPECT_GE(compared, 25);
}

TEST(TorusTriangle, EdgeCutAndDeepCases) {
    // A horizontal triangle whose corner region the upright ring crosses beyond the far edge.
    SimVec v[3] = {{0, 0, 0}, {0, 0, 2}, {2, 0, 0}}; // upward: (v1-v0) x (v2-v0) = (0, 4, 0)
    ContactHit hit;
    // Ring in the plane x = 0.5, centre beyond the hypotenuse x + z = 2, low enough to cross the plane.
    SimVec a{1, 0, 0};
    EXPECT_EQ(torus_triangle_contact(v, SimVec{0.5, 0.3, 2.0}, a, R, r, hit), TorusEdgeCut);
    EXPECT_NEAR(hit.depth, r - 1.0 / (1 << 20), 1e-12);
    EXPECT_GT(dot(hit.normal, SimVec{0.5, 0.3, 2.0} - hit.point), 0) << "the edge pushes the tyre away";
    // The whole ring under the plane with the centre over the triangle: the deepest contact.
    EXPECT_EQ(torus_triangle_contact(v, SimVec{0.5, -1.5, 0.5}, a, R, r, hit), TorusDeep);
    EXPECT_DOUBLE_EQ(hit.depth, 2 * R);
    EXPECT_DOUBLE_EQ(hit.normal.y, 1);
    // Far above: nothing.
    EXPECT_EQ(torus_triangle_contact(v, SimVec{0.5, 3, 0.5}, a, R, r, hit), TorusNone);
}

TEST(TorusTriangle, DegenerateGeometryGivesFiniteContacts) {
    SimVec v[3] = {{0, 0, 0}, {0, 0, 2}, {2, 0, 0}};
    SimVec flat[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}; // no area
    struct Case {
        const char* what;
        const SimVec* tri;
        SimVec centre, axle;
    };
    const Case cases[] = {
        {"axle along the triangle's normal (wheel lying flat)", v, {0.6, 0.2, 0.6}, {0, 1, 0}},
        {"axle along the normal, ring over an edge", v, {2.2, 0.2, 0.6}, {0, -1, 0}},
        {"centre exactly on a corner", v, {0, 0, 0}, {1, 0, 0}},
        {"centre on the plane over the face", v, {0.5, 0, 0.5}, {0, 0, 1}},
        {"triangle without area", flat, {1, 0.5, 0}, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        ContactHit hit;
        torus_triangle_contact(c.tri, c.centre, c.axle, R, r, hit);
        EXPECT_TRUE(finite(hit.point) && finite(hit.normal) && std::isfinite(hit.depth)) << c.what;
        if (hit.depth > 0) {
            EXPECT_NEAR(length(hit.normal), 1, 1e-9) << c.what;
        }
    }
}

TEST(TorusTerrain, DeepestTriangleWinsAndNormalsNeverPointDown) {
    Terrain t;
    make_test_terrain(t, 3, [](double x, double) { return x < 10 ? 0.0 : 2.0; }); // a 2 ft step at x = 10
    ContactHit hit;
    struct Case {
        const char* what;
        SimVec centre, axle;
        double depth; // NaN: only touching is checked
        bool touches;
    };
    const Case cases[] = {
        {"resting with half the tube squashed", {5, R + r / 2, 5}, {1, 0, 0}, r / 2, true},
        {"just clear of the ground", {5, R + r + 0.01, 5}, {1, 0, 0}, 0, false},
        {"far outside the grid, over the extruded edge", {-500, R + r / 2, 5}, {1, 0, 0}, r / 2, true},
        {"against the step's face", {9.2, 2.0, 5}, {0, 0, 1}, NAN, true},
        {"zero-length axle", {5, R + r / 2, 5}, {0, 0, 0}, NAN, true},
        {"centre not a number", {NAN, 1, 5}, {1, 0, 0}, 0, false},
        {"centre far beyond any track", {1e12, 1, 5}, {1, 0, 0}, 0, false},
    };
    for (const Case& c : cases) {
        bool touched = torus_terrain_query_at(t, c.centre, c.axle, R, r, hit);
        ASSERT_EQ(touched, c.touches) << c.what;
        if (!touched) continue;
        EXPECT_TRUE(finite(hit.point) && finite(hit.normal)) << c.what;
        EXPECT_GE(hit.normal.y, 0) << c.what;
        EXPECT_NEAR(length(hit.normal), 1, 1e-9) << c.what;
        if (!std::isnan(c.depth)) {
            EXPECT_NEAR(hit.depth, c.depth, 1e-5) << c.what;
        }
    }
    // Against the step the push is away from the wall, not down into the ground.
    torus_terrain_query_at(t, SimVec{9.2, 2.0, 5}, SimVec{0, 0, 1}, R, r, hit);
    EXPECT_LT(hit.normal.x, -0.5);
}

TEST(TyreModel, SoftnessGrowsWithTheCubeOfTheCompression) {
    double kp, kd;
    tyre_softness(r / 2, r, kp, kd);
    EXPECT_DOUBLE_EQ(kp, 4000);
    EXPECT_DOUBLE_EQ(kd, 487.5);
    tyre_softness(5 * r, r, kp, kd); // beyond the tube: fully compressed, no stiffer
    EXPECT_DOUBLE_EQ(kp, 25000);
}

TEST_F(ContactTest, TyresCarryTheWholeWeightOnFlatGround) {
    Rider& rider = place(40, 40);
    run(3 * 128);
    double weight = rider.total_mass * 32;
    double loads = wheel_tyre_load(rider.front_wheel) + wheel_tyre_load(rider.rear_wheel);
    EXPECT_NEAR(loads, weight, 0.01 * weight);
    EXPECT_LT(rider_speed(rider), 0.05);
    EXPECT_EQ(g_contact_stats.rejected, 0);
    EXPECT_EQ(rider_contacts(rider), PartFrontWheel | PartRearWheel) << "only the tyres touch the ground";
}

TEST_F(ContactTest, RollingResistanceOfTheGroundSlowsARollingBike) {
    struct Case {
        const char* what;
        float friction, roll_a, roll_b;
    };
    const Case cases[] = {{"default ground", 1.0f, 5, 15}, {"heavy mud", 1.0f, 60, 120}};
    double travelled[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        const Case& c = cases[k];
        TileType& type = g_terrain.tiles[0];
        for (FrictionPoint& p : type.friction)
            p.friction = c.friction;
        for (RollPoint& p : type.roll) {
            p.a = c.roll_a;
            p.b = c.roll_b;
        }
        Rider& rider = place(40 + 20 * k, 120);
        run(64);
        // Rolling at 20 ft/s towards -z.
        for (dBodyID body : rider.bodies)
            dBodySetLinearVel(body, 0, 0, -20);
        for (int w = 0; w < 2; ++w) {
            WheelRecord& wheel = w ? rider.rear_wheel : rider.front_wheel;
            double spin = -20 / (wheel.ring_radius + wheel.tube_radius);
            dBodySetAngularVel(wheel.body, spin, 0, 0);
        }
        double z0 = dBodyGetPosition(rider_frame(rider))[2];
        run(2 * 128);
        travelled[k] = z0 - dBodyGetPosition(rider_frame(rider))[2];
        EXPECT_GT(travelled[k], 0) << c.what;
        EXPECT_TRUE(std::isfinite(travelled[k])) << c.what;
        // Take this rider out of the way of the next.
        g_slots[size_t(rider.slot - 1)].rider = nullptr;
        rider_freeze(rider);
    }
    EXPECT_LT(travelled[1], travelled[0] - 1) << "mud rolls less far";
}
