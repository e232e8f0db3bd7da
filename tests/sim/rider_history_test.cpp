#include <cmath>
#include <cstring>

#include "sim/rider_history.h"
#include "sim_fixture.h"
#include "track/terrain.h"

namespace {

using HistoryTest = SimTest;

// Drives a rider into a pose with every joint away from zero: steering turned, fork and shock
// compressed, wheels turned, the whole bike tumbling.
void pose_rider(SimTest& t, Rider& r) {
    // The steering aids would hold the steering against the push below.
    setup_set_value(r, MaxSteeringForce, 0);
    setup_set_value(r, SteeringDamping, 0);
    rider_translate(r, 40, 60, 70);
    dBodySetAngularVel(r.bodies[BodyFrontWheel], 20, 0, 0);
    dBodySetAngularVel(r.bodies[BodyRearWheel], -15, 0, 0);
    for (dBodyID body : r.bodies)
        dBodySetLinearVel(body, 2, 1, -30);
    for (int i = 0; i < 40; ++i) {
        dVector3 axis;
        dJointGetHingeAxis(r.joints[JointSteering], axis);
        dBodyAddTorque(r.bodies[BodyForkUpper], axis[0] * 40, axis[1] * 40, axis[2] * 40);
        dBodyAddTorque(r.bodies[BodyFrame], 10, 30, 5);
        dBodyAddForce(r.bodies[BodyFrontWheel], 0, 900, 0);
        dBodyAddForce(r.bodies[BodyRearWheel], 0, 900, 0);
        t.tick({&r});
    }
}

TEST_F(HistoryTest, PlacementReproducesTheRecordedPose) {
    Rider& source = make();
    pose_rider(*this, source);
    ASSERT_GT(std::fabs(rider_steering_angle(source)), 0.05);
    ASSERT_LT(rider_fork_position(source), -0.01);
    ASSERT_LT(rider_swingarm_angle(source), -0.01);
    RiderState state = rider_capture_state(source);

    Rider& copy = make();
    rider_freeze(copy);
    rider_apply_history(copy, state, state, 1, state);
    const char* names[] = {"frame",      "front wheel", "rear wheel", "fork upper",
                           "fork lower", "swingarm",    "rider"};
    for (int b = 0; b < k_rider_bodies; ++b) {
        const dReal* want = dBodyGetPosition(source.bodies[b]);
        const dReal* got = dBodyGetPosition(copy.bodies[b]);
        // The simulated bodies sit off their joints by the solver's small constraint error.
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(got[i], want[i], 5e-3) << names[b] << " axis " << i;
        const dReal* wq = dBodyGetQuaternion(source.bodies[b]);
        const dReal* gq = dBodyGetQuaternion(copy.bodies[b]);
        double dot = std::fabs(wq[0] * gq[0] + wq[1] * gq[1] + wq[2] * gq[2] + wq[3] * gq[3]);
        EXPECT_NEAR(dot, 1, 1e-4) << names[b];
    }
    EXPECT_NEAR(rider_steering_angle(copy), state.steering_angle, 1e-6);
    EXPECT_NEAR(rider_fork_position(copy), state.fork_position, 1e-6);
    EXPECT_NEAR(rider_swingarm_angle(copy), state.swingarm_angle, 1e-6);
    EXPECT_NEAR(rider_wheel_angle(copy, true), state.front_wheel_angle, 1e-6);
    EXPECT_NEAR(rider_wheel_angle(copy, false), state.rear_wheel_angle, 1e-6);
}

TEST_F(HistoryTest, VelocitiesAreTheMotionOverTheSpan) {
    Rider& r = make();
    RiderState before = rider_capture_state(r);
    RiderState after = before;
    after.frame_position[2] -= 1;
    // A tenth of a radian of yaw over the span.
    after.frame_rotation[0] = std::cos(0.05);
    after.frame_rotation[2] = std::sin(0.05);
    rider_freeze(r);
    const int span = 4;
    rider_apply_history(r, before, after, span, after);
    const double seconds = span * k_tick_length;
    EXPECT_NEAR(dBodyGetLinearVel(rider_frame(r))[2], -1 / seconds, 1e-9);
    EXPECT_NEAR(dBodyGetAngularVel(rider_frame(r))[1], 0.1 / seconds, 1e-9);
    EXPECT_NEAR(dBodyGetAngularVel(r.bodies[BodySwingarm])[1], 0.1 / seconds, 1e-9);
    // A span below 2 counts as one tick.
    rider_apply_history(r, before, after, 0, after);
    EXPECT_NEAR(dBodyGetAngularVel(rider_frame(r))[1], 0.1 / k_tick_length, 1e-9);
}

TEST_F(HistoryTest, RecordedControlsAndCrashes) {
    Rider& r = make();
    rider_freeze(r);
    RiderState s = rider_capture_state(r);
    s.gear_field = 6; // a five-speed shows its top gear
    s.throttle_level = 15;
    s.rpm = 6000;
    rider_apply_history(r, s, s, 1, s);
    EXPECT_EQ(r.gear, 4);
    EXPECT_FLOAT_EQ(r.throttle, 1);
    EXPECT_NEAR(r.engine_speed * k_rpm_per_rad_s, 6000, 0.01);

    s.gear_field = 7;
    s.throttle_level = 15;
    rider_apply_history(r, s, s, 1, s);
    EXPECT_EQ(r.crash_counter, 128);
    EXPECT_FLOAT_EQ(r.throttle, 0);
    EXPECT_EQ(dJointGetBody(r.joints[JointRider], 0), nullptr);
    EXPECT_GT(r.pose_blend, 0);

    s.gear_field = 2;
    s.throttle_level = 3;
    rider_apply_history(r, s, s, 1, s);
    EXPECT_EQ(r.crash_counter, 0);
    EXPECT_EQ(dJointGetBody(r.joints[JointRider], 0), r.bodies[BodyRider]);
    EXPECT_EQ(r.gear, 2);
    EXPECT_FLOAT_EQ(r.throttle, 0.2f);
}

TEST_F(HistoryTest, SimulatedRiderIsPulledTowardsTheRecording) {
    Rider& r = make();
    RiderState s = rider_capture_state(r);
    s.frame_position[0] += 2;
    s.pose_bit = true;
    // Freshly touched: free for the first quarter second, no pull.
    r.activity = 1;
    rider_apply_history(r, s, s, 1, s);
    EXPECT_DOUBLE_EQ(dBodyGetForce(rider_frame(r))[0], 0);
    EXPECT_FLOAT_EQ(r.sit_dab, 1);
    // Later the pull is on, towards the recording and limited.
    dBodySetForce(rider_frame(r), 0, 0, 0);
    r.activity = 0.4f;
    rider_apply_history(r, s, s, 1, s);
    EXPECT_NEAR(dBodyGetForce(rider_frame(r))[0], 2500, 1e-6);
    // Nothing was placed: the frame is where the simulation left it.
    EXPECT_NEAR(dBodyGetPosition(rider_frame(r))[0], r.bike.frame_position[0], 1e-12);
}

// A replayed rider touches nothing, yet its wheels read as on the ground where the ground is.
TEST_F(HistoryTest, PlacedWheelsTakeTheirContactFromTheGround) {
    Terrain& t = g_terrain;
    t = Terrain{};
    t.size_log2 = 4;
    t.tiles_per_side = 16;
    t.samples_per_side = 33;
    t.cell_size = 1.25f;
    t.tile_size = 2.5f;
    t.extent = 40;
    t.heights.assign(33 * 33, 5.0f);
    t.tile_map.assign(16 * 16, 0);
    t.tiles.push_back(tile_type_defaults());
    t.tile_count = 1;

    Rider& r = make();
    rider_freeze(r);
    RiderState s = rider_capture_state(r);
    s.frame_position[0] = 20;
    s.frame_position[2] = 20;
    s.frame_position[1] = 5 + r.bike.frame_position[1] - 0.1; // tyres a little into the ground
    rider_apply_history(r, s, s, 1, s);
    EXPECT_GT(r.front_wheel.depth, 0);
    EXPECT_GT(r.rear_wheel.depth, 0);
    EXPECT_NEAR(r.rear_wheel.contact_point[1], 5, 1e-6);
    EXPECT_NEAR(r.rear_wheel.contact_normal[1], 1, 1e-6);
    s.frame_position[1] += 2; // in the air
    rider_apply_history(r, s, s, 1, s);
    EXPECT_EQ(r.front_wheel.depth, 0);
    EXPECT_EQ(r.rear_wheel.depth, 0);
    free_terrain(g_terrain);
}

} // namespace
