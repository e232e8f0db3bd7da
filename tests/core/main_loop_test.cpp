#include "core/command_line.h"
#include "core/main_loop.h"
#include "platform/input.h"
#include "race/race.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A clock that only moves when the test (or a sleep) moves it.
double g_fake_now = 0;
double fake_now() { return g_fake_now; }
void fake_sleep(double seconds) {
    if (seconds > 0) g_fake_now += seconds;
}

struct LoopFixture : ::testing::Test {
    LoopClock saved = g_loop_clock;
    void SetUp() override {
        g_fake_now = 1000;
        g_loop_clock = LoopClock{fake_now, fake_sleep};
        loop_state_reset();
        race_reset_state();
        input_clear_events();
        g_race.track_loaded = true;
        g_loop.view = TrackCameraView; // no rider in the viewed slot: the world runs, inputs steer cameras
    }
    void TearDown() override {
        g_loop_clock = saved;
        input_clear_events();
        race_reset_state();
    }
    // One frame whose own work takes `work` seconds; returns the ticks it ran.
    int frame(double work, FrameAdvanceOptions options = {}) {
        g_fake_now += work;
        frame_advance(options);
        return run_ticks(g_loop.previous_wall);
    }
};

TEST_F(LoopFixture, SixtyFramesASecondAlternateTwoAndThreeTicks) {
    int total = 0, frames = 600;
    for (int i = 0; i < frames; ++i) {
        int ticks = frame(1.0 / 60);
        EXPECT_TRUE(ticks == 2 || ticks == 3) << "frame " << i << " ran " << ticks;
        total += ticks;
    }
    EXPECT_NEAR(static_cast<double>(total) / frames, 128.0 / 60, 0.01);
    EXPECT_EQ(g_loop.ticks_run, total);
}

TEST_F(LoopFixture, FastFramesSleepUntilATickHasPassed) {
    double before = g_fake_now;
    int ticks = frame(0.002); // 500 frames a second
    EXPECT_EQ(ticks, 1);
    EXPECT_NEAR(g_fake_now - before, k_tick_length, 1e-9);
}

TEST_F(LoopFixture, StallAdvancesAtMostAnEighthOfASecond) {
    EXPECT_EQ(frame(2.0), 16);
    EXPECT_DOUBLE_EQ(g_loop.largest_advance, 0.125);
    EXPECT_NEAR(g_loop.global_clock, 0.125, 1e-12);
}

TEST_F(LoopFixture, LockFpsAdvancesExactlyOneFrameOfTheLock) {
    FrameAdvanceOptions lock{30, false, false};
    for (double work : {0.001, 0.02, 0.2}) {
        double target = g_loop.target_time;
        frame(work, lock);
        EXPECT_DOUBLE_EQ(g_loop.target_time - target, 1.0 / 30) << "work " << work;
    }
}

TEST_F(LoopFixture, WarpRunsAHundredTicksPerFrame) {
    FrameAdvanceOptions warp{0, true, false};
    EXPECT_EQ(frame(0.001, warp), 100);
    EXPECT_EQ(frame(0.5, warp), 100);
}

TEST_F(LoopFixture, HistogramBucketsRawFrameTimes) {
    frame(1.5 * k_tick_length); // bucket 1: [1, 2) ticks
    frame(100 * k_tick_length); // bucket 7: 64 ticks or more
    EXPECT_EQ(g_loop.histogram[1], 1);
    EXPECT_EQ(g_loop.histogram[7], 1);
}

TEST_F(LoopFixture, EventLandsInTheTickItsStampBelongsTo) {
    g_loop.function_keys[KeyPause] = 4096 + 72;
    double start = g_fake_now;
    // A pause pressed 1.5 ticks into a frame of three ticks: tick 1 runs, ticks 2 and 3 are paused.
    input_push_event(InputEvent{4096 + 72, true, start + 1.5 * k_tick_length});
    EXPECT_EQ(frame(3 * k_tick_length), 3);
    EXPECT_EQ(g_loop.ticks_run, 1);
    EXPECT_TRUE(g_loop.paused);
}

TEST_F(LoopFixture, MenuOfflineWithLocalRiderStopsTheRaceClock) {
    Rider* fake = reinterpret_cast<Rider*>(&g_race); // any non-null rider reference
    g_slots[0] = RiderSlot{fake, Local};
    g_loop.view = RiderView;
    input_push_event(InputEvent{k_input_char_esc, true, g_fake_now});
    int clock = g_race.clock;
    frame(4 * k_tick_length);
    EXPECT_EQ(g_loop.current_menu, 0);
    EXPECT_EQ(g_race.clock, clock);
    // A robot viewed instead: the world keeps running behind the menu.
    g_slots[0].kind = Robot;
    frame(4 * k_tick_length);
    EXPECT_EQ(g_race.clock, clock + 4);
    g_slots[0] = RiderSlot{nullptr, Local};
}

struct TabCase {
    ViewMode from;
    bool editor;
    ViewMode to;
};

TEST_F(LoopFixture, TabCyclesViewModes) {
    const TabCase cases[] = {
        {RiderView, false, OrbitView},       {RiderView, true, EditorView},
        {OrbitView, false, TrackCameraView}, {TrackCameraView, false, RiderView},
        {EditorView, true, OrbitView},       {NoTrackView, false, NoTrackView},
    };
    for (const TabCase& c : cases) {
        g_loop.view = c.from;
        g_launch.editor = c.editor;
        handle_key(k_input_char_tab, true);
        EXPECT_EQ(g_loop.view, c.to) << "from " << c.from;
    }
    g_launch.editor = false;
}

TEST_F(LoopFixture, EscOpensAndClosesTheMainMenu) {
    handle_key(k_input_char_esc, true);
    EXPECT_EQ(g_loop.current_menu, 0);
    g_loop.current_menu = 7;
    g_loop.selected_item = 3;
    handle_key(k_input_char_esc, true);
    EXPECT_EQ(g_loop.current_menu, -1);
    EXPECT_EQ(g_loop.selected_item, 0);
}

TEST_F(LoopFixture, ViewModeFollowsTheViewedSlot) {
    g_loop.view = OrbitView;
    update_view_mode(); // no rider viewed
    EXPECT_EQ(g_loop.view, TrackCameraView);
    g_race.track_loaded = false;
    update_view_mode();
    EXPECT_EQ(g_loop.view, NoTrackView);
}

TEST(OnlineRate, ScalesTowardTheServerClock) {
    // Ahead of the server by a second or more: half speed.
    EXPECT_DOUBLE_EQ(online_rate_scale(1.0, 0, 200, 0), 0.5);
    // Behind before the gate drops: up to four times.
    EXPECT_DOUBLE_EQ(online_rate_scale(1.0, 400, 10, 1000), 4.0);
    // Behind after the gate drop: at most an eighth faster.
    EXPECT_DOUBLE_EQ(online_rate_scale(1.0, 1400, 1000, 10), 1.125);
    // In step: unchanged.
    EXPECT_DOUBLE_EQ(online_rate_scale(1.0, 101, 100, 10), 1.0);
}

TEST(TrackCamera, RatesChangeAtMostPiPerSecondAndPitchIsClamped) {
    AngleCamera cam{};
    float in[ControlCount] = {};
    in[Steer] = 1;
    double zero[3] = {0, 0, 0};
    steer_track_camera(cam, in, false, false, zero, zero);
    EXPECT_NEAR(cam.yaw_rate, M_PI * k_tick_length, 1e-12);
    for (int i = 0; i < 1000; ++i) steer_track_camera(cam, in, false, false, zero, zero);
    EXPECT_NEAR(cam.yaw_rate, 3 * M_PI / 8, 1e-9);
    EXPECT_LE(std::fabs(cam.yaw), M_PI);
    float up[ControlCount] = {};
    up[Shift] = 1;
    for (int i = 0; i < 2000; ++i) steer_track_camera(cam, up, false, false, zero, zero);
    EXPECT_DOUBLE_EQ(cam.pitch, M_PI / 2);
}

TEST(TrackCamera, FollowingTurnsTowardTheRider) {
    AngleCamera cam{};
    cam.auto_fov_size = 4;
    cam.fov = 60;
    float in[ControlCount] = {};
    double rider[3] = {10, 0, 10}; // bearing atan2(x, z) = pi/4
    double still[3] = {0, 0, 0};
    steer_track_camera(cam, in, true, true, rider, still);
    EXPECT_NEAR(cam.yaw, M_PI / 4, 1e-9);
    EXPECT_NEAR(cam.fov, 114.59155902616465 * std::atan2(4, std::sqrt(200.0)), 1e-9);
}

} // namespace

#include "track/terrain.h"

namespace {

TEST_F(LoopFixture, FreeCameraStaysAboveTheGround) {
    g_terrain = Terrain{};
    g_terrain.size_log2 = 2;
    g_terrain.tiles_per_side = 4;
    g_terrain.samples_per_side = 9;
    g_terrain.cell_size = 4;
    g_terrain.tile_size = 8;
    g_terrain.extent = 32;
    g_terrain.min_height = g_terrain.max_height = 10;
    g_terrain.heights.assign(81, 10.0f);
    g_loop.free_camera.position[0] = 16;
    g_loop.free_camera.position[2] = 16;
    g_loop.free_camera.pitch = -0.5; // looking down: forward motion would go underground
    g_loop.track_camera = -1;
    // The free camera coasts forward and down; inputs come from the bindings, so give it speed.
    g_loop.free_speed = 100;
    frame(4 * k_tick_length);
    EXPECT_GE(g_loop.free_camera.position[1], 12.0 - 1e-6);
    g_terrain = Terrain{};
}

} // namespace
