// Numbered run-time errors: the one error channel of the platform layer. A failing service
// records its number with raise_error and returns its neutral result; the converter's next
// per-step check (statement_event_check) shows the error box.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// The numbers of the run-time errors that the services raise.
namespace error_number {
inline constexpr int32_t illegal_function_call = 5;
inline constexpr int32_t bad_file_name_or_number = 52;
inline constexpr int32_t file_not_found = 53;
inline constexpr int32_t bad_file_mode = 54;
inline constexpr int32_t file_already_open = 55;
inline constexpr int32_t device_unavailable = 68;
inline constexpr int32_t permission_denied = 70;
inline constexpr int32_t path_file_access_error = 75;
inline constexpr int32_t path_not_found = 76;
inline constexpr int32_t invalid_handle = 258;
// Critical: the image table or a text could not get memory.
inline constexpr int32_t image_table_out_of_memory = 502;
inline constexpr int32_t text_out_of_memory = 503;
}  // namespace error_number

// The run-time error waiting to be shown; 0 when none. Written by raise_error (first error
// wins) on any thread that runs a service, cleared only by the error box's Yes.
extern std::atomic<int32_t> pending_error;

// Records error `number`. A critical number shows its OK box and ends the process with exit
// code 0 at once; any other number becomes pending_error unless one is already pending
// (0 or a negative number is recorded as 5) and sets event_pending.
void raise_error(int32_t number);

// The message of a run-time error; "Unprintable error" for a number that has none.
std::string error_message(int32_t number);

// True for the numbers that end the program at once when raised.
bool is_critical_error(int32_t number);

// True while a run-time error is pending: the services that test it then do nothing.
inline bool error_is_pending() { return pending_error.load(std::memory_order_acquire) != 0; }

// Shows the Yes/No box for pending_error, naming the step (main module) or the include line
// and include name; true when the program goes on: Yes (which clears the error) or no error
// pending. On No it returns false and leaves the error pending; ending the program is the
// caller's part. The memory-block errors 300 to 315 get an OK box instead and end the
// process. Called only by statement_event_check.
bool handle_pending_error(int32_t step, int32_t include_line, const char* include_name);

// The executable's file name as it was started, less its folder: the error boxes' titles end
// with it. Set once at start-up.
void set_executable_name(const std::string& started_as);
const std::string& executable_name();
