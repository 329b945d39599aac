// The scene: how one frame of the view is drawn from the level's tables.
//
// drawScene() is the one place that turns the tables into pixels; it needs
// no window. The editor's frame loop calls it every tick on the view's back
// buffer; a tool or a test can call it on a surface of its own, on a device
// of its own (for example a 640 x 430 surface on PixelDevice(32)) to render a
// stage as the editor shows it:
//
//     PixelDevice device(32);
//     LevelSurfaces pictures(level, device, colorKey);   // every image, keyed
//     Surface* target = device.createSurface();
//     target->setSize(640, 430);
//     SceneView view = SceneView::stagePicture(stage, backdropSurface);
//     drawScene(*target, level, device, view);
//
// Surfaces are found through `device`: sprite records point at their
// image's surface by handle, as the editor keeps them. Coordinates, sizes
// and frame numbers from the tables are used as they are, whatever their
// values: every copy and outline is clipped without overflow.
#pragma once

#include <cstdint>
#include <string>
#include <set>
#include <vector>

#include <QString>

#include "display/spriteanimation.h"
#include "display/surface.h"
#include "model/level.h"

namespace slv {

// The grid's dots: a mid grey, faint over most pictures.
constexpr std::uint32_t kGridColor = 0x808080;

// What a frame shows besides the tables.
struct SceneView {
    // The stage whose sprites are drawn (1..30; anything else draws none)
    // and whose sector column is outlined (0..30).
    int stage = 0;
    Surface* backdrop = nullptr;  // copied at (0, 0)
    Surface* lowerPanel = nullptr;  // copied at (0, 430) when set
    // The actor: drawn centred on actorX, standing on actorY, at its
    // current frame. Null: no actor.
    const SkinRec* actor = nullptr;
    int actorX = 200, actorY = 200;
    // The frames the sprites show while they animate; null: each sprite at
    // its record's frame.
    const SpriteAnimation* animation = nullptr;
    // Every sprite at its first frame instead (over `animation`).
    bool firstFrames = false;

    // Overlays, drawn in this order over the sprites.
    // The grid: a dot on every second pixel of each line whose x or y is a
    // multiple of gridSize, in kGridColor; 0 (or less): no grid.
    int gridSize = 0;
    bool band = false;                       // the rubber band, dashed white
    int bandX1 = 0, bandY1 = 0, bandX2 = 0, bandY2 = 0;
    // Sector and sprite boxes: dashed in sectorColor / spriteBoxColor, the
    // gaps in contrastColor() of it.
    bool sectorOutlines = false;
    bool spriteOutlines = false;
    // With the sector outlines: each sector's name inside its box, at its
    // top left, in sectorColor over a shadow in its contrast colour, clipped
    // to the inside of the box.
    bool sectorNames = true;
    std::uint32_t sectorColor = kDefaultSectorColor;
    std::uint32_t spriteBoxColor = kDefaultSpriteBoxColor;
    // The selected sprites (of `stage`) and sectors (of its column), 1-based:
    // a solid outline around each, in markColor(), drawn whether or not the
    // dashed outlines are on. Numbers the stage does not have are ignored.
    std::set<int> selectedSprites;
    std::set<int> selectedSectors;
    // Lines of text at (0, 0), (0, 15), (0, 30); empty: no text.
    std::vector<QString> numbers;

    // A stage as it looks with nothing but its pictures: backdrop and every
    // sprite at its first frame.
    static SceneView stagePicture(int stage, Surface* backdrop) {
        SceneView v;
        v.stage = stage;
        v.backdrop = backdrop;
        v.firstFrames = true;
        return v;
    }
    // The colour (0x00BBGGRR) of the selection marks: one that differs,
    // on the target, from both outline colours and from the band's white.
    std::uint32_t markColor(const Surface& target) const;
};

// Black or white, whichever reads better against `color` (0x00BBGGRR).
std::uint32_t contrastColor(std::uint32_t color);

// What one frame leaves for the next on the same target: the overlays'
// pixels, so that outlines that did not change are replayed instead of
// traced again, and what the frame was made of, so that the next frame on
// a target nothing else has drawn on since is drawn only where it differs.
// Optional; a frame drawn with a cache is byte for byte the frame drawn
// without one.
class SceneCache {
public:
    SceneCache();
    ~SceneCache();
    SceneCache(const SceneCache&) = delete;
    SceneCache& operator=(const SceneCache&) = delete;

    struct Impl;

private:
    friend std::vector<PixelRect> drawScene(Surface&, const Level&, const PixelDevice&, const SceneView&,
                                            SceneCache*);
    Impl* impl_;
};

// Draws one frame onto `target`: clears it to 0, then backdrop, lower panel, actor,
// the sprites of view.stage at their frame (the animation's, or the record's)
// with their colour key, and the
// overlays. Leaves the target's canvas released. Returns the parts of the
// target that may have changed, as rectangles that do not overlap: all of
// it without a cache; with one, only where this frame differs from the one
// the cache last drew there (none when the target holds this frame already).
std::vector<PixelRect> drawScene(Surface& target, const Level& level, const PixelDevice& device,
                                 const SceneView& view, SceneCache* cache = nullptr);

// The source rectangle of frame `frame` (1-based) of a strip of frames `w`
// wide and `h` high, in 64 bits: (pos-1)*w .. pos*w.
inline PixelRect64 frameRect(std::int32_t pos, std::int32_t w, std::int32_t h) {
    return PixelRect64{(std::int64_t(pos) - 1) * w, 0, std::int64_t(pos) * w, h};
}

// Every used image of a level loaded onto a device, as Open loads them:
// each image's surface keyed with `colorKey`, each sprite record pointing at
// its image's surface. Pictures that cannot be read are left without a
// surface and their messages kept in errors(). The surfaces are freed, and
// the records' references cleared, when this ends.
class LevelSurfaces {
public:
    LevelSurfaces(Level& level, PixelDevice& device, std::uint32_t colorKey);
    ~LevelSurfaces();
    LevelSurfaces(const LevelSurfaces&) = delete;
    LevelSurfaces& operator=(const LevelSurfaces&) = delete;

    const std::vector<std::string>& errors() const { return errors_; }

private:
    Level& level_;
    PixelDevice& device_;
    std::vector<std::string> errors_;
};

}  // namespace slv
