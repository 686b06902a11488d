// Picture decoding: stb_image, with the guards that its Debian versions need and the rule
// that makes BMP pixels opaque.
#include "platform/picture_decoding.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// The region that the decoding takes its memory from, when it has one. Blocks are taken one
// after another, each behind a header that holds its size, so only the last one can grow in
// place or be given back for reuse; a decoding of one picture needs few blocks at a time. A
// decoding process has one thread.
struct decoding_region {
    uint8_t* start = nullptr;
    size_t size = 0;
    size_t used = 0;  // the end of the last block
};
decoding_region region;

struct block_header {
    size_t size;
    size_t used_before;  // where the region's blocks ended before this one; also keeps it 16-aligned
};
constexpr size_t block_alignment = 64;
// AddressSanitizer watches this much after every block, as it does after malloc's blocks.
constexpr size_t guard = 64;

// The addresses that guards were set on since the region was last given; no-ops in builds
// without AddressSanitizer.
uint8_t* guarded_from = nullptr;
uint8_t* guarded_to = nullptr;

void guard_bytes(size_t at, size_t count) {
    count = std::min(count, region.size - std::min(at, region.size));
    if (count == 0) return;
    ASAN_POISON_MEMORY_REGION(region.start + at, count);
    guarded_from = guarded_from == nullptr ? region.start + at : std::min(guarded_from, region.start + at);
    guarded_to = std::max(guarded_to, region.start + at + count);
}

void open_bytes(size_t at, size_t count) { ASAN_UNPOISON_MEMORY_REGION(region.start + at, count); }

block_header* header_of(void* block) {
    return reinterpret_cast<block_header*>(static_cast<uint8_t*>(block) - sizeof(block_header));
}
size_t offset_of(void* block) { return size_t(static_cast<uint8_t*>(block) - region.start); }
bool in_region(void* block) {
    return region.start != nullptr && block >= region.start && block < region.start + region.size;
}
bool is_last(void* block) { return offset_of(block) + header_of(block)->size == region.used; }

void* take_block(size_t count) {
    // Aligned in memory, wherever the region starts.
    const uintptr_t start = reinterpret_cast<uintptr_t>(region.start);
    const size_t at = (start + region.used + guard + block_alignment - 1) / block_alignment * block_alignment - start;
    if (at > region.size || region.size - at < sizeof(block_header) || region.size - at - sizeof(block_header) < count) {
        return nullptr;
    }
    guard_bytes(region.used, at - region.used);
    open_bytes(at, sizeof(block_header) + count);
    auto* header = reinterpret_cast<block_header*>(region.start + at);
    *header = {count, region.used};
    region.used = at + sizeof(block_header) + count;
    guard_bytes(region.used, guard);
    return header + 1;
}

void* decoding_allocate(size_t count) { return region.start == nullptr ? std::malloc(count) : take_block(count); }

void* decoding_reallocate(void* block, size_t count) {
    if (block == nullptr) return decoding_allocate(count);
    if (!in_region(block)) return std::realloc(block, count);
    const size_t at = offset_of(block);
    const size_t old_count = header_of(block)->size;
    if (is_last(block) && region.size - at >= count) {
        if (count > old_count) open_bytes(at + old_count, count - old_count);
        guard_bytes(at + count, old_count > count ? old_count - count + guard : guard);
        header_of(block)->size = count;
        region.used = at + count;
        return block;
    }
    void* moved = take_block(count);
    if (moved == nullptr) return nullptr;  // the block stays as it was
    std::memcpy(moved, block, std::min(old_count, count));
    release_decoding_memory(block);
    return moved;
}

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
#define STBI_MALLOC(count) decoding_allocate(count)
#define STBI_REALLOC(block, count) decoding_reallocate(block, count)
#define STBI_FREE(block) release_decoding_memory(block)
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

void release_decoding_memory(void* block) {
    if (!in_region(block)) return std::free(block);
    const size_t end = offset_of(block) + header_of(block)->size;
    if (is_last(block)) region.used = header_of(block)->used_before;
    guard_bytes(offset_of(block), end - offset_of(block) + guard);
}

void take_decoding_memory_from(std::span<uint8_t> memory) {
    if (guarded_from != nullptr) ASAN_UNPOISON_MEMORY_REGION(guarded_from, size_t(guarded_to - guarded_from));
    guarded_from = guarded_to = nullptr;
    region = {memory.empty() ? nullptr : memory.data(), memory.size(), 0};
}

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
