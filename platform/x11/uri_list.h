// Turning a dropped text/uri-list into the names of the dropped items.
// Limits: only file URIs of this host become names (no other scheme, no remote host, no
// query or fragment handling: "?" and "#" are bytes of the path like any other).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The longest path the system takes (PATH_MAX less its terminating zero).
inline constexpr std::size_t longest_dropped_path = 4095;

// One name per item of `list`, in the list's order: the local path of a file URI on this host
// (`host_name`, "localhost" or none), percent-decoded, or the empty text for every other item.
// Lines end at LF (a CR before it belongs to the line end), lines starting with "#" and empty
// lines carry no item, and the list ends at its first zero byte.
std::vector<std::string> parse_uri_list(std::string_view list, std::string_view host_name);

// This machine's host name as file URIs name it (gethostname); empty when it has none.
std::string this_host_name();
