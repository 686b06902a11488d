// Fixtures of the converter's tests: a scratch folder that is the current directory
// while it lives, whole-file helpers, and pictures written as PNG files. Include it from one
// test file per executable: it carries the PNG writer's implementation.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "support/scratch_files.h"

// A fresh temporary folder, made the current directory; the former current directory comes
// back and the folder is removed on destruction.
class scratch_folder {
  public:
    scratch_folder() : previous_(std::filesystem::current_path()) { std::filesystem::current_path(folder_.path()); }
    ~scratch_folder() { std::filesystem::current_path(previous_); }
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;

    const std::filesystem::path& path() const { return folder_.path(); }

  private:
    std::filesystem::path previous_;
    temporary_folder folder_{"morvane-converter"};
};

// A picture of 0xAARRGGBB pixels, rows from the top.
struct test_picture {
    int width;
    int height;
    std::vector<uint32_t> pixels;

    test_picture(int w, int h, uint32_t fill)
        : width(w), height(h), pixels(static_cast<std::size_t>(w * h), fill) {}
    uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y * width + x)]; }
    uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }

    // Paints pattern v (bit i: pixel i of TL, TR, ML, MR, BL, BR is white) into the block whose
    // top-left pixel is (bx, by).
    void paint_block(int bx, int by, int v);
    // Writes the picture as a PNG that keeps its alpha.
    void save_png(const std::filesystem::path& name) const {
        std::vector<uint8_t> rgba;
        rgba.reserve(pixels.size() * 4);
        for (const uint32_t pixel : pixels) {
            rgba.push_back(static_cast<uint8_t>(pixel >> 16));
            rgba.push_back(static_cast<uint8_t>(pixel >> 8));
            rgba.push_back(static_cast<uint8_t>(pixel));
            rgba.push_back(static_cast<uint8_t>(pixel >> 24));
        }
        stbi_write_png(name.c_str(), width, height, 4, rgba.data(), width * 4);
    }
};

inline constexpr uint32_t pure_white = 0xFFFFFFFF;
inline constexpr uint32_t pure_black = 0xFF000000;

inline void test_picture::paint_block(int bx, int by, int v) {
    for (int bit = 0; bit < 6; ++bit) at(bx + bit % 2, by + bit / 2) = (v >> bit) & 1 ? pure_white : pure_black;
}

// `codes` filled up to a full row of 39 with spaces, the black mosaic cell, as the cassette
// takes a row.
inline std::string filled(const std::string& codes) {
    return codes + std::string(codes.size() < 39 ? 39 - codes.size() : 0, ' ');
}

// The marker of row k; 181 and 182 name row 18's two pieces.
inline std::string marker(int k) {
    if (k == 181) return std::string(23, '!') + "181";
    if (k == 182) return std::string(10, '!') + "182";
    return std::string(37, '!') + (k < 10 ? "0" : "") + std::to_string(k);
}

// A cassette-like text: a head with bytes that must pass unchanged, then each row's piece
// between "<" and ">", row 18 as its two pieces with "|" between them, then a tail.
inline std::string layout(const std::function<std::string(int)>& piece) {
    std::string text = std::string("HEAD\r\n\x1a\0", 8);
    for (int k = 1; k <= 25; ++k) {
        text += k == 18 ? "<" + piece(181) + "|" + piece(182) + ">" : "<" + piece(k) + ">";
    }
    return text + std::string("\xff\0TAIL", 6);
}

inline const std::string every_marker_once = layout(marker);
