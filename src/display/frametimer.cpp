#include "display/frametimer.h"

#include <QGuiApplication>

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
    restart();
    updateHook();
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
    if (since < static_cast<std::uint32_t>(interval_)) {
        // Sleep out the rest of the interval instead of spinning.
        if (idle_.isActive()) idle_.start(static_cast<int>(interval_ - since));
        return;
    }
    if (interval_ > 0 && idle_.isActive()) idle_.start(interval_);
    const std::uint32_t lag = since / static_cast<std::uint32_t>(interval_ > 1 ? interval_ : 1);
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
