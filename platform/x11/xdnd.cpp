// The program's drop target: XDND version 5, through a proxy window (XdndProxy).
// Limits: text/uri-list only, and of it only file URIs of this host (see uri_list.h); the
// copy action only; no INCR transfers, so a source that sends its list in pieces (only ever
// for lists of megabytes) is refused; a source that vanishes mid-drag is simply not answered,
// and its drag is forgotten at the next XdndEnter.
#include "platform/x11/xdnd.h"
#include "platform/lasting_state.h"

#include <X11/Xatom.h>

#include <array>
#include <atomic>
#include <mutex>

#include "platform/drops.h"
#include "platform/window.h"
#include "platform/x11/uri_list.h"
#include "platform/x11/window_layer.h"

namespace {

constexpr long protocol_version = 5;
// The largest uri-list taken, in 32-bit units (XGetWindowProperty counts in them).
constexpr long largest_list_units = 16 * 1024 * 1024 / 4;

// X errors of one connection while a request runs: the source is another client and may
// close its window at any moment, which must not end this program. Xlib's handler is one for
// the whole process, so errors of other connections go on to the handler that was there.
struct x_error_trap {
    std::mutex lock;                          // held by the thread that runs a trapped request
    std::atomic<Display*> connection{nullptr};  // written by that thread, read by the handler
    std::atomic<bool> failed{false};            // written by the handler
    std::atomic<XErrorHandler> previous{nullptr};
};

x_error_trap& error_trap() { return lasting_state<x_error_trap>(); }

// The program window's target. Owned by the main thread: only its window tasks and its event
// handler touch it.
xdnd_target& program_drop_target() { return lasting_state<xdnd_target>(); }
std::once_flag program_handler_added;

// Xlib's error handler while a request is trapped.
int trapping_error_handler(Display* connection, XErrorEvent* error) {
    if (connection == error_trap().connection.load()) {
        error_trap().failed = true;
        return 0;
    }
    const XErrorHandler previous = error_trap().previous.load();
    return previous ? previous(connection, error) : 0;
}

// Runs `request` on `connection`, catching its X errors; true when none came.
template <typename Request>
bool without_x_errors(Display* connection, Request request) {
    const std::lock_guard guard(error_trap().lock);
    XSync(connection, False);
    error_trap().failed = false;
    error_trap().connection = connection;
    error_trap().previous = XSetErrorHandler(trapping_error_handler);
    request();
    XSync(connection, False);
    XSetErrorHandler(error_trap().previous.load());
    error_trap().connection = nullptr;
    return !error_trap().failed.load();
}

// The protocol's atoms, asked of the server once per target.
xdnd_atoms intern_atoms(Display* connection) {
    auto atom = [connection](const char* name) { return XInternAtom(connection, name, False); };
    return {.aware = atom("XdndAware"),
            .proxy = atom("XdndProxy"),
            .enter = atom("XdndEnter"),
            .position = atom("XdndPosition"),
            .status = atom("XdndStatus"),
            .leave = atom("XdndLeave"),
            .drop = atom("XdndDrop"),
            .finished = atom("XdndFinished"),
            .selection = atom("XdndSelection"),
            .type_list = atom("XdndTypeList"),
            .action_copy = atom("XdndActionCopy"),
            .uri_list = atom("text/uri-list"),
            .incr = atom("INCR"),
            .transfer = atom("MORVANE_DROPPED_URI_LIST")};
}

// Marks `window` as a drop target that takes its messages at `proxy`.
void mark_drop_target(Display* connection, const xdnd_atoms& atoms, Window window, Window proxy) {
    const long version = protocol_version;
    XChangeProperty(connection, window, atoms.aware, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&version), 1);
    XChangeProperty(connection, window, atoms.proxy, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&proxy), 1);
}

// Sends the protocol message `type` to the drag's source: the target window, then `data`.
void send_to_source(const xdnd_target& state, Atom type, std::array<long, 4> data) {
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = state.drag.source;
    message.xclient.message_type = type;
    message.xclient.format = 32;
    message.xclient.data.l[0] = static_cast<long>(state.target);
    for (std::size_t i = 0; i < data.size(); ++i) message.xclient.data.l[i + 1] = data[i];
    without_x_errors(state.connection,
                     [&] { XSendEvent(state.connection, state.drag.source, False, NoEventMask, &message); });
}

// XdndStatus: whether a drop would be taken (then as a copy), with an empty rectangle so that
// every move is reported.
void send_status(const xdnd_target& state) {
    const bool accept = state.drag.offers_uri_list;
    send_to_source(state, state.atoms.status,
                   {accept ? 1 : 0, 0, 0, static_cast<long>(accept ? state.atoms.action_copy : None)});
}

// XdndFinished, which ends the drag.
void finish(xdnd_target& state, bool accepted) {
    send_to_source(state, state.atoms.finished,
                   {accepted ? 1 : 0, static_cast<long>(accepted ? state.atoms.action_copy : None), 0, 0});
    state.drag = {};
}

// True when the source lists text/uri-list in its XdndTypeList property.
bool type_list_offers_uri_list(const xdnd_target& state, Window source) {
    bool offered = false;
    without_x_errors(state.connection, [&] {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(state.connection, source, state.atoms.type_list, 0, 4096, False, XA_ATOM, &type,
                               &format, &count, &remaining, &data) == Success &&
            type == XA_ATOM && format == 32) {
            const auto* types = reinterpret_cast<const Atom*>(data);
            for (unsigned long i = 0; i < count; ++i) offered = offered || types[i] == state.atoms.uri_list;
        }
        if (data) XFree(data);
    });
    return offered;
}

// XdndEnter: a new drag, which replaces any other; ignored from a newer protocol version.
void on_enter(xdnd_target& state, const XClientMessageEvent& message) {
    const auto source = static_cast<Window>(message.data.l[0]);
    const long version = (message.data.l[1] >> 24) & 0xff;
    state.drag = {};
    if (version > protocol_version) return;
    bool offered = false;
    for (int i = 2; i <= 4; ++i) offered = offered || static_cast<Atom>(message.data.l[i]) == state.atoms.uri_list;
    if ((message.data.l[1] & 1) != 0) offered = offered || type_list_offers_uri_list(state, source);
    state.drag = {.source = source, .offers_uri_list = offered};
}

// XdndDrop: refused at once without a uri-list, else the list is asked of the source.
void on_drop(xdnd_target& state, const XClientMessageEvent& message) {
    if (!state.drag.offers_uri_list) {
        finish(state, false);
        return;
    }
    const auto time = static_cast<Time>(message.data.l[2]);
    XConvertSelection(state.connection, state.atoms.selection, state.atoms.uri_list, state.atoms.transfer,
                      state.proxy, time);
    XFlush(state.connection);
    state.drag.awaiting_data = true;
}

// The uri-list the source put on the proxy, deleted once read; nothing when it gave none.
bool take_transferred_list(const xdnd_target& state, std::string& list) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const bool read = XGetWindowProperty(state.connection, state.proxy, state.atoms.transfer, 0, largest_list_units,
                                         True, AnyPropertyType, &type, &format, &count, &remaining,
                                         &data) == Success;
    const bool whole = read && format == 8 && type != state.atoms.incr && remaining == 0;
    if (whole) list.assign(reinterpret_cast<const char*>(data), count);
    if (data) XFree(data);
    if (read && remaining != 0) XDeleteProperty(state.connection, state.proxy, state.atoms.transfer);
    return whole;
}

// The source's answer to the request for the list: the drop completes, or fails.
void on_selection_notify(xdnd_target& state, const XSelectionEvent& notice) {
    std::string list;
    if (notice.property == None || !take_transferred_list(state, list)) {
        finish(state, false);
        return;
    }
    // Pending before the source hears that the drop is done.
    state.receive(parse_uri_list(list, this_host_name()));
    finish(state, true);
}

// True for a client message addressed to the target or its proxy.
bool is_our_message(const xdnd_target& state, const XEvent& event) {
    if (event.type != ClientMessage || event.xclient.format != 32) return false;
    const Window to = event.xclient.window;
    return to == state.target || to == state.proxy;
}

// Handles one protocol message; false when it was none.
bool handle_client_message(xdnd_target& state, const XClientMessageEvent& message) {
    const Atom type = message.message_type;
    const auto source = static_cast<Window>(message.data.l[0]);
    if (type == state.atoms.enter) {
        on_enter(state, message);
        return true;
    }
    const bool known = type == state.atoms.position || type == state.atoms.leave || type == state.atoms.drop;
    if (!known) return false;
    // Messages of another drag, or of one already dropped, get no answer.
    if (source != state.drag.source || state.drag.source == None || state.drag.awaiting_data) return true;
    if (type == state.atoms.position) {
        send_status(state);
    } else if (type == state.atoms.leave) {
        state.drag = {};
    } else {
        on_drop(state, message);
    }
    return true;
}

}  // namespace

void enable_xdnd_target(xdnd_target& state, Display* connection, Window target, drop_receiver receive) {
    if (state.proxy != None) return;
    state.connection = connection;
    state.target = target;
    state.receive = std::move(receive);
    state.atoms = intern_atoms(connection);
    state.proxy = XCreateSimpleWindow(connection, DefaultRootWindow(connection), 0, 0, 1, 1, 0, 0, 0);
    mark_drop_target(connection, state.atoms, state.proxy, state.proxy);
    mark_drop_target(connection, state.atoms, target, state.proxy);
    XFlush(connection);
}

void disable_xdnd_target(xdnd_target& state) {
    if (state.proxy == None) return;
    without_x_errors(state.connection, [&] {
        XDeleteProperty(state.connection, state.target, state.atoms.aware);
        XDeleteProperty(state.connection, state.target, state.atoms.proxy);
    });
    XDestroyWindow(state.connection, state.proxy);
    XFlush(state.connection);
    state.proxy = None;
    state.drag = {};
}

bool handle_xdnd_event(xdnd_target& state, const XEvent& event) {
    if (state.proxy == None) return false;
    if (event.type == SelectionNotify) {
        const XSelectionEvent& notice = event.xselection;
        if (notice.requestor != state.proxy || notice.selection != state.atoms.selection) return false;
        if (state.drag.awaiting_data) on_selection_notify(state, notice);
        return true;
    }
    return is_our_message(state, event) && handle_client_message(state, event.xclient);
}

void accept_file_drop(int32_t mode) {
    if (mode < 0 || mode > 2) return;
    wait_for_window();
    std::call_once(program_handler_added, [] {
        add_x_event_handler([](Display*, XEvent& event) { return handle_xdnd_event(program_drop_target(), event); });
    });
    const bool on = mode != 2;
    run_on_window_thread([on](Display* connection, Window program_window) {
        if (on) {
            enable_xdnd_target(program_drop_target(), connection, program_window, set_pending_drop);
        } else {
            disable_xdnd_target(program_drop_target());
        }
    });
}
