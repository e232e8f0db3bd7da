#pragma once
// The tile types of the shipped tracks: packed dirt (the riding line), loose dirt (shoulders,
// berms, the start pad's edges), grass off the track with a variant, and the transition tiles
// between neighbouring surfaces, named "A-B-mmmm.png" so that the game's tile relations pair them:
// a set mask bit shows B in that corner (8 low x low z, 4 high x low z, 2 low x high z, 1 high x
// high z). Tile textures repeat every 14/16 of their size, the part the ground composer shows,
// so neighbouring tiles meet without seams; texture rows run along z and columns along x.
#include "output.h"
#include "terrain_data.h"

#include <string>
#include <vector>

enum SurfaceClass : uint8_t { SurfacePacked = 0, SurfaceLoose = 1, SurfaceGrass = 2 };

constexpr int k_tile_type_count = 32;
constexpr uint8_t k_tile_packed = 0, k_tile_loose = 1, k_tile_grass = 2, k_tile_grass_alt = 3;
// First index of the packed-to-loose transitions (mask 1 … 14 at index + mask - 1).
constexpr uint8_t k_tile_packed_loose = 4;
// First index of the loose-to-grass transitions.
constexpr uint8_t k_tile_loose_grass = 18;

struct TileSet {
    std::vector<std::string> files; // texture file names in type order, e.g. "packed.png"
    std::vector<Bytes> textures;    // their PNG bytes
    std::string tileinfo;           // the "tileinfo" text naming "@<folder>/<file>"
};

// Builds the 32 types with square textures of `texture_size` pixels, for the track folder
// (data-relative, e.g. "tracks/tarnwick").
TileSet tiles_build(const std::string& folder, int texture_size);

// Tile type for a tile whose corners have these surface classes, in the order low x low z,
// high x low z, low x high z, high x high z. `variation` picks the grass variant.
uint8_t tiles_type_for(const uint8_t corners[4], uint32_t variation);

// Fills terrain.tile_map from one surface class per sample (samples², row-major); a tile's
// corners are its even samples.
void tiles_fill_map(TerrainData& terrain, const std::vector<uint8_t>& sample_class, uint32_t seed);

// Representative colour of a type (for previews).
void tiles_colour(uint8_t type, uint8_t rgb[3]);
