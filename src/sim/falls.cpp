#include "sim/falls.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "core/main_loop.h"
#include "race/race.h"
#include "sim/contact.h"
#include "sim/control.h"
#include "sim/physics_world.h"
#include "sim/rider.h"
#include "sim/rider_body.h"
#include "sim/setup.h"
#include "track/terrain.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr double k_gravity = 32;

// Ropes are soft contacts without friction.
constexpr double k_rope_kp = 5000, k_rope_kd = 500;

// Crash thresholds, multiplied by the tolerance (1.5 normally, 1 right after a long jump).
constexpr double k_separation_limit = 31;           // ft/s
constexpr double k_acceleration_limit = 1376;       // ft/s^2 (43 g)
constexpr double k_rest_speed = 2;                  // the rider body counts as resting below this (ft/s)
constexpr int k_pull_start = k_crash_counter_start; // the remount pull runs while the counter is below
constexpr int k_pull_end = 128;                     // ... and has shrunk the ropes to nothing here
constexpr int k_foot_walk_start = 319;              // from here on one foot walks back to the bike

// Rider points: the shoulders (rider body), the grips (fork upper).
constexpr int k_point_shoulder[2] = {1, 2};
constexpr int k_point_grip[2] = {5, 6};
// While the crash is fresh a long rope keeps the hips within 8 ft of a point 10.75 ft behind the bars,
// so the rider cannot fly far ahead of the bike.
constexpr double k_tether_rider[3] = {0, -0.570887, 0.670607};
constexpr double k_tether_fork[3] = {0, 1.145, 10.753};
constexpr double k_tether_length = 8;

// The realign aid.
constexpr double k_realign_speed = 5;
constexpr double k_realign_lean_min = 0.3926991, k_realign_lean_max = 1.0995574;
constexpr double k_realign_facing = 0.05; // sine of the heading error counted as facing the target

// Rider points by index: the hips (rider body) and the pegs (frame).
constexpr int k_point_hip[2] = {3, 4};
constexpr int k_point_peg[2] = {7, 8};

double clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

void body_point(dBodyID body, const float p[3], double out[3]) {
    dVector3 w;
    dBodyGetRelPointPos(body, p[0], p[1], p[2], w);
    out[0] = w[0];
    out[1] = w[1];
    out[2] = w[2];
}

bool finite3(const double v[3]) {
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

void world_of(dBodyID body, const double p[3], double out[3]) {
    if (!body) {
        for (int a = 0; a < 3; ++a)
            out[a] = p[a];
        return;
    }
    dVector3 w;
    dBodyGetRelPointPos(body, p[0], p[1], p[2], w);
    for (int a = 0; a < 3; ++a)
        out[a] = w[a];
}

double length3(const double v[3]) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

double body_speed(dBodyID body) {
    const dReal* v = dBodyGetLinearVel(body);
    double w[3] = {v[0], v[1], v[2]};
    return length3(w);
}

// The seat point in frame coordinates.
void seat_point(const Rider& rider, double out[3]) {
    const BikeInfo& b = rider.bike;
    for (int a = 0; a < 3; ++a)
        out[a] = static_cast<double>(b.rider_position[a]) - b.frame_position[a];
}

RealignTarget g_realign_target = realign_target_from_course;

} // namespace

// Foot 1 is the left peg (x < 0), foot 2 the right. Every result is finite for a finite pose: the
// only division is by constants, and the terrain height accepts any position.
FootPose foot_pose(const Rider& rider) {
    FootPose out{};
    dBodyID frame = rider.bodies[BodyFrame];
    const int c = rider.crash_counter;
    const double blend = rider.pose_blend;
    const double lean = rider_lean_angle(rider);

    // The pegs, in frame coordinates; a fresh crash spreads and raises the legs.
    float peg[2][3];
    for (int i = 0; i < 2; ++i)
        for (int a = 0; a < 3; ++a)
            peg[i][a] = rider.bike.rider_points[k_point_peg[i]][a];
    if (c > 0) {
        double k = std::min(c, 128) / 128.0;
        float spread = static_cast<float>(0.5 * clamp01(2 * k - 1));
        float rise = static_cast<float>(1.75 * clamp01(2 * k));
        float back = static_cast<float>(clamp01(4 * k / 3));
        peg[0][0] -= spread;
        peg[1][0] += spread;
        for (auto& p : peg) {
            p[1] += rise;
            p[2] += back;
        }
    }
    for (int i = 0; i < 2; ++i) {
        body_point(frame, peg[i], out.foot[i]);
        out.weight[i] = 0;
    }

    // A dabbing foot reaches for the ground beside the hip on the side the bike leans to (both feet
    // near upright), forward with speed and a little back when standing.
    if (blend != 0 && c <= 127) {
        dBodyID body = rider.bodies[BodyRider];
        double hip[2][3];
        for (int i = 0; i < 2; ++i)
            body_point(body, rider.bike.rider_points[k_point_hip[i]], hip[i]);
        double across[3] = {hip[1][0] - hip[0][0], hip[1][1] - hip[0][1], hip[1][2] - hip[0][2]};
        const dReal* R = dBodyGetRotation(frame);
        double forward[3] = {-R[2], -R[6], -R[10]};
        const dReal* v = dBodyGetLinearVel(frame);
        double q = clamp01((v[0] * forward[0] + v[1] * forward[1] + v[2] * forward[2]) / 15);
        double m = clamp01(std::fabs(lean) * 4 / k_pi);
        double reach = (1.25 * q - 0.25) * m * 2.5;
        for (int i = 0; i < 2; ++i) {
            bool wanted = i == 0 ? lean > -0.1 : lean < 0.1;
            if (!wanted) continue;
            double along = i == 0 ? 0.5 * m - 0.5 : 0.5 - 0.5 * m;
            double target[3];
            for (int a = 0; a < 3; ++a)
                target[a] = hip[i][a] + across[a] * along + forward[a] * reach;
            target[1] =
                terrain_height_at(g_terrain, static_cast<float>(target[0]), static_cast<float>(target[2])) +
                0.125;
            double side = i == 0 ? clamp01((lean + 0.5) * 2.5) : clamp01((0.5 - lean) * 2.5);
            double w = 1 - side * (1 - blend);
            if (!finite3(target) || !std::isfinite(w)) continue;
            for (int a = 0; a < 3; ++a)
                out.foot[i][a] += (target[a] - out.foot[i][a]) * w;
            out.weight[i] = w;
        }
    }

    // Crashed: the feet are where the particles of feet_update put them, blending back to the pegs
    // over the last ticks of the remount.
    if (c > 0) {
        double t = std::clamp(2.0 * c - 128, 1.0, 128.0) / 128;
        for (int i = 0; i < 2; ++i) {
            for (int a = 0; a < 3; ++a)
                out.foot[i][a] += (rider.feet[i].position[a] - out.foot[i][a]) * t;
            out.weight[i] = 1;
        }
    }
    return out;
}

// ---- Knockout table

int g_knockout[k_knockout_entries] = {};

void knockout_set(const int values[k_knockout_entries]) {
    if (!values) {
        knockout_reset();
        return;
    }
    for (int i = 0; i < k_knockout_entries; ++i)
        g_knockout[i] = std::clamp(values[i], k_knockout_min, k_knockout_max);
}

void knockout_reset() {
    for (int& v : g_knockout)
        v = 0;
}

int crash_counter_for(int crash_count) {
    int entry = std::clamp(crash_count, 0, k_knockout_entries - 1);
    return k_crash_counter_start + std::clamp(g_knockout[entry], k_knockout_min, k_knockout_max);
}

// ---- Ropes

// The normal is the difference vector itself, not normalised: the rope's correction is divided by
// its length, so a rider flung far away is pulled about as hard as one just past the rope's length,
// and strongly damped as the points meet. Nothing is made while the points are within length (which
// covers points that coincide) or when a number is not finite.
void rope(dBodyID a, const double point_a[3], dBodyID b, const double point_b[3], double length) {
    double wa[3], wb[3];
    world_of(a, point_a, wa);
    world_of(b, point_b, wb);
    SimVec pa{wa[0], wa[1], wa[2]}, pb{wb[0], wb[1], wb[2]};
    SimVec d = pb - pa;
    double distance = ::length(d);
    if (!(distance > length) || !std::isfinite(distance)) return;
    contact_joint_create(a, b, pa, d, distance - length, 0, k_rope_kp, k_rope_kd, nullptr, nullptr);
}

// ---- Crashes

void feet_start(Rider& rider) {
    FootPose pose = foot_pose(rider);
    dBodyID body = rider.bodies[BodyRider];
    for (int i = 0; i < 2; ++i) {
        dVector3 v;
        dBodyGetPointVel(body, pose.foot[i][0], pose.foot[i][1], pose.foot[i][2], v);
        for (int a = 0; a < 3; ++a) {
            rider.feet[i].position[a] = static_cast<float>(pose.foot[i][a]);
            rider.feet[i].velocity[a] = std::isfinite(v[a]) ? static_cast<float>(v[a]) : 0.0f;
        }
    }
}

void crash_start(Rider& rider) {
    if (rider.crash_counter > 0 || rider.recovery_timer < 0) return;
    feet_start(rider);
    dJointAttach(rider.joints[JointRider], nullptr, nullptr);
    rider.crash_counter = crash_counter_for(rider.crash_count);
    if (rider.crash_count < INT_MAX) ++rider.crash_count;
    rider.throttle = rider.sit_dab = rider.back_up = rider.lean = 0;
}

// 1.5, lowered by a third right after the landing of a long jump: the airtime term a rises from 0 at
// 0.559 s to 1 at 0.685 s, the landing term b falls from 1 while under 0.25 s since touchdown to 0
// at 0.375 s.
double crash_tolerance(const Rider& rider, int32_t tick) {
    if (rider.landing_tick < rider.airborne_tick) return 1.5;
    double airtime = (rider.landing_tick - rider.airborne_tick) * k_tick_length;
    double since = (tick - rider.landing_tick) * k_tick_length;
    double a = clamp01((airtime - 0.559) * 7.9365087);
    double b = clamp01((since - 0.375) * -8);
    return 1.5 - 0.5 * a * b;
}

void crash_check(Rider& rider) {
    if (rider.crash_counter != 0 || rider.recovery_timer < 0) return;
    double k = crash_tolerance(rider, g_race.clock);
    dBodyID body = rider.bodies[BodyRider];
    const dReal* p = dBodyGetPosition(body);
    const dReal* v = dBodyGetLinearVel(body);
    dVector3 fv;
    dBodyGetPointVel(rider.bodies[BodyFrame], p[0], p[1], p[2], fv);
    double separation[3] = {v[0] - fv[0], v[1] - fv[1], v[2] - fv[2]};
    if (length3(separation) > k_separation_limit * k) {
        crash_start(rider);
        return;
    }
    // The trail holds four ticks of velocity only from the fourth step after a reset: a rider placed
    // moving has no earlier velocity to be measured against (zeros would read as a sudden start).
    if (rider.steps_since_reset < 4) return;
    const float* old = rider.rider_trail[static_cast<uint32_t>(g_race.clock) & 3];
    double felt[3];
    for (int a = 0; a < 3; ++a)
        felt[a] = (v[a] - old[a]) / (4 * k_tick_length);
    felt[1] += k_gravity;
    if (length3(felt) > k_acceleration_limit * k) crash_start(rider);
}

namespace {

// The remount: the rider body placed on the seat with the frame's orientation and motion, then the
// hinge attached (the hinge takes its anchor from the bodies' present poses).
void remount(Rider& rider) {
    dBodyID frame = rider.bodies[BodyFrame], body = rider.bodies[BodyRider];
    double seat[3];
    seat_point(rider, seat);
    dVector3 at, v;
    dBodyGetRelPointPos(frame, seat[0], seat[1], seat[2], at);
    dBodyGetRelPointVel(frame, seat[0], seat[1], seat[2], v);
    dBodySetPosition(body, at[0], at[1], at[2]);
    dBodySetQuaternion(body, dBodyGetQuaternion(frame));
    dBodySetLinearVel(body, v[0], v[1], v[2]);
    const dReal* w = dBodyGetAngularVel(frame);
    dBodySetAngularVel(body, w[0], w[1], w[2]);
    rider_body_attach_hinge(rider);
    rider.crash_counter = 0;
}

// The rider holds the bars: a rope from each shoulder to its grip, and while the crash is fresh a
// long rope that keeps the rider from flying far ahead of the bike.
void crash_ropes(Rider& rider) {
    const BikeInfo& b = rider.bike;
    dBodyID body = rider.bodies[BodyRider], fork = rider.bodies[BodyForkUpper];
    double arm = (b.rider_lengths[0] + b.rider_lengths[1]) * 0.875;
    for (int i = 0; i < 2; ++i) {
        double shoulder[3], grip[3];
        for (int a = 0; a < 3; ++a) {
            shoulder[a] = b.rider_points[k_point_shoulder[i]][a];
            grip[a] = b.rider_points[k_point_grip[i]][a];
        }
        rope(body, shoulder, fork, grip, arm);
    }
    if (rider.crash_counter >= k_pull_start) rope(body, k_tether_rider, fork, k_tether_fork, k_tether_length);
}

// Three ropes of one shrinking length from the frame to the rider body: the seat to the body's
// centre pulls it onto the seat, the two offset pairs turn it to the frame's orientation.
void remount_pull(Rider& rider) {
    dBodyID frame = rider.bodies[BodyFrame], body = rider.bodies[BodyRider];
    double r = clamp01((rider.crash_counter - k_pull_end) / double(k_pull_start - k_pull_end)) * 5;
    double seat[3];
    seat_point(rider, seat);
    static constexpr double offsets[3][3] = {{0, 0, 0}, {-5, 10, 0}, {5, 10, 0}};
    for (const auto& o : offsets) {
        double on_frame[3] = {seat[0] + o[0], seat[1] + o[1], seat[2] + o[2]};
        rope(frame, on_frame, body, o, r);
    }
    if (rider.crash_counter > k_foot_walk_start) return;
    // One foot walks back towards its peg, 3 ft up the frame and 1 ft back from it: the right foot
    // when the lean angle is at least 0 (the bike leaning left, its right side up), else the left.
    double lean = rider_lean_angle(rider);
    int foot = lean >= 0 ? 1 : 0;
    const float* peg = rider.bike.rider_points[k_point_peg[foot]];
    dVector3 target;
    dBodyGetRelPointPos(frame, peg[0], peg[1] + 3.0, peg[2] + 1.0, target);
    FootPoint& f = rider.feet[foot];
    double u[3];
    for (int a = 0; a < 3; ++a)
        u[a] = (target[a] - f.position[a]) * 32;
    double n = length3(u);
    if (!std::isfinite(n)) return;
    if (n > 1)
        for (double& c : u)
            c /= n;
    for (int a = 0; a < 3; ++a)
        f.velocity[a] = static_cast<float>(4 * u[a]);
}

} // namespace

void crash_update(Rider& rider) {
    if (rider.crash_counter <= 0) return;
    if (body_speed(rider.bodies[BodyRider]) < k_rest_speed)
        --rider.crash_counter;
    else
        crash_ropes(rider);
    if (rider.crash_counter <= 0) {
        remount(rider);
        return;
    }
    // Loose on the bike: the rider body meets its own frame and fork as well as the ground.
    rider_self_contacts(rider);
    if (rider.crash_counter < k_pull_start) remount_pull(rider);
}

// ---- Feet

void feet_update(Rider& rider) {
    rider.pose_blend = std::max(0.0f, rider.pose_blend - static_cast<float>(4 * k_tick_length));
    if (rider.crash_counter <= 0) {
        feet_start(rider);
        return;
    }
    const BikeInfo& b = rider.bike;
    dBodyID body = rider.bodies[BodyRider];
    const double h = k_tick_length;
    const double reach = b.rider_lengths[2] + b.rider_lengths[3];
    dVector3 down;
    dBodyVectorToWorld(body, 0, -1, 0, down);
    for (int i = 0; i < 2; ++i) {
        FootPoint& f = rider.feet[i];
        double p[3], v[3];
        for (int a = 0; a < 3; ++a) {
            p[a] = f.position[a];
            v[a] = f.velocity[a];
        }
        for (int a = 0; a < 3; ++a)
            p[a] += v[a] * h;
        v[1] -= k_gravity * h;
        double ground =
            terrain_height_at(g_terrain, static_cast<float>(p[0]), static_cast<float>(p[2])) + 0.25;
        if (p[1] < ground) {
            p[1] = ground;
            v[0] = v[1] = v[2] = 0;
        }
        for (double& c : v)
            c *= 0.9375;

        // Within the leg's reach of the hip: onto the sphere, taking the body's radial velocity.
        double hip[3];
        body_point(body, b.rider_points[k_point_hip[i]], hip);
        double d[3] = {p[0] - hip[0], p[1] - hip[1], p[2] - hip[2]};
        double distance = length3(d);
        if (distance > reach && std::isfinite(distance)) {
            double n[3] = {d[0] / distance, d[1] / distance, d[2] / distance};
            dVector3 bv;
            dBodyGetPointVel(body, hip[0] + n[0] * reach, hip[1] + n[1] * reach, hip[2] + n[2] * reach, bv);
            double radial = (bv[0] - v[0]) * n[0] + (bv[1] - v[1]) * n[1] + (bv[2] - v[2]) * n[2];
            for (int a = 0; a < 3; ++a) {
                p[a] = hip[a] + n[a] * reach;
                v[a] += radial * n[a];
            }
        }
        // Below the plane one foot down the rider's body from the hip (the legs bend no further up).
        double below = (p[0] - hip[0] - down[0]) * down[0] + (p[1] - hip[1] - down[1]) * down[1] +
                       (p[2] - hip[2] - down[2]) * down[2];
        if (below < 0) {
            for (int a = 0; a < 3; ++a)
                p[a] -= below * down[a];
            dVector3 bv;
            dBodyGetPointVel(body, p[0], p[1], p[2], bv);
            double normal = (bv[0] - v[0]) * down[0] + (bv[1] - v[1]) * down[1] + (bv[2] - v[2]) * down[2];
            for (int a = 0; a < 3; ++a)
                v[a] += normal * down[a];
        }
        // Pushed out of the reach by that: along the plane back onto the circle where it cuts the
        // sphere (the plane lies one foot from the hip, well inside the reach).
        double c[3] = {hip[0] + down[0], hip[1] + down[1], hip[2] + down[2]};
        double e[3] = {p[0] - c[0], p[1] - c[1], p[2] - c[2]};
        double from_hip[3] = {p[0] - hip[0], p[1] - hip[1], p[2] - hip[2]};
        double circle = std::sqrt(reach * reach - 1);
        double off = length3(e);
        if (length3(from_hip) > reach && off > circle)
            for (int a = 0; a < 3; ++a)
                p[a] = c[a] + e[a] * (circle / off);
        if (!finite3(p) || !finite3(v)) continue; // a lost body pose leaves the foot where it was
        for (int a = 0; a < 3; ++a) {
            f.position[a] = static_cast<float>(p[a]);
            f.velocity[a] = static_cast<float>(v[a]);
        }
    }
}

// ---- Realign after fall

void realign_target_set(RealignTarget target) {
    g_realign_target = target ? target : realign_target_from_course;
}

void realign_target_reset() {
    g_realign_target = realign_target_from_course;
}

bool realign_target_from_course(const Rider& rider, double target[3]) {
    (void)rider;
    (void)target;
    // Seam: the race timing supplies the gate here: the race is running, the rider has passed at
    // least one timing mark and has not finished (the finished mark is set, and nothing else
    // happens, once its gate count reaches the leader's finishing gate count). Then the target: a
    // robot's current path target or, with its path used up, the next timing gate; any other rider
    // the point four further along the best racing line of its current section from the line's
    // point nearest the frame (continuing into the next section's best line), falling back to the
    // next timing gate when a section has no usable line or after the third section tried.
    return false;
}

bool realign_after_fall(Rider& rider) {
    if (!setup_flag(rider, RealignAfterFall) || !g_physics.world) return false;
    if (!(rider_speed(rider) < k_realign_speed) || rider.back_up > 0.125) return false;
    double lean = std::fabs(rider_lean_angle(rider));
    if (!(lean > k_realign_lean_min && lean < k_realign_lean_max)) return false;
    double target[3];
    if (!g_realign_target(rider, target) || !finite3(target)) return false;

    dBodyID frame = rider.bodies[BodyFrame];
    const dReal* p = dBodyGetPosition(frame);
    double tx = target[0] - p[0], tz = target[2] - p[2];
    double tl = std::hypot(tx, tz);
    const dReal* R = dBodyGetRotation(frame);
    double fx = -R[2], fz = -R[10];
    double fl = std::hypot(fx, fz);
    // Standing on the target, or the frame pointing straight up or down: no direction to turn to.
    if (!(tl > 1e-6) || !(fl > 1e-6)) return false;
    tx /= tl;
    tz /= tl;
    fx /= fl;
    fz /= fl;
    double ahead = tx * fx + tz * fz;
    double left = tx * fz - tz * fx; // the target's side: positive to the left, a turn about +y
    // Facing the target already: nothing to turn, and the dab aid is left to stand the bike up (while
    // this aid acts the bike is weightless and nothing else lifts it).
    if (ahead > 0 && std::fabs(left) < k_realign_facing) return false;
    double speed = (rider.recovery_timer < 0 ? k_pi : k_pi / 2) * (left >= 0 ? 1 : -1);
    double full = rider.total_mass * 320;
    bool lift = ahead >= 0 || std::fabs(left) >= -0.25 * ahead;
    double torque = lift ? full : std::fabs(left / (0.25 * ahead)) * full;
    const double up[3] = {0, 1, 0};
    one_axis_motor(frame, up, speed, torque);
    if (lift) {
        // The bike's weight, shared by the wheels on the ground, so that it turns weightless.
        WheelRecord* wheels[2] = {&rider.front_wheel, &rider.rear_wheel};
        int touching = 0;
        for (WheelRecord* w : wheels)
            touching += rider_wheel_touching(*w) ? 1 : 0;
        if (touching > 0)
            for (WheelRecord* w : wheels)
                if (rider_wheel_touching(*w))
                    dBodyAddForce(w->body, 0, rider.total_mass * k_gravity / touching, 0);
    }
    return true;
}
