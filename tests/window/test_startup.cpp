// Start-up and close of the main window: the home folder, the settings
// files, the layout, and the top-level error handler.
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
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
        QCOMPARE(ed.w->Button5->toolTip(), QString("Change (F12)"));
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

    void homeFolderFileIsTakenByteForByte() {
        TempHome home;
        writeFile(home.config + "/corvatel.txt", home.home.toUtf8() + "\r\n");
        Editor ed(false);
        QCOMPARE(QString::fromStdString(ed.L().homedir), home.home + "\r\n");
        // Every file is looked for under that path, so screen1.bmp is missing.
        QTest::qWait(1);
        QCOMPARE(ui.errors.size(), 1);
        QVERIFY(ui.takeErrors()[0].startsWith("Cannot open file "));
    }

    void badSettingsFilesGiveAMessageAndTheDefaults() {
        TempHome home;
        writeFile(home.path("corvatel.cf"), "garbage");
        Editor ed(false);
        QTest::qWait(1);
        QCOMPARE(ui.takeErrors(), QStringList{"Read beyond end of file"});
        QCOMPARE(ed.L().spriteboxcolor, rgbColor(10, 100, 70));
        QCOMPARE(QString::fromStdString(ed.L().workdir), home.home);
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

    void failedSettingsWriteKeepsTheWindowOpen() {
        TempHome home;
        QDir().mkpath(home.path("corvatel.cf"));  // a folder where the file belongs
        Editor ed;
        QTest::qWait(1);
        ui.errors.clear();
        QVERIFY(!ed.w->close());
        QVERIFY(ed.w->isVisible());
        QCOMPARE(ui.takeErrors().size(), 1);
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
