#include "platform/x11/uri_list.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using names = std::vector<std::string>;

constexpr std::string_view host = "morvane-box";

struct list_case {
    const char* what;
    std::string list;
    names expected;
};

TEST(UriList, ItemsBecomeLocalPathsOrEmptyNamesInTheirPlaces) {
    const std::vector<list_case> cases = {
        {"an empty list", "", {}},
        {"one item ended by CRLF", "file:///p\r\n", {"/p"}},
        {"a last line without CRLF", "file:///a\r\nfile:///b", {"/a", "/b"}},
        {"a comment line", "# dragged from a shell\r\nfile:///p\r\n", {"/p"}},
        {"a comment between items", "file:///a\r\n#file:///x\r\nfile:///b\r\n", {"/a", "/b"}},
        {"empty lines carry no item", "\r\nfile:///a\r\n\r\n", {"/a"}},
        {"a bare LF ends a line too", "file:///a\nfile:///b\n", {"/a", "/b"}},
        {"file:/p", "file:/p\r\n", {"/p"}},
        {"localhost", "file://localhost/p\r\n", {"/p"}},
        {"this host's name", "file://morvane-box/p\r\n", {"/p"}},
        {"host names ignore case", "FILE://LocalHost/p\r\nfile://Morvane-Box/q\r\n", {"/p", "/q"}},
        {"another host", "file://elsewhere/p\r\nfile:///q\r\n", {"", "/q"}},
        {"another scheme", "http://x/p\r\nfile:///q\r\n", {"", "/q"}},
        {"a relative file URI", "file:p\r\n", {""}},
        {"file://host with no path", "file://morvane-box\r\nfile://\r\n", {"", ""}},
        {"%41 and %4a", "file:///%41%4a%4A\r\n", {"/AJJ"}},
        {"%zz", "file:///a%zzb\r\n", {""}},
        {"%00", "file:///a%00b\r\n", {""}},
        {"a lone %", "file:///a%\r\n", {""}},
        {"%4 at the end", "file:///a%4\r\n", {""}},
        {"%4 at the end of a last line", "file:///a%4", {""}},
        {"spaces and non-ASCII bytes", "file:///home/u/my%20pic%C3%A9%FF.png\r\n", {"/home/u/my pic\xc3\xa9\xff.png"}},
        {"escaped separators stay bytes of the name", "file:///a%2Fb%0A\r\n", {"/a/b\n"}},
        {"raw spaces and high bytes are taken", "file:///my pic\xc3\xa9\r\n", {"/my pic\xc3\xa9"}},
        {"a raw control byte", "file:///a\tb\r\nfile:///a\rb\r\n", {"", ""}},
        {"the list ends at its first zero byte", std::string("file:///a\r\n\0file:///b\r\n", 22), {"/a"}},
        {"a folder", "file:///tmp/pictures/\r\n", {"/tmp/pictures/"}},
    };
    for (const list_case& c : cases) {
        EXPECT_EQ(parse_uri_list(c.list, host), c.expected) << c.what;
    }
}

TEST(UriList, PathsComeWholeUpToTheSystemLimitAndLongerOnesNameNothing) {
    const std::string longest = "/" + std::string(longest_dropped_path - 1, 'x');
    EXPECT_EQ(parse_uri_list("file://" + longest + "\r\n", host), names{longest});
    EXPECT_EQ(parse_uri_list("file://" + longest + "x\r\n", host), names{""});
    // An escape counts as the one byte it gives.
    const std::string encoded = "/" + std::string(longest_dropped_path - 2, 'x') + "%41";
    EXPECT_EQ(parse_uri_list("file://" + encoded, host), names{longest.substr(0, longest_dropped_path - 1) + "A"});
}

TEST(UriList, WithoutAHostNameOnlyLocalhostAndEmptyHostsAreLocal) {
    EXPECT_EQ(parse_uri_list("file:///a\r\nfile://localhost/b\r\nfile:///c", ""), (names{"/a", "/b", "/c"}));
    EXPECT_EQ(parse_uri_list("file:///a\r\nfile://morvane-box/b\r\n", ""), (names{"/a", ""}));
}

TEST(UriList, ThisHostsNameIsLocal) {
    const std::string name = this_host_name();
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(parse_uri_list("file://" + name + "/etc/hostname\r\n", name), names{"/etc/hostname"});
}

}  // namespace
