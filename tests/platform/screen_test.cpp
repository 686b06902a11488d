#include "platform/screen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/cp437_font.h"
#include "platform/errors.h"
#include "support/runtime_double.h"

namespace {

class Screens : public testing::Test {
  protected:
    Screens() { reset_screens(); }
    ~Screens() override { reset_screens(); }

    runtime_double runtime;
};

// The converter's way of printing a text: it ends its line.
void print_line(const std::string& bytes) {
    const string_descriptor text(bytes);
    fit_print_on_line(text);
    print_string(text, 0);
    print_string("", 1);
}

// The frame's colour at (x, y) as 0xRRGGBB.
uint32_t frame_rgb(const display_frame& frame, int32_t x, int32_t y) {
    const uint8_t* p = &frame.rgb[(size_t(y) * frame.width + x) * 3];
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

uint32_t pixel(float x, float y) { return uint32_t(read_pixel_color(x, y)); }

// The character in cell (row, column) of a mode-9 screen, told by its glyph rows 1 to 14 in
// attributes other than `background`; '?' when no printable ASCII glyph matches.
char cell_character(int32_t row, int32_t column, uint32_t background = 0) {
    for (int code = 32; code < 127; ++code) {
        bool same = true;
        for (int i = 0; i < 14 && same; ++i) {
            for (int j = 0; j < 8 && same; ++j) {
                const bool ink = pixel((column - 1) * 8 + j, (row - 1) * 14 + i) != background;
                same = ink == bool((cp437_font[code][i + 1] >> (7 - j)) & 1);
            }
        }
        if (same) return char(code);
    }
    return '?';
}

// Row `row` of a mode-9 screen as text, trailing blanks removed.
std::string row_text(int32_t row) {
    std::string text;
    for (int32_t column = 1; column <= 80; ++column) text += cell_character(row, column);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

std::string letters(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += char('A' + i % 26);
    return text;
}

TEST_F(Screens, StartUpScreenIsABlackTextScreenOf640By400) {
    display_frame frame;
    ASSERT_TRUE(build_display_frame(frame));
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 400);
    EXPECT_EQ(frame.rgb, std::vector<uint8_t>(640 * 400 * 3, 0));
    EXPECT_TRUE(destination_is_text_mode());
}

TEST_F(Screens, TextModeRefusesPixelReadsAndDrawing) {
    EXPECT_EQ(read_pixel_color(0, 0), 0);
    EXPECT_EQ(pending_error, 5);
    pending_error = 0;
    const image_handle picture = new_image(4, 4, 32);
    put_image(0, 0, picture);
    EXPECT_EQ(pending_error, 5);
}

TEST_F(Screens, ScreenNinePaletteShowsTheEgaColours) {
    select_screen(9);
    const uint32_t defaults[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA,
                                   0xAA5500, 0xAAAAAA, 0x555555, 0x5555FF, 0x55FF55, 0x55FFFF,
                                   0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};
    for (uint32_t attribute = 0; attribute < 16; ++attribute) {
        set_text_color(attribute);
        locate_cursor(1, int32_t(attribute) + 1);
        print_string("\xdb", 0);  // the full block: every pixel of the cell in the foreground
    }
    display_frame frame;
    ASSERT_TRUE(build_display_frame(frame));
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 350);
    for (int32_t attribute = 0; attribute < 16; ++attribute) {
        EXPECT_EQ(frame_rgb(frame, attribute * 8 + 3, 5), defaults[attribute]) << attribute;
    }

    const std::pair<uint32_t, uint32_t> ega[] = {{1, 0x0000AA},  {58, 0x55FF55}, {20, 0xAA5500},
                                                 {63, 0xFFFFFF}, {0, 0x000000},  {56, 0x555555},
                                                 {7, 0xAAAAAA},  {9, 0x0000FF},  {57, 0x5555FF},
                                                 {36, 0xFF0000}};
    for (const auto& [colour, rgb] : ega) {
        set_palette_entry(0, colour);
        ASSERT_TRUE(build_display_frame(frame));
        EXPECT_EQ(frame_rgb(frame, 300, 200), rgb) << colour;
    }
    EXPECT_EQ(pending_error, 0);
}

TEST_F(Screens, SelectingTheSameModeKeepsTheScreen) {
    select_screen(9);
    print_string("Q", 0);
    select_screen(9);
    EXPECT_EQ(cell_character(1, 1), 'Q');
}

TEST_F(Screens, BadModesAndHandlesLeaveTheScreenAsItWas) {
    const std::pair<int32_t, int32_t> table[] = {{3, 5},  {6, 5},  {14, 5},   {32, 5},
                                                 {256, 5}, {-1, 258}, {-2, 258}, {-999, 258}};
    select_screen(9);
    for (const auto& [argument, error] : table) {
        select_screen(argument);
        EXPECT_EQ(pending_error, error) << argument;
        pending_error = 0;
        display_frame frame;
        build_display_frame(frame);
        EXPECT_EQ(frame.height, 350) << argument;
    }
}

TEST_F(Screens, ClassicModesHaveTheirSizes) {
    const int32_t table[][3] = {{1, 320, 200}, {2, 640, 200},  {7, 320, 200},  {8, 640, 200},
                                {10, 640, 350}, {11, 640, 480}, {12, 640, 480}, {13, 320, 200}};
    for (const auto& [mode, width, height] : table) {
        select_screen(mode);
        display_frame frame;
        build_display_frame(frame);
        EXPECT_EQ(frame.width, width) << mode;
        EXPECT_EQ(frame.height, height) << mode;
    }
    EXPECT_EQ(pending_error, 0);
}

TEST_F(Screens, GlyphInAModeNineCellShowsRowsOneToFourteen) {
    select_screen(9);
    set_text_color(10);
    locate_cursor(5, 7);
    print_string("A", 0);
    const uint8_t* glyph = cp437_font['A'];
    ASSERT_EQ(glyph[2], 0x10);  // the font is the VGA one
    for (int i = 0; i < 14; ++i) {
        for (int j = 0; j < 8; ++j) {
            const uint32_t expected = (glyph[i + 1] >> (7 - j)) & 1 ? 10 : 0;
            EXPECT_EQ(pixel(48 + j, 56 + i), expected) << i << "," << j;
        }
    }
}

TEST_F(Screens, GlyphOnA32BitImageShowsAllSixteenRows) {
    select_screen(new_image(40, 40, 32));
    locate_cursor(2, 3);
    print_string("A", 0);
    const uint8_t* glyph = cp437_font['A'];
    for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < 8; ++j) {
            const uint32_t expected = (glyph[i] >> (7 - j)) & 1 ? 0xFFFFFFFF : 0xFF000000;
            EXPECT_EQ(pixel(16 + j, 16 + i), expected) << i << "," << j;
        }
    }
    EXPECT_EQ(pixel(24, 16), 0u);  // the next cell is untouched
}

TEST_F(Screens, LongNameWrapsOverTheFollowingRows) {
    select_screen(9);
    set_text_color(10);
    locate_cursor(3, 2);
    const std::string name = letters(100);
    print_line(name);
    print_string("#", 0);  // lands at the cursor
    EXPECT_EQ(row_text(3), "");
    EXPECT_EQ(row_text(4), name.substr(0, 80));
    EXPECT_EQ(row_text(5), name.substr(80));
    EXPECT_EQ(row_text(6), "#");
}

TEST_F(Screens, TextThatFitsStaysOnItsRow) {
    struct case_ {
        size_t length;
        std::string row_3, row_4;
        int32_t next_row;
    };
    const std::string t79 = letters(79), t80 = letters(80), t81 = letters(81);
    const case_ table[] = {
        {79, " " + t79, "#", 4},
        {80, "", t80, 5},  // the wrap pending after column 80 is the line's end: no empty row
        {81, "", t81.substr(0, 80), 6},
    };
    for (const auto& test : table) {
        reset_screens();
        select_screen(9);
        locate_cursor(3, 2);
        print_line(letters(test.length));
        print_string("#", 0);
        EXPECT_EQ(row_text(3), test.row_3) << test.length;
        EXPECT_EQ(row_text(4), test.row_4) << test.length;
        EXPECT_EQ(cell_character(test.next_row, 1), '#') << test.length;
    }
}

TEST_F(Screens, PendingWrapStartsTheNextTextOnANewRow) {
    select_screen(9);
    locate_cursor(1, 79);
    print_string("ab", 0);
    print_string("c", 0);
    EXPECT_EQ(row_text(1), std::string(78, ' ') + "ab");
    EXPECT_EQ(row_text(2), "c");
}

TEST_F(Screens, AnyByteAfterAFullRowStartsOnTheNextRow) {
    const std::string full = letters(80);
    struct case_ {
        const char* what;
        std::vector<std::string> prints;  // each printed without a new line
        int32_t row, column;               // where the final "#" lands
    };
    const case_ table[] = {
        {"line feed", {full + "\n#"}, 3, 1},
        {"cursor left", {full + "\x1d#"}, 2, 1},
        {"cursor right", {full + "\x1c#"}, 2, 2},
        {"carriage return in the next print", {full, "\r#"}, 3, 1},
        {"drawn byte", {full + "#"}, 2, 1},
    };
    for (const auto& test : table) {
        reset_screens();
        select_screen(9);
        for (const std::string& bytes : test.prints) print_string(string_descriptor(bytes), 0);
        EXPECT_EQ(row_text(1), full) << test.what;
        EXPECT_EQ(row_text(test.row), std::string(size_t(test.column - 1), ' ') + "#") << test.what;
    }
    // The new line asked for after a full row is the row's end: no empty row follows.
    reset_screens();
    select_screen(9);
    print_string(string_descriptor(full), 1);
    print_string("#", 0);
    EXPECT_EQ(row_text(2), "#");
}

TEST_F(Screens, NewLineBelowRowTwentyFourScrollsTheView) {
    select_screen(9);
    set_palette_entry(0, 1);
    locate_cursor(1, 1);
    print_string("gone", 0);
    locate_cursor(2, 1);
    print_string("up", 0);
    locate_cursor(25, 1);
    print_string("Z", 0);
    locate_cursor(24, 1);
    print_line("bottom");
    print_string("#", 0);
    EXPECT_EQ(row_text(1), "up");
    EXPECT_EQ(row_text(23), "bottom");
    EXPECT_EQ(row_text(24), "#");
    EXPECT_EQ(row_text(25), "Z");  // below the text view: not scrolled
}

TEST_F(Screens, ControlCodesMoveTheCursorInsteadOfDrawing) {
    select_screen(9);
    locate_cursor(3, 1);
    print_string("a\tb", 0);
    EXPECT_EQ(row_text(3), "a       b");
    print_string("\r", 0);
    print_string("c\x1c" "d\x1d\x1d" "e\x1f" "f\x1e\x1e" "g", 0);
    EXPECT_EQ(row_text(4), "ced");
    EXPECT_EQ(row_text(5), "  f");
    EXPECT_EQ(row_text(3), "a  g    b");
    print_string("\x0bh", 0);
    EXPECT_EQ(cell_character(1, 1), 'h');
    print_string("\x0c", 0);
    for (int row = 1; row <= 25; ++row) EXPECT_EQ(row_text(row), "") << row;
}

TEST_F(Screens, LocateCursorAcceptsTheGridAndRefusesTheRest) {
    select_screen(9);
    const std::tuple<int32_t, int32_t, int32_t> table[] = {
        {1, 1, 0}, {24, 80, 0}, {25, 1, 0}, {0, 1, 5}, {26, 1, 5}, {1, 0, 5}, {1, 81, 5},
    };
    for (const auto& [row, column, error] : table) {
        locate_cursor(10, 10);
        locate_cursor(row, column);
        EXPECT_EQ(pending_error, error) << row << "," << column;
        pending_error = 0;
        print_string("x", 0);
        const bool moved = error == 0;
        EXPECT_EQ(cell_character(moved ? row : 10, moved ? column : 10), 'x') << row << "," << column;
        print_string("\x0c", 0);
    }
}

TEST_F(Screens, ColourAndPaletteRangesInModeNine) {
    select_screen(9);
    struct case_ {
        void (*call)();
        int32_t error;
    };
    const case_ table[] = {
        {[] { set_text_color(15); }, 0},        {[] { set_text_color(16); }, 5},
        {[] { set_palette_entry(15, 63); }, 0}, {[] { set_palette_entry(16, 1); }, 5},
        {[] { set_palette_entry(0, 64); }, 5},
    };
    for (const auto& test : table) {
        test.call();
        EXPECT_EQ(pending_error, test.error) << &test - table;
        pending_error = 0;
    }
    select_screen(new_image(8, 8, 32));
    set_palette_entry(0, 1);
    EXPECT_EQ(pending_error, 5);
}

TEST_F(Screens, NewImageSizesAndModes) {
    struct case_ {
        int32_t width, height, mode;
        bool made;
        int32_t error;
    };
    const case_ table[] = {
        {576, 317, 32, true, 0},  {10, 10, 9, true, 0},      {10, 10, 256, true, 0},
        {0, 10, 32, false, 5},    {10, -1, 32, false, 5},    {10, 10, 3, false, 5},
        {10, 10, 33, false, 5},   {70000, 1, 32, false, 0},
    };
    image_handle last = -1;
    for (const auto& test : table) {
        const image_handle handle = new_image(test.width, test.height, test.mode);
        EXPECT_EQ(pending_error, test.error) << test.width << "x" << test.height << " " << test.mode;
        pending_error = 0;
        if (test.made) {
            EXPECT_EQ(handle, last == -1 ? -2 : last - 1);  // slots 0 and 1 are never used
            last = handle;
        } else {
            EXPECT_EQ(handle, test.error ? 0 : -1);
        }
    }
}

TEST_F(Screens, NewThirtyTwoBitImageIsTransparentBlack) {
    select_screen(new_image(800, 600, 32));
    EXPECT_EQ(read_pixel_color(0, 0), 0);
    EXPECT_EQ(read_pixel_color(799, 599), 0);
}

TEST_F(Screens, ReadPixelRoundsTiesToEvenAndGivesMinusOneOutside) {
    select_screen(new_image(4, 2, 32));
    const uint8_t rgba[] = {0, 0, 0, 255, 0, 0, 1, 255, 0, 0, 2, 255, 0, 0, 3, 255};  // blue: the column
    put_image(0, 0, new_image_from_rgba(4, 1, rgba));
    const std::tuple<float, float, double> table[] = {
        {0.5f, 0, 0xFF000000},  {1.5f, 0, 0xFF000002}, {2.5f, 0, 0xFF000002}, {1.49f, 0, 0xFF000001},
        {-0.5f, 0, 0xFF000000}, {-0.6f, 0, -1},        {3.5f, 0, -1},         {4, 0, -1},
        {0, 1.4f, 0},           {0, 1.5f, -1},         {NAN, 0, -1},          {0, -INFINITY, -1},
    };
    for (const auto& [x, y, expected] : table) EXPECT_EQ(read_pixel_color(x, y), expected) << x << "," << y;
    EXPECT_EQ(pending_error, 0);
}

TEST_F(Screens, ModeNinePixelsReadAsAttributes) {
    select_screen(9);
    set_text_color(12);
    print_string("\xdb", 0);
    EXPECT_EQ(read_pixel_color(0, 0), 12);
    EXPECT_EQ(read_pixel_color(8, 0), 0);
    EXPECT_EQ(read_pixel_color(640, 0), -1);
}

// One source pixel drawn on one destination pixel of two 32-bit images.
uint32_t blended(uint32_t destination, uint32_t source) {
    const uint8_t d[] = {uint8_t(destination >> 16), uint8_t(destination >> 8), uint8_t(destination),
                         uint8_t(destination >> 24)};
    const uint8_t s[] = {uint8_t(source >> 16), uint8_t(source >> 8), uint8_t(source), uint8_t(source >> 24)};
    const image_handle target = new_image_from_rgba(1, 1, d);
    put_image(0, 0, new_image_from_rgba(1, 1, s), target);
    select_screen(target);
    return pixel(0, 0);
}

TEST_F(Screens, BlendingByAlpha) {
    // Source colour red 255, green 128, blue 64; on the cleared canvas and on 0x80402010.
    const std::tuple<uint32_t, uint32_t, uint32_t> table[] = {
        {0, 0x00000000, 0x80402010},   {1, 0x01010100, 0x80412010},   {127, 0x7F7F4020, 0xBF9F5028},
        {128, 0x807F4020, 0xC09F5028}, {254, 0xFEFE7F40, 0xFFFE8040}, {255, 0xFFFF8040, 0xFFFF8040},
    };
    for (const auto& [alpha, on_clear, on_colour] : table) {
        const uint32_t source = alpha << 24 | 0xFF8040;
        EXPECT_EQ(blended(0x00000000, source), on_clear) << alpha;
        EXPECT_EQ(blended(0x80402010, source), on_colour) << alpha;
    }
    EXPECT_EQ(pending_error, 0);
}

TEST_F(Screens, PutImageRoundsTheCornerTiesToEvenAndClips) {
    const uint8_t white[] = {255, 255, 255, 255};
    const image_handle dot = new_image_from_rgba(1, 1, white);
    const std::pair<double, int> corners[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {2.6, 3}};
    for (const auto& [x, column] : corners) {
        select_screen(new_image(4, 1, 32));
        put_image(x, 0, dot);
        for (int c = 0; c < 4; ++c) EXPECT_EQ(pixel(c, 0), c == column ? 0xFFFFFFFF : 0u) << x << " " << c;
    }
    // A 3 x 3 picture at (-1, -1) on 2 x 2: only its lower right 2 x 2 lands.
    std::vector<uint8_t> rgba;
    for (uint8_t i = 0; i < 9; ++i) rgba.insert(rgba.end(), {0, 0, i, 255});
    select_screen(new_image(2, 2, 32));
    put_image(-1, -1, new_image_from_rgba(3, 3, rgba.data()));
    EXPECT_EQ(pixel(0, 0), 0xFF000004);
    EXPECT_EQ(pixel(1, 0), 0xFF000005);
    EXPECT_EQ(pixel(0, 1), 0xFF000007);
    EXPECT_EQ(pixel(1, 1), 0xFF000008);
    for (const double far : {2.0, -3.0, 1e300, double(NAN)}) put_image(far, far, dot);
    EXPECT_EQ(pixel(0, 0), 0xFF000004);
    EXPECT_EQ(pending_error, 0);
}

TEST_F(Screens, PutImageErrors) {
    const image_handle picture = new_image(2, 2, 32);
    const image_handle canvas = new_image(2, 2, 32);
    struct case_ {
        int32_t screen;
        image_handle source, destination;
        int32_t error;
    };
    const case_ table[] = {
        {-1, -1, 0, 258},         {-1, -7, 0, 258},     {-1, picture, -9, 258},
        {9, picture, 0, 5},       {0, picture, 0, 5},   {9, picture, canvas, 0},
        {9, 0, canvas, 0},  // page 0 of the screen mode, drawn through its palette
    };
    for (const auto& test : table) {
        if (test.screen >= 0) select_screen(test.screen);
        if (test.destination == 0) put_image(0, 0, test.source);
        else put_image(0, 0, test.source, test.destination);
        EXPECT_EQ(pending_error, test.error) << test.source << " on " << test.destination;
        pending_error = 0;
    }
    select_screen(canvas);
    EXPECT_EQ(pixel(1, 1), 0xFF000000);  // the blank mode-9 page, attribute 0 as black
}

TEST_F(Screens, ReplacedImageStaysValid) {
    const image_handle first = new_image(3, 3, 32);
    select_screen(first);
    print_string("x", 0);
    select_screen(9);
    select_screen(first);
    EXPECT_EQ(pending_error, 0);
    EXPECT_EQ(pixel(0, 0), 0xFF000000);  // the cell's background, clipped to 3 x 3
}

TEST_F(Screens, FramesAreCopiedOnlyWhenTheDisplayedImageChanges) {
    const image_handle canvas = new_image(16, 16, 32);
    const image_handle other = new_image(16, 16, 32);
    const uint8_t grey[] = {0x12, 0x34, 0x56, 0xFF};
    const image_handle dot = new_image_from_rgba(1, 1, grey);
    display_frame frame;
    EXPECT_TRUE(build_display_frame(frame));
    select_screen(canvas);
    EXPECT_TRUE(build_display_frame(frame));
    EXPECT_EQ(frame.width, 16);
    EXPECT_FALSE(build_display_frame(frame));

    struct case_ {
        const char* what;
        void (*step)(image_handle canvas, image_handle other, image_handle dot);
        bool copies;
    };
    const case_ table[] = {
        {"read", [](image_handle, image_handle, image_handle) { read_pixel_color(1, 1); }, false},
        {"draw elsewhere",
         [](image_handle, image_handle o, image_handle d) { put_image(0, 0, d, o); }, false},
        {"locate", [](image_handle, image_handle, image_handle) { locate_cursor(1, 1); }, false},
        {"colour", [](image_handle, image_handle, image_handle) { set_text_color(5); }, false},
        {"select itself", [](image_handle c, image_handle, image_handle) { select_screen(c); }, false},
        {"draw", [](image_handle, image_handle, image_handle d) { put_image(1, 1, d); }, true},
        {"print", [](image_handle, image_handle, image_handle) { print_string("A", 0); }, true},
        {"print over itself",
         [](image_handle, image_handle, image_handle) {
             locate_cursor(1, 1);
             print_string("A", 0);
         },
         false},
        {"select other", [](image_handle, image_handle o, image_handle) { select_screen(o); }, true},
        {"mode 9", [](image_handle, image_handle, image_handle) { select_screen(9); }, true},
        {"palette", [](image_handle, image_handle, image_handle) { set_palette_entry(0, 1); }, true},
    };
    for (const auto& test : table) {
        test.step(canvas, other, dot);
        EXPECT_EQ(build_display_frame(frame), test.copies) << test.what;
        EXPECT_FALSE(build_display_frame(frame)) << test.what;
        if (std::string(test.what) == "draw") {
            EXPECT_EQ(frame_rgb(frame, 1, 1), 0x123456u);
        }
    }
    EXPECT_EQ(pending_error, 0);
}

// The key wait prints its prompt again on every pass: the same text in the same colour changes
// nothing, and in a new colour only its rows need copying into the frame.
TEST_F(Screens, FrameAfterAPrintCopiesOnlyTheRowsItChanged) {
    select_screen(9);
    set_palette_entry(0, 1);
    const auto print_prompt = [](uint32_t colour) {
        set_text_color(colour);
        locate_cursor(11, 2);
        print_line("Press any key to quit...");
    };
    print_prompt(5);
    display_frame frame;
    ASSERT_TRUE(build_display_frame(frame));
    EXPECT_EQ(frame.changed_top, 0);
    EXPECT_EQ(frame.changed_bottom, 350);
    print_prompt(5);
    EXPECT_FALSE(build_display_frame(frame));

    print_prompt(8);
    ASSERT_TRUE(build_display_frame(frame));
    EXPECT_EQ(frame.changed_top, 140);
    EXPECT_EQ(frame.changed_bottom, 154);
    display_frame whole;
    ASSERT_TRUE(build_display_frame(whole));
    EXPECT_EQ(whole.changed_top, 0);
    EXPECT_EQ(whole.changed_bottom, 350);
    EXPECT_EQ(frame.rgb, whole.rgb);
    EXPECT_EQ(frame_rgb(frame, 8 + 1, 140 + 4), 0x555555u) << "the prompt's P in colour 8";

    set_palette_entry(0, 2);
    ASSERT_TRUE(build_display_frame(frame));
    EXPECT_EQ(frame.changed_top, 0);
    EXPECT_EQ(frame.changed_bottom, 350);
}

TEST_F(Screens, FrameIgnoresAlpha) {
    const uint8_t rgba[] = {0x12, 0x34, 0x56, 0x00, 0xAB, 0xCD, 0xEF, 0x80};
    select_screen(new_image_from_rgba(2, 1, rgba));
    display_frame frame;
    ASSERT_TRUE(build_display_frame(frame));
    EXPECT_EQ(frame.rgb, (std::vector<uint8_t>{0x12, 0x34, 0x56, 0xAB, 0xCD, 0xEF}));
}

TEST_F(Screens, PendingErrorStopsTheServicesThatTestIt) {
    const image_handle canvas = new_image(16, 16, 32);
    select_screen(canvas);
    const uint8_t white[] = {255, 255, 255, 255};
    const image_handle dot = new_image_from_rgba(1, 1, white);
    display_frame frame;
    build_display_frame(frame);
    raise_error(53);

    EXPECT_EQ(new_image(4, 4, 32), 0);
    EXPECT_EQ(new_image(0, 4, 32), 0);
    select_screen(9);
    set_palette_entry(0, 1);
    set_text_color(16);
    locate_cursor(99, 99);
    print_string("A", 1);
    EXPECT_FALSE(build_display_frame(frame));
    EXPECT_EQ(pending_error, 53);

    // Drawing and reading do not test it.
    put_image(2, 3, dot);
    EXPECT_EQ(read_pixel_color(2, 3), double(0xFFFFFFFF));
    EXPECT_TRUE(build_display_frame(frame));
    EXPECT_EQ(frame.width, 16);
    pending_error = 0;
}

}  // namespace
