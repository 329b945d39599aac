// The level document without a window: each edit is one named step that
// says what changed, undo and redo select what they touched, and the
// recovery copy is on disk when and where it should be.
#include <QSignalSpy>
#include <QTest>
#include <functional>

#include "common/bmp_writer.h"
#include "common/files.h"
#include "common/tempdir.h"
#include "fake_document.h"
#include "editor/edittools.h"
#include "editor/leveldocument.h"
#include "model/errors.h"
#include "model/fileio.h"

using namespace slv;
using slvtest::TempDir;

namespace {

// A document holding a level of two stages, the second open with two
// sprites and a sector.
struct Doc : FakeDocument {
    Doc() : FakeDocument({"a.bmp", "b.bmp", "c.bmp", "coin.bmp"}) {
        doc->addStages({path("a.bmp"), path("b.bmp")});
        doc->openStage(2);
        SeqRandom random{{5, 7, 100, 120}};
        doc->addSprites(dir.path().string(), {"coin.bmp", "c.bmp"}, std::ref(random));
        doc->edit({"Draw sector", 2, 0}, [&] {
            Level& L = doc->level();
            L.session.bandActive = true;
            L.session.bandStartX = 10, L.session.bandStartY = 10, L.session.mouseX = 50, L.session.mouseY = 40;
            addSectorFromBand(L);
        });
    }
};

}  // namespace

class DocumentTest : public QObject {
    Q_OBJECT
private slots:
    // Every kind of edit: one step with its name, the level reported changed
    // and unsaved; its undo selects the row it was about and is clean again
    // when it brings the level back to where it started.
    void eachEditIsOneNamedStep_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("row");
        QTest::newRow("add stage") << 0 << "Add stage" << 0 << 2;
        QTest::newRow("change stage") << 1 << "Change stage 1" << 0 << 0;
        QTest::newRow("delete stage") << 2 << "Delete stage 1" << 0 << 0;
        QTest::newRow("delete sprite") << 3 << "Delete sprite" << 1 << 0;
        QTest::newRow("type sprite x") << 4 << "Move sprite" << 1 << 1;
        QTest::newRow("type sector w") << 5 << "Resize sector" << 2 << 0;
        QTest::newRow("delete sector") << 6 << "Delete sector" << 2 << 0;
        QTest::newRow("rename sector") << 7 << "Rename sector" << 2 << 0;
        QTest::newRow("drag sprite") << 8 << "Move sprite" << 1 << 1;
    }
    void eachEditIsOneNamedStep() {
        QFETCH(int, which);
        QFETCH(QString, name);
        QFETCH(int, page);
        QFETCH(int, row);
        Doc d;
        const std::string before = tablesBytes(d.doc->level());
        d.doc->history().setClean(d.doc->level());
        const std::size_t steps = d.doc->history().undoCount();
        QSignalSpy changed(d.doc.get(), &LevelDocument::levelChanged);
        QSignalSpy clean(d.doc.get(), &LevelDocument::cleanChanged);
        QSignalSpy records(d.doc.get(), &LevelDocument::recordsChanged);
        switch (which) {
        case 0: d.doc->addStages({d.path("c.bmp")}); break;
        case 1: d.doc->replaceStage(1, d.path("c.bmp")); break;
        case 2: d.doc->deleteStage(1); break;
        case 3: d.doc->deleteSprite(0); break;
        case 4: d.doc->setSpriteX(1, 333); break;
        case 5: d.doc->setSectorField(0, SectorField::W, 90); break;
        case 6: d.doc->deleteSector(0); break;
        case 7: d.doc->renameSector(0, "Exit"); break;
        case 8: {
            const SpriteRec s = d.doc->level().sprite(2, 2);
            SpriteTool tool(*d.doc);
            tool.mousePressed({true, false, false, s.x + 1, s.y + 1});
            for (int k = 1; k <= 3; ++k) tool.mouseMoved({true, false, false, s.x + 1 + k, s.y + 1});
            tool.mouseReleased({true, false, false, s.x + 4, s.y + 1});
            break;
        }
        }
        QCOMPARE(d.doc->history().undoCount(), steps + 1);
        QCOMPARE(QString::fromStdString(d.doc->history().undoLabel()->name), name);
        QVERIFY(changed.count() + records.count() >= 1);
        QCOMPARE(clean.count(), 1);
        QCOMPARE(clean.first().first().toBool(), false);
        QVERIFY(tablesBytes(d.doc->level()) != before);

        QVERIFY(d.doc->undo());
        QCOMPARE(tablesBytes(d.doc->level()), before);
        QVERIFY(d.doc->isClean());
        QCOMPARE(clean.last().first().toBool(), true);
        // The item the step was about is selected again.
        if (page == 1 || page == 2) {
            const ItemKind kind = page == 1 ? ItemKind::Sprite : ItemKind::Sector;
            QCOMPARE(d.doc->selection().of(kind), std::set<int>{row + 1});
        }
    }

    // Typing after a Save starts a step of its own, so the saved state stays
    // reachable.
    void typingAfterASaveIsAStepOfItsOwn() {
        Doc d;
        d.doc->setSpriteX(0, 1);
        d.doc->history().setClean(d.doc->level());
        d.doc->setSpriteX(0, 12);
        QVERIFY(!d.doc->isClean());
        QVERIFY(d.doc->undo());
        QVERIFY(d.doc->isClean());
    }

    // Deleting stages keeps the open one open where it moved, or shows none.
    void deletingStagesFollowsTheOpenStage() {
        Doc d;
        QSignalSpy opened(d.doc.get(), &LevelDocument::openStageChanged);
        d.doc->deleteStage(1);
        d.doc->deleteStage(1);
        QCOMPARE(opened.count(), 2);
        QCOMPARE(opened.first().first().toInt(), 1);
        QCOMPARE(opened.last().first().toInt(), 0);
        QVERIFY(d.doc->undo());
        QCOMPARE(d.doc->level().openStage, 1);  // undo goes back to where the edit was made
    }

    // Deleting the open stage closes the view (no stage open); deleting
    // another keeps the open one open where it moved.
    void deletingAStageKeepsOrClosesTheOpenOne_data() {
        QTest::addColumn<int>("stages");
        QTest::addColumn<int>("open");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("openAfter");
        QTest::newRow("the open last stage") << 2 << 2 << 2 << 0;
        QTest::newRow("the open middle stage") << 3 << 2 << 2 << 0;
        QTest::newRow("the open first stage") << 3 << 1 << 1 << 0;
        QTest::newRow("one before the open stage") << 3 << 3 << 1 << 2;
        QTest::newRow("one after the open stage") << 3 << 1 << 3 << 1;
    }
    void deletingAStageKeepsOrClosesTheOpenOne() {
        QFETCH(int, stages);
        QFETCH(int, open);
        QFETCH(int, deleted);
        QFETCH(int, openAfter);
        Doc d;
        if (stages == 3) d.doc->addStages({d.path("c.bmp")});
        d.doc->openStage(open);
        d.doc->deleteStage(deleted);
        QCOMPARE(d.doc->level().stageCount, stages - 1);
        QCOMPARE(d.doc->level().openStage, openAfter);
    }

    // Typing one field again and again is one step; typing another field
    // (or the same field of another record) starts a step of its own.
    void typedFieldsMergeOnlyWithTheSameField_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<int>("steps");
        // 0/1: sprite 1's x/y, 2: sprite 2's x, 3..6: the sector's x, y, w, h.
        QTest::newRow("sprite x twice") << 0 << 0 << 1;
        QTest::newRow("sprite x then y") << 0 << 1 << 2;
        QTest::newRow("sprite y then x") << 1 << 0 << 2;
        QTest::newRow("sprite y twice") << 1 << 1 << 1;
        QTest::newRow("x of two sprites") << 0 << 2 << 2;
        QTest::newRow("sector w then h") << 5 << 6 << 2;
        QTest::newRow("sector x then y") << 3 << 4 << 2;
        QTest::newRow("sector h twice") << 6 << 6 << 1;
    }
    void typedFieldsMergeOnlyWithTheSameField() {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(int, steps);
        Doc d;
        const std::size_t before = d.doc->history().undoCount();
        int value = 21;
        for (int field : {first, second}) {
            ++value;
            switch (field) {
            case 0: QVERIFY(d.doc->setSpriteX(0, value)); break;
            case 1: QVERIFY(d.doc->setSpriteY(0, value)); break;
            case 2: QVERIFY(d.doc->setSpriteX(1, value)); break;
            default: QVERIFY(d.doc->setSectorField(0, static_cast<SectorField>(field - 3), value)); break;
            }
        }
        QCOMPARE(d.doc->history().undoCount(), before + std::size_t(steps));
    }

    // A typed sector size below 0 is refused: no change and no step. A
    // place may be negative (partly off the stage).
    void typedSectorSizesAreNeverNegative_data() {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("taken");
        QTest::newRow("width -1") << int(SectorField::W) << -1 << false;
        QTest::newRow("height -1") << int(SectorField::H) << -1 << false;
        QTest::newRow("height -400") << int(SectorField::H) << -400 << false;
        QTest::newRow("height 0") << int(SectorField::H) << 0 << true;
        QTest::newRow("x -5") << int(SectorField::X) << -5 << true;
        QTest::newRow("y -5") << int(SectorField::Y) << -5 << true;
    }
    void typedSectorSizesAreNeverNegative() {
        QFETCH(int, field);
        QFETCH(int, value);
        QFETCH(bool, taken);
        Doc d;
        const std::string before = tablesBytes(d.doc->level());
        const std::size_t steps = d.doc->history().undoCount();
        QCOMPARE(d.doc->setSectorField(0, static_cast<SectorField>(field), value), taken);
        const SectorRec& r = d.doc->level().sector(1, 2);
        const std::int32_t fields[] = {r.x, r.y, r.w, r.h};
        QCOMPARE(fields[field] == value, taken);
        QCOMPARE(tablesBytes(d.doc->level()) == before, !taken);
        QCOMPARE(d.doc->history().undoCount(), steps + (taken ? 1u : 0u));
    }

    // A name the sector record cannot hold is refused and changes nothing.
    void renamingRefusesNamesTheRecordCannotHold() {
        Doc d;
        const std::size_t steps = d.doc->history().undoCount();
        for (const char* bad : {"", "a name much too long for it", "\xe2\x98\x83 snow"}) {
            QVERIFY_THROWS_EXCEPTION(Error, d.doc->renameSector(0, bad));
            QCOMPARE(d.doc->level().sector(1, 2).name.str(), std::string("Sector1"));
        }
        QCOMPARE(d.doc->history().undoCount(), steps);
    }

    // The copy is written a moment after the last edit; an editor that ends
    // right after a restore still leaves a package to offer; a write that
    // fails is told once.
    void recoveryCopiesHaveNoGapAndFailuresAreTold() {
        TempDir dir;
        const std::string state = (dir.path() / "state").string();
        const std::string bmp = (dir.path() / "backpx/city.bmp").string();
        slvtest::writeFile(bmp, bmpBytes({8, 8, 24, false}, [](int, int) { return 0x336699u; }));
        FakeDisplay display;
        display.add("city.bmp", 8, 8);
        {
            LevelDocument doc(state);
            doc.setSurfaceCallbacks(display.callbacks());
            doc.setRecoveryDelay(0);
            doc.addStages({bmp});
            QVERIFY(QTest::qWaitFor([&] { return doc.recovery().exists(); }, 5000));
            doc.recovery().wait();
        }  // ends without closing, as after a crash
        {
            LevelDocument doc(state);
            doc.setSurfaceCallbacks(display.callbacks());
            std::vector<LeftPackage> left = doc.recovery().claimLeftPackages();
            QCOMPARE(left.size(), std::size_t(1));
            PackageHooks quiet;
            doc.restore(left.front(), quiet);
            QCOMPARE(doc.level().stageCount, 1);
            QVERIFY(!doc.isClean());
        }  // ends at once after the restore: the package is still there
        {
            LevelDocument doc(state);
            std::vector<LeftPackage> left = doc.recovery().claimLeftPackages();
            QCOMPARE(left.size(), std::size_t(1));
            RecoveryWriter::discard(left.front());
        }
        const std::string blocked = (dir.path() / "not-a-folder").string();
        slvtest::writeFile(blocked, "x");
        LevelDocument doc(blocked + "/state");
        doc.setSurfaceCallbacks(display.callbacks());
        doc.setRecoveryDelay(0);
        QSignalSpy failed(&doc, &LevelDocument::recoveryFailed);
        doc.addStages({bmp});
        doc.writeRecoveryNow();
        QCOMPARE(failed.count(), 1);
        QVERIFY(failed.first().first().toString().contains(QString::fromStdString(blocked)));
        doc.addStages({bmp});
        doc.writeRecoveryNow();  // the same failure again says nothing more
        QCOMPARE(failed.count(), 1);
        QVERIFY(!doc.writeRecoveryAndWait());
    }
};

QTEST_MAIN(DocumentTest)
#include "test_document.moc"
