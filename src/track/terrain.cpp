#include "track/terrain.h"

#include "core/command_line.h"
#include "core/messages.h"
#include "data/search_paths.h"
#include "data/sha1.h"
#include "data/stream.h"
#include "platform/log.h"
#include "render/image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

Terrain g_terrain;

namespace {

constexpr double k_inv_65535 = 1.5259021896696422e-05;

// ---- Query helpers

// Holds a cell coordinate within one cell of the grid. Further out every sample index clamps to the
// edge anyway, so the surface is unchanged, and the conversion to int stays defined for huge values
// and for not-a-number (which lands on the corner).
inline float hold_cell(float f, float limit) {
    return f > -1.0f ? (f < limit ? f : limit) : -1.0f;
}

// The triangle under a point: its corner (x0, z0), the corner along x (x1, z0), the corner along z
// (x0, z1), and the point's fractions u, v along those legs.
struct TrianglePick {
    int x0, x1, z0, z1;
    float u, v;
};

inline TrianglePick pick_triangle(const Terrain& t, float x, float z) {
    float limit = float(t.samples_per_side);
    float fx = hold_cell(x / t.cell_size, limit);
    float fz = hold_cell(z / t.cell_size, limit);
    float gx = std::floor(fx), gz = std::floor(fz);
    int ix = int(gx), iz = int(gz);
    TrianglePick p{ix, ix + 1, iz, iz + 1, fx - gx, fz - gz};
    if (((ix ^ iz) & 1) == 0) {
        // The diagonal runs from (gx, gz) to (gx+1, gz+1): mirror the cell in x.
        std::swap(p.x0, p.x1);
        p.u = 1.0f - p.u;
    }
    if (p.u + p.v > 1.0f) {
        std::swap(p.x0, p.x1);
        std::swap(p.z0, p.z1);
        p.u = 1.0f - p.u;
        p.v = 1.0f - p.v;
    }
    return p;
}

inline TerrainVec point_at(const Terrain& t, int col, int row) {
    return TerrainVec{float(col) * t.cell_size, terrain_sample(t, col, row), float(row) * t.cell_size};
}

inline TerrainVec sub(TerrainVec a, TerrainVec b) {
    return TerrainVec{a.x - b.x, a.y - b.y, a.z - b.z};
}

inline TerrainVec cross(TerrainVec a, TerrainVec b) {
    return TerrainVec{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline TerrainVec normalised(TerrainVec a) {
    float length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    if (!(length > 0.0f)) return TerrainVec{0, 1, 0};
    return TerrainVec{a.x / length, a.y / length, a.z / length};
}

// ---- Loading helpers

void report_height_error(const char* detail, const char* folder) {
    log_printf("%s in '%.900s/terrain.hf'\n", detail, folder);
    add_message("Bad height field parameters");
    add_message("Error reading heights");
}

// Reads the header and the samples (from the ':' block or terrain.png) into t.
bool load_heights(Terrain& t, const char* folder) {
    DataStream* s = open_track_file(folder, "terrain.hf", true);
    if (!s) return false;
    int size_log2 = 0;
    float cell_size = 0, min_height = 0, max_height = 0;
    bool scanned = header_read_int(s, size_log2) && header_read_float(s, cell_size) &&
                   header_read_float(s, min_height) && header_read_float(s, max_height);
    const char* problem = nullptr;
    if (!scanned)
        problem = "Fewer than four header values";
    else if (size_log2 < 0 || size_log2 > k_terrain_max_size_log2)
        problem = "Grid size out of range";
    else if (!(cell_size > 0.0f) || !std::isfinite(cell_size))
        problem = "Cell size not a positive number";
    else if (!std::isfinite(min_height) || !std::isfinite(max_height))
        problem = "Height bounds not finite";
    if (problem) {
        stream_close(s);
        report_height_error(problem, folder);
        return false;
    }
    t.size_log2 = size_log2;
    t.tiles_per_side = 1 << size_log2;
    t.samples_per_side = 2 * t.tiles_per_side + 1;
    t.cell_size = cell_size;
    t.tile_size = 2 * cell_size;
    t.extent = 2.0f * float(t.tiles_per_side) * cell_size;
    t.min_height = min_height;
    t.max_height = max_height;
    int side = t.samples_per_side;
    size_t count = size_t(side) * side;
    float range = max_height - min_height;

    int c = stream_getc(s);
    while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v')
        c = stream_getc(s);
    // The fingerprint of the samples is only wanted in the most detailed log.
    bool fingerprint = g_launch.debug >= 2;
    Sha1 sha;
    sha1_begin(sha);
    if (c == ':') {
        // The block must hold every sample: a short file is an error, never made-up heights. The
        // array grows as samples arrive, so a short file with a large header claims little.
        t.heights.reserve(std::min(count, size_t(1) << 20));
        uint8_t block[65536];
        size_t have = 0; // bytes waiting in block (at most one odd byte between reads)
        while (t.heights.size() < count) {
            size_t want = std::min(sizeof block - have, (count - t.heights.size()) * 2 - have);
            size_t got = stream_read(s, block + have, want);
            if (got == 0) break;
            if (fingerprint) sha1_feed(sha, block + have, got);
            have += got;
            if (t.heights.capacity() - t.heights.size() < have / 2)
                t.heights.reserve(std::min(count, t.heights.capacity() * 2 + have / 2));
            size_t i = 0;
            for (; i + 1 < have; i += 2) {
                int v = block[i] | block[i + 1] << 8;
                t.heights.push_back(float(min_height + v * range * k_inv_65535));
            }
            have -= i;
            if (have) block[0] = block[i];
        }
        stream_close(s);
        if (t.heights.size() < count) {
            log_printf("'%.900s/terrain.hf' ends after %zu of %zu height samples\n", folder, t.heights.size(),
                       count);
            add_message("Error reading heights");
            return false;
        }
    } else {
        stream_close(s);
        std::string path = std::string(folder) + "/terrain.png";
        std::vector<uint16_t> pixels;
        int width = 0, height = 0;
        t.heights.assign(count, min_height);
        if (read_png_grey16(path.c_str(), pixels, width, height)) {
            for (int row = 0; row < side; ++row) {
                const uint16_t* line = pixels.data() + size_t(std::min(row, height - 1)) * width;
                for (int col = 0; col < side; ++col) {
                    int v = line[std::min(col, width - 1)];
                    uint8_t bytes[2] = {uint8_t(v & 255), uint8_t(v >> 8)};
                    if (fingerprint) sha1_feed(sha, bytes, 2);
                    t.heights[size_t(row) * side + col] = float(min_height + v * range * k_inv_65535);
                }
            }
        } else {
            // Without usable samples the ground is flat at the lowest height.
            uint8_t zero[2] = {0, 0};
            for (size_t i = 0; fingerprint && i < count; ++i)
                sha1_feed(sha, zero, 2);
            log_printf("No height samples in '%.900s' (%s): flat terrain\n", path.c_str(), image_error());
        }
    }
    if (fingerprint) {
        uint8_t digest[20];
        char hex[41];
        sha1_end(sha, digest);
        sha1_hex(digest, hex);
        log_printf("%s\n", hex);
    }
    return true;
}

bool load_shading(Terrain& t, const char* folder) {
    bool halve = false;
    DataStream* s = open_track_file(folder, "shadingx2.ppm", false);
    if (!s) {
        halve = true;
        s = open_track_file(folder, "shading.ppm", true);
        if (!s) return false;
    }
    Image image;
    char magic[16];
    bool ok = read_image_magic(s, magic) && read_ppm(s, magic, image, false);
    stream_close(s);
    if (!ok) {
        log_printf("Shading of '%.900s': %s\n", folder, image_error());
        add_message("Error reading shading");
        return false;
    }
    if (image.width != t.samples_per_side || image.height != t.samples_per_side) {
        add_messagef("Bad shading dimensions (%dx%d)", image.width, image.height);
        return false;
    }
    t.shading = std::move(image.pixels);
    if (halve)
        for (uint8_t& v : t.shading)
            v = uint8_t(v >> 1);
    return true;
}

bool load_shadows(Terrain& t, const char* folder) {
    size_t count = size_t(t.samples_per_side) * t.samples_per_side;
    DataStream* s = open_track_file(folder, "shadows.pgm", false);
    if (!s) {
        t.shadow.assign(count, 0);
        return true;
    }
    Image image;
    bool ok = read_pgm(s, image);
    stream_close(s);
    if (!ok) {
        log_printf("Shadows of '%.900s': %s\n", folder, image_error());
        add_message("Error reading shadows");
        return false;
    }
    if (image.width != t.samples_per_side || image.height != t.samples_per_side) {
        // Shown as well as logged: the load fails, and the user should see why.
        add_messagef("Bad shadow dimensions (%dx%d)\n", image.width, image.height);
        return false;
    }
    t.shadow = std::move(image.pixels);
    for (uint8_t& v : t.shadow)
        v = uint8_t(255 - v);
    return true;
}

bool load_tile_types(Terrain& t, const char* folder) {
    DataStream* s = open_track_file(folder, "tileinfo", false);
    const char* name = "tileinfo";
    if (s) {
        read_tileinfo(t, s);
    } else {
        name = "texturelist";
        s = open_track_file(folder, name, true);
        if (!s) return false;
        read_texturelist(t, s);
    }
    stream_close(s);
    if (t.tile_count <= 0) {
        add_messagef("No tile types in '%.900s/%s'", folder, name);
        return false;
    }
    return true;
}

// Short files leave the remaining tiles at type 0; every entry ends up below tile_count.
bool load_tile_map(Terrain& t, const char* folder) {
    DataStream* s = open_track_file(folder, "tilemap", true);
    if (!s) return false;
    size_t count = size_t(t.tiles_per_side) * t.tiles_per_side;
    t.tile_map.assign(count, 0);
    size_t got = 0;
    while (got < count) {
        size_t n = stream_read(s, t.tile_map.data() + got, count - got);
        if (n == 0) break;
        got += n;
    }
    stream_close(s);
    if (got < count)
        log_printf("'%.900s/tilemap' holds %zu of %zu tiles; the rest are type 0\n", folder, got, count);
    uint8_t last = uint8_t(t.tile_count - 1);
    for (uint8_t& v : t.tile_map)
        v = std::min(v, last);
    return true;
}

// ---- Saving helpers

struct SaveFile {
    const char* name;
    std::string temp; // data-relative name of the temporary file
    bool written = false;
};

// The file-system path a written name went to: the home folder for a data-relative name, where
// writes go; any other name is a path already.
std::string written_path(const std::string& name) {
    if (name.empty() || name[0] != '@') return name;
    const char* home = search_root(0);
    return home ? path_join(home, name.c_str() + 1) : std::string();
}

bool write_all(DataStream* s, const void* data, size_t size) {
    return stream_write(s, data, size) == size;
}

bool write_ppm(DataStream* s, const uint8_t* rgb, int side, bool doubled) {
    if (stream_printf(s, "P6\n%d %d\n255\n", side, side) < 0) return false;
    size_t count = size_t(side) * side * 3;
    if (!doubled) return write_all(s, rgb, count);
    uint8_t block[4096];
    for (size_t at = 0; at < count; at += sizeof block) {
        size_t n = std::min(sizeof block, count - at);
        for (size_t i = 0; i < n; ++i)
            block[i] = uint8_t(std::min(255, rgb[at + i] * 2));
        if (!write_all(s, block, n)) return false;
    }
    return true;
}

} // namespace

DataStream* open_track_file(const char* folder, const char* name, bool required) {
    std::string path = std::string(folder) + "/" + name;
    DataStream* s = stream_open(path.c_str(), "rb");
    if (!s && required) add_messagef("Can't open '%.950s'", path.c_str());
    return s;
}

int load_terrain(Terrain& t, const char* folder, int method) {
    (void)method; // Seam: the terrain renderer chooses its data by this method.
    free_terrain(t);
    show_progress_and_log("Loading terrain");
    show_progress_and_log("Loading heights");
    bool ok = load_heights(t, folder);
    if (ok) {
        show_progress_and_log("Loading shading");
        ok = load_shading(t, folder);
    }
    if (ok) {
        show_progress_and_log("Loading shadows");
        ok = load_shadows(t, folder);
    }
    if (ok) {
        show_progress_and_log("Loading tileinfo");
        ok = load_tile_types(t, folder);
    }
    if (ok) {
        show_progress_and_log("Loading tilemap");
        ok = load_tile_map(t, folder);
    }
    // Seam: the terrain renderer builds its normals and level-of-detail textures here, and the decals
    // are read, each failing the load like the files above.
    if (!ok) {
        free_terrain(t);
        return 0;
    }
    t.folder = folder;
    return 1;
}

void free_terrain(Terrain& t) {
    // Seam: the renderer's textures and the decal list are released here by their owners.
    t = Terrain{};
}

int save_terrain(Terrain& t) {
    int side = t.samples_per_side;
    size_t count = size_t(side) * side;
    if (t.heights.size() != count || count == 0 || t.folder.empty()) {
        add_message("No terrain to save");
        return 0;
    }
    // The bounds become the exact extremes of the samples.
    float low = t.heights[0], high = t.heights[0];
    for (float h : t.heights) {
        low = std::min(low, h);
        high = std::max(high, h);
    }
    t.min_height = low;
    t.max_height = high;
    double range = double(high) - double(low);
    std::vector<uint16_t> samples(count, 0);
    if (range > 0) // a flat terrain stores every sample as 0
        for (size_t i = 0; i < count; ++i) {
            double v = (double(t.heights[i]) - low) / range * 65535.0 + 0.5;
            samples[i] = uint16_t(std::clamp(v, 0.0, 65535.0));
        }
    std::vector<uint8_t> neutral;
    const uint8_t* shading = t.shading.data();
    if (t.shading.size() != count * 3) {
        neutral.assign(count * 3, 128);
        shading = neutral.data();
    }
    size_t tiles = size_t(t.tiles_per_side) * t.tiles_per_side;
    std::vector<uint8_t> tile_map = t.tile_map;
    tile_map.resize(tiles, 0);

    SaveFile files[] = {
        {"terrain.hf", {}}, {"terrain.png", {}}, {"shading.ppm", {}}, {"shadingx2.ppm", {}}, {"tilemap", {}}};
    // Seam: the decals are written as a sixth file here when there are any.
    bool ok = true;
    for (SaveFile& f : files) {
        f.temp = t.folder + "/" + f.name + ".tmp";
        DataStream* s = stream_open(f.temp.c_str(), "wb");
        if (!s) {
            add_messagef("Can't open '%s'", f.name);
            ok = false;
            break;
        }
        f.written = true;
        bool done = false;
        if (!strcmp(f.name, "terrain.hf"))
            done = stream_printf(s, "%d %f %f %f\n", t.size_log2, double(t.cell_size), double(t.min_height),
                                 double(t.max_height)) > 0;
        else if (!strcmp(f.name, "terrain.png"))
            done = write_png_grey16(s, samples.data(), side, side);
        else if (!strcmp(f.name, "shading.ppm"))
            done = write_ppm(s, shading, side, true);
        else if (!strcmp(f.name, "shadingx2.ppm"))
            done = write_ppm(s, shading, side, false);
        else
            done = write_all(s, tile_map.data(), tiles);
        done = stream_flush(s) == 0 && done;
        stream_close(s);
        if (!done) {
            add_messagef("Can't write '%s'", f.name);
            ok = false;
            break;
        }
    }
    if (ok) {
        for (SaveFile& f : files) {
            std::string final_name = t.folder + "/" + f.name;
            if (!stream_rename(f.temp.c_str(), final_name.c_str())) {
                add_messagef("Can't replace '%s'", f.name);
                ok = false;
                break;
            }
            f.written = false;
        }
    }
    for (SaveFile& f : files)
        if (f.written) {
            std::string path = written_path(f.temp);
            if (!path.empty()) remove(path.c_str());
        }
    return ok ? 1 : 0;
}

// ---- Queries

float terrain_height_at(const Terrain& t, float x, float z) {
    if (t.heights.empty()) return 0.0f;
    TrianglePick p = pick_triangle(t, x, z);
    float h0 = terrain_sample(t, p.x0, p.z0);
    float h1 = terrain_sample(t, p.x1, p.z0);
    float h2 = terrain_sample(t, p.x0, p.z1);
    return h0 + p.u * (h1 - h0) + p.v * (h2 - h0);
}

void terrain_cell_triangles(const Terrain& t, int i, int j, TerrainTriangle out[2]) {
    if (t.heights.empty()) {
        out[0] = out[1] = TerrainTriangle{};
        return;
    }
    // Each corner read once: the contact scans call this for every cell under every wheel.
    TerrainVec p00 = point_at(t, i, j), p01 = point_at(t, i, j + 1);
    TerrainVec p10 = point_at(t, i + 1, j), p11 = point_at(t, i + 1, j + 1);
    if (((i + j) & 1) == 0) {
        out[0] = TerrainTriangle{{p00, p01, p11}};
        out[1] = TerrainTriangle{{p11, p10, p00}};
    } else {
        out[0] = TerrainTriangle{{p00, p01, p10}};
        out[1] = TerrainTriangle{{p11, p10, p01}};
    }
}

TerrainVec terrain_vertex_normal(const Terrain& t, int col, int row) {
    static const int offsets[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
    if (t.heights.empty()) return TerrainVec{0, 1, 0};
    TerrainVec centre = point_at(t, col, row);
    TerrainVec around[8];
    for (int k = 0; k < 8; ++k)
        around[k] = point_at(t, col + offsets[k][0], row + offsets[k][1]);
    TerrainVec sum{0, 0, 0};
    for (int k = 0; k < 8; ++k) {
        TerrainVec a = sub(around[k], centre);
        TerrainVec b = sub(around[(k + 1) & 7], centre);
        TerrainVec n = normalised(cross(b, a));
        sum = TerrainVec{sum.x + n.x, sum.y + n.y, sum.z + n.z};
    }
    return normalised(sum);
}

TerrainVec terrain_triangle_normal(const Terrain& t, float x, float z) {
    float cs = t.cell_size;
    if (t.heights.empty()) return TerrainVec{0, cs * cs, 0};
    TrianglePick p = pick_triangle(t, x, z);
    float h0 = terrain_sample(t, p.x0, p.z0);
    float h1 = terrain_sample(t, p.x1, p.z0);
    float h2 = terrain_sample(t, p.x0, p.z1);
    // The legs run one cell along +x or -x and along +z or -z.
    float sx = float(p.x1 - p.x0), sz = float(p.z1 - p.z0);
    return TerrainVec{-cs * (h1 - h0) * sx, cs * cs, -cs * (h2 - h0) * sz};
}

int terrain_tile_at(const Terrain& t, float x, float z) {
    if (t.tile_map.empty()) return 0;
    float last = float(t.tiles_per_side - 1);
    float fc = x / t.tile_size, fr = z / t.tile_size;
    fc = fc > 0.0f ? (fc < last ? fc : last) : 0.0f;
    fr = fr > 0.0f ? (fr < last ? fr : last) : 0.0f;
    return t.tile_map[size_t(int(fr)) * t.tiles_per_side + size_t(int(fc))];
}

float terrain_ground_level(const Terrain& t, float x, float z, float radius) {
    if (t.heights.empty()) return 0.0f;
    double cs = t.cell_size, r = radius;
    // The box is kept within a grid's width of the edges so that absurd radii or positions cannot
    // make the loop run away; samples further out repeat the edge.
    double lo = -double(t.samples_per_side), hi = 2.0 * t.samples_per_side;
    auto hold = [lo, hi](double v) { return v > lo ? (v < hi ? v : hi) : lo; };
    int c0 = int(hold(std::floor((x - r) / cs))), c1 = int(hold(std::ceil((x + r) / cs)));
    int r0 = int(hold(std::floor((z - r) / cs))), r1 = int(hold(std::ceil((z + r) / cs)));
    double outer = r + cs;
    double total = 0, weighted = 0;
    for (int w = r0; w <= r1; ++w) {
        for (int c = c0; c <= c1; ++c) {
            double dx = c * cs - x, dz = w * cs - z;
            double d2 = dx * dx + dz * dz;
            double weight = 0;
            if (d2 < r * r)
                weight = 1;
            else if (d2 < outer * outer)
                weight = (outer - std::sqrt(d2)) / cs;
            total += weight;
            weighted += weight * terrain_sample(t, c, w);
        }
    }
    if (!(total > 0)) return terrain_sample(t, c0, r0);
    return float(weighted / total);
}

void terrain_generate(Terrain& t, int size_log2, float cell_size, const std::function<double(double, double)>& height) {
    t = Terrain{};
    t.size_log2 = size_log2;
    t.tiles_per_side = 1 << size_log2;
    t.samples_per_side = 2 * t.tiles_per_side + 1;
    t.cell_size = cell_size;
    t.tile_size = 2 * cell_size;
    t.extent = 2.0f * static_cast<float>(t.tiles_per_side) * cell_size;
    int side = t.samples_per_side;
    t.heights.resize(static_cast<size_t>(side) * static_cast<size_t>(side));
    for (int row = 0; row < side; ++row)
        for (int col = 0; col < side; ++col)
            t.heights[static_cast<size_t>(row) * static_cast<size_t>(side) + static_cast<size_t>(col)] =
                static_cast<float>(height(col * static_cast<double>(cell_size), row * static_cast<double>(cell_size)));
    t.min_height = t.max_height = t.heights[0];
    for (float h : t.heights) {
        t.min_height = std::min(t.min_height, h);
        t.max_height = std::max(t.max_height, h);
    }
    t.tile_map.assign(static_cast<size_t>(t.tiles_per_side) * static_cast<size_t>(t.tiles_per_side), 0);
    t.tiles.push_back(tile_type_defaults());
    t.tile_count = 1;
}
