#pragma once
// Launch options: defaults, the option matcher and the command-line parser.
#include <string>

struct LaunchOptions {
    bool flat_shading = false;
    bool no_sound = false;
    bool no_vertex_arrays = false;
    bool learn = false;
    bool mmx = false;
    int debug = 0;
    bool practice = false;
    bool warp = false;
    int texture_skip = 0;
    int ground_texture_skip = 0;
    int roost_frequency = 250;
    float erosion = 0;
    float ground_detail_scale = 1;
    float max_detail_distance = 70;
    float max_detail_distance2 = 75;
    float lod_scale = 1;
    float lod_bias = 0;
    float lock_fps = 0;
    double fake_lag = 0;
    int fake_loss = 0;
    std::string record_audio;
    bool has_record_audio = false;
    bool record_video = false;
    int rotate_lineup = 0;
    bool editor = false;
    bool show_paused = true;
    bool show_hud = true;
    int depth = 16;
    int zdepth = 16;
    bool accurate_skip = false;
    std::string start_track;
    std::string connect;
    bool has_connect = false;
    std::string password;
    float chase_center[3] = {0, 2.52f, 0.52f};
    bool glfinish = false;
    bool print_orientation = false;
    std::string file_argument;
    bool has_file = false;
    int audio_frames_per_tick = 0;
};

extern LaunchOptions g_launch;

// Sets the launch options to their defaults (MMX from the processor).
void launch_options_defaults(LaunchOptions& options);

// The cursor over the remaining arguments that the option matcher advances.
struct ArgCursor {
    int argc;
    char** argv;
    int index;
    bool end_of_options;
};

// Tests one option against the next argument; on a match consumes it (and its value) and returns
// true. value is set for a value option (null when the name was the last argument).
bool match_option(ArgCursor& cursor, const char* name, bool takes_value, const char** value);

// Parses the command line over the launch options and settings. Returns -1 to go on, or the exit
// status when the program must end (errors are already printed).
int parse_command_line(int argc, char** argv, LaunchOptions& options);
