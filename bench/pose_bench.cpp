// The drawn riders' poses: the nine bone placements and the head for 160 riders, as one frame
// draws them. Every fourth rider dabs (its feet reach for the ground) and every eighth is crashed,
// so each path of the foot placement is in the mix. Items per second are rider poses.
#include <benchmark/benchmark.h>

#include <vector>

#include "sim/physics_world.h"
#include "sim/pose.h"
#include "sim/rider.h"

namespace {

struct PosedRiders {
    std::vector<Rider*> list;
    explicit PosedRiders(int count) {
        world_create();
        for (int i = 0; i < count; ++i) {
            Rider* r = rider_create("450sxf(2016)", i + 1, "1", nullptr, nullptr, nullptr, nullptr);
            rider_rotate(*r, 0.1, 1, 0.05 * (i % 5), 0.3 * i);
            rider_translate(*r, 20.0 * (i % 16), 2, 20.0 * (i / 16));
            dBodySetLinearVel(r->bodies[BodyRider], 0.5 * (i % 7), 0, -2.0 * (i % 20));
            r->throttle = static_cast<float>(i % 10) / 10;
            if (i % 4 == 0) r->pose_blend = 1;
            if (i % 8 == 0) r->crash_counter = 200;
            list.push_back(r);
        }
    }
    ~PosedRiders() {
        for (Rider* r : list)
            rider_destroy(r);
        world_destroy();
    }
};

void BM_RiderPose(benchmark::State& state) {
    PosedRiders riders(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (Rider* r : riders.list) {
            RiderPose pose = rider_pose(*r);
            HeadPose head = head_pose(*r);
            benchmark::DoNotOptimize(pose);
            benchmark::DoNotOptimize(head);
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RiderPose)->Arg(160)->Unit(benchmark::kMicrosecond);

} // namespace
