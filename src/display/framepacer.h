// When the next frame may be drawn: frames spread evenly at a given rate,
// on a millisecond clock, never more of them in a second than the rate.
#pragma once

#include <cstdint>

namespace slv {

class FramePacer {
public:
    // Frames a second at most; 0 (or less) paces nothing.
    void setRate(double perSecond);
    double rate() const { return rate_; }
    bool paced() const { return rate_ > 0; }
    // Starts a new run of frames, the first of them due at `now`.
    void restart(std::uint32_t now);
    // Milliseconds from `now` until the next frame is due; 0 when it is.
    std::uint32_t waitAt(std::uint32_t now) const;
    // A frame was drawn at `now`; the next is due one period after the
    // previous due time, so late frames do not push the later ones back.
    // A frame later than a whole period starts a new run from `now`, so a
    // stall is never made up with a burst.
    void frameAt(std::uint32_t now);

private:
    std::uint32_t due(std::uint64_t frame) const;

    double rate_ = 0;
    std::uint32_t base_ = 0;   // when frame 0 of the run was due
    std::uint64_t frames_ = 0; // frames of the run drawn so far
};

}  // namespace slv
