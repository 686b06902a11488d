// The tone stream between two threads, as in the program: the converter thread adds tones and
// reads the sound waiting while the housekeeping thread services a sink. Run under
// ThreadSanitizer with the other thread tests.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/tone_stream.h"
#include "support/tone_sink_double.h"

namespace {

TEST(ToneStreamThreads, EveryFrameArrivesInOrderWithoutARace) {
    tone_stream stream;
    tone_sink_double sink;
    // The clock both threads read: the housekeeping thread moves it 16 ms a pass.
    std::atomic<int64_t> clock_ms{0};
    std::atomic<bool> converter_done{false};
    constexpr int32_t tones = 40;
    constexpr int32_t frames_per_tone = 1500;

    std::thread converter([&] {
        for (int32_t tone = 0; tone < tones; ++tone) {
            std::vector<int16_t> values(frames_per_tone);
            for (int32_t i = 0; i < frames_per_tone; ++i) values[i] = static_cast<int16_t>(1 + (tone * frames_per_tone + i) % 30000);
            stream.add_frames(values, clock_ms.load());
            EXPECT_GE(stream.sound_waiting(), 0);
            std::this_thread::yield();
        }
        converter_done = true;
    });
    std::thread housekeeping([&] {
        for (int pass = 0; pass < 100000; ++pass) {
            stream.service(sink, clock_ms.fetch_add(16) + 16);
            sink.play(sink.held());
            const tone_stream_counts counts = stream.counts();
            if (converter_done && counts.waiting_blocks == 0 && counts.filled_frames == 0 && counts.handed_over == 0) break;
            std::this_thread::yield();
        }
    });
    converter.join();
    housekeeping.join();

    // The frames come out in the order added; the blocks that the flush completed carry
    // silence after their frames.
    int32_t next = 0;
    int32_t silent = 0;
    for (const tone_block& block : sink.blocks) {
        for (size_t at = 0; at < block.size(); at += 2) {
            ASSERT_EQ(block[at], block[at + 1]);
            if (block[at] == 0) {
                ++silent;
                continue;
            }
            ASSERT_EQ(block[at], 1 + next % 30000) << "frame " << next;
            ++next;
        }
    }
    EXPECT_EQ(next, tones * frames_per_tone);
    EXPECT_EQ(static_cast<int32_t>(sink.blocks.size()) * tone_block_frames, next + silent);
    EXPECT_LE(sink.most_held, tone_sink_buffers);
}

}  // namespace
