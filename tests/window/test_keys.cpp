// Keys reach the window before the focused control; the actor follows held
// keys; function keys switch tabs and display modes.
#include <QCheckBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeView>

#include "app.h"
#include "display/clock.h"
#include "harness.h"
#include "spriteframe/spriteframe.h"

using namespace slv;

namespace {

void send(QWidget* target, QEvent::Type type, int key, bool autoRepeat = false,
          Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent ev(type, key, mods, QString(), autoRepeat);
    QApplication::sendEvent(target, &ev);
}

QList<int> held(const Level& L) { return {L.heldkey1, L.heldkey2, L.heldkey3}; }

bool holds(const Level& L, int code) {
    return L.heldkey1 == code || L.heldkey2 == code || L.heldkey3 == code;
}

}  // namespace

class KeysTest : public WindowTest {
    Q_OBJECT

private slots:
    void heldKeysAndAutoRepeat() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        QWidget* target = ed.keyTarget();
        send(target, QEvent::KeyPress, Qt::Key_Left);
        send(target, QEvent::KeyPress, Qt::Key_Up);
        send(target, QEvent::KeyPress, Qt::Key_Left, true);  // auto-repeat
        send(target, QEvent::KeyPress, Qt::Key_A);
        send(target, QEvent::KeyPress, Qt::Key_B);  // a fourth key is not recorded
        QCOMPARE(held(ed.L()), (QList<int>{37, 38, 65}));
        // A release between auto-repeats is not the key being let go.
        send(target, QEvent::KeyRelease, Qt::Key_Up, true);
        QCOMPARE(ed.L().heldkey2, 38);
        send(target, QEvent::KeyRelease, Qt::Key_Up);
        QCOMPARE(ed.L().heldkey2, -1);
        send(target, QEvent::KeyPress, Qt::Key_B);
        QCOMPARE(ed.L().heldkey2, 66);
        // Each key is taken once, whatever has the focus: Delete on the Stage
        // tab with no stage selected is one message, not one per widget; two
        // presses that look alike, each taken by the control that has them,
        // both reach the window.
        ed.w->CheckBox1->setFocus();
        ed.w->activateWindow();
        QTest::keyClick(ed.keyTarget(), Qt::Key_Delete);
        QCOMPARE(ui.takeErrors(), QStringList{"Select the stage you want to delete !"});
        send(ed.w->ListBox1, QEvent::KeyPress, Qt::Key_Delete);
        send(ed.w->ListBox1, QEvent::KeyPress, Qt::Key_Delete);
        QCOMPARE(ui.takeErrors().size(), 2);
        // Releases never reach a window that lost the keyboard: the held keys
        // are let go when it is deactivated or a modal dialog opens.
        QEvent off(QEvent::WindowDeactivate);
        QApplication::sendEvent(ed.w.get(), &off);
        QCOMPARE(held(ed.L()), (QList<int>{-1, -1, -1}));
        QTest::keyPress(ed.keyTarget(), Qt::Key_Left);
        QTest::keyPress(ed.keyTarget(), Qt::Key_A);
        QCOMPARE(held(ed.L()), (QList<int>{37, 65, -1}));
        QDialog box(ed.w.get());
        box.setModal(true);
        box.show();
        QCOMPARE(held(ed.L()), (QList<int>{-1, -1, -1}));
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
        TempHome home;
        Editor ed;
        ed.ticks(1);
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
            QVERIFY2(holds(ed.L(), c.code), c.name);
            key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
            key(QEvent::KeyRelease, c.releaseKey, Qt::ShiftModifier);
            key(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
            QVERIFY2(held(ed.L()) == (QList<int>{-1, -1, -1}), c.name);
        }
    }

    // Enter opens the selected stage and confirms the picker that Insert
    // opens; in a text or number field, Insert, Delete, F8 and Enter edit the
    // field, and other keys still reach the actor.
    void enterInsertAndFieldKeys() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        ui.openAnswers.push_back({home.path("backpx/sea.bmp"), home.path("backpx/city.bmp")});
        ed.w->Button4Click();
        QCOMPARE(ed.L().curstage, 0);
        ed.w->ListBox1->setFocus();
        // A row that has the keyboard frame without being selected opens too.
        ed.w->ListBox1->setCurrentRow(0);
        ed.w->ListBox1->clearSelection();
        QTest::keyClick(ed.w->ListBox1, Qt::Key_Return);
        QCOMPARE(ed.L().curstage, 1);
        ed.w->selectRow(ed.w->ListBox1, 1);
        QTest::keyClick(ed.w->ListBox1, Qt::Key_Return);
        QCOMPARE(ed.L().curstage, 2);
        ed.w->FormKeyDown(113, {});  // F2: the Sprite tab
        ed.w->FormKeyDown(45, {});   // Insert
        QVERIFY(ed.w->spritef1->isVisible());
        ed.w->spritef1->FileListBox1->item(0)->setSelected(true);
        QTest::keyClick(ed.w->spritef1->FileListBox1, Qt::Key_Return);
        QCOMPARE(ed.L().stage(2).totsprites, 1);
        QVERIFY(ed.w->spritef1->isVisible());  // "Add 'em" leaves it open
        // Enter in the picker's frame-count field does not confirm the picker.
        ed.w->spritef1->SpinEdit1->setFocus();
        QTest::keyClick(ed.w->spritef1->SpinEdit1, Qt::Key_Return);
        QCOMPARE(ed.L().stage(2).totsprites, 1);
        ed.w->PageControl2Change();
        ed.w->selectRow(ed.w->ListBox2, 0);
        ed.w->ListBox2Click();
        ed.w->SpinEdit1->setValue(400);
        ed.w->SpinEdit1->setFocus();
        auto* edit = ed.w->SpinEdit1->findChild<QLineEdit*>();
        QVERIFY(edit);
        edit->setCursorPosition(1);
        QTest::keyClick(ed.w->SpinEdit1, Qt::Key_Delete);
        QCOMPARE(ed.w->SpinEdit1->value(), 40);
        QCOMPARE(ed.L().stage(2).totsprites, 1);
        QCOMPARE(ed.L().sprite(1, 2).x, 40);
        for (Qt::Key k : {Qt::Key_Insert, Qt::Key_F8, Qt::Key_Return}) QTest::keyClick(ed.w->SpinEdit1, k);
        QVERIFY(!ed.w->spritef1->isVisible());
        QVERIFY(ui.openFolders.size() == 1 && ui.errors.isEmpty());
        QTest::keyPress(ed.w->SpinEdit1, Qt::Key_Left);
        QVERIFY(holds(ed.L(), 37));
    }

    void tabKeys() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        ed.w->Button7Click();
        QVERIFY(ed.w->DirectoryOutline1->isVisible());
        ed.w->FormKeyDown(112, {});  // F1 while the tree shows
        QVERIFY(!ed.w->DirectoryOutline1->isVisible());
        QCOMPARE(QApplication::focusWidget(), ed.w->ListBox1);
        ed.w->FormKeyDown(113, {});  // F2
        QCOMPARE(ed.w->PageControl2->currentIndex(), 1);
        QCOMPARE(ed.w->PageControl1->currentIndex(), 1);
        QCOMPARE(QApplication::focusWidget(), ed.w->ListBox2);
        ed.w->FormKeyDown(114, {});  // F3
        QCOMPARE(ed.w->PageControl1->currentIndex(), 2);
        ed.w->FormKeyDown(115, {});  // F4: no list at all
        QCOMPARE(ed.w->PageControl2->currentIndex(), 3);
        QVERIFY(ed.w->PageControl1->currentWidget()->findChildren<QListWidget*>().isEmpty());
    }

    void displayModesKeepSpritesAndActor() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        const std::uint32_t windowKey = ed.L().colorkey;
        ui.openAnswers.push_back({home.path("backpx/forest.bmp")});
        ed.w->Button4Click();
        ed.w->PageControl2->setCurrentIndex(1);
        ed.w->Button4Click();
        ed.w->spritef1->FileListBox1->findItems("gem.bmp", Qt::MatchExactly)[0]->setSelected(true);
        ed.w->spritef1Button1Click();
        SpriteRec& sp = ed.L().sprite(1, 1);
        sp.x = 400;
        sp.y = 250;
        for (int key : {120, 122, 121, 122}) {
            ed.w->FormKeyDown(key, {});
            const bool full = key != 122;
            QCOMPARE(ed.L().colorkey, full ? 63519u : windowKey);
            QCOMPARE(ed.w->DXDraw1->Device()->BitCount(), full ? 16 : 32);
            QCOMPARE(ed.L().padvisible, key == 120);
            QCOMPARE(ed.w->DXDraw1->BackBuffer()->Height(), key == 120 ? 480 : 430);
            QVERIFY(ed.w->DXTimer1->Enabled());
            ed.w->DXTimer1->setEnabled(false);
            QVERIFY(ed.w->DXDraw1->ViewReady());
            ed.L().lasttick = tickCount();  // no animation step during this tick
            ed.ticks(1);
            // The sprite and the actor draw from live surfaces of the new device.
            QVERIFY(ed.w->surface(ed.L().skin(ed.L().curskin).surface));
            TDirectDrawSurface* img = ed.w->surface(sp.surface);
            QVERIFY(img);
            const auto drawn = ed.compareDrawn(ed.w->surface(ed.L().backsurface), img, sp.pos, sp.w, sp.h, sp.x, sp.y,
                                               ed.L().colorkey, 0);
            QVERIFY2(drawn.opaque > 100 && drawn.wrong == 0, qPrintable(QString("%1 wrong").arg(drawn.wrong)));
            // The open stage stays the backdrop.
            const SurfaceHandle stagePic = ed.w->loadSurface(home.path("backpx/forest.bmp").toStdString(), false);
            int stagePixels = 0;
            for (int x = 450; x < 640; x += 5)
                stagePixels += ed.pixel(x, 20) == ed.w->surface(stagePic)->ReadPixel(x, 20);
            ed.w->freeSurface(stagePic);
            QCOMPARE(stagePixels, 38);
            if (key == 120) {
                TDirectDrawSurface* pad = ed.w->surface(ed.L().padsurface);
                QCOMPARE(ed.pixel(320, 460), pad->ReadPixel(320, 30));
            }
        }
        QCOMPARE(ed.w->DXDraw1->geometry(), QRect(7, 7, 640, 430));
        QCOMPARE(ed.w->size(), QSize(800, 600));
    }
};

SLV_WINDOW_TEST_MAIN(KeysTest)

#include "test_keys.moc"
