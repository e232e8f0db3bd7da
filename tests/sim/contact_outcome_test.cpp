// The bike on the ground by outcome: through the harness on flat ground (it settles, its tyres carry
// its weight, every suspension knob moves the sag the right way) and on the shipped tarnwick (it
// stands on the start straight and rolls down a slope).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "contact_fixture.h"
#include "harness_support.h"
#include "sim/tyre.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr double k_weight_450 = 13.95875 * 32; // lbf

} // namespace

TEST(ContactOutcome, BikeSettlesOnFlatGroundWithinThreeSecondsOnItsTyres) {
    SimRun run = run_sim("--ticks 640 --every 32");
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 21u);
    const std::string& last = run.lines.back();
    for (size_t i = 12; i < run.lines.size(); ++i) { // from 3 s on
        const std::string& line = run.lines[i];
        EXPECT_LT(sim_field(line, "speed"), 0.02) << line;
        EXPECT_NEAR(sim_field(line, "fork_travel"), sim_field(last, "fork_travel"), 0.003) << line;
        EXPECT_NEAR(sim_field(line, "shock_travel"), sim_field(last, "shock_travel"), 0.003) << line;
        double loads = sim_field(line, "tyre_loads", 0) + sim_field(line, "tyre_loads", 1);
        EXPECT_NEAR(loads, k_weight_450, 0.01 * k_weight_450) << line;
    }
    // Sagged into the travel, neither topped out nor bottomed.
    EXPECT_GT(sim_field(last, "fork_travel"), 0.1);
    EXPECT_LT(sim_field(last, "fork_travel"), 0.3);
    EXPECT_GT(sim_field(last, "shock_travel"), 0.05);
    EXPECT_LT(sim_field(last, "shock_travel"), 0.2);
}

TEST(ContactOutcome, EverySuspensionKnobMovesTheSagTheRightWay) {
    struct Case {
        const char* knob;
        const char* sag; // the travel it changes
    };
    const Case cases[] = {
        {"fork_spring_rate_adjustment", "fork_travel"},
        {"fork_preload_adjustment", "fork_travel"},
        {"shock_spring_rate_adjustment", "shock_travel"},
        {"shock_preload_adjustment", "shock_travel"},
    };
    for (const Case& c : cases) {
        double sag[2];
        for (int k = 0; k < 2; ++k) {
            SimRun run =
                run_sim(std::string("--ticks 512 --every 512 --setup ") + c.knob + (k ? "=100" : "=0"));
            ASSERT_EQ(run.status, 0) << c.knob;
            ASSERT_EQ(run.lines.size(), 2u) << c.knob;
            sag[k] = sim_field(run.lines[1], c.sag);
        }
        // Stiffer or more preloaded: less sag.
        EXPECT_LT(sag[1], sag[0] - 0.02) << c.knob;
    }
}

namespace {

struct TarnwickTest : ContactTest {
    void SetUp() override {
        ContactTest::SetUp();
        ASSERT_TRUE(file_exists(build_dir() + "/tracks/tarnwick/tilemap")) << "the build ships tarnwick";
        ASSERT_EQ(load_terrain(g_terrain, "@tracks/tarnwick", 0), 1);
    }
    // A rider turned left by yaw (0 faces -z) with its lowest tyre point a little above the ground.
    Rider& place_turned(double x, double z, double yaw) {
        Rider& r = make();
        rider_place_on_ground(r, g_terrain, x, z, yaw, 0.02);
        g_slots[size_t(r.slot - 1)].rider = &r;
        g_slots[size_t(r.slot - 1)].kind = Robot;
        return r;
    }
};

} // namespace

TEST_F(TarnwickTest, BikeStandsOnTheStartStraightAndRollsDownItsGradeWhenReleased) {
    // The start straight runs east from (500, 2050), falling gently (about 1 in 40) past the gate.
    Rider& r = place_turned(560, 2050, -k_pi / 2);
    rider_set_input(r, FrontBrake, 1);
    rider_set_input(r, RearBrake, 1);
    run(3 * 128);
    // Held on its brakes: standing on its tyres, upright, still, carrying its weight.
    EXPECT_LT(rider_speed(r), 0.02);
    EXPECT_LT(std::fabs(rider_lean_angle(r)), 0.02);
    double loads = wheel_tyre_load(r.front_wheel) + wheel_tyre_load(r.rear_wheel);
    EXPECT_NEAR(loads, r.total_mass * 32, 0.01 * r.total_mass * 32);
    EXPECT_EQ(rider_contacts(r), PartFrontWheel | PartRearWheel);
    // Released: it rolls east, downhill.
    double held_x = dBodyGetPosition(rider_frame(r))[0];
    rider_set_input(r, FrontBrake, 0);
    rider_set_input(r, RearBrake, 0);
    run(2 * 128);
    EXPECT_GT(dBodyGetPosition(rider_frame(r))[0] - held_x, 0.3);
    EXPECT_EQ(g_contact_stats.rejected, 0);
}

TEST_F(TarnwickTest, BikeRollsDownASlopeWhenReleased) {
    // Find a steady slope along x with no cross fall, bike-length long.
    auto h = [](double x, double z) { return double(terrain_height_at(g_terrain, float(x), float(z))); };
    double found_x = -1, found_z = -1, grade = 0;
    for (double z = 20; z < g_terrain.extent - 20 && found_x < 0; z += 5)
        for (double x = 20; x < g_terrain.extent - 20; x += 5) {
            double g = (h(x + 5, z) - h(x - 5, z)) / 10;
            if (std::fabs(g) < 0.15 || std::fabs(g) > 0.3) continue;
            if (std::fabs(h(x, z + 2) - h(x, z - 2)) > 0.04 ||
                std::fabs(h(x + 5, z + 2) - h(x + 5, z - 2)) > 0.04 ||
                std::fabs(h(x - 5, z + 2) - h(x - 5, z - 2)) > 0.04)
                continue;
            if (std::fabs(h(x + 2.5, z) - (h(x, z) + h(x + 5, z)) / 2) > 0.05 ||
                std::fabs(h(x - 2.5, z) - (h(x, z) + h(x - 5, z)) / 2) > 0.05)
                continue;
            found_x = x;
            found_z = z;
            grade = g;
            break;
        }
    ASSERT_GE(found_x, 0) << "tarnwick has a steady slope somewhere";
    // Facing along the slope (east or west), released at rest.
    Rider& r = place_turned(found_x, found_z, -k_pi / 2);
    double start_height = dBodyGetPosition(rider_frame(r))[1];
    double start_x = dBodyGetPosition(rider_frame(r))[0];
    run(2 * 128);
    double moved = dBodyGetPosition(rider_frame(r))[0] - start_x;
    EXPECT_GT(std::fabs(moved), 3) << "at x " << found_x << " z " << found_z << " grade " << grade;
    EXPECT_LT(moved * grade, 0) << "downhill";
    EXPECT_LT(dBodyGetPosition(rider_frame(r))[1], start_height - 0.5);
    EXPECT_GT(rider_speed(r), 3);
    EXPECT_EQ(g_contact_stats.rejected, 0);
}
