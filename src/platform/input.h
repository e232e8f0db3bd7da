#pragma once
// Input events, key names and input devices.
//
// Every digital input is an event with a 32-bit code in one time-ordered queue:
//   0..255            a typed character (press only; Tab 9, Enter 13, Esc 27, Backspace 8 included)
//   4096 + s          keyboard key with PC scan code s (set 1, extended keys + 256), s < 512
//   8192, 8193, 8194  mouse left, middle, right button
//   57005             the window's close request (press only)
//   device id + b     button b (0..255) of an input device; device ids are multiples of 65536
// Analogue inputs (joystick axes, the cursor position) are read on demand through axis handles.
// Every code and axis has a text name; names convert to codes and back.
#include <string>
#include <vector>

struct Window;

constexpr int k_input_close = 57005;
constexpr int k_input_char_backspace = 8;
constexpr int k_input_char_tab = 9;
constexpr int k_input_char_enter = 13;
constexpr int k_input_char_esc = 27;
constexpr int k_input_key_base = 4096;
constexpr int k_input_key_count = 512;
constexpr int k_input_mouse_left = 8192;
constexpr int k_input_mouse_middle = 8193;
constexpr int k_input_mouse_right = 8194;
constexpr int k_input_device_unit = 65536;
constexpr int k_input_device_buttons = 256;
// Events waiting beyond this many are dropped, except key and button releases, which use a
// reserve so that no control stays held down because its release was lost.
constexpr int k_input_queue_size = 256;
constexpr int k_input_queue_reserve = 256;

struct InputEvent {
    int code;
    bool pressed;
    double time; // wall-clock seconds of the event (clock_seconds)
};

// --- the event queue ---

// Takes the oldest pending event stamped no later than `until` (every pending event when `all`).
bool input_take_event(double until, bool all, InputEvent& out);
// Adds an event in time-stamp order (after every waiting event with an equal or earlier stamp).
// Returns false when the event was dropped because the queue is full.
bool input_push_event(const InputEvent& event);
void input_clear_events();
int input_pending_events();
// Handles waiting window messages, then takes the oldest event.
bool input_next_event(Window* window, InputEvent& out);
// The same, but only an event stamped no later than `time`.
bool input_next_event_before(Window* window, double time, InputEvent& out);

// --- names ---

// The name of a code, or null when it has none. Names are interned: equal names are one pointer.
const char* input_code_name(int code);
// The code for a name: aliases first, then exact and then loose matches (letter case ignored, "_"
// counts as a blank) of the special names, the system's key names and the fixed key table; then
// "0x%x" up to 0x1ff; then "<device>.key[<b>]" or "<device> button <b>" of an existing device.
bool input_name_code(const char* text, int& code);
// input_name_code as a value: -1 when the name is unknown.
int input_code_for_name(const char* name);
// Registers `alias` as another name for `target`. A second alias of the same name is refused.
bool input_alias(const char* alias, const char* target);
// The aliases registered when the window opens ("cursor-x", "mouse-left", "joystick-a-1", ...).
void input_register_standard_aliases();
// The fixed key table: name and scan code, in table order (98 entries).
struct KeyName {
    const char* name;
    int scan;
};
const std::vector<KeyName>& input_fixed_key_names();

// --- devices and axes ---

constexpr int k_input_max_axes = 100;
constexpr int k_input_max_buttons = 500;

struct InputDevice {
    std::string name; // unique, without blanks or "."
    int id;           // multiple of 65536
    int axis_count;
    int button_count;
    bool relative;  // relative axes report movement since the last read
    int users;      // open axis handles; the device reports while above 0
    bool opened;    // a button of the device was named, so its buttons report
    int instance;   // the system's joystick instance, -1 for built-in devices
    void* joystick; // the system's joystick handle, null for built-in devices
    std::vector<int> axis_values;
    std::vector<bool> buttons_down;
    bool is_cursor;
};

// The id for a device name (before collisions are resolved).
int input_device_id_for_name(const char* name);
// Adds a device named after `base_name` (blanks and "." removed, "#2", "#3"... added to repeats)
// with a unique id. Returns its index.
int input_add_device(const char* base_name, int axis_count, int button_count, bool relative);
int input_device_count();
InputDevice* input_device(int index);
InputDevice* input_find_device(const char* name);
// Finds the system's joysticks (option "dinput", default on) and adds the cursor device.
void input_devices_open();
// Closes every device ("Closing input devices").
void input_devices_close();
// A device's button changed (the system's event pump). Only open devices report.
void input_device_button(int device_index, int button, bool pressed, double time);
// Sets an axis value: absolute axes take it, relative ones add it.
void input_device_axis(int device_index, int axis, int value);
// The device for the system's joystick instance, -1 when none.
int input_device_for_instance(int instance);

// Opens an axis by name ("<device>.axis[<n>]" or "<device> axis <n>", aliases first); -1 when
// there is no such axis.
int input_open_axis(const char* text);
// Absolute axes read -32767..32767, the cursor axes in window pixels; a relative axis returns
// the movement since the last read.
int input_read_axis(int handle);
void input_close_axis(int handle);
// "<device> axis <n>" for every absolute axis of the system's joysticks, for the controls menu.
const std::vector<std::string>& input_axis_names();

// PC scan code (set 1, extended + 256) for the system's key scan code; -1 when it has none.
int input_scan_for_system_key(int system_scancode);

// Forgets the queue, the devices, the axes and the aliases (tests).
void input_reset();
