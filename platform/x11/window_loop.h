// The window's side of start-up and of the housekeeping thread: the main thread's window and
// event loop, the frames it draws, and the close box.
#pragma once

#include "platform/screen.h"

// Makes the window (640 x 400, the stored title or "Untitled") and runs its event loop on the
// calling thread, the main thread, until the process ends. `program_name` is argv[0], the only
// argument FreeGLUT sees.
[[noreturn]] void run_window(char* program_name);

// Hands a newly built frame to the window, which draws it at its next pass (housekeeping).
void offer_display_frame(const display_frame& frame);

// True once the window's close box has been pressed or another client has destroyed the
// window; either ends the program.
bool window_closed();
