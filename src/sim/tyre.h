#pragma once
// Tyre contact: each tyre is a torus (ring radius R around the axle, tube radius r) tested exactly
// against the terrain's triangles, and the tyre model that turns a touch into one contact joint:
// friction from the tile under the wheel by speed, a progressively stiffer tyre as it compresses,
// friction directions set across the slip, and rolling resistance.
//
// Everything here runs for every wheel of every simulated rider every tick: it allocates nothing,
// and no input (degenerate geometry, positions outside the grid or not numbers) yields a contact
// whose point, normal or depth is not a finite number.
#include <cmath>

#include "sim/rider.h"

struct Terrain;

// A small double-precision vector for the contact geometry.
struct SimVec {
    double x, y, z;
};
inline SimVec operator+(SimVec a, SimVec b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline SimVec operator-(SimVec a, SimVec b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline SimVec operator*(SimVec a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline SimVec operator-(SimVec a) {
    return {-a.x, -a.y, -a.z};
}
inline double dot(SimVec a, SimVec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline SimVec cross(SimVec a, SimVec b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(SimVec a) {
    return std::sqrt(dot(a, a));
}
inline bool finite(SimVec a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}
// a / |a|, or the fallback when a is too short (or not finite) to have a direction.
inline SimVec normalised_or(SimVec a, SimVec fallback) {
    double len = length(a);
    if (!(len > 1e-12) || !std::isfinite(len)) return fallback;
    return a * (1 / len);
}

// A contact found by a query: where, along which unit normal (pointing from the ground or the
// other object towards the tested one), and how deep (above 0 while touching).
struct ContactHit {
    SimVec point;
    SimVec normal;
    double depth;
};

// The kinds of torus-triangle contact, for tests and diagnostics.
enum TorusCase { TorusNone, TorusFace, TorusCrossing, TorusEdgeCut, TorusDeep, TorusDistance };

// One triangle (corners in the order that makes (v1 - v0) x (v2 - v0) point up) against the torus of
// centre c, unit axle a, ring radius R and tube radius r. Fills hit whatever the depth (it may be
// zero or negative: no touch) and returns the case that decided it. The normal is the raw one,
// before the terrain query's clean-up of downward normals.
TorusCase torus_triangle_contact(const SimVec v[3], SimVec c, SimVec a, double R, double r, ContactHit& hit);

// The point of the circle (centre c, unit axis a, radius R) nearest to y. For y on the axis every
// circle point is equally near; a fixed one is chosen.
SimVec circle_nearest_point(SimVec c, SimVec a, double R, SimVec y);
// Least distance between the circle and the segment p-q (ends included), with the two nearest
// points.
double circle_segment_distance(SimVec c, SimVec a, double R, SimVec p, SimVec q, SimVec& on_circle,
                               SimVec& on_segment);

// The torus against the terrain under it: the deepest triangle wins; its normal is cleaned up so it
// never points downwards. False when nothing touches.
bool torus_terrain_query_at(const Terrain& terrain, SimVec c, SimVec a, double R, double r, ContactHit& hit);
// The same for a wheel at its body's current pose.
bool torus_terrain_query(const Terrain& terrain, const WheelRecord& wheel, ContactHit& hit);

// The tyre's softness at a depth: q = min(1, depth / r), kp = 24000 q^3 + 1000, kd = 2300 q^3 + 200.
void tyre_softness(double depth, double tube_radius, double& kp, double& kd);

// Tests the wheel against the terrain; on a touch stores the contact in the wheel record, creates
// this step's contact joint (with the wheel's feedback record attached) and adds the rolling
// resistance to the wheel body. grip scales the tile's friction. False (and depth 0) otherwise.
bool wheel_terrain_contact(const Terrain& terrain, WheelRecord& wheel, double grip);

// The load the tyre carried along its contact normal in the last step (lbf), 0 when not touching.
double wheel_tyre_load(const WheelRecord& wheel);
