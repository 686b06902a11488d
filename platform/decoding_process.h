// The confined decoding process: every picture is decoded by the program itself started again,
// under a system-call filter and limits, so that no picture file can harm the program. Any
// program that links this module serves as its own decoding process.
#pragma once

#include <cstdint>
#include <optional>

struct decoding_limits {
    uint64_t pixels = 0;  // the most pixels a picture may have; 0: no limit
    uint64_t memory = 0;  // bytes the decoding may take beyond the process's start; 0: no limit
};

// Pixels decoded by a decoding process, mapped read-only until destroyed.
class decoded_pixels {
  public:
    decoded_pixels(void* mapping, size_t size, int32_t width, int32_t height);
    ~decoded_pixels();
    decoded_pixels(decoded_pixels&& other) noexcept;
    decoded_pixels(const decoded_pixels&) = delete;
    decoded_pixels& operator=(const decoded_pixels&) = delete;
    decoded_pixels& operator=(decoded_pixels&&) = delete;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // width x height pixels of red, green, blue and alpha bytes, row by row from the top.
    const uint8_t* rgba() const;

  private:
    void* mapping_;
    size_t size_;
    int32_t width_;
    int32_t height_;
};

// The picture in the regular file open at `file`, read whole (`size` bytes, fewer when it
// shrinks meanwhile), decoded in a decoding process that ends within a few seconds; nothing
// when it cannot be decoded, has more pixels than `limits` allow, or the process fails in any
// way (a crash, a forbidden system call, a limit, a malformed answer).
std::optional<decoded_pixels> decode_file_confined(int file, uint64_t size, const decoding_limits& limits);

// For the confinement test: what a decoding process tries once confined, before decoding.
enum class decoding_probe : uint32_t { none, open_file, run_program };
void set_decoding_probe(decoding_probe probe);
