#include "ground_standin.h"

#include <cmath>

#include "core/main_loop.h"
#include "sim/physics_world.h"

namespace {

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

bool normalise(double v[3]) {
    double len = std::sqrt(dot(v, v));
    if (len < 1e-12) return false;
    for (int i = 0; i < 3; ++i) v[i] /= len;
    return true;
}

bool tyre_contact(const Terrain& terrain, WheelRecord& wheel) {
    const dReal* c = dBodyGetPosition(wheel.body);
    dVector3 axle_w;
    dBodyVectorToWorld(wheel.body, wheel.axle[0], wheel.axle[1], wheel.axle[2], axle_w);
    double centre[3] = {c[0], c[1], c[2]}, axle[3] = {axle_w[0], axle_w[1], axle_w[2]};
    double n[3];
    standin_ground_normal(terrain, centre[0], centre[2], n);
    // The ring's lowest point towards the ground: the wheel-plane direction most against n.
    double t[3], down[3];
    cross(n, axle, t);
    cross(t, axle, down);
    if (!normalise(down)) {
        // Wheel lying flat: its lowest ring point is anywhere; use straight down.
        down[0] = -n[0];
        down[1] = -n[1];
        down[2] = -n[2];
    } else if (dot(down, n) > 0) {
        for (double& d : down) d = -d;
    }
    double low[3];
    for (int i = 0; i < 3; ++i) low[i] = centre[i] + wheel.ring_radius * down[i];
    double ground = standin_ground_height(terrain, low[0], low[2]);
    double depth = wheel.tube_radius - (low[1] - ground) * n[1];
    if (!(depth > 0)) {
        wheel.depth = 0;
        return false;
    }
    double point[3];
    for (int i = 0; i < 3; ++i) point[i] = low[i] - n[i] * wheel.tube_radius;
    dVector3 v;
    dBodyGetPointVel(wheel.body, point[0], point[1], point[2], v);
    for (int i = 0; i < 3; ++i) {
        wheel.contact_point[i] = static_cast<float>(point[i]);
        wheel.contact_velocity[i] = static_cast<float>(v[i]);
        wheel.contact_normal[i] = static_cast<float>(n[i]);
    }
    wheel.depth = static_cast<float>(depth);

    double q = std::fmin(1.0, depth / wheel.tube_radius);
    double kp = 24000 * q * q * q + 1000, kd = 2300 * q * q * q + 200;
    double h = k_tick_length;
    dContact contact{};
    contact.surface.mode = dContactApprox1 | dContactSoftERP | dContactSoftCFM;
    contact.surface.mu = 1;
    contact.surface.soft_erp = h * kp / (h * kp + kd);
    contact.surface.soft_cfm = 1 / (h * kp + kd);
    double vel[3] = {v[0], v[1], v[2]}, dir[3];
    cross(n, vel, dir);
    if (dot(dir, dir) < 1.0 / 1024) cross(n, axle, dir);
    if (normalise(dir)) {
        contact.surface.mode |= dContactFDir1;
        for (int i = 0; i < 3; ++i) contact.fdir1[i] = dir[i];
    }
    for (int i = 0; i < 3; ++i) {
        contact.geom.pos[i] = point[i];
        contact.geom.normal[i] = n[i];
    }
    contact.geom.depth = depth;
    dJointID joint = dJointCreateContact(g_physics.world, g_physics.contact_group, &contact);
    dJointAttach(joint, wheel.body, nullptr);
    dJointSetFeedback(joint, &wheel.feedback);
    return true;
}

} // namespace

void standin_make_terrain(Terrain& t, int size_log2, double grade) {
    t = Terrain{};
    t.size_log2 = size_log2;
    t.tiles_per_side = 1 << size_log2;
    t.samples_per_side = 2 * t.tiles_per_side + 1;
    t.cell_size = 1.25f;
    t.tile_size = 2.5f;
    t.extent = 2.0f * t.tiles_per_side * t.cell_size;
    int side = t.samples_per_side;
    double slope = std::tan(grade);
    t.heights.resize(static_cast<size_t>(side) * side);
    for (int row = 0; row < side; ++row)
        for (int col = 0; col < side; ++col)
            t.heights[static_cast<size_t>(row) * side + col] = static_cast<float>((t.extent - row * t.cell_size) * slope);
    t.min_height = t.heights.back();
    t.max_height = t.heights.front();
    if (t.min_height > t.max_height) std::swap(t.min_height, t.max_height);
    t.tile_map.assign(static_cast<size_t>(t.tiles_per_side) * t.tiles_per_side, 0);
    t.tiles.push_back(tile_type_defaults());
    t.tile_count = 1;
}

double standin_ground_height(const Terrain& terrain, double x, double z) {
    return terrain_height_at(terrain, static_cast<float>(x), static_cast<float>(z));
}

void standin_ground_normal(const Terrain& terrain, double x, double z, double n[3]) {
    TerrainVec v = terrain_triangle_normal(terrain, static_cast<float>(x), static_cast<float>(z));
    n[0] = v.x;
    n[1] = v.y;
    n[2] = v.z;
    if (!normalise(n) || n[1] <= 0) {
        n[0] = n[2] = 0;
        n[1] = 1;
    }
}

int standin_tyre_contacts(const Terrain& terrain, Rider& rider) {
    return int(tyre_contact(terrain, rider.front_wheel)) + int(tyre_contact(terrain, rider.rear_wheel));
}

double standin_tyre_load(const WheelRecord& wheel) {
    if (!(wheel.depth > 0)) return 0;
    const dReal* f = wheel.feedback.f1;
    return f[0] * wheel.contact_normal[0] + f[1] * wheel.contact_normal[1] + f[2] * wheel.contact_normal[2];
}
