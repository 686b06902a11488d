// Waiting and pacing on the process clock, in 9 ms slices that each end with the per-step
// check, so that Pause and a stop request take effect within about 9 ms.
#pragma once

#include <cstdint>

// Waits `seconds` (0 to 2147483.647, else error 5); returns at once while an error is pending.
void delay_seconds(double seconds);
// Keeps successive calls 1000 / `passes_per_second` ms apart (rate above 0 and period up to
// 60000 ms, else error 5); returns at once while an error is pending.
void limit_loop_rate(double passes_per_second);

// Milliseconds since the process started (monotonic).
int64_t process_clock_ms();

// The clock and the sleep that the waits use; tests inject their own. nullptr members restore
// the real ones.
struct clock_source {
    int64_t (*now_ms)() = nullptr;
    void (*sleep_ms)(int64_t ms) = nullptr;
};
void set_clock_source(const clock_source& source);
// Forgets limit_loop_rate's mark, as at start-up (for tests).
void reset_loop_rate();
