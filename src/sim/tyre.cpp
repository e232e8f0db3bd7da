#include "sim/tyre.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/main_loop.h"
#include "sim/contact.h"
#include "track/terrain.h"

namespace {

constexpr SimVec k_up = {0, 1, 0};
// Positions farther out than this are not on any track; such a wheel touches nothing.
constexpr double k_far_away = 1e6;
// The most cells a query scans along either axis, whatever the radius asks for.
constexpr int k_max_scan_cells = 16;
// Touches of the terrain whose depths differ by less than this (ft) are equally deep.
constexpr double k_same_depth = 1e-12;
// Depth given to an edge cutting through the ring: a touch, but the least of them.
constexpr double k_edge_cut_depth_offset = 1.0 / (1 << 20);

SimVec any_perpendicular(SimVec a) {
    SimVec helper = std::fabs(a.x) < 0.6 ? SimVec{1, 0, 0} : SimVec{0, 1, 0};
    return normalised_or(cross(a, helper), SimVec{0, 0, 1});
}

// a / |a|, or any unit vector perpendicular to axis when a has no direction. The fallback is worked
// out only when needed: this runs for every triangle under every wheel.
SimVec unit_or_perpendicular(SimVec a, SimVec axis) {
    double len = length(a);
    if (!(len > 1e-12) || !std::isfinite(len)) return any_perpendicular(axis);
    return a * (1 / len);
}

// X lies inside the triangle seen along n (on an edge counts as inside).
bool inside(const SimVec v[3], SimVec n, SimVec x) {
    for (int i = 0; i < 3; ++i) {
        SimVec edge = v[(i + 1) % 3] - v[i];
        if (dot(x - v[i], cross(edge, n)) > 0) return false;
    }
    return true;
}

SimVec to_sim(const TerrainVec& v) {
    return SimVec{v.x, v.y, v.z};
}

double segment_point_distance(SimVec p, SimVec q, SimVec y) {
    SimVec d = q - p;
    double len2 = dot(d, d);
    double t = len2 > 0 ? std::clamp(dot(y - p, d) / len2, 0.0, 1.0) : 0.0;
    return length(p + d * t - y);
}

// Downward normals are turned sideways or up: the ground never pulls a wheel into itself.
SimVec clean_normal(SimVec n) {
    if (n.y >= 0) return n;
    if (n.x * n.x + n.z * n.z >= 1.0 / 1024) return normalised_or(SimVec{n.x, 0, n.z}, k_up);
    return k_up;
}

} // namespace

SimVec circle_nearest_point(SimVec c, SimVec a, double R, SimVec y) {
    SimVec w = y - c;
    SimVec radial = w - a * dot(w, a);
    return c + unit_or_perpendicular(radial, a) * R;
}

namespace {

// The squared distance from the circle (centre c, unit axis a, radius R) to the points p + t (q - p)
// of a segment, as a function of t. Set up once per segment: each evaluation is a few products and
// one square root.
struct SegmentToCircle {
    double h0, h1;     // height over the circle's plane: h0 + h1 t
    double w0, w1, w2; // squared distance from the centre: w0 + w1 t + w2 t^2
    double R;
    SegmentToCircle(SimVec c, SimVec a, double radius, SimVec p, SimVec q) {
        SimVec w = p - c, d = q - p;
        h0 = dot(w, a);
        h1 = dot(d, a);
        w0 = dot(w, w);
        w1 = 2 * dot(w, d);
        w2 = dot(d, d);
        R = radius;
    }
    double operator()(double t) const {
        double h = h0 + h1 * t;
        double rho = std::sqrt(std::max(0.0, w0 + t * (w1 + t * w2) - h * h));
        return h * h + (rho - R) * (rho - R);
    }
};

// True when the segment stays at least reach from the circle, by bounds alone: every circle point lies
// in the circle's plane, within R of the centre. The cheapest bounds come first.
bool segment_beyond_circle(SimVec c, SimVec a, double R, SimVec p, SimVec q, double reach) {
    // A margin far below the depths that count as equal, so that rounding never rejects a segment
    // nearer than reach.
    reach += 1e-13;
    double hp = dot(p - c, a), hq = dot(q - c, a);
    if ((hp > 0) == (hq > 0) && std::min(std::fabs(hp), std::fabs(hq)) >= reach) return true;
    if (R > reach) {
        double inner = (R - reach) * (R - reach);
        if (std::max(dot(p - c, p - c), dot(q - c, q - c)) <= inner) return true;
    }
    return segment_point_distance(p, q, c) >= R + reach;
}

} // namespace

// The distance from a point moving along the segment to the circle is smooth but not convex, so
// the segment is sampled coarsely and the best sample's bracket refined by Brent's minimisation
// (parabolic steps, golden sections where they stall); both ends are among the samples. Segments
// here are a few feet long and the circle about a foot across: eight samples keep a far local
// minimum from hiding the near one. Distances that cannot come nearer than limit are not refined: the
// result is then limit or more, with the best sample's points.
double circle_segment_distance_within(SimVec c, SimVec a, double R, SimVec p, SimVec q, double limit,
                                      SimVec& on_circle, SimVec& on_segment) {
    constexpr int k_samples = 8;
    const SegmentToCircle f(c, a, R, p, q);
    SimVec d = q - p;
    double samples[k_samples + 1];
    int best_k = 0;
    for (int k = 0; k <= k_samples; ++k) {
        samples[k] = f(double(k) / k_samples);
        if (samples[k] < samples[best_k]) best_k = k;
    }
    double best_t = double(best_k) / k_samples, best = samples[best_k];
    // The distance changes by at most |q - p| per unit of t, so within the bracket of the best sample
    // it stays above this bound.
    double step = std::sqrt(f.w2) / k_samples;
    double bound = INFINITY, at_best = std::sqrt(best);
    if (best_k > 0) bound = std::min(bound, (at_best + std::sqrt(samples[best_k - 1]) - step) / 2);
    if (best_k < k_samples) bound = std::min(bound, (at_best + std::sqrt(samples[best_k + 1]) - step) / 2);
    if (!(bound < limit + 1e-13)) {
        on_segment = p + d * best_t;
        on_circle = circle_nearest_point(c, a, R, on_segment);
        return std::max(at_best, limit);
    }
    double lo = std::max(0.0, best_t - 1.0 / k_samples), hi = std::min(1.0, best_t + 1.0 / k_samples);
    // Brent's minimisation on [lo, hi] from the best sample.
    constexpr double k_golden_step = 0.3819660112501051;
    constexpr double k_tolerance = 1e-6, k_floor = 1e-9;
    double x = best_t, w = best_t, v = best_t, fx = best, fw = best, fv = best;
    double e = 0, step_taken = 0;
    for (int it = 0; it < 40; ++it) {
        double middle = (lo + hi) / 2;
        double tol1 = k_tolerance * std::fabs(x) + k_floor, tol2 = 2 * tol1;
        if (std::fabs(x - middle) <= tol2 - (hi - lo) / 2) break;
        bool golden = true;
        if (std::fabs(e) > tol1) {
            double r = (x - w) * (fx - fv), qq = (x - v) * (fx - fw);
            double pp = (x - v) * qq - (x - w) * r;
            qq = 2 * (qq - r);
            if (qq > 0) pp = -pp;
            qq = std::fabs(qq);
            double e_before = e;
            e = step_taken;
            if (std::fabs(pp) < std::fabs(qq * e_before / 2) && pp > qq * (lo - x) && pp < qq * (hi - x)) {
                step_taken = pp / qq;
                double u = x + step_taken;
                if (u - lo < tol2 || hi - u < tol2) step_taken = x < middle ? tol1 : -tol1;
                golden = false;
            }
        }
        if (golden) {
            e = x >= middle ? lo - x : hi - x;
            step_taken = k_golden_step * e;
        }
        double u = std::fabs(step_taken) >= tol1 ? x + step_taken : x + (step_taken > 0 ? tol1 : -tol1);
        double fu = f(u);
        if (fu <= fx) {
            if (u >= x)
                lo = x;
            else
                hi = x;
            v = w;
            fv = fw;
            w = x;
            fw = fx;
            x = u;
            fx = fu;
        } else {
            if (u < x)
                lo = u;
            else
                hi = u;
            if (fu <= fw || w == x) {
                v = w;
                fv = fw;
                w = u;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
    }
    double t = x, fbest = fx;
    if (!(fbest <= best)) {
        t = best_t;
        fbest = best;
    }
    on_segment = p + d * t;
    on_circle = circle_nearest_point(c, a, R, on_segment);
    return std::sqrt(fbest);
}

double circle_segment_distance(SimVec c, SimVec a, double R, SimVec p, SimVec q, SimVec& on_circle,
                               SimVec& on_segment) {
    return circle_segment_distance_within(c, a, R, p, q, INFINITY, on_circle, on_segment);
}

namespace {

// torus_triangle_contact for a caller that only wants a depth greater than beat: in the distance
// case, edges that cannot reach r - beat of the ring are skipped and the others measured only as
// far as they need to be, so a result at or below beat is only known not to beat it. The edge kept
// is the same as with every edge measured in full.
TorusCase torus_triangle_contact_beyond(const SimVec v[3], SimVec c, SimVec a, double R, double r,
                                        double beat, ContactHit& hit) {
    hit = ContactHit{c, k_up, -1};
    SimVec N = cross(v[1] - v[0], v[2] - v[0]);
    double n_len = length(N);
    if (!(n_len > 1e-12)) return TorusNone; // a triangle without area touches nothing
    SimVec n = N * (1 / n_len);
    double centre_height = dot(c - v[0], n);
    if (centre_height > R + r) return TorusNone;
    // Relative to the plane the ring reaches R sqrt(1 - (a.n)^2) below and above its centre. Unless
    // it lies wholly below the plane (the deep case), no touch is deeper than r minus the height of
    // its lowest point: a triangle that cannot beat the depth to beat is left before any direction is
    // worked out. (Callers give depths to beat with room for rounding: see k_same_depth.)
    double an = dot(a, n);
    double reach_across = R * std::sqrt(std::max(0.0, 1 - an * an));
    double lowest = centre_height - reach_across;
    if (centre_height + reach_across > 0 && r - lowest <= beat) {
        hit = ContactHit{c - n * (centre_height + r), n, r - lowest};
        return TorusDistance;
    }

    // The wheel-plane direction pointing most against the normal. With the axle along the normal
    // (the wheel lying flat) every ring point is equally low; any in-plane direction will do.
    SimVec low_dir = unit_or_perpendicular(cross(cross(N, a), a), a);
    if (dot(low_dir, N) > 0) low_dir = -low_dir;
    SimVec p_low = c + low_dir * R, p_high = c - low_dir * R;
    double low_height = dot(p_low - v[0], n), high_height = dot(p_high - v[0], n);

    bool distance_case = false;
    if (low_height > 0) {
        if (inside(v, N, p_low)) {
            hit = ContactHit{p_low - n * r, n, r - low_height};
            return TorusFace;
        }
        // The ring comes no nearer than low_height to the triangle's plane, so no edge can give a
        // depth above r - low_height.
        if (r - low_height <= beat) {
            hit = ContactHit{p_low - n * r, n, r - low_height};
            return TorusDistance;
        }
        distance_case = true;
    } else if (high_height > 0) {
        // The ring crosses the plane: where does the line from the centre along low_dir meet it?
        double along = dot(low_dir, n);
        SimVec x = along < -1e-12 ? c + low_dir * (-centre_height / along) : p_low;
        if (inside(v, N, x)) {
            hit = ContactHit{p_low - n * r, n, r - low_height};
            return TorusCrossing;
        }
        for (int i = 0; i < 3; ++i) {
            SimVec vi = v[i], vj = v[(i + 1) % 3];
            SimVec edge = vj - vi;
            if (dot(x - vi, cross(edge, N)) <= 0) continue; // x is not outside this edge
            double si = dot(vi - c, a), sj = dot(vj - c, a);
            if ((si <= 0) == (sj <= 0)) continue; // the edge does not cross the wheel plane
            SimVec q = vi + edge * (si / (si - sj));
            if (!(length(q - c) < R)) continue;
            SimVec t = cross(q - c, a);
            if (dot(t, N) < 0) t = -t;
            SimVec normal = normalised_or(cross(edge, t), n);
            // The edge pushes the tyre away from itself, towards the wheel's centre.
            if (dot(normal, c - q) < 0) normal = -normal;
            SimVec circle_point = circle_nearest_point(c, a, R, q);
            hit = ContactHit{circle_point - normal * r, normal, r - k_edge_cut_depth_offset};
            return TorusEdgeCut;
        }
        distance_case = true;
    } else {
        if (inside(v, k_up, c)) {
            hit = ContactHit{p_low, k_up, 2 * R};
            return TorusDeep;
        }
        distance_case = true;
    }
    if (!distance_case) return TorusNone;

    // Only edges nearer to the ring than this can give the triangle a depth above beat; once an edge
    // is measured, a later one must come nearer still to replace it.
    double best = INFINITY, limit = r - beat;
    SimVec best_circle = c, best_edge = c;
    for (int i = 0; i < 3; ++i) {
        SimVec p = v[i], q = v[(i + 1) % 3];
        double reach = std::min(best, limit);
        if (segment_beyond_circle(c, a, R, p, q, reach)) continue;
        SimVec on_circle, on_segment;
        double d = circle_segment_distance_within(c, a, R, p, q, reach, on_circle, on_segment);
        if (d < best) {
            best = d;
            best_circle = on_circle;
            best_edge = on_segment;
        }
    }
    SimVec between = best_circle - best_edge;
    SimVec normal = length(between) < 1.0 / 1024 ? n : normalised_or(between, n);
    hit = ContactHit{best_circle - normal * r, normal, r - best};
    return TorusDistance;
}

} // namespace

TorusCase torus_triangle_contact(const SimVec v[3], SimVec c, SimVec a, double R, double r, ContactHit& hit) {
    return torus_triangle_contact_beyond(v, c, a, R, r, -INFINITY, hit);
}

bool torus_terrain_query_at(const Terrain& terrain, SimVec c, SimVec a, double R, double r, ContactHit& hit) {
    hit = ContactHit{c, k_up, 0};
    if (terrain.heights.empty() || !(terrain.cell_size > 0)) return false;
    if (!finite(c) || std::fabs(c.x) > k_far_away || std::fabs(c.z) > k_far_away) return false;
    if (!(R >= 0) || !(r > 0) || !std::isfinite(R + r)) return false;
    a = normalised_or(a, SimVec{1, 0, 0});
    double e = R + r, s = terrain.cell_size;
    int i0 = int(std::floor((c.x - e) / s)), i1 = int(std::ceil((c.x + e) / s)) - 1;
    int j0 = int(std::floor((c.z - e) / s)), j1 = int(std::ceil((c.z + e) / s)) - 1;
    i1 = std::min(i1, i0 + k_max_scan_cells - 1);
    j1 = std::min(j1, j0 + k_max_scan_cells - 1);
    // Only cells under the torus's own bounding box can hold a touching triangle (every kind of touch
    // lies within the tube or the ring's disc): a ring of radius R about axle a reaches R sqrt(1 - a_k^2)
    // along world axis k. An upright wheel rolling along z covers one or two columns, not three.
    double ex = R * std::sqrt(std::max(0.0, 1 - a.x * a.x)) + r;
    double ez = R * std::sqrt(std::max(0.0, 1 - a.z * a.z)) + r;
    i0 = std::max(i0, int(std::floor((c.x - ex) / s)));
    i1 = std::min(i1, int(std::ceil((c.x + ex) / s)) - 1);
    j0 = std::max(j0, int(std::floor((c.z - ez) / s)));
    j1 = std::min(j1, int(std::ceil((c.z + ez) / s)) - 1);
    bool found = false;
    ContactHit best{c, k_up, 0};
    int best_index = 0; // the kept triangle's place in the row-by-row scan
    auto visit = [&](int i, int j) {
        TerrainTriangle tris[2];
        terrain_cell_triangles(terrain, i, j, tris);
        for (int k = 0; k < 2; ++k) {
            const TerrainTriangle& tri = tris[k];
            int index = ((j - j0) * (i1 - i0 + 1) + (i - i0)) * 2 + k;
            SimVec v[3] = {to_sim(tri.p[0]), to_sim(tri.p[1]), to_sim(tri.p[2])};
            // A triangle wholly below the torus's lowest reach cannot touch it.
            if (std::max({v[0].y, v[1].y, v[2].y}) < c.y - e) continue;
            // Depths within k_same_depth are the same depth: the earlier triangle of the scan keeps it.
            bool earlier = !found || index < best_index;
            double beat = best.depth + (found ? (earlier ? -k_same_depth : k_same_depth) : 0);
            ContactHit h;
            if (torus_triangle_contact_beyond(v, c, a, R, r, beat, h) == TorusNone) continue;
            bool deeper = h.depth > beat && (!found || h.depth > best.depth + k_same_depth || earlier);
            if (deeper && finite(h.point) && finite(h.normal)) {
                best = h;
                best_index = index;
                found = true;
            }
        }
    };
    // The cell under the ring's lowest point first: its touch is usually the deepest, and once it is
    // known most other triangles are rejected by bounds alone. Of equally deep touches (every edge cut
    // has the same depth; two triangles sharing the edge nearest to the tyre differ by rounding) the
    // first in the row-by-row scan is kept, whatever the order of the visits.
    SimVec down = unit_or_perpendicular(cross(cross(k_up, a), a), a);
    if (down.y > 0) down = -down;
    int first_i = std::clamp(int(std::floor((c.x + R * down.x) / s)), i0, std::max(i0, i1));
    int first_j = std::clamp(int(std::floor((c.z + R * down.z) / s)), j0, std::max(j0, j1));
    if (i0 <= i1 && j0 <= j1) visit(first_i, first_j);
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i)
            if (i != first_i || j != first_j) visit(i, j);
    if (!found) return false;
    best.normal = clean_normal(best.normal);
    hit = best;
    return true;
}

bool torus_terrain_query(const Terrain& terrain, const WheelRecord& wheel, ContactHit& hit) {
    const dReal* p = dBodyGetPosition(wheel.body);
    dVector3 axle;
    dBodyVectorToWorld(wheel.body, wheel.axle[0], wheel.axle[1], wheel.axle[2], axle);
    return torus_terrain_query_at(terrain, SimVec{p[0], p[1], p[2]}, SimVec{axle[0], axle[1], axle[2]},
                                  wheel.ring_radius, wheel.tube_radius, hit);
}

void tyre_softness(double depth, double tube_radius, double& kp, double& kd) {
    double q = tube_radius > 0 ? std::clamp(depth / tube_radius, 0.0, 1.0) : 1.0;
    double q3 = q * q * q;
    kp = 24000 * q3 + 1000;
    kd = 2300 * q3 + 200;
}

bool wheel_terrain_contact(const Terrain& terrain, WheelRecord& wheel, double grip) {
    ContactHit hit;
    wheel.contact_step = contact_step_now();
    wheel.contact_on_ground = false;
    if (!torus_terrain_query(terrain, wheel, hit)) {
        wheel.depth = 0;
        return false;
    }
    dVector3 pv;
    dBodyGetPointVel(wheel.body, hit.point.x, hit.point.y, hit.point.z, pv);
    SimVec v{pv[0], pv[1], pv[2]};
    wheel.contact_point[0] = float(hit.point.x);
    wheel.contact_point[1] = float(hit.point.y);
    wheel.contact_point[2] = float(hit.point.z);
    wheel.contact_velocity[0] = float(v.x);
    wheel.contact_velocity[1] = float(v.y);
    wheel.contact_velocity[2] = float(v.z);
    wheel.contact_normal[0] = float(hit.normal.x);
    wheel.contact_normal[1] = float(hit.normal.y);
    wheel.contact_normal[2] = float(hit.normal.z);
    wheel.depth = float(hit.depth);
    wheel.contact_on_ground = true;

    int tile = terrain_tile_at(terrain, float(hit.point.x), float(hit.point.z));
    double speed = length(v);
    double mu = tile_friction(terrain, tile, float(speed)) * grip;
    double kp, kd;
    tyre_softness(hit.depth, wheel.tube_radius, kp, kd);
    double q = std::clamp(hit.depth / wheel.tube_radius, 0.0, 1.0);

    // Friction directions: the first across the slip, ODE's own second one along it. A wheel barely
    // sliding takes the first along its axle's cross direction instead.
    SimVec fdir = cross(hit.normal, v);
    if (dot(fdir, fdir) < 1.0 / 1024) {
        dVector3 axle;
        dBodyVectorToWorld(wheel.body, wheel.axle[0], wheel.axle[1], wheel.axle[2], axle);
        fdir = cross(hit.normal, SimVec{axle[0], axle[1], axle[2]});
    }
    double fdir_len = length(fdir);
    bool has_fdir = fdir_len > 1e-12 && std::isfinite(fdir_len);
    if (has_fdir) fdir = fdir * (1 / fdir_len);
    contact_joint_create(wheel.body, nullptr, hit.point, hit.normal, hit.depth, mu, kp, kd,
                         has_fdir ? &fdir : nullptr, &wheel.feedback);

    // Rolling resistance against the wheel's motion along the ground, fading in proportion to the
    // speed below 1 ft/s.
    if (dBodyIsEnabled(wheel.body)) {
        const dReal* bv = dBodyGetLinearVel(wheel.body);
        SimVec u{bv[0], bv[1], bv[2]};
        u = u - hit.normal * dot(u, hit.normal);
        double w = length(u);
        float ra = 0, rb = 0;
        tile_roll_resist(terrain, tile, float(w), ra, rb);
        double rho = ra + (rb - ra) * q;
        if (w > 1) u = u * (1 / w);
        SimVec f = u * -rho;
        if (finite(f)) dBodyAddForce(wheel.body, f.x, f.y, f.z);
    }
    return true;
}

double wheel_tyre_load(const WheelRecord& wheel) {
    if (!(wheel.depth > 0) || !wheel.contact_on_ground) return 0;
    const dReal* f = wheel.feedback.f1;
    return f[0] * wheel.contact_normal[0] + f[1] * wheel.contact_normal[1] + f[2] * wheel.contact_normal[2];
}
