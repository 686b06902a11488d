// Reading text off a window's pixels, for whole-program tests: glyphs of the program's code
// page 437 font, and the cells and colours of screen mode 9 (640 x 350, 80 x 25 cells of 8 x 14
// pixels, each showing glyph rows 1 to 14 of the 8 x 16 font).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/x11/message_box_x11.h"
#include "support/x_screenshot.h"

// The number of pixels that differ from `text` drawn at (x, y) one 8-pixel-wide cell a byte,
// each cell showing the glyph rows `first_glyph_row` .. + `glyph_rows` - 1 in `ink` on `paper`.
// Pixels outside the shot count as differing.
int glyph_pixels_differing(const x_screenshot& shot, int x, int y, std::string_view text, int first_glyph_row,
                           int glyph_rows, uint32_t ink, uint32_t paper);

// The number of pixels of the error box's `shot` that differ from its text's `lines` where
// `layout` puts them, in the box's colours.
int box_text_pixels_differing(const x_screenshot& shot, const message_box_layout& layout,
                              const std::vector<std::string>& lines);

// True when the mode-9 cells from `row`, `column` (1-based) on show `text` in `ink` on `paper`.
bool text_cells_show(const x_screenshot& shot, int row, int column, std::string_view text, uint32_t ink,
                     uint32_t paper);

// A text printed on a mode-9 screen: its first cell and its colour.
struct screen_line {
    int row;
    int column;
    std::string text;
    uint32_t ink;
};

// True when `shot` is a 640 x 350 mode-9 screen showing `lines` on `paper`, and `paper` in every
// cell that no line covers. Later lines are drawn over earlier ones, as the program prints.
bool mode9_screen_shows(const x_screenshot& shot, const std::vector<screen_line>& lines, uint32_t paper);

// Colours (0xRRGGBB) of the converter's status screen: EGA colour 1, which the screen gives to
// attribute 0, and attribute 10 of the default palette.
constexpr uint32_t status_blue = 0x0000AA;
constexpr uint32_t status_green = 0x55FF55;

// Attributes 0 to 15 of mode 9's default palette (EGA colours 0, 1, 2, 3, 4, 5, 20, 7, 56 .. 63).
constexpr std::array<uint32_t, 16> mode9_default_palette = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF,
};
