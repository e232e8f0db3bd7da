#pragma once
// Program start-up and shutdown.
#include <string>
#include <vector>

struct Window;
extern Window* g_window;

struct VideoMode {
    std::string name;
    int width, height; // 0 x 0: the desktop's mode
};
extern std::vector<VideoMode> g_video_modes;

// The whole program: start-up, the main loop and shutdown. Returns the exit status.
int program_main(int argc, char** argv);
// The build identification logged at start.
extern const char k_build_id[];
