// Several items selected at once: the rules of clicks, Shift+clicks, bands
// and Select All; a drag of several items as one step, and what undo selects
// again; the arrow keys on the view nudging the selection, one step per run,
// while the actor still gets the keys.
#include <QSignalSpy>
#include <functional>

#include "common/tempdir.h"
#include "fake_document.h"
#include "editor/edittools.h"
#include "harness.h"

using namespace slv;
using slvtest::TempDir;

Q_DECLARE_METATYPE(std::set<int>)

namespace {

// A document with one stage open: three sprites of 16x16 at (100,100),
// (108,104) (over the first) and (200,150); two sectors of 50x40 at
// (300,300) and (400,300).
struct Doc : FakeDocument {
    Doc() : FakeDocument({"a.bmp", "coin.bmp", "c.bmp", "d.bmp"}) {
        doc->history().setCheckDeclared(true);
        doc->addStages({(dir.path() / "a.bmp").string()});
        doc->openStage(1);
        SeqRandom random{{100, 100, 108, 104, 200, 150}};
        doc->addSprites(dir.path().string(), {"coin.bmp", "c.bmp", "d.bmp"}, std::ref(random));
        for (int k = 0; k < 2; ++k) {
            doc->startBand(300 + 100 * k, 300);
            doc->trackPointer(350 + 100 * k, 340);
            doc->finishBand();
        }
        doc->select(ItemKind::Sprite, {});
        doc->select(ItemKind::Sector, {});
    }
    QPoint place(ItemKind kind, int n) {
        return kind == ItemKind::Sprite ? QPoint(level().sprite(n, 1).x, level().sprite(n, 1).y)
                                        : QPoint(level().sector(n, 1).x, level().sector(n, 1).y);
    }
};

// Runs a script of gestures on `tool`, steps parted by ';':
//   c X Y       click          s X Y   Shift+click     k X Y   Ctrl+click
//   b X Y X Y   left drag      B ...   Shift+left drag r ...   right drag
//   a           Select All
void runGestures(Doc& d, ItemTool& tool, ItemKind kind, const QString& script) {
    for (const QString& step : script.split(';', Qt::SkipEmptyParts)) {
        const QStringList w = step.split(' ', Qt::SkipEmptyParts);
        const QChar op = w[0][0];
        QList<int> v;
        for (int i = 1; i < w.size(); ++i) v << w[i].toInt();
        if (op == 'a') {
            d.doc->selectAll(kind);
            continue;
        }
        ToolMouse m;
        m.left = op != 'r';
        m.right = op == 'r';
        m.shift = op == 's' || op == 'B';
        m.ctrl = op == 'k';
        m.x = v[0], m.y = v[1];
        tool.mousePressed(m);
        if (v.size() == 4) {
            m.x = (v[0] + v[2]) / 2, m.y = (v[1] + v[3]) / 2;
            tool.mouseMoved(m);
            m.x = v[2], m.y = v[3];
            tool.mouseMoved(m);
        }
        tool.mouseReleased(m);
    }
}

std::unique_ptr<ItemTool> toolFor(Doc& d, ItemKind kind) {
    if (kind == ItemKind::Sprite) return std::make_unique<SpriteTool>(*d.doc);
    return std::make_unique<SectorTool>(*d.doc);
}

void sendKey(QWidget* target, QEvent::Type type, int key, Qt::KeyboardModifiers mods, bool autoRepeat) {
    QKeyEvent ev(type, key, mods, QString(), autoRepeat);
    QApplication::sendEvent(target, &ev);
}

}  // namespace

class MultiSelectTest : public WindowTest {
    Q_OBJECT

private slots:
    void selectionRules_data() {
        QTest::addColumn<bool>("sprites");
        QTest::addColumn<QString>("gestures");
        QTest::addColumn<std::set<int>>("selected");
        QTest::newRow("click picks the topmost") << true << "c 110 106" << std::set<int>{2};
        QTest::newRow("click on another picks it alone") << true << "c 101 101; c 205 155" << std::set<int>{3};
        QTest::newRow("shift+click adds") << true << "c 101 101; s 205 155" << std::set<int>{1, 3};
        QTest::newRow("shift+click again takes out") << true << "c 101 101; s 205 155; s 205 155"
                                                      << std::set<int>{1};
        QTest::newRow("click on a selected item keeps all") << true << "a; c 205 155" << std::set<int>{1, 2, 3};
        QTest::newRow("ctrl+click keeps the selection") << true << "c 101 101; k 205 155" << std::set<int>{1};
        QTest::newRow("click on empty space selects none") << true << "a; c 50 50" << std::set<int>{};
        QTest::newRow("band meets one box") << true << "b 90 90 112 103" << std::set<int>{1};
        QTest::newRow("band drawn backwards") << true << "b 230 170 120 110" << std::set<int>{2, 3};
        QTest::newRow("band replaces the selection") << true << "c 205 155; b 90 90 112 103" << std::set<int>{1};
        QTest::newRow("shift+band adds") << true << "c 205 155; B 90 90 112 103" << std::set<int>{1, 3};
        QTest::newRow("band over nothing") << true << "a; b 20 20 60 60" << std::set<int>{};
        QTest::newRow("band from a box's far edge misses it") << true << "b 116 90 130 103" << std::set<int>{};
        QTest::newRow("select all sprites") << true << "a" << std::set<int>{1, 2, 3};
        QTest::newRow("sector band") << false << "b 290 290 460 310" << std::set<int>{1, 2};
        QTest::newRow("sector shift+click") << false << "c 310 310; s 410 310" << std::set<int>{1, 2};
        QTest::newRow("right drag draws a sector, selected alone") << false << "a; r 500 400 540 440"
                                                                     << std::set<int>{3};
    }
    void selectionRules() {
        QFETCH(bool, sprites);
        QFETCH(QString, gestures);
        QFETCH(std::set<int>, selected);
        Doc d;
        const ItemKind kind = sprites ? ItemKind::Sprite : ItemKind::Sector;
        auto tool = toolFor(d, kind);
        const std::size_t steps = d.doc->history().undoCount();
        runGestures(d, *tool, kind, gestures);
        QCOMPARE(d.doc->selection().of(kind), selected);
        // Selecting is no edit: only a drawn sector is a step.
        QCOMPARE(d.doc->history().undoCount(), steps + (gestures.contains('r') ? 1 : 0));
        int x1, y1, x2, y2;
        QVERIFY(!tool->selectionBand(x1, y1, x2, y2));  // every band ended with its release
    }

    // A drag on any selected item moves them all as one step; undo and redo
    // select them all again.
    void dragOfSeveralIsOneStep_data() {
        QTest::addColumn<bool>("sprites");
        QTest::addColumn<QString>("select");
        QTest::addColumn<QPoint>("grab");
        QTest::addColumn<QPoint>("by");
        QTest::addColumn<std::set<int>>("moved");
        QTest::newRow("all sprites, grabbed by the last") << true << "a" << QPoint(205, 155) << QPoint(7, -5)
                                                          << std::set<int>{1, 2, 3};
        QTest::newRow("two sprites, grabbed by the second") << true << "c 101 101; s 205 155" << QPoint(203, 160)
                                                            << QPoint(-30, 12) << std::set<int>{1, 3};
        QTest::newRow("two sectors") << false << "a" << QPoint(420, 320) << QPoint(-20, 15) << std::set<int>{1, 2};
    }
    void dragOfSeveralIsOneStep() {
        QFETCH(bool, sprites);
        QFETCH(QString, select);
        QFETCH(QPoint, grab);
        QFETCH(QPoint, by);
        QFETCH(std::set<int>, moved);
        Doc d;
        const ItemKind kind = sprites ? ItemKind::Sprite : ItemKind::Sector;
        auto tool = toolFor(d, kind);
        runGestures(d, *tool, kind, select);
        const int count = sprites ? 3 : 2;
        QList<QPoint> before;
        for (int n = 1; n <= count; ++n) before << d.place(kind, n);
        const std::size_t steps = d.doc->history().undoCount();
        const QPoint to = grab + by;
        runGestures(d, *tool, kind,
                    QString("b %1 %2 %3 %4").arg(grab.x()).arg(grab.y()).arg(to.x()).arg(to.y()));
        for (int n = 1; n <= count; ++n)
            QCOMPARE(d.place(kind, n), before[n - 1] + (moved.contains(n) ? by : QPoint()));
        QCOMPARE(d.doc->history().undoCount(), steps + 1);
        QCOMPARE(d.doc->selection().of(kind), moved);
        QCOMPARE(d.doc->history().undeclaredChanges(), std::size_t(0));
        // Another selection, then undo: the moved items come back, selected.
        d.doc->select(kind, {});
        QVERIFY(d.doc->undo());
        for (int n = 1; n <= count; ++n) QCOMPARE(d.place(kind, n), before[n - 1]);
        QCOMPARE(d.doc->selection().of(kind), moved);
        d.doc->select(kind, {count});
        QVERIFY(d.doc->redo());
        QCOMPARE(d.doc->selection().of(kind), moved);
        QCOMPARE(d.place(kind, *moved.begin()), before[*moved.begin() - 1] + by);
    }

    // The arrows on the focused view move every selected sprite, Shift by
    // the larger step; each run of presses is one undo step; the actor gets
    // every arrow as a held key all the same.
    void arrowsNudgeTheSelection_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QPoint>("first");   // how far sprite 1 moved
        QTest::addColumn<QPoint>("second");  // how far sprite 2 moved
        QTest::addColumn<int>("steps");
        // R L U D: the arrows; a leading S holds Shift, a trailing * is a
        // key-repeat; "one" selects the first sprite alone, "all" both.
        QTest::newRow("three rights") << "R R R" << QPoint(3, 0) << QPoint(3, 0) << 1;
        QTest::newRow("held left repeats") << "L L* L* L*" << QPoint(-4, 0) << QPoint(-4, 0) << 1;
        QTest::newRow("shift moves further") << "SD R SU SU" << QPoint(1, -10) << QPoint(1, -10) << 1;
        QTest::newRow("another selection starts a new step") << "R one R all R" << QPoint(3, 0) << QPoint(2, 0)
                                                             << 3;
        QTest::newRow("undo ends the run") << "D D undo D" << QPoint(0, 1) << QPoint(0, 1) << 1;
    }
    void arrowsNudgeTheSelection() {
        QFETCH(QString, keys);
        QFETCH(QPoint, first);
        QFETCH(QPoint, second);
        QFETCH(int, steps);
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp"});
        auto* view = ed.w->findChild<SceneWidget*>("sceneView");
        ed.w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(ed.w.get()));
        view->setFocus();
        QVERIFY(view->hasFocus());
        LevelDocument& doc = ed.w->document();
        doc.selectAll(ItemKind::Sprite);
        auto at = [&](int n) { return QPoint(ed.L().sprite(n, 1).x, ed.L().sprite(n, 1).y); };
        const QPoint start1 = at(1), start2 = at(2);
        const std::size_t before = doc.history().undoCount();
        for (const QString& k : keys.split(' ')) {
            if (k == "one") { doc.selectOnly(ItemKind::Sprite, 1); continue; }
            if (k == "all") { doc.selectAll(ItemKind::Sprite); continue; }
            if (k == "undo") { doc.undo(); continue; }
            const bool shift = k.startsWith('S');
            const QChar arrow = k[shift ? 1 : 0];
            const int qtKey = arrow == 'R' ? Qt::Key_Right : arrow == 'L' ? Qt::Key_Left
                              : arrow == 'U' ? Qt::Key_Up : Qt::Key_Down;
            const int code = arrow == 'L' ? 37 : arrow == 'U' ? 38 : arrow == 'R' ? 39 : 40;
            const Qt::KeyboardModifiers mods = shift ? Qt::ShiftModifier : Qt::NoModifier;
            sendKey(view, QEvent::KeyPress, qtKey, mods, k.endsWith('*'));
            const ActorState& actor = ed.w->actor();
            QVERIFY2(actor.heldKeys[0] == code || actor.heldKeys[1] == code || actor.heldKeys[2] == code,
                     "the actor did not get the arrow");
            sendKey(view, QEvent::KeyRelease, qtKey, mods, false);
        }
        QCOMPARE(at(1) - start1, first);
        QCOMPARE(at(2) - start2, second);
        QCOMPARE(doc.history().undoCount(), before + steps);
        for (int k = 0; k < steps; ++k) QVERIFY(doc.undo());
        QCOMPARE(at(1), start1);
        QCOMPARE(at(2), start2);
    }

    // Without the view's focus, or with nothing selected, the arrows move no
    // item (in the list they move its row).
    void arrowsElsewhereMoveNothing_data() {
        QTest::addColumn<bool>("viewFocused");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<int>("tab");
        QTest::newRow("list focused") << false << true << 1;
        QTest::newRow("nothing selected") << true << false << 1;
        QTest::newRow("stage tab") << true << true << 0;
    }
    void arrowsElsewhereMoveNothing() {
        QFETCH(bool, viewFocused);
        QFETCH(bool, selected);
        QFETCH(int, tab);
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp"});
        ed.w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(ed.w.get()));
        QWidget* target = viewFocused ? static_cast<QWidget*>(ed.w->findChild<SceneWidget*>("sceneView"))
                                      : ed.w->findChild<QListWidget*>("spriteList");
        target->setFocus();
        ed.w->document().select(ItemKind::Sprite, selected ? std::set<int>{1, 2} : std::set<int>{});
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(tab);
        const std::size_t before = ed.w->document().history().undoCount();
        sendKey(target, QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, false);
        sendKey(target, QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, false);
        QCOMPARE(ed.w->document().history().undoCount(), before);
    }

    // The sprite list shows the document's selection, several rows at once,
    // and rows selected in it (Shift/Ctrl clicks) become the selection.
    void listFollowsAndSetsTheSelection() {
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp", "bird.bmp"});
        auto* list = ed.w->findChild<QListWidget*>("spriteList");
        LevelDocument& doc = ed.w->document();
        auto rowsShown = [&] {
            std::set<int> rows;
            for (const QListWidgetItem* it : list->selectedItems()) rows.insert(list->row(it) + 1);
            return rows;
        };
        doc.select(ItemKind::Sprite, {1, 3});
        QCOMPARE(rowsShown(), (std::set<int>{1, 3}));
        // Ctrl+A selects the kind of the tab shown.
        auto* tabs = ed.w->findChild<QTabWidget*>("editTabs");
        tabs->setCurrentIndex(2);
        QTest::keyClick(ed.keyTarget(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(doc.selection().sprites, (std::set<int>{1, 3}));
        tabs->setCurrentIndex(1);
        QTest::keyClick(ed.keyTarget(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(doc.selection().sprites, (std::set<int>{1, 2, 3}));
        QCOMPARE(rowsShown(), (std::set<int>{1, 2, 3}));
        // A click, then a Ctrl+click and a Shift+click in the list.
        auto click = [&](int row, Qt::KeyboardModifiers mods) {
            const QRect r = list->visualItemRect(list->item(row));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, r.center());
        };
        click(0, Qt::NoModifier);
        QCOMPARE(doc.selection().sprites, (std::set<int>{1}));
        click(2, Qt::ControlModifier);
        QCOMPARE(doc.selection().sprites, (std::set<int>{1, 3}));
        click(1, Qt::ShiftModifier);
        QCOMPARE(doc.selection().sprites.size(), std::size_t(2));
        QVERIFY(doc.selection().sprites.contains(2));
        // A change of the level's structure keeps the rows as selected.
        doc.select(ItemKind::Sprite, {2, 3});
        addSprites(ed, {"fan.bmp"});
        QCOMPARE(rowsShown(), doc.selection().sprites);
    }
};

SLV_WINDOW_TEST_MAIN(MultiSelectTest)
#include "test_multiselect.moc"
