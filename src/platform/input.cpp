#include "platform/input.h"

#include <cstring>
#include <deque>

// Time-ordered queue of input events. Events arrive in stamp order from the event pump.
namespace {
std::deque<InputEvent> g_queue;
}

bool input_take_event(double until, bool all, InputEvent& out) {
    if (g_queue.empty()) return false;
    if (!all && g_queue.front().time > until) return false;
    out = g_queue.front();
    g_queue.pop_front();
    return true;
}

void input_push_event(const InputEvent& event) { g_queue.push_back(event); }
void input_clear_events() { g_queue.clear(); }

int input_code_for_name(const char* name) {
    if (strlen(name) == 1) return static_cast<unsigned char>(name[0]);
    if (strcmp(name, "esc") == 0) return k_input_char_esc;
    if (strcmp(name, "tab") == 0) return k_input_char_tab;
    if (strcmp(name, "enter") == 0) return 13;
    return -1;
}
