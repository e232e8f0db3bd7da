#pragma once
// The player's settings that start-up, the main loop and the command line read and change. The
// configuration file fills them at start-up and receives them at exit.
#include <array>
#include <string>

constexpr int k_server_history = 16;

struct Settings {
    int xres = 640;
    int yres = 480;
    int draw_fps = 0;
    int draw_time = 0;
    int draw_ping = 1;
    int draw_render_stats = 0;
    int spy = 0;
    std::string track = "tarnwick";
    int video_mode = 0; // index into the video mode list: 0 default full-screen, 1 windowed
    std::string server_name;
    std::array<std::string, k_server_history> server_history{};
    double fov = 110;
    double third_person_height = 5;
    double third_person_distance = 10;
    double volume = 10;
    double comp_volume = 8;
    bool rigid_camera = false;
    double minutes = 0;
    double laps = 5;
    int message_lines = 5;
};

extern Settings g_settings;

// Puts a server name at the top of the history unless it is empty or already there.
void server_history_push(const std::string& name);
