// Draws the start window's instruction picture, KESTRIL.PNG: 576 x 317 pixels of plain words in
// the program's own 8 x 16 code page 437 font, and a sample of the 78 x 75 area that is read.
// Usage: make_instruction_picture OUTPUT.PNG
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "platform/cp437_font.h"

namespace {

constexpr int width = 576;
constexpr int height = 317;

struct rgb {
    uint8_t red, green, blue;
};

constexpr rgb background{0, 0, 170};
constexpr rgb text_colour{255, 255, 255};
constexpr rgb title_colour{85, 255, 255};
constexpr rgb hint_colour{255, 255, 85};

struct canvas {
    std::vector<uint8_t> pixels = std::vector<uint8_t>(width * height * 3);

    void set(int x, int y, rgb colour) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        uint8_t* pixel = &pixels[static_cast<std::size_t>((y * width + x) * 3)];
        pixel[0] = colour.red;
        pixel[1] = colour.green;
        pixel[2] = colour.blue;
    }
    void fill(int x, int y, int w, int h, rgb colour) {
        for (int row = y; row < y + h; ++row)
            for (int column = x; column < x + w; ++column) set(column, row, colour);
    }
};

// Draws `text` with its top-left corner at (x, y), each font pixel `scale` x `scale` pixels.
void draw_text(canvas& picture, int x, int y, std::string_view text, rgb colour, int scale = 1) {
    for (const char c : text) {
        const uint8_t* glyph = cp437_font[static_cast<uint8_t>(c)];
        for (int row = 0; row < 16; ++row)
            for (int column = 0; column < 8; ++column)
                if (glyph[row] & (0x80 >> column))
                    picture.fill(x + column * scale, y + row * scale, scale, scale, colour);
        x += 8 * scale;
    }
}

// A 78 x 75 black-and-white sample in a one-pixel frame: a circle, as a picture might hold.
void draw_sample(canvas& picture, int x, int y) {
    picture.fill(x - 1, y - 1, 80, 77, hint_colour);
    for (int row = 0; row < 75; ++row) {
        for (int column = 0; column < 78; ++column) {
            const int dx = column - 39;
            const int dy = row - 37;
            const bool inside = dx * dx + dy * dy < 30 * 30;
            picture.set(x + column, y + row, inside ? rgb{255, 255, 255} : rgb{0, 0, 0});
        }
    }
}

void draw_instructions(canvas& picture) {
    picture.fill(0, 0, width, height, background);
    draw_text(picture, 16, 12, "Morvane", title_colour, 2);
    draw_text(picture, 16, 48, "Picture to P2000T cassette image", title_colour);
    const std::string_view lines[] = {
        "Drop a black-and-white picture",
        "on this window.",
        "",
        "Its top-left 78 x 75 pixels become",
        "25 rows of 39 mosaic characters,",
        "saved as IMAGE.CAS beside this program.",
        "",
        "Only pure white and pure black count:",
        "a 2 x 3 block with a grey, coloured or",
        "see-through pixel is left out of its row.",
    };
    int y = 84;
    for (const std::string_view line : lines) {
        draw_text(picture, 16, y, line, text_colour);
        y += 18;
    }
    draw_sample(picture, 440, 110);
    draw_text(picture, 436, 196, "78 x 75", hint_colour);
    draw_text(picture, 16, 288, "Then open IMAGE.CAS in your P2000T emulator.", hint_colour);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.PNG\n", argv[0]);
        return 2;
    }
    canvas picture;
    draw_instructions(picture);
    if (!stbi_write_png(argv[1], width, height, 3, picture.pixels.data(), width * 3)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
