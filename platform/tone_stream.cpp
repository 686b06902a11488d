#include "platform/tone_stream.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <cmath>

#include "platform/errors.h"

namespace {

constexpr double ticks_per_second = 18.2;
constexpr double flush_idle_ms = 20;
// Below this the sound waiting counts as none: four blocks (about 372 ms) are always allowed.
constexpr double least_waiting_seconds = 0.375;

// The phase of a triangle wave between -1 and +1 and the way it moves.
struct triangle_phase {
    double phase = 0;
    double step = 0;
    bool rising = true;
};

void turn_at_ends(triangle_phase& wave) {
    if (wave.phase >= 1) {
        wave.phase = 2 - wave.phase;
        wave.rising = false;
    } else if (wave.phase <= -1) {
        wave.phase = -2 - wave.phase;
        wave.rising = true;
    }
}

void advance(triangle_phase& wave) {
    wave.phase += wave.rising ? wave.step : -wave.step;
    turn_at_ends(wave);
    // Above 22050 Hz one step can pass an end by more than the whole range; turning again keeps
    // the phase, and so the 16-bit sample, in range.
    while (std::abs(wave.phase) > 1) turn_at_ends(wave);
}

// trunc(32767 p), moved one step toward 0 as the stream stores it.
int16_t stored_value(double phase) {
    const int32_t value = static_cast<int32_t>(32767 * phase);
    return static_cast<int16_t>(32767 * value / 32768);
}

bool frequency_in_range(double frequency) { return frequency == 0 || (frequency >= 37 && frequency <= 32767); }

bool ticks_in_range(double ticks) { return ticks >= 0 && ticks <= 65535; }

}  // namespace

void cut_at_last_upward_crossing(std::vector<int16_t>& values) {
    for (size_t i = values.size(); i-- > 1;) {
        if (values[i] > 0 && values[i - 1] <= 0) {
            values.resize(i);
            return;
        }
    }
}

std::vector<int16_t> synthesize_tone(double frequency, double seconds) {
    const int64_t frames = std::max<int64_t>(1, static_cast<int64_t>(tone_frames_per_second * seconds));
    triangle_phase wave{.step = 4 * frequency * seconds / (tone_frames_per_second * seconds)};
    std::vector<int16_t> values(static_cast<size_t>(frames));
    for (int16_t& value : values) {
        value = stored_value(wave.phase);
        advance(wave);
    }
    cut_at_last_upward_crossing(values);
    return values;
}

std::optional<double> long_tone_wait(int64_t frames, double waiting_seconds) {
    const int64_t tone_ms = frames * 1000 / tone_frames_per_second;
    const int64_t tone_part = static_cast<int64_t>(0.95 * static_cast<double>(tone_ms));
    if (tone_part <= 250) return std::nullopt;
    const int64_t waiting_ms = static_cast<int64_t>(1000 * waiting_seconds);
    const int64_t waiting_part = std::max<int64_t>(0, static_cast<int64_t>(0.95 * static_cast<double>(waiting_ms)) - 250);
    return static_cast<double>(waiting_part + tone_part - 250) / 1000;
}

void tone_stream::add_frames(const std::vector<int16_t>& values, int64_t now_ms) {
    std::lock_guard lock(mutex_);
    for (const int16_t value : values) {
        filling_[2 * filled_frames_] = value;
        filling_[2 * filled_frames_ + 1] = value;
        if (++filled_frames_ == tone_block_frames) {
            waiting_.push_back(filling_);
            filled_frames_ = 0;
        }
    }
    last_added_ms_ = now_ms;
}

double tone_stream::sound_waiting() const {
    std::lock_guard lock(mutex_);
    const double blocks = static_cast<double>(waiting_.size()) + handed_over_;
    const double seconds = blocks * tone_block_frames / tone_frames_per_second;
    return seconds < least_waiting_seconds ? 0 : seconds;
}

void tone_stream::flush_if_idle(int64_t now_ms) {
    if (!waiting_.empty() || filled_frames_ == 0 || now_ms - last_added_ms_ <= flush_idle_ms) return;
    std::fill(filling_.begin() + 2 * filled_frames_, filling_.end(), int16_t{0});
    waiting_.push_back(filling_);
    filled_frames_ = 0;
}

void tone_stream::service(audio_sink& sink, int64_t now_ms) {
    std::vector<tone_block> handing;
    int32_t handed_over = 0;
    {
        std::lock_guard lock(mutex_);
        if (output_stopped_) return;
        flush_if_idle(now_ms);
    }
    // The sink is the housekeeping thread's own: no lock is held while the audio library works.
    const int32_t played = sink.take_back_played();
    {
        std::lock_guard lock(mutex_);
        handed_over_ = std::max(0, handed_over_ - played);
        while (handed_over_ < tone_sink_buffers && !waiting_.empty()) {
            handing.push_back(waiting_.front());
            waiting_.pop_front();
            ++handed_over_;
        }
        handed_over = handed_over_;
    }
    for (const tone_block& block : handing) sink.queue_block(block);
    if (handed_over > 0 && !sink.is_playing()) sink.start_playing();
}

void tone_stream::stop_output() {
    std::lock_guard lock(mutex_);
    output_stopped_ = true;
}

tone_stream_counts tone_stream::counts() const {
    std::lock_guard lock(mutex_);
    return {.waiting_blocks = static_cast<int32_t>(waiting_.size()),
            .handed_over = handed_over_,
            .filled_frames = filled_frames_};
}

tone_stream& program_tone_stream() { return lasting_state<tone_stream>(); }

std::optional<double> add_tone(tone_stream& stream, double frequency, double ticks, int64_t now_ms) {
    if (error_is_pending()) return std::nullopt;
    if (!frequency_in_range(frequency) || !ticks_in_range(ticks)) {
        raise_error(error_number::illegal_function_call);
        return std::nullopt;
    }
    if (ticks == 0) return std::nullopt;
    const double waiting_seconds = stream.sound_waiting();
    const std::vector<int16_t> values = synthesize_tone(frequency, ticks / ticks_per_second);
    stream.add_frames(values, now_ms);
    return long_tone_wait(static_cast<int64_t>(values.size()), waiting_seconds);
}

void add_beep(tone_stream& stream, int64_t now_ms) { stream.add_frames(synthesize_tone(783.99, 0.2), now_ms); }
