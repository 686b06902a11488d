// Sampling the picture into mosaic rows: the canvas, the pixel test and the map from a 2 x 3
// block of white and black pixels to its teletext mosaic character.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The code of pattern v = TL + 2 TR + 4 ML + 8 MR + 16 BL + 32 BR (white = 1). Three codes
// differ from the block-mosaic rule because the P2000T's PRINT changes them on the way to the
// screen (0x5F, 0x5C) or because the rule's code would end a BASIC string (0x22).
constexpr uint8_t mosaic_code(int32_t v) {
    if (v == 2) return 0xFD;
    if (v == 3) return 0x5F;
    if (v == 62) return 0x5C;
    return static_cast<uint8_t>(32 + (v & 31) + 64 * (v >> 5));
}

constexpr std::array<uint8_t, 64> make_mosaic_table() {
    std::array<uint8_t, 64> table{};
    for (int32_t v = 0; v < 64; ++v) table[static_cast<std::size_t>(v)] = mosaic_code(v);
    return table;
}

// mosaic_table[v] is the character code of pattern v.
inline constexpr std::array<uint8_t, 64> mosaic_table = make_mosaic_table();

// The patterns in the order the block's tests run: 11 first, then 0 .. 10, then 12 .. 63.
constexpr std::array<uint8_t, 64> make_pattern_order() {
    std::array<uint8_t, 64> order{};
    order[0] = 11;
    for (int32_t i = 1; i < 64; ++i) order[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i <= 11 ? i - 1 : i);
    return order;
}
inline constexpr std::array<uint8_t, 64> pattern_order = make_pattern_order();

// The step of the i-th pattern test (0-based): 55 .. 118.
constexpr int32_t pattern_step(int32_t i) { return 55 + i; }

// The pixel test: a colour read as a double passes when, rounded to single precision (nearest,
// ties to even), it equals the reference.
inline bool color_matches(double color, float reference) {
    return static_cast<float>(color) == reference;
}

// Steps 39 to 145: makes an 800 x 600 canvas the screen, draws the picture named picture_name
// at (1, 1) and reads its top-left 78 x 75 pixels into row_1 .. row_25.
void sample_picture();
// Steps 39 to 41: the canvas as the screen and picture_image, loaded from picture_name, on it.
void draw_picture_on_canvas();
// Steps 47 to 145: the canvas's pixels x 1 .. 78, y 1 .. 75 read block by block into the rows.
void read_canvas_into_rows();
