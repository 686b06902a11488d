// Parsing of text/uri-list drops (RFC 2483) into local paths.
// Limits: file URIs only; a host other than this machine, "localhost" or none gives no path;
// a malformed escape, an escaped zero byte, a raw control byte or a path longer than the
// system takes makes the item's name empty rather than a cut or altered name, which could
// name a different file.
#include "platform/x11/uri_list.h"

#include <climits>
#include <optional>
#include <unistd.h>

namespace {

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The bytes of `text` with every %XX escape decoded; nothing for a malformed escape or one of
// a zero byte (the file services cut a name at its first zero byte).
std::optional<std::string> percent_decoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hex_digit(text[i + 1]);
        const int low = hex_digit(text[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

bool holds_control_byte(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) return true;
    }
    return false;
}

// The still-encoded absolute path of a file URI on this host, or nothing.
std::optional<std::string_view> local_encoded_path(std::string_view uri, std::string_view host_name) {
    constexpr std::string_view scheme = "file:";
    if (uri.size() < scheme.size() || !equal_ignoring_ascii_case(uri.substr(0, scheme.size()), scheme)) {
        return std::nullopt;
    }
    std::string_view rest = uri.substr(scheme.size());
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::size_t path_start = rest.find('/');
        if (path_start == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(0, path_start);
        const bool on_this_host = host.empty() || equal_ignoring_ascii_case(host, "localhost") ||
                                  (!host_name.empty() && equal_ignoring_ascii_case(host, host_name));
        if (!on_this_host) return std::nullopt;
        rest.remove_prefix(path_start);
    }
    if (!rest.starts_with('/')) return std::nullopt;
    return rest;
}

// The name one line of the list gives: its local path, or the empty text.
std::string item_name(std::string_view uri, std::string_view host_name) {
    if (holds_control_byte(uri)) return {};
    const std::optional<std::string_view> encoded = local_encoded_path(uri, host_name);
    if (!encoded) return {};
    std::optional<std::string> path = percent_decoded(*encoded);
    if (!path || path->size() > longest_dropped_path) return {};
    return std::move(*path);
}

}  // namespace

std::vector<std::string> parse_uri_list(std::string_view list, std::string_view host_name) {
    list = list.substr(0, list.find('\0'));
    std::vector<std::string> names;
    while (!list.empty()) {
        const std::size_t end = list.find('\n');
        std::string_view line = list.substr(0, end);
        list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty() || line.starts_with('#')) continue;
        names.push_back(item_name(line, host_name));
    }
    return names;
}

std::string this_host_name() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}
