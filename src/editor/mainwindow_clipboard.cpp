// Cut, Copy, Paste and Duplicate of the selected sprites or sectors.
#include <QTabWidget>

#include "editor/clipboard.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "model/errors.h"

using namespace slv;

namespace {
std::string stepName(const char* verb, ItemKind kind) {
    return std::string(verb) + (kind == ItemKind::Sprite ? " sprites" : " sectors");
}
}  // namespace

std::optional<ItemKind> MainWindow::activeItemKind() const {
    switch (editTabs_->currentIndex()) {
    case 1: return ItemKind::Sprite;
    case 2: return ItemKind::Sector;
    default: return std::nullopt;
    }
}

void MainWindow::copySelection() {
    const std::optional<ItemKind> kind = activeItemKind();
    if (!kind || document_->selection().of(*kind).empty()) return;
    try {
        putItemsOnClipboard(document_->copySelection(*kind));
    } catch (const Error& e) {
        showError(QString::fromUtf8(e.what()));
    }
}

void MainWindow::cutSelection() {
    const std::optional<ItemKind> kind = activeItemKind();
    if (!kind || document_->selection().of(*kind).empty()) return;
    try {
        putItemsOnClipboard(document_->copySelection(*kind));
        document_->deleteSelection(*kind, stepName("Cut", *kind));
    } catch (const Error& e) {
        showError(QString::fromUtf8(e.what()));
    }
}

void MainWindow::pasteFromClipboard() {
    try {
        const std::optional<LevelItems> items = itemsOnClipboard();
        if (!items || items->empty()) return;
        const int tab = items->kind == ItemKind::Sprite ? 1 : 2;
        if (editTabs_->currentIndex() != tab) {
            editTabs_->setCurrentIndex(tab);
            editTabChanged();
        }
        document_->pasteItems(*items, stepName("Paste", items->kind));
    } catch (const Error& e) {
        showError(QString::fromUtf8(e.what()));
    }
}

void MainWindow::duplicateSelection() {
    const std::optional<ItemKind> kind = activeItemKind();
    if (!kind || document_->selection().of(*kind).empty()) return;
    try {
        document_->pasteItems(document_->copySelection(*kind), stepName("Duplicate", *kind));
    } catch (const Error& e) {
        showError(QString::fromUtf8(e.what()));
    }
}
