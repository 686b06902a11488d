// The whole program in command-line mode: the picture named by the arguments is converted
// into IMAGE.CAS beside the program, and the program ends by itself with exit code 0.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "support/converter_program.h"
#include "support/converter_x.h"
#include "support/wave_capture.h"
#include "support/xvfb_display.h"

namespace {

namespace fs = std::filesystem;

int all_white(int, int) { return 63; }
int all_black(int, int) { return 0; }

// Writes the picture file of a case.
using picture_writer = std::function<void(const fs::path&)>;

struct command_line_case {
    std::string name;
    std::vector<std::string> arguments;  // the picture is saved as the arguments joined by a space
    picture_writer write;
    picture_rows rows;  // what the conversion must give
};

void PrintTo(const command_line_case& c, std::ostream* out) { *out << c.name; }

picture_writer png_of(const test_picture& picture) {
    return [picture](const fs::path& name) { picture.save_png(name); };
}

command_line_case pattern_case(std::string name, std::vector<std::string> arguments, const block_patterns& pattern) {
    return {std::move(name), std::move(arguments), png_of(picture_of(pattern)), rows_of(pattern)};
}

// A 200 x 150 picture whose top-left 78 x 75 pixels hold every pattern and whose rest is a
// grey and white checkerboard that would give codes of its own if it were read.
command_line_case larger_picture() {
    test_picture picture(200, 150, pure_white);
    const test_picture corner = picture_of(every_pattern);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            picture.at(x, y) = x < 78 && y < 75 ? corner.at(x, y) : ((x + y) % 2 ? pure_white : 0xFF808080);
        }
    }
    return {"larger than 78 x 75", {"large.png"}, png_of(picture), rows_of(every_pattern)};
}

command_line_case smaller_picture() {
    picture_rows rows;
    for (int k = 0; k < 3; ++k) rows[static_cast<std::size_t>(k)] = std::string(5, '\x7F');
    return {"10 x 10 white", {"small.png"}, png_of(test_picture(10, 10, pure_white)), rows};
}

// One grey pixel in block `block` of row `row`.
command_line_case grey_pixel(std::string name, int row, int block) {
    return {std::move(name), {"grey.png"}, png_of(with_grey_pixel(every_pattern, row, block)),
            without_block(rows_of(every_pattern), row, block)};
}

// Row 1's first blocks white (0 .. 2) or black (3 .. 5) but for the top-left pixel, which is a
// near-white or near-black colour; only the first of each three passes.
command_line_case near_colours() {
    const auto pattern = [](int row, int column) {
        if (row == 0 && column < 6) return column < 3 ? 63 : 0;
        return every_pattern(row, column);
    };
    test_picture picture = picture_of(pattern);
    const uint32_t top_left[] = {0xFFFFFF80, 0xFFFFFF7F, 0xFFFEFFFF, 0xFF000080, 0xFF000081, 0xFF010000};
    for (int block = 0; block < 6; ++block) picture.at(block * 2, 0) = top_left[block];
    picture_rows rows = rows_of(pattern);
    rows[0].erase(4, 2);
    rows[0].erase(1, 2);
    return {"near-white and near-black", {"near.png"}, png_of(picture), rows};
}

// A fully transparent white pixel in block 7 of row 3 and a nearly opaque black one (alpha 254)
// in block 20 of row 10.
command_line_case transparent_pixels() {
    test_picture picture = picture_of(all_white);
    picture.at(14, 6) = 0x00FFFFFF;
    picture.at(41, 32) = 0xFE000000;
    picture_rows rows = without_block(rows_of(all_white), 2, 7);
    return {"transparent pixels", {"clear.png"}, png_of(picture), without_block(rows, 10, 20)};
}

// Writes `picture` as a bottom-up 32-bit BMP with a 40-byte header and blue, green, red and
// alpha bytes.
void save_bmp_32(const test_picture& picture, const fs::path& name) {
    const auto le = [](std::string& out, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
    };
    const uint32_t pixel_bytes = static_cast<uint32_t>(picture.width * picture.height * 4);
    std::string bmp = "BM";
    le(bmp, 54 + pixel_bytes, 4);
    le(bmp, 0, 4);
    le(bmp, 54, 4);
    le(bmp, 40, 4);
    le(bmp, static_cast<uint32_t>(picture.width), 4);
    le(bmp, static_cast<uint32_t>(picture.height), 4);
    le(bmp, 1, 2);
    le(bmp, 32, 2);
    le(bmp, 0, 4);  // no compression
    le(bmp, pixel_bytes, 4);
    le(bmp, 2835, 4);
    le(bmp, 2835, 4);
    le(bmp, 0, 4);
    le(bmp, 0, 4);
    for (int y = picture.height - 1; y >= 0; --y) {
        for (int x = 0; x < picture.width; ++x) le(bmp, picture.at(x, y), 4);
    }
    write_whole_file(name, bmp);
}

command_line_case bmp_32() {
    const test_picture picture = picture_of(every_pattern);
    return {"32-bit BMP", {"picture.bmp"}, [picture](const fs::path& name) { save_bmp_32(picture, name); },
            rows_of(every_pattern)};
}

const command_line_case cases[] = {
    pattern_case("every pattern", {"picture.png"}, every_pattern),
    pattern_case("all white", {"white.png"}, all_white),
    pattern_case("all black", {"black.png"}, all_black),
    pattern_case("a name with a space, as two arguments", {"my", "picture.png"}, every_pattern),
    larger_picture(),
    smaller_picture(),
    grey_pixel("a grey pixel in the third block of row 5", 4, 2),
    grey_pixel("a grey pixel in row 18, where the row is cut in two", 17, 30),
    near_colours(),
    transparent_pixels(),
    bmp_32(),
};

class ConverterCommandLine : public testing::TestWithParam<command_line_case> {};

TEST_P(ConverterCommandLine, ConvertsThePictureNamedAndEnds) {
    xvfb_display display;
    const command_line_case& c = GetParam();
    installed_program program;
    std::string name;
    for (const std::string& argument : c.arguments) name += (name.empty() ? "" : " ") + argument;
    c.write(program.path() / name);
    // Started from another folder: the relative name resolves beside the program.
    const auto morvane = program.start(c.arguments, fs::temp_directory_path());
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(60)), 0);
    EXPECT_EQ(program.cassette(), expected_cassette(c.rows));
}

INSTANTIATE_TEST_SUITE_P(Pictures, ConverterCommandLine, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<command_line_case>& info) {
                             std::string name;
                             for (const char ch : info.param.name) {
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });

TEST(ConverterCommandLineError, FileThatIsNoPictureShowsTheErrorOfStep41AndYesGivesBlackRows) {
    xvfb_display display;
    Display* x = XOpenDisplay(display.name().c_str());
    ASSERT_NE(x, nullptr);
    installed_program program;
    write_whole_file(program.path() / "notes.txt", "no picture here");
    const auto morvane = program.start({"notes.txt"}, program.path());

    const Window box = window_titled(x, invalid_picture_box_title);
    ASSERT_NE(box, 0u);
    ASSERT_TRUE(answer_invalid_picture_box(x, box));
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(60)), 0);
    EXPECT_EQ(program.cassette(), expected_cassette(picture_rows{}));  // 25 empty rows: all black cells
    XCloseDisplay(x);
}

TEST(ConverterCommandLineSound, TheEndStopsTheSoundBeforeThe888HzTone) {
    xvfb_display display;
    installed_program program;
    picture_of(every_pattern).save_png(program.path() / "picture.png");
    const auto morvane = program.start_capturing_sound({"picture.png"}, program.path());
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(60)), 0);
    EXPECT_EQ(program.cassette(), expected_cassette(every_pattern));

    // The device was open for the whole run, so the file is there, whole, and silent.
    const wave_file wave = read_wave(program.sound_file());
    ASSERT_TRUE(wave.readable);
    EXPECT_TRUE(wave.data_size_matches) << "the wave header's data size is unfinished";
    EXPECT_EQ(wave.channels, 2);
    EXPECT_EQ(wave.frames_per_second, 44100u);
    EXPECT_TRUE(find_tones(wave.left).empty()) << "a tone was heard";
    EXPECT_TRUE(find_tones(wave.right).empty()) << "a tone was heard";
}

}  // namespace
