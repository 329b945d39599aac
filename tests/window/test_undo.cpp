// Undo and redo through the window, the question before a changed level is
// thrown away, the unsaved mark in the title and the level's name, the fields
// after list changes and the recovery package.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <iterator>
#include <thread>

#include "harness.h"
#include "model/fileio.h"
#include "package/levelio.h"
#include "package/recoverywriter.h"

using namespace slv;

namespace {

constexpr int kVkZ = 90, kVkY = 89, kVkEscape = 27;

// The editors' state folder, and the recovery packages left in it.
QString stateFolder() { return QString::fromStdString(RecoveryWriter::defaultFolder()); }
std::size_t packages() { return RecoveryWriter::packagesIn(RecoveryWriter::defaultFolder()).size(); }

}  // namespace

class UndoTest : public WindowTest {
    Q_OBJECT

    // Fresh answers for the next window; error boxes not yet taken stay for
    // the end-of-test check. Unanswered, the save question cancels here: a
    // test that does not expect it keeps the level.
    void freshAnswers() {
        QStringList pending = ui.takeErrors();
        ui = CaptureUi();
        ui.errors = pending;
        ui.unanswered = SaveChoice::Cancel;
    }

private slots:
    void init() {
        WindowTest::init();
        freshAnswers();
    }

    void changedLevelAsksBeforeItIsThrownAway() {
        const QString pkg = home->path("saved.slv");
        {
            StartedEditor ed;
            addStage(ed, ui, "sea.bmp");
            ui.saveChoices = {SaveChoice::Discard};
            saveTo(ed, ui, pkg);
        }
        enum Action { Esc, New, Open };
        const char* names[] = {"Esc", "New", "Open"};
        for (Action action : {Esc, New, Open})
            for (SaveChoice choice : {SaveChoice::Cancel, SaveChoice::Discard, SaveChoice::Save}) {
                const QString what = QString("%1 / %2").arg(names[action]).arg(int(choice));
                const QString savedAs = home->path(QString("answer%1%2.slv").arg(action).arg(int(choice)));
                freshAnswers();
                StartedEditor ed;
                addStage(ed, ui);
                ui.saveChoices = {choice};
                ui.saveAnswers.push_back(savedAs);
                if (action == Open) ui.openAnswers.push_back({pkg});
                if (action == Esc) ed.w->routeKeyDown(kVkEscape, {});
                if (action == New) ed.w->newLevel();
                if (action == Open) ed.w->openLevel();
                QCOMPARE(ui.saveQuestions, QStringList{"Save changes to the new level ?"});
                const bool goesOn = choice != SaveChoice::Cancel;
                QCOMPARE(QFileInfo::exists(savedAs), choice == SaveChoice::Save);
                QVERIFY2(ed.w->isVisible() == (action != Esc || !goesOn), qPrintable(what));
                if (action == Esc) continue;
                const std::string kept = goesOn ? (action == Open ? "sea.bmp" : "") : "forest.bmp";
                QCOMPARE(ed.L().stageCount, kept.empty() ? 0 : 1);
                if (!kept.empty()) QCOMPARE(ed.L().stage(1).name.str(), kept);
                QCOMPARE(!ed.w->document().isClean(), !goesOn);
            }
        // Discard, then the Open dialog cancelled: the level stays, still
        // changed, and the next New asks again.
        {
            freshAnswers();
            StartedEditor ed;
            addStage(ed, ui);
            ui.saveChoices = {SaveChoice::Discard, SaveChoice::Cancel};
            ed.w->openLevel();
            ed.w->newLevel();
            QCOMPARE(ui.saveQuestions.size(), 2);
            QCOMPARE(ed.L().stageCount, 1);
            QVERIFY(!ed.w->document().isClean());
        }
        // An unchanged level: no question at all.
        freshAnswers();
        StartedEditor ed;
        ed.w->newLevel();
        ui.openAnswers.push_back({pkg});
        ed.w->openLevel();
        QCOMPARE(ed.L().stageCount, 1);
        ed.w->routeKeyDown(kVkEscape, {});
        QVERIFY(ui.saveQuestions.isEmpty());
        QVERIFY(!ed.w->isVisible());
    }

    // The title and the level's name beside the view carry the package's
    // name, and a mark while the level differs from what was saved.
    void titleAndNameMarkChangesUntilSavedOrUndone() {
        StartedEditor ed;
        auto shown = [&] { return ed.w->windowHandle()->title() + " | " + ed.w->findChild<QLabel*>("levelName")->text(); };
        QCOMPARE(shown(), QString("Sublevel editor - new level | untitled"));
        addStage(ed, ui);
        QCOMPARE(shown(), QString("Sublevel editor - new level* | untitled *"));
        ed.w->routeKeyDown(kVkZ, Qt::ControlModifier);
        QCOMPARE(shown(), QString("Sublevel editor - new level | untitled"));
        QCOMPARE(ed.L().stageCount, 0);
        ed.w->routeKeyDown(kVkY, Qt::ControlModifier);
        QCOMPARE(ed.L().stageCount, 1);
        QVERIFY(ed.w->windowHandle()->title().contains('*'));
        saveTo(ed, ui, home->path("t.slv"));
        QCOMPARE(shown(), QString("Sublevel editor - t.slv | t.slv"));
        ed.w->document().deleteStage(1);  // an edit made outside the window's commands
        QCOMPARE(shown(), QString("Sublevel editor - t.slv* | t.slv *"));
        ed.w->undoEdit();
        QCOMPARE(shown(), QString("Sublevel editor - t.slv | t.slv"));
        addStage(ed, ui, "city.bmp");
        QCOMPARE(shown(), QString("Sublevel editor - t.slv* | t.slv *"));
        ed.w->routeKeyDown(kVkZ, Qt::ControlModifier);  // back to what was saved
        QCOMPARE(shown(), QString("Sublevel editor - t.slv | t.slv"));
        QVERIFY(ed.w->document().isClean());
        // The window has a frame carrying the title; the name is not over the view.
        QVERIFY(!ed.w->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(ed.w->windowFilePath(), home->path("t.slv"));
        QVERIFY(ed.w->findChild<QLabel*>("levelName")->geometry().intersected(ed.w->findChild<slv::SceneWidget*>("sceneView")->geometry()).isEmpty());
    }

    void dragsAndDeletesUndoThroughTheKeys() {
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp"});
        // Typed places keep the two apart.
        ed.w->findChild<QListWidget*>("spriteList")->setCurrentRow(1);
        ed.w->findChild<QSpinBox*>("spriteXField")->setValue(400);
        ed.w->findChild<QListWidget*>("spriteList")->setCurrentRow(0);
        ed.w->findChild<QSpinBox*>("spriteXField")->setValue(100);
        ed.w->findChild<QSpinBox*>("spriteYField")->setValue(100);
        SpriteRec& coin = ed.L().sprite(1, 1);
        const QPoint first(100, 100);
        QCOMPARE(QPoint(coin.x, coin.y), first);
        const int steps = int(ed.w->document().history().undoCount());
        ed.drag(Qt::LeftButton, first + QPoint(2, 2), first + QPoint(52, 32), 4);
        QCOMPARE(int(ed.w->document().history().undoCount()), steps + 1);  // one step for the drag
        QCOMPARE(QPoint(coin.x, coin.y), first + QPoint(50, 30));
        // A second drag is a step of its own: one Ctrl+Z undoes it alone.
        ed.drag(Qt::LeftButton, first + QPoint(52, 32), first + QPoint(62, 42), 4);
        QCOMPARE(int(ed.w->document().history().undoCount()), steps + 2);
        ed.w->routeKeyDown(kVkZ, Qt::ControlModifier);
        QCOMPARE(QPoint(coin.x, coin.y), first + QPoint(50, 30));
        // Ctrl+Z in a focused field undoes the drag and is not taken as a
        // text undo of the field; a command key, it does not reach the actor.
        ed.w->showSpriteFields(1);
        ed.w->findChild<QSpinBox*>("spriteXField")->setFocus();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier);
        QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : ed.w->findChild<QSpinBox*>("spriteXField"),
                                &press);
        QCOMPARE(QPoint(coin.x, coin.y), first);
        QCOMPARE(ed.w->actor().heldKeys[0], -1);
        QCOMPARE(int(ed.w->document().history().redoCount()), 2);
        ed.w->routeKeyDown(kVkZ, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QPoint(coin.x, coin.y), first + QPoint(50, 30));

        // Deleting the open stage releases its pictures; undo loads them again
        // and opens the stage again.
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(0);
        ed.w->selectRow(ed.w->findChild<QListWidget*>("stageList"), 0);
        ed.w->deleteOnActiveTab();
        QCOMPARE(ed.L().stageCount, 0);
        QCOMPARE(ed.L().imageCount, 0);
        ed.w->undoEdit();
        QCOMPARE((QList<int>{ed.L().openStage, ed.L().imageCount, ed.w->findChild<QListWidget*>("stageList")->count(), ed.w->findChild<QListWidget*>("spriteList")->count()}),
                 (QList<int>{1, 2, 1, 2}));
        for (int n = 1; n <= 2; ++n) {
            QVERIFY(ed.surface(ed.L().image(n).surface));
            QCOMPARE(ed.L().sprite(n, 1).surface, ed.L().image(ed.L().sprite(n, 1).image).surface);
        }
        QCOMPARE(ed.L().image(1).useCount, 1);
        // A new edit after undo drops the redo step.
        ed.w->redoEdit();
        ed.w->undoEdit();
        addStage(ed, ui, "city.bmp");
        QVERIFY(!ed.w->document().history().canRedo());
    }

    // Undoing an Add while the added sprite's X field is being typed in, then
    // leaving the field with Esc, shows no record, and typing there changes
    // nothing.
    void undoingAnAddEmptiesTheFieldsOfTheSpritesItTakes() {
        const struct {
            QStringList kept, added;
        } rows[] = {{{}, {"coin.bmp"}}, {{"coin.bmp"}, {"gem.bmp"}}, {{}, {"coin.bmp", "gem.bmp"}}};
        for (const auto& row : rows) {
            StartedEditor ed;
            addStage(ed, ui);
            if (!row.kept.isEmpty()) addSprites(ed, row.kept);
            addSprites(ed, row.added);
            const int last = int(row.kept.size() + row.added.size());
            ed.w->selectRow(ed.w->findChild<QListWidget*>("spriteList"), last - 1);
            ed.w->selectSpriteFromList();
            QCOMPARE(ed.w->findChild<QLabel*>("spriteName")->text(), row.added.last());
            ed.w->findChild<QSpinBox*>("spriteXField")->setFocus();
            QVERIFY(ed.w->findChild<QSpinBox*>("spriteXField")->hasFocus());
            ed.w->undoEdit();
            const int goneX = ed.L().sprite(last, 1).x;
            QCOMPARE(ed.L().stage(1).spriteCount, row.kept.size());
            ed.w->routeKeyDown(27, Qt::NoModifier);  // Esc
            QVERIFY(!ed.w->findChild<QSpinBox*>("spriteXField")->hasFocus());
            QCOMPARE(ed.w->findChild<QLabel*>("spriteName")->text(), QString("none"));
            QVERIFY(!ed.w->findChild<QSpinBox*>("spriteXField")->isEnabled());
            ed.w->findChild<QSpinBox*>("spriteXField")->setValue(goneX + 3);
            QCOMPARE(ed.L().sprite(last, 1).x, goneX);
        }
    }

    void fieldsShowTheSelectedRecordAfterListChanges() {
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp"});
        const int gemX = ed.L().sprite(2, 1).x;
        ed.w->selectRow(ed.w->findChild<QListWidget*>("spriteList"), 0);
        ed.w->selectSpriteFromList();
        QCOMPARE(ed.w->findChild<QLabel*>("spriteName")->text(), QString("coin.bmp"));
        ed.w->deleteOnActiveTab();  // Del: the gem moves into the selected row
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("spriteList")), 0);
        QCOMPARE(ed.w->findChild<QLabel*>("spriteName")->text(), QString("gem.bmp"));
        QCOMPARE(ed.w->findChild<QSpinBox*>("spriteXField")->value(), gemX);
        ed.w->findChild<QSpinBox*>("spriteXField")->setValue(7);  // typed: goes to the gem, the record shown
        QCOMPARE(ed.L().sprite(1, 1).x, 7);
        QCOMPARE(ed.L().sprite(1, 1).name.str(), std::string("gem.bmp"));
        ed.w->undoEdit();
        QCOMPARE(ed.L().sprite(1, 1).x, gemX);
        QCOMPARE(ed.w->findChild<QSpinBox*>("spriteXField")->value(), gemX);
        // No row left: the fields are empty and cannot be typed into.
        ed.w->deleteOnActiveTab();
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("spriteList")), -1);
        QVERIFY(!ed.w->findChild<QSpinBox*>("spriteXField")->isEnabled());
        QVERIFY(ed.w->findChild<QSpinBox*>("spriteXField")->text().isEmpty());

        // Sector fields edit the selected sector, each change one step.
        ed.drawSector({20, 30}, {70, 90});
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("sectorList")), 0);
        ed.w->findChild<QSpinBox*>("sectorWidthField")->setValue(11);
        ed.w->findChild<QSpinBox*>("sectorYField")->setValue(12);
        const SectorRec& sc = ed.L().sector(1, 1);
        QCOMPARE((QList<int>{sc.x, sc.y, sc.w, sc.h}), (QList<int>{20, 12, 11, 60}));
        ed.w->undoEdit();
        QCOMPARE((QList<int>{sc.x, sc.y, sc.w, sc.h}), (QList<int>{20, 30, 11, 60}));
        QCOMPARE(ed.w->findChild<QSpinBox*>("sectorYField")->value(), 30);
        // Typed into W, then the sector dragged: Ctrl+Z in the W field undoes
        // the drag, and the field's own text undo does not turn into an edit.
        QTest::keyClicks(ed.w->findChild<QSpinBox*>("sectorWidthField"), "7");
        const int typed = sc.w;
        QVERIFY(typed == 117 || typed == 711);
        ed.drag(Qt::LeftButton, {25, 35}, {45, 55});
        QCOMPARE(sc.x, 40);
        QTest::keyClick(ed.w->findChild<QSpinBox*>("sectorWidthField"), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE((QList<int>{sc.x, sc.w}), (QList<int>{20, typed}));
        QCOMPARE(int(ed.w->document().history().redoCount()), 1);
        // A plain right click makes no sector.
        ed.w->moveOnScene(Qt::NoButton, false, 40, 40);
        ed.drag(Qt::RightButton, {40, 40}, {40, 40}, 0);
        QCOMPARE(ed.L().stage(1).sectorCount, 1);
        QCOMPARE(ed.w->findChild<QListWidget*>("sectorList")->count(), 1);
    }

    void recoveryPackageAfterACrashAndNotAfterACleanClose() {
        {
            StartedEditor ed(true);
            addStage(ed, ui, "desert.bmp");
            QVERIFY(ed.recoveryWritten());
            // The process ends here without closing the window.
        }
        QCOMPARE(packages(), 1u);
        {
            StartedEditor ed(true);
            QCOMPARE(ui.questions.size(), 1);
            QCOMPARE(ed.L().stageCount, 1);
            QCOMPARE(ed.L().stage(1).name.str(), std::string("desert.bmp"));
            QVERIFY(!ed.w->document().isClean());
            QVERIFY(ed.w->windowHandle()->title().endsWith('*'));
            // The restored level is unsaved: it has its recovery package again.
            QVERIFY(ed.recoveryWritten());
            QCOMPARE(packages(), 1u);
            // A clean close removes it, and the editor's folder with it.
            ui.saveChoices = {SaveChoice::Discard};
            ed.w->close();
            QVERIFY(!ed.w->isVisible());
            QVERIFY(QDir(stateFolder()).isEmpty());
        }
        // Declined: removed, and the level stays empty.
        {
            StartedEditor ed(true);
            addStage(ed, ui);
            QVERIFY(ed.recoveryWritten());
            // Saving removes it as well.
            saveTo(ed, ui, home->path("r.slv"));
            QCOMPARE(packages(), 0u);
            addStage(ed, ui, "city.bmp");
            QVERIFY(ed.recoveryWritten());
        }
        ui.answerYes = false;
        ui.questions.clear();
        StartedEditor ed;
        QCOMPARE(ui.questions.size(), 1);
        QCOMPARE(ed.L().stageCount, 0);
        QCOMPARE(packages(), 0u);
        // A package an older editor left in the state folder itself is offered too.
        const QString unshared = stateFolder() + "/recovery.slv";
        QVERIFY(QFile::copy(home->path("r.slv"), unshared));
        ui.answerYes = true;
        StartedEditor older;
        QCOMPARE(ui.questions.size(), 2);
        QCOMPARE(older.L().stageCount, 1);
        QVERIFY(!QFileInfo::exists(unshared));
    }

    // A restored level keeps the path its note names only when Save may
    // safely write there; otherwise Save asks. A FIFO note never holds the start.
    void aRestoredLevelKeepsOnlyAPathSaveMayUse_data() {
        QTest::addColumn<QString>("noted");
        QTest::addColumn<bool>("asks");
        QTest::newRow("the level's own package") << "saved.slv" << false;
        QTest::newRow("a package not there yet") << "later.slv" << false;
        QTest::newRow("the author's file that is no package") << "notes.txt" << true;
        QTest::newRow("a FIFO") << "pipe" << true;
    }
    void aRestoredLevelKeepsOnlyAPathSaveMayUse() {
        QFETCH(QString, noted);
        QFETCH(bool, asks);
        {
            StartedEditor ed(true);
            addStage(ed, ui, "desert.bmp");
            saveTo(ed, ui, home->path("saved.slv"));
            addStage(ed, ui, "city.bmp");
            QVERIFY(ed.recoveryWritten());
        }
        writeFile(home->path("notes.txt"), "the author's own");
        QCOMPARE(::mkfifo(home->path("pipe").toLocal8Bit().constData(), 0600), 0);
        const std::vector<std::string> left = RecoveryWriter::packagesIn(RecoveryWriter::defaultFolder());
        QCOMPARE(left.size(), 1u);
        writeFile(QString::fromStdString(folderPart(left[0]) + "recovery.txt"), home->path(noted).toUtf8());

        StartedEditor ed(true);
        QCOMPARE(ed.L().stageCount, 2);
        // Closing with Save: into the noted package, or asked for a name.
        ui.saveAnswers = {home->path("asked.slv")};
        ui.saveChoices = {SaveChoice::Save};
        ed.w->close();
        QVERIFY(!ed.w->isVisible());
        QCOMPARE(QFileInfo::exists(home->path("asked.slv")), asks);
        if (!asks) QVERIFY(QFileInfo(home->path(noted)).size() > 1185052);
        QCOMPARE(readFile(home->path("notes.txt")), QByteArray("the author's own"));
        QVERIFY(!QFileInfo(home->path("pipe")).isFile());
    }

    // Each running editor has its own recovery package; a starting editor
    // offers only those of editors that ended without closing, newest first,
    // and one restored leaves the others for a later start.
    void editorsRunningSideBySideKeepTheirOwnRecovery() {
        auto editWith = [&](StartedEditor& ed, const char* stage) {
            addStage(ed, ui, stage);
            QVERIFY(ed.recoveryWritten());
        };
        {
            auto first = std::make_unique<StartedEditor>(true);
            editWith(*first, "sea.bmp");
            StartedEditor second(true);
            editWith(second, "city.bmp");
            // The first one still runs: the second offered nothing.
            QVERIFY(ui.questions.isEmpty());
            QCOMPARE(packages(), 2u);
            QVERIFY(first->w->document().recovery().packagePath() != second.w->document().recovery().packagePath());
            // The first ends without closing; the second is still running.
            first.reset();
            StartedEditor third(true);
            QCOMPARE(ui.questions.size(), 1);
            QCOMPARE(third.L().stage(1).name.str(), std::string("sea.bmp"));
            // The restored level gets the third's own package, the newest.
            QVERIFY(third.recoveryWritten());
            QCOMPARE(packages(), 2u);
        }
        // Both ended without closing: the newest (the third's, the restored
        // level) is offered first; restored, the other is kept.
        ui.questions.clear();
        {
            StartedEditor fourth;
            QCOMPARE(ui.questions.size(), 1);
            QCOMPARE(fourth.L().stage(1).name.str(), std::string("sea.bmp"));
            // The restored package stays as the fourth's own copy until a newer
            // one replaces it; the second's is kept.
            QCOMPARE(packages(), 2u);
            // Declined one after another.
            ui.answerYes = false;
            ui.questions.clear();
            StartedEditor fifth;
            QCOMPARE(ui.questions.size(), 1);
            QCOMPARE(fifth.L().stageCount, 0);
            QCOMPARE(packages(), 1u);  // the fourth's, still running
            ui.saveChoices = {SaveChoice::Discard};
            fourth.w->close();
            fifth.w->close();
        }
        QVERIFY(QDir(stateFolder()).isEmpty());
    }

    // A restored level's pictures live in its editor's folder while the
    // level may need them, and go with New (or Open) and a clean close.
    void restoredPicturesDoNotPileUp() {
        {
            StartedEditor ed(true);
            addStage(ed, ui, "desert.bmp");
            ed.openStage(0);
            addSprites(ed, {"coin.bmp"});
            QVERIFY(ed.recoveryWritten());
        }
        for (bool viaClose : {false, true}) {
            // The crashed editor of the first round, or a restored level left again.
            StartedEditor ed(true);
            QCOMPARE(ed.L().image(1).name.str(), std::string("coin.bmp"));
            const QString own = QString::fromStdString(ed.w->document().recovery().sessionFolder());
            const QString picture = QString::fromStdString(ed.L().image(1).path.str());
            QVERIFY2(picture.startsWith(own + "/"), qPrintable(picture));
            saveTo(ed, ui, home->path("kept.slv"));
            // Saved elsewhere, the level still draws from them.
            QVERIFY(QFileInfo::exists(picture));
            if (!viaClose) {
                ed.w->newLevel();
                QVERIFY(!QFileInfo::exists(picture));
                // Set up the next round: a changed restored level left behind.
                ui.openAnswers.push_back({home->path("kept.slv")});
                ed.w->openLevel();
                addStage(ed, ui, "sea.bmp");
                QVERIFY(ed.recoveryWritten());
                // Ends without closing.
            } else {
                ed.w->close();
                QVERIFY(QDir(stateFolder()).isEmpty());
            }
        }
    }

    // The recovery package is written beside the frame loop: with the
    // writer held on its note (a pipe nobody reads yet), frames are drawn and
    // the write is still under way; let go, it ends with the whole level.
    void recoveryPackageIsWrittenWhileFramesGoOn() {
        StartedEditor ed;
        const char* pics[] = {"forest.bmp", "sea.bmp", "city.bmp", "desert.bmp"};
        for (const char* pic : pics) addStage(ed, ui, pic);
        ed.openStage(0);
        addSprites(ed, {"coin.bmp", "gem.bmp"});
        RecoveryWriter& rw = ed.w->document().recovery();
        rw.claimSession();
        const std::string held = rw.notePath() + ".part";
        QCOMPARE(::mkfifo(held.c_str(), 0600), 0);
        // Reads the pipe when told, or after a while on its own, so that a
        // write made on the window's thread fails the test instead of hanging it.
        std::promise<void> letGo;
        std::string note;
        std::thread reader([&, told = letGo.get_future()] {
            told.wait_for(std::chrono::seconds(10));
            const int fd = ::open(held.c_str(), O_RDONLY);
            char buf[256];
            for (ssize_t r; fd >= 0 && (r = ::read(fd, buf, sizeof buf)) > 0;) note.append(buf, std::size_t(r));
            if (fd >= 0) ::close(fd);
        });
        ed.w->document().writeRecoveryNow();
        const bool writingAfterCopy = rw.busy();
        Surface* bb = ed.w->findChild<slv::SceneWidget*>("sceneView")->backBuffer();
        constexpr std::uint32_t marker = 0x123456;
        bb->fill(marker);
        ed.ticks(3);
        const bool frameDrawn = ed.pixel(bb->width() / 2, bb->height() / 2) != marker;
        const bool writingAfterFrames = rw.busy();
        letGo.set_value();
        reader.join();
        rw.wait();
        QVERIFY(writingAfterCopy);
        QVERIFY(frameDrawn);
        QVERIFY(writingAfterFrames);
        QVERIFY2(rw.lastError().empty(), rw.lastError().c_str());
        auto written = std::make_unique<Level>();
        PackageHooks quiet;
        openLevel(*written, rw.packagePath(), quiet);
        QCOMPARE(written->stageCount, int(std::size(pics)));
        QCOMPARE(written->stage(1).spriteCount, 2);
        // The pipe was renamed over the note; a plain file takes its place.
        QVERIFY(QFile::remove(QString::fromStdString(rw.notePath())));
        writeFile(QString::fromStdString(rw.notePath()), QByteArray::fromStdString(note));
    }
};

SLV_WINDOW_TEST_MAIN(UndoTest)

#include "test_undo.moc"
