#include "platform/message_box.h"

#include <atomic>

namespace {
std::atomic<message_box_function> installed_box{nullptr};
}

void set_message_box(message_box_function box) { installed_box.store(box); }

box_answer show_message_box(const std::string& title, const std::string& text, box_buttons buttons) {
    const message_box_function box = installed_box.load();
    return box ? box(title, text, buttons) : box_answer::no;
}
