#include "sim/suspension.h"

#include <algorithm>
#include <cmath>

#include "sim/rider.h"

double damper_force(double s, double hs_compression, double ls_compression, double hs_rebound,
                    double ls_rebound) {
    if (s < 0) {
        double base = -s * hs_compression;
        return std::clamp(ls_compression + base, base / 8, base * 8);
    }
    double base = -s * hs_rebound;
    return std::clamp(base - ls_rebound, base * 8, base / 8);
}

double fork_air_force(double x, double travel, double air_gap) {
    double volume = travel + air_gap;
    return k_air_spring_scale * std::pow(volume / (volume - x), k_air_exponent) - k_air_spring_scale;
}

LinkagePoint linkage_at(const BikeInfo& b, double t) {
    double y0, y1, h, m0, m1, u;
    if (t < 0) t = 0;
    if (t <= b.linkage_knot) {
        y0 = 0;
        y1 = b.linkage_knot_stroke;
        h = b.linkage_knot;
        m0 = b.linkage_slope_start * h;
        m1 = b.linkage_slope_knot * h;
        u = t / h;
    } else {
        y0 = b.linkage_knot_stroke;
        y1 = b.linkage_full_stroke;
        h = 1.0 - b.linkage_knot;
        m0 = b.linkage_slope_knot * h;
        m1 = b.linkage_slope_end * h;
        u = (t - b.linkage_knot) / h;
    }
    double c2 = 3 * (y1 - y0) - 2 * m0 - m1;
    double c3 = 2 * (y0 - y1) + m0 + m1;
    return LinkagePoint{y0 + m0 * u + c2 * u * u + c3 * u * u * u, (m0 + 2 * c2 * u + 3 * c3 * u * u) / h};
}

// Over the last 1/32 of travel before full extension the force fades linearly to zero; beyond full
// extension there is none.
static double top_out_fade(double compression, double travel) {
    double f = compression / (travel / 32);
    if (f < 0) return 0;
    return std::min(f, 1.0);
}

double fork_force(const Rider& rider, double x_f, double v_f) {
    const RiderSetup& s = rider.setup;
    double travel = rider.bike.fork_travel;
    double x = std::clamp(-x_f, 0.0, travel);
    double air = fork_air_force(x, travel, s.fork_air_gap);
    double spring = (s.fork_preload - x_f) * s.fork_spring_rate;
    double damping = damper_force(v_f, s.fork_hs_compression_damping, s.fork_ls_compression_damping,
                                  s.fork_hs_rebound_damping, s.fork_ls_rebound_damping);
    return (air + spring + damping) * top_out_fade(-x_f, travel);
}

double shock_torque(const Rider& rider, double theta, double omega) {
    const RiderSetup& s = rider.setup;
    double travel = rider.bike.swingarm_travel;
    LinkagePoint link = linkage_at(rider.bike, -theta / travel);
    double speed = omega * link.ratio;
    double damping = damper_force(speed, s.shock_hs_compression_damping, s.shock_ls_compression_damping,
                                  s.shock_hs_rebound_damping, s.shock_ls_rebound_damping);
    double torque = ((link.stroke + s.shock_preload) * s.shock_spring_rate + damping) * link.ratio;
    return torque * top_out_fade(-theta, travel);
}

// A motor whose limit is exactly zero drops out of the solver and leaves the joint's stop row on its
// own; at full extension, with anything else loading the frame (the rider springs, a ground
// contact), the exact solver then fails to factor the system ("LCP internal error") and drops every
// constraint force of that step. A floor of a thousandth of a pound keeps the motor row present; it
// only ever acts at the stop, where the force is zero and the motor pushes against the stop.
static double motor_limit(double force) {
    return std::max(std::fabs(force), 1e-3);
}

void suspension_update(Rider& rider) {
    dJointID fork = rider.joints[JointFork];
    double force = fork_force(rider, dJointGetSliderPosition(fork), dJointGetSliderPositionRate(fork));
    dJointSetSliderParam(fork, dParamVel, force >= 0 ? k_suspension_motor_speed : 0);
    dJointSetSliderParam(fork, dParamFMax, motor_limit(force));

    dJointID swingarm = rider.joints[JointSwingarm];
    double torque = shock_torque(rider, dJointGetHingeAngle(swingarm), dJointGetHingeAngleRate(swingarm));
    dJointSetHingeParam(swingarm, dParamVel, torque >= 0 ? k_suspension_motor_speed : 0);
    dJointSetHingeParam(swingarm, dParamFMax, motor_limit(torque));
}

SuspensionSample suspension_sample_front(const Rider& rider) {
    const BikeInfo& b = rider.bike;
    dJointID fork = rider.joints[JointFork];
    double x_f = dJointGetSliderPosition(fork), v_f = dJointGetSliderPositionRate(fork);
    double share = v_f < 0 ? b.fork_ls_compression / (-v_f * b.fork_hs_compression + b.fork_ls_compression)
                           : b.fork_ls_rebound / (v_f * b.fork_hs_rebound + b.fork_ls_rebound);
    return SuspensionSample{-x_f / b.fork_travel, v_f, share};
}

SuspensionSample suspension_sample_rear(const Rider& rider) {
    const BikeInfo& b = rider.bike;
    dJointID swingarm = rider.joints[JointSwingarm];
    double t = -dJointGetHingeAngle(swingarm) / b.swingarm_travel;
    double u = dJointGetHingeAngleRate(swingarm) * linkage_at(b, t).ratio;
    double share = u < 0 ? b.shock_ls_compression / (-u * b.shock_hs_compression + b.shock_ls_compression)
                         : b.shock_ls_rebound / (u * b.shock_hs_rebound + b.shock_ls_rebound);
    return SuspensionSample{std::max(t, 0.0), u, share};
}
