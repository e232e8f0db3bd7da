#include "sim/contact.h"

#include <algorithm>
#include <cmath>

#include "core/main_loop.h"
#include "race/race.h"
#include "sim/falls.h"
#include "sim/physics_world.h"
#include "sim/shapes.h"
#include "sim/tyre.h"
#include "track/terrain.h"

ContactStats g_contact_stats{};

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr int k_front_parts = PartFrontWheel | PartForkLower;
constexpr int k_wheel_parts = PartFrontWheel | PartRearWheel;
// Bodies whose shapes meet the terrain (the wheels meet it as tori instead).
constexpr RiderBody k_ground_shape_bodies[5] = {BodyFrame, BodyForkUpper, BodyForkLower, BodySwingarm,
                                                BodyRider};
// The order in which a rider's parts are tested against another's.
constexpr RiderBody k_part_order[7] = {BodyFrontWheel, BodyRearWheel, BodyFrame, BodyForkUpper,
                                       BodyForkLower,  BodySwingarm,  BodyRider};
// A rider mark is applied once the rider is this far (ft) from it, so the rider never rides its own
// fresh rut.
constexpr double k_rut_apply_distance = 10;
constexpr int k_rut_marks_per_tick = 4;
// The most contact joints one pair of riders (or a rider and an object) gets in a step; further
// touches of the pair are applied as forces. Two riders lying in each other would otherwise join
// hundreds of sphere pairs into one island, and the exact stepper's cost grows with its cube.
constexpr int k_pair_joint_limit = 8;

// Joints left for the pair being tested.
int g_pair_joints_left = k_pair_joint_limit;

SimVec body_position(dBodyID body) {
    const dReal* p = dBodyGetPosition(body);
    return SimVec{p[0], p[1], p[2]};
}

SimVec body_point_velocity(dBodyID body, SimVec point) {
    if (!body) return SimVec{0, 0, 0};
    dVector3 v;
    dBodyGetPointVel(body, point.x, point.y, point.z, v);
    return SimVec{v[0], v[1], v[2]};
}

SimVec body_velocity(dBodyID body) {
    if (!body) return SimVec{0, 0, 0};
    const dReal* v = dBodyGetLinearVel(body);
    return SimVec{v[0], v[1], v[2]};
}

bool wheel_body(int body) {
    return body == BodyFrontWheel || body == BodyRearWheel;
}

WheelRecord& wheel_of(Rider& rider, int body) {
    return body == BodyFrontWheel ? rider.front_wheel : rider.rear_wheel;
}

// A crash the contact code has decided on.
void request_crash(Rider& rider) {
    if (rider.crash_counter > 0 || rider.recovery_timer < 0) return;
    ++g_contact_stats.crash_requests;
    crash_start(rider);
}

// The rider's own body is upside down when its local y axis points downwards.
bool rider_upside_down(const Rider& rider) {
    const dReal* R = dBodyGetRotation(rider.bodies[BodyRider]);
    return R[5] < 0; // world y of the body's y axis
}

// One movable thing in a pairwise test: a sphere (or the tube of a tyre around its nearest ring
// point) with its surface properties, belonging to a body or to the world.
struct Ball {
    SimVec centre;
    double radius, friction, kp, kd;
    dBodyID body;
};

// A touch between two balls, a towards b.
struct BallHit {
    SimVec point, normal; // normal from a towards b
    double depth;
};

bool ball_overlap(const Ball& a, const Ball& b, BallHit& hit) {
    SimVec d = b.centre - a.centre;
    double distance = length(d);
    double overlap = a.radius + b.radius - distance;
    if (!(overlap > 0)) return false;
    SimVec n;
    if (distance > 1e-9) {
        n = d * (1 / distance);
    } else {
        // Coincident centres: push apart along the line between the bodies, else straight up.
        SimVec between = b.body && a.body ? body_position(b.body) - body_position(a.body) : SimVec{0, 1, 0};
        n = normalised_or(between, SimVec{0, 1, 0});
    }
    hit = BallHit{a.centre + n * (a.radius - overlap / 2), n, overlap};
    return finite(hit.point) && finite(hit.normal);
}

void apply_ball_hit(const Ball& a, const Ball& b, const BallHit& hit, ContactMode mode) {
    double mu = std::min(a.friction, b.friction), kp = std::min(a.kp, b.kp), kd = std::min(a.kd, b.kd);
    if (mode == ContactJoint && g_pair_joints_left <= 0) mode = ContactForce;
    if (mode == ContactJoint) {
        --g_pair_joints_left;
        contact_joint_create(b.body, a.body, hit.point, hit.normal, hit.depth, mu, kp, kd, nullptr, nullptr);
    } else if (mode == ContactForce) {
        SimVec va = body_point_velocity(a.body, hit.point), vb = body_point_velocity(b.body, hit.point);
        double f = std::clamp(dot(va - vb, hit.normal) * kd + hit.depth * kp, -k_contact_force_limit,
                              k_contact_force_limit);
        if (!std::isfinite(f)) {
            ++g_contact_stats.rejected;
            return;
        }
        SimVec force = hit.normal * f;
        if (b.body && dBodyIsEnabled(b.body))
            dBodyAddForceAtPos(b.body, force.x, force.y, force.z, hit.point.x, hit.point.y, hit.point.z);
        if (a.body && dBodyIsEnabled(a.body))
            dBodyAddForceAtPos(a.body, -force.x, -force.y, -force.z, hit.point.x, hit.point.y, hit.point.z);
        ++g_contact_stats.forces;
    }
}

// A wheel without a terrain contact this step takes its contact state from the deepest touch with
// another rider or an object, so roost and sound see it.
void wheel_take_hit(WheelRecord& wheel, SimVec point, SimVec normal, double depth) {
    long long step = contact_step_now();
    if (wheel.contact_step == step && (wheel.contact_on_ground || wheel.depth >= depth)) return;
    SimVec v = body_point_velocity(wheel.body, point);
    wheel.contact_step = step;
    wheel.contact_on_ground = false;
    wheel.contact_point[0] = float(point.x);
    wheel.contact_point[1] = float(point.y);
    wheel.contact_point[2] = float(point.z);
    wheel.contact_velocity[0] = float(v.x);
    wheel.contact_velocity[1] = float(v.y);
    wheel.contact_velocity[2] = float(v.z);
    wheel.contact_normal[0] = float(normal.x);
    wheel.contact_normal[1] = float(normal.y);
    wheel.contact_normal[2] = float(normal.z);
    wheel.depth = float(depth);
}

// A part of a rider (or an object) ready for pairwise tests: a tyre torus or a placed sphere set.
struct Part {
    int body_index; // RiderBody, or -1 for an object
    dBodyID body;   // null: the static world
    bool torus;
    SimVec centre, axle;   // torus
    double ring, tube;     // torus
    CollisionShape* shape; // sphere set, already transformed
    SimVec position;       // body position, for the bound test
    double bound;
    WheelRecord* wheel; // the wheel record of a tyre
};

bool make_rider_part(Rider& rider, int body_index, Part& part) {
    CollisionShape* shape = rider.collision_shapes[body_index];
    if (!shape) return false;
    dBodyID body = rider.bodies[body_index];
    part = Part{};
    part.body_index = body_index;
    part.body = body;
    part.position = body_position(body);
    if (wheel_body(body_index)) {
        WheelRecord& w = wheel_of(rider, body_index);
        dVector3 axle;
        dBodyVectorToWorld(body, w.axle[0], w.axle[1], w.axle[2], axle);
        part.torus = true;
        part.centre = part.position;
        part.axle = normalised_or(SimVec{axle[0], axle[1], axle[2]}, SimVec{1, 0, 0});
        part.ring = w.ring_radius;
        part.tube = w.tube_radius;
        part.bound = w.ring_radius + w.tube_radius;
        part.wheel = &w;
    } else {
        part.shape = shape;
        part.bound = shape->bound;
    }
    return true;
}

// The two nearest points of two circles, by alternating nearest-point steps from the first
// circle's point nearest the second's centre. Converges quickly for tyres that touch.
void circle_circle_nearest(const Part& a, const Part& b, SimVec& on_a, SimVec& on_b) {
    on_a = circle_nearest_point(a.centre, a.axle, a.ring, b.centre);
    on_b = circle_nearest_point(b.centre, b.axle, b.ring, on_a);
    for (int i = 0; i < 8; ++i) {
        on_a = circle_nearest_point(a.centre, a.axle, a.ring, on_b);
        on_b = circle_nearest_point(b.centre, b.axle, b.ring, on_a);
    }
}

Ball tyre_ball(const Part& p, SimVec tube_centre) {
    return Ball{tube_centre, p.tube, k_tyre_hit_friction, k_tyre_hit_kp, k_tyre_hit_kd, p.body};
}

Ball sphere_ball(const Part& p, size_t i) {
    const ShapeSphere& s = p.shape->spheres[i];
    return Ball{p.shape->world[i], s.radius, s.friction, s.stiffness, s.damping, p.body};
}

// Handles one touch between parts a and b; returns true when it touched.
bool touch(const Part& a, const Part& b, const Ball& ba, const Ball& bb, ContactMode mode, double& deepest_a,
           double& deepest_b) {
    BallHit hit;
    if (!ball_overlap(ba, bb, hit)) return false;
    apply_ball_hit(ba, bb, hit, mode);
    if (a.wheel && hit.depth > deepest_a) {
        deepest_a = hit.depth;
        wheel_take_hit(*a.wheel, hit.point, -hit.normal, hit.depth);
    }
    if (b.wheel && hit.depth > deepest_b) {
        deepest_b = hit.depth;
        wheel_take_hit(*b.wheel, hit.point, hit.normal, hit.depth);
    }
    return true;
}

// Part a against part b. Returns whether anything touched.
bool part_pair(const Part& a, const Part& b, ContactMode mode) {
    if (length(a.position - b.position) > a.bound + b.bound) return false;
    bool any = false;
    double deepest_a = 0, deepest_b = 0;
    if (a.torus && b.torus) {
        SimVec on_a, on_b;
        circle_circle_nearest(a, b, on_a, on_b);
        any = touch(a, b, tyre_ball(a, on_a), tyre_ball(b, on_b), mode, deepest_a, deepest_b);
    } else if (a.torus) {
        for (size_t j = 0; j < b.shape->spheres.size(); ++j) {
            Ball bb = sphere_ball(b, j);
            SimVec on_a = circle_nearest_point(a.centre, a.axle, a.ring, bb.centre);
            any |= touch(a, b, tyre_ball(a, on_a), bb, mode, deepest_a, deepest_b);
        }
    } else if (b.torus) {
        for (size_t i = 0; i < a.shape->spheres.size(); ++i) {
            Ball ba = sphere_ball(a, i);
            SimVec on_b = circle_nearest_point(b.centre, b.axle, b.ring, ba.centre);
            any |= touch(a, b, ba, tyre_ball(b, on_b), mode, deepest_a, deepest_b);
        }
    } else {
        for (size_t i = 0; i < a.shape->spheres.size(); ++i) {
            Ball ba = sphere_ball(a, i);
            for (size_t j = 0; j < b.shape->spheres.size(); ++j)
                any |= touch(a, b, ba, sphere_ball(b, j), mode, deepest_a, deepest_b);
        }
    }
    return any;
}

// Gathers a rider's shaped parts in test order, sphere sets placed at their bodies' poses. Returns
// the count; bound is the radius about the frame that holds every part.
int gather_parts(Rider& rider, Part parts[k_rider_bodies], double& bound) {
    int count = 0;
    bound = 0;
    SimVec frame = body_position(rider.bodies[BodyFrame]);
    for (RiderBody body : k_part_order) {
        Part& part = parts[count];
        if (!make_rider_part(rider, body, part)) continue;
        bound = std::max(bound, length(part.position - frame) + part.bound);
        ++count;
    }
    return count;
}

void place_parts(Part* parts, int count) {
    for (int i = 0; i < count; ++i) {
        Part& p = parts[i];
        if (p.torus) continue;
        const dReal* R = dBodyGetRotation(p.body);
        double position[3] = {p.position.x, p.position.y, p.position.z};
        shape_transform(*p.shape, position, R);
    }
}

// The radius about the frame that holds every shaped part of the rider.
double rider_reach(const Rider& rider) {
    SimVec frame = body_position(rider.bodies[BodyFrame]);
    double reach = 0;
    for (int body = 0; body < k_rider_bodies; ++body) {
        const CollisionShape* shape = rider.collision_shapes[body];
        if (!shape) continue;
        const WheelRecord& wheel = body == BodyFrontWheel ? rider.front_wheel : rider.rear_wheel;
        double part = wheel_body(body) ? wheel.ring_radius + wheel.tube_radius : shape->bound;
        reach = std::max(reach, length(body_position(rider.bodies[body]) - frame) + part);
    }
    return reach;
}

bool fast(double speed) {
    return speed >= k_blame_fast_speed;
}
bool moving(double speed) {
    return std::llround(speed * speed) >= std::llround(k_blame_moving_speed * k_blame_moving_speed);
}

void blame(Rider& a, Rider& b, int a_flags, int b_flags) {
    double speed_a = rider_speed(a), speed_b = rider_speed(b);
    bool a_front = (a_flags & k_front_parts) != 0;
    bool b_front = (b_flags & k_front_parts) != 0;
    if (a_front && b_front) {
        if (fast(speed_a)) a.recovery_timer = std::max(a.recovery_timer, 192.0f);
        if (fast(speed_b)) b.recovery_timer = std::max(b.recovery_timer, 192.0f);
    } else if (!a_front && b_front) {
        if (a.crash_counter == 0 && moving(speed_a)) {
            if (fast(speed_b)) b.recovery_timer = std::max(b.recovery_timer, 256.0f);
            if (a.recovery_timer <= 0) a.recovery_timer = std::min(a.recovery_timer, -640.0f);
        }
    } else if (a_front) {
        if (b.crash_counter == 0 && moving(speed_b)) {
            if (fast(speed_a)) a.recovery_timer = std::max(a.recovery_timer, 256.0f);
            if (b.recovery_timer <= 0) b.recovery_timer = std::min(b.recovery_timer, -640.0f);
        }
    }
}

void stamp_contact(Rider& rider, long long step) {
    rider.rider_contact_step = step;
    rider.last_contact_tick = g_race.clock;
    if (rider.first_contact_tick == -1) rider.first_contact_tick = g_race.clock;
}

bool simulated(const Rider& rider) {
    return rider.activity > k_frozen_activity;
}

} // namespace

void contact_reset_state() {
    g_contact_stats = ContactStats{};
}

long long contact_step_now() {
    return g_physics.steps + 1;
}

dJointID contact_joint_create(dBodyID a, dBodyID b, SimVec point, SimVec normal, double depth, double mu,
                              double kp, double kd, const SimVec* fdir, dJointFeedback* feedback) {
    if (!g_physics.world) return nullptr;
    // A disabled body stands still for this step: the joint treats it as the static world, so the
    // step neither moves it nor wakes it.
    if (a && !dBodyIsEnabled(a)) a = nullptr;
    if (b && !dBodyIsEnabled(b)) b = nullptr;
    if (!a && !b) return nullptr;
    double h = k_tick_length;
    double denominator = h * kp + kd;
    bool ok = finite(point) && finite(normal) && std::isfinite(depth) && std::isfinite(mu) &&
              std::isfinite(kp) && std::isfinite(kd) && denominator > 0 && std::isfinite(denominator) &&
              (!fdir || finite(*fdir));
    if (!ok) {
        ++g_contact_stats.rejected;
        return nullptr;
    }
    dContact contact{};
    contact.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
    contact.surface.mu = std::max(0.0, mu);
    contact.surface.soft_erp = h * kp / denominator;
    contact.surface.soft_cfm = 1 / denominator;
    if (fdir) {
        contact.surface.mode |= dContactFDir1;
        contact.fdir1[0] = fdir->x;
        contact.fdir1[1] = fdir->y;
        contact.fdir1[2] = fdir->z;
    }
    contact.geom.pos[0] = point.x;
    contact.geom.pos[1] = point.y;
    contact.geom.pos[2] = point.z;
    contact.geom.normal[0] = normal.x;
    contact.geom.normal[1] = normal.y;
    contact.geom.normal[2] = normal.z;
    contact.geom.depth = depth;
    dJointID joint = dJointCreateContact(g_physics.world, g_physics.contact_group, &contact);
    dJointAttach(joint, a, b);
    if (feedback) dJointSetFeedback(joint, feedback);
    ++g_contact_stats.joints;
    return joint;
}

void contact_rider_attach(Rider& rider) {
    const BikeInfo& b = rider.bike;
    const char* names[k_rider_bodies] = {b.frame_shape,      b.front_wheel_shape, b.rear_wheel_shape,
                                         b.fork_upper_shape, b.fork_lower_shape,  b.swingarm_shape,
                                         b.rider_shape};
    for (int i = 0; i < k_rider_bodies; ++i)
        rider.collision_shapes[i] = shape_copy(shape_load(names[i]));
    rider.rider_contact_step = 0;
    rider.last_contact_tick = -1;
    rider.first_contact_tick = -1;
}

void contact_rider_detach(Rider& rider) {
    for (CollisionShape*& shape : rider.collision_shapes) {
        shape_free(shape);
        shape = nullptr;
    }
}

int rider_contacts_on(const Terrain& terrain, Rider& rider) {
    if (!simulated(rider)) return 0;
    double grip = 1;
    if (rider.setup.flags2 & 1)
        grip = 1 - 0.375 * std::min(1.0, 4 * std::fabs(rider_lean_angle(rider)) / k_pi);
    int flags = 0;
    if (wheel_terrain_contact(terrain, rider.front_wheel, grip)) flags |= PartFrontWheel;
    if (wheel_terrain_contact(terrain, rider.rear_wheel, grip)) flags |= PartRearWheel;
    for (RiderBody body : k_ground_shape_bodies) {
        CollisionShape* shape = rider.collision_shapes[body];
        if (!shape) continue;
        dBodyID id = rider.bodies[body];
        const dReal* p = dBodyGetPosition(id);
        double position[3] = {p[0], p[1], p[2]};
        if (shape_terrain_contact(*shape, id, position, dBodyGetRotation(id), terrain)) flags |= 1 << body;
    }
    if ((flags & PartRider) && rider_upside_down(rider) &&
        length(body_velocity(rider.bodies[BodyRider])) > k_upside_down_crash_speed)
        request_crash(rider);
    if (flags & ~k_wheel_parts) rider.lap_fault = 1;
    return flags;
}

int rider_contacts(Rider& rider) {
    return rider_contacts_on(g_terrain, rider);
}

int rider_self_contacts(Rider& rider) {
    if (!simulated(rider)) return 0;
    Part loose;
    if (!make_rider_part(rider, BodyRider, loose)) return 0;
    place_parts(&loose, 1);
    int flags = 0;
    g_pair_joints_left = k_pair_joint_limit;
    for (RiderBody body : {BodyFrame, BodyForkUpper}) {
        Part part;
        if (!make_rider_part(rider, body, part)) continue;
        place_parts(&part, 1);
        if (part_pair(part, loose, ContactJoint)) flags |= 1 << body;
    }
    return flags;
}

bool rider_compare(const Rider* a, const Rider* b) {
    return rider_speed(*a) > rider_speed(*b);
}

void collision_set_sort(Rider** set, int count) {
    // Each speed is read once: a whole field's bodies do not stay in the cache between comparisons.
    double speed[k_max_riders];
    count = std::min(count, k_max_riders);
    for (int i = 0; i < count; ++i)
        speed[i] = rider_speed(*set[i]);
    for (int i = 1; i < count; ++i) {
        Rider* r = set[i];
        double s = speed[i];
        int j = i;
        while (j > 0 && speed[j - 1] < s) {
            set[j] = set[j - 1];
            speed[j] = speed[j - 1];
            --j;
        }
        set[j] = r;
        speed[j] = s;
    }
}

int rider_rider_contacts(Rider& a, Rider& b, bool online) {
    if (&a == &b) return 0;
    if (!(length(body_position(a.bodies[BodyFrame]) - body_position(b.bodies[BodyFrame])) <=
          rider_reach(a) + rider_reach(b)))
        return 0;
    Part parts_a[k_rider_bodies], parts_b[k_rider_bodies];
    double bound_a = 0, bound_b = 0;
    int count_a = gather_parts(a, parts_a, bound_a), count_b = gather_parts(b, parts_b, bound_b);
    if (count_a == 0 || count_b == 0) return 0;
    SimVec frame_a = body_position(a.bodies[BodyFrame]), frame_b = body_position(b.bodies[BodyFrame]);
    if (!(length(frame_a - frame_b) <= bound_a + bound_b)) return 0;
    place_parts(parts_a, count_a);
    place_parts(parts_b, count_b);

    long long step = contact_step_now();
    // A rider already in contact with someone this tick is pushed by forces, not joined: joints
    // would merge the riders into one large island for the exact stepper.
    ContactMode base =
        (a.rider_contact_step == step || b.rider_contact_step == step) ? ContactForce : ContactJoint;
    constexpr int k_online_test_b = PartFrontWheel | PartForkUpper | PartForkLower;
    constexpr int k_online_test_a = PartFrontWheel | PartRearWheel | PartFrame | PartSwingarm | PartRider;
    g_pair_joints_left = k_pair_joint_limit;
    int a_flags = 0, b_flags = 0;
    for (int i = 0; i < count_a; ++i)
        for (int j = 0; j < count_b; ++j) {
            const Part& pa = parts_a[i];
            const Part& pb = parts_b[j];
            ContactMode mode = base;
            if (online && ((1 << pb.body_index) & k_online_test_b) &&
                ((1 << pa.body_index) & k_online_test_a))
                mode = ContactTest;
            if (part_pair(pa, pb, mode)) {
                a_flags |= 1 << pa.body_index;
                b_flags |= 1 << pb.body_index;
            }
        }
    if (a_flags == 0) return 0;
    blame(a, b, a_flags, b_flags);
    stamp_contact(a, step);
    stamp_contact(b, step);
    return b_flags;
}

int rider_object_contacts(Rider& rider, const ContactObject& object) {
    if (!object.shape || object.shape->spheres.empty()) return 0;
    Part parts[k_rider_bodies];
    double bound = 0;
    int count = gather_parts(rider, parts, bound);
    SimVec where{object.position[0], object.position[1], object.position[2]};
    if (count == 0 ||
        !(length(body_position(rider.bodies[BodyFrame]) - where) <= bound + object.shape->bound))
        return 0;
    place_parts(parts, count);
    shape_transform(*object.shape, object.position, object.rotation);
    Part thing{};
    thing.body_index = -1;
    thing.body = object.body;
    thing.shape = object.shape;
    thing.position = where;
    thing.bound = object.shape->bound;
    int flags = 0;
    g_pair_joints_left = k_pair_joint_limit;
    for (int i = 0; i < count; ++i)
        if (part_pair(parts[i], thing, ContactJoint)) flags |= 1 << parts[i].body_index;
    if (flags & PartRider) {
        SimVec relative = body_velocity(rider.bodies[BodyRider]) - body_velocity(object.body);
        if (length(relative) > k_object_crash_speed) request_crash(rider);
    }
    return flags;
}

int world_contacts(const ContactObject* objects, int object_count) {
    static Rider* set[k_max_riders];
    static SimVec centre[k_max_riders];
    static double reach[k_max_riders];
    int count = 0;
    for (const RiderSlot& slot : g_slots) {
        Rider* rider = slot.rider;
        if (!rider) continue;
        if (slot.kind == Replayed) {
            // Seam: replayed riders are tested against the start-gate pieces (track objects) up to
            // 10 s after the gate drop.
            continue;
        }
        if (!simulated(*rider)) continue;
        rider_contacts(*rider);
        for (int i = 0; i < object_count; ++i)
            rider_object_contacts(*rider, objects[i]);
        set[count++] = rider;
    }
    collision_set_sort(set, count);
    // The rider-level bound first: most pairs are far apart.
    for (int i = 0; i < count; ++i) {
        centre[i] = body_position(set[i]->bodies[BodyFrame]);
        reach[i] = rider_reach(*set[i]);
    }
    // Pairs whose ranges along x overlap, found by a sweep in order of their left ends, then tested in
    // the order of the sorted set (a pair's contact mode depends on the pairs tested before it).
    // Riders without a finite position or reach touch nobody.
    static int by_left[k_max_riders];
    static uint16_t pairs[k_max_riders * (k_max_riders - 1) / 2];
    int swept = 0, pair_count = 0;
    for (int i = 0; i < count; ++i)
        if (finite(centre[i]) && std::isfinite(reach[i])) by_left[swept++] = i;
    std::sort(by_left, by_left + swept,
              [](int a, int b) { return centre[a].x - reach[a] < centre[b].x - reach[b]; });
    for (int a = 0; a < swept; ++a) {
        int i = by_left[a];
        double right = centre[i].x + reach[i];
        for (int b = a + 1; b < swept; ++b) {
            int j = by_left[b];
            if (centre[j].x - reach[j] > right) break;
            SimVec d = centre[i] - centre[j];
            double limit = reach[i] + reach[j];
            if (!(dot(d, d) <= limit * limit)) continue;
            pairs[pair_count++] = uint16_t(std::min(i, j) * k_max_riders + std::max(i, j));
        }
    }
    std::sort(pairs, pairs + pair_count);
    for (int p = 0; p < pair_count; ++p)
        rider_rider_contacts(*set[pairs[p] / k_max_riders], *set[pairs[p] % k_max_riders], false);
    return count;
}

int world_contacts_online(Rider& local, Rider** network, int network_count, const ContactObject* objects,
                          int object_count, bool warm_up) {
    rider_contacts(local);
    for (int i = 0; i < object_count; ++i)
        rider_object_contacts(local, objects[i]);
    for (int n = 0; n < network_count; ++n) {
        Rider& other = *network[n];
        if (!simulated(other)) continue;
        rider_contacts(other);
        for (int i = 0; i < object_count; ++i)
            rider_object_contacts(other, objects[i]);
    }
    if (warm_up) return 0;
    collision_set_sort(network, network_count);
    int touched = 0;
    for (int n = 0; n < network_count; ++n) {
        if (network[n] == &local || rider_rider_contacts(local, *network[n], true) == 0) continue;
        rider_touch(*network[n]);
        ++touched;
    }
    return touched;
}

int rut_count(const Rider& rider) {
    return (rider.rut_write - rider.rut_read + k_rut_ring_size) % k_rut_ring_size;
}

void rut_record(const Terrain& terrain, Rider& rider) {
    if (terrain.tiles.empty()) return;
    for (WheelRecord* wheel : {&rider.front_wheel, &rider.rear_wheel}) {
        if (!(wheel->depth > 0) || !wheel->contact_on_ground) continue;
        int next = (rider.rut_write + 1) % k_rut_ring_size;
        if (next == rider.rut_read) return; // full
        int tile = terrain_tile_at(terrain, wheel->contact_point[0], wheel->contact_point[2]);
        const TileErosion& e =
            terrain.tiles[size_t(std::clamp(tile, 0, int(terrain.tiles.size()) - 1))].erosion;
        double speed = length(body_velocity(wheel->body));
        double span = e.erode_on_speed - e.erode_off_speed;
        double f = span > 0 ? std::clamp((speed - e.erode_off_speed) / span, 0.0, 1.0)
                            : (speed >= e.erode_on_speed ? 1.0 : 0.0);
        RutMark mark{wheel->contact_point[0], wheel->contact_point[2], float(f * wheel->feedback.f1[0]),
                     float(f * wheel->feedback.f1[2])};
        double strength = double(mark.force_x) * mark.force_x + double(mark.force_z) * mark.force_z;
        if (!(strength > double(e.erode_lower) * e.erode_lower) || !(strength > 1.0 / 1024)) continue;
        rider.rut_ring[rider.rut_write] = mark;
        rider.rut_write = next;
    }
}

void rut_apply(Terrain& terrain, Rider& rider, float erosion) {
    if (terrain.tiles.empty() || !(erosion > 0)) return;
    SimVec frame = body_position(rider.bodies[BodyFrame]);
    for (int n = 0; n < k_rut_marks_per_tick && rider.rut_read != rider.rut_write; ++n) {
        const RutMark& mark = rider.rut_ring[rider.rut_read];
        double dx = frame.x - mark.x, dz = frame.z - mark.z;
        if (dx * dx + dz * dz < k_rut_apply_distance * k_rut_apply_distance) break;
        int tile = terrain_tile_at(terrain, mark.x, mark.z);
        const TileErosion& e =
            terrain.tiles[size_t(std::clamp(tile, 0, int(terrain.tiles.size()) - 1))].erosion;
        double m = std::sqrt(double(mark.force_x) * mark.force_x + double(mark.force_z) * mark.force_z);
        if (!(m > 0)) {
            rider.rut_read = (rider.rut_read + 1) % k_rut_ring_size;
            continue;
        }
        double span = e.erode_upper - e.erode_lower;
        double b = span > 0 ? std::clamp((m - e.erode_lower) / span, 0.0, 1.0) : 1.0;
        double displacement = b * e.erode_displacement;
        double tx = mark.x - mark.force_x / m * displacement, tz = mark.z - mark.force_z / m * displacement;
        double rise =
            terrain_height_at(terrain, float(tx), float(tz)) - terrain_height_at(terrain, mark.x, mark.z);
        if (rise <= displacement * e.erode_max_slope) {
            ++g_contact_stats.rut_marks_applied;
            // Seam: the terrain edit of terrain deformation lowers the ground at the mark and raises it
            // at (tx, tz), each by (erosion / 2048) * erode_depth over erode_radius.
        }
        rider.rut_read = (rider.rut_read + 1) % k_rut_ring_size;
    }
}
