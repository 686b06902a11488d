// X11 helpers of the whole-program tests: finding the program's windows by title, reading
// what the error box says, typing keys into a window and closing it.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/message_box_x11.h"
#include "support/screen_text.h"
#include "support/x_screenshot.h"

// Reading a window that is being resized or has just gone fails; the test looks again.
inline int ignore_x_error(Display*, XErrorEvent*) { return 0; }

// True once `condition` holds, looking every 50 ms until `limit` has passed.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The window titled `title` at or below `window`, or 0.
inline Window find_titled(Display* x, Window window, const std::string& title) {
    char* name = nullptr;
    if (XFetchName(x, window, &name) && name) {
        const bool match = title == name;
        XFree(name);
        if (match) return window;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(x, window, &root, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) found = find_titled(x, children[i], title);
    if (children) XFree(children);
    return found;
}

// The viewable window titled `title`, once it comes; 0 when none comes in time.
inline Window window_titled(Display* x, const std::string& title) {
    Window found = 0;
    const bool shown = eventually([&] {
        found = find_titled(x, DefaultRootWindow(x), title);
        XWindowAttributes attributes{};
        return found != 0 && XGetWindowAttributes(x, found, &attributes) && attributes.map_state == IsViewable;
    });
    return shown ? found : 0;
}

// True once the error box `box` shows exactly `text`'s lines in the program's font.
inline bool box_shows(Display* x, Window box, const std::string& text) {
    const std::vector<std::string> lines = message_box_lines(text);
    const message_box_layout layout = layout_message_box(lines, box_buttons::yes_no);
    return eventually([&] {
        const x_screenshot shot = capture_window(x, box);
        if (shot.width != layout.width || shot.height != layout.height) return false;
        return box_text_pixels_differing(shot, layout, lines) == 0;
    });
}

// Where a window's client area lies on the screen, and its size.
struct window_placement {
    int x, y, width, height;
    bool operator==(const window_placement&) const = default;
};

inline void PrintTo(const window_placement& p, std::ostream* out) {
    *out << p.width << "x" << p.height << " at " << p.x << "," << p.y;
}

// `window`'s placement now.
inline window_placement placement_of(Display* x, Window window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(x, window, &attributes);
    int left = 0, top = 0;
    Window child;
    XTranslateCoordinates(x, window, DefaultRootWindow(x), 0, 0, &left, &top, &child);
    return {left, top, attributes.width, attributes.height};
}

// Sends `window` the window manager's close request (WM_DELETE_WINDOW), as its close box does.
inline void send_close_box(Display* x, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, window, False, NoEventMask, &event);
    XFlush(x);
}

// Watches the top-level windows of `x` go. Each error box comes on a connection of its own, and
// the next may get the same window id: so an answered box is known gone by its destruction, not
// by its id.
class destruction_watch {
  public:
    explicit destruction_watch(Display* x) : x_(x) { XSelectInput(x_, DefaultRootWindow(x_), SubstructureNotifyMask); }

    // True once `window` has been destroyed since the last look.
    bool gone(Window window) {
        XEvent event;
        while (XCheckTypedEvent(x_, DestroyNotify, &event))
            if (event.xdestroywindow.window == window) return true;
        return false;
    }

  private:
    Display* x_;
};

// Focuses `window` and types `keys` (xdotool key names) on the display of DISPLAY.
inline bool type_keys(Window window, const std::string& keys) {
    const std::string id = std::to_string(window);
    return std::system(("xdotool windowfocus --sync " + id + " >/dev/null 2>&1").c_str()) == 0 &&
           std::system(("xdotool key --delay 40 " + keys + " >/dev/null 2>&1").c_str()) == 0;
}

// The error box of a picture that cannot be loaded: 258 "Invalid handle" at step 41.
inline const std::string invalid_picture_box_title = "Unhandled Error #258 - morvane";

// True when the error box `box` is that of a picture that cannot be loaded, and Yes was typed.
inline bool answer_invalid_picture_box(Display* x, Window box) {
    return box_shows(x, box, "Line: 41 (in main module)\nInvalid handle\nContinue?") && type_keys(box, "Return");
}
