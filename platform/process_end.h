// The one way the process ends, for the shutdown, the critical errors and the loss of the X
// display alike.
#pragma once

// Flushes the standard streams and ends the process with `exit_code` at once, from any
// thread, without running the libraries' exit handlers and destructors. Never returns.
[[noreturn]] void end_process(int exit_code);
