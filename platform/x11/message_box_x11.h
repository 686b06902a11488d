// The error box as an X11 dialog of its own, and the layout it draws, which tests check.
#pragma once

#include <string>
#include <vector>

#include "platform/message_box.h"

// Shows the dialog on a display connection of its own and waits on the calling thread for the
// answer; No (or OK) when no dialog can be shown.
box_answer show_x11_message_box(const std::string& title, const std::string& text, box_buttons buttons);

// Where the dialog puts its parts, in pixels of its client area.
struct message_box_layout {
    int width = 0;
    int height = 0;
    int text_x = 0;  // top-left corner of the first line; lines are 16 pixels apart
    int text_y = 0;
    struct button {
        int x, y, width, height;
        box_answer answer;
        std::string label;
    };
    std::vector<button> buttons;  // the default button first
};
message_box_layout layout_message_box(const std::vector<std::string>& lines, box_buttons buttons);

// The text's lines, split at "\n".
std::vector<std::string> message_box_lines(const std::string& text);

// Colours of the dialog (0xRRGGBB): background, text and button borders.
constexpr unsigned long message_box_background = 0xC0C0C0;
constexpr unsigned long message_box_ink = 0x000000;
