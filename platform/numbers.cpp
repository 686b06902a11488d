#include "platform/numbers.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "platform/errors.h"

namespace {

constexpr uint32_t seed_mask = 0xFFFFFF;
constexpr uint32_t start_seed = 327680;
constexpr float seed_scale = 16777216.0f;

// The generator's whole state; only the converter thread draws numbers.
struct random_generator {
    uint32_t seed = start_seed;
};

random_generator generator;

}  // namespace

float random_single(std::optional<float> argument) {
    if (error_is_pending()) return 0.0f;
    if (argument && *argument == 0.0f) return static_cast<float>(generator.seed) / seed_scale;
    if (argument && *argument < 0.0f) {
        // Reseed: (low 24 bits + top 8 bits of the bit pattern) mod 2^24.
        const uint32_t bits = std::bit_cast<uint32_t>(*argument);
        generator.seed = ((bits & seed_mask) + (bits >> 24)) & seed_mask;
    }
    generator.seed = (generator.seed * 16598013u + 12820163u) & seed_mask;
    return static_cast<float>(generator.seed) / seed_scale;
}

void reset_random() { generator = random_generator{}; }

double floor_double(double x) { return std::floor(x); }
