#include <cmath>

#include "sim/suspension.h"
#include "sim_fixture.h"

namespace {

TEST(Damper, ForceLawAndClamps) {
    struct Case {
        double speed, hs_c, ls_c, hs_r, ls_r, force;
    };
    const Case cases[] = {
        {-0.1, 60, 60, 32, 30, 48},    // 66 held to 8 times the viscous 6
        {-2, 60, 60, 32, 30, 180},     // viscous 120 plus 60
        {-0.1, 60, -60, 32, 30, 0.75}, // clicker at 0: never pulls against the motion
        {0, 60, 60, 32, 30, 0},        // zero at rest
        {0.5, 60, 60, 32, 30, -46},    // rebound: -16 - 30
        {0.01, 60, 60, 32, 30, -2.56}, // held to 8 times the viscous -0.32
        {0.5, 60, 60, 32, -30, -2},    // rebound clicker at 0: at least an eighth of -16
    };
    for (const Case& c : cases)
        EXPECT_NEAR(damper_force(c.speed, c.hs_c, c.ls_c, c.hs_r, c.ls_r), c.force, 1e-9)
            << "speed " << c.speed;
}

TEST(AirSpring, FullCompressionForces) {
    EXPECT_NEAR(fork_air_force(1, 1, 0.416667), 374, 1);
    EXPECT_NEAR(fork_air_force(1, 1, 0.25), 703, 1);
    EXPECT_DOUBLE_EQ(fork_air_force(0, 1, 0.25), 0);
    // Stiffer the further it is pushed.
    EXPECT_GT(fork_air_force(0.9, 1, 0.25) - fork_air_force(0.8, 1, 0.25),
              fork_air_force(0.2, 1, 0.25) - fork_air_force(0.1, 1, 0.25));
}

TEST(Linkage, CurveMeetsItsKnotsAndIsContinuous) {
    const BikeInfo& b = *bike_info_by_name("450sxf(2016)");
    LinkagePoint start = linkage_at(b, 0), knot = linkage_at(b, b.linkage_knot), end = linkage_at(b, 1);
    EXPECT_NEAR(start.stroke, 0, 1e-12);
    EXPECT_NEAR(start.ratio, b.linkage_slope_start, 1e-6);
    EXPECT_NEAR(knot.stroke, b.linkage_knot_stroke, 1e-6);
    EXPECT_NEAR(knot.ratio, b.linkage_slope_knot, 1e-6);
    EXPECT_NEAR(end.stroke, b.linkage_full_stroke, 1e-6);
    EXPECT_NEAR(end.ratio, b.linkage_slope_end, 1e-6);
    const double e = 1e-7;
    LinkagePoint below = linkage_at(b, b.linkage_knot - e), above = linkage_at(b, b.linkage_knot + e);
    EXPECT_NEAR(below.stroke, above.stroke, 1e-6);
    EXPECT_NEAR(below.ratio, above.ratio, 1e-5);
    // Rising and progressive throughout, and carried on past full travel.
    double last = -1;
    for (int i = 0; i <= 100; ++i) {
        LinkagePoint p = linkage_at(b, i / 100.0);
        EXPECT_GT(p.stroke, last);
        EXPECT_GT(p.ratio, 0);
        last = p.stroke;
    }
    EXPECT_GT(linkage_at(b, 1.05).stroke, b.linkage_full_stroke);
    EXPECT_DOUBLE_EQ(linkage_at(b, -0.2).stroke, 0);
}

using SuspensionTest = SimTest;

TEST_F(SuspensionTest, ForkForceFadesAtTopOut) {
    Rider& r = make();
    const RiderSetup& s = r.setup;
    double travel = r.bike.fork_travel;
    EXPECT_DOUBLE_EQ(fork_force(r, 0, 0), 0); // preload alone does not lift the bike
    EXPECT_DOUBLE_EQ(fork_force(r, 0.01, 0), 0);
    double x = travel / 64;
    double expected =
        (fork_air_force(x, travel, s.fork_air_gap) + (s.fork_preload + x) * s.fork_spring_rate) * 0.5;
    EXPECT_NEAR(fork_force(r, -x, 0), expected, 1e-6);
    double deep = -travel / 2;
    EXPECT_GT(fork_force(r, deep, -1), fork_force(r, deep, 0)); // compressing: damping adds
    EXPECT_LT(fork_force(r, deep, 1), fork_force(r, deep, 0));  // extending: damping subtracts
}

TEST_F(SuspensionTest, ShockTorqueFollowsTheLinkage) {
    Rider& r = make();
    double travel = r.bike.swingarm_travel;
    EXPECT_DOUBLE_EQ(shock_torque(r, 0, 0), 0);
    EXPECT_DOUBLE_EQ(shock_torque(r, 0.05, 0), 0);
    double theta = -r.bike.linkage_knot * travel;
    double expected = (r.bike.linkage_knot_stroke + r.setup.shock_preload) * r.setup.shock_spring_rate *
                      r.bike.linkage_slope_knot;
    EXPECT_NEAR(shock_torque(r, theta, 0), expected, 1e-3);
    // Progressive: equal steps of travel cost more torque near full travel.
    double a = shock_torque(r, -0.2 * travel, 0), b = shock_torque(r, -0.3 * travel, 0);
    double c = shock_torque(r, -0.8 * travel, 0), d = shock_torque(r, -0.9 * travel, 0);
    EXPECT_GT(d - c, b - a);
}

// With the frame held and a steady load pushing a wheel up, the suspension settles where its force
// carries the load: the motors push the right way with the right strength.
TEST_F(SuspensionTest, MotorsCarryALoad) {
    Rider& r = make();
    dJointID hold = dJointCreateFixed(g_physics.world, nullptr);
    dJointAttach(hold, rider_frame(r), nullptr);
    dJointSetFixed(hold);
    dJointID hold_rider = dJointCreateFixed(g_physics.world, nullptr);
    dJointAttach(hold_rider, r.bodies[BodyRider], nullptr);
    dJointSetFixed(hold_rider);
    const double load = 600;
    for (int i = 0; i < 1280; ++i) {
        dBodyAddForce(r.bodies[BodyFrontWheel], 0, load, 0);
        dBodyAddForce(r.bodies[BodyRearWheel], 0, load, 0);
        tick({&r});
    }
    double x = rider_fork_position(r);
    double theta = rider_swingarm_angle(r);
    EXPECT_LT(x, -0.05);
    EXPECT_GT(x, -r.bike.fork_travel + 0.01);
    EXPECT_LT(theta, -0.02);
    EXPECT_GT(theta, -r.bike.swingarm_travel + 0.01);
    EXPECT_NEAR(dJointGetSliderPositionRate(r.joints[JointFork]), 0, 1e-3);

    // Along the fork the load (less the weight of the lower fork and wheel) is met by the fork.
    double axis[3] = {0, r.bike.steering_head[1] - r.bike.fork_lower_position[1],
                      r.bike.steering_head[2] - r.bike.fork_lower_position[2]};
    double along = axis[1] / std::sqrt(axis[1] * axis[1] + axis[2] * axis[2]);
    dMass lower, wheel;
    dBodyGetMass(r.bodies[BodyForkLower], &lower);
    dBodyGetMass(r.bodies[BodyFrontWheel], &wheel);
    double carried = (load - 32 * (lower.mass + wheel.mass)) * along;
    EXPECT_NEAR(fork_force(r, x, 0), carried, 0.05 * carried);
    dJointDestroy(hold);
    dJointDestroy(hold_rider);
}

} // namespace
