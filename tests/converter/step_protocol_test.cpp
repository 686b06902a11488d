#include "converter/step_protocol.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/runtime_double.h"

namespace {

constexpr step_module steps = step_module::main();

// A made-up sequence: step 1 records, step 2 raises `error` (if any) and records, step 3 is a
// test whose condition is false, step 4 records.
std::vector<int> run_sequence(int32_t error, bool second_action_in_step_2 = true) {
    std::vector<int> done;
    done.push_back(1);
    steps.after(1);
    if (error) raise_error(error);
    if (second_action_in_step_2 && !error_is_pending()) done.push_back(2);
    steps.after(2);
    if (steps.test(3, false)) done.push_back(30);
    done.push_back(4);
    steps.after(4);
    return done;
}

TEST(StepProtocol, WithoutEventsEveryActionRunsAndNoBoxIsShown) {
    runtime_double runtime;
    EXPECT_EQ(run_sequence(0), (std::vector<int>{1, 2, 4}));
    EXPECT_TRUE(runtime.boxes().empty());
}

TEST(StepProtocol, ErrorShowsABoxNamingItsStepAndYesGoesOn) {
    runtime_double runtime;
    set_executable_name("morvane");
    EXPECT_EQ(run_sequence(53), (std::vector<int>{1, 4}));
    ASSERT_EQ(runtime.boxes().size(), 1u);
    EXPECT_EQ(runtime.boxes()[0].text, "Line: 2 (in main module)\nFile not found\nContinue?");
    EXPECT_EQ(pending_error, 0);
}

TEST(StepProtocol, NoStopsBeforeTheNextAction) {
    runtime_double runtime;
    runtime.answer({box_answer::no});
    std::vector<int> done;
    EXPECT_THROW(
        {
            raise_error(5);
            steps.after(7);
            done.push_back(8);
        },
        program_thread_stopped_signal);
    EXPECT_TRUE(done.empty());
    EXPECT_TRUE(close_requested);
}

TEST(StepProtocol, PendingErrorMakesATestTrueAndItsCheckNamesTheTest) {
    runtime_double runtime;
    raise_error(258);
    // The test is worked out with the error still pending (no check has run yet).
    EXPECT_TRUE(steps.test(14, false));
    ASSERT_EQ(runtime.boxes().size(), 1u);
    EXPECT_EQ(runtime.boxes()[0].text.rfind("Line: 14 (in main module)", 0), 0u);
    EXPECT_FALSE(steps.test(14, false));
    EXPECT_TRUE(steps.test(14, true));
}

TEST(StepProtocol, IncludedModuleNamesItsOwnStep) {
    runtime_double runtime;
    constexpr step_module helper = step_module::included(218, "strings");
    raise_error(5);
    helper.after(24);
    ASSERT_EQ(runtime.boxes().size(), 1u);
    EXPECT_EQ(runtime.boxes()[0].text, "Line: 24 (in strings)\nIllegal function call\nContinue?");
}

TEST(StepProtocol, StopRequestTakesEffectAtTheNextCheck) {
    runtime_double runtime;
    stop_program = true;
    event_pending = 1;
    EXPECT_THROW(steps.after(212), program_thread_stopped_signal);
}

}  // namespace
