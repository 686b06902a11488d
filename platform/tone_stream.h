// The tone stream: triangle tones turned into 16-bit stereo frames at 44100 a second, gathered
// in blocks of 4096 frames by the converter thread and handed, block by block, to an audio
// sink by the housekeeping thread. Pure logic: the OpenAL output (platform/openal) is one sink,
// a test's fake another.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

constexpr int32_t tone_frames_per_second = 44100;
constexpr int32_t tone_block_frames = 4096;
// The buffers that the sink holds at most: about 372 ms of sound.
constexpr int32_t tone_sink_buffers = 4;

// One block: 4096 frames of interleaved left and right samples.
using tone_block = std::array<int16_t, 2 * tone_block_frames>;

// The frame values of a triangle tone of `frequency` Hz (0 = silence) lasting `seconds`, one
// value per frame (both channels carry it), cut back at its last upward zero crossing.
std::vector<int16_t> synthesize_tone(double frequency, double seconds);

// Drops the frames from the last upward zero crossing on (the last frame after the first that
// is positive while the one before it is not); values without one stay whole.
void cut_at_last_upward_crossing(std::vector<int16_t>& values);

// The seconds that play_tone waits after queueing a tone of `frames` frames while
// `waiting_seconds` of sound were already waiting; nullopt when the tone is short enough to
// return at once.
std::optional<double> long_tone_wait(int64_t frames, double waiting_seconds);

// Where the housekeeping thread hands the stream's blocks: the audio library's source and its
// buffers, or a test's fake. Called only by tone_stream::service.
class audio_sink {
  public:
    virtual ~audio_sink() = default;
    // Takes back the buffers that have been played; returns how many.
    virtual int32_t take_back_played() = 0;
    // Fills a free buffer with `block` and queues it on the source.
    virtual void queue_block(const tone_block& block) = 0;
    virtual bool is_playing() = 0;
    virtual void start_playing() = 0;
};

// How many blocks are where, for tests and the thread hand-over check.
struct tone_stream_counts {
    int32_t waiting_blocks = 0;
    int32_t handed_over = 0;  // with the sink and not yet taken back
    int32_t filled_frames = 0;  // in the block being filled
};

// The stream between the converter thread, which adds frames, and the housekeeping thread,
// which services the sink. Every field is under `mutex_`; the sink is called without it.
class tone_stream {
  public:
    // Converter thread: appends `values` as frames (each value on both channels) at `now_ms`.
    void add_frames(const std::vector<int16_t>& values, int64_t now_ms);
    // Converter thread: the waiting blocks plus the buffers not yet played, in seconds; 0 below
    // 0.375 s.
    double sound_waiting() const;
    // Housekeeping thread, one pass: flushes an idle partial block with silence, takes back the
    // played buffers, hands the oldest waiting blocks to the free buffers and keeps the sink
    // playing. Does nothing once stop_output has been called.
    void service(audio_sink& sink, int64_t now_ms);
    // Housekeeping thread: from now on service hands nothing more to the sink.
    void stop_output();
    tone_stream_counts counts() const;

  private:
    void flush_if_idle(int64_t now_ms);

    mutable std::mutex mutex_;
    // Written by add_frames (converter thread); flush_if_idle moves the block out.
    tone_block filling_{};
    int32_t filled_frames_ = 0;
    int64_t last_added_ms_ = 0;
    // Pushed by add_frames and flush_if_idle, popped by service.
    std::deque<tone_block> waiting_;
    // Written by service (housekeeping thread); read by sound_waiting.
    int32_t handed_over_ = 0;
    // Written by stop_output (housekeeping thread).
    bool output_stopped_ = false;
};

// The platform layer's one tone stream, used by play_tone, beep and the audio device.
tone_stream& program_tone_stream();

// play_tone without its wait: checks the pending error and the ranges (error 5), adds the
// tone of `frequency` Hz and `ticks` of 1/18.2 s to `stream` at `now_ms`, and returns the wait
// that follows a long tone.
std::optional<double> add_tone(tone_stream& stream, double frequency, double ticks, int64_t now_ms);

// beep without its wait: adds the 783.99 Hz tone of 0.2 s to `stream`, unchecked.
void add_beep(tone_stream& stream, int64_t now_ms);
