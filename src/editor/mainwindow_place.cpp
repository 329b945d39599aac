// Placement on the view: picking, dragging, rubber-band sectors, the Sprite
// and Sector fields and the outline colours.
#include <utility>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTabWidget>

#include "display/scenewidget.h"
#include "editor/mainwindow.h"
#include "model/editing.h"
#include "editor/edittools.h"
#include "editor/leveldocument.h"
#include "model/errors.h"
#include "model/names.h"
#include "model/tablebounds.h"
#include "editor/swatchpanel.h"
#include "editor/uiservices.h"

using namespace slv;

namespace {

// Shows `v` in a field without running its change handler.
void setSpin(QSpinBox* s, int v) {
    const QSignalBlocker quiet(s);
    s->setValue(v);
    s->setEnabled(true);
    if (s->text().isEmpty()) {
        // A cleared field shows its value again only on a change of value.
        s->setValue(v == 0 ? 1 : 0);
        s->setValue(v);
    }
}

// An empty, disabled field: there is no record to show.
void blankSpin(QSpinBox* s) {
    const QSignalBlocker quiet(s);
    s->setValue(0);
    s->clear();
    s->setEnabled(false);
}

// Keeps the undo and redo keys from the fields' own text undo, which would
// turn the window's undo into a new typed value.
class HistoryKeysGuard : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::ShortcutOverride) return false;
        auto* ke = static_cast<QKeyEvent*>(e);
        if (!ke->modifiers().testFlag(Qt::ControlModifier)) return false;
        if (ke->key() != Qt::Key_Z && ke->key() != Qt::Key_Y) return false;
        if (e->type() == QEvent::ShortcutOverride) return false;
        return true;
    }
};

}  // namespace

// Each label is set once to what it ends up showing: a drag refreshes the
// fields at every move, and a label set to another text lays itself out
// and paints again.
void MainWindow::showSpriteFields(int n) {
    Level& L = level();
    const bool valid = n >= 1 && n <= kMaxSprites && isStageNumber(L.openStage) &&
                       n <= L.stage(L.openStage).spriteCount;
    L.session.spritesShown = false;
    spriteFieldsRow_ = 0;
    if (!valid) {
        spriteName_->setText("none");
        spriteWidth_->setText("0");
        spriteHeight_->setText("0");
        blankSpin(spriteXField_);
        blankSpin(spriteYField_);
        return;
    }
    const SpriteRec& r = L.sprite(n, L.openStage);
    spriteName_->setText(QString::fromStdString(r.name.str()));
    setSpin(spriteXField_, r.x);
    setSpin(spriteYField_, r.y);
    spriteWidth_->setText(QString::number(r.w));
    spriteHeight_->setText(QString::number(r.h));
    spriteFieldsRow_ = n;
    L.session.spritesShown = true;
}

void MainWindow::showSectorFields(int n) {
    const Level& L = level();
    sectorFieldsRow_ = 0;
    const bool valid = n >= 1 && n <= kMaxSectors && L.openStage >= 0 && L.openStage <= kMaxStages &&
                       n <= L.stage(L.openStage).sectorCount;
    if (!valid) {
        sectorName_->setText("none");
        for (QSpinBox* s : {sectorXField_, sectorYField_, sectorWidthField_, sectorHeightField_}) blankSpin(s);
        return;
    }
    const SectorRec& r = L.sector(n, L.openStage);
    sectorName_->setText(QString::fromStdString(r.name.str()));
    setSpin(sectorXField_, r.x);
    setSpin(sectorYField_, r.y);
    setSpin(sectorWidthField_, r.w);
    setSpin(sectorHeightField_, r.h);
    sectorFieldsRow_ = n;
}

void MainWindow::setupEditing() {
    connect(sectorXField_, &QSpinBox::valueChanged, this, [this] { typedSectorValue(SectorField::X); });
    connect(sectorYField_, &QSpinBox::valueChanged, this, [this] { typedSectorValue(SectorField::Y); });
    connect(sectorWidthField_, &QSpinBox::valueChanged, this, [this] { typedSectorValue(SectorField::W); });
    connect(sectorHeightField_, &QSpinBox::valueChanged, this, [this] { typedSectorValue(SectorField::H); });
    // A value the record cannot take is refused when it is confirmed, never
    // rewritten while it is being typed.
    for (QSpinBox* s : {sectorWidthField_, sectorHeightField_})
        connect(s, &QSpinBox::editingFinished, this, [this, s] { confirmSectorSize(s); });
    auto* guard = new HistoryKeysGuard(this);
    for (QSpinBox* s : {spriteXField_, spriteYField_, sectorXField_, sectorYField_, sectorWidthField_, sectorHeightField_}) {
        s->installEventFilter(guard);
        for (QLineEdit* e : s->findChildren<QLineEdit*>()) e->installEventFilter(guard);
    }
    showSpriteFields(-1);
    showSectorFields(-1);
}

EditTool* MainWindow::activeTool() const {
    switch (editTabs_->currentIndex()) {
    case 1: return spriteTool_;
    case 2: return sectorTool_;
    default: return nullptr;
    }
}

namespace {
ToolMouse toolMouse(int buttons, bool ctrl, int x, int y) {
    return ToolMouse{(buttons & Qt::LeftButton) != 0, (buttons & Qt::RightButton) != 0, ctrl, x, y};
}
}  // namespace

void MainWindow::pressOnScene(int buttons, bool ctrl, int x, int y) {
    mouseHeld_ = true;
    ToolMouse m = toolMouse(buttons, ctrl, x, y);
    m.shift = sceneView_->pressModifiers().testFlag(Qt::ShiftModifier);
    if (EditTool* tool = activeTool()) tool->mousePressed(m);
}

void MainWindow::moveOnScene(int buttons, bool ctrl, int x, int y) {
    if (EditTool* tool = activeTool()) tool->mouseMoved(toolMouse(buttons, ctrl, x, y));
}

void MainWindow::releaseOnScene(int buttons, bool ctrl, int x, int y) {
    mouseHeld_ = false;
    refreshStaleFields();
    if (EditTool* tool = activeTool()) tool->mouseReleased(toolMouse(buttons, ctrl, x, y));
}

void MainWindow::showBand(int x, int y) {
    // The fields show the band until it ends; they edit no sector meanwhile.
    sectorFieldsRow_ = 0;
    sectorName_->setText("none");
    setSpin(sectorXField_, x);
    setSpin(sectorYField_, y);
}

void MainWindow::showBandSize(int width, int height) {
    setSpin(sectorWidthField_, width);
    setSpin(sectorHeightField_, height);
}

void MainWindow::selectSpriteFromList() {
    const Level& L = level();
    const int r = selectedRow(spriteList_);
    if (r < 0 || L.openStage < 1 || L.openStage > kMaxStages) return;
    spriteImageIndex_->setText(QString::number(L.sprite(r + 1, L.openStage).image));
    // The fields follow the document's selection; a click on the row already
    // selected shows its record again.
    if (document_->selection().sprites == std::set<int>{r + 1})
        showSpriteFields(r + 1);
    else
        document_->selectOnly(ItemKind::Sprite, r + 1);
}

void MainWindow::selectSectorFromList() {
    const int r = selectedRow(sectorList_);
    if (r < 0) return;
    if (document_->selection().sectors == std::set<int>{r + 1})
        showSectorFields(r + 1);
    else
        document_->selectOnly(ItemKind::Sector, r + 1);
}

// A typed value goes to the record the fields show, whatever row the list
// has selected meanwhile.
void MainWindow::spriteXChanged() {
    if (spriteFieldsRow_ >= 1) document_->setSpriteX(spriteFieldsRow_ - 1, spriteXField_->value());
}

void MainWindow::spriteYChanged() {
    if (spriteFieldsRow_ >= 1) document_->setSpriteY(spriteFieldsRow_ - 1, spriteYField_->value());
}

void MainWindow::typedSectorValue(SectorField field) {
    if (sectorFieldsRow_ < 1) return;
    QSpinBox* spin = field == SectorField::X   ? sectorXField_
                     : field == SectorField::Y ? sectorYField_
                     : field == SectorField::W ? sectorWidthField_
                                               : sectorHeightField_;
    // A refused value (a negative size) stays in the field while it is typed.
    document_->setSectorField(sectorFieldsRow_ - 1, field, spin->value());
}

void MainWindow::confirmSectorSize(QSpinBox* spin) {
    if (sectorFieldsRow_ < 1 || spin->value() >= 0) return;
    const bool width = spin == sectorWidthField_;
    const SectorRec& r = level().sector(sectorFieldsRow_, level().openStage);
    setSpin(spin, width ? r.w : r.h);
    showError(QString("A sector's ") + (width ? "width" : "height") + " cannot be below 0.");
}

namespace {

// The part of a refused name to select for the author to correct, as
// (start, length): the first character a level cannot store, else the
// characters past the 20 a name holds, else the whole name.
std::pair<int, int> faultInName(const QString& name) {
    int chars = 0;
    for (int i = 0; i < name.size(); ++chars) {
        const int width = name.at(i).isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        if (!toWindows1252(name.mid(i, width).toStdString())) return {i, width};
        if (chars == NameField::capacity) return {i, int(name.size()) - i};
        i += width;
    }
    return {0, int(name.size())};
}

}  // namespace

void MainWindow::renameSelectedSector() {
    const int row = document_->selection().first(ItemKind::Sector) - 1;
    if (row < 0) {
        showError("Select the sector you want to rename !");
        return;
    }
    const Level& L = level();
    const QString old = QString::fromStdString(L.sector(row + 1, L.openStage).name.str());
    // A refused name is asked again as typed, its fault selected, until one
    // is taken or the author cancels.
    QString typed = old;
    std::pair<int, int> selection{0, -1};
    for (;;) {
        const QString name =
            UiServices::instance().askText(this, "Name of the sector :", typed, selection.first, selection.second);
        if (name.isEmpty() || name == old) return;
        try {
            document_->renameSector(row, name.toStdString());
            break;
        } catch (const Error& e) {
            showNote(QString::fromUtf8(e.what()));
            typed = name;
            selection = faultInName(name);
        }
    }
    showSectorFields(row + 1);
}

void MainWindow::chooseSpriteBoxColor() {
    const QColor c = UiServices::instance().color(this, toQColor(document_->settings().spriteBoxColor));
    if (!c.isValid()) return;
    document_->setSpriteBoxColor(fromQColor(c));
    spriteBoxColorSwatch_->setColor(document_->settings().spriteBoxColor);
}

void MainWindow::chooseSectorColor() {
    const QColor c = UiServices::instance().color(this, toQColor(document_->settings().sectorColor));
    if (!c.isValid()) return;
    document_->setSectorColor(fromQColor(c));
    sectorColorSwatch_->setColor(document_->settings().sectorColor);
}
