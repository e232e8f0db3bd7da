#pragma once
// The rider record: a copy of the model's BikeInfo, seven rigid bodies and six joints in the one
// physics world, the control inputs, the setup, the engine state, the wheel records and the crash
// state. A rider is built by rider_create, lives until rider_destroy, and is advanced once per world
// tick by rider_step.
#include <ode/ode.h>

#include <cstdint>

#include "core/main_loop.h"
#include "sim/bike_info.h"

enum RiderBody { BodyFrame, BodyFrontWheel, BodyRearWheel, BodyForkUpper, BodyForkLower, BodySwingarm, BodyRider };
constexpr int k_rider_bodies = 7;

enum RiderJoint { JointFrontAxle, JointRearAxle, JointSteering, JointFork, JointSwingarm, JointRider };
constexpr int k_rider_joints = 6;

constexpr double k_steering_lock = 0.7853981633974483; // the steering stops, either side
constexpr double k_rider_anchor_ahead = -50;            // z of the rider hinge's far anchor
constexpr int k_rut_ring_size = 1024;
constexpr float k_frozen_activity = 0.25f; // at or below: bodies disabled and placed from history

// One wheel: its body, the tyre torus, and the contact of the last contact pass (depth above 0 while
// it touches the ground).
struct WheelRecord {
    dBodyID body;
    float axle[3]; // in body coordinates
    float ring_radius, tube_radius;
    float contact_point[3];
    float contact_velocity[3]; // the wheel body's velocity at the contact point
    float contact_normal[3];
    float depth;
    dJointFeedback feedback; // of the wheel's terrain contact joint in the last step
    long long contact_step;  // the world step the contact above was found for
    bool contact_on_ground;  // the contact is the terrain's (else another rider's or an object's)
};

// The adjustable setup. Every value is written through the setters of sim/setup.h, which clamp it.
struct RiderSetup {
    float fork_hs_compression_damping, fork_ls_compression_damping;
    float fork_hs_rebound_damping, fork_ls_rebound_damping;
    float fork_spring_rate, fork_preload, fork_air_gap;
    float shock_hs_compression_damping, shock_ls_compression_damping;
    float shock_hs_rebound_damping, shock_ls_rebound_damping;
    float shock_spring_rate, shock_preload;
    float rider_vertical_spring, rider_forward_spring, rider_vertical_damping, rider_forward_damping;
    float rider_mass_share;
    float front_sprocket_adjust, rear_sprocket_adjust;
    float roll_damping, leveling, roll_limit_factor, roll_limit_angle;
    float steering_damping, steering_strength, max_steering_force, direct_steering;
    float slow_damping_speed, slow_damping_factor, land_damping_falloff, land_damping_factor;
    float auto_clutch_rpm, front_brake_torque, rear_brake_torque, max_dab_speed;
    float full_lock_speed, restricted_lock_speed, restricted_lock_angle;
    // Flag byte 1: bits 1-2 stop-wheelies mode (0 off, 3 rear and front, 2 front only), bit 3 front
    // antilock, bit 4 rear antilock, bit 5 automatic shifting, bit 6 dab when stopped, bit 7 realign
    // after fall. Flag byte 2: bit 0 arcade physics.
    uint8_t flags;
    uint8_t flags2;
};

struct FootPoint {
    float position[3];
    float velocity[3];
};

// A wheel's erosion mark: contact x, z and the weighted contact force x, z.
struct RutMark {
    float x, z, force_x, force_z;
};

struct CollisionShape;
struct Terrain;

struct Rider {
    BikeInfo bike;
    dBodyID bodies[k_rider_bodies];
    dJointID joints[k_rider_joints];
    dJointFeedback joint_feedback[k_rider_joints];
    WheelRecord front_wheel, rear_wheel;
    // control inputs
    float throttle, clutch, front_brake, rear_brake, steer, sit_dab, pose_blend, back_up, lean;
    int gear;       // index into gear_ratios, 0 = first gear
    int last_shift; // -1, 0 or 1
    float crank_angle;  // engine position in rear-wheel radians, within +-pi
    float engine_speed; // rad/s
    float engine_inertia;
    float sprocket_ratio; // rear teeth / front teeth after adjustment
    RiderSetup setup;
    double total_mass; // the seven bodies together
    // Seam: the four timing lists (lap and checkpoint marks) of the race timing live here.
    CollisionShape* collision_shapes[k_rider_bodies]; // the rider's own copies, by body; null: no shape
    char number_text[8];
    unsigned number_texture; // Seam: made by the number-plate texture maker
    int lap_fault;
    int32_t airborne_tick, landing_tick;
    int crash_counter; // 0 while riding
    int crash_count;   // crashes so far in this race
    FootPoint feet[2];
    float rider_trail[4][3]; // the rider body's linear velocity of the last four ticks, by tick mod 4
    float recovery_timer;
    float activity; // 1 = simulated, at most 0.25 = frozen
    RutMark rut_ring[k_rut_ring_size];
    int rut_read, rut_write;
    int slot; // 1-based
    // Stability-aid state.
    float landing_factor;
    float front_grip_saturation;
    int steps_since_reset; // rider steps run since the last reset (momentum correction needs one)
    // Rider-to-rider contact bookkeeping (sim/contact.h).
    long long rider_contact_step; // the world step of this rider's last contact with another rider
    int32_t last_contact_tick, first_contact_tick; // race-clock ticks; first is -1 until a contact
    // Seam: the four rider-contact history slots of the race timing are cleared with these.
    // Seam: the robot fields (personality, path, plan, launch and smoothing state, ridden lines)
    // and the line-learning samples are added by the robot riders.
};

// Creates a rider of the named model (with the catalogue's fallback) in the physics world, at the
// build pose, with the creation setup, and frozen=false (activity 1). Null when the world does not
// exist. The texture names choose the looks; they are not needed by the simulation.
Rider* rider_create(const char* model, int slot, const char* number_text, const char* body_texture,
                    const char* head_texture, const char* bike_texture, const char* wheel_texture);
// Destroys the bodies and joints and frees the record. Null is ignored.
void rider_destroy(Rider* rider);

// Every body back at its build position with identity orientation and no motion; the rider hinge
// re-attached; feedback, inputs, gear, engine, crash state, feet, trail and rut ring cleared.
void rider_reset_pose(Rider& rider);
// Rotates every body's position about the world origin and sets every body's orientation to the
// rotation (for a rider at its build pose). The axis need not be unit length.
void rider_rotate(Rider& rider, double x, double y, double z, double angle);
// Moves every body.
void rider_translate(Rider& rider, double dx, double dy, double dz);
// Stands a rider that is at its build pose on the ground: turned by yaw about the vertical (0 faces
// -z, positive turns left), the frame centre over (x, z), and the lower of the two tyres' lowest ring
// points `clearance` above the terrain under its axle.
void rider_place_on_ground(Rider& rider, const Terrain& terrain, double x, double z, double yaw, double clearance);

// Activity: see rider.cpp. A touched frozen rider is simulated for exactly 96 ticks of decay.
void rider_freeze(Rider& rider);
void rider_wake(Rider& rider);
void rider_touch(Rider& rider);
void rider_decay(Rider& rider);

// Stores one control input clamped to its range. The clutch input is the lever (0 released to 1
// pulled); the engagement follows it, rising by at most 4 per second. While crashed, throttle,
// sit/dab, back up and lean are stored as 0. Shift goes to the gearbox.
void rider_set_input(Rider& rider, ControlInput input, float value);
// Puts the gearbox in a gear: clamped to 0..5, then lowered while that gear's ratio is not positive.
void rider_set_gear(Rider& rider, int gear);

// The simulation step, once per world tick after the world step.
void rider_step(Rider& rider);
// Cancels the sum of the joints' internal forces and torques on the bike as a whole by applying its
// negation to the frame.
void rider_momentum_correction(Rider& rider);

// Read accessors.
dBodyID rider_frame(const Rider& rider);
double rider_steering_angle(const Rider& rider);
double rider_fork_position(const Rider& rider); // 0 at full extension, negative compressed
double rider_swingarm_angle(const Rider& rider);
double rider_wheel_angle(const Rider& rider, bool front);
double rider_engine_rpm(const Rider& rider);
double rider_speed(const Rider& rider); // of the frame body, ft/s
bool rider_wheel_touching(const WheelRecord& wheel);
// The frame's lean angle: 0 upright, its sign gives the side.
double rider_lean_angle(const Rider& rider);
// Sum of mass times velocity over the seven bodies, and of angular momentum about the origin.
void rider_momentum(const Rider& rider, double linear[3], double angular[3]);
