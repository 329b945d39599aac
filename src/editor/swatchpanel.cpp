#include "swatchpanel.h"

#include <QMouseEvent>

QColor toQColor(std::uint32_t c) {
    return QColor(static_cast<int>(c & 255), static_cast<int>((c >> 8) & 255),
                  static_cast<int>((c >> 16) & 255));
}

std::uint32_t fromQColor(const QColor& c) {
    return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
           (static_cast<std::uint32_t>(c.blue()) << 16);
}

SwatchPanel::SwatchPanel(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setAutoFillBackground(true);
}

void SwatchPanel::setColor(std::uint32_t c) {
    color_ = c;
    QPalette p = palette();
    p.setColor(QPalette::Window, toQColor(c));
    setPalette(p);
}

void SwatchPanel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) emit clicked();
    QFrame::mousePressEvent(e);
}
