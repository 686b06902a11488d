// Picture decoding: stb_image, with the guards that its Debian versions need and the rule
// that makes BMP pixels opaque.
#include "platform/picture_decoding.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {
// stb_image 2.27 copies zero bytes to a null buffer for an empty PNG data chunk, which is
// undefined; a copy of nothing does nothing here.
void* copy_bytes(void* to, const void* from, size_t count) {
    return count == 0 ? to : std::memcpy(to, from, count);
}
}  // namespace

// Images keep each side in 16 bits, so stb_image refuses larger ones before it allocates.
#define STBI_MAX_DIMENSIONS 65535
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
#define STB_IMAGE_IMPLEMENTATION
#define memcpy copy_bytes  // <cstring> is in already, so stb_image's <string.h> adds nothing
#include <stb_image.h>
#undef memcpy

namespace {

uint32_t little_endian(std::span<const uint8_t> bytes, size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) value |= uint32_t(bytes[at + i]) << (8 * i);
    return value;
}

// A BMP that the BMP decoding takes, which makes every pixel opaque: "BM" with the file's size
// at offset 2, 1 to 32 bits a pixel, uncompressed (bit fields at 16 bits) and stored bottom-up.
bool is_opaque_bmp(std::span<const uint8_t> bytes) {
    if (bytes.size() < 34 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    if (little_endian(bytes, 2, 4) != bytes.size()) return false;
    const bool core_header = little_endian(bytes, 14, 4) == 12;
    const int32_t height =
        core_header ? int16_t(little_endian(bytes, 20, 2)) : int32_t(little_endian(bytes, 22, 4));
    const uint32_t bits = little_endian(bytes, core_header ? 24 : 28, 2);
    const uint32_t compression = core_header ? 0 : little_endian(bytes, 30, 4);
    const bool known_bits = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return height > 0 && known_bits && (compression == 0 || (compression == 3 && bits == 16));
}

// True when stb_image would take `bytes` for a JPEG: FF bytes, then D8.
bool decodes_as_jpeg(std::span<const uint8_t> bytes) {
    size_t i = 0;
    while (i < bytes.size() && bytes[i] == 0xFF) ++i;
    return i > 0 && i < bytes.size() && bytes[i] == 0xD8;
}

// False for a JPEG with a Huffman table of more than 256 codes. stb_image 2.27 (Debian 12)
// writes such a table past the room it has; later versions refuse it as damaged, and so do we.
// Every FF C4 is looked at, not only the real markers: that over-checks, but cannot miss one
// that the decoder would read. The bytes are read as the decoder reads them, zero past the end.
bool jpeg_tables_fit(std::span<const uint8_t> bytes) {
    const auto at = [&bytes](size_t i) -> uint32_t { return i < bytes.size() ? bytes[i] : 0; };
    for (size_t marker = 0; marker + 1 < bytes.size(); ++marker) {
        if (bytes[marker] != 0xFF || bytes[marker + 1] != 0xC4) continue;
        int64_t left = int64_t(at(marker + 2) << 8 | at(marker + 3)) - 2;
        size_t p = marker + 4;
        while (left > 0 && p < bytes.size()) {
            const uint32_t table = at(p++);
            if ((table >> 4) > 1 || (table & 15) > 3) break;  // the decoder stops here itself
            uint32_t codes = 0;
            for (int i = 0; i < 16; ++i) codes += at(p++);
            if (codes > 256) return false;
            p += codes;
            left -= 17 + int64_t(codes);
        }
    }
    return true;
}

}  // namespace

// The formats are told apart in this order: a PNG signature, an opaque BMP, a colour JPEG,
// then anything stb_image knows, alpha kept. stb_image's general decoding tries PNG and BMP
// before anything else, and of the formats it tries next, none before JPEG takes a file that
// begins with FF D8; it gives a PNG its alpha and a JPEG alpha 255, and decodes a BMP with the
// same code whichever way it is reached. So one decoding serves every case, and only a BMP
// taken as such differs: its pixels are made opaque.
rgba_pixels decode_picture(std::span<const uint8_t> bytes, uint64_t pixel_limit) {
    rgba_pixels pixels;
    if (bytes.size() > INT_MAX || (decodes_as_jpeg(bytes) && !jpeg_tables_fit(bytes))) return pixels;
    int width = 0, height = 0, channels = 0;
    // A BMP stored top-down tells a negative height.
    if (pixel_limit != 0 && stbi_info_from_memory(bytes.data(), int(bytes.size()), &width, &height, &channels) &&
        uint64_t(std::llabs(width)) * uint64_t(std::llabs(height)) > pixel_limit) {
        return pixels;
    }
    pixels.bytes.reset(stbi_load_from_memory(bytes.data(), int(bytes.size()), &width, &height, &channels, 4));
    // stb_image 2.27 takes a PNM header without sides ("P5" alone) for a picture of no pixels.
    if (width < 1 || height < 1) pixels.bytes.reset();
    if (!pixels.bytes) return pixels;
    pixels.width = width;
    pixels.height = height;
    if (is_opaque_bmp(bytes)) {
        const size_t count = size_t(width) * size_t(height);
        for (size_t i = 0; i < count; ++i) pixels.bytes.get()[4 * i + 3] = 255;
    }
    return pixels;
}
