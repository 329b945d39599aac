#include "display/scene.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

#include "display/canvas.h"
#include "model/tablebounds.h"

namespace slv {

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
// How far off the target the origin of a sector's name may lie.
constexpr std::int64_t kNameReach = 1 << 20;


bool stageHasSectors(int stage) { return stage >= 0 && stage <= kMaxStages; }

// The overlays of a frame as a script: one entry per outline, in drawing
// order. Two frames with equal scripts on targets of the same size and
// format get the same overlay pixels.
struct OverlayOp {
    std::int64_t x1, y1, x2, y2;
    std::uint32_t color;
    OutlineStyle style;
    bool operator==(const OverlayOp&) const = default;
};

struct OverlayScript {
    int width = 0, height = 0, bits = 0;
    std::vector<OverlayOp> ops;
    bool operator==(const OverlayScript&) const = default;
};

// One line of text of a frame: drawn over everything else, only inside `clip`.
struct TextItem {
    int x = 0, y = 0;
    PixelRect clip;
    std::uint32_t color = 0;
    QString text;
    bool operator==(const TextItem&) const = default;

    PixelRect bounds(SurfaceCanvas& canvas) const {
        const PixelRect b = canvas.textBounds(x, y, text);
        return {std::max(b.left, clip.left), std::max(b.top, clip.top), std::min(b.right, clip.right),
                std::min(b.bottom, clip.bottom)};
    }
};

// One copy of the scene: a picture, or a frame of a strip, at (x, y).
struct Piece {
    Surface* src;
    std::int64_t x, y;
    PixelRect64 frame;
    bool keyed;

    // The target pixels the copy may change.
    PixelRect64 area() const {
        return {x, y, x + (frame.right - frame.left), y + (frame.bottom - frame.top)};
    }
};

// A piece as the cache remembers it: its picture by handle and version, so
// that a picture changed or replaced since is known.
struct PieceRecord {
    SurfaceHandle src = 0;
    std::uint64_t version = 0;
    PixelRect64 area, frame;
    bool keyed = false;
    bool operator==(const PieceRecord&) const = default;
};

// Where a frame differs from the one the target holds, as 16 x 16 tiles.
class DamageGrid {
public:
    static constexpr int kTile = 16;
    DamageGrid(int width, int height)
        : width_(width), height_(height), cols_((width + kTile - 1) / kTile), rows_((height + kTile - 1) / kTile),
          marks_(std::size_t(cols_) * std::size_t(rows_), 0) {}

    // Marks the tiles under the part of r that lies on the target.
    void add(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom) {
        left = std::max<std::int64_t>(left, 0);
        top = std::max<std::int64_t>(top, 0);
        right = std::min<std::int64_t>(right, width_);
        bottom = std::min<std::int64_t>(bottom, height_);
        if (left >= right || top >= bottom) return;
        for (int row = int(top / kTile); row <= int((bottom - 1) / kTile); ++row)
            for (int col = int(left / kTile); col <= int((right - 1) / kTile); ++col) {
                std::uint8_t& m = marks_[std::size_t(row) * cols_ + col];
                marked_ += m == 0;
                m = 1;
            }
    }
    void add(const PixelRect64& r) { add(r.left, r.top, r.right, r.bottom); }
    // Marks the tiles under an outline: its runs lie on the edges of their bounds.
    void addOutline(const PixelRect& b) {
        if (b.empty() || mostly()) return;  // past that, the whole frame is drawn anyway
        add(b.left, b.top, b.right, b.top + 1);
        add(b.left, b.bottom - 1, b.right, b.bottom);
        add(b.left, b.top, b.left + 1, b.bottom);
        add(b.right - 1, b.top, b.right, b.bottom);
    }

    bool none() const { return marked_ == 0; }
    // Past this share, drawing the whole frame costs less than mending it.
    bool mostly() const { return marked_ * 2 > marks_.size(); }

    // The marked tiles as rectangles on the target: the runs of each row of
    // tiles, a run joined to the one above it when both span the same columns.
    std::vector<PixelRect> rects() const {
        std::vector<PixelRect> out;
        std::vector<std::size_t> above, here;
        for (int row = 0; row < rows_; ++row) {
            here.clear();
            for (int col = 0; col < cols_;) {
                if (!marks_[std::size_t(row) * cols_ + col]) {
                    ++col;
                    continue;
                }
                const int first = col;
                while (col < cols_ && marks_[std::size_t(row) * cols_ + col]) ++col;
                const PixelRect run{first * kTile, row * kTile, std::min(col * kTile, width_),
                                    std::min((row + 1) * kTile, height_)};
                auto same = std::find_if(above.begin(), above.end(), [&](std::size_t k) {
                    return out[k].left == run.left && out[k].right == run.right;
                });
                if (same != above.end()) {
                    out[*same].bottom = run.bottom;
                    here.push_back(*same);
                } else {
                    out.push_back(run);
                    here.push_back(out.size() - 1);
                }
            }
            std::swap(above, here);
        }
        return out;
    }

private:
    int width_, height_, cols_, rows_;
    std::vector<std::uint8_t> marks_;
    std::size_t marked_ = 0;
};

}  // namespace

// What the cache keeps between frames:
// - the overlays as runs of pixels, one outline after another in drawing
//   order, each with the entry of the script it was traced from: an outline
//   whose entry is the same as last frame's (its box did not move) is
//   written again without tracing it again;
// - the frame last drawn, by what it was made of, and the target it was
//   drawn on with that target's version after it. When the target still
//   holds it, only the tiles where the new frame differs are drawn again.
struct SceneCache::Impl {
    OverlayScript script;
    bool traced = false;
    struct Outline {
        std::vector<OutlineRun> runs;
        std::uint32_t pixel = 0;
        PixelRect bounds;
    };
    std::vector<Outline> outlines;  // one for each of script.ops

    struct Shown {
        bool valid = false;
        SurfaceHandle target = 0;
        std::uint64_t version = 0;
        int width = 0, height = 0;
        std::vector<PieceRecord> pieces;
        std::vector<TextItem> texts;
        int gridSize = 0;
    } shown;
};

SceneCache::SceneCache() : impl_(new Impl) {}
SceneCache::~SceneCache() { delete impl_; }

namespace {

// Traces the outlines of `script` that differ from the cached ones. With
// `damage`, the tiles under every outline that changed are marked there,
// where it was and where it is now.
void traceOverlays(OverlayScript&& script, const Surface& target, SceneCache::Impl& o, DamageGrid* damage) {
    if (o.traced && script == o.script) return;
    // Outlines traced for another target size or format are all traced again.
    const bool sameTarget = o.traced && script.width == o.script.width && script.height == o.script.height &&
                            script.bits == o.script.bits;
    if (damage && sameTarget)
        for (std::size_t k = script.ops.size(); k < o.outlines.size(); ++k) damage->addOutline(o.outlines[k].bounds);
    const PixelDevice& d = target.device();
    o.outlines.resize(script.ops.size());
    for (std::size_t k = 0; k < script.ops.size(); ++k) {
        const OverlayOp& op = script.ops[k];
        const bool known = sameTarget && k < o.script.ops.size();
        if (known && o.script.ops[k] == op) continue;
        SceneCache::Impl::Outline& outline = o.outlines[k];
        if (damage && known) damage->addOutline(outline.bounds);
        outline.runs.clear();
        traceOutline(op.x1, op.y1, op.x2, op.y2, op.style, script.width, script.height, outline.runs);
        outline.pixel = d.rgbToPixel(int(op.color & 255), int((op.color >> 8) & 255), int((op.color >> 16) & 255));
        outline.bounds = boundsOfRuns(outline.runs.data(), outline.runs.size());
        if (damage) damage->addOutline(outline.bounds);
    }
    o.script = std::move(script);
    o.traced = true;
}

// The copy of `p` limited to the target pixels inside `clip`.
void blitWithin(Surface& target, const Piece& p, const PixelRect& clip) {
    const PixelRect64 a = p.area();
    const std::int64_t left = std::max<std::int64_t>(a.left, clip.left);
    const std::int64_t top = std::max<std::int64_t>(a.top, clip.top);
    const std::int64_t right = std::min<std::int64_t>(a.right, clip.right);
    const std::int64_t bottom = std::min<std::int64_t>(a.bottom, clip.bottom);
    if (left >= right || top >= bottom) return;
    const PixelRect64 from{p.frame.left + (left - p.x), p.frame.top + (top - p.y), p.frame.left + (right - p.x),
                           p.frame.top + (bottom - p.y)};
    target.blit(left, top, from, p.src, p.keyed);
}

// The grid's dots inside `clip`: on each column x = k * size, the pixels of
// even y; on each row y = k * size, the pixels of even x.
void drawGridWithin(const PixelView& v, int size, std::uint32_t pixel, const PixelRect& clip) {
    const int left = std::max(clip.left, 0), top = std::max(clip.top, 0);
    const int right = std::min(clip.right, v.width), bottom = std::min(clip.bottom, v.height);
    if (size <= 0 || left >= right || top >= bottom) return;
    auto put = [&v, pixel](int x, int y) {
        std::uint8_t* at = v.pixels + std::size_t(y) * std::size_t(v.pitch) + std::size_t(x) * v.bytesPerPixel;
        if (v.bytesPerPixel == 4) {
            std::memcpy(at, &pixel, 4);
        } else {
            const std::uint16_t p16 = std::uint16_t(pixel);
            std::memcpy(at, &p16, 2);
        }
    };
    const int firstColumn = (left + size - 1) / size * size;
    for (int x = firstColumn; x < right; x += size)
        for (int y = top + (top & 1); y < bottom; y += 2) put(x, y);
    const int firstRow = (top + size - 1) / size * size;
    for (int y = firstRow; y < bottom; y += size)
        for (int x = left + (left & 1); x < right; x += 2) put(x, y);
}

bool meets(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

std::uint32_t contrastColor(std::uint32_t color) {
    const int r = int(color & 255), g = int((color >> 8) & 255), b = int((color >> 16) & 255);
    return 299 * r + 587 * g + 114 * b >= 128 * 1000 ? kBlack : kWhite;
}

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

std::vector<PixelRect> drawScene(Surface& target, const Level& L, const PixelDevice& device,
                                 const SceneView& view, SceneCache* cache) {
    const int W = target.width(), H = target.height();
    if (W <= 0 || H <= 0) return {};

    // The copies, in drawing order: backdrop, lower panel, actor, sprites.
    std::vector<Piece> pieces;
    pieces.reserve(kMaxSprites + 3);
    if (view.backdrop) pieces.push_back({view.backdrop, 0, 0, view.backdrop->rect(), false});
    if (view.lowerPanel) pieces.push_back({view.lowerPanel, 0, 430, view.lowerPanel->rect(), false});
    if (const SkinRec* s = view.actor)
        if (Surface* src = device.resolve(s->surface))
            pieces.push_back({src, std::int64_t(view.actorX) - s->w / 2, std::int64_t(view.actorY) - s->h,
                              frameRect(s->frame, s->w, s->h), true});
    const int nsprites = isStageNumber(view.stage) ? clampCount(L.stage(view.stage).spriteCount, kMaxSprites) : 0;
    for (int n = 1; n <= nsprites; ++n) {
        const SpriteRec& r = L.sprite(n, view.stage);
        if (Surface* src = device.resolve(r.surface)) {
            const std::int32_t frame = view.firstFrames ? 1
                                       : view.animation ? view.animation->frame(view.stage, n, r.frame)
                                                        : r.frame;
            pieces.push_back({src, r.x, r.y, frameRect(frame, r.w, r.h), true});
        }
    }

    // The overlays, as a script.
    const int nsectors = stageHasSectors(view.stage) ? clampCount(L.stage(view.stage).sectorCount, kMaxSectors) : 0;
    OverlayScript script;
    script.width = W;
    script.height = H;
    script.bits = target.bitsPerPixel();
    script.ops.reserve(std::size_t(2 * nsectors + 2 * nsprites + 3));
    auto box = [&script](std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, std::uint32_t color,
                         OutlineStyle style) { script.ops.push_back({x, y, x + w, y + h, color, style}); };
    // A two-tone dashed box: the dashes in `color`, the gaps between them in
    // its contrast, so that it shows on dark and light pictures alike.
    auto twoToneBox = [&box](std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, std::uint32_t color) {
        box(x, y, w, h, color, OutlineStyle::Dashes);
        box(x, y, w, h, contrastColor(color), OutlineStyle::Gaps);
    };
    if (view.band)
        script.ops.push_back({view.bandX1, view.bandY1, view.bandX2, view.bandY2, kWhite, OutlineStyle::Dashes});
    if (view.sectorOutlines)
        for (int n = 1; n <= nsectors; ++n) {
            const SectorRec& r = L.sector(n, view.stage);
            twoToneBox(r.x, r.y, r.w, r.h, view.sectorColor);
        }
    if (view.spriteOutlines)
        for (int n = 1; n <= nsprites; ++n) {
            const SpriteRec& r = L.sprite(n, view.stage);
            twoToneBox(r.x, r.y, r.w, r.h, view.spriteBoxColor);
        }
    const auto marked = [](const std::set<int>& numbers, int count) {
        return std::any_of(numbers.begin(), numbers.end(), [count](int n) { return n >= 1 && n <= count; });
    };
    const bool spriteMark = marked(view.selectedSprites, nsprites);
    const bool sectorMark = marked(view.selectedSectors, nsectors);
    if (spriteMark || sectorMark) {
        // A solid frame one pixel outside the box, so that it shows beside
        // a dashed outline of the same box.
        const std::uint32_t mark = view.markColor(target);
        auto around = [&box, mark](std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) {
            box(x - 1, y - 1, w + 2, h + 2, mark, OutlineStyle::Solid);
        };
        for (int n : view.selectedSprites)
            if (n >= 1 && n <= nsprites) {
                const SpriteRec& r = L.sprite(n, view.stage);
                around(r.x, r.y, r.w, r.h);
            }
        for (int n : view.selectedSectors)
            if (n >= 1 && n <= nsectors) {
                const SectorRec& r = L.sector(n, view.stage);
                around(r.x, r.y, r.w, r.h);
            }
    }
    // The text, in drawing order: the sectors' names, each inside its box
    // with a shadow in the contrast colour, then the numbers.
    std::vector<TextItem> texts;
    if (view.sectorOutlines && view.sectorNames)
        for (int n = 1; n <= nsectors; ++n) {
            const SectorRec& r = L.sector(n, view.stage);
            if (r.name.empty()) continue;
            const std::int64_t x1 = std::min<std::int64_t>(r.x, std::int64_t(r.x) + r.w);
            const std::int64_t x2 = std::max<std::int64_t>(r.x, std::int64_t(r.x) + r.w);
            const std::int64_t y1 = std::min<std::int64_t>(r.y, std::int64_t(r.y) + r.h);
            const std::int64_t y2 = std::max<std::int64_t>(r.y, std::int64_t(r.y) + r.h);
            // Inside the outline, on the target.
            const PixelRect clip{int(std::clamp<std::int64_t>(x1 + 1, 0, W)), int(std::clamp<std::int64_t>(y1 + 1, 0, H)),
                                 int(std::clamp<std::int64_t>(x2 - 1, 0, W)), int(std::clamp<std::int64_t>(y2 - 1, 0, H))};
            if (clip.empty()) continue;
            // The origin of a name far off the target is held near it: the text
            // is clipped away all the same.
            const int x = int(std::clamp<std::int64_t>(x1 + 3, -kNameReach, W));
            const int y = int(std::clamp<std::int64_t>(y1 + 2, -kNameReach, H));
            const QString text = QString::fromStdString(r.name.str());
            texts.push_back({x + 1, y + 1, clip, contrastColor(view.sectorColor), text});
            texts.push_back({x, y, clip, view.sectorColor, text});
        }
    for (std::size_t k = 0; k < view.numbers.size(); ++k)
        texts.push_back({0, int(15 * k), PixelRect{0, 0, W, H}, kWhite, view.numbers[k]});

    // Cleared to 0 unless an opaque backdrop covers every pixel anyway.
    const bool covered = view.backdrop && view.backdrop->width() >= W && view.backdrop->height() >= H;

    SceneCache::Impl scratch;
    SceneCache::Impl& cached = cache ? *cache->impl_ : scratch;
    SceneCache::Impl::Shown& shown = cached.shown;
    // The frame the target holds can be mended when nothing but this drawing
    // has changed the target since it was drawn.
    const bool mendable = cache && shown.valid && shown.target == target.handle() &&
                          shown.version == target.version() && shown.width == W && shown.height == H;
    std::optional<DamageGrid> damage;
    if (mendable) damage.emplace(W, H);

    std::vector<PieceRecord> records;  // kept for the next frame: with a cache only
    if (cache) {
        records.reserve(pieces.size());
        for (const Piece& p : pieces)
            records.push_back({p.src->handle(), p.src->version(), p.area(), p.frame, p.keyed});
    }
    SurfaceCanvas& canvas = target.canvas();
    if (damage) {
        const std::size_t n = std::max(records.size(), shown.pieces.size());
        for (std::size_t k = 0; k < n && !damage->mostly(); ++k) {
            if (k < records.size() && k < shown.pieces.size() && records[k] == shown.pieces[k]) continue;
            if (k < shown.pieces.size()) damage->add(shown.pieces[k].area);
            if (k < records.size()) damage->add(records[k].area);
        }
        const std::size_t lines = std::max(texts.size(), shown.texts.size());
        for (std::size_t k = 0; k < lines && !damage->mostly(); ++k) {
            const bool was = k < shown.texts.size(), now = k < texts.size();
            if (was && now && shown.texts[k] == texts[k]) continue;
            if (was) damage->add(shown.texts[k].bounds(canvas));
            if (now) damage->add(texts[k].bounds(canvas));
        }
        // The grid lies over the whole frame: another size, or none, changes it all.
        if (std::max(view.gridSize, 0) != shown.gridSize) damage->add(0, 0, W, H);
    }
    // Outlines last: a frame already mostly changed traces them without marking.
    traceOverlays(std::move(script), target, cached, damage ? &*damage : nullptr);

    const std::uint32_t gridPixel =
        target.device().rgbToPixel(int(kGridColor & 255), int((kGridColor >> 8) & 255), int((kGridColor >> 16) & 255));
    std::vector<PixelRect> drawn;
    if (damage && damage->none()) {
        // The target already holds this frame.
    } else if (damage && !damage->mostly()) {
        drawn = damage->rects();
        for (const PixelRect& r : drawn) {
            if (!covered) target.fillRect(r, 0);
            for (const Piece& p : pieces) blitWithin(target, p, r);
            const PixelView v = target.pixelsForWrite();
            if (view.gridSize > 0) drawGridWithin(v, view.gridSize, gridPixel, r);
            for (const SceneCache::Impl::Outline& o : cached.outlines)
                if (meets(o.bounds, r)) writeOutlineRunsWithin(v, o.runs.data(), o.runs.size(), o.pixel, r);
        }
    } else {
        if (!covered) target.fill(0);
        for (const Piece& p : pieces) target.blit(p.x, p.y, p.frame, p.src, p.keyed);
        if (view.gridSize > 0) drawGridWithin(target.pixelsForWrite(), view.gridSize, gridPixel, target.rect());
        if (!cached.outlines.empty()) {
            const PixelView v = target.pixelsForWrite();
            for (const SceneCache::Impl::Outline& o : cached.outlines)
                writeOutlineRuns(v, o.runs.data(), o.runs.size(), o.pixel);
        }
        drawn = {target.rect()};
    }

    // Text goes over everything, whole: where it did not change it writes
    // the pixels it wrote last frame.
    if (!drawn.empty() && !texts.empty()) {
        canvas.setBrushStyle(BrushStyle::Clear);
        for (const TextItem& t : texts) {
            canvas.setFontColor(t.color);
            canvas.drawTextWithin(t.x, t.y, t.text, t.clip);
        }
    }
    target.releaseCanvas();

    if (cache) {
        shown.valid = true;
        shown.target = target.handle();
        shown.version = target.version();
        shown.width = W;
        shown.height = H;
        shown.pieces = std::move(records);
        shown.texts = std::move(texts);
        shown.gridSize = std::max(view.gridSize, 0);
    }
    return drawn;
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
