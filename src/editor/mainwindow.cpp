// The main window: its controls, start-up and close, the work directory.
#include "editor/mainwindow.h"
#include "model/homefiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileSystemModel>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSessionManager>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeView>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "model/errors.h"
#include "model/fileio.h"
#include "model/homefolder.h"
#include "model/settings.h"
#include "display/scenewidget.h"
#include "display/frametimer.h"
#include "display/surface.h"
#include "editor/spritepicker.h"
#include "editor/commandline.h"
#include "editor/leveldocument.h"
#include "editor/progresspanel.h"
#include "editor/terminationwatcher.h"
#include <QTimer>
#include "editor/swatchpanel.h"
#include "editor/uiservices.h"

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

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), document_(new LevelDocument(RecoveryWriter::defaultFolder(), this)) {
    setObjectName("main");
    setWindowTitle("Sublevel editor");
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(800, 600);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    buildControls();
    connectHandlers();
    try {
        startUp();
    } catch (const std::exception& e) {
        // Start-up stops at the failing step; the window opens all the same.
        QString text = QString::fromUtf8(e.what());
        QMetaObject::invokeMethod(this, [this, text] { showError(text); }, Qt::QueuedConnection);
    }
}

MainWindow::~MainWindow() = default;

Level& MainWindow::level() { return document_->level(); }
const Level& MainWindow::level() const { return document_->level(); }

void MainWindow::buildControls() {
    editor_ = new QWidget(this);
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
    this->setWindowIcon(QIcon(windowIcon32()));

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
    buildStageTab(stageTab);
    buildSpriteTab(spriteTab);
    buildSectorTab(sectorTab);

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

    createView();
    progressPanel_ = new ProgressPanel(editor_);
}

void MainWindow::buildStageTab(QWidget* page) {
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

void MainWindow::buildSpriteTab(QWidget* page) {
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

void MainWindow::buildSectorTab(QWidget* page) {
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

void MainWindow::connectHandlers() {
    connect(workFolderButton_, &QPushButton::clicked, this, [this] { chooseWorkFolder(); });
    connect(editTabs_, &QTabWidget::currentChanged, this, [this] { editTabChanged(); });
    connect(spriteBoxColorSwatch_, &SwatchPanel::clicked, this, [this] { chooseSpriteBoxColor(); });
    connect(sectorColorSwatch_, &SwatchPanel::clicked, this, [this] { chooseSectorColor(); });
    connect(newButton_, &QPushButton::clicked, this, [this] { newLevel(); });
    connect(openButton_, &QPushButton::clicked, this, [this] { openLevel(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { saveLevel(); });
    connect(saveAsButton_, &QPushButton::clicked, this, [this] { saveLevelAs(); });
    connect(addButton_, &QPushButton::clicked, this, [this] { addOnActiveTab(); });
    connect(modButton_, &QPushButton::clicked, this, [this] { replaceOnActiveTab(); });
    connect(delButton_, &QPushButton::clicked, this, [this] { deleteOnActiveTab(); });
    auto onRow = [this](QListWidget* list, void (MainWindow::*handler)()) {
        connect(list, &QListWidget::currentRowChanged, this, [this, handler] {
            if (!listUpdating_) (this->*handler)();
        });
        connect(list, &QListWidget::itemClicked, this, [this, handler] { (this->*handler)(); });
    };
    onRow(stageList_, &MainWindow::previewSelectedStage);
    onRow(spriteList_, &MainWindow::selectSpriteFromList);
    onRow(sectorList_, &MainWindow::selectSectorFromList);
    connect(stageList_, &QListWidget::itemDoubleClicked, this, [this] { openSelectedStage(); });
    connect(previewStages_, &QRadioButton::clicked, this, [this] { choosePreview(0); });
    connect(previewSplash_, &QRadioButton::clicked, this, [this] { choosePreview(1); });
    connect(spriteXField_, &QSpinBox::valueChanged, this, [this] { spriteXChanged(); });
    connect(spriteYField_, &QSpinBox::valueChanged, this, [this] { spriteYChanged(); });
    setupPicker();
    setupEditing();
    connectDocument();
    connect(&TerminationWatcher::instance(), &TerminationWatcher::terminationRequested, this,
            [this] { keepChangesAndQuit(true); });
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { keepChangesAndQuit(false); });
    connectKeys();
}

std::string MainWindow::homePath(const char* name) const { return joinPath(level().homeFolder, name); }

namespace {

// The frame-rate cap of the home folder: one decimal number, 0 for none.
constexpr const char* kMaxFpsFile = homefiles::kMaxFps;

// A frame-rate cap from its text: a whole number 0..1000; -1 when not one.
int parseMaxFps(const QString& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok && n >= 0 && n <= 1000 ? n : -1;
}

}  // namespace

void MainWindow::setMaxFps(int fps) {
    maxFps = fps < 0 ? -1 : fps;
    // The frame timer sleeps between paced ticks instead of spinning.
    if (frameTimer_) frameTimer_->setRateLimit(maxFps);
}

void MainWindow::startUp() {
    Level& L = level();
    // Each step that fails is reported, in one message at the end, and the
    // steps after it still run: a missing preview picture must not keep the
    // settings from being read, or closing would write defaults over them.
    // Each message names the file it is about.
    QStringList failures;
    auto attempt = [&failures](const std::string& file, const auto& step) {
        try {
            step();
            return true;
        } catch (const std::exception& e) {
            const QString text = QString::fromUtf8(e.what());
            const QString name = QString::fromStdString(file);
            failures << (text.contains(name) ? text : name + ": " + text);
            return false;
        }
    };
    // iconLabel_ and windowFrame_ are placed by buildControls (steps 1 and 9).
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const HomeFolderChoice home = chooseHomeFolder(
        QDir::currentPath().toStdString(), installedDemoFolder(QCoreApplication::applicationDirPath().toStdString()));
    L.homeFolder = home.folder;
    if (!home.problem.empty()) failures << QString::fromStdString(home.problem);
    if (home.source == HomeSource::NewOwnHome) tellNewHomeFolder();
    L.workFolder = cutText(L.homeFolder, 255);
    std::vector<std::string> args;
    for (const QString& a : QCoreApplication::arguments().mid(1)) args.push_back(a.toStdString());
    const CommandLine line = parseCommandLine(args);
    L.startupPackage = line.levelPath;
    int fpsOption = line.maxFps;
    if (!line.maxFpsProblem.empty()) failures << QString::fromStdString(line.maxFpsProblem);
    workFolderLabel_->setText(QString::fromStdString(L.workFolder));
    attempt(homePath(homefiles::kFirstPreview), [&] { loadPreview(homePath(homefiles::kFirstPreview)); });
    windowFrame_->lower();
    listPages_->setCurrentIndex(editTabs_->currentIndex());
    const ReadReport poses = readPoses(L, homePath(homefiles::kFrameCounts), settingsState_);
    L.spriteBoxColor = kDefaultSpriteBoxColor;
    L.sectorColor = kDefaultSectorColor;
    const ReadReport cf = readSettings(L, homePath(homefiles::kSettings), settingsState_);
    spriteBoxColorSwatch_->setColor(L.spriteBoxColor);
    sectorColorSwatch_->setColor(L.sectorColor);
    workFolderLabel_->setText(QString::fromStdString(L.workFolder));
    for (const ReadReport* r : {&home.pointer, &poses, &cf})
        if (!r->message.empty()) failures << QString::fromStdString(r->message);
    // The frame-rate cap: the command line's, else the home folder's file.
    const std::string capFile = homePath(kMaxFpsFile);
    if (fpsOption < 0 && fileExists(capFile)) {
        attempt(capFile, [&] {
            const QString text = QString::fromStdString(readWholeFile(capFile));
            fpsOption = parseMaxFps(text);
            if (fpsOption < 0)
                throw Error("a frame-rate cap is a number from 0 to 1000, not \"" +
                            text.trimmed().left(40).toStdString() + "\"");
        });
    }
    setMaxFps(fpsOption);
    if (!failures.isEmpty()) throw Error(failures.join("\n\n").toStdString());
}

void MainWindow::tellNewHomeFolder() {
    // Said once, when the window is up: later starts find the folder there.
    const QString text = "The editor's home folder was set up from the demo in\n" +
                         QString::fromStdString(level().homeFolder) +
                         "\n\nIts pictures, settings and levels are kept there.";
    QMetaObject::invokeMethod(this, [this, text] { UiServices::instance().inform(this, text); },
                              Qt::QueuedConnection);
}

void MainWindow::loadPreview(const std::string& path) {
    previewPicture_->setPixmap(QPixmap::fromImage(readPreviewPicture(path)));
    previewPath_ = path;
}

QStringList MainWindow::writeSettingsFiles() {
    // A file that could not be read at start is left as it is: what it
    // holds is not what this run knows.
    Level& L = level();
    QStringList failures;
    auto write = [&failures](const auto& writer) {
        try {
            writer();
        } catch (const std::exception& e) {
            failures << QString::fromUtf8(e.what());
        }
    };
    write([&] { writePoses(L, homePath(homefiles::kFrameCounts), settingsState_); });
    write([&] { writeSettings(L, homePath(homefiles::kSettings), settingsState_); });
    return failures;
}

bool MainWindow::closeDown() {
    Level& L = level();
    // The settings are written first, while everything is still in place, so
    // that a failed write can leave the window open with nothing lost.
    const QStringList failures = writeSettingsFiles();
    if (!failures.isEmpty() &&
        !UiServices::instance().confirm(
            this, "The settings could not be written:\n" + failures.join("\n") + "\n\nClose anyway ?"))
        return false;

    // New releases the level's pictures; the window goes whatever it reports.
    try {
        newLevel();
    } catch (const std::exception&) {
    }
    // A clean close: this editor's recovery folder goes with it.
    document_->closeSession();
    freeSurface(L.session.backdropSurface);
    L.session.backdropSurface = 0;
    freeSurface(L.session.padSurface);
    L.session.padSurface = 0;
    for (int i = 1; i <= L.skinCount && i <= kMaxSkins; ++i) {
        freeSurface(L.skin(i).surface);
        L.skin(i).surface = 0;
    }
    return true;
}

void MainWindow::keepChangesAndQuit(bool quit) {
    // No question can be asked now: unsaved changes go to the recovery copy,
    // which the next start offers, and the settings are kept.
    document_->writeRecoveryAndWait();
    writeSettingsFiles();
    if (!quit) return;
    releaseHeldKeys();
    closed_ = true;
    QCoreApplication::exit(0);
}

// Esc and the window's own close both arrive here.
void MainWindow::closeEvent(QCloseEvent* e) {
    if (closed_) {
        e->accept();
        return;
    }
    if (!confirmClose()) {  // a changed level is saved or discarded first
        e->ignore();
        return;
    }
    releaseHeldKeys();
    bool done = false;
    try {
        done = closeDown();
    } catch (const std::exception& ex) {
        showError(QString::fromUtf8(ex.what()));
    }
    // A close that stopped (the settings could not be written) leaves the
    // level as it is: the next New or Open asks again.
    closeAnswered_ = false;
    closed_ = done;
    if (done) e->accept(); else e->ignore();
}

void MainWindow::showOpenStage() {
    Level& L = level();
    if (L.openStage < 1 || L.openStage > L.stageCount || L.openStage > kMaxStages) return;
    const std::string path = L.stage(L.openStage).path.str();
    backdropPath_ = path;
    try {
        if (Surface* back = surface(L.session.backdropSurface))
            back->loadPicture(path);
        else
            L.session.backdropSurface = loadSurface(path, false);
    } catch (const std::exception& e) {
        showError(QString::fromUtf8(e.what()));
    }
}

void MainWindow::centerOnScreen() {
    QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!scr) return;
    QRect g = scr->geometry();
    move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
}

void MainWindow::showError(const QString& text) { UiServices::instance().error(this, text); }

void MainWindow::chooseWorkFolder() {
    if (!folderModel_) {
        folderModel_ = new QFileSystemModel(this);
        folderModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
        folderModel_->setRootPath("/");
        folderTree_->setModel(folderModel_);
        for (int c = 1; c < folderModel_->columnCount(); ++c) folderTree_->hideColumn(c);
        connect(folderTree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& cur) { workFolderPicked(folderModel_->filePath(cur)); });
    }
    if (!folderTree_->currentIndex().isValid()) {
        QModelIndex idx = folderModel_->index(QString::fromStdString(level().workFolder));
        if (idx.isValid()) {
            folderTree_->setCurrentIndex(idx);
            folderTree_->scrollTo(idx);
        }
    }
    folderTree_->show();
    folderTree_->raise();
}

void MainWindow::workFolderPicked(const QString& dir) {
    if (dir.isEmpty()) return;
    level().workFolder = cutText(dir.toStdString(), 255);
    workFolderLabel_->setText(QString::fromStdString(level().workFolder));
}
