// Reads what a window shows, for whole-program tests: its pixels as 0xRRGGBB.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

struct x_screenshot {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // row by row from the top
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The window's client area as it is on the screen now; empty when it cannot be read.
x_screenshot capture_window(Display* connection, Window window);
