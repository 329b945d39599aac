#include "display/clock.h"

#include <chrono>

namespace slv {

std::uint32_t tickCount() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms);
}

}  // namespace slv
