#pragma once
// The player's settings and their registry.
//
// Settings holds the current values as plain fields, so the code that uses a setting reads it
// directly (g_settings.fov). The registry describes every stored setting once: its file key, its
// menu label, its kind (choice, number, text, integer or binding), its default and, by kind, its
// options, step, range or length limit, with a pointer to the field that holds it. The
// configuration file, the setup files, and later the menus, the console and the HUD list, read and
// change settings only through the registry, so every path clamps and matches the same way.
//
// The registry's order is the order in which the configuration file is written.
#include <array>
#include <string>
#include <vector>

constexpr int k_server_history = 16;
constexpr int k_gate_choices = 40;          // "slot00" ... "slot39"
constexpr int k_server_name_length = 127;   // "server_name" and its history entries
constexpr int k_rider_name_length = 63;     // "name"
constexpr int k_plate_number_length = 3;    // "number"
constexpr int k_setting_line_length = 1023; // the longest line the files carry

// The controls stored as bindings, in the order they are written.
enum BindingId {
    BindThrottle,
    BindFrontBrake,
    BindRearBrake,
    BindLeft,
    BindRight,
    BindClutch,
    BindUpshift,
    BindDownshift,
    BindDab,
    BindBackUp,
    BindLeanForward,
    BindLeanBackward,
    BindPause,
    BindStep,
    BindRewind,
    BindSkip,
    BindPrevBike,
    BindNextBike,
    BindConsole,
    BindScreenshot,
    BindingCount
};

// A control's stored binding: a key name, or an axis name with its calibration (the raw value that
// reads as 0 and as 1). Neither name set means unbound.
struct Binding {
    std::string key_name;
    std::string axis_name;
    float axis_min = 0;
    float axis_max = 1;
};

// The key each control has when no file names one.
extern const char* const k_binding_default_keys[BindingCount];
std::array<Binding, BindingCount> default_bindings();

// Option indices of the choices that code tests by value.
enum NoYes { ChoiceNo = 0, ChoiceYes = 1 };
enum RenderTextureMethod {
    RenderSoftware,
    RenderHardwareCopy,
    RenderHardwareDirect,
    RenderShadersCopy,
    RenderShadersDirect
};
enum GraphicsPreset {
    PresetCompatibility,
    PresetHighFps,
    PresetNormal,
    PresetHighDetail,
    GraphicsPresetCount
};

struct Settings {
    int xres = 640;
    int yres = 480;
    int draw_fps = 0;
    int draw_time = 0;
    int draw_ping = 1;
    int draw_render_stats = 0; // command line only, never stored
    int spy = 0;
    std::string track = "tarnwick";
    int record = ChoiceNo;
    int skill = 0; // "Novice", "Amateur", "Expert"
    double minutes = 0;
    double laps = 5;
    std::array<int, k_gate_choices>
        slots{}; // "Empty", "Human", "Robot", "Robot (2 stroke)", "Robot (4 stroke)"
    double ghost_fade_distance = 10;
    int time_trial_abort = ChoiceYes;

    // The bike setup.
    int bike = 0; // index into the bike list
    std::string name = "Tovrik";
    std::string number = "999";
    int rider_texture = 0;
    int head_texture = 0;
    int bike_texture = 0;
    int wheel_texture = 0;
    double stability = 100;
    double leveling = 20;
    double roll_damping = 60;
    double roll_limit_angle = 45; // degrees
    double roll_limit_factor = 10;
    double steering_damping = 45;
    double steering_strength = 75;
    double max_steering_force = 400;
    double direct_steering = 1;
    double slow_damping_speed = 40;
    double slow_damping_factor = 2;
    double land_damping_falloff = 0.25;
    double land_damping_factor = 2;
    double full_lock_speed = 10;
    double restricted_lock_speed = 50;
    double restricted_lock = 7.5; // degrees
    int arcade = ChoiceYes;
    int front_brake = 1; // "Normal", "Antilock"
    int rear_brake = 0;
    int stop_wheelies = 0; // "No", "Yes", "Front Only"
    int auto_shift = ChoiceYes;
    int auto_dab = ChoiceYes;
    int auto_align = ChoiceYes;
    int sticky_dab = ChoiceNo;
    int reverse_steering = ChoiceYes;
    int lean_indicator = ChoiceYes;
    double auto_clutch_rpms = 5000;
    double brake_torque = 250;
    double rear_brake_torque = 250;
    double max_dab_speed = 20; // mph
    double front_sprocket_adjustment = 0;
    double rear_sprocket_adjustment = 0;
    double fork_compression_adjustment = 50;
    double fork_slow_compression_adjustment = 50;
    double fork_rebound_adjustment = 50;
    double fork_slow_rebound_adjustment = 50;
    double fork_spring_rate_adjustment = 50;
    double fork_preload_adjustment = 50;
    double fork_oil_level_adjustment = 50;
    double shock_compression_adjustment = 50;
    double shock_slow_compression_adjustment = 50;
    double shock_rebound_adjustment = 50;
    double shock_slow_rebound_adjustment = 50;
    double shock_spring_rate_adjustment = 50;
    double shock_preload_adjustment = 50;
    double rider_yspring = 50;
    double rider_ydamping = 50;
    double rider_zspring = 50;
    double rider_zdamping = 50;
    double rider_mass_distribution = 0.33;

    int video_mode = 0; // index into the video mode list: 0 default full-screen, 1 windowed
    std::string server_name = "localhost";
    std::array<std::string, k_server_history> server_history{};
    double ground_detail = 50;
    double ground_texture_detail = 9;
    int ground_texture_dim = 2; // "32x32" ... "1024x1024"
    int ground_mipmaps = ChoiceYes;
    int texture_compress = ChoiceYes; // "No", "Yes", "Always"
    int render_texture = RenderHardwareDirect;
    int use_shader = ChoiceYes;
    double roost_density = 250;
    int lens_flare = ChoiceYes;
    int reflections = ChoiceYes;
    int hide_rider = ChoiceNo;
    int rigid_camera = ChoiceNo;
    double model_detail = 50;
    double model_texture_detail = 9;
    double fov = 110;
    double first_person_height = 0;
    double first_person_angle = 0;
    double third_person_height = 5;
    double third_person_distance = 10;
    double volume = 10;
    double comp_volume = 8;
    int playback_mode = 0; // "Playback Only", "Race Against"
    int billboard_optimize_lookahead = 8;
    int message_lines = 5;
    int demo_backups = 0;
    double map_scale = 1.0;
    std::array<Binding, BindingCount> bindings = default_bindings();

    int use_fbo = ChoiceYes; // read from older files only
};

extern Settings g_settings;

enum class SettingKind { Choice, Number, Text, Integer, Binding };

// One registered setting. The value lives in g_settings; the pointer of the setting's kind points
// at it, the others are null.
struct Setting {
    std::string key;
    std::string label; // the menu label; empty for settings no widget shows
    SettingKind kind = SettingKind::Integer;
    bool setup = false;  // part of the bike setup (setup files and the configuration's setup block)
    bool written = true; // false for keys only read from older files

    // Choice: the current option's index. An empty option list (one that is built later, like the
    // texture lists) keeps the stored text in `held` so that it survives until the list exists.
    int* choice = nullptr;
    std::vector<std::string> options;
    int default_choice = 0;
    std::string held;

    // Number: clamped to [minimum, maximum] whenever it is set; `step` is the menus' increment.
    double* number = nullptr;
    double default_number = 0, step = 1, minimum = 0, maximum = 0;

    // Text: at most max_length characters. With reject_long, a longer value is ignored instead of
    // being cut.
    std::string* text = nullptr;
    std::string default_text;
    int max_length = k_setting_line_length;
    bool reject_long = false;

    // Integer.
    int* integer = nullptr;
    int default_integer = 0;

    // Binding, with the key it has when no file names one.
    Binding* binding = nullptr;
    std::string default_key;
};

// The registry, in written order. Built on first use.
int settings_count();
Setting& setting_at(int i);
// Lookup by exact key or exact label; null when there is none.
Setting* setting_find(const char* key);
Setting* setting_find_label(const char* label);
// Puts every setting back to its default (the record's own initialisers) and empties the held texts
// of list-less choices. Option lists set at run time are kept (tests).
void settings_reset();

// Reads a stored value into a setting by its kind: a choice by exact option text (no match leaves it
// unchanged), a number with "%f" and clamped (a value that does not read, or is not a number, leaves
// it unchanged), a text cut to its length (or ignored when too long and reject_long), an integer
// with "%d" (unchanged when it does not read or does not fit), a binding by its syntax. True when
// the setting changed or was set.
bool setting_read(Setting& setting, const char* value);
// The stored form of the value: the option text, "%f", the text, "%d", or the binding forms. A
// binding that is unbound gives "" (and is not written).
std::string setting_value_text(const Setting& setting);
// The current option's text, or the held text when the option list is empty.
std::string setting_choice_text(const Setting& setting);
// Sets a number clamped to its range (NaN leaves it unchanged).
void setting_set_number(Setting& setting, double value);
// Sets a choice's index, wrapping around the option list as the menus' left and right keys do.
void setting_set_choice(Setting& setting, int index);
// Replaces a choice's option list. The held text (or the current option's text) is looked up in the
// new list; when it is absent the first option is chosen.
void setting_set_options(Setting& setting, const std::vector<std::string>& options);
// The same by key; false when there is no such choice.
bool settings_set_options(const char* key, const std::vector<std::string>& options);

// Bindings. parse: leading spaces skipped; "(min,max)name" binds an axis, "(k)name" or "name" a key.
void binding_parse(Binding& binding, const char* value);
// "(k)name" for a key, "(%f,%f)name" for an axis, "" when unbound.
std::string binding_text(const Binding& binding);
bool binding_bound(const Binding& binding);

// The stability level: the Stability value (0..100) sets fifteen stability settings at once,
// interpolating between six levels.
void stability_apply(double stability);

// The graphics presets: the twelve graphics settings in one step, and which preset (if any) they
// currently equal (-1 for none: "Custom").
void graphics_preset_apply(GraphicsPreset preset);
int graphics_preset_current();
extern const char* const k_graphics_preset_names[GraphicsPresetCount]; // "Compatibility", ...

// The chosen bike's name ("450sxf(2016)" when the list is empty).
std::string settings_bike_name();

// Puts a server name at the top of the history unless it is empty or already there.
void server_history_push(const std::string& name);
