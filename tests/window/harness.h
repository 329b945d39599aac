// Helpers for driving the main window offscreen: a throw-away home folder
// made from the demo, and modal interactions answered by the test.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <memory>
#include <utility>

#include "editor/application.h"
#include "common/files.h"
#include "display/scenewidget.h"
#include "display/frametimer.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "editor/scenepictures.h"
#include "editor/progresspanel.h"
#include "editor/spritepicker.h"
#include <QListWidget>
#include <QTabWidget>
#include "editor/uiservices.h"

// Records every message box and answers dialogs from queues.
class CaptureUi : public slv::UiServices {
public:
    QStringList errors;  // error boxes not yet taken by the test
    QStringList questions;
    bool answerYes = true;
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;
    QColor colorAnswer;
    QStringList openFolders;
    std::function<void()> duringError;  // runs while an error box is "open"

    void error(QWidget*, const QString& text) override {
        errors << text;
        if (duringError) duringError();
    }
    bool confirm(QWidget*, const QString& text) override {
        questions << text;
        return answerYes;
    }
    QStringList openFiles(QWidget*, const QString& folder, const QString&, bool multiple) override {
        openFolders << folder;
        if (openAnswers.empty()) return {};
        QStringList a = openAnswers.front();
        openAnswers.pop_front();
        if (!multiple && a.size() > 1) a = a.mid(0, 1);
        return a;
    }
    QStringList saveStarts;  // where each save dialog started
    QString saveFile(QWidget*, const QString& start, const QString&, const QString&) override {
        saveStarts << start;
        if (saveAnswers.empty()) return {};
        QString a = saveAnswers.front();
        saveAnswers.pop_front();
        return a;
    }
    QColor color(QWidget*, const QColor&) override { return colorAnswer; }
    // "NAME already exists. Replace it ?": No unless the test says Yes.
    QStringList replaceQuestions;
    bool replaceAnswer = false;
    bool askReplace(QWidget*, const QString& text) override {
        replaceQuestions << text;
        return replaceAnswer;
    }
    std::deque<QString> textAnswers;
    QString askText(QWidget*, const QString&, const QString&) override {
        if (textAnswers.empty()) return {};
        QString a = textAnswers.front();
        textAnswers.pop_front();
        return a;
    }
    // "Save changes to NAME ?": answered from a queue, then with `unanswered`.
    std::deque<slv::SaveChoice> saveChoices;
    slv::SaveChoice unanswered = slv::SaveChoice::Discard;
    QStringList saveQuestions;
    slv::SaveChoice askSave(QWidget*, const QString& text) override {
        saveQuestions << text;
        if (saveChoices.empty()) return unanswered;
        const slv::SaveChoice c = saveChoices.front();
        saveChoices.pop_front();
        return c;
    }

    // The error boxes shown so far; a test takes the ones it expects, and any
    // left at its end fail it.
    QStringList takeErrors() { return std::exchange(errors, {}); }
};

// Creates (or truncates) a file with exactly these bytes.
inline void writeFile(const QString& path, const QByteArray& bytes) {
    slvtest::writeFile(path.toStdString(), std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

inline QByteArray readFile(const QString& path) {
    return QByteArray::fromStdString(slvtest::readFile(path.toStdString()));
}

inline bool copyTree(const QString& from, const QString& to) {
    QDir src(from);
    if (!QDir().mkpath(to)) return false;
    for (const QFileInfo& fi : src.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString dest = to + "/" + fi.fileName();
        if (fi.isDir()) {
            if (!copyTree(fi.filePath(), dest)) return false;
        } else if (!QFile::copy(fi.filePath(), dest)) {
            return false;
        }
    }
    return true;
}

// A home folder copied from the demo, made the process's current folder,
// with its own (empty) configuration folder.
struct TempHome {
    QTemporaryDir dir;
    QString home;
    QString config;
    QString oldCwd = QDir::currentPath();

    explicit TempHome(bool withDemo = true) {
        home = dir.path() + "/home";
        config = dir.path() + "/config";
        QDir().mkpath(config);
        if (withDemo) copyTree(SLV_DEMO_DIR, home);
        else QDir().mkpath(home);
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        QDir::setCurrent(home);
    }
    ~TempHome() { QDir::setCurrent(oldCwd); }
    QString path(const QString& name) const { return home + "/" + name; }
};

// Base of the window test classes: every test answers the modal
// interactions through a fresh CaptureUi, and fails when an error box it did
// not take (CaptureUi::takeErrors) appeared.
class WindowTest : public QObject {
    Q_OBJECT
protected:
    CaptureUi ui;
protected slots:
    void init() {
        ui = CaptureUi();
        slv::UiServices::install(&ui);
    }
    void cleanup() {
        QCoreApplication::processEvents();  // boxes still on their way
        slv::UiServices::install(nullptr);
        QVERIFY2(ui.errors.isEmpty(), qPrintable("unexpected error box: " + ui.errors.join(" | ")));
    }
};

// The main() of a window test program: the editor's application object
// (with its top-level error handler) around QTest. The application sees the
// program name only: the window takes its first argument as a package to
// open, while here the arguments name the tests to run.
#define SLV_WINDOW_TEST_MAIN(TestClass)              \
    int main(int argc, char** argv) {                \
        int appArgc = 1;                             \
        SlvApplication app(appArgc, argv);           \
        TestClass t;                                 \
        return QTest::qExec(&t, argc, argv);         \
    }

// A window on a temporary home folder, shown offscreen, with the frame timer
// left to the test (ticks are run by calling the frame loop directly).
struct Editor {
    std::unique_ptr<MainWindow> w;
    explicit Editor(bool show = true) {
        w = std::make_unique<MainWindow>();
        w->progressPauseMs = 0;
        w->frameTimer_->setEnabled(false);
        if (show) {
            w->show();
            if (!QTest::qWaitForWindowExposed(w.get())) qWarning("the window was not exposed");
        }
    }
    ~Editor() {
        if (w) w->hide();
    }
    slv::Level& L() { return w->level(); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) w->onFrameTick(1);
        QCoreApplication::processEvents();
    }
    std::uint32_t pixel(int x, int y) { return w->sceneView_->backBuffer()->pixelAt(x, y); }
    // Where a key typed now goes: the focused control, else the window.
    QWidget* keyTarget() {
        QWidget* f = QApplication::focusWidget();
        return f ? f : w.get();
    }

    // Compares the back buffer with frame `frame` (1-based) of the strip `src`,
    // `fw` x `fh` pixels a frame, drawn at (x, y) over the backdrop `back` with
    // `key` transparent, and with the backdrop alone in a ring of `ring`
    // pixels around it.
    struct Drawn {
        int wrong = 0, keyed = 0, opaque = 0;
    };
    Drawn compareDrawn(slv::Surface* back, slv::Surface* src, int frame, int fw, int fh, int x,
                       int y, std::uint32_t key, int ring = 2) {
        Drawn d;
        slv::Surface* bb = w->sceneView_->backBuffer();
        for (int py = y - ring; py < y + fh + ring; ++py)
            for (int px = x - ring; px < x + fw + ring; ++px) {
                if (px < 0 || py < 0 || px >= bb->width() || py >= bb->height()) continue;
                std::uint32_t want = back->pixelAt(px, py);
                if (px >= x && px < x + fw && py >= y && py < y + fh) {
                    const std::uint32_t s = src->pixelAt((frame - 1) * fw + px - x, py - y);
                    if (s == key) ++d.keyed;
                    else ++d.opaque, want = s;
                }
                d.wrong += bb->pixelAt(px, py) != want;
            }
        return d;
    }
};

// A window past its first tick: started up, its actor loaded.
struct StartedEditor : Editor {
    StartedEditor() { ticks(1); }
};

// A stage added from the home folder's backpx (a single stage opens).
inline void addStage(Editor& ed, CaptureUi& ui, TempHome& home, const char* file = "forest.bmp") {
    ui.openAnswers.push_back({home.path(QString("backpx/") + file)});
    ed.w->editTabs_->setCurrentIndex(0);
    ed.w->addOnActiveTab();
}

// Sprites added to the open stage through the picker's "Add 'em".
inline void addSprites(Editor& ed, const QStringList& files) {
    ed.w->editTabs_->setCurrentIndex(1);
    ed.w->addOnActiveTab();
    for (const QString& f : files)
        ed.w->spritePicker_->fileList_->findItems(f, Qt::MatchExactly).at(0)->setSelected(true);
    ed.w->confirmPickedSprites();
}
