// What a running editor keeps beside the level's tables: the gesture under
// way (drag offsets, the rubber band, the pointer), the picker's state, and
// the view's surfaces and colour keys. None of it is saved or undone.
#pragma once

#include <cstdint>
#include <string>

#include "records.h"

namespace slv {

struct EditSession {
    // ---- editing ----
    bool spritesShown = true;  // the Sprite fields show a sprite
    std::int32_t dragOffsetX = 0, dragOffsetY = 0;
    std::int32_t sectorDragOffsetX = 0, sectorDragOffsetY = 0;
    bool bandActive = false;
    std::int32_t bandStartX = 0, bandStartY = 0;
    std::int32_t mouseX = 0, mouseY = 0;
    bool fillingPickerFields = true;
    std::int32_t pickedStripWidth = 0;  // width of the picker's last clicked file; 0 when unknown
    // The picker's last clicked file when its name is too long for a pose
    // record (over 20 characters), and the frame count shown or typed for
    // it; empty when the last click was on another file.
    std::string longNamePickedPath;
    std::int32_t longNamePickedFrames = 0;
    bool pickerAdds = false;

    // ---- the view and the actor ----
    bool startupPending = true;
    bool padVisible = false;
    std::uint32_t colorKey = 0;
    std::uint32_t windowColorKey = 0;
    std::uint32_t lastTick = 0;
    bool releasePending = false;
    SurfaceHandle backdropSurface = 0;
    SurfaceHandle padSurface = 0;
};

}  // namespace slv
