#include "tiles.h"

#include "image_writer.h"
#include "noise.h"

#include <algorithm>
#include <cmath>

namespace {

struct Surface {
    const char* stem;
    double friction_slow, friction_fast; // coefficient at 4 ft/s and at 80 ft/s
    double roll_a, roll_b;               // rolling resistance at no and at full tyre compression (lbf)
    const char* roost;
    double erode_depth, erode_lower, erode_upper, erode_displacement, erode_radius;
};

// Packed dirt grips best and rolls easiest; loose dirt is softer, digs deeper and throws more;
// grass is slippery and hardly ruts.
const Surface k_surfaces[3] = {
    {"packed", 1.20, 1.05, 4, 12, "count=6 dig=0.8 size=0.22 r=118 g=86 b=60 a=255 fade_a=-256", 0.6, 60, 160,
     1.5, 3},
    {"loose", 1.00, 0.88, 8, 24, "count=12 dig=1.3 size=0.3 r=146 g=108 b=72 a=255 fade_a=-200", 1.4, 40, 140,
     2.5, 4},
    {"grass", 0.85, 0.72, 6, 16, "count=4 dig=0.6 size=0.2 r=86 g=104 b=50 a=255 fade_a=-300", 0.3, 80, 200,
     1, 3},
};

double clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

double smoothstep(double t) {
    t = clamp01(t);
    return t * t * (3 - 2 * t);
}

// Colour of a base surface at tile-local (u, v); periodic with period 1 in both.
void surface_colour(int kind, double u, double v, double rgb[3]) {
    switch (kind) {
    case 0: { // packed dirt: even brown, darker compacted patches
        double broad = noise_fbm_periodic(11, u, v, 4, 4);
        double fine = noise_fbm_periodic(12, u, v, 16, 2);
        double k = 1 + 0.16 * broad + 0.10 * fine;
        rgb[0] = 118 * k, rgb[1] = 86 * k, rgb[2] = 60 * k;
        break;
    }
    case 1: { // loose dirt: lighter, grainy, with dark clods
        double broad = noise_fbm_periodic(21, u, v, 4, 3);
        double grain = noise_fbm_periodic(22, u, v, 32, 1);
        double clod = smoothstep((noise_fbm_periodic(23, u, v, 12, 2) - 0.25) / 0.2);
        double k = (1 + 0.14 * broad + 0.22 * grain) * (1 - 0.3 * clod);
        rgb[0] = 150 * k, rgb[1] = 112 * k, rgb[2] = 74 * k;
        break;
    }
    case 2:
    case 3: { // grass and its variant with more dry flecks
        uint32_t seed = kind == 2 ? 31 : 41;
        double broad = noise_fbm_periodic(seed, u, v, 4, 3);
        double blades = noise_fbm_periodic(seed + 1, u, v, 32, 2);
        double dry = smoothstep((noise_fbm_periodic(seed + 2, u, v, 8, 2) - (kind == 2 ? 0.35 : 0.15)) / 0.2);
        double k = 1 + 0.18 * broad + 0.28 * blades;
        rgb[0] = (70 + 60 * dry) * k;
        rgb[1] = (112 + 18 * dry) * k;
        rgb[2] = (42 + 8 * dry) * k;
        break;
    }
    }
}

// A texture of `size` pixels; the shown part (1/16 … 15/16) maps to tile-local 0 … 1.
template <typename Colour> Bytes render_texture(int size, Colour colour) {
    std::vector<uint8_t> pixels(size_t(size) * size_t(size) * 3);
    double inner = size * 14.0 / 16.0, border = size / 16.0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double u = (x + 0.5 - border) / inner, v = (y + 0.5 - border) / inner;
            double rgb[3];
            colour(u, v, rgb);
            for (int c = 0; c < 3; ++c)
                pixels[(size_t(y) * size_t(size) + size_t(x)) * 3 + size_t(c)] =
                    uint8_t(std::clamp(std::lround(rgb[c]), 0L, 255L));
        }
    return png_encode(pixels.data(), size, size, 3);
}

std::string mask_text(int mask) {
    std::string text;
    for (int bit = 8; bit >= 1; bit >>= 1)
        text += (mask & bit) ? '1' : '0';
    return text;
}

std::string type_lines(const std::string& folder, const std::string& file, const Surface& a, const Surface& b,
                       double share_b) {
    auto mix = [share_b](double x, double y) { return x + (y - x) * share_b; };
    const Surface& roost = share_b < 0.5 ? a : b;
    std::string text = "texture @" + folder + "/" + file + "\n";
    text += format_text("friction %.3f 4\nfriction %.3f 80\n", mix(a.friction_slow, b.friction_slow),
                        mix(a.friction_fast, b.friction_fast));
    text += format_text("roll_resist %.2f %.2f 1\n", mix(a.roll_a, b.roll_a), mix(a.roll_b, b.roll_b));
    text += std::string("roost ") + roost.roost + "\n";
    text += format_text("erode_depth %.2f\nerode_lower %.1f\nerode_upper %.1f\nerode_displacement %.2f\n"
                        "erode_radius %.2f\n",
                        mix(a.erode_depth, b.erode_depth), mix(a.erode_lower, b.erode_lower),
                        mix(a.erode_upper, b.erode_upper), mix(a.erode_displacement, b.erode_displacement),
                        mix(a.erode_radius, b.erode_radius));
    text += "addtile\n\n";
    return text;
}

int popcount4(int mask) {
    return (mask & 1) + ((mask >> 1) & 1) + ((mask >> 2) & 1) + ((mask >> 3) & 1);
}

} // namespace

TileSet tiles_build(const std::string& folder, int texture_size) {
    TileSet set;
    const char* base_files[4] = {"packed.png", "loose.png", "grass.png", "grass-alt1.png"};
    for (int kind = 0; kind < 4; ++kind) {
        set.files.push_back(base_files[kind]);
        set.textures.push_back(render_texture(
            texture_size, [kind](double u, double v, double rgb[3]) { surface_colour(kind, u, v, rgb); }));
        const Surface& s = k_surfaces[kind < 3 ? kind : 2];
        set.tileinfo += type_lines(folder, base_files[kind], s, s, 0);
    }
    // Transitions: A packed → B loose, then A loose → B grass. The boundary follows the corner
    // mask, bilinearly, with a ragged noisy edge that is periodic so neighbours agree.
    const int pairs[2][2] = {{0, 1}, {1, 2}};
    for (const auto& pair : pairs) {
        int a = pair[0], b = pair[1];
        for (int mask = 1; mask <= 14; ++mask) {
            std::string file =
                std::string(k_surfaces[a].stem) + "-" + k_surfaces[b].stem + "-" + mask_text(mask) + ".png";
            set.files.push_back(file);
            uint32_t seed = uint32_t(100 + a * 10 + b);
            set.textures.push_back(
                render_texture(texture_size, [a, b, mask, seed](double u, double v, double rgb[3]) {
                    double c00 = (mask & 8) ? 1 : 0, c10 = (mask & 4) ? 1 : 0;
                    double c01 = (mask & 2) ? 1 : 0, c11 = (mask & 1) ? 1 : 0;
                    double uc = clamp01(u), vc = clamp01(v);
                    double w = (c00 * (1 - uc) + c10 * uc) * (1 - vc) + (c01 * (1 - uc) + c11 * uc) * vc;
                    double jitter = noise_fbm_periodic(seed, u, v, 4, 3);
                    double t = smoothstep((w + 0.3 * jitter - 0.5) / 0.24 + 0.5);
                    double ca[3], cb[3];
                    surface_colour(a, u, v, ca);
                    surface_colour(b, u, v, cb);
                    for (int c = 0; c < 3; ++c)
                        rgb[c] = ca[c] + (cb[c] - ca[c]) * t;
                }));
            set.tileinfo += type_lines(folder, file, k_surfaces[a], k_surfaces[b], popcount4(mask) / 4.0);
        }
    }
    return set;
}

uint8_t tiles_type_for(const uint8_t corners[4], uint32_t variation) {
    uint8_t c[4] = {corners[0], corners[1], corners[2], corners[3]};
    bool packed = false, grass = false;
    for (uint8_t v : c) {
        packed = packed || v == SurfacePacked;
        grass = grass || v == SurfaceGrass;
    }
    // Packed dirt never meets grass directly: a loose edge comes between.
    if (packed && grass)
        for (uint8_t& v : c)
            if (v == SurfacePacked) v = SurfaceLoose;
    if (c[0] == c[1] && c[1] == c[2] && c[2] == c[3]) {
        if (c[0] == SurfacePacked) return k_tile_packed;
        if (c[0] == SurfaceLoose) return k_tile_loose;
        return variation % 5 == 0 ? k_tile_grass_alt : k_tile_grass;
    }
    const int bits[4] = {8, 4, 2, 1};
    int mask = 0;
    if (!grass) {
        for (int i = 0; i < 4; ++i)
            if (c[i] == SurfaceLoose) mask |= bits[i];
        return uint8_t(k_tile_packed_loose + mask - 1);
    }
    for (int i = 0; i < 4; ++i)
        if (c[i] == SurfaceGrass) mask |= bits[i];
    return uint8_t(k_tile_loose_grass + mask - 1);
}

void tiles_fill_map(TerrainData& terrain, const std::vector<uint8_t>& sample_class, uint32_t seed) {
    const int n = terrain.samples;
    for (int tr = 0; tr < terrain.tiles; ++tr)
        for (int tc = 0; tc < terrain.tiles; ++tc) {
            auto at = [&](int col, int row) { return sample_class[size_t(row) * size_t(n) + size_t(col)]; };
            uint8_t corners[4] = {at(2 * tc, 2 * tr), at(2 * tc + 2, 2 * tr), at(2 * tc, 2 * tr + 2),
                                  at(2 * tc + 2, 2 * tr + 2)};
            terrain.tile_map[size_t(tr) * size_t(terrain.tiles) + size_t(tc)] =
                tiles_type_for(corners, noise_hash(seed, tc, tr));
        }
}

void tiles_colour(uint8_t type, uint8_t rgb[3]) {
    static const uint8_t k_base[3][3] = {{118, 86, 60}, {150, 112, 74}, {78, 114, 44}};
    int kind = type == k_tile_packed ? 0 : type == k_tile_loose ? 1 : type <= k_tile_grass_alt ? 2 : -1;
    if (kind < 0) {
        // Transitions: the mix of their two surfaces.
        bool first_pair = type < k_tile_loose_grass;
        int mask = type - (first_pair ? k_tile_packed_loose : k_tile_loose_grass) + 1;
        double share = popcount4(mask) / 4.0;
        int a = first_pair ? 0 : 1, b = a + 1;
        for (int c = 0; c < 3; ++c)
            rgb[c] = uint8_t(k_base[a][c] + (k_base[b][c] - k_base[a][c]) * share);
        return;
    }
    for (int c = 0; c < 3; ++c)
        rgb[c] = k_base[kind][c];
}
