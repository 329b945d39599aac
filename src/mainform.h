// The editor's main window: its controls, its event handlers and the
// routines they share. Handlers are spread over the mainform_*.cpp files by
// subject (start-up, stages, packages, view, placement, keys).
#pragma once

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <memory>
#include <string>

#include "model/level.h"
#include "model/settings.h"

class QCheckBox;
class QFileSystemModel;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QTreeView;

namespace slv {
class History;
class RecoveryWriter;
struct LeftPackage;
class TDXDraw;
class TDXTimer;
class SceneCache;
class TDirectDrawSurface;
class Tspritef;
}  // namespace slv

// A panel used as a colour swatch: clicking it opens the colour dialog.
class SwatchPanel;

class Tmain : public QWidget {
    Q_OBJECT
public:
    explicit Tmain(QWidget* parent = nullptr);
    ~Tmain() override;

    slv::Level& level() { return *level_; }

    // ---- controls (named as the window lays them out) ----
    slv::TDXDraw* DXDraw1 = nullptr;
    slv::TDXTimer* DXTimer1 = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Image2 = nullptr;
    QFrame* Panel2 = nullptr;
    QStackedWidget* PageControl1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QListWidget* ListBox2 = nullptr;
    QListWidget* ListBox3 = nullptr;
    QTabWidget* PageControl2 = nullptr;
    QPushButton* Button1 = nullptr;  // New
    QPushButton* Button2 = nullptr;  // Open
    QPushButton* Button3 = nullptr;  // Save
    QPushButton* Button4 = nullptr;  // Add
    QPushButton* Button5 = nullptr;  // Mod
    QPushButton* Button6 = nullptr;  // Del
    QPushButton* Button7 = nullptr;  // WorkDir :
    QLabel* Label18 = nullptr;
    QCheckBox* CheckBox1 = nullptr;  // SpriteBox
    QCheckBox* CheckBox2 = nullptr;  // Sectors
    SwatchPanel* Panel4 = nullptr;
    SwatchPanel* Panel5 = nullptr;
    QGroupBox* RadioGroup1 = nullptr;
    QRadioButton* RadioStages = nullptr;
    QRadioButton* RadioSplash = nullptr;
    QFrame* Panel3 = nullptr;
    QLabel* Image1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label5 = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QSpinBox* SpinEdit3 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label2 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label13 = nullptr;
    QSpinBox* SpinEdit2 = nullptr;
    QSpinBox* SpinEdit4 = nullptr;
    QSpinBox* SpinEdit5 = nullptr;
    QSpinBox* SpinEdit6 = nullptr;
    QFrame* Panel6 = nullptr;
    QLabel* Label19 = nullptr;
    QLabel* Label20 = nullptr;
    QLabel* Label21 = nullptr;
    QProgressBar* pb1 = nullptr;
    slv::Tspritef* spritef1 = nullptr;
    QTreeView* DirectoryOutline1 = nullptr;
    QFileSystemModel* dirModel = nullptr;

    // ---- start-up and close ----
    void FormCreate();
    // Runs the close sequence; false when writing the settings failed.
    bool FormClose();
    void Button7Click();
    // Frames a second at most (0: as often as the application is idle); from
    // "--max-fps N" on the command line, else the home folder's maxfps.txt.
    int maxFps = 0;
    void setMaxFps(int fps);
    void DirectoryOutline1Change(const QString& dir);

    // ---- package commands ----
    void Button1Click();  // New
    void Button2Click();  // Open
    void Button3Click();  // Save
    // The one-second pause that keeps the progress panel readable.
    int progressPauseMs = 1000;

    // ---- stage commands and preview ----
    void Button4Click();  // Add
    void Button5Click();  // Mod
    void Button6Click();  // Del
    void ListBox1Click();
    void ListBox1DblClick();
    void RadioGroup1Click(int item);
    void rebuildStageList();

    // ---- sprite-frame picker ----
    void openPicker(bool addMode);
    void spritef1FileListBox1Click();
    void spritef1SpinEdit1Change();
    void spritef1Button1Click();

    // ---- placement ----
    void displaysprite(int n);
    void displaysector(int n);
    void DXDraw1MouseDown(int buttons, bool ctrl, int x, int y);
    void DXDraw1MouseMove(int buttons, bool ctrl, int x, int y);
    void DXDraw1MouseUp(int buttons, bool ctrl, int x, int y);
    void ListBox2Click();
    void ListBox3Click();
    void SpinEdit1Change();
    void SpinEdit3Change();
    void Panel4Click();
    void Panel5Click();

    // ---- frame loop ----
    void DXTimer1Timer(int lagCount);
    void createsurfaces();
    void drawsprite(int n);
    void drawkhali(int x, int y);
    // Loads every used image record and skin again (after a display switch).
    void reloadPictures();
    // Loads the open stage's picture into the backdrop (after a display switch).
    void showOpenStage();

    // ---- keys and display modes ----
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void FormKeyUp(int key, Qt::KeyboardModifiers shift);
    void ListBox1KeyDown(int key);
    void PageControl2Change();
    void switchDisplayMode(int fkey);  // 120 (F9), 121 (F10), 122 (F11)
    // Lets go of every held key, as releases, so the actor's release rules run.
    void releaseHeldKeys();
    // True while a text or number field has the keyboard focus.
    bool fieldHasFocus() const;

    // Helpers shared by the handlers.
    slv::TDirectDrawSurface* surface(slv::SurfaceHandle h) const;
    slv::SurfaceHandle loadSurface(const std::string& path, bool keyed);
    void freeSurface(slv::SurfaceHandle h);
    void showError(const QString& text);
    std::string homePath(const char* name) const;
    // Holds every control; it is the whole window except in full screen.
    QWidget* editor_ = nullptr;
    // Index of the selected row of a list; -1 when none is selected.
    static int selectedRow(const QListWidget* list);
    // Selects a row (or none with -1) without running the list's click handler.
    void selectRow(QListWidget* list, int row);

    // ---- undo, unsaved changes and recovery ----
    void undoEdit();   // Ctrl+Z
    void redoEdit();   // Ctrl+Shift+Z, Ctrl+Y
    void stepHistory(bool forward);
    // Runs the undo and redo keys; true when the key was one of them.
    bool historyKey(int key, Qt::KeyboardModifiers shift);
    // True when the level changed since the last New, Open or Save.
    bool levelChanged();
    // On a changed level asks "Save changes to NAME ?"; true when the caller
    // may go on (saved, or changes discarded), false on Cancel.
    bool confirmDiscard();
    // confirmDiscard for closing the window: the New that closing runs then
    // asks nothing.
    bool confirmClose();
    // The package the level was opened from or saved to; empty when none.
    std::string levelPath();
    // Connects the sector fields; called once while the window is built.
    void setupEditing();
    // Offers to restore a recovery package left by a run that did not end
    // cleanly (first tick).
    void offerRecovery();
    // Opens a package a crashed editor left, as an unsaved level.
    void restoreLeftPackage(slv::LeftPackage& left, const QString& name);
    // Milliseconds after the last edit before the recovery package is written.
    int recoveryDelayMs = 3000;
    void writeRecoveryNow();
    // New without the question: empties the level and its history.
    void newLevel();
    slv::History& history();
    slv::RecoveryWriter& recovery();
    void SpinEdit2Change();
    void SpinEdit4Change();
    void SpinEdit5Change();
    void SpinEdit6Change();

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildControls();
    void buildStageTab(QWidget* page);
    void buildSpriteTab(QWidget* page);
    void buildSectorTab(QWidget* page);
    void buildProgressPanel();
    void setupPicker();
    void connectHandlers();
    void centerOnScreen();
    void loadPreview(const std::string& path);
    void progressPause();
    void firstTickWork();
    void createView();
    void loadActor();
    void drawFrame();
    void reportTickError(const QString& text);
    // Lets every frame-loop error be shown again (a stage or level opened,
    // a display switch).
    void resetTickErrors();
    // Reports sprites of the open stage whose picture is gone (not drawn).
    void checkSpritePictures();
    struct Callbacks;
    friend struct Callbacks;
    struct EditState;
    struct EditScope;
    std::shared_ptr<EditState> edit_;
    EditState& editState();
    void afterEdit();
    void syncAfterHistory(int stageWas, const std::string& backdropWas, std::string error);
    void updateTitle();
    bool saveTo(const QString& path);

    std::unique_ptr<slv::Level> level_;
    bool closed_ = false;
    // How the settings files were read at start-up; close keeps a file it could not read.
    slv::SettingsState settingsState_;
    bool shownOnce_ = false;
    bool tickBoxOpen_ = false;  // a frame-loop error is being shown
    // Frame-loop errors shown since the last reset: each is shown once.
    QSet<QString> tickErrorsShown_;
    // A settings file that exists but could not be read is not written at close.
    // The key code each physical key (by native scan code) went down with, so
    // that its release matches whatever Shift did meanwhile.
    QHash<quint32, int> keyDownByScanCode_;
    bool listUpdating_ = false;
    struct KeySeen {
        const void* event = nullptr;
        int type = 0, key = 0;
        bool autoRepeat = false;
        quint64 timestamp = 0;
        bool operator==(const KeySeen&) const = default;
    };
    KeySeen lastKey_;
    std::shared_ptr<slv::SceneCache> sceneCache_;  // overlays kept between ticks
    QPointer<QWidget> lastKeyAt_;
};
