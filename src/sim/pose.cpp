#include "sim/pose.h"

#include <algorithm>
#include <cmath>

#include "sim/falls.h"
#include "sim/rider.h"
#include "sim/sim_vec.h"

namespace {

SimVec from(const double p[3]) {
    return {p[0], p[1], p[2]};
}
SimVec from(const float p[3]) {
    return {p[0], p[1], p[2]};
}

// Below this length (ft) a vector has no usable direction.
constexpr double k_no_direction = 1e-9;

const SimVec k_world_axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

// v normalised, or the (unit) fallback when v has no usable direction (also when v is not finite).
SimVec unit_or(SimVec v, SimVec fallback) {
    double l = length(v);
    if (!(l > k_no_direction) || !std::isfinite(l)) return fallback;
    return v * (1 / l);
}

// A unit vector perpendicular to the unit axis: whichever of the three orthonormal axes is least
// aligned with it, made perpendicular. That axis keeps at least sqrt(2/3) of its length, so the
// result is always well defined.
SimVec perpendicular(SimVec axis, const SimVec axes[3]) {
    int best = 0;
    for (int i = 1; i < 3; ++i)
        if (std::fabs(dot(axes[i], axis)) < std::fabs(dot(axes[best], axis))) best = i;
    SimVec p = axes[best] - axis * dot(axes[best], axis);
    return unit_or(p, axes[(best + 1) % 3]);
}

// v normalised when it has a direction, else a unit vector perpendicular to the unit axis. Callers
// pass a v that is a cross product with that axis, so the result is perpendicular to it either way,
// which keeps the rotations built from it orthonormal.
SimVec unit_perpendicular(SimVec v, SimVec axis, const SimVec axes[3]) {
    double l = length(v);
    if (!(l > k_no_direction) || !std::isfinite(l)) return perpendicular(axis, axes);
    return v * (1 / l);
}

SimVec body_point(dBodyID body, SimVec p) {
    dVector3 w;
    dBodyGetRelPointPos(body, p.x, p.y, p.z, w);
    return {w[0], w[1], w[2]};
}

SimVec body_vector(dBodyID body, SimVec v) {
    dVector3 w;
    dBodyVectorToWorld(body, v.x, v.y, v.z, w);
    return {w[0], w[1], w[2]};
}

SimVec joint_of(SimVec root, SimVec end, double first, double second, SimVec hint) {
    double a[3] = {root.x, root.y, root.z}, b[3] = {end.x, end.y, end.z}, h[3] = {hint.x, hint.y, hint.z};
    double j[3];
    two_bone_joint(a, b, first, second, h, j);
    return from(j);
}

void put(float out[3], SimVec v) {
    out[0] = static_cast<float>(v.x);
    out[1] = static_cast<float>(v.y);
    out[2] = static_cast<float>(v.z);
}

void put_rotation(float out[9], SimVec c0, SimVec c1, SimVec c2) {
    put(out, c0);
    put(out + 3, c1);
    put(out + 6, c2);
}

// The joint each bone turns about in the rest (T-pose) model.
constexpr float k_rest_centre[k_pose_bones][3] = {
    {-1.456f, 0.875f, 0.01f}, {1.456f, 0.875f, 0.01f},   {-0.556f, 0.875f, 0.01f},
    {0.556f, 0.875f, 0.01f},  {-0.269f, -2.208f, 0.01f}, {0.269f, -2.208f, 0.01f},
    {-0.269f, -0.88f, 0.01f}, {0.269f, -0.88f, 0.01f},   {0.0f, -0.88f, 0.01f}};

// Indices into the BikeInfo's rider points.
enum RiderPoint {
    PointNeck,
    PointLeftShoulder,
    PointRightShoulder,
    PointLeftHip,
    PointRightHip,
    PointLeftGrip,
    PointRightGrip
};

} // namespace

void two_bone_joint(const double root[3], const double end[3], double first, double second,
                    const double hint[3], double joint[3]) {
    const SimVec a = from(root), b = from(end), toward = from(hint) - a;
    const double p = std::fabs(first), q = std::fabs(second);
    SimVec result = a;
    const double d = length(b - a);
    if (!(p + q > 0)) {
        // No limb: the joint stays at the root.
    } else if (!(d > k_no_direction)) {
        // The end is on the root: the limb folds back on itself, its joint towards the hint
        // (straight down when the hint is on the root as well).
        result = a + unit_or(toward, {0, -1, 0}) * p;
    } else {
        const SimVec u = (b - a) * (1 / d);
        // Held below full stretch, and no nearer than the bones can fold, so the square root's
        // argument cannot go negative.
        const double reach =
            std::max(std::min(d, 0.95 * (p + q)), std::max(std::fabs(p - q), 1e-6 * (p + q)));
        const double along = (reach * reach + p * p - q * q) / (2 * reach);
        const double out = std::sqrt(std::max(0.0, p * p - along * along));
        // The bend goes towards the hint; a hint on the reach line leaves the side free, and any
        // perpendicular serves.
        const SimVec side = unit_perpendicular(toward - u * dot(toward, u), u, k_world_axes);
        result = a + u * along + side * out;
    }
    joint[0] = result.x;
    joint[1] = result.y;
    joint[2] = result.z;
}

RiderPose rider_pose(const Rider& rider) {
    RiderPose pose{};
    const BikeInfo& bike = rider.bike;
    dBodyID body = rider.bodies[BodyRider];
    dBodyID fork = rider.bodies[BodyForkUpper];
    auto point = [&](int i) { return from(bike.rider_points[i]); };
    const SimVec axes[3] = {body_vector(body, {1, 0, 0}), body_vector(body, {0, 1, 0}),
                        body_vector(body, {0, 0, 1})};

    const SimVec shoulder_local[2] = {point(PointLeftShoulder), point(PointRightShoulder)};
    const SimVec hip_local[2] = {point(PointLeftHip), point(PointRightHip)};
    const SimVec shoulder[2] = {body_point(body, shoulder_local[0]), body_point(body, shoulder_local[1])};
    const SimVec hip[2] = {body_point(body, hip_local[0]), body_point(body, hip_local[1])};
    const SimVec grip[2] = {body_point(fork, point(PointLeftGrip)), body_point(fork, point(PointRightGrip))};
    const SimVec mid_shoulder_local = (shoulder_local[0] + shoulder_local[1]) * 0.5;
    const SimVec mid_hip_local = (hip_local[0] + hip_local[1]) * 0.5;
    const SimVec mid_hip = body_point(body, mid_hip_local);
    const SimVec torso = body_vector(body, mid_shoulder_local - mid_hip_local);
    const double upper_arm = bike.rider_lengths[0], forearm = bike.rider_lengths[1];
    const double thigh = bike.rider_lengths[2], shin = bike.rider_lengths[3];

    // Arms. The elbows drop below the shoulders and reach back and outwards; the shoulder that sits
    // lower drops its elbow further, and the throttle hand's elbow drops as the throttle opens.
    const double rise = shoulder[1].y - shoulder[0].y;
    const SimVec grips = grip[1] - grip[0];
    const SimVec sl = shoulder_local[0], sr = shoulder_local[1];
    const SimVec elbow_hint[2] = {
        body_point(body, {sl.x - 0.5, sl.y - (1.5 * std::max(rise, 0.0) + 1), sl.z + 2}) - grips,
        body_point(body, {sr.x + 0.5, sr.y - (0.125 * rider.throttle + 1.5 * std::max(-rise, 0.0) + 0.9),
                          sr.z + 2}) +
            grips};
    SimVec elbow[2];
    for (int i = 0; i < 2; ++i)
        elbow[i] = joint_of(shoulder[i], grip[i], upper_arm, forearm, elbow_hint[i]);

    // Upper arms: x along the arm (outwards in the rest model), z across the torso.
    for (int i = 0; i < 2; ++i) {
        SimVec c0 = unit_or(i == 0 ? shoulder[0] - elbow[0] : elbow[1] - shoulder[1], axes[0]);
        SimVec c2 = unit_perpendicular(cross(c0, torso), c0, axes);
        SimVec c1 = cross(c2, c0);
        BonePlacement& bone = pose.bones[BoneLeftUpperArm + i];
        put(bone.translation, shoulder[i]);
        put_rotation(bone.rotation, c0, c1, c2);
    }
    // Forearms: x along the forearm, y across the grip line.
    for (int i = 0; i < 2; ++i) {
        SimVec c0 = unit_or(i == 0 ? elbow[0] - grip[0] : grip[1] - elbow[1], axes[0]);
        SimVec c1 = unit_perpendicular(cross(i == 0 ? grip[0] - grip[1] : grips, c0), c0, axes);
        SimVec c2 = cross(c0, c1);
        BonePlacement& bone = pose.bones[BoneLeftForearm + i];
        put(bone.translation, elbow[i]);
        put_rotation(bone.rotation, c0, c1, c2);
    }

    // Legs, to the foot points of the falls model. The knees bend forwards and outwards.
    const FootPose feet = foot_pose(rider);
    const SimVec across = hip[1] - hip[0];
    for (int i = 0; i < 2; ++i) {
        const SimVec h = hip_local[i];
        const SimVec knee_hint = body_point(body, {h.x + (i == 0 ? -0.5 : 0.5), h.y, h.z - 2});
        const SimVec foot = from(feet.foot[i]);
        const SimVec knee = joint_of(hip[i], foot, thigh, shin, knee_hint);

        // Thigh: y up the thigh, z across the hips.
        SimVec c1 = unit_or(hip[i] - knee, axes[1]);
        SimVec c2 = unit_perpendicular(cross(across, c1), c1, axes);
        SimVec c0 = cross(c1, c2);
        BonePlacement& upper = pose.bones[BoneLeftThigh + i];
        put(upper.translation, hip[i]);
        put_rotation(upper.rotation, c0, c1, c2);

        // Shin: y up the shin; a foot on the peg twists it with the hips, a foot on the ground
        // with the leg's own plane.
        c1 = unit_or(knee - foot, axes[1]);
        SimVec normal = cross(hip[i] - knee, foot - knee);
        SimVec twist = dot(normal, normal) >= 0.001 ? across + (normal - across) * feet.weight[i] : across;
        c2 = unit_perpendicular(cross(twist, c1), c1, axes);
        c0 = cross(c1, c2);
        BonePlacement& lower = pose.bones[BoneLeftShin + i];
        put(lower.translation, knee);
        put_rotation(lower.rotation, c0, c1, c2);
    }

    // Pelvis and torso: the rider body's own x, y along the spine.
    {
        SimVec c0 = axes[0];
        SimVec c1 = unit_or(torso - c0 * dot(torso, c0), axes[1]);
        SimVec c2 = cross(c0, c1);
        BonePlacement& bone = pose.bones[BoneTorso];
        put(bone.translation, mid_hip);
        put_rotation(bone.rotation, c0, c1, c2);
    }

    for (int i = 0; i < k_pose_bones; ++i)
        for (int a = 0; a < 3; ++a)
            pose.bones[i].centre[a] = k_rest_centre[i][a];
    return pose;
}

HeadPose head_pose(const Rider& rider) {
    HeadPose head{};
    dBodyID body = rider.bodies[BodyRider];
    const SimVec axes[3] = {body_vector(body, {1, 0, 0}), body_vector(body, {0, 1, 0}),
                        body_vector(body, {0, 0, 1})};
    const SimVec up = axes[1], back = axes[2];
    put(head.position, body_point(body, from(rider.bike.rider_points[PointNeck])));

    // Look ahead along the motion, forwards when slow; moving backwards does not turn the head round.
    SimVec v = from(dBodyGetLinearVel(body));
    const double backwards = dot(v, back);
    if (backwards >= 0) v = v - back * backwards;
    SimVec d = back - v;
    const double dl = length(d);
    if (dl < 32) {
        const double s = dl / 32;
        d.x = back.x + (d.x - back.x) * s;
        d.z = back.z + (d.z - back.z) * s;
    }

    // Horizontal look direction with a downward tilt that grows with the distance looked ahead.
    const double flat = std::sqrt(d.x * d.x + d.z * d.z);
    SimVec look;
    if (flat > k_no_direction) {
        const double lift = std::max(0.0, (60 - flat) * flat * 0.0058333334) + 0.25 * flat;
        look = unit_or({d.x, lift, d.z}, {0, 1, 0});
    } else {
        // The body's forward axis is vertical and there is no horizontal motion to look along:
        // look the way the top of the head points (face down) or towards the feet (on the back),
        // with the tilt the formula above reaches as the look distance goes to zero.
        SimVec h = up * -back.y;
        h.y = 0;
        h = unit_or(h, {0, 0, 1});
        look = unit_or({h.x, 0.6, h.z}, {0, 1, 0});
    }

    // The neck's limits, as two unit vectors of the body: the head's up stays near a, and the look
    // near b.
    const SimVec a = (up * 1.5 - back) * 0.5547002, b = (up * 1.5 + back) * 0.5547002;
    SimVec head_up = {0, 1, 0};
    const SimVec off_up = head_up - a;
    const double off_up_length = length(off_up);
    if (off_up_length > 0.5) head_up = a + off_up * (0.5 / off_up_length);
    SimVec look1 = look + a * (2 * dot(look, a));
    const SimVec off_look = look1 - b;
    const double off_look_length = length(off_look);
    if (off_look_length > 0.75) look1 = b + off_look * (0.75 / off_look_length);
    const SimVec look2 = look1 - a * ((2.0 / 3.0) * dot(look1, a));

    const SimVec c2 = unit_or(look2, back);
    const SimVec c0 = unit_perpendicular(cross(head_up, c2), c2, axes);
    const SimVec c1 = cross(c2, c0);
    put_rotation(head.rotation, c0, c1, c2);
    return head;
}
