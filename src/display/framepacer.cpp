#include "display/framepacer.h"

#include <cmath>

namespace slv {

namespace {

// Signed distance from a to b on the wrapping millisecond clock.
std::int32_t after(std::uint32_t a, std::uint32_t b) { return std::int32_t(b - a); }

}  // namespace

void FramePacer::setRate(double perSecond) {
    rate_ = perSecond > 0 && std::isfinite(perSecond) ? perSecond : 0;
    frames_ = 0;
}

void FramePacer::restart(std::uint32_t now) {
    base_ = now;
    frames_ = 0;
}

// Frame k of the run is due at base + ceil(k * 1000 / rate): rounded up to
// the millisecond, so no second ever holds more than `rate` frames.
std::uint32_t FramePacer::due(std::uint64_t frame) const {
    const double ms = std::ceil(double(frame) * 1000.0 / rate_ - 1e-9);
    return base_ + std::uint32_t(std::uint64_t(ms));
}

std::uint32_t FramePacer::waitAt(std::uint32_t now) const {
    if (!paced()) return 0;
    const std::int32_t wait = after(now, due(frames_));
    return wait > 0 ? std::uint32_t(wait) : 0;
}

void FramePacer::frameAt(std::uint32_t now) {
    if (!paced()) return;
    const std::int32_t late = after(due(frames_), now);
    const double period = 1000.0 / rate_;
    // Late by a period or more (a stall, a clock set back), or a run so long
    // that its count loses precision: start again from now.
    if (late >= period || late < -period || frames_ > (std::uint64_t(1) << 40))
        restart(now);
    ++frames_;
}

}  // namespace slv
