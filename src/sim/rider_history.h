#pragma once
// Placing a rider whose motion comes from recorded states (other players online, demos, ghosts).
#include "sim/rider.h"

// One recorded state, decoded: the quantities a packed rider state carries.
struct RiderState {
    double frame_position[3];
    double frame_rotation[4]; // quaternion w, x, y, z
    double steering_angle, swingarm_angle, fork_position;
    double rider_offset[3];   // rider body position minus frame position, world axes
    double rider_rotation[4]; // quaternion w, x, y, z
    double front_wheel_angle, rear_wheel_angle;
    int gear_field;     // 0..6 the gear, 7 while crashed
    bool pose_bit;      // the dab pose is showing
    int throttle_level; // 0..15 (while crashed: the crash counter level)
    double rpm;
};

// The state a rider is in now.
RiderState rider_capture_state(const Rider& rider);

// Shows a replayed rider at `current`, with velocities estimated from the states `before` and
// `after`, span ticks apart. A frozen rider is placed outright; a rider being simulated (it touched
// the local rider) is pulled towards the recording by forces on its frame instead, and takes its
// controls from it.
void rider_apply_history(Rider& rider, const RiderState& before, const RiderState& after, int span,
                         const RiderState& current);
