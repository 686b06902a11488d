// The whole path of a tone through the real OpenAL Soft: the stream, the OpenAL output and the
// library's wave-file writer in place of a sound card. OpenAL reads its configuration once, so
// the playing happens in a child process that sets ALSOFT_CONF first.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/errors.h"
#include "platform/openal/audio_device.h"
#include "platform/timing.h"
#include "platform/tone_stream.h"
#include "support/scratch_files.h"
#include "support/wave_capture.h"

namespace {

namespace fs = std::filesystem;

// Child process: plays the 730 Hz tone of 4 ticks through the device and closes it. Exits
// with 0 once every block has been played, 1 when some never were, 2 on a run-time error.
[[noreturn]] void play_through_openal(const fs::path& config) {
    setenv("ALSOFT_CONF", config.c_str(), 1);
    open_audio_device();
    tone_stream& stream = program_tone_stream();
    add_tone(stream, 730, 4, process_clock_ms());
    for (int pass = 0; pass < 300; ++pass) {
        service_audio();
        const tone_stream_counts counts = stream.counts();
        if (counts.waiting_blocks == 0 && counts.filled_frames == 0 && counts.handed_over == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    // Some silence after the tone, so its end is in the file.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    close_audio_device();
    if (pending_error != 0) _exit(2);
    _exit(stream.counts().handed_over == 0 ? 0 : 1);
}

// Writes `config` to a file in `folder` and plays the tone in a child with it; the child's
// exit code.
int play_in_child(const fs::path& folder, const std::string& config) {
    const fs::path config_file = folder / "alsoft.conf";
    write_whole_file(config_file, config);
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) play_through_openal(config_file);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(ToneThroughOpenAL, The730HzToneArrivesWithItsLengthAndFrequency) {
    const temporary_folder folder("morvane-tones");
    const fs::path output = folder.path() / "out.wav";
    ASSERT_EQ(play_in_child(folder.path(), wave_output_config(output)), 0);

    const wave_file wave = read_wave(output);
    ASSERT_TRUE(wave.readable);
    ASSERT_EQ(wave.channels, 2);
    ASSERT_EQ(wave.frames_per_second, 44100u);
    ASSERT_EQ(wave.bits, 16);
    EXPECT_EQ(wave.left, wave.right);

    const std::vector<int16_t>& samples = wave.left;
    const std::vector<measured_tone> tones = find_tones(samples);
    ASSERT_EQ(tones.size(), 1u) << "the file holds only silence, or more than one tone";
    const measured_tone& heard = tones[0];
    RecordProperty("region_frames", static_cast<int>(heard.frames));
    RecordProperty("measured_hz", std::to_string(heard.frequency));
    std::printf("730 Hz tone in the wave file: %zu frames (from frame %zu), %.2f Hz\n", heard.frames,
                heard.first_frame, heard.frequency);
    EXPECT_NEAR(static_cast<double>(heard.frames), 9666, 2);
    EXPECT_NEAR(heard.frequency, 730, 2);
    // A stereo source at full gain is mixed through floats: each frame is the tone's own to
    // within one step.
    const std::vector<int16_t> tone = synthesize_tone(730, 4 / 18.2);
    ASSERT_LE(heard.first_frame + tone.size(), samples.size());
    int largest_difference = 0;
    for (size_t i = 0; i < tone.size(); ++i) {
        largest_difference = std::max(largest_difference, std::abs(samples[heard.first_frame + i] - tone[i]));
    }
    EXPECT_LE(largest_difference, 1);
}

TEST(ToneThroughOpenAL, WithoutADeviceTonesAreSilentAndRaiseNoError) {
    const temporary_folder folder("morvane-tones");
    // A driver that does not exist leaves OpenAL without a device; the blocks still drain.
    EXPECT_EQ(play_in_child(folder.path(), "drivers = no-such-driver\n"), 0);
}

}  // namespace
