// The image table, the screen modes, drawing one image onto another, pixel reads and the
// display frames that the window shows.
#include "platform/screen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

#include "platform/errors.h"
#include "platform/screen_state.h"

namespace {

// The pixel format and text cell of a mode, and for a screen mode its size.
struct mode_format {
    int32_t mode;
    int32_t width;
    int32_t height;
    int32_t attribute_bits;  // 0: 32-bit pixels
    int32_t cell_height;
};

// The classic screen modes, then the two image-only modes (their size is given).
constexpr mode_format mode_formats[] = {
    {0, 640, 400, 4, 16}, {1, 320, 200, 2, 8},  {2, 640, 200, 1, 8},   {7, 320, 200, 4, 8},
    {8, 640, 200, 4, 8},  {9, 640, 350, 4, 14}, {10, 640, 350, 2, 14}, {11, 640, 480, 1, 16},
    {12, 640, 480, 4, 16}, {13, 320, 200, 8, 8}, {256, 0, 0, 8, 16},   {32, 0, 0, 0, 16},
};

const mode_format* find_mode_format(int32_t mode) {
    for (const auto& format : mode_formats) {
        if (format.mode == mode) return &format;
    }
    return nullptr;
}

// EGA colour `n` (0 to 63): two bits a channel, 0xAA for the high one and 0x55 for the low one.
color32 ega_color(uint32_t n) {
    const auto bit = [n](int b) { return (n >> b) & 1; };
    const uint32_t red = 0xAA * bit(2) + 0x55 * bit(5);
    const uint32_t green = 0xAA * bit(1) + 0x55 * bit(4);
    const uint32_t blue = 0xAA * bit(0) + 0x55 * bit(3);
    return 0xFF000000 | red << 16 | green << 8 | blue;
}

// Modes whose palette entries take the VGA form 0x00BBGGRR (6 bits a channel) rather than an
// EGA colour number.
bool has_vga_palette(int32_t mode) { return mode >= 11; }

// The attributes' default EGA colours: 16-colour modes use the EGA default, the modes of fewer
// colours the classic choices; entries beyond them stay black.
std::array<color32, 256> default_palette(const mode_format& format) {
    static constexpr uint8_t sixteen[] = {0, 1, 2, 3, 4, 5, 20, 7, 56, 57, 58, 59, 60, 61, 62, 63};
    static constexpr uint8_t four_cga[] = {0, 59, 61, 63};
    static constexpr uint8_t four_mono[] = {0, 56, 7, 63};
    static constexpr uint8_t two[] = {0, 63};
    std::array<color32, 256> palette{};
    auto fill = [&palette](const auto& colours) {
        for (size_t i = 0; i < std::size(colours); ++i) palette[i] = ega_color(colours[i]);
    };
    if (format.attribute_bits == 1) fill(two);
    else if (format.attribute_bits == 2) fill(format.mode == 10 ? four_mono : four_cga);
    else if (format.attribute_bits >= 4) fill(sixteen);
    return palette;
}

// A new image of `format` at `width` x `height` over `pixels`; nullptr (the pixels freed) when
// it cannot be had.
std::unique_ptr<image> make_image_over(const mode_format& format, int32_t width, int32_t height,
                                       std::unique_ptr<void, pixel_release> pixels) {
    auto made = std::unique_ptr<image>(new (std::nothrow) image);
    if (!made) return nullptr;
    made->width = width;
    made->height = height;
    made->mode = format.mode;
    made->attribute_bits = format.attribute_bits;
    made->text_mode = format.mode == 0;
    made->pixels = std::move(pixels);
    made->cell_height = format.cell_height;
    made->view_bottom = std::max(1, made->text_rows() - 1);
    if (format.attribute_bits == 0) {
        made->foreground = 0xFFFFFFFF;
        made->background = 0xFF000000;
    } else {
        made->palette = default_palette(format);
        made->foreground = std::min<uint32_t>(15, made->attribute_mask());
        made->background = 0;
    }
    return made;
}

// A new image of `format` at `width` x `height`, cleared; nullptr when its pixels cannot be
// had (a side above 65535 cannot be held either).
std::unique_ptr<image> make_image(const mode_format& format, int32_t width, int32_t height) {
    if (width > 65535 || height > 65535) return nullptr;
    const size_t bytes_per_pixel = format.attribute_bits == 0 ? 4 : 1;
    // calloc: a large image costs no time until its pages are touched.
    std::unique_ptr<void, pixel_release> pixels(std::calloc(size_t(width) * size_t(height), bytes_per_pixel));
    return pixels ? make_image_over(format, width, height, std::move(pixels)) : nullptr;
}

// A fresh page of screen mode `mode`, which must be one; the program ends when it cannot be had.
std::unique_ptr<image> make_page(int32_t mode) {
    const mode_format& format = *find_mode_format(mode);
    auto page = make_image(format, format.width, format.height);
    if (!page) raise_error(error_number::image_table_out_of_memory);
    return page;
}

// The image that `handle` names: -n is slot n, 0 the screen mode's page; nullptr for none.
image* find_image(screen_state& state, image_handle handle) {
    if (handle == 0) return state.page.get();
    if (handle > 0) return nullptr;
    const size_t slot = size_t(-int64_t(handle));
    return slot < state.slots.size() ? state.slots[slot].get() : nullptr;
}

// Puts `made` into the table's next slot and returns its handle; the program ends when the
// table cannot grow.
image_handle add_image(std::unique_ptr<image> made) {
    screen_state& state = screens();
    {
        std::lock_guard hold(state.lock);
        try {
            state.slots.push_back(std::move(made));
            return -static_cast<image_handle>(state.slots.size() - 1);
        } catch (const std::bad_alloc&) {
        }
    }
    raise_error(error_number::image_table_out_of_memory);  // not under the lock: its box waits for the user
    return -1;
}

// `source` pixel `s` drawn on destination pixel `d` of two blending 32-bit images.
color32 blend_pixel(color32 d, color32 s) {
    const uint32_t a = s >> 24;
    if (a == 255) return s;
    if (a == 0) return d;
    const uint32_t d_alpha = d >> 24;
    // 255 x (1 - (1 - Ad/255)(1 - A/255)), rounded; 255 is odd, so no value lies half-way.
    const uint32_t alpha = (65025 - (255 - d_alpha) * (255 - a) + 127) / 255;
    if (a == 127 || a == 128) return alpha << 24 | (((d & 0xFEFEFE) + (s & 0xFEFEFE)) >> 1);
    uint32_t rgb = 0;
    for (const int shift : {0, 8, 16}) {
        const uint32_t sc = (s >> shift) & 0xFF;
        const uint32_t dc = (d >> shift) & 0xFF;
        rgb |= ((sc * a + dc * (255 - a) + 127) / 255) << shift;
    }
    return alpha << 24 | rgb;
}

// The source pixel `index` of `from` as it lands on `to` at `d`.
uint32_t drawn_pixel(const image& from, const image& to, size_t index, uint32_t d) {
    if (from.attribute_bits != 0) {
        const uint8_t attribute = from.pixels8()[index] & from.attribute_mask();
        return to.attribute_bits != 0 ? (attribute & to.attribute_mask()) : from.palette[attribute];
    }
    const color32 s = from.pixels32()[index];
    return from.blending && to.blending ? blend_pixel(d, s) : s;
}

// Draws all of `from` with its top-left corner at (x1, y1) on `to`, clipped; the errors of a
// missing or unsuitable image.
void draw_image(double x1, double y1, image* from, image* to) {
    if (from == nullptr || to == nullptr) return raise_error(error_number::invalid_handle);
    if (from->text_mode || to->text_mode) return raise_error(error_number::illegal_function_call);
    if (from->attribute_bits == 0 && to->attribute_bits != 0) return raise_error(error_number::illegal_function_call);
    const double x = std::nearbyint(x1);
    const double y = std::nearbyint(y1);
    const double left = std::max(x, 0.0), top = std::max(y, 0.0);
    const double right = std::min(x + from->width, double(to->width));
    const double bottom = std::min(y + from->height, double(to->height));
    if (!(left < right && top < bottom)) return;  // nothing left, or a corner that is no number

    // An image drawn onto itself reads from a copy, so that no pixel is read after it changed.
    image snapshot;
    if (from == to) {
        const size_t bytes = size_t(from->width) * from->height * (from->attribute_bits ? 1 : 4);
        snapshot.pixels.reset(std::malloc(bytes));
        if (!snapshot.pixels) return;
        std::memcpy(snapshot.pixels.get(), from->pixels.get(), bytes);
        snapshot.width = from->width;
        snapshot.attribute_bits = from->attribute_bits;
        snapshot.palette = from->palette;
        snapshot.blending = from->blending;
    }
    const image& source = from == to ? snapshot : *from;

    screen_state& state = screens();
    std::lock_guard hold(state.lock);
    for (int32_t dy = int32_t(top); dy < int32_t(bottom); ++dy) {
        const size_t source_row = size_t(dy - int32_t(y)) * source.width;
        for (int32_t dx = int32_t(left); dx < int32_t(right); ++dx) {
            const size_t target = size_t(dy) * to->width + dx;
            const size_t index = source_row + size_t(dx - int32_t(x));
            if (to->attribute_bits != 0) {
                to->pixels8()[target] = uint8_t(drawn_pixel(source, *to, index, 0));
            } else {
                to->pixels32()[target] = drawn_pixel(source, *to, index, to->pixels32()[target]);
            }
        }
    }
    note_change(state, *to);
}

}  // namespace

screen_state& screens() {
    // Never destroyed: the housekeeping thread may still build a frame while the process exits.
    static screen_state* const state = [] {
        auto* made = new screen_state;
        made->page = make_page(0);
        made->screen = made->page.get();
        return made;
    }();
    return *state;
}

image_handle new_image(int32_t width, int32_t height, int32_t mode) {
    if (error_is_pending()) return 0;
    const mode_format* format = find_mode_format(mode);
    if (width <= 0 || height <= 0 || format == nullptr) {
        raise_error(error_number::illegal_function_call);
        return 0;
    }
    auto made = make_image(*format, width, height);
    return made ? add_image(std::move(made)) : -1;
}

image_handle new_image_over(int32_t width, int32_t height, color32* pixels, std::function<void()> give_back) {
    std::unique_ptr<void, pixel_release> lent(pixels, pixel_release{std::move(give_back)});
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return -1;
    auto made = make_image_over(*find_mode_format(32), width, height, std::move(lent));
    return made ? add_image(std::move(made)) : -1;
}

image_handle new_image_from_rgba(int32_t width, int32_t height, const uint8_t* rgba) {
    if (width <= 0 || height <= 0) return -1;
    auto made = make_image(*find_mode_format(32), width, height);
    if (!made) return -1;
    const size_t count = size_t(width) * size_t(height);
    for (size_t i = 0; i < count; ++i) made->pixels32()[i] = color_of_rgba(rgba + 4 * i);
    return add_image(std::move(made));
}

void select_screen(int32_t mode_or_image) {
    if (error_is_pending()) return;
    screen_state& state = screens();
    image* chosen = nullptr;
    std::unique_ptr<image> fresh_page;
    if (mode_or_image < 0) {
        chosen = find_image(state, mode_or_image);
        if (chosen == nullptr) return raise_error(error_number::invalid_handle);
        if (chosen == state.screen) return;
    } else {
        const mode_format* format = find_mode_format(mode_or_image);
        if (format == nullptr || format->width == 0) return raise_error(error_number::illegal_function_call);
        // The same screen mode again keeps its page as it is.
        if (state.page && state.screen == state.page.get() && state.page->mode == mode_or_image) return;
        fresh_page = make_page(mode_or_image);
        if (!fresh_page) return;
        chosen = fresh_page.get();
    }
    std::unique_ptr<image> replaced_page;
    {
        std::lock_guard hold(state.lock);
        replaced_page = std::move(state.page);
        state.page = std::move(fresh_page);
        state.screen = chosen;
        note_change(state, *chosen);
    }
}

bool destination_is_text_mode() { return screens().screen->text_mode; }

void put_image(double x1, double y1, image_handle source) {
    screen_state& state = screens();
    draw_image(x1, y1, find_image(state, source), state.screen);
}

void put_image(double x1, double y1, image_handle source, image_handle destination) {
    screen_state& state = screens();
    image* from = find_image(state, source);
    draw_image(x1, y1, from, from ? find_image(state, destination) : nullptr);
}

double read_pixel_color(float x, float y) {
    const image& source = *screens().screen;
    if (source.text_mode) {
        raise_error(error_number::illegal_function_call);
        return 0;
    }
    const float column = std::nearbyint(x);
    const float row = std::nearbyint(y);
    if (!(column >= 0 && column < source.width && row >= 0 && row < source.height)) return -1;
    const size_t index = size_t(row) * size_t(source.width) + size_t(column);
    return source.attribute_bits != 0 ? double(source.pixels8()[index]) : double(source.pixels32()[index]);
}

void set_palette_entry(uint32_t attribute, uint32_t colour) {
    if (error_is_pending()) return;
    screen_state& state = screens();
    image& target = *state.screen;
    if (target.attribute_bits == 0 || attribute > target.attribute_mask()) return raise_error(error_number::illegal_function_call);
    std::optional<color32> entry;
    if (has_vga_palette(target.mode)) {
        const auto six_bits = [colour](int shift) { return ((colour >> shift) & 0x3F) * 255 / 63; };
        if ((colour & ~0x3F3F3Fu) == 0) {
            entry = 0xFF000000 | six_bits(0) << 16 | six_bits(8) << 8 | six_bits(16);
        }
    } else if (colour <= 63) {
        entry = ega_color(colour);
    }
    if (!entry) return raise_error(error_number::illegal_function_call);
    std::lock_guard hold(state.lock);
    target.palette[attribute & 0xFF] = *entry;
    note_change(state, target);
}

bool build_display_frame(display_frame& frame) {
    screen_state& state = screens();
    std::lock_guard hold(state.lock);
    if (frame.generation == state.generation) return false;
    const image& shown = *state.screen;
    // A frame built last time needs only the rows changed since (the key wait's prompt).
    const bool rows_only = state.rows_changed_since != 0 && frame.generation == state.rows_changed_since;
    frame.changed_top = rows_only ? state.changed_top : 0;
    frame.changed_bottom = rows_only ? state.changed_bottom : shown.height;
    const size_t first = size_t(frame.changed_top) * size_t(shown.width);
    const size_t end = size_t(frame.changed_bottom) * size_t(shown.width);
    frame.width = shown.width;
    frame.height = shown.height;
    frame.rgb.resize(size_t(shown.width) * size_t(shown.height) * 3);
    uint8_t* out = frame.rgb.data() + first * 3;
    for (size_t i = first; i < end; ++i, out += 3) {
        const color32 pixel = shown.attribute_bits != 0
                                  ? shown.palette[shown.pixels8()[i] & shown.attribute_mask()]
                                  : shown.pixels32()[i];
        out[0] = uint8_t(pixel >> 16);
        out[1] = uint8_t(pixel >> 8);
        out[2] = uint8_t(pixel);
    }
    frame.generation = state.generation;
    state.rows_changed_since = state.generation;
    state.changed_top = shown.height;
    state.changed_bottom = 0;
    return true;
}

void reset_screens() {
    screen_state& state = screens();
    auto fresh_page = make_page(0);
    std::vector<std::unique_ptr<image>> freed(2);
    std::unique_ptr<image> replaced_page;
    std::lock_guard hold(state.lock);
    freed.swap(state.slots);
    replaced_page = std::move(state.page);
    state.page = std::move(fresh_page);
    state.screen = state.page.get();
    note_change(state, *state.screen);
}
