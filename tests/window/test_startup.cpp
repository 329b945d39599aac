// Start-up and close of the main window: the home folder, the settings
// files, the layout, and the top-level error handler.
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeView>
#include <cstring>

#include "app.h"
#include "harness.h"
#include "model/errors.h"
#include "model/settings.h"
#include "spriteframe/spriteframe.h"
#include "ui/swatch.h"

using namespace slv;

namespace {
void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}
QByteArray get(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

class StartupTest : public WindowTest {
    Q_OBJECT

private slots:
    void defaultsWithoutSettingsFiles() {
        TempHome home;
        Editor ed(false);
        QCOMPARE(QString::fromStdString(ed.L().homedir), home.home);
        QCOMPARE(QString::fromStdString(ed.L().workdir), home.home);
        QCOMPARE(ed.w->Label18->text(), home.home);
        QCOMPARE(ed.w->Panel4->color(), rgbColor(10, 100, 70));
        QCOMPARE(ed.w->Panel5->color(), rgbColor(70, 10, 150));
        QCOMPARE(ed.L().totposes, 0);
        QVERIFY(!ed.w->Image1->pixmap().isNull());
        QVERIFY(ui.errors.isEmpty());
    }

    void initialStateOfTheControls() {
        TempHome home;
        Editor ed;
        QCOMPARE(ed.w->size(), QSize(800, 600));
        QVERIFY(ed.w->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(ed.w->PageControl2->count(), 4);
        QCOMPARE(ed.w->PageControl2->tabText(3), QString("Pather"));
        QCOMPARE(ed.w->PageControl2->currentIndex(), 0);
        QCOMPARE(ed.w->Button4->text(), QString("Add"));
        QCOMPARE(ed.w->Button4->toolTip(), QString("Add (ins)"));
        QCOMPARE(ed.w->Button5->toolTip(), QString("Change (F8)"));
        QVERIFY(!ed.w->spritef1->isVisible());
        QVERIFY(!ed.w->DirectoryOutline1->isVisible());
        QVERIFY(!ed.w->Panel6->isVisible());
        QVERIFY(!ed.w->CheckBox1->isChecked());
        QVERIFY(ed.w->CheckBox2->isChecked());
        QCOMPARE(ed.w->DXDraw1->BackBuffer()->Width(), 640);
        QCOMPARE(ed.w->DXDraw1->BackBuffer()->Height(), 430);
    }

    void settingsFromAnEarlierRun() {
        TempHome home;
        Level saved;
        saved.spriteboxcolor = rgbColor(1, 2, 3);
        saved.sectorcolor = rgbColor(4, 5, 6);
        saved.workdir = "/some/where/else";
        writeSettings(saved, home.path("corvatel.cf").toStdString());
        QByteArray poses(56, '\0');
        poses[0] = 3;
        std::memcpy(poses.data() + 1, "a.b", 3);
        poses[24] = 5;
        writeFile(home.path("totposes.dat"), poses);
        Editor ed(false);
        QCOMPARE(ed.w->Label18->text(), QString("/some/where/else"));
        QCOMPARE(ed.w->Panel4->color(), rgbColor(1, 2, 3));
        QCOMPARE(ed.L().sectorcolor, rgbColor(4, 5, 6));
        QCOMPARE(ed.L().totposes, 2);
        QCOMPARE(ed.L().lookupPose("a.b"), 5);
    }

    void homeFolderFileLineEndIsNotPartOfThePath() {
        for (const char* end : {"\n", "\r\n", "  \r\n"}) {
            TempHome home;
            put(home.config + "/corvatel.txt", home.home.toUtf8() + end);
            QDir::setCurrent(QDir::tempPath());
            Editor ed;
            QCOMPARE(QString::fromStdString(ed.L().homedir), home.home);
            ed.ticks(2);
            QVERIFY2(ui.errors.isEmpty() && ed.w->close(), qPrintable(ui.errors.join("; ")));
            QCOMPARE(get(home.path("corvatel.cf")).size(), 264);
        }
    }

    void badSettingsFilesGiveAMessageAndTheDefaults() {
        TempHome home;
        writeFile(home.path("corvatel.cf"), "garbage");
        Editor ed(false);
        QTest::qWait(1);
        QCOMPARE(ui.takeErrors(), QStringList{"Reading " + home.path("corvatel.cf") + ": Read beyond end of file"});
        QCOMPARE(ed.L().spriteboxcolor, rgbColor(10, 100, 70));
        QCOMPARE(QString::fromStdString(ed.L().workdir), home.home);
    }

    // Whatever else fails at start, the settings are read; a settings file
    // that could not be read is left as it is at close.
    void settingsFilesSurviveAFailedStartAndClose() {
        QByteArray poses(56, '\0'), settings(264, '\0');
        poses.replace(0, 4, "\3a.b").replace(28, 2, "\1c");
        poses[24] = 5;
        settings.replace(0, 14, QByteArray("\1\2\3\0\4\5\6\0\5/kept", 14));
        const struct {
            const char* name;
            bool removeScreen;
            QByteArray settings;
        } cases[] = {{"no screen1.bmp", true, settings}, {"short corvatel.cf", false, "garbage"},
                     {"both", true, QByteArray(100, 'x')}};
        for (const auto& c : cases) {
            TempHome home;
            if (c.removeScreen) QFile::remove(home.path("screen1.bmp"));
            put(home.path("totposes.dat"), poses);
            put(home.path("corvatel.cf"), c.settings);
            ui.errors.clear();
            {
                Editor ed;
                QTest::qWait(1);
                QVERIFY2(ui.errors.size() == 1 && ed.L().totposes == 2, c.name);
                QVERIFY2(c.settings != settings || ed.w->Label18->text() == "/kept", c.name);
                ed.ticks(1);
                QTest::keyClick(ed.w.get(), Qt::Key_Return);
                QTest::keyClick(ed.w.get(), Qt::Key_Escape);
                QVERIFY2(!ed.w->isVisible(), c.name);
            }
            QVERIFY2(get(home.path("totposes.dat")) == poses, c.name);
            QVERIFY2(get(home.path("corvatel.cf")) == c.settings, c.name);
        }
        ui.errors.clear();  // each case's one message was counted above
    }

    void closeWritesTheSettingsFiles() {
        TempHome home;
        {
            Editor ed;
            ed.ticks(2);
            ed.L().sectorcolor = rgbColor(9, 8, 7);
            QVERIFY(ed.w->close());
        }
        QCOMPARE(QFileInfo(home.path("corvatel.cf")).size(), 264);
        QVERIFY(QFileInfo::exists(home.path("totposes.dat")));
        QCOMPARE(readSettings(home.path("corvatel.cf").toStdString()).sectorcolor, rgbColor(9, 8, 7));
        QStringList leftovers = QDir(home.home).entryList({"*.part-*"}, QDir::Files);
        QVERIFY(leftovers.isEmpty());
    }

    // A failed settings write is said, and the author chooses: stay with the
    // level as it was, or close anyway.
    void failedSettingsWriteAsksBeforeClosing() {
        for (bool closeAnyway : {false, true}) {
            TempHome home;
            QFile::remove(home.path("corvatel.cf"));
            Editor ed;
            ed.ticks(1);
            // Absent at start, so close may create it; a folder now stands in its way.
            QDir().mkpath(home.path("corvatel.cf"));
            ui.openAnswers.push_back({home.path("backpx/sea.bmp"), home.path("backpx/city.bmp")});
            ed.w->Button4Click();
            ui.errors.clear();
            ui.answerYes = closeAnyway;
            QCOMPARE(ed.w->close(), closeAnyway);
            QCOMPARE(ui.questions.size(), 1);
            QVERIFY2(ui.questions[0].contains("corvatel.cf"), qPrintable(ui.questions[0]));
            QVERIFY(ui.errors.isEmpty());
            QCOMPARE(ed.w->isVisible(), !closeAnyway);
            // Staying open keeps the level; closing clears it.
            QCOMPARE(ed.L().totstages, closeAnyway ? 0 : 2);
            QCOMPARE(ed.w->ListBox1->count(), closeAnyway ? 0 : 2);
            ui.questions.clear();
        }
    }

    // A first-tick failure is shown once; the editor goes on without what
    // failed and every command, Esc included, still works.
    void startupFailuresAreShownOnce() {
        const struct {
            const char* missing;  // a file, or the whole home folder
            int messages;
            bool blackBackdrop, actor;
        } cases[] = {{"car.bmp", 1, true, true},
                     {"purple.bmp", 1, false, true},
                     {"actors/test.skn", 1, false, false},
                     {"", 2, true, false}};
        for (const auto& c : cases) {
            TempHome home;
            if (*c.missing) QFile::remove(home.path(c.missing));
            else {  // the home falls back to the current folder: an empty one here
                put(home.config + "/corvatel.txt", home.path("gone").toUtf8());
                QDir().mkpath(home.path("empty"));
                QDir::setCurrent(home.path("empty"));
            }
            ui.errors.clear();
            Editor ed;
            ed.ticks(5);
            QVERIFY2(ui.errors.size() == c.messages, qPrintable(ui.errors.join("; ")));
            ed.ticks(5);
            QVERIFY2(ui.errors.size() == c.messages && !ed.L().firsttick, c.missing);
            QCOMPARE(ed.pixel(600, 60) == 0, c.blackBackdrop);
            QCOMPARE(ed.L().totskins > 0, c.actor);
            ui.openAnswers.push_back({home.path("backpx/sea.bmp")});
            QTest::keyClick(ed.w.get(), Qt::Key_Insert);
            ed.ticks(1);
            QVERIFY2(ed.L().curstage == 1 && ed.pixel(600, 60) != 0, c.missing);  // the stage shows
            QTest::keyClick(ed.w.get(), Qt::Key_Escape);
            QVERIFY2(!ed.w->isVisible() && ui.questions.isEmpty(), c.missing);
            QCOMPARE(ui.takeErrors().size(), c.messages);
        }
        QDir::setCurrent(QDir::tempPath());
    }

    // The home folder's frame-rate cap: frames a second, 0 for none;
    // anything else is said, naming the file, and leaves no cap.
    void frameRateCapFromTheHomeFolder() {
        const struct {
            const char* text;
            int fps, interval, errors;
        } cases[] = {{"60\n", 60, 17, 0}, {"0", 0, 0, 0}, {"fast", 0, 0, 1}, {"-5", 0, 0, 1}};
        for (const auto& c : cases) {
            TempHome home;
            put(home.path("maxfps.txt"), c.text);
            ui.errors.clear();
            Editor ed(false);
            QTest::qWait(1);
            QCOMPARE(ed.w->maxFps, c.fps);
            QCOMPARE(ed.w->DXTimer1->Interval(), c.interval);
            QCOMPARE(ui.takeErrors().filter("maxfps.txt").size(), c.errors);
        }
    }

    void workDirectoryChooser() {
        TempHome home;
        QDir().mkpath(home.path("levels"));
        {
            Editor ed;
            ed.w->Button7Click();
            QVERIFY(ed.w->DirectoryOutline1->isVisible());
            ed.w->DirectoryOutline1Change(home.path("levels"));
            QCOMPARE(ed.w->Label18->text(), home.path("levels"));
            QCOMPARE(QString::fromStdString(ed.L().homedir), home.home);
            QVERIFY(ed.w->close());
        }
        Editor again(false);
        QCOMPARE(again.w->Label18->text(), home.path("levels"));
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
