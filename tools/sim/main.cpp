// korvane-sim: the headless simulation harness. Builds a world with a ground, creates riders of a
// chosen model and setup, feeds them scripted controls, steps a number of ticks and prints one JSON
// line per rider at a chosen interval. It prints figures only and never judges them.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/main_loop.h"
#include "core/messages.h"
#include "core/settings.h"
#include "core/setups.h"
#include "data/search_paths.h"
#include "race/race.h"
#include "sim/contact.h"
#include "sim/control.h"
#include "sim/physics_world.h"
#include "sim/rider.h"
#include "sim/setup.h"
#include "sim/suspension.h"
#include "sim/tyre.h"
#include "sim_ground.h"
#include "sim_script.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;

struct Options {
    std::string model = "450sxf(2016)";
    int riders = 1;
    double spacing = 10;
    std::string terrain = "flat"; // flat, slope, none, or track:<name>
    double slope_degrees = 10;
    double heading_degrees = 0;
    double drop = 0;     // tyre clearance above the ground at the start (ft)
    double speed = 0;    // starting speed along the heading (ft/s)
    bool at_given = false;
    double at_x = 0, at_z = 0;
    long ticks = 1280;
    long every = 128;
    std::string script_file;
    std::string script_text;
    std::vector<std::string> setup;
    bool apply_menu = false;
    long random_seed = -1; // >= 0: every rider gets its own random controls
};

void usage(FILE* out) {
    fputs("usage: korvane-sim [options]\n"
          "  --model NAME         bike model (default 450sxf(2016))\n"
          "  --riders N           number of riders, side by side (default 1, at most 160)\n"
          "  --spacing FT         distance between riders (default 10)\n"
          "  --terrain KIND       flat, slope, none (free flight) or track:NAME (default flat)\n"
          "  --slope DEG          grade of the slope terrain, rising ahead (default 10)\n"
          "  --heading DEG        turn the riders left about the vertical (default 0: facing -z)\n"
          "  --at X,Z             where the first rider starts (default: the middle of the terrain)\n"
          "  --drop FT            tyre clearance above the ground at the start (default 0)\n"
          "  --speed FT/S         starting speed along the heading (default 0)\n"
          "  --ticks N            ticks to run, 128 per second (default 1280)\n"
          "  --every N            print every N ticks (default 128)\n"
          "  --script FILE        control script: lines of '<seconds> control=value ...'\n"
          "  --inputs TEXT        the same script given inline, lines separated by ';'\n"
          "  --setup KEY=VALUE    a bike setting by its configuration key; applies the menu setup\n"
          "  --random SEED        random controls for every rider, changing every half second\n",
          out);
}

struct MenuKey {
    const char* key;
    float SetupMenu::*field;
};

const MenuKey k_menu_keys[] = {
    {"fork_compression_adjustment", &SetupMenu::fork_compression_adjustment},
    {"fork_slow_compression_adjustment", &SetupMenu::fork_slow_compression_adjustment},
    {"fork_rebound_adjustment", &SetupMenu::fork_rebound_adjustment},
    {"fork_slow_rebound_adjustment", &SetupMenu::fork_slow_rebound_adjustment},
    {"fork_spring_rate_adjustment", &SetupMenu::fork_spring_rate_adjustment},
    {"fork_preload_adjustment", &SetupMenu::fork_preload_adjustment},
    {"fork_oil_level_adjustment", &SetupMenu::fork_oil_level_adjustment},
    {"shock_compression_adjustment", &SetupMenu::shock_compression_adjustment},
    {"shock_slow_compression_adjustment", &SetupMenu::shock_slow_compression_adjustment},
    {"shock_rebound_adjustment", &SetupMenu::shock_rebound_adjustment},
    {"shock_slow_rebound_adjustment", &SetupMenu::shock_slow_rebound_adjustment},
    {"shock_spring_rate_adjustment", &SetupMenu::shock_spring_rate_adjustment},
    {"shock_preload_adjustment", &SetupMenu::shock_preload_adjustment},
    {"rider_yspring", &SetupMenu::rider_yspring},
    {"rider_ydamping", &SetupMenu::rider_ydamping},
    {"rider_zspring", &SetupMenu::rider_zspring},
    {"rider_zdamping", &SetupMenu::rider_zdamping},
    {"rider_mass_distribution", &SetupMenu::rider_mass_distribution},
    {"front_sprocket_adjustment", &SetupMenu::front_sprocket_adjustment},
    {"rear_sprocket_adjustment", &SetupMenu::rear_sprocket_adjustment},
    {"leveling", &SetupMenu::leveling},
    {"roll_damping", &SetupMenu::roll_damping},
    {"roll_limit_angle", &SetupMenu::roll_limit_angle},
    {"roll_limit_factor", &SetupMenu::roll_limit_factor},
    {"steering_damping", &SetupMenu::steering_damping},
    {"steering_strength", &SetupMenu::steering_strength},
    {"max_steering_force", &SetupMenu::max_steering_force},
    {"direct_steering", &SetupMenu::direct_steering},
    {"slow_damping_speed", &SetupMenu::slow_damping_speed},
    {"slow_damping_factor", &SetupMenu::slow_damping_factor},
    {"land_damping_falloff", &SetupMenu::land_damping_falloff},
    {"land_damping_factor", &SetupMenu::land_damping_factor},
    {"full_lock_speed", &SetupMenu::full_lock_speed},
    {"restricted_lock_speed", &SetupMenu::restricted_lock_speed},
    {"restricted_lock", &SetupMenu::restricted_lock},
    {"auto_clutch_rpms", &SetupMenu::auto_clutch_rpms},
    {"brake_torque", &SetupMenu::brake_torque},
    {"rear_brake_torque", &SetupMenu::rear_brake_torque},
    {"max_dab_speed", &SetupMenu::max_dab_speed},
};

struct MenuFlag {
    const char* key;
    bool SetupMenu::*field;
};

const MenuFlag k_menu_flags[] = {
    {"front_brake", &SetupMenu::front_brake_antilock}, {"rear_brake", &SetupMenu::rear_brake_antilock},
    {"auto_shift", &SetupMenu::auto_shift},           {"auto_dab", &SetupMenu::auto_dab},
    {"auto_align", &SetupMenu::auto_align},           {"arcade", &SetupMenu::arcade},
};

bool number_from(const char* text, double& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    out = strtod(text, &end);
    return end && *end == 0 && std::isfinite(out);
}

// One setting into the menu record; false with a reason when the key or value is unknown.
bool set_menu_value(SetupMenu& menu, const std::string& pair, std::string& error) {
    size_t eq = pair.find('=');
    if (eq == std::string::npos) {
        error = "'" + pair + "' is not KEY=VALUE";
        return false;
    }
    std::string key = pair.substr(0, eq), value = pair.substr(eq + 1);
    double number = 0;
    bool numeric = number_from(value.c_str(), number);
    for (const MenuKey& k : k_menu_keys)
        if (key == k.key) {
            if (!numeric) break;
            menu.*k.field = static_cast<float>(number);
            return true;
        }
    for (const MenuFlag& f : k_menu_flags)
        if (key == f.key) {
            bool on = value == "yes" || value == "Yes" || value == "antilock" || value == "Antilock" ||
                      (numeric && number != 0);
            menu.*f.field = on;
            return true;
        }
    if (key == "stop_wheelies" && numeric && number >= 0 && number <= 2) {
        menu.stop_wheelies = static_cast<int>(number);
        return true;
    }
    error = "unknown setting or bad value in '" + pair + "'";
    return false;
}

bool parse_options(int argc, char** argv, Options& o, int& status) {
    status = 2;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            status = 0;
            return false;
        }
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need = [&](const char* what) {
            if (!value) fprintf(stderr, "korvane-sim: %s needs %s\n", arg.c_str(), what);
            return value != nullptr;
        };
        double number = 0;
        auto need_number = [&](double low, double high) {
            if (!need("a number")) return false;
            if (!number_from(value, number) || number < low || number > high) {
                fprintf(stderr, "korvane-sim: bad value for %s: '%s'\n", arg.c_str(), value);
                return false;
            }
            return true;
        };
        if (arg == "--model") {
            if (!need("a model name")) return false;
            o.model = value;
        } else if (arg == "--riders") {
            if (!need_number(1, k_max_riders)) return false;
            o.riders = static_cast<int>(number);
        } else if (arg == "--spacing") {
            if (!need_number(0, 1000)) return false;
            o.spacing = number;
        } else if (arg == "--terrain") {
            if (!need("flat, slope, none or track:NAME")) return false;
            o.terrain = value;
            if (o.terrain != "flat" && o.terrain != "slope" && o.terrain != "none" &&
                !(o.terrain.rfind("track:", 0) == 0 && o.terrain.size() > 6)) {
                fprintf(stderr, "korvane-sim: bad terrain '%s'\n", value);
                return false;
            }
        } else if (arg == "--slope") {
            if (!need_number(-60, 60)) return false;
            o.slope_degrees = number;
        } else if (arg == "--heading") {
            if (!need_number(-360, 360)) return false;
            o.heading_degrees = number;
        } else if (arg == "--at") {
            if (!need("X,Z")) return false;
            if (sscanf(value, "%lf,%lf", &o.at_x, &o.at_z) != 2 || !std::isfinite(o.at_x) || !std::isfinite(o.at_z)) {
                fprintf(stderr, "korvane-sim: bad value for --at: '%s'\n", value);
                return false;
            }
            o.at_given = true;
        } else if (arg == "--drop") {
            if (!need_number(0, 1000)) return false;
            o.drop = number;
        } else if (arg == "--speed") {
            if (!need_number(-500, 500)) return false;
            o.speed = number;
        } else if (arg == "--ticks") {
            if (!need_number(0, 1e9)) return false;
            o.ticks = static_cast<long>(number);
        } else if (arg == "--every") {
            if (!need_number(1, 1e9)) return false;
            o.every = static_cast<long>(number);
        } else if (arg == "--script") {
            if (!need("a file")) return false;
            o.script_file = value;
        } else if (arg == "--inputs") {
            if (!need("a script")) return false;
            o.script_text = value;
            for (char& c : o.script_text)
                if (c == ';') c = '\n';
        } else if (arg == "--random") {
            if (!need_number(0, 2147483647)) return false;
            o.random_seed = static_cast<long>(number);
        } else if (arg == "--setup") {
            if (!need("KEY=VALUE")) return false;
            o.setup.push_back(value);
            o.apply_menu = true;
        } else {
            fprintf(stderr, "korvane-sim: unknown option '%s'\n", arg.c_str());
            usage(stderr);
            return false;
        }
        ++i;
    }
    return true;
}

// The quaternion of a turn about y by yaw after a pitch about x, as an axis and an angle.
void start_rotation(double pitch, double yaw, double axis[3], double& angle) {
    double qp[4] = {std::cos(pitch / 2), std::sin(pitch / 2), 0, 0};
    double qy[4] = {std::cos(yaw / 2), 0, std::sin(yaw / 2), 0};
    // q = qy * qp
    double q[4] = {qy[0] * qp[0], qy[0] * qp[1], qy[2] * qp[0], -qy[2] * qp[1]};
    double s = std::sqrt(q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    angle = 2 * std::atan2(s, q[0]);
    if (s < 1e-15) {
        axis[0] = 0;
        axis[1] = 1;
        axis[2] = 0;
        return;
    }
    for (int i = 0; i < 3; ++i) axis[i] = q[i + 1] / s;
}

// Lowest tyre clearance of a rider above the ground.
double tyre_clearance(const Terrain* terrain, const Rider& r) {
    double lowest = 1e300;
    for (const WheelRecord* w : {&r.front_wheel, &r.rear_wheel}) {
        const dReal* c = dBodyGetPosition(w->body);
        double ground = terrain ? sim_ground_height(*terrain, c[0], c[2]) : 0;
        lowest = std::fmin(lowest, c[1] - w->ring_radius - w->tube_radius - ground);
    }
    return lowest;
}

void print_number(std::string& out, double v, const char* format = "%.4f") {
    char text[64];
    if (std::isfinite(v))
        snprintf(text, sizeof text, format, v);
    else
        snprintf(text, sizeof text, "null");
    out += text;
}

void print_rider(long tick, const Rider& r) {
    std::string line = "{\"tick\":" + std::to_string(tick) + ",\"time\":";
    print_number(line, tick * k_tick_length);
    line += ",\"rider\":" + std::to_string(r.slot) + ",\"model\":\"" + r.bike.name + "\",\"position\":[";
    const dReal* p = dBodyGetPosition(rider_frame(r));
    for (int i = 0; i < 3; ++i) {
        if (i) line += ",";
        print_number(line, p[i]);
    }
    line += "],\"speed\":";
    print_number(line, rider_speed(r));
    line += ",\"rpm\":";
    print_number(line, rider_engine_rpm(r), "%.0f");
    line += ",\"gear\":" + std::to_string(r.gear + 1) + ",\"fork_travel\":";
    print_number(line, -rider_fork_position(r));
    line += ",\"shock_travel\":";
    print_number(line, linkage_at(r.bike, -rider_swingarm_angle(r) / r.bike.swingarm_travel).stroke);
    line += ",\"steering\":";
    print_number(line, rider_steering_angle(r));
    line += ",\"lean\":";
    print_number(line, rider_lean_angle(r));
    line += ",\"tyre_loads\":[";
    print_number(line, wheel_tyre_load(r.front_wheel), "%.1f");
    line += ",";
    print_number(line, wheel_tyre_load(r.rear_wheel), "%.1f");
    line += "],\"crashed\":";
    line += r.crash_counter > 0 ? "true" : "false";
    line += "}\n";
    fputs(line.c_str(), stdout);
}

long g_tick = 0;

void on_ode_message(int number, const char* format, va_list args) {
    char text[512];
    vsnprintf(text, sizeof text, format, args);
    fprintf(stderr, "korvane-sim: tick %ld: physics message %d: %s\n", g_tick, number, text);
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    int status = 0;
    if (!parse_options(argc, argv, o, status)) return status;

    SimScript script;
    std::string script_text = o.script_text;
    if (!o.script_file.empty()) {
        std::ifstream in(o.script_file);
        if (!in) {
            fprintf(stderr, "korvane-sim: can't read script '%s'\n", o.script_file.c_str());
            return 2;
        }
        std::stringstream buffer;
        buffer << in.rdbuf();
        script_text += "\n" + buffer.str();
    }
    std::string error;
    if (!sim_script_parse(script_text, script, error)) {
        fprintf(stderr, "korvane-sim: script %s\n", error.c_str());
        return 2;
    }
    // The menu setup starts as a new player's: the built-in settings with the Stability 100 level
    // applied, exactly as the game has it before any configuration is read.
    settings_reset();
    config_startup_defaults();
    SetupMenu menu;
    setup_menu_from_settings(menu);
    for (const std::string& pair : o.setup)
        if (!set_menu_value(menu, pair, error)) {
            fprintf(stderr, "korvane-sim: %s\n", error.c_str());
            return 2;
        }

    Terrain* terrain = nullptr;
    Terrain generated;
    if (o.terrain == "flat" || o.terrain == "slope") {
        sim_make_terrain(generated, 8, o.terrain == "slope" ? o.slope_degrees * k_pi / 180 : 0);
        g_terrain = std::move(generated);
        terrain = &g_terrain;
    } else if (o.terrain.rfind("track:", 0) == 0) {
        std::string folder = "@tracks/" + o.terrain.substr(6);
        if (!load_terrain(g_terrain, folder.c_str(), 0)) {
            fprintf(stderr, "korvane-sim: can't load the terrain of '%s': %s\n", folder.c_str(), message_line(0));
            return 1;
        }
        terrain = &g_terrain;
    }

    if (!world_create()) {
        fprintf(stderr, "korvane-sim: the physics library could not start\n");
        return 1;
    }
    // The physics library's complaints are figures of the trial too: show them, counted per tick.
    dSetMessageHandler(on_ode_message);
    race_reset_state();
    g_race.gate_drop_tick = 0;
    g_race.clock = 0;

    double start_x = o.at_x, start_z = o.at_z;
    if (!o.at_given && terrain) start_x = start_z = terrain->extent / 2;
    double pitch = o.terrain == "slope" ? o.slope_degrees * k_pi / 180 : 0;
    double yaw = o.heading_degrees * k_pi / 180;
    double axis[3], angle = 0;
    start_rotation(pitch, yaw, axis, angle);

    std::vector<Rider*> riders;
    for (int i = 0; i < o.riders; ++i) {
        messages_clear();
        Rider* r = rider_create(o.model.c_str(), i + 1, std::to_string(i + 1).c_str(), nullptr, nullptr, nullptr, nullptr);
        if (!r) {
            fprintf(stderr, "korvane-sim: can't create a rider\n");
            return 1;
        }
        if (i == 0 && message_line(0)[0]) fprintf(stderr, "korvane-sim: %s\n", message_line(0));
        if (o.apply_menu) apply_setup(*r, menu);
        if (angle != 0) rider_rotate(*r, axis[0], axis[1], axis[2], angle);
        // Side by side: each rider one spacing to the right of the one before.
        double x = start_x + std::cos(yaw) * o.spacing * i, z = start_z - std::sin(yaw) * o.spacing * i;
        double ground = terrain ? sim_ground_height(*terrain, x, z) : 0;
        rider_translate(*r, x, ground, z);
        rider_translate(*r, 0, o.drop - tyre_clearance(terrain, *r), 0);
        if (o.speed != 0) {
            double v[3] = {-std::sin(yaw) * o.speed, 0, -std::cos(yaw) * o.speed};
            // Rolling towards -z the top of a wheel moves forwards: a negative turn about its axle (+x).
            double wheel_spin[2] = {-o.speed / (r->bike.front_tyre_ring_radius + r->bike.front_tyre_tube_radius),
                                    -o.speed / (r->bike.rear_tyre_ring_radius + r->bike.rear_tyre_tube_radius)};
            for (dBodyID body : r->bodies) dBodySetLinearVel(body, v[0], v[1], v[2]);
            dVector3 ax;
            dBodyVectorToWorld(r->bodies[BodyFrontWheel], 1, 0, 0, ax);
            dBodySetAngularVel(r->bodies[BodyFrontWheel], ax[0] * wheel_spin[0], ax[1] * wheel_spin[0], ax[2] * wheel_spin[0]);
            dBodyVectorToWorld(r->bodies[BodyRearWheel], 1, 0, 0, ax);
            dBodySetAngularVel(r->bodies[BodyRearWheel], ax[0] * wheel_spin[1], ax[1] * wheel_spin[1], ax[2] * wheel_spin[1]);
        }
        riders.push_back(r);
        g_slots[static_cast<size_t>(i)].rider = r;
        g_slots[static_cast<size_t>(i)].kind = Robot;
    }

    float inputs[ControlCount];
    unsigned long long random_state = static_cast<unsigned long long>(o.random_seed) * 2654435761ull + 1;
    std::vector<float> random_inputs(riders.size() * ControlCount, 0.0f);
    for (long tick = 0; tick <= o.ticks; ++tick) {
        g_tick = tick;
        if (tick % o.every == 0)
            for (const Rider* r : riders) print_rider(tick, *r);
        if (tick == o.ticks) break;
        sim_script_inputs_at(script, tick * k_tick_length, inputs);
        if (o.random_seed >= 0 && tick % 64 == 0)
            for (float& v : random_inputs) {
                random_state = random_state * 6364136223846793005ull + 1442695040888963407ull;
                v = static_cast<float>((random_state >> 33) % 2001) / 1000.0f - 1.0f;
            }
        // Each rider takes the controls as the local rider's input step gives them to it.
        for (size_t i = 0; i < riders.size(); ++i)
            rider_apply_inputs(*riders[i], o.random_seed >= 0 ? &random_inputs[i * ControlCount] : inputs);
        // The world tick's contact step: every rider against the ground and every other rider.
        if (terrain) world_contacts(nullptr, 0);
        world_step();
        for (Rider* r : riders) rider_step(*r);
        ++g_race.clock;
    }
    fflush(stdout);
    for (Rider* r : riders) rider_destroy(r);
    race_reset_state();
    world_destroy();
    return 0;
}
