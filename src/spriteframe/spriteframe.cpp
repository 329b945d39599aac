#include "spriteframe.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <climits>

namespace slv {

Tspritef::Tspritef(QWidget* parent) : QWidget(parent) {
    setObjectName("spritef1");
    resize(144, 430);
    FileListBox1 = new QListWidget(this);
    FileListBox1->setObjectName("FileListBox1");
    FileListBox1->setGeometry(5, 5, 134, 300);
    FileListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Label6 = new QLabel("Selected : ", this);
    Label6->setGeometry(5, 310, 60, 16);
    Label7 = new QLabel(this);
    Label7->setGeometry(66, 310, 72, 16);
    SpinEdit1 = new QSpinBox(this);
    SpinEdit1->setObjectName("PickerSpinEdit1");
    SpinEdit1->setRange(INT_MIN, INT_MAX);
    SpinEdit1->setGeometry(5, 332, 60, 22);
    Button1 = new QPushButton("Add 'em", this);
    Button1->setObjectName("AddEm");
    Button1->setGeometry(72, 330, 66, 26);
    Panel3 = new QFrame(this);
    Panel3->setFrameShape(QFrame::Panel);
    Panel3->setFrameShadow(QFrame::Sunken);
    Panel3->setGeometry(5, 362, 134, 64);
    Label8 = new QLabel("Timing : ", Panel3);
    Label8->setGeometry(4, 4, 50, 16);
    Label9 = new QLabel("3", Panel3);
    Label9->setGeometry(56, 4, 30, 16);
    TrackBar2 = new QSlider(Qt::Horizontal, Panel3);
    TrackBar2->setRange(0, 10);
    TrackBar2->setValue(3);
    TrackBar2->setTickInterval(1);
    TrackBar2->setTickPosition(QSlider::TicksBelow);
    TrackBar2->setGeometry(4, 22, 126, 22);
    Label10 = new QLabel("FPS :", Panel3);
    Label10->setGeometry(4, 46, 30, 16);
    Label11 = new QLabel(Panel3);
    Label11->setGeometry(36, 46, 40, 16);
    hide();
}

void Tspritef::setFolder(const QString& folder) {
    folder_ = folder;
    FileListBox1->clear();
    QDir dir(folder);
    const QStringList names =
        dir.entryList(QStringList{"*.bmp"}, QDir::Files | QDir::Readable, QDir::Name);
    FileListBox1->addItems(names);
}

void Tspritef::setMultiSelect(bool on) {
    FileListBox1->setSelectionMode(on ? QAbstractItemView::ExtendedSelection
                                      : QAbstractItemView::SingleSelection);
}

int Tspritef::selectedLine() const {
    QListWidgetItem* cur = FileListBox1->currentItem();
    if (cur && cur->isSelected()) return FileListBox1->row(cur);
    const QList<int> rows = selectedLines();
    return rows.isEmpty() ? -1 : rows.first();
}

QString Tspritef::lineName(int row) const {
    QListWidgetItem* it = FileListBox1->item(row);
    return it ? it->text() : QString();
}

QList<int> Tspritef::selectedLines() const {
    QList<int> rows;
    for (int i = 0; i < FileListBox1->count(); ++i)
        if (FileListBox1->item(i)->isSelected()) rows.append(i);
    return rows;
}

}  // namespace slv
