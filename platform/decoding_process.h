// The confined decoding process: every picture is decoded by the program itself started again,
// under a system-call filter and limits, so that no picture file can harm the program. Any
// program that links this module serves as its own decoding process.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/screen.h"

struct decoding_limits {
    uint64_t pixels = 0;  // the most pixels a picture may have; 0: no limit
    uint64_t memory = 0;  // bytes the decoding may take beyond the process's start; 0: no limit
};

// A decoding process's answer: the decoded picture's sides, its pixels to be read.
class decoded_picture {
  public:
    decoded_picture(int answer, int32_t width, int32_t height);
    ~decoded_picture();
    decoded_picture(decoded_picture&& other) noexcept;
    decoded_picture(const decoded_picture&) = delete;
    decoded_picture& operator=(const decoded_picture&) = delete;
    decoded_picture& operator=(decoded_picture&&) = delete;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // Reads the width x height pixels, color32 values in rows from the top, into `pixels`;
    // false when they cannot be read.
    bool read_pixels(color32* pixels) const;

  private:
    int answer_;
    int32_t width_;
    int32_t height_;
};

// The picture in the regular file open at `file`, read whole (`size` bytes, fewer when it
// shrinks meanwhile), decoded in a decoding process that ends within a few seconds; nothing
// when it cannot be decoded, has more pixels than `limits` allow, or the process fails in any
// way (a crash, a forbidden system call, a limit, a malformed answer).
std::optional<decoded_picture> decode_file_confined(int file, uint64_t size, const decoding_limits& limits);

// For the confinement test: what a decoding process tries once confined, before decoding.
enum class decoding_probe : uint32_t { none, open_file, run_program };
void set_decoding_probe(decoding_probe probe);
