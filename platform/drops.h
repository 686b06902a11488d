// The pending drop: the last batch of items dropped on the window that has not been released.
// The window thread sets it; the converter reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/text.h"

// Item count of the pending drop; 0 when none is pending.
int32_t dropped_file_count();
// The full path of item `index` (1-based) of the pending drop; empty outside 1..count. Paths
// come whole, up to the longest the system takes: a name cut short would make an existing
// file look missing.
string_descriptor dropped_file_name(int32_t index);
// Without an index: the items one after another, releasing the drop after the last.
string_descriptor dropped_file_name();
// Releases the pending drop.
void finish_file_drop();

// Makes `items` the pending drop, replacing one still pending (window thread).
void set_pending_drop(std::vector<std::string> items);
