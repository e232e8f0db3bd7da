#pragma once
// Rider control and stability aids: the player does not balance the bike directly. The steering,
// lean, sit/dab and back-up inputs become torques and forces here: a steering controller limited by
// speed-dependent lock and front-tyre slip, a stabiliser (roll damping, leveling, roll limit), the
// simpler arcade model, steering damping, and below walking speed the foot down, the parking hold
// and walking the bike backwards.
//
// Everything runs once per tick from rider_step and acts during the next world step. Nothing here
// allocates, and every direction that can vanish is guarded, so no force or torque is ever NaN.
#include "sim/rider.h"

// Two speed marks of the aids (ft/s).
constexpr double k_aid_speed_high = 15; // A
constexpr double k_aid_speed_low = 5;   // B

// The quantities the aids read, taken once per tick.
struct ControlState {
    double v;     // frame speed (ft/s)
    double lean;  // frame lean: 0 upright, positive leaning left (rider_lean_angle)
    double roll;  // roll rate about the frame's long axis, same sense as the lean
    double steer_angle, steer_rate;
    double slip;        // front slip angle (radians)
    double front_speed; // front wheel ground speed from its spin (ft/s)
};
void control_state(const Rider& rider, ControlState& out);

// The front slip angle: 0 below 1 ft/s of wheel motion in the wheel's plane.
double front_slip_angle(const Rider& rider);

// A horizontal force on the body towards a target velocity, full at an error of 1.5 ft/s, none
// within 0.25 ft/s.
void push_velocity(dBodyID body, double force_limit, const double target[3]);
// A one-axis angular motor between the body and the world about a world axis, for the next world
// step: it drives the body's rotation rate about the axis towards the speed with at most the torque.
// Nothing is made when the axis or the speed is not finite.
void one_axis_motor(dBodyID body, const double axis[3], double speed, double max_torque);
// A torque about the steering axis on the front wheel, and its reaction on the frame.
void steering_torque(Rider& rider, double torque);

// Whether the rider wants a foot down at this squared speed ("Dab When Stopped" only).
bool auto_dab_wanted(const Rider& rider, double v2);
// Step 7 of the rider step: the auto-dab value, the parking hold, walking backwards. May change
// sit/dab and the brakes for this tick only (rider_step restores the rider's own).
void dab_and_hold(Rider& rider);
// Step 10: the full steering and stability model, or the arcade one.
void steering_full(Rider& rider);
void steering_arcade(Rider& rider);
// Step 12: damps the front wheel's turning and wobbling relative to the frame, not its spin.
void steering_damping_torque(Rider& rider);
// Step 13: the foot on the ground.
void dab_balance(Rider& rider);

// The steering lock (radians) at a front wheel speed for a surface's first friction coefficient.
double steering_lock(const Rider& rider, double front_speed, double friction);
// The lean the rider may reach at a speed; power is 4 for the lean controller, 32 for the dab.
double reachable_lean(const Rider& rider, double v, int power);
// The local rider's input step: the nine control inputs of a tick as the bindings make them (input 0
// is +1 for the Left control) applied to the rider. The steering is negated when "Reversed Steering"
// is on (the default, with which the Left control turns the bike left); with "Sticky Sit/Dab" a
// rising edge of the sit/dab control through 0.5 toggles sit/dab; the shift control requests a shift
// beyond +-0.5; the clutch engages at most at 4 per second. Inputs that are not numbers count as 0.
void rider_apply_inputs(Rider& rider, const float inputs[ControlCount]);
// The sticky sit/dab state (shown on the HUD while on), and its reset.
bool local_sticky_dab();
void local_controls_reset();
