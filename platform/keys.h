// The keyboard queue: the window thread adds keys, the converter takes them.
#pragma once

#include <cstdint>

#include "platform/text.h"

// Adds a key (character code, PC scan code); dropped when 15 keys already wait.
void push_key(uint8_t character, uint8_t scan_code);
// A key-down from the window: while the program is paused it ends the pause and is consumed;
// otherwise it joins the queue unless `adds_to_queue` is false (Shift, Ctrl, Alt and the lock
// keys pressed alone).
void key_pressed(uint8_t character, uint8_t scan_code, bool adds_to_queue = true);
// Empties the queue (start-up and tests).
void clear_key_queue();
// The oldest key as a text: its character, or 0 and its scan code when it has no character;
// empty when no key waits or an error is pending. When the queue is empty it first waits until a
// key comes, the window's next display frame is due or an event is pending (at most 100 ms), so
// that a loop that reads keys makes one pass a frame instead of burning a core, and a key is
// answered at once.
string_descriptor read_key_string();
// A display frame has just been built from the screen, or found unchanged (housekeeping thread,
// about every 32 ms): a key read waiting on an empty queue returns, and what the converter draws
// next goes into the next frame.
void display_frame_passed();
// Call after setting event_pending from another thread than the converter's (Pause, the
// shutdown): a key read waiting on an empty queue returns, so the event is checked at once.
void wake_key_reader();
