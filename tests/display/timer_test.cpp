#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>
#include <QWidget>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include "display/frametimer.h"

using namespace slv;

namespace {

// A frame timer on a clock the test moves by hand.
struct HandClock {
    std::uint32_t now = 5000;
    FrameTimer timer;

    HandClock() { timer.setClock([this] { return now; }); }
    // `n` passes of the loop, `ms` milliseconds apart.
    void passes(int n, std::uint32_t ms) {
        for (int i = 0; i < n; ++i) {
            now += ms;
            timer.runTick();
        }
    }
    // Ticks counted over `ms` milliseconds of a clock that moves one
    // millisecond between idle passes, as a loop that never sleeps would call.
    int ticksOver(int ms, std::vector<int>* lags = nullptr) {
        int ticks = 0;
        timer.onTick = [&ticks, lags](int lag) {
            ++ticks;
            if (lags) lags->push_back(lag);
        };
        passes(ms, 1);
        return ticks;
    }
};

struct FrameTimerTest : ::testing::Test, HandClock {};

}  // namespace

TEST_F(FrameTimerTest, FramesPerSecondIsZeroDuringTheFirstSecond) {
    timer.setRateLimit(0);  // every pass ticks
    timer.setEnabled(true);
    int calls = 0;
    timer.onTick = [&calls](int) { ++calls; };
    for (int i = 0; i < 99; ++i) {
        passes(1, 10);
        EXPECT_EQ(timer.framesPerSecond(), 0) << i;
    }
    passes(1, 10);  // 1000 ms after the start: 100 ticks
    EXPECT_EQ(calls, 100);
    EXPECT_EQ(timer.framesPerSecond(), 100);
    // The next window: 30 ticks over 1500 ms is 20 per second.
    passes(30, 50);
    EXPECT_EQ(timer.framesPerSecond(), 20);
}

TEST_F(FrameTimerTest, RateIsRoundedToTheNearest) {
    timer.setEnabled(true);
    // 3 ticks, the last at 1200 ms: 2.5 per second rounds to 3.
    passes(3, 400);
    EXPECT_EQ(timer.framesPerSecond(), 3);
}

TEST_F(FrameTimerTest, EnablingAgainRestartsTheMeasuringWindow) {
    timer.setRateLimit(0);  // every pass ticks
    timer.setEnabled(true);
    passes(20, 60);
    EXPECT_GT(timer.framesPerSecond(), 0);
    timer.setEnabled(false);
    passes(1, 5000);  // stopped: nothing counted
    timer.setEnabled(true);
    EXPECT_EQ(timer.framesPerSecond(), 0);
    std::vector<int> lags;
    timer.onTick = [&lags](int lag) { lags.push_back(lag); };
    passes(1, 999);
    EXPECT_EQ(timer.framesPerSecond(), 0);
    ASSERT_EQ(lags.size(), 1u);
    EXPECT_EQ(lags[0], 999);  // unpaced, each millisecond counts
}

// How many ticks a second the loop runs, from each rate limit and display
// rate: paced ones never more than their rate in any run of ticks, spread
// evenly (lags of one period), and the unpaced loop on every idle pass.
TEST(FrameTimer, TicksAtMostAtTheRateItIsPacedTo) {
    const struct {
        const char* what;
        int limit;
        double display;
        double rate;  // ticks a second expected at most (0: every pass)
    } cases[] = {
        {"default, 60 Hz display", FrameTimer::kDisplayRate, 60, 60},
        {"default, 144 Hz display", FrameTimer::kDisplayRate, 144, 144},
        {"default, 59.94 Hz display", FrameTimer::kDisplayRate, 59.94, 59.94},
        {"--max-fps 30", 30, 60, 30},
        {"--max-fps 1000", 1000, 60, 1000},
        {"--max-fps 0: unpaced", 0, 60, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HandClock t;
        FrameTimer& timer = t.timer;
        timer.setDisplayRate(c.display);
        timer.setRateLimit(c.limit);
        EXPECT_DOUBLE_EQ(timer.pacedRate(), c.rate);
        std::vector<int> lags;
        const int ticks = t.ticksOver(3000, &lags);
        if (c.rate == 0) {
            EXPECT_EQ(ticks, 3000);  // every idle pass, as the loop always ran
            EXPECT_EQ(timer.framesPerSecond(), 1000);
            continue;
        }
        EXPECT_LE(ticks, int(3 * c.rate) + 1);
        EXPECT_GE(ticks, int(3 * c.rate) - 1);
        for (int lag : lags) EXPECT_EQ(lag, 1);
        // No one-second stretch holds more ticks than the rate.
        std::vector<std::uint32_t> at;
        timer.onTick = [&](int) { at.push_back(t.now); };
        t.passes(3000, 1);
        for (std::size_t k = 0; k < at.size(); ++k) {
            std::size_t j = k;
            while (j < at.size() && at[j] - at[k] < 1000) ++j;
            ASSERT_LE(double(j - k), std::ceil(c.rate)) << "from tick " << k;
        }
        EXPECT_NEAR(timer.framesPerSecond(), c.rate, 1.0);
    }
}

// A stall (a long Open, a slow frame) is not made up with a burst of ticks:
// the next tick counts the periods missed, and pacing goes on from there.
TEST_F(FrameTimerTest, APacedLoopDoesNotBurstAfterAStall) {
    timer.setDisplayRate(50);  // a tick every 20 ms
    std::vector<int> lags;
    EXPECT_EQ(ticksOver(100, &lags), 6);  // at 1, 20, 40, 60, 80 and 100 ms
    passes(1, 500);
    ASSERT_EQ(lags.size(), 7u);
    EXPECT_EQ(lags.back(), 25);
    EXPECT_EQ(ticksOver(100), 5);
    // Back to unpaced: every pass ticks again; then capped again.
    timer.setRateLimit(0);
    EXPECT_EQ(ticksOver(100), 100);
    timer.setRateLimit(FrameTimer::kDisplayRate);
    EXPECT_EQ(ticksOver(100), 6);
}

TEST_F(FrameTimerTest, ClockWrapsWithoutHarm) {
    now = 0xFFFFFF00u;
    timer.setEnabled(true);
    passes(50, 20);  // passes 2^32 on the way
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
    HandClock t;
    FrameTimer& timer = t.timer;
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
    t.now += 5000;
    // Becoming active starts the ticks, measured from that moment.
    QWidget w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_TRUE(timer.running());
    EXPECT_FALSE(stopped.running());
    t.passes(1, 10);
    ASSERT_FALSE(lags.empty());
    EXPECT_LE(lags.front(), 10);  // not the 5 s spent inactive
}
