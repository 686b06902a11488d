#include "converter/strings.h"

#include <cstdint>

#include "converter/step_protocol.h"

namespace {

// The helpers' checks name their own step numbers, within the include of line 218.
constexpr step_module strings_module = step_module::included(218, "strings");

}  // namespace

string_descriptor replace_all(const string_descriptor& source, const string_descriptor& search,
                              const string_descriptor& replacement) {
    string_descriptor result;
    if (error_is_pending()) return result;
    strings_module.after(20);
    strings_module.after(21);
    if (strings_module.test(22, source.length() == 0)) return result;
    // Searching for nothing would find a match at every position and never end.
    if (search.length() == 0) return source;
    string_descriptor work;
    string_assign(work, source);
    strings_module.after(23);
    const string_descriptor key = string_lower(search);
    strings_module.after(24);
    int32_t start = 1;
    strings_module.after(25);
    int32_t found = string_instr(start, string_lower(work), key);
    strings_module.after(26);
    while (strings_module.test(27, found != 0)) {
        string_assign(work, string_concat(string_concat(string_left(work, found - 1), replacement),
                                          string_right(work, work.length() - found - key.length() + 1)));
        strings_module.after(28);
        start = found + replacement.length();
        strings_module.after(29);
        found = string_instr(start, string_lower(work), key);
        strings_module.after(30);
    }
    string_assign(result, work);
    strings_module.after(32);
    return result;
}

string_descriptor remove_all(const string_descriptor& source, const string_descriptor& search) {
    string_descriptor result;
    if (error_is_pending()) return result;
    strings_module.after(6);
    strings_module.after(7);
    if (search.length() == 0) return source;
    string_descriptor work;
    string_assign(work, source);
    strings_module.after(9);
    const string_descriptor key = string_lower(search);
    strings_module.after(10);
    int32_t found = string_instr(1, string_lower(work), key);
    strings_module.after(11);
    while (strings_module.test(12, found != 0)) {
        string_assign(work, string_concat(string_left(work, found - 1),
                                          string_right(work, work.length() - found - key.length() + 1)));
        strings_module.after(13);
        found = string_instr(1, string_lower(work), key);
        strings_module.after(14);
    }
    string_assign(result, work);
    strings_module.after(16);
    return result;
}
