// The main window's controls and how Qt layouts place them: the view at the
// top left takes the room the window has beyond its default size, the lists
// stand at the right, the tabs below the view.
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <climits>

#include "display/scenewidget.h"
#include "editor/mainwindow.h"
#include "editor/statusline.h"
#include "editor/progresspanel.h"
#include "editor/spritepicker.h"
#include "editor/swatchpanel.h"

using namespace slv;

namespace {

// The sunken frame around the view. At the window's default size the view
// is 640x430, the size of the stage pictures it was drawn for; it may shrink
// to half that on a small screen.
class ViewFrame : public QFrame {
public:
    explicit ViewFrame(QWidget* parent) : QFrame(parent) {
        setObjectName("viewFrame");
        setFrameShape(QFrame::Panel);
        setFrameShadow(QFrame::Sunken);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    QSize sizeHint() const override { return around(QSize(640, 430)); }
    QSize minimumSizeHint() const override { return around(QSize(320, 200)); }

private:
    // The frame's size for a view of `view`: its border and its layout's margins around it.
    QSize around(QSize view) const {
        QSize size = view + QSize(2, 2) * frameWidth();
        if (layout()) {
            const QMargins m = layout()->contentsMargins();
            size += QSize(m.left() + m.right(), m.top() + m.bottom());
        }
        return size;
    }
};

QSpinBox* unboundedSpin(QWidget* parent, const char* name) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(INT_MIN, INT_MAX);
    s->setMinimumWidth(60);
    s->setMaximumWidth(70);
    return s;
}

QLabel* label(QWidget* parent, const QString& text, const char* name = nullptr) {
    auto* l = new QLabel(text, parent);
    if (name) l->setObjectName(name);
    return l;
}

QListWidget* itemList(QWidget* page, const char* name) {
    auto* lb = new QListWidget(page);
    lb->setObjectName(name);
    lb->setUniformItemSizes(true);
    lb->setStyleSheet("QListWidget::item { height: 13px; padding: 0px; }");
    auto* l = new QVBoxLayout(page);
    l->setContentsMargins(5, 5, 5, 0);
    l->addWidget(lb);
    return lb;
}

QToolButton* commandButton(QWidget* parent, const char* name, int width, int height) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setMinimumSize(width, height);
    b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
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

void MainWindow::setupControls() {
    setWindowIcon(QIcon(windowIcon32()));
    screenArea_ = new QWidget(this);
    screenArea_->setObjectName("screenArea");
    setCentralWidget(screenArea_);
    auto* screenLayout = new QGridLayout(screenArea_);
    screenLayout->setContentsMargins(0, 0, 0, 0);

    editor_ = new QFrame(screenArea_);
    editor_->setObjectName("editor");
    editor_->setFrameShape(QFrame::Panel);
    editor_->setFrameShadow(QFrame::Sunken);
    screenLayout->addWidget(editor_, 0, 0);
    auto* grid = new QGridLayout(editor_);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(2);

    viewFrame_ = new ViewFrame(editor_);
    auto* viewLayout = new QVBoxLayout(viewFrame_);
    viewLayout->setContentsMargins(0, 1, 2, 1);  // the view at (6, 7) of the classic window
    sceneView_ = new SceneWidget(viewFrame_);
    sceneView_->setObjectName("sceneView");
    sceneView_->setMinimumSize(320, 200);
    sceneView_->setContextMenuPolicy(Qt::PreventContextMenu);  // the right button draws sectors
    viewLayout->addWidget(sceneView_);
    grid->addWidget(viewFrame_, 0, 0, 2, 1);

    // Add, Mod and Del act on the list shown below them.
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(3);
    addButton_ = commandButton(editor_, "addButton", 45, 25);
    addButton_->setText("Add");
    modButton_ = commandButton(editor_, "modButton", 45, 25);
    modButton_->setText("Mod");
    delButton_ = commandButton(editor_, "delButton", 45, 25);
    delButton_->setText("Del");
    for (QToolButton* b : {addButton_, modButton_, delButton_}) buttonRow->addWidget(b);
    grid->addLayout(buttonRow, 0, 1);

    // The lists, and what shows in their place for a while: the sprite
    // picker and the work folder's chooser.
    auto* listArea = new QWidget(editor_);
    listArea->setObjectName("listArea");
    listArea->setFixedWidth(144);
    auto* listGrid = new QGridLayout(listArea);
    listGrid->setContentsMargins(0, 0, 0, 0);
    listPages_ = new QStackedWidget(listArea);
    listPages_->setObjectName("listPages");
    for (int i = 0; i < 3; ++i) {
        auto* page = new QWidget;
        listPages_->addWidget(page);
        auto* lb = itemList(page, i == 0 ? "stageList" : i == 1 ? "spriteList" : "sectorList");
        (i == 0 ? stageList_ : i == 1 ? spriteList_ : sectorList_) = lb;
    }
    listPages_->addWidget(new QWidget);  // "Pather" shows no list
    listGrid->addWidget(listPages_, 0, 0);
    spritePicker_ = new SpritePicker(listArea);
    spritePicker_->setObjectName("spritePicker");
    spritePicker_->hide();
    listGrid->addWidget(spritePicker_, 0, 0);
    // The folder model behind the tree is made when the tree is first shown:
    // watching the file system costs start-up time most runs never use.
    folderTree_ = new QTreeView(listArea);
    folderTree_->setObjectName("folderTree");
    folderTree_->header()->hide();
    folderTree_->hide();
    listGrid->addWidget(folderTree_, 0, 0);
    grid->addWidget(listArea, 1, 1, 2, 1);

    editTabs_ = new QTabWidget(editor_);
    editTabs_->setObjectName("editTabs");
    editTabs_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
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
    grid->addWidget(editTabs_, 2, 0, 2, 1);

    // The level's name and its unsaved mark, below the lists, also for the
    // classic window, which has no title bar.
    auto* corner = new QHBoxLayout;
    levelNameLabel_ = new QLabel(editor_);
    levelNameLabel_->setObjectName("levelName");
    levelNameLabel_->setWordWrap(true);
    levelNameLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    levelNameLabel_->setMinimumWidth(100);
    iconLabel_ = new QLabel(editor_);
    iconLabel_->setObjectName("iconLabel");
    iconLabel_->setPixmap(windowIcon32());
    corner->addWidget(levelNameLabel_, 1);
    corner->addWidget(iconLabel_, 0, Qt::AlignRight | Qt::AlignBottom);
    grid->addLayout(corner, 3, 1);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(0, 1);

    // Over the editor while a Save or Open runs, in its middle (resizeEvent).
    progressPanel_ = new ProgressPanel(editor_);
    setupStatusBar();
}

void MainWindow::setupStatusBar() {
    // Permanent fields: the selected item, the pointer and the zoom.
    // The pointer's place, the item under it and the zoom (mainwindow_zoom.cpp).
    statusLine_ = new slv::StatusLine(this);
    statusBar()->addPermanentWidget(statusLine_);
}

void MainWindow::setupStageTab(QWidget* page) {
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(14, 3, 8, 3);

    // The package commands, and the work folder below them.
    auto* files = new QGridLayout;
    files->setHorizontalSpacing(11);
    files->setColumnStretch(4, 1);
    newButton_ = commandButton(page, "newButton", 55, 55);
    openButton_ = commandButton(page, "openButton", 55, 55);
    saveButton_ = commandButton(page, "saveButton", 55, 55);
    saveAsButton_ = commandButton(page, "saveAsButton", 62, 55);
    for (QToolButton* b : {newButton_, openButton_, saveButton_, saveAsButton_}) b->setFixedSize(b->minimumSize());
    // The buttons stand low on the tab, above the work folder.
    files->setRowStretch(0, 1);
    files->addWidget(newButton_, 1, 0);
    files->addWidget(openButton_, 1, 1);
    files->addWidget(saveButton_, 1, 2);
    files->addWidget(saveAsButton_, 1, 3);
    auto* folderRow = new QHBoxLayout;
    workFolderButton_ = new QPushButton("WorkDir :", page);
    workFolderButton_->setObjectName("workFolderButton");
    workFolderLabel_ = label(page, QString(), "workFolderLabel");
    workFolderLabel_->setMinimumWidth(120);
    workFolderLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    folderRow->addWidget(workFolderButton_);
    folderRow->addWidget(workFolderLabel_, 1);
    files->addLayout(folderRow, 2, 0, 1, 5);
    row->addLayout(files, 1);

    // The outlines shown, each with its colour, and what the preview shows.
    auto* outlines = new QGridLayout;
    outlines->setHorizontalSpacing(3);
    spriteBoxColorSwatch_ = new SwatchPanel(page);
    spriteBoxColorSwatch_->setObjectName("spriteBoxColorSwatch");
    spriteBoxColorSwatch_->setFixedSize(15, 12);
    showSpriteBoxes_ = new QCheckBox("SpriteBox", page);
    showSpriteBoxes_->setObjectName("showSpriteBoxes");
    showSpriteBoxes_->setChecked(false);
    sectorColorSwatch_ = new SwatchPanel(page);
    sectorColorSwatch_->setObjectName("sectorColorSwatch");
    sectorColorSwatch_->setFixedSize(15, 12);
    showSectors_ = new QCheckBox("Sectors", page);
    showSectors_->setObjectName("showSectors");
    showSectors_->setChecked(true);
    outlines->addWidget(spriteBoxColorSwatch_, 0, 0);
    outlines->addWidget(showSpriteBoxes_, 0, 1);
    outlines->addWidget(sectorColorSwatch_, 1, 0);
    outlines->addWidget(showSectors_, 1, 1);
    previewChoice_ = new QGroupBox("preview", page);
    previewChoice_->setObjectName("previewChoice");
    auto* choice = new QVBoxLayout(previewChoice_);
    choice->setContentsMargins(6, 2, 6, 2);
    previewStages_ = new QRadioButton("Stages", previewChoice_);
    previewStages_->setObjectName("previewStages");
    previewStages_->setChecked(true);
    previewSplash_ = new QRadioButton("Splash", previewChoice_);
    previewSplash_->setObjectName("previewSplash");
    choice->addWidget(previewStages_);
    choice->addWidget(previewSplash_);
    outlines->addWidget(previewChoice_, 2, 1);
    outlines->setRowStretch(3, 1);
    row->addLayout(outlines);

    previewFrame_ = new QFrame(page);
    previewFrame_->setObjectName("previewFrame");
    previewFrame_->setFrameShape(QFrame::Panel);
    previewFrame_->setFrameShadow(QFrame::Sunken);
    previewFrame_->setFixedSize(181, 123);
    auto* previewLayout = new QVBoxLayout(previewFrame_);
    previewLayout->setContentsMargins(2, 2, 2, 2);
    previewPicture_ = new QLabel(previewFrame_);
    previewPicture_->setObjectName("previewPicture");
    previewPicture_->setScaledContents(true);
    previewPicture_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    previewLayout->addWidget(previewPicture_);
    row->addWidget(previewFrame_, 0, Qt::AlignTop);
}

namespace {
// A "Main" group of fields: rows of (caption, control) pairs.
QGridLayout* fieldGroup(QGroupBox*& group, QWidget* page, const char* name) {
    group = new QGroupBox("Main", page);
    group->setObjectName(name);
    group->setMinimumWidth(185);
    auto* g = new QGridLayout(group);
    g->setContentsMargins(8, 4, 8, 4);
    g->setVerticalSpacing(4);
    return g;
}
}  // namespace

void MainWindow::setupSpriteTab(QWidget* page) {
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(5, 1, 5, 3);
    QGridLayout* g = fieldGroup(spriteGroup_, page, "spriteGroup");
    g->addWidget(label(spriteGroup_, "Name : "), 0, 0);
    spriteName_ = label(spriteGroup_, "none", "spriteName");
    g->addWidget(spriteName_, 0, 1, 1, 3);
    g->addWidget(label(spriteGroup_, "X : "), 1, 0);
    spriteXField_ = unboundedSpin(spriteGroup_, "spriteXField");
    g->addWidget(spriteXField_, 1, 1, 1, 3);
    g->addWidget(label(spriteGroup_, "Y : "), 2, 0);
    spriteYField_ = unboundedSpin(spriteGroup_, "spriteYField");
    g->addWidget(spriteYField_, 2, 1, 1, 3);
    g->addWidget(label(spriteGroup_, "W : "), 3, 0);
    spriteWidth_ = label(spriteGroup_, "0", "spriteWidth");
    g->addWidget(spriteWidth_, 3, 1);
    g->addWidget(label(spriteGroup_, "H : "), 3, 2);
    spriteHeight_ = label(spriteGroup_, "0", "spriteHeight");
    g->addWidget(spriteHeight_, 3, 3);
    row->addWidget(spriteGroup_);
    spriteImageIndex_ = label(page, QString(), "spriteImageIndex");
    spriteImageIndex_->setMinimumWidth(80);
    row->addWidget(spriteImageIndex_, 0, Qt::AlignBottom);
    row->addStretch(1);
}

void MainWindow::setupSectorTab(QWidget* page) {
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(5, 1, 5, 3);
    QGridLayout* g = fieldGroup(sectorGroup_, page, "sectorGroup");
    g->addWidget(label(sectorGroup_, "Name : "), 0, 0);
    sectorName_ = label(sectorGroup_, "none", "sectorName");
    g->addWidget(sectorName_, 0, 1, 1, 3);
    g->addWidget(label(sectorGroup_, "X : "), 1, 0);
    sectorXField_ = unboundedSpin(sectorGroup_, "sectorXField");
    g->addWidget(sectorXField_, 1, 1);
    g->addWidget(label(sectorGroup_, "Y : "), 1, 2);
    sectorYField_ = unboundedSpin(sectorGroup_, "sectorYField");
    g->addWidget(sectorYField_, 1, 3);
    g->addWidget(label(sectorGroup_, "W : "), 2, 0);
    sectorWidthField_ = unboundedSpin(sectorGroup_, "sectorWidthField");
    g->addWidget(sectorWidthField_, 2, 1);
    g->addWidget(label(sectorGroup_, "H : "), 2, 2);
    sectorHeightField_ = unboundedSpin(sectorGroup_, "sectorHeightField");
    g->addWidget(sectorHeightField_, 2, 3);
    g->setRowStretch(3, 1);
    row->addWidget(sectorGroup_);
    row->addStretch(1);
}
