// Contacts between riders, with objects and with the ground, by outcome: who gets blamed, how the
// touch is applied (joint, force or only reported), frozen riders left alone, no NaN from
// degenerate touches, crashes asked for, rut marks and the collision set's order.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "contact_fixture.h"
#include "sim/contact.h"
#include "sim/shapes.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;

void set_velocity(Rider& r, double vx, double vy, double vz) {
    for (dBodyID body : r.bodies)
        dBodySetLinearVel(body, vx, vy, vz);
}

SimVec position(dBodyID body) {
    const dReal* p = dBodyGetPosition(body);
    return SimVec{p[0], p[1], p[2]};
}

bool rider_finite(const Rider& r) {
    for (dBodyID body : r.bodies) {
        const dReal* p = dBodyGetPosition(body);
        const dReal* v = dBodyGetLinearVel(body);
        for (int i = 0; i < 3; ++i)
            if (!std::isfinite(p[i]) || !std::isfinite(v[i])) return false;
    }
    return true;
}

} // namespace

TEST_F(ContactTest, SideBySideTouchIsAJointWithoutBlame) {
    Rider& a = place(40, 40);
    Rider& b = place(41.5, 40); // bars and elbows overlap, wheels and forks do not
    set_velocity(a, 0, 0, -12);
    set_velocity(b, 0, 0, -12);
    int touched = rider_rider_contacts(a, b, false);
    EXPECT_NE(touched, 0);
    EXPECT_EQ(touched & (PartFrontWheel | PartForkLower), 0);
    EXPECT_GT(g_contact_stats.joints, 0);
    EXPECT_EQ(g_contact_stats.forces, 0);
    EXPECT_EQ(a.recovery_timer, 0);
    EXPECT_EQ(b.recovery_timer, 0);
    EXPECT_EQ(a.last_contact_tick, g_race.clock);
    EXPECT_EQ(b.first_contact_tick, g_race.clock);
    // Far apart: nothing at all.
    Rider& c = place(80, 40);
    EXPECT_EQ(rider_rider_contacts(a, c, false), 0);
    EXPECT_EQ(c.first_contact_tick, -1);
}

TEST_F(ContactTest, BlameFollowsWhoseFrontStruck) {
    struct Case {
        const char* what;
        bool head_on;        // fronts meet; otherwise one front hits the other's side
        bool faster_strikes; // the faster rider (tested first) is the striker
        double speed_fast, speed_slow;
        float timer_fast, timer_slow; // recovery timers afterwards
    };
    const Case cases[] = {
        {"head on, both fast", true, true, 12, 11, 192, 192},
        {"head on, one slow", true, true, 12, 4, 192, 0},
        {"fast front into a moving side", false, true, 12, 6, 256, -640},
        {"fast front into a side at rest", false, true, 12, 0, 0, 0},
        {"slower front into a fast side", false, false, 15, 12, -640, 256},
        {"slow front into a fast side", false, false, 15, 8, -640, 0},
    };
    double x = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The striker faces -z; its front wheel reaches to z = 40 - 0.06.
        Rider& striker = place(x, 40);
        Rider& struck = make();
        if (c.head_on) {
            rider_rotate(struck, 0, 1, 0, k_pi); // facing +z, its front wheel towards the striker's
            rider_translate(struck, x,
                            dBodyGetPosition(striker.bodies[BodyFrame])[1] -
                                dBodyGetPosition(struck.bodies[BodyFrame])[1],
                            40 + 0.09);
        } else {
            rider_rotate(struck, 0, 1, 0, k_pi / 2); // crosswise, frame ahead of the striker's front wheel
            rider_translate(struck, x - 3.6,
                            dBodyGetPosition(striker.bodies[BodyFrame])[1] -
                                dBodyGetPosition(struck.bodies[BodyFrame])[1],
                            40 - 0.3);
        }
        double striker_speed = c.faster_strikes ? c.speed_fast : c.speed_slow;
        double struck_speed = c.faster_strikes ? c.speed_slow : c.speed_fast;
        set_velocity(striker, 0, 0, -striker_speed);
        if (c.head_on)
            set_velocity(struck, 0, 0, struck_speed);
        else
            set_velocity(struck, struck_speed, 0, 0);
        Rider& fast = c.faster_strikes ? striker : struck;
        Rider& slow = c.faster_strikes ? struck : striker;
        EXPECT_NE(rider_rider_contacts(fast, slow, false), 0);
        EXPECT_EQ(fast.recovery_timer, c.timer_fast);
        EXPECT_EQ(slow.recovery_timer, c.timer_slow);
        world_step(); // the joints of this pair go; the next case starts clean
        x += 40;
    }
}

TEST_F(ContactTest, ASecondRiderContactInOneTickIsAppliedAsForces) {
    Rider& a = place(40, 40);
    Rider& b = place(41.5, 40);
    Rider& c = place(38.5, 40);
    ASSERT_NE(rider_rider_contacts(a, b, false), 0);
    long joints = g_contact_stats.joints;
    EXPECT_EQ(g_contact_stats.forces, 0);
    ASSERT_NE(rider_rider_contacts(a, c, false), 0);
    EXPECT_EQ(g_contact_stats.joints, joints) << "no joint joins a third rider to the pair";
    EXPECT_GT(g_contact_stats.forces, 0);
    // The next tick starts afresh: joints again.
    world_step();
    ASSERT_NE(rider_rider_contacts(a, c, false), 0);
    EXPECT_GT(g_contact_stats.joints, joints);
}

TEST_F(ContactTest, OnlineHitsOfTheNetworkRidersFrontAreOnlyReported) {
    Rider& a = place(40, 40);
    Rider& b = make();
    rider_rotate(b, 0, 1, 0, k_pi);
    rider_translate(
        b, 40, dBodyGetPosition(a.bodies[BodyFrame])[1] - dBodyGetPosition(b.bodies[BodyFrame])[1], 40.09);
    // Only front wheels touch here (B's front wheel against A's front wheel): reported, no joint.
    int touched = rider_rider_contacts(a, b, true);
    EXPECT_TRUE(touched & PartFrontWheel);
    // Neither front wheel was tested against the ground this step: their contact state comes from
    // the tyre they hit, so roost and sound see the touch; the normals push the tyres apart.
    for (Rider* r : {&a, &b}) {
        EXPECT_GT(r->front_wheel.depth, 0);
        EXPECT_FALSE(r->front_wheel.contact_on_ground);
        const dReal* axle = dBodyGetPosition(r->front_wheel.body);
        double towards_axle = (axle[2] - r->front_wheel.contact_point[2]) * r->front_wheel.contact_normal[2];
        EXPECT_GT(towards_axle, 0);
    }
    EXPECT_EQ(g_contact_stats.forces, 0);
    EXPECT_EQ(g_contact_stats.joints, 0);
    long online_joints = g_contact_stats.joints;
    world_step();
    rider_rider_contacts(a, b, false);
    EXPECT_GT(g_contact_stats.joints, online_joints) << "offline the same touch is a joint";
}

TEST_F(ContactTest, FrozenRiderIsNotMovedByAContactJoint) {
    Rider& a = place(40, 40);
    Rider& b = place(41.2, 40);
    rider_freeze(b);
    SimVec before[k_rider_bodies];
    for (int i = 0; i < k_rider_bodies; ++i)
        before[i] = position(b.bodies[i]);
    for (int tick = 0; tick < 20; ++tick) {
        rider_contacts(a);
        ASSERT_NE(rider_rider_contacts(a, b, false), 0);
        world_step();
        rider_step(a);
        rider_step(b);
    }
    for (int i = 0; i < k_rider_bodies; ++i) {
        EXPECT_FALSE(dBodyIsEnabled(b.bodies[i])) << i;
        EXPECT_EQ(length(position(b.bodies[i]) - before[i]), 0) << i;
    }
    // The simulated rider was pushed away by the frozen one as by a wall.
    EXPECT_LT(position(a.bodies[BodyFrame]).x, 40 - 0.01);
    EXPECT_TRUE(rider_finite(a));
}

TEST_F(ContactTest, OnlineANetworkRiderThatTouchesIsHandedToLocalSimulation) {
    Rider& local = place(40, 40);
    Rider& near = place(41.2, 40);
    Rider& far = place(80, 40);
    rider_freeze(near);
    rider_freeze(far);
    Rider* network[2] = {&far, &near};
    EXPECT_EQ(world_contacts_online(local, network, 2, nullptr, 0, true), 0) << "no rider contact in warm-up";
    EXPECT_EQ(near.activity, 0);
    EXPECT_EQ(world_contacts_online(local, network, 2, nullptr, 0, false), 1);
    EXPECT_EQ(near.activity, 1);
    EXPECT_TRUE(dBodyIsEnabled(near.bodies[BodyFrame]));
    EXPECT_EQ(far.activity, 0);
    EXPECT_FALSE(dBodyIsEnabled(far.bodies[BodyFrame]));
}

TEST_F(ContactTest, CoincidentRidersSeparateWithoutNaN) {
    Rider& a = place(40, 40);
    Rider& b = place(40, 40); // every sphere of one exactly on the same sphere of the other
    run(64);
    EXPECT_TRUE(rider_finite(a));
    EXPECT_TRUE(rider_finite(b));
    EXPECT_EQ(g_contact_stats.rejected, 0);
    EXPECT_GT(length(position(a.bodies[BodyFrame]) - position(b.bodies[BodyFrame])), 0.1);
}

TEST_F(ContactTest, LandingUpsideDownOnTheBodyCrashesOnlyAboveFiveFeetPerSecond) {
    struct Case {
        double speed;
        bool crash;
    };
    const Case cases[] = {{6, true}, {4, false}};
    for (const Case& c : cases) {
        contact_reset_state();
        Rider& r = make();
        rider_rotate(r, 0, 0, 1, k_pi); // upside down about the frame's long axis
        // The rider's helmet a tenth of a foot into the ground.
        double top = dBodyGetPosition(r.bodies[BodyRider])[1];
        rider_translate(r, 40, -top + 1.4, 40);
        dBodySetLinearVel(r.bodies[BodyRider], 0, -c.speed, 0);
        int touched = rider_contacts(r);
        ASSERT_TRUE(touched & PartRider) << c.speed;
        EXPECT_EQ(g_contact_stats.crash_requests, c.crash ? 1 : 0) << c.speed;
        EXPECT_EQ(r.lap_fault, 1);
        world_step();
        rider_freeze(r);
    }
}

TEST_F(ContactTest, ObjectHitsCrashTheRiderOnlyWhenFast) {
    Rider& r = place(40, 40);
    // A post with the rider's own shape, fixed, where the rider's body is.
    CollisionShape* post = shape_copy(r.collision_shapes[BodyRider]);
    ContactObject object{nullptr, {0, 0, 0}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}, post};
    const dReal* p = dBodyGetPosition(r.bodies[BodyRider]);
    object.position[0] = p[0] + 0.5;
    object.position[1] = p[1];
    object.position[2] = p[2];
    struct Case {
        double speed;
        long crashes;
    };
    const Case cases[] = {{10, 0}, {25, 1}};
    for (const Case& c : cases) {
        contact_reset_state();
        dBodySetLinearVel(r.bodies[BodyRider], 0, 0, -c.speed);
        int touched = rider_object_contacts(r, object);
        EXPECT_TRUE(touched & PartRider) << c.speed;
        EXPECT_GT(g_contact_stats.joints, 0) << c.speed;
        EXPECT_EQ(g_contact_stats.crash_requests, c.crashes) << c.speed;
        world_step();
    }
    // A protected rider (negative recovery timer) is not crashed.
    contact_reset_state();
    r.recovery_timer = -100;
    rider_object_contacts(r, object);
    EXPECT_EQ(g_contact_stats.crash_requests, 0);
    shape_free(post);
}

TEST_F(ContactTest, CollisionSetIsFastestFirst) {
    Rider& slow = place(40, 40);
    Rider& quick = place(80, 40);
    Rider& middle = place(120, 40);
    set_velocity(slow, 0, 0, -3);
    set_velocity(quick, 0, 0, -10);
    set_velocity(middle, 0, 0, -7);
    Rider* set[3] = {&slow, &quick, &middle};
    collision_set_sort(set, 3);
    EXPECT_EQ(set[0], &quick);
    EXPECT_EQ(set[1], &middle);
    EXPECT_EQ(set[2], &slow);
    EXPECT_TRUE(rider_compare(&quick, &slow));
    EXPECT_FALSE(rider_compare(&slow, &quick));
}

TEST_F(ContactTest, RutMarksWaitUntilTheRiderHasMovedOn) {
    Rider& r = place(40, 40);
    run(32);
    ASSERT_GT(r.front_wheel.depth, 0);
    // Hard driving: fast wheels pushing the ground back.
    for (WheelRecord* w : {&r.front_wheel, &r.rear_wheel}) {
        dBodySetLinearVel(w->body, 0, 0, -30);
        w->feedback.f1[0] = 0;
        w->feedback.f1[2] = 400;
    }
    rut_record(g_terrain, r);
    EXPECT_EQ(rut_count(r), 2);
    // Weak pushes leave no mark.
    for (WheelRecord* w : {&r.front_wheel, &r.rear_wheel})
        w->feedback.f1[2] = 10;
    rut_record(g_terrain, r);
    EXPECT_EQ(rut_count(r), 2);
    rut_apply(g_terrain, r, 1);
    EXPECT_EQ(g_contact_stats.rut_marks_applied, 0) << "the rider is still on its marks";
    EXPECT_EQ(rut_count(r), 2);
    rider_translate(r, 0, 0, -15);
    rut_apply(g_terrain, r, 1);
    EXPECT_EQ(g_contact_stats.rut_marks_applied, 2);
    EXPECT_EQ(rut_count(r), 0);
    // The ring stops taking marks when full.
    for (WheelRecord* w : {&r.front_wheel, &r.rear_wheel})
        w->feedback.f1[2] = 400;
    for (int i = 0; i < 600; ++i)
        rut_record(g_terrain, r);
    EXPECT_EQ(rut_count(r), k_rut_ring_size - 1);
}

TEST_F(ContactTest, ShortRandomSoakStaysFinite) {
    // Twenty riders packed so their bars overlap, shoved about at random, with their wheels and bodies
    // spun: a taste of the long soak the harness runs.
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> push(-40, 40);
    for (int i = 0; i < 20; ++i)
        place(30 + 2.2 * (i % 5), 30 + 9 * (i / 5));
    for (int tick = 0; tick < 800; ++tick) {
        if (tick % 50 == 0)
            for (Rider* r : riders)
                for (dBodyID body : r->bodies)
                    dBodyAddForce(body, push(rng) * 20, push(rng) * 10, push(rng) * 20);
        for (Rider* r : riders) {
            rider_set_input(*r, Lean, float(push(rng) / 40));
            rider_set_input(*r, SitDab, float(push(rng) > 0));
        }
        run(1);
    }
    for (Rider* r : riders)
        ASSERT_TRUE(rider_finite(*r)) << r->slot;
    EXPECT_EQ(g_contact_stats.rejected, 0);
}
