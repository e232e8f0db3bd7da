#include "platform/log.h"

#include "platform/clock.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex g_log_lock;
FILE* g_log_file = nullptr;
bool g_log_set_up = false;
bool g_log_closed = false;
std::string g_last_error = "Unknown";

const char k_default_prefix[] = "VORL_LOGFILE=";

// Opens the file named by the environment or by the default the game supplied. Called under the lock.
void log_set_up(const char* default_name) {
    g_log_set_up = true;
    const char* env_name = getenv("VORL_LOGFILE");
    const char* env_flags = getenv("VORL_LOGFILE_FLAGS");
    const char* name = env_name ? env_name : default_name;
    if (!name) return;
    const char* mode = "w";
    if (strncmp(name, ">>", 2) == 0) {
        name += 2;
        mode = "a";
    } else if (name[0] == '>') {
        name += 1;
    }
    if (env_flags) mode = env_flags;
    g_log_file = fopen(name, mode);
    if (!g_log_file) return;
    char prefix[32];
    log_time_prefix(clock_milliseconds(), prefix, sizeof prefix);
    fprintf(g_log_file, "%sLogfile \"%s\" opened\n", prefix, name);
    fprintf(g_log_file, "%sVORL 0.31\n", prefix);
    fflush(g_log_file);
}

} // namespace

void log_time_prefix(long long ms, char* out, int size) {
    long long hours = ms / 3600000;
    int minutes = static_cast<int>(ms / 60000 % 60);
    int seconds = static_cast<int>(ms / 1000 % 60);
    int hundredths = static_cast<int>(ms / 10 % 100);
    snprintf(out, size, "[%lld:%02d:%02d.%02d] ", hours, minutes, seconds, hundredths);
}

void log_vprintf(const char* format, va_list args) {
    // Format outside the lock; one write per line under it, so lines never interleave.
    std::string text;
    if (format) {
        char small[1024];
        va_list copy;
        va_copy(copy, args);
        int n = vsnprintf(small, sizeof small, format, copy);
        va_end(copy);
        if (n < 0) return;
        if (n < static_cast<int>(sizeof small)) {
            text.assign(small, static_cast<size_t>(n));
        } else {
            text.assign(static_cast<size_t>(n) + 1, '\0');
            vsnprintf(text.data(), text.size(), format, args);
            text.resize(static_cast<size_t>(n));
        }
    }
    std::lock_guard<std::mutex> hold(g_log_lock);
    if (g_log_closed) return;
    if (!format) {
        if (g_log_file) fclose(g_log_file);
        g_log_file = nullptr;
        g_log_closed = true;
        return;
    }
    bool names_default = text.compare(0, sizeof k_default_prefix - 1, k_default_prefix) == 0;
    if (!g_log_set_up) {
        log_set_up(names_default ? text.c_str() + sizeof k_default_prefix - 1 : nullptr);
        if (names_default) return;
    } else if (names_default) {
        return;
    }
    if (!g_log_file || text[0] == 19) return;
    char prefix[32];
    log_time_prefix(clock_milliseconds(), prefix, sizeof prefix);
    fprintf(g_log_file, "%s%s", prefix, text.c_str());
    fflush(g_log_file);
}

void log_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    log_vprintf(format, args);
    va_end(args);
}

void log_close() {
    va_list none{};
    log_vprintf(nullptr, none);
}

void log_error(const char* message) {
    log_printf("Error: %s\n", message);
    std::lock_guard<std::mutex> hold(g_log_lock);
    g_last_error = message ? message : "Unknown";
}

const char* last_error() {
    static thread_local std::string copy;
    std::lock_guard<std::mutex> hold(g_log_lock);
    copy = g_last_error;
    return copy.c_str();
}

void log_reset() {
    std::lock_guard<std::mutex> hold(g_log_lock);
    if (g_log_file) fclose(g_log_file);
    g_log_file = nullptr;
    g_log_set_up = false;
    g_log_closed = false;
    g_last_error = "Unknown";
}
