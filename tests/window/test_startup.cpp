// Start-up and close of the main window: the home folder, the settings
// files, the layout, and the top-level error handler.
#include <QImage>
#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>

#include "editor/swatchpanel.h"
#include "harness.h"
#include "model/errors.h"

using namespace slv;

class StartupTest : public WindowTest {
    Q_OBJECT

private slots:
    void defaultsAndControlsWithoutSettingsFiles() {
        Editor ed;
        QCOMPARE(QString::fromStdString(ed.settings().homeFolder), home->home);
        QCOMPARE(QString::fromStdString(ed.settings().workFolder), home->home);
        QCOMPARE(ed.w->findChild<QLabel*>("workFolderLabel")->text(), home->home);
        for (auto [swatch, shown] : {std::pair{ed.w->findChild<SwatchPanel*>("spriteBoxColorSwatch"), QColor(10, 100, 70)},
                                     std::pair{ed.w->findChild<SwatchPanel*>("sectorColorSwatch"), QColor(70, 10, 150)}}) {
            const QImage drawn = swatch->grab().toImage();
            QCOMPARE(drawn.pixelColor(drawn.width() / 2, drawn.height() / 2), shown);
        }
        QCOMPARE(ed.L().poseCount, 0);
        QVERIFY(!ed.w->findChild<QLabel*>("previewPicture")->pixmap().isNull());
        QCOMPARE(ed.w->findChild<QTabWidget*>("editTabs")->tabText(3), QString("Pather"));
        QCOMPARE(ed.w->findChild<QTabWidget*>("editTabs")->currentIndex(), 0);
        QCOMPARE(ed.w->findChild<QToolButton*>("addButton")->text(), QString("Add"));
        QCOMPARE(ed.w->findChild<QToolButton*>("addButton")->toolTip(), QString("Add (Ins)"));
        QCOMPARE(ed.w->findChild<QToolButton*>("modButton")->toolTip(), QString("Change (F8)"));
        QVERIFY(!ed.w->findChild<slv::SpritePicker*>("spritePicker")->isVisible() && !ed.w->findChild<QTreeView*>("folderTree")->isVisible() && !ed.w->findChild<slv::ProgressPanel*>("progressPanel")->isVisible());
        QVERIFY(!ed.w->findChild<QCheckBox*>("showSpriteBoxes")->isChecked() && ed.w->findChild<QCheckBox*>("showSectors")->isChecked());
    }

    // Esc writes the settings files (the working folder chosen in the tree,
    // the colours, the poses) and the next start reads them back, also when
    // it starts elsewhere: then the home folder named in the configuration
    // folder, its line end cut off, holds them, and close writes them there.
    void settingsWrittenAtCloseAreReadAtTheNextStart() {
        QDir().mkpath(home->path("levels"));
        {
            StartedEditor ed;
            ed.w->chooseWorkFolder();
            QVERIFY(ed.w->findChild<QTreeView*>("folderTree")->isVisible());
            ed.w->workFolderPicked(home->path("levels"));
            QCOMPARE(ed.w->findChild<QLabel*>("workFolderLabel")->text(), home->path("levels"));
            QCOMPARE(QString::fromStdString(ed.settings().homeFolder), home->home);
            ed.w->document().setSectorColor(rgbColor(9, 8, 7));
            QTest::keyClick(ed.keyTarget(), Qt::Key_Escape);
            QVERIFY(!ed.w->isVisible());
        }
        QCOMPARE(QFileInfo(home->path("corvatel.cf")).size(), 264);
        QVERIFY(QFileInfo::exists(home->path("totposes.dat")));
        QVERIFY(QDir(home->home).entryList({"*.part-*"}, QDir::Files).isEmpty());
        const QByteArray written = readFile(home->path("corvatel.cf"));
        writeFile(home->config + "/corvatel.txt", home->home.toUtf8() + " \r\n");
        QDir::setCurrent(QDir::tempPath());
        Editor again;
        QCOMPARE(QString::fromStdString(again.settings().homeFolder), home->home);
        QCOMPARE(again.w->findChild<QLabel*>("workFolderLabel")->text(), home->path("levels"));
        QCOMPARE(again.w->findChild<SwatchPanel*>("sectorColorSwatch")->color(), rgbColor(9, 8, 7));
        again.ticks(2);
        again.w->document().setSectorColor(rgbColor(1, 2, 3));
        QVERIFY(again.w->close());
        QVERIFY(readFile(home->path("corvatel.cf")) != written);
    }

    // A failed settings write is said, and the author chooses: stay with the
    // level as it was, or close anyway.
    void failedSettingsWriteAsksBeforeClosing() {
        for (bool closeAnyway : {false, true}) {
            home.emplace();  // a fresh home folder for each case
            QFile::remove(home->path("corvatel.cf"));
            StartedEditor ed;
            // Absent at start, so close may create it; a folder now stands in its way.
            QDir().mkpath(home->path("corvatel.cf"));
            addStages(ed, ui, {"sea.bmp", "city.bmp"});
            ui.answerYes = closeAnyway;
            QCOMPARE(ed.w->close(), closeAnyway);
            QCOMPARE(ui.questions.size(), 1);
            QVERIFY2(ui.questions[0].contains("corvatel.cf"), qPrintable(ui.questions[0]));
            QCOMPARE(ed.w->isVisible(), !closeAnyway);
            // Staying open keeps the level; closing clears it.
            QCOMPARE(ed.L().stageCount, closeAnyway ? 0 : 2);
            QCOMPARE(ed.w->findChild<QListWidget*>("stageList")->count(), closeAnyway ? 0 : 2);
            if (!closeAnyway) {
                // The stopped close's answer does not count for the next New.
                const qsizetype asked = ui.saveQuestions.size();
                ui.saveChoices = {slv::SaveChoice::Cancel};
                ed.w->newLevel();
                QCOMPARE(ui.saveQuestions.size(), asked + 1);
                QCOMPARE(ed.L().stageCount, 2);
            }
            ui.questions.clear();
        }
    }

    // Whatever fails at start is shown once, even while its box is open and
    // the frame loop runs on; the settings are read all the same and left as
    // they were, and the editor goes on without what
    // failed: every command, Esc included, still works.
    void startupFailuresAreShownOnce() {
        QByteArray poses(56, '\0'), settings(264, '\0');
        poses.replace(0, 4, "\3a.b").replace(28, 2, "\1c");
        poses[24] = 5;
        settings.replace(0, 14, QByteArray("\1\2\3\0\4\5\6\0\5/kept", 14));
        const struct {
            const char* name;
            std::function<void(TempHome&)> damage;
            QString package;  // opened at start
            int messages;
            QString firstMessage;  // holds these words
            bool blackBackdrop, actor, posesRead;
        } cases[] = {
            {"no car.bmp", [](TempHome& h) { QFile::remove(h.path("car.bmp")); }, "", 1, "car.bmp", true, true, true},
            {"no purple.bmp", [](TempHome& h) { QFile::remove(h.path("purple.bmp")); }, "", 1, "purple.bmp", false, true, true},
            {"no screen1.bmp", [](TempHome& h) { QFile::remove(h.path("screen1.bmp")); }, "", 1, "screen1.bmp", false,
             true, true},
            {"no skin package", [](TempHome& h) { QFile::remove(h.path("actors/test.skn")); }, "", 1, "test actor",
             false, false, true},
            {"short corvatel.cf", [](TempHome& h) { writeFile(h.path("corvatel.cf"), "garbage"); }, "", 1,
             "corvatel.cf: Read beyond end of file", false, true, true},
            {"broken start-up package", [](TempHome& h) { writeFile(h.path("broken.slv"), QByteArray(100, 'x')); },
             "broken.slv", 1, "Not a level package", false, true, true},
            {"home folder gone: an empty current folder instead",
             [](TempHome& h) {
                 writeFile(h.config + "/corvatel.txt", h.path("gone").toUtf8());
                 QDir().mkpath(h.path("empty"));
                 QDir::setCurrent(h.path("empty"));
             },
             "", 2, "", true, false, false},
        };
        for (const auto& c : cases) {
            home.emplace();  // a fresh home folder for each case
            writeFile(home->path("totposes.dat"), poses);
            writeFile(home->path("corvatel.cf"), settings);
            c.damage(*home);
            const QByteArray settingsBefore = readFile(home->path("corvatel.cf"));
            {
                Editor ed;
                if (!c.package.isEmpty()) ed.L().startupPackage = home->path(c.package).toStdString();
                const int shownBefore = int(ui.errors.size());  // start-up's own failures
                int ticksInsideBox = 0;  // the frame loop runs on while a first-tick box is open
                ui.duringError = [&] {
                    while (ticksInsideBox < 5) ++ticksInsideBox, ed.w->onFrameTick(1);
                };
                ed.ticks(5);
                ui.duringError = nullptr;
                QCOMPARE(ticksInsideBox, ui.errors.size() > shownBefore ? 5 : 0);
                QVERIFY2(ui.errors.size() == c.messages, qPrintable(ui.errors.join("; ")));
                QVERIFY2(ui.errors[0].contains(c.firstMessage), qPrintable(ui.errors[0]));
                QCOMPARE(ed.L().poseCount, c.posesRead ? 2 : 0);
                QCOMPARE(ed.L().lookupPose("a.b"), c.posesRead ? 5 : -1);
                ed.ticks(5);
                QVERIFY2(ui.errors.size() == c.messages && !ed.w->viewState().startupPending, c.name);
                QCOMPARE(ed.pixel(600, 60) == 0, c.blackBackdrop);
                ed.w->routeKeyDown(39, {});  // Right: the actor walks, if there is one
                QCOMPARE(ed.w->actor().lastCommand != -1, c.actor);
                ui.openAnswers.push_back({home->path("backpx/sea.bmp")});
                QTest::keyClick(ed.w.get(), Qt::Key_Insert);
                ed.ticks(1);
                QVERIFY2(ed.L().openStage == 1 && ed.pixel(600, 60) != 0, c.name);  // the stage shows
                QTest::keyClick(ed.w.get(), Qt::Key_Escape);
                QVERIFY2(!ed.w->isVisible() && ui.questions.isEmpty(), c.name);
                QCOMPARE(ui.takeErrors().size(), c.messages);
            }
            QVERIFY2(readFile(home->path("totposes.dat")) == poses, c.name);
            QVERIFY2(readFile(home->path("corvatel.cf")) == settingsBefore, c.name);
        }
    }

    // The home folder's frame-rate cap: frames a second, 0 for an unpaced
    // loop; without one (or with anything else, which is said, naming the
    // file) the loop follows the display's refresh rate.
    void frameRateCapFromTheHomeFolder() {
        const double display = FrameTimer().displayRate();
        const struct {
            const char* text;
            int fps;
            double rate;  // ticks a second at most; 0 unpaced
            int errors;
        } cases[] = {{nullptr, -1, display, 0}, {"60\n", 60, 60, 0}, {"0", 0, 0, 0},
                     {"fast", -1, display, 1}, {"-5", -1, display, 1}};
        for (const auto& c : cases) {
            home.emplace();  // a fresh home folder for each case
            if (c.text) writeFile(home->path("maxfps.txt"), c.text);
            ui.errors.clear();
            Editor ed(false);
            QCoreApplication::processEvents();  // errors are shown from the event loop
            QCOMPARE(ed.w->maxFps, c.fps);
            QCOMPARE(ed.w->frameTimer_->pacedRate(), c.rate);
            QCOMPARE(ui.takeErrors().filter("maxfps.txt").size(), c.errors);
        }
    }

    // Ended by a signal while its recovery copy cannot be written: the
    // failure is told on the error output, not in a box no one may answer,
    // and nothing is asked after it.
    void anEndingEditorShowsAndAsksNothing() {
        writeFile(home->path("blocked"), "a file where the state folder should be");
        qputenv("XDG_STATE_HOME", home->path("blocked/state").toUtf8());
        StartedEditor ed;
        ui.takeErrors();  // what start-up said of the state folder
        addStage(ed, ui);
        QTemporaryFile errorOutput;
        QVERIFY(errorOutput.open());
        const int savedStderr = ::dup(2);
        ::dup2(errorOutput.handle(), 2);
        ed.w->keepChangesAndQuit(true);
        const bool asked = UiServices::instance().confirm(ed.w.get(), "Delete stage 1 ?");
        std::fflush(stderr);
        ::dup2(savedStderr, 2);
        ::close(savedStderr);
        UiServices::stopAsking(false);
        QVERIFY2(ui.errors.isEmpty(), qPrintable(ui.errors.join(" | ")));
        QVERIFY(!asked && ui.questions.isEmpty());
        const QString told = QString::fromLocal8Bit(readFile(errorOutput.fileName()));
        QVERIFY2(told.startsWith("slvedit: ") && told.contains(home->path("blocked")), qPrintable(told));
    }

    void unhandledErrorsAreShownAndTheProgramGoesOn() {
        struct Thrower : QObject {
            bool event(QEvent*) override { throw Error("Something went wrong"); }
        } thrower;
        QEvent ev(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &ev);
        QCOMPARE(ui.takeErrors(), QStringList{"Something went wrong"});
    }
};

SLV_WINDOW_TEST_MAIN(StartupTest)

#include "test_startup.moc"
