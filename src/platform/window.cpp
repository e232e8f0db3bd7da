#include "platform/window.h"

#include "platform/clock.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/options.h"

#include <SDL.h>
#include <SDL_opengl.h>

#include <mutex>
#include <string>

// The window record. SDL delivers window events on the thread that created the window, so every
// message is handled by pump_messages on the main thread; the frame mutex still brackets each
// frame so that a mode switch never lands in the middle of one.
struct Window {
    std::string title;
    int requested_width = 0, requested_height = 0;
    int depth = 16;
    bool fullscreen = false;
    bool threaded = false;
    bool busy = false;
    bool closing = false;
    int mode_width = 0, mode_height = 0; // the full-screen mode in use
    SDL_Window* sdl = nullptr;
    SDL_GLContext context = nullptr;
    std::mutex frame_mutex;
    bool frame_held = false;
    int client_width = 0, client_height = 0;
};

namespace {

bool g_video_started = false;
bool g_options_logged = false;
bool g_threaded = false;

bool start_video() {
    if (g_video_started) return true;
    // The program handles SIGINT and SIGTERM itself (through its normal shutdown).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        log_printf("Can't start the video system: %s\n", SDL_GetError());
        return false;
    }
    g_video_started = true;
    return true;
}

// Converts an SDL event time (milliseconds of SDL's own clock) onto the program's wall clock.
double event_time(Uint32 stamp) {
    int64_t now = clock_milliseconds();
    Uint32 age = SDL_GetTicks() - stamp;
    if (age > 10000) age = 0; // a stamp from the future or far past: take it as now
    return static_cast<double>(now - static_cast<int64_t>(age)) * 0.001;
}

// Records the client size under the frame mutex (already held when called inside a frame).
void update_client_size(Window* w) {
    std::unique_lock<std::mutex> lock(w->frame_mutex, std::defer_lock);
    if (!w->frame_held) lock.lock();
    int cw = 0, ch = 0;
    SDL_GL_GetDrawableSize(w->sdl, &cw, &ch);
    if (cw <= 0 || ch <= 0) SDL_GetWindowSize(w->sdl, &cw, &ch);
    w->client_width = cw;
    w->client_height = ch;
}

// Puts the window into full-screen at the mode picked for width x height.
void enter_fullscreen(Window* w, int width, int height) {
    int dw = 0, dh = 0;
    desktop_size(dw, dh);
    DisplayMode pick = fullscreen_mode_pick(display_modes(), width, height, dw, dh);
    w->busy = true;
    if (pick.width != dw || pick.height != dh) {
        SDL_DisplayMode mode{};
        mode.w = pick.width;
        mode.h = pick.height;
        SDL_DisplayMode closest{};
        int display = SDL_GetWindowDisplayIndex(w->sdl);
        if (SDL_GetClosestDisplayMode(display < 0 ? 0 : display, &mode, &closest)) mode = closest;
        SDL_SetWindowDisplayMode(w->sdl, &mode);
        SDL_SetWindowFullscreen(w->sdl, SDL_WINDOW_FULLSCREEN);
    } else {
        SDL_SetWindowFullscreen(w->sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    SDL_ShowWindow(w->sdl);
    w->mode_width = pick.width;
    w->mode_height = pick.height;
    w->fullscreen = true;
    w->busy = false;
}

void enter_windowed(Window* w, int width, int height) {
    w->busy = true;
    if (w->fullscreen) SDL_SetWindowFullscreen(w->sdl, 0);
    int dw = 0, dh = 0;
    desktop_size(dw, dh);
    SDL_SetWindowSize(w->sdl, width > 0 ? width : dw, height > 0 ? height : dh);
    SDL_ShowWindow(w->sdl);
    w->fullscreen = false;
    w->busy = false;
}

void handle_window_event(Window* w, const SDL_WindowEvent& e) {
    switch (e.event) {
    case SDL_WINDOWEVENT_CLOSE:
        input_push_event(InputEvent{k_input_close, true, event_time(e.timestamp)});
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESIZED:
        update_client_size(w);
        log_printf("WM_SIZE message %dx%d\n", w->client_width, w->client_height);
        break;
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED:
        update_client_size(w);
        break;
    default:
        break;
    }
}

struct ColourBits {
    int red, green, blue;
};
// The smallest channel sizes for a colour depth; the driver may give more.
ColourBits colour_bits(int depth) {
    if (depth >= 24) return {8, 8, 8};
    if (depth == 16) return {5, 6, 5};
    if (depth == 15) return {5, 5, 5};
    return {3, 3, 2};
}

// Characters that text input does not deliver are made from their keys.
int key_character(SDL_Keycode key) {
    switch (key) {
    case SDLK_TAB:
        return k_input_char_tab;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return k_input_char_enter;
    case SDLK_ESCAPE:
        return k_input_char_esc;
    case SDLK_BACKSPACE:
        return k_input_char_backspace;
    default:
        return -1;
    }
}

// Pushes one character event per code point below 256 of a UTF-8 text.
void push_text(const char* text, double time) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        unsigned code = *p;
        int extra = 0;
        if (code >= 0xF0) {
            code &= 0x07;
            extra = 3;
        } else if (code >= 0xE0) {
            code &= 0x0F;
            extra = 2;
        } else if (code >= 0xC0) {
            code &= 0x1F;
            extra = 1;
        } else if (code >= 0x80) {
            ++p; // a stray continuation byte
            continue;
        }
        ++p;
        for (int i = 0; i < extra && (*p & 0xC0) == 0x80; ++i, ++p)
            code = (code << 6) | (*p & 0x3F);
        if (code < 256) input_push_event(InputEvent{static_cast<int>(code), true, time});
    }
}

int mouse_code(Uint8 button) {
    switch (button) {
    case SDL_BUTTON_LEFT:
        return k_input_mouse_left;
    case SDL_BUTTON_MIDDLE:
        return k_input_mouse_middle;
    case SDL_BUTTON_RIGHT:
        return k_input_mouse_right;
    default:
        return -1;
    }
}

void handle_event(Window* w, const SDL_Event& e) {
    switch (e.type) {
    case SDL_QUIT:
        input_push_event(InputEvent{k_input_close, true, event_time(e.quit.timestamp)});
        break;
    case SDL_WINDOWEVENT:
        if (w && e.window.windowID == SDL_GetWindowID(w->sdl)) handle_window_event(w, e.window);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        double time = event_time(e.key.timestamp);
        bool pressed = e.type == SDL_KEYDOWN;
        int scan = input_scan_for_system_key(e.key.keysym.scancode);
        if (scan >= 0) input_push_event(InputEvent{k_input_key_base + scan, pressed, time});
        int character = key_character(e.key.keysym.sym);
        if (pressed && character >= 0) input_push_event(InputEvent{character, true, time});
        break;
    }
    case SDL_TEXTINPUT:
        push_text(e.text.text, event_time(e.text.timestamp));
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int code = mouse_code(e.button.button);
        if (code >= 0)
            input_push_event(InputEvent{code, e.type == SDL_MOUSEBUTTONDOWN, event_time(e.button.timestamp)});
        break;
    }
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: {
        int device = input_device_for_instance(e.jbutton.which);
        if (device >= 0)
            input_device_button(device, e.jbutton.button, e.type == SDL_JOYBUTTONDOWN,
                                event_time(e.jbutton.timestamp));
        break;
    }
    case SDL_JOYAXISMOTION: {
        int device = input_device_for_instance(e.jaxis.which);
        if (device >= 0)
            input_device_axis(device, e.jaxis.axis, e.jaxis.value < -32767 ? -32767 : e.jaxis.value);
        break;
    }
    default:
        break;
    }
}

} // namespace

bool display_depth_accepted(int depth) {
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

const std::vector<DisplayMode>& display_modes() {
    static std::vector<DisplayMode> modes;
    static bool built = false;
    if (built) return modes;
    built = true;
    if (!start_video()) return modes;
    auto add = [](const SDL_DisplayMode& m, const char* found) {
        int depth = static_cast<int>(SDL_BITSPERPIXEL(m.format));
        if (!display_depth_accepted(depth)) {
            log_printf("%s %dx%dx%d@%dhz (ignored)\n", found, m.w, m.h, depth, m.refresh_rate);
            return;
        }
        for (const DisplayMode& d : modes)
            if (d.width == m.w && d.height == m.h && d.depth == depth) return;
        log_printf("%s %dx%dx%d@%dhz\n", found, m.w, m.h, depth, m.refresh_rate);
        modes.push_back(DisplayMode{m.w, m.h, depth});
    };
    SDL_DisplayMode current{};
    if (SDL_GetDesktopDisplayMode(0, &current) == 0) add(current, "Registry mode is");
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(0, i, &m) == 0) add(m, "Found mode");
    }
    return modes;
}

void desktop_size(int& width, int& height) {
    width = 640;
    height = 480;
    SDL_DisplayMode current{};
    if (start_video() && SDL_GetDesktopDisplayMode(0, &current) == 0 && current.w > 0 && current.h > 0) {
        width = current.w;
        height = current.h;
    }
}

DisplayMode fullscreen_mode_pick(const std::vector<DisplayMode>& modes, int width, int height,
                                 int desktop_width, int desktop_height) {
    DisplayMode desktop{desktop_width, desktop_height, 0};
    if (width <= 0 || height <= 0) return desktop;
    const DisplayMode* best = nullptr;
    long long best_excess = 0;
    for (const DisplayMode& m : modes) {
        if (m.width < width || m.height < height) continue;
        long long excess = static_cast<long long>(m.width) + m.height - width - height;
        if (!best || excess < best_excess) {
            best = &m;
            best_excess = excess;
        }
    }
    return best ? *best : desktop;
}

Window* window_open_gl(const char* title, int width, int height, int flags, int alpha_bits, int depth_bits,
                       int stencil_bits, int accumulation_bits) {
    if (!start_video()) {
        log_printf("Can't create window!\n");
        return nullptr;
    }
    display_modes();
    if (!g_options_logged) {
        g_options_logged = true;
        g_threaded = option_flag("threaded", 0) != 0;
        log_printf("Options:\n");
        log_printf("%10s [%s]\n", "threaded:", g_threaded ? "on" : "off");
    }
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0)
        log_printf("Can't start the joystick system: %s\n", SDL_GetError());

    Window* w = new Window;
    w->title = title ? title : "";
    w->requested_width = width;
    w->requested_height = height;
    w->depth = flags & k_window_depth_mask;
    w->threaded = g_threaded;
    bool want_fullscreen = (flags & k_window_fullscreen) != 0;

    // The pixel format: double-buffered RGBA of the requested depth (24 colour bits for 32).
    log_printf("Choosing pixel format\n");
    ColourBits bits = colour_bits(w->depth == 32 ? 24 : w->depth);
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, bits.red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, bits.green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, bits.blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, stencil_bits);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accumulation_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accumulation_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accumulation_bits / 4);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accumulation_bits / 4);

    int dw = 0, dh = 0;
    desktop_size(dw, dh);
    int open_width = width > 0 ? width : dw, open_height = height > 0 ? height : dh;
    log_printf("Creating window\n");
    w->sdl = SDL_CreateWindow(w->title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, open_width,
                              open_height, SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    if (!w->sdl) {
        log_printf("Can't create window!\n");
        log_printf("%s\n", SDL_GetError());
        delete w;
        return nullptr;
    }
    if (want_fullscreen) {
        enter_fullscreen(w, width, height);
    } else {
        SDL_ShowWindow(w->sdl);
    }
    SDL_RaiseWindow(w->sdl);

    input_devices_open();
    input_register_standard_aliases();

    log_printf("Creating OpenGL context\n");
    w->context = SDL_GL_CreateContext(w->sdl);
    if (!w->context) {
        log_printf("Couldn't create OpenGL context\n");
        log_printf("%s\n", SDL_GetError());
        window_close_gl(w);
        return nullptr;
    }
    if (SDL_GL_MakeCurrent(w->sdl, w->context) != 0) {
        log_printf("Couldn't create OpenGL context\n");
        window_close_gl(w);
        return nullptr;
    }
    update_client_size(w);
    return w;
}

void window_close_gl(Window* w) {
    if (!w) return;
    w->closing = true;
    if (w->context) {
        log_printf("Deleting OpenGL context\n");
        SDL_GL_MakeCurrent(w->sdl, nullptr);
        SDL_GL_DeleteContext(w->context);
        w->context = nullptr;
    }
    input_devices_close();
    if (w->sdl) {
        log_printf("Destroying window\n");
        if (w->fullscreen) SDL_SetWindowFullscreen(w->sdl, 0);
        SDL_DestroyWindow(w->sdl);
        w->sdl = nullptr;
    }
    delete w;
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    log_printf("Window shutdown complete\n");
}

bool window_ready(Window* w) {
    if (!w || !w->sdl) return false;
    std::unique_lock<std::mutex> lock(w->frame_mutex, std::defer_lock);
    if (!w->frame_held) lock.lock();
    return w->client_width > 0 && w->client_height > 0;
}

bool window_fullscreen(Window* w) {
    return w && w->fullscreen;
}

bool frame_begin(Window* w, int& width, int& height) {
    if (!w || !w->sdl || w->closing) return false;
    Uint32 state = SDL_GetWindowFlags(w->sdl);
    if (state & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) return false;
    w->frame_mutex.lock();
    if (w->busy) {
        w->frame_mutex.unlock();
        return false;
    }
    int cw = 0, ch = 0;
    SDL_GL_GetDrawableSize(w->sdl, &cw, &ch);
    if (cw <= 0 || ch <= 0) {
        cw = w->client_width > 0 ? w->client_width : w->requested_width;
        ch = w->client_height > 0 ? w->client_height : w->requested_height;
    }
    width = cw;
    height = ch;
    w->frame_held = true;
    return true;
}

bool frame_end(Window* w) {
    if (!w) return false;
    bool alive = w->sdl && !w->closing;
    if (alive) {
        SDL_GL_SwapWindow(w->sdl);
        // A swap without a display does not wait for the frame, so nothing would bound the frames
        // queued in a software renderer; finishing each one does what a display's swap chain does.
        static const bool offscreen = SDL_GetCurrentVideoDriver() &&
                                      SDL_strcmp(SDL_GetCurrentVideoDriver(), "offscreen") == 0;
        if (offscreen) glFinish();
    }
    if (w->frame_held) {
        w->frame_held = false;
        w->frame_mutex.unlock();
    }
    return alive;
}

void window_set_mode(Window* w, int width, int height, int flags) {
    if (!w || !w->sdl) return;
    std::unique_lock<std::mutex> lock(w->frame_mutex, std::defer_lock);
    if (!w->frame_held) lock.lock();
    if (flags & k_window_fullscreen) {
        enter_fullscreen(w, width, height);
    } else {
        enter_windowed(w, width, height);
    }
}

void pump_messages(Window* w) {
    if (!g_video_started) return;
    SDL_Event e;
    while (SDL_PollEvent(&e))
        handle_event(w, e);
    if (w && w->sdl) {
        int cw = 0, ch = 0;
        SDL_GL_GetDrawableSize(w->sdl, &cw, &ch);
        if (cw != w->client_width || ch != w->client_height) update_client_size(w);
    }
}

void* gl_proc_address(const char* name) {
    return SDL_GL_GetProcAddress(name);
}

void window_cursor_position(int& x, int& y) {
    x = 0;
    y = 0;
    if (g_video_started) SDL_GetMouseState(&x, &y);
}
