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

class Tspritef : public QWidget {
    Q_OBJECT
public:
    explicit Tspritef(QWidget* parent = nullptr);

    // Points the file list at `folder` and reads its "*.bmp" files again.
    void setFolder(const QString& folder);
    QString folder() const { return folder_; }
    void setMultiSelect(bool on);
    // Full row index of the current (last clicked) line; -1 when none is selected.
    int selectedLine() const;
    QString lineName(int row) const;
    // Rows selected, from the first line to the last.
    QList<int> selectedLines() const;

    QListWidget* FileListBox1 = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QFrame* Panel3 = nullptr;
    QSlider* TrackBar2 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;

private:
    QString folder_;
};

}  // namespace slv
