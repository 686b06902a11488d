#include "platform/drops.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <mutex>
#include <utility>

namespace {

// The pending drop. The window thread replaces it (set_pending_drop); the converter reads it
// and releases it. Every field is touched only with `lock` held, so a name always comes
// whole from one drop that has not been released.
struct pending_drop_state {
    std::mutex lock;
    std::vector<std::string> items;  // empty when no drop is pending
    std::size_t next_name = 0;       // the cursor of dropped_file_name without an index
};

pending_drop_state& pending_drop() { return lasting_state<pending_drop_state>(); }

void release_locked() {
    pending_drop().items.clear();
    pending_drop().next_name = 0;
}

}  // namespace

int32_t dropped_file_count() {
    const std::lock_guard guard(pending_drop().lock);
    constexpr std::size_t largest = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::min(pending_drop().items.size(), largest));
}

string_descriptor dropped_file_name(int32_t index) {
    const std::lock_guard guard(pending_drop().lock);
    if (index < 1 || static_cast<std::size_t>(index) > pending_drop().items.size()) return {};
    return string_descriptor(pending_drop().items[static_cast<std::size_t>(index) - 1]);
}

string_descriptor dropped_file_name() {
    const std::lock_guard guard(pending_drop().lock);
    if (pending_drop().next_name >= pending_drop().items.size()) return {};
    string_descriptor name(pending_drop().items[pending_drop().next_name++]);
    if (pending_drop().next_name == pending_drop().items.size()) release_locked();
    return name;
}

void finish_file_drop() {
    const std::lock_guard guard(pending_drop().lock);
    release_locked();
}

void set_pending_drop(std::vector<std::string> items) {
    const std::lock_guard guard(pending_drop().lock);
    pending_drop().items = std::move(items);
    pending_drop().next_name = 0;
}
