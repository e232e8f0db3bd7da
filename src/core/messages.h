#pragma once
// Message lines shown over the game (a 1000-line ring the chat view also shows, each line logged) and
// the loading-progress texts.

constexpr int k_message_ring_size = 1000;
constexpr int k_message_length = 128; // 127 characters and the terminating zero

struct MessageRing {
    char lines[k_message_ring_size][k_message_length];
    int write_pos;      // next line to write, 0..999
    int shown;          // lines currently shown, 0..message_lines
    double deadline;    // global-clock time at which one shown line is hidden
};

extern MessageRing g_messages;
// How many lines may be shown at once (the "message_lines" setting).
extern int g_message_lines;

void messages_clear();
// Logs the text and stores it (cut to 127 characters), shows one more line up to the limit and sets
// the deadline 2 s after the global clock.
void add_message(const char* text);
void add_messagef(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The i-th newest stored line (0 = newest), or "" when out of range.
const char* message_line(int newest_index);
// Hides one line once the global clock has passed the deadline, and sets the next deadline 5 s on.
void messages_expire(double global_clock);

// Loading progress. The drawing itself is done by a hook that the renderer installs.
struct ProgressState {
    double last_time;
    char last_text[79];
    double longest_gap;
    char longest_gap_text[79];
    int spinner;
    double spinner_time;
};
extern ProgressState g_progress;
void show_progress(const char* text);
void show_progress_and_log(const char* text);
void show_progress_with_spinner(const char* text);
void show_progress_done(const char* text);
// Installs the loading-screen painter: discard pending input, draw the text, present the frame.
void set_progress_painter(void (*painter)(const char* text));
