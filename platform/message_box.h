// The system-modal message box that the error convention shows. The X11 dialog installs itself
// at start-up; tests install a double. Without any box the answer is No.
#pragma once

#include <string>

enum class box_buttons { yes_no, ok };
enum class box_answer { yes, no, ok };

using message_box_function = box_answer (*)(const std::string& title, const std::string& text,
                                            box_buttons buttons);

// Makes `box` the one that show_message_box uses; nullptr removes it.
void set_message_box(message_box_function box);

// Shows the box and waits for the answer on the calling thread.
box_answer show_message_box(const std::string& title, const std::string& text, box_buttons buttons);
