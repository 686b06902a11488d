// A run of a whole program under test (the converter, or the window probe over the platform
// layer): the program's output is kept, and when the run is dropped the test fails if the
// program printed an X error, or if it ended by itself with another exit code than the one
// expected: 0, for every ending of a run is a normal one, unless the test says otherwise. The
// output then goes on to the test's own error output, where sanitizer reports show.
#pragma once

#include <string>

#include "support/child_process.h"

class program_run : public child_process {
  public:
    program_run(const std::string& program, child_options options);
    ~program_run();
    program_run(const program_run&) = delete;
    program_run& operator=(const program_run&) = delete;

    // The exit code that the program's own ending must give (0 unless told).
    void expect_exit_code(int code) { expected_exit_code_ = code; }

  private:
    int expected_exit_code_ = 0;
};

// What Xlib prints when a request fails or a connection breaks: no run of the program may
// show either.
bool shows_x_error(const std::string& output);
