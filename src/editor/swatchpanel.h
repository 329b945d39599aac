// A small sunken panel filled with one colour; a click asks to change it.
#pragma once

#include <QFrame>
#include <cstdint>

class SwatchPanel : public QFrame {
    Q_OBJECT
public:
    explicit SwatchPanel(QWidget* parent = nullptr);
    // Colours are 0x00BBGGRR, red in the low byte.
    void setColor(std::uint32_t c);
    std::uint32_t color() const { return color_; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;

private:
    std::uint32_t color_ = 0;
};

QColor toQColor(std::uint32_t c);
std::uint32_t fromQColor(const QColor& c);
