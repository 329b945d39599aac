// The window's commands: each action's keys and enabled state, the button,
// key and menu reaching the same command, Open Recent and the window's place.
#include <QAction>
#include <QMenuBar>
#include <QSignalSpy>

#include "editor/editoractions.h"
#include "harness.h"

using slv::Command;

Q_DECLARE_METATYPE(slv::Command)

class CommandsTest : public WindowTest {
    Q_OBJECT
private slots:
    void init() { WindowTest::init(); }
    void cleanup() { WindowTest::cleanup(); }

    void eachActionHasItsKeys_data() {
        QTest::addColumn<Command>("id");
        QTest::addColumn<QString>("keys");
        QTest::newRow("new") << Command::New << "Ctrl+N";
        QTest::newRow("open") << Command::Open << "Ctrl+O";
        QTest::newRow("save") << Command::Save << "Ctrl+S";
        QTest::newRow("save as") << Command::SaveAs << "Ctrl+Shift+S";
        QTest::newRow("quit") << Command::Quit << "Ctrl+Q";
        QTest::newRow("undo") << Command::Undo << "Ctrl+Z";
        QTest::newRow("redo") << Command::Redo << "Ctrl+Y, Ctrl+Shift+Z";
        QTest::newRow("zoom in") << Command::ZoomIn << "Ctrl++, Ctrl+=";
        QTest::newRow("zoom out") << Command::ZoomOut << "Ctrl+-";
        QTest::newRow("actual size") << Command::ZoomActualSize << "Ctrl+0";
        QTest::newRow("F9") << Command::FullScreenView << "F9";
        QTest::newRow("F10") << Command::FullScreenEditor << "F10";
        QTest::newRow("F11") << Command::WindowedView << "F11";
        QTest::newRow("add stage") << Command::AddStage << "Ins";
        QTest::newRow("replace sprite") << Command::ReplaceSprite << "F8";
        QTest::newRow("delete sector") << Command::DeleteSector << "Del";
        QTest::newRow("open stage") << Command::OpenStage << "Return";
    }
    // The keys live in the actions; the tooltip names the first.
    void eachActionHasItsKeys() {
        QFETCH(Command, id);
        QFETCH(QString, keys);
        Editor ed;
        QAction* a = ed.w->actions()[id];
        QCOMPARE(slv::EditorActions::keysText(a), keys);
        QVERIFY2(a->toolTip().endsWith("(" + keys.section(", ", 0, 0) + ")"), qPrintable(a->toolTip()));
        QVERIFY(!a->statusTip().isEmpty());
    }

    void keysTriggerTheirAction_data() {
        QTest::addColumn<Command>("id");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("save as") << Command::SaveAs << int(Qt::Key_S) << int(Qt::ControlModifier | Qt::ShiftModifier);
        QTest::newRow("redo by Y") << Command::Redo << int(Qt::Key_Y) << int(Qt::ControlModifier);
        QTest::newRow("redo by Shift+Z") << Command::Redo << int(Qt::Key_Z) << int(Qt::ControlModifier | Qt::ShiftModifier);
        QTest::newRow("zoom in by =") << Command::ZoomIn << int(Qt::Key_Equal) << int(Qt::ControlModifier);
        QTest::newRow("delete sprite") << Command::DeleteSprite << int(Qt::Key_Delete) << 0;
        QTest::newRow("F10") << Command::FullScreenEditor << int(Qt::Key_F10) << 0;
    }
    // A key typed in the window runs its action once.
    void keysTriggerTheirAction() {
        QFETCH(Command, id);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp"});
        addSprites(ed, {"gem.bmp"});
        ed.w->undoEdit();  // the gem goes: Redo has a step
        ed.w->selectRow(ed.w->findChild<QListWidget*>("spriteList"), 0);
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        ed.w->findChild<QListWidget*>("spriteList")->setFocus();
        ed.w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(ed.w.get()));
        QSignalSpy spy(ed.w->actions()[id], &QAction::triggered);
        QTest::keyClick(ed.keyTarget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(spy.count(), 1);
        if (id == Command::FullScreenEditor) ed.w->routeKeyDown(122, {});
    }
};

SLV_WINDOW_TEST_MAIN(CommandsTest)

#include "test_commands.moc"
