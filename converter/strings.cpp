#include "converter/strings.h"

#include <cstdint>
#include <string_view>

#include "converter/step_protocol.h"

namespace {

// The helpers' checks name their own step numbers, within the include of line 218.
constexpr step_module strings_module = step_module::included(218, "strings");

// `count` bytes of `text` from the 1-based position `first`.
std::string_view bytes_of(const string_descriptor& text, int32_t first, int32_t count) {
    return std::string_view(text.bytes).substr(static_cast<size_t>(first - 1), static_cast<size_t>(count));
}

// True when `work` ends with `key` (already lower-cased), comparing after lower-casing A..Z;
// from the last byte back, where a mismatch shows soonest.
bool ends_with_key(const string_descriptor& work, const string_descriptor& key) {
    if (work.length() < key.length()) return false;
    const size_t offset = work.bytes.size() - key.bytes.size();
    for (size_t i = key.bytes.size(); i-- > 0;) {
        if (byte_lower(work.bytes[offset + i]) != key.bytes[i]) return false;
    }
    return true;
}

}  // namespace

// One pass over the source: the bytes before each occurrence and its replacement are appended
// to the result, and the search goes on in one lower-cased copy of the source right after the
// occurrence. That is where the replacement ends in the result, so the inserted text is never
// searched, and the time grows with the source's length alone.
string_descriptor replace_all(const string_descriptor& source, const string_descriptor& search,
                              const string_descriptor& replacement) {
    string_descriptor result;
    if (error_is_pending()) return result;
    strings_module.after(20);
    strings_module.after(21);
    if (strings_module.test(22, source.length() == 0)) return result;
    // Searching for nothing would find a match at every position and never end.
    if (search.length() == 0) return source;
    const string_descriptor lowered = string_lower(source);
    strings_module.after(23);
    const string_descriptor key = string_lower(search);
    strings_module.after(24);
    int32_t start = 1;
    strings_module.after(25);
    int32_t found = string_instr(start, lowered, key);
    strings_module.after(26);
    string_descriptor work;
    // Room for a result as long as the source, the converter's case, taken at once.
    work.bytes.reserve(source.bytes.size());
    while (strings_module.test(27, found != 0)) {
        string_append(work, bytes_of(source, start, found - start));
        string_append(work, replacement.bytes);
        strings_module.after(28);
        start = found + key.length();
        strings_module.after(29);
        found = string_instr(start, lowered, key);
        strings_module.after(30);
    }
    string_append(work, bytes_of(source, start, source.length() - start + 1));
    result = std::move(work);
    strings_module.after(32);
    return result;
}

// One pass over the source: each byte is appended to the result, and an occurrence that this
// completes at the result's end is deleted at once. The result up to there holds no occurrence,
// so that is the leftmost one, as a search from the start would find it, and one formed by the
// bytes on both sides of a deleted one is deleted in turn.
string_descriptor remove_all(const string_descriptor& source, const string_descriptor& search) {
    string_descriptor result;
    if (error_is_pending()) return result;
    strings_module.after(6);
    strings_module.after(7);
    if (search.length() == 0) return source;
    string_descriptor work;
    strings_module.after(9);
    const string_descriptor key = string_lower(search);
    strings_module.after(10);
    int32_t next = 1;
    strings_module.after(11);
    for (; next <= source.length(); ++next) {
        string_append(work, bytes_of(source, next, 1));
        if (!strings_module.test(12, ends_with_key(work, key))) continue;
        work.bytes.resize(work.bytes.size() - key.bytes.size());
        strings_module.after(13);
        strings_module.after(14);
    }
    result = std::move(work);
    strings_module.after(16);
    return result;
}
