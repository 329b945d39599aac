// Failures of the view that no caller catches (first show, resizing) reach
// the author through the error handler, and the view stays usable.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QResizeEvent>
#include <QWidget>

#include <string>
#include <vector>

#include "display/dxdraw.h"

using namespace slv;

namespace {

class ViewErrors : public ::testing::Test {
protected:
    QWidget form;
    TDXDraw* view = new TDXDraw(&form);
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
    view->setOptions(view->Options().include(doFullScreen));
    view->Display.BitCount = 12;
    form.show();
    EXPECT_EQ(reported, std::vector<std::string>{"Display mode cannot be changed (640x480 12bit)"});
    EXPECT_FALSE(view->ViewReady());
    // A mode that exists works after the failure.
    view->Display.BitCount = 16;
    view->InitializeView();
    EXPECT_TRUE(view->ViewReady());
    EXPECT_EQ(view->Device()->BitCount(), 16);
}

TEST_F(ViewErrors, AResizeTooLargeForASurfaceKeepsTheBackBuffer) {
    view->resize(64, 48);
    view->InitializeView();
    view->BackBuffer()->FillColor(0x123456);
    resizeTo(40000, 40000);  // over the surface size limit
    EXPECT_EQ(reported, std::vector<std::string>{"Surface cannot be made"});
    ASSERT_TRUE(view->ViewReady());
    EXPECT_EQ(view->BackBuffer()->Width(), 64);
    EXPECT_EQ(view->BackBuffer()->Height(), 48);
    EXPECT_EQ(view->BackBuffer()->ReadPixel(63, 47), 0x123456u);
    // The next size that fits is taken again.
    resizeTo(100, 50);
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_EQ(view->BackBuffer()->Width(), 100);
    EXPECT_EQ(view->BackBuffer()->Height(), 50);
}

}  // namespace
