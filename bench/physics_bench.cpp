// The whole physics tick on the shipped tarnwick track: every rider's contacts against the ground and
// the other riders, the world step and every rider's step, for four loads:
//   - 1, 40 and 160 riders spread evenly along one lap of the course, each facing along it;
//   - 40 riders packed side by side 3.5 ft apart on the start gate's row.
// The riders ride on scripted controls: the spread ones start rolling in third gear, the pack from a
// standstill with two upshifts; throttle and brakes hold about 25 ft/s, less in the turns; steering
// aims at the rider's lane 30 ft ahead on the course with a weave of its own on top, through a roll-rate
// command written into the rider as a robot's auto pilot writes it. So they lean through the corners,
// take the jumps and run into one another, and some fall where the course catches them out (a bike
// that topples without a crash stays down until the realign aid has a course target to turn it to).
//
// Each measurement runs 128 warm-up ticks, then 1,280 timed ticks. Counters:
//   us_per_tick   wall time of one whole tick
//   cpu_us_per_tick   the thread's processor time per tick (scripted controls included): the figure
//                 to trust when other work shares the machine
//   realtime      simulated time over wall time (1 = keeps up with 128 ticks per second)
//   contacts_us, world_step_us, rider_steps_us   the same tick split by stage
//   joints_per_tick   contact joints the stepper had to solve per tick
//   fallen        riders lying down at the end (leaning beyond 60 degrees): they touch the ground with
//                 more parts, and cost the stepper more, than riders on their wheels
// Run alone: korvane_bench --benchmark_filter=Physics (add --benchmark_repetitions=5 on a busy machine:
// the figures of one run can vary by a third from run to run there; "_min" is the least of each figure,
// so the fastest run's times but the slowest run's realtime ratio).
//
// The course is read from the centre-line listing the data builder writes beside its previews
// (previews/tarnwick-centre.txt in the build folder).
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "data/search_paths.h"
#include "race/race.h"
#include "sim/contact.h"
#include "sim/control.h"
#include "sim/physics_world.h"
#include "sim/rider.h"
#include "sim/shapes.h"
#include "track/terrain.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr int k_warm_up_ticks = 128;
constexpr int k_timed_ticks = 1280;
constexpr double k_gate_spacing = 3.5; // ft between neighbours on the start gate's row
constexpr double k_cruise_speed = 25;  // ft/s on the straights; spread riders start rolling at it

using BenchClock = std::chrono::steady_clock;

struct CentrePoint {
    double s, x, z, dx, dz, half_width;
};

struct CentreLine {
    std::vector<CentrePoint> points; // every 10 ft, in riding order
    double gate_s = 0;
    double length = 0;
};

// Reads "# ... the lap is L ft, the start gate at s = G" and then "s x z dx dz half_width height" lines.
bool centre_line_read(const std::string& path, CentreLine& line) {
    FILE* f = fopen(path.c_str(), "r");
    if (!f) return false;
    char text[256];
    while (fgets(text, sizeof text, f)) {
        if (text[0] == '#') {
            const char* lap = strstr(text, "the lap is ");
            const char* gate = strstr(text, "start gate at s = ");
            if (lap) line.length = atof(lap + 11);
            if (gate) line.gate_s = atof(gate + 18);
            continue;
        }
        CentrePoint p{};
        double height = 0;
        if (sscanf(text, "%lf %lf %lf %lf %lf %lf %lf", &p.s, &p.x, &p.z, &p.dx, &p.dz, &p.half_width,
                   &height) == 7)
            line.points.push_back(p);
    }
    fclose(f);
    return !line.points.empty() && line.length > 0;
}

// The centre-line point nearest to distance s along the lap (wrapped).
const CentrePoint& centre_at(const CentreLine& line, double s) {
    s = std::fmod(s, line.length);
    if (s < 0) s += line.length;
    size_t best = 0;
    for (size_t i = 1; i < line.points.size(); ++i)
        if (std::fabs(line.points[i].s - s) < std::fabs(line.points[best].s - s)) best = i;
    return line.points[best];
}

// Sets every body moving at speed along the rider's heading, the wheels rolling with it.
void set_rolling(Rider& r, double speed) {
    dVector3 forward;
    dBodyVectorToWorld(r.bodies[BodyFrame], 0, 0, -1, forward);
    for (dBodyID body : r.bodies)
        dBodySetLinearVel(body, forward[0] * speed, forward[1] * speed, forward[2] * speed);
    // Rolling forwards the top of a wheel moves ahead: a negative turn about its axle (body x).
    for (const WheelRecord* w : {&r.front_wheel, &r.rear_wheel}) {
        dVector3 axle;
        dBodyVectorToWorld(w->body, 1, 0, 0, axle);
        double spin = -speed / (w->ring_radius + w->tube_radius);
        dBodySetAngularVel(w->body, axle[0] * spin, axle[1] * spin, axle[2] * spin);
    }
}

// Puts a rider (at its build pose) at (x, z) facing along (dx, dz), its lowest tyre point 0.02 ft above
// the ground.
void place_rider(Rider& r, double x, double z, double dx, double dz) {
    rider_place_on_ground(r, g_terrain, x, z, std::atan2(-dx, -dz), 0.02);
}

enum class Layout { Spread, Pack };

// Time spent per stage over the timed ticks (seconds).
struct StageTimes {
    double contacts = 0, step = 0, riders = 0, total = 0;
};

struct PhysicsField {
    std::vector<Rider*> riders;
    std::vector<double> phase; // each rider's steering weave phase
    std::vector<double> lane;  // each rider's offset to the right of the centre line (ft)
    std::vector<size_t> along; // each rider's nearest centre-line point, followed tick by tick
    CentreLine line;
    bool standing_start = false; // the pack: launches from the gate and shifts up twice
    bool ready = false;

    PhysicsField(Layout layout, int count) {
        bench_use_build_data();
        world_create();
        race_reset_state();
        contact_reset_state();
        if (!load_terrain(g_terrain, "@tracks/tarnwick", 0) ||
            !centre_line_read(bench_build_folder() + "/previews/tarnwick-centre.txt", line))
            return;
        for (int i = 0; i < count; ++i) {
            Rider* r = rider_create("450sxf(2016)", i + 1, std::to_string(i + 1).c_str(), nullptr, nullptr,
                                    nullptr, nullptr);
            if (!r) return;
            if (layout == Layout::Spread) {
                // Evenly along one lap from the gate, a little off the centre line to alternate sides.
                const CentrePoint& p = centre_at(line, line.gate_s + line.length * i / count);
                double side = (i % 3 - 1) * 0.3 * p.half_width;
                place_rider(*r, p.x - p.dz * side, p.z + p.dx * side, p.dx, p.dz);
                set_rolling(*r, k_cruise_speed);
                rider_set_gear(*r, 2);
                lane.push_back(side);
                along.push_back(size_t(&p - line.points.data()));
            } else {
                // The gate row: side by side across the pad, centred on the centre line.
                const CentrePoint& p = centre_at(line, line.gate_s);
                double side = (i - (count - 1) / 2.0) * k_gate_spacing;
                place_rider(*r, p.x - p.dz * side, p.z + p.dx * side, p.dx, p.dz);
                standing_start = true;
                // Straight ahead from the gate: 11 s at 25 ft/s stays on the start straight. Elbow
                // to elbow, the weave soon has them bumping and falling into one another.
                lane.push_back(side);
                along.push_back(size_t(&p - line.points.data()));
            }
            g_slots[size_t(i)] = RiderSlot{r, Robot};
            riders.push_back(r);
            phase.push_back(2 * k_pi * ((i * 37) % 101) / 101.0);
        }
        g_race.clock = 0;
        g_race.gate_drop_tick = 0;
        ready = true;
    }
    ~PhysicsField() {
        race_reset_state();
        for (Rider* r : riders)
            rider_destroy(r);
        world_destroy();
        free_terrain(g_terrain);
        shape_cache_reset();
    }

    // The scripted controls of one tick: throttle and brakes holding about 25 ft/s (less in the turns),
    // upshifts at 1.5 s and 3 s after a standing start, and steering towards the rider's lane 30 ft
    // ahead with a weave of 3 s period on top.
    void controls() {
        double t = g_race.clock * k_tick_length;
        size_t n = line.points.size();
        for (size_t i = 0; i < riders.size(); ++i) {
            const Rider& r = *riders[i];
            const dReal* at = dBodyGetPosition(r.bodies[BodyFrame]);
            auto distance2 = [&](size_t k) {
                const CentrePoint& p = line.points[k % n];
                return (p.x - at[0]) * (p.x - at[0]) + (p.z - at[2]) * (p.z - at[2]);
            };
            for (int look = 0; look < 4 && distance2(along[i] + 1) < distance2(along[i]); ++look)
                along[i] = (along[i] + 1) % n;
            const CentrePoint& p = line.points[(along[i] + 3) % n];
            double aim_x = p.x - p.dz * lane[i] - at[0], aim_z = p.z + p.dx * lane[i] - at[2];
            dVector3 forward;
            dBodyVectorToWorld(r.bodies[BodyFrame], 0, 0, -1, forward);
            double left = aim_x * forward[2] - aim_z * forward[0];
            double ahead = aim_x * forward[0] + aim_z * forward[2];
            double error = std::atan2(left, ahead);
            float in[ControlCount] = {};
            // Lean towards the aim (positive: left), plus the weave. The steering commands a roll rate
            // towards that lean and writes it straight into the rider, as a robot's auto pilot does.
            double lean_wanted =
                std::clamp(0.8 * error + 0.1 * std::sin(2 * k_pi * t / 3 + phase[i]), -0.5, 0.5);
            ControlState state;
            control_state(r, state);
            double rate = std::clamp(4 * (lean_wanted - state.lean), -k_pi, k_pi);
            double slack = std::clamp(rate - state.roll, -0.125, 0.125);
            float steer = float(std::clamp((state.roll - (rate - slack)) * 4, -1.0, 1.0));
            // Throttle towards the cruising speed, slower where the course turns (about 0.6 g sideways),
            // brakes beyond 5 ft/s over it.
            const CentrePoint& near = line.points[along[i]];
            double turn = std::fabs(near.dx * p.dz - near.dz * p.dx) / 30; // 1/ft over the 30 ft ahead
            double speed = rider_speed(r),
                   target = std::min(k_cruise_speed, std::sqrt(0.6 * 32 / std::max(turn, 1e-6)));
            in[Throttle] = float(std::clamp((target - speed) * 0.1, 0.0, 0.6));
            in[FrontBrake] = in[RearBrake] = float(std::clamp((speed - target - 5) * 0.1, 0.0, 0.5));
            int tick = g_race.clock;
            in[Shift] = standing_start && (tick == 192 || tick == 384) ? 1.0f : 0.0f;
            rider_apply_inputs(*riders[i], in);
            riders[i]->steer = steer;
        }
    }

    // One world tick as the main loop runs it offline (without the track objects, roost and ruts),
    // timed by stage.
    void tick(StageTimes* times) {
        controls();
        BenchClock::time_point t0 = BenchClock::now();
        world_contacts(nullptr, 0);
        BenchClock::time_point t1 = BenchClock::now();
        world_step();
        BenchClock::time_point t2 = BenchClock::now();
        for (const RiderSlot& slot : g_slots)
            if (slot.rider) rider_step(*slot.rider);
        BenchClock::time_point t3 = BenchClock::now();
        ++g_race.clock;
        if (!times) return;
        times->contacts += std::chrono::duration<double>(t1 - t0).count();
        times->step += std::chrono::duration<double>(t2 - t1).count();
        times->riders += std::chrono::duration<double>(t3 - t2).count();
        times->total += std::chrono::duration<double>(t3 - t0).count();
    }
};

void physics_tick(benchmark::State& state, Layout layout, int count) {
    PhysicsField field(layout, count);
    if (!field.ready) {
        state.SkipWithError("no shipped tarnwick in the build folder (data set or previews missing)");
        return;
    }
    for (int i = 0; i < k_warm_up_ticks; ++i)
        field.tick(nullptr);
    long joints_before = g_contact_stats.joints;
    StageTimes times;
    int ticks = 0;
    timespec cpu_start{}, cpu_end{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_start);
    for (auto _ : state) {
        field.tick(&times);
        ++ticks;
    }
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu_end);
    if (ticks == 0) return;
    int fallen = 0;
    for (const Rider* r : field.riders)
        if (std::fabs(rider_lean_angle(*r)) > k_pi / 3) ++fallen;
    double us = 1e6 / ticks;
    state.counters["us_per_tick"] = times.total * us;
    state.counters["cpu_us_per_tick"] =
        (double(cpu_end.tv_sec - cpu_start.tv_sec) + 1e-9 * double(cpu_end.tv_nsec - cpu_start.tv_nsec)) * us;
    state.counters["realtime"] = times.total > 0 ? ticks * k_tick_length / times.total : 0;
    state.counters["contacts_us"] = times.contacts * us;
    state.counters["world_step_us"] = times.step * us;
    state.counters["rider_steps_us"] = times.riders * us;
    state.counters["joints_per_tick"] = double(g_contact_stats.joints - joints_before) / ticks;
    state.counters["fallen"] = fallen;
    state.SetItemsProcessed(int64_t(ticks) * count);
}

// With --benchmark_repetitions, the least of the runs beside their mean and median: on a machine
// shared with other work the least is the nearest to what the code costs.
double smallest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

} // namespace

BENCHMARK_CAPTURE(physics_tick, Physics1Spread, Layout::Spread, 1)
    ->Iterations(k_timed_ticks)
    ->ComputeStatistics("min", smallest)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(physics_tick, Physics40Spread, Layout::Spread, 40)
    ->Iterations(k_timed_ticks)
    ->ComputeStatistics("min", smallest)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(physics_tick, Physics160Spread, Layout::Spread, 160)
    ->Iterations(k_timed_ticks)
    ->ComputeStatistics("min", smallest)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(physics_tick, Physics40Pack, Layout::Pack, 40)
    ->Iterations(k_timed_ticks)
    ->ComputeStatistics("min", smallest)
    ->Unit(benchmark::kMicrosecond);
