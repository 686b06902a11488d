#include "support/screen_text.h"

#include <cstddef>

#include "platform/cp437_font.h"

namespace {

constexpr int cell_width = 8;
constexpr int mode9_cell_height = 14;
constexpr int mode9_columns = 80;
constexpr int mode9_rows = 25;

// The screen of mode 9 as lines of 80 cells: the byte each cell shows and its ink.
struct cell_grid {
    std::array<std::array<char, mode9_columns>, mode9_rows> bytes{};
    std::array<std::array<uint32_t, mode9_columns>, mode9_rows> inks{};
};

}  // namespace

int glyph_pixels_differing(const x_screenshot& shot, int x, int y, std::string_view text, int first_glyph_row,
                           int glyph_rows, uint32_t ink, uint32_t paper) {
    int differing = 0;
    for (std::size_t index = 0; index < text.size(); ++index) {
        const uint8_t* glyph = cp437_font[static_cast<uint8_t>(text[index])];
        for (int row = 0; row < glyph_rows; ++row) {
            for (int column = 0; column < cell_width; ++column) {
                const int px = x + static_cast<int>(index) * cell_width + column, py = y + row;
                const bool inked = glyph[first_glyph_row + row] & (0x80 >> column);
                const bool inside = px >= 0 && py >= 0 && px < shot.width && py < shot.height;
                differing += !inside || shot.at(px, py) != (inked ? ink : paper);
            }
        }
    }
    return differing;
}

int box_text_pixels_differing(const x_screenshot& shot, const message_box_layout& layout,
                              const std::vector<std::string>& lines) {
    constexpr int line_height = 16;  // whole glyphs, one line under the other
    int differing = 0;
    for (std::size_t line = 0; line < lines.size(); ++line) {
        differing += glyph_pixels_differing(shot, layout.text_x, layout.text_y + static_cast<int>(line) * line_height,
                                            lines[line], 0, line_height, message_box_ink, message_box_background);
    }
    return differing;
}

bool text_cells_show(const x_screenshot& shot, int row, int column, std::string_view text, uint32_t ink,
                     uint32_t paper) {
    return glyph_pixels_differing(shot, (column - 1) * cell_width, (row - 1) * mode9_cell_height, text, 1,
                                  mode9_cell_height, ink, paper) == 0;
}

bool mode9_screen_shows(const x_screenshot& shot, const std::vector<screen_line>& lines, uint32_t paper) {
    if (shot.width != mode9_columns * cell_width || shot.height != mode9_rows * mode9_cell_height) return false;
    cell_grid grid;
    for (auto& row : grid.bytes) row.fill(' ');
    for (auto& row : grid.inks) row.fill(paper);
    for (const screen_line& line : lines) {
        for (std::size_t index = 0; index < line.text.size(); ++index) {
            const std::size_t column = static_cast<std::size_t>(line.column - 1) + index;
            if (column >= mode9_columns) break;
            grid.bytes[static_cast<std::size_t>(line.row - 1)][column] = line.text[index];
            grid.inks[static_cast<std::size_t>(line.row - 1)][column] = line.ink;
        }
    }
    for (int row = 0; row < mode9_rows; ++row) {
        for (int column = 0; column < mode9_columns; ++column) {
            const std::string_view cell(&grid.bytes[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)], 1);
            if (!text_cells_show(shot, row + 1, column + 1, cell,
                                 grid.inks[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)], paper)) {
                return false;
            }
        }
    }
    return true;
}
