#pragma once
// Input events and key names. Codes: characters are their byte value (Tab 9, Enter 13, Esc 27,
// Backspace 8), other keys 4096 + scan code, the window's close request k_input_close.
constexpr int k_input_close = 57005;
constexpr int k_input_char_tab = 9;
constexpr int k_input_char_esc = 27;

struct InputEvent {
    int code;
    bool pressed;
    double time; // wall-clock seconds of the event
};

// Takes the oldest pending event stamped no later than `until` (every pending event when `all`).
bool input_take_event(double until, bool all, InputEvent& out);
// Adds an event to the queue (the platform's event pump and tests).
void input_push_event(const InputEvent& event);
void input_clear_events();
// The input code for a key name, or -1 when the name is unknown.
int input_code_for_name(const char* name);
