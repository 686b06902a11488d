// Decoding a picture's bytes with stb_image, in whichever process runs it: the confined
// decoding process of picture loading, or a fuzzer.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

struct rgba_pixels {
    int32_t width = 0;
    int32_t height = 0;
    // width x height pixels of red, green, blue and alpha bytes, row by row from the top; null
    // when nothing was decoded. stb_image allocates with malloc.
    std::unique_ptr<uint8_t, void (*)(void*)> bytes{nullptr, std::free};
};

// The picture in `bytes`, or null pixels when it cannot be decoded or has more than
// `pixel_limit` pixels (0: no limit). The format is told by the content; BMP and JPEG pictures
// come out opaque, all others keep the alpha they decode to.
rgba_pixels decode_picture(std::span<const uint8_t> bytes, uint64_t pixel_limit);
