// The frames the view's sprites show while they animate.
//
// A sprite record keeps the frame the author placed, opened or set (`frame`),
// and Save stores that one. The animation the view plays lives here instead,
// beside the level: one frame for each sprite of the stage on view, started
// from its record's frame and stepped by the frame loop. Watching a level
// therefore never changes it.
#pragma once

#include <cstdint>
#include <vector>

#include "model/level.h"

namespace slv {

class SpriteAnimation {
public:
    // Starts every sprite of `stage` (1..30; any other stage has none) again
    // from its record's frame.
    void restart(const Level& level, int stage);

    // Keeps the animation in step with the level before a frame is drawn:
    // another stage restarts every sprite; a sprite that is new at its place,
    // or whose picture, frame count or stored frame changed (added, replaced,
    // deleted before it, undone), starts again from its record's frame. A
    // sprite that only moved goes on where it was.
    void follow(const Level& level, int stage);

    // One animation step: every sprite shows its next frame, the first again
    // after the last (or after a frame outside its frame count).
    void advance();

    // The frame sprite `n` (1-based) of `stage` shows: the animation's when it
    // animates that sprite, else `storedFrame` (the record's).
    std::int32_t frame(int stage, int n, std::int32_t storedFrame) const;

    // The stage animated (0 for none).
    int stage() const { return stage_; }

private:
    // What a sprite's animation was started from.
    struct Shown {
        std::int32_t image = 0, frameCount = 0, storedFrame = 0;
        std::int32_t frame = 0;  // what it shows
        bool startedFrom(const SpriteRec& r) const {
            return image == r.image && frameCount == r.frameCount && storedFrame == r.frame;
        }
    };
    static Shown startOf(const SpriteRec& r) { return {r.image, r.frameCount, r.frame, r.frame}; }

    int stage_ = 0;
    std::vector<Shown> sprites_;  // [n-1]
};

}  // namespace slv
