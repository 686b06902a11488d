// The conversion core on its own, for a picture of the sampled size and a large photo-sized
// one: loading the picture (with its peak memory, beside stb_image's decoding alone), drawing
// it on the canvas, the 374,400 pixel reads into the rows, the 26 template passes over the
// shipped template and over templates of 1, 10 and 50 MB of nothing but markers, and all of it
// together. Runs in a scratch folder of its own.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
// Only the declarations: the platform layer holds the decoder.
#include <stb/stb_image.h>

#include "converter/cassette.h"
#include "converter/mosaic.h"
#include "converter/variables.h"
#include "platform/errors.h"
#include "platform/message_box.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "platform/text.h"

namespace {

// The name of the w x h benchmark picture.
std::string picture_file(int64_t width, int64_t height) {
    return "picture-" + std::to_string(width) + "x" + std::to_string(height) + ".png";
}

// An opaque picture of pure white and black 2 x 3 blocks of every pattern, as a PNG.
void write_picture(int width, int height) {
    std::vector<uint8_t> rgba(static_cast<std::size_t>(width) * height * 4, 255);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int pattern = (x / 2 * 5 + y / 3 * 39) % 64;
            const bool lit = (pattern >> (x % 2 + 2 * (y % 3))) & 1;
            uint8_t* pixel = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            pixel[0] = pixel[1] = pixel[2] = lit ? 255 : 0;
        }
    }
    stbi_write_png(picture_file(width, height).c_str(), width, height, 4, rgba.data(), width * 4);
}

void full_rows() {
    for (int k = 1; k <= 25; ++k) row(k) = string_descriptor(std::string(39, static_cast<char>(0x20 + k)));
}

// Run-time errors that came up; a benchmark that met one reports it instead of its time.
int errors_seen = 0;
box_answer count_error(const std::string&, const std::string&, box_buttons) {
    ++errors_seen;
    return box_answer::yes;
}

// Frees every image and makes a fresh 800 x 600 canvas the screen, as at the conversion's start.
void fresh_canvas() {
    reset_screens();
    select_screen(new_image(800, 600, 32));
}

// Marks the benchmark failed when a run-time error came up while it ran.
void report_errors(benchmark::State& state) {
    if (errors_seen != 0 || error_is_pending()) state.SkipWithError("a run-time error came up");
    errors_seen = 0;
}

// The kilobytes of memory after `field` in /proc/self/status.
double status_kilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, field.size(), field) == 0) return std::stod(line.substr(field.size()));
    }
    return 0;
}

// The process's peak resident memory starts again from what it holds now.
void restart_peak_memory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The whole load, and the most memory that loading held in the process at any time, over what
// it held before its first load (Google Benchmark runs this more than once): what the load
// itself takes and what earlier loads kept.
void BM_LoadPicture(benchmark::State& state) {
    const string_descriptor name(picture_file(state.range(0), state.range(1)));
    fresh_canvas();
    static const double before = status_kilobytes("VmRSS:");
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        restart_peak_memory();
        state.ResumeTiming();
        if (load_image_file(name) == -1) ++errors_seen;
        state.PauseTiming();
        peak = std::max(peak, status_kilobytes("VmHWM:") - before);
        fresh_canvas();
        state.ResumeTiming();
    }
    state.counters["peak MB"] = peak / 1024;
    report_errors(state);
}

// stb_image's decoding alone, of the file's bytes in memory: what the whole load is held to.
void BM_DecodeWithStbAlone(benchmark::State& state) {
    std::ifstream file(picture_file(state.range(0), state.range(1)), std::ios::binary);
    const std::vector<stbi_uc> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    for (auto _ : state) {
        int width = 0, height = 0, channels = 0;
        stbi_uc* pixels = stbi_load_from_memory(bytes.data(), int(bytes.size()), &width, &height, &channels, 4);
        if (pixels == nullptr) ++errors_seen;
        stbi_image_free(pixels);
    }
    report_errors(state);
}

void BM_DrawPicture(benchmark::State& state) {
    fresh_canvas();
    const image_handle picture = load_image_file(string_descriptor(picture_file(state.range(0), state.range(1))));
    for (auto _ : state) put_image(1, 1, picture);
    report_errors(state);
}

void BM_ReadCanvas(benchmark::State& state) {
    reset_screens();
    reset_converter_variables();
    picture_name = string_descriptor(picture_file(state.range(0), state.range(1)));
    draw_picture_on_canvas();
    for (auto _ : state) {
        row_count = 0.0f;
        read_canvas_into_rows();
    }
    if (row(25).length() != 39) ++errors_seen;
    state.counters["reads/s"] = benchmark::Counter(374400.0 * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate);
    report_errors(state);
}

void BM_TemplatePasses(benchmark::State& state) {
    reset_converter_variables();
    full_rows();
    for (auto _ : state) write_cassette();
    report_errors(state);
}

// A template of nothing but the 26 row markers over and over, `megabytes` long, in a folder of
// its own: every pass finds a marker every few dozen bytes.
std::filesystem::path write_marker_template(int64_t megabytes) {
    const std::filesystem::path folder = "markers-" + std::to_string(megabytes) + "MB";
    std::filesystem::create_directory(folder);
    std::string markers;
    for (const template_pass& pass : template_passes()) markers += pass.marker.bytes;
    const auto size = static_cast<std::size_t>(megabytes) << 20;
    std::string text;
    text.reserve(size);
    while (text.size() + markers.size() <= size) text += markers;
    std::ofstream(folder / "KESTRIL.RAN", std::ios::binary) << text;
    return folder;
}

// Pages the process has touched for the first time so far: texts of tens of MB that came fresh
// from the system on every pass would cost more than the work on some (virtual) machines.
double first_touched_pages() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_minflt);
}

void BM_TemplatePassesOverMarkers(benchmark::State& state) {
    const std::filesystem::path folder = write_marker_template(state.range(0));
    std::filesystem::current_path(folder);
    reset_converter_variables();
    full_rows();
    const double pages_before = first_touched_pages();
    for (auto _ : state) write_cassette();
    state.counters["page faults"] = benchmark::Counter(first_touched_pages() - pages_before, benchmark::Counter::kAvgIterations);
    std::filesystem::current_path("..");
    std::filesystem::remove_all(folder);
    state.SetBytesProcessed(state.iterations() * 26 * (state.range(0) << 20));
    report_errors(state);
}

void BM_WholeConversion(benchmark::State& state) {
    for (auto _ : state) {
        reset_converter_variables();
        picture_name = string_descriptor(picture_file(state.range(0), state.range(1)));
        sample_picture();
        write_cassette();
        state.PauseTiming();
        if (row(25).length() != 39) ++errors_seen;
        reset_screens();
        state.ResumeTiming();
    }
    report_errors(state);
}

}  // namespace

#define PICTURE_SIZES Args({78, 75})->Args({4000, 3000})->Unit(benchmark::kMillisecond)
BENCHMARK(BM_LoadPicture)->PICTURE_SIZES;
BENCHMARK(BM_DecodeWithStbAlone)->PICTURE_SIZES;
BENCHMARK(BM_DrawPicture)->PICTURE_SIZES;
BENCHMARK(BM_ReadCanvas)->PICTURE_SIZES;
BENCHMARK(BM_TemplatePasses)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TemplatePassesOverMarkers)->Arg(1)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeConversion)->PICTURE_SIZES;

int main(int argc, char** argv) {
    std::string folder_pattern = (std::filesystem::temp_directory_path() / "morvane-bench-XXXXXX").string();
    const std::filesystem::path folder = mkdtemp(folder_pattern.data());
    std::filesystem::current_path(folder);
    write_picture(78, 75);
    write_picture(4000, 3000);
    std::filesystem::copy_file(std::filesystem::path(MORVANE_SOURCE_DIR) / "data" / "KESTRIL.RAN", "KESTRIL.RAN");

    keep_text_memory();  // as the program does at start-up
    set_message_box(count_error);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    return 0;
}
