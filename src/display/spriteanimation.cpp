#include "display/spriteanimation.h"

#include <algorithm>

#include "model/tablebounds.h"

namespace slv {

namespace {
int spriteCountOf(const Level& level, int stage) {
    if (stage < 1 || stage > kMaxStages) return 0;
    return std::clamp(level.stage(stage).spriteCount, 0, kMaxSprites);
}
}  // namespace

void SpriteAnimation::restart(const Level& level, int stage) {
    stage_ = isStageNumber(stage) ? stage : 0;
    sprites_.clear();
    const int count = spriteCountOf(level, stage_);
    for (int n = 1; n <= count; ++n) sprites_.push_back(startOf(level.sprite(n, stage_)));
}

void SpriteAnimation::follow(const Level& level, int stage) {
    if (stage != stage_) {
        restart(level, stage);
        return;
    }
    const int count = spriteCountOf(level, stage_);
    sprites_.resize(static_cast<std::size_t>(count));
    for (int n = 1; n <= count; ++n) {
        const SpriteRec& r = level.sprite(n, stage_);
        Shown& s = sprites_[static_cast<std::size_t>(n - 1)];
        if (!s.startedFrom(r)) s = startOf(r);
    }
}

void SpriteAnimation::advance() {
    for (Shown& s : sprites_) {
        ++s.frame;
        if (s.frame < 1 || s.frame > s.frameCount) s.frame = 1;
    }
}

std::int32_t SpriteAnimation::frame(int stage, int n, std::int32_t storedFrame) const {
    if (stage != stage_ || stage_ == 0 || n < 1 || n > static_cast<int>(sprites_.size())) return storedFrame;
    return sprites_[static_cast<std::size_t>(n - 1)].frame;
}

}  // namespace slv
