// Saving and the author's keys as the window offers them: Save in place and
// Save as with its question, the command keys, fields that refuse without
// rewriting, the window in step after undo, and pictures that change on disk.
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTimer>
#include <cstring>

#include "common/bmp_writer.h"
#include <QStatusBar>

#include "harness.h"
#include "model/errors.h"
#include "package/levelio.h"

using namespace slv;

namespace {

constexpr int kVkF8 = 119, kVkInsert = 45, kVkEscape = 27;

// A level of one open stage with a sprite and a sector, saved as `pkg`.
struct SavedLevel : Editor {
    SavedLevel(CaptureUi& ui, const QString& pkg) {
        ticks(1);
        addStage(*this, ui, "sea.bmp");
        addSprites(*this, {"coin.bmp"});
        drawSector({100, 100}, {180, 150});
        saveTo(*this, ui, pkg);
        // The sprite picked, as an author does before typing its position.
        w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        w->selectRow(w->findChild<QListWidget*>("spriteList"), 0);
        w->showSpriteFields(1);
    }
};

std::string stored(const QString& pkg, int sprite) {
    const PackageContents c = readPackage(pkg.toStdString());
    return std::to_string(c.tables.sprite(sprite, 1).x);
}

void repaint(const QString& path, int width, int height, std::uint32_t rgb) {
    const std::string tmp = path.toStdString() + ".new";
    writeBmp(tmp, {width, height, 24, false}, [rgb](int, int) { return rgb; });
    // Replaced by a rename, as paint programs save.
    QFile::remove(path);
    QFile::rename(QString::fromStdString(tmp), path);
}

// Writes `bytes` over the file at `path` by a rename, as paint programs save.
void overwrite(const QString& path, const QByteArray& bytes) {
    writeFile(path + ".new", bytes);
    QFile::remove(path);
    QFile::rename(path + ".new", path);
}

// 100 bytes whose header declares 16384 x 16384 pixels of 32 bits (1 GB).
QByteArray lyingBitmap() {
    QByteArray b = QByteArray::fromStdString(bmpHeader(16384, 16384, 32));
    b.resize(100, '\0');
    return b;
}

// The bytes of the package's member for image `image` and for stage `stage`.
QByteArray imageMember(const QString& pkg, int image) {
    const PackageHeader h = readPackage(pkg.toStdString()).header;
    return readFile(pkg).mid(h.dataStart + h.imageEntry(image).start, h.imageEntry(image).size);
}
QByteArray stageMember(const QString& pkg, int stage) {
    const PackageHeader h = readPackage(pkg.toStdString()).header;
    return readFile(pkg).mid(h.dataStart + h.stageEntry(stage).start, h.stageEntry(stage).size);
}

}  // namespace

class SavingTest : public WindowTest {
    Q_OBJECT

    // A level of one stage saved, and a copy of its package in a folder of
    // its own, opened in `ed`: its two bitmap files are not written yet.
    QString openCopy(std::optional<StartedEditor>& ed) {
        { SavedLevel saved(ui, home->path("one.slv")); }
        const QString pkg = home->path("fresh/one.slv");
        QDir().mkpath(home->path("fresh"));
        QFile::copy(home->path("one.slv"), pkg);
        ed.emplace();
        ui.openAnswers.push_back({pkg});
        ed->w->openLevel();
        return pkg;
    }

    // Whether the package at `path` holds the pictures of the level openCopy
    // opened, as they were saved.
    bool holdsTheOpenedPictures(const QString& path) {
        const QByteArray saved = readFile(path);
        const PackageHeader h = readPackage(path.toStdString()).header;
        return saved.mid(h.dataStart + h.imageEntry(1).start, h.imageEntry(1).size) ==
                   readFile(home->path("sprites/coin.bmp")) &&
               saved.mid(h.dataStart + h.stageEntry(1).start, h.stageEntry(1).size) ==
                   readFile(home->path("backpx/sea.bmp"));
    }

private slots:

    // Viewing a level changes nothing in it: a package opened and saved
    // after the sprites have animated for several steps, twice, holds the
    // bytes it held, each sprite's stored frame included; a sprite dragged
    // meanwhile changes its own record and nothing else.
    void viewingALevelDoesNotChangeIt_data() {
        QTest::addColumn<int>("dragged");  // the sprite dragged before saving; 0 for none
        QTest::newRow("no edit") << 0;
        QTest::newRow("one sprite dragged") << 2;
    }
    void viewingALevelDoesNotChangeIt() {
        QFETCH(int, dragged);
        const QString pkg = home->path("shown.slv");
        {
            StartedEditor author;
            addStage(author, ui, "sea.bmp");
            addSprites(author, {"fan.bmp", "flame.bmp", "bird.bmp"});
            for (int n = 1; n <= 3; ++n) {
                SpriteRec& sp = author.L().sprite(n, 1);
                QVERIFY(sp.frameCount >= 2);
                sp.x = 150 * n, sp.y = 120;
                sp.frame = sp.frameCount;  // a package may hold any frame of the strip
            }
            saveTo(author, ui, pkg);
        }
        const QByteArray original = readFile(pkg);
        ui.saveStarts.clear();
        const PackageContents before = readPackage(pkg.toStdString());

        StartedEditor ed;
        ui.openAnswers.push_back({pkg});
        ed.w->openLevel();
        ed.openStage(0);
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        for (int save = 1; save <= 2; ++save) {
            // One step more than the first sprite's frames: it shows another frame than it started from.
            for (int step = 0; step <= ed.L().sprite(1, 1).frameCount; ++step) ed.animationStep();
            QVERIFY(ed.shownFrame(1) != before.tables.sprite(1, 1).frame);  // the view has animated
            if (dragged && save == 2) {
                const SpriteRec& sp = ed.L().sprite(dragged, 1);
                const QPoint grip(sp.x + sp.w / 2, sp.y + sp.h / 2);
                ed.drag(Qt::LeftButton, grip, grip + QPoint(40, 30), 3);
            }
            ed.w->saveLevel();
            QVERIFY(ui.saveStarts.isEmpty());  // saved in place, no dialog
            const PackageContents after = readPackage(pkg.toStdString());
            QStringList changed;
            for (int n = 1; n <= kMaxSprites; ++n)
                for (int s = 1; s <= kMaxStages; ++s)
                    if (std::memcmp(&before.tables.sprite(n, s), &after.tables.sprite(n, s), sizeof(SpriteRec)) != 0)
                        changed << QString("sprite %1 of stage %2").arg(n).arg(s);
            const bool moved = dragged && save == 2;
            QCOMPARE(changed, moved ? QStringList{QString("sprite %1 of stage 1").arg(dragged)} : QStringList{});
            if (moved) {
                SpriteRec expect = before.tables.sprite(dragged, 1);
                expect.x += 40, expect.y += 30;
                QCOMPARE(std::memcmp(&expect, &after.tables.sprite(dragged, 1), sizeof expect), 0);
                QCOMPARE(readFile(pkg).size(), original.size());
            } else {
                QVERIFY(readFile(pkg) == original);
            }
        }
    }

    // Open shows the level before its bitmap files are written. They are
    // written between frames; what reads one writes it first (a stage opened
    // its backdrop and strip, a preview its picture, undo the strip it loads
    // again), and what reads them all (another level) all of them. Save and
    // the recovery copy take them from the package they wait in.
    // `read`: the file the action needed, if any.
    void openedFilesAreWrittenBeforeTheyAreRead_data() {
        QTest::addColumn<QString>("then");
        QTest::addColumn<int>("leftAfter");
        QTest::addColumn<QString>("read");
        for (const char* then : {"frames", "open stage", "new", "open again"})
            QTest::newRow(then) << then << 0 << "sea.bmp";
        QTest::newRow("preview") << "preview" << 1 << "sea.bmp";
        QTest::newRow("undo") << "undo" << 1 << "coin.bmp";
        QTest::newRow("save") << "save" << 2 << "";
        QTest::newRow("recovery") << "recovery" << 2 << "";
    }
    void openedFilesAreWrittenBeforeTheyAreRead() {
        QFETCH(QString, then);
        QFETCH(int, leftAfter);
        QFETCH(QString, read);
        std::optional<StartedEditor> ed;
        const QString pkg = openCopy(ed);
        LevelDocument& doc = ed->w->document();
        doc.setRecoveryDelay(10);
        const QString stageFile = QString::fromStdString(ed->L().stage(1).path.str());
        const QString imageFile = QString::fromStdString(ed->L().image(1).path.str());
        QCOMPARE(doc.levelFilesLeft(), std::size_t(2));
        QVERIFY(!QFileInfo::exists(stageFile) && !QFileInfo::exists(imageFile));
        QVERIFY(ed->surface(ed->L().image(1).surface));  // its picture is loaded all the same

        if (then == "frames") QTRY_COMPARE(doc.levelFilesLeft(), std::size_t(0));
        if (then == "save") {
            ui.saveAnswers.push_back(home->path("copy.slv"));
            ed->w->saveLevelAs();
            QVERIFY(holdsTheOpenedPictures(home->path("copy.slv")));
        }
        if (then == "open stage") ed->openStage(0);
        if (then == "preview") {
            ed->w->selectRow(ed->w->findChild<QListWidget*>("stageList"), 0);
            ed->w->previewSelectedStage();
            QVERIFY(!ed->w->findChild<QLabel*>("previewPicture")->pixmap().isNull());
        }
        if (then == "undo") {
            doc.deleteStage(1);  // its sprite's picture goes; undo loads it again
            QVERIFY(doc.undo());
        }
        if (then == "recovery") {
            doc.edit({"Move", 1, 0}, [&] { ed->L().sprite(1, 1).x += 5; });
            doc.writeRecoveryNow();
            doc.recovery().wait();
            QVERIFY(holdsTheOpenedPictures(QString::fromStdString(doc.recovery().packagePath())));
        }
        if (then == "new") ed->w->newLevel();
        if (then == "open again") {
            ui.openAnswers.push_back({pkg});
            ed->w->openLevel();  // the first Open's files are there, and shared
            QCOMPARE(QDir(home->path("fresh/backpx")).entryList(QDir::Files), QStringList{"sea.bmp"});
        }
        QCOMPARE(int(doc.levelFilesLeft()), leftAfter);
        if (!read.isEmpty()) {
            const QString readFirst = read == "sea.bmp" ? stageFile : imageFile;
            QCOMPARE(readFile(readFirst), readFile(home->path(read == "sea.bmp" ? "backpx/sea.bmp" : "sprites/coin.bmp")));
        }
        QTRY_COMPARE(doc.levelFilesLeft(), std::size_t(0));
        QCOMPARE(readFile(stageFile), readFile(home->path("backpx/sea.bmp")));
        QCOMPARE(readFile(imageFile), readFile(home->path("sprites/coin.bmp")));
    }

    // A file that takes a name before the editor writes it there is said
    // once and kept; Save and the recovery copy store the level's own
    // picture all the same, and once it is gone the file is written.
    void aFileInTheWayAfterOpenIsReportedAndKept() {
        std::optional<StartedEditor> ed;
        const QString pkg = openCopy(ed);
        const QString imageFile = QString::fromStdString(ed->L().image(1).path.str());
        writeFile(imageFile, "theirs");
        QTRY_VERIFY(!ui.errors.isEmpty());
        const QStringList said = ui.takeErrors();
        QCOMPARE(said.size(), 1);
        QVERIFY2(said.first().contains(imageFile), "the error names the file");
        // Passes of the event loop, each of which a writer that kept retrying
        // would use to try again.
        for (int pass = 0; pass < 20; ++pass) QCoreApplication::processEvents();
        QVERIFY(ui.errors.isEmpty());  // said once
        LevelDocument& doc = ed->w->document();
        doc.edit({"Move", 1, 0}, [&] { ed->L().sprite(1, 1).x += 5; });
        doc.writeRecoveryNow();
        doc.recovery().wait();
        QVERIFY(holdsTheOpenedPictures(QString::fromStdString(doc.recovery().packagePath())));
        ed->w->saveLevel();
        QVERIFY(doc.isClean());
        QVERIFY(holdsTheOpenedPictures(pkg));
        QCoreApplication::processEvents();  // the recovery worker's report
        QVERIFY(ui.errors.isEmpty());
        QCOMPARE(readFile(imageFile), QByteArray("theirs"));
        QFile::remove(imageFile);
        doc.writeLevelFiles();
        QCOMPARE(readFile(imageFile), readFile(home->path("sprites/coin.bmp")));
    }

    // Save writes the level's own package with no dialog; Save as starts at
    // it, and asks (No by default) before replacing another file.
    void saveInPlaceAndSaveAs() {
        const QString pkg = home->path("one.slv"), other = home->path("other.slv");
        writeFile(other, "another level");
        SavedLevel ed(ui, pkg);
        QCOMPARE(ui.saveStarts, QStringList{QString::fromStdString(ed.settings().workFolder)});
        ed.w->findChild<QSpinBox*>("spriteXField")->setValue(321);
        ed.w->saveLevel();
        QCOMPARE(ui.saveStarts.size(), 1);  // no dialog
        QCOMPARE(stored(pkg, 1), std::string("321"));
        QVERIFY(ed.w->document().isClean());

        ed.w->findChild<QSpinBox*>("spriteXField")->setValue(42);
        ui.saveAnswers.push_back(other);
        ed.w->saveLevelAs();
        QCOMPARE(ui.saveStarts.mid(1), (QStringList{pkg, other}));  // No: the dialog again, then cancelled
        QCOMPARE(ui.replaceQuestions, QStringList{"other.slv already exists. Replace it ?"});
        QCOMPARE(readFile(other), QByteArray("another level"));
        QVERIFY(!ed.w->document().isClean());
        ui.replaceAnswer = true;
        ui.saveAnswers.push_back(other);
        ed.w->saveLevelAs();
        QCOMPARE(stored(other, 1), std::string("42"));
        QCOMPARE(ed.w->document().packagePath(), other.toStdString());
        QCOMPARE(stored(pkg, 1), std::string("321"));
    }

    // No to "Replace it ?" goes back to the Save As dialog at the name chosen:
    // the author picks another name (saved there, the existing file kept),
    // says Yes at last, or cancels the dialog (nothing saved).
    void noToReplaceAsksForAnotherName_data() {
        QTest::addColumn<QStringList>("answers");  // file names chosen, in turn
        QTest::addColumn<QList<bool>>("replace");  // the answers to "Replace it ?"
        QTest::addColumn<QString>("savedTo");      // empty: nothing saved
        QTest::newRow("no, then a new name") << QStringList{"other.slv", "third.slv"} << QList<bool>{false} << "third.slv";
        QTest::newRow("no twice, then yes")
            << QStringList{"other.slv", "other.slv", "other.slv"} << QList<bool>{false, false, true} << "other.slv";
        QTest::newRow("no, then cancel") << QStringList{"other.slv"} << QList<bool>{false} << "";
    }
    void noToReplaceAsksForAnotherName() {
        QFETCH(QStringList, answers);
        QFETCH(QList<bool>, replace);
        QFETCH(QString, savedTo);
        const QString pkg = home->path("one.slv"), other = home->path("other.slv");
        writeFile(other, "another level");
        SavedLevel ed(ui, pkg);
        ed.w->findChild<QSpinBox*>("spriteXField")->setValue(42);
        ui.saveStarts.clear();
        for (const QString& name : answers) ui.saveAnswers.push_back(home->path(name));
        ui.replaceQuestions.clear();
        for (bool yes : replace) ui.replaceAnswers.push_back(yes);
        ed.w->saveLevelAs();
        // Each dialog after the first starts at the name chosen before it.
        QStringList starts{pkg};
        for (int k = 1; k < answers.size() || (savedTo.isEmpty() && k == answers.size()); ++k)
            starts << home->path(answers[k - 1]);
        QCOMPARE(ui.saveStarts, starts);
        QCOMPARE(ui.replaceQuestions.size(), replace.size());
        QVERIFY(ui.replaceAnswers.empty());
        if (savedTo.isEmpty()) {
            QVERIFY(!ed.w->document().isClean());
            QCOMPARE(ed.w->document().packagePath(), pkg.toStdString());
        } else {
            QCOMPARE(ed.w->document().packagePath(), home->path(savedTo).toStdString());
            QCOMPARE(stored(home->path(savedTo), 1), std::string("42"));
        }
        if (savedTo != "other.slv") QCOMPARE(readFile(other), QByteArray("another level"));
    }

    // Add on the Sector tab says, in the status line and its tooltip, how a
    // sector is drawn, and adds nothing; on the other tabs it stays Add.
    void addOnTheSectorTabTellsHowToDrawOne_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("tells");
        QTest::newRow("stages") << 0 << false;
        QTest::newRow("sprites") << 1 << false;
        QTest::newRow("sectors") << 2 << true;
    }
    void addOnTheSectorTabTellsHowToDrawOne() {
        QFETCH(int, tab);
        QFETCH(bool, tells);
        const QString how = "Drag with the right mouse button on the scene to draw a sector.";
        SavedLevel ed(ui, home->path("one.slv"));
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(tab);
        auto* add = ed.w->findChild<QToolButton*>("addButton");
        QCOMPARE(add->toolTip() == how, tells);
        if (!tells) return;
        QVERIFY(add->isEnabled());
        const int sectors = ed.L().stage(1).sectorCount;
        ed.w->statusBar()->clearMessage();
        add->click();
        QCOMPARE(ed.w->statusBar()->currentMessage(), how);
        QCOMPARE(ed.L().stage(1).sectorCount, sectors);
        // Back on another tab, the tooltip is Add's own again.
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(0);
        QVERIFY(add->toolTip() != how);
    }

    // A refused sector name comes back in the rename field as typed, with
    // its fault selected: the first character a level cannot store, or the
    // characters past the 20 a name holds. The corrected name is taken.
    void refusedRenameKeepsTheTypedText_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("selectStart");
        QTest::addColumn<int>("selectLength");
        QTest::newRow("too long") << "a name too long for a sector" << 20 << 8;
        QTest::newRow("21 characters") << "Entrance to the caves" << 20 << 1;
        QTest::newRow("a character not stored") << QString::fromUtf8("Exit \u2603 door") << 5 << 1;
        QTest::newRow("a character of two units") << QString::fromUtf8("Gate \U0001F600 two") << 5 << 2;
        QTest::newRow("too long, an odd character last")
            << QString::fromUtf8("Entrance to the cave\u2603") << 20 << 1;
    }
    void refusedRenameKeepsTheTypedText() {
        QFETCH(QString, typed);
        QFETCH(int, selectStart);
        QFETCH(int, selectLength);
        SavedLevel ed(ui, home->path("one.slv"));
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(2);
        ed.w->selectRow(ed.w->findChild<QListWidget*>("sectorList"), 0);
        const std::string before = ed.L().sector(1, 1).name.str();
        ui.textAsked.clear();
        ui.textAnswers = {typed, "Exit"};
        ed.w->routeKeyDown(kVkF8, Qt::NoModifier);
        QCOMPARE(int(ui.textAsked.size()), 2);
        QCOMPARE(ui.textAsked[0].initial, QString::fromStdString(before));
        QCOMPARE(ui.textAsked[1].initial, typed);
        QCOMPARE(ui.textAsked[1].selectStart, selectStart);
        QCOMPARE(ui.textAsked[1].selectLength, selectLength);
        QVERIFY(!ed.w->statusBar()->currentMessage().isEmpty());
        QCOMPARE(ed.L().sector(1, 1).name.str(), std::string("Exit"));
    }

    // Each command key runs its command and does not reach the actor; the
    // tooltips name the keys.
    void commandKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<QString>("ran");
        QTest::newRow("Ctrl+S") << 83 << false << "save";
        QTest::newRow("Ctrl+Shift+S") << 83 << true << "save as";
        QTest::newRow("Ctrl+O") << 79 << false << "open";
        QTest::newRow("Ctrl+N") << 78 << false << "new";
    }
    void commandKeys() {
        QFETCH(int, key);
        QFETCH(bool, shift);
        QFETCH(QString, ran);
        SavedLevel ed(ui, home->path("one.slv"));
        ed.w->findChild<QSpinBox*>("spriteXField")->setValue(7);  // unsaved: New and Open ask first
        ui.saveStarts.clear();
        ui.unanswered = SaveChoice::Discard;
        const Qt::KeyboardModifiers mods = shift ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier;
        ed.w->routeKeyDown(key, mods);
        QCOMPARE(ed.w->actor().heldKeys[0], -1);
        if (ran == "save") QVERIFY(ed.w->document().isClean() && ui.saveStarts.isEmpty());
        if (ran == "save as") QCOMPARE(ui.saveStarts.size(), 1);
        if (ran == "open") QCOMPARE(ui.openFolders.size(), 2);  // after the stage's
        if (ran == "new") QCOMPARE(ed.L().stageCount, 0);
        if (ran == "open" || ran == "new") QCOMPARE(ui.saveQuestions.size(), 1);
        ed.w->routeKeyDown(key, mods, true);  // held: no second run
        if (ran == "save as") QCOMPARE(ui.saveStarts.size(), 1);
        if (ran == "open") QCOMPARE(ui.openFolders.size(), 2);
        for (QToolButton* b : {ed.w->findChild<QToolButton*>("newButton"), ed.w->findChild<QToolButton*>("openButton"), ed.w->findChild<QToolButton*>("saveButton"), ed.w->findChild<QToolButton*>("saveAsButton")})
            QVERIFY2(b->toolTip().contains("Ctrl+"), qPrintable(b->toolTip()));
    }

    // With no stage open a rubber band makes nothing, and says why once.
    void noSectorWithoutAnOpenStage() {
        StartedEditor ed;
        addStage(ed, ui, "sea.bmp");
        ed.w->document().openStage(0);
        const std::size_t steps = ed.w->document().history().undoCount();
        ed.drawSector({10, 10}, {90, 60});
        QCOMPARE(ed.w->statusBar()->currentMessage(), QString("Open a stage before drawing a sector on it."));
        ed.w->statusBar()->clearMessage();
        ed.drawSector({10, 10}, {90, 60});
        QCOMPARE(ed.w->statusBar()->currentMessage(), QString());
        QCOMPARE(ed.L().stage(0).sectorCount, 0);
        QCOMPARE(ed.w->findChild<QListWidget*>("sectorList")->count(), 0);
        QCOMPARE(ed.w->document().history().undoCount(), steps);
    }

    // The finished progress panel stays up for its moment while the window
    // goes on: a timer fires during the pause.
    void progressPauseDoesNotBlock() {
        StartedEditor ed;
        ed.w->progressPauseMs = 60000;
        addStage(ed, ui, "sea.bmp");
        bool fired = false;
        QTimer::singleShot(0, [&] { fired = true; });
        saveTo(ed, ui, home->path("p.slv"));
        QVERIFY(ed.w->findChild<slv::ProgressPanel*>("progressPanel")->isVisible());
        QTRY_VERIFY(fired);
        QVERIFY(ed.w->findChild<slv::ProgressPanel*>("progressPanel")->isVisible());
    }

    // A refused value stays as typed until it is confirmed, then the field
    // shows the record again with a word on why; Esc leaves a field; held
    // keys repeat no command; F8 renames a sector in one step.
    void fieldsAndKeys() {
        SavedLevel ed(ui, home->path("one.slv"));
        ed.w->selectRow(ed.w->findChild<QListWidget*>("sectorList"), 0);
        ed.w->showSectorFields(1);
        QSpinBox* width = ed.w->findChild<QSpinBox*>("sectorWidthField");
        width->setFocus();
        width->selectAll();
        QTest::keyClicks(width, "-100");
        QCOMPARE(width->text(), QString("-100"));
        QCOMPARE(ed.L().sector(1, 1).w, 80);
        QTest::keyClick(width, Qt::Key_Return);
        QCOMPARE(ui.takeErrors(), QStringList{"A sector's width cannot be below 0."});
        QCOMPARE(width->value(), 80);

        width->setFocus();
        QTest::keyClicks(width, "5");
        ed.w->routeKeyDown(kVkEscape, Qt::NoModifier);
        QVERIFY(ed.w->isVisible());
        QVERIFY(!width->hasFocus());

        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(0);
        ed.w->routeKeyDown(kVkInsert, Qt::NoModifier, true);
        QCOMPARE(ui.openFolders.size(), 1);  // the stage added by the fixture only

        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(2);
        ed.w->selectRow(ed.w->findChild<QListWidget*>("sectorList"), 0);
        const std::size_t steps = ed.w->document().history().undoCount();
        ui.textAnswers = {"Exit"};
        ed.w->routeKeyDown(kVkF8, Qt::NoModifier);
        QCOMPARE(ed.w->findChild<QListWidget*>("sectorList")->item(0)->text(), QString("Exit"));
        QCOMPARE(ed.w->document().history().undoCount(), steps + 1);
        ui.textAnswers = {"a name too long for a sector"};
        ed.w->routeKeyDown(kVkF8, Qt::NoModifier);
        QVERIFY(!ed.w->statusBar()->currentMessage().isEmpty());  // the refusal needs no answer
        QCOMPARE(ed.L().sector(1, 1).name.str(), std::string("Exit"));
    }

    // After undo the preview, the lists and the selection match the level.
    void undoLeavesTheWindowInStep() {
        SavedLevel ed(ui, home->path("one.slv"));
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(0);
        ed.w->selectRow(ed.w->findChild<QListWidget*>("stageList"), 0);
        ui.openAnswers.push_back({home->path("backpx/desert.bmp")});
        ed.w->replaceOnActiveTab();
        const QImage desert(home->path("backpx/desert.bmp")), sea(home->path("backpx/sea.bmp"));
        QCOMPARE(ed.w->findChild<QLabel*>("previewPicture")->pixmap().toImage().pixel(5, 5), desert.pixel(5, 5));
        ed.w->undoEdit();
        QCOMPARE(ed.w->findChild<QLabel*>("previewPicture")->pixmap().toImage().pixel(5, 5), sea.pixel(5, 5));

        addStage(ed, ui, "city.bmp");  // opens stage 2
        ed.w->document().openStage(2);
        ed.w->undoEdit();  // the stage 2 add: back on stage 1
        QCOMPARE(ed.L().openStage, 1);
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("stageList")), 0);

        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        ed.w->selectRow(ed.w->findChild<QListWidget*>("spriteList"), 0);
        ed.w->deleteOnActiveTab();
        ed.w->undoEdit();
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("spriteList")), 0);
        QCOMPARE(ed.w->findChild<QLabel*>("spriteName")->text(), QString("coin.bmp"));
    }

    // The real "Replace it ?" box: Enter, Return and Esc all answer No, so a
    // key pressed out of habit never replaces another level.
    void replaceQuestionAnswersNoToItsKeys_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("Enter") << int(Qt::Key_Enter);
        QTest::newRow("Esc") << int(Qt::Key_Escape);
    }
    void replaceQuestionAnswersNoToItsKeys() {
        QFETCH(int, key);
        UiServices::install(nullptr);  // the real boxes
        QString asked;
        QTimer answer;
        QDeadlineTimer deadline(5000);
        connect(&answer, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->isVisible()) {
                answer.stop();
                asked = box->text();
                QTest::keyClick(box, Qt::Key(key));
            } else if (deadline.hasExpired()) {
                answer.stop();  // no box to answer: close whatever is modal
                if (QWidget* w = QApplication::activeModalWidget()) w->close();
            }
        });
        answer.start(1);
        const bool replaced = UiServices::instance().askReplace(nullptr, "other.slv already exists. Replace it ?");
        UiServices::install(&ui);
        QCOMPARE(asked, QString("other.slv already exists. Replace it ?"));
        QVERIFY(!replaced);
    }

    // A strip or backdrop saved again on disk shows in the view; the same
    // size is no edit, a new width is one undo step.
    void picturesChangedOnDiskAreReloaded() {
        SavedLevel ed(ui, home->path("one.slv"));
        const int m = ed.L().sprite(1, 1).image;
        const QString strip = QString::fromStdString(ed.L().image(m).path.str());
        const QImage before(strip);
        const std::size_t steps = ed.w->document().history().undoCount();
        repaint(strip, before.width(), before.height(), 0x10e020);
        QTRY_VERIFY_WITH_TIMEOUT(ed.surface(ed.L().image(m).surface)->pixelAt(1, 1) ==
                                     ed.w->findChild<slv::SceneWidget*>("sceneView")->device()->rgbToPixel(0x10, 0xe0, 0x20), 5000);
        QCOMPARE(ed.w->document().history().undoCount(), steps);
        QVERIFY(ed.w->document().isClean());

        const int frames = ed.L().sprite(1, 1).frameCount;
        repaint(strip, frames * 10, 12, 0x2040f0);
        QTRY_VERIFY_WITH_TIMEOUT(ed.L().sprite(1, 1).w == 10, 5000);
        QCOMPARE(ed.L().sprite(1, 1).h, 12);
        QCOMPARE(ed.w->document().history().undoCount(), steps + 1);
        QCOMPARE(ed.w->document().history().undoLabel()->name, std::string("Follow changed picture"));

        // The same width, another height: the sprites take the new height.
        repaint(strip, frames * 10, 17, 0x2040f0);
        QTRY_VERIFY_WITH_TIMEOUT(ed.L().sprite(1, 1).h == 17, 5000);
        QCOMPARE(ed.L().sprite(1, 1).w, 10);
        QCOMPARE(ed.w->document().history().undoCount(), steps + 2);
        QVERIFY(ed.w->document().undo());
        QCOMPARE(ed.L().sprite(1, 1).h, 12);

        const QString backdrop = home->path("backpx/sea.bmp");
        const QImage sea(backdrop);
        repaint(backdrop, sea.width(), sea.height(), 0xf0f000);
        QTRY_VERIFY_WITH_TIMEOUT(ed.backdrop()->pixelAt(3, 3) ==
                                     ed.w->findChild<slv::SceneWidget*>("sceneView")->device()->rgbToPixel(0xf0, 0xf0, 0x00), 5000);
    }

    // A broken file written over a sprite's bitmap is told once, file and
    // reason in one message; the level keeps its picture, on the screen and
    // in what Save writes.
    void aBrokenPictureFileLeavesTheLevelItsPicture_data() {
        QTest::addColumn<QByteArray>("broken");
        QTest::addColumn<QString>("reason");
        const QByteArray good = readFile(home->path("sprites/coin.bmp"));
        QTest::newRow("cut short") << good.left(good.size() / 2) << "keeps its picture";
        QTest::newRow("16384 x 16384 in 100 bytes") << lyingBitmap() << "is cut short";
        QTest::newRow("not a picture") << QByteArray(100, 'x') << "keeps its picture";
    }
    void aBrokenPictureFileLeavesTheLevelItsPicture() {
        QFETCH(QByteArray, broken);
        QFETCH(QString, reason);
        SavedLevel ed(ui, home->path("one.slv"));
        const int m = ed.L().sprite(1, 1).image;
        const QString strip = QString::fromStdString(ed.L().image(m).path.str());
        const QByteArray good = readFile(strip);
        const SurfaceHandle shown = ed.L().image(m).surface;
        const std::uint32_t pixel = ed.surface(shown)->pixelAt(1, 1);
        const std::size_t steps = ed.w->document().history().undoCount();

        overwrite(strip, broken);
        QTRY_COMPARE_WITH_TIMEOUT(ui.errors.size(), 1, 5000);
        const QString told = ui.errors.takeFirst();
        QVERIFY2(told.contains(strip) && told.contains(reason), qPrintable(told));
        QCOMPARE(ed.L().image(m).surface, shown);
        QCOMPARE(ed.surface(shown)->pixelAt(1, 1), pixel);
        QCOMPARE(ed.w->document().history().undoCount(), steps);

        // The same unchanged fault in another burst is not told again;
        // another fault is.
        QCOMPARE(ed.w->pictures().reloadChanged({strip}), QStringList());
        QVERIFY(QFile::remove(strip));
        const QStringList gone = ed.w->pictures().reloadChanged({strip});
        QCOMPARE(gone.size(), 1);
        QVERIFY2(gone[0].contains(strip + " is gone"), qPrintable(gone[0]));
        QCOMPARE(ed.L().image(m).surface, shown);

        const QString pkg = home->path("one.slv");  // saved in place
        saveTo(ed, ui, pkg);
        QVERIFY2(ui.errors.isEmpty(), qPrintable(ui.errors.join("\n")));
        QCOMPARE(imageMember(pkg, 1), good);
    }

    // A stage picture whose header declares more than its file holds is
    // refused from its header at Add and Mod: the level does not change.
    void aBrokenStagePictureIsRefusedFromItsHeader_data() {
        QTest::addColumn<bool>("replace");
        QTest::newRow("Add") << false;
        QTest::newRow("Mod") << true;
    }
    void aBrokenStagePictureIsRefusedFromItsHeader() {
        QFETCH(bool, replace);
        SavedLevel ed(ui, home->path("one.slv"));
        writeFile(home->path("backpx/lie.bmp"), lyingBitmap());
        const std::string before = ed.L().stage(1).path.str();
        const std::size_t steps = ed.w->document().history().undoCount();
        const QString path = home->path("backpx/lie.bmp");
        const QString told = [&] {
            try {
                if (replace) ed.w->document().replaceStage(1, path.toStdString());
                else ed.w->document().addStages({path.toStdString()});
            } catch (const std::exception& e) {
                return QString::fromUtf8(e.what());
            }
            return QString();
        }();
        QVERIFY2(told.contains(path) && told.contains("is cut short"), qPrintable(told));
        QCOMPARE(ed.L().stageCount, 1);
        QCOMPARE(ed.L().stage(1).path.str(), before);
        QCOMPARE(ed.w->document().history().undoCount(), steps);
    }

    // Pictures gone from beside the level: Save and the recovery copy still
    // write the level's pictures, for a level made by Add (bytes taken from
    // the files) and for one opened from its package (its members).
    void picturesGoneFromBesideTheLevel_data() {
        QTest::addColumn<bool>("opened");
        QTest::addColumn<QString>("removed");
        for (const bool opened : {false, true}) {
            const char* how = opened ? "opened, " : "added, ";
            QTest::newRow((std::string(how) + "the files").c_str()) << opened << "files";
            QTest::newRow((std::string(how) + "sprites/").c_str()) << opened << "sprites";
            QTest::newRow((std::string(how) + "backpx/").c_str()) << opened << "backpx";
        }
    }
    void picturesGoneFromBesideTheLevel() {
        QFETCH(bool, opened);
        QFETCH(QString, removed);
        const QByteArray strip = readFile(home->path("sprites/coin.bmp"));
        const QByteArray sea = readFile(home->path("backpx/sea.bmp"));
        std::optional<SavedLevel> built;
        std::optional<StartedEditor> started;
        Editor* ed = nullptr;
        if (opened) {
            openCopy(started);
            ed = &*started;
            ed->openStage(0);
            ed->w->document().writeLevelFiles();
        } else {
            built.emplace(ui, home->path("one.slv"));
            ed = &*built;
        }
        LevelDocument& doc = ed->w->document();
        doc.setRecoveryDelay(10);
        const QString stripPath = QString::fromStdString(ed->L().image(1).path.str());
        const QString seaPath = QString::fromStdString(ed->L().stage(1).path.str());
        if (removed == "files") {
            QVERIFY(QFile::remove(stripPath));
            QVERIFY(QFile::remove(seaPath));
        } else {
            QVERIFY(QDir(QFileInfo(removed == "sprites" ? stripPath : seaPath).absolutePath()).removeRecursively());
        }
        doc.edit({"Move sprite"}, [&] { ed->L().sprite(1, 1).x = 77; });
        QTRY_VERIFY_WITH_TIMEOUT(doc.recovery().exists(), 5000);
        doc.recovery().wait();
        const QString copy = QString::fromStdString(doc.recovery().packagePath());
        QCOMPARE(imageMember(copy, 1), strip);
        QCOMPARE(stageMember(copy, 1), sea);

        const QString pkg = QString::fromStdString(doc.packagePath());  // saved in place
        saveTo(*ed, ui, pkg);
        QVERIFY2(ui.errors.isEmpty(), qPrintable(ui.errors.join("\n")));
        QVERIFY(doc.isClean());
        QCOMPARE(imageMember(pkg, 1), strip);
        QCOMPARE(stageMember(pkg, 1), sea);
        QCOMPARE(readPackage(pkg.toStdString()).tables.sprite(1, 1).x, 77);
    }
};

SLV_WINDOW_TEST_MAIN(SavingTest)
#include "test_saving.moc"
