// Feeds arbitrary bytes to the picture decoding itself, in this process: stb_image's own faults
// show here. Picture loading runs the same decoding in a confined process, where such a fault
// can only end that process; every file this target finds is kept in fuzz/findings/ and goes
// through the whole program in a test.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/picture_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Pictures that claim more than 16 M pixels would only meet libFuzzer's memory limit.
    const rgba_pixels pixels = decode_picture({data, size}, uint64_t(1) << 24);
    if (pixels.bytes && (pixels.width < 1 || pixels.height < 1)) std::abort();
    return 0;
}
