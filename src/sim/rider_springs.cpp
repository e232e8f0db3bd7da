#include "sim/rider_springs.h"

#include <algorithm>
#include <cmath>

#include "core/main_loop.h"
#include "sim/physics_world.h"
#include "sim/rider.h"
#include "sim/rider_body.h"

namespace {

constexpr double k_stiff_end = 2500; // the springs at the ends of the rider's travel

// A one-sided spring between the rider body and the frame: pushes the rider body along the normal
// (and the frame against it) while the depth is positive.
void spring_contact(Rider& rider, const double normal[3], double depth, double kp, double kd) {
    dContact c{};
    c.surface.mode = dContactSoftERP | dContactSoftCFM;
    c.surface.mu = 0;
    spring_erp_cfm(kp, kd, c.surface.soft_erp, c.surface.soft_cfm);
    const dReal* at = dBodyGetPosition(rider.bodies[BodyRider]);
    for (int i = 0; i < 3; ++i) {
        c.geom.pos[i] = at[i];
        c.geom.normal[i] = normal[i];
    }
    c.geom.depth = depth;
    dJointID joint = dJointCreateContact(g_physics.world, g_physics.contact_group, &c);
    dJointAttach(joint, rider.bodies[BodyRider], rider.bodies[BodyFrame]);
}

} // namespace

void spring_erp_cfm(double kp, double kd, double& erp, double& cfm) {
    double h = k_tick_length;
    erp = h * kp / (h * kp + kd);
    cfm = 1 / (h * kp + kd);
}

void rider_springs(Rider& rider) {
    const BikeInfo& b = rider.bike;
    const RiderSetup& s = rider.setup;
    dBodyID frame = rider.bodies[BodyFrame];
    dVector3 rest, y_axis, z_axis;
    dBodyGetRelPointPos(frame, b.rider_position[0] - b.frame_position[0],
                        b.rider_position[1] - b.frame_position[1], b.rider_position[2] - b.frame_position[2],
                        rest);
    dBodyVectorToWorld(frame, 0, 1, 0, y_axis);
    dBodyVectorToWorld(frame, 0, 0, 1, z_axis);
    const dReal* at = dBodyGetPosition(rider.bodies[BodyRider]);
    double d[3] = {rest[0] - at[0], rest[1] - at[1], rest[2] - at[2]};
    double dy = d[0] * y_axis[0] + d[1] * y_axis[1] + d[2] * y_axis[2];
    double dz = d[0] * z_axis[0] + d[1] * z_axis[1] + d[2] * z_axis[2];
    double scale = rider_spring_scale(rider);

    // Fore-aft: the rest point shifts with the lean control (and with the rider's height).
    double shift = std::clamp((0.5 * rider.sit_dab + 0.5) * dy - rider.lean, -0.75, 0.75);
    double e = dz - shift;
    double kp, kd;
    if (std::fabs(dz) >= 0.75) {
        kp = kd = k_stiff_end;
    } else {
        kp = std::fabs(e) * 100 + s.rider_vertical_damping * 600;
        kd = 0;
    }
    kp *= scale;
    kd *= scale;
    double sign = e >= 0 ? 1 : -1;
    double normal[3] = {z_axis[0] * sign, z_axis[1] * sign, z_axis[2] * sign};
    if (kp > 0) spring_contact(rider, normal, std::fabs(e), kp, kd);

    // Vertical: sitting down (or a foot down) lowers the rest height by half a foot.
    e = dy + 0.125 - 0.5 * rider.sit_dab;
    if (dy > 0.5 || dy < -0.75) {
        kp = kd = k_stiff_end;
    } else {
        kp = s.rider_vertical_spring * 400;
        kd = s.rider_forward_spring * 100;
    }
    kp *= scale;
    kd *= scale;
    sign = e >= 0 ? 1 : -1;
    double up[3] = {y_axis[0] * sign, y_axis[1] * sign, y_axis[2] * sign};
    if (kp + kd > 0) spring_contact(rider, up, std::fabs(e), kp, kd);

    rider_body_soften_hinge(rider);
}
