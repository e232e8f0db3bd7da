#include "core/startup.h"

#include "core/alloc.h"
#include "core/command_line.h"
#include "core/config.h"
#include "core/content.h"
#include "core/main_loop.h"
#include "core/messages.h"
#include "core/settings.h"
#include "core/setups.h"
#include "data/search_paths.h"
#include "net/fixed_files.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/os.h"
#include "platform/window.h"
#include "race/race.h"
#include "render/gl_caps.h"
#include "render/shaders.h"
#include "render/texture_manager.h"
#include "render/title_screen.h"
#include "sim/bike_info.h"
#include "sim/physics_world.h"

#include <csignal>
#include <cstdio>
#include <cstring>

Window* g_window = nullptr;
std::vector<VideoMode> g_video_modes;
const char k_build_id[] = "2016-10-30-1317 snapshot";

namespace {

FILE* g_audio_recording = nullptr;
int g_cursor_axes[2] = {-1, -1};
// The fixed menu keys, bound by name once the window has input.
// Seam: the menus read these codes once they exist.
constexpr const char* k_menu_key_names[] = {"up",  "down",  "left",        "right",        "enter",   "keypad enter",
                                            "esc", "pause", "cursor-left", "cursor-right", "page up", "page down"};
int g_menu_keys[12] = {};

void close_for_fatal_exit() {
    audio_close();
    if (g_window) window_close_gl(g_window);
    g_window = nullptr;
}

void build_video_modes() {
    g_video_modes.clear();
    g_video_modes.push_back(VideoMode{"Default Fullscreen", 0, 0});
    g_video_modes.push_back(VideoMode{"Windowed", 0, 0});
    const std::vector<DisplayMode>& modes = display_modes();
    if (modes.empty()) return;
    int depth = modes.front().depth;
    for (const DisplayMode& m : modes) {
        if (m.depth != depth) continue;
        char name[32];
        snprintf(name, sizeof name, "%dx%d", m.width, m.height);
        g_video_modes.push_back(VideoMode{name, m.width, m.height});
    }
}

// Opens the --record-audio file. A file that cannot be opened leaves recording off with a message,
// so no later tick writes through a missing handle.
void open_audio_recording() {
    if (!g_launch.has_record_audio) return;
    g_audio_recording = fopen(g_launch.record_audio.c_str(), "wb");
    if (!g_audio_recording) {
        add_messagef("Can't open audio recording file '%.900s'", g_launch.record_audio.c_str());
        g_launch.has_record_audio = false;
        return;
    }
    if (audio_open_readback(g_window, 88320, g_launch.audio_frames_per_tick)) {
        audio_set_recording(g_audio_recording);
    } else {
        add_messagef("Can't open the audio recorder");
    }
}

// Step 23: the pointer axes and the fixed menu keys.
void bind_fixed_inputs() {
    g_cursor_axes[0] = input_open_axis("cursor-x");
    g_cursor_axes[1] = input_open_axis("cursor-y");
    for (size_t i = 0; i < sizeof k_menu_key_names / sizeof k_menu_key_names[0]; ++i)
        g_menu_keys[i] = input_code_for_name(k_menu_key_names[i]);
}

// Step 22: the HUD and title images, permanent (generation 0) and at full detail. A missing one
// leaves its picture out.
void load_startup_images() {
    for (const char* name : {"!@tach.png", "!@shifter.png", "!@pitboard.png", k_title_image})
        if (!load_texture(name)) log_printf("Can't load image '%s'\n", name);
}

void shutdown_sequence() {
    // Seams, in order: the leave message to a connected server; network, history, track,
    // physics, textures, models and scene resources; the pointer and control axes.
    world_destroy();
    for (int& axis : g_cursor_axes) {
        input_close_axis(axis);
        axis = -1;
    }
    audio_close();
    if (g_audio_recording) fclose(g_audio_recording);
    g_audio_recording = nullptr;
    if (g_window) {
        title_screen_install(nullptr);
        purge_textures(true);
        programs_delete();
    }
    if (g_window) window_close_gl(g_window);
    g_window = nullptr;
    // Seam: the cached bike models are freed here.
    config_write();
    log_close();
    g_tracks.clear();
    g_demos.clear();
    allocation_report();
}

volatile sig_atomic_t g_signalled = 0;
void on_signal(int) {
    g_signalled = 1;
    g_loop.quit = true;
}

} // namespace

int program_main(int argc, char** argv) {
    // SIGINT and SIGTERM end the run through the shutdown sequence, so the configuration and the log
    // are written; installed first so a signal during start-up is not fatal.
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    launch_options_defaults(g_launch);
    if (argc == 2 && strcmp(argv[1], "--open-home") == 0) {
        open_home_folder();
        return 0;
    }
    messages_clear();
    set_out_of_memory_cleanup(close_for_fatal_exit);

    // Home folder and log, then the game data.
    if (const char* home = search_root(0)) {
        make_folders_for(home);
        log_printf("VORL_LOGFILE=%slastlog.txt", home);
    }
    if (!game_data_present()) {
        message_box("Problem starting Korvane", "Can't find game data\n");
        return 0;
    }
    log_printf("Korvane version %s\n", k_build_id);
    g_fixed_files_ok = fixed_files_check();
    for (std::string& entry : g_settings.server_history) entry.clear();
    build_video_modes();
    std::vector<std::string> mode_names;
    for (const VideoMode& m : g_video_modes) mode_names.push_back(m.name);
    settings_set_options("video_mode", mode_names);
    if (!g_launch.mmx) log_printf("This CPU does not have MMX!\n");
    // The riding-gear texture choices; the bike is the default model until the configuration names one.
    collect_texture_choices(texture_variant_prefix(bike_info_at(0).bike_texture).c_str());
    setup_texture_options_from_choices();
    // Seam: the working lighting gets its defaults here.
    config_startup_defaults();
    config_load_at_startup(g_launch);

    int status = parse_command_line(argc, argv, g_launch);
    if (status >= 0) return status;
    if (g_launch.has_connect) g_launch.start_track.clear();
    if (g_launch.debug >= 1)
        log_printf("Launch options: texture skip %d, ground texture skip %d, roost frequency %d, "
                   "fake lag %.3f s, fake loss %d%%, lod scale %g, lod bias %g, erosion %g\n",
                   g_launch.texture_skip, g_launch.ground_texture_skip, g_launch.roost_frequency, g_launch.fake_lag,
                   g_launch.fake_loss, g_launch.lod_scale, g_launch.lod_bias, g_launch.erosion);

    discover_content(g_launch.debug);
    if (g_tracks.empty()) {
        fprintf(stderr, "No tracks found\n");
        return 1;
    }
    int choice = find_track(g_launch.start_track.empty() ? g_settings.track : g_launch.start_track);
    g_track_menu_choice = choice < 0 ? 0 : choice;

    int width = g_settings.xres, height = g_settings.yres, flags = g_launch.depth;
    int mode = g_settings.video_mode;
    if (mode < 0 || mode >= static_cast<int>(g_video_modes.size())) mode = 0;
    if (mode != 1) {
        width = g_video_modes[static_cast<size_t>(mode)].width;
        height = g_video_modes[static_cast<size_t>(mode)].height;
        flags |= k_window_fullscreen;
    }
    g_window = window_open_gl("Korvane", width, height, flags, 0, g_launch.zdepth, 0, 0);
    if (!g_window) return 1;
    g_settings.video_mode = mode;

    if (g_launch.has_record_audio) {
        open_audio_recording();
    } else if (!g_launch.no_sound) {
        audio_open(g_window);
    }

    loop_state_reset();
    // A signal that came during start-up ends the run at the first frame, through the normal shutdown.
    if (g_signalled) g_loop.quit = true;
    bool ready = false;
    for (int polls = 0; polls <= 162; ++polls) {
        pump_messages(g_window);
        if (window_ready(g_window)) {
            ready = true;
            break;
        }
        if (polls < 162) sleep_until_later(0, 62500);
    }
    if (ready) {
        read_gl_capabilities();
        log_printf("GL_VENDOR: %s\n", g_gl_caps.gl_vendor.c_str());
        log_printf("GL_RENDERER: %s\n", g_gl_caps.gl_renderer.c_str());
        log_printf("GL_VERSION: %s\n", g_gl_caps.gl_version.c_str());
        log_printf("GL_EXTENSIONS: %s\n", g_gl_caps.gl_extensions.c_str());
        decide_render_choices(g_settings.use_shader == ChoiceYes, g_settings.render_texture >= RenderShadersCopy);
        gl_initial_state(g_launch.flat_shading);
        // Seam: the font is initialised here, before the HUD and title images.
        load_startup_images();
        title_screen_install(g_window);
        // Seams: the riding controls' bindings, the physics world, a demo
        // file argument, the line-up and a first race.
        bind_fixed_inputs();
        g_loop.function_keys[KeyPause] = input_code_for_name("pause");
        g_loop.function_keys[KeyStep] = input_code_for_name(".");
        g_loop.function_keys[KeyRewind] = input_code_for_name("\\");
        g_loop.function_keys[KeySkip] = input_code_for_name("/");
        g_loop.function_keys[KeyPrevBike] = input_code_for_name("[");
        g_loop.function_keys[KeyNextBike] = input_code_for_name("]");
        g_loop.function_keys[KeyChat] = input_code_for_name("t");
        g_loop.function_keys[KeyScreenshot] = input_code_for_name("s");
        if (!world_create()) log_printf("No physics world: riders cannot be created\n");
        race_reset_state();
        g_loop.current_menu = g_launch.has_connect ? -1 : 0;
        g_loop.view = NoTrackView;
        g_loop.previous_wall = g_loop_clock.now();
        main_loop_run();
    }
    shutdown_sequence();
    sleep_until_later(1, 0);
    return 0;
}
