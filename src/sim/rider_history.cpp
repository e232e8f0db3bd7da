#include "sim/rider_history.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim/falls.h"
#include "sim/rider_body.h"
#include "track/terrain.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr double k_follow_limit = 2500;

void quat_conj_mul(const double a[4], const double b[4], double out[4]) {
    // a * conj(b)
    double c[4] = {b[0], -b[1], -b[2], -b[3]};
    out[0] = a[0] * c[0] - a[1] * c[1] - a[2] * c[2] - a[3] * c[3];
    out[1] = a[0] * c[1] + a[1] * c[0] + a[2] * c[3] - a[3] * c[2];
    out[2] = a[0] * c[2] - a[1] * c[3] + a[2] * c[0] + a[3] * c[1];
    out[3] = a[0] * c[3] + a[1] * c[2] - a[2] * c[1] + a[3] * c[0];
}

// The rotation taking orientation `from` to orientation `to`, as axis times angle in world axes.
void rotation_between(const double from[4], const double to[4], double out[3]) {
    double d[4];
    quat_conj_mul(to, from, d);
    if (d[0] < 0)
        for (double& c : d)
            c = -c;
    double s = std::sqrt(d[1] * d[1] + d[2] * d[2] + d[3] * d[3]);
    if (s < 1e-15) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    double angle = 2 * std::atan2(s, d[0]);
    for (int i = 0; i < 3; ++i)
        out[i] = d[i + 1] / s * angle;
}

void normalise_quat(const double in[4], dQuaternion out) {
    double len = std::sqrt(in[0] * in[0] + in[1] * in[1] + in[2] * in[2] + in[3] * in[3]);
    if (len < 1e-12) {
        out[0] = 1;
        out[1] = out[2] = out[3] = 0;
        return;
    }
    for (int i = 0; i < 4; ++i)
        out[i] = in[i] / len;
}

void place_bodies(Rider& rider, const RiderState& state, double pos[k_rider_bodies][3],
                  double rot[k_rider_bodies][4]) {
    ChainPose pose{};
    memcpy(pose.frame_position, state.frame_position, sizeof pose.frame_position);
    dQuaternion q;
    normalise_quat(state.frame_rotation, q);
    for (int i = 0; i < 4; ++i)
        pose.frame_rotation[i] = q[i];
    pose.steering_angle = state.steering_angle;
    pose.fork_position = state.fork_position;
    pose.swingarm_angle = state.swingarm_angle;
    pose.front_wheel_angle = state.front_wheel_angle;
    pose.rear_wheel_angle = state.rear_wheel_angle;
    chain_pose_place(rider, pose, pos, rot);
    for (int i = 0; i < 3; ++i)
        pos[BodyRider][i] = state.frame_position[i] + state.rider_offset[i];
    normalise_quat(state.rider_rotation, q);
    for (int i = 0; i < 4; ++i)
        rot[BodyRider][i] = q[i];
    for (int b = 0; b < k_rider_bodies; ++b) {
        dBodySetPosition(rider.bodies[b], pos[b][0], pos[b][1], pos[b][2]);
        dQuaternion body_q = {rot[b][0], rot[b][1], rot[b][2], rot[b][3]};
        dBodySetQuaternion(rider.bodies[b], body_q);
    }
}

// Ends a recorded crash: the rider body is put on the seat with the frame's orientation while the
// hinge is re-attached, then returned to where it was.
void end_crash(Rider& rider) {
    const BikeInfo& b = rider.bike;
    dBodyID body = rider.bodies[BodyRider];
    const dReal* p = dBodyGetPosition(body);
    double old_pos[3] = {p[0], p[1], p[2]};
    dQuaternion old_q;
    memcpy(old_q, dBodyGetQuaternion(body), sizeof old_q);
    dVector3 seat;
    dBodyGetRelPointPos(rider.bodies[BodyFrame], b.rider_position[0] - b.frame_position[0],
                        b.rider_position[1] - b.frame_position[1], b.rider_position[2] - b.frame_position[2],
                        seat);
    dBodySetPosition(body, seat[0], seat[1], seat[2]);
    dBodySetQuaternion(body, dBodyGetQuaternion(rider.bodies[BodyFrame]));
    rider_body_attach_hinge(rider);
    dBodySetPosition(body, old_pos[0], old_pos[1], old_pos[2]);
    dBodySetQuaternion(body, old_q);
    rider.crash_counter = 0;
}

// The gear, crash and throttle fields of a recorded state.
void apply_control_fields(Rider& rider, const RiderState& state) {
    if (state.gear_field == 7) {
        if (rider.crash_counter == 0) {
            feet_start(rider);
            dJointAttach(rider.joints[JointRider], nullptr, nullptr);
            rider.throttle = 0;
            rider.crash_counter = state.throttle_level * 127 / 15 + 1;
        }
        rider.throttle = 0;
        return;
    }
    if (rider.crash_counter > 0) end_crash(rider);
    rider_set_gear(rider, std::min(state.gear_field, 5));
    rider.throttle = std::clamp(state.throttle_level, 0, 15) / 15.0f;
}

void raise_pose_blend(Rider& rider, const RiderState& state) {
    if (state.gear_field == 7 || state.pose_bit)
        rider.pose_blend = std::min(1.0f, rider.pose_blend + static_cast<float>(8 * k_tick_length));
}

void limit(double v[3], double magnitude) {
    double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > magnitude)
        for (int i = 0; i < 3; ++i)
            v[i] *= magnitude / len;
}

void follow_recording(Rider& rider, const RiderState& before, const RiderState& after, double span,
                      const RiderState& current) {
    dBodyID frame = rider.bodies[BodyFrame];
    double a = rider.activity, k = 0, c = 0;
    if (a <= 0.5) {
        k = 5000 + 45000 * std::clamp((0.5 - a) * 2, 0.0, 1.0);
        c = 500;
    } else if (a <= 0.75) {
        double q = std::clamp((0.75 - a) * 4, 0.0, 1.0);
        k = 5000 * q;
        c = 500 * q;
    }
    if (k > 0 || c > 0) {
        const dReal* p = dBodyGetPosition(frame);
        const dReal* v = dBodyGetLinearVel(frame);
        double force[3];
        for (int i = 0; i < 3; ++i) {
            double recorded_v = (after.frame_position[i] - before.frame_position[i]) / (span * k_tick_length);
            force[i] = k * (current.frame_position[i] - p[i]) - c * (v[i] - recorded_v);
        }
        limit(force, k_follow_limit);
        dBodyAddForce(frame, force[0], force[1], force[2]);
        const dReal* fq = dBodyGetQuaternion(frame);
        double frame_q[4] = {fq[0], fq[1], fq[2], fq[3]}, recorded_q[4], e[3];
        dQuaternion nq;
        normalise_quat(current.frame_rotation, nq);
        for (int i = 0; i < 4; ++i)
            recorded_q[i] = nq[i];
        rotation_between(frame_q, recorded_q, e);
        const dReal* w = dBodyGetAngularVel(frame);
        double torque[3];
        for (int i = 0; i < 3; ++i)
            torque[i] = k * k_tick_length * e[i] - c * w[i];
        limit(torque, k_follow_limit);
        dBodyAddTorque(frame, torque[0], torque[1], torque[2]);
    }

    double delta = dJointGetHingeAngle(rider.joints[JointSteering]);
    double rate = dJointGetHingeAngleRate(rider.joints[JointSteering]);
    rider.steer = static_cast<float>(std::clamp((current.steering_angle - delta - rate) / 4, -1.0, 1.0));
    apply_control_fields(rider, current);
    bool crashed = rider.crash_counter > 0;
    rider.sit_dab = crashed ? 0.0f : (current.pose_bit ? 1.0f : 0.0f);
    if (crashed) {
        rider.lean = 0;
    } else {
        const BikeInfo& b = rider.bike;
        dQuaternion nq;
        normalise_quat(current.frame_rotation, nq);
        dMatrix3 r;
        dRfromQ(r, nq);
        // The recorded rider offset in the recorded frame's coordinates: R^T d.
        const double* d = current.rider_offset;
        double o[3];
        for (int col = 0; col < 3; ++col)
            o[col] = r[0 * 4 + col] * d[0] + r[1 * 4 + col] * d[1] + r[2 * 4 + col] * d[2];
        double seat_y = static_cast<double>(b.rider_position[1]) - b.frame_position[1];
        double seat_z = static_cast<double>(b.rider_position[2]) - b.frame_position[2];
        double lean = (seat_y - o[1]) * (0.5 * rider.sit_dab + 0.5) - (seat_z - o[2]);
        rider.lean = static_cast<float>(std::clamp(lean, -1.0, 1.0));
    }
    rider.engine_speed = static_cast<float>(current.rpm * k_pi / 30);
}

// A placed rider touches nothing: its wheels' contact states come from the ground height under
// them, so roost, engine sound and ruts still see it on the ground.
void wheel_contact_from_ground(const Terrain& terrain, WheelRecord& wheel) {
    const dReal* c = dBodyGetPosition(wheel.body);
    double ground = terrain_height_at(terrain, static_cast<float>(c[0]), static_cast<float>(c[2]));
    double depth = wheel.ring_radius + wheel.tube_radius - (c[1] - ground);
    if (!(depth > 0)) {
        wheel.depth = 0;
        return;
    }
    TerrainVec n = terrain_triangle_normal(terrain, static_cast<float>(c[0]), static_cast<float>(c[2]));
    double len = std::sqrt(static_cast<double>(n.x) * n.x + static_cast<double>(n.y) * n.y +
                           static_cast<double>(n.z) * n.z);
    double normal[3] = {0, 1, 0};
    if (len > 0 && n.y > 0) normal[0] = n.x / len, normal[1] = n.y / len, normal[2] = n.z / len;
    dVector3 v;
    dBodyGetPointVel(wheel.body, c[0], ground, c[2], v);
    double point[3] = {c[0], ground, c[2]};
    for (int i = 0; i < 3; ++i) {
        wheel.contact_point[i] = static_cast<float>(point[i]);
        wheel.contact_velocity[i] = static_cast<float>(v[i]);
        wheel.contact_normal[i] = static_cast<float>(normal[i]);
    }
    wheel.depth = static_cast<float>(depth);
}

void wheels_from_ground(Rider& rider) {
    if (g_terrain.heights.empty()) return;
    wheel_contact_from_ground(g_terrain, rider.front_wheel);
    wheel_contact_from_ground(g_terrain, rider.rear_wheel);
}

} // namespace

RiderState rider_capture_state(const Rider& rider) {
    RiderState s{};
    const dReal* p = dBodyGetPosition(rider.bodies[BodyFrame]);
    const dReal* q = dBodyGetQuaternion(rider.bodies[BodyFrame]);
    const dReal* rp = dBodyGetPosition(rider.bodies[BodyRider]);
    const dReal* rq = dBodyGetQuaternion(rider.bodies[BodyRider]);
    for (int i = 0; i < 3; ++i) {
        s.frame_position[i] = p[i];
        s.rider_offset[i] = rp[i] - p[i];
    }
    for (int i = 0; i < 4; ++i) {
        s.frame_rotation[i] = q[i];
        s.rider_rotation[i] = rq[i];
    }
    s.steering_angle = rider_steering_angle(rider);
    s.swingarm_angle = rider_swingarm_angle(rider);
    s.fork_position = rider_fork_position(rider);
    s.front_wheel_angle = rider_wheel_angle(rider, true);
    s.rear_wheel_angle = rider_wheel_angle(rider, false);
    s.gear_field = rider.crash_counter > 0 ? 7 : rider.gear;
    s.pose_bit = rider.pose_blend > 0;
    s.throttle_level = rider.crash_counter > 0 ? std::min((rider.crash_counter * 15 - 15) / 127, 15)
                                               : std::clamp(static_cast<int>(rider.throttle * 15), 0, 15);
    s.rpm = rider.engine_speed * 30 / k_pi;
    return s;
}

void rider_apply_history(Rider& rider, const RiderState& before, const RiderState& after, int span,
                         const RiderState& current) {
    double ticks = span < 2 ? 1.0 : static_cast<double>(span);
    if (rider.activity > k_frozen_activity) {
        follow_recording(rider, before, after, ticks, current);
        raise_pose_blend(rider, current);
        wheels_from_ground(rider);
        return;
    }
    double earlier_pos[k_rider_bodies][3], earlier_rot[k_rider_bodies][4];
    double pos[k_rider_bodies][3], rot[k_rider_bodies][4];
    place_bodies(rider, before, earlier_pos, earlier_rot);
    place_bodies(rider, after, pos, rot);
    // Both velocities are the motion over the span, per second: the change divided by the span's
    // length in seconds.
    const double seconds = ticks * k_tick_length;
    for (int b = 0; b < k_rider_bodies; ++b) {
        double w[3];
        rotation_between(earlier_rot[b], rot[b], w);
        dBodySetLinearVel(rider.bodies[b], (pos[b][0] - earlier_pos[b][0]) / seconds,
                          (pos[b][1] - earlier_pos[b][1]) / seconds,
                          (pos[b][2] - earlier_pos[b][2]) / seconds);
        dBodySetAngularVel(rider.bodies[b], w[0] / seconds, w[1] / seconds, w[2] / seconds);
    }
    place_bodies(rider, current, pos, rot);
    apply_control_fields(rider, current);
    rider.engine_speed = static_cast<float>(current.rpm * k_pi / 30);
    raise_pose_blend(rider, current);
    wheels_from_ground(rider);
}
