#include "display/scene.h"

#include <algorithm>
#include <exception>

#include "display/canvas.h"

namespace slv {

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

int clampCount(int n, int max) { return n < 0 ? 0 : (n > max ? max : n); }

bool stageHasSprites(int stage) { return stage >= 1 && stage <= kMaxStages; }
bool stageHasSectors(int stage) { return stage >= 0 && stage <= kMaxStages; }

}  // namespace

struct SceneCache::Impl {};

SceneCache::SceneCache() : impl_(new Impl) {}
SceneCache::~SceneCache() { delete impl_; }

std::uint32_t SceneView::markColor(const TDirectDrawSurface& target) const {
    // Yellow, else cyan, else orange: at most three colours to avoid.
    static constexpr std::uint32_t kCandidates[] = {0x00FFFF, 0xFFFF00, 0x0080FF, 0x8000FF};
    const TDirectDraw& d = target.device();
    auto pixel = [&d](std::uint32_t c) {
        return d.rgbToPixel(int(c & 255), int((c >> 8) & 255), int((c >> 16) & 255));
    };
    for (std::uint32_t c : kCandidates)
        if (pixel(c) != pixel(sectorColor) && pixel(c) != pixel(spriteBoxColor) && pixel(c) != pixel(kWhite))
            return c;
    return kCandidates[3];  // unreachable: four candidates, three to avoid
}

void drawScene(TDirectDrawSurface& target, const Level& L, const TDirectDraw& device,
               const SceneView& view, SceneCache* cache) {
    (void)cache;
    target.FillColor(0);
    if (view.backdrop) target.DrawRect(0, 0, view.backdrop->SurfaceRect(), view.backdrop, false);
    if (view.pad) target.DrawRect(0, 430, view.pad->SurfaceRect(), view.pad, false);

    if (const SkinRec* s = view.actor) {
        if (TDirectDrawSurface* src = device.resolve(s->surface))
            target.DrawRect(std::int64_t(view.actorX) - s->w / 2, std::int64_t(view.actorY) - s->h,
                            frameRect(s->pos, s->w, s->h), src, true);
    }

    const int nsprites = stageHasSprites(view.stage) ? clampCount(L.stage(view.stage).totsprites, kMaxSprites) : 0;
    for (int n = 1; n <= nsprites; ++n) {
        const SpriteRec& r = L.sprite(n, view.stage);
        TDirectDrawSurface* src = device.resolve(r.surface);
        if (!src) continue;
        target.DrawRect(r.x, r.y, frameRect(view.firstFrames ? 1 : r.pos, r.w, r.h), src, true);
    }

    const bool sectorsOk = stageHasSectors(view.stage);
    const int nsectors = sectorsOk ? clampCount(L.stage(view.stage).totsectors, kMaxSectors) : 0;
    const bool marks = (view.selectedSprite >= 1 && view.selectedSprite <= nsprites) ||
                       (view.selectedSector >= 1 && view.selectedSector <= nsectors);
    const bool overlays = view.band || (view.sectorOutlines && nsectors > 0) ||
                          (view.spriteOutlines && nsprites > 0) || marks || !view.numbers.empty();
    if (!overlays) return;

    TDirectDrawSurfaceCanvas& c = target.Canvas();
    c.SetFontColor(kWhite);
    c.SetBrushStyle(TBrushStyle::bsClear);
    c.SetPenStyle(TPenStyle::psDash);
    c.SetPenColor(kWhite);
    auto box = [&c](std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) {
        c.Rectangle(x, y, x + w, y + h);
    };
    if (view.band) c.Rectangle(view.bandX1, view.bandY1, view.bandX2, view.bandY2);
    if (view.sectorOutlines) {
        c.SetPenColor(view.sectorColor);
        for (int n = 1; n <= nsectors; ++n) {
            const SectorRec& r = L.sector(n, view.stage);
            box(r.x, r.y, r.w, r.h);
        }
    }
    if (view.spriteOutlines) {
        c.SetPenColor(view.spriteBoxColor);
        for (int n = 1; n <= nsprites; ++n) {
            const SpriteRec& r = L.sprite(n, view.stage);
            box(r.x, r.y, r.w, r.h);
        }
    }
    if (marks) {
        // A solid frame one pixel outside the box, so that it shows beside
        // a dashed outline of the same box.
        c.SetPenStyle(TPenStyle::psSolid);
        c.SetPenColor(view.markColor(target));
        if (view.selectedSprite >= 1 && view.selectedSprite <= nsprites) {
            const SpriteRec& r = L.sprite(view.selectedSprite, view.stage);
            box(std::int64_t(r.x) - 1, std::int64_t(r.y) - 1, std::int64_t(r.w) + 2, std::int64_t(r.h) + 2);
        }
        if (view.selectedSector >= 1 && view.selectedSector <= nsectors) {
            const SectorRec& r = L.sector(view.selectedSector, view.stage);
            box(std::int64_t(r.x) - 1, std::int64_t(r.y) - 1, std::int64_t(r.w) + 2, std::int64_t(r.h) + 2);
        }
    }
    for (std::size_t k = 0; k < view.numbers.size(); ++k) c.TextOut(0, int(15 * k), view.numbers[k]);
    c.ReleaseCanvas();
}

// ---------------------------------------------------------------- pictures

LevelSurfaces::LevelSurfaces(Level& level, TDirectDraw& device, std::uint32_t colorkey)
    : level_(level), device_(device) {
    for (int m = 1; m <= clampCount(level.totimages, kMaxImages); ++m) {
        ImageRec& img = level.image(m);
        img.surface = 0;
        if (img.name.empty()) continue;
        TDirectDrawSurface* s = device.CreateSurface();
        try {
            s->LoadBitmapFile(img.path.str());
            s->SetKeyColor(colorkey);
            img.surface = s->handle();
        } catch (const std::exception& e) {
            device.FreeSurface(s->handle());
            errors_.emplace_back(e.what());
        }
    }
    for (int st = 1; st <= kMaxStages; ++st)
        for (int n = 1; n <= clampCount(level.stage(st).totsprites, kMaxSprites); ++n) {
            SpriteRec& r = level.sprite(n, st);
            const bool known = r.image >= 1 && r.image <= clampCount(level.totimages, kMaxImages);
            r.surface = known ? level.image(r.image).surface : 0;
        }
}

LevelSurfaces::~LevelSurfaces() {
    for (int m = 1; m <= clampCount(level_.totimages, kMaxImages); ++m) {
        ImageRec& img = level_.image(m);
        device_.FreeSurface(img.surface);
        img.surface = 0;
    }
    for (int st = 1; st <= kMaxStages; ++st)
        for (int n = 1; n <= kMaxSprites; ++n) level_.sprite(n, st).surface = 0;
}

}  // namespace slv
