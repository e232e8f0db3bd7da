#pragma once
// Deterministic noise for terrain and textures: integer hashing (no global random state), value
// noise with smooth interpolation, and sums of octaves. The periodic forms wrap after `period`
// lattice cells so that textures tile without seams.
#include <cstdint>

uint32_t noise_hash(uint32_t seed, int32_t x, int32_t y);
// Uniform in [0, 1).
double noise_unit(uint32_t seed, int32_t x, int32_t y);
// Smooth value noise in [-1, 1]; lattice spacing 1.
double noise_value(uint32_t seed, double x, double y);
// The same, wrapping every `period` lattice cells in both directions.
double noise_value_periodic(uint32_t seed, double x, double y, int period);
// Octaves of noise_value: frequency doubles and amplitude halves per octave; result about [-1, 1].
double noise_fbm(uint32_t seed, double x, double y, int octaves);
// Periodic octaves: x and y in [0, 1) over one period, base lattice `cells` per period.
double noise_fbm_periodic(uint32_t seed, double x, double y, int cells, int octaves);
