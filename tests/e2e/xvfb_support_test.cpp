#include <chrono>

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "support/child_process.h"
#include "support/xvfb_display.h"

namespace {

TEST(XvfbSupport, ServerAnswersAndChildSeesIt) {
    xvfb_display display(320, 200);
    Display* connection = XOpenDisplay(display.name().c_str());
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(DisplayWidth(connection, 0), 320);
    XCloseDisplay(connection);

    child_process probe("/bin/sh", {.arguments = {"sh", "-c", "test \"$DISPLAY\" = \"$EXPECTED\""},
                                    .environment = {"EXPECTED=" + display.name()}});
    EXPECT_EQ(probe.wait_for_exit(std::chrono::seconds(10)), 0);
}

}  // namespace
