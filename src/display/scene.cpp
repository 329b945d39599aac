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

void runScript(SurfaceCanvas& c, const OverlayScript& script) {
    c.setBrushStyle(BrushStyle::Clear);
    for (const OverlayOp& op : script.ops) {
        c.setPenStyle(op.dashed ? PenStyle::Dash : PenStyle::Solid);
        c.setPenColor(op.color);
        c.rectangle(op.x1, op.y1, op.x2, op.y2);
    }
}

// The pixels a script writes, each once with the value it ends with, in
// address order and indexed by row: lone pixels (the vertical edges) and
// horizontal runs apart, so that writing them back takes no decisions.
struct OverlayPixels {
    struct Point {
        std::uint32_t x, value;
    };
    struct Run {
        std::uint32_t x, length, value;
    };
    // Row y's points are pointStart[y] .. pointStart[y+1]-1; runs alike.
    std::vector<std::uint32_t> pointStart, runStart;
    std::vector<Point> points;
    std::vector<Run> runs;
};

// n pixels of value v from p on, 16 bytes at a time.
template <class T>
inline void fillRow(T* p, std::uint32_t n, T v) {
    typedef T V __attribute__((vector_size(16)));
    constexpr std::uint32_t L = 16 / sizeof(T);
    const V vv = V{} + v;
    std::uint32_t i = 0;
    for (; i + L <= n; i += L) std::memcpy(p + i, &vv, sizeof vv);
    for (; i < n; ++i) p[i] = v;
}

// Writes the recorded pixels onto a target of the recorded size, whatever
// its row pitch.
template <class T>
void replay(const OverlayPixels& o, const PixelView& v) {
    for (int y = 0; y < v.height; ++y) {
        T* row = reinterpret_cast<T*>(v.pixels + std::size_t(y) * v.pitch);
        for (std::uint32_t k = o.pointStart[std::size_t(y)], e = o.pointStart[std::size_t(y) + 1]; k < e; ++k)
            row[o.points[k].x] = static_cast<T>(o.points[k].value);
        for (std::uint32_t k = o.runStart[std::size_t(y)], e = o.runStart[std::size_t(y) + 1]; k < e; ++k) {
            const OverlayPixels::Run& r = o.runs[k];
            fillRow(row + r.x, r.length, static_cast<T>(r.value));
        }
    }
}

// Draws the script on two blank surfaces, one all zeros and one all ones:
// a pixel is written where either differs from its blank, and then holds
// the same value in both.
template <class T>
OverlayPixels recordRuns(const OverlayScript& script) {
    PixelDevice scratch(script.bits);
    Surface* zeros = scratch.createSurface();
    Surface* ones = scratch.createSurface();
    zeros->setSize(script.width, script.height);
    ones->setSize(script.width, script.height);
    const T allOnes = script.bits == 32 ? T(0x00FFFFFFu) : T(0xFFFFu);
    zeros->fill(0);
    ones->fill(allOnes);
    runScript(zeros->canvas(), script);
    runScript(ones->canvas(), script);
    zeros->releaseCanvas();
    ones->releaseCanvas();
    const PixelView a = zeros->pixels(), b = ones->pixels();
    OverlayPixels o;
    for (int y = 0; y < a.height; ++y) {
        o.pointStart.push_back(std::uint32_t(o.points.size()));
        o.runStart.push_back(std::uint32_t(o.runs.size()));
        const T* ra = reinterpret_cast<const T*>(a.pixels + std::size_t(y) * a.pitch);
        const T* rb = reinterpret_cast<const T*>(b.pixels + std::size_t(y) * b.pitch);
        auto written = [&](int x) { return ra[x] != 0 || rb[x] != allOnes; };
        for (int x = 0; x < a.width;) {
            if (!written(x)) {
                ++x;
                continue;
            }
            const T value = rb[x];
            int end = x + 1;
            while (end < a.width && written(end) && rb[end] == value) ++end;
            if (end - x == 1)
                o.points.push_back({std::uint32_t(x), value});
            else
                o.runs.push_back({std::uint32_t(x), std::uint32_t(end - x), value});
            x = end;
        }
    }
    o.pointStart.push_back(std::uint32_t(o.points.size()));
    o.runStart.push_back(std::uint32_t(o.runs.size()));
    return o;
}

}  // namespace

// Overlays are drawn directly while they change from frame to frame (a
// drag); once the same script has come a few frames in a row its pixels are
// recorded and then replayed until it changes.
constexpr int kFramesBeforeRecording = 4;

struct SceneCache::Impl {
    OverlayScript last;      // the script of the previous frames
    int sameFrames = 0;      // how many frames in a row had it
    OverlayScript recorded;  // the script whose pixels are held
    bool haveRecording = false;
    OverlayPixels pixels;
};

SceneCache::SceneCache() : impl_(new Impl) {}
SceneCache::~SceneCache() { delete impl_; }

namespace {

// The recorded pixels of `script` when they can be replayed this frame:
// held from before, or recorded now because the previous frame had the same
// script. Null: draw the script directly.
const OverlayPixels* recordedOverlays(const OverlayScript& script, SceneCache::Impl* cache) {
    // Indexes are 32-bit.
    const bool recordable = cache && !script.ops.empty() && std::int64_t(script.height) * script.width < (std::int64_t(1) << 31);
    if (!recordable) return nullptr;
    if (cache->haveRecording && script == cache->recorded) return &cache->pixels;
    if (script == cache->last && ++cache->sameFrames >= kFramesBeforeRecording) {
        cache->pixels = script.bits == 32 ? recordRuns<std::uint32_t>(script) : recordRuns<std::uint16_t>(script);
        cache->recorded = script;
        cache->haveRecording = true;
        return &cache->pixels;
    }
    if (!(script == cache->last)) {
        cache->last = script;
        cache->sameFrames = 1;
    }
    return nullptr;
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
    const OverlayPixels* recorded = recordedOverlays(script, cache ? cache->impl_ : nullptr);

    // Cleared to 0 unless an opaque backdrop covers every pixel anyway.
    const bool covered = view.backdrop && view.backdrop->width() >= W && view.backdrop->height() >= H;
    if (!covered) target.fill(0);
    for (const Piece& p : pieces) target.blit(p.x, p.y, p.frame, p.src, p.keyed);
    if (recorded) {
        const PixelView v = target.pixelsForWrite();
        if (script.bits == 32)
            replay<std::uint32_t>(*recorded, v);
        else
            replay<std::uint16_t>(*recorded, v);
    }
    if (!recorded && !script.ops.empty()) runScript(target.canvas(), script);

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
