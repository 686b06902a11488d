#include "platform/x11/x_errors.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/errors.h"
#include "platform/process_end.h"
#include "platform/program_control.h"
#include "platform/x11/window_layer.h"
#include "platform/x11/window_loop.h"

namespace {

// Written once at start-up, before any other thread runs; read by the handlers on any thread.
std::atomic<XErrorHandler> xlib_error_handler{nullptr};
// Written once by the main thread; read by the handler on any thread.
std::atomic<Display*> glut_connection{nullptr};
// Set by the first thread that finds the X server gone.
std::atomic<bool> display_lost{false};

bool ignored_on_glut_connection(const XErrorEvent& error) {
    const Window window = program_x_window();
    return (window != 0 && error.resourceid == window) || window_closed() ||
           stop_program.load(std::memory_order_acquire);
}

int on_protocol_error(Display* connection, XErrorEvent* error) {
    if (connection != glut_connection.load() || ignored_on_glut_connection(*error)) return 0;
    const XErrorHandler xlib = xlib_error_handler.load();
    return xlib ? xlib(connection, error) : 0;
}

// Xlib ends the process itself if this returns, with exit(), on this thread and on any other
// that notices at the same moment: so it never returns. The loss of the display is no normal
// ending of a run: the exit code is 1, as Xlib's own handler gives, so that whoever started
// the program can tell.
int on_display_lost(Display* connection) {
    if (display_lost.exchange(true)) {
        for (;;) pause();
    }
    std::fprintf(stderr, "%s: lost the X display %s\n", executable_name().c_str(), DisplayString(connection));
    end_process(1);
}

}  // namespace

void install_x_error_handlers() {
    xlib_error_handler.store(XSetErrorHandler(on_protocol_error));
    XSetIOErrorHandler(on_display_lost);
}

void watch_glut_connection(Display* connection) { glut_connection.store(connection); }
