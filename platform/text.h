// Texts: byte strings of any value with a signed 32-bit length, and the operations on them.
// No operation converts code pages, line ends or case (except string_lower). Running out of
// memory for a text ends the program with the critical "Out of memory" error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct string_descriptor {
    std::string bytes;

    string_descriptor() = default;
    string_descriptor(const char* literal) : bytes(literal) {}
    string_descriptor(std::string_view view) : bytes(view) {}
    explicit string_descriptor(std::string&& owned) : bytes(std::move(owned)) {}

    int32_t length() const { return static_cast<int32_t>(bytes.size()); }
    bool operator==(const string_descriptor&) const = default;
};

// Keeps the memory of freed texts in the process for the texts that follow, instead of handing
// it back to the system and taking it afresh, page fault by page fault: the template passes make
// and free texts of the template's size 26 times. Once, at start-up, before other threads run.
void keep_text_memory();

// The one-byte text of `code`; a code outside 0..255 raises 5 and gives the empty text.
string_descriptor string_chr(int32_t code);
// a followed by b.
string_descriptor string_concat(const string_descriptor& a, const string_descriptor& b);
// a := b.
void string_assign(string_descriptor& a, const string_descriptor& b);
// a := a followed by `bytes`, in place, so that a long text built piece by piece costs time in
// proportion to its length. Same limits as string_concat.
void string_append(string_descriptor& a, std::string_view bytes);
// n spaces; n below 0 gives the empty text.
string_descriptor string_spaces(int32_t n);
// The first / last n bytes of x, n clamped to 0..len(x).
string_descriptor string_left(const string_descriptor& x, int32_t n);
string_descriptor string_right(const string_descriptor& x, int32_t n);
// x with A..Z turned into a..z and every other byte unchanged.
string_descriptor string_lower(const string_descriptor& x);
// What string_lower does to one byte.
inline char byte_lower(char byte) { return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + ('a' - 'A')) : byte; }
// 1-based position of the first byte-exact occurrence of key in text at or after start, or 0.
int32_t string_instr(int32_t start, const string_descriptor& text, const string_descriptor& key);
int32_t string_instr(const string_descriptor& text, const string_descriptor& key);
// -1 when a and b differ in length or in any byte, 0 when they are equal.
int32_t string_not_equal(const string_descriptor& a, const string_descriptor& b);
