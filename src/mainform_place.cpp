// Placement on the view: picking, dragging, rubber-band sectors, the Sprite
// and Sector fields and the outline colours.
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTabWidget>

#include "mainform.h"
#include "model/editing.h"
#include "ui/swatch.h"
#include "ui/uiservices.h"

using namespace slv;

namespace {

void setSpin(QSpinBox* s, int v) {
    if (s->value() != v) s->setValue(v);
}

}  // namespace

void Tmain::displaysprite(int n) {
    Level& L = *level_;
    L.spriteshown = false;
    Label5->setText("none");
    setSpin(SpinEdit1, 0);
    setSpin(SpinEdit3, 0);
    Label10->setText("0");
    Label11->setText("0");
    if (n < 1 || n > kMaxSprites || L.curstage < 1 || L.curstage > kMaxStages) return;
    const SpriteRec& r = L.sprite(n, L.curstage);
    Label5->setText(QString::fromStdString(r.name.str()));
    setSpin(SpinEdit1, r.x);
    setSpin(SpinEdit3, r.y);
    Label10->setText(QString::number(r.w));
    Label11->setText(QString::number(r.h));
    L.spriteshown = true;
}

void Tmain::displaysector(int n) {
    Level& L = *level_;
    Label13->setText("none");
    setSpin(SpinEdit2, 0);
    setSpin(SpinEdit4, 0);
    setSpin(SpinEdit5, 0);
    setSpin(SpinEdit6, 0);
    if (n < 1 || n > kMaxSectors || L.curstage < 0 || L.curstage > kMaxStages) return;
    const SectorRec& r = L.sector(n, L.curstage);
    Label13->setText(QString::fromStdString(r.name.str()));
    setSpin(SpinEdit2, r.x);
    setSpin(SpinEdit4, r.y);
    setSpin(SpinEdit5, r.w);
    setSpin(SpinEdit6, r.h);
}

namespace {
EditPage pageOf(const QTabWidget* tabs) { return static_cast<EditPage>(tabs->currentIndex()); }
}  // namespace

void Tmain::DXDraw1MouseDown(int buttons, bool ctrl, int x, int y) {
    Level& L = *level_;
    MouseButtons b{(buttons & Qt::LeftButton) != 0, (buttons & Qt::RightButton) != 0, ctrl};
    ViewSelection sel{selectedRow(ListBox2), selectedRow(ListBox3)};
    ViewUpdate u = viewMouseDown(L, pageOf(PageControl2), b, x, y, sel);
    if (u.bandStarted) {
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
    ViewUpdate u = viewMouseMove(L, pageOf(PageControl2), b, x, y, sel);
    if (u.showSprite) displaysprite(sel.spriteRow + 1);
    if (u.showSector) displaysector(sel.sectorRow + 1);
    if (u.bandChanged) {
        setSpin(SpinEdit5, L.mousex - SpinEdit2->value());
        setSpin(SpinEdit6, L.mousey - SpinEdit4->value());
    }
}

void Tmain::DXDraw1MouseUp(int, bool, int, int) {
    Level& L = *level_;
    ViewUpdate u = viewMouseUp(L, pageOf(PageControl2));
    if (u.newSector > 0) {
        displaysector(u.newSector);
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

void Tmain::SpinEdit1Change() { setSpriteX(*level_, selectedRow(ListBox2), SpinEdit1->value()); }

void Tmain::SpinEdit3Change() { setSpriteY(*level_, selectedRow(ListBox2), SpinEdit3->value()); }

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
