// Decoding into a region of memory of its own, as the decoding process does: every format's
// decoding, with its own way of taking, growing and giving back blocks, gives what it gives
// with malloc; a region too small for a picture gives no picture rather than more memory; and
// each picture starts the region afresh.
#include "platform/picture_decoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "support/scratch_files.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bytes_of(const fs::path& file) {
    const std::string text = read_whole_file(file);
    return {text.begin(), text.end()};
}

// The decoded pixels as bytes; empty when there are none.
std::vector<uint8_t> decoded(std::span<const uint8_t> bytes) {
    const rgba_pixels pixels = decode_picture(bytes, 0);
    if (!pixels.bytes) return {};
    return {pixels.bytes.get(), pixels.bytes.get() + 4 * size_t(pixels.width) * size_t(pixels.height)};
}

class DecodingRegion : public testing::Test {
  protected:
    ~DecodingRegion() override { take_decoding_memory_from({}); }
};

// Seeds that the decoding reads memory for that nothing wrote, which only the decoding process
// keeps from the program: 16-bit PNMs, read past their buffer by Debian 12's stb_image
// (2.27), and a palette picture with an index beyond its palette, whose colour comes from
// whatever the decoding's stack held.
bool reads_unwritten_memory(const fs::path& seed) {
    const std::string name = seed.filename().string();
    return (name.starts_with("pnm-") && name.find("16.") != std::string::npos) || name == "png-palette8.png";
}

TEST_F(DecodingRegion, EveryFormatDecodesAsWithMalloc) {
    std::vector<uint8_t> region(16 << 20);
    for (const auto& entry : fs::directory_iterator(fs::path(MORVANE_SOURCE_DIR) / "fuzz" / "corpus")) {
        if (reads_unwritten_memory(entry.path())) continue;
        const std::vector<uint8_t> bytes = bytes_of(entry.path());
        take_decoding_memory_from({});
        const std::vector<uint8_t> with_malloc = decoded(bytes);
        take_decoding_memory_from(region);
        EXPECT_EQ(decoded(bytes), with_malloc) << entry.path().filename();
    }
}

TEST_F(DecodingRegion, ARegionTooSmallGivesNoPictureAndEachPictureStartsItAfresh) {
    temporary_folder scratch{"morvane-region"};
    const std::vector<uint8_t> grey(300 * 300, 0x80);  // 360,000 bytes of pixels once decoded
    const std::string name = scratch.file("grey.png");
    stbi_write_png(name.c_str(), 300, 300, 1, grey.data(), 300);
    const std::vector<uint8_t> bytes = bytes_of(name);
    std::vector<uint8_t> region(1 << 20);
    take_decoding_memory_from(std::span(region).first(256 << 10));
    EXPECT_TRUE(decoded(bytes).empty());
    take_decoding_memory_from(region);
    for (int picture = 0; picture < 3; ++picture) {
        take_decoding_memory_from(region);
        EXPECT_EQ(decoded(bytes).size(), 360000u) << picture;
    }
}

}  // namespace
