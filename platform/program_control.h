// The flags that every thread shares to pause, stop and end the program, the per-step check
// that the converter makes, and the converter thread's way out.
#pragma once

#include <atomic>
#include <cstdint>

// Asks the converter to call statement_event_check after its current step. Set by
// raise_error, the Pause key and the shutdown; cleared only by statement_event_check.
extern std::atomic<int32_t> event_pending;
// The pause state: set by the Pause key (window thread), cleared by the next key.
extern std::atomic<bool> suspend_program;
// Asks the housekeeping thread to end the program. Set by the converter's end, the error box's
// No, Alt+F4, Ctrl+Break and Ctrl+Scroll Lock.
extern std::atomic<bool> close_requested;
// Set by the housekeeping thread when shutdown begins; read by the converter and the timer.
extern std::atomic<bool> stop_program;
// Set by stop_program_thread once the converter thread has let go; read by the shutdown.
extern std::atomic<bool> program_thread_stopped;

// The per-step check: clears event_pending, holds while paused, never returns once a stop is
// requested, and shows a pending run-time error's box, whose No ends the program.
void statement_event_check(int32_t step, int32_t include_line, const char* include_name);

// Ends the converter thread's part in the program: acknowledges the shutdown and sleeps until
// the process ends. Never returns.
[[noreturn]] void stop_program_thread();

// Tests replace the converter thread's way out (which otherwise sleeps until the process ends)
// with one of their own, for instance one that throws; nullptr restores it.
using program_thread_stopper = void (*)();
void set_program_thread_stopper(program_thread_stopper stopper);

// Puts every shared flag and the pending error back to their state at start-up (for tests;
// the process starts with them so).
void reset_program_control();
