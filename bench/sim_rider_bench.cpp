// The rider's share of the world tick: riders in free flight (no contacts yet; each rider its own
// island), stepped by the world and then by their own rider step. Items per second are rider ticks.
// The design load is 160 riders at 128 ticks per second: 20480 rider ticks per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "race/race.h"
#include "sim/physics_world.h"
#include "sim/rider.h"

namespace {

struct Riders {
    std::vector<Rider*> list;
    explicit Riders(int count) {
        world_create();
        for (int i = 0; i < count; ++i) {
            Rider* r = rider_create("450sxf(2016)", i + 1, "1", nullptr, nullptr, nullptr, nullptr);
            rider_translate(*r, 20.0 * (i % 16), 1000, 20.0 * (i / 16));
            list.push_back(r);
        }
    }
    ~Riders() {
        for (Rider* r : list)
            rider_destroy(r);
        world_destroy();
    }
    // Back to the start height now and then, so the riders never fall into huge coordinates.
    void lift_every(int tick) {
        if (tick % 1024) return;
        for (Rider* r : list) {
            const dReal* p = dBodyGetPosition(rider_frame(*r));
            rider_translate(*r, 0, 1000 - p[1], 0);
            for (dBodyID b : r->bodies)
                dBodySetLinearVel(b, 0, 0, 0);
        }
    }
};

void BM_WorldTick(benchmark::State& state) {
    Riders riders(static_cast<int>(state.range(0)));
    int tick = 0;
    for (auto _ : state) {
        riders.lift_every(++tick);
        world_step();
        for (Rider* r : riders.list)
            rider_step(*r);
        ++g_race.clock;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WorldTick)->Arg(1)->Arg(16)->Arg(160)->Unit(benchmark::kMicrosecond);

// The rider step alone, without the physics step.
void BM_RiderStep(benchmark::State& state) {
    Riders riders(160);
    for (auto _ : state) {
        for (Rider* r : riders.list)
            rider_step(*r);
        dJointGroupEmpty(g_physics.contact_group); // the per-step springs, as the world step would
    }
    state.SetItemsProcessed(state.iterations() * 160);
}
BENCHMARK(BM_RiderStep)->Unit(benchmark::kMicrosecond);

} // namespace
