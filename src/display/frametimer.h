// Frame timer: ticks as often as the display shows frames (its refresh
// rate) by default, at a given rate at most, or, unpaced, whenever the event
// loop has nothing else to do.
#pragma once

#include <cstdint>
#include <functional>

#include <QObject>
#include <QTimer>

#include "display/framepacer.h"

namespace slv {

class FrameTimer : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<std::uint32_t()>;

    explicit FrameTimer(QObject* parent = nullptr);

    bool isEnabled() const { return enabled_; }
    // false stops the ticks; true (re)starts them, with the last-tick time
    // and the one-second measuring window taken from now.
    void setEnabled(bool on);
    // Tick only while the application is the active one (default true).
    bool activeOnly() const { return activeOnly_; }
    void setActiveOnly(bool on);
    // Ticks a second at most: kDisplayRate (the default) follows the
    // display's refresh rate, 0 ticks whenever the loop is idle (unpaced),
    // N at most N a second. Between paced ticks the timer sleeps.
    static constexpr int kDisplayRate = -1;
    int rateLimit() const { return rateLimit_; }
    void setRateLimit(int perSecond);
    // The refresh rate kDisplayRate follows: the primary screen's unless
    // set (0 goes back to the screen's); 60 when the screen gives none.
    double displayRate() const;
    void setDisplayRate(double hz);
    // Ticks a second at most as things stand; 0 when unpaced.
    double pacedRate() const { return pacer_.rate(); }
    // Ticks counted in the last completed one-second window; 0 until then.
    int framesPerSecond() const { return fps_; }

    // Called on every tick with the number of whole tick periods since the
    // previous one (at least 1); unpaced, of whole milliseconds.
    std::function<void(int lagCount)> onTick;

    // Millisecond source; tickCount() unless replaced.
    void setClock(Clock clock);
    // One idle pass: measures, counts and calls OnTimer when an interval has
    // passed. The idle hook calls it; it may be called directly as well.
    void runTick();
    // True while the idle hook is installed.
    bool running() const { return idle_.isActive(); }

signals:
    void timer(int lagCount);

private:
    void restart();
    void updateHook();
    void updatePacing();
    bool applicationActive() const;

    QTimer idle_;
    Clock clock_;
    FramePacer pacer_;
    bool enabled_ = true;
    bool activeOnly_ = true;
    int rateLimit_ = kDisplayRate;
    double displayRate_ = 0;  // 0: the screen's
    int fps_ = 0;
    std::uint32_t lastTick_ = 0;
    std::uint32_t windowStart_ = 0;
    std::uint32_t frames_ = 0;
};

}  // namespace slv
