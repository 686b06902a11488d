// Pseudo-random numbers and rounding down.
#pragma once

#include <optional>

// The next value of the 24-bit generator seed := (seed * 16598013 + 12820163) mod 2^24, as
// seed / 2^24; the seed is 327680 at start-up. An argument of 0 repeats the last value, a
// negative one reseeds first, a positive one acts as none. 0 while an error is pending.
float random_single(std::optional<float> argument = std::nullopt);
// Puts the generator back to its start-up state (for tests).
void reset_random();

// The largest whole number not greater than x.
double floor_double(double x);
