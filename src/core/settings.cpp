#include "core/settings.h"

#include "sim/bike_info.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const k_binding_default_keys[BindingCount] = {
    "x", "c", "v",     "left", "right", "z", "up", "down", "right ctrl", "b",
    "n", "m", "pause", ".",    "\\",    "/", "[",  "]",    "t",          "s",
};

std::array<Binding, BindingCount> default_bindings() {
    std::array<Binding, BindingCount> list{};
    for (int i = 0; i < BindingCount; ++i)
        list[static_cast<size_t>(i)].key_name = k_binding_default_keys[i];
    return list;
}

Settings g_settings{};

const char* const k_graphics_preset_names[GraphicsPresetCount] = {"Compatibility", "High FPS", "Normal",
                                                                  "High Detail"};

namespace {

const Settings k_defaults{};

std::vector<Setting> g_registry;

// The same field in the default-constructed record: the registry's defaults are the struct's own
// initialisers, so there is one place that states them.
template <class T> const T& default_of(const T* field) {
    std::ptrdiff_t offset = reinterpret_cast<const char*>(field) - reinterpret_cast<const char*>(&g_settings);
    return *reinterpret_cast<const T*>(reinterpret_cast<const char*>(&k_defaults) + offset);
}

const std::vector<std::string> k_no_yes = {"No", "Yes"};

Setting& add(SettingKind kind, const std::string& key, const char* label, bool setup) {
    g_registry.emplace_back();
    Setting& s = g_registry.back();
    s.kind = kind;
    s.key = key;
    s.label = label;
    s.setup = setup;
    return s;
}

void add_integer(const char* key, int* field) {
    Setting& s = add(SettingKind::Integer, key, "", false);
    s.integer = field;
    s.default_integer = default_of(field);
}

Setting& add_text(const std::string& key, const char* label, std::string* field, int max_length, bool setup) {
    Setting& s = add(SettingKind::Text, key, label, setup);
    s.text = field;
    s.default_text = default_of(field);
    s.max_length = max_length;
    return s;
}

Setting& add_choice(const std::string& key, const char* label, int* field, std::vector<std::string> options,
                    bool setup) {
    Setting& s = add(SettingKind::Choice, key, label, setup);
    s.choice = field;
    s.options = std::move(options);
    s.default_choice = default_of(field);
    return s;
}

void add_number(const char* key, const char* label, double* field, double step, double minimum,
                double maximum, bool setup) {
    Setting& s = add(SettingKind::Number, key, label, setup);
    s.number = field;
    s.default_number = default_of(field);
    s.step = step;
    s.minimum = minimum;
    s.maximum = maximum;
}

void add_binding(const char* key, const char* label, BindingId id) {
    Setting& s = add(SettingKind::Binding, key, label, false);
    s.binding = &g_settings.bindings[static_cast<size_t>(id)];
    s.default_key = k_binding_default_keys[id];
}

std::vector<std::string> bike_names() {
    std::vector<std::string> names;
    for (int i = 0; i < k_bike_count; ++i)
        names.push_back(bike_info_at(i).name);
    return names;
}

// The bike setup block, in written order.
void add_setup_block() {
    Settings& g = g_settings;
    add_choice("bike", "Bike", &g.bike, bike_names(), true);
    add_text("name", "Name", &g.name, k_rider_name_length, true);
    add_text("number", "Number", &g.number, k_plate_number_length, true);
    // Seam: the texture manager's variant lists become these options at start-up (and the bike
    // graphics list again whenever the bike changes); until then the stored texts are held.
    add_choice("rider_texture", "Riding Gear", &g.rider_texture, {}, true);
    add_choice("head_texture", "Helmet", &g.head_texture, {}, true);
    add_choice("bike_texture", "Bike Graphics", &g.bike_texture, {}, true);
    add_choice("wheel_texture", "Wheel Graphics", &g.wheel_texture, {}, true);
    add_number("stability", "Stability", &g.stability, 1, 0, 100, true);
    add_number("leveling", "Leveling", &g.leveling, 1, 0, 100, true);
    add_number("roll_damping", "Roll Damping", &g.roll_damping, 1, 0, 100, true);
    add_number("roll_limit_angle", "Roll Limit Angle", &g.roll_limit_angle, 1, 0, 180, true);
    add_number("roll_limit_factor", "Roll Limit Factor", &g.roll_limit_factor, 1, 0, 64, true);
    add_number("steering_damping", "Steering Damping", &g.steering_damping, 1, 0, 100, true);
    add_number("steering_strength", "Steering Strength", &g.steering_strength, 1, 0, 100, true);
    add_number("max_steering_force", "Max Steering Force", &g.max_steering_force, 5, 0, 1000, true);
    add_number("direct_steering", "Direct Steering", &g.direct_steering, 0.125, 0, 1, true);
    add_number("slow_damping_speed", "Slow Damping Speed", &g.slow_damping_speed, 1, 0, 100, true);
    add_number("slow_damping_factor", "Slow Damping Factor", &g.slow_damping_factor, 0.25, 1, 10, true);
    add_number("land_damping_falloff", "Landing Damping Falloff", &g.land_damping_falloff, 0.0625, 0, 0.5,
               true);
    add_number("land_damping_factor", "Landing Damping Factor", &g.land_damping_factor, 0.25, 1, 3, true);
    add_number("full_lock_speed", "Full Lock Speed", &g.full_lock_speed, 1, 1, 100, true);
    add_number("restricted_lock_speed", "Restricted Lock Speed", &g.restricted_lock_speed, 1, 1, 100, true);
    add_number("restricted_lock", "Restricted Lock Angle", &g.restricted_lock, 0.125, 0, 45, true);
    add_choice("arcade", "Arcade Physics", &g.arcade, k_no_yes, true);
    add_choice("front_brake", "Front Brake", &g.front_brake, {"Normal", "Antilock"}, true);
    add_choice("rear_brake", "Rear Brake", &g.rear_brake, {"Normal", "Antilock"}, true);
    add_choice("stop_wheelies", "Stop Wheelies", &g.stop_wheelies, {"No", "Yes", "Front Only"}, true);
    add_choice("auto_shift", "Automatic Shifting", &g.auto_shift, k_no_yes, true);
    add_choice("auto_dab", "Dab When Stopped", &g.auto_dab, k_no_yes, true);
    add_choice("auto_align", "Realign After Fall", &g.auto_align, k_no_yes, true);
    add_choice("sticky_dab", "Sticky Sit/Dab", &g.sticky_dab, k_no_yes, true);
    add_choice("reverse_steering", "Reversed Steering", &g.reverse_steering, k_no_yes, true);
    add_choice("lean_indicator", "Lean Indicator", &g.lean_indicator, k_no_yes, true);
    add_number("auto_clutch_rpms", "Auto Clutch RPMs", &g.auto_clutch_rpms, 100, 0, 5000, true);
    add_number("brake_torque", "Braking Torque (Front)", &g.brake_torque, 10, 0, 500, true);
    add_number("rear_brake_torque", "Braking Torque (Rear)", &g.rear_brake_torque, 10, 0, 500, true);
    add_number("max_dab_speed", "Max Dab Speed (MPH)", &g.max_dab_speed, 1, 5, 60, true);
    add_number("front_sprocket_adjustment", "Countershaft Sprocket", &g.front_sprocket_adjustment, 1, -2, 2,
               true);
    add_number("rear_sprocket_adjustment", "Rear Sprocket", &g.rear_sprocket_adjustment, 1, -2, 2, true);
    struct Click {
        const char* key;
        const char* label;
        double* field;
    };
    const Click clicks[] = {
        {"fork_compression_adjustment", "Fork High Speed Compression Damping",
         &g.fork_compression_adjustment},
        {"fork_slow_compression_adjustment", "Fork Low Speed Compression Damping",
         &g.fork_slow_compression_adjustment},
        {"fork_rebound_adjustment", "Fork High Speed Rebound Damping", &g.fork_rebound_adjustment},
        {"fork_slow_rebound_adjustment", "Fork Low Speed Rebound Damping", &g.fork_slow_rebound_adjustment},
        {"fork_spring_rate_adjustment", "Fork Spring Rate", &g.fork_spring_rate_adjustment},
        {"fork_preload_adjustment", "Fork Preload", &g.fork_preload_adjustment},
        {"fork_oil_level_adjustment", "Fork Oil Level", &g.fork_oil_level_adjustment},
        {"shock_compression_adjustment", "Shock High Speed Compression Damping",
         &g.shock_compression_adjustment},
        {"shock_slow_compression_adjustment", "Shock Low Speed Compression Damping",
         &g.shock_slow_compression_adjustment},
        {"shock_rebound_adjustment", "Shock High Speed Rebound Damping", &g.shock_rebound_adjustment},
        {"shock_slow_rebound_adjustment", "Shock Low Speed Rebound Damping",
         &g.shock_slow_rebound_adjustment},
        {"shock_spring_rate_adjustment", "Shock Spring Rate", &g.shock_spring_rate_adjustment},
        {"shock_preload_adjustment", "Shock Preload", &g.shock_preload_adjustment},
        {"rider_yspring", "Rider Vertical Spring", &g.rider_yspring},
        {"rider_ydamping", "Rider Vertical Damping", &g.rider_ydamping},
        {"rider_zspring", "Rider Forward Spring", &g.rider_zspring},
        {"rider_zdamping", "Rider Forward Damping", &g.rider_zdamping},
    };
    for (const Click& c : clicks)
        add_number(c.key, c.label, c.field, 1, 0, 100, true);
    add_number("rider_mass_distribution", "Rider Mass Distribution", &g.rider_mass_distribution, 0.01, 0.33,
               0.5, true);
}

void build_registry() {
    if (!g_registry.empty()) return;
    g_registry.reserve(256);
    Settings& g = g_settings;
    add_integer("xres", &g.xres);
    add_integer("yres", &g.yres);
    add_integer("draw_fps", &g.draw_fps);
    add_integer("draw_time", &g.draw_time);
    add_integer("draw_ping", &g.draw_ping);
    add_integer("spy", &g.spy);
    add_text("track", "", &g.track, k_setting_line_length, false);
    add_choice("record", "Record Demo", &g.record, k_no_yes, false);
    add_choice("skill", "Robot Skill", &g.skill, {"Novice", "Amateur", "Expert"}, false);
    add_number("minutes", "Minutes", &g.minutes, 1, 0, 60, false);
    add_number("laps", "Laps", &g.laps, 1, 0, 50, false);
    for (int i = 0; i < k_gate_choices; ++i) {
        char key[16], label[16];
        snprintf(key, sizeof key, "slot%02d", i);
        snprintf(label, sizeof label, "Gate %d", i + 1);
        add_choice(key, label, &g.slots[static_cast<size_t>(i)],
                   {"Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"}, false);
    }
    add_number("ghost_fade_distance", "Ghost Fade Distance", &g.ghost_fade_distance, 1, 0, 40, false);
    add_choice("time_trial_abort", "Backing Up Aborts Attempt", &g.time_trial_abort, k_no_yes, false);
    add_setup_block();
    // The full list is set once the display modes are known.
    add_choice("video_mode", "Video Mode", &g.video_mode, {"Default Fullscreen", "Windowed"}, false);
    add_text("server_name", "Server", &g.server_name, k_server_name_length, false);
    for (int i = 0; i < k_server_history; ++i) {
        char key[32];
        snprintf(key, sizeof key, "server_name_hist%02d", i);
        // A history entry too long for the field is dropped, not cut into another server's name.
        add_text(key, "", &g.server_history[static_cast<size_t>(i)], k_server_name_length - 1, false)
            .reject_long = true;
    }
    add_number("ground_detail", "Ground Geometric Detail", &g.ground_detail, 1, 0, 100, false);
    add_number("ground_texture_detail", "Ground Texture Levels", &g.ground_texture_detail, 1, 0, 10, false);
    add_choice("ground_texture_dim", "Ground Texture Resolution", &g.ground_texture_dim,
               {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"}, false);
    add_choice("ground_mipmaps", "Enable Ground Mipmaps", &g.ground_mipmaps, k_no_yes, false);
    add_choice("texture_compress", "Compress Textures", &g.texture_compress, {"No", "Yes", "Always"}, false);
    add_choice("render_texture", "Terrain Rendering Method", &g.render_texture,
               {"Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy", "Shaders/Direct"}, false);
    add_choice("use_shader", "Use Shader Programs", &g.use_shader, k_no_yes, false);
    add_number("roost_density", "Roost Density", &g.roost_density, 10, 0, 1000, false);
    add_choice("lens_flare", "Enable Lens Flares", &g.lens_flare, k_no_yes, false);
    add_choice("reflections", "Enable Reflections", &g.reflections, k_no_yes, false);
    add_choice("hide_rider", "Hide 1st Person Rider", &g.hide_rider, k_no_yes, false);
    add_choice("rigid_camera", "Rigid 3rd person camera", &g.rigid_camera, k_no_yes, false);
    add_number("model_detail", "Model Geometric Detail", &g.model_detail, 1, 0, 100, false);
    add_number("model_texture_detail", "Model Texture Detail", &g.model_texture_detail, 1, 0, 10, false);
    add_number("fov", "Field Of View", &g.fov, 1, 10, 170, false);
    add_number("first_person_height", "1st Person Height", &g.first_person_height, 0.03125, 0, 1, false);
    add_number("first_person_angle", "1st Person Angle", &g.first_person_angle, 1, 0, 40, false);
    add_number("third_person_height", "3rd Person Height", &g.third_person_height, 0.5, 0, 20, false);
    add_number("third_person_distance", "3rd Person Distance", &g.third_person_distance, 0.5, 5, 40, false);
    add_number("volume", "Volume", &g.volume, 1, 0, 10, false);
    add_number("comp_volume", "Competitor Volume", &g.comp_volume, 1, 0, 10, false);
    add_choice("playback_mode", "Playback Mode", &g.playback_mode, {"Playback Only", "Race Against"}, false);
    add_integer("billboard_optimize_lookahead", &g.billboard_optimize_lookahead);
    add_integer("message_lines", &g.message_lines);
    add_integer("demo_backups", &g.demo_backups);
    add_number("map_scale", "", &g.map_scale, 0.125, 0.125, 8, false);
    add_binding("throttle_key", "Throttle", BindThrottle);
    add_binding("front_brake_key", "Front Brake", BindFrontBrake);
    add_binding("rear_brake_key", "Rear Brake", BindRearBrake);
    add_binding("left_key", "Left", BindLeft);
    add_binding("right_key", "Right", BindRight);
    add_binding("clutch_key", "Clutch", BindClutch);
    add_binding("upshift_key", "Upshift", BindUpshift);
    add_binding("downshift_key", "Downshift", BindDownshift);
    add_binding("dab_key", "Sit/Dab", BindDab);
    add_binding("back_up_key", "Back up", BindBackUp);
    add_binding("lean_forward_key", "Lean Forward", BindLeanForward);
    add_binding("lean_backward_key", "Lean Backward", BindLeanBackward);
    add_binding("pause_key", "Pause", BindPause);
    add_binding("step_key", "Step", BindStep);
    add_binding("rewind_key", "Rewind", BindRewind);
    add_binding("skip_key", "Skip", BindSkip);
    add_binding("prev_key", "Previous Bike", BindPrevBike);
    add_binding("next_key", "Next Bike", BindNextBike);
    add_binding("console_key", "Chat", BindConsole);
    add_binding("screenshot_key", "Screenshot", BindScreenshot);
    // Read from older files, never written.
    add_choice("use_fbo", "Use Framebuffer Objects", &g.use_fbo, k_no_yes, false).written = false;
}

// Reads "%d" as a whole int: a value that does not start with a number, or does not fit, does not
// read.
bool read_int(const char* text, int& out) {
    errno = 0;
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (end == text || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

std::string format_double(double v) {
    char buffer[512];
    snprintf(buffer, sizeof buffer, "%f", v);
    return buffer;
}

} // namespace

int settings_count() {
    build_registry();
    return static_cast<int>(g_registry.size());
}

Setting& setting_at(int i) {
    build_registry();
    return g_registry[static_cast<size_t>(i)];
}

Setting* setting_find(const char* key) {
    build_registry();
    if (!key) return nullptr;
    for (Setting& s : g_registry)
        if (s.key == key) return &s;
    return nullptr;
}

Setting* setting_find_label(const char* label) {
    build_registry();
    if (!label || !label[0]) return nullptr;
    for (Setting& s : g_registry)
        if (s.label == label) return &s;
    return nullptr;
}

void settings_reset() {
    build_registry();
    g_settings = Settings{};
    for (Setting& s : g_registry)
        s.held.clear();
}

void setting_set_number(Setting& s, double value) {
    if (s.kind != SettingKind::Number || std::isnan(value)) return;
    *s.number = value < s.minimum ? s.minimum : value > s.maximum ? s.maximum : value;
}

void setting_set_choice(Setting& s, int index) {
    if (s.kind != SettingKind::Choice || s.options.empty()) return;
    int n = static_cast<int>(s.options.size());
    *s.choice = ((index % n) + n) % n;
}

std::string setting_choice_text(const Setting& s) {
    if (s.kind != SettingKind::Choice) return "";
    if (s.options.empty()) return s.held;
    int i = *s.choice;
    if (i < 0 || i >= static_cast<int>(s.options.size())) i = 0;
    return s.options[static_cast<size_t>(i)];
}

void setting_set_options(Setting& s, const std::vector<std::string>& options) {
    if (s.kind != SettingKind::Choice) return;
    std::string text = setting_choice_text(s);
    s.options = options;
    s.held.clear();
    *s.choice = 0;
    if (options.empty()) {
        s.held = text;
        return;
    }
    for (size_t i = 0; i < options.size(); ++i)
        if (options[i] == text) {
            *s.choice = static_cast<int>(i);
            break;
        }
}

bool settings_set_options(const char* key, const std::vector<std::string>& options) {
    Setting* s = setting_find(key);
    if (!s || s->kind != SettingKind::Choice) return false;
    setting_set_options(*s, options);
    return true;
}

bool setting_read(Setting& s, const char* value) {
    if (!value) return false;
    switch (s.kind) {
    case SettingKind::Choice:
        if (s.options.empty()) {
            s.held.assign(value, strnlen(value, k_setting_line_length));
            return true;
        }
        for (size_t i = 0; i < s.options.size(); ++i)
            if (s.options[i] == value) {
                *s.choice = static_cast<int>(i);
                return true;
            }
        return false;
    case SettingKind::Number: {
        double v = 0;
        if (sscanf(value, "%lf", &v) != 1 || std::isnan(v)) return false;
        setting_set_number(s, v);
        return true;
    }
    case SettingKind::Text: {
        size_t limit = static_cast<size_t>(s.max_length);
        size_t length = strnlen(value, limit + 1);
        if (length > limit) {
            if (s.reject_long) return false;
            length = limit;
        }
        s.text->assign(value, length);
        return true;
    }
    case SettingKind::Integer:
        return read_int(value, *s.integer);
    case SettingKind::Binding:
        binding_parse(*s.binding, value);
        return true;
    }
    return false;
}

std::string setting_value_text(const Setting& s) {
    switch (s.kind) {
    case SettingKind::Choice:
        return setting_choice_text(s);
    case SettingKind::Number:
        return format_double(*s.number);
    case SettingKind::Text:
        return *s.text;
    case SettingKind::Integer:
        return std::to_string(*s.integer);
    case SettingKind::Binding:
        return binding_text(*s.binding);
    }
    return "";
}

bool binding_bound(const Binding& b) {
    return !b.key_name.empty() || !b.axis_name.empty();
}

void binding_parse(Binding& b, const char* value) {
    while (*value == ' ')
        ++value;
    b = Binding{};
    const char* close = value[0] == '(' ? strchr(value, ')') : nullptr;
    float lo = 0, hi = 0;
    if (close && sscanf(value, "(%f,%f)", &lo, &hi) == 2) {
        // A calibration that is not a finite number (a hand-edited "nan") would turn every reading
        // of the axis into NaN; such an axis keeps the plain 0..1 range instead.
        if (std::isfinite(lo) && std::isfinite(hi)) {
            b.axis_min = lo;
            b.axis_max = hi;
        }
        b.axis_name = close + 1;
    } else if (strncmp(value, "(k)", 3) == 0) {
        b.key_name = value + 3;
    } else {
        b.key_name = value;
    }
}

std::string binding_text(const Binding& b) {
    if (!b.axis_name.empty()) {
        char range[256];
        snprintf(range, sizeof range, "(%f,%f)", static_cast<double>(b.axis_min),
                 static_cast<double>(b.axis_max));
        return range + b.axis_name;
    }
    if (!b.key_name.empty()) return "(k)" + b.key_name;
    return "";
}

namespace {

// Columns are the levels 0 to 5.
struct StabilityRow {
    double Settings::*field;
    double level[6];
};
const StabilityRow k_stability_table[] = {
    {&Settings::leveling, {20, 20, 20, 20, 20, 20}},
    {&Settings::roll_damping, {40, 50, 60, 70, 75, 80}},
    {&Settings::roll_limit_angle, {90, 45, 45, 40, 35, 35}},
    {&Settings::roll_limit_factor, {0, 5, 10, 32, 32, 32}},
    {&Settings::steering_damping, {45, 45, 45, 45, 45, 45}},
    {&Settings::steering_strength, {75, 75, 75, 75, 75, 75}},
    {&Settings::direct_steering, {1, 1, 1, 1, 1, 0}},
    {&Settings::max_steering_force, {400, 400, 400, 400, 400, 400}},
    {&Settings::slow_damping_speed, {40, 40, 40, 40, 40, 40}},
    {&Settings::slow_damping_factor, {1, 1, 1.5, 2, 2, 2}},
    {&Settings::land_damping_falloff, {0, 0.125, 0.25, 0.25, 0.25, 0.25}},
    {&Settings::land_damping_factor, {1, 1.5, 2, 2, 2, 2}},
    {&Settings::full_lock_speed, {10, 10, 10, 10, 10, 10}},
    {&Settings::restricted_lock_speed, {50, 50, 50, 50, 50, 50}},
    {&Settings::restricted_lock, {45, 15, 10, 5, 5, 5}},
};

// The twelve graphics settings, with their values per preset (choices by option index).
struct PresetRow {
    const char* key;
    double value[GraphicsPresetCount];
};
const PresetRow k_preset_table[] = {
    {"ground_detail", {70, 50, 70, 90}},
    {"ground_texture_detail", {9, 7, 9, 10}},
    {"ground_texture_dim", {1, 1, 2, 3}},
    {"ground_mipmaps", {1, 1, 1, 1}},
    {"texture_compress", {0, 1, 1, 0}},
    {"render_texture", {RenderSoftware, RenderHardwareDirect, RenderShadersDirect, RenderShadersDirect}},
    {"use_shader", {1, 0, 1, 1}},
    {"model_detail", {50, 25, 50, 75}},
    {"model_texture_detail", {9, 7, 9, 10}},
    {"roost_density", {1000, 0, 1000, 1000}},
    {"lens_flare", {1, 0, 1, 1}},
    {"reflections", {1, 0, 1, 1}},
};

} // namespace

void stability_apply(double stability) {
    double x = stability * 5 * 0.01;
    if (!(x >= 0)) x = 0; // NaN too
    if (x > 5) x = 5;
    int n = static_cast<int>(std::floor(x));
    n = n > 4 ? 4 : n;
    double f = x - n;
    for (const StabilityRow& row : k_stability_table) {
        double v = row.level[n] + f * (row.level[n + 1] - row.level[n]);
        // Through the registry, so the value meets the same clamp as one read from a file.
        for (int i = 0; i < settings_count(); ++i) {
            Setting& s = setting_at(i);
            if (s.number == &(g_settings.*row.field)) {
                setting_set_number(s, v);
                break;
            }
        }
    }
}

void graphics_preset_apply(GraphicsPreset preset) {
    if (preset < 0 || preset >= GraphicsPresetCount) return;
    for (const PresetRow& row : k_preset_table) {
        Setting* s = setting_find(row.key);
        if (s->kind == SettingKind::Number)
            setting_set_number(*s, row.value[preset]);
        else
            setting_set_choice(*s, static_cast<int>(row.value[preset]));
    }
}

int graphics_preset_current() {
    for (int p = 0; p < GraphicsPresetCount; ++p) {
        bool equal = true;
        for (const PresetRow& row : k_preset_table) {
            const Setting* s = setting_find(row.key);
            double v = s->kind == SettingKind::Number ? *s->number : *s->choice;
            if (v != row.value[p]) equal = false;
        }
        if (equal) return p;
    }
    return -1;
}

std::string settings_bike_name() {
    const Setting* s = setting_find("bike");
    std::string name = setting_choice_text(*s);
    return name.empty() ? std::string(bike_info_at(0).name) : name;
}

void server_history_push(const std::string& name) {
    if (name.empty() || name == g_settings.server_history[0]) return;
    for (int i = k_server_history - 1; i > 0; --i)
        g_settings.server_history[i] = g_settings.server_history[i - 1];
    g_settings.server_history[0] = name;
}
