// Picture loading: a file recognised by its content and decoded, in a confined process of its
// own, into a new 32-bit image.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/screen.h"

// A new 32-bit image of the picture in file `name`, or -1 when the file cannot be read or
// decoded (never a run-time error); only a regular file is read. Depth 32 or none (another
// depth: 5 and 0); without a depth the destination must not be the text mode 0 (else 5 and 0).
// 0 while an error is pending.
image_handle load_image_file(const string_descriptor& name, std::optional<int32_t> depth = std::nullopt);

// Pictures of more than `pixels` pixels give -1, as if their memory could not be had: for the
// fuzzer, whose memory is limited. 0, the start-up value, leaves the limit to the memory the
// program may use: the least of the machine's, its cgroup's and its address-space limit (half
// of it for a picture's pixels and its image).
void set_picture_pixel_limit(uint64_t pixels);
