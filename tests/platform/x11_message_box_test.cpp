#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/x11/message_box_x11.h"

namespace {

TEST(X11MessageBox, TextSplitsIntoLinesAtNewLines) {
    EXPECT_EQ(message_box_lines("Line: 41 (in main module)\nInvalid handle\nContinue?"),
              (std::vector<std::string>{"Line: 41 (in main module)", "Invalid handle", "Continue?"}));
    EXPECT_EQ(message_box_lines("Out of memory"), std::vector<std::string>{"Out of memory"});
    EXPECT_EQ(message_box_lines("a\n"), (std::vector<std::string>{"a", ""}));
}

TEST(X11MessageBox, YesIsTheDefaultButtonAndOkStandsAlone) {
    const auto yes_no = layout_message_box({"x"}, box_buttons::yes_no);
    ASSERT_EQ(yes_no.buttons.size(), 2u);
    EXPECT_EQ(yes_no.buttons[0].label, "Yes");
    EXPECT_EQ(yes_no.buttons[0].answer, box_answer::yes);
    EXPECT_EQ(yes_no.buttons[1].label, "No");
    EXPECT_EQ(yes_no.buttons[1].answer, box_answer::no);
    const auto ok = layout_message_box({"x"}, box_buttons::ok);
    ASSERT_EQ(ok.buttons.size(), 1u);
    EXPECT_EQ(ok.buttons[0].label, "OK");
}

TEST(X11MessageBox, TextAndButtonsFitInside) {
    const std::vector<std::string> lines = {std::string(60, 'x'), "short"};
    const auto layout = layout_message_box(lines, box_buttons::yes_no);
    EXPECT_GE(layout.width, layout.text_x + 60 * 8);
    for (const auto& button : layout.buttons) {
        EXPECT_GE(button.x, 0);
        EXPECT_LE(button.x + button.width, layout.width);
        EXPECT_GE(button.y, layout.text_y + 2 * 16);
        EXPECT_LE(button.y + button.height, layout.height);
    }
}

TEST(X11MessageBox, WithoutADisplayTheAnswerIsNo) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    setenv("DISPLAY", ":65000", 1);  // no server answers there
    EXPECT_EQ(show_x11_message_box("t", "x", box_buttons::yes_no), box_answer::no);
    EXPECT_EQ(show_x11_message_box("t", "x", box_buttons::ok), box_answer::ok);
    if (display) setenv("DISPLAY", saved.c_str(), 1); else unsetenv("DISPLAY");
}

}  // namespace
