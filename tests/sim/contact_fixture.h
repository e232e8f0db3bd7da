#pragma once
// Contact tests: the simulation fixture with the shipped collision shapes and a generated ground in
// the loaded terrain.
#include <cmath>
#include <functional>

#include "data/search_paths.h"
#include "sim/contact.h"
#include "sim/shapes.h"
#include "sim_fixture.h"
#include "track/terrain.h"

// A square terrain of 2^size_log2 tiles per side with cells of 1.25 ft, heights from a function of
// (x, z), one tile type with the default friction and rolling resistance.
inline void make_test_terrain(Terrain& t, int size_log2, const std::function<double(double, double)>& height) {
    terrain_generate(t, size_log2, 1.25f, height);
}

struct ContactTest : SimTest {
    ScopedEnv data{"KV_HOME", build_dir().c_str()};

    void SetUp() override {
        search_paths_reset();
        shape_cache_reset();
        contact_reset_state();
        SimTest::SetUp();
        make_test_terrain(g_terrain, 6, [](double, double) { return 0.0; });
    }
    void TearDown() override {
        race_reset_state();
        SimTest::TearDown();
        free_terrain(g_terrain);
        shape_cache_reset();
        search_paths_reset();
    }
    // A rider standing on the ground at (x, z), tyres just touching, facing -z.
    Rider& place(double x, double z, const char* model = "450sxf(2016)") {
        Rider& r = make(model);
        double lowest = 1e9;
        for (const WheelRecord* w : {&r.front_wheel, &r.rear_wheel})
            lowest = std::fmin(lowest, dBodyGetPosition(w->body)[1] - w->ring_radius - w->tube_radius);
        rider_translate(r, x, terrain_height_at(g_terrain, float(x), float(z)) - lowest, z);
        g_slots[size_t(r.slot - 1)].rider = &r;
        g_slots[size_t(r.slot - 1)].kind = Robot;
        return r;
    }
    // One world tick of the contact step, the world step and every rider's step.
    void run(int ticks) {
        for (int i = 0; i < ticks; ++i) {
            world_contacts(nullptr, 0);
            world_step();
            for (Rider* r : riders)
                rider_step(*r);
            ++g_race.clock;
        }
    }
};
