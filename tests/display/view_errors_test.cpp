// Failures of the view that no caller catches (first show, resizing) reach
// the author through the error handler, and the view stays usable.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QResizeEvent>
#include <QWidget>

#include <string>
#include <vector>

#include "display/scenewidget.h"

using namespace slv;

namespace {

class ViewErrors : public ::testing::Test {
protected:
    QWidget form;
    SceneWidget* view = new SceneWidget(&form);
    std::vector<std::string> reported;

    void SetUp() override {
        view->setErrorHandler([this](const std::string& text) { reported.push_back(text); });
    }
    // A hidden widget hears of its new size only through the event.
    void resizeTo(int w, int h) {
        const QSize old = view->size();
        view->resize(w, h);
        QResizeEvent ev(view->size(), old);
        QCoreApplication::sendEvent(view, &ev);
    }
};

TEST_F(ViewErrors, AModeThatCannotBeSetIsReportedAtTheFirstShow) {
    view->setGeometry(0, 0, 640, 480);
    view->setOptions(view->options().include(doFullScreen));
    view->display.bitsPerPixel = 12;
    form.show();
    EXPECT_EQ(reported, std::vector<std::string>{"Display mode cannot be changed (640x480 12bit)"});
    EXPECT_FALSE(view->isViewReady());
    // A mode that exists works after the failure.
    view->display.bitsPerPixel = 16;
    view->initializeView();
    EXPECT_TRUE(view->isViewReady());
    EXPECT_EQ(view->device()->bitsPerPixel(), 16);
}

TEST_F(ViewErrors, AResizeTooLargeForASurfaceKeepsTheBackBuffer) {
    view->resize(64, 48);
    view->initializeView();
    view->backBuffer()->fill(0x123456);
    resizeTo(40000, 40000);  // over the surface size limit
    EXPECT_EQ(reported, std::vector<std::string>{"Surface cannot be made"});
    ASSERT_TRUE(view->isViewReady());
    EXPECT_EQ(view->backBuffer()->rect(), (PixelRect{0, 0, 64, 48}));
    EXPECT_EQ(view->backBuffer()->pixelAt(63, 47), 0x123456u);
    // The next size that fits is taken again.
    resizeTo(100, 50);
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_EQ(view->backBuffer()->rect(), (PixelRect{0, 0, 100, 50}));
}

}  // namespace
