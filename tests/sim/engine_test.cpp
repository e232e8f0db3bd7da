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

TEST_F(DriveTest, BrakingStopsWithinGripAndAntilockKeepsTheFrontRolling) {
    Rider& r = start("450sxf(2016)", 88);
    setup_set_flag(r, FrontAntilock, true);
    in[Clutch] = 1;
    in[FrontBrake] = 1;
    in[RearBrake] = 1;
    double from[3];
    memcpy(from, dBodyGetPosition(r.bodies[BodyFrame]), sizeof from);
    double max_slip = 0, v_prev = rider_speed(r), max_decel = 0;
    int ticks = 0;
    drive(r, 10 * 128, [&](int i) {
        double v = rider_speed(r);
        if (v < 1) return;
        ticks = i + 1;
        max_decel = std::max(max_decel, (v_prev - v) * 128);
        v_prev = v;
        if (i >= 16 && rider_wheel_touching(r.front_wheel))
            max_slip = std::max(max_slip, double(std::hypot(r.front_wheel.contact_velocity[0], r.front_wheel.contact_velocity[2])));
    });
    EXPECT_LT(rider_speed(r), 1);
    double mean_decel = 88.0 / (ticks * k_tick_length);
    EXPECT_LE(mean_decel, 32 * 1.05);
    EXPECT_GT(mean_decel, 8);
    EXPECT_LT(max_slip, 2 * 1.5);
    (void)max_decel;
}

} // namespace
