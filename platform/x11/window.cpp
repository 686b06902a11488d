// The program's window on X11 through FreeGLUT, and the window layer's own X connection.
// Limits: one window, single-buffered RGB; frames drawn 1:1 with glDrawPixels, about 60 a
// second at most and only when a new frame came or the window was exposed. Scan codes follow
// the PC keyboard under the server's keymap: a character key's code is found from its keysym,
// so the keypad's digits give the main block's codes. Pause, Break, Scroll Lock and the
// modifier and lock keys are seen on the own connection, beside FreeGLUT's, so a character or
// function key pressed in the same instant as Pause may be taken before or after it. The close
// box makes FreeGLUT destroy its window (it always does); the process ends right after. A
// window destroyed by another client is seen on the own connection (FreeGLUT ignores its
// DestroyNotify) and ends the program as the close box does; FreeGLUT is not called again.
#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/lasting_state.h"
#include "platform/keys.h"
#include "platform/program_control.h"
#include "platform/window.h"
#include "platform/x11/window_layer.h"
#include "platform/x11/window_loop.h"
#include "platform/x11/x_errors.h"

namespace {

using steady = std::chrono::steady_clock;
constexpr auto draw_period = std::chrono::milliseconds(16);

// The title to show. Any thread writes it (set_window_title), the main thread applies it;
// both under `lock`.
struct title_state {
    std::mutex lock;
    std::string title = "Untitled";
    bool changed = false;
};

// The frame the housekeeping thread built last, not yet taken by the main thread; under `lock`.
struct frame_mailbox {
    std::mutex lock;
    display_frame latest;
    bool fresh = false;
};

// Work for the main thread: any thread adds, the main thread takes; under `lock`.
struct window_requests {
    std::mutex lock;
    std::vector<std::function<void()>> tasks;
    std::vector<x_event_handler> handlers;
};

// The main thread's own state; no other thread touches it.
struct window_thread_state {
    Display* own_connection = nullptr;
    Display* glut_connection = nullptr;
    bool open = false;  // false again once FreeGLUT's window is gone
    display_frame drawn;
    int screen_width = 0;
    int screen_height = 0;
    int asked_width = 640;
    int asked_height = 400;
    int client_width = 640;
    int client_height = 400;
    steady::time_point next_draw;
};

struct window_layer_state {
    std::atomic<bool> exists{false};   // set once by the main thread when the window is made
    std::atomic<Window> x_window{0};   // written once by the main thread, before `exists`
    // Set by the main thread when the close box was pressed or another client destroyed the
    // window.
    std::atomic<bool> closed{false};
    title_state title;
    frame_mailbox frames;
    window_requests requests;
    window_thread_state main;
};

window_layer_state& layer() { return lasting_state<window_layer_state>(); }

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void post_task(std::function<void()> task) {
    window_requests& requests = layer().requests;
    std::lock_guard hold(requests.lock);
    requests.tasks.push_back(std::move(task));
}

// --- keys -------------------------------------------------------------------------------

// The keysym of the key that typed `character`, for finding its scan code.
KeySym keysym_of_character(unsigned char character) {
    switch (character) {
        case 0: return XK_2;
        case 8: return XK_BackSpace;
        case 9: return XK_Tab;
        case 13: return XK_Return;
        case 27: return XK_Escape;
        case 28: return XK_backslash;
        case 29: return XK_bracketright;
        case 30: return XK_6;
        case 31: return XK_minus;
        default: break;
    }
    if (character >= 1 && character <= 26) return XK_a + character - 1;  // Ctrl+letter
    return character;  // Latin-1 characters are their own keysyms
}

// The PC set-1 scan code of the main-block key that types `character`; 0 when unknown.
uint8_t scan_code_of_character(unsigned char character) {
    Display* connection = layer().main.own_connection;
    if (!connection) return 0;
    const int keycode = XKeysymToKeycode(connection, keysym_of_character(character));
    return keycode >= 8 && keycode - 8 < 128 ? static_cast<uint8_t>(keycode - 8) : 0;
}

void on_character(unsigned char character, int, int) {
    if (character == 127) {  // Delete: no character on the PC
        key_pressed(0, 83);
        return;
    }
    key_pressed(character, scan_code_of_character(character));
}

// The scan code of a key without a character; 0 for those that add nothing alone.
uint8_t scan_code_of_special(int key) {
    if (key >= GLUT_KEY_F1 && key <= GLUT_KEY_F10) return static_cast<uint8_t>(59 + key - GLUT_KEY_F1);
    switch (key) {
        case GLUT_KEY_F11: return 133;
        case GLUT_KEY_F12: return 134;
        case GLUT_KEY_UP: return 72;
        case GLUT_KEY_DOWN: return 80;
        case GLUT_KEY_LEFT: return 75;
        case GLUT_KEY_RIGHT: return 77;
        case GLUT_KEY_HOME: return 71;
        case GLUT_KEY_END: return 79;
        case GLUT_KEY_PAGE_UP: return 73;
        case GLUT_KEY_PAGE_DOWN: return 81;
        case GLUT_KEY_INSERT: return 82;
        case GLUT_KEY_DELETE: return 83;
        case GLUT_KEY_BEGIN: return 76;
        default: return 0;  // Shift, Ctrl, Alt, Super, Num Lock: seen on the own connection
    }
}

void on_special(int key, int, int) {
    if (key == GLUT_KEY_F4 && (glutGetModifiers() & GLUT_ACTIVE_ALT)) {
        close_requested.store(true, std::memory_order_release);
        return;
    }
    // Shift, Ctrl, Alt and the lock keys come through the own connection, in order with Pause.
    if (const uint8_t scan_code = scan_code_of_special(key)) key_pressed(0, scan_code);
}

// Pause, Break and Scroll Lock, which FreeGLUT drops, and Shift, Ctrl, Alt and the lock keys,
// which must be seen in order with them (Ctrl then Num Lock pauses; Ctrl alone during a pause
// ends it); true when `event` was one of them.
bool take_control_key(XEvent& event) {
    if (event.type != KeyPress) return false;
    const KeySym base = XLookupKeysym(&event.xkey, 0);
    KeySym typed = NoSymbol;
    char ignored[8];
    XLookupString(&event.xkey, ignored, sizeof ignored, &typed, nullptr);
    const bool ctrl = (event.xkey.state & ControlMask) != 0;
    if (typed == XK_Break || base == XK_Break || (ctrl && (base == XK_Pause || base == XK_Scroll_Lock))) {
        close_requested.store(true, std::memory_order_release);
        return true;
    }
    if (base == XK_Pause || (ctrl && base == XK_Num_Lock)) {
        suspend_program.store(true, std::memory_order_release);
        event_pending.store(1, std::memory_order_release);
        wake_key_reader();
        return true;
    }
    if (IsModifierKey(base) || base == XK_Scroll_Lock) {
        key_pressed(0, 0, false);
        return true;
    }
    return false;
}

// --- drawing ----------------------------------------------------------------------------

// Draws rows `top` to `bottom` (exclusive) of the frame taken last where they belong, the
// frame's top-left corner at the window's.
void draw_frame_rows(int32_t top, int32_t bottom) {
    const display_frame& frame = layer().main.drawn;
    if (top >= bottom || frame.rgb.size() < static_cast<size_t>(frame.width) * frame.height * 3) return;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // The frame's rows run from the top; start at the band's top-left corner and draw downwards.
    glRasterPos2f(-1.0f, 1.0f - 2.0f * static_cast<float>(top) / static_cast<float>(frame.height));
    glPixelZoom(1.0f, -1.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glDrawPixels(frame.width, bottom - top, GL_RGB, GL_UNSIGNED_BYTE,
                 frame.rgb.data() + static_cast<size_t>(top) * frame.width * 3);
}

// The whole window: the frame, and black around it when the window is larger.
void draw_frame() {
    window_thread_state& main = layer().main;
    glViewport(0, 0, main.client_width, main.client_height);
    if (main.drawn.width != main.client_width || main.drawn.height != main.client_height) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    draw_frame_rows(0, main.drawn.height);
    glFlush();
}

// Only the rows that changed since the frame before, which the window shows in full: the key
// wait changes one line on every frame, and the rest need not be drawn again.
void draw_changed_rows() {
    const display_frame& frame = layer().main.drawn;
    draw_frame_rows(frame.changed_top, frame.changed_bottom);
    glFlush();
}

void on_reshape(int width, int height) {
    window_thread_state& main = layer().main;
    main.client_width = width;
    main.client_height = height;
}

// The close box, or the window destroyed by another client: the end of the program.
void on_window_gone() {
    layer().main.open = false;
    layer().closed.store(true, std::memory_order_release);
}

// Takes a frame the housekeeping thread built since the last draw, resizes the window to it
// when its size changed, and asks for a redraw; at most once per draw period.
void take_fresh_frame() {
    window_thread_state& main = layer().main;
    const steady::time_point now = steady::now();
    if (now < main.next_draw) return;
    frame_mailbox& frames = layer().frames;
    {
        std::lock_guard hold(frames.lock);
        if (!frames.fresh) return;
        std::swap(main.drawn, frames.latest);
        frames.fresh = false;
    }
    main.next_draw = now + draw_period;
    const display_frame& frame = main.drawn;
    if (frame.width != main.asked_width || frame.height != main.asked_height) {
        main.asked_width = frame.width;
        main.asked_height = frame.height;
        glutReshapeWindow(main.asked_width, main.asked_height);
    }
    const bool band_only = frame.changed_top > 0 || frame.changed_bottom < frame.height;
    if (band_only && frame.width == main.client_width && frame.height == main.client_height) {
        draw_changed_rows();
    } else {
        glutPostRedisplay();
    }
}

// --- the main thread's passes -----------------------------------------------------------

std::string take_title() {
    title_state& title = layer().title;
    std::lock_guard hold(title.lock);
    title.changed = false;
    return title.title;
}

void apply_changed_title() {
    bool changed;
    {
        title_state& title = layer().title;
        std::lock_guard hold(title.lock);
        changed = title.changed;
    }
    if (changed) glutSetWindowTitle(take_title().c_str());
}

void run_tasks() {
    std::vector<std::function<void()>> tasks;
    {
        window_requests& requests = layer().requests;
        std::lock_guard hold(requests.lock);
        tasks.swap(requests.tasks);
    }
    for (const auto& task : tasks) task();
}

void service_own_connection() {
    Display* connection = layer().main.own_connection;
    if (!connection) return;
    while (XPending(connection) > 0) {
        XEvent event;
        XNextEvent(connection, &event);
        if (event.type == DestroyNotify && event.xdestroywindow.window == program_x_window()) {
            on_window_gone();
            return;
        }
        if (take_control_key(event)) continue;
        std::vector<x_event_handler> handlers;
        {
            window_requests& requests = layer().requests;
            std::lock_guard hold(requests.lock);
            handlers = requests.handlers;
        }
        for (const auto& handler : handlers) {
            if (handler(connection, event)) break;
        }
    }
}

// Sleeps until an X event arrives on either connection or the next draw period begins.
void wait_for_events() {
    window_thread_state& main = layer().main;
    if (XEventsQueued(main.glut_connection, QueuedAlready) > 0) return;
    if (main.own_connection && XEventsQueued(main.own_connection, QueuedAlready) > 0) return;
    pollfd watched[2] = {{ConnectionNumber(main.glut_connection), POLLIN, 0}, {-1, POLLIN, 0}};
    if (main.own_connection) watched[1].fd = ConnectionNumber(main.own_connection);
    poll(watched, 2, static_cast<int>(draw_period.count()));
}

void create_window() {
    window_thread_state& main = layer().main;
    glutInitDisplayMode(GLUT_SINGLE | GLUT_RGB);
    glutInitWindowSize(main.asked_width, main.asked_height);
    glutCreateWindow(take_title().c_str());
    glutDisplayFunc(draw_frame);
    glutReshapeFunc(on_reshape);
    glutKeyboardFunc(on_character);
    glutSpecialFunc(on_special);
    glutCloseFunc(on_window_gone);
    main.open = true;
    main.glut_connection = glXGetCurrentDisplay();
    main.screen_width = glutGet(GLUT_SCREEN_WIDTH);
    main.screen_height = glutGet(GLUT_SCREEN_HEIGHT);
    const Window x_window = glXGetCurrentDrawable();
    watch_glut_connection(main.glut_connection);
    main.own_connection = XOpenDisplay(DisplayString(main.glut_connection));
    if (main.own_connection) {
        // Several clients may select key presses and structure events on one window: FreeGLUT
        // keeps its own.
        XSelectInput(main.own_connection, x_window, KeyPressMask | StructureNotifyMask);
        XFlush(main.own_connection);
    }
    layer().x_window.store(x_window, std::memory_order_release);
    layer().exists.store(true, std::memory_order_release);
}

void centre_window() {
    const window_thread_state& main = layer().main;
    const int x = (main.screen_width - glutGet(GLUT_WINDOW_WIDTH)) / 2;
    const int y = (main.screen_height - glutGet(GLUT_WINDOW_HEIGHT)) / 2;
    glutPositionWindow(x, y);
}

}  // namespace

void prepare_window_drawing() { setenv("LP_NUM_THREADS", "0", 0); }

void run_window(char* program_name) {
    int argc = 1;
    char* argv[] = {program_name, nullptr};
    glutInit(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    create_window();
    window_thread_state& main = layer().main;
    for (;;) {
        if (!main.open) {  // only the process's end is left to come
            sleep_ms(16);
            continue;
        }
        glutMainLoopEvent();
        if (main.open) service_own_connection();
        if (!main.open) continue;
        run_tasks();
        apply_changed_title();
        take_fresh_frame();
        wait_for_events();
    }
}

void offer_display_frame(const display_frame& frame) {
    frame_mailbox& frames = layer().frames;
    std::lock_guard hold(frames.lock);
    // A frame the window never took leaves its changed rows to this one.
    const display_frame& missed = frames.latest;
    int32_t top = frame.changed_top;
    int32_t bottom = frame.changed_bottom;
    if (frames.fresh) {
        const bool same_size = missed.width == frame.width && missed.height == frame.height;
        top = same_size ? std::min(top, missed.changed_top) : 0;
        bottom = same_size ? std::max(bottom, missed.changed_bottom) : frame.height;
    }
    frames.latest = frame;
    frames.latest.changed_top = top;
    frames.latest.changed_bottom = bottom;
    frames.fresh = true;
}

bool window_closed() { return layer().closed.load(std::memory_order_acquire); }

bool window_exists() { return layer().exists.load(std::memory_order_acquire); }

void wait_for_window() {
    while (!window_exists()) sleep_ms(100);
}

Window program_x_window() { return layer().x_window.load(std::memory_order_acquire); }

void add_x_event_handler(x_event_handler handler) {
    window_requests& requests = layer().requests;
    std::lock_guard hold(requests.lock);
    requests.handlers.push_back(std::move(handler));
}

void run_on_window_thread(std::function<void(Display* connection, Window program_window)> task) {
    post_task([task = std::move(task)] {
        if (Display* connection = layer().main.own_connection) task(connection, program_x_window());
    });
}

void set_window_title(const string_descriptor& title) {
    if (error_is_pending()) return;
    const std::string& bytes = title.bytes;
    title_state& state = layer().title;
    std::lock_guard hold(state.lock);
    state.title = bytes.substr(0, bytes.find('\0'));
    state.changed = true;
}

void move_window(int32_t x, int32_t y, int32_t form) {
    if (error_is_pending()) return;
    if (form != 1 && form != 2) {
        raise_error(error_number::illegal_function_call);
        return;
    }
    if (form == 1) {
        wait_for_window();
        post_task(centre_window);
    } else {
        post_task([x, y] { glutPositionWindow(x, y); });
    }
}
