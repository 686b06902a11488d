// Shows texts in test failures as quoted bytes, with non-printing bytes escaped.
#pragma once

#include <cstdio>
#include <ostream>

#include "platform/text.h"

inline void PrintTo(const string_descriptor& text, std::ostream* out) {
    *out << '"';
    for (const char c : text.bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && byte != '"' && byte != '\\') {
            *out << c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            *out << escaped;
        }
    }
    *out << "\" (" << text.length() << " bytes)";
}
