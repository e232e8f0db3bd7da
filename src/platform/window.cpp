#include "platform/window.h"

#include "platform/log.h"

// Seam: the SDL window and OpenGL context come with the platform layer; until then no window opens.
struct Window {};

const std::vector<DisplayMode>& display_modes() {
    static std::vector<DisplayMode> modes;
    return modes;
}

Window* window_open_gl(const char*, int, int, int, int, int, int, int) {
    log_printf("Can't create window!\n");
    return nullptr;
}
void window_close_gl(Window*) {}
bool window_ready(Window*) { return false; }
bool frame_begin(Window*, int&, int&) { return false; }
bool frame_end(Window*) { return false; }
void pump_messages(Window*) {}
