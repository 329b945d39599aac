// The editor's main window: its event handlers and the routines they share,
// over its controls (made and laid out in mainwindow_layout.cpp), its
// commands (EditorActions, in the menus) and the edits of LevelDocument.
// Handlers are spread over the mainwindow_*.cpp files by subject (start-up,
// stages, packages, view, placement, keys, pictures, commands).
#pragma once

#include <QList>
#include <QMainWindow>
#include <QSet>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "editor/gridsettings.h"
#include "actor/actorstate.h"
#include "editor/viewstate.h"
#include "model/fileio.h"
#include "model/level.h"
#include "model/settings.h"
#include "model/editing.h"
#include "display/spriteanimation.h"
#include "model/selection.h"

class QAction;
class QCheckBox;
class QFileSystemModel;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class QTreeView;
class SwatchPanel;

namespace slv {
class KeyRouter;
class EditTool;
class SectorTool;
class SpriteTool;
struct PackageHooks;
class LevelDocument;
class PictureWatcher;
class FrameTimer;
class SceneCache;
class ScenePictures;
class StatusLine;
class ProgressPanel;
class SceneWidget;
class SpritePicker;
class EditorActions;
}  // namespace slv

// Add on the Sector tab: sectors are drawn on the scene.
inline constexpr const char* kMsgHowToDrawSector = "Drag with the right mouse button on the scene to draw a sector.";

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    slv::LevelDocument& document() { return *document_; }
    // The level's pictures on the view's device.
    slv::ScenePictures& pictures() { return *pictures_; }
    // The frames the open stage's sprites show while they animate.
    const slv::SpriteAnimation& spriteAnimation() const { return spriteAnimation_; }
    // The test actor shown over the level and the keys it follows.
    const slv::ActorState& actor() const { return actor_; }
    // The view's surfaces, colour keys and clock.
    slv::ViewState& viewState() { return viewState_; }
    const slv::ViewState& viewState() const { return viewState_; }
    slv::Level& level();
    const slv::Level& level() const;

    // Drives the frame loop: one tick draws and presents a frame.
    slv::FrameTimer* frameTimer_ = nullptr;

    // ---- start-up and close ----
    void startUp();
    // Runs the close sequence; false when writing the settings failed.
    bool closeDown();
    void chooseWorkFolder();
    // Frames a second at most (0: as often as the application is idle; -1,
    // the default: the display's refresh rate); from "--max-fps N" on the
    // command line, else the home folder's maxfps.txt.
    int maxFps = -1;
    void setMaxFps(int fps);
    void workFolderPicked(const QString& dir);
    // Ends the editor at once, keeping unsaved changes in the recovery copy
    // (a termination signal, the end of the desktop session when `quit`).
    void keepChangesAndQuit(bool quit);

    // ---- the level's package ----
    void newLevel();
    void openLevel();
    // Saves into the level's own package; asks for one when it has none.
    void saveLevel();
    void saveLevelAs();
    // How long the finished progress panel stays up (it is hidden by a
    // timer: the window goes on meanwhile).
    int progressPauseMs = 1000;

    // ---- stage commands and preview ----
    void addOnActiveTab();
    void replaceOnActiveTab();
    void deleteOnActiveTab();
    void previewSelectedStage();
    void openSelectedStage();
    void choosePreview(int item);

    // ---- sprite-frame picker ----
    void openPicker(bool addMode);
    void pickerFileClicked();
    void pickerFrameCountChanged();
    void confirmPickedSprites();

    // ---- placement ----
    void showSpriteFields(int n);
    void showSectorFields(int n);
    void pressOnScene(int buttons, bool ctrl, int x, int y);
    void moveOnScene(int buttons, bool ctrl, int x, int y);
    void releaseOnScene(int buttons, bool ctrl, int x, int y);
    void selectSpriteFromList();
    void selectSectorFromList();
    // ---- several items selected, moved and nudged ----
    // Edit > Select All: every sprite or sector of the open stage, by the tab.
    void selectAllOnTab();
    // Pixels an arrow key moves the selection (Shift held: `shift`).
    int nudgeStep(bool shift) const;
    // An arrow key (its key code) pressed: moves the selection of the tab
    // shown when the view has the focus. True when it did.
    bool nudgeWithArrow(int key, Qt::KeyboardModifiers modifiers);
    void chooseSpriteBoxColor();
    void chooseSectorColor();
    void renameSelectedSector();

    // ---- frame loop ----
    void onFrameTick(int lagCount);

    // ---- keys and display modes ----
    void routeKeyDown(int key, Qt::KeyboardModifiers shift, bool autoRepeat = false);
    void routeKeyUp(int key, Qt::KeyboardModifiers shift);
    void stageListKeyDown(int key, bool autoRepeat = false);
    void editTabChanged();
    void switchDisplayMode(int fkey);  // 120 (F9), 121 (F10), 122 (F11)
    // Lets go of every held key, as releases, so the actor's release rules run.
    void releaseHeldKeys();
    // True while a text or number field has the keyboard focus.
    bool fieldHasFocus() const;

    // Helpers shared by the handlers.
    void showError(const QString& text);
    std::string homePath(const char* name) const;
    // Index of the selected row of a list; -1 when none is selected.
    static int selectedRow(const QListWidget* list);
    // Selects a row (or none with -1) without running the list's click handler.
    void selectRow(QListWidget* list, int row);

    // ---- undo, unsaved changes and recovery ----
    void undoEdit();   // Ctrl+Z
    void redoEdit();   // Ctrl+Shift+Z, Ctrl+Y
    // On a changed level asks "Save changes to NAME ?"; true when the caller
    // may go on (saved, or changes discarded), false on Cancel.
    bool confirmDiscard();
    // confirmDiscard for closing the window: the New that closing runs then
    // asks nothing.
    bool confirmClose();
    // Offers to restore a recovery package left by a run that did not end
    // cleanly (first tick).
    void offerRecovery();

    // ---- zoom and the status line ----
    // The pointer's place, the item under it and the zoom, in the status bar.
    slv::StatusLine& statusLine() { return *statusLine_; }
    // ---- commands, menus and the window's frame ----
    // Every command of the menus, by id; buttons and keys trigger the same.
    slv::EditorActions& actions() { return *actions_; }
    // The view's zoom.
    void zoomIn();
    void zoomOut();
    void zoomActualSize();
    void zoomToFit();
    // The grid over the view (View > Grid, Grid Size, Snap to Grid), kept
    // in the preferences. snapToGrid is where a moved or pasted item's
    // corner goes: the nearest grid point while snapping is on, else `p`.
    const slv::GridSettings& grid() const;
    void setGridVisible(bool on);
    void setGridSize(int size);
    void setSnapToGrid(bool on);
    QPoint snapToGrid(QPoint p) const;
    // The level as text (what "slvtool export" and "slvtool import" do).
    void exportText();
    void importText();
    // Opens a package of the Open Recent menu.
    void openRecent(const QString& path);
    // The packages last opened or saved, newest first; those gone are dropped.
    QStringList recentPackages() const;
    // The original borderless 800x600 window, kept as a choice.
    void setClassicWindow(bool on);
    bool isClassicWindow() const { return classicWindow_; }
    // The window listing every key and mouse gesture (Help > Keys and Mouse).
    void showKeysAndMouse();
    void showAbout();
    // A message that needs no answer, in the status bar.
    void showNote(const QString& text);
    // ---- the selection and the clipboard (mainwindow_clipboard.cpp) ----
    // Cut, Copy and Duplicate act on the selected items of the page shown;
    // Paste puts the clipboard's sprites or sectors on the open stage.
    void cutSelection();
    void copySelection();
    void pasteFromClipboard();
    void duplicateSelection();
    // The page shown as a kind of item; none on the Stage page.
    std::optional<slv::ItemKind> activeItemKind() const;

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    // Makes every control and lays it out (mainwindow_layout.cpp).
    void setupControls();
    void setupStageTab(QWidget* page);
    void setupSpriteTab(QWidget* page);
    void setupSectorTab(QWidget* page);
    void setupStatusBar();
    // The actions' menus, and the buttons that trigger them (mainwindow_commands.cpp).
    void setupMenus();
    void connectActions();
    // Enables each command by what it can act on now.
    void updateActions();
    void rememberRecent(const std::string& path);
    void fillRecentMenu();
    // The window's frame and size: desktop or classic (see setClassicWindow).
    void applyWindowFrame();
    void restoreWindowPlace();
    void saveWindowPlace();
    void setupPicker();
    void setupEditing();
    void connectHandlers();
    void connectDocument();
    void connectKeys();
    void centerOnScreen();
    void loadPreview(const std::string& path);
    // Runs a Save or Open under the progress panel: the panel is hidden at
    // once when it fails, else after the pause.
    void runWithProgress(const QString& operation, const QString& fileName,
                         const std::function<void(slv::PackageHooks&)>& run);
    // Says where the home folder just made from the demo is, once the window is up.
    void tellNewHomeFolder();
    void firstTickWork();
    void connectView();
    void setupZoomAndStatus();
    // The grid's actions, its Grid Size menu and its remembered settings.
    void setupGrid();
    void storeGrid(const slv::GridSettings& grid);
    // The status line's item: the one under the pointer on the active tab's
    // kind (sprites or sectors), else the selected one.
    void showItemInStatus();
    void drawFrame();
    void reportTickError(const QString& text);
    // Lets every frame-loop error be shown again (a stage or level opened,
    // a display switch).
    void resetTickErrors();
    // Reports sprites of the open stage whose picture is gone (not drawn).
    void checkSpritePictures();
    void spriteXChanged();
    void spriteYChanged();
    void typedSectorValue(slv::SectorField field);
    void confirmSectorSize(QSpinBox* spin);
    // Gives a list the keyboard, with no frame on a row it has not selected.
    void focusList(QListWidget* list);
    // Runs a command key (Ctrl+S and the like); true when `key` was one.
    bool commandKey(int key, Qt::KeyboardModifiers shift, bool autoRepeat);
    // The views follow the document.
    void refreshLists();
    void refreshPreview();
    void showOpenStageInLists(int stage);
    void updateLevelName();
    // The selection of the document shown in the list of `kind` and its fields.
    void showSelection(slv::ItemKind kind);
    // The list of `kind` selects the rows the document has selected.
    void showListSelection(slv::ItemKind kind);
    // The rows selected in the list of `kind` become the document's selection.
    void selectFromItemList(slv::ItemKind kind);
    void connectItemLists();
    // Items changed in place: their rows and, when shown, their fields.
    void refreshItems(slv::ItemKind kind, const QList<int>& numbers);
    void refreshShownFields(slv::ItemKind kind);
    void refreshStaleFields();
    // The tool of the page shown; none on the Stage page.
    slv::EditTool* activeTool() const;
    // The Sector fields while a rubber band is drawn.
    void showBand(int x, int y);
    void showBandSize(int width, int height);
    // Pictures changed on disk: the level's files watched, and loaded again.
    void watchLevelPictures();
    void reloadChangedPictures(const QStringList& paths);
    // Saves into `path`; over a package another program changed since it was
    // opened or saved here, only when the author says so. False when not saved.
    bool saveTo(const std::string& path);
    // Opens the package at `path` under the progress panel.
    void openPackage(const std::string& path);
    // The open package on disk: watched, and another program's change of it
    // offered to be opened again (no unsaved changes) or told once (edited).
    void setupPackageWatch();
    void watchPackage();
    void packageChangedOnDisk();
    // Writes totposes.dat and corvatel.cf; the failures' messages.
    QStringList writeSettingsFiles();
    // The Save dialog, in the level's folder with its file name; asks before
    // another file is replaced. Empty when cancelled.
    std::string askPackageToSave();
    struct ProgressHooks;
    friend struct ProgressHooks;

    // ---- the controls ----
    // The central area: the editor's controls, or in full screen the view alone.
    QWidget* screenArea_ = nullptr;
    QFrame* editor_ = nullptr;  // every control below
    QLabel* iconLabel_ = nullptr;
    QFrame* viewFrame_ = nullptr;
    slv::SceneWidget* sceneView_ = nullptr;
    // The lists at the right; the page shown follows the active tab.
    QStackedWidget* listPages_ = nullptr;
    QListWidget* stageList_ = nullptr;
    QListWidget* spriteList_ = nullptr;
    QListWidget* sectorList_ = nullptr;
    QToolButton* addButton_ = nullptr;
    QToolButton* modButton_ = nullptr;
    QToolButton* delButton_ = nullptr;
    QLabel* levelNameLabel_ = nullptr;           // the package's name and the unsaved mark
    slv::SpritePicker* spritePicker_ = nullptr;  // over the lists while open
    QTreeView* folderTree_ = nullptr;            // the work folder's chooser, likewise
    QTabWidget* editTabs_ = nullptr;
    // The Stage tab.
    QToolButton* newButton_ = nullptr;
    QToolButton* openButton_ = nullptr;
    QToolButton* saveButton_ = nullptr;
    QToolButton* saveAsButton_ = nullptr;
    QPushButton* workFolderButton_ = nullptr;
    QLabel* workFolderLabel_ = nullptr;
    QCheckBox* showSpriteBoxes_ = nullptr;
    QCheckBox* showSectors_ = nullptr;
    SwatchPanel* spriteBoxColorSwatch_ = nullptr;
    SwatchPanel* sectorColorSwatch_ = nullptr;
    QGroupBox* previewChoice_ = nullptr;
    QRadioButton* previewStages_ = nullptr;
    QRadioButton* previewSplash_ = nullptr;
    QFrame* previewFrame_ = nullptr;
    QLabel* previewPicture_ = nullptr;
    // The Sprite tab.
    QGroupBox* spriteGroup_ = nullptr;
    QLabel* spriteName_ = nullptr;
    QSpinBox* spriteXField_ = nullptr;
    QSpinBox* spriteYField_ = nullptr;
    QLabel* spriteWidth_ = nullptr;
    QLabel* spriteHeight_ = nullptr;
    QLabel* spriteImageIndex_ = nullptr;
    // The Sector tab.
    QGroupBox* sectorGroup_ = nullptr;
    QLabel* sectorName_ = nullptr;
    QSpinBox* sectorXField_ = nullptr;
    QSpinBox* sectorYField_ = nullptr;
    QSpinBox* sectorWidthField_ = nullptr;
    QSpinBox* sectorHeightField_ = nullptr;
    // Over everything while a Save or Open runs.
    slv::ProgressPanel* progressPanel_ = nullptr;
    // The status bar's permanent fields.
    slv::StatusLine* statusLine_ = nullptr;

    slv::EditorActions* actions_ = nullptr;
    // The action an Add, Mod or Del button runs on the tab shown.
    std::function<QAction*(QToolButton*)> buttonAction_;
    QString addButtonToolTip_;  // on the tabs where Add adds
    bool placeOnScreen_ = false;  // no remembered place: centred when first shown
    QMenu* recentMenu_ = nullptr;
    bool classicWindow_ = false;
    int displayModeKey_ = 122;
    QRect windowedPlace_;  // the window's place and size before full screen  // F9, F10 or F11: the display mode shown

    slv::LevelDocument* document_ = nullptr;
    std::unique_ptr<slv::ScenePictures> pictures_;
    slv::PictureWatcher* pictureWatcher_ = nullptr;
    slv::PictureWatcher* packageWatcher_ = nullptr;  // the level's package
    bool diskQuestionOpen_ = false;  // "... Open it again ?" is being asked
    // The package as this document last read or wrote it, when the author
    // was told that it changed on disk since: told once until the next Open or Save.
    std::optional<slv::FileIdentity> diskChangeToldFor_;
    QFileSystemModel* folderModel_ = nullptr;  // behind folderTree_, made when first shown
    bool closed_ = false;
    bool closeAnswered_ = false;  // the close under way was answered
    int spriteFieldsRow_ = 0;     // sprite the Sprite fields show (1-based); 0 none
    int sectorFieldsRow_ = 0;     // the same for the Sector fields
    std::string previewPath_;     // the picture the preview shows
    bool bandRefusalShown_ = false;
    // How the settings files were read at start-up; close keeps a file it could not read.
    slv::SettingsState settingsState_;
    bool shownOnce_ = false;
    bool tickBoxOpen_ = false;  // a frame-loop error is being shown
    // Frame-loop errors shown since the last reset: each is shown once.
    QSet<QString> tickErrorsShown_;
    bool listUpdating_ = false;
    std::shared_ptr<slv::SceneCache> sceneCache_;  // overlays kept between ticks
    // The frames the open stage's sprites show; the records keep theirs.
    slv::SpriteAnimation spriteAnimation_;
    slv::ViewState viewState_;
    slv::ActorState actor_;  // the test actor: its skin package's tables and held keys
    slv::KeyRouter* keyRouter_ = nullptr;  // the window's keys, as key codes
    bool pointerOnScene_ = false;
    QPoint pointerScenePixel_;  // back-buffer pixel under the pointer
    // Fields of a record changed in place follow at most this often.
    static constexpr int kFieldsIntervalMs = 50;
    QTimer* fieldsTimer_ = nullptr;
    bool spriteFieldsStale_ = false;
    bool sectorFieldsStale_ = false;
    bool mouseHeld_ = false;  // a button is down on the view: a drag may run
    slv::SpriteTool* spriteTool_ = nullptr;
    slv::SectorTool* sectorTool_ = nullptr;
    QMenu* gridSizeMenu_ = nullptr;  // View > Grid Size: one checkable action per size
};
