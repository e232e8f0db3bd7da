#include "tracks.h"

#include "noise.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double k_pi = 3.14159265358979323846;

double smoothstep(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// A smooth hump over [0, width]: 0 at both ends, 1 in the middle.
double bump(double d, double width) {
    if (d <= 0 || d >= width) return 0;
    double s = std::sin(k_pi * d / width);
    return s * s;
}

// The land around the course: gentle rolling ground, one broad hill the course climbs over, and
// banks rising at the edges of the field.
double tarnwick_land(double x, double z, double extent) {
    double rolling = 8 * noise_fbm(7, x / 420, z / 420, 4);
    double dx = x - 1790, dz = z - 880;
    double hill = 20 * std::exp(-(dx * dx + dz * dz) / (2 * 320.0 * 320.0));
    double edge = std::min(std::min(x, z), std::min(extent - x, extent - z));
    double rim = 24 * smoothstep((200 - edge) / 200);
    return rolling + hill + rim;
}

// Smooths a closed sequence with a box filter of half-width `half` entries, `passes` times.
void smooth_closed(std::vector<double>& values, int half, int passes) {
    size_t n = values.size();
    std::vector<double> out(n);
    for (int pass = 0; pass < passes; ++pass) {
        double sum = 0;
        for (int k = -half; k <= half; ++k)
            sum += values[size_t((int64_t(k) + int64_t(n)) % int64_t(n))];
        for (size_t i = 0; i < n; ++i) {
            out[i] = sum / (2 * half + 1);
            sum += values[(i + size_t(half) + 1) % n];
            sum -= values[size_t((int64_t(i) - half + int64_t(n)) % int64_t(n))];
        }
        values.swap(out);
    }
}

} // namespace

TrackBuild track_tarnwick(const Course& course) {
    TrackBuild track;
    track.folder = "tracks/tarnwick";
    track.display_name = "Tarnwick";
    TerrainData& t = track.terrain;
    terrain_setup(t, 10, 1.25);
    const int n = t.samples;
    const double cs = t.cell_size, extent = 2 * t.tiles * cs;
    const size_t count = course.points.size();

    // The track bed: the land under the centre line, smoothed along the lap so that grades stay
    // gentle; berms from the curvature: the tighter the corner, the higher its outside bank.
    std::vector<double> bed(count), curvature(count);
    for (size_t i = 0; i < count; ++i) {
        bed[i] = tarnwick_land(course.points[i].x, course.points[i].z, extent);
        curvature[i] = course.points[i].curvature;
    }
    smooth_closed(bed, int(70 / course.spacing), 3);
    smooth_closed(curvature, int(12 / course.spacing), 2);

    // The centre-line point each sample near the course belongs to: the one whose track edge is
    // nearest (distance minus half-width), so a wide stretch such as the start pad owns the ground
    // beside it and the distance outside the edge varies continuously from point to point.
    const double reach = 26; // beyond the edge: shoulder, mound and blend into the land
    std::vector<float> best(size_t(n) * size_t(n), 1e30f);
    std::vector<int32_t> nearest(size_t(n) * size_t(n), -1);
    for (size_t i = 0; i < count; ++i) {
        const CoursePoint& p = course.points[i];
        double r = p.half_width + reach;
        int c0 = std::max(0, int(std::floor((p.x - r) / cs))),
            c1 = std::min(n - 1, int(std::ceil((p.x + r) / cs)));
        int r0 = std::max(0, int(std::floor((p.z - r) / cs))),
            r1 = std::min(n - 1, int(std::ceil((p.z + r) / cs)));
        for (int row = r0; row <= r1; ++row)
            for (int col = c0; col <= c1; ++col) {
                double dx = col * cs - p.x, dz = row * cs - p.z;
                double d2 = dx * dx + dz * dz;
                if (d2 >= r * r) continue;
                float outside = float(std::sqrt(d2) - p.half_width);
                size_t k = size_t(row) * size_t(n) + size_t(col);
                if (outside < best[k]) {
                    best[k] = outside;
                    nearest[k] = int32_t(i);
                }
            }
    }

    std::vector<double> heights(size_t(n) * size_t(n));
    track.classes.assign(size_t(n) * size_t(n), SurfaceGrass);
    for (int row = 0; row < n; ++row)
        for (int col = 0; col < n; ++col) {
            size_t k = size_t(row) * size_t(n) + size_t(col);
            double x = col * cs, z = row * cs;
            double land = tarnwick_land(x, z, extent);
            heights[k] = land;
            if (nearest[k] < 0) continue;
            // Project onto the two segments around the nearest point for a continuous s and offset.
            size_t i = size_t(nearest[k]);
            double s = 0, lateral = 0, best_d2 = 1e300;
            for (int side = 0; side < 2; ++side) {
                size_t a = side == 0 ? (i + count - 1) % count : i;
                size_t b = (a + 1) % count;
                const CoursePoint& pa = course.points[a];
                const CoursePoint& pb = course.points[b];
                double ex = pb.x - pa.x, ez = pb.z - pa.z;
                double len2 = ex * ex + ez * ez;
                double u = std::clamp(((x - pa.x) * ex + (z - pa.z) * ez) / len2, 0.0, 1.0);
                double qx = pa.x + ex * u, qz = pa.z + ez * u;
                double d2 = (x - qx) * (x - qx) + (z - qz) * (z - qz);
                if (d2 < best_d2) {
                    best_d2 = d2;
                    s = pa.s + u * course.spacing;
                    // Distance from the line, signed positive to the rider's right.
                    double side = (x - qx) * -ez + (z - qz) * ex;
                    lateral = side < 0 ? -std::sqrt(d2) : std::sqrt(d2);
                }
            }
            CoursePoint p = course_at(course, s);
            double f = s / course.spacing;
            size_t i0 = size_t(f) % count, i1 = (i0 + 1) % count;
            double w = f - std::floor(f);
            double bed_here = bed[i0] + (bed[i1] - bed[i0]) * w;
            double kappa = curvature[i0] + (curvature[i1] - curvature[i0]) * w;
            double berm = std::clamp(220 * std::fabs(kappa) - 0.3, 0.0, 6.0);
            double outside = kappa > 0 ? lateral : -lateral; // towards the outside of the corner
            double feature = course_feature_height(course, s);
            double hw = p.half_width;
            double d = std::fabs(lateral) - hw;
            bool berm_side = outside > 0;
            if (d <= 0) {
                double across = (outside + hw) / (2 * hw);
                heights[k] = bed_here + feature + berm * across * across;
                bool loose_berm = berm > 1.5 && outside > hw * 0.35;
                track.classes[k] = (d > -1.5 || loose_berm) ? SurfaceLoose : SurfacePacked;
            } else {
                double edge = bed_here + feature + (berm_side ? berm : 0);
                double mound = 0.9 * bump(d, 5);
                double lip = berm_side ? 0.35 * berm * bump(d, 7) : 0;
                double blend = smoothstep((d - 4) / 18);
                heights[k] = edge + (land - edge) * blend + std::max(mound, lip);
                track.classes[k] = d < 5.5 ? SurfaceLoose : SurfaceGrass;
            }
        }
    terrain_quantise(t, heights, 2);
    terrain_light(t);
    tiles_fill_map(t, track.classes, 5);
    track.tiles = tiles_build(track.folder, 128);

    // Report: length, corners, features, estimated lap, and how steep the ground off the track gets.
    int steep = 0;
    for (int row = 0; row + 1 < n; ++row)
        for (int col = 0; col + 1 < n; ++col) {
            size_t k = size_t(row) * size_t(n) + size_t(col);
            if (track.classes[k] != SurfaceGrass) continue;
            double gx = (t.heights[k + 1] - t.heights[k]) / cs,
                   gz = (t.heights[k + size_t(n)] - t.heights[k]) / cs;
            if (gx * gx + gz * gz > 1.0) ++steep;
        }
    track.report =
        format_text("track %s (%s)\nlength %.0f ft (%.0f m)\ncorners %d\n", track.folder.c_str(),
                    track.display_name.c_str(), course.length, course.length * 0.3048, course.corner_count);
    for (const CourseFeature& feature : course.features)
        track.report += format_text("feature %s at %.0f ft, %.0f ft long\n", feature_name(feature.kind),
                                    feature.start, feature.length);
    track.report += format_text("start gate at %.0f ft, %.0f ft wide\n", course.gate_s, course.gate_width);
    track.report += format_text("estimated lap %.1f s\nheights %.0f to %.0f ft\nsteep off-track samples %d\n",
                                course_lap_time(course), t.min_height, t.max_height, steep);
    return track;
}

TrackBuild track_testbed() {
    TrackBuild track;
    track.folder = "tracks/testbed";
    track.display_name = "Testbed";
    TerrainData& t = track.terrain;
    terrain_setup(t, 6, 2.0);
    const int n = t.samples;
    const double cs = t.cell_size;
    std::vector<double> heights(size_t(n) * size_t(n), 0.0);
    track.classes.assign(size_t(n) * size_t(n), SurfacePacked);
    for (int row = 0; row < n; ++row)
        for (int col = 0; col < n; ++col) {
            size_t k = size_t(row) * size_t(n) + size_t(col);
            double x = col * cs, z = row * cs;
            // One slope: from x = 160 the ground rises 1 in 4 to a plateau 16 ft up at x = 224.
            double h = std::clamp((x - 160) * 0.25, 0.0, 16.0);
            // One bump: 2 ft high, 10 ft in radius, centred at (64, 128).
            double r = std::hypot(x - 64, z - 128);
            if (r < 10) h += 2 * (0.5 + 0.5 * std::cos(k_pi * r / 10));
            heights[k] = h;
            if (x < 12 || z < 12 || z > 244) track.classes[k] = SurfaceGrass;
        }
    terrain_quantise(t, heights, 0);
    terrain_light(t);
    tiles_fill_map(t, track.classes, 6);
    track.tiles = tiles_build(track.folder, 64);
    track.report = format_text("track %s (%s)\nflat at 0 ft, slope 1 in 4 from x 160 to 224 ft, bump 2 ft at "
                               "(64, 128)\nheights %.0f to %.0f ft\n",
                               track.folder.c_str(), track.display_name.c_str(), t.min_height, t.max_height);
    return track;
}

bool track_write(const std::string& out, const TrackBuild& track) {
    std::string folder = out + "/" + track.folder + "/";
    const TerrainData& t = track.terrain;
    bool ok = output_write(folder + "desc", track.display_name + "\n");
    ok = ok && output_write(folder + "terrain.hf", terrain_hf_bytes(t));
    ok = ok && output_write(folder + "shadingx2.ppm", terrain_shading_bytes(t));
    ok = ok && output_write(folder + "shadows.pgm", terrain_shadows_bytes(t));
    ok = ok && output_write(folder + "tilemap", t.tile_map.data(), t.tile_map.size());
    ok = ok && output_write(folder + "tileinfo", track.tiles.tileinfo);
    for (size_t i = 0; ok && i < track.tiles.files.size(); ++i)
        ok = output_write(folder + track.tiles.files[i], track.tiles.textures[i]);
    return ok;
}
