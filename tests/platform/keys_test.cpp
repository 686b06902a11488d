#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/errors.h"
#include "platform/keys.h"
#include "platform/program_control.h"
#include "support/runtime_double.h"
#include "support/text_printing.h"

namespace {

class KeyQueue : public ::testing::Test {
  protected:
    KeyQueue() { clear_key_queue(); }
    ~KeyQueue() override { clear_key_queue(); }
    runtime_double runtime;
};

string_descriptor bytes(std::initializer_list<int> values) {
    std::string text;
    for (const int value : values) text.push_back(static_cast<char>(value));
    return string_descriptor(std::move(text));
}

TEST_F(KeyQueue, EmptyQueueGivesEmptyText) { EXPECT_EQ(read_key_string(), string_descriptor()); }

TEST_F(KeyQueue, KeyTextsByTheirCodes) {
    struct key_case {
        uint8_t character;
        uint8_t scan_code;
        string_descriptor text;
    };
    const key_case cases[] = {
        {'a', 30, "a"},
        {13, 28, bytes({13})},
        {0xE9, 0, bytes({0xE9})},  // a character without a scan code is still the character
        {0, 75, bytes({0, 75})},   // Left arrow
        {0, 134, bytes({0, 134})},  // F12
        {0, 0, bytes({0})},
    };
    for (const key_case& key : cases) push_key(key.character, key.scan_code);
    for (const key_case& key : cases) EXPECT_EQ(read_key_string(), key.text);
    EXPECT_EQ(read_key_string(), string_descriptor());
}

TEST_F(KeyQueue, FifteenKeysWaitAndAFurtherOneIsDropped) {
    for (int key = 1; key <= 16; ++key) push_key(static_cast<uint8_t>('A' + key - 1), 0);
    for (int key = 1; key <= 15; ++key) EXPECT_EQ(read_key_string(), bytes({'A' + key - 1}));
    EXPECT_EQ(read_key_string(), string_descriptor());
}

TEST_F(KeyQueue, RingKeepsOrderWhenItWrapsAround) {
    for (int round = 1; round <= 40; ++round) {
        push_key(static_cast<uint8_t>(round), 1);
        push_key(0, static_cast<uint8_t>(round + 100));
        EXPECT_EQ(read_key_string(), bytes({round}));
        EXPECT_EQ(read_key_string(), bytes({0, round + 100}));
    }
}

TEST_F(KeyQueue, NothingIsTakenWhileAnErrorIsPending) {
    push_key('x', 45);
    raise_error(5);
    EXPECT_EQ(read_key_string(), string_descriptor());
    pending_error = 0;
    EXPECT_EQ(read_key_string(), string_descriptor("x"));
}

TEST_F(KeyQueue, KeyEndingAPauseIsConsumed) {
    suspend_program = true;
    key_pressed('a', 30);
    EXPECT_FALSE(suspend_program.load());
    key_pressed('b', 48);
    EXPECT_EQ(read_key_string(), string_descriptor("b"));
    EXPECT_EQ(read_key_string(), string_descriptor());
}

TEST_F(KeyQueue, ModifierAloneAddsNothingButEndsAPause) {
    key_pressed(0, 42, false);
    EXPECT_EQ(read_key_string(), string_descriptor());
    suspend_program = true;
    key_pressed(0, 29, false);
    EXPECT_FALSE(suspend_program.load());
}

TEST_F(KeyQueue, ClearingEmptiesTheQueue) {
    push_key('q', 16);
    clear_key_queue();
    EXPECT_EQ(read_key_string(), string_descriptor());
}

}  // namespace
