// Keys reach the window before the focused control; the actor follows held
// keys; function keys switch tabs and display modes.
#include <QDialog>

#include "harness.h"

using namespace slv;

namespace {

void send(QWidget* target, QEvent::Type type, int key, bool autoRepeat = false,
          Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent ev(type, key, mods, QString(), autoRepeat);
    QApplication::sendEvent(target, &ev);
}

QList<int> held(const ActorState& actor) { return {actor.heldKeys[0], actor.heldKeys[1], actor.heldKeys[2]}; }

}  // namespace

class KeysTest : public WindowTest {
    Q_OBJECT

private slots:
    void heldKeysAndAutoRepeat() {
        StartedEditor ed;
        QWidget* target = ed.keyTarget();
        send(target, QEvent::KeyPress, Qt::Key_Left);
        send(target, QEvent::KeyPress, Qt::Key_Up);
        send(target, QEvent::KeyPress, Qt::Key_Left, true);  // auto-repeat
        send(target, QEvent::KeyPress, Qt::Key_A);
        send(target, QEvent::KeyPress, Qt::Key_B);  // a fourth key is not recorded
        QCOMPARE(held(ed.w->actor()), (QList<int>{37, 38, 65}));
        // A release between auto-repeats is not the key being let go.
        send(target, QEvent::KeyRelease, Qt::Key_Up, true);
        QCOMPARE(ed.w->actor().heldKeys[1], 38);
        send(target, QEvent::KeyRelease, Qt::Key_Up);
        QCOMPARE(ed.w->actor().heldKeys[1], -1);
        send(target, QEvent::KeyPress, Qt::Key_B);
        QCOMPARE(ed.w->actor().heldKeys[1], 66);
        // Each key is taken once, whatever has the focus: Insert on the Stage
        // tab is one file dialog, not one per widget; two presses that look
        // alike, each taken by the control that has them, both reach the window.
        ed.w->findChild<QCheckBox*>("showSpriteBoxes")->setFocus();
        ed.w->activateWindow();
        QTest::keyClick(ed.keyTarget(), Qt::Key_Insert);
        QCOMPARE(ui.openFolders.size(), 1);
        send(ed.w->findChild<QListWidget*>("stageList"), QEvent::KeyPress, Qt::Key_Insert);
        send(ed.w->findChild<QListWidget*>("stageList"), QEvent::KeyPress, Qt::Key_Insert);
        QCOMPARE(ui.openFolders.size(), 3);
        // Releases never reach a window that lost the keyboard: the held keys
        // are let go when it is deactivated or a modal dialog opens.
        QEvent off(QEvent::WindowDeactivate);
        QApplication::sendEvent(ed.w.get(), &off);
        QCOMPARE(held(ed.w->actor()), (QList<int>{-1, -1, -1}));
        QTest::keyPress(ed.keyTarget(), Qt::Key_Left);
        QTest::keyPress(ed.keyTarget(), Qt::Key_A);
        QCOMPARE(held(ed.w->actor()), (QList<int>{37, 65, -1}));
        QDialog box(ed.w.get());
        box.setModal(true);
        box.show();
        QCOMPARE(held(ed.w->actor()), (QList<int>{-1, -1, -1}));
    }

    // A key is let go under the code it went down with, whatever Shift did
    // in between: press 1, press Shift, release 1 (now "!"), release Shift.
    void releaseUnderShiftFreesTheKey() {
        struct Case {
            const char* name;
            int pressKey;
            Qt::KeyboardModifiers pressMods;
            int releaseKey;
            quint32 scanCode;  // 0: what QTest sends; else the platform's code
            int code;
        } cases[] = {
            {"1 let go as !", Qt::Key_1, Qt::NoModifier, Qt::Key_Exclam, 0, 49},
            {"! let go as 1", Qt::Key_Exclam, Qt::ShiftModifier, Qt::Key_1, 0, 49},
            {"/ let go as ?", Qt::Key_Slash, Qt::NoModifier, Qt::Key_Question, 0, 191},
            {"3 let go as a symbol of another layout", Qt::Key_3, Qt::NoModifier, Qt::Key_section, 12, 51},
        };
        StartedEditor ed;
        QWidget* target = ed.keyTarget();
        for (const Case& c : cases) {
            auto key = [&](QEvent::Type type, int k, Qt::KeyboardModifiers mods) {
                if (c.scanCode == 0) {
                    if (type == QEvent::KeyPress) QTest::keyPress(target, Qt::Key(k), mods);
                    else QTest::keyRelease(target, Qt::Key(k), mods);
                    return;
                }
                const quint32 scan = k == Qt::Key_Shift ? 50 : c.scanCode;
                QKeyEvent ev(type, k, mods, scan, 0, 0);
                QApplication::sendEvent(target, &ev);
            };
            key(QEvent::KeyPress, c.pressKey, c.pressMods);
            QVERIFY2(held(ed.w->actor()).contains(c.code), c.name);
            key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
            key(QEvent::KeyRelease, c.releaseKey, Qt::ShiftModifier);
            key(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
            QVERIFY2(held(ed.w->actor()) == (QList<int>{-1, -1, -1}), c.name);
        }
    }

    // Enter opens the selected stage and confirms the picker that Insert
    // opens; in a text or number field, Insert, Delete, F8 and Enter edit the
    // field, and other keys still reach the actor.
    void enterInsertAndFieldKeys() {
        StartedEditor ed;
        addStages(ed, ui, {"sea.bmp", "city.bmp"});
        ed.w->findChild<QListWidget*>("stageList")->setFocus();
        // A row that has the keyboard frame without being selected opens too.
        ed.w->findChild<QListWidget*>("stageList")->setCurrentRow(0);
        ed.w->findChild<QListWidget*>("stageList")->clearSelection();
        QTest::keyClick(ed.w->findChild<QListWidget*>("stageList"), Qt::Key_Return);
        QCOMPARE(ed.L().openStage, 1);
        ed.w->selectRow(ed.w->findChild<QListWidget*>("stageList"), 1);
        QTest::keyClick(ed.w->findChild<QListWidget*>("stageList"), Qt::Key_Return);
        QCOMPARE(ed.L().openStage, 2);
        ed.w->routeKeyDown(113, {});  // F2: the Sprite tab
        ed.w->routeKeyDown(45, {});   // Insert
        QVERIFY(ed.w->findChild<slv::SpritePicker*>("spritePicker")->isVisible());
        ed.w->findChild<slv::SpritePicker*>("spritePicker")->fileList_->item(0)->setSelected(true);
        QTest::keyClick(ed.w->findChild<slv::SpritePicker*>("spritePicker")->fileList_, Qt::Key_Return);
        QCOMPARE(ed.L().stage(2).spriteCount, 1);
        QVERIFY(ed.w->findChild<slv::SpritePicker*>("spritePicker")->isVisible());  // "Add 'em" leaves it open
        // Enter in the picker's frame-count field does not confirm the picker.
        ed.w->findChild<slv::SpritePicker*>("spritePicker")->frameCountField_->setFocus();
        QTest::keyClick(ed.w->findChild<slv::SpritePicker*>("spritePicker")->frameCountField_, Qt::Key_Return);
        QCOMPARE(ed.L().stage(2).spriteCount, 1);
        ed.w->editTabChanged();
        ed.w->selectRow(ed.w->findChild<QListWidget*>("spriteList"), 0);
        ed.w->selectSpriteFromList();
        ed.w->findChild<QSpinBox*>("spriteXField")->setValue(400);
        ed.w->findChild<QSpinBox*>("spriteXField")->setFocus();
        auto* edit = ed.w->findChild<QSpinBox*>("spriteXField")->findChild<QLineEdit*>();
        QVERIFY(edit);
        edit->setCursorPosition(1);
        QTest::keyClick(ed.w->findChild<QSpinBox*>("spriteXField"), Qt::Key_Delete);
        QCOMPARE(ed.w->findChild<QSpinBox*>("spriteXField")->value(), 40);
        QCOMPARE(ed.L().stage(2).spriteCount, 1);
        QCOMPARE(ed.L().sprite(1, 2).x, 40);
        for (Qt::Key k : {Qt::Key_Insert, Qt::Key_F8, Qt::Key_Return}) QTest::keyClick(ed.w->findChild<QSpinBox*>("spriteXField"), k);
        QVERIFY(!ed.w->findChild<slv::SpritePicker*>("spritePicker")->isVisible());
        QVERIFY(ui.openFolders.size() == 1 && ui.errors.isEmpty());
        QTest::keyPress(ed.w->findChild<QSpinBox*>("spriteXField"), Qt::Key_Left);
        QVERIFY(held(ed.w->actor()).contains(37));
    }

    void tabKeys() {
        StartedEditor ed;
        ed.w->chooseWorkFolder();
        QVERIFY(ed.w->findChild<QTreeView*>("folderTree")->isVisible());
        ed.w->routeKeyDown(112, {});  // F1 while the tree shows
        QVERIFY(!ed.w->findChild<QTreeView*>("folderTree")->isVisible());
        QCOMPARE(QApplication::focusWidget(), ed.w->findChild<QListWidget*>("stageList"));
        ed.w->routeKeyDown(113, {});  // F2
        QCOMPARE(ed.w->findChild<QTabWidget*>("editTabs")->currentIndex(), 1);
        QCOMPARE(ed.w->findChild<QStackedWidget*>("listPages")->currentIndex(), 1);
        QCOMPARE(QApplication::focusWidget(), ed.w->findChild<QListWidget*>("spriteList"));
        ed.w->routeKeyDown(114, {});  // F3
        QCOMPARE(ed.w->findChild<QStackedWidget*>("listPages")->currentIndex(), 2);
        ed.w->routeKeyDown(115, {});  // F4: no list at all
        QCOMPARE(ed.w->findChild<QTabWidget*>("editTabs")->currentIndex(), 3);
        QVERIFY(ed.w->findChild<QStackedWidget*>("listPages")->currentWidget()->findChildren<QListWidget*>().isEmpty());
    }

    void displayModesKeepSpritesAndActor() {
        StartedEditor ed;
        const std::uint32_t windowKey = ed.w->viewState().colorKey;
        addStage(ed, ui);
        addSprites(ed, {"gem.bmp"});
        SpriteRec& sp = ed.L().sprite(1, 1);
        sp.x = 400;
        sp.y = 250;
        auto* view = ed.w->findChild<slv::SceneWidget*>("sceneView");
        QSize windowSize;  // in the window, as it was the first time back
        QRect viewPlace;
        for (int key : {120, 122, 121, 122}) {
            ed.w->routeKeyDown(key, {});
            const bool full = key != 122;
            if (!full && windowSize.isEmpty()) {
                windowSize = ed.w->size();
                viewPlace = view->geometry();
            }
            QCOMPARE(ed.w->viewState().colorKey, full ? 63519u : windowKey);
            QCOMPARE(ed.w->findChild<slv::SceneWidget*>("sceneView")->device()->bitsPerPixel(), full ? 16 : 32);
            QCOMPARE(ed.w->viewState().lowerPanelVisible, key == 120);
            QCOMPARE(ed.w->findChild<slv::SceneWidget*>("sceneView")->backBuffer()->height(), key == 120 ? 480 : 430);
            QVERIFY(ed.w->frameTimer_->isEnabled());
            ed.w->frameTimer_->setEnabled(false);
            QVERIFY(ed.w->findChild<slv::SceneWidget*>("sceneView")->isViewReady());
            ed.stillTick();
            // The sprite and the actor draw from live surfaces of the new device.
            QVERIFY(ed.surface(ed.w->actor().skin(ed.w->actor().currentSkin).surface));
            const auto drawn = ed.compareSprite(sp, ed.shownFrame(1), 0);
            QVERIFY2(drawn.opaque > 100 && drawn.wrong == 0, qPrintable(QString("%1 wrong").arg(drawn.wrong)));
            // The open stage stays the backdrop.
            const SurfaceHandle stagePic = ed.w->pictures().load(home->path("backpx/forest.bmp").toStdString(), false);
            int stagePixels = 0, samples = 0;
            for (int x = 450; x < std::min(640, view->backBuffer()->width()); x += 5, ++samples)
                stagePixels += ed.pixel(x, 20) == ed.surface(stagePic)->pixelAt(x, 20);
            ed.w->pictures().release(stagePic);
            QVERIFY(samples > 30);
            QCOMPARE(stagePixels, samples);
            if (key == 120) QCOMPARE(ed.pixel(320, 460), ed.surface(ed.w->viewState().lowerPanelSurface)->pixelAt(320, 30));
        }
        // Back in the window, the window and the view have their sizes again.
        QCOMPARE(ed.w->size(), windowSize);
        QCOMPARE(view->geometry(), viewPlace);
    }
};

SLV_WINDOW_TEST_MAIN(KeysTest)

#include "test_keys.moc"
