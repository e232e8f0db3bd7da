#pragma once
// The track's ground: a square grid of height samples over x-z (y up), its shading, shadows and tile
// map, and the geometric queries everything else asks of it.
//
// Sample (col, row) lies at x = col * cell_size, z = row * cell_size. Cell (i, j) is split into two
// triangles along a diagonal that alternates like a chessboard: from (i, j) to (i+1, j+1) when i + j
// is even, from (i+1, j) to (i, j+1) when odd. Sample indices are clamped to the grid, positions never
// are, so beyond its edges the surface continues as the edge row or column extruded outwards.
//
// The queries are called for every contact of every rider every tick: they allocate nothing and
// accept any position, including ones far outside the grid or not a number.
#include "track/tiles.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct DataStream;

// Largest accepted size_log2 (4096 tiles, 8193 samples per side).
constexpr int k_terrain_max_size_log2 = 12;

struct TerrainVec {
    float x, y, z;
};

struct TerrainTriangle {
    TerrainVec p[3]; // (second - first) x (third - first) points upwards
};

struct Terrain {
    std::vector<float> heights;    // samples_per_side^2, row-major
    std::vector<uint8_t> shading;  // samples_per_side^2 * 3, light factor 2 * v / 255
    std::vector<uint8_t> shadow;   // samples_per_side^2, 0 lit ... 255 shadowed
    std::vector<uint8_t> tile_map; // tiles_per_side^2, row-major, every entry < tile_count
    float extent = 0;              // 2 * tiles_per_side * cell_size
    float cell_size = 0;
    float tile_size = 0; // 2 * cell_size
    float max_height = 0;
    float min_height = 0;
    int size_log2 = 0;
    int samples_per_side = 0; // 2 * tiles_per_side + 1
    int tiles_per_side = 0;   // 2^size_log2
    // Tile types.
    int tile_count = 0;
    std::vector<TileType> tiles;
    // Where the track was loaded from ("@tracks/name"); save_terrain writes there.
    std::string folder;
    // Seam: the terrain renderer's state and the decal list are added here by their owners.
};

// The one loaded terrain (empty until a track is loaded).
extern Terrain g_terrain;

// Opens folder + "/" + name for reading. A required file that is missing shows
// "Can't open '<path>'" on the message console.
DataStream* open_track_file(const char* folder, const char* name, bool required);

// Loads a track's height field, shading, shadows, tile types and tile map from folder ("@tracks/x").
// Returns 1 on success; on failure reports why, leaves the record empty and returns 0. method is the
// terrain-texture method wanted by the configuration.
int load_terrain(Terrain& terrain, const char* folder, int method);
// Writes terrain.hf (header only), terrain.png, shading.ppm, shadingx2.ppm and tilemap into the
// folder the terrain came from (in the home folder). Every file is written under a temporary name
// first and only renamed into place once all are complete, so a failure reports itself, returns 0 and
// leaves the previous files intact. Resets min_height and max_height to the extremes of the samples.
int save_terrain(Terrain& terrain);
// Releases everything load_terrain built and empties the record.
void free_terrain(Terrain& terrain);

// ---- Queries

inline float terrain_sample(const Terrain& t, int col, int row) {
    int last = t.samples_per_side - 1;
    col = col < 0 ? 0 : col > last ? last : col;
    row = row < 0 ? 0 : row > last ? last : row;
    return t.heights[size_t(row) * t.samples_per_side + col];
}

// Height of the triangulated surface under (x, z).
float terrain_height_at(const Terrain& t, float x, float z);
// The two triangles of cell (i, j), upward-facing.
void terrain_cell_triangles(const Terrain& t, int i, int j, TerrainTriangle out[2]);
// Unit normal at a sample, averaged over the eight triangles of its neighbours.
TerrainVec terrain_vertex_normal(const Terrain& t, int col, int row);
// Upward normal of the triangle under (x, z), scaled so that y is cell_size^2 (not unit length).
TerrainVec terrain_triangle_normal(const Terrain& t, float x, float z);
// Tile type under (x, z); positions outside the grid take the nearest edge tile.
int terrain_tile_at(const Terrain& t, float x, float z);
// Weighted mean height of the samples within about radius of (x, z), fading out over one cell.
float terrain_ground_level(const Terrain& t, float x, float z, float radius);

// Fills a terrain of 2^size_log2 tiles per side with the given cell size, sample heights from
// height(x, z) at each sample's position, and one tile type with the default friction and rolling
// resistance. For tests, benchmarks and the physics harness; not a track loader.
void terrain_generate(Terrain& t, int size_log2, float cell_size, const std::function<double(double, double)>& height);
