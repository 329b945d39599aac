// Backdrops, the lower panel and the title picture.
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdint>

#include "draw.h"

namespace mkdemo {

namespace {

constexpr int kW = 640;
constexpr int kH = 430;

// A small fixed random sequence so that every run draws the same picture.
struct Lcg {
    std::uint32_t s;
    int next(int n) {
        s = s * 1664525u + 1013904223u;
        return static_cast<int>((s >> 8) % static_cast<std::uint32_t>(n));
    }
};

QImage canvas(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::black);
    return img;
}

void sky(QPainter& p, int w, int h, QColor top, QColor bottom) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(0, 0, w, h, g);
}

// A ridge of hills: a filled path along a sum of sines.
void hills(QPainter& p, int w, int base, int amp, double f1, double f2, double phase, QColor c,
           int bottom) {
    QPainterPath path;
    path.moveTo(0, bottom);
    for (int x = 0; x <= w; x += 4) {
        double y = base - amp * (0.6 * std::sin(x * f1 + phase) + 0.4 * std::sin(x * f2 + 2 * phase));
        path.lineTo(x, y);
    }
    path.lineTo(w, bottom);
    path.closeSubpath();
    p.fillPath(path, c);
}

void sun(QPainter& p, QPointF c, double r, QColor core, QColor glow) {
    QRadialGradient g(c, r * 2.5);
    g.setColorAt(0, glow);
    g.setColorAt(1, QColor(glow.red(), glow.green(), glow.blue(), 0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c, r * 2.5, r * 2.5);
    p.setBrush(core);
    p.drawEllipse(c, r, r);
}

void cloud(QPainter& p, double x, double y, double s) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawEllipse(QPointF(x, y), 28 * s, 14 * s);
    p.drawEllipse(QPointF(x + 24 * s, y - 8 * s), 22 * s, 16 * s);
    p.drawEllipse(QPointF(x + 46 * s, y), 26 * s, 13 * s);
}

void car(QPainter& p, double x, double y) {
    // Body and cabin.
    p.setPen(QPen(QColor(60, 10, 10), 2));
    p.setBrush(QColor(200, 30, 40));
    QPainterPath body;
    body.moveTo(x, y + 40);
    body.lineTo(x + 8, y + 22);
    body.lineTo(x + 50, y + 18);
    body.lineTo(x + 75, y);
    body.lineTo(x + 135, y);
    body.lineTo(x + 160, y + 18);
    body.lineTo(x + 195, y + 24);
    body.lineTo(x + 200, y + 40);
    body.closeSubpath();
    p.drawPath(body);
    // Windows.
    p.setBrush(QColor(170, 220, 245));
    p.setPen(QPen(QColor(40, 40, 60), 1.5));
    QPolygonF front{{x + 108, y + 5}, {x + 132, y + 5}, {x + 150, y + 19}, {x + 108, y + 19}};
    QPolygonF back{{x + 80, y + 5}, {x + 103, y + 5}, {x + 103, y + 19}, {x + 62, y + 19}};
    p.drawPolygon(front);
    p.drawPolygon(back);
    // Lights and trim.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 240, 150));
    p.drawRect(QRectF(x + 190, y + 26, 8, 6));
    p.setBrush(QColor(255, 80, 40));
    p.drawRect(QRectF(x + 1, y + 28, 6, 6));
    p.setPen(QPen(QColor(240, 240, 240), 2));
    p.drawLine(QPointF(x + 10, y + 32), QPointF(x + 190, y + 32));
    // Wheels.
    for (double wx : {x + 45, x + 155}) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(25, 25, 25));
        p.drawEllipse(QPointF(wx, y + 42), 17, 17);
        p.setBrush(QColor(170, 170, 180));
        p.drawEllipse(QPointF(wx, y + 42), 8, 8);
        p.setBrush(QColor(90, 90, 100));
        p.drawEllipse(QPointF(wx, y + 42), 3, 3);
    }
}

void road(QPainter& p, int top, int bottom) {
    p.fillRect(0, top, kW, bottom - top, QColor(70, 70, 78));
    p.fillRect(0, top, kW, 4, QColor(200, 200, 200));
    p.fillRect(0, bottom - 4, kW, 4, QColor(200, 200, 200));
    const int mid = (top + bottom) / 2;
    for (int x = 10; x < kW; x += 60) p.fillRect(x, mid - 2, 32, 4, QColor(250, 220, 60));
}

void pineTree(QPainter& p, double x, double base, double h, QColor c) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 60, 30));
    p.drawRect(QRectF(x - h * 0.05, base - h * 0.2, h * 0.1, h * 0.2));
    p.setBrush(c);
    for (int i = 0; i < 3; ++i) {
        double t = base - h * 0.15 - i * h * 0.25;
        double half = h * (0.3 - i * 0.07);
        p.drawPolygon(QPolygonF{{x - half, t}, {x + half, t}, {x, t - h * 0.4}});
    }
}

}  // namespace

QImage roadScene() {
    QImage img = canvas(kW, kH);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    sky(p, kW, 300, QColor(70, 130, 220), QColor(200, 225, 250));
    sun(p, {520, 80}, 30, QColor(255, 245, 190), QColor(255, 220, 120, 160));
    cloud(p, 80, 70, 1.2);
    cloud(p, 300, 50, 0.9);
    cloud(p, 420, 120, 0.7);
    hills(p, kW, 250, 40, 0.011, 0.023, 0.5, QColor(110, 150, 190), kH);
    hills(p, kW, 280, 30, 0.017, 0.031, 2.0, QColor(70, 150, 70), kH);
    p.fillRect(0, 300, kW, kH - 300, QColor(80, 160, 60));
    Lcg r{7};
    for (int i = 0; i < 12; ++i)
        pineTree(p, r.next(kW), 300 + r.next(20), 40 + r.next(30), QColor(30, 100, 40));
    road(p, 330, 410);
    car(p, 230, 338);
    p.fillRect(0, 410, kW, 20, QColor(60, 130, 50));
    return img;
}

QImage padPanel() {
    QImage img = canvas(kW, 50);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 50);
    g.setColorAt(0, QColor(90, 95, 110));
    g.setColorAt(0.5, QColor(50, 54, 64));
    g.setColorAt(1, QColor(30, 32, 40));
    p.fillRect(0, 0, kW, 50, g);
    p.fillRect(0, 0, kW, 2, QColor(160, 165, 180));
    // Rivets and a few dials.
    p.setPen(Qt::NoPen);
    for (int x = 12; x < kW; x += 616) {
        p.setBrush(QColor(180, 180, 190));
        p.drawEllipse(QPointF(x, 12), 3, 3);
        p.drawEllipse(QPointF(x, 38), 3, 3);
    }
    for (int i = 0; i < 3; ++i) {
        QPointF c(480 + i * 50, 25);
        p.setBrush(QColor(20, 20, 25));
        p.drawEllipse(c, 17, 17);
        p.setPen(QPen(QColor(90, 220, 120), 2));
        p.drawArc(QRectF(c.x() - 13, c.y() - 13, 26, 26), 30 * 16, (90 + 60 * i) * 16);
        p.setPen(Qt::NoPen);
    }
    QFont f("DejaVu Sans", 16, QFont::Bold);
    p.setFont(f);
    p.setPen(QColor(230, 230, 240));
    p.drawText(QRect(30, 0, 400, 50), Qt::AlignVCenter | Qt::AlignLeft, "SLVEDIT  demo level");
    return img;
}

QImage keyPicture() {
    QImage img(16, 16, QImage::Format_RGB32);
    img.fill(kKey);
    return img;
}

QImage titlePicture() {
    QImage img = roadScene().scaled(320, 215, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(0, 20, 320, 60, QColor(0, 0, 0, 140));
    QFont f("DejaVu Sans", 28, QFont::Bold);
    p.setFont(f);
    p.setPen(QColor(255, 210, 60));
    p.drawText(QRect(0, 20, 320, 60), Qt::AlignCenter, "SLVEDIT");
    QFont s("DejaVu Sans", 10);
    p.setFont(s);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 180, 320, 30), Qt::AlignCenter, "sublevel editor");
    return img;
}

QImage desertScene() {
    QImage img = canvas(kW, kH);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    sky(p, kW, 280, QColor(240, 140, 60), QColor(255, 220, 150));
    // The horizon's colour goes on behind the dunes, whose dips reach below it.
    p.fillRect(0, 280, kW, kH - 280, QColor(255, 220, 150));
    sun(p, {150, 120}, 40, QColor(255, 250, 210), QColor(255, 200, 90, 170));
    hills(p, kW, 260, 35, 0.008, 0.019, 1.0, QColor(200, 140, 80), kH);
    hills(p, kW, 320, 30, 0.013, 0.027, 3.0, QColor(225, 175, 100), kH);
    hills(p, kW, 380, 20, 0.02, 0.035, 5.0, QColor(240, 200, 120), kH);
    // Cacti.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(50, 120, 60));
    for (int x : {90, 420, 560}) {
        p.drawRoundedRect(QRectF(x, 300, 14, 80), 7, 7);
        p.drawRoundedRect(QRectF(x - 16, 320, 12, 30), 6, 6);
        p.drawRect(QRectF(x - 10, 344, 14, 8));
        p.drawRoundedRect(QRectF(x + 18, 310, 12, 34), 6, 6);
        p.drawRect(QRectF(x + 10, 338, 14, 8));
    }
    return img;
}

QImage forestScene() {
    QImage img = canvas(kW, kH);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    sky(p, kW, 260, QColor(120, 180, 230), QColor(220, 240, 230));
    hills(p, kW, 220, 30, 0.01, 0.02, 0.2, QColor(100, 140, 120), kH);
    Lcg r{42};
    for (int layer = 0; layer < 3; ++layer) {
        QColor c(20 + layer * 15, 70 + layer * 30, 30 + layer * 10);
        for (int i = 0; i < 18; ++i)
            pineTree(p, r.next(kW), 260 + layer * 50 + r.next(20), 80 + layer * 30 + r.next(30), c);
    }
    p.fillRect(0, 400, kW, 30, QColor(70, 50, 30));
    p.setPen(QPen(QColor(120, 90, 50), 3));
    for (int x = 0; x < kW; x += 40) p.drawLine(x, 405, x + 20, 405);
    return img;
}

QImage nightCityScene() {
    QImage img = canvas(kW, kH);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    sky(p, kW, kH, QColor(10, 10, 40), QColor(60, 40, 90));
    Lcg r{99};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 80; ++i) {
        p.setBrush(QColor(255, 255, 220, 120 + r.next(135)));
        p.drawEllipse(QPointF(r.next(kW), r.next(220)), 1.2, 1.2);
    }
    sun(p, {540, 70}, 22, QColor(240, 240, 220), QColor(200, 200, 255, 90));
    int x = 0;
    while (x < kW) {
        int w = 40 + r.next(50);
        int h = 100 + r.next(200);
        QColor c(30 + r.next(20), 30 + r.next(20), 50 + r.next(30));
        p.fillRect(x, kH - 30 - h, w - 4, h, c);
        for (int wy = kH - 30 - h + 10; wy < kH - 40; wy += 16)
            for (int wx = x + 6; wx < x + w - 12; wx += 12)
                if (r.next(3) != 0) p.fillRect(wx, wy, 6, 8, QColor(250, 220, 120));
        x += w;
    }
    p.fillRect(0, kH - 30, kW, 30, QColor(35, 35, 40));
    for (int lx = 0; lx < kW; lx += 70) p.fillRect(lx, kH - 16, 36, 3, QColor(230, 230, 230));
    return img;
}

QImage seaScene() {
    QImage img = canvas(kW, kH);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    sky(p, kW, 240, QColor(90, 160, 230), QColor(230, 240, 255));
    cloud(p, 380, 60, 1.1);
    cloud(p, 120, 110, 0.8);
    QLinearGradient sea(0, 240, 0, kH);
    sea.setColorAt(0, QColor(40, 120, 180));
    sea.setColorAt(1, QColor(10, 50, 100));
    p.fillRect(0, 240, kW, kH - 240, sea);
    p.setPen(QPen(QColor(200, 230, 250), 2));
    Lcg r{5};
    for (int i = 0; i < 40; ++i) {
        int wx = r.next(kW), wy = 250 + r.next(170);
        p.drawArc(QRectF(wx, wy, 24, 8), 0, 180 * 16);
    }
    // A small island with a palm.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 200, 130));
    p.drawEllipse(QPointF(480, 300), 90, 22);
    p.setPen(QPen(QColor(110, 80, 40), 7));
    p.drawLine(QPointF(480, 295), QPointF(495, 200));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 140, 60));
    for (int a = 0; a < 5; ++a) {
        double ang = -2.6 + a * 1.1;
        p.drawEllipse(QPointF(495 + 30 * std::cos(ang), 200 + 12 * std::sin(ang)), 32, 8);
    }
    return img;
}

}  // namespace mkdemo
