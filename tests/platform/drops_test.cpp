#include "platform/drops.h"

#include <cstdint>

#include <gtest/gtest.h>

#include "support/text_printing.h"

namespace {

// Each test starts and ends with no drop pending.
class Drops : public ::testing::Test {
  protected:
    void SetUp() override { finish_file_drop(); }
    void TearDown() override { finish_file_drop(); }
};

TEST_F(Drops, IndexFormGivesItemsInOrderAndKeepsTheDropPending) {
    set_pending_drop({"/a.png", "", "/c/"});
    EXPECT_EQ(dropped_file_count(), 3);
    EXPECT_EQ(dropped_file_name(1), string_descriptor("/a.png"));
    EXPECT_EQ(dropped_file_name(2), string_descriptor(""));
    EXPECT_EQ(dropped_file_name(3), string_descriptor("/c/"));
    EXPECT_EQ(dropped_file_name(1), string_descriptor("/a.png"));
    EXPECT_EQ(dropped_file_count(), 3);
}

TEST_F(Drops, IndexOutsideTheCountOrNoDropGivesTheEmptyTextAndChangesNothing) {
    EXPECT_EQ(dropped_file_count(), 0);
    EXPECT_EQ(dropped_file_name(1), string_descriptor(""));
    set_pending_drop({"/a", "/b"});
    for (const int32_t index : {0, -1, 3, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(dropped_file_name(index), string_descriptor("")) << index;
    }
    EXPECT_EQ(dropped_file_count(), 2);
    EXPECT_EQ(dropped_file_name(2), string_descriptor("/b"));
}

TEST_F(Drops, FormWithoutIndexWalksTheItemsAndReleasesAfterTheLast) {
    set_pending_drop({"/a", "/b"});
    EXPECT_EQ(dropped_file_name(), string_descriptor("/a"));
    EXPECT_EQ(dropped_file_count(), 2);
    EXPECT_EQ(dropped_file_name(2), string_descriptor("/b"));  // the index form leaves the cursor
    EXPECT_EQ(dropped_file_name(), string_descriptor("/b"));
    EXPECT_EQ(dropped_file_count(), 0);
    EXPECT_EQ(dropped_file_name(), string_descriptor(""));
    EXPECT_EQ(dropped_file_name(1), string_descriptor(""));
}

TEST_F(Drops, FinishReleasesTheDropAndDoesNothingWithoutOne) {
    set_pending_drop({"/a"});
    finish_file_drop();
    EXPECT_EQ(dropped_file_count(), 0);
    EXPECT_EQ(dropped_file_name(1), string_descriptor(""));
    finish_file_drop();
    EXPECT_EQ(dropped_file_count(), 0);
}

TEST_F(Drops, NewDropReplacesThePendingOneAndRestartsTheWalk) {
    set_pending_drop({"/old1", "/old2", "/old3"});
    EXPECT_EQ(dropped_file_name(), string_descriptor("/old1"));
    set_pending_drop({"/new"});
    EXPECT_EQ(dropped_file_count(), 1);
    EXPECT_EQ(dropped_file_name(2), string_descriptor(""));
    EXPECT_EQ(dropped_file_name(), string_descriptor("/new"));
    EXPECT_EQ(dropped_file_count(), 0);
}

}  // namespace
