#include "sim/setup.h"

#include <algorithm>
#include <cmath>

#include "core/main_loop.h"
#include "core/messages.h"
#include "platform/clock.h"
#include "sim/rider_body.h"

SetupMenu g_setup_menu{};

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr float k_refuse_speed = 0.125f;
constexpr double k_refuse_message_window = 10; // seconds

struct ValueSlot {
    float RiderSetup::*field;
    SetupRange range;
};

constexpr ValueSlot k_values[SetupValueCount] = {
    {&RiderSetup::leveling, {0, 100}},
    {&RiderSetup::roll_damping, {0, 100}},
    {&RiderSetup::roll_limit_factor, {0, 64}},
    {&RiderSetup::roll_limit_angle, {0, static_cast<float>(k_pi)}},
    {&RiderSetup::steering_damping, {0, 100}},
    {&RiderSetup::steering_strength, {0, 100}},
    {&RiderSetup::max_steering_force, {0, 1000}},
    {&RiderSetup::direct_steering, {0, 1}},
    {&RiderSetup::slow_damping_speed, {0, 100}},
    {&RiderSetup::slow_damping_factor, {1, 10}},
    {&RiderSetup::land_damping_falloff, {0, 0.5f}},
    {&RiderSetup::land_damping_factor, {1, 3}},
    {&RiderSetup::auto_clutch_rpm, {0, 5000}},
    {&RiderSetup::front_brake_torque, {0, 500}},
    {&RiderSetup::rear_brake_torque, {0, 500}},
    {&RiderSetup::max_dab_speed, {7, 100}},
    {&RiderSetup::full_lock_speed, {1, 100}},
    {&RiderSetup::restricted_lock_speed, {1, 100}},
    {&RiderSetup::restricted_lock_angle, {0, static_cast<float>(k_pi / 4)}},
};

// A NaN from a hand-edited file lands on the low end rather than slipping through the clamp.
float clampf(float v, float lo, float hi) {
    if (!(v >= lo)) return lo;
    return v > hi ? hi : v;
}

float within(float lo, float hi, float s) {
    return lo + clampf(s, 0, 1) * (hi - lo);
}

double g_last_refusal = -1e300; // wall-clock seconds of the last refused apply_setup

} // namespace

SetupRange setup_value_range(SetupValue value) {
    return k_values[value].range;
}

void setup_set_value(Rider& rider, SetupValue value, float v) {
    if (value < 0 || value >= SetupValueCount) return;
    const ValueSlot& slot = k_values[value];
    rider.setup.*slot.field = clampf(v, slot.range.low, slot.range.high);
}

float setup_get_value(const Rider& rider, SetupValue value) {
    if (value < 0 || value >= SetupValueCount) return 0;
    return rider.setup.*k_values[value].field;
}

void setup_set_flag(Rider& rider, SetupFlag flag, bool on) {
    if (on)
        rider.setup.flags = static_cast<uint8_t>(rider.setup.flags | flag);
    else
        rider.setup.flags = static_cast<uint8_t>(rider.setup.flags & ~flag);
}

bool setup_flag(const Rider& rider, SetupFlag flag) {
    return (rider.setup.flags & flag) != 0;
}

void setup_set_stop_wheelies(Rider& rider, int mode) {
    if (mode != StopWheeliesFrontOnly && mode != StopWheeliesBoth) mode = StopWheeliesOff;
    rider.setup.flags = static_cast<uint8_t>((rider.setup.flags & ~0x06) | (mode << 1));
}

int setup_stop_wheelies(const Rider& rider) {
    return (rider.setup.flags >> 1) & 3;
}

void setup_set_arcade(Rider& rider, bool on) {
    rider.setup.flags2 = static_cast<uint8_t>(on ? (rider.setup.flags2 | 1) : (rider.setup.flags2 & ~1));
}

bool setup_arcade(const Rider& rider) {
    return (rider.setup.flags2 & 1) != 0;
}

void setup_set_fork(Rider& rider, const SuspensionAdjust& a) {
    const BikeInfo& b = rider.bike;
    RiderSetup& s = rider.setup;
    s.fork_hs_compression_damping = b.fork_hs_compression * clampf(a.hs_compression, 0.25f, 4);
    s.fork_ls_compression_damping = b.fork_ls_compression * clampf(a.ls_compression, -1, 1);
    s.fork_hs_rebound_damping = b.fork_hs_rebound * clampf(a.hs_rebound, 0.25f, 4);
    s.fork_ls_rebound_damping = b.fork_ls_rebound * clampf(a.ls_rebound, -1, 1);
    s.fork_spring_rate = within(b.fork_spring_soft, b.fork_spring_stiff, a.spring);
    s.fork_preload = within(b.fork_preload_min, b.fork_preload_max, a.preload);
    s.fork_air_gap = within(b.fork_air_gap_min_oil, b.fork_air_gap_max_oil, a.air_gap);
}

void setup_set_shock(Rider& rider, const SuspensionAdjust& a) {
    const BikeInfo& b = rider.bike;
    RiderSetup& s = rider.setup;
    s.shock_hs_compression_damping = b.shock_hs_compression * clampf(a.hs_compression, 0.25f, 4);
    s.shock_ls_compression_damping = b.shock_ls_compression * clampf(a.ls_compression, -1, 1);
    s.shock_hs_rebound_damping = b.shock_hs_rebound * clampf(a.hs_rebound, 0.25f, 4);
    s.shock_ls_rebound_damping = b.shock_ls_rebound * clampf(a.ls_rebound, -1, 1);
    s.shock_spring_rate = within(b.shock_spring_soft, b.shock_spring_stiff, a.spring);
    s.shock_preload = within(b.shock_preload_min, b.shock_preload_max, a.preload);
}

void setup_set_rider_vertical(Rider& rider, float spring, float damping) {
    rider.setup.rider_vertical_spring = clampf(spring, 0, 1);
    rider.setup.rider_vertical_damping = clampf(damping, 0, 1);
}

void setup_set_rider_forward(Rider& rider, float spring, float damping) {
    rider.setup.rider_forward_spring = clampf(spring, 0, 1);
    rider.setup.rider_forward_damping = clampf(damping, 0, 1);
    rider_body_soften_hinge(rider);
}

void setup_set_mass_share(Rider& rider, float share) {
    rider.setup.rider_mass_share = clampf(share, 0.33f, 0.5f);
    rider_body_set_masses(rider);
}

void setup_set_sprockets(Rider& rider, float front_adjust, float rear_adjust) {
    RiderSetup& s = rider.setup;
    s.front_sprocket_adjust = clampf(front_adjust, -2, 2);
    s.rear_sprocket_adjust = clampf(rear_adjust, -2, 2);
    double front =
        std::max(3.0, std::floor(static_cast<double>(rider.bike.front_sprocket) + s.front_sprocket_adjust));
    double rear =
        std::max(3.0, std::floor(static_cast<double>(rider.bike.rear_sprocket) + s.rear_sprocket_adjust));
    rider.sprocket_ratio = static_cast<float>(rear / front);
}

void setup_creation_values(Rider& rider) {
    setup_set_fork(rider, SuspensionAdjust{1, 0, 1, 0, 0.5f, 0.5f, 0});
    setup_set_shock(rider, SuspensionAdjust{1, 0, 1, 0, 0.5f, 0.5f, 0});
    setup_set_rider_vertical(rider, 0.5f, 0.5f);
    setup_set_rider_forward(rider, 0.5f, 0.5f);
    setup_set_mass_share(rider, 1.0f / 3.0f);
    setup_set_sprockets(rider, 0, 0);
    static constexpr float values[SetupValueCount] = {
        20, 60, 10,        static_cast<float>(k_pi / 4), 45, 75, 400, 1, 0, 1, 0.25f, 2, 5000, 250, 250, 30,
        10, 50, 0.0872665f};
    for (int v = 0; v < SetupValueCount; ++v)
        setup_set_value(rider, static_cast<SetupValue>(v), values[v]);
    rider.setup.flags = 141; // front-only wheelie stop, front antilock, realign; bit 0 as it always was
    rider.setup.flags2 = 0;
}

bool apply_setup(Rider& rider, const SetupMenu& m) {
    if (rider_speed(rider) > k_refuse_speed) {
        double now = clock_seconds();
        if (now - g_last_refusal < k_refuse_message_window)
            add_message("Settings not applied.  Mechanic can't keep up error.");
        g_last_refusal = now;
        return false;
    }
    const float deg = static_cast<float>(k_pi / 180);
    setup_set_value(rider, Leveling, m.leveling);
    setup_set_value(rider, RollDamping, m.roll_damping);
    setup_set_value(rider, RollLimitAngle, m.roll_limit_angle * deg);
    setup_set_value(rider, RollLimitFactor, m.roll_limit_factor);
    setup_set_value(rider, SteeringDamping, m.steering_damping);
    setup_set_value(rider, SteeringStrength, m.steering_strength);
    setup_set_value(rider, MaxSteeringForce, m.max_steering_force);
    setup_set_arcade(rider, m.arcade && !g_loop.server_in_use);
    setup_set_flag(rider, FrontAntilock, m.front_brake_antilock);
    setup_set_flag(rider, RearAntilock, m.rear_brake_antilock);
    setup_set_stop_wheelies(rider, m.stop_wheelies == 1   ? StopWheeliesBoth
                                   : m.stop_wheelies == 2 ? StopWheeliesFrontOnly
                                                          : StopWheeliesOff);
    setup_set_flag(rider, AutoShift, m.auto_shift);
    setup_set_flag(rider, DabWhenStopped, m.auto_dab);
    setup_set_flag(rider, RealignAfterFall, m.auto_align);
    setup_set_value(rider, DirectSteering, m.direct_steering);
    setup_set_value(rider, SlowDampingSpeed, m.slow_damping_speed);
    setup_set_value(rider, SlowDampingFactor, m.slow_damping_factor);
    setup_set_value(rider, LandDampingFalloff, m.land_damping_falloff);
    setup_set_value(rider, LandDampingFactor, m.land_damping_factor);
    setup_set_value(rider, FullLockSpeed, m.full_lock_speed);
    setup_set_value(rider, RestrictedLockSpeed, m.restricted_lock_speed);
    setup_set_value(rider, RestrictedLockAngle, m.restricted_lock * deg);
    setup_set_value(rider, AutoClutchRpm, m.auto_clutch_rpms);
    setup_set_value(rider, FrontBrakeTorque, m.brake_torque);
    setup_set_value(rider, RearBrakeTorque, m.rear_brake_torque);
    setup_set_value(rider, MaxDabSpeed, m.max_dab_speed * 1.466666666666666f);
    setup_set_sprockets(rider, m.front_sprocket_adjustment, m.rear_sprocket_adjustment);
    auto high_speed = [](float v) { return std::exp2(0.04f * v - 2); };
    auto low_speed = [](float v) { return 0.02f * v - 1; };
    setup_set_fork(
        rider,
        SuspensionAdjust{high_speed(m.fork_compression_adjustment),
                         low_speed(m.fork_slow_compression_adjustment), high_speed(m.fork_rebound_adjustment),
                         low_speed(m.fork_slow_rebound_adjustment), 0.01f * m.fork_spring_rate_adjustment,
                         0.01f * m.fork_preload_adjustment, 0.01f * m.fork_oil_level_adjustment});
    setup_set_shock(
        rider, SuspensionAdjust{
                   high_speed(m.shock_compression_adjustment), low_speed(m.shock_slow_compression_adjustment),
                   high_speed(m.shock_rebound_adjustment), low_speed(m.shock_slow_rebound_adjustment),
                   0.01f * m.shock_spring_rate_adjustment, 0.01f * m.shock_preload_adjustment, 0});
    setup_set_rider_vertical(rider, 0.01f * m.rider_yspring, 0.01f * m.rider_ydamping);
    setup_set_rider_forward(rider, 0.01f * m.rider_zspring, 0.01f * m.rider_zdamping);
    setup_set_mass_share(rider, m.rider_mass_distribution);
    return true;
}

void setup_reset_state() {
    g_last_refusal = -1e300;
}
