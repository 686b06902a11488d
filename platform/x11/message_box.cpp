// The error box as a small X11 dialog, shown by the thread that raises it on a display
// connection of its own. Limits: no window manager is asked for true system modality (X11 has
// none): the dialog is a transient of the program's window once that exists, typed
// _NET_WM_WINDOW_TYPE_DIALOG and kept above with _NET_WM_STATE_ABOVE. Text is drawn 1:1 in the
// program's 8 x 16 code page 437 font on a fixed grey; the close box does nothing.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdint>

#include "platform/cp437_font.h"
#include "platform/x11/message_box_x11.h"
#include "platform/x11/window_layer.h"

namespace {

constexpr int margin = 16;
constexpr int line_height = 16;
constexpr int glyph_width = 8;
constexpr int button_width = 80;
constexpr int button_height = 26;
constexpr int button_gap = 12;

// One open dialog; owned by the thread that shows it.
struct dialog {
    Display* connection = nullptr;
    Window window = 0;
    GC pen = nullptr;
    unsigned long ink = 0;
    unsigned long paper = 0;
    std::vector<std::string> lines;
    message_box_layout layout;
};

unsigned long colour_pixel(Display* connection, unsigned long rgb) {
    XColor colour{};
    colour.red = static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 257);
    colour.green = static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 257);
    colour.blue = static_cast<unsigned short>((rgb & 0xFF) * 257);
    const Colormap map = DefaultColormap(connection, DefaultScreen(connection));
    return XAllocColor(connection, map, &colour) ? colour.pixel : BlackPixel(connection, DefaultScreen(connection));
}

// Adds the set pixels of `text` drawn at (x, y) to `points`.
void add_text_points(const std::string& text, int x, int y, std::vector<XPoint>& points) {
    for (size_t index = 0; index < text.size(); ++index) {
        const uint8_t* glyph = cp437_font[static_cast<uint8_t>(text[index])];
        for (int row = 0; row < 16; ++row) {
            for (int column = 0; column < 8; ++column) {
                if (glyph[row] & (0x80 >> column)) {
                    points.push_back({static_cast<short>(x + static_cast<int>(index) * glyph_width + column),
                                      static_cast<short>(y + row)});
                }
            }
        }
    }
}

void draw(dialog& box) {
    XSetForeground(box.connection, box.pen, box.paper);
    XFillRectangle(box.connection, box.window, box.pen, 0, 0, box.layout.width, box.layout.height);
    std::vector<XPoint> points;
    for (size_t line = 0; line < box.lines.size(); ++line) {
        add_text_points(box.lines[line], box.layout.text_x, box.layout.text_y + static_cast<int>(line) * line_height, points);
    }
    XSetForeground(box.connection, box.pen, box.ink);
    for (size_t index = 0; index < box.layout.buttons.size(); ++index) {
        const auto& button = box.layout.buttons[index];
        XDrawRectangle(box.connection, box.window, box.pen, button.x, button.y, button.width - 1, button.height - 1);
        if (index == 0) {  // the default button has a double border
            XDrawRectangle(box.connection, box.window, box.pen, button.x + 1, button.y + 1, button.width - 3, button.height - 3);
        }
        const int label_x = button.x + (button.width - static_cast<int>(button.label.size()) * glyph_width) / 2;
        add_text_points(button.label, label_x, button.y + (button.height - line_height) / 2, points);
    }
    XDrawPoints(box.connection, box.window, box.pen, points.data(), static_cast<int>(points.size()), CoordModeOrigin);
    XFlush(box.connection);
}

void set_atom_property(Display* connection, Window window, const char* property, const char* value) {
    Atom atom = XInternAtom(connection, value, False);
    XChangeProperty(connection, window, XInternAtom(connection, property, False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&atom), 1);
}

// Makes the dialog's window, typed and placed as a dialog above the program's window.
void open_window(dialog& box, const std::string& title) {
    Display* connection = box.connection;
    const int screen = DefaultScreen(connection);
    box.ink = colour_pixel(connection, message_box_ink);
    box.paper = colour_pixel(connection, message_box_background);
    const int x = std::max(0, (DisplayWidth(connection, screen) - box.layout.width) / 2);
    const int y = std::max(0, (DisplayHeight(connection, screen) - box.layout.height) / 2);
    box.window = XCreateSimpleWindow(connection, RootWindow(connection, screen), x, y, box.layout.width,
                                     box.layout.height, 0, box.ink, box.paper);
    XStoreName(connection, box.window, title.c_str());
    XSizeHints* hints = XAllocSizeHints();
    if (hints) {
        hints->flags = PPosition | PMinSize | PMaxSize;
        hints->x = x;
        hints->y = y;
        hints->min_width = hints->max_width = box.layout.width;
        hints->min_height = hints->max_height = box.layout.height;
        XSetWMNormalHints(connection, box.window, hints);
        XFree(hints);
    }
    // With WM_DELETE_WINDOW in its protocols the window manager asks instead of killing us,
    // and the question is ignored: a Yes/No box has no cancel.
    Atom delete_window = XInternAtom(connection, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(connection, box.window, &delete_window, 1);
    if (const Window owner = program_x_window()) XSetTransientForHint(connection, box.window, owner);
    set_atom_property(connection, box.window, "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG");
    set_atom_property(connection, box.window, "_NET_WM_STATE", "_NET_WM_STATE_ABOVE");
    XSelectInput(connection, box.window, ExposureMask | KeyPressMask | ButtonPressMask | StructureNotifyMask);
    box.pen = XCreateGC(connection, box.window, 0, nullptr);
    XMapRaised(connection, box.window);
}

// The answer an event gives, if any.
bool answer_of(const dialog& box, XEvent& event, box_buttons buttons, box_answer& answer) {
    const box_answer first = buttons == box_buttons::ok ? box_answer::ok : box_answer::yes;
    if (event.type == KeyPress) {
        const KeySym key = XLookupKeysym(&event.xkey, 0);
        if (key == XK_Return || key == XK_KP_Enter || key == XK_space || (key == XK_y && buttons == box_buttons::yes_no)) {
            answer = first;
            return true;
        }
        if (key == XK_n && buttons == box_buttons::yes_no) {
            answer = box_answer::no;
            return true;
        }
    } else if (event.type == ButtonPress && event.xbutton.button == Button1) {
        for (const auto& button : box.layout.buttons) {
            if (event.xbutton.x >= button.x && event.xbutton.x < button.x + button.width &&
                event.xbutton.y >= button.y && event.xbutton.y < button.y + button.height) {
                answer = button.answer;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

box_answer show_x11_message_box(const std::string& title, const std::string& text, box_buttons buttons) {
    dialog box;
    box.connection = XOpenDisplay(nullptr);
    if (!box.connection) return buttons == box_buttons::ok ? box_answer::ok : box_answer::no;
    box.lines = message_box_lines(text);
    box.layout = layout_message_box(box.lines, buttons);
    open_window(box, title);
    box_answer answer = box_answer::no;
    for (bool answered = false; !answered;) {
        XEvent event;
        XNextEvent(box.connection, &event);
        if (event.type == Expose && event.xexpose.count == 0) draw(box);
        if (event.type == MapNotify) XSetInputFocus(box.connection, box.window, RevertToParent, CurrentTime);
        answered = answer_of(box, event, buttons, answer);
    }
    XFreeGC(box.connection, box.pen);
    XDestroyWindow(box.connection, box.window);
    XCloseDisplay(box.connection);
    return answer;
}

std::vector<std::string> message_box_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

message_box_layout layout_message_box(const std::vector<std::string>& lines, box_buttons buttons) {
    message_box_layout layout;
    if (buttons == box_buttons::ok) {
        layout.buttons.push_back({0, 0, button_width, button_height, box_answer::ok, "OK"});
    } else {
        layout.buttons.push_back({0, 0, button_width, button_height, box_answer::yes, "Yes"});
        layout.buttons.push_back({0, 0, button_width, button_height, box_answer::no, "No"});
    }
    size_t longest = 0;
    for (const std::string& line : lines) longest = std::max(longest, line.size());
    const int count = static_cast<int>(layout.buttons.size());
    const int buttons_width = count * button_width + (count - 1) * button_gap;
    const int text_width = static_cast<int>(longest) * glyph_width;
    layout.width = std::max(text_width, buttons_width) + 2 * margin;
    layout.text_x = margin;
    layout.text_y = margin;
    const int buttons_y = margin + static_cast<int>(lines.size()) * line_height + margin;
    layout.height = buttons_y + button_height + margin;
    int x = (layout.width - buttons_width) / 2;
    for (auto& button : layout.buttons) {
        button.x = x;
        button.y = buttons_y;
        x += button_width + button_gap;
    }
    return layout;
}
