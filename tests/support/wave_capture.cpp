#include "support/wave_capture.h"

#include <algorithm>
#include <cstring>

#include "support/scratch_files.h"

namespace {

template <typename T>
T read_le(const std::string& bytes, std::size_t at) {
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// The frequency of `samples` [first, last] from the upward zero crossings within it, the one
// into `first` included: a tone of two periods has only that one and the next.
double crossing_frequency(const std::vector<int16_t>& samples, std::size_t first, std::size_t last) {
    std::size_t crossings = 0, first_crossing = 0, last_crossing = 0;
    for (std::size_t i = std::max<std::size_t>(first, 1); i <= last; ++i) {
        if (samples[i] > 0 && samples[i - 1] <= 0) {
            if (crossings++ == 0) first_crossing = i;
            last_crossing = i;
        }
    }
    if (crossings < 2) return 0;
    return static_cast<double>(crossings - 1) * 44100 / static_cast<double>(last_crossing - first_crossing);
}

}  // namespace

std::string wave_output_config(const std::filesystem::path& output) {
    return "drivers = wave\nfrequency = 44100\nsample-type = int16\ndither = false\n[wave]\nfile = " +
           output.string() + "\n";
}

wave_file read_wave(const std::filesystem::path& path) {
    const std::string bytes = read_whole_file(path);
    wave_file wave;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return wave;
    bool format = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        std::size_t size = read_le<uint32_t>(bytes, at + 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && body + 16 <= bytes.size()) {
            wave.channels = read_le<uint16_t>(bytes, body + 2);
            wave.frames_per_second = read_le<uint32_t>(bytes, body + 4);
            wave.bits = read_le<uint16_t>(bytes, body + 14);
            format = true;
        } else if (id == "data") {
            wave.data_size_matches = size == bytes.size() - body;
            size = std::min(size, bytes.size() - body);
            for (std::size_t sample = body; sample + 4 <= body + size; sample += 4) {
                wave.left.push_back(read_le<int16_t>(bytes, sample));
                wave.right.push_back(read_le<int16_t>(bytes, sample + 2));
            }
            wave.readable = format;
        }
        at = body + size + (size & 1);
    }
    return wave;
}

std::vector<measured_tone> find_tones(const std::vector<int16_t>& samples, std::size_t gap) {
    std::vector<measured_tone> tones;
    std::size_t first = 0, last = 0;
    bool in_tone = false;
    const auto close_tone = [&] {
        // A tone begins with one silent frame before it sounds.
        const std::size_t start = first > 0 ? first - 1 : 0;
        tones.push_back({start, last - start + 1, crossing_frequency(samples, first, last)});
    };
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] == 0) continue;
        if (in_tone && i - last > gap) close_tone();
        if (!in_tone || i - last > gap) first = i;
        in_tone = true;
        last = i;
    }
    if (in_tone) close_tone();
    return tones;
}
