#include "sim/engine.h"

#include <algorithm>
#include <cmath>

#include "race/race.h"
#include "sim/setup.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr double k_two_pi = 2 * k_pi;
constexpr double k_rpm_step = 500;
constexpr int k_auto_shift_period = 32; // ticks between automatic shift decisions

bool wheel_sliding(const WheelRecord& wheel) {
    const float* v = wheel.contact_velocity;
    double speed2 = double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2];
    return speed2 > k_wheel_slide_speed * k_wheel_slide_speed;
}

// Lowers the gear while its ratio is not positive (a model with fewer than six gears).
int usable_gear(const BikeInfo& bike, int gear) {
    gear = std::clamp(gear, 0, k_gear_slots - 1);
    while (gear > 0 && bike.gear_ratios[gear] <= 0) --gear;
    return gear;
}

double wrap_half_turn(double a) {
    if (a > k_pi)
        a -= k_two_pi;
    else if (a <= -k_pi)
        a += k_two_pi;
    return a;
}

void auto_shift(Rider& rider) {
    if (!setup_flag(rider, AutoShift)) return;
    if (!(rider_swingarm_angle(rider) < -0.01)) return; // the rear suspension must carry load
    if ((static_cast<uint32_t>(g_race.clock) % k_auto_shift_period) != 0) return;
    if (rider_wheel_touching(rider.rear_wheel) && wheel_sliding(rider.rear_wheel)) return; // wheelspin
    double rpm = drivetrain_reduction(rider) * dJointGetHingeAngleRate(rider.joints[JointRearAxle]) * k_rpm_per_rad_s;
    if (rpm < rider.bike.auto_downshift_rpm)
        rider.gear = usable_gear(rider.bike, rider.gear - 1);
    else if (rpm > rider.bike.auto_upshift_rpm)
        rider.gear = usable_gear(rider.bike, rider.gear + 1);
}

void set_brake(dJointID axle, double torque) {
    if (!(torque > 0)) torque = 0; // also a torque that is not a number
    dJointSetHingeParam(axle, dParamVel, 0);
    dJointSetHingeParam(axle, dParamFMax, torque);
}

void brakes(Rider& rider) {
    bool front_touch = rider_wheel_touching(rider.front_wheel), rear_touch = rider_wheel_touching(rider.rear_wheel);
    double front = double(rider.setup.front_brake_torque) * rider.front_brake;
    if (setup_flag(rider, FrontAntilock) && front_touch && wheel_sliding(rider.front_wheel)) front = 0;
    int wheelies = setup_stop_wheelies(rider);
    if ((wheelies == StopWheeliesFrontOnly || wheelies == StopWheeliesBoth) && front_touch && !rear_touch) front = 0;
    set_brake(rider.joints[JointFrontAxle], front);

    double rear = double(rider.setup.rear_brake_torque) * rider.rear_brake;
    if (setup_flag(rider, RearAntilock) && rear_touch && wheel_sliding(rider.rear_wheel)) rear = 0;
    set_brake(rider.joints[JointRearAxle], rear);
}

} // namespace

void shift(Rider& rider, float value) {
    if (rider.crash_counter > 0) return;
    if (!(value >= -1 && value <= 1)) return;
    int control = static_cast<int>(value);
    if (control == rider.last_shift) return;
    rider.last_shift = control;
    rider.gear = usable_gear(rider.bike, rider.gear + control);
}

double drivetrain_reduction(const Rider& rider) {
    int gear = std::clamp(rider.gear, 0, k_gear_slots - 1);
    double ratio = rider.bike.gear_ratios[gear];
    if (!(ratio > 0)) return 0;
    return ratio * rider.bike.primary_ratio * rider.sprocket_ratio;
}

double engine_torque(const Rider& rider) {
    double rpm = rider.engine_speed * k_rpm_per_rad_s;
    double x = std::clamp(rpm / k_rpm_step, 0.0, double(k_torque_points - 1));
    if (x != x) x = 0;
    int i = static_cast<int>(x);
    double f = x - i;
    int j = std::min(i + 1, k_torque_points - 1);
    const float* closed = rider.bike.closed_throttle_torque;
    const float* open = rider.bike.open_throttle_torque;
    double tc = closed[i] + (closed[j] - closed[i]) * f;
    double to = open[i] + (open[j] - open[i]) * f;
    double t = tc + (to - tc) * rider.throttle;
    // Wheelie limiter: the front is up, the rear drives, and the bike is not already pitching down.
    if (setup_stop_wheelies(rider) == StopWheeliesBoth && !rider_wheel_touching(rider.front_wheel) &&
        rider_wheel_touching(rider.rear_wheel)) {
        const dReal* w = dBodyGetAngularVel(rider.bodies[BodyFrame]);
        dVector3 local;
        dBodyVectorFromWorld(rider.bodies[BodyFrame], w[0], w[1], w[2], local);
        if (local[0] > -1.0 / 32) t = std::min(t, 0.0);
    }
    return t;
}

void drivetrain_update(Rider& rider) {
    auto_shift(rider);
    double te = engine_torque(rider);
    dJointID axle = rider.joints[JointRearAxle];
    double wheel_angle = dJointGetHingeAngle(axle), wheel_rate = dJointGetHingeAngleRate(axle);
    if (!std::isfinite(wheel_angle) || !std::isfinite(wheel_rate)) wheel_angle = wheel_rate = 0;
    double n = drivetrain_reduction(rider);
    double omega = rider.engine_speed;
    if (!std::isfinite(omega)) omega = 0;
    double crank = rider.crank_angle;
    if (!std::isfinite(crank)) crank = wheel_angle;

    double windup = wrap_half_turn(crank - wheel_angle);
    double rpm = omega * k_rpm_per_rad_s;
    double clutch = std::clamp(double(rider.clutch), 0.0, 1.0);
    double engaged = clutch;
    double auto_rpm = rider.setup.auto_clutch_rpm;
    if (rpm <= auto_rpm + k_auto_clutch_span)
        engaged = std::min(std::clamp((rpm - auto_rpm) / k_auto_clutch_span, 0.0, 1.0), clutch);

    double k = rider.bike.driveline_stiffness, c = rider.bike.driveline_damping;
    double s = std::clamp((omega - n * wheel_rate) * c, -k_driveline_damping_limit, k_driveline_damping_limit);
    double t = k * windup + s;
    if (t < 0) engaged = clutch; // the automatic clutch only limits driving torque
    t = std::clamp(t, -k_driveline_torque_limit, k_driveline_torque_limit);
    if (!(n > 0)) engaged = 0; // no gear with a ratio: nothing is coupled

    double limit = engaged * k_windup_limit;
    if (windup > limit)
        crank = wheel_angle + limit;
    else if (windup < -limit)
        crank = wheel_angle - limit;

    t = engaged * engaged * t;
    if (t != 0) {
        dBodyAddRelTorque(rider.bodies[BodyRearWheel], -t, 0, 0);
        dBodyAddRelTorque(rider.bodies[BodyFrame], t, 0, 0);
    }

    double inertia = rider.engine_inertia > 0 ? rider.engine_inertia : rider.bike.engine_inertia;
    double load = n > 0 ? t / n : 0;
    if (inertia > 0) omega += k_tick_length * (te - load) / inertia;
    if (!std::isfinite(omega)) omega = 0;
    if (n > 0) crank += k_tick_length * omega / n;
    crank = std::remainder(crank, k_two_pi); // into [-pi, pi]
    if (!std::isfinite(crank)) crank = 0;
    rider.engine_speed = static_cast<float>(omega);
    rider.crank_angle = static_cast<float>(crank);

    brakes(rider);
}
