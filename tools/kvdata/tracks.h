#pragma once
// The shipped tracks: "tracks/tarnwick", the default motocross course generated from its centre
// line, and "tracks/testbed", a small flat field with one slope and one bump for fast tests.
#include "course.h"
#include "terrain_data.h"
#include "tiles.h"

#include <string>
#include <vector>

struct TrackBuild {
    std::string folder;       // data-relative, e.g. "tracks/tarnwick"
    std::string display_name; // first line of "desc"
    TerrainData terrain;
    std::vector<uint8_t> classes; // surface class per sample
    TileSet tiles;
    std::string report; // a few lines about the track for the build folder
};

TrackBuild track_tarnwick(const Course& course);
TrackBuild track_testbed();

// Writes the track folder under `out`: desc, terrain.hf, shadingx2.ppm, shadows.pgm, tilemap,
// tileinfo and the tile textures.
bool track_write(const std::string& out, const TrackBuild& track);
