#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "display/frametimer.h"

using namespace slv;

namespace {

struct FakeClock {
    std::uint32_t now = 5000;
};

}  // namespace

TEST(FrameTimer, FramesPerSecondIsZeroDuringTheFirstSecond) {
    FakeClock clock;
    FrameTimer timer;
    timer.setEnabled(false);
    timer.setClock([&clock] { return clock.now; });
    timer.setEnabled(true);
    int calls = 0;
    timer.onTick = [&calls](int) { ++calls; };
    for (int i = 0; i < 99; ++i) {
        clock.now += 10;
        timer.runTick();
        EXPECT_EQ(timer.framesPerSecond(), 0) << i;
    }
    clock.now += 10;  // 1000 ms after the start: 100 ticks
    timer.runTick();
    EXPECT_EQ(calls, 100);
    EXPECT_EQ(timer.framesPerSecond(), 100);
    // The next window: 30 ticks over 1500 ms is 20 per second.
    for (int i = 0; i < 30; ++i) {
        clock.now += 50;
        timer.runTick();
    }
    EXPECT_EQ(timer.framesPerSecond(), 20);
}

TEST(FrameTimer, RateIsRoundedToTheNearest) {
    FakeClock clock;
    FrameTimer timer;
    timer.setClock([&clock] { return clock.now; });
    timer.setEnabled(true);
    // 3 ticks, the last at 1200 ms: 2.5 per second rounds to 3.
    clock.now += 400;
    timer.runTick();
    clock.now += 400;
    timer.runTick();
    clock.now += 400;
    timer.runTick();
    EXPECT_EQ(timer.framesPerSecond(), 3);
}

TEST(FrameTimer, EnablingAgainRestartsTheMeasuringWindow) {
    FakeClock clock;
    FrameTimer timer;
    timer.setClock([&clock] { return clock.now; });
    timer.setEnabled(true);
    for (int i = 0; i < 20; ++i) {
        clock.now += 60;
        timer.runTick();
    }
    EXPECT_GT(timer.framesPerSecond(), 0);
    timer.setEnabled(false);
    clock.now += 5000;
    timer.runTick();  // stopped: nothing counted
    timer.setEnabled(true);
    EXPECT_EQ(timer.framesPerSecond(), 0);
    std::vector<int> lags;
    timer.onTick = [&lags](int lag) { lags.push_back(lag); };
    clock.now += 999;
    timer.runTick();
    EXPECT_EQ(timer.framesPerSecond(), 0);
    ASSERT_EQ(lags.size(), 1u);
    EXPECT_EQ(lags[0], 999);  // Interval 0 counts each millisecond
}

TEST(FrameTimer, IntervalHoldsTicksBackAndCountsLag) {
    FakeClock clock;
    FrameTimer timer;
    timer.setClock([&clock] { return clock.now; });
    timer.setEnabled(true);
    timer.setInterval(10);
    std::vector<int> lags;
    timer.onTick = [&lags](int lag) { lags.push_back(lag); };
    clock.now += 5;
    timer.runTick();
    EXPECT_TRUE(lags.empty());
    clock.now += 20;  // 25 ms since the start
    timer.runTick();
    ASSERT_EQ(lags.size(), 1u);
    EXPECT_EQ(lags[0], 2);
    timer.setInterval(0);
    timer.runTick();  // no time passed: still at least 1
    EXPECT_EQ(lags.back(), 1);
}

TEST(FrameTimer, ClockWrapsWithoutHarm) {
    FakeClock clock;
    clock.now = 0xFFFFFF00u;
    FrameTimer timer;
    timer.setClock([&clock] { return clock.now; });
    timer.setEnabled(true);
    for (int i = 0; i < 50; ++i) {
        clock.now += 20;  // passes 2^32 on the way
        timer.runTick();
    }
    EXPECT_EQ(timer.framesPerSecond(), 50);
}

TEST(FrameTimer, TicksWhileTheEventLoopIsIdle) {
    FrameTimer timer;
    timer.setActiveOnly(false);
    timer.setEnabled(true);
    EXPECT_TRUE(timer.running());
    int ticks = 0;
    QObject::connect(&timer, &FrameTimer::timer, [&ticks](int lag) {
        EXPECT_GE(lag, 1);
        ++ticks;
    });
    EXPECT_TRUE(QTest::qWaitFor([&ticks] { return ticks >= 5; }, 10000));
    timer.setEnabled(false);
    EXPECT_FALSE(timer.running());
    const int stopped = ticks;
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, stopped);
}

TEST(FrameTimer, TicksOnlyWhileTheApplicationIsActive) {
    if (QGuiApplication::applicationState() == Qt::ApplicationActive)
        GTEST_SKIP() << "the application is already active in this process";
    FakeClock clock;
    FrameTimer timer;
    timer.setClock([&clock] { return clock.now; });
    std::vector<int> lags;
    timer.onTick = [&lags](int lag) { lags.push_back(lag); };
    EXPECT_FALSE(timer.running());
    timer.setActiveOnly(false);
    EXPECT_TRUE(timer.running());
    timer.setActiveOnly(true);
    EXPECT_FALSE(timer.running());
    EXPECT_TRUE(lags.empty());
    FrameTimer stopped;
    stopped.setEnabled(false);
    clock.now += 5000;
    // Becoming active starts the ticks, measured from that moment.
    QWidget w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_TRUE(timer.running());
    EXPECT_FALSE(stopped.running());
    clock.now += 10;
    timer.runTick();
    ASSERT_FALSE(lags.empty());
    EXPECT_LE(lags.front(), 10);  // not the 5 s spent inactive
}
