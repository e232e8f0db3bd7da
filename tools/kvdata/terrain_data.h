#pragma once
// A track's height field as the game reads it: quantised 16-bit samples between a minimum and a
// maximum height, the shading and shadows lit by the default sun, and the tile map. The writers
// produce the track files in the game's formats ("terrain.hf" with its ':' sample block,
// "shadingx2.ppm", "shadows.pgm", "tilemap").
#include "output.h"

#include <vector>

struct TerrainData {
    int size_log2 = 0;
    double cell_size = 1;
    int tiles = 1;   // per side: 2^size_log2
    int samples = 3; // per side: 2 * tiles + 1
    double min_height = 0, max_height = 0;
    std::vector<uint16_t> raw;     // samples², row-major (row = z)
    std::vector<float> heights;    // the heights the game reconstructs from `raw`
    std::vector<uint8_t> shading;  // samples² × 3 light factors at half intensity
    std::vector<uint8_t> shadow;   // samples², 0 lit … 255 fully shadowed
    std::vector<uint8_t> tile_map; // tiles², row-major
};

// Sets the grid size for size_log2 and the cell size.
void terrain_setup(TerrainData& terrain, int size_log2, double cell_size);
// Quantises heights (samples², row-major) into `raw` between whole-foot bounds that enclose them
// with `margin` feet to spare, and reconstructs `heights` as the game reads them. With a margin
// of 0 and whole-foot extremes, the lowest and highest heights come back exactly.
void terrain_quantise(TerrainData& terrain, const std::vector<double>& heights, double margin);
// Height at sample (col, row), indices clamped to the grid.
float terrain_sample_height(const TerrainData& terrain, int col, int row);
// The smoothed normal at a sample: the eight triangles around it, as the game computes it.
void terrain_sample_normal(const TerrainData& terrain, int col, int row, double normal[3]);
// Casts shadows from the sun and lights every sample with the default lighting (sun from
// (1, 1, 1), sun colour 1, ambient 0.5), storing half-intensity factors.
void terrain_light(TerrainData& terrain);

Bytes terrain_hf_bytes(const TerrainData& terrain);
Bytes terrain_shading_bytes(const TerrainData& terrain); // shadingx2.ppm
Bytes terrain_shadows_bytes(const TerrainData& terrain); // shadows.pgm: 255 lit, 0 shadowed
