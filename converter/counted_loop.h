// The counted loop of the step sequence: a hidden double-precision counter beside a
// single-precision loop variable, with the end and the increment fixed when the loop starts.
#pragma once

#include <cstdint>
#include <type_traits>

#include "converter/step_protocol.h"

enum class loop_flow { next, leave };

// Each pass sets `variable` to the counter (as a single) and ends the loop when the counter
// exceeds `end`; a pass that runs makes the check of `step` first, then runs `body`; after a
// pass the counter becomes `variable` + `increment`. A body may return loop_flow::leave to
// leave the loop at once. Returns loop_flow::leave when the body left it, else next.
template <typename Body>
loop_flow counted_loop(int32_t step, float& variable, double start, double end, double increment,
                       Body&& body) {
    double counter = start;
    for (;;) {
        variable = static_cast<float>(counter);
        if (counter > end) return loop_flow::next;
        step_module::main().after(step);
        if constexpr (std::is_same_v<std::invoke_result_t<Body>, loop_flow>) {
            if (body() == loop_flow::leave) return loop_flow::leave;
        } else {
            body();
        }
        counter = static_cast<double>(variable) + increment;
    }
}
