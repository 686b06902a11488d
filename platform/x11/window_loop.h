// The window's side of start-up and of the housekeeping thread: the main thread's window and
// event loop, the frames it draws, and the close box.
#pragma once

#include "platform/screen.h"

// Sets up the process for the window's drawing (start-up, before the other threads start):
// without a GPU, Mesa's software renderer draws on the window thread alone. The end screen
// draws a band of a few rows 30 times a second, and waking the renderer's worker threads for
// each band costs several times what drawing it does. A value the user set is kept.
void prepare_window_drawing();

// Makes the window (640 x 400, the stored title or "Untitled") and runs its event loop on the
// calling thread, the main thread, until the process ends. `program_name` is argv[0], the only
// argument FreeGLUT sees.
[[noreturn]] void run_window(char* program_name);

// Hands a newly built frame to the window, which draws it at its next pass (housekeeping).
void offer_display_frame(const display_frame& frame);

// True once the window's close box has been pressed or another client has destroyed the
// window; either ends the program.
bool window_closed();
