// The confined decoding process: a picture decodes in it within its limits, and a decoding
// process that tries what decoding never needs (opening a file, running a program) is killed
// and gives no pixels. The sanitizer build runs it without a memory limit; its copy built
// without sanitizers, decoding_process_plain_test, runs it as the release build does.
#include "platform/decoding_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/scratch_files.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool memory_is_limited = false;  // the sanitizers reserve terabytes of address space
#else
constexpr bool memory_is_limited = true;
#endif

class DecodingProcess : public testing::Test {
  protected:
    ~DecodingProcess() override { set_decoding_probe(decoding_probe::none); }

    // A `width` x `height` PNG whose pixels are all 0x11, 0x22, 0x33, 0x44.
    std::string write_png(int width, int height) {
        std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
        for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = uint8_t(0x11 * (i % 4 + 1));
        const std::string name = scratch.file("picture.png");
        stbi_write_png(name.c_str(), width, height, 4, rgba.data(), width * 4);
        return name;
    }

    std::optional<decoded_picture> decode(const std::string& name, decoding_limits limits = {}) {
        const int file = open(name.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(file, 0);
        auto pixels = decode_file_confined(file, uint64_t(lseek(file, 0, SEEK_END)), limits);
        close(file);
        return pixels;
    }

    temporary_folder scratch{"morvane-decoding"};
};

TEST_F(DecodingProcess, DecodesThePictureWhole) {
    const auto picture = decode(write_png(3, 2));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width(), 3);
    EXPECT_EQ(picture->height(), 2);
    std::vector<color32> pixels(6);
    ASSERT_TRUE(picture->read_pixels(pixels.data()));
    EXPECT_EQ(pixels, std::vector<color32>(6, 0x44112233));
}

TEST_F(DecodingProcess, ForbiddenSystemCallsKillIt) {
    const std::string name = write_png(3, 2);
    for (const decoding_probe probe : {decoding_probe::open_file, decoding_probe::run_program}) {
        set_decoding_probe(probe);
        EXPECT_FALSE(decode(name)) << int(probe);
    }
}

TEST_F(DecodingProcess, PicturesBeyondItsLimitsGiveNothing) {
    const std::string name = write_png(2000, 2000);  // 16 MB of pixels
    EXPECT_FALSE(decode(name, {.pixels = 2000 * 2000 - 1}));
    EXPECT_TRUE(decode(name, {.pixels = 2000 * 2000}));
    if (memory_is_limited) {
        EXPECT_FALSE(decode(name, {.memory = 8 << 20}));
    }
    EXPECT_TRUE(decode(name, {.memory = 64 << 20}));
}

TEST_F(DecodingProcess, AnEmptyFileGivesNothing) {
    write_whole_file(scratch.file("empty"), "");
    EXPECT_FALSE(decode(scratch.file("empty")));
}

}  // namespace
