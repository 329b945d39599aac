// The window during a drag on the view: the list keeps its rows, the fields
// follow the dragged sprite and show where it ended when it is let go.
#include "harness.h"

using namespace slv;

class DragFieldsTest : public WindowTest {
    Q_OBJECT
private slots:
    void theFieldsShowWhereTheDragEnded_data() {
        QTest::addColumn<int>("moves");
        QTest::newRow("one move") << 1;
        QTest::newRow("many moves") << 40;
    }
    void theFieldsShowWhereTheDragEnded() {
        QFETCH(int, moves);
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp"});
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        const SpriteRec& gem = ed.L().sprite(2, 1);
        ed.w->selectRow(ed.w->findChild<QListWidget*>("spriteList"), 1);
        ed.w->document().setSpriteX(1, 200);
        ed.w->document().setSpriteY(1, 150);
        QListWidgetItem* firstRow = ed.w->findChild<QListWidget*>("spriteList")->item(0);
        const std::size_t steps = ed.w->document().history().undoCount();
        ed.drag(Qt::LeftButton, {205, 155}, {305, 215}, moves);
        QCOMPARE(QPoint(gem.x, gem.y), QPoint(300, 210));
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("spriteList")), 1);
        QCOMPARE(ed.w->document().selection().sprites, std::set<int>{2});
        QCOMPARE(ed.w->findChild<QSpinBox*>("spriteXField")->value(), 300);
        QCOMPARE(ed.w->findChild<QSpinBox*>("spriteYField")->value(), 210);
        QCOMPARE(ed.w->findChild<QListWidget*>("spriteList")->item(0), firstRow);  // rows are not rebuilt
        QCOMPARE(ed.w->document().history().undoCount(), steps + 1);
        ed.w->undoEdit();
        QCOMPARE(QPoint(gem.x, gem.y), QPoint(200, 150));
        QCOMPARE(ed.w->findChild<QSpinBox*>("spriteXField")->value(), 200);
    }
};

SLV_WINDOW_TEST_MAIN(DragFieldsTest)
#include "test_dragfields.moc"
