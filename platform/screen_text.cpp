// Text on the screen: colours, the cursor, wrapping, scrolling and drawing code page 437 cells.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/cp437_font.h"
#include "platform/errors.h"
#include "platform/screen.h"
#include "platform/screen_state.h"

namespace {

// The glyph row that cell row `i` shows: 8 x 14 cells leave out the glyph's top and bottom
// rows, 8 x 8 cells take every other row.
int glyph_row(int32_t cell_height, int32_t i) {
    if (cell_height == 14) return i + 1;
    if (cell_height == 8) return 2 * i;
    return i;
}

// Sets pixel (x, y) of `target` to `colour` (an attribute or a color32); true when that changed
// it.
bool set_pixel(image& target, int32_t x, int32_t y, uint32_t colour) {
    const size_t index = size_t(y) * size_t(target.width) + size_t(x);
    if (target.attribute_bits != 0) {
        const auto attribute = uint8_t(colour & target.attribute_mask());
        return std::exchange(target.pixels8()[index], attribute) != attribute;
    }
    return std::exchange(target.pixels32()[index], colour) != colour;
}

// Fills text rows `first` to `last` (1-based) with the background colour.
void fill_rows(image& target, int32_t first, int32_t last) {
    const int32_t bottom = std::min(last * target.cell_height, target.height);
    for (int32_t y = (first - 1) * target.cell_height; y < bottom; ++y) {
        for (int32_t x = 0; x < target.width; ++x) set_pixel(target, x, y, target.background);
    }
}

// Moves the text view's rows up by one text row and clears its bottom row.
void scroll_view(screen_state& state, image& target) {
    const size_t bytes_per_pixel = target.attribute_bits != 0 ? 1 : 4;
    const size_t row_bytes = size_t(target.width) * bytes_per_pixel;
    auto* pixels = static_cast<uint8_t*>(target.pixels.get());
    const int32_t top = (target.view_top - 1) * target.cell_height;
    const int32_t bottom = std::min(target.view_bottom * target.cell_height, target.height);
    std::lock_guard hold(state.lock);
    for (int32_t y = top; y + target.cell_height < bottom; ++y) {
        std::memcpy(pixels + y * row_bytes, pixels + (y + target.cell_height) * row_bytes, row_bytes);
    }
    fill_rows(target, target.view_bottom, target.view_bottom);
    note_change(state, target);
}

// Column 1 of the next row, scrolling when that row lies below the text view.
void new_line(screen_state& state, image& target) {
    target.wrap_pending = false;
    target.cursor_column = 1;
    if (target.cursor_row + 1 > target.view_bottom) {
        target.cursor_row = target.view_bottom;
        scroll_view(state, target);
    } else {
        ++target.cursor_row;
    }
}

// Draws `code` opaque in the cursor's cell (clipped to the image) and advances the cursor,
// leaving a wrap pending after the last column. A cell that already shows the same is no change
// of the screen, so the key wait's prompt printed over itself builds no new frame.
void draw_character(screen_state& state, image& target, uint8_t code) {
    const int32_t left = (target.cursor_column - 1) * 8;
    const int32_t top = (target.cursor_row - 1) * target.cell_height;
    {
        std::lock_guard hold(state.lock);
        bool changed = false;
        for (int32_t i = 0; i < target.cell_height && top + i < target.height; ++i) {
            const uint8_t bits = cp437_font[code][glyph_row(target.cell_height, i)];
            for (int32_t j = 0; j < 8 && left + j < target.width; ++j) {
                const bool ink = (bits >> (7 - j)) & 1;
                changed |= set_pixel(target, left + j, top + i, ink ? target.foreground : target.background);
            }
        }
        if (changed) note_rows_change(state, target, top, std::min(top + target.cell_height, target.height));
    }
    if (target.cursor_column < target.text_columns()) {
        ++target.cursor_column;
    } else {
        target.wrap_pending = true;
    }
}

// Control codes 28 to 31: the cursor one cell right, left, up or down, within the grid and
// the text view.
void move_cursor(image& target, uint8_t code) {
    if (code == 28 && target.cursor_column < target.text_columns()) ++target.cursor_column;
    if (code == 29 && target.cursor_column > 1) --target.cursor_column;
    if (code == 30 && target.cursor_row > target.view_top) --target.cursor_row;
    if (code == 31 && target.cursor_row < target.view_bottom) ++target.cursor_row;
}

// Column 1 of the text view's top row.
void cursor_to_view_top(image& target) {
    target.cursor_row = target.view_top;
    target.cursor_column = 1;
}

// Carries out control code `code` (no wrap is pending then); false when it is none and must be
// drawn.
bool control_code(screen_state& state, image& target, uint8_t code) {
    switch (code) {
        case 7:
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            return true;
        case 9:
            do draw_character(state, target, ' ');
            while ((target.cursor_column - 1) % 8 != 0 && !target.wrap_pending);
            return true;
        case 10:
        case 13:
            new_line(state, target);
            return true;
        case 11:
            cursor_to_view_top(target);
            return true;
        case 12: {
            std::lock_guard hold(state.lock);
            fill_rows(target, 1, target.text_rows() + 1);  // the rows and the strip below them
            note_change(state, target);
            cursor_to_view_top(target);
            return true;
        }
        case 28:
        case 29:
        case 30:
        case 31:
            move_cursor(target, code);
            return true;
        default:
            return false;
    }
}

}  // namespace

void set_text_color(uint32_t foreground) {
    if (error_is_pending()) return;
    image& target = *screens().screen;
    if (target.attribute_bits != 0 && foreground > target.attribute_mask()) return raise_error(error_number::illegal_function_call);
    target.foreground = foreground;
}

void locate_cursor(int32_t row, int32_t column) {
    if (error_is_pending()) return;
    image& target = *screens().screen;
    const bool row_valid = row >= target.view_top && (row <= target.view_bottom || row == target.text_rows());
    if (!row_valid || column < 1 || column > target.text_columns()) return raise_error(error_number::illegal_function_call);
    target.cursor_row = row;
    target.cursor_column = column;
    target.wrap_pending = false;
}

void fit_print_on_line(const string_descriptor& text) {
    screen_state& state = screens();
    image& target = *state.screen;
    const int64_t end = int64_t(target.cursor_column - 1) * 8 + int64_t(8) * text.length();
    if (!target.wrap_pending && target.cursor_column != 1 && end > target.width) new_line(state, target);
}

void print_string(const string_descriptor& text, int32_t new_line_after) {
    if (error_is_pending()) return;
    screen_state& state = screens();
    image& target = *state.screen;
    for (const char byte : text.bytes) {
        // Any byte after a full row, a control code too, starts on the next row.
        if (target.wrap_pending) new_line(state, target);
        const auto code = static_cast<uint8_t>(byte);
        if (!control_code(state, target, code)) draw_character(state, target, code);
    }
    // A wrap still pending after the last byte is this new line, so no empty row follows.
    if (new_line_after != 0) new_line(state, target);
}
