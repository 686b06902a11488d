#include "platform/text.h"

#include <cstdint>
#include <string_view>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "support/runtime_double.h"
#include "support/text_printing.h"

namespace {

string_descriptor bytes(std::string_view view) { return string_descriptor(view); }

TEST(Text, HoldsZeroBytesAndHighBytes) {
    const string_descriptor text = bytes(std::string_view("a\0\xff", 3));
    EXPECT_EQ(text.length(), 3);
    EXPECT_EQ(string_concat(text, text).length(), 6);
    EXPECT_EQ(string_lower(text), text);
}

TEST(Text, ChrGivesOneByteAndRejectsCodesOutsideAByte) {
    runtime_double runtime;
    EXPECT_EQ(string_chr(0), bytes(std::string_view("\0", 1)));
    EXPECT_EQ(string_chr(0xFD), bytes("\xfd"));
    EXPECT_EQ(pending_error, 0);
    EXPECT_EQ(string_chr(256), bytes(""));
    EXPECT_EQ(pending_error, 5);
}

TEST(Text, ChrBelowZeroRaisesIllegalFunctionCall) {
    runtime_double runtime;
    EXPECT_EQ(string_chr(-1).length(), 0);
    EXPECT_EQ(pending_error, 5);
}

TEST(Text, AssignCopiesSoLaterChangesDoNotShow) {
    string_descriptor a;
    string_descriptor b = "xyz";
    string_assign(a, b);
    b.bytes[0] = 'q';
    EXPECT_EQ(a, bytes("xyz"));
    string_assign(a, a);
    EXPECT_EQ(a, bytes("xyz"));
}

TEST(Text, AppendAddsBytesInPlace) {
    string_descriptor a = "ab";
    string_append(a, std::string_view("c\0d", 3));
    string_append(a, "");
    EXPECT_EQ(a, bytes(std::string_view("abc\0d", 5)));
}

TEST(Text, SpacesAndClampedCuts) {
    EXPECT_EQ(string_spaces(3), bytes("   "));
    EXPECT_EQ(string_spaces(0), bytes(""));
    EXPECT_EQ(string_spaces(-4), bytes(""));

    struct cut_case {
        int32_t n;
        const char* left;
        const char* right;
    };
    for (const cut_case& c : {cut_case{-1, "", ""}, cut_case{0, "", ""}, cut_case{2, "ab", "de"},
                              cut_case{5, "abcde", "abcde"}, cut_case{9, "abcde", "abcde"}}) {
        EXPECT_EQ(string_left("abcde", c.n), bytes(c.left)) << c.n;
        EXPECT_EQ(string_right("abcde", c.n), bytes(c.right)) << c.n;
    }
}

TEST(Text, LowerFoldsOnlyAsciiCapitals) {
    EXPECT_EQ(string_lower("AZaz@[`{\xc4\xe4"), bytes("azaz@[`{\xc4\xe4"));
}

TEST(Text, InstrRulesApplyInOrder) {
    struct instr_case {
        int32_t start;
        const char* text;
        const char* key;
        int32_t expected;
    };
    const instr_case cases[] = {
        {1, "", "", 0},         // an empty text gives 0 whatever the rest
        {1, "", "a", 0},
        {0, "abc", "", 0},      // start 0 with an empty key
        {-5, "abc", "b", 2},    // start below 1 is taken as 1
        {4, "abc", "", 0},      // start beyond the text
        {4, "abc", "c", 0},
        {2, "abc", "", 2},      // an empty key gives start
        {3, "abc", "", 3},
        {3, "abc", "cd", 0},    // the key would run past the end
        {1, "abcabc", "bc", 2},
        {3, "abcabc", "bc", 5},
        {1, "abc", "B", 0},     // byte-exact, no folding
        {1, "abcabc", "abcabc", 1},
    };
    for (const instr_case& c : cases) {
        EXPECT_EQ(string_instr(c.start, c.text, c.key), c.expected)
            << c.start << " '" << c.text << "' '" << c.key << "'";
    }
    EXPECT_EQ(string_instr(bytes(std::string_view("a\0b", 3)), bytes(std::string_view("\0", 1))), 2);
    EXPECT_EQ(string_instr("abc", "c"), 3);
}

TEST(Text, NotEqualIsByteExact) {
    EXPECT_EQ(string_not_equal("", ""), 0);
    EXPECT_EQ(string_not_equal("a", ""), -1);
    EXPECT_EQ(string_not_equal("a", "A"), -1);
    EXPECT_EQ(string_not_equal(bytes(std::string_view("a\0", 2)), "a"), -1);
    EXPECT_EQ(string_not_equal("same", "same"), 0);
}

}  // namespace
