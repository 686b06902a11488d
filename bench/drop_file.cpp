// Drops files on the program's window titled "Morvane" as a user would, so that the idle-cost
// measurement can reach the end screen. Usage: drop_file PATH... (on $DISPLAY); exit status 0
// once the window has taken the drop.
#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "support/converter_x.h"
#include "support/xdnd_source.h"

int main(int argc, char** argv) {
    const char* display = std::getenv("DISPLAY");
    if (argc < 2 || !display) return 2;
    XSetErrorHandler(ignore_x_error);
    Display* x = XOpenDisplay(display);
    if (!x) return 1;
    const Window window = window_titled(x, "Morvane");
    if (!window || !wait_for_drop_target(display, window, std::chrono::seconds(30))) return 1;
    std::string list;
    for (int i = 1; i < argc; ++i) list += "file://" + std::string(argv[i]) + "\r\n";
    const bool taken = drop_uri_list(display, window, list).accepted();
    XCloseDisplay(x);
    return taken ? 0 : 1;
}
