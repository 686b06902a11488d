// What the window layer offers the other X11 pieces (dropped files, the error box): whether
// the program's window exists, its X window id, and the window layer's own X connection,
// which the main thread services beside FreeGLUT's (FreeGLUT drops every X event it does not
// know, such as the drag-and-drop messages, so they must arrive on a connection of ours).
#pragma once

#include <X11/Xlib.h>

#include <functional>

// True once the program's window has been created.
bool window_exists();
// Returns once the program's window exists, looking every 100 ms.
void wait_for_window();
// The program's X window id (0 before it exists); valid on every X connection.
Window program_x_window();

// A handler for events of the window layer's own connection, called on the main thread; true
// when it took the event.
using x_event_handler = std::function<bool(Display* connection, XEvent& event)>;
void add_x_event_handler(x_event_handler handler);
// Runs `task` on the main thread at its next pass, with the own connection and the program's
// X window (any thread may ask; the window must exist).
void run_on_window_thread(std::function<void(Display* connection, Window program_window)> task);
