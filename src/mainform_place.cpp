// Placement on the view: picking, dragging, rubber-band sectors, the Sprite
// and Sector fields and the outline colours.
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTabWidget>

#include "mainform.h"
#include "model/editing.h"
#include "ui/editstate.h"
#include "ui/swatch.h"
#include "ui/uiservices.h"

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

void Tmain::displaysprite(int n) {
    Level& L = *level_;
    L.spriteshown = false;
    editState().spriteShown = 0;
    Label5->setText("none");
    Label10->setText("0");
    Label11->setText("0");
    const bool valid = n >= 1 && n <= kMaxSprites && L.curstage >= 1 && L.curstage <= kMaxStages &&
                       n <= L.stage(L.curstage).totsprites;
    if (!valid) {
        blankSpin(SpinEdit1);
        blankSpin(SpinEdit3);
        return;
    }
    const SpriteRec& r = L.sprite(n, L.curstage);
    Label5->setText(QString::fromStdString(r.name.str()));
    setSpin(SpinEdit1, r.x);
    setSpin(SpinEdit3, r.y);
    Label10->setText(QString::number(r.w));
    Label11->setText(QString::number(r.h));
    editState().spriteShown = n;
    L.spriteshown = true;
}

void Tmain::displaysector(int n) {
    Level& L = *level_;
    editState().sectorShown = 0;
    Label13->setText("none");
    const bool valid = n >= 1 && n <= kMaxSectors && L.curstage >= 0 && L.curstage <= kMaxStages &&
                       n <= L.stage(L.curstage).totsectors;
    if (!valid) {
        for (QSpinBox* s : {SpinEdit2, SpinEdit4, SpinEdit5, SpinEdit6}) blankSpin(s);
        return;
    }
    const SectorRec& r = L.sector(n, L.curstage);
    Label13->setText(QString::fromStdString(r.name.str()));
    setSpin(SpinEdit2, r.x);
    setSpin(SpinEdit4, r.y);
    setSpin(SpinEdit5, r.w);
    setSpin(SpinEdit6, r.h);
    editState().sectorShown = n;
}

void Tmain::setupEditing() {
    editState();
    connect(SpinEdit2, &QSpinBox::valueChanged, this, [this] { SpinEdit2Change(); });
    connect(SpinEdit4, &QSpinBox::valueChanged, this, [this] { SpinEdit4Change(); });
    connect(SpinEdit5, &QSpinBox::valueChanged, this, [this] { SpinEdit5Change(); });
    connect(SpinEdit6, &QSpinBox::valueChanged, this, [this] { SpinEdit6Change(); });
    auto* guard = new HistoryKeysGuard(this);
    for (QSpinBox* s : {SpinEdit1, SpinEdit3, SpinEdit2, SpinEdit4, SpinEdit5, SpinEdit6}) {
        s->installEventFilter(guard);
        for (QLineEdit* e : s->findChildren<QLineEdit*>()) e->installEventFilter(guard);
    }
    displaysprite(-1);
    displaysector(-1);
    updateTitle();
}

namespace {
EditPage pageOf(const QTabWidget* tabs) { return static_cast<EditPage>(tabs->currentIndex()); }
}  // namespace

void Tmain::DXDraw1MouseDown(int buttons, bool ctrl, int x, int y) {
    Level& L = *level_;
    ++editState().gesture;
    MouseButtons b{(buttons & Qt::LeftButton) != 0, (buttons & Qt::RightButton) != 0, ctrl};
    ViewSelection sel{selectedRow(ListBox2), selectedRow(ListBox3)};
    ViewUpdate u = viewMouseDown(L, pageOf(PageControl2), b, x, y, sel);
    if (u.bandStarted) {
        // The fields show the band until it ends; they edit no sector meanwhile.
        editState().sectorShown = 0;
        Label13->setText("none");
        setSpin(SpinEdit2, L.bandx);
        setSpin(SpinEdit4, L.bandy);
    }
    if (u.showSprite) {
        selectRow(ListBox2, sel.spriteRow);
        displaysprite(sel.spriteRow >= 0 ? sel.spriteRow + 1 : -1);
    }
    if (u.showSector) {
        selectRow(ListBox3, sel.sectorRow);
        displaysector(sel.sectorRow >= 0 ? sel.sectorRow + 1 : -1);
    }
}

void Tmain::DXDraw1MouseMove(int buttons, bool ctrl, int x, int y) {
    Level& L = *level_;
    MouseButtons b{(buttons & Qt::LeftButton) != 0, (buttons & Qt::RightButton) != 0, ctrl};
    ViewSelection sel{selectedRow(ListBox2), selectedRow(ListBox3)};
    std::optional<EditScope> drag;
    if (b.left) drag.emplace(*this, mergekey::drag(editState().gesture));
    ViewUpdate u = viewMouseMove(L, pageOf(PageControl2), b, x, y, sel);
    drag.reset();
    if (u.showSprite) displaysprite(sel.spriteRow + 1);
    if (u.showSector) displaysector(sel.sectorRow + 1);
    if (u.bandChanged) {
        setSpin(SpinEdit5, L.mousex - SpinEdit2->value());
        setSpin(SpinEdit6, L.mousey - SpinEdit4->value());
    }
}

void Tmain::DXDraw1MouseUp(int, bool, int, int) {
    Level& L = *level_;
    const bool banding = L.banding && pageOf(PageControl2) == EditPage::Sector;
    ViewUpdate u;
    {
        EditScope edit(*this);
        u = viewMouseUp(L, pageOf(PageControl2));
    }
    if (u.newSector > 0) {
        // Row r must stay sector r+1. After Open the list is empty while the
        // open stage may already hold sectors: fill it from the table then.
        if (ListBox3->count() == u.newSector - 1) {
            ListBox3->addItem(QString::fromStdString(L.sector(u.newSector, L.curstage).name.str()));
        } else {
            listUpdating_ = true;
            ListBox3->clear();
            for (int n = 1; n <= u.newSector; ++n)
                ListBox3->addItem(QString::fromStdString(L.sector(n, L.curstage).name.str()));
            listUpdating_ = false;
        }
        selectRow(ListBox3, u.newSector - 1);
        displaysector(u.newSector);
    } else if (banding) {
        const int row = selectedRow(ListBox3);
        displaysector(row >= 0 ? row + 1 : -1);
    }
}

void Tmain::ListBox2Click() {
    Level& L = *level_;
    const int r = selectedRow(ListBox2);
    if (r < 0 || L.curstage < 1 || L.curstage > kMaxStages) return;
    Label2->setText(QString::number(L.sprite(r + 1, L.curstage).image));
    displaysprite(r + 1);
}

void Tmain::ListBox3Click() {
    const int r = selectedRow(ListBox3);
    if (r < 0) return;
    displaysector(r + 1);
}

// A typed value goes to the record the fields show, whatever row the list
// has selected meanwhile.
void Tmain::SpinEdit1Change() {
    const int n = editState().spriteShown;
    if (n < 1) return;
    EditScope edit(*this, mergekey::field(1, level_->curstage, n));
    setSpriteX(*level_, n - 1, SpinEdit1->value());
}

void Tmain::SpinEdit3Change() {
    const int n = editState().spriteShown;
    if (n < 1) return;
    EditScope edit(*this, mergekey::field(2, level_->curstage, n));
    setSpriteY(*level_, n - 1, SpinEdit3->value());
}

namespace {
void typedSectorValue(Tmain& w, Level& L, int shown, SectorField field, QSpinBox* spin) {
    if (shown < 1) return;
    if (!setSectorField(L, shown - 1, field, spin->value())) {
        // Refused (a negative size): the field shows the record again.
        const SectorRec& r = L.sector(shown, L.curstage);
        const int v = field == SectorField::W ? r.w : field == SectorField::H ? r.h
                    : field == SectorField::X ? r.x : r.y;
        if (spin->value() != v) setSpin(spin, v);
    }
    (void)w;
}
}  // namespace

void Tmain::SpinEdit2Change() {
    const int n = editState().sectorShown;
    EditScope edit(*this, mergekey::field(3, level_->curstage, n));
    typedSectorValue(*this, *level_, n, SectorField::X, SpinEdit2);
}

void Tmain::SpinEdit4Change() {
    const int n = editState().sectorShown;
    EditScope edit(*this, mergekey::field(4, level_->curstage, n));
    typedSectorValue(*this, *level_, n, SectorField::Y, SpinEdit4);
}

void Tmain::SpinEdit5Change() {
    const int n = editState().sectorShown;
    EditScope edit(*this, mergekey::field(5, level_->curstage, n));
    typedSectorValue(*this, *level_, n, SectorField::W, SpinEdit5);
}

void Tmain::SpinEdit6Change() {
    const int n = editState().sectorShown;
    EditScope edit(*this, mergekey::field(6, level_->curstage, n));
    typedSectorValue(*this, *level_, n, SectorField::H, SpinEdit6);
}

void Tmain::Panel4Click() {
    QColor c = UiServices::instance().color(this, toQColor(level_->spriteboxcolor));
    if (!c.isValid()) return;
    level_->spriteboxcolor = fromQColor(c);
    Panel4->setColor(level_->spriteboxcolor);
}

void Tmain::Panel5Click() {
    QColor c = UiServices::instance().color(this, toQColor(level_->sectorcolor));
    if (!c.isValid()) return;
    level_->sectorcolor = fromQColor(c);
    Panel5->setColor(level_->sectorcolor);
}
