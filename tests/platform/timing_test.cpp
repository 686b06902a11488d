#include "platform/timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/program_control.h"
#include "support/runtime_double.h"

namespace {

// A clock that moves only when a wait sleeps. Each sleep marks event_pending, so the next
// sleep (or the end of the wait) can tell whether a per-step check came in between.
struct fake_clock {
    int64_t now = 0;
    std::vector<int64_t> sleeps;
    std::vector<bool> checked_after;          // per sleep: a check followed it
    std::map<size_t, int64_t> jump_after;     // sleep index -> extra clock movement
    std::map<size_t, void (*)()> during;      // sleep index -> what happens meanwhile
};

fake_clock* active_clock = nullptr;

int64_t fake_now() { return active_clock->now; }

void fake_sleep(int64_t ms) {
    fake_clock& clock = *active_clock;
    if (!clock.sleeps.empty()) clock.checked_after.push_back(event_pending == 0);
    const size_t index = clock.sleeps.size();
    clock.sleeps.push_back(ms);
    clock.now += ms;
    if (const auto jump = clock.jump_after.find(index); jump != clock.jump_after.end()) {
        clock.now += jump->second;
    }
    if (const auto act = clock.during.find(index); act != clock.during.end()) act->second();
    event_pending = 1;
}

class Timing : public testing::Test {
  protected:
    void SetUp() override {
        active_clock = &clock;
        set_clock_source({fake_now, fake_sleep});
        reset_loop_rate();
    }
    void TearDown() override {
        set_clock_source({});
        reset_loop_rate();
        active_clock = nullptr;
    }
    // The sleeps since the last call, and whether a check followed each.
    std::vector<int64_t> take_sleeps() {
        if (!clock.sleeps.empty()) clock.checked_after.push_back(event_pending == 0);
        event_pending = 0;
        last_checks = clock.checked_after;
        clock.checked_after.clear();
        return std::exchange(clock.sleeps, {});
    }
    // A check after every sleep except the last.
    void expect_checks_after_slices_only() {
        ASSERT_FALSE(last_checks.empty());
        for (size_t i = 0; i + 1 < last_checks.size(); ++i) EXPECT_TRUE(last_checks[i]) << i;
        EXPECT_FALSE(last_checks.back());
    }

    runtime_double runtime;
    fake_clock clock;
    std::vector<bool> last_checks;
};

using sleeps = std::vector<int64_t>;

TEST_F(Timing, DelaySlicesAndItsLastShortSleep) {
    const std::pair<double, sleeps> table[] = {
        {0.0, {1}},
        {0.0005, {1}},
        {0.009, {9}},
        {0.0095, {9, 1}},
        {0.05, {9, 9, 9, 9, 9, 5}},
        {0.25, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 7}},
    };
    for (const auto& [seconds, expected] : table) {
        delay_seconds(seconds);
        EXPECT_EQ(take_sleeps(), expected) << seconds;
        expect_checks_after_slices_only();
    }
    EXPECT_EQ(pending_error, 0);
}

TEST_F(Timing, DelayCountsASliceWithTheClockGoingBackAsNoTime) {
    clock.jump_after[1] = -100;
    delay_seconds(0.03);
    EXPECT_EQ(take_sleeps(), (sleeps{9, 9, 9, 9, 3}));
    expect_checks_after_slices_only();
}

TEST_F(Timing, DelayEndsSoonAfterTheClockJumpsAhead) {
    clock.jump_after[0] = 100;
    delay_seconds(0.03);
    EXPECT_EQ(take_sleeps(), (sleeps{9, 1}));
}

TEST_F(Timing, DelayOutOfRangeRaisesFiveWithoutWaiting) {
    for (const double seconds : {-0.001, 2147483.648, std::nan(""), std::numeric_limits<double>::infinity()}) {
        delay_seconds(seconds);
        EXPECT_EQ(pending_error, 5) << seconds;
        EXPECT_TRUE(take_sleeps().empty()) << seconds;
        pending_error = 0;
    }
}

TEST_F(Timing, WaitsReturnAtOnceWhileAnErrorIsPending) {
    raise_error(53);
    delay_seconds(1.0);
    limit_loop_rate(40);
    limit_loop_rate(40);
    limit_loop_rate(-1);
    EXPECT_TRUE(take_sleeps().empty());
    EXPECT_EQ(pending_error, 53);
    pending_error = 0;
    limit_loop_rate(40);  // the first call after the error still only sets the mark
    EXPECT_TRUE(take_sleeps().empty());
}

TEST_F(Timing, StopRequestEndsADelayAtTheNextSlice) {
    clock.during[1] = [] { stop_program = true; };
    EXPECT_THROW(delay_seconds(1.0), program_thread_stopped_signal);
    EXPECT_EQ(clock.sleeps.size(), 2u);
}

TEST_F(Timing, ErrorRaisedDuringADelayShowsItsBoxAtStepZero) {
    clock.during[0] = [] { raise_error(5); };
    delay_seconds(0.02);
    ASSERT_EQ(runtime.boxes().size(), 1u);
    EXPECT_EQ(runtime.boxes()[0].text, "Line: 0 (in main module)\nIllegal function call\nContinue?");
    EXPECT_EQ(take_sleeps(), (sleeps{9, 9, 2}));
}

TEST_F(Timing, LoopRateFirstCallMarksThenWaitsOutThePeriod) {
    limit_loop_rate(40);  // 25 ms
    EXPECT_TRUE(take_sleeps().empty());
    clock.now += 5;
    limit_loop_rate(40);
    EXPECT_EQ(take_sleeps(), (sleeps{9, 9, 2}));
    expect_checks_after_slices_only();
    limit_loop_rate(40);
    EXPECT_EQ(take_sleeps(), (sleeps{9, 9, 7}));
}

TEST_F(Timing, LoopRateOfThirtyKeepsPassesAThirdApart) {
    limit_loop_rate(30);
    limit_loop_rate(30);
    EXPECT_EQ(take_sleeps(), (sleeps{9, 9, 9, 6, 1}));  // to 34 ms, mark at 33.3
    limit_loop_rate(30);
    EXPECT_EQ(take_sleeps(), (sleeps{9, 9, 9, 5, 1}));  // to 67 ms, mark at 66.7
}

TEST_F(Timing, LoopRateMakesUpALagOfUpTo32Ms) {
    limit_loop_rate(40);
    clock.now = 25 + 32;
    limit_loop_rate(40);  // mark 25
    EXPECT_TRUE(take_sleeps().empty());
    clock.now = 25 + 25 + 32;
    limit_loop_rate(40);  // mark 50
    limit_loop_rate(40);  // 82 - 50 = 32: mark 75
    EXPECT_TRUE(take_sleeps().empty());
    limit_loop_rate(40);  // 7 ms into the pass
    EXPECT_EQ(take_sleeps(), (sleeps{9, 9}));
}

TEST_F(Timing, LoopRateResetsTheMarkAfterALongerLag) {
    limit_loop_rate(40);
    clock.now = 25 + 33;
    limit_loop_rate(40);  // mark 58
    EXPECT_TRUE(take_sleeps().empty());
    limit_loop_rate(40);
    EXPECT_EQ(take_sleeps(), (sleeps{9, 9, 7}));
}

TEST_F(Timing, LoopRateTakesAClockBeforeTheMarkAsTheNewMark) {
    clock.now = 100;
    limit_loop_rate(40);
    clock.now = 10;
    limit_loop_rate(40);  // mark 10
    EXPECT_TRUE(take_sleeps().empty());
    clock.jump_after[0] = -50;
    limit_loop_rate(40);  // back while sleeping: mark -31, return
    EXPECT_EQ(take_sleeps(), (sleeps{9}));
    clock.jump_after.clear();
    limit_loop_rate(40);
    EXPECT_EQ(take_sleeps(), (sleeps{9, 9, 7}));
}

TEST_F(Timing, LoopRateOutOfRangeRaisesFive) {
    for (const double rate : {0.0, -1.0, 0.01, std::nan("")}) {
        limit_loop_rate(rate);
        EXPECT_EQ(pending_error, 5) << rate;
        pending_error = 0;
    }
    limit_loop_rate(0.02);  // a period of 50 s is allowed
    EXPECT_EQ(pending_error, 0);
    EXPECT_TRUE(take_sleeps().empty());
}

TEST(ProcessClock, NeverGoesBack) {
    const int64_t first = process_clock_ms();
    EXPECT_GE(first, 0);
    EXPECT_GE(process_clock_ms(), first);
}

}  // namespace
