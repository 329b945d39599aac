// Animated strips: sprites and the test actor's skins. Frames are drawn
// without antialiasing so that no pixel is a blend with the key colour, and
// the left column of every frame is left transparent.
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <cmath>
#include <functional>

#include "draw.h"

namespace mkdemo {

namespace {

constexpr double kPi = 3.14159265358979323846;

using FramePainter = std::function<void(QPainter&, int frame)>;

QImage makeStrip(int frames, int fw, int fh, const FramePainter& paint, bool mirror = false) {
    QImage strip(frames * fw, fh, QImage::Format_RGB32);
    strip.fill(kKey);
    for (int k = 0; k < frames; ++k) {
        QImage frame(fw, fh, QImage::Format_RGB32);
        frame.fill(kKey);
        {
            QPainter p(&frame);
            p.setRenderHint(QPainter::Antialiasing, false);
            if (mirror) p.setTransform(QTransform(-1, 0, 0, 1, fw, 0));
            paint(p, k);
        }
        for (int y = 0; y < fh; ++y) frame.setPixelColor(0, y, kKey);
        QPainter s(&strip);
        s.drawImage(k * fw, 0, frame);
    }
    return strip;
}

void noPen(QPainter& p, QColor fill) {
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
}

}  // namespace

QImage coinStrip() {
    return makeStrip(8, 32, 32, [](QPainter& p, int k) {
        noPen(p, QColor(150, 100, 10));
        p.drawEllipse(QPointF(16, 16), 14.5, 14.5);
        noPen(p, QColor(240, 190, 40));
        p.drawEllipse(QPointF(16, 16), 12.5, 12.5);
        // The embossed mark turns with the coin: its width follows a cosine.
        double w = 2 + 5 * std::fabs(std::cos(k * kPi / 8));
        noPen(p, QColor(200, 150, 20));
        p.drawRect(QRectF(16 - w / 2, 8, w, 16));
        // A glint running round the rim.
        double a = k * 2 * kPi / 8;
        noPen(p, QColor(255, 250, 210));
        p.drawEllipse(QPointF(16 + 9 * std::cos(a), 16 + 9 * std::sin(a)), 2.5, 2.5);
    });
}

QImage flameStrip() {
    return makeStrip(6, 48, 64, [](QPainter& p, int k) {
        // Brazier.
        noPen(p, QColor(70, 70, 80));
        p.drawRect(2, 50, 45, 14);
        noPen(p, QColor(110, 110, 125));
        p.drawRect(2, 48, 45, 4);
        // Flame tongues that rise and lean in turn.
        const double lean = 4 * std::sin(k * 2 * kPi / 6);
        const double rise = 6 * std::sin(k * 2 * kPi / 6 + 1.0);
        QPainterPath outer;
        outer.moveTo(6, 49);
        outer.cubicTo(4, 30, 18 + lean, 20, 24 + lean, 4 - rise);
        outer.cubicTo(30 + lean, 20, 44, 30, 42, 49);
        outer.closeSubpath();
        p.fillPath(outer, QColor(230, 70, 20));
        QPainterPath inner;
        inner.moveTo(12, 49);
        inner.cubicTo(12, 36, 20 - lean, 30, 24 - lean / 2, 16 - rise);
        inner.cubicTo(28, 30, 36, 36, 36, 49);
        inner.closeSubpath();
        p.fillPath(inner, QColor(255, 170, 30));
        noPen(p, QColor(255, 240, 150));
        p.drawEllipse(QPointF(24, 42 - rise / 2), 6, 7);
    });
}

QImage birdStrip() {
    return makeStrip(4, 64, 48, [](QPainter& p, int k) {
        static const double wing[4] = {-18, -4, 14, -4};  // up, level, down, level
        const double wy = wing[k];
        // Far wing.
        noPen(p, QColor(40, 70, 150));
        p.drawPolygon(QPolygonF{{26, 24}, {40, 24}, {30 + 6, 24 + wy}});
        // Body, tail and head.
        noPen(p, QColor(60, 110, 200));
        p.drawEllipse(QPointF(32, 25), 20, 10);
        p.drawPolygon(QPolygonF{{14, 22}, {3, 16}, {5, 32}, {14, 28}});
        p.drawEllipse(QPointF(52, 19), 8, 8);
        noPen(p, QColor(250, 190, 40));
        p.drawPolygon(QPolygonF{{59, 17}, {63, 20}, {59, 22}});
        noPen(p, Qt::white);
        p.drawEllipse(QPointF(54, 17), 2.5, 2.5);
        noPen(p, Qt::black);
        p.drawEllipse(QPointF(55, 17), 1, 1);
        noPen(p, QColor(230, 230, 240));
        p.drawEllipse(QPointF(34, 29), 12, 4);
        // Near wing.
        noPen(p, QColor(90, 150, 240));
        p.drawPolygon(QPolygonF{{22, 24}, {42, 24}, {26, 24 + wy * 1.2}});
    });
}

QImage gemStrip() {
    return makeStrip(5, 40, 40, [](QPainter& p, int k) {
        const QColor base = QColor::fromHsv((140 + k * 12) % 360, 200, 230);
        const QPolygonF outline{{3, 14}, {11, 4}, {29, 4}, {37, 14}, {20, 37}};
        noPen(p, base.darker(160));
        p.drawPolygon(outline);
        noPen(p, base);
        p.drawPolygon(QPolygonF{{7, 14}, {13, 7}, {27, 7}, {33, 14}, {20, 32}});
        noPen(p, base.lighter(140));
        p.drawPolygon(QPolygonF{{13, 7}, {27, 7}, {24, 14}, {16, 14}});
        // A sparkle that moves across the facets.
        noPen(p, QColor(255, 255, 255));
        const double sx = 10 + k * 5;
        p.drawRect(QRectF(sx - 1, 9, 3, 9));
        p.drawRect(QRectF(sx - 4, 12, 9, 3));
    });
}

QImage fanStrip() {
    return makeStrip(3, 56, 56, [](QPainter& p, int k) {
        noPen(p, QColor(60, 65, 75));
        p.drawEllipse(QPointF(28, 28), 26.5, 26.5);
        noPen(p, QColor(30, 32, 38));
        p.drawEllipse(QPointF(28, 28), 23, 23);
        // Three blades, turned 40 degrees a frame (a third of their period).
        p.save();
        p.translate(28, 28);
        p.rotate(k * 40.0);
        noPen(p, QColor(180, 200, 220));
        for (int b = 0; b < 3; ++b) {
            p.drawEllipse(QPointF(0, -12), 6, 11);
            p.rotate(120);
        }
        p.restore();
        noPen(p, QColor(220, 60, 50));
        p.drawEllipse(QPointF(28, 28), 5, 5);
    });
}

namespace {

// One pose of the test actor: a figure 48 wide and 64 high.
struct Pose {
    double dy = 0;        // whole figure moved up (negative) or down
    double legFront = 0;  // leg angles from the vertical, in degrees
    double legBack = 0;
    double armFront = 0;
    double armBack = 0;
    double knee = 0;      // extra bend of both lower legs (jumping)
    bool facing = false;  // draw a face turned to the right
};

void limb(QPainter& p, QPointF from, double deg, double len, double bendDeg, QColor c, double width) {
    const double a = deg * kPi / 180;
    QPointF mid = from + QPointF(std::sin(a) * len / 2, std::cos(a) * len / 2);
    const double b = (deg - bendDeg) * kPi / 180;
    QPointF end = mid + QPointF(std::sin(b) * len / 2, std::cos(b) * len / 2);
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{from, mid, end});
}

void figure(QPainter& p, const Pose& s) {
    const QColor skin(240, 200, 160), shirt(40, 110, 210), pants(50, 50, 70), hair(90, 50, 20);
    // The figure stands on the bottom row at four fifths of its drawn size,
    // which leaves room above the head for the jump.
    p.save();
    p.translate(24, 63);
    p.scale(0.8, 0.8);
    p.translate(-24, -63);
    const double top = s.dy;
    const QPointF hip(24, 41 + top), shoulder(24, 24 + top);
    limb(p, shoulder, s.armBack, 16, 0, skin.darker(120), 4);
    limb(p, hip, s.legBack, 21, s.knee, pants.darker(130), 5);
    // Body.
    noPen(p, shirt);
    p.drawRoundedRect(QRectF(17, 20 + top, 14, 23), 4, 4);
    limb(p, hip, s.legFront, 21, s.knee, pants, 5);
    limb(p, shoulder, s.armFront, 16, 0, skin, 4);
    // Head.
    noPen(p, skin);
    p.drawEllipse(QPointF(24, 12 + top), 7, 8);
    noPen(p, hair);
    p.drawChord(QRectF(17, 3 + top, 14, 12), 0, 180 * 16);
    noPen(p, Qt::black);
    if (s.facing) {
        p.drawRect(QRectF(27, 10 + top, 2, 2));
        noPen(p, skin.darker(115));
        p.drawRect(QRectF(30, 12 + top, 2, 2));
    } else {
        p.drawRect(QRectF(20, 10 + top, 2, 2));
        p.drawRect(QRectF(26, 10 + top, 2, 2));
        p.drawRect(QRectF(22, 15 + top, 4, 1));
    }
    p.restore();
}

}  // namespace

QImage actorStrip(Move move, int frames) {
    auto pose = [move, frames](int k) {
        Pose s;
        const double t = 2 * kPi * k / frames;
        switch (move) {
        case Move::Idle:
            s.dy = (k % 2 == 0) ? 0 : 1;  // breathing
            s.armFront = 8 + 4 * std::sin(t);
            s.armBack = -8 - 4 * std::sin(t);
            s.legFront = 6;
            s.legBack = -6;
            break;
        case Move::WalkRight:
        case Move::WalkLeft:
            s.facing = true;
            s.legFront = 30 * std::sin(t);
            s.legBack = -30 * std::sin(t);
            s.armFront = -35 * std::sin(t);
            s.armBack = 35 * std::sin(t);
            s.dy = -std::fabs(2 * std::cos(t));
            break;
        case Move::Jump: {
            // Crouch, take off, rise, hang, fall, land.
            static const double height[8] = {2, -6, -14, -18, -18, -14, -6, 2};
            s.dy = height[k % 8];
            s.knee = (k == 0 || k == 7) ? 40 : (s.dy < -10 ? 70 : 20);
            s.legFront = 25;
            s.legBack = 10;
            s.armFront = 150;
            s.armBack = -150;
            if (k == 0 || k == 7) s.armFront = 40, s.armBack = -40;
            break;
        }
        }
        return s;
    };
    return makeStrip(frames, 48, 64, [&](QPainter& p, int k) { figure(p, pose(k)); },
                     move == Move::WalkLeft);
}

}  // namespace mkdemo
