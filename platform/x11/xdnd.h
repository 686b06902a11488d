// The drop target of the X drag-and-drop protocol: files and folders dropped on a window
// arrive as a text/uri-list, through a proxy window on a connection of ours (FreeGLUT would
// swallow the protocol's messages on its own connection).
#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

// Receives the names of one completed drop (see parse_uri_list).
using drop_receiver = std::function<void(std::vector<std::string> names)>;

// The protocol's atoms on the target's connection.
struct xdnd_atoms {
    Atom aware, proxy, enter, position, status, leave, drop, finished;
    Atom selection, type_list, action_copy, uri_list, incr;
    Atom transfer;  // the proxy's property that the source puts the list in
};

// The drag the target is in the middle of, between XdndEnter and its end.
struct xdnd_drag {
    Window source = None;         // the source's window; None when no drag is under way
    bool offers_uri_list = false;  // the source can give text/uri-list
    bool awaiting_data = false;    // dropped; the selection has been asked for
};

// One window's drop target, on one connection. Every call on it must come from the thread
// that services `connection`.
struct xdnd_target {
    Display* connection = nullptr;
    Window target = None;  // the window that items are dropped on; named in every reply
    Window proxy = None;   // the 1 x 1 unmapped window of ours that receives the messages
    drop_receiver receive;
    xdnd_atoms atoms{};
    xdnd_drag drag;
};

// Makes `target` (a window of any connection) a drop target whose messages come to a proxy
// made on `connection`; does nothing when `state` is enabled already.
void enable_xdnd_target(xdnd_target& state, Display* connection, Window target, drop_receiver receive);
// Stops the target: the window is no drop target any more and a drag under way is forgotten.
void disable_xdnd_target(xdnd_target& state);
// Handles `event` of the target's connection; true when it belonged to the drop protocol.
bool handle_xdnd_event(xdnd_target& state, const XEvent& event);
