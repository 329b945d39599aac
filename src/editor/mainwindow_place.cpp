// Placement on the view: picking, dragging, rubber-band sectors, the Sprite
// and Sector fields and the outline colours.
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTabWidget>

#include "editor/mainwindow.h"
#include "model/editing.h"
#include "editor/editstate.h"
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

void MainWindow::showSpriteFields(int n) {
    Level& L = *level_;
    L.spritesShown = false;
    editState().spriteShown = 0;
    spriteName_->setText("none");
    spriteWidth_->setText("0");
    spriteHeight_->setText("0");
    const bool valid = n >= 1 && n <= kMaxSprites && L.openStage >= 1 && L.openStage <= kMaxStages &&
                       n <= L.stage(L.openStage).spriteCount;
    if (!valid) {
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
    editState().spriteShown = n;
    L.spritesShown = true;
}

void MainWindow::showSectorFields(int n) {
    Level& L = *level_;
    editState().sectorShown = 0;
    sectorName_->setText("none");
    const bool valid = n >= 1 && n <= kMaxSectors && L.openStage >= 0 && L.openStage <= kMaxStages &&
                       n <= L.stage(L.openStage).sectorCount;
    if (!valid) {
        for (QSpinBox* s : {sectorXField_, sectorYField_, sectorWidthField_, sectorHeightField_}) blankSpin(s);
        return;
    }
    const SectorRec& r = L.sector(n, L.openStage);
    sectorName_->setText(QString::fromStdString(r.name.str()));
    setSpin(sectorXField_, r.x);
    setSpin(sectorYField_, r.y);
    setSpin(sectorWidthField_, r.w);
    setSpin(sectorHeightField_, r.h);
    editState().sectorShown = n;
}

void MainWindow::setupEditing() {
    editState();
    connect(sectorXField_, &QSpinBox::valueChanged, this, [this] { sectorXChanged(); });
    connect(sectorYField_, &QSpinBox::valueChanged, this, [this] { sectorYChanged(); });
    connect(sectorWidthField_, &QSpinBox::valueChanged, this, [this] { sectorWidthChanged(); });
    connect(sectorHeightField_, &QSpinBox::valueChanged, this, [this] { sectorHeightChanged(); });
    auto* guard = new HistoryKeysGuard(this);
    for (QSpinBox* s : {spriteXField_, spriteYField_, sectorXField_, sectorYField_, sectorWidthField_, sectorHeightField_}) {
        s->installEventFilter(guard);
        for (QLineEdit* e : s->findChildren<QLineEdit*>()) e->installEventFilter(guard);
    }
    showSpriteFields(-1);
    showSectorFields(-1);
    updateTitle();
}

namespace {
EditPage pageOf(const QTabWidget* tabs) { return static_cast<EditPage>(tabs->currentIndex()); }
}  // namespace

void MainWindow::pressOnScene(int buttons, bool ctrl, int x, int y) {
    Level& L = *level_;
    ++editState().gesture;
    MouseButtons b{(buttons & Qt::LeftButton) != 0, (buttons & Qt::RightButton) != 0, ctrl};
    ViewSelection sel{selectedRow(spriteList_), selectedRow(sectorList_)};
    ViewUpdate u = viewMouseDown(L, pageOf(editTabs_), b, x, y, sel);
    if (u.bandStarted) {
        // The fields show the band until it ends; they edit no sector meanwhile.
        editState().sectorShown = 0;
        sectorName_->setText("none");
        setSpin(sectorXField_, L.bandStartX);
        setSpin(sectorYField_, L.bandStartY);
    }
    if (u.showSprite) {
        selectRow(spriteList_, sel.spriteRow);
        showSpriteFields(sel.spriteRow >= 0 ? sel.spriteRow + 1 : -1);
    }
    if (u.showSector) {
        selectRow(sectorList_, sel.sectorRow);
        showSectorFields(sel.sectorRow >= 0 ? sel.sectorRow + 1 : -1);
    }
}

void MainWindow::moveOnScene(int buttons, bool ctrl, int x, int y) {
    Level& L = *level_;
    MouseButtons b{(buttons & Qt::LeftButton) != 0, (buttons & Qt::RightButton) != 0, ctrl};
    ViewSelection sel{selectedRow(spriteList_), selectedRow(sectorList_)};
    std::optional<EditScope> drag;
    if (b.left) drag.emplace(*this, mergekey::drag(editState().gesture));
    ViewUpdate u = viewMouseMove(L, pageOf(editTabs_), b, x, y, sel);
    drag.reset();
    if (u.showSprite) showSpriteFields(sel.spriteRow + 1);
    if (u.showSector) showSectorFields(sel.sectorRow + 1);
    if (u.bandChanged) {
        setSpin(sectorWidthField_, L.mouseX - sectorXField_->value());
        setSpin(sectorHeightField_, L.mouseY - sectorYField_->value());
    }
}

void MainWindow::releaseOnScene(int, bool, int, int) {
    Level& L = *level_;
    const bool bandActive = L.bandActive && pageOf(editTabs_) == EditPage::Sector;
    ViewUpdate u;
    {
        EditScope edit(*this);
        u = viewMouseUp(L, pageOf(editTabs_));
    }
    if (u.newSector > 0) {
        // Row r must stay sector r+1. After Open the list is empty while the
        // open stage may already hold sectors: fill it from the table then.
        if (sectorList_->count() == u.newSector - 1) {
            sectorList_->addItem(QString::fromStdString(L.sector(u.newSector, L.openStage).name.str()));
        } else {
            listUpdating_ = true;
            sectorList_->clear();
            for (int n = 1; n <= u.newSector; ++n)
                sectorList_->addItem(QString::fromStdString(L.sector(n, L.openStage).name.str()));
            listUpdating_ = false;
        }
        selectRow(sectorList_, u.newSector - 1);
        showSectorFields(u.newSector);
    } else if (bandActive) {
        const int row = selectedRow(sectorList_);
        showSectorFields(row >= 0 ? row + 1 : -1);
    }
}

void MainWindow::selectSpriteFromList() {
    Level& L = *level_;
    const int r = selectedRow(spriteList_);
    if (r < 0 || L.openStage < 1 || L.openStage > kMaxStages) return;
    spriteImageIndex_->setText(QString::number(L.sprite(r + 1, L.openStage).image));
    showSpriteFields(r + 1);
}

void MainWindow::selectSectorFromList() {
    const int r = selectedRow(sectorList_);
    if (r < 0) return;
    showSectorFields(r + 1);
}

// A typed value goes to the record the fields show, whatever row the list
// has selected meanwhile.
void MainWindow::spriteXChanged() {
    const int n = editState().spriteShown;
    if (n < 1) return;
    EditScope edit(*this, mergekey::field(1, level_->openStage, n));
    setSpriteX(*level_, n - 1, spriteXField_->value());
}

void MainWindow::spriteYChanged() {
    const int n = editState().spriteShown;
    if (n < 1) return;
    EditScope edit(*this, mergekey::field(2, level_->openStage, n));
    setSpriteY(*level_, n - 1, spriteYField_->value());
}

namespace {
void typedSectorValue(MainWindow& w, Level& L, int shown, SectorField field, QSpinBox* spin) {
    if (shown < 1) return;
    if (!setSectorField(L, shown - 1, field, spin->value())) {
        // Refused (a negative size): the field shows the record again.
        const SectorRec& r = L.sector(shown, L.openStage);
        const int v = field == SectorField::W ? r.w : field == SectorField::H ? r.h
                    : field == SectorField::X ? r.x : r.y;
        if (spin->value() != v) setSpin(spin, v);
    }
    (void)w;
}
}  // namespace

void MainWindow::sectorXChanged() {
    const int n = editState().sectorShown;
    EditScope edit(*this, mergekey::field(3, level_->openStage, n));
    typedSectorValue(*this, *level_, n, SectorField::X, sectorXField_);
}

void MainWindow::sectorYChanged() {
    const int n = editState().sectorShown;
    EditScope edit(*this, mergekey::field(4, level_->openStage, n));
    typedSectorValue(*this, *level_, n, SectorField::Y, sectorYField_);
}

void MainWindow::sectorWidthChanged() {
    const int n = editState().sectorShown;
    EditScope edit(*this, mergekey::field(5, level_->openStage, n));
    typedSectorValue(*this, *level_, n, SectorField::W, sectorWidthField_);
}

void MainWindow::sectorHeightChanged() {
    const int n = editState().sectorShown;
    EditScope edit(*this, mergekey::field(6, level_->openStage, n));
    typedSectorValue(*this, *level_, n, SectorField::H, sectorHeightField_);
}

void MainWindow::chooseSpriteBoxColor() {
    QColor c = UiServices::instance().color(this, toQColor(level_->spriteBoxColor));
    if (!c.isValid()) return;
    level_->spriteBoxColor = fromQColor(c);
    spriteBoxColorSwatch_->setColor(level_->spriteBoxColor);
}

void MainWindow::chooseSectorColor() {
    QColor c = UiServices::instance().color(this, toQColor(level_->sectorColor));
    if (!c.isValid()) return;
    level_->sectorColor = fromQColor(c);
    sectorColorSwatch_->setColor(level_->sectorColor);
}
