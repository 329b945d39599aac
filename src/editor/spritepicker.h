// The sprite-frame picker panel: the bitmaps of the work directory's
// sprites folder, the frame count of the file last clicked, and "Add 'em".
// The panel only holds controls; the main window runs its operations.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;
class QSlider;
class QSpinBox;
class QFrame;

namespace slv {

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

private:
    QString folder_;
};

}  // namespace slv
