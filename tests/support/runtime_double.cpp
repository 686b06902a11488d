#include "support/runtime_double.h"

#include <mutex>

#include "platform/program_control.h"

namespace {

std::mutex box_mutex;
std::deque<box_answer> scripted_answers;
std::vector<shown_box> recorded_boxes;

box_answer scripted_box(const std::string& title, const std::string& text, box_buttons buttons) {
    std::lock_guard lock(box_mutex);
    recorded_boxes.push_back({title, text, buttons});
    if (buttons == box_buttons::ok) return box_answer::ok;
    if (scripted_answers.empty()) return box_answer::yes;
    const box_answer next = scripted_answers.front();
    scripted_answers.pop_front();
    return next;
}

void throwing_stopper() { throw program_thread_stopped_signal{}; }

}  // namespace

runtime_double::runtime_double() {
    std::lock_guard lock(box_mutex);
    scripted_answers.clear();
    recorded_boxes.clear();
    reset_program_control();
    set_message_box(scripted_box);
    set_program_thread_stopper(throwing_stopper);
}

runtime_double::~runtime_double() {
    set_message_box(nullptr);
    set_program_thread_stopper(nullptr);
    reset_program_control();
}

void runtime_double::answer(std::initializer_list<box_answer> answers) {
    std::lock_guard lock(box_mutex);
    scripted_answers.assign(answers.begin(), answers.end());
}

const std::vector<shown_box>& runtime_double::boxes() const { return recorded_boxes; }
