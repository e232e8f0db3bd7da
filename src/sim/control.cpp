#include "sim/control.h"

#include <algorithm>
#include <cmath>

#include "core/settings.h"
#include "race/race.h"
#include "sim/falls.h"
#include "sim/physics_world.h"
#include "sim/setup.h"
#include "sim/shapes.h"
#include "sim/tyre.h"
#include "track/terrain.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr double k_tiny = 1e-12;

double clamp01(double x) { return x > 0 ? (x < 1 ? x : 1) : 0; } // NaN gives 0

bool crashed(const Rider& rider) { return rider.crash_counter > 0; }


// The local rider's input state: the sticky sit/dab toggle and the control's last value.
struct LocalControls {
    float previous_dab = 0;
    bool sticky_dab = false;
};
LocalControls g_local_controls;

bool terrain_loaded() { return !g_terrain.heights.empty() && g_terrain.samples_per_side > 1; }

// The steering axis in bike coordinates (unit; straight up when the geometry gives none).
void steering_axis_local(const BikeInfo& b, double a[3]) {
    double d[3] = {b.steering_head[0] - b.fork_lower_position[0], b.steering_head[1] - b.fork_lower_position[1],
                   b.steering_head[2] - b.fork_lower_position[2]};
    double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(len > k_tiny)) {
        a[0] = 0, a[1] = 1, a[2] = 0;
        return;
    }
    for (int i = 0; i < 3; ++i) a[i] = d[i] / len;
}

bool finite3(const double v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }


// The dab speed limit: the setup's, raised to at least 75 ft/s for a while after a crash.
double dab_speed_limit(const Rider& rider) {
    double l = rider.setup.max_dab_speed;
    if (rider.recovery_timer <= -512) l = std::max(l, 75.0);
    return l;
}

// Height of the front tyre's lowest point above the ground under the wheel centre.
double front_wheel_clearance(const Rider& rider) {
    if (!terrain_loaded()) return 1e9;
    const dReal* c = dBodyGetPosition(rider.bodies[BodyFrontWheel]);
    double ground = terrain_height_at(g_terrain, float(c[0]), float(c[2]));
    return c[1] - ground - rider.front_wheel.ring_radius - rider.front_wheel.tube_radius;
}

// First friction coefficient of the tile under the front wheel.
double front_surface_friction(const Rider& rider) {
    if (!terrain_loaded() || g_terrain.tiles.empty()) return 1;
    const dReal* c = dBodyGetPosition(rider.bodies[BodyFrontWheel]);
    int tile = terrain_tile_at(g_terrain, float(c[0]), float(c[2]));
    if (tile < 0 || tile >= static_cast<int>(g_terrain.tiles.size())) tile = 0;
    double mu = g_terrain.tiles[size_t(tile)].friction[0].friction;
    return std::isfinite(mu) ? mu : 1;
}

// x / y clamped to 0..1; a vanishing span counts as a step at zero.
double ramp(double x, double span) {
    if (!(span > k_tiny)) return x > 0 ? 1 : 0;
    return clamp01(x / span);
}

} // namespace

// A one-axis angular motor between a body and the world for the coming step.
void one_axis_motor(dBodyID body, const double axis[3], double speed, double max_torque) {
    if (!finite3(axis) || !std::isfinite(speed)) return;
    dJointID motor = dJointCreateAMotor(g_physics.world, g_physics.contact_group);
    dJointAttach(motor, body, nullptr);
    dJointSetAMotorMode(motor, dAMotorUser);
    dJointSetAMotorNumAxes(motor, 1);
    dJointSetAMotorAxis(motor, 0, 0, axis[0], axis[1], axis[2]);
    dJointSetAMotorParam(motor, dParamVel, speed);
    dJointSetAMotorParam(motor, dParamFMax, max_torque);
}

double front_slip_angle(const Rider& rider) {
    const dReal* v = dBodyGetLinearVel(rider.bodies[BodyFrontWheel]);
    dVector3 local;
    dBodyVectorFromWorld(rider.bodies[BodyForkUpper], v[0], v[1], v[2], local);
    double a[3];
    steering_axis_local(rider.bike, a);
    double w = local[1] * -a[2] + local[2] * a[1];
    if (local[0] * local[0] + w * w > 1) {
        double beta = -std::atan2(local[0], -w);
        return std::isfinite(beta) ? beta : 0;
    }
    return 0;
}

void control_state(const Rider& rider, ControlState& out) {
    dBodyID frame = rider.bodies[BodyFrame];
    out.v = rider_speed(rider);
    out.lean = rider_lean_angle(rider);
    const dReal* w = dBodyGetAngularVel(frame);
    dVector3 local;
    dBodyVectorFromWorld(frame, w[0], w[1], w[2], local);
    out.roll = local[2];
    out.steer_angle = dJointGetHingeAngle(rider.joints[JointSteering]);
    out.steer_rate = dJointGetHingeAngleRate(rider.joints[JointSteering]);
    out.slip = front_slip_angle(rider);
    out.front_speed = (rider.front_wheel.ring_radius + rider.front_wheel.tube_radius) *
                      dJointGetHingeAngleRate(rider.joints[JointFrontAxle]);
    double* all[] = {&out.v, &out.lean, &out.roll, &out.steer_angle, &out.steer_rate, &out.front_speed};
    for (double* x : all)
        if (!std::isfinite(*x)) *x = 0;
}

void push_velocity(dBodyID body, double force_limit, const double target[3]) {
    const dReal* v = dBodyGetLinearVel(body);
    double e[3] = {v[0] - target[0], v[1] - target[1], v[2] - target[2]};
    double e2 = e[0] * e[0] + e[1] * e[1] + e[2] * e[2];
    if (!(e2 >= 1.0 / 16) || !std::isfinite(e2)) return;
    double len = std::sqrt(e2);
    double s = clamp01((len - 0.25) * 0.8) * force_limit / len;
    dBodyAddForce(body, -e[0] * s, 0, -e[2] * s);
}

void steering_torque(Rider& rider, double torque) {
    if (!std::isfinite(torque) || torque == 0) return;
    double a[3];
    steering_axis_local(rider.bike, a);
    dVector3 axis;
    dBodyVectorToWorld(rider.bodies[BodyFrame], a[0], a[1], a[2], axis);
    dBodyAddTorque(rider.bodies[BodyFrontWheel], axis[0] * torque, axis[1] * torque, axis[2] * torque);
    dBodyAddTorque(rider.bodies[BodyFrame], -axis[0] * torque, -axis[1] * torque, -axis[2] * torque);
}

bool auto_dab_wanted(const Rider& rider, double v2) {
    if (!setup_flag(rider, DabWhenStopped)) return false;
    double l = dab_speed_limit(rider);
    if (v2 > l * l) return false;
    double v = std::sqrt(std::max(0.0, v2));
    double lean = std::fabs(rider_lean_angle(rider));
    if (v > k_aid_speed_high) {
        double s = clamp01(v / k_aid_speed_high - 1);
        if (lean < s * k_pi / 4) return false;
    }
    if (rider.throttle != 0 && rider.clutch != 0) return v < k_aid_speed_low || lean > k_pi / 16;
    return true;
}

void dab_and_hold(Rider& rider) {
    dBodyID frame = rider.bodies[BodyFrame];
    double v = rider_speed(rider);
    if (!std::isfinite(v)) v = 0;
    if (rider.back_up <= 0 || v >= k_aid_speed_low) {
        if (!auto_dab_wanted(rider, v * v)) return;
        double l = dab_speed_limit(rider);
        double dab = std::max(l > 0 ? clamp01(1 - v / l) : 0.0, double(rider.sit_dab));
        rider.sit_dab = crashed(rider) ? 0 : static_cast<float>(dab);
        // Parking hold: stopped, not driving, both wheels down.
        if (v < k_aid_speed_low && (rider.throttle == 0 || rider.clutch == 0) &&
            rider_wheel_touching(rider.front_wheel) && rider_wheel_touching(rider.rear_wheel)) {
            rider.front_brake = rider.rear_brake = 1;
            const double still[3] = {0, 0, 0};
            push_velocity(frame, 1000, still);
        }
        return;
    }
    // Walking backwards, in strides of one second.
    const int32_t tick = g_race.clock;
    uint32_t phase = static_cast<uint32_t>(tick) % 128;
    double w = (1 - std::cos(phase * 2 * k_pi / 127)) / 2;
    int32_t first_stride = (g_race.gate_drop_tick / 128 + 1) * 128;
    if (tick < first_stride && (static_cast<uint32_t>(tick) % 512) >= 128) w = 0;
    rider.sit_dab = crashed(rider) ? 0 : 1;
    dVector3 z;
    dBodyVectorToWorld(frame, 0, 0, 1, z);
    double target[3] = {4 * w * z[0], 4 * w * z[1], 4 * w * z[2]};
    push_velocity(frame, 2000, target);
    const double up[3] = {0, 1, 0};
    one_axis_motor(frame, up, -rider.steer * w * k_pi / 2, 2000);
}

double steering_lock(const Rider& rider, double front_speed, double friction) {
    const RiderSetup& s = rider.setup;
    double full = std::max(double(s.full_lock_speed), 1e-3);
    double x = std::max(1.0, front_speed);
    double y = std::max(full + 1, double(s.restricted_lock_speed));
    double k = clamp01((1 / x - 1 / y) / (1 / full - 1 / y));
    double mu = std::max(0.125, friction);
    double restricted = std::min(k_pi / 4, s.restricted_lock_angle / mu);
    return restricted + (k_pi / 4 - restricted) * k;
}

double reachable_lean(const Rider& rider, double v, int power) {
    double limit = rider.setup.roll_limit_angle;
    double dab = rider.setup.max_dab_speed;
    double v2 = v * v, d2 = dab * dab, a2 = k_aid_speed_high * k_aid_speed_high;
    if (v <= 0) return 0;
    if (v2 >= d2) return 2 * k_pi;
    if (v <= k_aid_speed_high) {
        double q = 1 - std::min(1.0, v2 / d2);
        return (1 - std::pow(q, power)) * limit;
    }
    return limit + (2 * k_pi - limit) * ramp(v2 - a2, d2 - a2);
}

void steering_full(Rider& rider) {
    rider.front_grip_saturation = 0;
    if (crashed(rider)) return;
    const RiderSetup& s = rider.setup;
    ControlState c;
    control_state(rider, c);
    double direct = s.steering_strength * rider.steer * s.direct_steering;
    double f_hi = s.max_steering_force, f_lo = -f_hi;

    double lock = steering_lock(rider, c.front_speed, front_surface_friction(rider));

    // Slip limit near the ground: beyond the lock, the torque that would steer further into the
    // slide fades and reverses to a quarter.
    double clearance = front_wheel_clearance(rider);
    if (c.front_speed > 1 && clearance < 0.5) {
        double l2 = lock + (k_pi / 4 - lock) * clamp01(2 * clearance);
        double q = 1.125 * l2 + 0.015;
        if (c.slip > l2)
            f_lo *= clamp01((c.slip - q) / (l2 - q)) * 1.25 - 0.25;
        else if (c.slip < -l2)
            f_hi *= clamp01((-c.slip - q) / (l2 - q)) * 1.25 - 0.25;
    }

    double stabiliser;
    double wheel_rate = dJointGetHingeAngleRate(rider.joints[JointFrontAxle]);
    if (!rider_wheel_touching(rider.front_wheel) || !(wheel_rate > k_pi / 4)) {
        rider.landing_factor = s.land_damping_factor;
        stabiliser = -50 * c.steer_angle;
    } else {
        double damping = c.roll * s.roll_damping * rider.landing_factor;
        double level = c.lean * s.leveling;
        if (rider.landing_factor > 1) {
            if (s.land_damping_falloff > 0)
                rider.landing_factor = static_cast<float>(std::max(
                    1.0, rider.landing_factor - (s.land_damping_factor - 1) * k_tick_length / s.land_damping_falloff));
            else
                rider.landing_factor = 1;
        }
        if (c.v < s.slow_damping_speed) {
            double m = s.slow_damping_factor + (1 - s.slow_damping_factor) * ramp(c.v, s.slow_damping_speed);
            damping *= m;
            level *= m;
        }
        bool same_side = (c.roll < 0 && c.lean < 0) || (c.roll >= 0 && c.lean >= 0);
        if (same_side && std::fabs(c.lean) > s.roll_limit_angle)
            damping *= (std::fabs(c.lean) - s.roll_limit_angle) * s.roll_limit_factor + 1;
        stabiliser = damping + level;
        if (s.direct_steering < 1) {
            // Lean controller: a target roll rate towards the lean the steering asks for.
            double reach = reachable_lean(rider, c.v, 4);
            double r = (-rider.steer * reach - c.lean) * 2.5;
            bool back_to_upright = (c.lean >= 0 && r < 0) || (c.lean < 0 && r > 0);
            double rmax = back_to_upright ? 9.817477 : 3.926991;
            r = std::clamp(r, -rmax, rmax);
            double e = std::clamp(r - c.roll, -0.125, 0.125);
            double out = std::clamp((c.roll - (r - e)) * 4, -1.0, 1.0);
            direct = s.direct_steering * direct + (1 - s.direct_steering) * s.steering_strength * out;
        }
    }

    // Struck-rider limit: no stabiliser right after striking another rider.
    if (rider.recovery_timer > 0) {
        double m = 200 * clamp01((192 - rider.recovery_timer) / 192);
        stabiliser = std::clamp(stabiliser, -m, m);
    }
    double torque = (stabiliser + direct) * 1.5;
    torque = std::min(std::max(torque, f_lo), f_hi);

    // Front grip saturation, for the dab balance. With a lock of 0 the span vanishes and the
    // saturation becomes a step at the lower mark.
    double a = clamp01((c.front_speed - k_aid_speed_low) / (k_aid_speed_high - k_aid_speed_low));
    double lo = a * 0.25 * lock, hi = (0.625 * a + 0.125) * lock;
    double g1, g2;
    if (c.lean >= 0) {
        g1 = ramp(-c.slip - lo, hi - lo);
        g2 = clamp01((c.steer_angle - 0.2617994) * 3.8197186);
    } else {
        g1 = ramp(c.slip - lo, hi - lo);
        g2 = clamp01((c.steer_angle + 0.2617994) * -3.8197186);
    }
    rider.front_grip_saturation = static_cast<float>(std::max(g1, g2));
    steering_torque(rider, torque);
}

void steering_arcade(Rider& rider) {
    if (crashed(rider)) return;
    const RiderSetup& s = rider.setup;
    ControlState c;
    control_state(rider, c);
    dBodyID frame = rider.bodies[BodyFrame];

    // Roll motor towards the lean the steering asks for.
    double r = clamp01((s.roll_damping - 40) * 0.025);
    double target = -k_pi / 4 * rider.steer;
    double e = std::fabs(c.lean - target);
    double w = (1.5 - 0.5 * r) * std::min(e, 1.0 / 16) * 16;
    if (c.lean >= target) w = -w;
    dVector3 z;
    dBodyVectorToWorld(frame, 0, 0, 1, z);
    double axis[3] = {z[0], z[1], z[2]};
    one_axis_motor(frame, axis, w, 1000);

    // Steering servo towards the slip angle less half the lock for full steering.
    double x = c.slip - 0.5 * rider.steer;
    double err = x - c.steer_angle;
    double rate;
    if (err < -0.25) {
        rate = -1.75;
    } else {
        err = std::min(err, 0.25);
        rate = std::fabs(err) <= 1.0 / 32 ? 0 : 8 * (err - std::copysign(1.0 / 32, err));
    }
    double u = rate - c.steer_rate;
    double out = 0;
    if (std::fabs(u) > 1.0 / 2400) out = std::clamp(0.5 * (u - std::copysign(1.0 / 2400, u)), -2.0 / 3, 2.0 / 3);
    steering_torque(rider, out * s.steering_strength);

    // Yaw and drift damper at a point far ahead of the frame.
    dVector3 v;
    dBodyGetRelPointVel(frame, 0, 0, 20, v);
    if (std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]))
        dBodyAddForceAtRelPos(frame, -0.25 * v[0], -0.25 * v[1], -0.25 * v[2], 0, 0, 20);
}

// The damper sits between the front wheel and the frame, so it acts on the wheel's rotation relative
// to the frame: the steering rate and any wobble of the fork, never the spin, and never the bike's
// own yaw and roll. Damping the wheel's absolute rotation instead would steer the wheel out of every
// turn with a torque proportional to the turn rate (about steering_damping x g x tan(lean) / speed),
// which outweighs the leveling term at ordinary speeds: a bike released from a lean would then keep
// turning and fall into the turn instead of rising.
void steering_damping_torque(Rider& rider) {
    dBodyID wheel = rider.bodies[BodyFrontWheel];
    const dReal* ww = dBodyGetAngularVel(wheel);
    const dReal* wf = dBodyGetAngularVel(rider.bodies[BodyFrame]);
    double w[3] = {ww[0] - wf[0], ww[1] - wf[1], ww[2] - wf[2]};
    dVector3 a;
    dBodyVectorToWorld(wheel, 1, 0, 0, a);
    double spin = w[0] * a[0] + w[1] * a[1] + w[2] * a[2];
    double k = rider.setup.steering_damping;
    double t[3] = {(spin * a[0] - w[0]) * k, (spin * a[1] - w[1]) * k, (spin * a[2] - w[2]) * k};
    if (!finite3(t)) return;
    dBodyAddTorque(wheel, t[0], t[1], t[2]);
    dBodyAddTorque(rider.bodies[BodyFrame], -t[0], -t[1], -t[2]);
}

void dab_balance(Rider& rider) {
    const float rise = static_cast<float>(8 * k_tick_length);
    if (crashed(rider)) {
        rider.pose_blend = std::min(1.0f, rider.pose_blend + rise);
        return;
    }
    if (rider.sit_dab == 0) return;
    ControlState c;
    control_state(rider, c);
    bool front = rider_wheel_touching(rider.front_wheel), rear = rider_wheel_touching(rider.rear_wheel);
    if (!front) {
        bool ground = false;
        if (terrain_loaded()) {
            const dReal* p = dBodyGetPosition(rider.bodies[BodyRider]);
            ContactHit hit;
            ground = sphere_terrain_query(g_terrain, SimVec{p[0], p[1], p[2]}, rider.bike.rider_position[1] + 1, hit);
        }
        if (!ground) return;
    }
    if (c.v > dab_speed_limit(rider)) return;
    if (c.v > k_aid_speed_high && (!front || !rear || std::fabs(c.lean) < 0.5890486)) return;
    rider.pose_blend = std::min(1.0f, rider.pose_blend + rise);
    if (setup_arcade(rider) || (c.v >= k_aid_speed_low && rider.recovery_timer > 0)) return;
    if (c.v < k_aid_speed_low && realign_after_fall(rider)) return;

    double side = c.lean > 0 ? 1 : c.lean < 0 ? -1 : 0;
    double t = -k_pi / 8 * side;
    if (setup_flag(rider, DabWhenStopped) && rider.recovery_timer < 0) t *= 3;
    double lean = std::fabs(c.lean);
    if (lean < k_pi / 16) t *= lean * 16 / k_pi;
    double m = 0;
    if (t > 0 && t > c.roll)
        m = -400;
    else if (t < 0 && t < c.roll)
        m = 400;
    if (lean < k_pi / 32) m *= lean * 32 / k_pi;
    bool walking = rider.back_up >= 0.125 && c.v < k_aid_speed_low;
    if (!walking) {
        double reach = 1.25 * reachable_lean(rider, c.v, 32);
        double sigma = t >= 0 ? -rider.steer : rider.steer;
        double sv = clamp01(2 * sigma - 1);
        double f = clamp01((lean - reach) / 0.25);
        m *= f + (1 - f) * sv;
        if (c.v > k_aid_speed_low) m *= rider.front_grip_saturation;
    }
    if (m == 0 || !std::isfinite(m)) return;
    dBodyID frame = rider.bodies[BodyFrame];
    dVector3 up;
    dBodyVectorToWorld(frame, 0, 1, 0, up);
    if (up[1] >= 0.707) {
        dBodyAddForceAtRelPos(frame, 0, std::fabs(m) / 8, 0, 0, 4, 0);
        dBodyAddRelForceAtRelPos(frame, m, 0, 0, 0, 4, 0);
    } else {
        dBodyAddForceAtRelPos(frame, 0, std::fabs(m), 0, 0, 4, 0);
    }
}

void local_controls_reset() { g_local_controls = LocalControls{}; }

bool local_sticky_dab() { return g_local_controls.sticky_dab; }

void rider_apply_inputs(Rider& rider, const float inputs[ControlCount]) {
    float in[ControlCount];
    for (int i = 0; i < ControlCount; ++i) in[i] = std::isfinite(inputs[i]) ? inputs[i] : 0.0f;
    rider_set_input(rider, Steer, g_settings.reverse_steering ? -in[Steer] : in[Steer]);
    rider_set_input(rider, FrontBrake, in[FrontBrake]);
    rider_set_input(rider, RearBrake, in[RearBrake]);
    rider_set_input(rider, Throttle, in[Throttle]);
    float dab = in[SitDab];
    if (g_settings.sticky_dab) {
        if (g_local_controls.previous_dab < 0.5f && dab >= 0.5f) g_local_controls.sticky_dab = !g_local_controls.sticky_dab;
        g_local_controls.previous_dab = dab;
        dab = g_local_controls.sticky_dab ? 1.0f : 0.0f;
    }
    rider_set_input(rider, SitDab, dab);
    rider_set_input(rider, BackUp, in[BackUp]);
    rider_set_input(rider, Lean, in[Lean]);
    rider_set_input(rider, Clutch, in[Clutch]);
    rider_set_input(rider, Shift, in[Shift] > 0.5f ? 1.0f : in[Shift] < -0.5f ? -1.0f : 0.0f);
}
