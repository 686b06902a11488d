// Screens and images: the image table, screen modes (9: 640 x 350 in 16 EGA colours; 0: the
// start-up text screen), 32-bit images, drawing, pixel reads and text printing, and the
// displayed image as the window's frames are built from it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

// Names an image: -n is slot n of the image table (slots 0 and 1 never hold one, so -1 is the
// failure value); 0 and above name screen pages.
using image_handle = int32_t;
// 0xAARRGGBB.
using color32 = uint32_t;

// A new image of `width` x `height` in `mode` (32: transparent black pixels); does not select it.
// 5 and 0 for a bad size or mode; -1 without an error when its pixels cannot be had.
image_handle new_image(int32_t width, int32_t height, int32_t mode);
// A new 32-bit image holding `rgba` (4 bytes a pixel, rows from the top); -1 when it cannot be
// made. For the picture loader.
image_handle new_image_from_rgba(int32_t width, int32_t height, const uint8_t* rgba);

// Makes an image (negative handle) or a fresh screen mode (0 and above) the screen: displayed,
// drawn on and read from. 258 for a handle that names no image, 5 for a mode that is none.
void select_screen(int32_t mode_or_image);
// True when the drawing destination is a screen of the text mode 0.
bool destination_is_text_mode();

// Draws the whole `source` with its top-left corner at (x1, y1) (rounded, ties to even) on the
// screen's destination, or on `destination`; clipped, alpha-blended between 32-bit images.
void put_image(double x1, double y1, image_handle source);
void put_image(double x1, double y1, image_handle source, image_handle destination);
// The source pixel at (x, y) (rounded, ties to even): its color32, or its attribute on a
// palette image; -1 outside the view.
double read_pixel_color(float x, float y);

// Palette entry `attribute` := EGA colour `colour` (screen mode 9).
void set_palette_entry(uint32_t attribute, uint32_t colour);
// The colour later printing uses: an attribute in a palette mode, a color32 on a 32-bit image.
void set_text_color(uint32_t foreground);
// Moves the text cursor to `row`, `column` (1-based) and clears a pending wrap.
void locate_cursor(int32_t row, int32_t column);
// Starts a new line first when `text` would run past the right edge from a cursor not at
// column 1.
void fit_print_on_line(const string_descriptor& text);
// Draws `text` at the cursor in the code page 437 font, then a new line when `new_line` != 0.
void print_string(const string_descriptor& text, int32_t new_line);

// The displayed image as 8-bit RGB, for the window. `generation` changes whenever the
// displayed image or its pixels may have changed.
struct display_frame {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
    uint64_t generation = 0;
};
// Copies the displayed image into `frame` when its generation differs from frame.generation;
// true when it did. Never sees a half-changed screen.
bool build_display_frame(display_frame& frame);

// Frees every image and selects the start-up screen, mode 0 (start-up and tests).
void reset_screens();
