// The whole program in drop mode: the start window titled "Morvane" takes a picture dropped on
// it through the X drag-and-drop protocol, converts it, and ends at a key.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/converter_run.h"

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

}  // namespace
