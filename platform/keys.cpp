#include "platform/keys.h"
#include "platform/lasting_state.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/errors.h"
#include "platform/program_control.h"

namespace {

struct queued_key {
    uint8_t character = 0;
    uint8_t scan_code = 0;
};

// The longest wait on an empty queue, for when no frames are being built (tests).
constexpr auto longest_key_wait = std::chrono::milliseconds(100);

// The ring of 16 slots that always keeps one free, so at most 15 keys wait. The window thread
// writes `next_free`, the converter thread `oldest`, the housekeeping thread `frames_passed`;
// all only under `lock`. `arrived` wakes a key read waiting on an empty queue.
struct key_ring {
    static constexpr int slot_count = 16;
    std::mutex lock;
    std::condition_variable arrived;
    std::array<queued_key, slot_count> slots;
    int oldest = 0;
    int next_free = 0;
    uint64_t frames_passed = 0;

    bool empty() const { return oldest == next_free; }
};

key_ring& ring() { return lasting_state<key_ring>(); }

// Waits, while the queue is empty, until a key comes, a display frame passes or an event is
// pending, or the longest wait is over.
void wait_for_key_or_frame(key_ring& keys, std::unique_lock<std::mutex>& hold) {
    const uint64_t frame = keys.frames_passed;
    keys.arrived.wait_for(hold, longest_key_wait, [&] {
        return !keys.empty() || keys.frames_passed != frame || event_pending.load(std::memory_order_acquire) != 0;
    });
}

}  // namespace

void push_key(uint8_t character, uint8_t scan_code) {
    key_ring& keys = ring();
    std::lock_guard hold(keys.lock);
    const int after = (keys.next_free + 1) % key_ring::slot_count;
    if (after == keys.oldest) return;
    keys.slots[keys.next_free] = {character, scan_code};
    keys.next_free = after;
    keys.arrived.notify_all();
}

void key_pressed(uint8_t character, uint8_t scan_code, bool adds_to_queue) {
    bool was_paused = true;
    if (suspend_program.compare_exchange_strong(was_paused, false, std::memory_order_acq_rel)) return;
    if (adds_to_queue) push_key(character, scan_code);
}

void clear_key_queue() {
    key_ring& keys = ring();
    std::lock_guard hold(keys.lock);
    keys.oldest = keys.next_free = 0;
}

string_descriptor read_key_string() {
    if (error_is_pending()) return {};
    queued_key key;
    {
        key_ring& keys = ring();
        std::unique_lock hold(keys.lock);
        if (keys.empty()) wait_for_key_or_frame(keys, hold);
        if (keys.empty()) return {};
        key = keys.slots[keys.oldest];
        keys.oldest = (keys.oldest + 1) % key_ring::slot_count;
    }
    if (key.character != 0 || key.scan_code == 0) return string_descriptor(std::string(1, static_cast<char>(key.character)));
    return string_descriptor(std::string{'\0', static_cast<char>(key.scan_code)});
}

void display_frame_passed() {
    key_ring& keys = ring();
    std::lock_guard hold(keys.lock);
    ++keys.frames_passed;
    keys.arrived.notify_all();
}

void wake_key_reader() {
    key_ring& keys = ring();
    // Under the lock, so that a reader between its look at event_pending and its sleep is not
    // missed.
    std::lock_guard hold(keys.lock);
    keys.arrived.notify_all();
}
