#include "platform/tone_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "support/runtime_double.h"
#include "support/tone_sink_double.h"

namespace {

constexpr double tick = 1 / 18.2;

struct tone_case {
    const char* name;
    double frequency;
    double seconds;
    size_t frames;
    std::vector<int16_t> first_values;
};

TEST(ToneSynthesis, TheConvertersTonesAndTheBeep) {
    const tone_case table[] = {
        {"48 Hz for 1 tick", 48, 1 * tick, 1838, {0, 141, 284, 426, 569, 712}},
        {"888 Hz for 0.05 tick", 888, 0.05 * tick, 100, {0, 2638, 5277, 7916, 10555, 13194}},
        {"730 Hz for 4 ticks", 730, 4 * tick, 9666, {0, 2168, 4338, 6507, 8677, 10847}},
        {"beep", 783.99, 0.2, 8776, {0, 2329, 4659, 6989, 9319, 11649}},
        // Silence has no upward crossing, so it keeps the whole trunc(44100 d) frames.
        {"0 Hz for 1 tick", 0, 1 * tick, 2423, {0, 0, 0}},
        {"0 Hz for 0.2 s", 0, 0.2, 8820, {0, 0, 0}},
    };
    for (const tone_case& tone : table) {
        const std::vector<int16_t> values = synthesize_tone(tone.frequency, tone.seconds);
        EXPECT_EQ(values.size(), tone.frames) << tone.name;
        ASSERT_GE(values.size(), tone.first_values.size()) << tone.name;
        const std::vector<int16_t> first(values.begin(), values.begin() + tone.first_values.size());
        EXPECT_EQ(first, tone.first_values) << tone.name;
    }
}

TEST(ToneSynthesis, TriangleTurnsAtBothEndsAndStoresOneStepTowardZero) {
    // 730 Hz: the phase climbs by 0.0662 a frame, turns below +1 and again above -1.
    const std::vector<int16_t> values = synthesize_tone(730, 4 * tick);
    EXPECT_EQ(*std::max_element(values.begin(), values.end()), 32751);
    EXPECT_EQ(*std::min_element(values.begin(), values.end()), -32751);
    // The cut leaves the tone ending on its way up to zero.
    EXPECT_EQ(values.back(), -1633);
    // 0.5 on the way up: v = trunc(32767 * 0.5) = 16383 is stored as 16382.
    const std::vector<int16_t> half = synthesize_tone(44100.0 / 8, 1.0);
    EXPECT_EQ(half[1], 16382);
    EXPECT_EQ(half[2], 32766);  // the phase reaches exactly +1 and turns
    EXPECT_EQ(half[3], 16382);
}

TEST(ToneSynthesis, FrequenciesAboveHalfTheRateStayInRange) {
    // One step of the phase is then more than the whole range; the values must not wrap.
    for (double frequency : {22050.0, 30000.0, 32767.0}) {
        const std::vector<int16_t> values = synthesize_tone(frequency, 0.5);
        for (const int16_t value : values) ASSERT_LE(std::abs(value), 32766) << frequency;
    }
}

TEST(ToneSynthesis, ToneShorterThanAPeriodShrinksToItsFirstFrame) {
    // 888 Hz has a period of about 50 frames; 24 frames hold only the upward start at frame 1.
    EXPECT_EQ(synthesize_tone(888, 0.01 * tick), std::vector<int16_t>{0});
    // A duration too short for a frame still makes one.
    EXPECT_EQ(synthesize_tone(440, 1e-9), std::vector<int16_t>{0});
}

TEST(ToneCut, DropsFromTheLastUpwardCrossingOn) {
    const std::pair<std::vector<int16_t>, std::vector<int16_t>> table[] = {
        {{0, 5, -3, 0, 4, 2}, {0, 5, -3, 0}},
        {{0, 5, -3, -1, 4, 2}, {0, 5, -3, -1}},
        {{0, 3, 2}, {0}},
        {{0, 0, 0}, {0, 0, 0}},          // silence: no crossing
        {{0, -1, -2}, {0, -1, -2}},      // never positive
        {{5, 6, 7}, {5, 6, 7}},          // frame 0 does not count as a crossing
        {{-2, 1}, {-2}},
        {{}, {}},
    };
    for (auto [values, expected] : table) {
        cut_at_last_upward_crossing(values);
        EXPECT_EQ(values, expected);
    }
}

TEST(LongToneWait, OnlyTonesOf265MsOrMoreWait) {
    const double five_blocks = 5.0 * 4096 / 44100;
    const double six_blocks = 6.0 * 4096 / 44100;
    const struct {
        int64_t frames;
        double waiting;
        std::optional<double> wait;
    } table[] = {
        {9666, 0, std::nullopt},
        {11686, 0, std::nullopt},  // 264 ms: 0.95 x 264 = 250 does not exceed 250
        {11687, 0, 0.001},         // 265 ms: 251
        {11687, five_blocks, 0.191},  // 464 ms waiting: 440 - 250 = 190
        {48450, 0, 0.793},
        {48450, six_blocks, 1.072},
    };
    for (const auto& row : table) {
        const std::optional<double> wait = long_tone_wait(row.frames, row.waiting);
        ASSERT_EQ(wait.has_value(), row.wait.has_value()) << row.frames;
        if (wait) {
            EXPECT_DOUBLE_EQ(*wait, *row.wait) << row.frames << " " << row.waiting;
        }
    }
}

// Frames added to a stream: the waiting blocks and the one being filled.
int32_t frames_in(const tone_stream& stream) {
    const tone_stream_counts counts = stream.counts();
    return counts.waiting_blocks * tone_block_frames + counts.filled_frames;
}

TEST(AddTone, RangeErrorsAddNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, double> table[] = {
        {36.99, 1}, {1, 1},      {-37, 1},      {32767.01, 1}, {1e300, 1},
        {440, -0.01}, {440, 65535.01}, {nan, 1}, {440, nan},
    };
    for (const auto& [frequency, ticks] : table) {
        runtime_double runtime;
        tone_stream stream;
        EXPECT_FALSE(add_tone(stream, frequency, ticks, 0));
        EXPECT_EQ(pending_error, 5) << frequency << " Hz " << ticks << " ticks";
        EXPECT_EQ(frames_in(stream), 0);
    }
}

TEST(AddTone, EdgesOfTheRangesAreAccepted) {
    const std::pair<double, double> table[] = {{0, 1}, {37, 1}, {32767, 1}, {440, 0.0001}, {440, 5e-324}};
    for (const auto& [frequency, ticks] : table) {
        runtime_double runtime;
        tone_stream stream;
        add_tone(stream, frequency, ticks, 0);
        EXPECT_EQ(pending_error, 0) << frequency << " Hz " << ticks << " ticks";
        EXPECT_GT(frames_in(stream), 0) << frequency << " Hz " << ticks << " ticks";
    }
}

TEST(AddTone, DurationZeroAddsNothing) {
    runtime_double runtime;
    tone_stream stream;
    EXPECT_FALSE(add_tone(stream, 440, 0, 0));
    EXPECT_EQ(frames_in(stream), 0);
    EXPECT_EQ(pending_error, 0);
}

TEST(AddTone, DoesNothingWhileAnErrorIsPending) {
    runtime_double runtime;
    raise_error(53);
    tone_stream stream;
    EXPECT_FALSE(add_tone(stream, 1, 1, 0));  // not even its own range error
    EXPECT_FALSE(add_tone(stream, 730, 4, 0));
    EXPECT_EQ(frames_in(stream), 0);
    EXPECT_EQ(pending_error, 53);
}

TEST(AddTone, TheConvertersTonesDoNotWait) {
    runtime_double runtime;
    tone_stream stream;
    EXPECT_FALSE(add_tone(stream, 48, 1, 0));
    EXPECT_FALSE(add_tone(stream, 888, 0.05, 0));
    EXPECT_FALSE(add_tone(stream, 730, 4, 0));
    EXPECT_EQ(frames_in(stream), 1838 + 100 + 9666);
}

TEST(AddTone, LongToneWaitsForItselfAndTheSoundAlreadyWaiting) {
    runtime_double runtime;
    tone_stream stream;
    const std::optional<double> alone = add_tone(stream, 730, 20, 0);
    ASSERT_TRUE(alone);
    EXPECT_DOUBLE_EQ(*alone, 0.793);
    EXPECT_EQ(frames_in(stream), 48450);

    tone_stream busy;
    busy.add_frames(std::vector<int16_t>(6 * tone_block_frames, 1), 0);
    const std::optional<double> behind = add_tone(busy, 730, 20, 0);
    ASSERT_TRUE(behind);
    EXPECT_DOUBLE_EQ(*behind, 1.072);
}

TEST(AddBeep, AddsItsToneEvenWhileAnErrorIsPending) {
    runtime_double runtime;
    raise_error(53);
    tone_stream stream;
    add_beep(stream, 0);
    EXPECT_EQ(frames_in(stream), 8776);
    EXPECT_EQ(pending_error, 53);
}

TEST(SoundWaiting, CountsWaitingAndHandedOverBlocksFromFiveOn) {
    tone_stream stream;
    tone_sink_double sink;
    stream.add_frames(std::vector<int16_t>(4 * tone_block_frames + 4000, 1), 0);
    EXPECT_EQ(stream.sound_waiting(), 0);  // four blocks: 0.3715 s, below 0.375
    stream.add_frames(std::vector<int16_t>(100, 1), 0);
    EXPECT_DOUBLE_EQ(stream.sound_waiting(), 5.0 * 4096 / 44100);
    stream.service(sink, 0);  // four handed over, one waiting: still five
    EXPECT_DOUBLE_EQ(stream.sound_waiting(), 5.0 * 4096 / 44100);
    sink.play(1);
    stream.service(sink, 0);  // one taken back, the last full one handed over
    EXPECT_EQ(stream.sound_waiting(), 0);
}

// The stream's passes against a fake sink, on a clock the test moves.
class ToneStreamService : public ::testing::Test {
  protected:
    void add(int32_t frames, int16_t value, int64_t at_ms) {
        stream.add_frames(std::vector<int16_t>(static_cast<size_t>(frames), value), at_ms);
    }

    tone_stream stream;
    tone_sink_double sink;
};

TEST_F(ToneStreamService, FullBlocksGoOutAtOnceWithBothChannelsAlike) {
    std::vector<int16_t> ramp(10000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i);
    stream.add_frames(ramp, 1000);
    stream.service(sink, 1000);
    ASSERT_EQ(sink.blocks.size(), 2u);
    EXPECT_EQ(stream.counts().filled_frames, 10000 - 2 * 4096);
    for (int32_t frame = 0; frame < 2 * tone_block_frames; ++frame) {
        const tone_block& block = sink.blocks[static_cast<size_t>(frame / tone_block_frames)];
        const int32_t at = 2 * (frame % tone_block_frames);
        ASSERT_EQ(block[at], frame);
        ASSERT_EQ(block[at + 1], frame);
    }
    EXPECT_EQ(sink.starts, 1);
}

TEST_F(ToneStreamService, PartialBlockIsFlushedWithSilenceAfter20IdleMs) {
    add(100, 7, 1000);
    stream.service(sink, 1000);
    stream.service(sink, 1020);
    EXPECT_TRUE(sink.blocks.empty());
    stream.service(sink, 1021);
    ASSERT_EQ(sink.blocks.size(), 1u);
    const tone_block& block = sink.blocks[0];
    EXPECT_EQ(block[0], 7);
    EXPECT_EQ(block[2 * 99 + 1], 7);
    EXPECT_EQ(block[2 * 100], 0);
    EXPECT_EQ(block[block.size() - 1], 0);
    EXPECT_EQ(stream.counts().filled_frames, 0);
}

TEST_F(ToneStreamService, FramesAddedLaterPutTheFlushOff) {
    add(100, 7, 1000);
    add(100, 8, 1015);
    stream.service(sink, 1030);
    EXPECT_TRUE(sink.blocks.empty());
    stream.service(sink, 1036);
    EXPECT_EQ(sink.blocks.size(), 1u);
}

TEST_F(ToneStreamService, NoFlushWhileFullBlocksWait) {
    add(4 * tone_block_frames, 1, 0);
    stream.service(sink, 0);
    add(tone_block_frames + 10, 2, 0);
    stream.service(sink, 100);  // the sink is full: one block waits, the partial one stays
    EXPECT_EQ(stream.counts().waiting_blocks, 1);
    EXPECT_EQ(stream.counts().filled_frames, 10);
    sink.play(1);
    stream.service(sink, 116);  // the full block goes into the freed buffer first
    EXPECT_EQ(sink.blocks.size(), 5u);
    EXPECT_EQ(stream.counts().filled_frames, 10);
    sink.play(1);
    stream.service(sink, 132);
    EXPECT_EQ(sink.blocks.size(), 6u);
    EXPECT_EQ(sink.blocks[5][0], 2);
    EXPECT_EQ(sink.blocks[5][2 * 10], 0);
}

TEST_F(ToneStreamService, AtMostFourBuffersAndPlayedOnesAreTakenBack) {
    add(10 * tone_block_frames, 1, 0);
    for (int pass = 0; pass < 3; ++pass) stream.service(sink, 16 * pass);
    EXPECT_EQ(sink.blocks.size(), 4u);
    EXPECT_EQ(stream.counts().handed_over, 4);
    EXPECT_EQ(stream.counts().waiting_blocks, 6);
    sink.play(3);
    stream.service(sink, 48);
    EXPECT_EQ(sink.blocks.size(), 7u);
    EXPECT_EQ(stream.counts().waiting_blocks, 3);
    for (int pass = 0; pass < 10; ++pass) {
        sink.play(4);
        stream.service(sink, 64 + 16 * pass);
    }
    EXPECT_EQ(sink.blocks.size(), 10u);
    EXPECT_EQ(sink.most_held, 4);
    EXPECT_EQ(stream.counts().handed_over, 0);
    EXPECT_EQ(sink.held(), 0);
}

TEST_F(ToneStreamService, StartsOnlyWithSomethingToPlayAndRestartsAfterRunningDry) {
    stream.service(sink, 0);
    EXPECT_EQ(sink.starts, 0);
    add(tone_block_frames, 1, 0);
    stream.service(sink, 0);
    EXPECT_EQ(sink.starts, 1);
    stream.service(sink, 16);
    EXPECT_EQ(sink.starts, 1);  // still playing
    sink.play(1);
    stream.service(sink, 32);
    EXPECT_FALSE(sink.playing);
    EXPECT_EQ(sink.starts, 1);  // ran dry: nothing to start
    add(tone_block_frames, 2, 40);
    stream.service(sink, 48);
    EXPECT_EQ(sink.starts, 2);
    EXPECT_TRUE(sink.playing);
}

TEST_F(ToneStreamService, NothingReachesTheSinkAfterStopOutput) {
    add(2 * tone_block_frames + 5, 1, 0);
    stream.stop_output();
    for (int pass = 0; pass < 5; ++pass) stream.service(sink, 100 * pass);
    EXPECT_EQ(sink.calls, 0);
    EXPECT_EQ(stream.counts().waiting_blocks, 2);
}

}  // namespace
