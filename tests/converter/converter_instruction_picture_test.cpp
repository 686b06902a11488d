// The instruction picture that ships beside the program: it must load with the program's own
// loader and fill the 576 x 317 start screen exactly.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/errors.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "support/runtime_double.h"

namespace {

TEST(InstructionPicture, ShippedPictureLoadsAndFillsTheStartScreen) {
    runtime_double runtime;
    reset_screens();
    select_screen(new_image(576, 317, 32));
    const std::filesystem::path picture = std::filesystem::path(MORVANE_SOURCE_DIR) / "data" / "KESTRIL.PNG";
    const image_handle logo = load_image_file(string_descriptor(picture.string()), 32);
    ASSERT_LT(logo, -1);
    select_screen(logo);
    display_frame frame;
    ASSERT_TRUE(build_display_frame(frame));
    EXPECT_EQ(frame.width, 576);
    EXPECT_EQ(frame.height, 317);
    EXPECT_EQ(read_pixel_color(0, 0), 0xFF0000AA);  // opaque: it shows as drawn
    EXPECT_FALSE(error_is_pending());
    reset_screens();
}

}  // namespace
