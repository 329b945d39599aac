#include "editor/keyrouter.h"

#include <QApplication>
#include <QKeyEvent>

#include "actor/vkeys.h"

namespace slv {

KeyRouter::KeyRouter(QWidget* window) : QObject(window), window_(window) { qApp->installEventFilter(this); }

bool KeyRouter::eventFilter(QObject* watched, QEvent* e) {
    const QEvent::Type t = e->type();
    if (t == QEvent::WindowDeactivate && watched == window_) {
        emit releasesLost();
        return false;
    }
    if (t == QEvent::Show) {
        auto* shown = qobject_cast<QWidget*>(watched);
        if (shown && shown != window_ && shown->isWindow() && shown->isModal()) emit releasesLost();
        return false;
    }
    if (t != QEvent::KeyPress && t != QEvent::KeyRelease) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != window_) return false;
    auto* ke = static_cast<QKeyEvent*>(e);
    // A key event travels from the control that received it up through its
    // parents; take it once, at the first control. The same event seen
    // again at an ancestor of where it was last seen is that journey.
    const Seen seen{ke, t, ke->key(), ke->isAutoRepeat(), ke->timestamp()};
    if (seen == last_ && lastAt_ && w != lastAt_ && w->isAncestorOf(lastAt_)) {
        lastAt_ = w;
        return false;
    }
    last_ = seen;
    lastAt_ = w;
    int vk = vkFromQtKey(ke->key(), ke->modifiers().testFlag(Qt::KeypadModifier));
    // Shift turns "1" into "!" on the way; the key keeps its first code.
    const quint32 scan = ke->nativeScanCode();
    if (t == QEvent::KeyPress) {
        if (scan != 0) {
            auto held = downByScanCode_.constFind(scan);
            if (held != downByScanCode_.constEnd()) vk = *held;
            else if (vk != 0) downByScanCode_.insert(scan, vk);
        }
        emit keyDown(vk, ke->modifiers(), ke->isAutoRepeat(), w);
    } else if (!ke->isAutoRepeat()) {
        // The platform sends releases between auto-repeated presses; those
        // are not the key being let go.
        if (scan != 0 && downByScanCode_.contains(scan)) vk = downByScanCode_.take(scan);
        emit keyUp(vk, ke->modifiers());
    }
    return false;  // the focused control still handles the key
}

}  // namespace slv
