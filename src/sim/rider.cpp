#include "sim/rider.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/alloc.h"
#include "platform/log.h"
#include "race/race.h"
#include "sim/contact.h"
#include "sim/control.h"
#include "sim/engine.h"
#include "sim/falls.h"
#include "sim/physics_world.h"
#include "sim/rider_body.h"
#include "sim/rider_springs.h"
#include "sim/setup.h"
#include "sim/suspension.h"
#include "track/terrain.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr float k_clutch_rise_per_tick = static_cast<float>(4 * k_tick_length);

void clear_body_forces(Rider& rider) {
    for (dBodyID body : rider.bodies) {
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
}

void enable_bodies(Rider& rider, bool on) {
    for (dBodyID body : rider.bodies) {
        if (on)
            dBodyEnable(body);
        else
            dBodyDisable(body);
    }
}

void init_wheel(WheelRecord& wheel, dBodyID body, float ring, float tube) {
    wheel = WheelRecord{};
    wheel.body = body;
    wheel.axle[0] = 1;
    wheel.ring_radius = ring;
    wheel.tube_radius = tube;
}

void clear_inputs(Rider& rider) {
    rider.throttle = 0;
    rider.clutch = 1;
    rider.front_brake = rider.rear_brake = 0;
    rider.steer = rider.sit_dab = rider.pose_blend = rider.back_up = rider.lean = 0;
}

void frame_velocity(const Rider& rider, double out[3]) {
    const dReal* v = dBodyGetLinearVel(rider.bodies[BodyFrame]);
    out[0] = v[0];
    out[1] = v[1];
    out[2] = v[2];
}

void cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// Step 15 of the rider step, also run for frozen riders.
void feet_and_trail(Rider& rider) {
    feet_update(rider);
    const dReal* v = dBodyGetLinearVel(rider.bodies[BodyRider]);
    float* trail = rider.rider_trail[static_cast<uint32_t>(g_race.clock) & 3];
    trail[0] = static_cast<float>(v[0]);
    trail[1] = static_cast<float>(v[1]);
    trail[2] = static_cast<float>(v[2]);
}

} // namespace

Rider* rider_create(const char* model, int slot, const char* number_text, const char* body_texture,
                    const char* head_texture, const char* bike_texture, const char* wheel_texture) {
    if (!g_physics.world) {
        log_printf("Can't create a rider: there is no physics world\n");
        return nullptr;
    }
    void* block = kv_calloc(1, sizeof(Rider));
    if (!block) out_of_memory();
    Rider* rider = new (block) Rider{};
    rider->bike = bike_info_find(model);
    rider->slot = slot;
    snprintf(rider->number_text, sizeof rider->number_text, "%s", number_text ? number_text : "");
    // Seam: the bike, wheel, rider and head models and their textures (body, head, bike and wheel
    // texture names, with the number-plate colours read from the bike texture's tags) are loaded
    // here once models and textures can be read. The rider drawing then poses the skinned body
    // each frame with rider_pose (k_pose_bones bones) and the head model with head_pose (sim/pose.h).
    (void)body_texture;
    (void)head_texture;
    (void)bike_texture;
    (void)wheel_texture;
    rider->setup.rider_mass_share = 1.0f / 3.0f;
    rider->setup.rider_forward_damping = 0.5f;
    rider_body_build(*rider, g_physics.world);
    contact_rider_attach(*rider);
    init_wheel(rider->front_wheel, rider->bodies[BodyFrontWheel], rider->bike.front_tyre_ring_radius,
               rider->bike.front_tyre_tube_radius);
    init_wheel(rider->rear_wheel, rider->bodies[BodyRearWheel], rider->bike.rear_tyre_ring_radius,
               rider->bike.rear_tyre_tube_radius);
    rider->engine_inertia = rider->bike.engine_inertia;
    setup_creation_values(*rider);
    rider->activity = 1;
    rider->airborne_tick = rider->landing_tick = 0;
    rider_reset_pose(*rider);
    return rider;
}

void rider_destroy(Rider* rider) {
    if (!rider) return;
    contact_rider_detach(*rider);
    rider_body_destroy(*rider);
    rider->~Rider();
    kv_free(rider);
}

void rider_reset_pose(Rider& rider) {
    const BikeInfo& b = rider.bike;
    const float* build[k_rider_bodies] = {b.frame_position, b.front_axle,         b.rear_axle,      b.steering_head,
                                          b.fork_lower_position, b.swingarm_position, b.rider_position};
    dMatrix3 identity;
    dRSetIdentity(identity);
    for (int i = 0; i < k_rider_bodies; ++i) {
        dBodyID body = rider.bodies[i];
        dBodySetPosition(body, build[i][0], build[i][1], build[i][2]);
        dBodySetRotation(body, identity);
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
    rider_body_attach_hinge(rider);
    memset(rider.joint_feedback, 0, sizeof rider.joint_feedback);
    memset(&rider.front_wheel.feedback, 0, sizeof rider.front_wheel.feedback);
    memset(&rider.rear_wheel.feedback, 0, sizeof rider.rear_wheel.feedback);
    rider.front_wheel.depth = rider.rear_wheel.depth = 0;
    clear_inputs(rider);
    rider.gear = 0;
    rider.last_shift = 0;
    rider.crank_angle = 0;
    rider.engine_speed = 0;
    rider.crash_counter = 0;
    rider.crash_count = 0;
    rider.recovery_timer = 0;
    memset(rider.feet, 0, sizeof rider.feet);
    memset(rider.rider_trail, 0, sizeof rider.rider_trail);
    rider.rut_read = rider.rut_write = 0;
    rider.landing_factor = 1;
    rider.front_grip_saturation = 0;
    rider.steps_since_reset = 0;
}

void rider_rotate(Rider& rider, double x, double y, double z, double angle) {
    if (x == 0 && y == 0 && z == 0) return;
    dMatrix3 rotation;
    dRFromAxisAndAngle(rotation, x, y, z, angle);
    for (dBodyID body : rider.bodies) {
        const dReal* p = dBodyGetPosition(body);
        dVector3 in = {p[0], p[1], p[2], 0}, out;
        dMultiply0_331(out, rotation, in);
        dBodySetPosition(body, out[0], out[1], out[2]);
        dBodySetRotation(body, rotation);
        const dReal* v = dBodyGetLinearVel(body);
        dVector3 vin = {v[0], v[1], v[2], 0};
        dMultiply0_331(out, rotation, vin);
        dBodySetLinearVel(body, out[0], out[1], out[2]);
        const dReal* w = dBodyGetAngularVel(body);
        dVector3 win = {w[0], w[1], w[2], 0};
        dMultiply0_331(out, rotation, win);
        dBodySetAngularVel(body, out[0], out[1], out[2]);
    }
}

void rider_translate(Rider& rider, double dx, double dy, double dz) {
    for (dBodyID body : rider.bodies) {
        const dReal* p = dBodyGetPosition(body);
        dBodySetPosition(body, p[0] + dx, p[1] + dy, p[2] + dz);
    }
}

void rider_place_on_ground(Rider& rider, const Terrain& terrain, double x, double z, double yaw, double clearance) {
    rider_rotate(rider, 0, 1, 0, yaw);
    const dReal* frame = dBodyGetPosition(rider.bodies[BodyFrame]);
    rider_translate(rider, x - frame[0], 0, z - frame[2]);
    double lowest = 1e9;
    for (const WheelRecord* w : {&rider.front_wheel, &rider.rear_wheel}) {
        const dReal* c = dBodyGetPosition(w->body);
        double ground = terrain_height_at(terrain, static_cast<float>(c[0]), static_cast<float>(c[2]));
        lowest = std::fmin(lowest, c[1] - w->ring_radius - w->tube_radius - ground);
    }
    rider_translate(rider, 0, clearance - lowest, 0);
}

// Activity: 1 = the bodies are enabled and simulated; at most 0.25 = disabled and placed from the
// state history. A replayed rider that touches the local rider is woken to 1 and decays by one tick
// length per tick, so it is simulated for 0.75 s (96 ticks) before history placement resumes.
void rider_wake(Rider& rider) {
    if (rider.activity <= k_frozen_activity) clear_body_forces(rider);
    rider.activity = 1;
    enable_bodies(rider, true);
}

void rider_freeze(Rider& rider) {
    if (rider.activity <= k_frozen_activity) clear_body_forces(rider);
    rider.activity = 0;
    enable_bodies(rider, false);
}

void rider_touch(Rider& rider) {
    if (rider.activity == 0) {
        clear_body_forces(rider);
        rider.activity = 1;
        enable_bodies(rider, true);
    } else if (rider.activity <= k_frozen_activity) {
        clear_body_forces(rider);
        rider.activity = k_frozen_activity;
        enable_bodies(rider, false);
    }
}

void rider_decay(Rider& rider) {
    if (rider.activity <= 0) return;
    rider.activity = std::clamp(rider.activity - static_cast<float>(k_tick_length), 0.0f, 1.0f);
    enable_bodies(rider, rider.activity > k_frozen_activity);
}

void rider_set_input(Rider& rider, ControlInput input, float value) {
    if (value != value) value = 0; // NaN from a device or a file counts as released
    bool crashed = rider.crash_counter > 0;
    switch (input) {
    case Steer: rider.steer = std::clamp(value, -1.0f, 1.0f); break;
    case Throttle: rider.throttle = crashed ? 0 : std::clamp(value, 0.0f, 1.0f); break;
    case FrontBrake: rider.front_brake = std::clamp(value, 0.0f, 1.0f); break;
    case RearBrake: rider.rear_brake = std::clamp(value, 0.0f, 1.0f); break;
    case Clutch: {
        float engaged = std::clamp(1.0f - value * 8.0f / 7.0f, 0.0f, 1.0f);
        rider.clutch = std::min(engaged, rider.clutch + k_clutch_rise_per_tick);
        break;
    }
    case SitDab: rider.sit_dab = crashed ? 0 : std::clamp(value, 0.0f, 1.0f); break;
    case BackUp: rider.back_up = crashed ? 0 : std::clamp(value, 0.0f, 1.0f); break;
    case Lean: rider.lean = crashed ? 0 : std::clamp(value, -1.0f, 1.0f); break;
    case Shift: shift(rider, value); break;
    case ControlCount: break;
    }
}

void rider_set_gear(Rider& rider, int gear) {
    gear = std::clamp(gear, 0, k_gear_slots - 1);
    while (gear > 0 && rider.bike.gear_ratios[gear] <= 0) --gear;
    rider.gear = gear;
}

void rider_momentum_correction(Rider& rider) {
    const dReal* centre = dBodyGetPosition(rider.bodies[BodyFrame]);
    double force[3] = {0, 0, 0}, torque[3] = {0, 0, 0};
    for (int j = 0; j < k_rider_joints; ++j) {
        dJointID joint = rider.joints[j];
        dBodyID first = dJointGetBody(joint, 0), second = dJointGetBody(joint, 1);
        if (!first || !second) break;
        const dJointFeedback& fb = rider.joint_feedback[j];
        const dReal* forces[2] = {fb.f1, fb.f2};
        const dReal* torques[2] = {fb.t1, fb.t2};
        dBodyID bodies[2] = {first, second};
        for (int k = 0; k < 2; ++k) {
            const dReal* p = dBodyGetPosition(bodies[k]);
            double arm[3] = {p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
            double f[3] = {forces[k][0], forces[k][1], forces[k][2]};
            double moment[3];
            cross(arm, f, moment);
            for (int i = 0; i < 3; ++i) {
                force[i] += f[i];
                torque[i] += torques[k][i] + moment[i];
            }
        }
    }
    dBodyAddForce(rider.bodies[BodyFrame], -force[0], -force[1], -force[2]);
    dBodyAddTorque(rider.bodies[BodyFrame], -torque[0], -torque[1], -torque[2]);
}

void rider_step(Rider& rider) {
    if (rider.activity <= k_frozen_activity) {
        feet_and_trail(rider);
        return;
    }
    const int32_t tick = g_race.clock;
    if (rider.lap_fault == 0 && (tick - g_race.gate_drop_tick) * k_tick_length > 2 && rider_speed(rider) < 5)
        rider.lap_fault = 1;

    if (rider.recovery_timer < -1)
        rider.recovery_timer += 1;
    else if (rider.recovery_timer > 1)
        rider.recovery_timer -= 1;
    else
        rider.recovery_timer = 0;

    bool touching = rider_wheel_touching(rider.front_wheel) || rider_wheel_touching(rider.rear_wheel);
    if (touching) {
        if (rider.landing_tick < rider.airborne_tick) rider.landing_tick = tick;
    } else if (dBodyGetLinearVel(rider.bodies[BodyFrame])[1] < 0 && rider.airborne_tick <= rider.landing_tick) {
        rider.airborne_tick = tick;
    }

    crash_check(rider);
    if (rider.crash_counter > 0) crash_update(rider);
    const float own_sit_dab = rider.sit_dab, own_front_brake = rider.front_brake, own_rear_brake = rider.rear_brake;
    dab_and_hold(rider); // may change sit/dab and the brakes for this tick only
    if (rider.crash_counter == 0) rider_springs(rider); // a crashed rider is loose, held only by ropes
    suspension_update(rider);
    if (rider.crash_counter == 0) {
        if (setup_arcade(rider))
            steering_arcade(rider);
        else
            steering_full(rider);
    }
    drivetrain_update(rider);
    steering_damping_torque(rider);
    if (rider.steps_since_reset > 0 && rider.crash_counter == 0) rider_momentum_correction(rider);
    dab_balance(rider); // with the realign-after-fall aid below walking speed
    rider.sit_dab = own_sit_dab;
    rider.front_brake = own_front_brake;
    rider.rear_brake = own_rear_brake;
    feet_and_trail(rider);
    ++rider.steps_since_reset;
}

dBodyID rider_frame(const Rider& rider) { return rider.bodies[BodyFrame]; }
double rider_steering_angle(const Rider& rider) { return dJointGetHingeAngle(rider.joints[JointSteering]); }
double rider_fork_position(const Rider& rider) { return dJointGetSliderPosition(rider.joints[JointFork]); }
double rider_swingarm_angle(const Rider& rider) { return dJointGetHingeAngle(rider.joints[JointSwingarm]); }
double rider_wheel_angle(const Rider& rider, bool front) {
    return dJointGetHingeAngle(rider.joints[front ? JointFrontAxle : JointRearAxle]);
}
double rider_engine_rpm(const Rider& rider) { return rider.engine_speed * k_rpm_per_rad_s; }

double rider_speed(const Rider& rider) {
    double v[3];
    frame_velocity(rider, v);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

bool rider_wheel_touching(const WheelRecord& wheel) { return wheel.depth > 0; }

double rider_lean_angle(const Rider& rider) {
    dVector3 up, forward;
    dBodyVectorToWorld(rider.bodies[BodyFrame], 0, 1, 0, up);
    dBodyVectorToWorld(rider.bodies[BodyFrame], 0, 0, -1, forward);
    double h = std::sqrt(forward[0] * forward[0] + forward[2] * forward[2]);
    if (h < 1e-12) return 0; // pointing straight up or down: no defined lean
    double x = forward[0] / h, z = -forward[2] / h;
    return std::acos(std::clamp(up[2] * x + up[0] * z, -1.0, 1.0)) - k_pi / 2;
}

void rider_momentum(const Rider& rider, double linear[3], double angular[3]) {
    for (int i = 0; i < 3; ++i) linear[i] = angular[i] = 0;
    for (dBodyID body : rider.bodies) {
        dMass m;
        dBodyGetMass(body, &m);
        const dReal* p = dBodyGetPosition(body);
        const dReal* v = dBodyGetLinearVel(body);
        const dReal* w = dBodyGetAngularVel(body);
        const dReal* R = dBodyGetRotation(body);
        double mv[3] = {m.mass * v[0], m.mass * v[1], m.mass * v[2]};
        double pos[3] = {p[0], p[1], p[2]}, orbital[3];
        cross(pos, mv, orbital);
        // Spin: R I R^T w, with the body-frame inertia I.
        double wb[3], iw[3], spin[3];
        for (int r = 0; r < 3; ++r) wb[r] = R[0 * 4 + r] * w[0] + R[1 * 4 + r] * w[1] + R[2 * 4 + r] * w[2];
        for (int r = 0; r < 3; ++r) iw[r] = m.I[r * 4 + 0] * wb[0] + m.I[r * 4 + 1] * wb[1] + m.I[r * 4 + 2] * wb[2];
        for (int r = 0; r < 3; ++r) spin[r] = R[r * 4 + 0] * iw[0] + R[r * 4 + 1] * iw[1] + R[r * 4 + 2] * iw[2];
        for (int i = 0; i < 3; ++i) {
            linear[i] += mv[i];
            angular[i] += orbital[i] + spin[i];
        }
    }
}
