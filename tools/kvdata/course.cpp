#include "course.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double k_pi = 3.14159265358979323846;

// One piece of the centre line: a straight (radius 0) or an arc.
struct Leg {
    double length;     // straight length (feet); ignored for arcs
    double radius;     // arc radius (feet), 0 for a straight
    double turn;       // arc turn in degrees, positive left
    double half_width; // riding surface half-width along this leg
    FeatureKind feature;
    double feature_at; // feature start, feet from the start of the leg
};

Leg straight(double length, double half_width, FeatureKind feature = FeatureKind::None, double at = 0) {
    return Leg{length, 0, 0, half_width, feature, at};
}
Leg arc(double radius, double turn, double half_width) {
    return Leg{0, radius, turn, half_width, FeatureKind::None, 0};
}

// The tarnwick lap, in riding order from the start straight. It is closed by a smooth connector
// from the end of the last leg back to the start.
const Leg k_tarnwick_legs[] = {
    straight(480, 14),                             // start straight, the gate near its beginning
    arc(80, 90, 18),                               // turn 1: wide left, big berm
    straight(260, 13, FeatureKind::Tabletop, 60),  // first tabletop
    arc(42, -180, 14),                             // right hairpin
    straight(180, 13),                             //
    arc(48, 180, 14),                              // left hairpin
    straight(430, 13, FeatureKind::Double, 120),   // double
    arc(60, -90, 13),                              // right
    straight(400, 13, FeatureKind::Whoops, 70),    // whoops
    arc(55, 90, 13),                               // left, at the foot of the hill
    straight(330, 13, FeatureKind::StepUp, 70),    // step-up on the climb
    arc(60, 90, 13),                               // left over the hilltop
    straight(800, 13, FeatureKind::Double, 150),   // long run down the back with the second double
    arc(50, 90, 13),                               // left
    straight(300, 13, FeatureKind::Tabletop, 60),  // second tabletop
    arc(55, -90, 13),                              // right
    straight(300, 13),                             //
    arc(50, 90, 13),                               // left
    straight(580, 13, FeatureKind::Tabletop, 190), // finish tabletop on the run home
    arc(60, 90, 14),                               // last corner onto the start straight
};

constexpr double k_start_x = 500, k_start_z = 2050, k_start_heading = 0;
// The start pad: it opens out from the track's width behind the gate to room for 40 gates of
// 3.5 ft, keeps that width past the gate, then funnels into turn 1 (at 480 ft). Its width never
// changes by more than a foot per foot along the line, so the pad's outline stays a clean flare.
constexpr double k_gate_s = 140;
constexpr double k_gate_half_width = 78;
constexpr double k_pad_open_start = 30, k_pad_open_end = 130;
constexpr double k_pad_full_until = 250, k_pad_funnel_end = 470;

struct Pose {
    double x, z, h;
};

void add_point(std::vector<Pose>& dense, double x, double z, double h) {
    dense.push_back(Pose{x, z, h});
}

double smoothstep(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

double wrap(double s, double length) {
    s = std::fmod(s, length);
    return s < 0 ? s + length : s;
}

} // namespace

double feature_length(FeatureKind kind) {
    switch (kind) {
    case FeatureKind::Tabletop:
        return 100;
    case FeatureKind::Double:
        return 114;
    case FeatureKind::StepUp:
        return 150;
    case FeatureKind::Whoops:
        return 176;
    case FeatureKind::None:
        break;
    }
    return 0;
}

const char* feature_name(FeatureKind kind) {
    switch (kind) {
    case FeatureKind::Tabletop:
        return "tabletop";
    case FeatureKind::Double:
        return "double";
    case FeatureKind::StepUp:
        return "step-up";
    case FeatureKind::Whoops:
        return "whoops";
    case FeatureKind::None:
        break;
    }
    return "none";
}

namespace {

// A take-off face: rises by `height` over `length`, steepest at the lip (slope power*height/length).
double face(double u, double length, double height, double power) {
    if (u <= 0) return 0;
    if (u >= length) return height;
    return height * std::pow(u / length, power);
}

// A smooth fall from `height` to 0 over `length` (steepest in the middle, 1.5*height/length).
double fall(double u, double length, double height) {
    return height * (1 - smoothstep(u / length));
}

} // namespace

double feature_profile(FeatureKind kind, double u) {
    if (u < 0 || u > feature_length(kind)) return 0;
    switch (kind) {
    case FeatureKind::Tabletop: {
        // 7 ft face of 22 ft (lip about 28 degrees), 46 ft deck, 32 ft landing.
        if (u < 22) return face(u, 22, 7, 1.6);
        if (u < 68) return 7;
        return fall(u - 68, 32, 7);
    }
    case FeatureKind::Double: {
        // 6 ft take-off of 20 ft, 10 ft back side, 34 ft gap, 14 ft landing back, 4 ft crest,
        // 32 ft landing: lip to crest 58 ft.
        if (u < 20) return face(u, 20, 6, 1.7);
        if (u < 30) return fall(u - 20, 10, 6);
        if (u < 64) return 0;
        if (u < 78) return 6.5 * smoothstep((u - 64) / 14);
        if (u < 82) return 6.5;
        return fall(u - 82, 32, 6.5);
    }
    case FeatureKind::StepUp: {
        // 5 ft take-off of 18 ft, a 16 ft trough, a 9 ft face up to a 40 ft plateau at 8 ft,
        // then a long run back down.
        if (u < 18) return face(u, 18, 5, 1.6);
        if (u < 26) return fall(u - 18, 8, 5) * 0.7;
        if (u < 34) return 0;
        if (u < 43) return 8 * smoothstep((u - 34) / 9);
        if (u < 83) return 8;
        return fall(u - 83, 67, 8);
    }
    case FeatureKind::Whoops: {
        // 11 whoops of 2.5 ft, 15 ft apart, with 5.5 ft lead-in and lead-out.
        double v = u - 5.5;
        if (v < 0 || v > 165) return 0;
        return 2.5 * (0.5 - 0.5 * std::cos(2 * k_pi * v / 15));
    }
    case FeatureKind::None:
        break;
    }
    return 0;
}

Course course_tarnwick() {
    Course course;
    course.name = "tarnwick";
    // Walk the legs in small steps, remembering the half-width and feature starts on the way.
    std::vector<Pose> dense;
    std::vector<double> dense_width;
    struct PendingFeature {
        FeatureKind kind;
        double at_dense_length;
    };
    std::vector<PendingFeature> pending;
    const double step = 0.25;
    double x = k_start_x, z = k_start_z, h = k_start_heading;
    double walked = 0;
    add_point(dense, x, z, h);
    dense_width.push_back(k_tarnwick_legs[0].half_width);
    for (const Leg& leg : k_tarnwick_legs) {
        if (leg.feature != FeatureKind::None)
            pending.push_back(PendingFeature{leg.feature, walked + leg.feature_at});
        double length = leg.radius > 0 ? leg.radius * std::fabs(leg.turn) * k_pi / 180 : leg.length;
        int steps = std::max(1, int(std::lround(length / step)));
        double ds = length / steps;
        double dh = leg.radius > 0 ? -(leg.turn * k_pi / 180) / steps : 0;
        for (int i = 0; i < steps; ++i) {
            // Midpoint rule keeps arcs on their circle.
            double hm = h + dh / 2;
            x += std::cos(hm) * ds;
            z += std::sin(hm) * ds;
            h += dh;
            walked += ds;
            add_point(dense, x, z, h);
            dense_width.push_back(leg.half_width);
        }
        if (leg.radius > 0 && leg.radius <= 120 && std::fabs(leg.turn) >= 60) ++course.corner_count;
    }
    // Connector: a cubic Hermite curve from the last pose back to the start with matching tangents.
    {
        double x0 = x, z0 = z, x1 = k_start_x, z1 = k_start_z;
        double chord = std::hypot(x1 - x0, z1 - z0);
        double t0x = std::cos(h) * chord, t0z = std::sin(h) * chord;
        double t1x = std::cos(k_start_heading) * chord, t1z = std::sin(k_start_heading) * chord;
        int steps = std::max(4, int(chord * 1.5 / step));
        for (int i = 1; i <= steps; ++i) {
            double t = double(i) / steps, t2 = t * t, t3 = t2 * t;
            double a = 2 * t3 - 3 * t2 + 1, b = t3 - 2 * t2 + t, c = -2 * t3 + 3 * t2, d = t3 - t2;
            double px = a * x0 + b * t0x + c * x1 + d * t1x;
            double pz = a * z0 + b * t0z + c * z1 + d * t1z;
            if (i == steps) break; // the start point closes the loop
            add_point(dense, px, pz, 0);
            dense_width.push_back(k_tarnwick_legs[0].half_width);
        }
    }
    // Cumulative length of the dense closed polyline.
    size_t n = dense.size();
    std::vector<double> cumulative(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const Pose& a = dense[i];
        const Pose& b = dense[(i + 1) % n];
        cumulative[i + 1] = cumulative[i] + std::hypot(b.x - a.x, b.z - a.z);
    }
    double total = cumulative[n];
    int count = int(std::lround(total));
    course.spacing = total / count;
    course.length = total;
    // Resample at even spacing.
    std::vector<double> width(size_t(count), 0.0);
    course.points.resize(size_t(count));
    size_t j = 0;
    for (int i = 0; i < count; ++i) {
        double s = i * course.spacing;
        while (j + 1 < n && cumulative[j + 1] < s)
            ++j;
        double span = cumulative[j + 1] - cumulative[j];
        double t = span > 0 ? (s - cumulative[j]) / span : 0;
        const Pose& a = dense[j];
        const Pose& b = dense[(j + 1) % n];
        CoursePoint& p = course.points[size_t(i)];
        p.x = a.x + (b.x - a.x) * t;
        p.z = a.z + (b.z - a.z) * t;
        p.s = s;
        width[size_t(i)] = dense_width[j];
    }
    for (const PendingFeature& f : pending) {
        // The dense walk and the resampled line share their distances up to the connector.
        course.features.push_back(CourseFeature{f.kind, f.at_dense_length, feature_length(f.kind)});
    }
    // Directions and curvature from neighbours; half-width smoothed along the line.
    for (int i = 0; i < count; ++i) {
        const CoursePoint& prev = course.points[size_t((i + count - 1) % count)];
        const CoursePoint& next = course.points[size_t((i + 1) % count)];
        CoursePoint& p = course.points[size_t(i)];
        double dx = next.x - prev.x, dz = next.z - prev.z;
        double len = std::hypot(dx, dz);
        p.dx = dx / len;
        p.dz = dz / len;
    }
    for (int i = 0; i < count; ++i) {
        const CoursePoint& prev = course.points[size_t((i + count - 1) % count)];
        const CoursePoint& next = course.points[size_t((i + 1) % count)];
        double h0 = std::atan2(prev.dz, prev.dx), h1 = std::atan2(next.dz, next.dx);
        double dh = std::remainder(h1 - h0, 2 * k_pi);
        course.points[size_t(i)].curvature = -dh / (2 * course.spacing); // heading falls on a left turn
    }
    const int window = int(30 / course.spacing);
    for (int i = 0; i < count; ++i) {
        double sum = 0;
        for (int k = -window; k <= window; ++k)
            sum += width[size_t(((i + k) % count + count) % count)];
        double w = sum / (2 * window + 1);
        double s = course.points[size_t(i)].s;
        double t = 0;
        if (s >= k_pad_open_start && s < k_pad_open_end)
            t = smoothstep((s - k_pad_open_start) / (k_pad_open_end - k_pad_open_start));
        else if (s >= k_pad_open_end && s < k_pad_full_until)
            t = 1;
        else if (s >= k_pad_full_until && s < k_pad_funnel_end)
            t = 1 - smoothstep((s - k_pad_full_until) / (k_pad_funnel_end - k_pad_full_until));
        w += (std::max(w, k_gate_half_width) - w) * t;
        course.points[size_t(i)].half_width = w;
    }
    course.gate_s = k_gate_s;
    course.gate_width = 2 * k_gate_half_width;
    return course;
}

CoursePoint course_at(const Course& course, double s) {
    s = wrap(s, course.length);
    double f = s / course.spacing;
    size_t count = course.points.size();
    size_t i = size_t(f) % count;
    size_t k = (i + 1) % count;
    double t = f - std::floor(f);
    const CoursePoint& a = course.points[i];
    const CoursePoint& b = course.points[k];
    CoursePoint p = a;
    p.x = a.x + (b.x - a.x) * t;
    p.z = a.z + (b.z - a.z) * t;
    p.s = s;
    p.curvature = a.curvature + (b.curvature - a.curvature) * t;
    p.half_width = a.half_width + (b.half_width - a.half_width) * t;
    double dx = a.dx + (b.dx - a.dx) * t, dz = a.dz + (b.dz - a.dz) * t;
    double len = std::hypot(dx, dz);
    p.dx = dx / len;
    p.dz = dz / len;
    return p;
}

double course_feature_height(const Course& course, double s) {
    double best = 0;
    for (const CourseFeature& f : course.features) {
        double u = wrap(s - f.start, course.length);
        if (u <= f.length) best = std::max(best, feature_profile(f.kind, u));
    }
    return best;
}

double course_lap_time(const Course& course) {
    // Race pace of a 450: top speed about 85 ft/s (58 mph), grip with berms about 1.3 g in the
    // corners, hard acceleration fading towards top speed, braking at 0.8 g.
    const double g = 32, top = 85, grip = 1.3, brake = 0.8 * g, accel = 0.85 * g;
    size_t count = course.points.size();
    double ds = course.spacing;
    std::vector<double> limit(count, top);
    for (size_t i = 0; i < count; ++i) {
        // Corner speed from the curvature averaged over 10 ft either side.
        double sum = 0;
        int window = int(10 / ds);
        for (int k = -window; k <= window; ++k)
            sum += course.points[size_t((int64_t(i) + k + int64_t(count)) % int64_t(count))].curvature;
        double curvature = std::fabs(sum / (2 * window + 1));
        if (curvature > 1e-6) limit[i] = std::min(top, std::sqrt(grip * g / curvature));
    }
    for (const CourseFeature& f : course.features) {
        // Whoops are skimmed at a controlled speed; jump faces are met at take-off speed.
        double cap = f.kind == FeatureKind::Whoops ? 52 : 60;
        for (double u = 0; u <= f.length; u += ds) {
            size_t i = size_t(wrap(f.start + u, course.length) / ds) % count;
            limit[i] = std::min(limit[i], cap);
        }
    }
    std::vector<double> v = limit;
    // Forward (acceleration) and backward (braking) passes, twice round to settle the wrap.
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t k = 1; k <= count; ++k) {
            size_t i = k % count, p = k - 1;
            double a = accel * (1 - (v[p] / top) * (v[p] / top));
            v[i] = std::min(v[i], std::sqrt(v[p] * v[p] + 2 * a * ds));
        }
        for (size_t k = count; k >= 1; --k) {
            size_t i = k - 1, nx = k % count;
            v[i] = std::min(v[i], std::sqrt(v[nx] * v[nx] + 2 * brake * ds));
        }
    }
    double time = 0;
    for (size_t i = 0; i < count; ++i)
        time += ds / std::max(v[i], 1.0);
    return time;
}
