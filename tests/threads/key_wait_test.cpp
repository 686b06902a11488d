// A key read on an empty queue waits for the window thread's keys and the housekeeping thread's
// frames.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/keys.h"
#include "support/runtime_double.h"

namespace {

// A key that comes while the read waits is the one it takes; reads that find none come back
// empty and the next one waits again.
TEST(KeyWait, KeyPressedWhileAReadWaitsIsTaken) {
    runtime_double runtime;
    clear_key_queue();
    std::thread window([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        key_pressed('q', 16);
    });
    string_descriptor key;
    for (int read = 0; read < 100 && key.length() == 0; ++read) key = read_key_string();
    window.join();
    EXPECT_EQ(key, string_descriptor("q"));
    clear_key_queue();
}

// Frames passing while reads wait on an empty queue: every read comes back, empty.
TEST(KeyWait, ReadsOnAnEmptyQueueComeBackEmptyWhileFramesPass) {
    runtime_double runtime;
    clear_key_queue();
    std::atomic<bool> done{false};
    std::thread housekeeping([&] {
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            display_frame_passed();
        }
    });
    for (int read = 0; read < 20; ++read) EXPECT_EQ(read_key_string(), string_descriptor());
    done = true;
    housekeeping.join();
}

}  // namespace
