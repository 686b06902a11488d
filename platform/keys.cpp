#include "platform/keys.h"
#include "platform/lasting_state.h"

#include <array>
#include <atomic>
#include <mutex>
#include <string>

#include "platform/errors.h"
#include "platform/program_control.h"

namespace {

struct queued_key {
    uint8_t character = 0;
    uint8_t scan_code = 0;
};

// The ring of 16 slots that always keeps one free, so at most 15 keys wait. The window thread
// writes `next_free`, the converter thread `oldest`; both only under `lock`, which is never
// held across a wait.
struct key_ring {
    static constexpr int slot_count = 16;
    std::mutex lock;
    std::array<queued_key, slot_count> slots;
    int oldest = 0;
    int next_free = 0;
};

key_ring& ring() { return lasting_state<key_ring>(); }

}  // namespace

void push_key(uint8_t character, uint8_t scan_code) {
    key_ring& keys = ring();
    std::lock_guard hold(keys.lock);
    const int after = (keys.next_free + 1) % key_ring::slot_count;
    if (after == keys.oldest) return;
    keys.slots[keys.next_free] = {character, scan_code};
    keys.next_free = after;
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
        std::lock_guard hold(keys.lock);
        if (keys.oldest == keys.next_free) return {};
        key = keys.slots[keys.oldest];
        keys.oldest = (keys.oldest + 1) % key_ring::slot_count;
    }
    if (key.character != 0 || key.scan_code == 0) return string_descriptor(std::string(1, static_cast<char>(key.character)));
    return string_descriptor(std::string{'\0', static_cast<char>(key.scan_code)});
}
