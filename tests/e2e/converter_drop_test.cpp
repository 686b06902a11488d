// The whole program in drop mode: the start window titled "Morvane" takes a picture dropped on
// it through the X drag-and-drop protocol, converts it, and ends at a key.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/converter_run.h"
#include "support/wave_capture.h"

namespace {

namespace fs = std::filesystem;

using ConverterDrop = ConverterRun;

TEST_F(ConverterDrop, PictureDroppedAfterAFolderIsConvertedAndAKeyEnds) {
    const fs::path pictures = program.path() / "pictures";
    fs::create_directory(pictures);
    picture_of(every_pattern).save_png(pictures / "drawing.png");
    const Window window = start_window();
    ASSERT_NE(window, 0u);
    // The start screen shows KESTRIL.PNG: its blue ground and the white disc of its sample.
    EXPECT_TRUE(window_shows(window, [](const x_screenshot& shot) {
        return shot.width == 576 && shot.height == 317 && shot.at(0, 0) == 0x0000AA && shot.at(479, 147) == 0xFFFFFF;
    }));
    // A drop of folders only is released and the wait goes on.
    EXPECT_TRUE(drop(window, {pictures}));
    EXPECT_TRUE(drop(window, {pictures, pictures / "drawing.png"}));
    // The key may come before the end screen: it waits in the key queue.
    ASSERT_TRUE(type_keys(window, "space"));
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(60)), 0);
    EXPECT_EQ(program.cassette(), expected_cassette(every_pattern));
}

TEST_F(ConverterDrop, ItemThatIsNeitherFileNorFolderEndsTheProgramUnconverted) {
    picture_of(every_pattern).save_png(program.path() / "drawing.png");
    const Window window = start_window();
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(drop(window, {program.path() / "gone.png", program.path() / "drawing.png"}));
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(30)), 0);
    EXPECT_FALSE(fs::exists(program.path() / "IMAGE.CAS"));
}

// The tones of a finished run's sound file, checking that the file is whole: the wave writer
// completes its header when the program closes the device at shutdown.
std::vector<measured_tone> tones_heard(const fs::path& sound_file) {
    const wave_file wave = read_wave(sound_file);
    EXPECT_TRUE(wave.readable) << sound_file;
    EXPECT_TRUE(wave.data_size_matches) << "the wave header's data size is unfinished";
    EXPECT_EQ(wave.channels, 2);
    EXPECT_EQ(wave.frames_per_second, 44100u);
    EXPECT_EQ(wave.bits, 16);
    EXPECT_EQ(wave.left, wave.right);
    return find_tones(wave.left);
}

void expect_tone(const measured_tone& tone, double frequency, std::size_t frames) {
    std::printf("tone of %.2f Hz (%zu frames) heard as %.2f Hz, %zu frames, from frame %zu\n", frequency, frames,
                tone.frequency, tone.frames, tone.first_frame);
    EXPECT_NEAR(tone.frequency, frequency, 2);
    EXPECT_NEAR(static_cast<double>(tone.frames), static_cast<double>(frames), 2);
}

TEST_F(ConverterDrop, TakingAPictureSounds48HzAndTheEndScreen730Hz) {
    picture_of(every_pattern).save_png(program.path() / "drawing.png");
    const Window window = start_window(true);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(drop_uri_list(display.name(), window, uri_of(program.path() / "drawing.png")).accepted());
    // The key waits until the end screen's tone has been played out: a key ends the program at
    // once, and with it the sound.
    const bool both_played = eventually(
        [&] {
            const std::vector<int16_t> samples = read_wave(program.sound_file()).left;
            const std::vector<measured_tone> tones = find_tones(samples);
            return tones.size() == 2 && tones[1].first_frame + tones[1].frames + 1000 < samples.size();
        },
        std::chrono::seconds(60));
    EXPECT_TRUE(both_played) << "the two tones did not come";
    ASSERT_TRUE(type_keys(window, "space"));
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(60)), 0);

    const std::vector<measured_tone> tones = tones_heard(program.sound_file());
    ASSERT_EQ(tones.size(), 2u);
    expect_tone(tones[0], 48, 1838);
    expect_tone(tones[1], 730, 9666);
    EXPECT_EQ(program.cassette(), expected_cassette(every_pattern));
}

TEST_F(ConverterDrop, ItemThatIsNeitherFileNorFolderBeepsBeforeTheEnd) {
    const Window window = start_window(true);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(drop_uri_list(display.name(), window, uri_of(program.path() / "gone.png")).accepted());
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(30)), 0);

    const std::vector<measured_tone> tones = tones_heard(program.sound_file());
    ASSERT_EQ(tones.size(), 1u);
    expect_tone(tones[0], 783.99, 8776);
}

}  // namespace
