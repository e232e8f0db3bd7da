#pragma once
// Riding tests: the contact fixture's flat ground, with the nine control inputs applied each tick as
// the local rider's input step does, and a few measures of the ridden bike.
#include <cmath>
#include <functional>

#include "contact_fixture.h"
#include "core/settings.h"
#include "sim/control.h"
#include "sim/engine.h"

struct DriveTest : ContactTest {
    float in[ControlCount] = {};
    Settings saved_settings = g_settings;

    void SetUp() override {
        ContactTest::SetUp();
        g_settings.reverse_steering = ChoiceYes; // the Left control (+1) turns left
        g_settings.sticky_dab = ChoiceNo;
        local_controls_reset();
    }
    void TearDown() override {
        ContactTest::TearDown();
        g_settings = saved_settings;
        local_controls_reset();
    }

    // A rider of the model on the flat ground, optionally rolling forwards (-z) at a speed with its
    // wheels turning to match.
    Rider& start(const char* model, double speed = 0) {
        Rider& r = place(80, 140, model);
        if (speed != 0) roll(r, speed);
        return r;
    }
    // Sets the rider rolling forwards (-z) at a speed with its wheels turning to match.
    static void roll(Rider& r, double speed) {
        for (dBodyID body : r.bodies) dBodySetLinearVel(body, 0, 0, -speed);
        const WheelRecord* wheels[2] = {&r.front_wheel, &r.rear_wheel};
        for (const WheelRecord* w : wheels) dBodySetAngularVel(w->body, -speed / (w->ring_radius + w->tube_radius), 0, 0);
    }
    // Removes a rider made by start before the end of the test.
    void discard(Rider& r) {
        g_slots[size_t(r.slot - 1)].rider = nullptr;
        for (size_t i = 0; i < riders.size(); ++i)
            if (riders[i] == &r) riders.erase(riders.begin() + long(i));
        rider_destroy(&r);
    }
    // Ticks with the present inputs; each(tick) runs after every rider step.
    void drive(Rider& r, int ticks, const std::function<void(int)>& each = {}) {
        for (int i = 0; i < ticks; ++i) {
            rider_apply_inputs(r, in);
            world_contacts(nullptr, 0);
            world_step();
            rider_step(r);
            ++g_race.clock;
            if (each) each(i);
        }
    }
    static double position_z(const Rider& r) { return dBodyGetPosition(r.bodies[BodyFrame])[2]; }
    static double horizontal_travel(const Rider& r, const double from[3]) {
        const dReal* p = dBodyGetPosition(r.bodies[BodyFrame]);
        return std::hypot(p[0] - from[0], p[2] - from[2]);
    }
    // Heading of the frame's forward axis: 0 towards -z, positive turned left (towards -x).
    static double heading(const Rider& r) {
        dVector3 f;
        dBodyVectorToWorld(r.bodies[BodyFrame], 0, 0, -1, f);
        return std::atan2(-f[0], -f[2]);
    }
    // The speed at which the engine's open-throttle curve reaches zero in a gear (ft/s).
    static double rev_limited_speed(const Rider& r, int gear) {
        const BikeInfo& b = r.bike;
        int peak = 0;
        for (int i = 0; i < k_torque_points; ++i)
            if (b.open_throttle_torque[i] > b.open_throttle_torque[peak]) peak = i;
        double zero_rpm = 500.0 * (k_torque_points - 1);
        for (int i = peak; i + 1 < k_torque_points; ++i)
            if (b.open_throttle_torque[i + 1] <= 0) {
                double a = b.open_throttle_torque[i], c = b.open_throttle_torque[i + 1];
                zero_rpm = 500.0 * (i + a / (a - c));
                break;
            }
        double n = b.gear_ratios[gear] * b.primary_ratio * r.sprocket_ratio;
        return zero_rpm / k_rpm_per_rad_s / n * (b.rear_tyre_ring_radius + b.rear_tyre_tube_radius);
    }
};
