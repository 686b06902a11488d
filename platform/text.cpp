#include "platform/text.h"

#include <limits>
#include <new>
#include <stdexcept>

#include "platform/errors.h"

namespace {


// Every allocation for a text goes through here, so that memory exhaustion, or a text that
// would outgrow its 32-bit length, ends the program as the error convention says.
template <typename Build>
string_descriptor make_text(Build build) {
    try {
        return string_descriptor(build());
    } catch (const std::bad_alloc&) {
        raise_error(error_number::text_out_of_memory);
    } catch (const std::length_error&) {
        raise_error(error_number::text_out_of_memory);
    }
    return {};
}

int32_t clamp_count(int32_t n, int32_t length) {
    if (n < 0) return 0;
    return n > length ? length : n;
}

}  // namespace

string_descriptor string_chr(int32_t code) {
    if (code < 0 || code > 255) {
        raise_error(error_number::illegal_function_call);
        return {};
    }
    return make_text([code] { return std::string(1, static_cast<char>(code)); });
}

string_descriptor string_concat(const string_descriptor& a, const string_descriptor& b) {
    if (static_cast<int64_t>(a.bytes.size()) + static_cast<int64_t>(b.bytes.size()) >
        std::numeric_limits<int32_t>::max()) {
        raise_error(error_number::text_out_of_memory);
        return {};
    }
    return make_text([&] {
        std::string joined;
        joined.reserve(a.bytes.size() + b.bytes.size());
        joined.append(a.bytes).append(b.bytes);
        return joined;
    });
}

void string_assign(string_descriptor& a, const string_descriptor& b) {
    if (&a == &b) return;
    a = make_text([&] { return b.bytes; });
}

string_descriptor string_spaces(int32_t n) {
    if (n <= 0) return {};
    return make_text([n] { return std::string(static_cast<size_t>(n), ' '); });
}

string_descriptor string_left(const string_descriptor& x, int32_t n) {
    const int32_t count = clamp_count(n, x.length());
    return make_text([&] { return x.bytes.substr(0, static_cast<size_t>(count)); });
}

string_descriptor string_right(const string_descriptor& x, int32_t n) {
    const int32_t count = clamp_count(n, x.length());
    return make_text([&] { return x.bytes.substr(static_cast<size_t>(x.length() - count)); });
}

string_descriptor string_lower(const string_descriptor& x) {
    return make_text([&] {
        std::string lowered = x.bytes;
        for (char& byte : lowered) {
            if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte + ('a' - 'A'));
        }
        return lowered;
    });
}

int32_t string_instr(int32_t start, const string_descriptor& text, const string_descriptor& key) {
    // The rules apply in this order; each earlier one wins.
    const int32_t text_length = text.length();
    const int32_t key_length = key.length();
    if (text_length == 0) return 0;
    if (start <= 0) {
        if (key_length == 0) return 0;
        start = 1;
    }
    if (start > text_length) return 0;
    if (key_length == 0) return start;
    if (static_cast<int64_t>(start) + key_length - 1 > text_length) return 0;
    const size_t found = text.bytes.find(key.bytes, static_cast<size_t>(start - 1));
    return found == std::string::npos ? 0 : static_cast<int32_t>(found + 1);
}

int32_t string_instr(const string_descriptor& text, const string_descriptor& key) {
    return string_instr(1, text, key);
}

int32_t string_not_equal(const string_descriptor& a, const string_descriptor& b) {
    return a.bytes == b.bytes ? 0 : -1;
}
