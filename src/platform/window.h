#pragma once
// One window with an OpenGL context, the display mode list and the frame bracket.
#include <vector>

struct Window;

struct DisplayMode {
    int width;
    int height;
    int depth;
};

constexpr int k_window_fullscreen = 512;

// The display's modes (first the current one), built once.
const std::vector<DisplayMode>& display_modes();
// Opens the window and its OpenGL context; null on failure (the reason is logged).
Window* window_open_gl(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                       int stencil_bits, int accumulation_bits);
void window_close_gl(Window* window);
// True once the window has a size.
bool window_ready(Window* window);
// Starts a frame: false when it must be skipped; otherwise the client size.
bool frame_begin(Window* window, int& width, int& height);
// Presents the frame. False when the window is gone.
bool frame_end(Window* window);
// Handles waiting window messages (input events go to the input queue).
void pump_messages(Window* window);
