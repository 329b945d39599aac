// The sprite-frame picker panel: the bitmaps of the work directory's
// sprites folder, the frame count of the file last clicked, and "Add 'em".
// The panel only holds controls; the main window runs its operations.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;
class QSlider;
class QSpinBox;
class QFrame;

namespace slv {

// A strip's picture fitted into the widget, scaled by whole source pixels
// (nearest neighbour) and centred, with a thin line between frames for the
// frame count given.
class StripPreview : public QWidget {
    Q_OBJECT
public:
    explicit StripPreview(QWidget* parent = nullptr);
    // A null picture shows nothing.
    void setPicture(const QImage& picture);
    void setFrameCount(int count);
    const QImage& picture() const { return picture_; }
    int frameCount() const { return frameCount_; }
    // Where the picture lies in the widget; empty without one.
    QRect pictureRect() const;
    // The column of the line before frame k + 1 (k = 1 .. count - 1).
    int dividerX(int k) const;

    static constexpr QRgb kDividerColor = 0xFFFFFF00;  // yellow

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage picture_;
    int frameCount_ = 1;
};

// One frame of the strip at a time, fitted like the strip, playing at the
// view's pace: the next frame every 30 ms while it is shown.
class FramePlayer : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStepMs = 30;
    explicit FramePlayer(const StripPreview& strip, QWidget* parent = nullptr);
    int shownFrame() const { return frame_; }  // 1-based
    // Moves on one frame (the first again after the last).
    void step();

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    const StripPreview& strip_;
    QTimer timer_;
    int frame_ = 1;
};

class SpritePicker : public QWidget {
    Q_OBJECT
public:
    explicit SpritePicker(QWidget* parent = nullptr);

    // Points the file list at `folder` and reads its "*.bmp" files again.
    void setFolder(const QString& folder);
    QString folder() const { return folder_; }
    void setMultiSelect(bool on);
    // Full row index of the current (last clicked) line; -1 when none is selected.
    int selectedLine() const;
    QString lineName(int row) const;
    // Rows selected, from the first line to the last.
    QList<int> selectedLines() const;
    // Bounds the frame count field to the counts a strip `stripWidth` pixels
    // wide takes (1 to frameCountLimit: frames at least one pixel wide).
    void setStripWidth(int stripWidth);
    // Shows the picture of `path` in the previews; an unreadable one shows
    // nothing.
    void showPicture(const QString& path);

    QListWidget* fileList_ = nullptr;
    QSpinBox* frameCountField_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QFrame* timingPanel_ = nullptr;
    QSlider* timingSlider_ = nullptr;
    QLabel* selectedCaption_ = nullptr;
    QLabel* selectedName_ = nullptr;
    QLabel* timingCaption_ = nullptr;
    QLabel* timingValue_ = nullptr;
    QLabel* fpsCaption_ = nullptr;
    QLabel* fpsValue_ = nullptr;
    StripPreview* stripPreview_ = nullptr;
    FramePlayer* framePlayer_ = nullptr;

private:
    QString folder_;
};

}  // namespace slv
