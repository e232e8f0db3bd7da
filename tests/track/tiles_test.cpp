#include "track/tiles.h"

#include "core/messages.h"
#include "data/stream.h"
#include "test_support.h"
#include "track/terrain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

// Reads a tile file given as text; returns the message lines it produced, oldest first.
std::vector<std::string> read_tiles(Terrain& t, const std::string& text, bool texturelist = false) {
    TempFolder folder;
    write_file(folder / "tiles", text);
    DataStream* s = stream_open((folder / "tiles").c_str(), "rb");
    EXPECT_TRUE(s);
    messages_clear();
    if (texturelist)
        read_texturelist(t, s);
    else
        read_tileinfo(t, s);
    stream_close(s);
    std::vector<std::string> lines;
    for (int i = k_message_ring_size - 1; i >= 0; --i)
        if (message_line(i)[0]) lines.push_back(message_line(i));
    return lines;
}

struct TileinfoCase {
    const char* label;
    std::string text;
    std::vector<std::string> warnings;
    std::function<void(const Terrain&)> check;
};

TEST(Tileinfo, LinesAndTheirEffects) {
    const TileinfoCase cases[] = {
        {"defaults",
         "addtile\n",
         {},
         [](const Terrain& t) {
             const TileType& k = t.tiles[0];
             EXPECT_EQ(k.friction[0].friction, 1.0f);
             EXPECT_EQ(k.friction[0].speed, 1.0f);
             EXPECT_EQ(k.friction[7].speed, 0.0f);
             EXPECT_EQ(k.roll[3].a, 5.0f);
             EXPECT_EQ(k.roll[3].b, 15.0f);
             EXPECT_EQ(k.erosion.erode_lower, 50.0f);
             EXPECT_EQ(k.erosion.erode_on_speed, 15.0f);
             for (const RoostType& r : k.roost) {
                 EXPECT_EQ(r.kind, RoostNone);
                 EXPECT_EQ(r.count, 10.0f);
                 EXPECT_FLOAT_EQ(r.fast_angle, float(M_PI / 16));
                 EXPECT_EQ(r.fade[3], -2);
             }
             EXPECT_EQ(k.roost_texture_name[2], "@roost.png");
         }},
        {"blank lines, indentation and carriage returns",
         "\r\n   \n\t texture  a b.png\r\n  addtile\r\n",
         {},
         [](const Terrain& t) { EXPECT_EQ(t.tiles[0].texture_name, "a b.png"); }},
        {"friction points are sorted and negative values raised",
         "friction 1.0 4\nfriction -0.5 2\nfriction 0.7 0\naddtile\n",
         {},
         [](const Terrain& t) {
             const FrictionPoint* p = t.tiles[0].friction;
             EXPECT_EQ(p[0].speed, 1.0f / 1048576);
             EXPECT_EQ(p[0].friction, 0.7f);
             EXPECT_EQ(p[1].friction, 0.0f);
             EXPECT_EQ(p[1].speed, 2.0f);
             EXPECT_EQ(p[2].speed, 4.0f);
             EXPECT_EQ(p[3].speed, 0.0f);
         }},
        {"bad friction",
         "friction 0.5\nfriction x y\nfriction nan 1\naddtile\n",
         {"tileinfo warning: bad friction parameters\n", "tileinfo warning: bad friction parameters\n",
          "tileinfo warning: bad friction parameters\n"},
         [](const Terrain& t) { EXPECT_EQ(t.tiles[0].friction[0].friction, 1.0f); }},
        {"a ninth friction point",
         "friction 1 1\nfriction 1 2\nfriction 1 3\nfriction 1 4\nfriction 1 5\nfriction 1 6\nfriction 1 7\n"
         "friction 1 8\nfriction 1 9\naddtile\n",
         {"tileinfo warning: too many friction points\n"},
         [](const Terrain& t) { EXPECT_EQ(t.tiles[0].friction[7].speed, 8.0f); }},
        {"roll points",
         "roll_resist 1 2 3\nroll_resist -1 4\nroll_resist -1 -2 0.5\naddtile\n",
         {"tileinfo warning: bad roll_resist parameters\n"},
         [](const Terrain& t) {
             const RollPoint* p = t.tiles[0].roll;
             EXPECT_EQ(p[0].a, 0.0f);
             EXPECT_EQ(p[0].b, 0.0f);
             EXPECT_EQ(p[0].speed, 0.5f);
             EXPECT_EQ(p[1].speed, 3.0f);
             EXPECT_EQ(p[2].speed, 0.0f);
         }},
        {"roost with quoted texture and splash",
         "roost splash=1 count=5 texture=\"my dust.png\"\naddtile\n",
         {},
         [](const Terrain& t) {
             EXPECT_EQ(t.tiles[0].roost[0].kind, RoostSplash);
             EXPECT_EQ(t.tiles[0].roost[0].count, 5.0f);
             EXPECT_EQ(t.tiles[0].roost_texture_name[0], "my dust.png");
             EXPECT_EQ(t.tiles[0].roost[1].kind, RoostNone);
         }},
        {"roost colours and fades",
         "roost r=10 g=20.9 b=0 a=128 fade_a=-256 fade_r=64\naddtile\n",
         {},
         [](const Terrain& t) {
             const RoostType& r = t.tiles[0].roost[0];
             EXPECT_EQ(r.kind, RoostDust);
             EXPECT_EQ(r.colour[0], 10);
             EXPECT_EQ(r.colour[1], 20);
             EXPECT_EQ(r.colour[3], 128);
             EXPECT_EQ(r.fade[3], -2);
             EXPECT_EQ(r.fade[0], 0);
         }},
        {"roost bytes out of range are held",
         "roost r=300 g=-4 fade_b=100000 fade_g=-20000\naddtile\n",
         {"tileinfo warning: r out of range, using 255\n", "tileinfo warning: g out of range, using 0\n",
          "tileinfo warning: fade_b out of range, using 127\n",
          "tileinfo warning: fade_g out of range, using -128\n"},
         [](const Terrain& t) {
             const RoostType& r = t.tiles[0].roost[0];
             EXPECT_EQ(r.colour[0], 255);
             EXPECT_EQ(r.colour[1], 0);
             EXPECT_EQ(r.fade[2], 127);
             EXPECT_EQ(r.fade[1], -128);
         }},
        {"roost bad and unknown values",
         "roost count=lots dig=2 sparkle=1 alone\naddtile\n",
         {"tileinfo warning: bad count\n", "tileinfo warning: unknown roost parameter 'sparkle=1'\n",
          "tileinfo warning: unknown roost parameter 'alone'\n"},
         [](const Terrain& t) {
             EXPECT_EQ(t.tiles[0].roost[0].count, 0.0f);
             EXPECT_EQ(t.tiles[0].roost[0].dig, 2.0f);
         }},
        {"a fifth roost",
         "roost\nroost\nroost\nroost\nroost count=1\naddtile\n",
         {"tileinfo warning: too many roost types\n"},
         [](const Terrain& t) {
             for (const RoostType& r : t.tiles[0].roost) {
                 EXPECT_EQ(r.kind, RoostDust);
                 EXPECT_EQ(r.count, 10.0f);
             }
         }},
        {"erosion",
         "erode_depth 0.5\nerode_radius x\nerode_max_slope inf\naddtile\n",
         {"tileinfo warning: bad erode_radius\n", "tileinfo warning: bad erode_max_slope\n"},
         [](const Terrain& t) {
             EXPECT_EQ(t.tiles[0].erosion.erode_depth, 0.5f);
             EXPECT_EQ(t.tiles[0].erosion.erode_radius, 4.0f);
             EXPECT_EQ(t.tiles[0].erosion.erode_max_slope, 0.25f);
         }},
        {"unknown keyword",
         "shine 3\naddtile\n",
         {"tileinfo warning: Unknown identifier 'shine'\n"},
         [](const Terrain& t) { EXPECT_EQ(t.tile_count, 1); }},
        {"each addtile starts afresh and an open description is dropped",
         "friction 0.2 1\naddtile\ntexture b.png\naddtile\nfriction 0.9 1\n",
         {},
         [](const Terrain& t) {
             ASSERT_EQ(t.tile_count, 2);
             EXPECT_EQ(t.tiles[0].friction[0].friction, 0.2f);
             EXPECT_EQ(t.tiles[1].friction[0].friction, 1.0f);
             EXPECT_EQ(t.tiles[1].texture_name, "b.png");
         }},
    };
    for (const TileinfoCase& c : cases) {
        SCOPED_TRACE(c.label);
        Terrain t;
        EXPECT_EQ(read_tiles(t, c.text), c.warnings);
        ASSERT_GE(t.tile_count, 1);
        ASSERT_EQ(size_t(t.tile_count), t.tiles.size());
        c.check(t);
    }
}

TEST(Tileinfo, ReadingStopsAt256Types) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "addtile\n";
    Terrain t;
    read_tiles(t, text);
    EXPECT_EQ(t.tile_count, k_max_tile_types);
}

TEST(TileCurves, FrictionAndRollResistanceFollowSpeed) {
    Terrain t;
    read_tiles(t,
               "friction 1.0 4\nfriction 0.5 2\nroll_resist 2 4 10\nroll_resist 6 8 20\naddtile\naddtile\n");
    struct Speed {
        float v, friction, a, b;
    } speeds[] = {
        {0.0f, 0.5f, 2, 4},  {1.0f, 0.5f, 2, 4},  {2.0f, 0.5f, 2, 4},  {3.0f, 0.5f + 5.0f / 12 * 0.5f, 2, 4},
        {10.0f, 1.0f, 2, 4}, {15.0f, 1.0f, 4, 6}, {25.0f, 1.0f, 6, 8},
    };
    for (const Speed& s : speeds) {
        SCOPED_TRACE(s.v);
        EXPECT_NEAR(tile_friction(t, 0, s.v), s.friction, 1e-6);
        float a = 0, b = 0;
        tile_roll_resist(t, 0, s.v, a, b);
        EXPECT_NEAR(a, s.a, 1e-6);
        EXPECT_NEAR(b, s.b, 1e-6);
        // A type without points grips the same at every speed.
        EXPECT_EQ(tile_friction(t, 1, s.v), 1.0f);
        tile_roll_resist(t, 1, s.v, a, b);
        EXPECT_EQ(a, 5.0f);
        EXPECT_EQ(b, 15.0f);
    }
    EXPECT_EQ(tile_friction(t, 0, std::nanf("")), 1.0f);
}

TEST(Texturelist, NumbersAndNames) {
    Terrain t;
    EXPECT_TRUE(read_tiles(t, "0.8 4 12 ground/mud.png\r\n\n  grass.png\n0.3 x\n", true).empty());
    ASSERT_EQ(t.tile_count, 3);
    const TileType& mud = t.tiles[0];
    for (float v : {0.0f, 1.0f, 7.0f, 100.0f}) {
        EXPECT_FLOAT_EQ(tile_friction(t, 0, v), 0.8f);
        float a = 0, b = 0;
        tile_roll_resist(t, 0, v, a, b);
        EXPECT_EQ(a, 4.0f);
        EXPECT_EQ(b, 12.0f);
    }
    EXPECT_EQ(mud.texture_name, "@ground/mud.png");
    EXPECT_EQ(mud.roost[0].kind, RoostDust);
    EXPECT_EQ(mud.roost[1].kind, RoostNone);
    EXPECT_EQ(mud.erosion.erode_depth, 1.0f);
    EXPECT_EQ(t.tiles[1].texture_name, "@grass.png");
    EXPECT_EQ(tile_friction(t, 1, 3.0f), 1.0f);
    EXPECT_EQ(t.tiles[2].texture_name, "@0.3 x");
}

TEST(TileRelations, TransitionsAndVariantsFromTextureNames) {
    Terrain t;
    read_tiles(t,
               "grass.png\ndirt.png\ngrass-dirt-0011.png\nsub/grass-dirt.jpg\ngrass-alt2.png\nmud-dirt.png\n"
               "grass-clay-1111.png\ndirt-grass-1x01.png\nGrass-dirt-0001.png\n",
               true);
    ASSERT_EQ(t.tile_count, 9);
    const int expected[] = {
        0 * 65536 + 0 * 256, 1 * 65536 + 1 * 256, 0 * 65536 + 1 * 256 + 3,
        0 * 65536 + 1 * 256, 0 * 65536 + 0 * 256, 5 * 65536 + 5 * 256,
        6 * 65536 + 6 * 256, 1 * 65536 + 0 * 256, 8 * 65536 + 8 * 256,
    };
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(t.tiles[i].relation, expected[i]) << t.tiles[i].texture_name;
}

} // namespace
