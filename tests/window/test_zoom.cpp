// The view's zoom and pan, driven with real mouse and wheel events on the
// scene control, and the status line that follows the pointer.
#include "harness.h"

#include <QPaintEvent>
#include <QProcess>
#include <QRegion>
#include <QSettings>
#include <QSignalSpy>
#include <QWheelEvent>

#include "editor/statusline.h"

using namespace slv;

namespace {

constexpr int kFit = 0;  // a table's zoom column: fit to view

// Sets the view's zoom from a table's zoom column; for fit to view the view
// is first made large enough to show the scene twice over.
void applyZoom(SceneWidget* view, int zoom) {
    if (zoom == kFit) {
        view->resize(1300, 900);
        view->setFitToView(true);
    } else {
        view->setZoom(zoom);
    }
}

// Where the middle of back-buffer pixel `scene` is on the control, worked out
// from the zoom and scroll offset alone: the picture is scrolled by pan on an
// axis where it is larger than the control and centred where it fits.
QPoint controlPosOf(const SceneWidget* view, QPoint scene, int zoom, QPoint pan) {
    auto axis = [zoom](int control, int picture, int scrolled, int at) {
        const int origin = picture > control ? -scrolled : (control - picture) / 2;
        return origin + at * zoom + zoom / 2;
    };
    return QPoint(axis(view->width(), 640 * zoom, pan.x(), scene.x()),
                  axis(view->height(), 430 * zoom, pan.y(), scene.y()));
}

void sendWheel(QWidget* target, QPoint pos, int angle, Qt::KeyboardModifiers modifiers) {
    QWheelEvent wheel(pos, target->mapToGlobal(pos), QPoint(), QPoint(0, angle), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
}

// A move of the pointer to `pos` with `buttons` held.
void sendMove(QWidget* target, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton) {
    QMouseEvent move(QEvent::MouseMove, pos, target->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

void sendSpace(QWidget* target, QEvent::Type type) {
    QKeyEvent key(type, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(target, &key);
}

}  // namespace

class ZoomTest : public WindowTest {
    Q_OBJECT

    QString preferencesFolder;

private slots:
    void init() {
        WindowTest::init();
        // The remembered zoom goes to a scratch folder of the test's own.
        preferencesFolder = home->dir.path() + "/preferences";
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, preferencesFolder);
    }

    // A click picks the same sprite and a drag moves it by scene pixels at
    // every zoom: the mouse reaches the editor in back-buffer pixels.
    void pickAndDragAtEachZoom_data() {
        QTest::addColumn<int>("zoom");
        for (int z = SceneWidget::kMinZoom; z <= SceneWidget::kMaxZoom; ++z)
            QTest::addRow("%dx", z) << z;
        QTest::addRow("fit") << kFit;
    }
    void pickAndDragAtEachZoom() {
        QFETCH(int, zoom);
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp"});  // 32 x 32
        SpriteRec& coin = ed.L().sprite(1, 1);
        coin.x = 300, coin.y = 200;
        ed.w->selectRow(ed.w->findChild<QListWidget*>("spriteList"), -1);
        SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
        const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
        QCOMPARE(view->devicePixelRatioF(), scale);
        applyZoom(view, zoom);
        const int z = zoom == kFit ? 2 : zoom;
        QCOMPARE(view->zoom(), z);
        // Scrolled so that the sprite is in sight (the offset holds as set).
        const QPoint pan = z == 1 ? QPoint() : QPoint(310 * z - 300, 210 * z - 200);
        view->setPanOffset(pan);
        QCOMPARE(view->panOffset(), zoom == kFit ? QPoint() : pan);

        // A click one scene pixel right of the sprite's right edge misses it.
        QTest::mouseClick(view, Qt::LeftButton, {}, controlPosOf(view, {333, 210}, z, pan));
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("spriteList")), -1);
        // On its right edge it picks it.
        QTest::mouseClick(view, Qt::LeftButton, {}, controlPosOf(view, {332, 210}, z, pan));
        QCOMPARE(MainWindow::selectedRow(ed.w->findChild<QListWidget*>("spriteList")), 0);

        // A drag of 10, 5 scene pixels moves it by as much.
        const QPoint from = controlPosOf(view, {310, 210}, z, pan);
        const QPoint to = controlPosOf(view, {320, 215}, z, pan);
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        sendMove(view, to, Qt::LeftButton);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        QCOMPARE(QPoint(coin.x, coin.y), QPoint(310, 205));
    }

    // The same at a device pixel ratio of 2: the program runs that test again
    // with the whole interface scaled.
    void pickAndDragAtPixelRatioTwo() {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_SCALE_FACTOR", "2");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"pickAndDragAtEachZoom"});
        QVERIFY(child.waitForFinished(120000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
        QVERIFY2(output.contains("PASS   : ZoomTest::pickAndDragAtEachZoom(fit)"), qPrintable(output));
        QVERIFY2(output.contains(" 0 failed"), qPrintable(output));
    }

    // Zooming about a point keeps the scene pixel under it there; the factor
    // stays within 1..8.
    void zoomAboutThePointer_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<int>("wheel");  // 0: zoomAbout; else a Ctrl+wheel turn
        QTest::addColumn<int>("expected");
        QTest::newRow("1 to 2 near the corner") << 1 << 2 << QPoint(10, 10) << 0 << 2;
        QTest::newRow("2 to 5 low right") << 2 << 5 << QPoint(600, 400) << 0 << 5;
        QTest::newRow("8 to 3") << 8 << 3 << QPoint(100, 80) << 0 << 3;
        QTest::newRow("3 to 7 on an odd pixel") << 3 << 7 << QPoint(77, 391) << 0 << 7;
        QTest::newRow("wheel up") << 3 << 0 << QPoint(123, 45) << 120 << 4;
        QTest::newRow("wheel down") << 5 << 0 << QPoint(500, 300) << -120 << 4;
        QTest::newRow("above 8 stays 8") << 6 << 12 << QPoint(200, 200) << 0 << 8;
        QTest::newRow("wheel up at 8 stays 8") << 8 << 0 << QPoint(200, 200) << 120 << 8;
    }
    void zoomAboutThePointer() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QPoint, pointer);
        QFETCH(int, wheel);
        QFETCH(int, expected);
        Editor ed;
        SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
        view->setZoom(from);
        view->setPanOffset(QPoint(37 * (from - 1), 23 * (from - 1)));
        const QPoint before = view->toBackBuffer(pointer);
        QSignalSpy changes(view, &SceneWidget::zoomChanged);
        if (wheel != 0)
            sendWheel(view, pointer, wheel, Qt::ControlModifier);
        else
            view->zoomAbout(to, pointer);
        QCOMPARE(view->zoom(), expected);
        QCOMPARE(view->toBackBuffer(pointer), before);
        QCOMPARE(changes.count(), expected == from ? 0 : 1);
        QCOMPARE(ed.w->statusLine().zoomText(), QString::number(expected * 100) + "%");
    }

    void zoomStepsStayWithinOneToEight() {
        Editor ed;
        SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
        for (int factor : {-3, 0, 1}) {
            view->setZoom(factor);
            QCOMPARE(view->zoom(), 1);
        }
        view->zoomOut();
        QCOMPARE(view->zoom(), 1);
        for (int k = 2; k <= 8; ++k) {
            ed.w->zoomIn();
            QCOMPARE(view->zoom(), k);
        }
        ed.w->zoomIn();
        QCOMPARE(view->zoom(), 8);
        ed.w->zoomOut();
        QCOMPARE(view->zoom(), 7);
        ed.w->zoomActualSize();
        QCOMPARE(view->zoom(), 1);
        QVERIFY(!view->fitToView());
    }

    // The middle button, Space with the left button, and the wheel pan a
    // picture larger than the control, never past its edges; the editor
    // sees none of these presses.
    void panning_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QPoint>("by");        // mouse movement, or the wheel's angle
        QTest::addColumn<QPoint>("expected");  // offset after, from (100, 100)
        QTest::newRow("middle drag") << "middle" << 4 << QPoint(-30, -50) << QPoint(130, 150);
        QTest::newRow("middle drag back") << "middle" << 4 << QPoint(40, 20) << QPoint(60, 80);
        QTest::newRow("middle drag past the start") << "middle" << 4 << QPoint(500, 500) << QPoint(0, 0);
        QTest::newRow("middle drag past the end") << "middle" << 2 << QPoint(-900, -900) << QPoint(640, 430);
        QTest::newRow("space and left") << "space" << 3 << QPoint(-25, 10) << QPoint(125, 90);
        QTest::newRow("wheel down") << "wheel" << 2 << QPoint(0, -120) << QPoint(100, 130);
        QTest::newRow("shift wheel") << "shift wheel" << 2 << QPoint(0, -120) << QPoint(130, 100);
        QTest::newRow("scene fits: no pan") << "middle" << 1 << QPoint(-30, -50) << QPoint(0, 0);
    }
    void panning() {
        QFETCH(QString, how);
        QFETCH(int, zoom);
        QFETCH(QPoint, by);
        QFETCH(QPoint, expected);
        Editor ed;
        SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
        view->setZoom(zoom);
        view->setPanOffset(QPoint(100, 100));
        QSignalSpy downs(view, &SceneWidget::mouseDown);
        QSignalSpy ups(view, &SceneWidget::mouseUp);
        const QPoint start(300, 200);
        if (how.contains("wheel")) {
            sendWheel(view, start, by.y(), how.startsWith("shift") ? Qt::ShiftModifier : Qt::NoModifier);
        } else {
            const Qt::MouseButton button = how == "middle" ? Qt::MiddleButton : Qt::LeftButton;
            if (how == "space") sendSpace(ed.keyTarget(), QEvent::KeyPress);
            QTest::mousePress(view, button, {}, start);
            sendMove(view, start + by, button);
            QTest::mouseRelease(view, button, {}, start + by);
            if (how == "space") sendSpace(ed.keyTarget(), QEvent::KeyRelease);
        }
        QCOMPARE(view->panOffset(), expected);
        QCOMPARE(downs.count(), 0);
        QCOMPARE(ups.count(), 0);
        // With Space up the left button is the editor's again.
        QTest::mouseClick(view, Qt::LeftButton, {}, start);
        QCOMPARE(downs.count(), 1);
        QCOMPARE(view->panOffset(), expected);
    }

    // A change of the back buffer goes to the screen as the zoomed rectangle
    // it covers, not as the whole frame.
    void presentSendsTheZoomedChangedRectangle_data() {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QRect>("expected");  // on the control, from a pan of (200, 100)
        QTest::newRow("1x") << 1 << QRect(100, 60, 10, 6);
        QTest::newRow("2x") << 2 << QRect(0, 20, 20, 12);
        QTest::newRow("3x") << 3 << QRect(100, 80, 30, 18);
        QTest::newRow("8x") << 8 << QRect(600, 380, 40, 48);  // cut by the control's edge
    }
    void presentSendsTheZoomedChangedRectangle() {
        QFETCH(int, zoom);
        QFETCH(QRect, expected);
        Editor ed;
        SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
        QVERIFY(view->isViewReady());
        view->setMinPresentInterval(0);
        view->setZoom(zoom);
        view->setPanOffset(QPoint(200, 100));
        QCoreApplication::processEvents();
        struct PaintLog : QObject {
            QRegion painted;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) painted |= static_cast<QPaintEvent*>(e)->region();
                return false;
            }
        } log;
        view->installEventFilter(&log);
        view->present({PixelRect{100, 60, 110, 66}});
        view->removeEventFilter(&log);
        QCOMPARE(log.painted, QRegion(expected));
    }

    // Each back-buffer pixel is a square of zoom x ratio device pixels of
    // exactly its colour: nothing blended, nothing shifted.
    void pixelsStaySharp_data() {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("1x at 1") << 1 << qreal(1);
        QTest::newRow("1x at 2") << 1 << qreal(2);
        QTest::newRow("3x at 1") << 3 << qreal(1);
        QTest::newRow("3x at 2") << 3 << qreal(2);
        QTest::newRow("5x at 3") << 5 << qreal(3);
        QTest::newRow("1x at 1.5") << 1 << qreal(1.5);
        QTest::newRow("2x at 1.25") << 2 << qreal(1.25);
    }
    void pixelsStaySharp() {
        QFETCH(int, zoom);
        QFETCH(qreal, ratio);
        Editor ed;
        SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
        QVERIFY(view->isViewReady());
        Surface* bb = view->backBuffer();
        // A pattern no two neighbours of which are alike.
        auto colourAt = [](int x, int y) { return std::uint32_t(((x * 37 + y * 101) & 0xFF) << 16 | (x & 0xFF) << 8 | (y & 0xFF)); };
        const PixelView px = bb->pixels();
        QCOMPARE(px.bytesPerPixel, 4);
        for (int y = 0; y < px.height; ++y)
            for (int x = 0; x < px.width; ++x)
                reinterpret_cast<std::uint32_t*>(px.pixels + y * px.pitch)[x] = colourAt(x, y);
        view->setZoom(zoom);
        const QPoint pan = zoom == 1 ? QPoint() : QPoint(50 * zoom, 40 * zoom);
        view->setPanOffset(pan);
        const QRect area(0, 0, 16 * zoom, 12 * zoom);  // control pixels
        QImage shot((QSizeF(area.size()) * ratio).toSize(), QImage::Format_RGB32);
        shot.setDevicePixelRatio(ratio);
        shot.fill(Qt::gray);
        view->render(&shot, QPoint(), QRegion(area));
        // Each device pixel shows the back-buffer pixel under its centre.
        int wrong = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const int cx = int(std::floor((x + 0.5) / ratio)), cy = int(std::floor((y + 0.5) / ratio));
                const QPoint scene(pan.x() / zoom + cx / zoom, pan.y() / zoom + cy / zoom);
                wrong += (shot.pixel(x, y) & 0xFFFFFF) != colourAt(scene.x(), scene.y());
            }
        QCOMPARE(wrong, 0);
    }

    // A position between control pixels (a fractional pixel ratio) falls in
    // the pixel it lies in, at every zoom.
    void fractionalPositionsFallInTheirPixel_data() {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<QPointF>("offset");  // within the scene pixel's square
        QTest::newRow("1x, three quarters in") << 1 << QPointF(0.75, 0.75);
        QTest::newRow("2x, at the far edge") << 2 << QPointF(1.9, 1.6);
        QTest::newRow("3x, near the far edge") << 3 << QPointF(2.6, 2.51);
        QTest::newRow("4x, at the near edge") << 4 << QPointF(0.0, 0.1);
    }
    void fractionalPositionsFallInTheirPixel() {
        QFETCH(int, zoom);
        QFETCH(QPointF, offset);
        Editor ed;
        SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
        view->setZoom(zoom);
        const QPoint pan = zoom == 1 ? QPoint() : QPoint(90 * zoom, 70 * zoom);
        view->setPanOffset(pan);
        QSignalSpy downs(view, &SceneWidget::mouseDown);
        const QPoint scene(123, 98);
        const QPointF pos = QPointF(scene * zoom - pan) + offset;
        QMouseEvent press(QEvent::MouseButtonPress, pos, view->mapToGlobal(pos), Qt::RightButton, Qt::RightButton,
                          Qt::NoModifier);
        QApplication::sendEvent(view, &press);
        QCOMPARE(downs.count(), 1);
        QCOMPARE(QPoint(downs[0][2].toInt(), downs[0][3].toInt()), scene);
    }

    // The status line: the pointer's stage pixel, the item under it on the
    // active tab (else the selected one) and the zoom.
    void statusLineTexts_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QPoint>("pointer");  // (-1, -1): the pointer left
        QTest::addColumn<int>("selectedSprite");
        QTest::addColumn<QString>("position");
        QTest::addColumn<QString>("item");
        QTest::newRow("over the gem") << 1 << QPoint(125, 125) << -1 << "125, 125"
                                      << QString("Sprite gem.bmp  120, 120  40\u00d740");
        QTest::newRow("over the gem, coin selected") << 1 << QPoint(150, 150) << 0 << "150, 150"
                                                     << QString("Sprite gem.bmp  120, 120  40\u00d740");
        QTest::newRow("over nothing, coin selected") << 1 << QPoint(300, 60) << 0 << "300, 60"
                                                     << QString("Sprite coin.bmp  100, 100  32\u00d732");
        QTest::newRow("over nothing") << 1 << QPoint(300, 60) << -1 << "300, 60" << QString();
        QTest::newRow("left the scene, gem selected") << 1 << QPoint(-1, -1) << 1 << ""
                                                      << QString("Sprite gem.bmp  120, 120  40\u00d740");
        QTest::newRow("over the sector") << 2 << QPoint(260, 200) << 0 << "260, 200"
                                         << QString("Sector %1  250, 180  80\u00d760");
        QTest::newRow("stage tab over the gem") << 0 << QPoint(125, 125) << 1 << "125, 125" << QString();
    }
    void statusLineTexts() {
        QFETCH(int, tab);
        QFETCH(QPoint, pointer);
        QFETCH(int, selectedSprite);
        QFETCH(QString, position);
        QFETCH(QString, item);
        StartedEditor ed;
        addStage(ed, ui);
        addSprites(ed, {"coin.bmp", "gem.bmp"});
        SpriteRec& coin = ed.L().sprite(1, 1);
        SpriteRec& gem = ed.L().sprite(2, 1);
        coin.x = 100, coin.y = 100;
        gem.x = 120, gem.y = 120;
        ed.drawSector({250, 180}, {330, 240});
        ed.w->findChild<QTabWidget*>("editTabs")->setCurrentIndex(tab);
        ed.w->selectRow(ed.w->findChild<QListWidget*>("spriteList"), selectedSprite);
        SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
        view->setZoom(2);
        const QPoint pan(100, 100);
        view->setPanOffset(pan);
        if (pointer.x() < 0) {
            sendMove(view, controlPosOf(view, {125, 125}, 2, pan));
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(view, &leave);
        } else {
            sendMove(view, controlPosOf(view, pointer, 2, pan));
        }
        const StatusLine* status = &ed.w->statusLine();
        QCOMPARE(status->positionText(), position);
        const std::string sectorName = ed.L().sector(1, 1).name.str();
        QCOMPARE(status->itemDescription(), item.contains("%1") ? item.arg(QString::fromStdString(sectorName)) : item);
        QCOMPARE(status->zoomText(), QString("200%"));
        view->setZoom(3);
        QCOMPARE(status->zoomText(), QString("300%"));
        view->resize(1300, 900);
        view->setFitToView(true);
        QCOMPARE(status->zoomText(), QString("Fit 200%"));
    }

    // The zoom chosen is the one the next window opens with.
    void zoomIsRemembered_data() {
        QTest::addColumn<QVariant>("stored");  // invalid: nothing stored yet
        QTest::addColumn<int>("chosen");       // kFit: fit to view
        QTest::addColumn<bool>("fitAtStart");
        QTest::addColumn<int>("zoomAtStart");
        QTest::newRow("first run fits") << QVariant() << 5 << true << 1;
        QTest::newRow("5x") << QVariant(3) << 5 << false << 3;
        QTest::newRow("8x") << QVariant(1) << 8 << false << 1;
        QTest::newRow("fit") << QVariant(4) << kFit << false << 4;
        QTest::newRow("a factor out of range fits") << QVariant(12) << 2 << true << 1;
    }
    void zoomIsRemembered() {
        QFETCH(QVariant, stored);
        QFETCH(int, chosen);
        QFETCH(bool, fitAtStart);
        QFETCH(int, zoomAtStart);
        QSettings preferences(QSettings::IniFormat, QSettings::UserScope, "slvedit", "slvedit");
        preferences.clear();
        if (stored.isValid()) preferences.setValue("view/zoom", stored);
        preferences.sync();
        {
            Editor ed;
            SceneWidget* view = ed.w->findChild<SceneWidget*>("sceneView");
            QCOMPARE(view->fitToView(), fitAtStart);
            QCOMPARE(view->zoom(), zoomAtStart);
            if (chosen == kFit)
                ed.w->zoomToFit();
            else
                view->setZoom(chosen);
        }
        Editor again;
        QCOMPARE(again.w->findChild<SceneWidget*>("sceneView")->fitToView(), chosen == kFit);
        QCOMPARE(again.w->findChild<SceneWidget*>("sceneView")->zoom(), chosen == kFit ? 1 : chosen);
        QCOMPARE(again.w->statusLine().zoomText(), chosen == kFit ? QString("Fit 100%") : QString("%1%").arg(chosen * 100));
    }
};

SLV_WINDOW_TEST_MAIN(ZoomTest)

#include "test_zoom.moc"
