// The window's commands: each action's keys and enabled state, the button,
// key and menu reaching the same command, Open Recent and the window's place.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTextBrowser>

#include "editor/editoractions.h"
#include "harness.h"
#include "editor/statusline.h"

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
        QTest::newRow("select all") << Command::SelectAll << "Ctrl+A";
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
    // What each command can act on decides whether it is enabled; Undo and
    // Redo name their step.
    void enabledFollowsWhatItCanActOn_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("enabled");
        QTest::addColumn<QStringList>("disabled");
        QTest::addColumn<QString>("undoText");
        QTest::newRow("fresh") << "fresh" << QStringList{"SaveAs", "Save", "AddStage"}
                               << QStringList{"Undo", "Redo", "ReplaceSprite", "DeleteStage", "AddSprite", "RenameSector"}
                               << "&Undo";
        QTest::newRow("stage open") << "stage" << QStringList{"Undo", "AddSprite", "SaveAs"}
                                    << QStringList{"Redo", "ReplaceSprite", "DeleteSprite", "DeleteSector"}
                                    << "&Undo Add stage";
        QTest::newRow("sprite selected") << "sprite" << QStringList{"ReplaceSprite", "DeleteSprite", "Undo"}
                                         << QStringList{"Redo", "RenameSector"} << "&Undo Add sprite";
        QTest::newRow("sprite moved") << "moved" << QStringList{"Undo", "ReplaceSprite"} << QStringList{"Redo"}
                                      << "&Undo Move sprite";
        QTest::newRow("undone") << "undone" << QStringList{"Undo", "Redo"} << QStringList{"ReplaceSprite"}
                                << "&Undo Add stage";
    }
    void enabledFollowsWhatItCanActOn() {
        QFETCH(QString, state);
        QFETCH(QStringList, enabled);
        QFETCH(QStringList, disabled);
        QFETCH(QString, undoText);
        StartedEditor ed;
        if (state != "fresh") addStage(ed, ui);
        if (state == "sprite" || state == "moved" || state == "undone") addSprites(ed, {"coin.bmp"});
        auto* sprites = ed.w->findChild<QListWidget*>("spriteList");
        if (state == "sprite" || state == "moved") {
            ed.w->selectRow(sprites, 0);
            ed.w->selectSpriteFromList();  // as a click does
        }
        if (state == "moved") ed.w->findChild<QSpinBox*>("spriteXField")->setValue(77);
        if (state == "undone") ed.w->undoEdit();
        const QHash<QString, Command> ids{
            {"Save", Command::Save}, {"SaveAs", Command::SaveAs}, {"Undo", Command::Undo}, {"Redo", Command::Redo},
            {"AddStage", Command::AddStage}, {"DeleteStage", Command::DeleteStage}, {"AddSprite", Command::AddSprite},
            {"ReplaceSprite", Command::ReplaceSprite}, {"DeleteSprite", Command::DeleteSprite},
            {"RenameSector", Command::RenameSector}, {"DeleteSector", Command::DeleteSector}};
        for (const QString& name : enabled) QVERIFY2(ed.w->actions()[ids[name]]->isEnabled(), qPrintable(name));
        for (const QString& name : disabled) QVERIFY2(!ed.w->actions()[ids[name]]->isEnabled(), qPrintable(name));
        QCOMPARE(ed.w->actions()[Command::Undo]->text(), undoText);
    }

    void buttonKeyAndMenuDoTheSame_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("button") << "button";
        QTest::newRow("key") << "key";
        QTest::newRow("menu") << "menu";
    }
    // Deleting the selected sprite through the Del button, the Delete key or
    // Sprite > Delete: one sprite goes, the one selected.
    void buttonKeyAndMenuDoTheSame() {
        QFETCH(QString, way);
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp"});
        auto* sprites = ed.w->findChild<QListWidget*>("spriteList");
        ed.w->selectRow(sprites, 1);
        const std::string kept = ed.L().sprite(1, 1).name.str();
        if (way == "button") {
            ed.w->findChild<QToolButton*>("delButton")->click();
        } else if (way == "key") {
            sprites->setFocus();
            QTest::keyClick(ed.keyTarget(), Qt::Key_Delete);
        } else {
            QMenu* menu = nullptr;
            for (QAction* top : ed.w->menuBar()->actions())
                if (top->text().remove('&') == "Sprite") menu = top->menu();
            QVERIFY(menu);
            QAction* del = nullptr;
            for (QAction* item : menu->actions())
                if (item->text().remove('&') == "Delete") del = item;
            QVERIFY(del);
            del->trigger();
        }
        QCOMPARE(ed.L().stage(1).spriteCount, 1);
        QCOMPARE(ed.L().sprite(1, 1).name.str(), kept);
        QCOMPARE(ed.w->actions()[Command::Undo]->text(), QString("&Undo Delete sprite"));
    }

    // Open Recent lists the last ten packages, newest first; one whose file
    // is gone is left out.
    void openRecentKeepsTheLastTenThatExist() {
        StartedEditor ed;
        addStage(ed, ui);
        QStringList saved;
        for (int k = 1; k <= 12; ++k) {
            const QString pkg = home->path(QString("level%1.slv").arg(k));
            ui.saveAnswers.push_back(pkg);
            ed.w->saveLevelAs();
            saved.prepend(pkg);
        }
        QCOMPARE(ed.w->recentPackages(), saved.mid(0, 10));
        QFile::remove(saved[0]);
        QCOMPARE(ed.w->recentPackages(), saved.mid(1, 9));
        auto* menu = ed.w->findChild<QMenu*>("recentMenu");
        emit menu->aboutToShow();
        QCOMPARE(menu->actions().size(), 9);
        // Another window sees the same list, and opens from it.
        ed.w->newLevel();
        menu->actions().at(2)->trigger();
        QCOMPARE(ed.w->document().packagePath(), saved[3].toStdString());
        QCOMPARE(ed.w->recentPackages().first(), saved[3]);
    }

    // The window's size and the classic choice are kept for the next start.
    void windowPlaceIsRemembered() {
        {
            Editor ed;
            QVERIFY(!ed.w->windowFlags().testFlag(Qt::FramelessWindowHint));
            ed.w->resize(760, 540);
            QVERIFY(ed.w->close());
        }
        {
            Editor ed;
            QCOMPARE(ed.w->size(), QSize(760, 540));
            ed.w->actions()[Command::ClassicWindow]->trigger();
            QVERIFY(ed.w->windowFlags().testFlag(Qt::FramelessWindowHint));
            QVERIFY(ed.w->close());
        }
        Editor ed;
        QVERIFY(ed.w->isClassicWindow());
        QVERIFY(ed.w->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(ed.w->minimumSize(), ed.w->maximumSize());
        QCOMPARE(ed.w->findChild<QWidget*>("screenArea")->size(), QSize(800, 600));
        ed.w->setClassicWindow(false);
        QVERIFY(ed.w->close());
    }

    // Help > Keys and Mouse lists every command's keys, read from the actions.
    void keysWindowListsEveryCommand() {
        Editor ed;
        ed.w->actions()[Command::Redo]->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_R)});  // any key shows
        ed.w->actions()[Command::KeysAndMouse]->trigger();
        auto* text = ed.w->findChild<QTextBrowser*>("keysText");
        QVERIFY(text && text->isVisible());
        const QString listed = text->toPlainText();
        int withKeys = 0;
        for (Command id : ed.w->actions().all()) {
            const QAction* a = ed.w->actions()[id];
            if (a->shortcuts().isEmpty()) continue;
            ++withKeys;
            QVERIFY2(listed.contains(slv::EditorActions::keysText(a) + "\t" + a->text().remove('&')) ||
                         listed.contains(slv::EditorActions::keysText(a)),
                     qPrintable(a->text()));
        }
        QVERIFY(withKeys > 20);
        QVERIFY(listed.contains("Ctrl+R"));
        QVERIFY(listed.contains("Right drag"));
    }

    // The selected sprite shows in the status bar.
    void statusBarShowsTheSelectedItem() {
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp"});
        ed.w->selectRow(ed.w->findChild<QListWidget*>("spriteList"), 0);
        ed.w->selectSpriteFromList();  // as a click does
        const slv::SpriteRec& r = ed.L().sprite(1, 1);
        const int x = r.x;
        const auto* status = ed.w->findChild<slv::StatusLine*>("statusLine");
        QCOMPARE(status->itemDescription(),
                 slv::StatusLine::itemText("Sprite", QString::fromStdString(r.name.str()), r.x, r.y, r.w, r.h));
        ed.w->findChild<QSpinBox*>("spriteXField")->setValue(x + 5);
        QCOMPARE(status->itemDescription(),
                 slv::StatusLine::itemText("Sprite", QString::fromStdString(r.name.str()), x + 5, r.y, r.w, r.h));
    }
};

SLV_WINDOW_TEST_MAIN(CommandsTest)

#include "test_commands.moc"
