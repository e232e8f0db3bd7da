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
#include "sim/sim_vec.h"

struct Terrain;


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
