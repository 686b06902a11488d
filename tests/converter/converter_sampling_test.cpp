#include "converter/mosaic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "converter/variables.h"
#include "support/converter_fixtures.h"
#include "platform/errors.h"
#include "platform/program_control.h"
#include "platform/screen.h"
#include "support/runtime_double.h"
#include "support/text_printing.h"

namespace {

// A pattern for every block of the 25 x 39, so that all 64 patterns occur.
int pattern_of_block(int row, int column) { return (row * 39 + column * 5) % 64; }

std::string repeated(int count, uint8_t code) { return std::string(static_cast<std::size_t>(count), static_cast<char>(code)); }

class Sampling : public testing::Test {
  protected:
    void SetUp() override {
        reset_screens();
        reset_converter_variables();
        set_executable_name("morvane");
    }
    void TearDown() override { reset_screens(); }

    // Samples `picture`, saved as a PNG in the scratch folder.
    void sample(const test_picture& picture) {
        picture.save_png("picture.png");
        picture_name = "picture.png";
        sample_picture();
    }

    runtime_double runtime;
    scratch_folder folder;
};

TEST_F(Sampling, ExactPictureGivesFullRowsOfItsPatterns) {
    test_picture picture(78, 75, pure_black);
    for (int row = 0; row < 25; ++row)
        for (int column = 0; column < 39; ++column)
            picture.paint_block(column * 2, row * 3, pattern_of_block(row, column));
    sample(picture);
    for (int row = 0; row < 25; ++row) {
        std::string expected;
        for (int column = 0; column < 39; ++column) {
            expected += static_cast<char>(mosaic_table[static_cast<std::size_t>(pattern_of_block(row, column))]);
        }
        EXPECT_EQ(rows[static_cast<std::size_t>(row)], string_descriptor(expected)) << "row " << row + 1;
    }
    EXPECT_EQ(row_count, 25.0f);
    EXPECT_TRUE(runtime.boxes().empty());
}

struct fill_case {
    int width;
    int height;
    uint32_t fill;
    uint8_t code;
};

TEST_F(Sampling, PlainPicturesOfAtLeastTheSampledSize) {
    const fill_case cases[] = {
        {78, 75, pure_black, 0x20},
        {100, 90, pure_black, 0x20},
        {78, 75, pure_white, 0x7F},
        {1000, 700, pure_white, 0x7F},  // beyond the canvas: clipped
    };
    for (const fill_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " of " << std::hex << c.fill);
        reset_converter_variables();
        sample(test_picture(c.width, c.height, c.fill));
        for (const string_descriptor& text : rows) EXPECT_EQ(text, string_descriptor(repeated(39, c.code)));
    }
}

TEST_F(Sampling, SmallPictureYieldsOnlyTheBlocksInsideIt) {
    sample(test_picture(10, 10, pure_white));
    for (int k = 1; k <= 25; ++k) {
        EXPECT_EQ(row(k), string_descriptor(k <= 3 ? repeated(5, 0x7F) : "")) << "row " << k;
    }
}

// The first block row holds pattern i in block i; `spoil` then changes one pixel.
test_picture pattern_row(int spoil_x, uint32_t spoil_colour) {
    test_picture picture(78, 75, pure_black);
    for (int column = 0; column < 39; ++column) picture.paint_block(column * 2, 0, column);
    picture.at(spoil_x, 0) = spoil_colour;
    return picture;
}

std::string pattern_row_codes(int left_out) {
    std::string codes;
    for (int column = 0; column < 39; ++column)
        if (column != left_out) codes += static_cast<char>(mosaic_table[static_cast<std::size_t>(column)]);
    return codes;
}

TEST_F(Sampling, GreyPixelLeavesItsBlockOutAndTheRestMovesLeft) {
    sample(pattern_row(4, 0xFF808080));  // the top-left pixel of the third block
    ASSERT_EQ(row(1).length(), 38);
    EXPECT_EQ(row(1), string_descriptor(pattern_row_codes(2)));
    EXPECT_EQ(static_cast<uint8_t>(row(1).bytes[2]), mosaic_table[3]);
    EXPECT_EQ(row(2), string_descriptor(repeated(39, 0x20)));
}

struct pixel_case {
    uint32_t colour;
    bool kept;  // the block still yields its code (the pixel counts as the pattern's white)
};

TEST_F(Sampling, OnlyOpaqueWhiteAndBlackPixelsCount) {
    // Block 1 holds pattern 1: its top-left pixel (picture x 2) is white.
    const pixel_case cases[] = {
        {0xFFFFFF80, true},   // (255, 255, 128)
        {0xFFFFFFFF, true},
        {0xFFFFFF7F, false},  // (255, 255, 127)
        {0xFFFEFFFF, false},  // (254, 255, 255)
        {0x00FFFFFF, false},  // transparent white
        {0xFEFFFFFF, false},  // white of alpha 254
        {0x80FFFFFF, false},  // half transparent
        {0xFFFEFEFE, false},  // a lossy white
    };
    for (const pixel_case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour);
        reset_converter_variables();
        sample(pattern_row(2, c.colour));
        EXPECT_EQ(row(1), string_descriptor(pattern_row_codes(c.kept ? -1 : 1)));
    }
}

TEST_F(Sampling, NearBlackPixels) {
    // Block 0 holds pattern 0: its top-left pixel (picture x 0) is black.
    const pixel_case cases[] = {
        {0xFF000000, true}, {0xFF000080, true}, {0xFF000081, false},
        {0xFF010000, false}, {0x00000000, false},
    };
    for (const pixel_case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.colour);
        reset_converter_variables();
        sample(pattern_row(0, c.colour));
        EXPECT_EQ(row(1), string_descriptor(pattern_row_codes(c.kept ? -1 : 0)));
    }
}

TEST_F(Sampling, PictureThatCannotBeLoadedGivesEmptyRowsAfterYes) {
    write_whole_file("not-a-picture.png", "this is text");
    picture_name = "not-a-picture.png";
    sample_picture();
    ASSERT_EQ(runtime.boxes().size(), 1u);
    EXPECT_EQ(runtime.boxes()[0].title, "Unhandled Error #258 - morvane");
    EXPECT_EQ(runtime.boxes()[0].text, "Line: 41 (in main module)\nInvalid handle\nContinue?");
    EXPECT_EQ(picture_image, -1);
    for (const string_descriptor& text : rows) EXPECT_EQ(text, string_descriptor());
    EXPECT_EQ(row_count, 25.0f);
}

TEST_F(Sampling, NoAfterAFailedLoadEndsTheProgramBeforeSampling) {
    runtime.answer({box_answer::no});
    picture_name = "missing.png";
    EXPECT_THROW(sample_picture(), program_thread_stopped_signal);
    EXPECT_EQ(row_count, 0.0f);
    EXPECT_TRUE(close_requested);
}

}  // namespace
