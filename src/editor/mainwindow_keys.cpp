// Keys: every key reaches the main window before the focused control; the
// window feeds the test actor, runs the command keys and switches tabs.
#include <QAbstractSpinBox>
#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeView>

#include "actor/actor.h"
#include "actor/vkeys.h"
#include "editor/editoractions.h"
#include "editor/keyrouter.h"
#include "editor/mainwindow.h"
#include "editor/spritepicker.h"

using namespace slv;

namespace {
// Keys routed here before any action: they edit a text field, reach the
// actor, and never repeat a command.
constexpr int VK_RETURN = 13, VK_ESCAPE = 27, VK_INSERT = 45, VK_DELETE = 46;
constexpr int VK_F1 = 112, VK_F2 = 113, VK_F3 = 114, VK_F4 = 115, VK_F8 = 119;
}  // namespace

void MainWindow::connectKeys() {
    keyRouter_ = new KeyRouter(this);
    connect(keyRouter_, &KeyRouter::keyDown, this,
            [this](int key, Qt::KeyboardModifiers modifiers, bool autoRepeat, QWidget* receiver) {
                routeKeyDown(key, modifiers, autoRepeat);
                if (receiver == stageList_) stageListKeyDown(key, autoRepeat);
            });
    connect(keyRouter_, &KeyRouter::keyUp, this, [this](int key, Qt::KeyboardModifiers m) { routeKeyUp(key, m); });
    // Releases never reach a window that is not active, nor one behind a
    // modal dialog: the held keys are let go before they get lost.
    connect(keyRouter_, &KeyRouter::releasesLost, this, [this] { releaseHeldKeys(); });
}

bool MainWindow::fieldHasFocus() const {
    const QWidget* f = QApplication::focusWidget();
    if (!f || f->window() != this) return false;
    for (const QWidget* w = f; w && w != this; w = w->parentWidget())
        if (qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QLineEdit*>(w) ||
            qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w))
            return true;
    return false;
}

void MainWindow::releaseHeldKeys() {
    if (keyRouter_) keyRouter_->forgetHeldKeys();
    for (int key : {actor_.heldKeys[0], actor_.heldKeys[1], actor_.heldKeys[2]})
        if (key != -1) routeKeyUp(key, Qt::NoModifier);
}

void MainWindow::focusList(QListWidget* list) {
    list->setFocus();
    // The focus gives a list without a selection a keyboard frame on its
    // first row; Home and the arrows would then select nothing new.
    if (selectedRow(list) < 0) selectRow(list, -1);
}

bool MainWindow::commandKey(int key, Qt::KeyboardModifiers shift, bool autoRepeat) {
    // The command keys (Ctrl+S and the like) are their actions' shortcuts;
    // a key that arrives here as a key code runs the same action.
    if (!shift.testFlag(Qt::ControlModifier) || shift.testFlag(Qt::AltModifier)) return false;
    QAction* action = actions_->forKey(key, shift, editTabs_->currentIndex());
    if (!action) return false;
    if (!autoRepeat || action->autoRepeat()) action->trigger();
    return true;
}

void MainWindow::routeKeyDown(int key, Qt::KeyboardModifiers shift, bool autoRepeat) {
    Level& L = level();
    if (key == VK_ESCAPE) {
        if (!fieldHasFocus()) {
            close();
        } else {
            // Esc leaves the field: what was typed and not confirmed goes.
            showSpriteFields(spriteFieldsRow_ >= 1 ? spriteFieldsRow_ : -1);
            showSectorFields(sectorFieldsRow_ >= 1 ? sectorFieldsRow_ : -1);
            QListWidget* lists[] = {stageList_, spriteList_, sectorList_, stageList_};
            lists[std::clamp(editTabs_->currentIndex(), 0, 3)]->setFocus();
        }
        return;
    }
    // In a text or number field these keys edit the field (erase a
    // character, confirm the value); they are no commands there.
    const bool fieldKey = key == VK_INSERT || key == VK_DELETE || key == VK_F8 || key == VK_RETURN;
    if (fieldKey && fieldHasFocus()) return;
    // Command keys are the editor's; every other key also goes to the actor.
    if (commandKey(key, shift, autoRepeat)) return;
    actorKeyDown(actor_, key);
    if (nudgeWithArrow(key, shift)) return;
    // A held key repeats no command that adds, deletes, replaces or answers.
    const bool changesLevel = key == VK_INSERT || key == VK_DELETE || key == VK_F8 || key == VK_RETURN;
    if (autoRepeat && changesLevel) return;
    // Insert, Delete, F8 and the display keys run the action that shows
    // them (the one of the active tab).
    if (key != VK_RETURN) {
        if (QAction* action = actions_->forKey(key, shift, editTabs_->currentIndex())) {
            action->trigger();
            return;
        }
    }
    switch (key) {
    case VK_F1:
        editTabs_->setCurrentIndex(0);
        editTabChanged();
        focusList(stageList_);
        break;
    case VK_F2:
        editTabs_->setCurrentIndex(1);
        editTabChanged();
        focusList(spriteList_);
        break;
    case VK_F3:
        editTabs_->setCurrentIndex(2);
        editTabChanged();
        focusList(sectorList_);
        break;
    case VK_F4:
        editTabs_->setCurrentIndex(3);
        editTabChanged();
        break;
    case VK_RETURN:
        if (spritePicker_->isVisible()) confirmPickedSprites();
        break;
    default: break;
    }
}

void MainWindow::routeKeyUp(int key, Qt::KeyboardModifiers) { actorKeyUp(actor_, key); }

void MainWindow::stageListKeyDown(int key, bool autoRepeat) {
    if (key != VK_RETURN || autoRepeat) return;
    // Enter opens the row with the keyboard frame even when the list gave it
    // the frame without selecting it (the focus arriving on a fresh list).
    const int current = stageList_->currentRow();
    if (selectedRow(stageList_) < 0 && current >= 0) {
        selectRow(stageList_, current);
        previewSelectedStage();
    }
    openSelectedStage();
}

void MainWindow::editTabChanged() {
    listPages_->setCurrentIndex(editTabs_->currentIndex());
    spritePicker_->hide();
    folderTree_->hide();
}
