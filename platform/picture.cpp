// Picture loading: a regular file read whole, recognised by its content and decoded by
// stb_image into a new 32-bit image.
#include "platform/picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/errors.h"

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

// Set once before any picture is loaded (start-up or a fuzzer), read by load_image_file.
std::atomic<uint64_t> picture_pixel_limit{0};

// The most pixels a picture may have when no limit is set: its decoded pixels and its image
// (4 bytes a pixel each) may take half the machine's memory. Linux grants larger allocations on
// paper and ends the process once they are used, where the loader must give -1 instead.
uint64_t memory_pixel_limit() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    return uint64_t(pages) * uint64_t(page_size) / 2 / 8;
}

struct file_closer {
    int descriptor;
    ~file_closer() { close(descriptor); }
};

// The whole content of `name` when it is a regular file that can be read and held; else false.
bool read_regular_file(const std::string& name, std::vector<uint8_t>& bytes) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int descriptor = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) return false;
    const file_closer closer{descriptor};
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > INT_MAX) return false;
    try {
        bytes.resize(size_t(info.st_size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = read(descriptor, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;  // the file shrank while it was read
        got += size_t(n);
    }
    bytes.resize(got);
    return true;
}

uint32_t little_endian(const std::vector<uint8_t>& bytes, size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) value |= uint32_t(bytes[at + i]) << (8 * i);
    return value;
}

// A BMP that the BMP decoding takes, which makes every pixel opaque: "BM" with the file's size
// at offset 2, 1 to 32 bits a pixel, uncompressed (bit fields at 16 bits) and stored bottom-up.
bool is_opaque_bmp(const std::vector<uint8_t>& bytes) {
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
bool decodes_as_jpeg(const std::vector<uint8_t>& bytes) {
    size_t i = 0;
    while (i < bytes.size() && bytes[i] == 0xFF) ++i;
    return i > 0 && i < bytes.size() && bytes[i] == 0xD8;
}

// False for a JPEG with a Huffman table of more than 256 codes. stb_image 2.27 (Debian 12)
// writes such a table past the room it has; later versions refuse it as damaged, and so do we.
// Every FF C4 is looked at, not only the real markers: that over-checks, but cannot miss one
// that the decoder would read. The bytes are read as the decoder reads them, zero past the end.
bool jpeg_tables_fit(const std::vector<uint8_t>& bytes) {
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

// The picture in `bytes` as a new 32-bit image, or -1.
//
// The formats are told apart in this order: a PNG signature, an opaque BMP, a colour JPEG,
// then anything stb_image knows, alpha kept. stb_image's general decoding tries PNG and BMP
// before anything else, and of the formats it tries next, none before JPEG takes a file that
// begins with FF D8; it gives a PNG its alpha and a JPEG alpha 255, and decodes a BMP with the
// same code whichever way it is reached. So one decoding serves every case, and only a BMP
// taken as such differs: its pixels are made opaque.
image_handle decode_picture(const std::vector<uint8_t>& bytes) {
    if (decodes_as_jpeg(bytes) && !jpeg_tables_fit(bytes)) return -1;
    int width = 0, height = 0, channels = 0;
    const uint64_t limit = picture_pixel_limit.load() != 0 ? picture_pixel_limit.load() : memory_pixel_limit();
    // A BMP stored top-down tells a negative height.
    if (limit != 0 && stbi_info_from_memory(bytes.data(), int(bytes.size()), &width, &height, &channels) &&
        uint64_t(std::llabs(width)) * uint64_t(std::llabs(height)) > limit) {
        return -1;
    }
    const std::unique_ptr<stbi_uc, void (*)(void*)> rgba(
        stbi_load_from_memory(bytes.data(), int(bytes.size()), &width, &height, &channels, 4),
        stbi_image_free);
    if (!rgba) return -1;
    if (is_opaque_bmp(bytes)) {
        const size_t count = size_t(width) * size_t(height);
        for (size_t i = 0; i < count; ++i) rgba.get()[4 * i + 3] = 255;
    }
    return new_image_from_rgba(width, height, rgba.get());
}

}  // namespace

image_handle load_image_file(const string_descriptor& name, std::optional<int32_t> depth) {
    if (error_is_pending()) return 0;
    if ((depth && *depth != 32) || (!depth && destination_is_text_mode())) {
        raise_error(error_number::illegal_function_call);
        return 0;
    }
    // The system sees the name up to its first zero byte.
    const std::string path(name.bytes.c_str());
    std::vector<uint8_t> bytes;
    if (path.empty() || !read_regular_file(path, bytes) || bytes.empty()) return -1;
    return decode_picture(bytes);
}

void set_picture_pixel_limit(uint64_t pixels) { picture_pixel_limit = pixels; }
