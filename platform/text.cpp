#include "platform/text.h"

#include <malloc.h>

#include <cstring>
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

// True when `a` and `b` bytes joined stay within a text's 32-bit length; else the critical error.
bool joined_length_fits(size_t a, size_t b) {
    if (static_cast<int64_t>(a) + static_cast<int64_t>(b) <= std::numeric_limits<int32_t>::max()) return true;
    raise_error(error_number::text_out_of_memory);
    return false;
}

int32_t clamp_count(int32_t n, int32_t length) {
    if (n < 0) return 0;
    return n > length ? length : n;
}

}  // namespace

void keep_text_memory() {
    // Every block from the heap, none mapped on its own, and the heap never trimmed.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, -1);
}

string_descriptor string_chr(int32_t code) {
    if (code < 0 || code > 255) {
        raise_error(error_number::illegal_function_call);
        return {};
    }
    return make_text([code] { return std::string(1, static_cast<char>(code)); });
}

string_descriptor string_concat(const string_descriptor& a, const string_descriptor& b) {
    if (!joined_length_fits(a.bytes.size(), b.bytes.size())) return {};
    return make_text([&] {
        std::string joined;
        joined.reserve(a.bytes.size() + b.bytes.size());
        joined.append(a.bytes).append(b.bytes);
        return joined;
    });
}

void string_assign(string_descriptor& a, const string_descriptor& b) {
    if (&a == &b) return;
    // Into a's own memory when it is large enough: a long text assigned again and again (the
    // template passes') then takes no fresh memory each time.
    try {
        a.bytes.assign(b.bytes);
    } catch (const std::bad_alloc&) {
        a.bytes.clear();
        raise_error(error_number::text_out_of_memory);
    }
}

void string_append(string_descriptor& a, std::string_view bytes) {
    if (!joined_length_fits(a.bytes.size(), bytes.size())) return;
    try {
        a.bytes.append(bytes);
    } catch (const std::bad_alloc&) {
        raise_error(error_number::text_out_of_memory);
    }
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
        for (char& byte : lowered) byte = byte_lower(byte);
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
    // memmem takes time in proportion to the text searched, whatever the key.
    const char* from = text.bytes.data() + (start - 1);
    const void* found = memmem(from, static_cast<size_t>(text_length - start + 1), key.bytes.data(), key.bytes.size());
    return found == nullptr ? 0 : static_cast<int32_t>(static_cast<const char*>(found) - text.bytes.data() + 1);
}

int32_t string_instr(const string_descriptor& text, const string_descriptor& key) {
    return string_instr(1, text, key);
}

int32_t string_not_equal(const string_descriptor& a, const string_descriptor& b) {
    return a.bytes == b.bytes ? 0 : -1;
}
