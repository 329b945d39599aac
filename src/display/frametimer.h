// Frame timer: ticks whenever the event loop has nothing else to do.
#pragma once

#include <cstdint>
#include <functional>

#include <QObject>
#include <QTimer>

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
    // Milliseconds between ticks; 0 = as often as the loop is idle.
    int interval() const { return interval_; }
    // With an interval the idle hook sleeps out the rest of it (DoTick).
    void setInterval(int ms) {
        interval_ = ms < 0 ? 0 : ms;
        if (interval_ == 0) idle_.setInterval(0);
    }
    // Ticks counted in the last completed one-second window; 0 until then.
    int framesPerSecond() const { return fps_; }

    // Called on every tick with the number of whole intervals since the
    // previous one (at least 1).
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
    bool applicationActive() const;

    QTimer idle_;
    Clock clock_;
    bool enabled_ = true;
    bool activeOnly_ = true;
    int interval_ = 0;
    int fps_ = 0;
    std::uint32_t lastTick_ = 0;
    std::uint32_t windowStart_ = 0;
    std::uint32_t frames_ = 0;
};

}  // namespace slv
