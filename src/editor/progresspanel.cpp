#include "editor/progresspanel.h"

#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace slv {

namespace {
constexpr int kFileLeft = 146, kCountRight = 288, kCountWidth = 24, kBarWidth = 233;

QLabel* panelLabel(QWidget* parent, const QString& text, int x, int y, int pixelSize, bool bold, const char* name) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    QFont f = parent->font();
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    l->setFont(f);
    l->move(x, y);
    l->adjustSize();
    return l;
}
}  // namespace

ProgressPanel::ProgressPanel(QWidget* parent) : QFrame(parent) {
    setObjectName("progressPanel");
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setLineWidth(2);
    setAutoFillBackground(true);
    setGeometry(178, 174, 290, 91);
    action_ = panelLabel(this, "Saving : ", 43, 21, 24, false, "progressAction");
    file_ = panelLabel(this, QString(), kFileLeft, 21, 24, false, "progressFile");
    file_->resize(kCountRight - kFileLeft, 28);
    count_ = panelLabel(this, QString(), kCountRight - kCountWidth, 56, 11, true, "progressCount");
    count_->resize(kCountWidth, 14);
    bar_ = new QProgressBar(this);
    bar_->setObjectName("progressBar");
    bar_->setGeometry(27, 55, kBarWidth, 17);
    bar_->setMinimum(0);
    bar_->setTextVisible(false);
    hide();
    hideTimer_.setSingleShot(true);
    connect(&hideTimer_, &QTimer::timeout, this, &QWidget::hide);
}

void ProgressPanel::begin(const QString& action, const QString& file, int steps) {
    hideTimer_.stop();
    done_ = 0;
    shown_.invalidate();
    action_->setText(action);
    action_->adjustSize();
    // The file's name follows the action ("Loading : " is longer than "Saving : ").
    const int fileLeft = std::max(kFileLeft, action_->x() + action_->width());
    file_->setGeometry(fileLeft, file_->y(), kCountRight - fileLeft, file_->height());
    file_->setText(file);
    count_->setText(QString::number(steps));
    // The count ends at the panel's right edge; one of more digits than its
    // place takes (a level of thousands of pictures) shortens the bar.
    const int countWidth = std::max(kCountWidth, count_->fontMetrics().horizontalAdvance(count_->text()));
    count_->setGeometry(kCountRight - countWidth, count_->y(), countWidth, count_->height());
    bar_->resize(std::min(kBarWidth, count_->x() - 4 - bar_->x()), bar_->height());
    bar_->setMaximum(steps);
    bar_->setValue(0);
    show();
    raise();
    repaint();
    setFocus();
}

void ProgressPanel::step() {
    // A repaint per entry would cost more than the entries.
    ++done_;
    if (done_ < bar_->maximum() && shown_.isValid() && shown_.elapsed() < 16) return;
    bar_->setValue(done_);
    bar_->repaint();
    shown_.start();
}

void ProgressPanel::finish(int pauseMs) {
    repaint();
    hideTimer_.start(pauseMs);
}

}  // namespace slv
