// Start-up timing from outside: with SLVEDIT_FIRST_FRAME set in the
// environment, the editor prints "first frame" on standard output once its
// first frame after start-up work (the level on the command line opened) is
// drawn and taken by the display server, and ends there at once, without
// the close sequence. Benchmarks time a start from launch to that line.
#pragma once

#include <QObject>

class MainWindow;

class FirstFrameReport : public QObject {
public:
    // Watches `window` when the environment asks for it; does nothing otherwise.
    static void watchIfAsked(MainWindow& window);

private:
    explicit FirstFrameReport(MainWindow& window);
    void frameTicked();

    MainWindow& window_;
};
