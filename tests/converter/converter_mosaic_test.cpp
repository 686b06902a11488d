#include "converter/mosaic.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <set>

namespace {

TEST(MosaicTable, EveryPatternFollowsTheBlockMosaicRuleButThree) {
    for (int32_t v = 0; v < 64; ++v) {
        SCOPED_TRACE(v);
        const int32_t rule = 32 + (v & 31) + 64 * (v >> 5);
        if (v == 2) {
            EXPECT_EQ(mosaic_table[2], 0xFD);  // top-right only
        } else if (v == 3) {
            EXPECT_EQ(mosaic_table[3], 0x5F);  // the top row
        } else if (v == 62) {
            EXPECT_EQ(mosaic_table[62], 0x5C);  // all but top-left
        } else {
            EXPECT_EQ(mosaic_table[static_cast<std::size_t>(v)], rule);
        }
    }
}

TEST(MosaicTable, CodesAreDistinctAndNeverEndABasicString) {
    const std::set<uint8_t> codes(mosaic_table.begin(), mosaic_table.end());
    EXPECT_EQ(codes.size(), 64u);
    for (const uint8_t never : {0x22, 0x23, 0x7E}) EXPECT_EQ(codes.count(never), 0u) << int(never);
    EXPECT_EQ(mosaic_table[0], 0x20);
    EXPECT_EQ(mosaic_table[63], 0x7F);
    EXPECT_EQ(mosaic_table[11], 0x2B);
}

TEST(PatternOrder, ElevenFirstThenTheRestInOrder) {
    EXPECT_EQ(pattern_order[0], 11);
    EXPECT_EQ(pattern_step(0), 55);
    for (int32_t v = 0; v <= 10; ++v) EXPECT_EQ(pattern_order[static_cast<std::size_t>(v + 1)], v);
    EXPECT_EQ(pattern_step(11), 66);
    for (int32_t v = 12; v < 64; ++v) EXPECT_EQ(pattern_order[static_cast<std::size_t>(v)], v);
    EXPECT_EQ(pattern_step(63), 118);
    EXPECT_EQ(std::set<uint8_t>(pattern_order.begin(), pattern_order.end()).size(), 64u);
}

constexpr float white_reference = 4294967296.0f;
constexpr float black_reference = 4278190080.0f;

struct pixel_case {
    uint32_t color;
    bool white;
    bool black;
};

TEST(PixelTest, AcceptedRangesEndExactly) {
    const pixel_case cases[] = {
        {0xFFFFFFFF, true, false},  {0xFFFFFF80, true, false},  {0xFFFFFF7F, false, false},
        {0xFF000000, false, true},  {0xFF000080, false, true},  {0xFF000081, false, false},
        {0xFEFFFF80, false, true},  {0xFEFFFF7F, false, false}, {0xFEFFFFFF, false, true},
        {0x00000000, false, false}, {0x00FFFFFF, false, false}, {0x7FFFFFFF, false, false},
    };
    for (const pixel_case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.color);
        EXPECT_EQ(color_matches(c.color, white_reference), c.white);
        EXPECT_EQ(color_matches(c.color, black_reference), c.black);
    }
}

TEST(PixelTest, RangesHoldTheirWholeCount) {
    int64_t whites = 0;
    int64_t blacks = 0;
    for (uint64_t color = 0xFEFFFF00; color <= 0xFFFFFFFF; ++color) {
        if (color > 0xFF000200 && color < 0xFFFFFF00) color = 0xFFFFFF00;
        whites += color_matches(static_cast<double>(color), white_reference);
        blacks += color_matches(static_cast<double>(color), black_reference);
    }
    EXPECT_EQ(whites, 128);
    EXPECT_EQ(blacks, 257);
}

// Opaque pixels given as red, green and blue.
uint32_t opaque(uint32_t red, uint32_t green, uint32_t blue) {
    return 0xFF000000u | red << 16 | green << 8 | blue;
}

TEST(PixelTest, NearWhiteAndNearBlack) {
    const pixel_case cases[] = {
        {opaque(255, 255, 128), true, false}, {opaque(255, 255, 255), true, false},
        {opaque(255, 255, 127), false, false}, {opaque(254, 255, 255), false, false},
        {opaque(0, 0, 0), false, true},       {opaque(0, 0, 128), false, true},
        {opaque(0, 0, 129), false, false},    {opaque(1, 0, 0), false, false},
        {opaque(254, 254, 254), false, false},
    };
    for (const pixel_case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.color);
        EXPECT_EQ(color_matches(c.color, white_reference), c.white);
        EXPECT_EQ(color_matches(c.color, black_reference), c.black);
    }
}

}  // namespace
