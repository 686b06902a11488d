#include "converter/strings.h"

#include <iterator>
#include <string_view>
#include <utility>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "support/runtime_double.h"
#include "support/text_printing.h"

namespace {

string_descriptor bytes(std::string_view view) { return string_descriptor(view); }

struct replace_case {
    std::string_view source;
    std::string_view search;
    std::string_view replacement;
    std::string_view expected;
};

TEST(ReplaceAll, EdgeCases) {
    using namespace std::string_view_literals;
    const replace_case cases[] = {
        {"aaa", "aa", "b", "ba"},
        {"aaa", "a", "aa", "aaaaaa"},         // inserted text is never searched
        {"a-a", "a", "aa", "aa-aa"},
        {"aab", "ab", "b", "ab"},             // no match formed with the inserted text
        {"abAB", "ab", "-", "--"},
        {"ABC abc", "b", "x", "AxC axc"},     // bytes outside the matches keep their case
        {"Ab", "aB", "Xy", "Xy"},             // the replacement goes in byte for byte
        {"\xc4", "\xe4", "x", "\xc4"},        // only A..Z fold
        {"a\0b"sv, "\0"sv, "0", "a0b"},
        {"xab", "ab", "c", "xc"},
        {"xyz", "q", "r", "xyz"},
        {"", "", "r", ""},
        {"", "a", "r", ""},
        {"aabb", "ab", "", "ab"},
        {"xyz", "", "r", "xyz"},              // an empty search changes nothing and ends
        {"!!!!!!01", "!!!!!01", "R", "!R"},     // the leftmost match wins
    };
    for (const replace_case& c : cases) {
        EXPECT_EQ(replace_all(bytes(c.source), bytes(c.search), bytes(c.replacement)), bytes(c.expected))
            << "'" << c.source << "' '" << c.search << "' '" << c.replacement << "'";
    }
}

TEST(RemoveAll, EdgeCases) {
    const std::pair<const char*, const char*> source_search[] = {
        {"aabb", "ab"}, {"xaabbx", "ab"}, {"aAaA", "a"}, {"Hello", "L"}, {"", "x"}, {"", ""}, {"abc", ""},
    };
    const char* expected[] = {"", "xx", "", "Heo", "", "", "abc"};
    for (size_t i = 0; i < std::size(source_search); ++i) {
        EXPECT_EQ(remove_all(source_search[i].first, source_search[i].second), bytes(expected[i]))
            << source_search[i].first << " " << source_search[i].second;
    }
}

TEST(TextHelpers, ArgumentsAreUnchanged) {
    const string_descriptor source = "abAB";
    const string_descriptor search = "AB";
    const string_descriptor replacement = "Zz";
    replace_all(source, search, replacement);
    remove_all(source, search);
    EXPECT_EQ(source, bytes("abAB"));
    EXPECT_EQ(search, bytes("AB"));
    EXPECT_EQ(replacement, bytes("Zz"));
}

TEST(TextHelpers, PendingErrorOnEntryGivesTheEmptyText) {
    runtime_double runtime;
    raise_error(70);
    EXPECT_EQ(replace_all("abc", "b", "x"), bytes(""));
    EXPECT_EQ(remove_all("abc", "b"), bytes(""));
    EXPECT_TRUE(runtime.boxes().empty());
}

}  // namespace
