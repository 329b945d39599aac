// The view's tools over the document: a drag is one step that names only
// the items it moved, the selection is the document's and follows every
// change of the level, and the Sector tool's band makes a sector.
#include <QSignalSpy>
#include <QTest>
#include <functional>

#include "common/tempdir.h"
#include "fake_document.h"
#include "editor/edittools.h"
#include "editor/leveldocument.h"
#include "model/history.h"

using namespace slv;
using slvtest::TempDir;

namespace {

// A document holding two stages, the second open with two sprites (the
// second lying over the first) and two sectors.
struct Doc : FakeDocument {
    Doc() : FakeDocument({"a.bmp", "b.bmp", "coin.bmp", "c.bmp"}) {
        doc->history().setCheckDeclared(true);
        doc->addStages({path("a.bmp"), path("b.bmp")});
        doc->openStage(2);
        SeqRandom random{{100, 100, 108, 104}};
        doc->addSprites(dir.path().string(), {"coin.bmp", "c.bmp"}, std::ref(random));
        for (int k = 0; k < 2; ++k) {
            doc->startBand(300 + 100 * k, 300);
            doc->trackPointer(350 + 100 * k, 340);
            doc->finishBand();
        }
        doc->selectOnly(ItemKind::Sector, 0);
    }
};

ToolMouse left(int x, int y, bool ctrl = false) { return {true, false, ctrl, x, y}; }

std::set<int> numbersOf(const QList<QVariant>& signal) {
    std::set<int> out;
    for (int n : signal.at(2).value<QList<int>>()) out.insert(n);
    return out;
}

}  // namespace

class ToolsTest : public QObject {
    Q_OBJECT
private slots:
    // A press picks the topmost item under the pointer; each move of the
    // drag names only that item; the whole drag is one step, undone at once.
    void aDragIsOneStepNamingOnlyTheDraggedItem_data() {
        QTest::addColumn<bool>("sprites");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("picked");
        QTest::newRow("sprite on top") << true << 110 << 106 << 2;
        QTest::newRow("sprite below") << true << 101 << 101 << 1;
        QTest::newRow("second sector") << false << 420 << 320 << 2;
    }
    void aDragIsOneStepNamingOnlyTheDraggedItem() {
        QFETCH(bool, sprites);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, picked);
        Doc d;
        const ItemKind kind = sprites ? ItemKind::Sprite : ItemKind::Sector;
        std::unique_ptr<EditTool> tool;
        if (sprites) tool = std::make_unique<SpriteTool>(*d.doc); else tool = std::make_unique<SectorTool>(*d.doc);
        auto place = [&](int n) {
            return sprites ? std::pair{d.level().sprite(n, 2).x, d.level().sprite(n, 2).y}
                           : std::pair{d.level().sector(n, 2).x, d.level().sector(n, 2).y};
        };
        const auto start = place(picked), other = place(3 - picked);
        const std::size_t steps = d.doc->history().undoCount();
        QSignalSpy structural(d.doc.get(), &LevelDocument::levelChanged);
        QSignalSpy records(d.doc.get(), &LevelDocument::recordsChanged);

        tool->mousePressed(left(x, y));
        QCOMPARE(d.doc->selection().of(kind), std::set<int>{picked});
        for (int k = 1; k <= 5; ++k) tool->mouseMoved(left(x + 10 * k, y + k));
        tool->mouseReleased(left(x + 50, y + 5));

        // The grabbed point stays under the pointer.
        QCOMPARE(place(picked), (std::pair{start.first + 50, start.second + 5}));
        QCOMPARE(place(3 - picked), other);
        QCOMPARE(d.doc->history().undoCount(), steps + 1);
        QCOMPARE(structural.count(), 0);
        QCOMPARE(records.count(), 5);
        for (const QList<QVariant>& r : records) {
            QCOMPARE(r.at(0).value<ItemKind>(), kind);
            QCOMPARE(numbersOf(r), std::set<int>{picked});
        }
        QCOMPARE(d.doc->history().undeclaredChanges(), std::size_t(0));
        QVERIFY(d.doc->undo());
        QCOMPARE(place(picked), start);
        QCOMPARE(structural.count(), 0);
        QCOMPARE(numbersOf(records.last()), std::set<int>{picked});
    }

    // A press without Ctrl picks what is under the pointer (nothing: none);
    // with Ctrl it keeps the selection and the drag goes on from the last grab.
    void ctrlKeepsTheSelection_data() {
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("spriteOneX");
        QTest::newRow("plain press on nothing") << false << 0 << 100;
        QTest::newRow("ctrl press on nothing") << true << 1 << 621 - 1;
    }
    void ctrlKeepsTheSelection() {
        QFETCH(bool, ctrl);
        QFETCH(int, selected);
        QFETCH(int, spriteOneX);
        Doc d;
        SpriteTool tool(*d.doc);
        tool.mousePressed(left(101, 101));
        tool.mouseReleased(left(101, 101));
        tool.mousePressed(left(600, 10, ctrl));
        tool.mouseMoved(left(621, 11));
        QCOMPARE(d.doc->selection().first(ItemKind::Sprite), selected);
        QCOMPARE(d.level().sprite(1, 2).x, spriteOneX);
    }

    // The selection follows the level: deletes select the next item or
    // none, undo selects the item again, another stage or level selects none.
    void theSelectionFollowsTheLevel_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<int>("sprite");
        QTest::addColumn<int>("sector");
        QTest::newRow("delete the first sprite") << 0 << 1 << 2;
        QTest::newRow("delete the last sprite") << 1 << 0 << 2;
        QTest::newRow("undo a delete") << 2 << 2 << 2;
        QTest::newRow("open another stage") << 3 << 0 << 0;
        QTest::newRow("delete the open stage") << 4 << 0 << 0;
        QTest::newRow("undo the sprites added") << 5 << 0 << 2;
    }
    void theSelectionFollowsTheLevel() {
        QFETCH(int, change);
        QFETCH(int, sprite);
        QFETCH(int, sector);
        Doc d;
        d.doc->selectOnly(ItemKind::Sector, 2);
        d.doc->selectOnly(ItemKind::Sprite, change == 1 || change == 2 ? 2 : 1);
        switch (change) {
        case 0: d.doc->deleteSprite(0); break;
        case 1: d.doc->deleteSprite(1); break;
        case 2:
            d.doc->deleteSprite(1);
            d.doc->undo();
            break;
        case 3: d.doc->openStage(1); break;
        case 4: d.doc->deleteStage(2); break;
        case 5:
            // Undo the sectors (two steps), then the sprites: no sprite is left to select.
            d.doc->selectOnly(ItemKind::Sprite, 2);
            while (d.doc->history().undoLabel() && d.doc->history().undoLabel()->name != "Add sprites")
                d.doc->undo();
            d.doc->undo();
            break;
        }
        QCOMPARE(d.doc->selection().first(ItemKind::Sprite), sprite);
        if (change != 5) QCOMPARE(d.doc->selection().first(ItemKind::Sector), sector);
    }

    // The Sector tool: a right-button drag draws a band that becomes the
    // selected new sector; with no stage open it is refused.
    void theBandMakesTheSelectedSector() {
        Doc d;
        SectorTool tool(*d.doc);
        QSignalSpy started(&tool, &SectorTool::bandStarted), sized(&tool, &SectorTool::bandResized),
            ended(&tool, &SectorTool::bandEnded), refused(&tool, &EditTool::refused);
        tool.mousePressed({false, true, false, 40, 50});
        tool.mouseMoved({false, true, false, 20, 90});
        QCOMPARE(sized.last().at(0).toInt(), -20);
        QCOMPARE(sized.last().at(1).toInt(), 40);
        tool.mouseReleased({false, true, false, 20, 90});
        QCOMPARE(ended.last().at(0).toInt(), 3);
        QCOMPARE(d.doc->selection().sectors, std::set<int>{3});
        const SectorRec& made = d.level().sector(3, 2);
        QCOMPARE((std::vector<int>{made.x, made.y, made.w, made.h}), (std::vector<int>{20, 50, 20, 40}));
        QCOMPARE(QString::fromStdString(d.doc->history().undoLabel()->name), QString("Draw sector"));
        QCOMPARE(started.count(), 1);

        d.doc->openStage(0);
        tool.mousePressed({false, true, false, 40, 50});
        QCOMPARE(refused.count(), 1);
        QVERIFY(!d.doc->bandActive());
    }
};

QTEST_MAIN(ToolsTest)
#include "test_tools.moc"
