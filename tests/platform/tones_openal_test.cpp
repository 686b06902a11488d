// The whole path of a tone through the real OpenAL Soft: the stream, the OpenAL output and the
// library's wave-file writer in place of a sound card. OpenAL reads its configuration once, so
// the playing happens in a child process that sets ALSOFT_CONF first.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/openal/audio_device.h"
#include "platform/timing.h"
#include "platform/tone_stream.h"

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
    std::ofstream(config_file) << config;
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) play_through_openal(config_file);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

fs::path fresh_folder() {
    const fs::path folder = fs::temp_directory_path() / ("morvane-tones-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

struct wave_file {
    uint16_t channels = 0;
    uint32_t frames_per_second = 0;
    uint16_t bits = 0;
    std::vector<int16_t> left;
    std::vector<int16_t> right;
};

template <typename T>
T read_le(const std::string& bytes, size_t at) {
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// Reads a RIFF WAVE file of 16-bit stereo samples.
wave_file read_wave(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    wave_file wave;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return wave;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        size_t size = read_le<uint32_t>(bytes, at + 4);
        const size_t body = at + 8;
        if (id == "fmt ") {
            wave.channels = read_le<uint16_t>(bytes, body + 2);
            wave.frames_per_second = read_le<uint32_t>(bytes, body + 4);
            wave.bits = read_le<uint16_t>(bytes, body + 14);
        } else if (id == "data") {
            size = std::min(size, bytes.size() - body);
            for (size_t sample = body; sample + 4 <= body + size; sample += 4) {
                wave.left.push_back(read_le<int16_t>(bytes, sample));
                wave.right.push_back(read_le<int16_t>(bytes, sample + 2));
            }
        }
        at = body + size + (size & 1);
    }
    return wave;
}

TEST(ToneThroughOpenAL, The730HzToneArrivesWithItsLengthAndFrequency) {
    const fs::path folder = fresh_folder();
    const fs::path output = folder / "out.wav";
    // Without dither the silence around the tone stays exactly 0, so its ends can be found.
    ASSERT_EQ(play_in_child(folder, "drivers = wave\nfrequency = 44100\nsample-type = int16\ndither = false\n"
                                    "[wave]\nfile = " + output.string() + "\n"),
              0);

    const wave_file wave = read_wave(output);
    fs::remove_all(folder);
    ASSERT_EQ(wave.channels, 2);
    ASSERT_EQ(wave.frames_per_second, 44100u);
    ASSERT_EQ(wave.bits, 16);
    EXPECT_EQ(wave.left, wave.right);

    // The tone's region: from its first sounding frame to its last.
    const std::vector<int16_t>& samples = wave.left;
    size_t first = samples.size();
    size_t last = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] == 0) continue;
        first = std::min(first, i);
        last = i;
    }
    ASSERT_LT(first, samples.size()) << "the file holds only silence";
    // The tone begins with one silent frame before it sounds.
    const size_t length = last - first + 2;
    // Frequency from the upward zero crossings within the region.
    size_t crossings = 0;
    size_t first_crossing = 0;
    size_t last_crossing = 0;
    for (size_t i = first + 1; i <= last; ++i) {
        if (samples[i] > 0 && samples[i - 1] <= 0) {
            if (crossings++ == 0) first_crossing = i;
            last_crossing = i;
        }
    }
    ASSERT_GE(crossings, 2u);
    const double frequency = static_cast<double>(crossings - 1) * 44100 / static_cast<double>(last_crossing - first_crossing);
    RecordProperty("region_frames", static_cast<int>(length));
    RecordProperty("measured_hz", std::to_string(frequency));
    std::printf("730 Hz tone in the wave file: %zu frames (from frame %zu), %.2f Hz over %zu crossings\n", length,
                first, frequency, crossings);
    EXPECT_NEAR(static_cast<double>(length), 9666, 2);
    EXPECT_NEAR(frequency, 730, 2);
    // A stereo source at full gain is mixed through floats: each frame is the tone's own to
    // within one step.
    const std::vector<int16_t> tone = synthesize_tone(730, 4 / 18.2);
    ASSERT_LE(first - 1 + tone.size(), samples.size());
    int largest_difference = 0;
    for (size_t i = 0; i < tone.size(); ++i) {
        largest_difference = std::max(largest_difference, std::abs(samples[first - 1 + i] - tone[i]));
    }
    EXPECT_LE(largest_difference, 1);
}

TEST(ToneThroughOpenAL, WithoutADeviceTonesAreSilentAndRaiseNoError) {
    const fs::path folder = fresh_folder();
    // A driver that does not exist leaves OpenAL without a device; the blocks still drain.
    EXPECT_EQ(play_in_child(folder, "drivers = no-such-driver\n"), 0);
    fs::remove_all(folder);
}

}  // namespace
