#include "support/x_screenshot.h"

#include <X11/Xutil.h>

namespace {

// The 8-bit value of the channel that `mask` selects in `pixel`.
uint32_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const unsigned long top = mask >> shift;
    return static_cast<uint32_t>(((pixel & mask) >> shift) * 255 / top);
}

}  // namespace

x_screenshot capture_window(Display* connection, Window window) {
    x_screenshot shot;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(connection, window, &attributes)) return shot;
    XImage* image = XGetImage(connection, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!image) return shot;
    shot.width = attributes.width;
    shot.height = attributes.height;
    shot.pixels.resize(static_cast<size_t>(shot.width) * shot.height);
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            shot.pixels[static_cast<size_t>(y) * shot.width + x] = channel(pixel, image->red_mask) << 16 |
                                                                  channel(pixel, image->green_mask) << 8 |
                                                                  channel(pixel, image->blue_mask);
        }
    }
    XDestroyImage(image);
    return shot;
}
