// A fake audio sink for the tone stream: it keeps every block queued on it in order, plays
// them only when told, and records the most buffers it ever held at once.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/tone_stream.h"

class tone_sink_double final : public audio_sink {
  public:
    int32_t take_back_played() override {
        const int32_t played = played_;
        played_ = 0;
        held_ -= played;
        ++calls;
        return played;
    }
    void queue_block(const tone_block& block) override {
        blocks.push_back(block);
        ++calls;
        ++held_;
        if (held_ > most_held) most_held = held_;
    }
    bool is_playing() override {
        ++calls;
        return playing;
    }
    void start_playing() override {
        playing = true;
        ++calls;
        ++starts;
    }

    // Marks the oldest `count` held buffers as played; the source stops when it runs dry.
    void play(int32_t count) {
        played_ = std::min(held_, played_ + count);
        if (played_ >= held_) playing = false;
    }
    int32_t held() const { return held_; }

    std::vector<tone_block> blocks;
    int32_t most_held = 0;
    int32_t calls = 0;  // of any kind
    int32_t starts = 0;
    bool playing = false;

  private:
    int32_t held_ = 0;
    int32_t played_ = 0;
};
