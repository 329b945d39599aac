// The panel that shows a Save or Open under way: what is done ("Saving : "),
// to which file, the number of entries and a bar. When the work is done it
// stays readable for a moment and is then hidden by a timer, so the window
// goes on meanwhile.
#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QTimer>

class QLabel;
class QProgressBar;

namespace slv {

class ProgressPanel : public QFrame {
    Q_OBJECT
public:
    explicit ProgressPanel(QWidget* parent);

    void begin(const QString& action, const QString& file, int steps);
    // One entry done; repainted about 60 times a second at most.
    void step();
    // Hides the panel `pauseMs` after now.
    void finish(int pauseMs);

    QLabel* action_ = nullptr;
    QLabel* file_ = nullptr;
    QLabel* count_ = nullptr;
    QProgressBar* bar_ = nullptr;

private:
    QTimer hideTimer_;
    QElapsedTimer shown_;
    int done_ = 0;
};

}  // namespace slv
