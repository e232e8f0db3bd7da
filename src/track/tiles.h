#pragma once
// Tile types: how each kind of ground looks, grips, throws roost and ruts. Read from a track's
// "tileinfo" (or the older "texturelist") into the tile-type table of the loaded Terrain.
#include <cstdint>
#include <string>
#include <vector>

struct DataStream;
struct Terrain;

constexpr int k_max_tile_types = 256;
constexpr int k_tile_curve_points = 8;
constexpr int k_roost_slots = 4;

enum RoostKind { RoostNone = 0, RoostDust = 1, RoostSplash = 2 };

// One kind of particle thrown up by a spinning wheel (64 bytes, fields in this order).
struct RoostType {
    int kind;    // RoostKind
    int texture; // GL texture, 0 until the texture manager has loaded texture_name
    float count, dig, slip_threshold, slow_angle, fast_angle, slow_speed, fast_speed, size, grow, drag,
        vscale, randomize;
    uint8_t colour[4]; // r, g, b, a
    int8_t fade[4];    // change of r, g, b, a per simulation tick
};
static_assert(sizeof(RoostType) == 64, "roost records are 64 bytes");

struct FrictionPoint {
    float friction;
    float speed; // 0 marks an unused point
};

struct RollPoint {
    float a, b;  // range of rolling resistance
    float speed; // 0 marks an unused point
};

// Rut parameters used by terrain deformation.
struct TileErosion {
    float erode_depth, erode_lower, erode_upper, erode_displacement, erode_radius, erode_max_slope,
        erode_off_speed, erode_on_speed;
};

struct TileType {
    int texture = 0;            // GL texture (terrain methods 2, 3), or 0
    std::vector<uint8_t> image; // RGBA image for the software method, or empty
    int image_width = 0, image_height = 0;
    FrictionPoint friction[k_tile_curve_points];
    RollPoint roll[k_tile_curve_points];
    RoostType roost[k_roost_slots];
    TileErosion erosion;
    int relation = 0;         // A * 65536 + B * 256 + corner mask (see tile_relations_compute)
    std::string texture_name; // as named by the file ("" when none)
    std::string roost_texture_name[k_roost_slots]; // particle texture of each slot
};

// A type with every default: friction 1 and roll (5, 15) at all speeds, default erosion, and all four
// roost slots set to the template with kind RoostNone.
TileType tile_type_defaults();

// Reads "tileinfo": problems only produce "tileinfo warning: ..." message lines, never a failure.
// Replaces the terrain's tile-type table and computes the relations.
void read_tileinfo(Terrain& terrain, DataStream* stream);
// Reads the older "texturelist": one type per line, optionally "friction a b name".
void read_texturelist(Terrain& terrain, DataStream* stream);
// Derives every type's relation from its texture name: "A-B-mask" transition tiles, "A-altN"
// variants, and the type itself for every other name.
void tile_relations_compute(Terrain& terrain);

// Friction of a type at a speed, interpolated linearly in the square of the speed between points.
float tile_friction(const Terrain& terrain, int type, float speed);
// Rolling-resistance range of a type at a speed, interpolated linearly in the speed.
void tile_roll_resist(const Terrain& terrain, int type, float speed, float& a, float& b);
