#include "display/frametimer.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

#include "display/clock.h"

namespace slv {

FrameTimer::FrameTimer(QObject* parent) : QObject(parent), clock_(tickCount) {
    idle_.setInterval(0);
    idle_.setSingleShot(false);
    idle_.setTimerType(Qt::PreciseTimer);  // a capped rate sleeps to the millisecond
    connect(&idle_, &QTimer::timeout, this, &FrameTimer::runTick);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (!activeOnly_ || !enabled_) return;
                    if (state == Qt::ApplicationActive && !idle_.isActive()) restart();
                    updateHook();
                });
    }
    updatePacing();
    restart();
    updateHook();
}

double FrameTimer::displayRate() const {
    if (displayRate_ > 0) return displayRate_;
    QScreen* screen = nullptr;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) screen = QGuiApplication::primaryScreen();
    const double hz = screen ? screen->refreshRate() : 0;
    // A screen that reports no rate, or one beyond any display, is taken
    // as the common 60 Hz.
    return hz >= 1 && hz <= 1000 && std::isfinite(hz) ? hz : 60.0;
}

void FrameTimer::setDisplayRate(double hz) {
    displayRate_ = hz > 0 && std::isfinite(hz) ? hz : 0;
    updatePacing();
    restart();
}

void FrameTimer::setRateLimit(int perSecond) {
    rateLimit_ = perSecond < 0 ? kDisplayRate : perSecond;
    updatePacing();
    restart();
}

void FrameTimer::updatePacing() {
    pacer_.setRate(rateLimit_ == kDisplayRate ? displayRate() : double(rateLimit_));
    if (!pacer_.paced()) idle_.setInterval(0);
}

bool FrameTimer::applicationActive() const {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

void FrameTimer::updateHook() {
    const bool want = enabled_ && (!activeOnly_ || applicationActive());
    if (want && !idle_.isActive())
        idle_.start();
    else if (!want && idle_.isActive())
        idle_.stop();
}

void FrameTimer::restart() {
    lastTick_ = clock_();
    pacer_.restart(lastTick_);
    windowStart_ = lastTick_;
    frames_ = 0;
    fps_ = 0;
}

void FrameTimer::setEnabled(bool on) {
    enabled_ = on;
    if (on) restart();
    updateHook();
}

void FrameTimer::setActiveOnly(bool on) {
    if (activeOnly_ == on) return;
    activeOnly_ = on;
    if (enabled_ && !idle_.isActive()) restart();
    updateHook();
}

void FrameTimer::setClock(Clock clock) {
    clock_ = clock ? std::move(clock) : Clock(tickCount);
    restart();
}

void FrameTimer::runTick() {
    if (!enabled_) return;
    const std::uint32_t now = clock_();
    const std::uint32_t since = now - lastTick_;
    if (const std::uint32_t wait = pacer_.waitAt(now)) {
        // Sleep until the tick is due instead of spinning.
        if (idle_.isActive()) idle_.start(static_cast<int>(wait));
        return;
    }
    pacer_.frameAt(now);
    if (pacer_.paced() && idle_.isActive()) idle_.start(static_cast<int>(pacer_.waitAt(now)));
    const double period = pacer_.paced() ? 1000.0 / pacer_.rate() : 1.0;
    const std::uint32_t lag = std::uint32_t(std::floor(double(since) / period + 1e-9));
    lastTick_ = now;
    ++frames_;
    std::uint32_t window = now - windowStart_;
    if (window < 1) window = 1;
    if (window >= 1000) {
        fps_ = static_cast<int>((std::uint64_t(frames_) * 1000 + window / 2) / window);
        frames_ = 0;
        windowStart_ = now;
    }
    const int lagCount = lag < 1 ? 1 : (lag > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(lag));
    if (onTick) onTick(lagCount);
    emit timer(lagCount);
}

}  // namespace slv
