// The confined decoding process: pictures are decoded by the program itself started again,
// under a system-call filter and limits, so that no picture file can harm the program. Any
// program that links this module serves as its own decoding process.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "platform/screen.h"

struct decoding_limits {
    uint64_t pixels = 0;  // the most pixels a picture may have; 0: no limit
    uint64_t memory = 0;  // bytes for the picture's file and its decoding; 0: no limit
};

// A picture that the decoding process decoded: its sides and its pixels, color32 values in
// rows from the top. They stay where the decoding put them, in memory that the process shares
// with the program, and it decodes no other picture there until they are given back: when
// this is destroyed, or by the function that hand_over returns.
class decoded_picture {
  public:
    decoded_picture(int32_t width, int32_t height, color32* pixels, std::function<void()> give_back);
    ~decoded_picture();
    decoded_picture(decoded_picture&& other) noexcept;
    decoded_picture(const decoded_picture&) = delete;
    decoded_picture& operator=(const decoded_picture&) = delete;
    decoded_picture& operator=(decoded_picture&&) = delete;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    color32* pixels() const { return pixels_; }
    // For whoever keeps the pixels from now on: what gives them back.
    std::function<void()> hand_over() { return std::exchange(give_back_, {}); }

  private:
    int32_t width_;
    int32_t height_;
    color32* pixels_;
    std::function<void()> give_back_;
};

// The picture in the regular file open at `file`, read whole (`size` bytes, fewer when it
// shrinks meanwhile), decoded in the decoding process within a few seconds; nothing when it
// cannot be decoded, has more pixels than `limits` allow, or the process fails in any way (a
// crash, a forbidden system call, a limit, a malformed answer). The process is kept for the
// next picture while it answers soundly, and ended after anything else.
std::optional<decoded_picture> decode_file_confined(int file, uint64_t size, const decoding_limits& limits);

// For the confinement test: what a decoding process tries once confined, before decoding.
enum class decoding_probe : uint32_t { none, open_file, run_program };
void set_decoding_probe(decoding_probe probe);
