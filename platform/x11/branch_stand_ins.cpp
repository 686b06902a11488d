// Temporary, removed when the real window layer is merged.
// Stand-ins for the window layer's offers so that the drop pieces link on their own: no
// window is ever made, so nothing waits on them in the tests of this branch.
#include "platform/x11/window_layer.h"

#include <chrono>
#include <thread>

bool window_exists() { return false; }

void wait_for_window() {
    while (!window_exists()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

Window program_x_window() { return None; }

void add_x_event_handler(x_event_handler) {}

void run_on_window_thread(std::function<void(Display*, Window)>) {}
