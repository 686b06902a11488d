// Inside the screen service: the images, the image table and the screen, shared by the
// drawing (screen.cpp) and the printing (screen_text.cpp). Not for use outside the service.
//
// Threads: the services run on the converter thread, the only one that changes images; the
// housekeeping thread reads the displayed image in build_display_frame. So every change to what
// a frame is built from (pixels, palette, the table, the screen) is made under
// screen_state::lock, and the converter thread may read without it. The printing state (colours,
// cursor, wrap) is the converter thread's alone.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/screen.h"

// Frees an image's pixels: with free, or as whoever lent them to it says.
struct pixel_release {
    std::function<void()> give_back;  // empty: they came from malloc
    void operator()(void* pixels) const {
        if (give_back) {
            give_back();
        } else {
            std::free(pixels);
        }
    }
};

// One image: a screen mode's page or an image of the table.
struct image {
    int32_t width = 0;
    int32_t height = 0;
    int32_t mode = 32;
    // 0 for 32-bit pixels (one color32 each), else the bits of an attribute (one byte each).
    int32_t attribute_bits = 0;
    bool text_mode = false;  // screen mode 0: no pixel reads or drawing of images
    std::unique_ptr<void, pixel_release> pixels;
    std::array<color32, 256> palette{};
    uint32_t foreground = 0;
    uint32_t background = 0;
    int32_t cell_height = 16;
    int32_t cursor_row = 1;
    int32_t cursor_column = 1;
    bool wrap_pending = false;
    int32_t view_top = 1;
    int32_t view_bottom = 1;
    bool blending = true;

    uint32_t* pixels32() const { return static_cast<uint32_t*>(pixels.get()); }
    uint8_t* pixels8() const { return static_cast<uint8_t*>(pixels.get()); }
    int32_t text_rows() const { return height / cell_height; }
    int32_t text_columns() const { return width / 8; }
    uint32_t attribute_mask() const { return (1u << attribute_bits) - 1; }
};

struct screen_state {
    std::mutex lock;
    // Slot n holds the image of handle -n; slots 0 and 1 stay empty. Written by the converter
    // thread under lock.
    std::vector<std::unique_ptr<image>> slots = std::vector<std::unique_ptr<image>>(2);
    // The selected screen mode's page; empty while an image is the screen. Converter thread,
    // under lock.
    std::unique_ptr<image> page;
    // The screen: displayed, drawn on and read from. Converter thread, under lock.
    image* screen = nullptr;
    // Bumped under lock by every change that may alter what the displayed image shows.
    uint64_t generation = 1;
    // While only the pixel rows from changed_top to changed_bottom (exclusive) have changed
    // since the frame built at generation `rows_changed_since`, that frame needs only those
    // rows copied again; 0 when a frame must copy the whole image. Under lock.
    uint64_t rows_changed_since = 0;
    int32_t changed_top = 0;
    int32_t changed_bottom = 0;
};

// The one screen state of the process.
screen_state& screens();

// Call under screens().lock after changing `changed`: a change to the displayed image makes
// the next display frame copy it again.
inline void note_change(screen_state& state, const image& changed) {
    if (&changed != state.screen) return;
    ++state.generation;
    state.rows_changed_since = 0;
}

// Call under screens().lock after changing only the pixel rows `top` to `bottom` (exclusive) of
// `changed`: the next display frame copies just the rows changed since the last one.
inline void note_rows_change(screen_state& state, const image& changed, int32_t top, int32_t bottom) {
    if (&changed != state.screen) return;
    ++state.generation;
    if (state.rows_changed_since == 0) return;
    state.changed_top = std::min(state.changed_top, top);
    state.changed_bottom = std::max(state.changed_bottom, bottom);
}
