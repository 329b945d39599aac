#include "display/scene.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "display/canvas.h"

namespace slv {

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

int clampCount(int n, int max) { return n < 0 ? 0 : (n > max ? max : n); }

bool stageHasSprites(int stage) { return stage >= 1 && stage <= kMaxStages; }
bool stageHasSectors(int stage) { return stage >= 0 && stage <= kMaxStages; }

// The overlays of a frame as a script: one entry per outline, in drawing
// order. Two frames with equal scripts on targets of the same size and
// format get the same overlay pixels.
struct OverlayOp {
    std::int64_t x1, y1, x2, y2;
    std::uint32_t color;
    bool dashed;
    bool operator==(const OverlayOp&) const = default;
};

struct OverlayScript {
    int width = 0, height = 0, bits = 0;
    std::vector<OverlayOp> ops;
    bool operator==(const OverlayScript&) const = default;
};

}  // namespace

// The overlays of a frame as runs of pixels, one outline after another in
// drawing order, each kept with the entry of the script it was traced from:
// an outline whose entry is the same as last frame's (its box did not move)
// is written again without tracing it again. Tracing is cheap, so a frame
// after a change costs no more than any other.
struct SceneCache::Impl {
    OverlayScript script;
    bool traced = false;
    struct Outline {
        std::vector<OutlineRun> runs;
        std::uint32_t pixel = 0;
    };
    std::vector<Outline> outlines;  // one for each of script.ops
};

SceneCache::SceneCache() : impl_(new Impl) {}
SceneCache::~SceneCache() { delete impl_; }

namespace {

void traceOverlays(OverlayScript&& script, const Surface& target, SceneCache::Impl& o) {
    if (o.traced && script == o.script) return;
    // Outlines traced for another target size or format are all traced again.
    const bool sameTarget = o.traced && script.width == o.script.width && script.height == o.script.height &&
                            script.bits == o.script.bits;
    const PixelDevice& d = target.device();
    o.outlines.resize(script.ops.size());
    for (std::size_t k = 0; k < script.ops.size(); ++k) {
        const OverlayOp& op = script.ops[k];
        if (sameTarget && k < o.script.ops.size() && o.script.ops[k] == op) continue;
        SceneCache::Impl::Outline& outline = o.outlines[k];
        outline.runs.clear();
        traceOutline(op.x1, op.y1, op.x2, op.y2, op.dashed, script.width, script.height, outline.runs);
        outline.pixel = d.rgbToPixel(int(op.color & 255), int((op.color >> 8) & 255), int((op.color >> 16) & 255));
    }
    o.script = std::move(script);
    o.traced = true;
}

// One copy of the scene: a picture, or a frame of a strip, at (x, y).
struct Piece {
    Surface* src;
    std::int64_t x, y;
    PixelRect64 frame;
    bool keyed;
};

}  // namespace

std::uint32_t SceneView::markColor(const Surface& target) const {
    // Yellow, else cyan, else orange: at most three colours to avoid.
    static constexpr std::uint32_t kCandidates[] = {0x00FFFF, 0xFFFF00, 0x0080FF, 0x8000FF};
    const PixelDevice& d = target.device();
    auto pixel = [&d](std::uint32_t c) {
        return d.rgbToPixel(int(c & 255), int((c >> 8) & 255), int((c >> 16) & 255));
    };
    for (std::uint32_t c : kCandidates)
        if (pixel(c) != pixel(sectorColor) && pixel(c) != pixel(spriteBoxColor) && pixel(c) != pixel(kWhite))
            return c;
    return kCandidates[3];  // unreachable: four candidates, three to avoid
}

void drawScene(Surface& target, const Level& L, const PixelDevice& device,
               const SceneView& view, SceneCache* cache) {
    const int W = target.width(), H = target.height();
    if (W <= 0 || H <= 0) return;

    // The copies, in drawing order: backdrop, pad, actor, sprites.
    std::vector<Piece> pieces;
    pieces.reserve(kMaxSprites + 3);
    if (view.backdrop) pieces.push_back({view.backdrop, 0, 0, view.backdrop->rect(), false});
    if (view.pad) pieces.push_back({view.pad, 0, 430, view.pad->rect(), false});
    if (const SkinRec* s = view.actor)
        if (Surface* src = device.resolve(s->surface))
            pieces.push_back({src, std::int64_t(view.actorX) - s->w / 2, std::int64_t(view.actorY) - s->h,
                              frameRect(s->frame, s->w, s->h), true});
    const int nsprites = stageHasSprites(view.stage) ? clampCount(L.stage(view.stage).spriteCount, kMaxSprites) : 0;
    for (int n = 1; n <= nsprites; ++n) {
        const SpriteRec& r = L.sprite(n, view.stage);
        if (Surface* src = device.resolve(r.surface))
            pieces.push_back({src, r.x, r.y, frameRect(view.firstFrames ? 1 : r.frame, r.w, r.h), true});
    }

    // The overlays, as a script.
    const int nsectors = stageHasSectors(view.stage) ? clampCount(L.stage(view.stage).sectorCount, kMaxSectors) : 0;
    OverlayScript script;
    script.width = W;
    script.height = H;
    script.bits = target.bitsPerPixel();
    auto box = [&script](std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, std::uint32_t color,
                         bool dashed) { script.ops.push_back({x, y, x + w, y + h, color, dashed}); };
    if (view.band) script.ops.push_back({view.bandX1, view.bandY1, view.bandX2, view.bandY2, kWhite, true});
    if (view.sectorOutlines)
        for (int n = 1; n <= nsectors; ++n) {
            const SectorRec& r = L.sector(n, view.stage);
            box(r.x, r.y, r.w, r.h, view.sectorColor, true);
        }
    if (view.spriteOutlines)
        for (int n = 1; n <= nsprites; ++n) {
            const SpriteRec& r = L.sprite(n, view.stage);
            box(r.x, r.y, r.w, r.h, view.spriteBoxColor, true);
        }
    const bool spriteMark = view.selectedSprite >= 1 && view.selectedSprite <= nsprites;
    const bool sectorMark = view.selectedSector >= 1 && view.selectedSector <= nsectors;
    if (spriteMark || sectorMark) {
        // A solid frame one pixel outside the box, so that it shows beside
        // a dashed outline of the same box.
        const std::uint32_t mark = view.markColor(target);
        auto around = [&box, mark](std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) {
            box(x - 1, y - 1, w + 2, h + 2, mark, false);
        };
        if (spriteMark) {
            const SpriteRec& r = L.sprite(view.selectedSprite, view.stage);
            around(r.x, r.y, r.w, r.h);
        }
        if (sectorMark) {
            const SectorRec& r = L.sector(view.selectedSector, view.stage);
            around(r.x, r.y, r.w, r.h);
        }
    }
    SceneCache::Impl scratch;
    SceneCache::Impl& overlays = cache ? *cache->impl_ : scratch;
    traceOverlays(std::move(script), target, overlays);

    // Cleared to 0 unless an opaque backdrop covers every pixel anyway.
    const bool covered = view.backdrop && view.backdrop->width() >= W && view.backdrop->height() >= H;
    if (!covered) target.fill(0);
    for (const Piece& p : pieces) target.blit(p.x, p.y, p.frame, p.src, p.keyed);
    if (!overlays.outlines.empty()) {
        const PixelView v = target.pixelsForWrite();
        for (const SceneCache::Impl::Outline& o : overlays.outlines)
            writeOutlineRuns(v, o.runs.data(), o.runs.size(), o.pixel);
    }

    if (!view.numbers.empty()) {
        SurfaceCanvas& c = target.canvas();
        c.setFontColor(kWhite);
        c.setBrushStyle(BrushStyle::Clear);
        for (std::size_t k = 0; k < view.numbers.size(); ++k) c.drawText(0, int(15 * k), view.numbers[k]);
    }
    target.releaseCanvas();
}

// ---------------------------------------------------------------- pictures

LevelSurfaces::LevelSurfaces(Level& level, PixelDevice& device, std::uint32_t colorKey)
    : level_(level), device_(device) {
    for (int m = 1; m <= clampCount(level.imageCount, kMaxImages); ++m) {
        ImageRec& img = level.image(m);
        img.surface = 0;
        if (img.name.empty()) continue;
        Surface* s = device.createSurface();
        try {
            s->loadPicture(img.path.str());
            s->setColorKey(colorKey);
            img.surface = s->handle();
        } catch (const std::exception& e) {
            device.freeSurface(s->handle());
            errors_.emplace_back(e.what());
        }
    }
    for (int st = 1; st <= kMaxStages; ++st)
        for (int n = 1; n <= clampCount(level.stage(st).spriteCount, kMaxSprites); ++n) {
            SpriteRec& r = level.sprite(n, st);
            const bool known = r.image >= 1 && r.image <= clampCount(level.imageCount, kMaxImages);
            r.surface = known ? level.image(r.image).surface : 0;
        }
}

LevelSurfaces::~LevelSurfaces() {
    for (int m = 1; m <= clampCount(level_.imageCount, kMaxImages); ++m) {
        ImageRec& img = level_.image(m);
        device_.freeSurface(img.surface);
        img.surface = 0;
    }
    for (int st = 1; st <= kMaxStages; ++st)
        for (int n = 1; n <= kMaxSprites; ++n) level_.sprite(n, st).surface = 0;
}

}  // namespace slv
