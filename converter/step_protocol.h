// The rules every numbered step of the converter follows: after each action, the per-step
// check when an event is pending; a test counts as true while a run-time error is pending,
// and a true test makes its check before the branch's first action.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/errors.h"
#include "platform/program_control.h"

class step_module {
  public:
    // The main sequence reports its own step numbers; an included module reports the line of
    // its caller's include (include_step), its own step number and its name.
    static constexpr step_module main() { return step_module(0, nullptr); }
    static constexpr step_module included(int32_t include_step, const char* name) {
        return step_module(include_step, name);
    }

    // The check that follows an action of step `step`.
    void after(int32_t step) const {
        if (event_pending.load(std::memory_order_acquire) == 0) return;
        if (name_ == nullptr) {
            statement_event_check(step, 0, nullptr);
        } else {
            statement_event_check(include_step_, step, name_);
        }
    }

    // A test of step `step`: true when `condition` holds or an error is pending once it has
    // been worked out; a true test makes its check before the branch runs.
    bool test(int32_t step, bool condition) const {
        const bool taken = condition || error_is_pending();
        if (taken) after(step);
        return taken;
    }

  private:
    constexpr step_module(int32_t include_step, const char* name)
        : include_step_(include_step), name_(name) {}

    int32_t include_step_;
    const char* name_;
};
