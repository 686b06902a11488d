// The window, keys, error box and shutdown of the platform layer, driven through a scripted
// program (window_probe) under a private Xvfb, with xdotool for keys and Xlib for the rest.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/message_box_x11.h"
#include "support/program_run.h"
#include "support/scratch_files.h"
#include "support/converter_x.h"
#include "support/screen_text.h"
#include "support/x_screenshot.h"
#include "support/xvfb_display.h"

namespace {

using namespace std::chrono_literals;

constexpr int screen_width = 1280;
constexpr int screen_height = 1024;
const std::string probe_name = "window_probe";

std::vector<std::string> read_lines(const std::string& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class WindowProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        XSetErrorHandler(ignore_x_error);
        x_ = XOpenDisplay(display_.name().c_str());
        ASSERT_NE(x_, nullptr);
    }
    void TearDown() override {
        probe_.reset();
        XCloseDisplay(x_);
    }

    void start(const std::string& script, const std::string& argument = "") {
        std::vector<std::string> arguments = {WINDOW_PROBE, script};
        if (!argument.empty()) arguments.push_back(argument);
        // The GL driver does not free everything before the process ends: no leak report. Its
        // software rasteriser draws on the calling thread: its own worker threads synchronise
        // in ways ThreadSanitizer cannot see.
        probe_ = std::make_unique<program_run>(
            WINDOW_PROBE, child_options{.arguments = arguments,
                                        .environment = {"ASAN_OPTIONS=detect_leaks=0", "LP_NUM_THREADS=0"}});
    }

    bool size_becomes(Window window, int width, int height) {
        return eventually([&] {
            const window_placement now = placement_of(x_, window);
            return now.width == width && now.height == height;
        });
    }

    // Runs xdotool on the test's display; true when it succeeded.
    static bool xdotool(const std::string& arguments) {
        return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
    }
    std::optional<int> exit_code() { return probe_->wait_for_exit(15s); }

    void close_and_expect_exit(Window window) {
        send_close_box(x_, window);
        EXPECT_EQ(exit_code(), 0);
    }

    std::string file(const std::string& name) const { return folder_.file(name); }

    xvfb_display display_{screen_width, screen_height};
    Display* x_ = nullptr;
    temporary_folder folder_{"morvane-window"};
    std::unique_ptr<program_run> probe_;
};

TEST_F(WindowProgram, StartsAs640x400Untitled) {
    start("idle");
    const Window window = window_titled(x_, "Untitled");
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(size_becomes(window, 640, 400));
}

TEST_F(WindowProgram, TitleSetBeforeTheWindowExistsAndCentring) {
    start("title-early", "Morvane");
    const Window window = window_titled(x_, "Morvane");
    ASSERT_NE(window, 0u);
    const window_placement centred{(screen_width - 640) / 2, (screen_height - 400) / 2, 640, 400};
    EXPECT_TRUE(eventually([&] { return placement_of(x_, window) == centred; })) << ::testing::PrintToString(placement_of(x_, window));
}

TEST_F(WindowProgram, TitleSetOnceTheWindowExists) {
    start("title-late", "Later title");
    EXPECT_NE(window_titled(x_, "Later title"), 0u);
}

TEST_F(WindowProgram, LatestTitleWinsWhileTheWindowIsBeingMade) {
    start("title-burst", "Final title");
    EXPECT_NE(window_titled(x_, "Final title"), 0u);
}

TEST_F(WindowProgram, FramePixelsArriveOneToOne) {
    start("pattern");
    const Window window = window_titled(x_, "Untitled");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(size_becomes(window, 640, 350));
    const auto expected = [](int x, int y) {
        return static_cast<uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | ((x / 64) * 16 + (y / 64) * 8));
    };
    int wrong = -1;
    EXPECT_TRUE(eventually([&] {
        const x_screenshot shot = capture_window(x_, window);
        if (shot.width != 640 || shot.height != 350) return false;
        wrong = 0;
        for (int y = 0; y < 350; ++y)
            for (int x = 0; x < 640; ++x) wrong += shot.at(x, y) != expected(x, y);
        return wrong == 0;
    })) << wrong << " pixels differ";
}

TEST_F(WindowProgram, WindowTakesTheSizeOfScreenMode9AndShowsItsCells) {
    start("mode9");
    const Window window = window_titled(x_, "Untitled");
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(size_becomes(window, 640, 350));
    const std::vector<screen_line> lines = {{2, 2, "You've dropped this file:", status_green}};
    EXPECT_TRUE(eventually([&] { return mode9_screen_shows(capture_window(x_, window), lines, status_blue); }));
}

TEST_F(WindowProgram, KeysArriveWithTheirCharacterAndScanCode) {
    const std::string keys = file("keys");
    start("keys", keys);
    const Window window = window_titled(x_, "Untitled");
    ASSERT_NE(window, 0u);
    // Shift, Ctrl and Alt alone add nothing; "z" marks the end. At most 15 keys wait to be
    // read (the rest are dropped), so a slow start on a busy machine must not see them all.
    ASSERT_TRUE(type_keys(window, "a shift+a Return Escape space Tab BackSpace 1 ctrl+c Left Up Home Delete "
                                  "Insert F1"));
    ASSERT_TRUE(eventually([&] { return read_lines(keys).size() >= 15; }));
    ASSERT_TRUE(type_keys(window, "F10 F11 F12 Shift_L Control_L Alt_L z"));
    const std::vector<std::string> expected = {
        "61", "41", "0d", "1b", "20", "09", "08", "31", "03", "00 4b", "00 48",
        "00 47", "00 53", "00 52", "00 3b", "00 44", "00 85", "00 86", "7a",
    };
    EXPECT_TRUE(eventually([&] { return read_lines(keys).size() >= expected.size(); }));
    EXPECT_EQ(read_lines(keys), expected);
    close_and_expect_exit(window);
}

TEST_F(WindowProgram, SixteenKeysLeaveFifteenWaiting) {
    const std::string keys = file("keys");
    start("keys-later", keys);
    const Window window = window_titled(x_, "Untitled");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(type_keys(window, "a b c d e f g h i j k l m n o p"));
    std::this_thread::sleep_for(500ms);  // lets the window take the last key
    std::ofstream(keys + ".go").close();
    ASSERT_TRUE(eventually([&] { return read_lines(keys).size() >= 15; }));
    ASSERT_TRUE(type_keys(window, "q"));
    ASSERT_TRUE(eventually([&] { return read_lines(keys).size() >= 16; }));
    const std::vector<std::string> expected = {"61", "62", "63", "64", "65", "66", "67", "68",
                                               "69", "6a", "6b", "6c", "6d", "6e", "6f", "71"};
    EXPECT_EQ(read_lines(keys), expected);
}

class PauseKey : public WindowProgram, public ::testing::WithParamInterface<const char*> {};

TEST_P(PauseKey, HoldsTheProgramUntilTheNextKeyWhichIsConsumed) {
    const std::string keys = file("keys");
    start("keys", keys);
    const Window window = window_titled(x_, "Untitled");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(eventually([&] { return !read_whole_file(keys + ".beat").empty(); }));
    ASSERT_TRUE(type_keys(window, GetParam()));
    // The pause holds once the key has come through the X server and the window, which a busy
    // machine delays: the beat comes to a stop and stays there.
    std::string held;
    EXPECT_TRUE(eventually([&] {
        held = read_whole_file(keys + ".beat");
        std::this_thread::sleep_for(500ms);
        return read_whole_file(keys + ".beat") == held;
    }, 5s)) << "the program went on while paused";
    ASSERT_TRUE(type_keys(window, "a"));
    EXPECT_TRUE(eventually([&] { return read_whole_file(keys + ".beat") != held; }));
    ASSERT_TRUE(type_keys(window, "b"));
    ASSERT_TRUE(eventually([&] { return !read_lines(keys).empty(); }));
    EXPECT_EQ(read_lines(keys), std::vector<std::string>{"62"});
}

INSTANTIATE_TEST_SUITE_P(Keys, PauseKey, ::testing::Values("Pause", "ctrl+Num_Lock"));

class EndingKey : public WindowProgram, public ::testing::WithParamInterface<const char*> {};

TEST_P(EndingKey, EndsTheProgramWithExitCode0) {
    start("idle");
    const Window window = window_titled(x_, "Untitled");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(type_keys(window, GetParam()));
    EXPECT_EQ(exit_code(), 0);
}

INSTANTIATE_TEST_SUITE_P(Keys, EndingKey, ::testing::Values("alt+F4", "ctrl+Pause", "ctrl+Scroll_Lock"));

TEST_F(WindowProgram, CloseBoxEndsTheProgramWithExitCode0) {
    start("idle");
    const Window window = window_titled(x_, "Untitled");
    ASSERT_NE(window, 0u);
    close_and_expect_exit(window);
}

TEST_F(WindowProgram, ProgramThatEndsEndsTheProcessWithExitCode0) {
    start("end");
    EXPECT_EQ(exit_code(), 0);
}

const std::string error_title = "Unhandled Error #258 - " + probe_name;
const std::string error_text = "Line: 41 (in main module)\nInvalid handle\nContinue?";

TEST_F(WindowProgram, ErrorBoxShowsItsTitleAndTextAndReturnAnswersYes) {
    const std::string log = file("log");
    start("error", log);
    const Window box = window_titled(x_, error_title);
    ASSERT_NE(box, 0u);
    EXPECT_TRUE(xdotool("search --name '^" + error_title + "$'"));

    const std::vector<std::string> lines = message_box_lines(error_text);
    const message_box_layout layout = layout_message_box(lines, box_buttons::yes_no);
    ASSERT_TRUE(size_becomes(box, layout.width, layout.height));
    int wrong = -1;
    EXPECT_TRUE(eventually([&] {
        const x_screenshot shot = capture_window(x_, box);
        if (shot.width != layout.width || shot.height != layout.height) return false;
        wrong = box_text_pixels_differing(shot, layout, lines);
        return wrong == 0;
    })) << wrong << " text pixels differ";

    ASSERT_TRUE(type_keys(box, "Return"));
    EXPECT_TRUE(eventually([&] { return read_lines(log) == std::vector<std::string>{"continued"}; }));
    EXPECT_TRUE(eventually([&] { return find_titled(x_, DefaultRootWindow(x_), error_title) == 0; }));
    close_and_expect_exit(window_titled(x_, "Untitled"));
}

class YesKey : public WindowProgram, public ::testing::WithParamInterface<const char*> {};

TEST_P(YesKey, AnswersTheErrorBoxWithYes) {
    const std::string log = file("log");
    start("error", log);
    const Window box = window_titled(x_, error_title);
    ASSERT_NE(box, 0u);
    ASSERT_TRUE(type_keys(box, GetParam()));
    EXPECT_TRUE(eventually([&] { return read_lines(log) == std::vector<std::string>{"continued"}; }));
}

INSTANTIATE_TEST_SUITE_P(Keys, YesKey, ::testing::Values("space", "y"));

TEST_F(WindowProgram, CriticalErrorShowsAnOkBoxAndEndsWithExitCode0) {
    start("critical");
    const Window critical = window_titled(x_, "Critical Error #2");
    ASSERT_NE(critical, 0u);
    ASSERT_TRUE(type_keys(critical, "Return"));
    EXPECT_EQ(exit_code(), 0);
}

TEST_F(WindowProgram, ErrorBoxAnsweredNoEndsTheProgramWithExitCode0) {
    const std::string log = file("log");
    start("error", log);
    const Window box = window_titled(x_, error_title);
    ASSERT_NE(box, 0u);
    ASSERT_TRUE(type_keys(box, "n"));
    EXPECT_EQ(exit_code(), 0);
    EXPECT_TRUE(read_lines(log).empty());
}

TEST_F(WindowProgram, ErrorBoxNoButtonAnswersWhenClicked) {
    const std::string log = file("log");
    start("error", log);
    const Window box = window_titled(x_, error_title);
    ASSERT_NE(box, 0u);
    const message_box_layout layout = layout_message_box(message_box_lines(error_text), box_buttons::yes_no);
    ASSERT_TRUE(size_becomes(box, layout.width, layout.height));
    const auto& no = layout.buttons.at(1);
    ASSERT_EQ(no.answer, box_answer::no);
    ASSERT_TRUE(xdotool("mousemove --window " + std::to_string(box) + " " + std::to_string(no.x + no.width / 2) + " " +
                        std::to_string(no.y + no.height / 2) + " click 1"));
    EXPECT_EQ(exit_code(), 0);
    EXPECT_TRUE(read_lines(log).empty());
}

}  // namespace
