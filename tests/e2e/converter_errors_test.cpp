// The whole program's error boxes as the user meets them: a missing instruction picture, a
// file that is no picture, and a read-only IMAGE.CAS, each answered in the box.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/converter_run.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string invalid_handle_box = "Unhandled Error #258 - morvane";

// The text of the error box for `error_message` after step `step`.
std::string box_text(int step, const std::string& error_message) {
    return "Line: " + std::to_string(step) + " (in main module)\n" + error_message + "\nContinue?";
}

using ConverterErrors = ConverterRun;

TEST_F(ConverterErrors, MissingInstructionPictureLeavesTheStartWindowBlankAndDropsStillWork) {
    fs::remove(program.path() / "KESTRIL.PNG");
    picture_of(every_pattern).save_png(program.path() / "drawing.png");
    start();
    const Window box = window_titled(x, invalid_handle_box);
    ASSERT_NE(box, 0u);
    EXPECT_TRUE(box_shows(x, box, box_text(6, "Invalid handle")));
    ASSERT_TRUE(type_keys(box, "Return"));

    const Window window = window_titled(x, "Morvane");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(wait_for_drop_target(display.name(), window, 30s));
    EXPECT_TRUE(window_shows(window, [](const x_screenshot& shot) {
        return shot.width == 576 && shot.height == 317 &&
               std::all_of(shot.pixels.begin(), shot.pixels.end(), [](uint32_t pixel) { return pixel == 0; });
    }));
    ASSERT_TRUE(drop(window, {program.path() / "drawing.png"}));
    const std::vector<screen_line> name_line = {{3, 2, (program.path() / "drawing.png").string(), status_green}};
    EXPECT_TRUE(window_shows(window, [&](const x_screenshot& shot) { return end_screen_prompt_colour(shot, name_line) != 0; }));
    ASSERT_TRUE(type_keys(window, "space"));
    EXPECT_EQ(morvane->wait_for_exit(30s), 0);
    EXPECT_EQ(program.cassette(), expected_cassette(every_pattern));
}

class NoPicture : public ConverterErrors, public testing::WithParamInterface<bool> {};

// No in the box of step 41 ends the program before the template passes: no IMAGE.CAS.
TEST_P(NoPicture, NoInTheBoxOfStep41EndsTheProgramWithoutACassette) {
    const bool dropped = GetParam();
    write_whole_file(program.path() / "notes.txt", "no picture here");
    if (dropped) {
        const Window window = start_window();
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(drop(window, {program.path() / "notes.txt"}));
    } else {
        start({"notes.txt"});
    }
    const Window box = window_titled(x, invalid_handle_box);
    ASSERT_NE(box, 0u);
    EXPECT_TRUE(box_shows(x, box, box_text(41, "Invalid handle")));
    ASSERT_TRUE(type_keys(box, "n"));
    EXPECT_EQ(morvane->wait_for_exit(30s), 0);
    EXPECT_FALSE(fs::exists(program.path() / "IMAGE.CAS"));
}

INSTANTIATE_TEST_SUITE_P(Named, NoPicture, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Dropped, NoPicture, testing::Values(true));

// The program runs as an unprivileged user, so that root's rights cannot write the file. Every
// write of IMAGE.CAS fails, in the first pass (step 158) and in each of the 25 later ones (step
// 196); Yes goes on each time and the file keeps its content.
TEST_F(ConverterErrors, ReadOnlyCassetteShowsAnErrorAtEveryWriteAndKeepsItsContent) {
    const fs::path cassette = program.path() / "IMAGE.CAS";
    write_whole_file(cassette, "an older cassette");
    fs::permissions(cassette, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(program.path(), fs::perms::all);
    picture_of(every_pattern).save_png(program.path() / "drawing.png");
    destruction_watch boxes_gone(x);
    start({"drawing.png"}, unprivileged_user());

    const std::string title = "Unhandled Error #75 - morvane";
    int boxes = 0;
    for (;;) {
        Window box = 0;
        ASSERT_TRUE(eventually([&] {
            box = find_titled(x, DefaultRootWindow(x), title);
            return box != 0 || !morvane->running();
        }));
        if (!box) break;
        SCOPED_TRACE("box " + std::to_string(boxes + 1));
        ASSERT_TRUE(box_shows(x, box, box_text(boxes == 0 ? 158 : 196, "Path/File access error")));
        ASSERT_TRUE(type_keys(box, "Return"));
        ASSERT_TRUE(eventually([&] { return boxes_gone.gone(box); }));
        ++boxes;
    }
    EXPECT_EQ(boxes, 26);
    EXPECT_EQ(morvane->wait_for_exit(30s), 0);
    EXPECT_EQ(read_whole_file(cassette), "an older cassette");
}

}  // namespace
