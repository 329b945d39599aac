// The main window's controls and where they stand. MainWindow derives from
// this class, so handlers reach the controls by name; the window's behaviour
// lives in MainWindow, the layout here.
#pragma once

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTabWidget;
class QTreeView;
class QWidget;
class SwatchPanel;

namespace slv {
class ProgressPanel;
class SceneWidget;
class SpritePicker;
}  // namespace slv

class EditorLayout {
public:
    // Makes every control, laid out for an 800x600 window.
    void setupControls(QWidget* window);

    // Holds every control; it is the whole window except in full screen.
    QWidget* editor_ = nullptr;
    QFrame* windowFrame_ = nullptr;
    QLabel* iconLabel_ = nullptr;
    QFrame* viewFrame_ = nullptr;
    slv::SceneWidget* sceneView_ = nullptr;

    // The lists at the right; the page shown follows the active tab.
    QStackedWidget* listPages_ = nullptr;
    QListWidget* stageList_ = nullptr;
    QListWidget* spriteList_ = nullptr;
    QListWidget* sectorList_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* modButton_ = nullptr;
    QPushButton* delButton_ = nullptr;
    QLabel* levelNameLabel_ = nullptr;  // the package's name and the unsaved mark
    slv::SpritePicker* spritePicker_ = nullptr;  // over the lists while open
    QTreeView* folderTree_ = nullptr;            // the work folder's chooser, likewise

    QTabWidget* editTabs_ = nullptr;
    // The Stage tab.
    QPushButton* newButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* saveAsButton_ = nullptr;
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

private:
    void setupStageTab(QWidget* page);
    void setupSpriteTab(QWidget* page);
    void setupSectorTab(QWidget* page);
};
