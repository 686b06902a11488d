// How the whole program ends when its surroundings go away under it: the X server killed
// (as when the session ends), whatever the program is doing, and its window destroyed by
// another client (as some window managers and session ends do).
#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/converter_run.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The processes whose parent is this test process and that have not ended.
std::vector<pid_t> children_of_this_process() {
    std::vector<pid_t> children;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // "pid (command) state ppid ...": the command may hold spaces and parentheses.
        const std::size_t after_command = line.rfind(')');
        if (after_command == std::string::npos) continue;
        char state = 0;
        pid_t parent = 0;
        if (std::sscanf(line.c_str() + after_command + 1, " %c %d", &state, &parent) == 2 && parent == getpid() &&
            state != 'Z') {
            children.push_back(std::stoi(name));
        }
    }
    return children;
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

using ConverterEndings = ConverterRun;

class DisplayLost : public ConverterEndings, public testing::WithParamInterface<bool> {};

// The program ends at once and once, with exit code 1 and no crash, both with the error box of
// a file that is no picture open (the box's thread and the main thread then both find the
// server gone) and in the drop wait; it leaves no process behind: its decoding process, which
// would come to this one, ends with it.
TEST_P(DisplayLost, EndsTheProgramOnceWithExitCode1) {
    const bool box_open = GetParam();
    // Any process the program left would come to this one and be seen.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    if (box_open) {
        write_whole_file(program.path() / "notes.txt", "no picture here");
        start({"notes.txt"});
        const Window box = window_titled(x, "Unhandled Error #258 - morvane");
        ASSERT_NE(box, 0u);
        ASSERT_TRUE(box_shows(x, box, "Line: 41 (in main module)\nInvalid handle\nContinue?"));
    } else {
        ASSERT_NE(start_window(), 0u);
    }
    XCloseDisplay(x);
    x = nullptr;
    morvane->expect_exit_code(1);
    display.kill_now();
    EXPECT_EQ(morvane->wait_for_exit(10s), 1);
    EXPECT_EQ(count_of(morvane->output(), "lost the X display"), 1u) << morvane->output();
    EXPECT_TRUE(eventually([] { return children_of_this_process().empty(); }, 3s));
}

INSTANTIATE_TEST_SUITE_P(WithTheErrorBoxOpen, DisplayLost, testing::Values(true));
INSTANTIATE_TEST_SUITE_P(InTheDropWait, DisplayLost, testing::Values(false));

class WindowDestroyed : public ConverterEndings, public testing::WithParamInterface<bool> {};

// Another client destroys the window, in the drop wait or at the end screen (where the window
// is being drawn again and again): the program ends as by its close box, with exit code 0.
TEST_P(WindowDestroyed, ByAnotherClientEndsTheProgramWithExitCode0) {
    const bool converted = GetParam();
    const fs::path picture = program.path() / "drawing.png";
    picture_of(every_pattern).save_png(picture);
    const Window window = start_window();
    ASSERT_NE(window, 0u);
    if (converted) {
        ASSERT_TRUE(drop(window, {picture}));
        const std::vector<screen_line> name_line = {{3, 2, picture.string(), status_green}};
        ASSERT_TRUE(window_shows(window, [&](const x_screenshot& shot) { return end_screen_prompt_colour(shot, name_line) != 0; }));
    }
    XDestroyWindow(x, window);
    XSync(x, False);
    EXPECT_EQ(morvane->wait_for_exit(30s), 0);
    if (converted) {
        EXPECT_EQ(program.cassette(), expected_cassette(every_pattern));
    } else {
        EXPECT_FALSE(fs::exists(program.path() / "IMAGE.CAS"));
    }
}

INSTANTIATE_TEST_SUITE_P(InTheDropWait, WindowDestroyed, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(AtTheEndScreen, WindowDestroyed, testing::Values(true));

}  // namespace
