#include "platform/numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

#include "platform/errors.h"
#include "support/runtime_double.h"

namespace {

constexpr double seed_scale = 16777216.0;

class RandomSingle : public testing::Test {
  protected:
    void SetUp() override { reset_random(); }
    void TearDown() override { reset_random(); }
    runtime_double runtime;
};

TEST_F(RandomSingle, SequenceFromStartUpIsExactMultiplesOfTwoToTheMinus24) {
    const double expected[] = {0.7055475, 0.5334240, 0.5795186, 0.2895625, 0.3019480};
    for (const double value : expected) {
        const float drawn = random_single();
        EXPECT_NEAR(drawn, value, 1e-7);
        const double scaled = static_cast<double>(drawn) * seed_scale;
        EXPECT_EQ(scaled, std::floor(scaled));
    }
}

TEST_F(RandomSingle, PromptColoursFromStartUp) {
    const int expected[] = {10, 8, 9, 5, 5, 11, 1, 11, 12, 10, 1, 6, 13, 12, 6, 14};
    for (const int colour : expected) {
        const float product = 14.0f * random_single();
        EXPECT_EQ(floor_double(static_cast<double>(product)) + 1, colour);
    }
}

TEST_F(RandomSingle, ZeroRepeatsAndPositiveActsAsNone) {
    EXPECT_EQ(random_single(0.0f), static_cast<float>(327680 / seed_scale));
    const float first = random_single();
    EXPECT_EQ(random_single(0.0f), first);
    EXPECT_EQ(random_single(0.0f), first);
    const float second = random_single(1.5f);
    reset_random();
    random_single();
    EXPECT_EQ(random_single(), second);
}

TEST_F(RandomSingle, NegativeReseedsFromItsBitPatternThenAdvances) {
    // -1 is 0xBF800000: seed 0x800000 + 0xBF.
    EXPECT_EQ(random_single(-1.0f), static_cast<float>(3758214 / seed_scale));
    EXPECT_EQ(random_single(-1.0f), static_cast<float>(3758214 / seed_scale));
    EXPECT_EQ(random_single(0.0f), static_cast<float>(3758214 / seed_scale));
    // 0xBFFFFFFF: 0xFFFFFF + 0xBF wraps to 0xBE within the 24 bits.
    EXPECT_EQ(random_single(std::bit_cast<float>(0xBFFFFFFFu)), static_cast<float>(12326025 / seed_scale));
}

TEST_F(RandomSingle, PendingErrorGivesZeroWithoutAdvancing) {
    raise_error(5);
    EXPECT_EQ(random_single(), 0.0f);
    EXPECT_EQ(random_single(-1.0f), 0.0f);
    pending_error = 0;
    EXPECT_NEAR(random_single(), 0.7055475, 1e-7);
}

TEST(FloorDouble, LargestWholeNumberNotAbove) {
    const std::pair<double, double> table[] = {
        {0.0, 0.0}, {13.999999, 13.0}, {2.5, 2.0}, {-0.5, -1.0}, {-2.0, -2.0}, {1e300, 1e300}};
    for (const auto& [x, expected] : table) EXPECT_EQ(floor_double(x), expected) << x;
}

}  // namespace
