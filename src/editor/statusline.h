// The status line: where the pointer is on the stage, the item under it (or
// else the selected one) and the view's zoom, for the permanent area of a
// status bar.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace slv {

class StatusLine : public QWidget {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* parent = nullptr);

    // "x, y" in stage pixels.
    void setPointer(int x, int y);
    // The pointer is not over the stage: the position is left empty.
    void clearPointer();
    // An item's description (itemText), or empty for none.
    void setItem(const QString& text);
    // "300%", or "Fit 200%" while the view fits the stage to its room.
    void setZoom(int factor, bool fit);

    QString positionText() const;
    QString itemDescription() const;
    QString zoomText() const;

    // "Sprite bird.bmp  120, 40  30×16": kind, name, place and size.
    static QString itemText(const QString& kind, const QString& name, int x, int y, int width, int height);

private:
    QLabel* position_;
    QLabel* item_;
    QLabel* zoom_;
};

}  // namespace slv
