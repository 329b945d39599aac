// What the window's view keeps while it runs: the home pictures' surfaces,
// the transparent colours, the animation clock, whether the lower panel is
// shown and whether start-up is still under way. Nothing of it belongs to a
// level: it is never saved or undone. The window owns one; ScenePictures
// loads the surfaces and keys the pictures with it.
#pragma once

#include <cstdint>

#include "model/records.h"

namespace slv {

struct ViewState {
    bool startupPending = true;      // start-up has not finished yet
    bool lowerPanelVisible = false;  // the lower panel is drawn below the scene
    std::uint32_t colorKey = 0;          // the transparent colour in the device's format
    std::uint32_t windowColorKey = 0;    // the same in the window (full screen has its own)
    std::uint32_t lastTick = 0;          // when the animations last moved on (tickCount)
    SurfaceHandle backdropSurface = 0;
    SurfaceHandle lowerPanelSurface = 0;
};

}  // namespace slv
