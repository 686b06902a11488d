// Screens and images: the image table, screen modes (9: 640 x 350 in 16 EGA colours; 0: the
// start-up text screen), 32-bit images, drawing, pixel reads and text printing, and the
// displayed image as the window's frames are built from it. The services run on one thread (the
// converter's); build_display_frame may run on another at the same time.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/text.h"

// Names an image: -n is slot n of the image table (slots 0 and 1 never hold one, so -1 is the
// failure value); 0 and above name screen pages.
using image_handle = int32_t;
// 0xAARRGGBB.
using color32 = uint32_t;

// A new image of `width` x `height` in `mode` (0 to 2, 7 to 13, 256: attributes; 32: pixels of
// transparent black), cleared; does not select it. 5 and 0 for a bad size or mode; -1 without an
// error when its pixels cannot be had or a side exceeds 65535. 0 while an error is pending.
image_handle new_image(int32_t width, int32_t height, int32_t mode);
// A new 32-bit image holding `rgba` (4 bytes a pixel: red, green, blue, alpha; rows from the
// top); -1 when it cannot be made. It does not test a pending error.
image_handle new_image_from_rgba(int32_t width, int32_t height, const uint8_t* rgba);
// A new 32-bit image over `pixels`, width x height color32 values in rows from the top that
// live elsewhere (a picture's, in memory that its decoding shares with the program): the image
// reads and draws on them where they are, and calls `give_back` when it is freed, or at once
// when it cannot be made (-1). For the picture loader; it does not test a pending error.
image_handle new_image_over(int32_t width, int32_t height, color32* pixels, std::function<void()> give_back);
// The color32 of a pixel of red, green, blue and alpha bytes.
inline color32 color_of_rgba(const uint8_t* rgba) {
    return uint32_t(rgba[3]) << 24 | uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
}

// Makes an image (negative handle) or a fresh screen mode (0, 1, 2, 7 to 13) the screen:
// displayed, drawn on and read from. The screen mode already shown stays as it is; a replaced
// mode's page is freed, a replaced image kept. 258 for a handle that names no image, 5 for a
// mode that is none. Nothing while an error is pending.
void select_screen(int32_t mode_or_image);
// True when the drawing destination is a screen of the text mode 0.
bool destination_is_text_mode();

// Draws the whole `source` with its top-left corner at (x1, y1) (rounded, ties to even) on the
// screen, or on `destination` (0: the screen mode's page); clipped, alpha-blended between 32-bit
// images. 258 for a handle that names no image; 5 for the text mode 0 or a 32-bit source on
// attributes. Does not test a pending error.
void put_image(double x1, double y1, image_handle source);
void put_image(double x1, double y1, image_handle source, image_handle destination);
// The screen's pixel at (x, y) (rounded, ties to even): its color32, or its attribute on a
// palette image; -1 outside the image; 5 and 0 on the text mode 0. Does not test a pending error.
double read_pixel_color(float x, float y);

// Palette entry `attribute` := EGA colour `colour` (0 to 63; in modes 11 to 13 and 256 a VGA
// colour 0x00BBGGRR of 6-bit channels). 5 for an attribute beyond the mode's, a colour out of
// range or a 32-bit screen. Nothing while an error is pending.
void set_palette_entry(uint32_t attribute, uint32_t colour);
// The colour later printing uses: an attribute in a palette mode (5 beyond the mode's), a
// color32 on a 32-bit image. Nothing while an error is pending.
void set_text_color(uint32_t foreground);
// Moves the text cursor to `row`, `column` (1-based) and clears a pending wrap. 5 for a row
// outside the text view other than the last row, or a column outside the grid. Nothing while an
// error is pending.
void locate_cursor(int32_t row, int32_t column);
// Starts a new line first when `text` would run past the right edge from a cursor not at
// column 1 and no wrap is pending. Raises nothing and does not test a pending error.
void fit_print_on_line(const string_descriptor& text);
// Draws `text` at the cursor in the code page 437 font, each cell opaque, wrapping after the
// last column and scrolling the text view at its bottom row, then a new line when `new_line` !=
// 0. Bytes 7, 9 to 13 and 28 to 31 are control codes. Nothing while an error is pending.
void print_string(const string_descriptor& text, int32_t new_line);

// The displayed image as 8-bit RGB, for the window. `generation` changes whenever the
// displayed image or its pixels may have changed.
struct display_frame {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
    uint64_t generation = 0;
    // The rows, from changed_top to changed_bottom (exclusive), in which this frame differs
    // from the one built into the same frame before; all of them when that is not known.
    int32_t changed_top = 0;
    int32_t changed_bottom = 0;
};
// Copies the displayed image into `frame` when its generation differs from frame.generation;
// true when it did. Never sees a half-changed screen.
bool build_display_frame(display_frame& frame);

// Frees every image and selects the start-up screen, mode 0 (start-up and tests).
void reset_screens();
