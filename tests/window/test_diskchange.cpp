// The open package changed by another program: Save asks before replacing
// it, a level with no unsaved changes is offered to be opened again, an
// edited one is told once, and the editor's own Save counts as no change.
#include <QMessageBox>
#include <QSignalSpy>
#include <chrono>
#include <filesystem>

#include "editor/picturewatcher.h"
#include "harness.h"
#include "package/levelio.h"

using namespace slv;

namespace {

int storedStages(const QString& pkg) { return readPackage(pkg.toStdString()).header.stageCount; }

void renameOver(const QString& pkg, const QByteArray& bytes) {
    writeFile(pkg + ".new", bytes);
    QFile::remove(pkg);
    QVERIFY(QFile::rename(pkg + ".new", pkg));
}

// Another program's change of `pkg`; returns the bytes it leaves (empty
// when the file is gone).
QByteArray changeOnDisk(const QString& kind, const QString& pkg, const QByteArray& otherPackage) {
    namespace fs = std::filesystem;
    const fs::path file = pkg.toStdString();
    if (kind == "renamed over") {
        renameOver(pkg, otherPackage);
    } else if (kind == "written in place") {
        // Same size and, as a write within one clock tick leaves it, the
        // same modification time: only the bytes differ.
        const auto time = fs::last_write_time(file);
        QFile f(pkg);
        f.open(QIODevice::ReadWrite);
        f.seek(f.size() / 2);
        const char byte = f.peek(1).at(0);
        f.write(QByteArray(1, char(byte ^ 0x5A)));
        f.close();
        fs::last_write_time(file, time);
    } else if (kind == "touched") {
        fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(5));
    } else if (kind == "deleted") {
        QFile::remove(pkg);
    }
    return QFileInfo::exists(pkg) ? readFile(pkg) : QByteArray();
}

// The package watcher of a window: the one watching `pkg`.
PictureWatcher* packageWatcher(MainWindow& w, const QString& pkg) {
    for (PictureWatcher* watcher : w.findChildren<PictureWatcher*>())
        if (watcher->watchedFiles() == QStringList{QFileInfo(pkg).absoluteFilePath()}) return watcher;
    return nullptr;
}

QString replaceQuestion(const QString& name) {
    return "“" + name + "” was changed on disk since it was opened. Replace it ?";
}

}  // namespace

class DiskChangeTest : public WindowTest {
    Q_OBJECT

    // A level of one stage saved as `pkg`, kept as `older` as well, then of
    // two stages saved as `pkg`: `older` is another version of the package.
    void saveTwoVersions(Editor& ed, const QString& pkg, const QString& older) {
        addStage(ed, ui, "sea.bmp");
        saveTo(ed, ui, pkg);
        QVERIFY(QFile::copy(pkg, older));
        addStage(ed, ui, "city.bmp");
        ed.w->saveLevel();
        QCOMPARE(storedStages(pkg), 2);
        QVERIFY(ed.w->document().isClean());
    }

private slots:
    // Save over a package changed on disk since it was opened or saved
    // asks first; No keeps the other program's file and the unsaved level,
    // Yes saves. A deleted package is saved again without a question, and
    // Save As to another file asks nothing of this kind.
    void saveOverAChangedPackageAsks_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("saveAs");
        QTest::addColumn<bool>("asks");
        for (const char* change : {"renamed over", "written in place", "touched"}) {
            QTest::addRow("%s, Yes", change) << change << true << false << true;
            QTest::addRow("%s, No", change) << change << false << false << true;
        }
        QTest::newRow("deleted") << "deleted" << false << false << false;
        QTest::newRow("renamed over, Save As elsewhere") << "renamed over" << false << true << false;
        QTest::newRow("untouched") << "untouched" << false << false << false;
    }
    void saveOverAChangedPackageAsks() {
        QFETCH(QString, change);
        QFETCH(bool, yes);
        QFETCH(bool, saveAs);
        QFETCH(bool, asks);
        StartedEditor ed;
        const QString pkg = home->path("level.slv");
        saveTwoVersions(ed, pkg, home->path("older.slv"));
        ed.drawSector({100, 100}, {180, 150});
        QVERIFY(!ed.w->document().isClean());

        const QByteArray theirs = changeOnDisk(change, pkg, readFile(home->path("older.slv")));
        ui.diskChangeAnswer = yes;
        if (saveAs) {
            ui.saveAnswers.push_back(home->path("elsewhere.slv"));
            ed.w->saveLevelAs();
        } else {
            ed.w->saveLevel();
        }

        QCOMPARE(ui.diskChangeQuestions, asks ? QStringList{replaceQuestion("level.slv")} : QStringList());
        const bool saved = !asks || yes;
        QCOMPARE(ed.w->document().isClean(), saved);
        const QString written = saveAs ? home->path("elsewhere.slv") : pkg;
        if (saved) {
            QCOMPARE(readPackage(written.toStdString()).tables.stage(2).sectorCount, 1);
            if (!saveAs) QVERIFY(readFile(pkg) != theirs);
        }
        if (!saved || saveAs) QCOMPARE(readFile(pkg), theirs);
        // Saved over it, the package is the level's own again: no question.
        if (saved && !saveAs) {
            ed.drawSector({20, 20}, {60, 60});
            ed.w->saveLevel();
            QCOMPARE(ui.diskChangeQuestions.size(), asks ? 1 : 0);
            QVERIFY(ed.w->document().isClean());
        }
    }

    // The Save question's real box answers No to Enter and to Escape.
    void theRealQuestionDefaultsToNo() {
        const auto box = UiServices::diskChangeBox(nullptr, replaceQuestion("level.slv"));
        QVERIFY(box->button(QMessageBox::No));
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
        QCOMPARE(box->escapeButton(), box->button(QMessageBox::No));
    }

    // Two editors on one package: the second, edited after the first saved,
    // is asked before its Save replaces the first's work.
    void twoEditorsOnOnePackage_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }
    void twoEditorsOnOnePackage() {
        QFETCH(bool, yes);
        const QString pkg = home->path("shared.slv");
        StartedEditor first;
        addStage(first, ui, "sea.bmp");
        saveTo(first, ui, pkg);
        StartedEditor second;
        ui.openAnswers.push_back({pkg});
        second.w->openLevel();
        QCOMPARE(second.L().stageCount, 1);
        second.openStage(0);

        addStage(first, ui, "city.bmp");
        first.w->saveLevel();
        second.drawSector({100, 100}, {180, 150});
        ui.diskChangeAnswer = yes;
        second.w->saveLevel();

        QCOMPARE(ui.diskChangeQuestions, QStringList{replaceQuestion("shared.slv")});
        QCOMPARE(storedStages(pkg), yes ? 1 : 2);
        QCOMPARE(second.w->document().isClean(), yes);
    }

    // The editor's own Save replaces the package by a rename: the watcher
    // sees it, and the window takes it for no change, after Open as after Save.
    void ownSaveIsNoChange() {
        StartedEditor ed;
        const QString pkg = home->path("level.slv");
        addStage(ed, ui, "sea.bmp");
        saveTo(ed, ui, pkg);
        ui.openAnswers.push_back({pkg});
        ed.w->openLevel();
        ed.openStage(0);
        PictureWatcher* watcher = packageWatcher(*ed.w, pkg);
        QVERIFY(watcher);
        QSignalSpy reports(watcher, &PictureWatcher::picturesChanged);
        for (int save = 0; save < 2; ++save) {
            ed.drawSector({100 + 20 * save, 100}, {110 + 20 * save, 120});
            const qsizetype before = reports.size();
            ed.w->saveLevel();
            QTRY_VERIFY_WITH_TIMEOUT(reports.size() > before, 5000);
        }
        QCoreApplication::processEvents();
        QCOMPARE(ui.diskChangeQuestions, QStringList());
        QCOMPARE(ui.notes, QStringList());
        QVERIFY(ed.w->document().isClean());
    }

    // Another program's change noticed while the editor is idle: a level
    // with no unsaved changes is offered to be opened again (Yes opens the
    // package as it is now); an edited one is told once, and keeps its
    // changes until its Save asks.
    void changeNoticedWhileIdle_data() {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<bool>("yes");
        QTest::newRow("clean, Yes") << false << true;
        QTest::newRow("clean, No") << false << false;
        QTest::newRow("edited") << true << false;
    }
    void changeNoticedWhileIdle() {
        QFETCH(bool, edited);
        QFETCH(bool, yes);
        StartedEditor ed;
        const QString pkg = home->path("level.slv");
        saveTwoVersions(ed, pkg, home->path("older.slv"));
        if (edited) ed.drawSector({100, 100}, {180, 150});
        PictureWatcher* watcher = packageWatcher(*ed.w, pkg);
        QVERIFY(watcher);
        QSignalSpy reports(watcher, &PictureWatcher::picturesChanged);
        ui.diskChangeAnswer = yes;

        renameOver(pkg, readFile(home->path("older.slv")));
        QTRY_VERIFY_WITH_TIMEOUT(!reports.isEmpty(), 5000);
        QCoreApplication::processEvents();
        const QString again = "“level.slv” was changed on disk. Open it again ?";
        QCOMPARE(ui.diskChangeQuestions, edited ? QStringList() : QStringList{again});
        QCOMPARE(ui.notes.size(), edited ? 1 : 0);
        if (edited) QVERIFY(ui.notes[0].startsWith("“level.slv” was changed on disk."));
        QCOMPARE(ed.L().stageCount, yes ? 1 : 2);
        QCOMPARE(ed.w->document().packagePath(), pkg.toStdString());
        QCOMPARE(ed.w->document().isClean(), !edited);

        // Changed once more: an edited level is not told again.
        const qsizetype before = reports.size();
        std::filesystem::last_write_time(pkg.toStdString(),
                                         std::filesystem::last_write_time(pkg.toStdString()) + std::chrono::seconds(5));
        QTRY_VERIFY_WITH_TIMEOUT(reports.size() > before, 5000);
        QCoreApplication::processEvents();
        QCOMPARE(ui.notes.size(), edited ? 1 : 0);
        if (yes) return;
        // Not opened again: Save asks before replacing the other version.
        ui.diskChangeQuestions.clear();
        ui.diskChangeAnswer = false;
        ed.w->saveLevel();
        QCOMPARE(ui.diskChangeQuestions, QStringList{replaceQuestion("level.slv")});
        QCOMPARE(storedStages(pkg), 1);
    }
};

SLV_WINDOW_TEST_MAIN(DiskChangeTest)
#include "test_diskchange.moc"
