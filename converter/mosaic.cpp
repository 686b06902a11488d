#include "converter/mosaic.h"

#include "converter/counted_loop.h"
#include "converter/step_protocol.h"
#include "converter/variables.h"
#include "platform/picture.h"
#include "platform/screen.h"

namespace {

constexpr step_module steps = step_module::main();

// Whether the canvas pixel (x, y) passes the pixel test against `reference`.
bool pixel_is(float reference, float x, float y) {
    return color_matches(read_pixel_color(x, y), reference);
}

// Whether the current block shows pattern v: its six pixels, read in the order TL, TR, ML, MR,
// BL, BR, each white where v has a 1 bit and black where it has a 0 bit. All six are read
// whatever the earlier ones gave.
bool block_shows(int32_t v) {
    bool all_pass = true;
    for (int32_t bit = 0; bit < 6; ++bit) {
        const float x = block_x + static_cast<float>(1 + bit % 2);
        const float y = block_y + static_cast<float>(1 + bit / 2);
        const bool passes = pixel_is((v >> bit) & 1 ? white : black, x, y);
        all_pass = all_pass && passes;
    }
    return all_pass;
}

// Steps 55 to 118: every pattern's test; the one that matches appends its code to row_text.
void encode_block() {
    for (int32_t i = 0; i < 64; ++i) {
        const int32_t v = pattern_order[static_cast<std::size_t>(i)];
        if (steps.test(pattern_step(i), block_shows(v))) {
            string_assign(row_text, string_concat(row_text, string_chr(mosaic_table[static_cast<std::size_t>(v)])));
            steps.after(pattern_step(i));
        }
    }
}

// Steps 120 to 145: counts the finished row and stores it in the row of that number.
void store_row() {
    row_count = row_count + 1.0f;
    steps.after(120);
    for (int32_t k = 1; k <= 25; ++k) {
        if (steps.test(120 + k, row_count == static_cast<float>(k))) {
            string_assign(row(k), row_text);
            steps.after(120 + k);
        }
    }
}

// Steps 52 to 145 for the block row at block_y: its 39 blocks, then the row store.
void sample_block_row() {
    string_assign(row_text, string_descriptor());
    steps.after(52);
    counted_loop(53, block_x, 0.0, 77.0, 2.0, encode_block);
    store_row();
}

}  // namespace

void draw_picture_on_canvas() {
    select_screen(new_image(800, 600, 32));
    steps.after(39);
    picture_image = load_image_file(picture_name);
    steps.after(40);
    put_image(1, 1, picture_image);
    steps.after(41);
}

void read_canvas_into_rows() {
    white = 4294967296.0f;
    steps.after(47);
    black = 4278190080.0f;
    steps.after(48);
    counted_loop(51, block_y, 0.0, 74.0, 3.0, sample_block_row);
}

void sample_picture() {
    draw_picture_on_canvas();
    read_canvas_into_rows();
}
