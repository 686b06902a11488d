#include "platform/drops.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Drops arriving on another thread while names are read: every name read is whole and comes
// from one drop (both drops hold names of one repeated letter, of different lengths).
TEST(DropsThreads, NamesReadWhileDropsArriveComeWholeFromOneDrop) {
    const std::string a(300, 'a');
    const std::string b(4000, 'b');
    std::atomic<bool> done{false};
    std::thread window_thread([&] {
        for (int i = 0; i < 2000; ++i) set_pending_drop(i % 2 ? std::vector{a, a} : std::vector{b, b, b});
        done = true;
    });
    while (!done) {
        const string_descriptor name = dropped_file_name(2);
        EXPECT_TRUE(name.bytes.empty() || name.bytes == a || name.bytes == b);
    }
    window_thread.join();
}

}  // namespace
