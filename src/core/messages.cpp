#include "core/messages.h"

#include "core/main_loop.h"
#include "platform/clock.h"
#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

MessageRing g_messages{};
int g_message_lines = 5;
ProgressState g_progress{};

namespace {
void (*g_painter)(const char*) = nullptr;
}

void messages_clear() { memset(&g_messages, 0, sizeof g_messages); }

void add_message(const char* text) {
    size_t length = strlen(text);
    const char* reset = strchr(text, 27) ? "\033[0m" : "";
    if (length > 0 && text[length - 1] == '\n')
        log_printf("%s%s", text, reset);
    else
        log_printf("%s%s\n", text, reset);
    char* line = g_messages.lines[g_messages.write_pos];
    snprintf(line, k_message_length, "%s", text);
    g_messages.write_pos = (g_messages.write_pos + 1) % k_message_ring_size;
    if (g_messages.shown < g_message_lines) ++g_messages.shown;
    g_messages.deadline = g_loop.global_clock + 2.0;
}

void add_messagef(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    add_message(text);
}

const char* message_line(int newest_index) {
    if (newest_index < 0 || newest_index >= k_message_ring_size) return "";
    int at = (g_messages.write_pos - 1 - newest_index + 2 * k_message_ring_size) % k_message_ring_size;
    return g_messages.lines[at];
}

void messages_expire(double global_clock) {
    if (global_clock > g_messages.deadline && g_messages.shown > 0) {
        --g_messages.shown;
        g_messages.deadline = global_clock + 5.0;
    }
}

void set_progress_painter(void (*painter)(const char*)) { g_painter = painter; }

void show_progress(const char* text) {
    if (g_painter) g_painter(text);
    double now = clock_seconds();
    double gap = now - g_progress.last_time;
    if (gap > g_progress.longest_gap) {
        g_progress.longest_gap = gap;
        snprintf(g_progress.longest_gap_text, sizeof g_progress.longest_gap_text, "%s", g_progress.last_text);
    }
    g_progress.last_time = now;
    snprintf(g_progress.last_text, sizeof g_progress.last_text, "%s", text);
}

void show_progress_and_log(const char* text) {
    g_progress.spinner = 0;
    show_progress(text);
    if (text[0]) log_printf("%s\n", text);
}

void show_progress_with_spinner(const char* text) {
    double now = clock_seconds();
    if (now - g_progress.spinner_time < 0.125) return;
    static const char* const dots[4] = {"", ".", "..", "..."};
    char shown[96];
    snprintf(shown, sizeof shown, "%.64s%s", text, dots[g_progress.spinner]);
    show_progress(shown);
    g_progress.spinner = (g_progress.spinner + 1) % 4;
    g_progress.spinner_time = now;
}

void show_progress_done(const char* text) {
    char shown[96];
    snprintf(shown, sizeof shown, "%.64s...done", text);
    show_progress(shown);
}
