#include "core/command_line.h"

#include "core/settings.h"
#include "data/search_paths.h"
#include "platform/log.h"

#include <cpuid.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

LaunchOptions g_launch{};

namespace {

bool cpu_has_mmx() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (d >> 23) & 1;
}

[[nodiscard]] int bad_arg(const char* option) {
    fprintf(stderr, "Bad arg for %s\n", option);
    return 1;
}

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }
float clamp_float(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

} // namespace

void launch_options_defaults(LaunchOptions& options) {
    options = LaunchOptions{};
    options.mmx = cpu_has_mmx();
    options.audio_frames_per_tick = static_cast<int>(1.0 / 128.0 * 88320);
}

bool match_option(ArgCursor& c, const char* name, bool takes_value, const char** value) {
    if (c.index >= c.argc || c.end_of_options) return false;
    const char* arg = c.argv[c.index];
    if (!takes_value) {
        if (strcmp(arg, name) != 0) return false;
        ++c.index;
        return true;
    }
    if (strcmp(arg, "--") == 0) {
        ++c.index;
        c.end_of_options = true;
        return false;
    }
    size_t n = strlen(name);
    if (strcmp(arg, name) == 0) {
        ++c.index;
        *value = c.index < c.argc ? c.argv[c.index++] : nullptr;
        return true;
    }
    if (strncmp(arg, name, n) == 0 && arg[n] == '=') {
        *value = arg + n + 1;
        ++c.index;
        return true;
    }
    return false;
}

int parse_command_line(int argc, char** argv, LaunchOptions& o) {
    ArgCursor c{argc, argv, 1, false};
    const char* v = nullptr;
    // Validated readers: a missing or unreadable value is an error.
    auto read_int = [&](int& out) { return v && sscanf(v, "%d", &out) == 1; };
    auto read_float = [&](float& out) { return v && sscanf(v, "%f", &out) == 1; };
    auto lenient_int = [&](int& out) {
        int x = 0;
        if (v && sscanf(v, "%d", &x) == 1) out = x;
    };
    auto number = [&](int& out) {
        if (v) out = atoi(v);
    };
    while (c.index < c.argc) {
        int i = 0;
        float f = 0;
        if (match_option(c, "--fugly", false, &v)) o.flat_shading = true;
        else if (match_option(c, "--nosound", false, &v)) o.no_sound = true;
        else if (match_option(c, "--novertexarrays", false, &v)) o.no_vertex_arrays = true;
        else if (match_option(c, "--learn", false, &v)) o.learn = true;
        else if (match_option(c, "--nolearn", false, &v)) o.learn = false;
        else if (match_option(c, "--nommx", false, &v)) {
            if (o.mmx) log_printf("Ignoring MMX\n");
            o.mmx = false;
        } else if (match_option(c, "--debug", false, &v)) o.debug = 1;
        else if (match_option(c, "--super-debug", false, &v)) o.debug = 2;
        else if (match_option(c, "--practice", false, &v)) o.practice = true;
        else if (match_option(c, "--warp", false, &v)) o.warp = true;
        else if (match_option(c, "--texture-detail", true, &v)) {
            if (!read_int(i)) return bad_arg("--texture-detail");
            o.texture_skip = o.ground_texture_skip = clamp_int(i, 0, 4);
        } else if (match_option(c, "--ground-texture-detail", true, &v)) {
            if (!read_int(i)) return bad_arg("--ground-texture-detail");
            o.ground_texture_skip = clamp_int(i, 0, 4);
        } else if (match_option(c, "--roostfrequency", true, &v)) {
            if (!read_int(i)) return bad_arg("--roostfrequency");
            o.roost_frequency = clamp_int(i, 0, 1000);
        } else if (match_option(c, "--erode", true, &v)) {
            if (!read_float(f)) return bad_arg("--erode");
            o.erosion = clamp_float(f, 0, 100);
        } else if (match_option(c, "--detail", true, &v)) {
            if (!read_float(f)) return bad_arg("--detail");
            o.ground_detail_scale = f;
        } else if (match_option(c, "--max-detail-distance", true, &v)) {
            if (!read_float(f)) return bad_arg("--max-detail-distance");
            o.max_detail_distance = f;
            o.max_detail_distance2 = f + 5;
        } else if (match_option(c, "--lod-scale", true, &v)) {
            if (!read_float(f)) return bad_arg("--lod-scale");
            o.lod_scale = clamp_float(f, 1e-6f, 1e6f);
        } else if (match_option(c, "--lod-bias", true, &v)) {
            if (!read_float(f)) return bad_arg("--lod-bias");
            o.lod_bias = f;
        } else if (match_option(c, "--lock-fps", true, &v)) {
            if (!read_float(f)) return bad_arg("--lock-fps");
            o.lock_fps = f;
        } else if (match_option(c, "--fake-lag", true, &v)) {
            if (!read_float(f)) return bad_arg("--fake-lag");
            double lag = f * 0.001;
            o.fake_lag = lag < 0 ? 0 : lag > 1 ? 1 : lag;
        } else if (match_option(c, "--fake-loss", true, &v)) {
            if (!read_int(i)) return bad_arg("--fake-loss");
            o.fake_loss = clamp_int(i, 0, 100);
        } else if (match_option(c, "--record-audio", true, &v)) {
            if (v) {
                o.record_audio = v;
                o.has_record_audio = true;
            }
        } else if (match_option(c, "--record-video", false, &v)) o.record_video = true;
        else if (match_option(c, "--rotate-lineup", true, &v)) lenient_int(o.rotate_lineup);
        else if (match_option(c, "--editor", false, &v)) o.editor = true;
        else if (match_option(c, "--hidden-pause", false, &v)) o.show_paused = false;
        else if (match_option(c, "--hidden-hud", false, &v)) o.show_hud = false;
        else if (match_option(c, "--bikes", true, &v)) fprintf(stderr, "--bikes doesn't do anything anymore\n");
        else if (match_option(c, "--width", true, &v)) lenient_int(g_settings.xres);
        else if (match_option(c, "--height", true, &v)) lenient_int(g_settings.yres);
        else if (match_option(c, "--depth", true, &v)) number(o.depth);
        else if (match_option(c, "--zdepth", true, &v)) number(o.zdepth);
        else if (match_option(c, "--draw-fps", true, &v)) number(g_settings.draw_fps);
        else if (match_option(c, "--draw-time", true, &v)) number(g_settings.draw_time);
        else if (match_option(c, "--draw-ping", true, &v)) number(g_settings.draw_ping);
        else if (match_option(c, "--draw-render-stats", true, &v)) number(g_settings.draw_render_stats);
        else if (match_option(c, "--accurate-skip", false, &v)) o.accurate_skip = true;
        else if (match_option(c, "--track", true, &v)) {
            if (v) o.start_track = v;
        } else if (match_option(c, "--connect", true, &v)) {
            if (v) {
                const char* name = strncmp(v, "korvane:", 8) == 0 ? v + 8 : v;
                o.connect = name;
                o.has_connect = true;
                g_settings.server_name = name;
                server_history_push(name);
            }
        } else if (match_option(c, "--password", true, &v)) {
            if (v) o.password = v;
        } else if (match_option(c, "--chase-center", true, &v)) {
            float x = 0, y = 0, z = 0;
            if (!v || sscanf(v, "%f,%f,%f", &x, &y, &z) != 3) return bad_arg("--chase-center");
            o.chase_center[0] = x;
            o.chase_center[1] = y;
            o.chase_center[2] = z;
        } else if (match_option(c, "--open-home", false, &v)) {
            open_home_folder();
            return 0;
        } else if (match_option(c, "--glfinish", false, &v)) o.glfinish = true;
        else if (match_option(c, "--print-orientation", false, &v)) o.print_orientation = true;
        else if (c.index < c.argc) {
            const char* arg = c.argv[c.index++];
            if (arg[0] == '-' && !c.end_of_options) {
                fprintf(stderr, "bad option '%s'\n", arg);
                return 1;
            }
            if (o.has_file) {
                fprintf(stderr, "Too many files!\n");
                return 1;
            }
            o.file_argument = arg;
            o.has_file = true;
        }
    }
    return -1;
}
