// The main window's controls and where they stand.
#include "editor/editorlayout.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeView>
#include <climits>

#include "display/scenewidget.h"
#include "editor/progresspanel.h"
#include "editor/spritepicker.h"
#include "editor/swatchpanel.h"

using namespace slv;

namespace {

QSpinBox* unboundedSpin(QWidget* parent, int x, int y, const char* name) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(INT_MIN, INT_MAX);
    s->setGeometry(x, y, 70, 20);
    return s;
}

QLabel* label(QWidget* parent, const QString& text, int x, int y, const char* name = nullptr) {
    auto* l = new QLabel(text, parent);
    if (name) l->setObjectName(name);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QListWidget* stageList(QWidget* page, const char* name) {
    auto* lb = new QListWidget(page);
    lb->setObjectName(name);
    lb->setGeometry(5, 5, 128, 407);
    lb->setUniformItemSizes(true);
    lb->setStyleSheet("QListWidget::item { height: 13px; padding: 0px; }");
    return lb;
}

// The icon shown at the bottom right of the window.
QPixmap windowIcon32() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(40, 90, 160));
    p.setPen(QPen(QColor(20, 40, 80), 2));
    p.drawRoundedRect(2, 2, 28, 28, 5, 5);
    p.setBrush(QColor(255, 0, 255));
    p.setPen(Qt::NoPen);
    p.drawEllipse(8, 8, 10, 10);
    p.setBrush(QColor(250, 220, 60));
    p.drawRect(14, 16, 12, 10);
    return pm;
}

}  // namespace

void EditorLayout::setupControls(QWidget* window) {
    editor_ = new QWidget(window);
    editor_->setObjectName("editor");
    editor_->setGeometry(0, 0, 800, 600);
    windowFrame_ = new QFrame(editor_);
    windowFrame_->setObjectName("windowFrame");
    windowFrame_->setFrameShape(QFrame::Panel);
    windowFrame_->setFrameShadow(QFrame::Sunken);
    windowFrame_->setGeometry(0, 0, 800, 600);
    iconLabel_ = new QLabel(windowFrame_);
    iconLabel_->setObjectName("iconLabel");
    iconLabel_->setGeometry(760, 560, 32, 32);
    iconLabel_->setPixmap(windowIcon32());
    window->setWindowIcon(QIcon(windowIcon32()));

    viewFrame_ = new QFrame(editor_);
    viewFrame_->setObjectName("viewFrame");
    viewFrame_->setFrameShape(QFrame::Panel);
    viewFrame_->setFrameShadow(QFrame::Sunken);
    viewFrame_->setGeometry(5, 5, 644, 434);

    listPages_ = new QStackedWidget(editor_);
    listPages_->setObjectName("listPages");
    listPages_->setGeometry(651, 29, 144, 430);
    for (int i = 0; i < 3; ++i) {
        auto* page = new QWidget;
        listPages_->addWidget(page);
        auto* lb = stageList(page, i == 0 ? "stageList" : i == 1 ? "spriteList" : "sectorList");
        (i == 0 ? stageList_ : i == 1 ? spriteList_ : sectorList_) = lb;
    }
    listPages_->addWidget(new QWidget);  // "Pather" shows no list

    editTabs_ = new QTabWidget(editor_);
    editTabs_->setObjectName("editTabs");
    editTabs_->setGeometry(5, 439, 645, 157);
    auto* stageTab = new QWidget;
    auto* spriteTab = new QWidget;
    auto* sectorTab = new QWidget;
    auto* patherTab = new QWidget;
    editTabs_->addTab(stageTab, "Stage");
    editTabs_->addTab(spriteTab, "Sprite");
    editTabs_->addTab(sectorTab, "Sector");
    editTabs_->addTab(patherTab, "Pather");
    setupStageTab(stageTab);
    setupSpriteTab(spriteTab);
    setupSectorTab(sectorTab);

    addButton_ = new QPushButton("Add", editor_);
    addButton_->setObjectName("addButton");
    addButton_->setGeometry(652, 5, 45, 25);
    addButton_->setToolTip("Add (ins)");
    modButton_ = new QPushButton("Mod", editor_);
    modButton_->setObjectName("modButton");
    modButton_->setGeometry(701, 5, 45, 25);
    modButton_->setToolTip("Change (F8)");
    delButton_ = new QPushButton("Del", editor_);
    delButton_->setObjectName("delButton");
    delButton_->setGeometry(749, 6, 45, 25);
    delButton_->setToolTip("Delete (del)");

    // The level's name and its unsaved mark, below the lists: the window has
    // no title bar to carry them.
    levelNameLabel_ = new QLabel(editor_);
    levelNameLabel_->setObjectName("levelName");
    levelNameLabel_->setGeometry(653, 463, 104, 30);
    levelNameLabel_->setWordWrap(true);
    levelNameLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    spritePicker_ = new SpritePicker(editor_);
    spritePicker_->setGeometry(651, 30, 144, 430);
    spritePicker_->hide();

    // The folder model behind the tree is made when the tree is first shown:
    // watching the file system costs start-up time most runs never use.
    folderTree_ = new QTreeView(editor_);
    folderTree_->setObjectName("folderTree");
    folderTree_->header()->hide();
    folderTree_->setGeometry(651, 30, 144, 430);
    folderTree_->hide();

    sceneView_ = new SceneWidget(editor_);
    sceneView_->setObjectName("sceneView");
    sceneView_->setGeometry(6, 7, 640, 430);
    progressPanel_ = new ProgressPanel(editor_);
}

void EditorLayout::setupStageTab(QWidget* page) {
    newButton_ = new QPushButton("New", page);
    newButton_->setObjectName("newButton");
    newButton_->setGeometry(14, 50, 55, 55);
    newButton_->setToolTip("New (Ctrl+N)");
    openButton_ = new QPushButton("Open", page);
    openButton_->setObjectName("openButton");
    openButton_->setGeometry(80, 50, 55, 55);
    openButton_->setToolTip("Open (Ctrl+O)");
    saveButton_ = new QPushButton("Save", page);
    saveButton_->setObjectName("saveButton");
    saveButton_->setGeometry(146, 50, 55, 55);
    saveButton_->setToolTip("Save (Ctrl+S)");
    saveAsButton_ = new QPushButton("Save as", page);
    saveAsButton_->setObjectName("saveAsButton");
    saveAsButton_->setGeometry(207, 50, 62, 55);
    saveAsButton_->setToolTip("Save as (Ctrl+Shift+S)");
    workFolderButton_ = new QPushButton("WorkDir :", page);
    workFolderButton_->setObjectName("workFolderButton");
    workFolderButton_->setGeometry(14, 110, 67, 17);
    workFolderLabel_ = label(page, QString(), 85, 111, "workFolderLabel");
    workFolderLabel_->resize(260, 14);

    showSpriteBoxes_ = new QCheckBox("SpriteBox", page);
    showSpriteBoxes_->setObjectName("showSpriteBoxes");
    showSpriteBoxes_->setGeometry(373, 7, 75, 17);
    showSpriteBoxes_->setChecked(false);
    showSectors_ = new QCheckBox("Sectors", page);
    showSectors_->setObjectName("showSectors");
    showSectors_->setGeometry(374, 26, 75, 17);
    showSectors_->setChecked(true);
    spriteBoxColorSwatch_ = new SwatchPanel(page);
    spriteBoxColorSwatch_->setObjectName("spriteBoxColorSwatch");
    spriteBoxColorSwatch_->setGeometry(355, 9, 15, 12);
    sectorColorSwatch_ = new SwatchPanel(page);
    sectorColorSwatch_->setObjectName("sectorColorSwatch");
    sectorColorSwatch_->setGeometry(355, 28, 15, 12);

    previewChoice_ = new QGroupBox("preview", page);
    previewChoice_->setObjectName("previewChoice");
    previewChoice_->setGeometry(373, 58, 73, 67);
    previewStages_ = new QRadioButton("Stages", previewChoice_);
    previewStages_->setGeometry(8, 18, 62, 18);
    previewStages_->setChecked(true);
    previewSplash_ = new QRadioButton("Splash", previewChoice_);
    previewSplash_->setGeometry(8, 40, 62, 18);

    previewFrame_ = new QFrame(page);
    previewFrame_->setObjectName("previewFrame");
    previewFrame_->setFrameShape(QFrame::Panel);
    previewFrame_->setFrameShadow(QFrame::Sunken);
    previewFrame_->setGeometry(451, 3, 181, 123);
    previewPicture_ = new QLabel(previewFrame_);
    previewPicture_->setObjectName("previewPicture");
    previewPicture_->setGeometry(2, 2, 177, 119);
    previewPicture_->setScaledContents(true);
}

void EditorLayout::setupSpriteTab(QWidget* page) {
    spriteGroup_ = new QGroupBox("Main", page);
    spriteGroup_->setObjectName("spriteGroup");
    spriteGroup_->setGeometry(5, 1, 185, 122);
    label(spriteGroup_, "Name : ", 8, 20);
    spriteName_ = label(spriteGroup_, "none", 60, 20, "spriteName");
    spriteName_->resize(120, 14);
    label(spriteGroup_, "X : ", 8, 42);
    spriteXField_ = unboundedSpin(spriteGroup_, 60, 40, "spriteXField");
    label(spriteGroup_, "Y : ", 8, 66);
    spriteYField_ = unboundedSpin(spriteGroup_, 60, 64, "spriteYField");
    label(spriteGroup_, "W : ", 8, 92);
    spriteWidth_ = label(spriteGroup_, "0", 30, 92, "spriteWidth");
    spriteWidth_->resize(50, 14);
    label(spriteGroup_, "H : ", 90, 92);
    spriteHeight_ = label(spriteGroup_, "0", 112, 92, "spriteHeight");
    spriteHeight_->resize(50, 14);
    spriteImageIndex_ = label(page, QString(), 194, 109, "spriteImageIndex");
    spriteImageIndex_->resize(80, 14);
}

void EditorLayout::setupSectorTab(QWidget* page) {
    sectorGroup_ = new QGroupBox("Main", page);
    sectorGroup_->setObjectName("sectorGroup");
    sectorGroup_->setGeometry(5, 1, 185, 122);
    label(sectorGroup_, "Name : ", 8, 20);
    sectorName_ = label(sectorGroup_, "none", 60, 20, "sectorName");
    sectorName_->resize(120, 14);
    label(sectorGroup_, "X : ", 8, 42);
    sectorXField_ = unboundedSpin(sectorGroup_, 26, 40, "sectorXField");
    sectorXField_->resize(60, 20);
    label(sectorGroup_, "Y : ", 92, 42);
    sectorYField_ = unboundedSpin(sectorGroup_, 112, 40, "sectorYField");
    sectorYField_->resize(60, 20);
    label(sectorGroup_, "W : ", 8, 72);
    sectorWidthField_ = unboundedSpin(sectorGroup_, 26, 70, "sectorWidthField");
    sectorWidthField_->resize(60, 20);
    label(sectorGroup_, "H : ", 92, 72);
    sectorHeightField_ = unboundedSpin(sectorGroup_, 112, 70, "sectorHeightField");
    sectorHeightField_->resize(60, 20);
}
