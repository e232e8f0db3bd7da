#include "noise.h"

#include <cmath>

uint32_t noise_hash(uint32_t seed, int32_t x, int32_t y) {
    uint32_t h = seed * 0x9e3779b9u ^ uint32_t(x) * 0x85ebca6bu ^ uint32_t(y) * 0xc2b2ae35u;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

double noise_unit(uint32_t seed, int32_t x, int32_t y) {
    return double(noise_hash(seed, x, y) >> 8) / 16777216.0;
}

namespace {

double fade(double t) {
    return t * t * t * (t * (t * 6 - 15) + 10);
}

double lattice(uint32_t seed, int32_t x, int32_t y, int period) {
    if (period > 0) {
        x = ((x % period) + period) % period;
        y = ((y % period) + period) % period;
    }
    return noise_unit(seed, x, y) * 2 - 1;
}

double value_noise(uint32_t seed, double x, double y, int period) {
    double fx = std::floor(x), fy = std::floor(y);
    int32_t ix = int32_t(fx), iy = int32_t(fy);
    double u = fade(x - fx), v = fade(y - fy);
    double a = lattice(seed, ix, iy, period), b = lattice(seed, ix + 1, iy, period);
    double c = lattice(seed, ix, iy + 1, period), d = lattice(seed, ix + 1, iy + 1, period);
    return (a + (b - a) * u) * (1 - v) + (c + (d - c) * u) * v;
}

} // namespace

double noise_value(uint32_t seed, double x, double y) {
    return value_noise(seed, x, y, 0);
}

double noise_value_periodic(uint32_t seed, double x, double y, int period) {
    return value_noise(seed, x, y, period);
}

double noise_fbm(uint32_t seed, double x, double y, int octaves) {
    double sum = 0, amplitude = 0.5, frequency = 1, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * noise_value(seed + uint32_t(i) * 101u, x * frequency, y * frequency);
        norm += amplitude;
        amplitude *= 0.5;
        frequency *= 2;
    }
    return norm > 0 ? sum / norm : 0;
}

double noise_fbm_periodic(uint32_t seed, double x, double y, int cells, int octaves) {
    double sum = 0, amplitude = 0.5, norm = 0;
    int period = cells;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * noise_value_periodic(seed + uint32_t(i) * 101u, x * period, y * period, period);
        norm += amplitude;
        amplitude *= 0.5;
        period *= 2;
    }
    return norm > 0 ? sum / norm : 0;
}
