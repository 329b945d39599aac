#include "spritepicker.h"

#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <climits>

#include "model/editing.h"

namespace slv {

SpritePicker::SpritePicker(QWidget* parent) : QWidget(parent) {
    setObjectName("spritePicker");
    resize(144, 430);
    fileList_ = new QListWidget(this);
    fileList_->setObjectName("fileList");
    fileList_->setGeometry(5, 5, 134, 300);
    fileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    selectedCaption_ = new QLabel("Selected : ", this);
    selectedCaption_->setGeometry(5, 310, 60, 16);
    selectedName_ = new QLabel(this);
    selectedName_->setGeometry(66, 310, 72, 16);
    frameCountField_ = new QSpinBox(this);
    frameCountField_->setObjectName("pickerFrameCount");
    frameCountField_->setRange(INT_MIN, INT_MAX);
    frameCountField_->setGeometry(5, 332, 60, 22);
    addButton_ = new QPushButton("Add 'em", this);
    addButton_->setObjectName("AddEm");
    addButton_->setGeometry(72, 330, 66, 26);
    timingPanel_ = new QFrame(this);
    timingPanel_->setFrameShape(QFrame::Panel);
    timingPanel_->setFrameShadow(QFrame::Sunken);
    timingPanel_->setGeometry(5, 362, 134, 64);
    timingCaption_ = new QLabel("Timing : ", timingPanel_);
    timingCaption_->setGeometry(4, 4, 50, 16);
    timingValue_ = new QLabel("3", timingPanel_);
    timingValue_->setGeometry(56, 4, 30, 16);
    timingSlider_ = new QSlider(Qt::Horizontal, timingPanel_);
    timingSlider_->setRange(0, 10);
    timingSlider_->setValue(3);
    timingSlider_->setTickInterval(1);
    timingSlider_->setTickPosition(QSlider::TicksBelow);
    timingSlider_->setGeometry(4, 22, 126, 22);
    fpsCaption_ = new QLabel("FPS :", timingPanel_);
    fpsCaption_->setGeometry(4, 46, 30, 16);
    fpsValue_ = new QLabel(timingPanel_);
    fpsValue_->setGeometry(36, 46, 40, 16);
    hide();
}

void SpritePicker::setFolder(const QString& folder) {
    folder_ = folder;
    fileList_->clear();
    QDir dir(folder);
    const QStringList names =
        dir.entryList(QStringList{"*.bmp"}, QDir::Files | QDir::Readable, QDir::Name);
    fileList_->addItems(names);
}

void SpritePicker::setMultiSelect(bool on) {
    fileList_->setSelectionMode(on ? QAbstractItemView::ExtendedSelection
                                      : QAbstractItemView::SingleSelection);
}

int SpritePicker::selectedLine() const {
    QListWidgetItem* cur = fileList_->currentItem();
    if (cur && cur->isSelected()) return fileList_->row(cur);
    const QList<int> rows = selectedLines();
    return rows.isEmpty() ? -1 : rows.first();
}

QString SpritePicker::lineName(int row) const {
    QListWidgetItem* it = fileList_->item(row);
    return it ? it->text() : QString();
}

void SpritePicker::setStripWidth(int stripWidth) { frameCountField_->setRange(1, frameCountLimit(stripWidth)); }

QList<int> SpritePicker::selectedLines() const {
    QList<int> rows;
    for (int i = 0; i < fileList_->count(); ++i)
        if (fileList_->item(i)->isSelected()) rows.append(i);
    return rows;
}

}  // namespace slv
