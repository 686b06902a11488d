#include "support/program_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <utility>

namespace {

child_options keeping_output(child_options options) {
    options.keep_output = true;
    return options;
}

}  // namespace

program_run::program_run(const std::string& program, child_options options)
    : child_process(program, keeping_output(std::move(options))) {}

program_run::~program_run() {
    // A run the test left going is stopped by the base; only one that ended has an exit code.
    if (!running()) {
        EXPECT_EQ(wait_for_exit(std::chrono::milliseconds(0)), expected_exit_code_) << "exit code of the program";
    }
    const std::string printed = output();
    EXPECT_FALSE(shows_x_error(printed)) << "the program printed an X error";
    if (!printed.empty()) std::cerr << "--- the program's output ---\n" << printed << "--- end ---\n";
}

bool shows_x_error(const std::string& output) {
    return output.find("X Error of failed request") != std::string::npos || output.find("XIO:") != std::string::npos;
}
