#pragma once
// The contact pass that runs before each world step: every simulated rider against the terrain, the
// track objects and the other riders. Each touch becomes, for exactly one step, a contact joint in
// the contact group (or, between riders already in contact with someone else this tick, a pair of
// forces), with softness and friction chosen here. Also the blame of who struck whom, and the rut
// marks the tyres leave for terrain deformation.
//
// Allocation-free: the pass runs for up to 160 riders 128 times a second.
#include <ode/ode.h>

#include <cstdint>

#include "sim/rider.h"
#include "sim/tyre.h"

struct CollisionShape;
struct Terrain;

// Flags of a rider's parts (also 1 << body index).
enum ContactPart : int {
    PartFrame = 0x01,
    PartFrontWheel = 0x02,
    PartRearWheel = 0x04,
    PartForkUpper = 0x08,
    PartForkLower = 0x10,
    PartSwingarm = 0x20,
    PartRider = 0x40,
};

// How a touch between two movable things is applied.
enum ContactMode { ContactJoint, ContactForce, ContactTest };

// Speeds that decide crashes and blame (ft/s).
constexpr double k_upside_down_crash_speed = 5;
constexpr double k_object_crash_speed = 20;
constexpr double k_blame_fast_speed = 10;
constexpr double k_blame_moving_speed = 5;
// The clamp of a force-mode contact force (lbf).
constexpr double k_contact_force_limit = 1000;
// Shapes against the terrain use these, not the spheres' own stiffness and damping.
constexpr double k_shape_ground_kp = 2500, k_shape_ground_kd = 250;
// A tyre against another rider or an object.
constexpr double k_tyre_hit_friction = 1, k_tyre_hit_kp = 25000, k_tyre_hit_kd = 2500;

// Counters of the contact code (reset with contact_reset_state): what a test or the harness can ask
// about a pass.
struct ContactStats {
    long joints;            // contact joints created
    long rejected;          // contacts dropped because a number was not finite
    long forces;            // force-mode contacts applied
    long crash_requests;    // crashes the contact code asked for
    long rut_marks_applied; // rut marks that reached the terrain edit
};
extern ContactStats g_contact_stats;
void contact_reset_state();

// The world step the contacts being made now are for (the next one).
long long contact_step_now();

// Creates one contact joint for the coming step between body a (touched from the side the normal
// points to) and body b; null stands for the static world, and so does a disabled body, so a
// frozen rider is never moved or woken by a joint. mu is the friction, kp and kd a spring stiffness
// and damping (turned into the step's ERP and CFM); fdir, when given, is the first friction
// direction. Nothing is created when both sides are static or any number is not finite. With
// feedback, the joint's forces are written there by the step.
dJointID contact_joint_create(dBodyID a, dBodyID b, SimVec point, SimVec normal, double depth, double mu,
                              double kp, double kd, const SimVec* fdir, dJointFeedback* feedback);

// Loads the rider's collision shapes (a copy of each per rider) and clears its contact bookkeeping.
// Called by rider_create; a part whose shape does not load takes part in no collision.
void contact_rider_attach(Rider& rider);
// Frees the rider's shape copies. Called by rider_destroy.
void contact_rider_detach(Rider& rider);

// This tick's terrain contacts for one rider (wheels, then every shaped part but the wheels). Returns
// the flags of the parts that touched (ContactPart).
int rider_contacts_on(const Terrain& terrain, Rider& rider);
// The same on the loaded terrain.
int rider_contacts(Rider& rider);

// While crashed: the rider body's shape against its own frame's and fork upper's shapes, in joint
// mode (the loose rider lies on its bike rather than in it). Returns the flags of the bike parts
// that touched.
int rider_self_contacts(Rider& rider);

// True when a should come before b in the collision set: faster frame first.
bool rider_compare(const Rider* a, const Rider* b);
// Sorts a collision set with rider_compare (insertion sort: no allocation, sets are small and
// mostly in order from one tick to the next).
void collision_set_sort(Rider** set, int count);

// Every part of the faster rider a against every part of rider b. Online (b is a network rider) the
// hits of b's front wheel and fork against a are only reported. Returns the flags of b's parts that
// touched. Applies blame through recovery_timer and stamps both riders' contact ticks.
int rider_rider_contacts(Rider& a, Rider& b, bool online);

// A track object as the contact code needs it: a body (or none for a fixed object), its pose and its
// collision shape.
struct ContactObject {
    dBodyID body;
    double position[3];
    double rotation[12]; // the physics library's 3x4 row-major rotation
    CollisionShape* shape;
};

// The rider's parts against one object, in joint mode. Returns the flags of the rider's parts that
// touched (PartRider = its own body).
int rider_object_contacts(Rider& rider, const ContactObject& object);

// The world tick's contact step, offline: every simulated (not Replayed) rider is tested against the
// terrain and the given objects, joins the collision set, and every pair of the sorted set is tested.
// Returns the number of riders in the set.
int world_contacts(const ContactObject* objects, int object_count);

// The contact step online: the local rider against the terrain and the objects, then, unless the
// server is warming up, against each network rider given (the eligible ones, sorted here fastest
// first, the local rider as the first of each pair). A network rider that touches it is handed to
// local simulation (rider_touch); one already under local simulation also meets the terrain and
// the objects. Returns how many network riders touched.
int world_contacts_online(Rider& local, Rider** network, int network_count, const ContactObject* objects,
                          int object_count, bool warm_up);

// Rut marks, once per tick after the world step for every simulated rider, when erosion is above 0:
// records the wheels' marks into the rider's rut ring, then applies up to four old ones that the
// rider has left at least 10 ft behind.
void rut_record(const Terrain& terrain, Rider& rider);
void rut_apply(Terrain& terrain, Rider& rider, float erosion);
// How many marks wait in the ring.
int rut_count(const Rider& rider);
