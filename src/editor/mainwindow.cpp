// The main window: its controls, start-up and close, the work directory.
#include "editor/mainwindow.h"
#include "model/homefiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileSystemModel>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSessionManager>
#include <QSpinBox>
#include <QToolButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <cstdlib>
#include <ctime>

#include "display/frametimer.h"
#include "display/scenewidget.h"
#include "display/surface.h"
#include "editor/commandline.h"
#include "editor/editoractions.h"
#include "editor/leveldocument.h"
#include "editor/scenepictures.h"
#include "editor/swatchpanel.h"
#include "editor/terminationwatcher.h"
#include "editor/uiservices.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/homefolder.h"
#include "model/settings.h"

using namespace slv;


MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), document_(new LevelDocument(RecoveryWriter::defaultFolder(), this)) {
    setObjectName("main");
    setWindowTitle("Sublevel editor");
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    setupControls();
    actions_ = new EditorActions(this);
    setupMenus();
    pictures_ = std::make_unique<ScenePictures>(*document_, *sceneView_, viewState_, actor_);
    connectView();
    connectHandlers();
    setupZoomAndStatus();
    setupGrid();
    connectActions();
    restoreWindowPlace();
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

void MainWindow::connectHandlers() {
    connect(workFolderButton_, &QPushButton::clicked, this, [this] { chooseWorkFolder(); });
    connect(editTabs_, &QTabWidget::currentChanged, this, [this] { editTabChanged(); });
    connect(spriteBoxColorSwatch_, &SwatchPanel::clicked, this, [this] { chooseSpriteBoxColor(); });
    connect(sectorColorSwatch_, &SwatchPanel::clicked, this, [this] { chooseSectorColor(); });
    auto onRow = [this](QListWidget* list, void (MainWindow::*handler)()) {
        connect(list, &QListWidget::currentRowChanged, this, [this, handler] {
            if (!listUpdating_) (this->*handler)();
        });
        connect(list, &QListWidget::itemClicked, this, [this, handler] { (this->*handler)(); });
    };
    onRow(stageList_, &MainWindow::previewSelectedStage);
    connectItemLists();
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

std::string MainWindow::homePath(const char* name) const { return joinPath(document_->settings().homeFolder, name); }

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
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const HomeFolderChoice home = chooseHomeFolder(
        QDir::currentPath().toStdString(), installedDemoFolder(QCoreApplication::applicationDirPath().toStdString()));
    document_->setHomeFolder(home.folder);
    if (!home.problem.empty()) failures << QString::fromStdString(home.problem);
    if (home.source == HomeSource::NewOwnHome) tellNewHomeFolder();
    document_->setWorkFolder(home.folder);
    std::vector<std::string> args;
    for (const QString& a : QCoreApplication::arguments().mid(1)) args.push_back(a.toStdString());
    const CommandLine line = parseCommandLine(args);
    L.startupPackage = line.levelPath;
    int fpsOption = line.maxFps;
    workFolderLabel_->setText(QString::fromStdString(document_->settings().workFolder));
    attempt(homePath(homefiles::kFirstPreview), [&] { loadPreview(homePath(homefiles::kFirstPreview)); });
    listPages_->setCurrentIndex(editTabs_->currentIndex());
    const ReadReport poses = readPoses(L, homePath(homefiles::kFrameCounts), settingsState_);
    const ReadReport cf = document_->readSettingsFile(homePath(homefiles::kSettings), settingsState_);
    const EditorSettings& settings = document_->settings();
    spriteBoxColorSwatch_->setColor(settings.spriteBoxColor);
    sectorColorSwatch_->setColor(settings.sectorColor);
    workFolderLabel_->setText(QString::fromStdString(settings.workFolder));
    for (const ReadReport* r : {&home.pointer, &poses, &cf})
        if (!r->message.empty()) failures << QString::fromStdString(r->message);
    // The frame-rate cap: the command line's, else the home folder's file.
    if (fpsOption < 0)
        attempt(homePath(homefiles::kMaxFps), [&] { fpsOption = readFrameRateCap(homePath(homefiles::kMaxFps)); });
    setMaxFps(fpsOption);
    if (!failures.isEmpty()) throw Error(failures.join("\n\n").toStdString());
}

void MainWindow::tellNewHomeFolder() {
    // Said once, when the window is up: later starts find the folder there.
    const QString text = "The editor's home folder was set up from the demo in\n" +
                         QString::fromStdString(document_->settings().homeFolder) +
                         "\n\nIts pictures, settings and levels are kept there.";
    QMetaObject::invokeMethod(this, [this, text] { showNote(QString(text).replace("\n\n", " ").replace('\n', ' ')); },
                              Qt::QueuedConnection);
}

void MainWindow::loadPreview(const std::string& path) {
    document_->writeLevelFiles({path});  // a stage's file may still wait to be written after Open
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
    write([&] { writeSettings(document_->settings(), homePath(homefiles::kSettings), settingsState_); });
    return failures;
}

bool MainWindow::closeDown() {
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
    saveWindowPlace();
    // A clean close: this editor's recovery folder goes with it.
    document_->closeSession();
    pictures_->releaseAll();
    return true;
}

void MainWindow::keepChangesAndQuit(bool quit) {
    // No question can be asked now: unsaved changes go to the recovery copy,
    // which the next start offers, and the settings are kept. When the
    // editor ends, a message box or question open now (or one its code opens
    // after it) must not keep it waiting: nothing is asked any more, and
    // leaving the event loops below closes what is open.
    if (quit) UiServices::stopAsking();
    document_->writeRecoveryAndWait();
    writeSettingsFiles();
    if (!quit) return;
    releaseHeldKeys();
    closed_ = true;
    QCoreApplication::exit(0);  // every event loop, those of open dialogs too
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
        QModelIndex idx = folderModel_->index(QString::fromStdString(document_->settings().workFolder));
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
    document_->setWorkFolder(dir.toStdString());
    workFolderLabel_->setText(QString::fromStdString(document_->settings().workFolder));
}
