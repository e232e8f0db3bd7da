#include "core/setups.h"

#include "core/config.h"
#include "core/messages.h"
#include "core/settings.h"
#include "data/search_paths.h"
#include "data/stream.h"
#include "render/texture_manager.h"
#include "sim/bike_info.h"
#include "sim/setup.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace {

// Models renamed when their newer years joined the list.
constexpr const char* k_old_bike_names[][2] = {
    {"crf250", "crf250(2008)"},
    {"kx250f", "kx250f(2008)"},
    {"rmz250", "rmz250(2008)"},
    {"yz250f", "yz250f(2008)"},
};

bool name_allowed(const std::string& name) {
    if (name.empty() || name.size() > static_cast<size_t>(k_setup_name_max) || name[0] == '.') return false;
    for (unsigned char c : name)
        if (c == '/' || c == '\\' || c < 32 || c == 127) return false;
    return true;
}

std::string trim_trailing_space(const char* name) {
    std::string s = name ? name : "";
    while (!s.empty() && (s.back() == ' ' || (s.back() >= '\t' && s.back() <= '\r')))
        s.pop_back();
    return s;
}

std::string strip_gz(const std::string& name) {
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0)
        return name.substr(0, name.size() - 3);
    return name;
}

} // namespace

namespace {

std::vector<std::string> labels_of(const std::vector<TextureVariant>& variants) {
    std::vector<std::string> labels;
    for (const TextureVariant& v : variants)
        labels.push_back(v.label);
    return labels;
}

} // namespace

void setup_texture_options_from_choices() {
    settings_set_options("rider_texture", labels_of(g_texture_choices.rider_body));
    settings_set_options("head_texture", labels_of(g_texture_choices.rider_head));
    settings_set_options("bike_texture", labels_of(g_texture_choices.bike));
    settings_set_options("wheel_texture", labels_of(g_texture_choices.wheels));
}

void setup_bike_chosen() {
    const BikeInfo* info = bike_info_by_name(settings_bike_name().c_str());
    if (!info) info = &bike_info_at(0);
    g_texture_choices.bike = list_texture_variants(texture_variant_prefix(info->bike_texture).c_str());
    Setting* graphics = setting_find("bike_texture");
    setting_set_options(*graphics, labels_of(g_texture_choices.bike));
    graphics->held.clear();
    *graphics->choice = 0;
}

bool setup_read_line(const char* key, const char* value) {
    Setting* s = setting_find(key);
    if (!s || !s->setup) return false;
    if (strcmp(key, "bike") == 0) {
        for (const auto& pair : k_old_bike_names)
            if (strcmp(value, pair[0]) == 0) value = pair[1];
        if (setting_read(*s, value)) setup_bike_chosen();
        return true;
    }
    if (strcmp(key, "stability") == 0) {
        if (setting_read(*s, value)) stability_apply(g_settings.stability);
        return true;
    }
    setting_read(*s, value);
    return true;
}

bool setup_write(DataStream* stream) {
    bool ok = true;
    for (int i = 0; i < settings_count(); ++i) {
        const Setting& s = setting_at(i);
        if (s.setup && s.written) ok = config_write_setting(stream, s) && ok;
    }
    return ok;
}

bool setup_file_name(const char* name, std::string& relative) {
    std::string trimmed = trim_trailing_space(name);
    if (!name_allowed(trimmed)) {
        add_messagef("Bad setup name '%.60s'", trimmed.c_str());
        return false;
    }
    relative = "setups/" + trimmed;
    return true;
}

bool setup_file_read(const char* name) {
    std::string relative;
    if (!setup_file_name(name, relative)) return false;
    DataStream* stream = stream_open(("@" + relative).c_str(), "r");
    if (!stream) return false;
    config_read_stream(stream, true);
    stream_close(stream);
    setup_menu_from_settings(g_setup_menu);
    return true;
}

bool setup_file_write(const char* name) {
    std::string relative;
    if (!setup_file_name(name, relative)) return false;
    return home_file_write(relative.c_str(), setup_write, "setup");
}

std::vector<std::string> setup_files_list() {
    std::vector<std::string> names;
    for (int r = 0; r < search_root_count(); ++r) {
        std::string folder = path_join(search_root(r), "setups");
        DIR* dir = opendir(folder.c_str());
        if (!dir) continue;
        while (dirent* entry = readdir(dir)) {
            std::string file = entry->d_name;
            struct stat st {};
            if (stat((folder + "/" + file).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
            file = strip_gz(file);
            if (name_allowed(file)) names.push_back(file);
        }
        closedir(dir);
    }
    for (const std::string& data_name : data_file_names()) {
        if (data_name.compare(0, 7, "setups/") != 0) continue;
        std::string file = strip_gz(data_name.substr(7));
        if (name_allowed(file)) names.push_back(file);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void setup_menu_from_settings(SetupMenu& m) {
    const Settings& g = g_settings;
    auto f = [](double v) { return static_cast<float>(v); };
    m.fork_compression_adjustment = f(g.fork_compression_adjustment);
    m.fork_slow_compression_adjustment = f(g.fork_slow_compression_adjustment);
    m.fork_rebound_adjustment = f(g.fork_rebound_adjustment);
    m.fork_slow_rebound_adjustment = f(g.fork_slow_rebound_adjustment);
    m.fork_spring_rate_adjustment = f(g.fork_spring_rate_adjustment);
    m.fork_preload_adjustment = f(g.fork_preload_adjustment);
    m.fork_oil_level_adjustment = f(g.fork_oil_level_adjustment);
    m.shock_compression_adjustment = f(g.shock_compression_adjustment);
    m.shock_slow_compression_adjustment = f(g.shock_slow_compression_adjustment);
    m.shock_rebound_adjustment = f(g.shock_rebound_adjustment);
    m.shock_slow_rebound_adjustment = f(g.shock_slow_rebound_adjustment);
    m.shock_spring_rate_adjustment = f(g.shock_spring_rate_adjustment);
    m.shock_preload_adjustment = f(g.shock_preload_adjustment);
    m.rider_yspring = f(g.rider_yspring);
    m.rider_ydamping = f(g.rider_ydamping);
    m.rider_zspring = f(g.rider_zspring);
    m.rider_zdamping = f(g.rider_zdamping);
    m.rider_mass_distribution = f(g.rider_mass_distribution);
    m.front_sprocket_adjustment = f(g.front_sprocket_adjustment);
    m.rear_sprocket_adjustment = f(g.rear_sprocket_adjustment);
    m.leveling = f(g.leveling);
    m.roll_damping = f(g.roll_damping);
    m.roll_limit_angle = f(g.roll_limit_angle);
    m.roll_limit_factor = f(g.roll_limit_factor);
    m.steering_damping = f(g.steering_damping);
    m.steering_strength = f(g.steering_strength);
    m.max_steering_force = f(g.max_steering_force);
    m.direct_steering = f(g.direct_steering);
    m.slow_damping_speed = f(g.slow_damping_speed);
    m.slow_damping_factor = f(g.slow_damping_factor);
    m.land_damping_falloff = f(g.land_damping_falloff);
    m.land_damping_factor = f(g.land_damping_factor);
    m.full_lock_speed = f(g.full_lock_speed);
    m.restricted_lock_speed = f(g.restricted_lock_speed);
    m.restricted_lock = f(g.restricted_lock);
    m.auto_clutch_rpms = f(g.auto_clutch_rpms);
    m.brake_torque = f(g.brake_torque);
    m.rear_brake_torque = f(g.rear_brake_torque);
    m.max_dab_speed = f(g.max_dab_speed);
    m.stop_wheelies = g.stop_wheelies;
    m.front_brake_antilock = g.front_brake == 1;
    m.rear_brake_antilock = g.rear_brake == 1;
    m.auto_shift = g.auto_shift == ChoiceYes;
    m.auto_dab = g.auto_dab == ChoiceYes;
    m.auto_align = g.auto_align == ChoiceYes;
    m.arcade = g.arcade == ChoiceYes;
}
