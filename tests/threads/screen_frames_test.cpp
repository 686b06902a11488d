// The housekeeping thread's frame building against the converter thread's screen changes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/screen.h"
#include "support/runtime_double.h"

namespace {

TEST(ScreenFrames, FramesAreWholeWhileTheScreenChanges) {
    runtime_double runtime;
    reset_screens();
    std::atomic<bool> done{false};
    std::atomic<int> frames{0};
    std::atomic<int> broken{0};
    std::thread housekeeping([&] {
        display_frame frame;
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // it builds every 32 ms
            if (!build_display_frame(frame)) continue;
            ++frames;
            const bool known_size = (frame.width == 640 && (frame.height == 350 || frame.height == 400)) ||
                                    (frame.width == 800 && frame.height == 600);
            if (!known_size || frame.rgb.size() != size_t(frame.width) * frame.height * 3) ++broken;
        }
    });
    const uint8_t white[] = {255, 255, 255, 255};
    const image_handle dot = new_image_from_rgba(1, 1, white);
    const image_handle canvas = new_image(800, 600, 32);
    for (int pass = 0; pass < 100; ++pass) {
        select_screen(9);
        set_palette_entry(0, 1);
        locate_cursor(3, 2);
        print_string("You've dropped this file:", 1);
        select_screen(canvas);
        put_image(pass, 1, dot);
        read_pixel_color(1, 1);
    }
    done = true;
    housekeeping.join();
    EXPECT_GT(frames, 0);
    EXPECT_EQ(broken, 0);
    reset_screens();
}

}  // namespace
