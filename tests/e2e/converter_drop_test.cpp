// The whole program in drop mode: the start window titled "Morvane" takes a picture dropped on
// it through the X drag-and-drop protocol, converts it, and ends at a key.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/converter_program.h"
#include "support/converter_x.h"
#include "support/xdnd_source.h"
#include "support/xvfb_display.h"

namespace {

namespace fs = std::filesystem;

std::string uri_of(const fs::path& path) { return "file://" + path.string() + "\r\n"; }

class ConverterDrop : public testing::Test {
  protected:
    void SetUp() override { x = XOpenDisplay(display.name().c_str()); }
    void TearDown() override {
        if (x) XCloseDisplay(x);
    }

    // Starts the program without arguments and waits until its window takes drops.
    Window start_window() {
        morvane = program.start({}, program.path());
        const Window window = window_titled(x, "Morvane");
        if (window && !wait_for_drop_target(display.name(), window, std::chrono::seconds(30))) return 0;
        return window;
    }

    xvfb_display display;
    Display* x = nullptr;
    installed_program program;
    std::unique_ptr<child_process> morvane;
};

TEST_F(ConverterDrop, PictureDroppedAfterAFolderIsConvertedAndAKeyEnds) {
    const fs::path pictures = program.path() / "pictures";
    fs::create_directory(pictures);
    picture_of(every_pattern).save_png(pictures / "drawing.png");
    const Window window = start_window();
    ASSERT_NE(window, 0u);
    // The start screen shows KESTRIL.PNG: its blue ground and the white disc of its sample.
    EXPECT_TRUE(eventually([&] {
        const x_screenshot shot = capture_window(x, window);
        return shot.width == 576 && shot.height == 317 && shot.at(0, 0) == 0x0000AA && shot.at(479, 147) == 0xFFFFFF;
    }));
    // A drop of folders only is released and the wait goes on.
    EXPECT_TRUE(drop_uri_list(display.name(), window, uri_of(pictures)).accepted());
    EXPECT_TRUE(drop_uri_list(display.name(), window, uri_of(pictures) + uri_of(pictures / "drawing.png")).accepted());
    // The key may come before the end screen: it waits in the key queue.
    ASSERT_TRUE(type_keys(window, "space"));
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(60)), 0);
    EXPECT_EQ(program.cassette(), expected_cassette(every_pattern));
}

TEST_F(ConverterDrop, ItemThatIsNeitherFileNorFolderEndsTheProgramUnconverted) {
    picture_of(every_pattern).save_png(program.path() / "drawing.png");
    const Window window = start_window();
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(drop_uri_list(display.name(), window,
                              uri_of(program.path() / "gone.png") + uri_of(program.path() / "drawing.png"))
                    .accepted());
    EXPECT_EQ(morvane->wait_for_exit(std::chrono::seconds(30)), 0);
    EXPECT_FALSE(fs::exists(program.path() / "IMAGE.CAS"));
}

}  // namespace
