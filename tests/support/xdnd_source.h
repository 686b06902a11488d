// A drag-and-drop source of our own for tests: drops a text/uri-list on a window by the X
// drag-and-drop protocol (version 5), on a connection of its own, and checks the target's
// answers. Every wait is bounded, so a silent or broken target cannot hang a test.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <string>
#include <vector>

struct drop_options {
    // The types the source offers; more than three go in XdndTypeList. The list is served
    // only as text/uri-list, and only when that type is offered.
    std::vector<std::string> types = {"text/uri-list"};
    // False for a source that never answers the request for the data.
    bool serves_data = true;
    // How long to wait for each answer of the target.
    std::chrono::milliseconds answer_timeout{5000};
};

struct drop_result {
    bool target_aware = false;       // the window (or its proxy) carries XdndAware
    bool status_accepted = false;    // XdndStatus came with its accept bit
    bool finished = false;           // XdndFinished came after the drop
    bool finished_accepted = false;  // ... saying the drop was taken
    std::string problem;             // the first answer against the protocol; empty when none

    // The target took the drop, answering as the protocol wants.
    bool accepted() const { return status_accepted && finished_accepted && problem.empty(); }
};

// Drags `uri_list` onto `target` of `display` and drops it there (even when the target says
// it would refuse it, so that its answer to a refused drop shows).
drop_result drop_uri_list(const std::string& display, Window target, const std::string& uri_list,
                          const drop_options& options = {});

// True once `target` of `display` is a drop target (carries XdndAware), looking until
// `timeout` has passed: a program turns its drop target on asynchronously.
bool wait_for_drop_target(const std::string& display, Window target, std::chrono::milliseconds timeout);
