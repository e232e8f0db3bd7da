// The engine and drivetrain by outcome on flat ground: the idle, the clutch, the launch, top speed by
// gearing, braking with antilock, and manual and automatic shifting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "drive_fixture.h"

namespace {

const char* first_model_of_class(const char* bike_class) {
    for (int i = 0; i < k_bike_count; ++i)
        if (strcmp(bike_info_at(i).bike_class, bike_class) == 0) return bike_info_at(i).name;
    return nullptr;
}

const char* five_speed_model() {
    for (int i = 0; i < k_bike_count; ++i)
        if (bike_top_gear(bike_info_at(i)) == 4) return bike_info_at(i).name;
    return nullptr;
}

TEST_F(DriveTest, ShiftChangesOneGearPerPressAndStopsAtTheTopGear) {
    Rider& r = make();
    int top = bike_top_gear(r.bike);
    struct Press {
        float value;
        int hold_ticks;
        int gear_after;
    } presses[] = {{1, 10, 1}, {0, 3, 1}, {1, 1, 2}, {0, 1, 2}, {-1, 5, 1}, {1, 1, 2}, {-1, 1, 1}, {-1, 1, 1}};
    for (const Press& p : presses) {
        for (int i = 0; i < p.hold_ticks; ++i) rider_set_input(r, Shift, p.value);
        EXPECT_EQ(r.gear, p.gear_after) << "after " << p.value << " held " << p.hold_ticks;
    }
    // Out-of-range or invalid controls are ignored.
    rider_set_input(r, Shift, 0);
    shift(r, 2);
    shift(r, NAN);
    EXPECT_EQ(r.gear, 1);
    // Pressing past the top gear stays there.
    for (int i = 0; i < 8; ++i) {
        rider_set_input(r, Shift, 1);
        rider_set_input(r, Shift, 0);
    }
    EXPECT_EQ(r.gear, top);
    // A crashed rider's gearbox does not move.
    r.crash_counter = 5;
    rider_set_input(r, Shift, -1);
    EXPECT_EQ(r.gear, top);
}

TEST_F(DriveTest, FiveSpeedModelStaysInItsTopGear) {
    const char* model = five_speed_model();
    ASSERT_NE(model, nullptr);
    Rider& r = make(model);
    rider_set_gear(r, 4);
    rider_set_input(r, Shift, 1);
    EXPECT_EQ(r.gear, 4);
}

TEST_F(DriveTest, TorqueBlendsTheCurvesByThrottle) {
    Rider& r = make("450sxf(2016)");
    r.engine_speed = static_cast<float>(7500 / k_rpm_per_rad_s);
    r.throttle = 0.5f;
    EXPECT_NEAR(engine_torque(r), 15.1025, 0.01);
    r.throttle = 0;
    EXPECT_NEAR(engine_torque(r), -6, 0.01);
    // Below the idle the closed-throttle torque is positive: the engine never stalls.
    r.engine_speed = static_cast<float>(600 / k_rpm_per_rad_s);
    EXPECT_GT(engine_torque(r), 0);
    // A speed beyond the table reads its last entry; none gives a number that is not finite.
    r.engine_speed = 1e9f;
    EXPECT_TRUE(std::isfinite(engine_torque(r)));
}

// The driveline torque reaching the rear wheel for a windup and an engine speed, with the wheel turning
// at the engine's speed (so only the windup acts). Leaves the crank where the step put it.
double wheel_drive_torque(Rider& r, double rpm, float clutch, double windup) {
    r.clutch = clutch;
    r.engine_speed = static_cast<float>(rpm / k_rpm_per_rad_s);
    double wheel_rate = r.engine_speed / drivetrain_reduction(r);
    dBodySetAngularVel(r.bodies[BodyRearWheel], -wheel_rate, 0, 0);
    for (dBodyID body : r.bodies) dBodySetTorque(body, 0, 0, 0);
    r.crank_angle = static_cast<float>(rider_wheel_angle(r, false) + windup);
    drivetrain_update(r);
    return -dBodyGetTorque(r.bodies[BodyRearWheel])[0];
}

TEST_F(DriveTest, ClutchAndAutomaticClutchLimitTheDrive) {
    Rider& r = make();
    double base = r.setup.auto_clutch_rpm;
    double full = wheel_drive_torque(r, base + 3000, 1, 0.3);
    ASSERT_GT(full, 0);
    struct Case {
        double rpm_above_auto;
        float clutch;
        double windup;
        double share_low, share_high; // of the full drive torque
        double crank_limit;           // the windup the crank is held to
    } cases[] = {
        {0, 1, 0.3, 0, 0, 0},                       // at the automatic clutch rpm: no drive at all
        {1000, 1, 0.3, 0.2, 0.2501, 0.5 * 0.7853982}, // half engaged: a quarter of the torque
        {3000, 0, 0.3, 0, 0, 0},                    // lever pulled: nothing, crank held at the wheel
        {3000, 0.5f, 0.3, 0.2, 0.2501, 0.5 * 0.7853982},
        {0, 1, -0.3, -1.05, -0.95, 0.3}, // engine braking passes the automatic clutch
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rpm +" << c.rpm_above_auto << " clutch " << c.clutch << " windup " << c.windup);
        double t = wheel_drive_torque(r, base + c.rpm_above_auto, c.clutch, c.windup);
        EXPECT_GE(t, c.share_low * full - 1e-6);
        EXPECT_LE(t, c.share_high * full + 1e-6);
        // The crank was held within the limit, then turned on by the tick's engine motion.
        double advance = k_tick_length * r.engine_speed / drivetrain_reduction(r);
        double held = std::remainder(r.crank_angle - advance - rider_wheel_angle(r, false), 2 * 3.14159265358979);
        EXPECT_LE(std::fabs(held), c.crank_limit + 0.01);
    }
}

TEST_F(DriveTest, ClosedThrottleIdlesAtFifteenHundredRpm) {
    for (const char* model : {"450sxf(2016)", first_model_of_class("125")}) {
        SCOPED_TRACE(model);
        Rider& r = start(model);
        drive(r, 5 * 128);
        EXPECT_NEAR(rider_engine_rpm(r), 1500, 50);
        EXPECT_LT(rider_speed(r), 0.5);
        discard(r);
    }
}

TEST_F(DriveTest, PulledClutchLeavesTheWheelUndriven) {
    Rider& r = start("450sxf(2016)");
    in[Clutch] = 1;
    drive(r, 32); // the lever pulled before the throttle opens
    in[Throttle] = 1;
    double z0 = position_z(r);
    drive(r, 2 * 128);
    EXPECT_GT(rider_engine_rpm(r), 5000);
    EXPECT_LT(std::fabs(position_z(r) - z0), 0.25);
}

TEST_F(DriveTest, LaunchInFirstGearGainsSpeedSteadilyWithinTheRevs) {
    Rider& r = start("450sxf(2016)");
    setup_set_flag(r, AutoShift, false);
    drive(r, 64);
    in[Throttle] = 1;
    double limit_rpm = rev_limited_speed(r, 0) / (r.bike.rear_tyre_ring_radius + r.bike.rear_tyre_tube_radius) *
                       drivetrain_reduction(r) * k_rpm_per_rad_s;
    double max_rpm = 0, last_speed = 0;
    int falls = 0;
    for (int step = 0; step < 16; ++step) {
        drive(r, 16, [&](int) { max_rpm = std::max(max_rpm, rider_engine_rpm(r)); });
        double v = rider_speed(r);
        if (step >= 2 && v <= last_speed) ++falls; // once the clutch has taken up the drive
        last_speed = v;
    }
    EXPECT_EQ(falls, 0);
    EXPECT_GT(last_speed, 25);
    EXPECT_LE(max_rpm, limit_rpm + 100);
    EXPECT_EQ(r.gear, 0);
}

TEST_F(DriveTest, WheelieLimiterCutsTheDriveWhileTheFrontIsUp) {
    Rider& r = make();
    r.engine_speed = static_cast<float>(8000 / k_rpm_per_rad_s);
    r.throttle = 1;
    struct Case {
        int mode;
        bool front_down, rear_down;
        double pitch_rate; // about the frame's x axis; negative: the nose is coming down
        bool drive;
    } cases[] = {
        {StopWheeliesBoth, false, true, 0, false},      // wheelie: cut
        {StopWheeliesBoth, false, true, -0.5, true},    // already coming down: drive stays
        {StopWheeliesBoth, true, true, 0, true},        // both wheels down
        {StopWheeliesBoth, false, false, 0, true},      // in the air
        {StopWheeliesFrontOnly, false, true, 0, true},  // the front-only mode does not cut the engine
        {StopWheeliesOff, false, true, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " front " << c.front_down << " rear " << c.rear_down);
        setup_set_stop_wheelies(r, c.mode);
        r.front_wheel.depth = c.front_down ? 0.05f : 0;
        r.rear_wheel.depth = c.rear_down ? 0.05f : 0;
        dBodySetAngularVel(r.bodies[BodyFrame], c.pitch_rate, 0, 0);
        if (c.drive)
            EXPECT_GT(engine_torque(r), 10);
        else
            EXPECT_LE(engine_torque(r), 0);
    }
    // Engine braking is never cut.
    r.throttle = 0;
    setup_set_stop_wheelies(r, StopWheeliesBoth);
    r.front_wheel.depth = 0;
    r.rear_wheel.depth = 0.05f;
    dBodySetAngularVel(r.bodies[BodyFrame], 0, 0, 0);
    EXPECT_LT(engine_torque(r), 0);
}

TEST_F(DriveTest, AutomaticShiftingChangesAtTheCataloguesRpmAndNotInWheelspin) {
    Rider& r = start("450sxf(2016)");
    setup_set_flag(r, AutoShift, true);
    in[Throttle] = 1;
    int upshifts = 0;
    int gear = r.gear;
    drive(r, 10 * 128, [&](int) {
        if (r.gear == gear) return;
        ASSERT_EQ(r.gear, gear + 1);
        ASSERT_FALSE(rider_wheel_touching(r.rear_wheel) && double(std::hypot(r.rear_wheel.contact_velocity[0], r.rear_wheel.contact_velocity[2])) > 2)
            << "upshift while the rear wheel spins";
        // The wheel's engine-equivalent speed in the old gear passed the upshift mark.
        double n_old = r.bike.gear_ratios[gear] * r.bike.primary_ratio * r.sprocket_ratio;
        double wheel_rpm = n_old * dJointGetHingeAngleRate(r.joints[JointRearAxle]) * k_rpm_per_rad_s;
        EXPECT_GT(wheel_rpm, r.bike.auto_upshift_rpm);
        EXPECT_LT(wheel_rpm, r.bike.auto_upshift_rpm + 2500);
        ++upshifts;
        gear = r.gear;
    });
    EXPECT_GE(upshifts, 2);
    // Rolling out with the throttle closed and the brakes on, it changes back down below the mark.
    in[Throttle] = 0;
    in[RearBrake] = 0.5f;
    int downshifts = 0;
    drive(r, 8 * 128, [&](int) {
        if (r.gear >= gear) return;
        double n_old = r.bike.gear_ratios[gear] * r.bike.primary_ratio * r.sprocket_ratio;
        double wheel_rpm = n_old * dJointGetHingeAngleRate(r.joints[JointRearAxle]) * k_rpm_per_rad_s;
        EXPECT_LT(wheel_rpm, r.bike.auto_downshift_rpm);
        ++downshifts;
        gear = r.gear;
    });
    EXPECT_GE(downshifts, 1);
}

TEST_F(DriveTest, TopSpeedFollowsTheGearing) {
    double top[2];
    for (int g = 3; g <= 4; ++g) {
        Rider& r = start("450sxf(2016)");
        setup_set_flag(r, AutoShift, false);
        rider_set_gear(r, g);
        double expected = rev_limited_speed(r, g);
        for (dBodyID body : r.bodies) dBodySetLinearVel(body, 0, 0, -0.9 * expected);
        for (const WheelRecord* w : {&r.front_wheel, &r.rear_wheel})
            dBodySetAngularVel(w->body, -0.9 * expected / (w->ring_radius + w->tube_radius), 0, 0);
        r.engine_speed = static_cast<float>(0.9 * expected / (r.bike.rear_tyre_ring_radius + r.bike.rear_tyre_tube_radius) *
                                            drivetrain_reduction(r));
        in[Throttle] = 1;
        drive(r, 6 * 128);
        top[g - 3] = rider_speed(r);
        in[Throttle] = 0;
        EXPECT_NEAR(top[g - 3], expected, 0.05 * expected) << "gear " << g + 1;
        discard(r);
    }
    const BikeInfo& b = bike_info_find("450sxf(2016)");
    EXPECT_NEAR(top[0] / top[1], b.gear_ratios[4] / b.gear_ratios[3], 0.02 * b.gear_ratios[4] / b.gear_ratios[3]);
}

int sliding_ticks(const WheelRecord& w) {
    return rider_wheel_touching(w) && std::hypot(w.contact_velocity[0], w.contact_velocity[2]) > 2 ? 1 : 0;
}

TEST_F(DriveTest, BrakingStopsWithinGripAndAntilockKeepsTheWheelsRolling) {
    double rear_share[2] = {0, 0}; // share of the braking ticks the rear wheel slides, by antilock
    for (bool antilock : {false, true}) {
        SCOPED_TRACE(antilock ? "antilock" : "no antilock");
        Rider& r = start("450sxf(2016)", 88);
        setup_set_flag(r, FrontAntilock, antilock);
        setup_set_flag(r, RearAntilock, antilock);
        in[Clutch] = 1;
        in[FrontBrake] = 1;
        in[RearBrake] = 1;
        int ticks = 0, front_sliding = 0, rear_sliding = 0;
        drive(r, 10 * 128, [&](int i) {
            if (rider_speed(r) < 1) return;
            ticks = i + 1;
            front_sliding += sliding_ticks(r.front_wheel);
            rear_sliding += sliding_ticks(r.rear_wheel);
        });
        EXPECT_LT(rider_speed(r), 1);
        double mean_decel = 88.0 / (ticks * k_tick_length);
        EXPECT_LE(mean_decel, 32 * 1.05); // no more than the grip of a friction of 1 allows
        EXPECT_GT(mean_decel, 16);
        // The loaded front wheel keeps rolling: under 2 ft/s at its contact in nearly every tick.
        if (antilock) {
            EXPECT_LT(front_sliding, ticks / 50);
        }
        rear_share[antilock] = double(rear_sliding) / ticks;
        discard(r);
    }
    // The rear, unloaded as the bike pitches forward, locks; antilock releases it.
    EXPECT_GT(rear_share[0], 0.75);
    EXPECT_LT(rear_share[1], rear_share[0] - 0.15);
}

} // namespace
