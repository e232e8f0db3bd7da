// A long soak on the shipped tarnwick: 20 riders spread along the course on random controls (seeded,
// new values every half second) for 20,000 ticks of the full world tick (contacts against the ground
// and each other, the world step, every rider's step). Whatever the controls do, no body may ever
// hold a number that is not finite and no rider's frame may sink more than 2 ft below the ground.
//
// Random controls carry riders far off the course; a rider whose frame comes within 40 ft of the
// terrain's edge is put back at its starting place (reset pose, on its wheels), so every rider spends
// the soak over real ground rather than on the extruded edge.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "contact_fixture.h"
#include "sim/control.h"

namespace {

constexpr int k_soak_riders = 20;
constexpr int k_soak_ticks = 20000;
constexpr double k_edge_margin = 40; // ft from the terrain's edge where a rider is put back
constexpr double k_max_sink = 2;     // ft the frame may be below the ground under it

struct StartPlace {
    double x, z, dx, dz;
};

// Starting places every lap/count feet along the course, from the centre-line listing the data
// builder writes beside its previews ("s x z dx dz half_width height" lines every 10 ft).
std::vector<StartPlace> course_places(int count) {
    std::vector<StartPlace> points;
    FILE* f = fopen((build_dir() + "/previews/tarnwick-centre.txt").c_str(), "r");
    if (!f) return points;
    char text[256];
    while (fgets(text, sizeof text, f)) {
        double s, x, z, dx, dz;
        if (text[0] != '#' && sscanf(text, "%lf %lf %lf %lf %lf", &s, &x, &z, &dx, &dz) == 5)
            points.push_back(StartPlace{x, z, dx, dz});
    }
    fclose(f);
    std::vector<StartPlace> places;
    for (int i = 0; i < count && !points.empty(); ++i)
        places.push_back(points[points.size() * size_t(i) / size_t(count)]);
    return places;
}

struct SoakTest : ContactTest {
    void SetUp() override {
        ContactTest::SetUp();
        ASSERT_TRUE(file_exists(build_dir() + "/tracks/tarnwick/tilemap")) << "the build ships tarnwick";
        ASSERT_EQ(load_terrain(g_terrain, "@tracks/tarnwick", 0), 1);
    }
    // A rider at its build pose turned to face along (dx, dz) at (x, z), tyres 0.02 ft above the ground.
    void put(Rider& r, const StartPlace& p) {
        rider_place_on_ground(r, g_terrain, p.x, p.z, std::atan2(-p.dx, -p.dz), 0.02);
    }
};

bool finite3(const dReal* v) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// The first body of the rider holding a number that is not finite, or -1.
int body_not_finite(const Rider& r) {
    for (int b = 0; b < k_rider_bodies; ++b) {
        dBodyID body = r.bodies[b];
        const dReal* q = dBodyGetQuaternion(body);
        if (!finite3(dBodyGetPosition(body)) || !finite3(dBodyGetLinearVel(body)) ||
            !finite3(dBodyGetAngularVel(body)) || !finite3(q) || !std::isfinite(q[3]))
            return b;
    }
    return -1;
}

} // namespace

TEST_F(SoakTest, TwentyRidersOnRandomControlsStayFiniteAndAboveTheGround) {
    std::vector<StartPlace> places = course_places(k_soak_riders);
    ASSERT_EQ(places.size(), size_t(k_soak_riders)) << "the centre-line listing of tarnwick is missing";
    for (int i = 0; i < k_soak_riders; ++i) {
        Rider& r = make();
        put(r, places[size_t(i)]);
        g_slots[size_t(i)] = RiderSlot{&r, Robot};
    }
    unsigned long long state = 20261211;
    std::vector<float> inputs(size_t(k_soak_riders) * ControlCount, 0.0f);
    int put_back = 0;
    for (int tick = 0; tick < k_soak_ticks; ++tick) {
        if (tick % 64 == 0)
            for (float& v : inputs) {
                state = state * 6364136223846793005ull + 1442695040888963407ull;
                v = float((state >> 33) % 2001) / 1000.0f - 1.0f;
            }
        for (int i = 0; i < k_soak_riders; ++i)
            rider_apply_inputs(*riders[size_t(i)], &inputs[size_t(i) * ControlCount]);
        run(1);
        for (int i = 0; i < k_soak_riders; ++i) {
            Rider& r = *riders[size_t(i)];
            int bad = body_not_finite(r);
            ASSERT_EQ(bad, -1) << "rider " << i + 1 << " body " << bad << " at tick " << tick;
            const dReal* p = dBodyGetPosition(r.bodies[BodyFrame]);
            double sink = terrain_height_at(g_terrain, float(p[0]), float(p[2])) - p[1];
            ASSERT_LE(sink, k_max_sink)
                << "rider " << i + 1 << " at tick " << tick << " at (" << p[0] << ", " << p[2] << ")";
            if (p[0] < k_edge_margin || p[2] < k_edge_margin || p[0] > g_terrain.extent - k_edge_margin ||
                p[2] > g_terrain.extent - k_edge_margin) {
                rider_reset_pose(r);
                put(r, places[size_t(i)]);
                ++put_back;
            }
        }
    }
    // The soak is only worth its time if the riders really rode: the random controls move them.
    double moved = 0;
    for (int i = 0; i < k_soak_riders; ++i) {
        const dReal* p = dBodyGetPosition(riders[size_t(i)]->bodies[BodyFrame]);
        moved += std::hypot(p[0] - places[size_t(i)].x, p[2] - places[size_t(i)].z);
    }
    EXPECT_GT(moved / k_soak_riders, 10) << put_back << " riders were put back";
}
