#include "editor/statusline.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

namespace slv {

StatusLine::StatusLine(QWidget* parent)
    : QWidget(parent), position_(new QLabel(this)), item_(new QLabel(this)), zoom_(new QLabel(this)) {
    setObjectName("statusLine");
    position_->setObjectName("pointerPosition");
    item_->setObjectName("itemUnderPointer");
    zoom_->setObjectName("zoomFactor");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(12);
    // The position and the zoom keep their width as their numbers change,
    // so the texts beside them do not jump while the pointer moves.
    const QFontMetrics m(font());
    position_->setMinimumWidth(m.horizontalAdvance("0000, 0000"));
    zoom_->setMinimumWidth(m.horizontalAdvance("Fit 800%"));
    zoom_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(position_);
    row->addWidget(item_, 1);
    row->addWidget(zoom_);
}

void StatusLine::setPointer(int x, int y) { position_->setText(QString("%1, %2").arg(x).arg(y)); }

void StatusLine::clearPointer() { position_->clear(); }

void StatusLine::setItem(const QString& text) { item_->setText(text); }

void StatusLine::setZoom(int factor, bool fit) {
    const QString percent = QString::number(factor * 100) + "%";
    zoom_->setText(fit ? "Fit " + percent : percent);
}

QString StatusLine::positionText() const { return position_->text(); }
QString StatusLine::itemDescription() const { return item_->text(); }
QString StatusLine::zoomText() const { return zoom_->text(); }

QString StatusLine::itemText(const QString& kind, const QString& name, int x, int y, int width, int height) {
    return QString("%1 %2  %3, %4  %5\u00d7%6").arg(kind, name).arg(x).arg(y).arg(width).arg(height);
}

}  // namespace slv
