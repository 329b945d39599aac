// The grid over the view and snapping to it: drags through the view's own
// mouse events at several sizes and zooms, sectors drawn with the right
// button, the grid in the frame, and the choices kept for the next window.
#include "harness.h"

#include <QMenu>
#include <QSettings>

#include "editor/editoractions.h"

using namespace slv;

namespace {

// Where the middle of back-buffer pixel `scene` is on the control at this
// zoom and scroll offset: scrolled by pan where the picture is larger than
// the control, centred where it fits.
QPoint controlPosOf(const SceneWidget* view, QPoint scene, int zoom, QPoint pan) {
    auto axis = [zoom](int control, int picture, int scrolled, int at) {
        const int origin = picture > control ? -scrolled : (control - picture) / 2;
        return origin + at * zoom + zoom / 2;
    };
    return QPoint(axis(view->width(), 640 * zoom, pan.x(), scene.x()),
                  axis(view->height(), 430 * zoom, pan.y(), scene.y()));
}

void sendMove(QWidget* target, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent move(QEvent::MouseMove, pos, target->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

// Turns snapping on at `size`, or off for size 0, through the View menu.
void chooseSnap(Editor& ed, int size) {
    if (size > 0) ed.w->findChild<QAction*>(QString("gridSize%1").arg(size))->trigger();
    QAction* snap = ed.w->actions()[Command::SnapToGrid];
    if (snap->isChecked() != (size > 0)) snap->trigger();
}

}  // namespace

class GridTest : public WindowTest {
    Q_OBJECT

private slots:
    void init() {
        WindowTest::init();
        // The remembered grid goes to a scratch folder of the test's own.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home->dir.path() + "/preferences");
    }

    // A sprite grabbed 10, 10 pixels inside its corner and dragged: with
    // snapping on, its corner lands on the grid point nearest to where the
    // pointer would have put it (327, 213 for the first rows), at any zoom.
    void dragSnapsTheCorner_data() {
        QTest::addColumn<int>("size");  // 0: snapping off
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QPoint>("to");  // the pointer's last place, in scene pixels
        QTest::addColumn<QPoint>("corner");
        QTest::newRow("off, 1x") << 0 << 1 << QPoint(337, 223) << QPoint(327, 213);
        QTest::newRow("off, 3x") << 0 << 3 << QPoint(337, 223) << QPoint(327, 213);
        QTest::newRow("2, 2x") << 2 << 2 << QPoint(337, 223) << QPoint(328, 214);
        QTest::newRow("8, 1x") << 8 << 1 << QPoint(337, 223) << QPoint(328, 216);
        QTest::newRow("16, 1x") << 16 << 1 << QPoint(337, 223) << QPoint(320, 208);
        QTest::newRow("16, 3x") << 16 << 3 << QPoint(337, 223) << QPoint(320, 208);
        QTest::newRow("64, 2x") << 64 << 2 << QPoint(337, 223) << QPoint(320, 192);
        QTest::newRow("128, 1x") << 128 << 1 << QPoint(337, 223) << QPoint(384, 256);
        // Past the stage's top left corner the nearest line is left of and above it.
        QTest::newRow("8, past the edge") << 8 << 1 << QPoint(2, 3) << QPoint(-8, -8);
        QTest::newRow("16, past the edge") << 16 << 1 << QPoint(2, 3) << QPoint(0, 0);
    }
    void dragSnapsTheCorner() {
        QFETCH(int, size);
        QFETCH(int, zoom);
        QFETCH(QPoint, to);
        QFETCH(QPoint, corner);
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp"});
        chooseSnap(ed, size);
        SpriteRec& coin = ed.L().sprite(1, 1);
        coin.x = 300, coin.y = 200;
        SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
        view->setZoom(zoom);
        const QPoint pan = zoom == 1 ? QPoint() : QPoint(310 * zoom - 300, 210 * zoom - 200);
        view->setPanOffset(pan);

        QTest::mousePress(view, Qt::LeftButton, {}, controlPosOf(view, {310, 210}, zoom, pan));
        // On its way the pointer passes places that snap elsewhere.
        sendMove(view, controlPosOf(view, {323, 217}, zoom, pan), Qt::LeftButton);
        sendMove(view, controlPosOf(view, to, zoom, pan), Qt::LeftButton);
        QTest::mouseRelease(view, Qt::LeftButton, {}, controlPosOf(view, to, zoom, pan));
        QCOMPARE(QPoint(coin.x, coin.y), corner);
    }

    // A sector drawn with the right button takes both corners to the grid;
    // one whose corners snap to the same line is not made.
    void bandSnapsBothCorners_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QRect>("sector");  // null: no sector made
        QTest::newRow("off") << 0 << QPoint(13, 21) << QPoint(70, 50) << QRect(13, 21, 57, 29);
        QTest::newRow("16") << 16 << QPoint(13, 21) << QPoint(70, 50) << QRect(16, 16, 48, 32);
        QTest::newRow("4") << 4 << QPoint(13, 21) << QPoint(70, 50) << QRect(12, 20, 60, 32);
        QTest::newRow("16, drawn up and left") << 16 << QPoint(70, 50) << QPoint(13, 21) << QRect(16, 16, 48, 32);
        QTest::newRow("32, too narrow") << 32 << QPoint(13, 21) << QPoint(14, 90) << QRect();
    }
    void bandSnapsBothCorners() {
        QFETCH(int, size);
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(QRect, sector);
        StartedEditor ed;
        addStage(ed, ui);
        chooseSnap(ed, size);
        const int before = ed.L().stage(1).sectorCount;
        ed.drawSector(from, to, 3);
        if (sector.isNull()) {
            QCOMPARE(ed.L().stage(1).sectorCount, before);
            return;
        }
        QCOMPARE(ed.L().stage(1).sectorCount, before + 1);
        const SectorRec& made = ed.L().sector(before + 1, 1);
        QCOMPARE(QRect(made.x, made.y, made.w, made.h), sector);
    }

    // View > Grid draws the grid's dots in the frame and changes nothing
    // between them; View > Grid again takes them away.
    void gridShowsInTheFrame_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("8") << 8;
        QTest::newRow("16") << 16;
        QTest::newRow("128") << 128;
    }
    void gridShowsInTheFrame() {
        QFETCH(int, size);
        StartedEditor ed;
        addStage(ed, ui);
        ed.stillTick();
        // A dot of a column, a dot of a row, a pixel of a line between two
        // dots, and one off every line.
        const QPoint onLine(size, 2), onRow(size + 2, size), offLine(size + 1, 2 * size + 3), between(size + 3, size + 5);
        const std::uint32_t onBefore = ed.pixel(onLine.x(), onLine.y());
        const std::uint32_t rowBefore = ed.pixel(onRow.x(), onRow.y());
        const std::uint32_t offBefore = ed.pixel(offLine.x(), offLine.y());
        const std::uint32_t betweenBefore = ed.pixel(between.x(), between.y());
        ed.w->findChild<QAction*>(QString("gridSize%1").arg(size))->trigger();
        ed.w->actions()[Command::Grid]->trigger();
        ed.stillTick();
        const SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
        const std::uint32_t grey = view->backBuffer()->device().rgbToPixel(0x80, 0x80, 0x80);
        // The backdrop there is not the grid's colour already.
        QVERIFY(onBefore != grey && rowBefore != grey);
        QCOMPARE(ed.pixel(onLine.x(), onLine.y()), grey);
        QCOMPARE(ed.pixel(onRow.x(), onRow.y()), grey);
        QCOMPARE(ed.pixel(offLine.x(), offLine.y()), offBefore);
        QCOMPARE(ed.pixel(between.x(), between.y()), betweenBefore);
        ed.w->actions()[Command::Grid]->trigger();
        ed.stillTick();
        QCOMPARE(ed.pixel(onLine.x(), onLine.y()), onBefore);
        QCOMPARE(ed.pixel(onRow.x(), onRow.y()), rowBefore);
    }

    // The grid, its size and snapping are what the next window starts with;
    // a stored size out of 2..128 or not a number is not taken as it is.
    void gridIsRemembered_data() {
        QTest::addColumn<QVariantList>("stored");  // grid, size, snap; empty: nothing stored
        QTest::addColumn<bool>("gridAtStart");
        QTest::addColumn<int>("sizeAtStart");
        QTest::addColumn<bool>("snapAtStart");
        QTest::newRow("first run") << QVariantList() << false << 16 << false;
        QTest::newRow("shown, 32, snapping") << QVariantList{true, 32, true} << true << 32 << true;
        QTest::newRow("hidden, 4, snapping") << QVariantList{false, 4, true} << false << 4 << true;
        QTest::newRow("too large") << QVariantList{true, 500, false} << true << 128 << false;
        QTest::newRow("too small") << QVariantList{true, 1, false} << true << 2 << false;
        QTest::newRow("not a number") << QVariantList{true, "wide", false} << true << 16 << false;
    }
    void gridIsRemembered() {
        QFETCH(QVariantList, stored);
        QFETCH(bool, gridAtStart);
        QFETCH(int, sizeAtStart);
        QFETCH(bool, snapAtStart);
        {
            QSettings preferences(QSettings::IniFormat, QSettings::UserScope, "slvedit", "slvedit");
            preferences.clear();
            if (!stored.isEmpty()) {
                preferences.setValue("view/grid", stored[0]);
                preferences.setValue("view/gridSize", stored[1]);
                preferences.setValue("view/snap", stored[2]);
            }
        }
        {
            Editor ed;
            QCOMPARE(ed.w->grid().visible, gridAtStart);
            QCOMPARE(ed.w->grid().size, sizeAtStart);
            QCOMPARE(ed.w->grid().snap, snapAtStart);
            QCOMPARE(ed.w->actions()[Command::Grid]->isChecked(), gridAtStart);
            QCOMPARE(ed.w->actions()[Command::SnapToGrid]->isChecked(), snapAtStart);
            if (QAction* entry = ed.w->findChild<QAction*>(QString("gridSize%1").arg(sizeAtStart)))
                QVERIFY(entry->isChecked());
            // Each choice flipped, and another size.
            ed.w->actions()[Command::Grid]->trigger();
            ed.w->actions()[Command::SnapToGrid]->trigger();
            ed.w->findChild<QAction*>(sizeAtStart == 64 ? "gridSize8" : "gridSize64")->trigger();
        }
        Editor again;
        QCOMPARE(again.w->grid().visible, !gridAtStart);
        QCOMPARE(again.w->grid().snap, !snapAtStart);
        QCOMPARE(again.w->grid().size, sizeAtStart == 64 ? 8 : 64);
        QVERIFY(again.w->findChild<QAction*>(sizeAtStart == 64 ? "gridSize8" : "gridSize64")->isChecked());
    }
};

SLV_WINDOW_TEST_MAIN(GridTest)

#include "test_grid.moc"
