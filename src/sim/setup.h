#pragma once
// The rider's adjustable setup: setters that clamp every value to its range, the values a rider is
// created with, and apply_setup, which copies the player's menu settings into a standing rider.
#include "sim/rider.h"

// Scalar setup values with a plain range.
enum SetupValue {
    Leveling,            // 0..100
    RollDamping,         // 0..100
    RollLimitFactor,     // 0..64
    RollLimitAngle,      // 0..pi
    SteeringDamping,     // 0..100
    SteeringStrength,    // 0..100
    MaxSteeringForce,    // 0..1000
    DirectSteering,      // 0..1
    SlowDampingSpeed,    // 0..100
    SlowDampingFactor,   // 1..10
    LandDampingFalloff,  // 0..0.5
    LandDampingFactor,   // 1..3
    AutoClutchRpm,       // 0..5000
    FrontBrakeTorque,    // 0..500
    RearBrakeTorque,     // 0..500
    MaxDabSpeed,         // 7..100 ft/s
    FullLockSpeed,       // 1..100
    RestrictedLockSpeed, // 1..100
    RestrictedLockAngle, // 0..pi/4
    SetupValueCount
};

enum SetupFlag {
    FrontAntilock = 1 << 3,
    RearAntilock = 1 << 4,
    AutoShift = 1 << 5,
    DabWhenStopped = 1 << 6,
    RealignAfterFall = 1 << 7,
};

enum StopWheelies { StopWheeliesOff = 0, StopWheeliesFrontOnly = 2, StopWheeliesBoth = 3 };

// One suspension group's adjustment: damping as factors of the model's bases (high speed 0.25..4,
// low speed -1..1) and spring, preload and air gap as fractions s of their ranges (0..1). The shock
// has no air gap.
struct SuspensionAdjust {
    float hs_compression, ls_compression, hs_rebound, ls_rebound;
    float spring, preload, air_gap;
};

struct SetupRange {
    float low, high;
};
SetupRange setup_value_range(SetupValue value);

void setup_set_value(Rider& rider, SetupValue value, float v);
float setup_get_value(const Rider& rider, SetupValue value);
void setup_set_flag(Rider& rider, SetupFlag flag, bool on);
bool setup_flag(const Rider& rider, SetupFlag flag);
// Modes other than 0, 2 and 3 are taken as off.
void setup_set_stop_wheelies(Rider& rider, int mode);
int setup_stop_wheelies(const Rider& rider);
void setup_set_arcade(Rider& rider, bool on);
bool setup_arcade(const Rider& rider);

void setup_set_fork(Rider& rider, const SuspensionAdjust& adjust);
void setup_set_shock(Rider& rider, const SuspensionAdjust& adjust);
// Rider springs, each 0..1. The forward damping also softens the rider hinge at once.
void setup_set_rider_vertical(Rider& rider, float spring, float damping);
void setup_set_rider_forward(Rider& rider, float spring, float damping);
// Share of the rider's mass carried by the rider body (0.33..0.5); the rest rides in the frame.
// Re-masses both bodies and the total.
void setup_set_mass_share(Rider& rider, float share);
// Sprocket adjustments in teeth (-2..2, whole teeth counted); neither sprocket goes below 3 teeth.
void setup_set_sprockets(Rider& rider, float front_adjust, float rear_adjust);

// The setup every rider is created with.
void setup_creation_values(Rider& rider);

// The player's menu settings for the bike, by configuration key.
struct SetupMenu {
    float fork_compression_adjustment = 50, fork_slow_compression_adjustment = 50;
    float fork_rebound_adjustment = 50, fork_slow_rebound_adjustment = 50;
    float fork_spring_rate_adjustment = 50, fork_preload_adjustment = 50, fork_oil_level_adjustment = 50;
    float shock_compression_adjustment = 50, shock_slow_compression_adjustment = 50;
    float shock_rebound_adjustment = 50, shock_slow_rebound_adjustment = 50;
    float shock_spring_rate_adjustment = 50, shock_preload_adjustment = 50;
    float rider_yspring = 50, rider_ydamping = 50, rider_zspring = 50, rider_zdamping = 50;
    float rider_mass_distribution = 0.33f;
    float front_sprocket_adjustment = 0, rear_sprocket_adjustment = 0;
    float leveling = 20, roll_damping = 60, roll_limit_angle = 45, roll_limit_factor = 10;
    float steering_damping = 45, steering_strength = 75, max_steering_force = 400, direct_steering = 1;
    float slow_damping_speed = 40, slow_damping_factor = 2;
    float land_damping_falloff = 0.25f, land_damping_factor = 2;
    float full_lock_speed = 10, restricted_lock_speed = 50, restricted_lock = 7.5f; // degrees
    float auto_clutch_rpms = 5000, brake_torque = 250, rear_brake_torque = 250;
    float max_dab_speed = 20; // mph
    int stop_wheelies = 0;    // 0 "No", 1 "Yes", 2 "Front Only"
    bool front_brake_antilock = true, rear_brake_antilock = false;
    bool auto_shift = true, auto_dab = true, auto_align = true, arcade = true;
};

// The player's bike settings: the configuration is copied in when it is read (and when a setup file
// is loaded); the initialisers above are the catalogue's defaults, before any Stability level.
extern SetupMenu g_setup_menu;

// Copies the menu settings into the rider. Refused while the frame moves faster than 0.125 ft/s: a
// second refusal within 10 s of wall-clock time says so in a message line. True when applied.
bool apply_setup(Rider& rider, const SetupMenu& menu = g_setup_menu);
// Forgets the time of the last refused attempt (tests).
void setup_reset_state();
