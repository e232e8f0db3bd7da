// The world tick with contacts: every rider against a flat ground and every other rider, the world
// step and the rider steps. Two loads: 40 riders packed 3 ft apart side by side (their bars and
// elbows touch, so pairs are joined and the rest pushed by forces) and 160 riders spread out 12 ft
// apart. Reports ticks per second and "realtime", the ratio of simulated to wall time (1 = the
// tick keeps up with 128 ticks per second).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "data/search_paths.h"
#include "race/race.h"
#include "sim/contact.h"
#include "sim/physics_world.h"
#include "sim/rider.h"
#include "sim/shapes.h"
#include "track/terrain.h"

namespace {

void flat_ground(Terrain& t) {
    t = Terrain{};
    t.size_log2 = 8;
    t.tiles_per_side = 256;
    t.samples_per_side = 513;
    t.cell_size = 1.25f;
    t.tile_size = 2.5f;
    t.extent = 640;
    t.heights.assign(size_t(513) * 513, 0.0f);
    t.tile_map.assign(size_t(256) * 256, 0);
    t.tiles.push_back(tile_type_defaults());
    t.tile_count = 1;
}

struct Field {
    std::vector<Rider*> list;
    Field(int count, double spacing, int per_row) {
        bench_use_build_data();
        world_create();
        race_reset_state();
        flat_ground(g_terrain);
        for (int i = 0; i < count; ++i) {
            Rider* r = rider_create("450sxf(2016)", i + 1, "1", nullptr, nullptr, nullptr, nullptr);
            rider_translate(*r, 100 + spacing * (i % per_row), 0.08, 100 + 12.0 * (i / per_row));
            g_slots[size_t(i)] = RiderSlot{r, Robot};
            list.push_back(r);
        }
        for (int i = 0; i < 256; ++i)
            tick(); // settled on the ground first
    }
    ~Field() {
        race_reset_state();
        for (Rider* r : list)
            rider_destroy(r);
        world_destroy();
        free_terrain(g_terrain);
        shape_cache_reset();
    }
    void tick() {
        world_contacts(nullptr, 0);
        world_step();
        for (Rider* r : list)
            rider_step(*r);
        ++g_race.clock;
    }
};

void run(benchmark::State& state, int count, double spacing, int per_row) {
    Field field(count, spacing, per_row);
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        field.tick();
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double ticks = double(state.iterations());
    state.counters["ticks_per_s"] = benchmark::Counter(ticks, benchmark::Counter::kIsRate);
    state.counters["realtime"] = wall > 0 ? ticks / 128.0 / wall : 0;
    state.counters["joints_per_tick"] = double(g_contact_stats.joints) / (ticks + 256);
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_ContactTick40Packed(benchmark::State& state) {
    run(state, 40, 3, 40);
}
void BM_ContactTick160Spread(benchmark::State& state) {
    run(state, 160, 12, 16);
}
BENCHMARK(BM_ContactTick40Packed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContactTick160Spread)->Unit(benchmark::kMillisecond);

// The contact pass alone for 160 spread riders (no step: the joints are thrown away each time).
void BM_ContactPass160(benchmark::State& state) {
    Field field(160, 12, 16);
    for (auto _ : state) {
        world_contacts(nullptr, 0);
        dJointGroupEmpty(g_physics.contact_group);
    }
    state.SetItemsProcessed(state.iterations() * 160);
}
BENCHMARK(BM_ContactPass160)->Unit(benchmark::kMicrosecond);

} // namespace
