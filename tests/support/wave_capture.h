// Sound captured through OpenAL Soft's wave-file writer instead of a sound card: the library's
// configuration that sends the output to a file, a reader of that file and the tones found in
// it. Shared by the in-process OpenAL test and the whole-program tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// An ALSOFT_CONF content that writes 16-bit stereo at 44100 Hz to `output`. Without dither
// the silence around a tone stays exactly 0, so its ends can be found.
std::string wave_output_config(const std::filesystem::path& output);

struct wave_file {
    bool readable = false;  // a RIFF WAVE file with a format and a data chunk
    uint16_t channels = 0;
    uint32_t frames_per_second = 0;
    uint16_t bits = 0;
    bool data_size_matches = false;  // the data chunk's size field counts the bytes that follow it
    std::vector<int16_t> left;
    std::vector<int16_t> right;
};

// Reads a RIFF WAVE file of 16-bit stereo samples. A data chunk whose size field overstates
// (or leaves unfinished) the file is read to the file's end.
wave_file read_wave(const std::filesystem::path& path);

// One tone in a channel: from its leading silent frame to its last sounding frame.
struct measured_tone {
    std::size_t first_frame = 0;  // the silent frame it begins with
    std::size_t frames = 0;
    double frequency = 0;  // from its upward zero crossings; 0 with fewer than two
};

// The tones of `samples`: stretches of sound parted by at least `gap` silent frames.
std::vector<measured_tone> find_tones(const std::vector<int16_t>& samples, std::size_t gap = 200);
