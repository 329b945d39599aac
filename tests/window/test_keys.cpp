// Keys reach the window before the focused control; the actor follows held
// keys; function keys switch tabs and display modes.
#include <QKeyEvent>
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

QWidget* focusOr(QWidget* w) {
    QWidget* f = QApplication::focusWidget();
    return f ? f : w;
}

}  // namespace

class KeysTest : public WindowTest {
    Q_OBJECT

private slots:
    void heldKeysAndAutoRepeat() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        QWidget* target = focusOr(ed.w.get());
        send(target, QEvent::KeyPress, Qt::Key_Left);
        send(target, QEvent::KeyPress, Qt::Key_Up);
        send(target, QEvent::KeyPress, Qt::Key_Left, true);  // auto-repeat
        send(target, QEvent::KeyPress, Qt::Key_A);
        send(target, QEvent::KeyPress, Qt::Key_B);  // a fourth key is not recorded
        QCOMPARE(ed.L().heldkey1, 37);
        QCOMPARE(ed.L().heldkey2, 38);
        QCOMPARE(ed.L().heldkey3, 65);
        // A release between auto-repeats is not the key being let go.
        send(target, QEvent::KeyRelease, Qt::Key_Up, true);
        QCOMPARE(ed.L().heldkey2, 38);
        send(target, QEvent::KeyRelease, Qt::Key_Up);
        QCOMPARE(ed.L().heldkey2, -1);
        send(target, QEvent::KeyPress, Qt::Key_B);
        QCOMPARE(ed.L().heldkey2, 66);
        // Two separate presses that look alike, each taken by the control
        // that has them, both reach the window.
        ui.errors.clear();
        send(ed.w->SpinEdit1, QEvent::KeyPress, Qt::Key_Delete);
        send(ed.w->SpinEdit1, QEvent::KeyPress, Qt::Key_Delete);
        QCOMPARE(ui.takeErrors().size(), 2);
    }

    void eachKeyIsTakenOnceWhateverHasTheFocus() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        ed.w->SpinEdit2->setFocus();
        ui.errors.clear();
        // Delete on the Stage tab with no stage selected: one message, not one per widget.
        ed.w->activateWindow();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : ed.w.get(),
                        Qt::Key_Delete);
        QCOMPARE(ui.takeErrors(), QStringList{"Select the stage you want to delete !"});
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

    void enterOpensTheStageOrConfirmsThePicker() {
        TempHome home;
        Editor ed;
        ed.ticks(1);
        ui.openAnswers.push_back({home.path("backpx/sea.bmp"), home.path("backpx/city.bmp")});
        ed.w->Button4Click();
        QCOMPARE(ed.L().curstage, 0);
        ed.w->ListBox1->setFocus();
        ed.w->selectRow(ed.w->ListBox1, 1);
        QTest::keyClick(ed.w->ListBox1, Qt::Key_Return);
        QCOMPARE(ed.L().curstage, 2);
        // Insert on the Sprite tab opens the picker; Enter confirms it.
        ed.w->FormKeyDown(113, {});
        ed.w->FormKeyDown(45, {});
        QVERIFY(ed.w->spritef1->isVisible());
        ed.w->spritef1->FileListBox1->item(0)->setSelected(true);
        QTest::keyClick(ed.w->spritef1->FileListBox1, Qt::Key_Return);
        QCOMPARE(ed.L().stage(2).totsprites, 1);
        QVERIFY(ed.w->spritef1->isVisible());  // "Add 'em" leaves it open
    }

    void escClosesAndWritesTheSettings() {
        TempHome home;
        {
            Editor ed;
            ed.ticks(1);
            QTest::keyClick(focusOr(ed.w.get()), Qt::Key_Escape);
            QVERIFY(!ed.w->isVisible());
        }
        QCOMPARE(QFileInfo(home.path("corvatel.cf")).size(), 264);
        QVERIFY(QFileInfo::exists(home.path("totposes.dat")));
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
            QVERIFY2(ui.errors.isEmpty(), qPrintable(ui.errors.join("; ")));
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
            TDirectDrawSurface* img = ed.w->surface(sp.surface);
            QVERIFY(img);
            QVERIFY(ed.w->surface(ed.L().skin(ed.L().curskin).surface));
            int same = 0, opaque = 0;
            for (int y = 0; y < sp.h; ++y)
                for (int x = 0; x < sp.w; ++x) {
                    std::uint32_t src = img->ReadPixel((sp.pos - 1) * sp.w + x, y);
                    if (src == ed.L().colorkey) continue;
                    ++opaque;
                    same += ed.pixel(sp.x + x, sp.y + y) == src;
                }
            QVERIFY2(opaque > 100 && same == opaque, qPrintable(QString("%1/%2").arg(same).arg(opaque)));
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
