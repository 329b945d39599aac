// Several items selected: the sprite and sector lists select as the document
// does, Select All, and the arrow keys that nudge the selection.
#include <QItemSelection>
#include <QListWidget>
#include <QTabWidget>

#include "display/scenewidget.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"

using namespace slv;

namespace {
constexpr int VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40;
}  // namespace

void MainWindow::connectItemLists() {
    // A click on the view gives it the keyboard: the arrows then nudge.
    sceneView_->setFocusPolicy(Qt::ClickFocus);
    for (QListWidget* list : {spriteList_, sectorList_}) {
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        const ItemKind kind = list == spriteList_ ? ItemKind::Sprite : ItemKind::Sector;
        connect(list, &QListWidget::itemSelectionChanged, this, [this, kind] {
            if (!listUpdating_) selectFromItemList(kind);
        });
        // A click on the row already selected shows its record again.
        connect(list, &QListWidget::itemClicked, this, [this, kind] { selectFromItemList(kind); });
    }
}

void MainWindow::selectFromItemList(ItemKind kind) {
    QListWidget* list = kind == ItemKind::Sprite ? spriteList_ : sectorList_;
    std::set<int> rows;
    for (const QListWidgetItem* item : list->selectedItems()) rows.insert(list->row(item) + 1);
    if (rows.size() == 1 && selectedRow(list) == *rows.begin() - 1) {
        // One row: as a click on it always did (its record shown again).
        if (kind == ItemKind::Sprite)
            selectSpriteFromList();
        else
            selectSectorFromList();
        return;
    }
    document_->select(kind, std::move(rows));
}

void MainWindow::showListSelection(ItemKind kind) {
    QListWidget* list = kind == ItemKind::Sprite ? spriteList_ : sectorList_;
    const std::set<int>& numbers = document_->selection().of(kind);
    listUpdating_ = true;
    QItemSelection rows;
    for (int n : numbers)
        if (n >= 1 && n <= list->count()) {
            const QModelIndex index = list->model()->index(n - 1, 0);
            rows.select(index, index);
        }
    if (rows.isEmpty()) {
        list->clearSelection();
        list->setCurrentRow(-1);
    } else {
        // The frame on the first selected row: the commands of one item use it.
        list->selectionModel()->setCurrentIndex(list->model()->index(*numbers.begin() - 1, 0),
                                                QItemSelectionModel::NoUpdate);
        list->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    }
    listUpdating_ = false;
}

void MainWindow::selectAllOnTab() {
    switch (editTabs_->currentIndex()) {
    case 1: document_->selectAll(ItemKind::Sprite); break;
    case 2: document_->selectAll(ItemKind::Sector); break;
    default: break;
    }
}

int MainWindow::nudgeStep(bool shift) const { return shift ? 10 : 1; }

bool MainWindow::nudgeWithArrow(int key, Qt::KeyboardModifiers modifiers) {
    if (key != VK_LEFT && key != VK_UP && key != VK_RIGHT && key != VK_DOWN) return false;
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier)) return false;
    if (!sceneView_->hasFocus()) return false;
    const int tab = editTabs_->currentIndex();
    if (tab != 1 && tab != 2) return false;
    const ItemKind kind = tab == 1 ? ItemKind::Sprite : ItemKind::Sector;
    if (document_->selection().of(kind).empty()) return false;
    const int step = nudgeStep(modifiers.testFlag(Qt::ShiftModifier));
    const int dx = key == VK_LEFT ? -step : key == VK_RIGHT ? step : 0;
    const int dy = key == VK_UP ? -step : key == VK_DOWN ? step : 0;
    try {
        return document_->nudgeSelection(kind, dx, dy);
    } catch (const std::exception& e) {
        showNote(QString::fromUtf8(e.what()));
        return false;
    }
}
