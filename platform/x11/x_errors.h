// The program's X error handlers. Xlib keeps one protocol-error handler and one I/O-error
// handler for the whole process, so these serve every connection of the program: FreeGLUT's,
// the window layer's own (which also carries the drop target's proxy), and each error box's.
#pragma once

#include <X11/Xlib.h>

// Installs both handlers; at start-up, before any connection is opened.
// - Losing the X server, noticed on any connection by any thread, ends the process at once
//   with exit code 1, once: a second thread that notices it waits for that end.
// - Protocol errors on the program's own connections are ignored: their requests are about
//   windows that other clients may destroy at any moment. On FreeGLUT's connection they keep
//   Xlib's handling (they are faults of the program), except those about the program's
//   window, which another client may destroy too, and all of them once the window is gone
//   or the program's end has begun.
void install_x_error_handlers();

// Tells the handlers which connection is FreeGLUT's (the main thread, once it has one).
void watch_glut_connection(Display* connection);
