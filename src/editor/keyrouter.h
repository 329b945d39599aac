// The keys of one window, taken once each from whatever control has the
// focus, as the editor's key codes: a physical key keeps the code it went
// down with until it comes up, whatever Shift did meanwhile.
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace slv {

class KeyRouter : public QObject {
    Q_OBJECT
public:
    // Watches the key events of `window` and all its controls.
    explicit KeyRouter(QWidget* window);
    // Forgets which physical keys are down.
    void forgetHeldKeys() { downByScanCode_.clear(); }

signals:
    // `receiver`: the control the key went to.
    void keyDown(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat, QWidget* receiver);
    void keyUp(int key, Qt::KeyboardModifiers modifiers);
    // Releases can no longer reach the window (it lost activation, or a
    // modal dialog opened): held keys should count as let go.
    void releasesLost();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct Seen {
        const void* event = nullptr;
        int type = 0, key = 0;
        bool autoRepeat = false;
        quint64 timestamp = 0;
        bool operator==(const Seen&) const = default;
    };
    QWidget* window_;
    Seen last_;
    QPointer<QWidget> lastAt_;
    QHash<quint32, int> downByScanCode_;
};

}  // namespace slv
