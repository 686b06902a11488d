#include "platform/program_control.h"

#include <chrono>
#include <thread>

#include "platform/errors.h"

std::atomic<int32_t> event_pending{0};
std::atomic<bool> suspend_program{false};
std::atomic<bool> close_requested{false};
std::atomic<bool> stop_program{false};
std::atomic<bool> program_thread_stopped{false};

namespace {

std::atomic<program_thread_stopper> test_stopper{nullptr};

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

void statement_event_check(int32_t step, int32_t include_line, const char* include_name) {
    event_pending.store(0, std::memory_order_release);
    while (suspend_program.load(std::memory_order_acquire) || stop_program.load(std::memory_order_acquire)) {
        if (stop_program.load(std::memory_order_acquire)) stop_program_thread();
        sleep_ms(10);
    }
    if (pending_error.load(std::memory_order_acquire) != 0 && !handle_pending_error(step, include_line, include_name)) {
        // No in the error box ends the program as the converter's own end does.
        close_requested.store(true, std::memory_order_release);
        stop_program_thread();
    }
}

void stop_program_thread() {
    if (const program_thread_stopper stopper = test_stopper.load()) {
        stopper();
    }
    program_thread_stopped.store(true, std::memory_order_release);
    while (!stop_program.load(std::memory_order_acquire)) sleep_ms(16);
    for (;;) sleep_ms(16);
}

void set_program_thread_stopper(program_thread_stopper stopper) { test_stopper.store(stopper); }

void reset_program_control() {
    event_pending = 0;
    suspend_program = false;
    close_requested = false;
    stop_program = false;
    program_thread_stopped = false;
    pending_error = 0;
}
