#include "support/xdnd_source.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <poll.h>
#include <thread>

namespace {

using steady_clock = std::chrono::steady_clock;

// Errors of the source's own requests (a window that is gone, say) are recorded instead of
// ending the test: Xlib calls its handler on the thread whose request failed.
thread_local Display* source_connection = nullptr;
thread_local bool source_request_failed = false;
// Written once, by the first session to open; read on whichever thread an X error comes.
std::atomic<XErrorHandler> handler_before_source{nullptr};

int source_error_handler(Display* connection, XErrorEvent* error) {
    if (connection == source_connection) {
        source_request_failed = true;
        return 0;
    }
    const XErrorHandler before = handler_before_source.load();
    return before ? before(connection, error) : 0;
}

struct source_atoms {
    Atom aware, proxy, enter, position, status, drop, finished;
    Atom selection, type_list, action_copy, uri_list;
};

source_atoms intern_atoms(Display* connection) {
    auto atom = [connection](const char* name) { return XInternAtom(connection, name, False); };
    return {.aware = atom("XdndAware"),
            .proxy = atom("XdndProxy"),
            .enter = atom("XdndEnter"),
            .position = atom("XdndPosition"),
            .status = atom("XdndStatus"),
            .drop = atom("XdndDrop"),
            .finished = atom("XdndFinished"),
            .selection = atom("XdndSelection"),
            .type_list = atom("XdndTypeList"),
            .action_copy = atom("XdndActionCopy"),
            .uri_list = atom("text/uri-list")};
}

// One drag from a window of our own, on a connection of its own.
struct source_session {
    Display* connection = nullptr;
    Window window = None;       // ours: owns XdndSelection and receives the target's answers
    Window target = None;       // the window dropped on, named in every message
    Window messages_to = None;  // the target or its proxy
    long version = 5;
    source_atoms atoms{};
    std::vector<Atom> types;
    std::string uri_list;
    drop_options options;
    drop_result result;

    ~source_session() {
        if (!connection) return;
        if (window != None) XDestroyWindow(connection, window);
        XCloseDisplay(connection);
        source_connection = nullptr;
    }

    void note_problem(const std::string& problem) {
        if (result.problem.empty()) result.problem = problem;
    }
};

// The first 32-bit value of `window`'s property `name` of `type`; nothing when it has none.
std::optional<unsigned long> property_value(source_session& s, Window window, Atom name, Atom type) {
    XSync(s.connection, False);
    source_request_failed = false;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(s.connection, window, name, 0, 1, False, type, &actual, &format, &count,
                                          &remaining, &data);
    XSync(s.connection, False);
    std::optional<unsigned long> value;
    if (status == Success && !source_request_failed && actual == type && format == 32 && count == 1) {
        value = *reinterpret_cast<unsigned long*>(data);
    }
    if (data) XFree(data);
    return value;
}

// Finds where the messages go: the target must be XdndAware; an XdndProxy counts only when
// the proxy points at itself (else it is a leftover of a crashed client).
bool find_target(source_session& s) {
    const std::optional<unsigned long> aware = property_value(s, s.target, s.atoms.aware, XA_ATOM);
    if (!aware || *aware < 3) return false;
    s.result.target_aware = true;
    s.version = std::min<long>(static_cast<long>(*aware), 5);
    s.messages_to = s.target;
    if (const auto proxy = property_value(s, s.target, s.atoms.proxy, XA_WINDOW)) {
        const auto proxy_window = static_cast<Window>(*proxy);
        if (property_value(s, proxy_window, s.atoms.proxy, XA_WINDOW) == *proxy) s.messages_to = proxy_window;
    }
    return true;
}

// A server timestamp, from a property change on our own window.
Time server_time(source_session& s) {
    XChangeProperty(s.connection, s.window, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    XWindowEvent(s.connection, s.window, PropertyChangeMask, &event);
    return event.xproperty.time;
}

void send_message(source_session& s, Atom type, std::array<long, 4> data) {
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = s.target;
    message.xclient.message_type = type;
    message.xclient.format = 32;
    message.xclient.data.l[0] = static_cast<long>(s.window);
    for (std::size_t i = 0; i < data.size(); ++i) message.xclient.data.l[i + 1] = data[i];
    XSendEvent(s.connection, s.messages_to, False, NoEventMask, &message);
    XFlush(s.connection);
}

void send_enter(source_session& s) {
    std::array<long, 4> data{s.version << 24, None, None, None};
    if (s.types.size() > 3) data[0] |= 1;
    for (std::size_t i = 0; i < s.types.size() && i < 3; ++i) data[i + 1] = static_cast<long>(s.types[i]);
    send_message(s, s.atoms.enter, data);
}

bool offers_uri_list(const source_session& s) {
    return std::find(s.types.begin(), s.types.end(), s.atoms.uri_list) != s.types.end();
}

// Answers a request for the dropped data: the uri-list as text/uri-list, nothing else.
void serve_selection(source_session& s, const XSelectionRequestEvent& request) {
    XEvent notice{};
    notice.xselection.type = SelectionNotify;
    notice.xselection.requestor = request.requestor;
    notice.xselection.selection = request.selection;
    notice.xselection.target = request.target;
    notice.xselection.time = request.time;
    notice.xselection.property = None;
    const Atom property = request.property != None ? request.property : request.target;
    if (request.selection == s.atoms.selection && request.target == s.atoms.uri_list && offers_uri_list(s)) {
        XChangeProperty(s.connection, request.requestor, property, s.atoms.uri_list, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(s.uri_list.data()), static_cast<int>(s.uri_list.size()));
        notice.xselection.property = property;
    }
    XSendEvent(s.connection, request.requestor, False, NoEventMask, &notice);
    XFlush(s.connection);
}

// Waits for the target's answer of `type`, serving data requests meanwhile; nothing after
// the timeout.
std::optional<XClientMessageEvent> wait_for_answer(source_session& s, Atom type) {
    const steady_clock::time_point deadline = steady_clock::now() + s.options.answer_timeout;
    while (steady_clock::now() < deadline) {
        while (XPending(s.connection) > 0) {
            XEvent event;
            XNextEvent(s.connection, &event);
            if (event.type == SelectionRequest && s.options.serves_data) serve_selection(s, event.xselectionrequest);
            if (event.type != ClientMessage) continue;
            const XClientMessageEvent& message = event.xclient;
            if (message.message_type == type) return message;
            if (message.message_type == s.atoms.finished) s.note_problem("XdndFinished before the drop");
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady_clock::now());
        pollfd readable{.fd = ConnectionNumber(s.connection), .events = POLLIN};
        poll(&readable, 1, static_cast<int>(std::clamp<long>(left.count(), 1, 50)));
    }
    return std::nullopt;
}

void check_answer_names_target(source_session& s, const XClientMessageEvent& answer, const char* what) {
    if (static_cast<Window>(answer.data.l[0]) != s.target) s.note_problem(std::string(what) + " names another window");
}

void check_status(source_session& s, const XClientMessageEvent& status) {
    check_answer_names_target(s, status, "XdndStatus");
    s.result.status_accepted = (status.data.l[1] & 1) != 0;
    if (s.result.status_accepted && static_cast<Atom>(status.data.l[4]) != s.atoms.action_copy) {
        s.note_problem("XdndStatus accepts without XdndActionCopy");
    }
}

void check_finished(source_session& s, const XClientMessageEvent& finished) {
    check_answer_names_target(s, finished, "XdndFinished");
    s.result.finished = true;
    s.result.finished_accepted = (finished.data.l[1] & 1) != 0;
    if (s.result.finished_accepted && static_cast<Atom>(finished.data.l[2]) != s.atoms.action_copy) {
        s.note_problem("XdndFinished accepts without XdndActionCopy");
    }
}

bool open_session(source_session& s, const std::string& display) {
    static std::once_flag handler_installed;
    std::call_once(handler_installed, [] { handler_before_source = XSetErrorHandler(source_error_handler); });
    s.connection = XOpenDisplay(display.c_str());
    if (!s.connection) return false;
    source_connection = s.connection;
    s.atoms = intern_atoms(s.connection);
    for (const std::string& type : s.options.types) s.types.push_back(XInternAtom(s.connection, type.c_str(), False));
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    s.window = XCreateWindow(s.connection, DefaultRootWindow(s.connection), 0, 0, 1, 1, 0, CopyFromParent, InputOnly,
                             CopyFromParent, CWEventMask, &attributes);
    if (s.types.size() > 3) {
        XChangeProperty(s.connection, s.window, s.atoms.type_list, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(s.types.data()), static_cast<int>(s.types.size()));
    }
    return true;
}

}  // namespace

drop_result drop_uri_list(const std::string& display, Window target, const std::string& uri_list,
                          const drop_options& options) {
    source_session s{.target = target, .uri_list = uri_list, .options = options};
    if (!open_session(s, display)) {
        s.note_problem("cannot open display " + display);
        return s.result;
    }
    if (!find_target(s)) return s.result;
    XSetSelectionOwner(s.connection, s.atoms.selection, s.window, CurrentTime);
    const Time now = server_time(s);

    send_enter(s);
    const long pointer_at_1_1 = (1 << 16) | 1;
    const auto copy = static_cast<long>(s.atoms.action_copy);
    send_message(s, s.atoms.position, {0, pointer_at_1_1, static_cast<long>(now), copy});
    if (const auto status = wait_for_answer(s, s.atoms.status)) {
        check_status(s, *status);
    } else {
        s.note_problem("no XdndStatus");
    }
    send_message(s, s.atoms.drop, {0, static_cast<long>(now), 0, 0});
    if (const auto finished = wait_for_answer(s, s.atoms.finished)) {
        check_finished(s, *finished);
    } else {
        s.note_problem("no XdndFinished");
    }
    return s.result;
}

bool wait_for_drop_target(const std::string& display, Window target, std::chrono::milliseconds timeout) {
    source_session s{.target = target};
    if (!open_session(s, display)) return false;
    const steady_clock::time_point deadline = steady_clock::now() + timeout;
    for (;;) {
        if (find_target(s)) return true;
        if (steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
