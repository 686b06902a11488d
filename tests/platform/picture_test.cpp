#include "platform/picture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/decoding_process.h"
#include "platform/errors.h"
#include "support/runtime_double.h"
#include "support/scratch_files.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

using bytes = std::vector<uint8_t>;

// An 8 x 8 grey-scale baseline JPEG (one component, every pixel 0x80), made with libjpeg.
const bytes grey_jpeg = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xff, 0xc0, 0x00, 0x0b, 0x08, 0x00, 0x08,
    0x00, 0x08, 0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xc4, 0x00, 0x14,
    0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00, 0x3f, 0xff, 0xd9,
};

// An 8 x 8 colour baseline JPEG (three components, every pixel pure red), made with libjpeg.
const bytes red_jpeg = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xff, 0xc0,
    0x00, 0x11, 0x08, 0x00, 0x08, 0x00, 0x08, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xc4,
    0x00, 0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x09, 0x0a, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00, 0x0c, 0x03,
    0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0x8b, 0xe0, 0x0a, 0x75, 0xfc, 0x3f, 0xff,
    0xd9,
};

const uint8_t huffman_marker[] = {0xFF, 0xC4};

void put_le(bytes& out, size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) out[at + i] = uint8_t(value >> (8 * i));
}

// A 2 x 1 BMP of `bits` (24 or 32) bits a pixel: left 0x332211, right 0x665544, with the
// fourth bytes 0x40 and 0x80 at 32 bits; its one row takes 8 bytes either way. `size_field`
// 0 means the true file size; a negative `height` stores the rows top-down.
bytes bmp(int bits, uint32_t size_field = 0, int32_t height = 1, uint32_t compression = 0) {
    bytes out(54 + 8, 0);
    out[0] = 'B';
    out[1] = 'M';
    put_le(out, 2, size_field ? size_field : uint32_t(out.size()), 4);
    put_le(out, 10, 54, 4);
    put_le(out, 14, 40, 4);
    put_le(out, 18, 2, 4);
    put_le(out, 22, uint32_t(height), 4);
    put_le(out, 26, 1, 2);
    put_le(out, 28, uint32_t(bits), 2);
    put_le(out, 30, compression, 4);
    const bytes pixels = bits == 32 ? bytes{0x11, 0x22, 0x33, 0x40, 0x44, 0x55, 0x66, 0x80}
                                    : bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0, 0};
    std::copy(pixels.begin(), pixels.end(), out.begin() + 54);
    return out;
}

// A PNG of `rgba` pixels, `width` wide.
bytes png(const bytes& rgba, int width) {
    bytes out;
    stbi_write_png_to_func(
        [](void* context, void* data, int size) {
            auto* sink = static_cast<bytes*>(context);
            sink->insert(sink->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        },
        &out, width, int(rgba.size() / 4 / width), 4, rgba.data(), width * 4);
    return out;
}

// `png` with an empty data chunk before its real one, which is allowed.
bytes with_empty_data_chunk(bytes png) {
    const bytes empty_idat = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E};
    png.insert(png.begin() + 33, empty_idat.begin(), empty_idat.end());  // after the signature and IHDR
    return png;
}

class Pictures : public testing::Test {
  protected:
    Pictures() { reset_screens(); }
    ~Pictures() override { reset_screens(); }

    std::string write(const std::string& name, const bytes& content) {
        const std::string path = scratch.file(name);
        write_whole_file(path, std::string(content.begin(), content.end()));
        return path;
    }

    runtime_double runtime;
    temporary_folder scratch{"morvane-picture"};
};

image_handle load(const std::string& name, std::optional<int32_t> depth) {
    return load_image_file(string_descriptor(name), depth);
}

// The pixels of image `handle`, row by row, as color32 values.
std::vector<uint32_t> pixels_of(image_handle handle, int width, int height) {
    select_screen(handle);
    std::vector<uint32_t> out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) out.push_back(uint32_t(read_pixel_color(float(x), float(y))));
    }
    return out;
}

TEST_F(Pictures, FormatIsToldByTheContent) {
    struct case_ {
        const char* what;
        bytes content;
        std::vector<uint32_t> expected;
    };
    const case_ table[] = {
        {"32-bit BMP, right size: opaque", bmp(32), {0xFF332211, 0xFF665544}},
        {"32-bit BMP, wrong size: alpha kept", bmp(32, 999), {0x40332211, 0x80665544}},
        {"32-bit BMP stored top-down: alpha kept", bmp(32, 0, -1), {0x40332211, 0x80665544}},
        {"24-bit BMP", bmp(24), {0xFF332211, 0xFF665544}},
        {"PNG with alpha", png({1, 2, 3, 0, 4, 5, 6, 1, 7, 8, 9, 128, 10, 11, 12, 255}, 4),
         {0x00010203, 0x01040506, 0x80070809, 0xFF0A0B0C}},
        {"PNG with an empty data chunk", with_empty_data_chunk(png({1, 2, 3, 4}, 1)), {0x04010203}},
    };
    int n = 0;
    for (const auto& test : table) {
        const std::string path = write("picture" + std::to_string(n++), test.content);
        const image_handle handle = load(path, 32);
        ASSERT_LT(handle, -1) << test.what;
        EXPECT_EQ(pixels_of(handle, int(test.expected.size()), 1), test.expected) << test.what;
    }
    EXPECT_EQ(pending_error, 0);
}

TEST_F(Pictures, JpegsComeOutOpaque) {
    const image_handle red = load(write("red", red_jpeg), 32);
    const image_handle grey = load(write("grey", grey_jpeg), 32);  // by the general decoding
    ASSERT_LT(red, -1);
    ASSERT_LT(grey, -1);
    for (const uint32_t pixel : pixels_of(red, 8, 8)) {
        EXPECT_EQ(pixel >> 24, 0xFFu);
        EXPECT_GE((pixel >> 16) & 0xFF, 0xF0u);
        EXPECT_LE(pixel & 0xFFFF, 0x1010u);
    }
    for (const uint32_t pixel : pixels_of(grey, 8, 8)) EXPECT_EQ(pixel, 0xFF808080);
}

TEST_F(Pictures, WhatCannotBeReadOrDecodedGivesMinusOne) {
    bytes corrupt_png = png(bytes(16 * 16 * 4, 0x7F), 16);
    corrupt_png.resize(corrupt_png.size() / 2);
    bytes too_wide = png({1, 2, 3, 4}, 1);
    const uint8_t width_70000[] = {0x00, 0x01, 0x11, 0x70};  // the IHDR width, big-endian
    std::copy(std::begin(width_70000), std::end(width_70000), too_wide.begin() + 16);
    // 65535 x 65535 fits the image's sides, but not this machine's memory.
    bytes too_many_pixels = png({1, 2, 3, 4}, 1);
    const uint8_t sides_65535[] = {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF};
    std::copy(std::begin(sides_65535), std::end(sides_65535), too_many_pixels.begin() + 16);
    bytes oversized_table = red_jpeg;  // its first Huffman table claims 16 x 255 codes
    const size_t dht = size_t(std::search(oversized_table.begin(), oversized_table.end(),
                                            std::begin(huffman_marker), std::end(huffman_marker)) -
                                oversized_table.begin());
    std::fill_n(oversized_table.begin() + dht + 5, 16, 0xFF);
    const std::string fifo = scratch.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    const std::pair<const char*, std::string> table[] = {
        {"missing", scratch.file("missing.png")},
        {"folder", scratch.path().string()},
        {"FIFO", fifo},
        {"device", "/dev/zero"},
        {"empty file", write("empty", {})},
        {"corrupt PNG", write("corrupt", corrupt_png)},
        {"side above 65535", write("wide", too_wide)},
        {"more pixels than the memory holds", write("huge", too_many_pixels)},
        {"JPEG with an oversized Huffman table", write("huffman", oversized_table)},
        {"run-length BMP", write("rle", bmp(8, 0, 1, 1))},
        {"text", write("text", {'h', 'e', 'l', 'l', 'o'})},
        {"empty name", ""},
    };
    select_screen(9);
    for (const auto& [what, name] : table) EXPECT_EQ(load(name, std::nullopt), -1) << what;
    EXPECT_EQ(pending_error, 0);
}

// The decoding runs in a confined process; one killed for a forbidden system call gives -1.
TEST_F(Pictures, ADecodingProcessKilledByItsConfinementGivesMinusOne) {
    const std::string path = write("picture", bmp(24));
    set_decoding_probe(decoding_probe::open_file);
    EXPECT_EQ(load(path, 32), -1);
    set_decoding_probe(decoding_probe::none);
    EXPECT_LT(load(path, 32), -1);
    EXPECT_EQ(pending_error, 0);
}

TEST_F(Pictures, NameEndsAtItsFirstZeroByte) {
    const std::string path = write("picture", bmp(24));
    EXPECT_LT(load(path + std::string("\0junk", 5), 32), -1);
}

TEST_F(Pictures, DepthAndTheTextModeDestination) {
    const std::string path = write("picture", bmp(24));
    EXPECT_EQ(load(path, std::nullopt), 0);  // the start-up screen is the text mode 0
    EXPECT_EQ(pending_error, 5);
    pending_error = 0;
    EXPECT_LT(load(path, 32), -1);
    EXPECT_EQ(load(path, 8), 0);
    EXPECT_EQ(pending_error, 5);
    pending_error = 0;
    select_screen(9);
    EXPECT_LT(load(path, std::nullopt), -1);
    raise_error(53);
    EXPECT_EQ(load(path, std::nullopt), 0);
    EXPECT_EQ(pending_error, 53);
    pending_error = 0;
}

TEST_F(Pictures, PictureLandsOnTheCanvasAtOneOne) {
    select_screen(new_image(800, 600, 32));
    put_image(1, 1, load(write("opaque", bmp(24)), std::nullopt));
    const std::tuple<float, float, double> opaque[] = {
        {1, 1, 0xFF332211}, {2, 1, 0xFF665544}, {0, 0, 0}, {3, 1, 0}, {1, 2, 0}};
    for (const auto& [x, y, expected] : opaque) EXPECT_EQ(read_pixel_color(x, y), expected) << x << "," << y;

    // Partly transparent pixels blend onto the cleared canvas: alpha stays, colour darkens.
    select_screen(new_image(800, 600, 32));
    put_image(1, 1, load(write("translucent", bmp(32, 999)), std::nullopt));
    EXPECT_EQ(read_pixel_color(1, 1), double(0x400D0904));
    EXPECT_EQ(read_pixel_color(2, 1), double(0x80332A22));
}

}  // namespace
