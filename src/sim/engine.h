#pragma once
// The engine and drivetrain: the engine is a flywheel state inside the Rider (engine speed and a crank
// position in rear-wheel radians), coupled to the rear wheel by a torsional spring-damper whose
// windup is limited by the clutch. Engine braking, a slipping clutch, wheelspin and a stall-free idle
// all come from that one coupling. The same step shifts gears (manual and automatic), works the
// automatic clutch and the wheelie limiter, and sets the brakes.
//
// Runs once per tick from rider_step; the torques it adds act during the next world step. Nothing
// here allocates.
#include "sim/rider.h"

// Speeds of the drivetrain aids (ft/s): a wheel whose contact point slides faster than this counts
// as skidding (antilock releases, automatic shifting waits).
constexpr double k_wheel_slide_speed = 2;
// Beyond an eighth of a turn of windup, scaled by the clutch, the crank turns freely against the wheel.
constexpr double k_windup_limit = 0.7853981633974483;
// Driveline clamps: the damping term (lbf ft) and the whole torque.
constexpr double k_driveline_damping_limit = 500;
constexpr double k_driveline_torque_limit = 1000000;
// The automatic clutch engages over this many rpm above the setup's auto-clutch rpm.
constexpr double k_auto_clutch_span = 2000;

// The gearbox control: -1 down, 0 none, +1 up. Only a change of the control shifts, so a control held
// for many ticks shifts once. Ignored while crashed and for values outside -1..1 (or not numbers).
void shift(Rider& rider, float value);

// Engine torque (lbf ft) at the present engine speed and throttle: the closed- and open-throttle
// curves read at 500-rpm steps with linear interpolation, blended by the throttle; the wheelie
// limiter cuts the drive torque (engine braking stays) while it holds a wheelie down.
double engine_torque(const Rider& rider);

// Overall reduction: engine turns per rear-wheel turn in the present gear.
double drivetrain_reduction(const Rider& rider);

// Automatic shifting, engine and driveline, then the brakes.
void drivetrain_update(Rider& rider);
