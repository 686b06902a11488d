// Decoding a picture's bytes with stb_image, in whichever process runs it: the confined
// decoding process of picture loading, or a fuzzer.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

// Gives back a block that the decoding took.
void release_decoding_memory(void* block);

struct rgba_pixels {
    int32_t width = 0;
    int32_t height = 0;
    // width x height pixels of red, green, blue and alpha bytes, row by row from the top; null
    // when nothing was decoded.
    std::unique_ptr<uint8_t, void (*)(void*)> bytes{nullptr, release_decoding_memory};
};

// Where the decoding takes its memory: malloc's heap, or, once this is called with a non-empty
// `region`, that region alone, from its start afresh for each picture. A decoding process
// decodes into memory that the program reads, so that the pixels need no copy of their own.
void take_decoding_memory_from(std::span<uint8_t> region);

// The picture in `bytes`, or null pixels when it cannot be decoded or has more than
// `pixel_limit` pixels (0: no limit). The format is told by the content; BMP and JPEG pictures
// come out opaque, all others keep the alpha they decode to.
rgba_pixels decode_picture(std::span<const uint8_t> bytes, uint64_t pixel_limit);
