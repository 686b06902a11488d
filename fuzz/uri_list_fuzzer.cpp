// Any bytes as a dropped uri-list: the parser must neither crash nor give a name that could
// mislead the file services (one holding a zero byte, a relative one, or one too long).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/x11/uri_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view list(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 1;
    for (const char c : list) lines += c == '\n';
    const auto names = parse_uri_list(list, "morvane-box");
    if (names.size() > lines) std::abort();
    for (const std::string& name : names) {
        if (name.empty()) continue;
        if (name.front() != '/' || name.find('\0') != std::string::npos || name.size() > longest_dropped_path) {
            std::abort();
        }
    }
    return 0;
}
