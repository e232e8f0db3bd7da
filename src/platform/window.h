#pragma once
// One window with an OpenGL compatibility context, the display mode list, full-screen and windowed
// switching and the frame bracket. All drawing happens between frame_begin and frame_end.
#include <vector>

struct Window;

struct DisplayMode {
    int width;
    int height;
    int depth; // bits per pixel
};

constexpr int k_window_fullscreen = 512; // flag: full-screen; the low byte of flags is the depth
constexpr int k_window_depth_mask = 255;

// The display's modes: first the desktop's current one, then every other mode the display offers
// at an accepted depth (8, 15, 16, 24, 32), one entry per width, height and depth. Built once.
const std::vector<DisplayMode>& display_modes();
// Width and height of the desktop's current mode; 640 x 480 when it cannot be read.
void desktop_size(int& width, int& height);
// Whether a colour depth is one the program can use.
bool display_depth_accepted(int depth);

// The full-screen size for a request of width x height: the listed mode with width >= w and
// height >= h whose width + height exceeds w + h the least (the first on a tie); the desktop size
// when there is none or when w or h is 0.
DisplayMode fullscreen_mode_pick(const std::vector<DisplayMode>& modes, int width, int height,
                                 int desktop_width, int desktop_height);

// Opens the window and its OpenGL context; null on failure (the reason is logged). A width or
// height of 0 means the desktop size.
Window* window_open_gl(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                       int stencil_bits, int accumulation_bits);
// Deletes the context, closes the input devices and the window. Null is accepted.
void window_close_gl(Window* window);
// True once the window has a size.
bool window_ready(Window* window);
bool window_fullscreen(Window* window);
// Starts a frame: false when it must be skipped (hidden, minimised or busy); otherwise the client
// size in pixels, and the frame mutex is held until frame_end.
bool frame_begin(Window* window, int& width, int& height);
// Presents the frame and releases the frame mutex. False when the window is gone.
bool frame_end(Window* window);
// Switches between full-screen (flag 512) and windowed at run time.
void window_set_mode(Window* window, int width, int height, int flags);
// Handles waiting window messages; input events go to the input queue.
void pump_messages(Window* window);
// The address of an OpenGL entry point of the current context, null when unknown.
void* gl_proc_address(const char* name);
// The window's client-area position of the pointer, in pixels.
void window_cursor_position(int& x, int& y);
