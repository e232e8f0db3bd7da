// The simulation harness, run as a program: what it prints for simple trials and how it refuses bad
// requests.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"
#include "harness_support.h"

namespace {

TEST(Harness, BikeSettlesOnFlatGroundCarryingItsWeight) {
    SimRun run = run_sim("--ticks 640 --every 640");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_EQ(run.lines.size(), 2u);
    const std::string& last = run.lines[1];
    double weight = 13.95875 * 32;
    EXPECT_NEAR(sim_field(last, "tyre_loads", 0) + sim_field(last, "tyre_loads", 1), weight, 0.02 * weight) << last;
    EXPECT_GT(sim_field(last, "tyre_loads", 0), 0.3 * weight);
    EXPECT_GT(sim_field(last, "tyre_loads", 1), 0.3 * weight);
    EXPECT_GT(sim_field(last, "fork_travel"), 0.05) << last; // sagged, not topped out or bottomed
    EXPECT_LT(sim_field(last, "fork_travel"), 0.9) << last;
    EXPECT_GT(sim_field(last, "shock_travel"), 0.02) << last;
    EXPECT_LT(sim_field(last, "speed"), 0.05) << last;
    EXPECT_NE(last.find("\"crashed\":false"), std::string::npos);
}

TEST(Harness, FreeFlightFallsUnderGravity) {
    SimRun run = run_sim("--terrain none --ticks 128 --every 128");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 2u);
    // One second of fall: 16 ft, plus a tick's worth from the stepper's velocity-first integration
    // and the rider settling on its springs.
    EXPECT_NEAR(sim_field(run.lines[0], "position", 1) - sim_field(run.lines[1], "position", 1), 16, 0.2);
    EXPECT_NEAR(sim_field(run.lines[1], "speed"), 32, 0.01);
}

TEST(Harness, BikeRollsDownASlope) {
    SimRun run = run_sim("--terrain slope --slope 10 --ticks 256 --every 256");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 2u);
    // It faces uphill (towards -z) with nothing holding it: it rolls back, towards +z.
    EXPECT_GT(sim_field(run.lines[1], "position", 2) - sim_field(run.lines[0], "position", 2), 2) << run.lines[1];
}

TEST(Harness, ManyRidersAndAShippedTrack) {
    SimRun run = run_sim("--riders 3 --ticks 128 --every 64 --terrain track:tarnwick --model kx125x");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.lines.size(), 9u);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(sim_field(run.lines[i], "rider"), i % 3 + 1);
        EXPECT_TRUE(std::isfinite(sim_field(run.lines[i], "position", 1))) << run.lines[i];
        EXPECT_NE(run.lines[i].find("\"model\":\"cr125\""), std::string::npos);
    }
    EXPECT_NE(run.err.find("bike info for 'kx125x' not found using 'cr125' instead"), std::string::npos);
}

TEST(Harness, ScriptedLeanMovesTheRider) {
    // Leaning forward then back shifts the rider body, and with it the load between the tyres.
    SimRun forward = run_sim("--ticks 384 --every 384 --inputs '0 lean=-1'");
    SimRun back = run_sim("--ticks 384 --every 384 --inputs '0 lean=1'");
    ASSERT_EQ(forward.status, 0) << forward.err;
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_GT(sim_field(forward.lines[1], "tyre_loads", 0), sim_field(back.lines[1], "tyre_loads", 0) + 5);
}

TEST(Harness, BadRequestsAreRefused) {
    struct Case {
        const char* args;
        const char* says;
    };
    const Case cases[] = {
        {"--inputs 'soon throttle=1'", "line 1: 'soon' is not a time"},
        {"--inputs '1 throttle=1;0.5 throttle=0'", "line 2: times must not go backwards"},
        {"--inputs '1 gas=1'", "'gas=1' is not control=value"},
        {"--inputs '1 throttle=lots'", "bad value"},
        {"--inputs '2'", "a time without any control"},
        {"--terrain moon", "bad terrain"},
        {"--riders 0", "bad value for --riders"},
        {"--riders 161", "bad value for --riders"},
        {"--ticks", "needs"},
        {"--setup colour=red", "unknown setting"},
        {"--script /nonexistent/script.txt", "can't read script"},
        {"--wings", "unknown option"},
    };
    for (const Case& c : cases) {
        SimRun run = run_sim(c.args);
        EXPECT_EQ(run.status, 2) << c.args;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << ": " << run.err;
        EXPECT_TRUE(run.lines.empty()) << c.args;
    }
    SimRun missing = run_sim("--terrain track:no_such_track");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("can't load the terrain"), std::string::npos) << missing.err;
}

} // namespace
