// The view's grid: whether it is shown, its size, and whether moves, pastes
// and drawn sectors snap to it.
#pragma once

#include <QPoint>
#include <cstdint>

namespace slv {

struct GridSettings {
    static constexpr int kMinSize = 2;
    static constexpr int kMaxSize = 128;
    static constexpr int kDefaultSize = 16;
    // The sizes the View menu offers.
    static constexpr int kSizes[] = {2, 4, 8, 16, 32, 64, 128};

    bool visible = false;
    int size = kDefaultSize;
    bool snap = false;

    // A size from a settings file or a caller, kept within kMinSize..kMaxSize.
    static int validSize(int size) { return size < kMinSize ? kMinSize : size > kMaxSize ? kMaxSize : size; }

    // The multiple of `size` nearest to v (halfway rounds up, towards +inf).
    static int nearestLine(int v, int size) {
        const std::int64_t s = validSize(size);
        const std::int64_t shifted = std::int64_t(v) + s / 2;
        std::int64_t line = shifted / s * s;
        if (shifted < 0 && line != shifted) line -= s;  // floor for negative places
        if (line > INT32_MAX) line -= s;
        return int(line);
    }

    // `p` moved to the nearest grid point when snapping is on; as it is when off.
    QPoint snapToGrid(QPoint p) const {
        if (!snap) return p;
        return {nearestLine(p.x(), size), nearestLine(p.y(), size)};
    }
};

}  // namespace slv
