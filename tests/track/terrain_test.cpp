#include "track/terrain.h"

#include "core/command_line.h"
#include "core/messages.h"
#include "data/search_paths.h"
#include "data/sha1.h"
#include "data/stream.h"
#include "platform/log.h"
#include "render/image.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// A hand-made grid: heights from a function of (col, row), one tile type, tile map of zeros.
Terrain make_grid(int size_log2, float cell_size, const std::function<float(int, int)>& height) {
    Terrain t;
    t.size_log2 = size_log2;
    t.tiles_per_side = 1 << size_log2;
    t.samples_per_side = 2 * t.tiles_per_side + 1;
    t.cell_size = cell_size;
    t.tile_size = 2 * cell_size;
    t.extent = 2.0f * t.tiles_per_side * cell_size;
    int side = t.samples_per_side;
    t.heights.resize(size_t(side) * side);
    for (int row = 0; row < side; ++row)
        for (int col = 0; col < side; ++col)
            t.heights[size_t(row) * side + col] = height(col, row);
    t.tile_map.assign(size_t(t.tiles_per_side) * t.tiles_per_side, 0);
    t.tile_count = 1;
    t.tiles.push_back(tile_type_defaults());
    return t;
}

float bumpy(int col, int row) {
    return float((col * 7 + row * 13) % 11) * 0.5f - float(col % 3);
}

TEST(TerrainQueries, CellDiagonalFollowsTheChessboard) {
    // Corners (i, j) and (i+1, j+1) at 1, the other two at 0: the centre lies on the diagonal's
    // ridge (1) when i + j is even and in its valley (0) when odd.
    struct Cell {
        int i, j;
        float centre;
    } cells[] = {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}, {2, 3, 0}, {3, 3, 1}};
    for (const Cell& c : cells) {
        SCOPED_TRACE(testing::Message() << "cell " << c.i << "," << c.j);
        Terrain t = make_grid(1, 2.0f, [&](int col, int row) {
            return float((col == c.i && row == c.j) || (col == c.i + 1 && row == c.j + 1));
        });
        EXPECT_FLOAT_EQ(terrain_height_at(t, (c.i + 0.5f) * 2.0f, (c.j + 0.5f) * 2.0f), c.centre);
    }
}

TEST(TerrainQueries, SamplesEdgesAndDiagonalsInterpolateExactly) {
    Terrain t = make_grid(2, 0.5f, bumpy);
    float cs = t.cell_size;
    for (int j = 0; j < t.samples_per_side - 1; ++j) {
        for (int i = 0; i < t.samples_per_side - 1; ++i) {
            SCOPED_TRACE(testing::Message() << "cell " << i << "," << j);
            float x = i * cs, z = j * cs;
            EXPECT_FLOAT_EQ(terrain_height_at(t, x, z), terrain_sample(t, i, j));
            // Along the cell's lower edge and left edge.
            EXPECT_NEAR(terrain_height_at(t, x + 0.25f * cs, z),
                        0.75f * terrain_sample(t, i, j) + 0.25f * terrain_sample(t, i + 1, j), 1e-5);
            EXPECT_NEAR(terrain_height_at(t, x, z + 0.75f * cs),
                        0.25f * terrain_sample(t, i, j) + 0.75f * terrain_sample(t, i, j + 1), 1e-5);
            // On the diagonal, u + v = 1: halfway between the diagonal's two samples.
            bool even = (i + j) % 2 == 0;
            float a = even ? terrain_sample(t, i, j) : terrain_sample(t, i + 1, j);
            float b = even ? terrain_sample(t, i + 1, j + 1) : terrain_sample(t, i, j + 1);
            EXPECT_NEAR(terrain_height_at(t, x + 0.5f * cs, z + 0.5f * cs), 0.5f * (a + b), 1e-5);
            // Each triangle of the cell holds a plane through its samples that agrees with the height
            // query at its centroid, and faces upwards.
            TerrainTriangle tri[2];
            terrain_cell_triangles(t, i, j, tri);
            for (const TerrainTriangle& k : tri) {
                float ax = k.p[1].x - k.p[0].x, ay = k.p[1].y - k.p[0].y, az = k.p[1].z - k.p[0].z;
                float bx = k.p[2].x - k.p[0].x, by = k.p[2].y - k.p[0].y, bz = k.p[2].z - k.p[0].z;
                (void)ay;
                (void)by;
                EXPECT_GT(az * bx - ax * bz, 0.0f);
                float cx = (k.p[0].x + k.p[1].x + k.p[2].x) / 3, cz = (k.p[0].z + k.p[1].z + k.p[2].z) / 3;
                float cy = (k.p[0].y + k.p[1].y + k.p[2].y) / 3;
                EXPECT_NEAR(terrain_height_at(t, cx, cz), cy, 1e-5);
                for (const TerrainVec& p : k.p)
                    EXPECT_EQ(p.y, terrain_sample(t, int(std::lround(p.x / cs)), int(std::lround(p.z / cs))));
            }
        }
    }
}

TEST(TerrainQueries, BeyondTheEdgesTheEdgeIsExtruded) {
    Terrain t = make_grid(1, 1.0f, bumpy);
    float e = t.extent;
    for (float z : {0.0f, 0.3f, 1.5f, 2.75f, 4.0f}) {
        SCOPED_TRACE(z);
        EXPECT_FLOAT_EQ(terrain_height_at(t, -5.0f, z), terrain_height_at(t, 0.0f, z));
        EXPECT_FLOAT_EQ(terrain_height_at(t, -1e30f, z), terrain_height_at(t, 0.0f, z));
        EXPECT_FLOAT_EQ(terrain_height_at(t, e + 7.5f, z), terrain_height_at(t, e, z));
        EXPECT_FLOAT_EQ(terrain_height_at(t, z, -2.0f), terrain_height_at(t, z, 0.0f));
        EXPECT_FLOAT_EQ(terrain_height_at(t, z, e + 100.0f), terrain_height_at(t, z, e));
        TerrainVec n = terrain_triangle_normal(t, -3.0f, z);
        EXPECT_EQ(n.x, 0.0f) << "no slope along x outside the grid";
    }
    EXPECT_FLOAT_EQ(terrain_height_at(t, -3.0f, -3.0f), terrain_sample(t, 0, 0));
    EXPECT_FLOAT_EQ(terrain_height_at(t, e + 3, e + 3), terrain_sample(t, 4, 4));
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 3e38f};
    for (float v : odd) {
        EXPECT_TRUE(std::isfinite(terrain_height_at(t, v, 1.0f)));
        EXPECT_TRUE(std::isfinite(terrain_height_at(t, 1.0f, v)));
        EXPECT_TRUE(std::isfinite(terrain_triangle_normal(t, v, v).y));
        EXPECT_LT(terrain_tile_at(t, v, v), t.tile_count);
        EXPECT_TRUE(std::isfinite(terrain_ground_level(t, v, 1.0f, 2.0f)));
    }
}

TEST(TerrainQueries, NormalsOnFlatGroundAndOnSlopes) {
    Terrain flat = make_grid(1, 3.0f, [](int, int) { return 4.5f; });
    for (int row : {0, 2, 4})
        for (int col : {0, 1, 4}) {
            TerrainVec n = terrain_vertex_normal(flat, col, row);
            EXPECT_EQ(n.x, 0.0f);
            EXPECT_EQ(n.y, 1.0f);
            EXPECT_EQ(n.z, 0.0f);
        }
    const float k = 0.25f, cs = 2.0f;
    Terrain along_x = make_grid(2, cs, [&](int col, int) { return k * col * cs; });
    Terrain along_z = make_grid(2, cs, [&](int, int row) { return -k * row * cs; });
    for (float z = 0.1f; z < along_x.extent; z += 0.7f)
        for (float x = 0.1f; x < along_x.extent; x += 0.9f) {
            TerrainVec n = terrain_triangle_normal(along_x, x, z);
            EXPECT_NEAR(n.x, -k * cs * cs, 1e-5);
            EXPECT_FLOAT_EQ(n.y, cs * cs);
            EXPECT_NEAR(n.z, 0.0f, 1e-5);
            TerrainVec m = terrain_triangle_normal(along_z, x, z);
            EXPECT_NEAR(m.x, 0.0f, 1e-5);
            EXPECT_NEAR(m.z, k * cs * cs, 1e-5);
        }
    TerrainVec v = terrain_vertex_normal(along_x, 3, 3);
    float length = std::sqrt(1 + k * k);
    EXPECT_NEAR(v.x, -k / length, 1e-6);
    EXPECT_NEAR(v.y, 1 / length, 1e-6);
    EXPECT_NEAR(v.z, 0.0f, 1e-6);
}

TEST(TerrainQueries, TileUnderAPoint) {
    Terrain t = make_grid(1, 1.0f, bumpy); // two tiles per side, each 2 wide
    t.tile_map = {0, 1, 2, 3};
    t.tile_count = 4;
    struct Probe {
        float x, z;
        int tile;
    } probes[] = {{0.5f, 0.5f, 0},  {2.0f, 0.0f, 1},  {3.9f, 1.9f, 1},     {0.0f, 2.0f, 2}, {3.0f, 3.0f, 3},
                  {-5.0f, 3.0f, 2}, {9.0f, -1.0f, 1}, {100.0f, 100.0f, 3}, {4.0f, 4.0f, 3}};
    for (const Probe& p : probes)
        EXPECT_EQ(terrain_tile_at(t, p.x, p.z), p.tile) << p.x << "," << p.z;
}

TEST(TerrainQueries, GroundLevelAveragesNearbySamples) {
    Terrain flat = make_grid(2, 1.0f, [](int, int) { return 2.0f; });
    EXPECT_FLOAT_EQ(terrain_ground_level(flat, 3.3f, 4.1f, 1.5f), 2.0f);
    EXPECT_FLOAT_EQ(terrain_ground_level(flat, -20.0f, 4.1f, 1.5f), 2.0f);
    // A single raised sample weighs less the further it lies, and nothing beyond radius + one cell.
    Terrain spike = make_grid(2, 1.0f, [](int col, int row) { return col == 4 && row == 4 ? 9.0f : 0.0f; });
    float at = terrain_ground_level(spike, 4.0f, 4.0f, 1.0f);
    float fading = terrain_ground_level(spike, 5.6f, 4.0f, 1.0f);
    EXPECT_LT(at, 9.0f);
    EXPECT_GT(at, fading);
    EXPECT_GT(fading, 0.0f);
    EXPECT_FLOAT_EQ(terrain_ground_level(spike, 6.1f, 4.0f, 1.0f), 0.0f);
    // An empty box falls back to the sample at its corner.
    EXPECT_FLOAT_EQ(terrain_ground_level(spike, 4.0f, 4.0f, -5.0f), terrain_sample(spike, 9, 9));
}

TEST(TerrainQueries, SmallestGridHasOneTile) {
    Terrain t = make_grid(0, 1.0f, [](int col, int row) { return float(col + 3 * row); });
    EXPECT_EQ(t.samples_per_side, 3);
    EXPECT_EQ(t.tile_map.size(), 1u);
    EXPECT_FLOAT_EQ(terrain_height_at(t, 1.0f, 1.0f), 4.0f);
    EXPECT_FLOAT_EQ(terrain_height_at(t, 2.0f, 2.0f), 8.0f);
    EXPECT_EQ(terrain_tile_at(t, 1.5f, 0.2f), 0);
}

// ---- Loading from track folders

std::string u16(int v) {
    return std::string{char(v & 255), char(v >> 8)};
}

struct TrackFiles {
    std::string hf, shading, shading2, shadows, tileinfo, texturelist, tilemap;
    bool has_shading = true, has_shading2 = false, has_shadows = false, has_tileinfo = false,
         has_texturelist = true, has_tilemap = true;
};

// size_log2 0: a 3 x 3 grid with samples 0, 1000, ..., 8000 between heights 10 and 20.
TrackFiles small_track() {
    TrackFiles f;
    f.hf = "0 2.5 10 20\n:";
    for (int i = 0; i < 9; ++i)
        f.hf += u16(i == 8 ? 65535 : i * 1000);
    f.shading = "P6 3 3 255\n" + std::string(27, char(200));
    f.texturelist = "grass.png\n0.5 4 12 dirt.png\n";
    f.tilemap = std::string(1, char(7));
    return f;
}

void write_track(const std::string& folder, const TrackFiles& f) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    write_file(folder + "/terrain.hf", f.hf);
    if (f.has_shading) write_file(folder + "/shading.ppm", f.shading);
    if (f.has_shading2) write_file(folder + "/shadingx2.ppm", f.shading2);
    if (f.has_shadows) write_file(folder + "/shadows.pgm", f.shadows);
    if (f.has_tileinfo) write_file(folder + "/tileinfo", f.tileinfo);
    if (f.has_texturelist) write_file(folder + "/texturelist", f.texturelist);
    if (f.has_tilemap) write_file(folder + "/tilemap", f.tilemap);
}

bool newest_messages_contain(const std::string& text) {
    for (int i = 0; i < 8; ++i)
        if (text == message_line(i)) return true;
    return false;
}

TEST(TerrainLoad, SmallTrackLoadsEveryPart) {
    TestHome home;
    write_track(home.data_root() + "tracks/small", small_track());
    Terrain t;
    ASSERT_EQ(load_terrain(t, "@tracks/small", 0), 1);
    EXPECT_EQ(t.samples_per_side, 3);
    EXPECT_EQ(t.tiles_per_side, 1);
    EXPECT_FLOAT_EQ(t.cell_size, 2.5f);
    EXPECT_FLOAT_EQ(t.tile_size, 5.0f);
    EXPECT_FLOAT_EQ(t.extent, 5.0f);
    EXPECT_FLOAT_EQ(t.heights[0], 10.0f);
    EXPECT_FLOAT_EQ(t.heights[4], 10.0f + 4000 * 10.0f / 65535);
    EXPECT_FLOAT_EQ(t.heights[8], 20.0f);
    EXPECT_EQ(t.shading, std::vector<uint8_t>(27, 100)); // shading.ppm is halved
    EXPECT_EQ(t.shadow, std::vector<uint8_t>(9, 0));
    EXPECT_EQ(t.tile_count, 2);
    EXPECT_EQ(t.tile_map, std::vector<uint8_t>{1}); // 7 lowered to the last type
    EXPECT_EQ(t.folder, "@tracks/small");
}

TEST(TerrainLoad, OptionalImagesAndHeightPng) {
    TestHome home;
    std::string folder = home.data_root() + "tracks/small";
    TrackFiles f = small_track();
    f.hf = "0 1 -4 6 ";
    f.has_shading = false;
    f.has_shading2 = true;
    f.shading2 = "P6 3 3 255\n" + std::string(27, char(250));
    f.has_shadows = true;
    f.shadows = "P5 3 3 255\n" + std::string(9, char(55));
    write_track(folder, f);
    // A 2 x 1 eight-bit height image: its last column and row repeat, 255 is the top bound.
    const uint8_t narrow[6] = {0, 0, 0, 255, 255, 255};
    ASSERT_TRUE(write_png_rgb((folder + "/terrain.png").c_str(), narrow, 2, 1));
    Terrain t;
    ASSERT_EQ(load_terrain(t, "@tracks/small", 0), 1);
    EXPECT_EQ(t.heights, (std::vector<float>{-4, 6, 6, -4, 6, 6, -4, 6, 6}));
    EXPECT_EQ(t.shading, std::vector<uint8_t>(27, 250)); // shadingx2.ppm is kept as it is
    EXPECT_EQ(t.shadow, std::vector<uint8_t>(9, 200));

    // Without a usable terrain.png the ground is flat at the lowest height.
    write_file(folder + "/terrain.png", "not a png");
    ASSERT_EQ(load_terrain(t, "@tracks/small", 0), 1);
    EXPECT_EQ(t.heights, std::vector<float>(9, -4.0f));
}

TEST(TerrainLoad, BadFilesFailWithTheirMessage) {
    struct BadCase {
        const char* label;
        std::function<void(TrackFiles&)> spoil;
        const char* message;
    } cases[] = {
        {"terrain.hf missing", [](TrackFiles& f) { f.hf = ""; }, "Error reading heights"},
        {"three header values", [](TrackFiles& f) { f.hf = "0 1 2"; }, "Error reading heights"},
        {"cell size zero", [](TrackFiles& f) { f.hf.replace(2, 3, "0.0"); }, "Bad height field parameters"},
        {"cell size negative", [](TrackFiles& f) { f.hf.replace(2, 3, "-.5"); },
         "Bad height field parameters"},
        {"cell size not a number", [](TrackFiles& f) { f.hf.replace(2, 3, "nan"); },
         "Bad height field parameters"},
        {"grid too large", [](TrackFiles& f) { f.hf = "13 1 0 1:"; }, "Bad height field parameters"},
        {"grid size negative", [](TrackFiles& f) { f.hf = "-1 1 0 1:"; }, "Bad height field parameters"},
        {"heights block cut short", [](TrackFiles& f) { f.hf.resize(f.hf.size() - 3); },
         "Error reading heights"},
        {"no shading", [](TrackFiles& f) { f.has_shading = false; },
         "Can't open '@tracks/small/shading.ppm'"},
        {"shading of wrong size", [](TrackFiles& f) { f.shading = "P6 2 3 255\n" + std::string(18, 'a'); },
         "Bad shading dimensions (2x3)"},
        {"shading not an image", [](TrackFiles& f) { f.shading = "P5 3 3 255\n" + std::string(9, 'a'); },
         "Error reading shading"},
        {"shading cut short", [](TrackFiles& f) { f.shading.resize(20); }, "Error reading shading"},
        {"shadows of wrong size",
         [](TrackFiles& f) {
             f.has_shadows = true;
             f.shadows = "P5 4 4 255\n" + std::string(16, 'a');
         },
         "Bad shadow dimensions (4x4)\n"},
        {"shadows unreadable",
         [](TrackFiles& f) {
             f.has_shadows = true;
             f.shadows = "P5 3 3 0\n" + std::string(9, 'a');
         },
         "Error reading shadows"},
        {"no tile list", [](TrackFiles& f) { f.has_texturelist = false; },
         "Can't open '@tracks/small/texturelist'"},
        {"empty tile list", [](TrackFiles& f) { f.texturelist = "\n\n"; },
         "No tile types in '@tracks/small/texturelist'"},
        {"tileinfo without addtile",
         [](TrackFiles& f) {
             f.has_tileinfo = true;
             f.tileinfo = "texture grass.png\n";
         },
         "No tile types in '@tracks/small/tileinfo'"},
        {"no tilemap", [](TrackFiles& f) { f.has_tilemap = false; }, "Can't open '@tracks/small/tilemap'"},
    };
    TestHome home;
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.label);
        TrackFiles f = small_track();
        c.spoil(f);
        write_track(home.data_root() + "tracks/small", f);
        if (f.hf.empty()) std::filesystem::remove(home.data_root() + "tracks/small/terrain.hf");
        messages_clear();
        Terrain t;
        t.heights.assign(4, 1.0f); // anything left over is released
        EXPECT_EQ(load_terrain(t, "@tracks/small", 0), 0);
        EXPECT_TRUE(t.heights.empty());
        EXPECT_TRUE(t.tiles.empty());
        EXPECT_TRUE(t.tile_map.empty());
        if (std::string(c.label) == "terrain.hf missing")
            EXPECT_STREQ(message_line(0), "Can't open '@tracks/small/terrain.hf'");
        else
            EXPECT_TRUE(newest_messages_contain(c.message)) << "newest: " << message_line(0);
    }
}

TEST(TerrainLoad, ShortTilemapLeavesTypeZero) {
    TestHome home;
    TrackFiles f = small_track();
    f.hf = "1 1 0 1 ";
    f.shading = "P6 5 5 255\n" + std::string(75, char(1));
    f.tilemap = std::string{char(1), char(1)};
    write_track(home.data_root() + "tracks/small", f);
    Terrain t;
    ASSERT_EQ(load_terrain(t, "@tracks/small", 0), 1);
    EXPECT_EQ(t.tile_map, (std::vector<uint8_t>{1, 1, 0, 0}));
}

TEST(TerrainLoad, DamagedTrackFilesNeverLoadInconsistently) {
    TestHome home;
    std::string folder = home.data_root() + "tracks/small";
    TrackFiles base = small_track();
    base.hf = "1 1.5 -2 8\n:";
    for (int i = 0; i < 25; ++i)
        base.hf += u16(i * 2500);
    base.shading = "P6 5 5 255\n" + std::string(75, char(90));
    base.has_shadows = true;
    base.shadows = "P5\n5 5\n255\n" + std::string(25, char(30));
    base.has_tileinfo = true;
    base.tileinfo =
        "texture a.png\nfriction 0.5 2\nroost count=3 r=9\naddtile\ntexture a-alt1.png\naddtile\n";
    base.tilemap = std::string{char(0), char(1), char(2), char(1)};
    std::string TrackFiles::*files[] = {&TrackFiles::hf, &TrackFiles::shading, &TrackFiles::shadows,
                                        &TrackFiles::tileinfo, &TrackFiles::tilemap};
    std::mt19937 random(11);
    for (auto file : files) {
        for (int round = 0; round < 40; ++round) {
            TrackFiles damaged = base;
            std::string& bytes = damaged.*file;
            int flips = 1 + int(random() % 3);
            for (int k = 0; k < flips; ++k)
                bytes[random() % bytes.size()] = char(random());
            if (random() % 4 == 0) bytes.resize(random() % bytes.size());
            write_track(folder, damaged);
            Terrain t;
            if (!load_terrain(t, "@tracks/small", 0)) {
                EXPECT_TRUE(t.heights.empty());
                continue;
            }
            size_t samples = size_t(t.samples_per_side) * t.samples_per_side;
            ASSERT_EQ(t.heights.size(), samples);
            ASSERT_EQ(t.shading.size(), samples * 3);
            ASSERT_EQ(t.shadow.size(), samples);
            ASSERT_GT(t.tile_count, 0);
            ASSERT_EQ(t.tile_map.size(), size_t(t.tiles_per_side) * t.tiles_per_side);
            for (uint8_t tile : t.tile_map)
                ASSERT_LT(tile, t.tile_count);
            ASSERT_GT(t.cell_size, 0.0f);
            ASSERT_TRUE(std::isfinite(terrain_height_at(t, 1.0f, 1.0f)));
        }
    }
}

TEST(TerrainLoad, MostDetailedLogCarriesTheHeightFingerprint) {
    TestHome home;
    TempFolder logs;
    ScopedEnv log_file("VORL_LOGFILE", (logs / "log.txt").c_str());
    log_reset();
    std::string folder = home.data_root() + "tracks/small";
    TrackFiles f = small_track();
    write_track(folder, f);
    char block_digest[41];
    sha1_of(f.hf.data() + f.hf.find(':') + 1, 18, block_digest);
    // The same samples from terrain.png give the same fingerprint.
    write_track(home.data_root() + "tracks/png", small_track());
    write_file(home.data_root() + "tracks/png/terrain.hf", "0 2.5 10 20\n");
    std::vector<uint16_t> samples = {0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 65535};
    DataStream* s = stream_open((home.data_root() + "tracks/png/terrain.png").c_str(), "wb");
    ASSERT_TRUE(write_png_grey16(s, samples.data(), 3, 3));
    stream_close(s);
    int debug = g_launch.debug;
    g_launch.debug = 2;
    Terrain t;
    EXPECT_EQ(load_terrain(t, "@tracks/small", 0), 1);
    EXPECT_EQ(load_terrain(t, "@tracks/png", 0), 1);
    g_launch.debug = debug;
    std::string log = read_file(logs / "log.txt");
    size_t first = log.find(std::string(block_digest) + "\n");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(std::string(block_digest) + "\n", first + 1), std::string::npos) << log;
    log_reset();
}

// ---- Saving

TEST(TerrainSave, RoundTripThroughTheHomeFolder) {
    TestHome home;
    TrackFiles f = small_track();
    write_track(home.data_root() + "tracks/small", f);
    Terrain t;
    ASSERT_EQ(load_terrain(t, "@tracks/small", 0), 1);
    t.heights = {12.0f, 11.5f, 13.25f, 17.0f, 12.0f, 14.0f, 15.5f, 16.0f, 11.0f};
    t.shading[0] = 200;
    t.tile_map[0] = 0;
    ASSERT_EQ(save_terrain(t), 1);
    EXPECT_FLOAT_EQ(t.min_height, 11.0f);
    EXPECT_FLOAT_EQ(t.max_height, 17.0f);
    std::string saved = home.home_root() + "tracks/small/";
    EXPECT_EQ(read_file(saved + "terrain.hf"), "0 2.500000 11.000000 17.000000\n");
    std::string shading = read_file(saved + "shading.ppm");
    EXPECT_EQ(shading.substr(0, 11), "P6\n3 3\n255\n");
    EXPECT_EQ(uint8_t(shading[11]), 255); // 200 doubled, limited
    EXPECT_EQ(uint8_t(shading[12]), 200); // 100 doubled
    EXPECT_EQ(uint8_t(read_file(saved + "shadingx2.ppm")[11]), 200);
    EXPECT_FALSE(file_exists(saved + "terrain.hf.tmp"));

    std::vector<float> before = t.heights;
    Terrain back;
    ASSERT_EQ(load_terrain(back, "@tracks/small", 0), 1);
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_NEAR(back.heights[i], before[i], 6.0 / 131070);
    EXPECT_EQ(back.shading, t.shading);
    EXPECT_EQ(back.tile_map, t.tile_map);
}

TEST(TerrainSave, FlatTerrainSavesAndReloads) {
    TestHome home;
    write_track(home.data_root() + "tracks/small", small_track());
    Terrain t;
    ASSERT_EQ(load_terrain(t, "@tracks/small", 0), 1);
    t.heights.assign(9, 3.5f);
    ASSERT_EQ(save_terrain(t), 1);
    std::vector<uint16_t> samples;
    int w = 0, h = 0;
    ASSERT_TRUE(read_png_grey16((home.home_root() + "tracks/small/terrain.png").c_str(), samples, w, h));
    EXPECT_EQ(samples, std::vector<uint16_t>(9, 0));
    Terrain back;
    ASSERT_EQ(load_terrain(back, "@tracks/small", 0), 1);
    EXPECT_EQ(back.heights, std::vector<float>(9, 3.5f));
}

TEST(TerrainSave, FailureKeepsThePreviousFiles) {
    TestHome home;
    write_track(home.data_root() + "tracks/small", small_track());
    Terrain t;
    ASSERT_EQ(load_terrain(t, "@tracks/small", 0), 1);
    ASSERT_EQ(save_terrain(t), 1);
    std::string saved = home.home_root() + "tracks/small/";
    std::string hf = read_file(saved + "terrain.hf"), png = read_file(saved + "terrain.png");
    // The shading cannot be written: a folder stands where its temporary file would go.
    std::filesystem::create_directories(saved + "shading.ppm.tmp");
    std::filesystem::create_directories(home.data_root() + "tracks/small/shading.ppm.tmp");
    t.heights.assign(9, 100.0f);
    t.heights[0] = -100.0f;
    messages_clear();
    EXPECT_EQ(save_terrain(t), 0);
    EXPECT_STREQ(message_line(0), "Can't open 'shading.ppm'");
    EXPECT_EQ(read_file(saved + "terrain.hf"), hf);
    EXPECT_EQ(read_file(saved + "terrain.png"), png);
    EXPECT_FALSE(file_exists(saved + "terrain.hf.tmp"));
    EXPECT_FALSE(file_exists(saved + "terrain.png.tmp"));
    Terrain back;
    ASSERT_EQ(load_terrain(back, "@tracks/small", 0), 1);
    EXPECT_NEAR(back.heights[4], 10.0f + 4000 * 10.0f / 65535, 1e-3);
}

// ---- The shipped tracks

TEST(TerrainShipped, ShippedTracksLoadAndAnswerEverywhere) {
    TestHome home;
    ScopedEnv data("KV_HOME", build_dir().c_str());
    search_paths_reset();
    int loaded = 0;
    for (const char* name : {"tarnwick", "testbed"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(file_exists(build_dir() + "/tracks/" + name + "/tilemap")) << "the build ships it";
        Terrain t;
        messages_clear();
        ASSERT_EQ(load_terrain(t, (std::string("@tracks/") + name).c_str(), 0), 1) << message_line(0);
        ++loaded;
        EXPECT_STREQ(message_line(0), "") << "the shipped tile types read without warnings";
        EXPECT_GT(t.tile_count, 0);
        // The shipped transition tiles are recognised from their names.
        int transitions = 0;
        for (const TileType& k : t.tiles)
            transitions += (k.relation >> 16) != ((k.relation >> 8) & 255);
        EXPECT_GT(transitions, 0);
        float step = t.extent / 97.0f, slack = 1e-3f * (t.max_height - t.min_height) + 1e-4f;
        for (float z = -step; z <= t.extent + step; z += step)
            for (float x = -step; x <= t.extent + step; x += step) {
                float h = terrain_height_at(t, x, z);
                ASSERT_GE(h, t.min_height - slack);
                ASSERT_LE(h, t.max_height + slack);
                ASSERT_LT(terrain_tile_at(t, x, z), t.tile_count);
                TerrainVec n = terrain_triangle_normal(t, x, z);
                ASSERT_GT(n.y, 0.0f);
                ASSERT_TRUE(std::isfinite(n.x) && std::isfinite(n.z));
            }
        for (int row = 0; row < t.samples_per_side; row += 37)
            for (int col = 0; col < t.samples_per_side; col += 41) {
                TerrainVec n = terrain_vertex_normal(t, col, row);
                ASSERT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-4);
                ASSERT_GT(n.y, 0.0f);
            }
        for (int friction_type = 0; friction_type < t.tile_count; ++friction_type)
            EXPECT_GE(tile_friction(t, friction_type, 10.0f), 0.0f);
    }
    search_paths_reset();
    EXPECT_GT(loaded, 0);
}

} // namespace
