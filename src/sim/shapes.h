#pragma once
// Collision shapes: every part of a bike and its rider but the tyres is a small set of spheres read
// from a ".shp" file, "%d" spheres followed by seven numbers per sphere (centre x, y, z in body
// coordinates, radius, friction, contact stiffness, contact damping). Shapes are read once per run
// and cached by name; each rider works on its own copy, whose world array holds the sphere centres
// transformed to the body's pose of the current test.
#include <ode/ode.h>

#include <string>
#include <vector>

#include "sim/tyre.h"

struct DataStream;
struct Terrain;

// The most spheres a shape may have. The stock shapes have a dozen; shapes can arrive by file
// transfer, and a count beyond this is refused rather than allocated.
constexpr int k_shape_max_spheres = 256;
// The largest sphere radius and centre offset (ft) a shape may have: a part of a bike.
constexpr double k_shape_max_radius = 16;
constexpr double k_shape_max_offset = 64;

struct ShapeSphere {
    float centre[3]; // body coordinates
    float radius, friction, stiffness, damping;
};

struct CollisionShape {
    std::string name;
    std::vector<ShapeSphere> spheres;
    std::vector<SimVec> world; // centres at the body's pose of the last transform
    float bound;               // largest |centre| + radius
};

// Reads a shape from an open stream. False, with the reason in error, when the text is short or a
// number is out of range.
bool shape_parse(DataStream* stream, CollisionShape& shape, std::string& error);
// The shape of a data-relative file, loaded on first use and cached for the run (a failure too, so
// it is reported once). Null when the file cannot be opened or is malformed; the reason becomes a
// message line.
const CollisionShape* shape_load(const char* name);
// A rider's own copy; null for null. Free with shape_free.
CollisionShape* shape_copy(const CollisionShape* shape);
void shape_free(CollisionShape* shape);
// Forgets every cached shape (tests).
void shape_cache_reset();

// Places the shape's spheres at a body pose (rotation: the physics library's 3x4 row-major matrix).
void shape_transform(CollisionShape& shape, const double position[3], const double rotation[12]);

// A sphere against the terrain under it: depth = radius - distance to the nearest triangle, the
// normal from that triangle point to the centre (never downwards). False when nothing touches.
bool sphere_terrain_query(const Terrain& terrain, SimVec centre, double radius, ContactHit& hit);

// Every sphere of the shape, placed at the pose, against the terrain; with a body, each touch
// becomes a contact joint with the sphere's friction and the ground's softness. Returns whether any
// sphere touched.
bool shape_terrain_contact(CollisionShape& shape, dBodyID body, const double position[3],
                           const double rotation[12], const Terrain& terrain);
