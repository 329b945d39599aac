// Helpers for driving the main window offscreen: a throw-away home folder
// made from the demo, and modal interactions answered by the test.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStringList>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>
#include <deque>
#include <vector>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "common/files.h"
#include "display/clock.h"
#include "display/frametimer.h"
#include "display/scenewidget.h"
#include "editor/application.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "editor/progresspanel.h"
#include "editor/scenepictures.h"
#include "editor/spritepicker.h"
#include "editor/swatchpanel.h"
#include "editor/uiservices.h"
#include "model/history.h"

// The next answer of a queue, or `none` once it is empty.
template <typename T>
T nextAnswer(std::deque<T>& queue, T none = T()) {
    if (queue.empty()) return none;
    T a = std::move(queue.front());
    queue.pop_front();
    return a;
}

// Records every message box and answers dialogs from queues.
class CaptureUi : public slv::UiServices {
public:
    QStringList errors;  // error boxes not yet taken by the test
    QStringList questions;
    bool answerYes = true;
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;
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
        const QStringList a = nextAnswer(openAnswers);
        return multiple ? a : a.mid(0, 1);
    }
    QStringList saveStarts;  // where each save dialog started
    QString saveFile(QWidget*, const QString& start, const QString&, const QString&) override {
        saveStarts << start;
        return nextAnswer(saveAnswers);
    }
    QColor color(QWidget*, const QColor&) override { return {}; }  // cancelled
    // "NAME already exists. Replace it ?": No unless the test says Yes.
    QStringList replaceQuestions;
    bool replaceAnswer = false;
    std::deque<bool> replaceAnswers;  // answered first, in turn
    bool askReplace(QWidget*, const QString& text) override {
        replaceQuestions << text;
        return nextAnswer(replaceAnswers, replaceAnswer);
    }
    // Questions about a file changed on disk: No unless the test says Yes.
    QStringList diskChangeQuestions;
    bool diskChangeAnswer = false;
    bool askAboutDiskChange(QWidget*, const QString& text) override {
        diskChangeQuestions << text;
        return diskChangeAnswer;
    }
    QStringList notes;  // notices that do not wait for an answer
    void note(QWidget*, const QString& text) override { notes << text; }
    std::deque<QString> textAnswers;
    // Each text asked for: the text it started with and what was selected.
    struct TextAsked {
        QString initial;
        int selectStart, selectLength;
    };
    std::vector<TextAsked> textAsked;
    QString askText(QWidget*, const QString&, const QString& initial, int selectStart, int selectLength) override {
        textAsked.push_back({initial, selectStart, selectLength});
        return nextAnswer(textAnswers);
    }
    // "Save changes to NAME ?": answered from a queue, then with `unanswered`.
    std::deque<slv::SaveChoice> saveChoices;
    slv::SaveChoice unanswered = slv::SaveChoice::Discard;
    QStringList saveQuestions;
    slv::SaveChoice askSave(QWidget*, const QString& text) override {
        saveQuestions << text;
        return nextAnswer(saveChoices, unanswered);
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

// A home folder copied from the demo, made the process's current folder,
// with its own (empty) configuration and state folders.
struct TempHome {
    QTemporaryDir dir;
    QString home;
    QString config;
    QString oldCwd = QDir::currentPath();

    TempHome() {
        home = dir.path() + "/home";
        config = dir.path() + "/config";
        QDir().mkpath(config);
        std::filesystem::copy(SLV_DEMO_DIR, home.toStdString(), std::filesystem::copy_options::recursive);
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        qputenv("XDG_STATE_HOME", (dir.path() + "/state").toUtf8());
        QDir::setCurrent(home);
    }
    ~TempHome() { QDir::setCurrent(oldCwd); }
    QString path(const QString& name) const { return home + "/" + name; }
};

// Base of the window test classes: every test runs in a home folder of its
// own, answers the modal interactions through a fresh CaptureUi, and fails
// when an error box it did not take (CaptureUi::takeErrors) appeared.
class WindowTest : public QObject {
    Q_OBJECT
protected:
    CaptureUi ui;
    std::optional<TempHome> home;
protected slots:
    void init() {
        home.emplace();
        ui = CaptureUi();
        slv::UiServices::install(&ui);
    }
    void cleanup() {
        QCoreApplication::processEvents();  // boxes still on their way
        slv::UiServices::install(nullptr);
        home.reset();
        QVERIFY2(ui.errors.isEmpty(), qPrintable("unexpected error box: " + ui.errors.join(" | ")));
    }
};

// The offscreen platform's screen is 800x800 unless told otherwise: the
// window tests run on a 1920x1080 screen, where the window has its default
// arrangement (the view at 640x430).
inline void useDesktopSizedTestScreen() {
    if (qgetenv("QT_QPA_PLATFORM") != "offscreen") return;
    static QTemporaryFile config;
    if (!config.open()) return;
    config.write(R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
                 R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    config.flush();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toUtf8());
}

// The main() of a window test program: the editor's application object
// (with its top-level error handler) around QTest. The application sees the
// program name only: the window takes its first argument as a package to
// open, while here the arguments name the tests to run.
#define SLV_WINDOW_TEST_MAIN(TestClass)              \
    int main(int argc, char** argv) {                \
        useDesktopSizedTestScreen();                 \
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
    ~Editor() { if (w) w->hide(); }
    slv::Level& L() { return w->level(); }
    const slv::EditorSettings& settings() { return w->document().settings(); }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) w->onFrameTick(1);
        QCoreApplication::processEvents();
    }
    // One tick with no animation step in it.
    void stillTick() {
        w->viewState().lastTick = slv::tickCount();
        ticks(1);
    }
    // One tick that ends with an animation step, its 30 ms taken as passed.
    void animationStep() {
        w->viewState().lastTick = slv::tickCount() - 1000;
        ticks(1);
    }
    // The frame sprite `n` of the open stage shows (the view's animation).
    int shownFrame(int n) {
        const int s = L().openStage;
        return w->spriteAnimation().frame(s, n, L().sprite(n, s).frame);
    }
        std::uint32_t pixel(int x, int y) { return w->findChild<slv::SceneWidget*>("sceneView")->backBuffer()->pixelAt(x, y); }
    slv::Surface* surface(slv::SurfaceHandle h) { return w->pictures().surface(h); }
    slv::Surface* backdrop() { return surface(w->viewState().backdropSurface); }
    // Where a key typed now goes: the focused control, else the window.
    QWidget* keyTarget() { return QApplication::focusWidget() ? QApplication::focusWidget() : w.get(); }

    // Opens the stage in `row` of the stage list.
    void openStage(int row) {
        w->selectRow(w->findChild<QListWidget*>("stageList"), row);
        w->openSelectedStage();
    }
    // A press at `from`, `moves` steps of a move to `to`, and the release there.
    void drag(int button, QPoint from, QPoint to, int moves = 1) {
        w->pressOnScene(button, false, from.x(), from.y());
        for (int k = 1; k <= moves; ++k) {
            const QPoint p = from + (to - from) * k / moves;
            w->moveOnScene(button, false, p.x(), p.y());
        }
        w->releaseOnScene(button, false, to.x(), to.y());
    }
    // A sector drawn with the right button on the Sector tab.
    void drawSector(QPoint from, QPoint to, int moves = 1) {
        w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(2);
        drag(Qt::RightButton, from, to, moves);
    }

    // Compares the back buffer with frame `frame` (1-based) of the strip `src`,
    // `fw` x `fh` pixels a frame, drawn at (x, y) over the backdrop `back` with
    // `key` transparent, and with the backdrop alone in a ring of `ring`
    // pixels around it. A missing surface counts as one wrong pixel.
    struct Drawn { int wrong = 0, keyed = 0, opaque = 0; };
    Drawn compareDrawn(slv::Surface* back, slv::Surface* src, int frame, int fw, int fh, int x,
                       int y, std::uint32_t key, int ring = 2) {
        Drawn d;
        if (!back || !src) return {1, 0, 0};
        slv::Surface* bb = w->findChild<slv::SceneWidget*>("sceneView")->backBuffer();
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
    // The same for a sprite drawn at its frame `frame` over the backdrop.
    Drawn compareSprite(const slv::SpriteRec& s, int frame, int ring = 2) {
        return compareDrawn(backdrop(), surface(s.surface), frame, s.w, s.h, s.x, s.y, w->viewState().colorKey, ring);
    }
};

// A window past its first tick: started up, its actor loaded. With
// `quickRecovery` a change is followed by its recovery package within 10 ms.
struct StartedEditor : Editor {
    explicit StartedEditor(bool quickRecovery = false) {
        if (quickRecovery) w->document().setRecoveryDelay(10);
        ticks(1);
    }
    // Waits until the recovery package of the last change is written.
    bool recoveryWritten() {
        if (!QTest::qWaitFor([&] { return w->document().recovery().exists(); }, 5000)) return false;
        w->document().recovery().wait();
        return true;
    }
};

// Stages added at once from backpx in the editor's home folder (a single one opens).
inline void addStages(Editor& ed, CaptureUi& ui, const QStringList& files) {
    QStringList paths;
    for (const QString& f : files) paths << QString::fromStdString(ed.settings().homeFolder) + "/backpx/" + f;
    ui.openAnswers.push_back(paths);
    ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(0);
    ed.w->addOnActiveTab();
}

inline void addStage(Editor& ed, CaptureUi& ui, const QString& file = "forest.bmp") { addStages(ed, ui, {file}); }

// Sprites added to the open stage through the picker's "Add 'em", each
// file listed once in it.
inline void addSprites(Editor& ed, const QStringList& files) {
    ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
    ed.w->addOnActiveTab();
    QVERIFY(ed.w->findChild<slv::SpritePicker*>("spritePicker")->isVisible());
    const int before = ed.w->findChild<QListWidget*>("spriteList")->count();
    for (const QString& f : files) {
        const QList<QListWidgetItem*> items = ed.w->findChild<slv::SpritePicker*>("spritePicker")->fileList_->findItems(f, Qt::MatchExactly);
        QCOMPARE(items.size(), 1);
        items[0]->setSelected(true);
    }
    ed.w->confirmPickedSprites();
    QCOMPARE(ed.w->findChild<QListWidget*>("spriteList")->count(), before + files.size());
}

// Save, its dialog (if it asks) answered with `pkg`.
inline void saveTo(Editor& ed, CaptureUi& ui, const QString& pkg) {
    ui.saveAnswers.push_back(pkg);
    ed.w->saveLevel();
}
