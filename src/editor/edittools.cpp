#include "editor/edittools.h"

#include "editor/leveldocument.h"
#include "model/editing.h"

#include <algorithm>

namespace slv {

bool ItemTool::itemPlace(int number, int& x, int& y) const {
    const Level& lv = document_.level();
    const int stage = lv.openStage;
    if (kind_ == ItemKind::Sprite) {
        if (stage < 1 || stage > kMaxStages || number < 1 || number > lv.stage(stage).spriteCount) return false;
        x = lv.sprite(number, stage).x;
        y = lv.sprite(number, stage).y;
        return true;
    }
    if (stage < 0 || stage > kMaxStages || number < 1 || number > lv.stage(stage).sectorCount) return false;
    x = lv.sector(number, stage).x;
    y = lv.sector(number, stage).y;
    return true;
}

namespace {
// The items of `kind` on the open stage whose boxes meet the band between
// the corners (x1, y1) and (x2, y2).
std::set<int> itemsInBand(const Level& lv, ItemKind kind, int x1, int y1, int x2, int y2) {
    const std::int64_t left = std::min(x1, x2), right = std::max(x1, x2);
    const std::int64_t top = std::min(y1, y2), bottom = std::max(y1, y2);
    const int stage = lv.openStage;
    const bool sprites = kind == ItemKind::Sprite;
    int count = 0;
    if (sprites && stage >= 1 && stage <= kMaxStages) count = std::clamp(lv.stage(stage).spriteCount, 0, kMaxSprites);
    if (!sprites && stage >= 0 && stage <= kMaxStages) count = std::clamp(lv.stage(stage).sectorCount, 0, kMaxSectors);
    auto meets = [&](std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) {
        return x <= right && left < x + w && y <= bottom && top < y + h;
    };
    std::set<int> found;
    for (int n = 1; n <= count; ++n) {
        if (sprites) {
            const SpriteRec& r = lv.sprite(n, stage);
            if (meets(r.x, r.y, r.w, r.h)) found.insert(n);
        } else {
            const SectorRec& r = lv.sector(n, stage);
            if (meets(r.x, r.y, r.w, r.h)) found.insert(n);
        }
    }
    return found;
}
}  // namespace

void ItemTool::mousePressed(const ToolMouse& m) {
    // Each press starts a gesture: the moves until the next press are one step.
    gesture_ = document_.beginGesture();
    dragging_ = m.left;
    banding_ = false;
    if (!m.left || m.ctrl) return;
    const Level& lv = document_.level();
    const int hit = kind_ == ItemKind::Sprite ? pickSprite(lv, m.x, m.y) : pickSector(lv, m.x, m.y);
    if (hit == 0) {
        // Empty space: a band selects what it meets.
        dragging_ = false;
        banding_ = true;
        bandX1_ = bandX2_ = m.x;
        bandY1_ = bandY2_ = m.y;
        bandBase_ = m.shift ? document_.selection().of(kind_) : std::set<int>{};
        document_.select(kind_, bandBase_);
        return;
    }
    if (m.shift)
        document_.toggleSelected(kind_, hit);
    else if (!document_.selection().of(kind_).contains(hit))
        document_.selectOnly(kind_, hit);
    // The grab is kept from the first selected item: the others follow it.
    int x = 0, y = 0;
    if (itemPlace(document_.selection().first(kind_), x, y)) {
        grabX_ = m.x - x;
        grabY_ = m.y - y;
    } else {
        dragging_ = false;
    }
}

void ItemTool::mouseReleased(const ToolMouse&) {
    dragging_ = false;
    banding_ = false;
}

bool ItemTool::selectionBand(int& x1, int& y1, int& x2, int& y2) const {
    if (!banding_) return false;
    x1 = bandX1_, y1 = bandY1_, x2 = bandX2_, y2 = bandY2_;
    return true;
}

void ItemTool::mouseMoved(const ToolMouse& m) {
    if (!m.left) return;
    if (banding_) {
        bandX2_ = m.x;
        bandY2_ = m.y;
        std::set<int> chosen = bandBase_;
        chosen.merge(itemsInBand(document_.level(), kind_, bandX1_, bandY1_, bandX2_, bandY2_));
        document_.select(kind_, std::move(chosen));
        return;
    }
    // The first selected item goes where the pointer holds it (its corner
    // on the nearest grid point while snapping is on); the others keep
    // their places relative to it.
    int x = 0, y = 0;
    if (!itemPlace(document_.selection().first(kind_), x, y)) return;
    const QPoint corner = document_.snapToGrid(QPoint(m.x - grabX_, m.y - grabY_));
    document_.moveSelection(kind_, corner.x() - x, corner.y() - y, gesture_);
}

QString ItemTool::statusInfo() const {
    const std::size_t selected = document_.selection().of(kind_).size();
    const QString what = kind_ == ItemKind::Sprite ? QStringLiteral("sprite") : QStringLiteral("sector");
    if (selected == 0) return "Click a " + what + " to select it";
    return dragging_ ? "Drag to move the " + what : "Drag a " + what + " to move it";
}

void SectorTool::mousePressed(const ToolMouse& m) {
    const int stage = document_.level().openStage;
    if (m.right && (stage < 1 || stage > kMaxStages)) {
        // A sector belongs to a stage: with none open there is nowhere to keep it.
        emit refused(QStringLiteral("Open a stage before drawing a sector on it."));
        return;
    }
    if (m.right) {
        // Both corners of the band lie on the grid while snapping is on.
        const QPoint start = document_.snapToGrid(QPoint(m.x, m.y));
        document_.startBand(start.x(), start.y());
        emit bandStarted(start.x(), start.y());
    }
    ItemTool::mousePressed(m);
}

void SectorTool::mouseMoved(const ToolMouse& m) {
    const QPoint corner = document_.bandActive() ? document_.snapToGrid(QPoint(m.x, m.y)) : QPoint(m.x, m.y);
    document_.trackPointer(corner.x(), corner.y());
    ItemTool::mouseMoved(m);
    if (document_.bandActive()) {
        const EditSession& s = document_.level().session;
        emit bandResized(corner.x() - s.bandStartX, corner.y() - s.bandStartY);
    }
}

void SectorTool::mouseReleased(const ToolMouse& m) {
    ItemTool::mouseReleased(m);
    if (!document_.bandActive()) return;
    int made = 0;
    try {
        made = document_.finishBand();
    } catch (...) {
        emit bandEnded(0);
        throw;
    }
    emit bandEnded(made);
}

QString SectorTool::statusInfo() const {
    if (document_.bandActive()) return QStringLiteral("Let go to make the sector");
    return ItemTool::statusInfo() + QStringLiteral("; drag with the right button to draw a new one");
}

}  // namespace slv
