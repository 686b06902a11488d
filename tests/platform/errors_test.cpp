#include "platform/errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>

#include "platform/program_control.h"
#include "support/runtime_double.h"

namespace {

TEST(ErrorMessages, NumbersTheServicesRaise) {
    const std::pair<int32_t, const char*> table[] = {
        {5, "Illegal function call"},   {52, "Bad file name or number"},
        {53, "File not found"},         {54, "Bad file mode"},
        {55, "File already open"},      {59, "Bad record length"},
        {63, "Bad record number"},      {64, "Bad file name"},
        {68, "Device unavailable"},     {70, "Permission denied"},
        {75, "Path/File access error"}, {76, "Path not found"},
        {258, "Invalid handle"},        {9999, "Unprintable error"},
        {0, "Unprintable error"},
    };
    for (const auto& [number, message] : table) EXPECT_EQ(error_message(number), message) << number;
}

TEST(RaiseError, FirstErrorWinsAndBadNumbersBecomeFive) {
    runtime_double runtime;
    raise_error(0);
    EXPECT_EQ(pending_error, 5);
    EXPECT_EQ(event_pending, 1);
    raise_error(53);
    EXPECT_EQ(pending_error, 5);

    pending_error = 0;
    raise_error(-7);
    EXPECT_EQ(pending_error, 5);
}

TEST(RaiseError, CriticalNumbers) {
    for (int32_t number : {257, 502, 518, 11, 256, 259, 260, 261, 270, 271}) {
        EXPECT_TRUE(is_critical_error(number)) << number;
    }
    for (int32_t number : {5, 258, 501, 519, 300}) EXPECT_FALSE(is_critical_error(number)) << number;
}

void expect_critical_box(int32_t number, const char* title, const char* text) {
    EXPECT_EXIT(
        {
            runtime_double runtime;
            set_message_box([](const std::string& shown_title, const std::string& shown_text, box_buttons buttons) {
                fprintf(stderr, "[%s|%s|%d]", shown_title.c_str(), shown_text.c_str(),
                        buttons == box_buttons::ok);
                return box_answer::ok;
            });
            raise_error(number);
            fprintf(stderr, "returned");
        },
        testing::ExitedWithCode(0), std::string("\\[") + title + "\\|" + text + "\\|1\\]");
}

TEST(RaiseErrorDeathTest, CriticalErrorShowsItsOkBoxAndExitsWithZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    expect_critical_box(257, "Critical Error #1", "Out of memory");
    expect_critical_box(502, "Critical Error #2", "Out of memory");
    expect_critical_box(518, "Critical Error #18", "Out of memory");
    expect_critical_box(11, "Critical Error", "Division by zero");
    expect_critical_box(256, "Critical Error", "Out of stack space");
}

TEST(ErrorBox, MainModuleStepAndStringsStepTexts) {
    runtime_double runtime;
    set_executable_name("/usr/local/bin/morvane");
    raise_error(258);
    statement_event_check(41, 0, nullptr);
    raise_error(5);
    statement_event_check(218, 24, "strings");
    ASSERT_EQ(runtime.boxes().size(), 2u);
    EXPECT_EQ(runtime.boxes()[0].title, "Unhandled Error #258 - morvane");
    EXPECT_EQ(runtime.boxes()[0].text, "Line: 41 (in main module)\nInvalid handle\nContinue?");
    EXPECT_EQ(runtime.boxes()[0].buttons, box_buttons::yes_no);
    EXPECT_EQ(runtime.boxes()[1].text, "Line: 24 (in strings)\nIllegal function call\nContinue?");
    EXPECT_EQ(pending_error, 0);
}

TEST(ErrorBox, NoEndsTheProgram) {
    runtime_double runtime;
    runtime.answer({box_answer::no});
    raise_error(53);
    EXPECT_THROW(statement_event_check(149, 0, nullptr), program_thread_stopped_signal);
    EXPECT_TRUE(close_requested);
    EXPECT_EQ(pending_error, 53);
}

// The box tells its caller whether to go on; ending the program is the per-step check's part.
TEST(ErrorBox, ReturnsWhetherTheProgramGoesOn) {
    const struct {
        box_answer answer;
        bool goes_on;
        int32_t left_pending;
    } cases[] = {{box_answer::yes, true, 0}, {box_answer::no, false, 53}};
    for (const auto& c : cases) {
        runtime_double runtime;
        runtime.answer({c.answer});
        raise_error(53);
        EXPECT_EQ(handle_pending_error(149, 0, nullptr), c.goes_on);
        EXPECT_EQ(pending_error, c.left_pending);
        EXPECT_FALSE(close_requested);
        EXPECT_EQ(runtime.boxes().size(), 1u);
    }
}

TEST(ErrorBox, NothingPendingShowsNoBoxAndGoesOn) {
    runtime_double runtime;
    EXPECT_TRUE(handle_pending_error(3, 0, nullptr));
    EXPECT_TRUE(runtime.boxes().empty());
}

TEST(ErrorBoxDeathTest, MemoryBlockErrorsAreCriticalAtTheBox) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            runtime_double runtime;
            set_executable_name("morvane");
            set_message_box([](const std::string& title, const std::string& text, box_buttons buttons) {
                fprintf(stderr, "[%s|%s|%d]", title.c_str(), text.c_str(), buttons == box_buttons::ok);
                return box_answer::ok;
            });
            raise_error(300);
            statement_event_check(7, 0, nullptr);
        },
        testing::ExitedWithCode(0), "\\[Critical Error #300 - morvane\\|Line: 7 \\(in main module\\)\nUnprintable error\\|1\\]");
}

TEST(EventCheck, ClearsTheEventAndReturnsWithoutAnError) {
    runtime_double runtime;
    event_pending = 1;
    statement_event_check(3, 0, nullptr);
    EXPECT_EQ(event_pending, 0);
    EXPECT_TRUE(runtime.boxes().empty());
}

TEST(EventCheck, StopRequestNeverReturns) {
    runtime_double runtime;
    stop_program = true;
    EXPECT_THROW(statement_event_check(10, 0, nullptr), program_thread_stopped_signal);
}

TEST(EventCheck, PauseHoldsUntilReleasedAndAStopEndsItToo) {
    runtime_double runtime;
    suspend_program = true;
    std::atomic<bool> returned{false};
    std::thread converter([&] {
        statement_event_check(10, 0, nullptr);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned);
    suspend_program = false;
    converter.join();
    EXPECT_TRUE(returned);

    suspend_program = true;
    std::atomic<bool> stopped{false};
    std::thread paused([&] {
        try {
            statement_event_check(10, 0, nullptr);
        } catch (const program_thread_stopped_signal&) {
            stopped = true;
        }
    });
    stop_program = true;
    paused.join();
    EXPECT_TRUE(stopped);
}

}  // namespace
