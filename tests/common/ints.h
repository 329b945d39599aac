// Several integers compared in one go, so that a failure shows them all.
#pragma once

#include <vector>

using Ints = std::vector<int>;

// x, y, w and h of a sprite, sector or rectangle.
template <class R>
Ints rectOf(const R& r) {
    return {r.x, r.y, r.w, r.h};
}
