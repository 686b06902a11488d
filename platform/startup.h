// Start-up, threads and shutdown: runs `program` on a converter thread of its own while the
// main thread runs the window. Never returns: the process ends with exit code 0.
#pragma once

[[noreturn]] void run_program(int argc, char** argv, void (*program)());
