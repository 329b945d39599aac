#include <gtest/gtest.h>

#include "common/error_text.h"

#include <QApplication>
#include <QBackingStore>
#include <QTimer>
#include <QImage>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "display/scenewidget.h"
#include "model/errors.h"

#include <vector>

using namespace slv;

namespace {

// The region of each paint event a widget gets.
struct PaintLog : QObject {
    std::vector<QRegion> regions;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) regions.push_back(static_cast<QPaintEvent*>(e)->region());
        return false;
    }
    int paints() const { return int(regions.size()); }
};

// A view on a form, and the colour the view shows at a point.
class View : public ::testing::Test {
protected:
    QColor shown(int x, int y) const { return QColor(view->grab().toImage().pixel(x, y)); }
    // A 64 x 43 view on a shown form, ready, its paints logged.
    void showSmallView() {
        form.resize(100, 80);
        view->setGeometry(0, 0, 64, 43);
        form.show();
        QApplication::processEvents();
        ASSERT_TRUE(view->isViewReady());
        view->installEventFilter(&log);
    }
    // The timer of a frame held back by the present interval, made due now.
    bool makeHeldFrameDue() {
        for (QTimer* t : view->findChildren<QTimer*>(Qt::FindDirectChildrenOnly))
            if (t->isActive()) {
                t->start(0);
                return true;
            }
        return false;
    }
    QImage* store() { return dynamic_cast<QImage*>(form.backingStore()->paintDevice()); }
    QWidget form;
    SceneWidget* view = new SceneWidget(&form);
    PaintLog log;
    ~View() override { view->removeEventFilter(&log); }
};

}  // namespace

TEST(ViewWithoutForm, IsNotInitialised) {
    SceneWidget lone;
    EXPECT_EQ(errorOf([&] { lone.initializeView(); }), "Form not found");
    EXPECT_FALSE(lone.isViewReady());
    EXPECT_EQ(lone.backBuffer(), nullptr);
}

TEST_F(View, WindowedViewHasAThirtyTwoBitBackBufferOfItsSizeThatFollowsResizing) {
    view->setGeometry(6, 7, 640, 430);
    view->initializeView();
    ASSERT_TRUE(view->isViewReady());
    EXPECT_EQ(view->device()->bitsPerPixel(), 32);
    EXPECT_EQ(view->backBuffer()->rect(), (PixelRect{0, 0, 640, 430}));
    EXPECT_EQ(view->backBuffer()->pixelAt(320, 200), 0u);
    EXPECT_EQ(QSize(view->surfaceWidth(), view->surfaceHeight()), QSize(640, 430));
    const SurfaceHandle h = view->backBuffer()->handle();
    view->resize(640, 480);
    QResizeEvent ev(QSize(640, 480), QSize(640, 430));
    QCoreApplication::sendEvent(view, &ev);
    EXPECT_EQ(view->backBuffer()->height(), 480);
    EXPECT_EQ(view->backBuffer()->handle(), h);
}

TEST_F(View, FullScreenUsesSixteenBitPixelsAndRefusesOtherBitCounts) {
    view->resize(640, 480);
    SceneOptions o = view->options();
    view->setOptions(o.include(doFullScreen));
    for (int bits : {12, 8}) {
        view->display.bitsPerPixel = bits;
        EXPECT_EQ(errorOf([&] { view->initializeView(); }),
                  "Display mode cannot be changed (640x480 " + std::to_string(bits) + "bit)");
        EXPECT_FALSE(view->isInitialized());
        EXPECT_EQ(view->device(), nullptr);
    }
    // Without full screen the display mode is not touched.
    view->setOptions(view->options().exclude(doFullScreen));
    view->initializeView();
    EXPECT_TRUE(view->isViewReady());

    view->finalizeView();
    view->setOptions(view->options().include(doFullScreen));
    view->display.bitsPerPixel = 16;
    view->display.width = 800;
    view->display.height = 600;
    view->initializeView();
    EXPECT_EQ(view->device()->bitsPerPixel(), 16);
    EXPECT_EQ(view->backBuffer()->height(), 480);
    EXPECT_EQ(view->display.width, 800);
}

TEST_F(View, SurfacesDoNotOutliveAModeChange) {
    view->initializeView();
    Surface* pic = view->device()->createSurface();
    pic->setSize(4, 4);
    const SurfaceHandle h = pic->handle(), back = view->backBuffer()->handle();
    EXPECT_EQ(view->resolve(h), pic);
    QSignalSpy finalized(view, &SceneWidget::finalized);
    view->finalizeView();
    EXPECT_EQ(finalized.count(), 1);
    EXPECT_FALSE(view->isViewReady());
    EXPECT_EQ(view->resolve(h), nullptr);
    view->setOptions(view->options().include(doFullScreen));
    view->initializeView();
    EXPECT_EQ(view->resolve(h), nullptr);
    EXPECT_EQ(view->resolve(back), nullptr);
    EXPECT_NE(view->backBuffer()->handle(), back);
}

TEST_F(View, InitialisesItselfWhenFirstShown) {
    form.resize(800, 600);
    view->setGeometry(6, 7, 640, 430);
    QSignalSpy initialized(view, &SceneWidget::initialized);
    EXPECT_FALSE(view->isInitialized());
    form.show();
    EXPECT_TRUE(view->isViewReady());
    EXPECT_EQ(initialized.count(), 1);
    form.hide();
    form.show();
    EXPECT_EQ(initialized.count(), 1);
}

TEST_F(View, PresentShowsTheBackBufferAtTheTopLeft) {
    view->resize(64, 43);
    view->initializeView();
    Surface* bb = view->backBuffer();
    bb->fill(0x00FF0000);
    bb->canvas().setPenColor(0x00FF00);  // green
    bb->canvas().setBrushStyle(BrushStyle::Clear);
    bb->canvas().rectangle(0, 0, 10, 10);
    view->present();
    EXPECT_FALSE(bb->canvas().active());
    EXPECT_EQ(shown(0, 0), QColor(0, 255, 0));
    EXPECT_EQ(shown(5, 5), QColor(255, 0, 0));
    EXPECT_EQ(shown(63, 42), QColor(255, 0, 0));
}

TEST_F(View, CenterMovesASmallerBackBufferIntoTheMiddle) {
    view->setAutoSize(false);
    view->setSurfaceSize(20, 10);
    view->resize(41, 31);
    view->initializeView();
    view->backBuffer()->fill(0x000000FF);
    EXPECT_EQ(view->targetRect(), QRect(10, 10, 20, 10));  // (41-20) div 2, (31-10) div 2
    EXPECT_EQ(shown(10, 10), QColor(0, 0, 255));
    EXPECT_EQ(shown(29, 19), QColor(0, 0, 255));
    EXPECT_EQ(shown(9, 10), QColor(0, 0, 0));
    EXPECT_EQ(view->toBackBuffer(QPoint(12, 13)), QPoint(2, 3));
    view->setOptions({});
    EXPECT_EQ(view->targetRect(), QRect(0, 0, 20, 10));
}

TEST_F(View, ScaleToFitKeepsTheAspectAndMapsTheMouseBack) {
    view->setAutoSize(false);
    view->setSurfaceSize(64, 48);
    view->resize(256, 240);
    view->setScaleToFit(true);
    view->initializeView();
    view->backBuffer()->fill(0x0000FF00);
    EXPECT_EQ(view->targetRect(), QRect(0, 24, 256, 192));
    EXPECT_EQ(view->toBackBuffer(QPoint(0, 24)), QPoint(0, 0));
    EXPECT_EQ(view->toBackBuffer(QPoint(255, 215)), QPoint(63, 47));
    EXPECT_EQ(shown(100, 10), QColor(0, 0, 0));
    EXPECT_EQ(shown(100, 100), QColor(0, 255, 0));
}

TEST_F(View, MouseSignalsCarryButtonCtrlAndBackBufferPosition) {
    view->resize(100, 80);
    view->initializeView();
    QSignalSpy down(view, &SceneWidget::mouseDown), up(view, &SceneWidget::mouseUp);
    QTest::mousePress(view, Qt::RightButton, Qt::ControlModifier, QPoint(12, 34));
    QTest::mouseRelease(view, Qt::RightButton, Qt::NoModifier, QPoint(15, 36));
    ASSERT_EQ(down.count(), 1);
    EXPECT_EQ(down[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_TRUE(down[0][1].toBool());
    EXPECT_EQ(QPoint(down[0][2].toInt(), down[0][3].toInt()), QPoint(12, 34));
    ASSERT_EQ(up.count(), 1);
    EXPECT_FALSE(up[0][1].toBool());
    EXPECT_EQ(up[0][2].toInt(), 15);
}

// Frames presented faster than the minimum interval are not painted one by
// one: the newest is painted once the interval has passed.
TEST_F(View, FramesComingFasterThanTheIntervalShowTheNewestOnceItPasses) {
    showSmallView();
    view->setMinPresentInterval(3600 * 1000);  // no frame comes due by itself during the test
    Surface* bb = view->backBuffer();
    const std::uint32_t red = bb->device().rgbToPixel(255, 0, 0), blue = bb->device().rgbToPixel(0, 0, 255);
    bb->fill(red);
    view->present();
    const int first = log.paints();
    EXPECT_GE(first, 1);
    for (std::uint32_t pixel : {red, blue}) {  // two more frames at once: neither painted yet
        bb->fill(pixel);
        view->present();
    }
    QApplication::processEvents();
    EXPECT_EQ(log.paints(), first);
    // The newest frame waits for the interval to pass; make it pass now.
    ASSERT_TRUE(makeHeldFrameDue());
    EXPECT_TRUE(QTest::qWaitFor([&] { return log.paints() > first; }, 5000));
    EXPECT_EQ(log.paints(), first + 1);
    ASSERT_NE(store(), nullptr);
    EXPECT_EQ(store()->pixel(5, 5) & 0xFFFFFF, 0x0000FFu);  // the newest frame
}

// A frame presented with what changed paints only those parts; none paints
// nothing; parts held back by the interval are painted together.
TEST_F(View, PresentOfAChangedPartPaintsThatPartAlone) {
    showSmallView();
    view->setMinPresentInterval(0);
    Surface* bb = view->backBuffer();
    const PixelDevice& d = bb->device();
    bb->fill(d.rgbToPixel(255, 0, 0));
    view->present();
    bb->fill(d.rgbToPixel(0, 0, 255));  // all of it changes, but only a part is said to
    view->present({rectAt(10, 5, 8, 4), rectAt(40, 30, 2, 2)});
    view->present({});
    view->present({PixelRect{}});
    view->present({rectAt(60, 40, 20, 20)});  // reaches past the back buffer
    ASSERT_EQ(log.paints(), 3);
    EXPECT_EQ(log.regions[0], QRegion(0, 0, 64, 43));
    EXPECT_EQ(log.regions[1], QRegion(10, 5, 8, 4) | QRegion(40, 30, 2, 2));
    EXPECT_EQ(log.regions[2], QRegion(60, 40, 4, 3));
    ASSERT_NE(store(), nullptr);
    EXPECT_EQ(store()->pixel(12, 6) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(store()->pixel(30, 20) & 0xFFFFFF, 0xFF0000u);  // not said to change: not painted
    // Held back by the interval, two parts are painted at once, as one.
    view->setMinPresentInterval(3600 * 1000);
    view->present({rectAt(1, 1, 2, 2)});
    view->present({rectAt(20, 30, 2, 2)});
    ASSERT_TRUE(makeHeldFrameDue());
    EXPECT_TRUE(QTest::qWaitFor([&] { return log.paints() == 4; }, 5000));
    EXPECT_EQ(log.regions.back(), QRegion(1, 1, 2, 2) | QRegion(20, 30, 2, 2));
}
