#pragma once
// The harness's ground: a generated flat or sloped terrain. Contact with it is the game's own
// (sim/contact.h); shipped tracks are loaded as the game loads them.
#include "track/terrain.h"

// A square terrain of 2^size_log2 tiles per side (cells of 1.25 ft) whose height falls by
// tan(grade) per foot of z: grade > 0 rises towards -z, the way a bike faces when built. One tile
// type with the default friction and rolling resistance.
void sim_make_terrain(Terrain& terrain, int size_log2, double grade);

// Ground height and unit up-normal under a point.
double sim_ground_height(const Terrain& terrain, double x, double z);
void sim_ground_normal(const Terrain& terrain, double x, double z, double n[3]);
