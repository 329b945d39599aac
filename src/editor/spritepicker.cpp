#include "spritepicker.h"

#include <QDir>
#include <QPainter>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>
#include <climits>
#include <cstdint>

#include "model/editing.h"

namespace slv {

SpritePicker::SpritePicker(QWidget* parent) : QWidget(parent) {
    setObjectName("spritePicker");
    resize(144, 430);
    fileList_ = new QListWidget(this);
    fileList_->setObjectName("fileList");
    fileList_->setGeometry(5, 5, 134, 196);
    fileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    selectedCaption_ = new QLabel("Selected : ", this);
    selectedCaption_->setGeometry(5, 310, 60, 16);
    selectedName_ = new QLabel(this);
    selectedName_->setGeometry(66, 310, 72, 16);
    frameCountField_ = new QSpinBox(this);
    frameCountField_->setObjectName("pickerFrameCount");
    frameCountField_->setRange(INT_MIN, INT_MAX);
    frameCountField_->setGeometry(5, 332, 60, 22);
    stripPreview_ = new StripPreview(this);
    stripPreview_->setGeometry(5, 204, 134, 44);
    framePlayer_ = new FramePlayer(*stripPreview_, this);
    framePlayer_->setObjectName("framePlayer");
    framePlayer_->setGeometry(5, 250, 134, 56);
    // The lines move as soon as a count is typed.
    connect(frameCountField_, &QSpinBox::valueChanged, stripPreview_, &StripPreview::setFrameCount);
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

void SpritePicker::showPicture(const QString& path) {
    stripPreview_->setPicture(QImage(path));
    stripPreview_->setFrameCount(frameCountField_->value());
    framePlayer_->update();
}

// ---- the previews ----

namespace {

// `source` fitted into `room`, scaled and centred.
QRect fitted(QSize source, const QRect& room) {
    if (source.isEmpty() || room.isEmpty()) return {};
    const double scale = std::min(double(room.width()) / source.width(), double(room.height()) / source.height());
    const int w = std::max(1, int(source.width() * scale)), h = std::max(1, int(source.height() * scale));
    return QRect(room.x() + (room.width() - w) / 2, room.y() + (room.height() - h) / 2, w, h);
}

// Nearest-neighbour drawing of `part` of `picture` onto `to`.
void drawNearest(QPainter& p, const QRect& to, const QImage& picture, const QRect& part) {
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(to, picture, part);
}

}  // namespace

StripPreview::StripPreview(QWidget* parent) : QWidget(parent) {
    setObjectName("stripPreview");
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void StripPreview::setPicture(const QImage& picture) {
    picture_ = picture.convertToFormat(QImage::Format_RGB32);
    update();
}

void StripPreview::setFrameCount(int count) {
    frameCount_ = std::max(1, count);
    update();
}

QRect StripPreview::pictureRect() const { return fitted(picture_.size(), rect()); }

int StripPreview::dividerX(int k) const {
    const QRect r = pictureRect();
    return r.x() + int(std::int64_t(k) * r.width() / frameCount_);
}

void StripPreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (picture_.isNull()) return;
    drawNearest(p, pictureRect(), picture_, picture_.rect());
    // More frames than columns: the lines would cover the picture.
    if (frameCount_ < 2 || frameCount_ > pictureRect().width() / 2) return;
    p.setPen(QColor::fromRgb(kDividerColor));
    const QRect r = pictureRect();
    for (int k = 1; k < frameCount_; ++k) p.drawLine(dividerX(k), r.top(), dividerX(k), r.bottom());
}

FramePlayer::FramePlayer(const StripPreview& strip, QWidget* parent) : QWidget(parent), strip_(strip) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setInterval(kStepMs);
    connect(&timer_, &QTimer::timeout, this, &FramePlayer::step);
}

void FramePlayer::step() {
    if (strip_.picture().isNull()) return;
    const int count = strip_.frameCount();
    frame_ = frame_ >= count ? 1 : frame_ + 1;
    update();
}

void FramePlayer::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QImage& picture = strip_.picture();
    const int count = strip_.frameCount();
    if (picture.isNull() || count > picture.width()) return;
    if (frame_ > count) frame_ = 1;
    const int left = int(std::int64_t(frame_ - 1) * picture.width() / count);
    const int right = int(std::int64_t(frame_) * picture.width() / count);
    const QRect part(left, 0, right - left, picture.height());
    drawNearest(p, fitted(part.size(), rect()), picture, part);
}

void FramePlayer::showEvent(QShowEvent*) { timer_.start(); }
void FramePlayer::hideEvent(QHideEvent*) { timer_.stop(); }

QList<int> SpritePicker::selectedLines() const {
    QList<int> rows;
    for (int i = 0; i < fileList_->count(); ++i)
        if (fileList_->item(i)->isSelected()) rows.append(i);
    return rows;
}

}  // namespace slv
