#include "editor/edittools.h"

#include "editor/leveldocument.h"
#include "model/editing.h"

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

void ItemTool::mousePressed(const ToolMouse& m) {
    // Each press starts a gesture: the moves until the next press are one step.
    gesture_ = document_.beginGesture();
    dragging_ = m.left;
    if (!m.left || m.ctrl) return;
    const Level& lv = document_.level();
    const int hit = kind_ == ItemKind::Sprite ? pickSprite(lv, m.x, m.y) : pickSector(lv, m.x, m.y);
    document_.selectOnly(kind_, hit);
    int x = 0, y = 0;
    if (itemPlace(hit, x, y)) {
        grabX_ = m.x - x;
        grabY_ = m.y - y;
    }
}

void ItemTool::mouseMoved(const ToolMouse& m) {
    if (!m.left) return;
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

void SectorTool::mouseReleased(const ToolMouse&) {
    dragging_ = false;
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
