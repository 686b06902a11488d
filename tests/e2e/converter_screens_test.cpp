// What the whole program shows in drop mode, read off the window's pixels: the start window with
// the instruction picture, the status screen, the canvas during the conversion, and the end
// screen with its prompt.
#include <gtest/gtest.h>

#include <stb/stb_image.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/converter_run.h"

namespace {

namespace fs = std::filesystem;

// The instruction picture beside the program as 0xRRGGBB pixels, decoded here on its own.
x_screenshot instruction_picture(const fs::path& folder) {
    const std::string bytes = read_whole_file(folder / "KESTRIL.PNG");
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgb = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), static_cast<int>(bytes.size()),
                                         &width, &height, &channels, 3);
    x_screenshot picture;
    if (!rgb) return picture;
    picture.width = width;
    picture.height = height;
    for (int i = 0; i < width * height; ++i) {
        picture.pixels.push_back(static_cast<uint32_t>(rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2]));
    }
    stbi_image_free(rgb);
    return picture;
}

using ConverterScreens = ConverterRun;

TEST_F(ConverterScreens, StartWindowIsCentredAndShowsTheInstructionPicture) {
    const Window window = start_window();
    ASSERT_NE(window, 0u);
    // The window is centred for the size it has when the program asks: the start screen's
    // 576 x 317, or still the first screen's 640 x 400 when the window has not taken the new
    // size yet. Without a window manager the client area's corner is the window's.
    const window_placement centred_now{(screen_width - 576) / 2, (screen_height - 317) / 2, 576, 317};
    const window_placement centred_before{(screen_width - 640) / 2, (screen_height - 400) / 2, 576, 317};
    EXPECT_TRUE(eventually([&] {
        const window_placement now = placement_of(x, window);
        return now == centred_now || now == centred_before;
    })) << ::testing::PrintToString(placement_of(x, window));

    const x_screenshot picture = instruction_picture(program.path());
    ASSERT_EQ(picture.width, 576);
    ASSERT_EQ(picture.height, 317);
    EXPECT_TRUE(window_shows(window, [&](const x_screenshot& shot) { return shot.pixels == picture.pixels; }));
}

TEST_F(ConverterScreens, StatusScreenCanvasAndEndScreenFollowADrop) {
    // A large picture of noise keeps the canvas on the screen while it loads; only its top-left
    // 78 x 75 pixels, the blocks, are converted.
    test_picture picture(1600, 1200, pure_black);
    const test_picture blocks = picture_of(every_pattern);
    uint32_t noise = 1;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            picture.at(x, y) = x < blocks.width && y < blocks.height ? blocks.at(x, y) : 0xFF000000u | noise >> 8;
        }
    }
    const fs::path name = program.path() / "drawing.png";
    picture.save_png(name);
    const Window window = start_window();
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(drop(window, {name}));

    const std::vector<screen_line> name_line = {{3, 2, name.string(), status_green}};
    EXPECT_TRUE(window_shows(window, [&](const x_screenshot& shot) {
        return mode9_screen_shows(shot, status_screen_lines(name_line, false), status_blue);
    }));
    // The canvas: 800 x 600 of transparent black, shown black, while the picture loads. Its row
    // 0 and column 0 stay so; the picture, drawn from (1, 1), shows only for the moment the
    // sampling takes, so it is not looked for.
    EXPECT_TRUE(window_shows(window, [&](const x_screenshot& shot) {
        if (shot.width != 800 || shot.height != 600) return false;
        for (int i = 0; i < 600; ++i)
            if (shot.at(i, 0) != 0 || shot.at(0, i) != 0) return false;
        return true;
    }));
    EXPECT_TRUE(window_shows(window, [&](const x_screenshot& shot) { return end_screen_prompt_colour(shot, name_line) != 0; }));
    EXPECT_TRUE(morvane->running()) << "the end screen waits for a key";
    ASSERT_TRUE(type_keys(window, "space"));
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(30)), 0);
    EXPECT_EQ(program.cassette(), expected_cassette(every_pattern));
}

// The prompt's colours pass by pass from the start of a run: int(r x 14) + 1 for each value r of
// the never seeded generator, seed := (seed x 16598013 + 12820163) mod 2^24 from 327680.
std::vector<int> prompt_colours(size_t passes) {
    std::vector<int> colours;
    uint32_t seed = 327680;
    while (colours.size() < passes) {
        seed = (seed * 16598013u + 12820163u) & 0xFFFFFFu;
        const float r = static_cast<float>(seed) / 16777216.0f;
        colours.push_back(static_cast<int>(std::floor(static_cast<double>(r * 14.0f))) + 1);
    }
    return colours;
}

// The pass (1-based) at which `seen`, colours in the order the screen showed them, can have
// been reached at the earliest along `colours`; 0 when `seen` does not follow them.
size_t earliest_pass_showing(const std::vector<int>& seen, const std::vector<int>& colours) {
    size_t pass = 0;
    for (const int colour : seen) {
        while (pass < colours.size() && colours[pass] != colour) ++pass;
        if (pass == colours.size()) return 0;
        ++pass;
    }
    return pass;
}

TEST_F(ConverterScreens, EndScreenPromptTakesTheNextColourOnEachFrame) {
    const fs::path name = program.path() / "drawing.png";
    picture_of(every_pattern).save_png(name);
    const Window window = start_window();
    ASSERT_NE(window, 0u);
    // The status screens' waits put the key wait 2 s after the drop at the soonest.
    const auto earliest_start = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    ASSERT_TRUE(drop(window, {name}));

    // The prompt's colours as successive screenshots show them, each change once; attribute 1,
    // the background's blue, does not show, and a colour drawn twice running is no change.
    const std::vector<screen_line> name_line = {{3, 2, name.string(), status_green}};
    std::vector<int> seen;
    EXPECT_TRUE(window_shows(window, [&](const x_screenshot& shot) {
        const int colour = end_screen_prompt_colour(shot, name_line);
        if (colour != 0 && (seen.empty() || seen.back() != colour)) seen.push_back(colour);
        return seen.size() >= 6;
    })) << ::testing::PrintToString(seen);
    // One pass of the key wait a display frame, and frames come 32 ms apart at the quickest: the
    // colours seen follow the sequence from its start, no further in than that many passes.
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - earliest_start);
    const auto most_passes = static_cast<size_t>(std::max<int64_t>(waited.count(), 0) / 32 + 2);
    EXPECT_NE(earliest_pass_showing(seen, prompt_colours(most_passes)), 0u)
        << ::testing::PrintToString(seen) << " within " << most_passes << " passes";

    EXPECT_TRUE(morvane->running()) << "the end screen waits for a key";
    ASSERT_TRUE(type_keys(window, "Return"));
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(10)), 0);
}

TEST_F(ConverterScreens, NameLongerThan79CharactersStartsAtColumn1OfRow4) {
    // A picture 100 bytes deep from the root: bytes 1 to 80 fill row 4, the rest go on at row
    // 5, where "Converting..." is written over bytes 82 to 94.
    const std::string base = (program.path() / "").string();
    const fs::path name = base + std::string(100 - base.size() - std::string("/drawing.png").size(), 'd') + "/drawing.png";
    ASSERT_EQ(name.string().size(), 100u);
    fs::create_directories(name.parent_path());
    picture_of(every_pattern).save_png(name);
    const Window window = start_window();
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(drop(window, {name}));

    const std::vector<screen_line> name_lines = {{4, 1, name.string().substr(0, 80), status_green},
                                                 {5, 1, name.string().substr(80), status_green}};
    EXPECT_TRUE(window_shows(window, [&](const x_screenshot& shot) { return end_screen_prompt_colour(shot, name_lines) != 0; }));
    ASSERT_TRUE(type_keys(window, "space"));
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(30)), 0);
}

}  // namespace
