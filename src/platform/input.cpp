#include "platform/input.h"

#include "platform/clock.h"
#include "platform/log.h"
#include "platform/options.h"
#include "platform/window.h"

#include <SDL.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace {

// --- the event queue: a ring kept in time-stamp order ---

constexpr int k_queue_storage = k_input_queue_size + k_input_queue_reserve;

struct EventQueue {
    std::array<InputEvent, k_queue_storage> ring{};
    int head = 0;
    int count = 0;
    std::mutex mutex;
};
EventQueue g_queue;

InputEvent& queue_at(int i) {
    return g_queue.ring[static_cast<size_t>((g_queue.head + i) % k_queue_storage)];
}

bool is_release(const InputEvent& e) {
    return !e.pressed;
}

// Removes the newest waiting press, making room for a release. False when none waits.
bool drop_newest_press() {
    for (int i = g_queue.count - 1; i >= 0; --i) {
        if (!queue_at(i).pressed) continue;
        for (int j = i; j + 1 < g_queue.count; ++j)
            queue_at(j) = queue_at(j + 1);
        --g_queue.count;
        return true;
    }
    return false;
}

// --- names ---

struct Alias {
    std::string name, target;
};
std::vector<Alias> g_aliases;
std::set<std::string> g_interned;

const char* intern_name(const std::string& text) {
    return g_interned.insert(text).first->c_str();
}

const std::vector<KeyName> k_fixed_keys = {
    {"Esc", 1},         {"0", 11},
    {"1", 2},           {"2", 3},
    {"3", 4},           {"4", 5},
    {"5", 6},           {"6", 7},
    {"7", 8},           {"8", 9},
    {"9", 10},          {"A", 30},
    {"B", 48},          {"C", 46},
    {"D", 32},          {"E", 18},
    {"F", 33},          {"G", 34},
    {"H", 35},          {"I", 23},
    {"J", 36},          {"K", 37},
    {"L", 38},          {"M", 50},
    {"N", 49},          {"O", 24},
    {"P", 25},          {"Q", 16},
    {"R", 19},          {"S", 31},
    {"T", 20},          {"U", 22},
    {"V", 47},          {"W", 17},
    {"X", 45},          {"Y", 21},
    {"Z", 44},          {"-", 12},
    {"=", 13},          {"[", 26},
    {"]", 27},          {";", 39},
    {"'", 40},          {"`", 41},
    {"\\", 43},         {",", 51},
    {".", 52},          {"/", 53},
    {"Backspace", 14},  {"Tab", 15},
    {"Enter", 28},      {"Left Ctrl", 29},
    {"Left Shift", 42}, {"Right Shift", 54},
    {"Space", 57},      {" ", 57},
    {"Caps Lock", 58},  {"Right Ctrl", 285},
    {"Insert", 338},    {"Delete", 339},
    {"Home", 327},      {"End", 335},
    {"Page Up", 329},   {"Page Down", 337},
    {"Up", 328},        {"Down", 336},
    {"Left", 331},      {"Right", 333},
    {"F1", 59},         {"F2", 60},
    {"F3", 61},         {"F4", 62},
    {"F5", 63},         {"F6", 64},
    {"F7", 65},         {"F8", 66},
    {"F9", 67},         {"F10", 68},
    {"F11", 87},        {"F12", 88},
    {"Pause", 69},      {"Num Lock", 325},
    {"Keypad /", 309},  {"Keypad *", 55},
    {"Keypad -", 74},   {"Keypad 7", 71},
    {"Keypad 8", 72},   {"Keypad 9", 73},
    {"Keypad +", 78},   {"Keypad 4", 75},
    {"Keypad 5", 76},   {"Keypad 6", 77},
    {"Keypad 1", 79},   {"Keypad 2", 80},
    {"Keypad 3", 81},   {"Keypad Enter", 284},
    {"Keypad 0", 82},   {"Keypad .", 83},
};

struct SpecialName {
    const char* name;
    int code;
};
constexpr SpecialName k_specials[] = {
    {"Close", k_input_close},
    {"Mouse Left", k_input_mouse_left},
    {"Mouse Middle", k_input_mouse_middle},
    {"Mouse Right", k_input_mouse_right},
};

// The system's key scan codes and their PC scan codes (set 1; extended keys + 256).
struct ScanPair {
    SDL_Scancode system;
    int pc;
};
constexpr ScanPair k_scan_pairs[] = {
    {SDL_SCANCODE_A, 30},
    {SDL_SCANCODE_B, 48},
    {SDL_SCANCODE_C, 46},
    {SDL_SCANCODE_D, 32},
    {SDL_SCANCODE_E, 18},
    {SDL_SCANCODE_F, 33},
    {SDL_SCANCODE_G, 34},
    {SDL_SCANCODE_H, 35},
    {SDL_SCANCODE_I, 23},
    {SDL_SCANCODE_J, 36},
    {SDL_SCANCODE_K, 37},
    {SDL_SCANCODE_L, 38},
    {SDL_SCANCODE_M, 50},
    {SDL_SCANCODE_N, 49},
    {SDL_SCANCODE_O, 24},
    {SDL_SCANCODE_P, 25},
    {SDL_SCANCODE_Q, 16},
    {SDL_SCANCODE_R, 19},
    {SDL_SCANCODE_S, 31},
    {SDL_SCANCODE_T, 20},
    {SDL_SCANCODE_U, 22},
    {SDL_SCANCODE_V, 47},
    {SDL_SCANCODE_W, 17},
    {SDL_SCANCODE_X, 45},
    {SDL_SCANCODE_Y, 21},
    {SDL_SCANCODE_Z, 44},
    {SDL_SCANCODE_1, 2},
    {SDL_SCANCODE_2, 3},
    {SDL_SCANCODE_3, 4},
    {SDL_SCANCODE_4, 5},
    {SDL_SCANCODE_5, 6},
    {SDL_SCANCODE_6, 7},
    {SDL_SCANCODE_7, 8},
    {SDL_SCANCODE_8, 9},
    {SDL_SCANCODE_9, 10},
    {SDL_SCANCODE_0, 11},
    {SDL_SCANCODE_RETURN, 28},
    {SDL_SCANCODE_ESCAPE, 1},
    {SDL_SCANCODE_BACKSPACE, 14},
    {SDL_SCANCODE_TAB, 15},
    {SDL_SCANCODE_SPACE, 57},
    {SDL_SCANCODE_MINUS, 12},
    {SDL_SCANCODE_EQUALS, 13},
    {SDL_SCANCODE_LEFTBRACKET, 26},
    {SDL_SCANCODE_RIGHTBRACKET, 27},
    {SDL_SCANCODE_BACKSLASH, 43},
    {SDL_SCANCODE_NONUSHASH, 43},
    {SDL_SCANCODE_SEMICOLON, 39},
    {SDL_SCANCODE_APOSTROPHE, 40},
    {SDL_SCANCODE_GRAVE, 41},
    {SDL_SCANCODE_COMMA, 51},
    {SDL_SCANCODE_PERIOD, 52},
    {SDL_SCANCODE_SLASH, 53},
    {SDL_SCANCODE_CAPSLOCK, 58},
    {SDL_SCANCODE_F1, 59},
    {SDL_SCANCODE_F2, 60},
    {SDL_SCANCODE_F3, 61},
    {SDL_SCANCODE_F4, 62},
    {SDL_SCANCODE_F5, 63},
    {SDL_SCANCODE_F6, 64},
    {SDL_SCANCODE_F7, 65},
    {SDL_SCANCODE_F8, 66},
    {SDL_SCANCODE_F9, 67},
    {SDL_SCANCODE_F10, 68},
    {SDL_SCANCODE_F11, 87},
    {SDL_SCANCODE_F12, 88},
    {SDL_SCANCODE_PRINTSCREEN, 311},
    {SDL_SCANCODE_SCROLLLOCK, 70},
    {SDL_SCANCODE_PAUSE, 69},
    {SDL_SCANCODE_INSERT, 338},
    {SDL_SCANCODE_HOME, 327},
    {SDL_SCANCODE_PAGEUP, 329},
    {SDL_SCANCODE_DELETE, 339},
    {SDL_SCANCODE_END, 335},
    {SDL_SCANCODE_PAGEDOWN, 337},
    {SDL_SCANCODE_RIGHT, 333},
    {SDL_SCANCODE_LEFT, 331},
    {SDL_SCANCODE_DOWN, 336},
    {SDL_SCANCODE_UP, 328},
    {SDL_SCANCODE_NUMLOCKCLEAR, 325},
    {SDL_SCANCODE_KP_DIVIDE, 309},
    {SDL_SCANCODE_KP_MULTIPLY, 55},
    {SDL_SCANCODE_KP_MINUS, 74},
    {SDL_SCANCODE_KP_PLUS, 78},
    {SDL_SCANCODE_KP_ENTER, 284},
    {SDL_SCANCODE_KP_1, 79},
    {SDL_SCANCODE_KP_2, 80},
    {SDL_SCANCODE_KP_3, 81},
    {SDL_SCANCODE_KP_4, 75},
    {SDL_SCANCODE_KP_5, 76},
    {SDL_SCANCODE_KP_6, 77},
    {SDL_SCANCODE_KP_7, 71},
    {SDL_SCANCODE_KP_8, 72},
    {SDL_SCANCODE_KP_9, 73},
    {SDL_SCANCODE_KP_0, 82},
    {SDL_SCANCODE_KP_PERIOD, 83},
    {SDL_SCANCODE_NONUSBACKSLASH, 86},
    {SDL_SCANCODE_APPLICATION, 349},
    {SDL_SCANCODE_LCTRL, 29},
    {SDL_SCANCODE_LSHIFT, 42},
    {SDL_SCANCODE_LALT, 56},
    {SDL_SCANCODE_LGUI, 347},
    {SDL_SCANCODE_RCTRL, 285},
    {SDL_SCANCODE_RSHIFT, 54},
    {SDL_SCANCODE_RALT, 312},
    {SDL_SCANCODE_RGUI, 348},
};

// The system's name for a PC scan code, or null.
const char* system_key_name(int pc) {
    for (const ScanPair& p : k_scan_pairs) {
        if (p.pc != pc) continue;
        const char* name = SDL_GetScancodeName(p.system);
        if (name && *name) return name;
    }
    return nullptr;
}

// Loose comparison: letter case ignored, "_" the same as a blank.
char loose_char(char c) {
    if (c == '_') return ' ';
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}
bool names_equal(const char* a, const char* b, bool loose) {
    if (!loose) return strcmp(a, b) == 0;
    for (; *a && *b; ++a, ++b)
        if (loose_char(*a) != loose_char(*b)) return false;
    return *a == *b;
}

bool match_key_name(const char* text, bool loose, int& code) {
    for (const SpecialName& s : k_specials) {
        if (names_equal(text, s.name, loose)) {
            code = s.code;
            return true;
        }
    }
    for (const ScanPair& p : k_scan_pairs) {
        const char* name = SDL_GetScancodeName(p.system);
        if (name && *name && names_equal(text, name, loose)) {
            code = k_input_key_base + p.pc;
            return true;
        }
    }
    for (const KeyName& k : k_fixed_keys) {
        if (names_equal(text, k.name, loose)) {
            code = k_input_key_base + k.scan;
            return true;
        }
    }
    return false;
}

const char* resolve_alias(const char* text) {
    for (const Alias& a : g_aliases)
        if (a.name == text) return a.target.c_str();
    return text;
}

// --- devices ---

std::vector<InputDevice> g_devices;
std::vector<std::string> g_axis_names;

struct AxisHandle {
    int device;
    int axis;
    bool open;
};
std::vector<AxisHandle> g_axes;

std::string device_base_name(const char* text) {
    std::string name;
    for (const char* p = text ? text : ""; *p; ++p)
        if (*p != ' ' && *p != '.' && *p != '\t') name += *p;
    if (name.empty()) name = "Joystick";
    if (name.size() > 60) name.resize(60);
    return name;
}

bool id_used(int id) {
    for (const InputDevice& d : g_devices)
        if (d.id == id) return true;
    return false;
}

// Parses "<device>.<kind>[<n>]" or "<device> <word> <n>" into a device name and a number.
bool parse_device_item(const char* text, const char* kind, const char* word, std::string& device,
                       int& number) {
    char name[64] = {0};
    char tail[16] = {0};
    int n = 0;
    char format[64];
    snprintf(format, sizeof format, "%%63[^.].%s[%%d%%1[]]", kind);
    if (sscanf(text, format, name, &n, tail) == 3) {
        device = name;
        number = n;
        return true;
    }
    char second[32] = {0};
    if (sscanf(text, "%63s %31s %d", name, second, &n) == 3 && strcmp(second, word) == 0) {
        device = name;
        number = n;
        return true;
    }
    return false;
}

int find_device_index(const std::string& name) {
    for (size_t i = 0; i < g_devices.size(); ++i)
        if (g_devices[i].name == name) return static_cast<int>(i);
    return -1;
}

} // namespace

// --- the event queue ---

bool input_push_event(const InputEvent& event) {
    std::lock_guard<std::mutex> lock(g_queue.mutex);
    if (g_queue.count >= k_input_queue_size) {
        // A full queue drops new presses; a release always finds room, if need be in place of
        // the newest waiting press, since losing it would leave a control held down.
        if (!is_release(event)) return false;
        if (g_queue.count >= k_queue_storage && !drop_newest_press()) return false;
    }
    int i = g_queue.count++;
    queue_at(i) = event;
    while (i > 0 && queue_at(i - 1).time > event.time) {
        queue_at(i) = queue_at(i - 1);
        --i;
    }
    queue_at(i) = event;
    return true;
}

bool input_take_event(double until, bool all, InputEvent& out) {
    std::lock_guard<std::mutex> lock(g_queue.mutex);
    if (g_queue.count == 0) return false;
    const InputEvent& front = queue_at(0);
    if (!all && front.time > until) return false;
    out = front;
    g_queue.head = (g_queue.head + 1) % k_queue_storage;
    --g_queue.count;
    return true;
}

void input_clear_events() {
    std::lock_guard<std::mutex> lock(g_queue.mutex);
    g_queue.head = 0;
    g_queue.count = 0;
}

int input_pending_events() {
    std::lock_guard<std::mutex> lock(g_queue.mutex);
    return g_queue.count;
}

bool input_next_event(Window* window, InputEvent& out) {
    pump_messages(window);
    return input_take_event(0, true, out);
}

bool input_next_event_before(Window* window, double time, InputEvent& out) {
    pump_messages(window);
    return input_take_event(time, false, out);
}

// --- names ---

const std::vector<KeyName>& input_fixed_key_names() {
    return k_fixed_keys;
}

const char* input_code_name(int code) {
    for (const SpecialName& s : k_specials)
        if (s.code == code) return intern_name(s.name);
    if (code >= k_input_key_base && code < k_input_key_base + k_input_key_count) {
        int scan = code - k_input_key_base;
        if (const char* name = system_key_name(scan)) return intern_name(name);
        for (const KeyName& k : k_fixed_keys)
            if (k.scan == scan) return intern_name(k.name);
        char text[16];
        snprintf(text, sizeof text, "0x%x", scan);
        return intern_name(text);
    }
    if (code >= k_input_device_unit) {
        int id = code & ~(k_input_device_unit - 1);
        int button = code & (k_input_device_unit - 1);
        if (button >= k_input_device_buttons) return nullptr;
        for (const InputDevice& d : g_devices) {
            if (d.id != id) continue;
            char text[1100];
            snprintf(text, sizeof text, "%.1000s button %d", d.name.c_str(), button);
            return intern_name(text);
        }
    }
    return nullptr;
}

bool input_name_code(const char* text, int& code) {
    if (!text) return false;
    text = resolve_alias(text);
    if (match_key_name(text, false, code) || match_key_name(text, true, code)) return true;
    unsigned value = 0;
    char tail = 0;
    if (sscanf(text, "0x%x%c", &value, &tail) == 1 && strncmp(text, "0x", 2) == 0) {
        if (value >= k_input_key_count) return false;
        code = k_input_key_base + static_cast<int>(value);
        return true;
    }
    std::string device;
    int button = 0;
    if (parse_device_item(text, "key", "button", device, button)) {
        int index = find_device_index(device);
        if (index < 0) return false;
        InputDevice& d = g_devices[static_cast<size_t>(index)];
        if (button < 0 || button >= k_input_device_buttons || button >= d.button_count) return false;
        d.opened = true;
        code = d.id + button;
        return true;
    }
    return false;
}

int input_code_for_name(const char* name) {
    int code = -1;
    return input_name_code(name, code) ? code : -1;
}

bool input_alias(const char* alias, const char* target) {
    for (const Alias& a : g_aliases) {
        if (a.name == alias) {
            log_printf("Second alias for '%s' ('%s') ignored\n", alias, target);
            return false;
        }
    }
    g_aliases.push_back(Alias{alias, target});
    return true;
}

void input_register_standard_aliases() {
    static const char* const pairs[][2] = {
        {"cursor-left", "Mouse Left"},         {"cursor-middle", "Mouse Middle"},
        {"cursor-right", "Mouse Right"},       {"cursor-x", "cursor.axis[0]"},
        {"cursor-y", "cursor.axis[1]"},        {"mouse-x", "Mouse.axis[0]"},
        {"mouse-y", "Mouse.axis[1]"},          {"mouse-left", "Mouse.key[0]"},
        {"mouse-right", "Mouse.key[1]"},       {"mouse-middle", "Mouse.key[2]"},
        {"joystick-a-x", "Joystick1.axis[0]"}, {"joystick-a-y", "Joystick1.axis[1]"},
        {"joystick-a-1", "Joystick1.key[0]"},  {"joystick-a-2", "Joystick1.key[1]"},
        {"joystick-b-x", "Joystick2.axis[0]"}, {"joystick-b-y", "Joystick2.axis[1]"},
        {"joystick-b-1", "Joystick2.key[0]"},  {"joystick-b-2", "Joystick2.key[1]"},
    };
    for (const auto& p : pairs) {
        bool known = false;
        for (const Alias& a : g_aliases)
            known = known || a.name == p[0];
        if (!known) input_alias(p[0], p[1]);
    }
}

// --- devices ---

int input_device_id_for_name(const char* name) {
    unsigned s1 = 0, s2 = 0;
    for (size_t i = 0; name[i]; ++i) {
        unsigned c = static_cast<unsigned char>(name[i]);
        if (i % 2 == 0) {
            s1 = (s1 + c) & 0xFFFF;
        } else {
            s2 = (s2 + c) & 0xFF;
        }
    }
    return static_cast<int>(((s1 + 256 * s2) % 32768) * static_cast<unsigned>(k_input_device_unit));
}

int input_add_device(const char* base_name, int axis_count, int button_count, bool relative) {
    std::string base = device_base_name(base_name);
    std::string name = base;
    for (int n = 2; find_device_index(name) >= 0; ++n)
        name = base + "#" + std::to_string(n);
    int slot = input_device_id_for_name(name.c_str()) / k_input_device_unit;
    for (int tries = 0; tries < 32768 && (slot == 0 || id_used(slot * k_input_device_unit)); ++tries)
        slot = (slot + 1) % 32768;
    InputDevice d{};
    d.name = name;
    d.id = slot * k_input_device_unit;
    d.axis_count = axis_count;
    d.button_count = button_count;
    d.relative = relative;
    d.instance = -1;
    d.axis_values.assign(static_cast<size_t>(axis_count > 0 ? axis_count : 0), 0);
    d.buttons_down.assign(static_cast<size_t>(button_count > 0 ? button_count : 0), false);
    g_devices.push_back(d);
    return static_cast<int>(g_devices.size()) - 1;
}

int input_device_count() {
    return static_cast<int>(g_devices.size());
}

InputDevice* input_device(int index) {
    if (index < 0 || index >= input_device_count()) return nullptr;
    return &g_devices[static_cast<size_t>(index)];
}

InputDevice* input_find_device(const char* name) {
    return input_device(find_device_index(name));
}

int input_device_for_instance(int instance) {
    for (size_t i = 0; i < g_devices.size(); ++i)
        if (g_devices[i].joystick && g_devices[i].instance == instance) return static_cast<int>(i);
    return -1;
}

void input_devices_open() {
    if (find_device_index("cursor") < 0) {
        int cursor = input_add_device("cursor", 2, 0, false);
        g_devices[static_cast<size_t>(cursor)].is_cursor = true;
    }
    if (!option_flag("dinput", 1)) {
        log_printf("Joysticks disabled\n");
        return;
    }
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return;
    log_printf("Joystick roll call...\n");
    int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
        const char* product = SDL_JoystickNameForIndex(i);
        char guid[64] = {0};
        SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(i), guid, sizeof guid);
        log_printf("%s (%s)\n", product ? product : "Joystick", guid);
        SDL_Joystick* stick = SDL_JoystickOpen(i);
        if (!stick) {
            log_printf("Can't create \"%s\"\n", product ? product : "Joystick");
            continue;
        }
        int axes = SDL_JoystickNumAxes(stick), buttons = SDL_JoystickNumButtons(stick);
        if (axes <= 0 && buttons <= 0) {
            log_printf("Ignoring Dunsel device\n");
            SDL_JoystickClose(stick);
            continue;
        }
        log_printf("%d axes, %d keys\n", axes, buttons);
        if (axes > k_input_max_axes) {
            log_printf("Wow! This thing has a lot of axes!\nThe first ignored axis is called \"axis %d\"\n",
                       k_input_max_axes);
            axes = k_input_max_axes;
        }
        if (buttons > k_input_max_buttons) {
            log_printf(
                "Wow! This thing has a lot of buttons!\nThe first ignored button is called \"button %d\"\n",
                k_input_max_buttons);
            buttons = k_input_max_buttons;
        }
        int index = input_add_device(product, axes < 0 ? 0 : axes, buttons < 0 ? 0 : buttons, false);
        InputDevice& d = g_devices[static_cast<size_t>(index)];
        d.joystick = stick;
        d.instance = SDL_JoystickInstanceID(stick);
        for (int a = 0; a < d.axis_count; ++a) {
            log_printf("axis %d is %s\n", a, "absolute");
            char name[300];
            snprintf(name, sizeof name, "%.200s axis %d", d.name.c_str(), a);
            log_printf("Adding axis \"%s\"\n", name);
            g_axis_names.push_back(name);
        }
    }
    log_printf("End of joystick roll call\n");
}

void input_devices_close() {
    log_printf("Closing input devices\n");
    for (InputDevice& d : g_devices) {
        if (!d.joystick) continue;
        log_printf("Killing %s\n", d.name.c_str());
        SDL_JoystickClose(static_cast<SDL_Joystick*>(d.joystick));
        d.joystick = nullptr;
    }
    g_devices.clear();
    g_axes.clear();
    g_axis_names.clear();
}

void input_device_button(int device_index, int button, bool pressed, double time) {
    InputDevice* d = input_device(device_index);
    if (!d || button < 0 || button >= d->button_count) return;
    if (d->buttons_down[static_cast<size_t>(button)] == pressed) return;
    d->buttons_down[static_cast<size_t>(button)] = pressed;
    if ((d->users > 0 || d->opened) && button < k_input_device_buttons)
        input_push_event(InputEvent{d->id + button, pressed, time});
}

void input_device_axis(int device_index, int axis, int value) {
    InputDevice* d = input_device(device_index);
    if (!d || axis < 0 || axis >= d->axis_count) return;
    int& v = d->axis_values[static_cast<size_t>(axis)];
    if (d->relative) {
        v += value;
    } else {
        v = value;
    }
}

int input_open_axis(const char* text) {
    if (!text) return -1;
    text = resolve_alias(text);
    std::string device;
    int axis = 0;
    if (!parse_device_item(text, "axis", "axis", device, axis)) return -1;
    int index = find_device_index(device);
    if (index < 0) return -1;
    InputDevice& d = g_devices[static_cast<size_t>(index)];
    if (axis < 0 || axis >= d.axis_count) return -1;
    ++d.users;
    for (size_t i = 0; i < g_axes.size(); ++i) {
        if (!g_axes[i].open) {
            g_axes[i] = AxisHandle{index, axis, true};
            return static_cast<int>(i);
        }
    }
    g_axes.push_back(AxisHandle{index, axis, true});
    return static_cast<int>(g_axes.size()) - 1;
}

int input_read_axis(int handle) {
    if (handle < 0 || handle >= static_cast<int>(g_axes.size()) || !g_axes[static_cast<size_t>(handle)].open)
        return 0;
    const AxisHandle& h = g_axes[static_cast<size_t>(handle)];
    InputDevice& d = g_devices[static_cast<size_t>(h.device)];
    if (d.is_cursor) {
        int x = 0, y = 0;
        window_cursor_position(x, y);
        return h.axis == 0 ? x : y;
    }
    if (d.joystick) {
        int value = SDL_JoystickGetAxis(static_cast<SDL_Joystick*>(d.joystick), h.axis);
        return value < -32767 ? -32767 : value;
    }
    int& v = d.axis_values[static_cast<size_t>(h.axis)];
    int value = v;
    if (d.relative) v = 0;
    return value;
}

void input_close_axis(int handle) {
    if (handle < 0 || handle >= static_cast<int>(g_axes.size()) || !g_axes[static_cast<size_t>(handle)].open)
        return;
    AxisHandle& h = g_axes[static_cast<size_t>(handle)];
    h.open = false;
    InputDevice& d = g_devices[static_cast<size_t>(h.device)];
    if (d.users > 0) --d.users;
}

const std::vector<std::string>& input_axis_names() {
    return g_axis_names;
}

int input_scan_for_system_key(int system_scancode) {
    for (const ScanPair& p : k_scan_pairs)
        if (p.system == system_scancode) return p.pc;
    return -1;
}

void input_reset() {
    input_clear_events();
    for (InputDevice& d : g_devices)
        if (d.joystick) SDL_JoystickClose(static_cast<SDL_Joystick*>(d.joystick));
    g_devices.clear();
    g_axes.clear();
    g_axis_names.clear();
    g_aliases.clear();
}
