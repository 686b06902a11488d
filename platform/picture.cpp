// Picture loading: a regular file read whole, decoded by the confined decoding process into a
// new 32-bit image.
#include "platform/picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/decoding_process.h"
#include "platform/errors.h"
#include "platform/memory_limits.h"

namespace {

// Set once before any picture is loaded (start-up or a fuzzer), read by load_image_file.
std::atomic<uint64_t> picture_pixel_limit{0};

// The decoding may take half the memory the program may use; a picture's pixels and its image
// (4 bytes a pixel each) may take that half too.
decoding_limits limits_of_decoding() {
    const uint64_t memory = usable_memory() / 2;
    const uint64_t pixels = picture_pixel_limit.load() != 0 ? picture_pixel_limit.load() : memory / 8;
    return {.pixels = pixels, .memory = memory};
}

struct file_closer {
    int descriptor;
    ~file_closer() { close(descriptor); }
};

// The picture in `name` when it is a regular file that can be read and decoded; else -1.
image_handle load_regular_file(const std::string& name) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int descriptor = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) return -1;
    const file_closer closer{descriptor};
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > INT_MAX) return -1;
    auto picture = decode_file_confined(descriptor, uint64_t(info.st_size), limits_of_decoding());
    if (!picture) return -1;
    return new_image_over(picture->width(), picture->height(), picture->pixels(), picture->hand_over());
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
    return path.empty() ? -1 : load_regular_file(path);
}

void set_picture_pixel_limit(uint64_t pixels) { picture_pixel_limit = pixels; }
