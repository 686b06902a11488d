// Test doubles for the run-time error machinery: a scripted message box that records what it
// was asked to show, and a converter-thread stopper that throws instead of sleeping forever.
#pragma once

#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/message_box.h"

struct shown_box {
    std::string title;
    std::string text;
    box_buttons buttons;
};

// Thrown where the converter thread would otherwise stop for good.
struct program_thread_stopped_signal {};

// Installs the doubles and resets every shared flag and error; removes them on destruction.
class runtime_double {
  public:
    runtime_double();
    ~runtime_double();
    runtime_double(const runtime_double&) = delete;
    runtime_double& operator=(const runtime_double&) = delete;

    // The answers the box gives, in order; Yes once they run out.
    void answer(std::initializer_list<box_answer> answers);
    const std::vector<shown_box>& boxes() const;
};
