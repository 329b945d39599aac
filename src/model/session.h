// The editing state the model's editing functions read beside the level's
// tables: the tools' gesture state (the rubber band and the pointer), whether
// the Sprite fields show a sprite, and the sprite picker's state. None of it
// is saved or undone. (The view's state is the window's ViewState, the test
// actor's its ActorState, the settings the document's EditorSettings.)
#pragma once

#include <cstdint>
#include <string>


namespace slv {

struct EditSession {
    // ---- the tools' gesture ----
    bool bandActive = false;  // the Sector tool's rubber band is being drawn
    std::int32_t bandStartX = 0, bandStartY = 0;
    std::int32_t mouseX = 0, mouseY = 0;  // the pointer, in scene pixels

    // ---- the lower panel's fields ----
    bool spritesShown = true;  // the Sprite fields show a sprite

    // ---- the sprite picker ----
    bool fillingPickerFields = true;  // the picker's fields are being filled, not typed
    std::int32_t pickedStripWidth = 0;  // width of the picker's last clicked file; 0 when unknown
    // The picker's last clicked file when its name is too long for a pose
    // record (over 20 characters), and the frame count shown or typed for
    // it; empty when the last click was on another file.
    std::string longNamePickedPath;
    std::int32_t longNamePickedFrames = 0;
    bool pickerAdds = false;
};

}  // namespace slv
