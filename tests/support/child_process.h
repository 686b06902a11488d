// Runs a program as a child process for whole-program tests, with its own arguments, folder
// and extra environment, and waits for its exit with a bound.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct child_options {
    std::vector<std::string> arguments;  // argv[0] first
    std::string working_directory;       // empty: the test's own
    std::vector<std::string> environment;  // "NAME=value", added to the test's own
    std::optional<uid_t> run_as_user;      // drop to this user (and its group) before exec
    bool keep_output = false;              // its output and error output kept, for output()
};

class child_process {
  public:
    // Starts `program` (a path) with `options`.
    child_process(const std::string& program, const child_options& options);
    ~child_process();  // kills it if still running
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    pid_t pid() const { return pid_; }
    // The exit code once it has ended within `limit`; nullopt when it is still running (or
    // ended by a signal, which gives -signal).
    std::optional<int> wait_for_exit(std::chrono::milliseconds limit);
    bool running();
    // What it wrote so far to its output and error output, when they are kept.
    std::string output() const;

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    int output_ = -1;  // a file in memory, or -1
};

// The uid of the unprivileged user "nobody", for tests that must not run as root.
uid_t unprivileged_user();
