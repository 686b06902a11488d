// How the whole program in drop mode answers keys and the close box: a key pressed early ends
// it at the first prompt, Pause holds it, the close box ends it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/converter_run.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ConverterKeys : public ConverterRun {
  protected:
    // Starts the program, drops a picture on it and waits until the status screen shows its
    // first line; the window, or 0 when it does not come to that.
    Window drop_picture() {
        picture_of(every_pattern).save_png(picture);
        const Window window = start_window();
        if (!window || !drop(window, {picture})) return 0;
        return window_shows(window, [](const x_screenshot& shot) { return shows_status_screen(shot); }) ? window : 0;
    }

    static bool shows_status_screen(const x_screenshot& shot) {
        return shot.width == 640 && shot.height == 350 &&
               text_cells_show(shot, 2, 2, "You've dropped this file:", status_green, status_blue);
    }

    const fs::path picture = program.path() / "drawing.png";
};

class EarlyKey : public ConverterKeys, public testing::WithParamInterface<const char*> {};

// The key waits in the key queue through the status screen and the conversion; the first pass
// of the key wait reads it, whether it comes as one byte or as a zero byte and a scan code.
TEST_P(EarlyKey, PressedDuringTheStatusScreenEndsTheProgramOnceTheCassetteIsWritten) {
    const Window window = drop_picture();
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(type_keys(window, GetParam()));
    EXPECT_EQ(morvane->wait_for_exit(60s), 0);
    EXPECT_EQ(program.cassette(), expected_cassette(every_pattern));
}

INSTANTIATE_TEST_SUITE_P(Keys, EarlyKey, testing::Values("a", "Left"));

TEST_F(ConverterKeys, CloseBoxDuringTheDropWaitEndsTheProgram) {
    const Window window = start_window();
    ASSERT_NE(window, 0u);
    send_close_box(x, window);
    EXPECT_EQ(morvane->wait_for_exit(30s), 0);
    EXPECT_FALSE(fs::exists(program.path() / "IMAGE.CAS"));
}

TEST_F(ConverterKeys, PauseHoldsTheStatusScreenAndTheKeyThatEndsItIsConsumed) {
    const Window window = drop_picture();
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(type_keys(window, "Pause"));
    // Longer than the status screen's own waits (1.5 s): unpaused, the canvas would follow.
    std::this_thread::sleep_for(2500ms);
    EXPECT_TRUE(shows_status_screen(capture_window(x, window)));
    EXPECT_TRUE(morvane->running());
    EXPECT_FALSE(fs::exists(program.path() / "IMAGE.CAS"));

    ASSERT_TRUE(type_keys(window, "a"));
    // The first pass of the key wait prints the prompt in attribute 10 and would end at a queued
    // key; a prompt in another colour shows that later passes found the queue empty.
    const std::vector<screen_line> name_line = {{3, 2, picture.string(), status_green}};
    EXPECT_TRUE(window_shows(window, [&](const x_screenshot& shot) {
        const int colour = end_screen_prompt_colour(shot, name_line);
        return colour != 0 && colour != 10;
    }));
    EXPECT_TRUE(morvane->running());
    ASSERT_TRUE(type_keys(window, "b"));
    EXPECT_EQ(morvane->wait_for_exit(30s), 0);
    EXPECT_EQ(program.cassette(), expected_cassette(every_pattern));
}

}  // namespace
