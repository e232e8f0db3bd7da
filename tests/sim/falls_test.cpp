// Falls: crash thresholds, the crash counter with knockout, the remount, the feet and the realign aid.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "drive_fixture.h"
#include "sim/falls.h"

namespace {

double distance(const double a[3], const double b[3]) {
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                     (a[2] - b[2]) * (a[2] - b[2]));
}

void world_point(dBodyID body, const float p[3], double out[3]) {
    dVector3 w;
    dBodyGetRelPointPos(body, p[0], p[1], p[2], w);
    for (int a = 0; a < 3; ++a)
        out[a] = w[a];
}

bool finite_pose(const FootPose& pose) {
    for (int i = 0; i < 2; ++i) {
        if (!std::isfinite(pose.weight[i])) return false;
        for (int a = 0; a < 3; ++a)
            if (!std::isfinite(pose.foot[i][a])) return false;
    }
    return true;
}

// The realign aid's target in tests: a fixed point, or none.
double g_target[3];
bool g_have_target = false;
bool test_target(const Rider&, double target[3]) {
    for (int a = 0; a < 3; ++a)
        target[a] = g_target[a];
    return g_have_target;
}

bool hinge_attached(const Rider& r) {
    return dJointGetBody(r.joints[JointRider], 0) != nullptr;
}

double seat_distance(const Rider& r) {
    const BikeInfo& b = r.bike;
    dVector3 seat;
    dBodyGetRelPointPos(r.bodies[BodyFrame], b.rider_position[0] - b.frame_position[0],
                        b.rider_position[1] - b.frame_position[1], b.rider_position[2] - b.frame_position[2],
                        seat);
    const dReal* p = dBodyGetPosition(r.bodies[BodyRider]);
    double s[3] = {seat[0], seat[1], seat[2]}, q[3] = {p[0], p[1], p[2]};
    return distance(s, q);
}

struct FallsTest : DriveTest {
    void SetUp() override {
        DriveTest::SetUp();
        knockout_reset();
        realign_target_reset();
    }
    void TearDown() override {
        knockout_reset();
        realign_target_reset();
        DriveTest::TearDown();
    }
    // Leg reach from the hip, with a little slack for the two-bone chain's thickness.
    static double leg_reach(const Rider& r) {
        return r.bike.rider_lengths[2] + r.bike.rider_lengths[3] + 0.01;
    }
    static double hip_distance(const Rider& r, int i, const double foot[3]) {
        double hip[3];
        world_point(r.bodies[BodyRider], r.bike.rider_points[3 + i], hip);
        return distance(hip, foot);
    }
    // One tick as the world tick runs it; observe(resting) runs after the step with whether the
    // rider body moved slower than 2 ft/s coming out of the world step.
    void tick_observed(Rider& r, const std::function<void(bool)>& observe) {
        rider_apply_inputs(r, in);
        world_contacts(nullptr, 0);
        world_step();
        const dReal* v = dBodyGetLinearVel(r.bodies[BodyRider]);
        bool resting = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) < 2;
        rider_step(r);
        ++g_race.clock;
        observe(resting);
    }
    // Sets every body of the rider moving at v, and the rider body's velocity four ticks ago.
    static void set_motion(Rider& r, const double v[3], const double earlier[3]) {
        for (dBodyID body : r.bodies) {
            dBodySetLinearVel(body, v[0], v[1], v[2]);
            dBodySetAngularVel(body, 0, 0, 0);
        }
        float* trail = r.rider_trail[static_cast<uint32_t>(g_race.clock) & 3];
        for (int a = 0; a < 3; ++a)
            trail[a] = float(earlier[a]);
    }
};

TEST_F(FallsTest, FootPoseRidingKeepsBothFeetOnThePegs) {
    Rider& r = start("450sxf(2016)", 20);
    drive(r, 64);
    FootPose pose = foot_pose(r);
    for (int i = 0; i < 2; ++i) {
        double peg[3];
        world_point(r.bodies[BodyFrame], r.bike.rider_points[7 + i], peg);
        EXPECT_LT(distance(peg, pose.foot[i]), 1e-9) << "foot " << i;
        EXPECT_EQ(pose.weight[i], 0) << "foot " << i;
        EXPECT_LT(hip_distance(r, i, pose.foot[i]), leg_reach(r));
    }
}

// Standing still with the dab pose fully blended in, near upright both feet reach the ground; leaning
// clearly to one side only the foot on the low side does.
TEST_F(FallsTest, FootPoseDabbingPutsTheFootOnTheLowSideOnTheGround) {
    for (double roll : {0.0, 0.4, -0.4}) {
        Rider& r = start("450sxf(2016)");
        const dReal* base = dBodyGetPosition(r.bodies[BodyFrame]);
        double x = base[0], y = base[1], z = base[2];
        rider_translate(r, -x, -y, -z);
        rider_rotate(r, 0, 0, 1, roll);
        rider_translate(r, x, y, z);
        r.pose_blend = 1;
        dVector3 up;
        dBodyVectorToWorld(r.bodies[BodyFrame], 0, 1, 0, up);
        FootPose pose = foot_pose(r);
        ASSERT_TRUE(finite_pose(pose));
        int down_count = 0;
        for (int i = 0; i < 2; ++i) {
            if (pose.weight[i] < 0.5) continue;
            ++down_count;
            double ground = terrain_height_at(g_terrain, float(pose.foot[i][0]), float(pose.foot[i][2]));
            EXPECT_NEAR(pose.foot[i][1], ground + 0.125, 0.05) << "roll " << roll << " foot " << i;
            // The foot is on the side the top of the bike leans to.
            if (roll != 0) {
                EXPECT_GT((pose.foot[i][0] - x) * up[0], 0) << "roll " << roll << " foot " << i;
            }
        }
        EXPECT_EQ(down_count, roll == 0 ? 2 : 1) << "roll " << roll;
        discard(r);
    }
}

// Driven into a wall at 25 ft/s the rider crashes, lies there held to the bars, and is put back on
// the seat exactly 512 resting ticks later; it then rides on without crashing again.
TEST_F(FallsTest, CrashIntoAWallThenRemountAfter512RestingTicks) {
    free_terrain(g_terrain);
    // A 3 ft step across the course, 12 ft ahead of the rider's start.
    make_test_terrain(g_terrain, 6, [](double, double z) { return z < 128 ? 3.0 : 0.0; });
    Rider& r = start("450sxf(2016)", 25);
    rider_set_gear(r, 1);
    in[Throttle] = 1;
    int resting = 0, ticks = 0;
    bool crashed = false, remounted = false;
    while (!remounted && ticks < 128 * 30) {
        tick_observed(r, [&](bool rest) {
            ++ticks;
            if (!crashed) {
                crashed = r.crash_counter > 0;
                if (!crashed) return;
                EXPECT_FALSE(hinge_attached(r));
                EXPECT_EQ(r.crash_counter, rest ? 511 : 512); // the crash tick may already rest
                EXPECT_EQ(r.crash_count, 1);
                in[Throttle] = 0;
            }
            if (rest) ++resting;
            if (r.crash_counter > 0) {
                if (r.crash_counter >= 512) {
                    EXPECT_FALSE(rest);
                }
                EXPECT_FALSE(hinge_attached(r));
                // The feet lie on the ground, within the legs' reach of the hips, and are drawn
                // there until the last moments of the remount.
                FootPose pose = foot_pose(r);
                for (int i = 0; i < 2; ++i) {
                    const float* f = r.feet[i].position;
                    EXPECT_GE(f[1], terrain_height_at(g_terrain, f[0], f[2])) << "tick " << ticks;
                    double foot[3] = {f[0], f[1], f[2]};
                    EXPECT_LE(hip_distance(r, i, foot), leg_reach(r)) << "tick " << ticks;
                    if (r.crash_counter >= 128) {
                        EXPECT_LT(distance(pose.foot[i], foot), 1e-5) << "tick " << ticks;
                    }
                    EXPECT_EQ(pose.weight[i], 1);
                }
                return;
            }
            remounted = true;
            EXPECT_TRUE(hinge_attached(r));
            EXPECT_LT(seat_distance(r), 0.01);
        });
        if (!crashed && ticks > 128 * 3) break;
    }
    ASSERT_TRUE(crashed) << "no crash after " << ticks << " ticks";
    ASSERT_TRUE(remounted) << "still crashed after " << ticks << " ticks, counter " << r.crash_counter;
    EXPECT_EQ(resting, 512);

    for (int i = 0; i < 128; ++i)
        tick_observed(r, [](bool) {});
    EXPECT_EQ(r.crash_counter, 0);
    EXPECT_EQ(r.crash_count, 1);
    EXPECT_TRUE(hinge_attached(r));
    FootPose pose = foot_pose(r);
    EXPECT_TRUE(finite_pose(pose));
}

// The crash thresholds: separation speed above 31 ft/s and felt acceleration above 1376 ft/s^2, each
// times the tolerance: 1.5, lowered to 1 right after landing a jump of more than 0.685 s, back to
// 1.5 from 0.375 s after touchdown.
TEST_F(FallsTest, CrashThresholdsFollowTheTolerance) {
    struct Case {
        const char* what;
        int airtime, since_landing; // ticks; airtime < 0: not landed since the last takeoff
        int steps;                  // rider steps since the last reset
        double separation;          // ft/s, the rider body against the frame (all else still)
        double acceleration;        // ft/s^2, horizontal, felt over four ticks (plus gravity)
        bool crash;
    } cases[] = {
        {"riding, separation under 46.5", -1, 0, 100, 46, 0, false},
        {"riding, separation over 46.5", -1, 0, 100, 47, 0, true},
        {"riding, acceleration under 2064", -1, 0, 100, 0, 2060, false},
        {"riding, acceleration over 2064", -1, 0, 100, 0, 2070, true},
        {"short jump just landed", 64, 0, 100, 46, 2060, false},
        {"long jump just landed, separation over 31", 90, 0, 100, 32, 0, true},
        {"long jump just landed, separation under 31", 90, 0, 100, 30, 0, false},
        {"long jump just landed, acceleration over 1376", 90, 0, 100, 0, 1380, true},
        {"long jump 0.3 s after landing, separation 40", 90, 38, 100, 40, 0, true},
        {"long jump 0.3 s after landing, separation 36", 90, 38, 100, 36, 0, false},
        {"long jump 0.4 s after landing, separation 46", 90, 52, 100, 46, 0, false},
        {"airtime 0.62 s just landed, separation 40", 80, 0, 100, 40, 0, true},
        {"airtime 0.62 s just landed, separation 36", 80, 0, 100, 36, 0, false},
        {"placed moving this tick, acceleration over 2064", -1, 0, 0, 0, 2070, false},
    };
    for (const Case& c : cases) {
        Rider& r = start("450sxf(2016)");
        g_race.clock = 1000;
        r.steps_since_reset = c.steps;
        if (c.airtime < 0) {
            r.landing_tick = 100;
            r.airborne_tick = 200;
        } else {
            r.landing_tick = g_race.clock - c.since_landing;
            r.airborne_tick = r.landing_tick - c.airtime;
        }
        double accel = std::sqrt(std::max(0.0, c.acceleration * c.acceleration - 32.0 * 32.0));
        double v[3] = {0, 0, -20}, earlier[3] = {accel * 4 / 128, 0, -20};
        set_motion(r, v, earlier);
        const dReal* bv = dBodyGetLinearVel(r.bodies[BodyRider]);
        dBodySetLinearVel(r.bodies[BodyRider], bv[0], bv[1] + c.separation, bv[2]);
        if (c.separation != 0) earlier[1] += c.separation; // the separation is not an acceleration
        float* trail = r.rider_trail[static_cast<uint32_t>(g_race.clock) & 3];
        for (int a = 0; a < 3; ++a)
            trail[a] = float(earlier[a]);
        crash_check(r);
        EXPECT_EQ(r.crash_counter > 0, c.crash) << c.what;
        EXPECT_EQ(hinge_attached(r), !c.crash) << c.what;
        discard(r);
    }
}

// A rider struck by another (recovery timer below zero) cannot crash, by any trigger.
TEST_F(FallsTest, StruckRiderCannotCrash) {
    Rider& r = start("450sxf(2016)");
    r.recovery_timer = -50;
    double v[3] = {0, 0, 0}, earlier[3] = {0, 0, 0};
    set_motion(r, v, earlier);
    dBodySetLinearVel(r.bodies[BodyRider], 0, 200, 0);
    crash_check(r);
    crash_start(r);
    EXPECT_EQ(r.crash_counter, 0);
    EXPECT_EQ(r.crash_count, 0);
    EXPECT_TRUE(hinge_attached(r));
}

// Each crash adds the knockout entry of its number before the remount pull; the last entry serves
// every later crash, and no value, however absurd, keeps a rider off its bike for good.
TEST_F(FallsTest, KnockoutTableByCrashNumber) {
    int table[k_knockout_entries];
    for (int i = 0; i < k_knockout_entries; ++i)
        table[i] = 100 * (i + 1);
    knockout_set(table);
    Rider& r = start("450sxf(2016)");
    struct Case {
        int crashes_before, counter;
    } cases[] = {{0, 612}, {1, 712}, {2, 812}, {15, 2112}, {16, 2112}, {40, 2112}};
    for (const Case& c : cases) {
        r.crash_counter = 0;
        r.crash_count = c.crashes_before;
        crash_start(r);
        EXPECT_EQ(r.crash_counter, c.counter) << "after " << c.crashes_before << " crashes";
        EXPECT_EQ(r.crash_count, c.crashes_before + 1);
    }
    // A crash in progress is not restarted.
    r.crash_counter = 300;
    crash_start(r);
    EXPECT_EQ(r.crash_counter, 300);
    discard(r);

    int absurd[k_knockout_entries] = {-1000, INT_MIN, INT_MAX, -512, -511, 1 << 30};
    knockout_set(absurd);
    for (int n = 0; n < 6; ++n) {
        int counter = crash_counter_for(n);
        EXPECT_GE(counter, 1) << "entry " << n;
        EXPECT_LE(counter, k_crash_counter_start + k_knockout_max) << "entry " << n;
    }
    g_knockout[0] = INT_MAX; // written around the setter
    EXPECT_GT(crash_counter_for(0), 0);
    g_knockout[0] = INT_MIN;
    EXPECT_GT(crash_counter_for(0), 0);

    // The shortest knockout: a resting rider is back on the bike on the next tick.
    knockout_set(absurd);
    Rider& still = start("450sxf(2016)");
    drive(still, 64);
    crash_start(still);
    EXPECT_EQ(still.crash_counter, 1);
    EXPECT_FALSE(hinge_attached(still));
    drive(still, 2);
    EXPECT_EQ(still.crash_counter, 0);
    EXPECT_TRUE(hinge_attached(still));
}

// A rider thrown off a standing bike is held to the bars by the ropes, and its counter waits until it
// has come to rest.
TEST_F(FallsTest, ThrownRiderIsHeldToTheBarsUntilItRests) {
    Rider& r = start("450sxf(2016)");
    drive(r, 64);
    crash_start(r);
    ASSERT_EQ(r.crash_counter, 512);
    dBodySetLinearVel(r.bodies[BodyRider], 12, 12, -6);
    double arm = (r.bike.rider_lengths[0] + r.bike.rider_lengths[1]) * 0.875;
    int moving = 0;
    for (int i = 0; i < 128; ++i) {
        int before = r.crash_counter;
        tick_observed(r, [&](bool rest) {
            if (rest) return;
            ++moving;
            EXPECT_EQ(r.crash_counter, before) << "tick " << i;
        });
        double shoulder[3], grip[3];
        world_point(r.bodies[BodyRider], r.bike.rider_points[2], shoulder);
        world_point(r.bodies[BodyForkUpper], r.bike.rider_points[6], grip);
        EXPECT_LT(distance(shoulder, grip), arm + 1.5) << "tick " << i;
    }
    EXPECT_GT(moving, 8);
}

// A bike lying on its side, at rest with the dab held, is turned towards the target, then stood up by the dab
// aid. Without a target, or with the aid off, it is only stood up.
TEST_F(FallsTest, RealignTurnsAFallenBikeTowardsTheTargetAndStandsItUp) {
    constexpr double half_pi = 1.5707963267948966;
    struct Case {
        const char* what;
        double roll;
        double target_dx; // the target lies this far across the bike's path (x), level with it
        bool have_target, aid_on;
        double heading; // afterwards: 0 as placed, positive turned left
    } cases[] = {
        {"target to the left, fallen right", 0.8, -30, true, true, half_pi},
        {"target to the left, fallen left", -0.8, -30, true, true, half_pi},
        {"target to the right", 0.8, 30, true, true, -half_pi},
        {"no target", 0.8, -30, false, true, 0},
        {"aid off", 0.8, -30, true, false, 0},
    };
    realign_target_set(test_target);
    for (const Case& c : cases) {
        Rider& r = start("450sxf(2016)");
        setup_set_flag(r, RealignAfterFall, c.aid_on);
        const dReal* base = dBodyGetPosition(r.bodies[BodyFrame]);
        double x = base[0], y = base[1], z = base[2];
        rider_translate(r, -x, -y, -z);
        rider_rotate(r, 0, 0, 1, c.roll);
        rider_translate(r, x, y, z);
        g_target[0] = x + c.target_dx;
        g_target[1] = 0;
        g_target[2] = z;
        g_have_target = c.have_target;
        in[SitDab] = 1;
        drive(r, 6 * 128);
        EXPECT_NEAR(heading(r), c.heading, 0.1) << c.what;
        EXPECT_LT(std::fabs(rider_lean_angle(r)), 0.1) << c.what;
        EXPECT_EQ(r.crash_counter, 0) << c.what;
        discard(r);
    }
}

// While the aid turns the bike, the wheels on the ground carry the bike's whole weight upwards between
// them: weightless, not pushed off the ground.
TEST_F(FallsTest, RealignMakesTheBikeWeightlessWithoutLiftingIt) {
    realign_target_set(test_target);
    g_have_target = true;
    struct Case {
        bool front, rear;
    } cases[] = {{true, true}, {true, false}, {false, true}, {false, false}};
    for (const Case& c : cases) {
        Rider& r = start("450sxf(2016)");
        const dReal* base = dBodyGetPosition(r.bodies[BodyFrame]);
        double x = base[0], y = base[1], z = base[2];
        rider_translate(r, -x, -y, -z);
        rider_rotate(r, 0, 0, 1, 0.8);
        rider_translate(r, x, y, z);
        g_target[0] = x - 30;
        g_target[1] = 0;
        g_target[2] = z;
        r.front_wheel.depth = c.front ? 0.01f : 0;
        r.rear_wheel.depth = c.rear ? 0.01f : 0;
        for (dBodyID body : r.bodies)
            dBodySetForce(body, 0, 0, 0);
        ASSERT_TRUE(realign_after_fall(r));
        double lift = dBodyGetForce(r.front_wheel.body)[1] + dBodyGetForce(r.rear_wheel.body)[1];
        double weight = (c.front || c.rear) ? r.total_mass * 32 : 0;
        EXPECT_NEAR(lift, weight, 1e-6) << "front " << c.front << " rear " << c.rear;
        discard(r);
    }
}

} // namespace
