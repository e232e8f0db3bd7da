#include "core/config.h"

#include "core/command_line.h"
#include "core/messages.h"
#include "core/settings.h"
#include "core/setups.h"
#include "data/search_paths.h"
#include "data/stream.h"
#include "platform/log.h"
#include "sim/setup.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

DerivedRenderParams g_render_params{};

bool config_split_line(char* line, const char** key, const char** value) {
    char* equals = strchr(line, '=');
    if (!equals) return false;
    *equals = 0;
    char* v = equals + 1;
    size_t length = strlen(v);
    while (length > 0 && (v[length - 1] == '\r' || v[length - 1] == '\n'))
        v[--length] = 0;
    *key = line;
    *value = v;
    return true;
}

void config_read_stream(DataStream* stream, bool setup_only) {
    char line[k_config_line_size];
    while (stream_gets(stream, line, sizeof line)) {
        size_t length = strlen(line);
        if (length == sizeof line - 1 && line[length - 1] != '\n') {
            // An over-long line: take its first part and drop the rest, so the tail of a long value
            // is never read as a key of its own.
            int c = 0;
            while ((c = stream_getc(stream)) >= 0 && c != '\n') {
            }
        }
        const char* key = nullptr;
        const char* value = nullptr;
        if (!config_split_line(line, &key, &value)) continue;
        if (setup_only)
            setup_read_line(key, value);
        else
            config_read_line(key, value);
    }
}

bool config_read_line(const char* key, const char* value) {
    if (setup_read_line(key, value)) return true;
    Setting* s = setting_find(key);
    if (!s || s->setup) return false;
    if (strcmp(key, "use_fbo") == 0) {
        // Older files chose the terrain method by render-to-texture support alone.
        if (setting_read(*s, value))
            g_settings.render_texture =
                g_settings.use_fbo == ChoiceYes ? RenderHardwareDirect : RenderHardwareCopy;
        return true;
    }
    setting_read(*s, value);
    return true;
}

bool config_read() {
    DataStream* stream = stream_open("@config", "r");
    if (!stream) return false;
    config_read_stream(stream, false);
    stream_close(stream);
    return true;
}

bool config_write_setting(DataStream* stream, const Setting& s) {
    std::string value = setting_value_text(s);
    if (s.kind == SettingKind::Binding && value.empty()) return true;
    size_t end = value.find_first_of("\r\n");
    if (end != std::string::npos) value.erase(end);
    return stream_printf(stream, "%s=%s\n", s.key.c_str(), value.c_str()) >= 0;
}

namespace {

bool report_write_failure(const std::string& path, const char* what, int error) {
    add_messagef("Can't write %s '%.60s': %s", what, path.c_str(), strerror(error ? error : EIO));
    return false;
}

} // namespace

bool config_write_stream(DataStream* stream) {
    bool ok = true;
    bool setup_done = false;
    for (int i = 0; i < settings_count(); ++i) {
        const Setting& s = setting_at(i);
        if (!s.written) continue;
        if (s.setup) {
            if (!setup_done) ok = setup_write(stream) && ok;
            setup_done = true;
            continue;
        }
        ok = config_write_setting(stream, s) && ok;
    }
    return ok;
}

bool config_write() {
    return home_file_write("config", config_write_stream, "configuration");
}

bool home_file_write(const char* relative, bool (*writer)(DataStream*), const char* what) {
    const char* root = search_root(0);
    std::string path = path_join(root ? root : "", relative);
    if (!root) return report_write_failure(relative, what, ENOENT);
    size_t slash = path.rfind('/');
    std::string temp = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".new";
    make_folders_for(path.c_str());
    errno = 0;
    DataStream* stream = stream_open(temp.c_str(), "w");
    if (!stream) return report_write_failure(path, what, errno);
    errno = 0;
    bool ok = writer(stream);
    int error = errno;
    if (!stream_close(stream)) {
        ok = false;
        if (!error) error = errno;
    }
    if (ok) {
        // The data reaches the disk before the name changes, so a crash after the rename cannot
        // leave an empty file where the old one was.
        int fd = open(temp.c_str(), O_RDONLY);
        if (fd < 0 || fsync(fd) != 0) {
            ok = false;
            error = errno;
        }
        if (fd >= 0) close(fd);
    }
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        return report_write_failure(path, what, error);
    }
    return true;
}

DerivedRenderParams render_params_derive(const Settings& s) {
    DerivedRenderParams p;
    auto clamp = [](double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; };
    // Detail below 1 would divide towards infinity; it gets the coarsest finite scale instead.
    double detail = s.ground_detail >= 1 ? s.ground_detail : 1;
    p.ground_detail_scale = static_cast<float>(0.125 / detail);
    p.ground_texture_skip = static_cast<int>(clamp(10 - s.ground_texture_detail, 0, 10));
    int dim = s.ground_texture_dim < 0 ? 0 : s.ground_texture_dim > 5 ? 5 : s.ground_texture_dim;
    p.ground_texture_size = 32 << dim;
    double k = clamp(100 - s.model_detail, 0, 100) * 0.02;
    p.lod_scale = static_cast<float>(k > 1 ? k * k * k : k);
    p.lod_bias = static_cast<float>(50 - 50 * clamp((s.model_detail - 10) * 0.05, 0, 1));
    p.texture_skip = static_cast<int>(clamp(10 - s.model_texture_detail, 0, 10));
    p.texture_compression = s.texture_compress;
    p.roost_frequency = static_cast<int>(clamp(s.roost_density, 0, 1000));
    p.reflections = s.reflections;
    return p;
}

void render_params_apply(const DerivedRenderParams& p, LaunchOptions& launch) {
    launch.texture_skip = p.texture_skip;
    launch.ground_texture_skip = p.ground_texture_skip;
    launch.roost_frequency = p.roost_frequency;
    launch.ground_detail_scale = p.ground_detail_scale;
    launch.lod_scale = p.lod_scale;
    launch.lod_bias = p.lod_bias;
}

void config_startup_defaults() {
    stability_apply(100);
    graphics_preset_apply(PresetCompatibility);
}

void config_load_at_startup(LaunchOptions& launch) {
    config_read();
    g_message_lines = g_settings.message_lines;
    setup_menu_from_settings(g_setup_menu);
    g_render_params = render_params_derive(g_settings);
    render_params_apply(g_render_params, launch);
}
