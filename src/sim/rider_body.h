#pragma once
// The rigid-body model of one rider: the seven bodies with their composite masses, the six joints
// with their stops, and the placement of the bodies (build pose, rotation, forward kinematics).
#include <ode/ode.h>

#include "sim/rider.h"

// The composite masses, each centred on its body's origin. Computed in double precision and
// re-centred, so the physics library's centre-of-mass check cannot fire.
void wheel_mass(dMass& mass, double hub_mass, double hub_radius, double tyre_mass, double ring_radius,
                double tube_radius);
void fork_mass(dMass& mass, const BikeInfo& bike);
void swingarm_mass(dMass& mass, const BikeInfo& bike);

// Creates the bodies and joints in the world at the build pose (bodies, joints and feedback).
void rider_body_build(Rider& rider, dWorldID world);
// Destroys the bodies and joints.
void rider_body_destroy(Rider& rider);
// Sets every body's mass from the BikeInfo and the mass share, and the total mass.
void rider_body_set_masses(Rider& rider);
// The rider hinge's suspension softness from the forward damping.
void rider_body_soften_hinge(Rider& rider);
// Attaches the rider hinge between the rider body and the frame as they stand now.
void rider_body_attach_hinge(Rider& rider);
// The rider's weight in 150-lb units, the scale of the rider springs.
double rider_spring_scale(const Rider& rider);

// A pose of the bike given by the frame and the joint values; the other bodies follow the joint
// chain, each keeping its build-pose offset.
struct ChainPose {
    double frame_position[3];
    double frame_rotation[4]; // quaternion w, x, y, z
    double steering_angle, fork_position, swingarm_angle, front_wheel_angle, rear_wheel_angle;
};
// World position and orientation (quaternion) of each of the six bike bodies (all but the rider
// body, whose entry is left untouched) for a chain pose.
void chain_pose_place(const Rider& rider, const ChainPose& pose, double positions[k_rider_bodies][3],
                      double rotations[k_rider_bodies][4]);
