#pragma once
// Fork and shock. Each is a joint motor (the fork slider, the swingarm hinge) set once per tick to
// push with the force or torque of a coil spring with preload, the fork's air spring, speed-
// sensitive damping and, at the rear, a progressive linkage; every force fades to nothing over the
// last 1/32 of travel before full extension.

struct Rider;
struct BikeInfo;

constexpr double k_air_spring_scale = 82.4616928100586; // lbf
constexpr double k_air_exponent = 1.399999976158142;
constexpr double k_suspension_motor_speed = 100;

// The damping force for a speed s (positive = extending): compressing, the low-speed term adds to the
// viscous term -s * hs_compression, kept within 1/8 and 8 times it; extending likewise with the
// rebound terms, with the opposite sign. Zero at rest.
double damper_force(double s, double hs_compression, double ls_compression, double hs_rebound,
                    double ls_rebound);

// The fork's air spring: compression x (0..travel) squeezes the column travel + air_gap.
double fork_air_force(double x, double travel, double air_gap);

// The linkage curve: shock stroke (ft) and stroke per unit of normalised swingarm travel t.
struct LinkagePoint {
    double stroke, ratio;
};
LinkagePoint linkage_at(const BikeInfo& bike, double t);

// Fork force along the slider for slider position x_f (0 extended, -travel compressed) and rate v_f
// (positive extending); positive pushes towards extension.
double fork_force(const Rider& rider, double x_f, double v_f);
// Shock torque about the swingarm pivot for hinge angle theta (0 extended, -travel compressed) and
// rate omega; positive pushes towards extension.
double shock_torque(const Rider& rider, double theta, double omega);

// Sets both motors from the joints' present state.
void suspension_update(Rider& rider);

// For the suspension graph: travel, speed, and the share of the damping that is low-speed.
struct SuspensionSample {
    double travel, speed, low_speed_share;
};
SuspensionSample suspension_sample_front(const Rider& rider);
SuspensionSample suspension_sample_rear(const Rider& rider);
