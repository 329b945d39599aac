// The window's commands: the menus over EditorActions, the buttons that
// trigger the same actions, what each can act on, Open Recent, the text form
// of a level, the Keys and Mouse window, the status bar and the window's frame.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include "editor/clipboard.h"
#include "editor/editoractions.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "editor/progresspanel.h"
#include "editor/uiservices.h"
#include "model/fileio.h"
#include "package/leveljson.h"
#include "version.h"

using namespace slv;

namespace {
constexpr int kRecentKept = 10;
const char* const kRecentKey = "recentPackages";
const char* const kGeometryKey = "geometry";
const char* const kClassicKey = "classicWindow";
constexpr int kClassicWidth = 800, kClassicHeight = 600;

// The window's own settings file, under the user's configuration folder.
QSettings windowSettings() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QSettings(folder + "/slvedit/window.ini", QSettings::IniFormat);
}
}  // namespace

void MainWindow::setupMenus() {
    EditorActions& a = *actions_;
    QMenu* file = menuBar()->addMenu("&File");
    file->addActions({a[Command::New], a[Command::Open]});
    recentMenu_ = file->addMenu("Open &Recent");
    recentMenu_->setObjectName("recentMenu");
    connect(recentMenu_, &QMenu::aboutToShow, this, [this] { fillRecentMenu(); });
    fillRecentMenu();
    file->addActions({a[Command::Save], a[Command::SaveAs]});
    file->addSeparator();
    file->addActions({a[Command::ExportText], a[Command::ImportText]});
    file->addSeparator();
    file->addAction(a[Command::Quit]);

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->addActions({a[Command::Undo], a[Command::Redo]});
    edit->addSeparator();
    edit->addAction(a[Command::SelectAll]);
    // The selection's commands (cut, copy, paste, duplicate, select all) go
    // after this separator.
    edit->addSeparator();
    edit->addActions({a[Command::Cut], a[Command::Copy], a[Command::Paste], a[Command::Duplicate]});

    QMenu* view = menuBar()->addMenu("&View");
    view->addActions({a[Command::ZoomIn], a[Command::ZoomOut], a[Command::ZoomActualSize], a[Command::ZoomToFit]});
    view->addSeparator();
    view->addActions({a[Command::SpriteBoxes], a[Command::Sectors]});
    view->addSeparator();
    view->addAction(a[Command::Grid]);
    gridSizeMenu_ = view->addMenu("Grid Si&ze");
    gridSizeMenu_->setObjectName("gridSizeMenu");
    view->addAction(a[Command::SnapToGrid]);
    view->addSeparator();
    view->addActions({a[Command::FullScreenView], a[Command::FullScreenEditor], a[Command::WindowedView]});
    view->addSeparator();
    view->addAction(a[Command::ClassicWindow]);

    menuBar()->addMenu("&Stage")->addActions(
        {a[Command::AddStage], a[Command::ReplaceStage], a[Command::DeleteStage], a[Command::OpenStage]});
    menuBar()->addMenu("S&prite")->addActions(
        {a[Command::AddSprite], a[Command::ReplaceSprite], a[Command::DeleteSprite]});
    menuBar()->addMenu("Se&ctor")->addActions({a[Command::RenameSector], a[Command::DeleteSector]});
    menuBar()->addMenu("&Help")->addActions({a[Command::KeysAndMouse], a[Command::About]});

    editor_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(editor_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (!classicWindow_) return;
        QMenu menu(this);
        menu.addActions(menuBar()->actions());
        menu.exec(editor_->mapToGlobal(at));
    });
}

void MainWindow::connectActions() {
    EditorActions& a = *actions_;
    auto on = [this, &a](Command id, auto handler) { connect(a[id], &QAction::triggered, this, handler); };
    on(Command::New, [this] { newLevel(); });
    on(Command::Open, [this] { openLevel(); });
    on(Command::Save, [this] { saveLevel(); });
    on(Command::SaveAs, [this] { saveLevelAs(); });
    on(Command::ExportText, [this] { exportText(); });
    on(Command::ImportText, [this] { importText(); });
    on(Command::Quit, [this] { close(); });
    on(Command::Undo, [this] { undoEdit(); });
    on(Command::Redo, [this] { redoEdit(); });
    on(Command::SelectAll, [this] { selectAllOnTab(); });
    on(Command::ZoomIn, [this] { zoomIn(); });
    on(Command::ZoomOut, [this] { zoomOut(); });
    on(Command::ZoomActualSize, [this] { zoomActualSize(); });
    on(Command::ZoomToFit, [this] { zoomToFit(); });
    on(Command::FullScreenView, [this] { switchDisplayMode(120); });
    on(Command::FullScreenEditor, [this] { switchDisplayMode(121); });
    on(Command::WindowedView, [this] { switchDisplayMode(122); });
    on(Command::ClassicWindow, [this](bool on) { setClassicWindow(on); });
    on(Command::KeysAndMouse, [this] { showKeysAndMouse(); });
    on(Command::About, [this] { showAbout(); });
    on(Command::Cut, [this] { cutSelection(); });
    on(Command::Copy, [this] { copySelection(); });
    on(Command::Paste, [this] { pasteFromClipboard(); });
    on(Command::Duplicate, [this] { duplicateSelection(); });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] { updateActions(); });
    connect(document_, &LevelDocument::selectionChanged, this, [this] { updateActions(); });
    // The outline actions and their check boxes show the same choice.
    for (auto [id, box] : {std::pair{Command::SpriteBoxes, showSpriteBoxes_}, std::pair{Command::Sectors, showSectors_}}) {
        a[id]->setChecked(box->isChecked());
        connect(a[id], &QAction::toggled, box, &QCheckBox::setChecked);
        connect(box, &QCheckBox::toggled, a[id], &QAction::setChecked);
    }
    // A command of a tab shows that tab first, then acts on its list.
    auto onTab = [this, &on](Command id, int tab, void (MainWindow::*handler)()) {
        on(id, [this, tab, handler] {
            if (editTabs_->currentIndex() != tab) {
                editTabs_->setCurrentIndex(tab);
                editTabChanged();
            }
            (this->*handler)();
        });
    };
    onTab(Command::AddStage, 0, &MainWindow::addOnActiveTab);
    onTab(Command::ReplaceStage, 0, &MainWindow::replaceOnActiveTab);
    onTab(Command::DeleteStage, 0, &MainWindow::deleteOnActiveTab);
    onTab(Command::OpenStage, 0, &MainWindow::openSelectedStage);
    onTab(Command::AddSprite, 1, &MainWindow::addOnActiveTab);
    onTab(Command::ReplaceSprite, 1, &MainWindow::replaceOnActiveTab);
    onTab(Command::DeleteSprite, 1, &MainWindow::deleteOnActiveTab);
    onTab(Command::RenameSector, 2, &MainWindow::replaceOnActiveTab);
    onTab(Command::DeleteSector, 2, &MainWindow::deleteOnActiveTab);

    // The package buttons are their actions; Add, Mod and Del run the
    // action of the tab shown.
    newButton_->setDefaultAction(a[Command::New]);
    openButton_->setDefaultAction(a[Command::Open]);
    saveButton_->setDefaultAction(a[Command::Save]);
    saveAsButton_->setDefaultAction(a[Command::SaveAs]);
    for (QToolButton* b : {newButton_, openButton_, saveButton_, saveAsButton_})
        b->setText(b->defaultAction()->text().remove('&').remove(QChar(0x2026)));
    auto tabAction = [this, &a](QToolButton* b) -> QAction* {
        const int tab = editTabs_->currentIndex();
        Qt::Key key = b == addButton_ ? Qt::Key_Insert : b == modButton_ ? Qt::Key_F8 : Qt::Key_Delete;
        for (Command id : a.all())
            if (a.tabOf(a[id]) == tab && a[id]->shortcut() == QKeySequence(key)) return a[id];
        return nullptr;
    };
    for (QToolButton* b : {addButton_, modButton_, delButton_}) {
        connect(b, &QToolButton::clicked, this, [this, b, tabAction] {
            if (QAction* act = tabAction(b))
                act->trigger();
            else if (b == addButton_ && editTabs_->currentIndex() == 2)
                addOnActiveTab();  // sectors are drawn on the scene: it says how
        });
    }
    buttonAction_ = tabAction;
    addButtonToolTip_ = "Add (" + a[Command::AddStage]->shortcut().toString(QKeySequence::NativeText) + ")";
    addButton_->setToolTip(addButtonToolTip_);
    modButton_->setToolTip("Change (" + a[Command::ReplaceStage]->shortcut().toString(QKeySequence::NativeText) + ")");
    delButton_->setToolTip("Delete (" + a[Command::DeleteStage]->shortcut().toString(QKeySequence::NativeText) + ")");

    connect(editTabs_, &QTabWidget::currentChanged, this, [this] { updateActions(); });
    for (QListWidget* list : {stageList_, spriteList_, sectorList_})
        connect(list, &QListWidget::itemSelectionChanged, this, [this] {
            updateActions();
            showItemInStatus();
        });
    connect(document_, &LevelDocument::levelChanged, this, [this] {
        updateActions();
        showItemInStatus();
    });
    connect(document_, &LevelDocument::openStageChanged, this, [this] { updateActions(); });
    // An edit of existing records (a move, a typed value) and undo or redo of
    // one change the undo steps' names and the selection, not the lists.
    connect(document_, &LevelDocument::recordsChanged, this, [this] { updateActions(); });
    connect(document_, &LevelDocument::selectionChanged, this, [this] { updateActions(); });
    connect(document_, &LevelDocument::cleanChanged, this, [this] { updateActions(); });
    connect(document_, &LevelDocument::packagePathChanged, this, [this](const QString& path) {
        if (!path.isEmpty()) rememberRecent(path.toStdString());
    });
    updateActions();
}

void MainWindow::updateActions() {
    EditorActions& a = *actions_;
    const History& h = document_->history();
    const StepLabel* undo = h.canUndo() ? h.undoLabel() : nullptr;
    const StepLabel* redo = h.canRedo() ? h.redoLabel() : nullptr;
    a[Command::Undo]->setEnabled(undo != nullptr);
    a[Command::Undo]->setText(undo ? "&Undo " + QString::fromStdString(undo->name) : QString("&Undo"));
    a[Command::Redo]->setEnabled(redo != nullptr);
    a[Command::Redo]->setText(redo ? "&Redo " + QString::fromStdString(redo->name) : QString("&Redo"));
    const bool stageOpen = level().openStage >= 1;
    const bool stageSelected = selectedRow(stageList_) >= 0;
    a[Command::ReplaceStage]->setEnabled(stageSelected);
    a[Command::DeleteStage]->setEnabled(stageSelected);
    a[Command::OpenStage]->setEnabled(stageSelected);
    a[Command::AddSprite]->setEnabled(stageOpen);
    const bool spriteSelected = stageOpen && selectedRow(spriteList_) >= 0;
    a[Command::ReplaceSprite]->setEnabled(spriteSelected);
    a[Command::DeleteSprite]->setEnabled(spriteSelected);
    const bool sectorSelected = stageOpen && selectedRow(sectorList_) >= 0;
    a[Command::RenameSector]->setEnabled(sectorSelected);
    a[Command::DeleteSector]->setEnabled(sectorSelected);
    const std::optional<ItemKind> kind = activeItemKind();
    const bool itemsSelected = kind && (*kind == ItemKind::Sector || stageOpen) &&
                               !document_->selection().of(*kind).empty();
    for (Command id : {Command::Cut, Command::Copy, Command::Duplicate}) a[id]->setEnabled(itemsSelected);
    a[Command::Paste]->setEnabled(clipboardHasItems());
    for (QToolButton* b : {addButton_, modButton_, delButton_}) {
        QAction* act = buttonAction_ ? buttonAction_(b) : nullptr;
        b->setEnabled(act && act->isEnabled());
    }
    // On the Sector tab, Add tells how a sector is drawn.
    const bool sectorTab = editTabs_->currentIndex() == 2;
    if (sectorTab) addButton_->setEnabled(true);
    addButton_->setToolTip(sectorTab ? QString(kMsgHowToDrawSector) : addButtonToolTip_);
}

// ---- Open Recent ----
QStringList MainWindow::recentPackages() const {
    QStringList kept;
    for (const QString& path : windowSettings().value(kRecentKey).toStringList())
        if (QFileInfo(path).isFile() && !kept.contains(path) && kept.size() < kRecentKept) kept << path;
    return kept;
}

void MainWindow::rememberRecent(const std::string& path) {
    const QString full = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    QStringList list = recentPackages();
    list.removeAll(full);
    list.prepend(full);
    while (list.size() > kRecentKept) list.removeLast();
    windowSettings().setValue(kRecentKey, list);
    fillRecentMenu();
}

void MainWindow::fillRecentMenu() {
    recentMenu_->clear();
    const QStringList list = recentPackages();
    for (const QString& path : list) {
        QAction* item = recentMenu_->addAction(QFileInfo(path).fileName());
        item->setStatusTip(path);
        item->setData(path);
        connect(item, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
    recentMenu_->setEnabled(!list.isEmpty());
}

void MainWindow::openRecent(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        showError(path + " is gone.");
        fillRecentMenu();
        return;
    }
    Level& L = level();
    L.startupPackage = path.toStdString();
    try {
        openLevel();
    } catch (const std::exception& e) {
        L.startupPackage.clear();
        showError(QString::fromUtf8(e.what()));
        return;
    }
    L.startupPackage.clear();
}

// ---- the level as text ----
void MainWindow::exportText() {
    const std::string package = document_->packagePath();
    if (package.empty()) {
        showError("Save the level before exporting it as text.");
        return;
    }
    const QString dir = UiServices::instance().chooseFolder(this, "Export as Text",
                                                           QString::fromStdString(document_->settings().workFolder));
    if (dir.isEmpty()) return;
    try {
        exportLevel(package, dir.toStdString());
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
        return;
    }
    showNote("Exported " + QString::fromStdString(fileNamePart(package)) + (document_->isClean() ? "" : " as last saved") +
             " to " + dir);
}

void MainWindow::importText() {
    const QString dir = UiServices::instance().chooseFolder(this, "Import from Text",
                                                           QString::fromStdString(document_->settings().workFolder));
    if (dir.isEmpty()) return;
    const std::string out = askPackageToSave();
    if (out.empty()) return;
    try {
        importLevel(dir.toStdString(), out);
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
        return;
    }
    openRecent(QString::fromStdString(out));
}

// ---- help ----
void MainWindow::showKeysAndMouse() {
    auto* box = findChild<QDialog*>("keysAndMouse");
    if (!box) {
        box = new QDialog(this);
        box->setObjectName("keysAndMouse");
        box->setWindowTitle("Keys and Mouse");
        auto* text = new QTextBrowser(box);
        text->setObjectName("keysText");
        auto* l = new QVBoxLayout(box);
        l->addWidget(text);
        box->resize(520, 560);
    }
    QString html = "<h3>Commands</h3><table cellspacing=4>";
    for (Command id : actions_->all()) {
        const QAction* act = (*actions_)[id];
        if (act->shortcuts().isEmpty()) continue;
        QString name = act->text().remove('&');
        const int tab = actions_->tabOf(const_cast<QAction*>(act));
        if (tab >= 0) name = QString(tab == 0 ? "Stage" : tab == 1 ? "Sprite" : "Sector") + " &gt; " + name;
        html += "<tr><td><b>" + EditorActions::keysText(act).toHtmlEscaped() + "</b></td><td>" + name +
                "</td></tr>";
    }
    const char* const others[][2] = {
        {"F1 / F2 / F3", "the Stage / Sprite / Sector tab, with the focus in its list"},
        {"F4", "the Pather tab"},
        {"Enter", "in the stage list: open the stage; in the picker: \"Add 'em\""},
        {"Esc", "close the editor; in a text or number field: leave the field"},
        {"Arrows", "with the view focused: move the selected sprites or sectors by 1 pixel (they also reach the "
                   "actor)"},
        {"Shift+Arrows", "with the view focused: move the selected sprites or sectors by 10 pixels"},
        {"any other key", "goes to the test actor: the demo actor walks with Left/Right and jumps with Space"},
    };
    for (const auto& row : others) html += QString("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(row[0], row[1]);
    html += "</table><h3>Mouse</h3><table cellspacing=4>";
    const char* const mouse[][2] = {
        {"Click a stage", "previews it; a double click opens it"},
        {"Click a sprite or sector", "selects it alone (Sprite / Sector tab)"},
        {"Shift+click", "adds the sprite or sector to the selection, or takes it out"},
        {"Left drag on a selected item", "moves every selected sprite or sector together"},
        {"Ctrl+left drag", "moves the selection, even from under another item"},
        {"Left drag on empty space", "selects by band: every item whose box the band meets (with Shift: adds them)"},
        {"Right drag", "draws a new sector (Sector tab, a stage open)"},
        {"Drag with Snap to Grid on", "the item's corner, or the new sector's corners, land on the grid (View > Grid Size)"},
        {"Click a colour swatch", "chooses the colour of the outlines"},
    };
    for (const auto& row : mouse) html += QString("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(row[0], row[1]);
    html += "</table>";
    box->findChild<QTextBrowser*>("keysText")->setHtml(html);
    box->show();
    box->raise();
}

void MainWindow::showAbout() {
    QMessageBox::about(this, "About the sublevel editor",
                       QString("Sublevel editor %1\n\nBuilds one sublevel of stages, sprites and sectors, kept in "
                               "one .slv package.")
                           .arg(SLV_VERSION));
}

// ---- the status bar ----
void MainWindow::showNote(const QString& text) { statusBar()->showMessage(text, 10000); }


// ---- the window's frame and place ----
void MainWindow::setClassicWindow(bool on) {
    if (classicWindow_ == on && actions_->operator[](Command::ClassicWindow)->isChecked() == on) return;
    classicWindow_ = on;
    (*actions_)[Command::ClassicWindow]->setChecked(on);
    windowSettings().setValue(kClassicKey, on);
    applyWindowFrame();
}

void MainWindow::applyWindowFrame() {
    const bool wasVisible = isVisible();
    // The classic window has no menu bar: the menus pop up from a right
    // click beside the view, and the keys work as ever.
    if (classicWindow_) {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        menuBar()->hide();
        statusBar()->hide();
        setFixedSize(kClassicWidth, kClassicHeight);
    } else {
        setWindowFlags(Qt::Window);
        menuBar()->show();
        statusBar()->show();
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    if (wasVisible) show();
}

void MainWindow::restoreWindowPlace() {
    QSettings s = windowSettings();
    classicWindow_ = s.value(kClassicKey, false).toBool();
    (*actions_)[Command::ClassicWindow]->setChecked(classicWindow_);
    applyWindowFrame();
    if (classicWindow_) return;
    if (!s.contains(kGeometryKey) || !restoreGeometry(s.value(kGeometryKey).toByteArray())) {
        // The default size: the view at 640x430, less where the screen is smaller.
        QSize size = sizeHint();
        if (const QScreen* scr = QGuiApplication::primaryScreen()) {
            const QRect room = scr->availableGeometry();
            size = size.boundedTo(room.size() - QSize(16, 48));
        }
        resize(size);
        placeOnScreen_ = true;
    }
}

void MainWindow::saveWindowPlace() {
    if (classicWindow_ || displayModeKey_ != 122) return;
    windowSettings().setValue(kGeometryKey, saveGeometry());
}

void MainWindow::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    if (progressPanel_ && editor_)
        progressPanel_->move((editor_->width() - progressPanel_->width()) / 2,
                             (editor_->height() - progressPanel_->height()) / 2);
}
