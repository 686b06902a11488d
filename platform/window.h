// The program's window: title, position, and files dropped on it.
#pragma once

#include <cstdint>

#include "platform/text.h"

// Sets the title bar's text (cut at a zero byte); stored for the window's creation when the
// window does not exist yet.
void set_window_title(const string_descriptor& title);
// Form 1 centres the window on the desktop (waiting until it exists), form 2 places its outer
// top-left corner at (x, y); every other form (0, 3, ...) raises 5.
void move_window(int32_t x, int32_t y, int32_t form);
// Mode 0 or 1 makes the window a drop target, mode 2 stops it; waits until the window exists.
void accept_file_drop(int32_t mode);
