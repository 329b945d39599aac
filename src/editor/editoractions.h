// Every command of the editor as one QAction, made once and kept by id: the
// menus, the buttons and the keys all trigger these. Each action carries its
// key sequence, so menus, tooltips and the Keys and Mouse window read the
// keys from here.
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QAction;
class QWidget;

namespace slv {

enum class Command {
    New, Open, Save, SaveAs, ExportText, ImportText, Quit,
    Undo, Redo,
    ZoomIn, ZoomOut, ZoomActualSize, ZoomToFit, SpriteBoxes, Sectors,
    Grid, SnapToGrid,
    FullScreenView, FullScreenEditor, WindowedView, ClassicWindow,
    AddStage, ReplaceStage, DeleteStage, OpenStage,
    AddSprite, ReplaceSprite, DeleteSprite,
    RenameSector, DeleteSector,
    KeysAndMouse, About,
    SelectAll,
    Cut, Copy, Paste, Duplicate,
};

class EditorActions : public QObject {
    Q_OBJECT
public:
    // Makes every action, owned by `window`. The window's keys reach the
    // actions the window itself holds; see `routedKey`.
    explicit EditorActions(QWidget* window);

    QAction* operator[](Command id) const { return actions_.value(id); }
    QList<Command> all() const { return order_; }

    // Keys the window's key routing runs (they also reach the actor, do
    // nothing in a text field and never repeat): their actions show the key
    // but take no shortcut of their own.
    static bool routedKey(int qtKey);
    // The action whose key is `vk` (the editor's key code) with these
    // modifiers; among actions sharing a key, the one of `tab` (0 stages,
    // 1 sprites, 2 sectors). Null when no action has that key.
    QAction* forKey(int vk, Qt::KeyboardModifiers modifiers, int tab) const;
    // The tab an action works on; -1 for actions of no tab.
    int tabOf(QAction* action) const;

    // "Save (Ctrl+S)": an action's text with its first key, for tooltips.
    static QString withKeys(const QAction* action);
    // Every key of the action, in the platform's words ("Ctrl+Z, Ctrl+Y").
    static QString keysText(const QAction* action);

private:
    QAction* make(Command id, const QString& text, const QString& tip, int tab = -1);
    QHash<Command, QAction*> actions_;
    QHash<QAction*, int> tabs_;
    QList<Command> order_;
};

}  // namespace slv
