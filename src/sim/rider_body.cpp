#include "sim/rider_body.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double k_pi = 3.14159265358979323846;

// Moves the centre of mass onto the body origin exactly. The composite parts are symmetric, so the
// shift is rounding error only; leaving it would trip the library's check.
void recentre(dMass& mass) {
    dMassTranslate(&mass, -mass.c[0], -mass.c[1], -mass.c[2]);
    mass.c[0] = mass.c[1] = mass.c[2] = 0;
}

dBodyID make_body(dWorldID world, const float* position) {
    dBodyID body = dBodyCreate(world);
    dBodySetPosition(body, position[0], position[1], position[2]);
    return body;
}

// The unit steering axis in build coordinates: from the lower fork body up to the steering head.
void steering_axis(const BikeInfo& b, double axis[3]) {
    double d[3] = {b.steering_head[0] - b.fork_lower_position[0],
                   b.steering_head[1] - b.fork_lower_position[1],
                   b.steering_head[2] - b.fork_lower_position[2]};
    double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int i = 0; i < 3; ++i)
        axis[i] = d[i] / len;
}

void quat_axis_angle(double q[4], double x, double y, double z, double angle) {
    double len = std::sqrt(x * x + y * y + z * z);
    double s = std::sin(angle / 2) / len;
    q[0] = std::cos(angle / 2);
    q[1] = x * s;
    q[2] = y * s;
    q[3] = z * s;
}

void quat_mul(const double a[4], const double b[4], double out[4]) {
    double r[4] = {a[0] * b[0] - a[1] * b[1] - a[2] * b[2] - a[3] * b[3],
                   a[0] * b[1] + a[1] * b[0] + a[2] * b[3] - a[3] * b[2],
                   a[0] * b[2] - a[1] * b[3] + a[2] * b[0] + a[3] * b[1],
                   a[0] * b[3] + a[1] * b[2] - a[2] * b[1] + a[3] * b[0]};
    memcpy(out, r, sizeof r);
}

// v rotated by the unit quaternion q.
void quat_rotate(const double q[4], const double v[3], double out[3]) {
    double p[4] = {0, v[0], v[1], v[2]};
    double conj[4] = {q[0], -q[1], -q[2], -q[3]};
    double t[4], r[4];
    quat_mul(q, p, t);
    quat_mul(t, conj, r);
    out[0] = r[1];
    out[1] = r[2];
    out[2] = r[3];
}

// base + q applied to (a - b), for build-pose points a and b.
void place(const double base[3], const double q[4], const float* a, const float* b, double out[3]) {
    double d[3] = {static_cast<double>(a[0]) - b[0], static_cast<double>(a[1]) - b[1],
                   static_cast<double>(a[2]) - b[2]};
    double r[3];
    quat_rotate(q, d, r);
    for (int i = 0; i < 3; ++i)
        out[i] = base[i] + r[i];
}

} // namespace

void wheel_mass(dMass& mass, double hub_mass, double hub_radius, double tyre_mass, double ring_radius,
                double tube_radius) {
    dMassSetSphereTotal(&mass, hub_mass, hub_radius);
    for (int k = 0; k < 16; ++k) {
        double angle = k * k_pi / 8;
        dMass part;
        dMassSetSphereTotal(&part, tyre_mass / 16, tube_radius);
        dMassTranslate(&part, 0, ring_radius * std::cos(angle), ring_radius * std::sin(angle));
        dMassAdd(&mass, &part);
    }
    recentre(mass);
}

void fork_mass(dMass& mass, const BikeInfo& b) {
    double half_width = b.fork_width / 2.0;
    dMassSetZero(&mass);
    for (int side = -1; side <= 1; side += 2) {
        dMass tube;
        dMassSetCylinderTotal(&tube, b.fork_mass / 2.0, 2, b.fork_width / 8.0, b.fork_length * 2.0 / 3.0);
        dMassTranslate(&tube, side * half_width, 0, 0);
        dMassAdd(&mass, &tube);
    }
    // The tubes were built along y; turning y towards (0, dy, dz) about x takes atan(dz/dy).
    double dy = static_cast<double>(b.steering_head[1]) - b.fork_lower_position[1];
    double dz = static_cast<double>(b.steering_head[2]) - b.fork_lower_position[2];
    dMatrix3 rotation;
    dRFromAxisAndAngle(rotation, 1, 0, 0, std::atan(dz / dy));
    dMassRotate(&mass, rotation);
    recentre(mass);
}

void swingarm_mass(dMass& mass, const BikeInfo& b) {
    double dx = static_cast<double>(b.rear_axle[0]) - b.swingarm_pivot[0];
    double dy = static_cast<double>(b.rear_axle[1]) - b.swingarm_pivot[1];
    double dz = static_cast<double>(b.rear_axle[2]) - b.swingarm_pivot[2];
    double length = std::sqrt(dx * dx + dy * dy + dz * dz);
    double side_x = b.frame_size[0] / 4.0;
    dMassSetZero(&mass);
    for (int side = -1; side <= 1; side += 2) {
        dMass box;
        dMassSetBoxTotal(&box, b.swingarm_half_mass, side_x, side_x, length);
        dMassTranslate(&box, side * b.frame_size[0] / 2.0, 0, 0);
        dMassAdd(&mass, &box);
    }
    // The boxes were built along z; turning z towards (0, dy, dz) about x takes -atan(dy/dz).
    dMatrix3 rotation;
    dRFromAxisAndAngle(rotation, 1, 0, 0, -std::atan(dy / dz));
    dMassRotate(&mass, rotation);
    recentre(mass);
}

double rider_spring_scale(const Rider& rider) {
    return rider.bike.rider_mass * 0.21333334;
}

void rider_body_set_masses(Rider& rider) {
    const BikeInfo& b = rider.bike;
    double share = rider.setup.rider_mass_share;
    double total = 0;
    dMass m;
    dMassSetBoxTotal(&m, b.frame_mass + (1 - share) * b.rider_mass, b.frame_size[0], b.frame_size[1],
                     b.frame_size[2]);
    dBodySetMass(rider.bodies[BodyFrame], &m);
    total += m.mass;
    wheel_mass(m, b.front_hub_mass, b.front_hub_radius, b.front_tyre_mass, b.front_tyre_ring_radius,
               b.front_tyre_tube_radius);
    dBodySetMass(rider.bodies[BodyFrontWheel], &m);
    total += m.mass;
    wheel_mass(m, b.rear_hub_mass, b.rear_hub_radius, b.rear_tyre_mass, b.rear_tyre_ring_radius,
               b.rear_tyre_tube_radius);
    dBodySetMass(rider.bodies[BodyRearWheel], &m);
    total += m.mass;
    fork_mass(m, b);
    dBodySetMass(rider.bodies[BodyForkUpper], &m);
    dBodySetMass(rider.bodies[BodyForkLower], &m);
    total += 2 * m.mass;
    swingarm_mass(m, b);
    dBodySetMass(rider.bodies[BodySwingarm], &m);
    total += m.mass;
    dMassSetSphereTotal(&m, share * b.rider_mass, 1);
    dBodySetMass(rider.bodies[BodyRider], &m);
    total += m.mass;
    rider.total_mass = total;
}

void rider_body_soften_hinge(Rider& rider) {
    dJointID hinge = rider.joints[JointRider];
    if (!hinge) return;
    dJointSetHinge2Param(hinge, dParamSuspensionERP, 0);
    dJointSetHinge2Param(hinge, dParamSuspensionCFM,
                         1.0 /
                             ((rider.setup.rider_forward_damping * 30.0 + 5.0) * rider_spring_scale(rider)));
}

void rider_body_attach_hinge(Rider& rider) {
    const BikeInfo& b = rider.bike;
    dJointID hinge = rider.joints[JointRider];
    dJointAttach(hinge, rider.bodies[BodyRider], rider.bodies[BodyFrame]);
    // The anchor and axes are fixed in the frame's coordinates, so the hinge re-attaches in the
    // frame's present pose.
    dVector3 anchor, axis1, axis2;
    dBodyGetRelPointPos(rider.bodies[BodyFrame], 0.0 - b.frame_position[0],
                        b.rider_position[1] - b.frame_position[1], k_rider_anchor_ahead - b.frame_position[2],
                        anchor);
    dBodyVectorToWorld(rider.bodies[BodyFrame], 0, 1, 1, axis1);
    dBodyVectorToWorld(rider.bodies[BodyFrame], 1, 0, 0, axis2);
    dJointSetHinge2Anchor(hinge, anchor[0], anchor[1], anchor[2]);
    dJointSetHinge2Axes(hinge, axis1, axis2);
    dJointSetHinge2Param(hinge, dParamLoStop, 0);
    dJointSetHinge2Param(hinge, dParamHiStop, 0);
    rider_body_soften_hinge(rider);
}

void rider_body_build(Rider& rider, dWorldID world) {
    const BikeInfo& b = rider.bike;
    dBodyID* body = rider.bodies;
    body[BodyFrame] = make_body(world, b.frame_position);
    body[BodyFrontWheel] = make_body(world, b.front_axle);
    body[BodyRearWheel] = make_body(world, b.rear_axle);
    body[BodyForkUpper] = make_body(world, b.steering_head);
    body[BodyForkLower] = make_body(world, b.fork_lower_position);
    body[BodySwingarm] = make_body(world, b.swingarm_position);
    body[BodyRider] = make_body(world, b.rider_position);
    for (int i = 0; i < k_rider_bodies; ++i)
        dBodySetData(body[i], &rider);
    rider_body_set_masses(rider);
    dBodySetFiniteRotationMode(body[BodyFrontWheel], 1);
    dBodySetFiniteRotationMode(body[BodyRearWheel], 1);

    double axis[3];
    steering_axis(b, axis);
    dJointID* joint = rider.joints;
    joint[JointFrontAxle] = dJointCreateHinge(world, nullptr);
    dJointAttach(joint[JointFrontAxle], body[BodyForkLower], body[BodyFrontWheel]);
    dJointSetHingeAnchor(joint[JointFrontAxle], b.front_axle[0], b.front_axle[1], b.front_axle[2]);
    dJointSetHingeAxis(joint[JointFrontAxle], 1, 0, 0);

    joint[JointRearAxle] = dJointCreateHinge(world, nullptr);
    dJointAttach(joint[JointRearAxle], body[BodySwingarm], body[BodyRearWheel]);
    dJointSetHingeAnchor(joint[JointRearAxle], b.rear_axle[0], b.rear_axle[1], b.rear_axle[2]);
    dJointSetHingeAxis(joint[JointRearAxle], 1, 0, 0);

    joint[JointSteering] = dJointCreateHinge(world, nullptr);
    dJointAttach(joint[JointSteering], body[BodyForkUpper], body[BodyFrame]);
    dJointSetHingeAnchor(joint[JointSteering], b.steering_head[0], b.steering_head[1], b.steering_head[2]);
    dJointSetHingeAxis(joint[JointSteering], axis[0], axis[1], axis[2]);
    dJointSetHingeParam(joint[JointSteering], dParamLoStop, -k_steering_lock);
    dJointSetHingeParam(joint[JointSteering], dParamHiStop, k_steering_lock);

    joint[JointFork] = dJointCreateSlider(world, nullptr);
    dJointAttach(joint[JointFork], body[BodyForkUpper], body[BodyForkLower]);
    dJointSetSliderAxis(joint[JointFork], axis[0], axis[1], axis[2]);
    dJointSetSliderParam(joint[JointFork], dParamBounce, 0);
    dJointSetSliderParam(joint[JointFork], dParamLoStop, -b.fork_travel);
    dJointSetSliderParam(joint[JointFork], dParamHiStop, 0);

    joint[JointSwingarm] = dJointCreateHinge(world, nullptr);
    dJointAttach(joint[JointSwingarm], body[BodySwingarm], body[BodyFrame]);
    dJointSetHingeAnchor(joint[JointSwingarm], b.swingarm_pivot[0], b.swingarm_pivot[1], b.swingarm_pivot[2]);
    dJointSetHingeAxis(joint[JointSwingarm], 1, 0, 0);
    dJointSetHingeParam(joint[JointSwingarm], dParamBounce, 0);
    dJointSetHingeParam(joint[JointSwingarm], dParamLoStop, -b.swingarm_travel);
    dJointSetHingeParam(joint[JointSwingarm], dParamHiStop, 0);

    joint[JointRider] = dJointCreateHinge2(world, nullptr);
    rider_body_attach_hinge(rider);

    for (int j = 0; j < k_rider_joints; ++j)
        dJointSetFeedback(joint[j], &rider.joint_feedback[j]);
}

void rider_body_destroy(Rider& rider) {
    for (dJointID& joint : rider.joints) {
        if (joint) dJointDestroy(joint);
        joint = nullptr;
    }
    for (dBodyID& body : rider.bodies) {
        if (body) dBodyDestroy(body);
        body = nullptr;
    }
}

void chain_pose_place(const Rider& rider, const ChainPose& pose, double pos[k_rider_bodies][3],
                      double rot[k_rider_bodies][4]) {
    const BikeInfo& b = rider.bike;
    double axis[3];
    steering_axis(b, axis);
    double turn[4];

    memcpy(pos[BodyFrame], pose.frame_position, sizeof pos[0]);
    memcpy(rot[BodyFrame], pose.frame_rotation, sizeof rot[0]);
    const double* qf = rot[BodyFrame];

    // Joint angles are those of the first body of each joint relative to the second.
    quat_axis_angle(turn, axis[0], axis[1], axis[2], pose.steering_angle);
    quat_mul(qf, turn, rot[BodyForkUpper]);
    place(pos[BodyFrame], qf, b.steering_head, b.frame_position, pos[BodyForkUpper]);

    memcpy(rot[BodyForkLower], rot[BodyForkUpper], sizeof rot[0]);
    float lower_local[3];
    for (int i = 0; i < 3; ++i)
        lower_local[i] = static_cast<float>(b.fork_lower_position[i] - pose.fork_position * axis[i]);
    place(pos[BodyForkUpper], rot[BodyForkUpper], lower_local, b.steering_head, pos[BodyForkLower]);

    quat_axis_angle(turn, 1, 0, 0, -pose.front_wheel_angle);
    quat_mul(rot[BodyForkLower], turn, rot[BodyFrontWheel]);
    place(pos[BodyForkLower], rot[BodyForkLower], b.front_axle, b.fork_lower_position, pos[BodyFrontWheel]);

    double pivot[3];
    place(pos[BodyFrame], qf, b.swingarm_pivot, b.frame_position, pivot);
    quat_axis_angle(turn, 1, 0, 0, pose.swingarm_angle);
    quat_mul(qf, turn, rot[BodySwingarm]);
    place(pivot, rot[BodySwingarm], b.swingarm_position, b.swingarm_pivot, pos[BodySwingarm]);

    quat_axis_angle(turn, 1, 0, 0, -pose.rear_wheel_angle);
    quat_mul(rot[BodySwingarm], turn, rot[BodyRearWheel]);
    place(pivot, rot[BodySwingarm], b.rear_axle, b.swingarm_pivot, pos[BodyRearWheel]);
}
