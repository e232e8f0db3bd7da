#include "platform/clock.h"

#include <sched.h>
#include <time.h>

int64_t clock_milliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

WallTime clock_now() {
    int64_t ms = clock_milliseconds();
    return WallTime{ms / 1000, (ms % 1000) * 1000};
}

double clock_seconds() {
    WallTime t = clock_now();
    return static_cast<double>(t.seconds) + static_cast<double>(t.microseconds) * 1e-6;
}

void sleep_until_later(int64_t seconds, int64_t microseconds) {
    int64_t interval_ms = seconds * 1000 + microseconds / 1000;
    int64_t deadline = clock_milliseconds() + interval_ms;
    if (interval_ms > 1) {
        int64_t ms = interval_ms - 1;
        timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        while (nanosleep(&ts, &ts) != 0) {
        }
    }
    while (clock_milliseconds() < deadline) sched_yield();
}
