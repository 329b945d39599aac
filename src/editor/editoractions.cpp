#include "editor/editoractions.h"

#include <QAction>
#include <QWidget>

#include "actor/vkeys.h"

namespace slv {

namespace {
constexpr Qt::KeyboardModifiers kCommandModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
}  // namespace

EditorActions::EditorActions(QWidget* window) : QObject(window) {
    using K = QKeySequence;
    auto keys = [](QAction* a, QList<K> sequences) { a->setShortcuts(sequences); };
    // The platform's key for a command, else the one most desktops use.
    auto standard = [](K::StandardKey key, K fallback) { return K::keyBindings(key).value(0, fallback); };
    keys(make(Command::New, "&New", "Starts a new, empty level"), {standard(K::New, K(Qt::CTRL | Qt::Key_N))});
    keys(make(Command::Open, "&Open…", "Opens a level package (.slv)"), {standard(K::Open, K(Qt::CTRL | Qt::Key_O))});
    keys(make(Command::Save, "&Save", "Saves the level into its package"), {standard(K::Save, K(Qt::CTRL | Qt::Key_S))});
    keys(make(Command::SaveAs, "Save &As…", "Saves the level into another package"), {standard(K::SaveAs, K(Qt::CTRL | Qt::SHIFT | Qt::Key_S))});
    make(Command::ExportText, "&Export as Text…", "Writes the level's tables as a text file");
    make(Command::ImportText, "&Import from Text…",
         "Writes a level package from a text file and a package holding its pictures");
    keys(make(Command::Quit, "&Quit", "Closes the editor, asking first about unsaved changes"), {standard(K::Quit, K(Qt::CTRL | Qt::Key_Q))});
    keys(make(Command::Undo, "&Undo", "Takes back the last change"), {standard(K::Undo, K(Qt::CTRL | Qt::Key_Z))});
    keys(make(Command::Redo, "&Redo", "Makes again the change last taken back"),
         {K(Qt::CTRL | Qt::Key_Y), K(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    keys(make(Command::SelectAll, "Select &All", "Selects every sprite or sector of the open stage, by the tab shown"),
         {standard(K::SelectAll, K(Qt::CTRL | Qt::Key_A))});
    keys(make(Command::Cut, "Cu&t", "Takes the selected sprites or sectors to the clipboard"),
         {standard(K::Cut, K(Qt::CTRL | Qt::Key_X))});
    keys(make(Command::Copy, "&Copy", "Copies the selected sprites or sectors, with their pictures, to the clipboard"),
         {standard(K::Copy, K(Qt::CTRL | Qt::Key_C))});
    keys(make(Command::Paste, "&Paste", "Puts the clipboard's sprites or sectors on the open stage"),
         {standard(K::Paste, K(Qt::CTRL | Qt::Key_V))});
    keys(make(Command::Duplicate, "&Duplicate", "Copies the selected sprites or sectors 10 pixels down and right"),
         {K(Qt::CTRL | Qt::Key_D)});
    keys(make(Command::ZoomIn, "Zoom &In", "Shows the stage larger"), {standard(K::ZoomIn, K(Qt::CTRL | Qt::Key_Plus)), K(Qt::CTRL | Qt::Key_Equal)});
    keys(make(Command::ZoomOut, "Zoom &Out", "Shows the stage smaller"), {standard(K::ZoomOut, K(Qt::CTRL | Qt::Key_Minus))});
    keys(make(Command::ZoomActualSize, "&Actual Size", "Shows the stage one pixel for one pixel"),
         {K(Qt::CTRL | Qt::Key_0)});
    make(Command::ZoomToFit, "&Fit", "Shows the whole stage in the view");
    make(Command::SpriteBoxes, "Sprite &Boxes", "Outlines every sprite of the stage")->setCheckable(true);
    make(Command::Sectors, "S&ectors", "Outlines the sectors of the stage")->setCheckable(true);
    QAction* grid = make(Command::Grid, "&Grid", "Shows a dotted grid over the stage");
    grid->setCheckable(true);
    keys(grid, {K(Qt::CTRL | Qt::Key_G)});
    QAction* snap = make(Command::SnapToGrid, "S&nap to Grid",
                         "Moved, pasted and drawn items take their corners to the nearest grid point");
    snap->setCheckable(true);
    keys(snap, {K(Qt::CTRL | Qt::SHIFT | Qt::Key_G)});
    keys(make(Command::FullScreenView, "Full Screen &View", "Shows the view alone over the whole screen"),
         {K(Qt::Key_F9)});
    keys(make(Command::FullScreenEditor, "Full Screen &Editor", "Shows the editor on black over the whole screen"),
         {K(Qt::Key_F10)});
    keys(make(Command::WindowedView, "&Window", "Shows the editor in its window"), {K(Qt::Key_F11)});
    make(Command::ClassicWindow, "&Classic Window", "The editor in a borderless 800x600 window that keeps its size")
        ->setCheckable(true);
    keys(make(Command::AddStage, "&Add…", "Adds stages from bitmaps", 0), {K(Qt::Key_Insert)});
    keys(make(Command::ReplaceStage, "&Replace…", "Gives the selected stage another bitmap", 0),
         {K(Qt::Key_F8)});
    keys(make(Command::DeleteStage, "&Delete", "Deletes the selected stage and its sprites and sectors", 0),
         {K(Qt::Key_Delete)});
    keys(make(Command::OpenStage, "&Open Stage", "Shows the selected stage in the view", 0), {K(Qt::Key_Return)});
    keys(make(Command::AddSprite, "&Add…", "Adds sprites to the open stage from bitmap strips", 1),
         {K(Qt::Key_Insert)});
    keys(make(Command::ReplaceSprite, "&Replace…", "Gives the selected sprite another bitmap strip", 1),
         {K(Qt::Key_F8)});
    keys(make(Command::DeleteSprite, "&Delete", "Deletes the selected sprite", 1), {K(Qt::Key_Delete)});
    keys(make(Command::RenameSector, "&Rename…", "Renames the selected sector", 2), {K(Qt::Key_F8)});
    keys(make(Command::DeleteSector, "&Delete", "Deletes the selected sector", 2), {K(Qt::Key_Delete)});
    make(Command::KeysAndMouse, "&Keys and Mouse", "Lists every key and mouse gesture of the editor");
    make(Command::About, "&About", "The editor's version");

    for (Command id : order_) {
        QAction* a = actions_[id];
        a->setToolTip(withKeys(a));
        const bool repeats = id == Command::Undo || id == Command::Redo || id == Command::ZoomIn ||
                             id == Command::ZoomOut;
        a->setAutoRepeat(repeats);
        // A routed key reaches its action through the window's key routing
        // only: the menus show it, and no shortcut takes it first.
        const bool routed = !a->shortcuts().isEmpty() && routedKey(a->shortcut()[0].key());
        if (routed) a->setShortcutContext(Qt::WidgetShortcut);
        else window->addAction(a);  // the keys work with the menu bar hidden too
    }
}

QAction* EditorActions::make(Command id, const QString& text, const QString& tip, int tab) {
    auto* a = new QAction(text, this);
    a->setStatusTip(tip);
    a->setObjectName(QString("action%1").arg(static_cast<int>(id)));
    actions_.insert(id, a);
    tabs_.insert(a, tab);
    order_ << id;
    return a;
}

bool EditorActions::routedKey(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Insert:
    case Qt::Key_Delete:
    case Qt::Key_F8:
    case Qt::Key_Return:
    case Qt::Key_F9:
    case Qt::Key_F10:
    case Qt::Key_F11: return true;
    default: return false;
    }
}

QAction* EditorActions::forKey(int vk, Qt::KeyboardModifiers modifiers, int tab) const {
    if (vk == 0) return nullptr;
    const Qt::KeyboardModifiers wanted = modifiers & kCommandModifiers;
    for (Command id : order_) {
        QAction* a = actions_[id];
        const int actionTab = tabs_.value(a);
        if (actionTab >= 0 && actionTab != tab) continue;
        for (const QKeySequence& seq : a->shortcuts()) {
            if (seq.count() != 1) continue;
            const QKeyCombination c = seq[0];
            if (c.keyboardModifiers() == wanted && vkFromQtKey(c.key(), false) == vk) return a;
        }
    }
    return nullptr;
}

int EditorActions::tabOf(QAction* action) const { return tabs_.value(action, -1); }

QString EditorActions::keysText(const QAction* action) {
    QStringList parts;
    for (const QKeySequence& seq : action->shortcuts()) parts << seq.toString(QKeySequence::NativeText);
    return parts.join(", ");
}

QString EditorActions::withKeys(const QAction* action) {
    QString text = action->text().remove('&').remove(QChar(0x2026));
    if (!action->shortcuts().isEmpty())
        text += " (" + action->shortcuts().first().toString(QKeySequence::NativeText) + ")";
    return text;
}

}  // namespace slv
