// Monotonic millisecond counter for the frame timer and the animation step.
#pragma once

#include <cstdint>

namespace slv {

// Milliseconds of a monotonic clock; wraps around as an unsigned 32-bit value,
// so differences are taken as unsigned 32-bit subtractions.
std::uint32_t tickCount();

}  // namespace slv
