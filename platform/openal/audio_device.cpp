// OpenAL Soft backend of the tone stream.
// - The default output device only, opened once at start-up and never reopened.
// - One source and four buffers (16-bit stereo, 44100 Hz), made when the first block comes.
// - No device, or a source that cannot be made: the blocks are dropped as if played, silently
//   and without an error. A device lost later just stops sounding.
// - Used from the housekeeping thread only (opened before it starts).
#include "platform/openal/audio_device.h"
#include "platform/lasting_state.h"
#include "platform/timing.h"

#include <AL/al.h>
#include <AL/alc.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/tone_stream.h"

namespace {

class openal_output final : public audio_sink {
  public:
    void open();
    void close();
    int32_t take_back_played() override;
    void queue_block(const tone_block& block) override;
    bool is_playing() override;
    void start_playing() override;

  private:
    bool ensure_source();
    void unqueue(ALsizei count);

    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
    bool source_made_ = false;
    bool source_failed_ = false;
    ALuint source_ = 0;
    std::array<ALuint, tone_sink_buffers> buffers_{};
    std::vector<ALuint> free_buffers_;
    // Blocks that found no buffer to go into, and buffers taken back outside take_back_played:
    // they count as played at the next take-back.
    int32_t played_elsewhere_ = 0;
    // Buffers queued since the last take-back.
    int32_t queued_since_take_back_ = 0;
};

void openal_output::open() {
    device_ = alcOpenDevice(nullptr);
    if (!device_) return;
    context_ = alcCreateContext(device_, nullptr);
    if (!context_ || !alcMakeContextCurrent(context_)) {
        if (context_) alcDestroyContext(context_);
        alcCloseDevice(device_);
        context_ = nullptr;
        device_ = nullptr;
        return;
    }
    alListener3f(AL_POSITION, 0, 0, 0);
    alListener3f(AL_VELOCITY, 0, 0, 0);
    alDistanceModel(AL_LINEAR_DISTANCE_CLAMPED);
}

void openal_output::close() {
    if (!device_) return;
    if (source_made_) {
        alDeleteSources(1, &source_);
        alDeleteBuffers(tone_sink_buffers, buffers_.data());
        source_made_ = false;
    }
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context_);
    alcCloseDevice(device_);
    context_ = nullptr;
    device_ = nullptr;
}

// Makes the source and its buffers at the first block; false when there is no sound to make.
bool openal_output::ensure_source() {
    if (source_made_) return true;
    if (!device_ || source_failed_) return false;
    alGetError();
    alGenSources(1, &source_);
    if (alGetError() != AL_NO_ERROR) {
        source_failed_ = true;
        return false;
    }
    alGenBuffers(tone_sink_buffers, buffers_.data());
    if (alGetError() != AL_NO_ERROR) {
        alDeleteSources(1, &source_);
        source_failed_ = true;
        return false;
    }
    free_buffers_.assign(buffers_.begin(), buffers_.end());
    source_made_ = true;
    return true;
}

// Takes the oldest `count` buffers off the source into the free list.
void openal_output::unqueue(ALsizei count) {
    std::array<ALuint, tone_sink_buffers> done{};
    count = count < tone_sink_buffers ? count : tone_sink_buffers;
    alSourceUnqueueBuffers(source_, count, done.data());
    free_buffers_.insert(free_buffers_.end(), done.begin(), done.begin() + count);
}

int32_t openal_output::take_back_played() {
    int32_t played = played_elsewhere_;
    played_elsewhere_ = 0;
    queued_since_take_back_ = 0;
    if (!source_made_) return played;
    ALint processed = 0;
    alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
    if (processed <= 0) return played;
    unqueue(processed);
    return played + processed;
}

void openal_output::queue_block(const tone_block& block) {
    if (!ensure_source() || free_buffers_.empty()) {
        ++played_elsewhere_;
        return;
    }
    const ALuint buffer = free_buffers_.back();
    free_buffers_.pop_back();
    alBufferData(buffer, AL_FORMAT_STEREO16, block.data(), static_cast<ALsizei>(sizeof(block)), tone_frames_per_second);
    alSourceQueueBuffers(source_, 1, &buffer);
    ++queued_since_take_back_;
}

bool openal_output::is_playing() {
    // Without a source there is nothing to start.
    if (!source_made_) return true;
    ALint state = 0;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

void openal_output::start_playing() {
    // A source that ran dry just after the take-back still holds those played buffers ahead of
    // the new ones, and alSourcePlay would play them again: take them back first.
    ALint state = 0;
    ALint queued = 0;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    alGetSourcei(source_, AL_BUFFERS_QUEUED, &queued);
    const ALint stale = queued - queued_since_take_back_;
    if (state == AL_STOPPED && stale > 0) {
        unqueue(stale);
        played_elsewhere_ += stale;
    }
    alSourcePlay(source_);
}

openal_output& audio_output() { return lasting_state<openal_output>(); }

}  // namespace

void open_audio_device() { audio_output().open(); }

void service_audio() { program_tone_stream().service(audio_output(), process_clock_ms()); }

void stop_sound_output() { program_tone_stream().stop_output(); }

void close_audio_device() {
    stop_sound_output();
    audio_output().close();
}
