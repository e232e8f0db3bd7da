#include <cmath>
#include <cstring>

#include "sim/rider_body.h"
#include "sim_fixture.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;

double body_mass(const Rider& r, RiderBody b) {
    dMass m;
    dBodyGetMass(r.bodies[b], &m);
    return m.mass;
}

using SetupTest = SimTest;

TEST_F(SetupTest, CreationValues) {
    Rider& r = make();
    const BikeInfo& b = r.bike;
    const RiderSetup& s = r.setup;
    EXPECT_FLOAT_EQ(s.fork_hs_compression_damping, b.fork_hs_compression);
    EXPECT_FLOAT_EQ(s.fork_ls_compression_damping, 0);
    EXPECT_FLOAT_EQ(s.shock_hs_rebound_damping, b.shock_hs_rebound);
    EXPECT_FLOAT_EQ(s.fork_spring_rate, (b.fork_spring_soft + b.fork_spring_stiff) / 2);
    EXPECT_FLOAT_EQ(s.fork_air_gap, b.fork_air_gap_min_oil);
    EXPECT_FLOAT_EQ(s.shock_preload, b.shock_preload_max / 2);
    EXPECT_FLOAT_EQ(s.rider_vertical_spring, 0.5f);
    EXPECT_FLOAT_EQ(s.restricted_lock_angle, 0.0872665f);
    EXPECT_FLOAT_EQ(s.max_dab_speed, 30);
    EXPECT_FLOAT_EQ(s.roll_limit_angle, static_cast<float>(k_pi / 4));
    EXPECT_FLOAT_EQ(s.slow_damping_speed, 0);
    EXPECT_EQ(s.flags, 141);
    EXPECT_EQ(setup_stop_wheelies(r), StopWheeliesFrontOnly);
    EXPECT_TRUE(setup_flag(r, FrontAntilock));
    EXPECT_FALSE(setup_flag(r, AutoShift));
    EXPECT_FALSE(setup_arcade(r));
    EXPECT_FLOAT_EQ(r.sprocket_ratio, 48.0f / 13.0f);
}

TEST_F(SetupTest, ValuesAreClampedToTheirRanges) {
    Rider& r = make();
    struct Case {
        SetupValue value;
        float asked, stored;
    };
    const Case cases[] = {
        {Leveling, 150, 100},           {Leveling, -5, 0},
        {RollLimitFactor, 65, 64},      {RollLimitAngle, 4, static_cast<float>(k_pi)},
        {MaxSteeringForce, 2000, 1000}, {DirectSteering, 0.5f, 0.5f},
        {SlowDampingFactor, 0, 1},      {LandDampingFalloff, 0.75f, 0.5f},
        {LandDampingFactor, 5, 3},      {AutoClutchRpm, 9000, 5000},
        {RearBrakeTorque, -1, 0},       {MaxDabSpeed, 6.9f, 7},
        {FullLockSpeed, 0, 1},          {RestrictedLockAngle, 1, static_cast<float>(k_pi / 4)},
        {SteeringDamping, NAN, 0},
    };
    for (const Case& c : cases) {
        setup_set_value(r, c.value, c.asked);
        EXPECT_FLOAT_EQ(setup_get_value(r, c.value), c.stored) << "value " << c.value << " asked " << c.asked;
    }
}

TEST_F(SetupTest, SuspensionGroupsClampToTheBases) {
    Rider& r = make();
    const BikeInfo& b = r.bike;
    setup_set_fork(r, SuspensionAdjust{10, -3, 0.1f, 2, 2, -1, 5});
    EXPECT_FLOAT_EQ(r.setup.fork_hs_compression_damping, 4 * b.fork_hs_compression);
    EXPECT_FLOAT_EQ(r.setup.fork_ls_compression_damping, -b.fork_ls_compression);
    EXPECT_FLOAT_EQ(r.setup.fork_hs_rebound_damping, 0.25f * b.fork_hs_rebound);
    EXPECT_FLOAT_EQ(r.setup.fork_ls_rebound_damping, b.fork_ls_rebound);
    EXPECT_FLOAT_EQ(r.setup.fork_spring_rate, b.fork_spring_stiff);
    EXPECT_FLOAT_EQ(r.setup.fork_preload, b.fork_preload_min);
    EXPECT_FLOAT_EQ(r.setup.fork_air_gap, b.fork_air_gap_max_oil);
    setup_set_shock(r, SuspensionAdjust{0, 0.5f, 4, -0.5f, 0, 1, 0});
    EXPECT_FLOAT_EQ(r.setup.shock_hs_compression_damping, 0.25f * b.shock_hs_compression);
    EXPECT_FLOAT_EQ(r.setup.shock_ls_compression_damping, 0.5f * b.shock_ls_compression);
    EXPECT_FLOAT_EQ(r.setup.shock_ls_rebound_damping, -0.5f * b.shock_ls_rebound);
    EXPECT_FLOAT_EQ(r.setup.shock_spring_rate, b.shock_spring_soft);
    EXPECT_FLOAT_EQ(r.setup.shock_preload, b.shock_preload_max);
    setup_set_rider_vertical(r, 2, -1);
    EXPECT_FLOAT_EQ(r.setup.rider_vertical_spring, 1);
    EXPECT_FLOAT_EQ(r.setup.rider_vertical_damping, 0);
}

TEST_F(SetupTest, SprocketsCountWholeTeethAndNeverFewerThanThree) {
    Rider& small = make("rs50yz"); // 12/55
    setup_set_sprockets(small, -2, 0);
    EXPECT_FLOAT_EQ(small.sprocket_ratio, 55.0f / 10.0f);
    setup_set_sprockets(small, -5, 7); // clamped to -2 and +2
    EXPECT_FLOAT_EQ(small.sprocket_ratio, 57.0f / 10.0f);
    setup_set_sprockets(small, -0.5f, 0.5f); // 11.5 and 55.5 teeth count as 11 and 55
    EXPECT_FLOAT_EQ(small.sprocket_ratio, 55.0f / 11.0f);
    small.bike.front_sprocket = 4; // the rider's own copy: a hypothetical tiny countershaft
    setup_set_sprockets(small, -2, 0);
    EXPECT_FLOAT_EQ(small.sprocket_ratio, 55.0f / 3.0f);
}

TEST_F(SetupTest, GearStaysWithinTheGearsTheModelHas) {
    Rider& five = make("450sxf(2016)");
    Rider& six = make("250sxf(2013)");
    struct Case {
        Rider* rider;
        int asked, gear;
    };
    const Case cases[] = {{&five, 5, 4}, {&five, 4, 4}, {&five, -1, 0},
                          {&six, 5, 5},  {&six, 9, 5},  {&five, 2, 2}};
    for (const Case& c : cases) {
        rider_set_gear(*c.rider, c.asked);
        EXPECT_EQ(c.rider->gear, c.gear) << c.rider->bike.name << " asked " << c.asked;
    }
}

TEST_F(SetupTest, MassShareRemassesFrameAndRiderBody) {
    Rider& r = make();
    EXPECT_NEAR(r.total_mass, 13.95875, 1e-5);
    EXPECT_NEAR(body_mass(r, BodyFrame), 4.735 + 3.645833, 1e-5);
    EXPECT_NEAR(body_mass(r, BodyRider), 1.822917, 1e-5);
    setup_set_mass_share(r, 0.5f);
    EXPECT_NEAR(body_mass(r, BodyFrame), 4.735 + 2.734375, 1e-5);
    EXPECT_NEAR(body_mass(r, BodyRider), 2.734375, 1e-5);
    EXPECT_NEAR(r.total_mass, 13.95875, 1e-5);
    setup_set_mass_share(r, 0.9f);
    EXPECT_FLOAT_EQ(r.setup.rider_mass_share, 0.5f);
    setup_set_mass_share(r, 0.1f);
    EXPECT_FLOAT_EQ(r.setup.rider_mass_share, 0.33f);
}

TEST_F(SetupTest, ApplyIsRefusedWhileMovingAndSaysSoTheSecondTime) {
    Rider& r = make();
    SetupMenu menu;
    menu.leveling = 77;
    dBodySetLinearVel(rider_frame(r), 0, 0, 0.2);
    EXPECT_FALSE(apply_setup(r, menu));
    EXPECT_STREQ(message_line(0), "");
    EXPECT_FLOAT_EQ(r.setup.leveling, 20);
    EXPECT_FALSE(apply_setup(r, menu));
    EXPECT_STREQ(message_line(0), "Settings not applied.  Mechanic can't keep up error.");
    EXPECT_FLOAT_EQ(r.setup.leveling, 20);
    dBodySetLinearVel(rider_frame(r), 0, 0.1, 0);
    EXPECT_TRUE(apply_setup(r, menu));
    EXPECT_FLOAT_EQ(r.setup.leveling, 77);
}

TEST_F(SetupTest, MenuDefaultsAndConversions) {
    Rider& r = make();
    SetupMenu menu;
    ASSERT_TRUE(apply_setup(r, menu));
    const BikeInfo& b = r.bike;
    EXPECT_FLOAT_EQ(r.setup.fork_hs_compression_damping, b.fork_hs_compression); // 2^(0.04*50-2) = 1
    EXPECT_FLOAT_EQ(r.setup.fork_ls_compression_damping, 0);
    EXPECT_NEAR(r.setup.max_dab_speed, 29.3333, 1e-3);
    EXPECT_NEAR(r.setup.restricted_lock_angle, 7.5 * k_pi / 180, 1e-6);
    EXPECT_NEAR(r.setup.roll_limit_angle, k_pi / 4, 1e-6);
    EXPECT_EQ(setup_stop_wheelies(r), StopWheeliesOff);
    EXPECT_TRUE(setup_flag(r, AutoShift));
    EXPECT_TRUE(setup_flag(r, DabWhenStopped));
    EXPECT_FALSE(setup_flag(r, RearAntilock));
    EXPECT_TRUE(setup_arcade(r));
    EXPECT_FLOAT_EQ(r.setup.rider_mass_share, 0.33f);

    menu.fork_compression_adjustment = 100; // 2^2
    menu.shock_slow_rebound_adjustment = 0; // -1
    menu.max_dab_speed = 5;                 // 7.33 ft/s is allowed
    menu.stop_wheelies = 1;
    menu.roll_limit_angle = 400; // a hand-edited file: clamped to pi
    g_loop.server_in_use = true; // arcade is off while a server is in use
    ASSERT_TRUE(apply_setup(r, menu));
    EXPECT_FLOAT_EQ(r.setup.fork_hs_compression_damping, 4 * b.fork_hs_compression);
    EXPECT_FLOAT_EQ(r.setup.shock_ls_rebound_damping, -b.shock_ls_rebound);
    EXPECT_NEAR(r.setup.max_dab_speed, 7.3333, 1e-3);
    EXPECT_EQ(setup_stop_wheelies(r), StopWheeliesBoth);
    EXPECT_FLOAT_EQ(r.setup.roll_limit_angle, static_cast<float>(k_pi));
    EXPECT_FALSE(setup_arcade(r));
    menu.max_dab_speed = 4; // below the menu's range: raised to 7 ft/s
    ASSERT_TRUE(apply_setup(r, menu));
    EXPECT_FLOAT_EQ(r.setup.max_dab_speed, 7);
}

} // namespace
