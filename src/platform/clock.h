#pragma once
// The millisecond wall clock and the precise sleep. 64-bit and monotonic: it never wraps and never
// steps back with the system time.
#include <cstdint>

struct WallTime {
    int64_t seconds;
    int64_t microseconds; // 0..999999, a whole number of milliseconds
};

// Milliseconds since an arbitrary fixed point (the first call in the process at the latest).
int64_t clock_milliseconds();
// The clock as seconds plus microseconds.
WallTime clock_now();
// The clock as seconds in a double: seconds + microseconds * 1e-6.
double clock_seconds();
// Sleeps the whole milliseconds of the interval less one (when above one), then yields until the
// clock has passed the target interval from now.
void sleep_until_later(int64_t seconds, int64_t microseconds);
