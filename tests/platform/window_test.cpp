#include <cstdint>

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/window.h"
#include "support/runtime_double.h"

namespace {

TEST(MoveWindow, FormsThatPlaceNothingRaise5) {
    for (const int32_t form : {0, 3}) {
        runtime_double runtime;
        move_window(10, 20, form);
        EXPECT_EQ(pending_error.load(), 5) << "form " << form;
    }
}

TEST(MoveWindow, DoesNothingWhileAnErrorIsPending) {
    runtime_double runtime;
    raise_error(258);
    move_window(0, 0, 1);  // would wait for the window otherwise
    move_window(0, 0, 3);
    EXPECT_EQ(pending_error.load(), 258);
}

}  // namespace
