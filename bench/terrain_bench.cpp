// Terrain queries over random points on the shipped "tarnwick" track (items per second = calls per
// second). Without the shipped data a generated grid of the same size stands in, and the label says so.
#include "bench_support.h"
#include "data/search_paths.h"
#include "track/terrain.h"

#include <benchmark/benchmark.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct BenchTerrain {
    Terrain terrain;
    std::string label;
    std::vector<float> points; // x, z pairs
};

void make_stand_in(Terrain& t, int size_log2) {
    terrain_generate(t, size_log2, 1.25f,
                     [](double x, double z) { return 4.0 * std::sin(x / 1.25 * 0.05) * std::cos(z / 1.25 * 0.07); });
}

BenchTerrain& bench_terrain() {
    static BenchTerrain b = [] {
        BenchTerrain made;
        bench_use_build_data();
        if (load_terrain(made.terrain, "@tracks/tarnwick", 0)) {
            made.label = "tarnwick";
        } else {
            make_stand_in(made.terrain, 10);
            made.label = "generated stand-in (tarnwick not found)";
        }
        std::mt19937 random(12345);
        float extent = made.terrain.extent;
        std::uniform_real_distribution<float> along(0.0f, extent);
        for (int i = 0; i < 8192; ++i)
            made.points.push_back(along(random));
        return made;
    }();
    return b;
}

void BM_terrain_height_at(benchmark::State& state) {
    BenchTerrain& b = bench_terrain();
    const Terrain& t = b.terrain;
    const std::vector<float>& p = b.points;
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(terrain_height_at(t, p[i], p[i + 1]));
        i = (i + 2) & (p.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(b.label);
}
BENCHMARK(BM_terrain_height_at);

void BM_terrain_triangle_normal(benchmark::State& state) {
    BenchTerrain& b = bench_terrain();
    const Terrain& t = b.terrain;
    const std::vector<float>& p = b.points;
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(terrain_triangle_normal(t, p[i], p[i + 1]));
        i = (i + 2) & (p.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(b.label);
}
BENCHMARK(BM_terrain_triangle_normal);

void BM_terrain_tile_at(benchmark::State& state) {
    BenchTerrain& b = bench_terrain();
    const Terrain& t = b.terrain;
    const std::vector<float>& p = b.points;
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(terrain_tile_at(t, p[i], p[i + 1]));
        i = (i + 2) & (p.size() - 1);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(b.label);
}
BENCHMARK(BM_terrain_tile_at);

} // namespace
