#include <cmath>
#include <random>
#include <string>

#include "contact_fixture.h"
#include "sim/falls.h"
#include "sim/pose.h"
#include "sim/sim_vec.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;

SimVec of(const float* p) {
    return {p[0], p[1], p[2]};
}
SimVec of(const double* p) {
    return {p[0], p[1], p[2]};
}
// Distance of p from the line through a and b.
double off_line(SimVec p, SimVec a, SimVec b) {
    return length(cross(p - a, b - a)) / length(b - a);
}

SimVec joint(SimVec root, SimVec end, double first, double second, SimVec hint) {
    double a[3] = {root.x, root.y, root.z}, b[3] = {end.x, end.y, end.z}, h[3] = {hint.x, hint.y, hint.z},
           j[3];
    two_bone_joint(a, b, first, second, h, j);
    return of(j);
}

// ---- two_bone_joint on its own ----

// Every joint is finite and one first length from the root; a reachable end is one second length
// from the joint, with the joint off the reach line on the hint's side.
TEST(TwoBoneJoint, KeepsLengthsAndBendsTowardsTheHint) {
    struct Case {
        const char* what;
        SimVec root, end, hint;
        double first, second;
    };
    const Case cases[] = {
        {"reachable, hint below", {0, 0, 0}, {1.5, 0, 0}, {0.5, -1, 0}, 0.9, 1.15},
        {"reachable, hint behind", {1, 2, 3}, {1, 2, 1.2}, {1, 2.1, 5}, 1.328, 1.701},
        {"beyond reach", {0, 0, 0}, {10, 0, 0}, {0, 0, 1}, 0.9, 1.15},
        {"just short of full stretch", {0, 0, 0}, {0, 1.9, 0}, {1, 0, 0}, 0.9, 1.15},
        {"nearer than the bones fold", {0, 0, 0}, {0.1, 0, 0}, {0, -1, 0}, 0.9, 1.15},
        {"end on the root", {2, 1, 0}, {2, 1, 0}, {2, 0, 0}, 0.9, 1.15},
        {"end and hint on the root", {2, 1, 0}, {2, 1, 0}, {2, 1, 0}, 1.328, 1.701},
        {"equal bones, end on the root", {0, 0, 0}, {0, 0, 0}, {0, 1, 0}, 1, 1},
        {"hint on the reach line", {0, 0, 0}, {1.5, 0, 0}, {3, 0, 0}, 0.9, 1.15},
        {"hint behind the root on the line", {0, 0, 0}, {0, 0, -1.5}, {0, 0, 4}, 0.9, 1.15},
        {"hint on the root", {0, 0, 0}, {1.5, 0, 0}, {0, 0, 0}, 0.9, 1.15},
        {"hint on the end", {0, 0, 0}, {1.5, 0, 0}, {1.5, 0, 0}, 0.9, 1.15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimVec j = joint(c.root, c.end, c.first, c.second, c.hint);
        ASSERT_TRUE(finite(j));
        EXPECT_NEAR(length(j - c.root), c.first, 1e-9);
        double d = length(c.end - c.root);
        if (d < 1e-9) continue;
        SimVec u = (c.end - c.root) * (1 / d);
        SimVec h = c.hint - c.root;
        SimVec side = h - u * dot(h, u);
        bool reachable = d >= std::fabs(c.first - c.second) && d <= 0.95 * (c.first + c.second);
        if (reachable) {
            EXPECT_NEAR(length(j - c.end), c.second, 1e-9);
        }
        if (d >= std::fabs(c.first - c.second)) {
            // Bent: the angle at the joint stays well short of a straight line.
            double cos_joint = dot(c.root - j, c.end - j) / (length(c.root - j) * length(c.end - j));
            EXPECT_GT(cos_joint, -0.97);
            EXPECT_GT(off_line(j, c.root, c.end), 0.1);
            if (length(side) > 1e-6) {
                EXPECT_GT(dot(j - c.root, side), 0) << "the joint bends away from the hint";
            }
        }
    }
}

// With the end past reach the limb stays bent as if its end were at 0.95 of full stretch, pointing
// at the target.
TEST(TwoBoneJoint, OutOfReachStaysBentTowardsTheTarget) {
    const SimVec root{0, 0, 0}, hint{0, -1, 1};
    for (double distance : {1.95, 3.0, 50.0}) {
        SimVec j = joint(root, {distance, 0, 0}, 0.9, 1.15, hint);
        SimVec held{0.95 * 2.05, 0, 0};
        EXPECT_NEAR(length(j - held), 1.15, 1e-9) << distance;
        EXPECT_LT(j.y, 0) << distance;
        EXPECT_GT(j.z, 0) << distance;
    }
}

// Random limbs: finite joints, lengths kept wherever the end can be reached.
TEST(TwoBoneJoint, RandomLimbsStayFinite) {
    std::mt19937 rng(12);
    std::uniform_real_distribution<double> coord(-3, 3), bone(0, 2);
    for (int i = 0; i < 2000; ++i) {
        SimVec root{coord(rng), coord(rng), coord(rng)}, end{coord(rng), coord(rng), coord(rng)};
        SimVec hint{coord(rng), coord(rng), coord(rng)};
        if (i % 7 == 0) end = root;
        if (i % 5 == 0) hint = root + (end - root) * coord(rng);
        double p = bone(rng), q = i % 11 == 0 ? p : bone(rng);
        SimVec j = joint(root, end, p, q, hint);
        ASSERT_TRUE(finite(j)) << i;
        EXPECT_NEAR(length(j - root), p, 1e-9) << i;
        double d = length(end - root);
        if (d > 1e-6 && d >= std::fabs(p - q) && d <= 0.95 * (p + q)) {
            EXPECT_NEAR(length(j - end), q, 1e-9) << i;
        }
    }
}

// ---- the rider ----

struct PoseTest : ContactTest {
    // The grips and feet the limbs reach for, as the pose sees them.
    SimVec grip(const Rider& r, int side) {
        dVector3 w;
        const float* p = r.bike.rider_points[5 + side];
        dBodyGetRelPointPos(r.bodies[BodyForkUpper], p[0], p[1], p[2], w);
        return of(w);
    }
};

void expect_rotation(const float* m, const std::string& what) {
    SimVec c0 = of(m), c1 = of(m + 3), c2 = of(m + 6);
    ASSERT_TRUE(finite(c0) && finite(c1) && finite(c2)) << what;
    EXPECT_NEAR(length(c0), 1, 1e-5) << what;
    EXPECT_NEAR(length(c1), 1, 1e-5) << what;
    EXPECT_NEAR(length(c2), 1, 1e-5) << what;
    EXPECT_NEAR(dot(c0, c1), 0, 1e-5) << what;
    EXPECT_NEAR(dot(c1, c2), 0, 1e-5) << what;
    EXPECT_NEAR(dot(c0, c2), 0, 1e-5) << what;
    EXPECT_NEAR(dot(cross(c0, c1), c2), 1, 1e-5) << what << ": right-handed";
}

// One limb of the pose against the point it reaches for.
void expect_limb(SimVec root, SimVec mid, SimVec end, double first, double second, const std::string& what) {
    ASSERT_TRUE(finite(root) && finite(mid)) << what;
    EXPECT_NEAR(length(mid - root), first, 1e-4) << what;
    double d = length(end - root);
    if (d >= std::fabs(first - second) + 1e-3 && d <= 0.95 * (first + second) - 1e-3) {
        EXPECT_NEAR(length(end - mid), second, 1e-4) << what;
    }
    if (d >= std::fabs(first - second) + 1e-3) {
        double cos_joint = dot(root - mid, end - mid) / (length(root - mid) * length(end - mid));
        EXPECT_GT(cos_joint, -0.97) << what << ": never fully straight";
    }
}

// Everything the drawing reads is finite, every rotation orthonormal, every limb keeps its bones.
void expect_sound_pose(PoseTest& t, const Rider& r, const std::string& what) {
    RiderPose pose = rider_pose(r);
    for (int b = 0; b < k_pose_bones; ++b) {
        const BonePlacement& bone = pose.bones[b];
        std::string name = what + ", bone " + std::to_string(b);
        ASSERT_TRUE(finite(of(bone.centre)) && finite(of(bone.translation))) << name;
        expect_rotation(bone.rotation, name);
    }
    const float* len = r.bike.rider_lengths;
    FootPose feet = foot_pose(r);
    for (int side = 0; side < 2; ++side) {
        std::string name = what + (side ? ", right " : ", left ");
        expect_limb(of(pose.bones[BoneLeftUpperArm + side].translation),
                    of(pose.bones[BoneLeftForearm + side].translation), t.grip(r, side), len[0], len[1],
                    name + "arm");
        expect_limb(of(pose.bones[BoneLeftThigh + side].translation),
                    of(pose.bones[BoneLeftShin + side].translation), of(feet.foot[side]), len[2], len[3],
                    name + "leg");
    }
    HeadPose head = head_pose(r);
    ASSERT_TRUE(finite(of(head.position))) << what << ", head";
    expect_rotation(head.rotation, what + ", head");
}

void set_rotation(dBodyID body, double x, double y, double z, double angle) {
    dMatrix3 m;
    dRFromAxisAndAngle(m, x, y, z, angle);
    dBodySetRotation(body, m);
}

// Named poses, each one a way the bodies can stand when the rider is drawn.
TEST_F(PoseTest, EveryPoseIsSound) {
    struct Case {
        const char* what;
        void (*arrange)(Rider&);
    };
    const Case cases[] = {
        {"upright at rest", [](Rider&) {}},
        {"riding fast", [](Rider& r) { dBodySetLinearVel(r.bodies[BodyRider], 3, 1, -60); }},
        {"rolling backwards", [](Rider& r) { dBodySetLinearVel(r.bodies[BodyRider], 0, 0, 20); }},
        {"steered to the lock",
         [](Rider& r) {
             const dReal* p = dBodyGetPosition(r.bodies[BodyForkUpper]);
             SimVec at = of(p);
             set_rotation(r.bodies[BodyForkUpper], 0, 1, 0, 0.785);
             dBodySetPosition(r.bodies[BodyForkUpper], at.x, at.y, at.z);
             r.throttle = 1;
         }},
        {"lying upside down",
         [](Rider& r) {
             rider_rotate(r, 0, 0, 1, k_pi);
             rider_translate(r, 0, 6, 0);
         }},
        {"on its side, dabbing",
         [](Rider& r) {
             rider_rotate(r, 0, 0, 1, k_pi / 2);
             rider_translate(r, 0, 2, 0);
             r.pose_blend = 1;
         }},
        {"on its back, facing the sky",
         [](Rider& r) { set_rotation(r.bodies[BodyRider], 1, 0, 0, k_pi / 2); }},
        {"face down", [](Rider& r) { set_rotation(r.bodies[BodyRider], 1, 0, 0, -k_pi / 2); }},
        {"crashed far from the bike",
         [](Rider& r) {
             r.crash_counter = 600;
             dBodySetPosition(r.bodies[BodyRider], 25, 1, 30);
             set_rotation(r.bodies[BodyRider], 0.3, 1, 0.2, 2.5);
             for (int i = 0; i < 2; ++i) {
                 r.feet[i].position[0] = 26.f + i;
                 r.feet[i].position[1] = 0.25f;
                 r.feet[i].position[2] = 31;
             }
         }},
        {"crashed, feet on the hips",
         [](Rider& r) {
             r.crash_counter = 300;
             const float* hip = r.bike.rider_points[3];
             dVector3 w;
             dBodyGetRelPointPos(r.bodies[BodyRider], hip[0], hip[1], hip[2], w);
             for (FootPoint& f : r.feet)
                 for (int a = 0; a < 3; ++a)
                     f.position[a] = static_cast<float>(w[a]);
         }},
    };
    for (const Case& c : cases) {
        Rider& r = place(0, 0);
        c.arrange(r);
        expect_sound_pose(*this, r, c.what);
        rider_destroy(&r);
        riders.pop_back();
    }
}

// A seeded loop of arbitrary body placements: bodies anywhere near one another or far apart, any
// orientation and velocity, riding, dabbing or crashed.
TEST_F(PoseTest, RandomBodyPlacementsAreSound) {
    Rider& r = place(0, 0);
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> unit(-1, 1), share(0, 1);
    const SimVec seat = of(dBodyGetPosition(r.bodies[BodyRider]));
    const SimVec fork = of(dBodyGetPosition(r.bodies[BodyForkUpper]));
    const int counters[] = {0, 0, 64, 200, 511, 700};
    for (int i = 0; i < 300; ++i) {
        double spread = i % 10 == 0 ? 40 : 3;
        for (RiderBody body : {BodyFrame, BodyForkUpper, BodyRider}) {
            set_rotation(r.bodies[body], unit(rng), unit(rng), unit(rng), k_pi * unit(rng));
            SimVec at = (body == BodyForkUpper ? fork : seat) +
                   SimVec{unit(rng), unit(rng), unit(rng)} * (body == BodyRider ? spread : 1.0);
            dBodySetPosition(r.bodies[body], at.x, at.y, at.z);
            dBodySetLinearVel(r.bodies[body], 60 * unit(rng), 60 * unit(rng), 60 * unit(rng));
        }
        r.throttle = static_cast<float>(share(rng));
        r.pose_blend = static_cast<float>(share(rng));
        r.crash_counter = counters[i % 6];
        for (FootPoint& f : r.feet)
            for (float& p : f.position)
                p = static_cast<float>(spread * unit(rng));
        expect_sound_pose(*this, r, "random pose " + std::to_string(i));
        if (HasFatalFailure()) return;
    }
}

// Mirrors a world point or axis in the frame's plane of symmetry.
struct Mirror {
    dBodyID frame;
    SimVec point(SimVec p) const {
        dVector3 local, w;
        dBodyGetPosRelPoint(frame, p.x, p.y, p.z, local);
        dBodyGetRelPointPos(frame, -local[0], local[1], local[2], w);
        return of(w);
    }
    SimVec vector(SimVec v) const {
        dVector3 local, w;
        dBodyVectorFromWorld(frame, v.x, v.y, v.z, local);
        dBodyVectorToWorld(frame, -local[0], local[1], local[2], w);
        return of(w);
    }
};

void expect_near(SimVec a, SimVec b, const std::string& what) {
    EXPECT_NEAR(a.x, b.x, 1e-5) << what;
    EXPECT_NEAR(a.y, b.y, 1e-5) << what;
    EXPECT_NEAR(a.z, b.z, 1e-5) << what;
}

// For the bike upright with the steering straight, each left bone is the mirror image of the right
// one: its joint mirrored, its rotation the mirrored rotation of the mirrored model (the first
// column flips sign, the others mirror). At three quarters throttle and more the throttle hand's
// elbow hangs as low as the other one, which is when the arms are mirror images.
TEST_F(PoseTest, LeftAndRightMirrorEachOther) {
    struct Case {
        const char* what;
        double heading;
        float throttle, blend;
    };
    const Case cases[] = {
        {"feet on the pegs", 0, 0.8f, 0},
        {"turned, feet on the pegs", 0.6, 0.8f, 0},
        {"both feet dabbing", 0, 0.8f, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rider& r = make();
        rider_rotate(r, 0, 1, 0, c.heading);
        rider_translate(r, 3, 1, -2);
        r.throttle = c.throttle;
        r.pose_blend = c.blend;
        Mirror m{r.bodies[BodyFrame]};
        RiderPose pose = rider_pose(r);
        for (int left : {BoneLeftForearm, BoneLeftUpperArm, BoneLeftShin, BoneLeftThigh}) {
            const BonePlacement &l = pose.bones[left], &rt = pose.bones[left + 1];
            std::string name = "bone " + std::to_string(left);
            expect_near(of(l.centre), {-rt.centre[0], rt.centre[1], rt.centre[2]}, name + " centre");
            expect_near(of(l.translation), m.point(of(rt.translation)), name + " joint");
            expect_near(of(l.rotation), m.vector(of(rt.rotation)) * -1, name + " x");
            expect_near(of(l.rotation + 3), m.vector(of(rt.rotation + 3)), name + " y");
            expect_near(of(l.rotation + 6), m.vector(of(rt.rotation + 6)), name + " z");
        }
        const BonePlacement& torso = pose.bones[BoneTorso];
        expect_near(of(torso.translation), m.point(of(torso.translation)), "torso on the plane of symmetry");
        expect_near(of(torso.rotation + 3), m.vector(of(torso.rotation + 3)),
                    "spine in the plane of symmetry");
    }
}

// Opening the throttle drops the right (throttle) elbow and leaves the left arm where it was.
TEST_F(PoseTest, ThrottleDropsTheRightElbow) {
    Rider& r = place(0, 0);
    r.throttle = 0;
    RiderPose closed = rider_pose(r);
    r.throttle = 1;
    RiderPose open = rider_pose(r);
    EXPECT_LT(open.bones[BoneRightForearm].translation[1],
              closed.bones[BoneRightForearm].translation[1] - 1e-3);
    expect_near(of(open.bones[BoneLeftForearm].translation), of(closed.bones[BoneLeftForearm].translation),
                "left elbow");
}

// With the grips out of reach (the rider body slid back on the bike) each arm stays bent, its
// elbow dropping below the shoulder-to-grip line and out to its own side.
TEST_F(PoseTest, OutOfReachArmsStayBent) {
    Rider& r = place(0, 0);
    const dReal* p = dBodyGetPosition(r.bodies[BodyRider]);
    dBodySetPosition(r.bodies[BodyRider], p[0], p[1], p[2] + 1.5);
    RiderPose pose = rider_pose(r);
    for (int side = 0; side < 2; ++side) {
        SCOPED_TRACE(side ? "right" : "left");
        SimVec shoulder = of(pose.bones[BoneLeftUpperArm + side].translation);
        SimVec elbow = of(pose.bones[BoneLeftForearm + side].translation);
        SimVec g = grip(r, side);
        ASSERT_GT(length(g - shoulder), 0.95 * (r.bike.rider_lengths[0] + r.bike.rider_lengths[1]));
        EXPECT_GT(off_line(elbow, shoulder, g), 0.2);
        SimVec u = (g - shoulder) * (1 / length(g - shoulder));
        SimVec off = (elbow - shoulder) - u * dot(elbow - shoulder, u);
        EXPECT_LT(off.y, 0);
        EXPECT_GT(side ? off.x : -off.x, 0);
    }
}

// The shin's twist: with the foot on the peg its x axis is the hip line made perpendicular to the
// shin; with the foot on the ground (crashed) it is the normal of the leg's own plane.
TEST_F(PoseTest, ShinFollowsTheHipsOnThePegAndTheLegOnTheGround) {
    Rider& r = place(0, 0);
    rider_rotate(r, 0.2, 1, 0.1, 0.5);
    rider_translate(r, 1, 2, 3);
    RiderPose pose = rider_pose(r);
    SimVec hips = of(pose.bones[BoneRightThigh].translation) - of(pose.bones[BoneLeftThigh].translation);
    for (int side = 0; side < 2; ++side) {
        SCOPED_TRACE(side ? "right, on the peg" : "left, on the peg");
        const float* m = pose.bones[BoneLeftShin + side].rotation;
        SimVec along = of(m + 3);
        SimVec want = hips - along * dot(hips, along);
        expect_near(of(m), want * (1 / length(want)), "x axis");
    }

    r.crash_counter = 300;
    for (int i = 0; i < 2; ++i) {
        const float* peg = r.bike.rider_points[7 + i];
        dVector3 w;
        dBodyGetRelPointPos(r.bodies[BodyFrame], peg[0] + (i ? 1.5f : -1.5f), peg[1] - 0.6f, peg[2] - 1.0f,
                            w);
        for (int a = 0; a < 3; ++a)
            r.feet[i].position[a] = static_cast<float>(w[a]);
    }
    pose = rider_pose(r);
    FootPose feet = foot_pose(r);
    for (int side = 0; side < 2; ++side) {
        SCOPED_TRACE(side ? "right, on the ground" : "left, on the ground");
        ASSERT_EQ(feet.weight[side], 1);
        SimVec hip = of(pose.bones[BoneLeftThigh + side].translation);
        SimVec knee = of(pose.bones[BoneLeftShin + side].translation);
        SimVec foot = of(feet.foot[side]);
        SimVec normal = cross(hip - knee, foot - knee);
        normal = normal * (1 / length(normal));
        SimVec x = of(pose.bones[BoneLeftShin + side].rotation);
        EXPECT_NEAR(std::fabs(dot(x, normal)), 1, 1e-5);
    }
}

// The head looks along the path ahead: forwards and a little down at rest or rolling backwards,
// turning towards a sideways motion, never round to face backwards.
TEST_F(PoseTest, HeadLooksAhead) {
    struct Case {
        const char* what;
        SimVec velocity;
        int turn; // -1 left, 0 straight, 1 right
    };
    const Case cases[] = {
        {"at rest", {0, 0, 0}, 0},
        {"riding straight", {0, 0, -50}, 0},
        {"rolling backwards", {0, 0, 30}, 0},
        {"drifting left", {-25, 0, -30}, -1},
        {"drifting right", {25, 0, -30}, 1},
        {"falling", {0, -40, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rider& r = place(0, 0);
        dBodySetLinearVel(r.bodies[BodyRider], c.velocity.x, c.velocity.y, c.velocity.z);
        HeadPose head = head_pose(r);
        SimVec gaze = of(head.rotation + 6) * -1;
        EXPECT_LT(gaze.z, -0.5) << "looks forwards";
        EXPECT_LT(gaze.y, 0) << "and a little down";
        if (c.turn == 0) {
            EXPECT_NEAR(gaze.x, 0, 1e-6);
        } else {
            EXPECT_GT(gaze.x * c.turn, 0.05);
        }
        EXPECT_LT(std::fabs(head.rotation[1]), 0.1) << "ears level";
        rider_destroy(&r);
        riders.pop_back();
    }
}

// A body pitched so that its forward axis stands vertical gives the look no horizontal direction;
// the head then looks as it does for a body pitched a hair less, not off at some arbitrary angle.
TEST_F(PoseTest, HeadKeepsItsLookWithTheBodyVertical) {
    for (double pitch : {k_pi / 2, -k_pi / 2}) {
        SCOPED_TRACE(pitch > 0 ? "on its back" : "face down");
        Rider& r = place(0, 0);
        set_rotation(r.bodies[BodyRider], 1, 0, 0, pitch * (1 - 1e-4));
        HeadPose near = head_pose(r);
        set_rotation(r.bodies[BodyRider], 1, 0, 0, pitch);
        HeadPose vertical = head_pose(r);
        expect_rotation(vertical.rotation, "vertical");
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(vertical.rotation[i], near.rotation[i], 1e-2) << i;
        rider_destroy(&r);
        riders.pop_back();
    }
}

// Through a real fall: a rider dropped upside down onto the ground crashes, tumbles, rests and is
// pulled back onto the seat, and its pose stays sound on every tick of the way.
TEST_F(PoseTest, PoseStaysSoundThroughACrash) {
    Rider& r = place(0, 0);
    rider_rotate(r, 0, 0, 1, k_pi);
    rider_translate(r, 0, 9, 0);
    bool crashed = false;
    for (int tick = 0; tick < 900; ++tick) {
        run(1);
        crashed = crashed || r.crash_counter > 0;
        expect_sound_pose(*this, r, "tick " + std::to_string(tick));
        if (HasFatalFailure()) return;
    }
    EXPECT_TRUE(crashed);
}

} // namespace
