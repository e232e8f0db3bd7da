// Rider control and the stability aids by outcome on flat ground: steering direction and stops, the
// bike righting itself, the parking hold, walking backwards, the arcade lean; and the guards that
// keep every force finite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/config.h"
#include "core/setups.h"
#include "drive_fixture.h"
#include "sim/setup.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;

bool finite_torques(const Rider& r) {
    for (dBodyID body : r.bodies) {
        const dReal* t = dBodyGetTorque(body);
        const dReal* f = dBodyGetForce(body);
        for (int i = 0; i < 3; ++i)
            if (!std::isfinite(t[i]) || !std::isfinite(f[i])) return false;
    }
    return true;
}

// The steering models: full with direct steering, full with the lean controller only, and arcade.
enum SteeringModel { Direct, LeanController, Arcade };

void choose_model(Rider& r, SteeringModel model) {
    setup_set_value(r, DirectSteering, model == LeanController ? 0 : 1);
    setup_set_arcade(r, model == Arcade);
}

TEST_F(DriveTest, FullLockTurnsTheWayAskedWithinTheStops) {
    struct Case {
        SteeringModel model;
        float steer;
    } cases[] = {{Direct, 1}, {Direct, -1}, {LeanController, 1}, {LeanController, -1}, {Arcade, 1}, {Arcade, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "model " << c.model << " steer " << c.steer);
        Rider& r = start("450sxf(2016)", 30);
        choose_model(r, c.model);
        in[Throttle] = 0.3f;
        in[Steer] = 0;
        drive(r, 32);
        double h0 = heading(r);
        in[Steer] = c.steer;
        double max_steer = 0;
        drive(r, 128, [&](int) { max_steer = std::max(max_steer, std::fabs(rider_steering_angle(r))); });
        EXPECT_GT((heading(r) - h0) * c.steer, 0.1); // positive heading change: turned left
        EXPECT_GT(rider_lean_angle(r) * c.steer, 0.1); // leaning into the turn
        EXPECT_LE(max_steer, k_pi / 4 + 0.02);
        discard(r);
    }
}

// Released from a full-lock turn at 30 ft/s, the full steering model brings the bike back up instead
// of letting it fall into the turn. Once the tyres hold the bike on its line, the stabiliser's own
// balance (roll damping x roll rate + leveling x lean near zero) lets the lean decay with a time
// constant of about roll damping / leveling: about 3 s with the defaults (60 and 20), so the default
// bike is still rising after 2 s, while a leveling of 100 has it upright by then.
TEST_F(DriveTest, ReleasedFromAFullLockTurnTheBikeRises) {
    const char* models[] = {"450sxf(2016)", "crf250(2016)", "cr125"};
    for (const char* model : models)
        for (float steer : {1.0f, -1.0f})
            for (float leveling : {20.0f, 100.0f}) {
                SCOPED_TRACE(testing::Message() << model << " steer " << steer << " leveling " << leveling);
                Rider& r = start(model, 30);
                setup_set_value(r, Leveling, leveling);
                int gear = 0; // the lowest gear that still pulls well beyond 30 ft/s
                while (gear < 5 && rev_limited_speed(r, gear) < 45) ++gear;
                rider_set_gear(r, gear);
                auto cruise = [&](int) {
                    in[Throttle] = float(std::clamp(0.3 + (30 - rider_speed(r)) * 0.1, 0.0, 1.0));
                };
                in[Steer] = 0;
                drive(r, 32, cruise);
                in[Steer] = steer;
                for (int i = 0; i < 128 && std::fabs(rider_lean_angle(r)) < 0.3; ++i) drive(r, 1, cruise);
                ASSERT_GT(rider_lean_angle(r) * steer, 0.3); // leaning into the turn
                in[Steer] = 0;
                double peak = 0;
                drive(r, 2 * 128, [&](int i) {
                    cruise(i);
                    peak = std::max(peak, std::fabs(rider_lean_angle(r)));
                });
                ControlState c;
                control_state(r, c);
                EXPECT_LT(peak, 0.7); // the turn-in settles; the bike does not go down
                EXPECT_NEAR(c.v, 30, 5);
                if (leveling >= 100) {
                    EXPECT_LT(std::fabs(c.lean), 0.05);
                    EXPECT_LT(std::fabs(c.roll), 0.05);
                } else {
                    EXPECT_LT(std::fabs(c.lean), 0.8 * peak);
                    EXPECT_LT(c.roll * c.lean, 0); // still rising
                }
                discard(r);
            }
}

// A new player's setup (the Stability 100 level, arcade physics off: the lean controller with strong
// roll damping) holds a steady full-lock turn at 30 ft/s without going down, and has the bike
// upright within 2 s of letting go, whichever way it turned.
TEST_F(DriveTest, PlayersSetupIsUprightWithinTwoSecondsOfReleasingAFullLockTurn) {
    settings_reset();
    config_startup_defaults();
    SetupMenu menu;
    setup_menu_from_settings(menu);
    menu.arcade = false;
    ASSERT_LT(menu.direct_steering, 1); // the lean controller steers
    for (const char* model : {"450sxf(2016)", "crf250(2016)", "cr125"})
        for (float steer : {1.0f, -1.0f}) {
            SCOPED_TRACE(testing::Message() << model << " steer " << steer);
            Rider& r = start(model);
            ASSERT_TRUE(apply_setup(r, menu));
            roll(r, 30);
            rider_set_gear(r, 1);
            auto cruise = [&](int) {
                in[Throttle] = float(std::clamp(0.3 + (30 - rider_speed(r)) * 0.1, 0.0, 1.0));
            };
            in[Steer] = steer;
            double turned = heading(r);
            double deepest = 0;
            drive(r, 192, [&](int i) {
                cruise(i);
                deepest = std::max(deepest, std::fabs(rider_lean_angle(r)));
            });
            EXPECT_GT((heading(r) - turned) * steer, 0.5); // turned the way asked
            EXPECT_GT(rider_lean_angle(r) * steer, 0.5);    // leaning into the turn
            EXPECT_LT(deepest, 1.0);                        // and not going down
            in[Steer] = 0;
            drive(r, 2 * 128, cruise);
            ControlState c;
            control_state(r, c);
            EXPECT_LT(std::fabs(c.lean), 0.1);
            EXPECT_LT(std::fabs(c.roll), 0.1);
            EXPECT_GT(c.v, 15);
            discard(r);
        }
}

// Riding straight at any speed, a short blip of the steering dies away: no wobble of the bars and no
// lean that grows into a turn.
TEST_F(DriveTest, SteeringBlipDiesAwayAtEverySpeed) {
    for (double speed : {30.0, 60.0, 100.0, 140.0}) {
        SCOPED_TRACE(testing::Message() << speed << " ft/s");
        Rider& r = start("450sxf(2016)", speed);
        int gear = 0;
        while (gear < 4 && rev_limited_speed(r, gear) < 1.1 * speed) ++gear;
        rider_set_gear(r, gear);
        auto cruise = [&](int) {
            in[Throttle] = float(std::clamp(0.3 + (speed - rider_speed(r)) * 0.1, 0.0, 1.0));
        };
        drive(r, 64, cruise);
        in[Steer] = 0.5f;
        drive(r, 4, cruise);
        in[Steer] = 0;
        double first_lean = 0, last_lean = 0, last_steer = 0;
        drive(r, 4 * 128, [&](int i) {
            cruise(i);
            double lean = std::fabs(rider_lean_angle(r));
            if (i < 128) first_lean = std::max(first_lean, lean);
            if (i >= 3 * 128) {
                last_lean = std::max(last_lean, lean);
                last_steer = std::max(last_steer, std::fabs(rider_steering_angle(r)));
            }
        });
        EXPECT_LT(last_steer, 0.005);
        EXPECT_LT(last_lean, first_lean);
        EXPECT_LT(last_lean, 0.05);
        discard(r);
    }
}

TEST_F(DriveTest, ArcadeFullLeftLeansToFortyFiveDegreesAndRightsItselfOnRelease) {
    Rider& r = start("450sxf(2016)", 30);
    setup_set_arcade(r, true);
    in[Throttle] = 0.3f;
    drive(r, 32);
    in[Steer] = 1;
    drive(r, 2 * 128);
    EXPECT_NEAR(rider_lean_angle(r), k_pi / 4, 0.1);
    in[Steer] = 0;
    drive(r, 2 * 128);
    EXPECT_LT(std::fabs(rider_lean_angle(r)), 0.05);
    EXPECT_GT(rider_speed(r), 10);
}

TEST_F(DriveTest, ParkingHoldKeepsTheBikeStillAndRestoresTheInputs) {
    Rider& r = start("450sxf(2016)");
    setup_set_flag(r, DabWhenStopped, true);
    in[Clutch] = 1;
    drive(r, 128);
    double from[3];
    memcpy(from, dBodyGetPosition(r.bodies[BodyFrame]), sizeof from);
    drive(r, 5 * 128);
    EXPECT_LT(horizontal_travel(r, from), 0.1);
    EXPECT_EQ(r.front_brake, 0);
    EXPECT_EQ(r.rear_brake, 0);
    EXPECT_EQ(r.sit_dab, 0);
    EXPECT_GT(r.pose_blend, 0.5f);
}

TEST_F(DriveTest, BackUpWalksTheBikeBackwards) {
    Rider& r = start("450sxf(2016)");
    setup_set_flag(r, DabWhenStopped, true);
    in[Clutch] = 1;
    in[BackUp] = 1;
    double z0 = position_z(r);
    drive(r, 4 * 128);
    EXPECT_GT(position_z(r) - z0, 2); // the bike faces -z: backwards is +z
    EXPECT_LT(rider_speed(r), 6);
}

TEST_F(DriveTest, SteeringLockFollowsSpeedAndSurface) {
    Rider& r = make();
    setup_set_value(r, FullLockSpeed, 10);
    setup_set_value(r, RestrictedLockSpeed, 50);
    setup_set_value(r, RestrictedLockAngle, 0.1f);
    struct Case {
        double speed, friction, lock;
    } cases[] = {{5, 1, k_pi / 4}, {10, 1, k_pi / 4}, {50, 1, 0.1}, {80, 1, 0.1}, {80, 0.1, 0.8}, {80, 0.5, 0.2}};
    for (const Case& c : cases)
        EXPECT_NEAR(steering_lock(r, c.speed, c.friction), std::min(c.lock, k_pi / 4), 1e-6)
            << c.speed << " ft/s, friction " << c.friction;
    double mid = steering_lock(r, 20, 1);
    EXPECT_GT(mid, 0.1);
    EXPECT_LT(mid, k_pi / 4);
}

TEST_F(DriveTest, NoLockAndDegeneratePosesGiveFiniteForces) {
    // A restricted lock of 0 at speed: the grip saturation's span vanishes.
    Rider& r = start("450sxf(2016)", 60);
    setup_set_value(r, RestrictedLockAngle, 0);
    setup_set_value(r, FullLockSpeed, 1);
    setup_set_value(r, RestrictedLockSpeed, 2);
    in[Steer] = 1;
    drive(r, 64, [&](int) {
        ASSERT_TRUE(std::isfinite(r.front_grip_saturation));
        ASSERT_TRUE(finite_torques(r));
    });
    EXPECT_TRUE(std::isfinite(rider_speed(r)));

    // The frame pointing straight up: the lean is 0, and every aid still gives finite forces.
    Rider& up = make();
    rider_rotate(up, 1, 0, 0, k_pi / 2);
    setup_set_flag(up, DabWhenStopped, true);
    EXPECT_EQ(rider_lean_angle(up), 0);
    for (dBodyID body : up.bodies) dBodySetForce(body, 0, 0, 0), dBodySetTorque(body, 0, 0, 0);
    up.sit_dab = 1;
    dab_and_hold(up);
    steering_full(up);
    steering_arcade(up);
    steering_damping_torque(up);
    dab_balance(up);
    drivetrain_update(up);
    EXPECT_TRUE(finite_torques(up));
}

TEST_F(DriveTest, NoSteeringForceMeansNoSteeringTorque) {
    Rider& r = start("450sxf(2016)", 30);
    setup_set_value(r, MaxSteeringForce, 0);
    in[Steer] = 1;
    rider_apply_inputs(r, in);
    for (dBodyID body : r.bodies) dBodySetTorque(body, 0, 0, 0);
    steering_full(r);
    const dReal* t = dBodyGetTorque(r.bodies[BodyFrontWheel]);
    EXPECT_EQ(t[0] * t[0] + t[1] * t[1] + t[2] * t[2], 0);
}

TEST_F(DriveTest, InputStepMapsTheControlsOntoTheRider) {
    Rider& r = make();
    float controls[ControlCount] = {};
    controls[Steer] = 0.75f;
    rider_apply_inputs(r, controls);
    EXPECT_FLOAT_EQ(r.steer, -0.75f); // "Reversed Steering" on
    g_settings.reverse_steering = ChoiceNo;
    rider_apply_inputs(r, controls);
    EXPECT_FLOAT_EQ(r.steer, 0.75f);

    // The shift control requests a shift only beyond a half, and once per press.
    struct ShiftCase {
        float control;
        int gear;
    } shifts[] = {{0.4f, 0}, {0.6f, 1}, {1, 1}, {0, 1}, {1, 2}, {-0.4f, 2}, {-0.9f, 1}, {NAN, 1}};
    for (const ShiftCase& sh : shifts) {
        controls[Shift] = sh.control;
        rider_apply_inputs(r, controls);
        EXPECT_EQ(r.gear, sh.gear) << "shift control " << sh.control;
    }
    controls[Shift] = 0;

    // Sticky sit/dab: each rising edge through a half toggles it.
    g_settings.sticky_dab = ChoiceYes;
    struct Dab {
        float control, sit_dab;
    } dabs[] = {{0.2f, 0}, {0.7f, 1}, {1, 1}, {0, 1}, {0.5f, 0}, {0, 0}};
    for (const Dab& d : dabs) {
        controls[SitDab] = d.control;
        rider_apply_inputs(r, controls);
        EXPECT_EQ(r.sit_dab, d.sit_dab) << "sit/dab control " << d.control;
    }
    EXPECT_FALSE(local_sticky_dab());
}

} // namespace
