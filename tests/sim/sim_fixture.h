#pragma once
// A clean physics world, race record, message ring and setup state for each simulation test.
#include <gtest/gtest.h>

#include <vector>

#include "core/main_loop.h"
#include "core/messages.h"
#include "race/race.h"
#include "sim/physics_world.h"
#include "sim/rider.h"
#include "sim/setup.h"
#include "test_support.h"

struct SimTest : testing::Test {
    TestHome home;
    std::vector<Rider*> riders;

    void SetUp() override {
        race_reset_state();
        messages_clear();
        setup_reset_state();
        g_loop.server_in_use = false;
        ASSERT_TRUE(world_create());
    }
    void TearDown() override {
        for (Rider* r : riders)
            rider_destroy(r);
        riders.clear();
        world_destroy();
    }
    Rider& make(const char* model = "450sxf(2016)") {
        Rider* r =
            rider_create(model, static_cast<int>(riders.size()) + 1, "1", nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(r, nullptr);
        riders.push_back(r);
        return *r;
    }
    // One world tick for the given riders: the physics step, then each rider's step.
    void tick(std::initializer_list<Rider*> list) {
        world_step();
        for (Rider* r : list)
            rider_step(*r);
        ++g_race.clock;
    }
};
