#include "sim/shapes.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "core/alloc.h"
#include "core/messages.h"
#include "data/scan.h"
#include "data/stream.h"
#include "platform/log.h"
#include "sim/contact.h"
#include "track/terrain.h"

namespace {

constexpr SimVec k_up = {0, 1, 0};
constexpr double k_far_away = 1e6;
constexpr int k_max_scan_cells = 16;

struct CachedShape {
    std::string name;
    std::unique_ptr<CollisionShape> shape; // null: the file failed and was reported
};

std::vector<CachedShape> g_shape_cache;

bool number_ok(float v, double low, double high) {
    return std::isfinite(v) && v >= low && v <= high;
}

// The point of the triangle nearest to p (face, edge or corner).
SimVec closest_on_triangle(SimVec p, SimVec a, SimVec b, SimVec c) {
    SimVec ab = b - a, ac = c - a, ap = p - a;
    double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) return a;
    SimVec bp = p - b;
    double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) return b;
    double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) {
        double denom = d1 - d3;
        return denom > 0 ? a + ab * (d1 / denom) : a;
    }
    SimVec cp = p - c;
    double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) return c;
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) {
        double denom = d2 - d6;
        return denom > 0 ? a + ac * (d2 / denom) : a;
    }
    double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
        double denom = (d4 - d3) + (d5 - d6);
        return denom > 0 ? b + (c - b) * ((d4 - d3) / denom) : b;
    }
    double sum = va + vb + vc;
    if (!(std::fabs(sum) > 1e-300)) return a;
    double v = vb / sum, w = vc / sum;
    return a + ab * v + ac * w;
}

SimVec clean_normal(SimVec n) {
    if (n.y >= 0) return n;
    if (n.x * n.x + n.z * n.z >= 1.0 / 1024) return normalised_or(SimVec{n.x, 0, n.z}, k_up);
    return k_up;
}

SimVec to_sim(const TerrainVec& v) {
    return SimVec{v.x, v.y, v.z};
}

} // namespace

bool shape_parse(DataStream* stream, CollisionShape& shape, std::string& error) {
    int count = 0;
    if (stream_scan(stream, "%d", &count) != 1) {
        error = "no sphere count";
        return false;
    }
    if (count < 0 || count > k_shape_max_spheres) {
        error = "bad sphere count " + std::to_string(count) + " (at most " +
                std::to_string(k_shape_max_spheres) + ")";
        return false;
    }
    shape.spheres.assign(size_t(count), ShapeSphere{});
    shape.bound = 0;
    for (int i = 0; i < count; ++i) {
        ShapeSphere& s = shape.spheres[size_t(i)];
        if (stream_scan(stream, "%f %f %f", &s.centre[0], &s.centre[1], &s.centre[2]) != 3 ||
            stream_scan(stream, "%f %f %f %f", &s.radius, &s.friction, &s.stiffness, &s.damping) != 4) {
            error = "sphere " + std::to_string(i + 1) + " of " + std::to_string(count) + " is short";
            return false;
        }
        bool ok = number_ok(s.centre[0], -k_shape_max_offset, k_shape_max_offset) &&
                  number_ok(s.centre[1], -k_shape_max_offset, k_shape_max_offset) &&
                  number_ok(s.centre[2], -k_shape_max_offset, k_shape_max_offset) &&
                  number_ok(s.radius, 1e-6, k_shape_max_radius) && number_ok(s.friction, 0, 1e6) &&
                  number_ok(s.stiffness, 0, 1e9) && number_ok(s.damping, 0, 1e9) &&
                  s.stiffness + s.damping > 0;
        if (!ok) {
            error = "sphere " + std::to_string(i + 1) + " has a number out of range";
            return false;
        }
        double reach = std::sqrt(double(s.centre[0]) * s.centre[0] + double(s.centre[1]) * s.centre[1] +
                                 double(s.centre[2]) * s.centre[2]) +
                       s.radius;
        shape.bound = std::max(shape.bound, float(reach));
    }
    shape.world.assign(size_t(count), SimVec{0, 0, 0});
    return true;
}

const CollisionShape* shape_load(const char* name) {
    if (!name || !*name) return nullptr;
    for (const CachedShape& c : g_shape_cache)
        if (c.name == name) return c.shape.get();
    CachedShape entry{name, nullptr};
    DataStream* stream = stream_open(name, "rb");
    if (!stream) {
        log_printf("Can't open collision shape '%.950s'\n", name); // the part collides with nothing
    } else {
        auto shape = std::make_unique<CollisionShape>();
        shape->name = name;
        std::string error;
        if (shape_parse(stream, *shape, error))
            entry.shape = std::move(shape);
        else
            add_messagef("Bad collision shape '%.900s': %s\n", name, error.c_str());
        stream_close(stream);
    }
    g_shape_cache.push_back(std::move(entry));
    return g_shape_cache.back().shape.get();
}

CollisionShape* shape_copy(const CollisionShape* shape) {
    if (!shape) return nullptr;
    CollisionShape* copy = new (std::nothrow) CollisionShape(*shape);
    if (!copy) out_of_memory();
    return copy;
}

void shape_free(CollisionShape* shape) {
    delete shape;
}

void shape_cache_reset() {
    g_shape_cache.clear();
}

void shape_transform(CollisionShape& shape, const double p[3], const double R[12]) {
    for (size_t i = 0; i < shape.spheres.size(); ++i) {
        const float* c = shape.spheres[i].centre;
        shape.world[i] = SimVec{R[0] * c[0] + R[1] * c[1] + R[2] * c[2] + p[0],
                                R[4] * c[0] + R[5] * c[1] + R[6] * c[2] + p[1],
                                R[8] * c[0] + R[9] * c[1] + R[10] * c[2] + p[2]};
    }
}

bool sphere_terrain_query(const Terrain& terrain, SimVec centre, double radius, ContactHit& hit) {
    hit = ContactHit{centre, k_up, 0};
    if (terrain.heights.empty() || !(terrain.cell_size > 0)) return false;
    if (!finite(centre) || std::fabs(centre.x) > k_far_away || std::fabs(centre.z) > k_far_away) return false;
    if (!(radius > 0) || !std::isfinite(radius)) return false;
    double s = terrain.cell_size;
    int i0 = int(std::floor((centre.x - radius) / s)), i1 = int(std::ceil((centre.x + radius) / s)) - 1;
    int j0 = int(std::floor((centre.z - radius) / s)), j1 = int(std::ceil((centre.z + radius) / s)) - 1;
    i1 = std::min(i1, i0 + k_max_scan_cells - 1);
    j1 = std::min(j1, j0 + k_max_scan_cells - 1);
    bool found = false;
    ContactHit best{centre, k_up, 0};
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            TerrainTriangle tris[2];
            terrain_cell_triangles(terrain, i, j, tris);
            for (const TerrainTriangle& tri : tris) {
                SimVec a = to_sim(tri.p[0]), b = to_sim(tri.p[1]), c = to_sim(tri.p[2]);
                // Every point of a triangle this far below the centre is too far to beat the best.
                if (radius - (centre.y - std::max({a.y, b.y, c.y})) <= best.depth) continue;
                SimVec nearest = closest_on_triangle(centre, a, b, c);
                SimVec between = centre - nearest;
                double distance = length(between);
                double depth = radius - distance;
                if (!(depth > best.depth)) continue;
                SimVec face = normalised_or(cross(b - a, c - a), k_up);
                // A centre on the surface (or under it, seen from the face) takes the face normal.
                SimVec normal = distance < 1.0 / 1024 ? face : between * (1 / distance);
                best = ContactHit{nearest, normal, depth};
                found = true;
            }
        }
    if (!found) return false;
    best.normal = clean_normal(best.normal);
    hit = best;
    return true;
}

// True when the ground under the cells covering x0..x1 by z0..z1 lies wholly below y: nothing
// within that box and above y can touch it.
bool ground_below_box(const Terrain& terrain, double x0, double x1, double z0, double z1, double y) {
    if (terrain.heights.empty() || !(terrain.cell_size > 0) || !std::isfinite(x0 + x1 + z0 + z1 + y))
        return false;
    if (std::fabs((x0 + x1) / 2) > k_far_away || std::fabs((z0 + z1) / 2) > k_far_away) return true;
    double s = terrain.cell_size;
    int i0 = int(std::floor(x0 / s)), i1 = int(std::ceil(x1 / s));
    int j0 = int(std::floor(z0 / s)), j1 = int(std::ceil(z1 / s));
    if (i1 - i0 > k_max_scan_cells || j1 - j0 > k_max_scan_cells) return false;
    // Samples beyond the grid repeat its edge, so the clamped ranges hold the same heights.
    int last = terrain.samples_per_side - 1;
    i0 = std::clamp(i0, 0, last);
    i1 = std::clamp(i1, 0, last);
    j0 = std::clamp(j0, 0, last);
    j1 = std::clamp(j1, 0, last);
    for (int j = j0; j <= j1; ++j) {
        const float* row = &terrain.heights[size_t(j) * size_t(terrain.samples_per_side)];
        for (int i = i0; i <= i1; ++i)
            if (row[i] >= y) return false;
    }
    return true;
}

// The same for the square of half-width reach around (x, z).
bool ground_below(const Terrain& terrain, double x, double y, double z, double reach) {
    return ground_below_box(terrain, x - reach, x + reach, z - reach, z + reach, y);
}

bool shape_terrain_contact(CollisionShape& shape, dBodyID body, const double position[3],
                           const double rotation[12], const Terrain& terrain) {
    // Most of the time a part is well clear of the ground: one look at the samples under the box of
    // its placed spheres, against the lowest of them.
    shape_transform(shape, position, rotation);
    double x0 = INFINITY, x1 = -INFINITY, z0 = INFINITY, z1 = -INFINITY, lowest = INFINITY;
    for (size_t i = 0; i < shape.spheres.size(); ++i) {
        const SimVec& c = shape.world[i];
        double radius = shape.spheres[i].radius;
        x0 = std::min(x0, c.x - radius);
        x1 = std::max(x1, c.x + radius);
        z0 = std::min(z0, c.z - radius);
        z1 = std::max(z1, c.z + radius);
        lowest = std::min(lowest, c.y - radius);
    }
    if (ground_below_box(terrain, x0, x1, z0, z1, lowest)) return false;
    bool touched = false;
    for (size_t i = 0; i < shape.spheres.size(); ++i) {
        const ShapeSphere& s = shape.spheres[i];
        const SimVec& centre = shape.world[i];
        // The ground under the sphere's cells wholly below its bottom: it cannot touch.
        if (ground_below(terrain, centre.x, centre.y - s.radius, centre.z, s.radius)) continue;
        ContactHit hit;
        if (!sphere_terrain_query(terrain, centre, s.radius, hit)) continue;
        touched = true;
        if (body)
            contact_joint_create(body, nullptr, hit.point, hit.normal, hit.depth, s.friction,
                                 k_shape_ground_kp, k_shape_ground_kd, nullptr, nullptr);
    }
    return touched;
}
