#pragma once
#include <cstdarg>
// The one log file. Each line carries the platform clock's time as "[h:mm:ss.hh] " and is flushed at
// once; lines from several threads never interleave and nothing is written after the log is closed.

// Appends formatted text to the log. The first call may be "VORL_LOGFILE=<path>", which only names
// the default file (the VORL_LOGFILE environment variable still wins) and is not itself written.
// A text whose first byte is 19 (control-S) is suppressed.
void log_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_vprintf(const char* format, va_list args);
// Closes the log file; later lines are dropped.
void log_close();
// Logs "Error: %s\n" and keeps the message for last_error ("Unknown" before any error).
void log_error(const char* message);
const char* last_error();
// Formats the time prefix for a clock reading in milliseconds, e.g. "[1:02:05.50] ".
void log_time_prefix(long long milliseconds, char* out, int size);
// Forgets all log state (tests).
void log_reset();
