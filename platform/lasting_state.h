// State that the platform layer's threads share is made on first use and never destroyed:
// the process ends with exit() on one thread while the others may still be using it, so no
// destructor may run under them.
#pragma once

template <typename State>
State& lasting_state() {
    static State* const state = new State();
    return *state;
}
