#include "platform/timing.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/errors.h"
#include "platform/program_control.h"

namespace {

constexpr int64_t slice_ms = 9;
constexpr double longest_delay_seconds = 2147483.647;
constexpr double longest_period_ms = 60000.0;
// A pass that ends this late is still made up by the following ones.
constexpr double largest_made_up_lag_ms = 32.0;

const std::chrono::steady_clock::time_point process_start = std::chrono::steady_clock::now();

int64_t real_now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 process_start)
        .count();
}

void real_sleep_ms(int64_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The clock the waits read and the sleep they take, and limit_loop_rate's mark.
struct timing_state {
    // Written by set_clock_source (tests, before the waits run); read by the waiting thread.
    std::atomic<int64_t (*)()> now_ms{real_now_ms};
    std::atomic<void (*)(int64_t)> sleep_ms{real_sleep_ms};
    // The converter thread's alone: the time the current pass of a paced loop started.
    bool marked = false;
    double mark_ms = 0.0;
};

timing_state timing;

int64_t now_ms() { return timing.now_ms.load(std::memory_order_acquire)(); }

// Sleeps one 9 ms slice of a wait and then lets Pause, a stop request or an error act.
void sleep_slice() {
    timing.sleep_ms.load(std::memory_order_acquire)(slice_ms);
    statement_event_check(0, 0, nullptr);
}

// Sleeps the rest of a wait that is 9 ms or shorter: its whole milliseconds, at least 1.
void sleep_rest(double remaining_ms) {
    const auto whole = static_cast<int64_t>(remaining_ms);
    timing.sleep_ms.load(std::memory_order_acquire)(whole < 1 ? 1 : whole);
}

}  // namespace

int64_t process_clock_ms() { return real_now_ms(); }

void delay_seconds(double seconds) {
    if (error_is_pending()) return;
    // Written so that a NaN is refused too: a wait of NaN would never run out.
    if (!(seconds >= 0.0 && seconds <= longest_delay_seconds)) {
        raise_error(error_number::illegal_function_call);
        return;
    }
    const double wait_ms = seconds * 1000.0;
    double waited_ms = 0.0;
    int64_t last_look = now_ms();
    for (;;) {
        const int64_t look = now_ms();
        // A clock that went back makes its slice count as no time.
        if (look > last_look) waited_ms += static_cast<double>(look - last_look);
        last_look = look;
        const double remaining_ms = wait_ms - waited_ms;
        if (remaining_ms <= static_cast<double>(slice_ms)) {
            sleep_rest(remaining_ms);
            return;
        }
        sleep_slice();
    }
}

void limit_loop_rate(double passes_per_second) {
    if (error_is_pending()) return;
    // A NaN rate is refused as well: its period would never be reached.
    if (!(passes_per_second > 0.0) || 1000.0 / passes_per_second > longest_period_ms) {
        raise_error(error_number::illegal_function_call);
        return;
    }
    const double period_ms = 1000.0 / passes_per_second;
    if (!timing.marked) {
        timing.marked = true;
        timing.mark_ms = static_cast<double>(now_ms());
        return;
    }
    for (;;) {
        const double now = static_cast<double>(now_ms());
        const double elapsed_ms = now - timing.mark_ms;
        if (elapsed_ms < 0.0) {
            timing.mark_ms = now;
            return;
        }
        if (elapsed_ms >= period_ms) {
            const bool made_up = elapsed_ms - period_ms <= largest_made_up_lag_ms;
            timing.mark_ms = made_up ? timing.mark_ms + period_ms : now;
            return;
        }
        const double remaining_ms = period_ms - elapsed_ms;
        if (remaining_ms > static_cast<double>(slice_ms)) {
            sleep_slice();
        } else {
            sleep_rest(remaining_ms);
        }
    }
}

void set_clock_source(const clock_source& source) {
    timing.now_ms.store(source.now_ms ? source.now_ms : real_now_ms, std::memory_order_release);
    timing.sleep_ms.store(source.sleep_ms ? source.sleep_ms : real_sleep_ms, std::memory_order_release);
}

void reset_loop_rate() {
    timing.marked = false;
    timing.mark_ms = 0.0;
}
