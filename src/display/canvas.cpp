#include "display/canvas.h"

#include <QColor>
#include <QFontMetrics>
#include <QPen>
#include <QVector>

#include <algorithm>

#include "display/surface.h"

namespace slv {

namespace {

QColor toQColor(std::uint32_t c) {
    return QColor(int(c & 255), int((c >> 8) & 255), int((c >> 16) & 255));
}

// Lines of numbers on the view are 15 pixels apart; the canvas font must fit.
constexpr int kMaxLineHeight = 15;
constexpr int kMaxCachedTexts = 256;

QFont canvasFont() {
    QFont font;
    if (QFontMetrics(font).height() > kMaxLineHeight) {
        int px = kMaxLineHeight - 2;
        font.setPixelSize(px);
        while (px > 6 && QFontMetrics(font).height() > kMaxLineHeight) font.setPixelSize(--px);
    }
    // Crisp one-colour glyphs, as a bitmap font gives them.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

template <class T>
void fillRun(std::uint8_t* row, int x, int count, std::uint32_t pixel) {
    std::fill_n(reinterpret_cast<T*>(row) + x, count, static_cast<T>(pixel));
}

template <class T>
void columnRun(std::uint8_t* p, int pitch, int count, std::uint32_t pixel) {
    const T value = static_cast<T>(pixel);
    for (int k = 0; k < count; ++k, p += pitch) *reinterpret_cast<T*>(p) = value;
}

template <class T>
void putPixel(const PixelView& v, int x, int y, std::uint32_t pixel) {
    reinterpret_cast<T*>(v.pixels + std::size_t(y) * v.pitch)[x] = static_cast<T>(pixel);
}

}  // namespace

SurfaceCanvas::SurfaceCanvas(Surface& surface)
    : surface_(surface) {}

// The font is made on first use: outlines need none, and a font needs the
// application object.
const QFont& SurfaceCanvas::font() const {
    if (!font_) font_ = canvasFont();
    return *font_;
}

SurfaceCanvas::~SurfaceCanvas() { releaseCanvas(); }

bool SurfaceCanvas::begin() {
    if (!surface_.hasPixels()) return false;
    if (!active_) {
        active_ = true;
        surface_.touch();
    }
    return true;
}

QPainter& SurfaceCanvas::painter() {
    if (!painter_.isActive() && begin()) {
        const PixelView px = surface_.pixels();
        image_ = QImage(px.pixels, px.width, px.height, px.pitch,
                        px.bytesPerPixel == 4 ? QImage::Format_RGB32 : QImage::Format_RGB16);
        if (painter_.begin(&image_)) {
            painter_.setBackgroundMode(Qt::TransparentMode);
            painter_.setFont(font());
            applyPen();
            applyBrush();
        } else {
            image_ = QImage();
        }
    }
    return painter_;
}

void SurfaceCanvas::releaseCanvas() {
    if (painter_.isActive()) painter_.end();
    image_ = QImage();
    if (active_) {
        active_ = false;
        surface_.touch();
    }
}

void SurfaceCanvas::applyPen() {
    if (!painter_.isActive()) return;
    QPen pen(toQColor(penColor_));
    pen.setWidth(0);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::FlatCap);
    if (penStyle_ == PenStyle::Dash) pen.setDashPattern(QVector<qreal>{kDashOn, kDashOff});
    painter_.setPen(pen);
}

void SurfaceCanvas::applyBrush() {
    if (!painter_.isActive()) return;
    if (brushStyle_ == BrushStyle::Clear)
        painter_.setBrush(Qt::NoBrush);
    else
        painter_.setBrush(toQColor(brushColor_));
}

void SurfaceCanvas::setFontColor(std::uint32_t color) { fontColor_ = color & 0xFFFFFF; }

void SurfaceCanvas::setBrushStyle(BrushStyle style) {
    brushStyle_ = style;
    applyBrush();
}

void SurfaceCanvas::setBrushColor(std::uint32_t color) {
    brushColor_ = color & 0xFFFFFF;
    applyBrush();
}

void SurfaceCanvas::setPenStyle(PenStyle style) {
    penStyle_ = style;
    applyPen();
}

void SurfaceCanvas::setPenColor(std::uint32_t color) {
    penColor_ = color & 0xFFFFFF;
    applyPen();
}

std::uint32_t SurfaceCanvas::pixelOf(std::uint32_t color) const {
    return surface_.device().rgbToPixel(int(color & 255), int((color >> 8) & 255),
                                        int((color >> 16) & 255));
}

// Coordinates are 64-bit from here on: the sums and differences of any two
// ints (corners, widths, dash phases) are exact, and only pixels that lie on
// the surface are written.
void SurfaceCanvas::fillRect(std::int64_t x1, std::int64_t y1, std::int64_t x2,
                                        std::int64_t y2, std::uint32_t pixel) {
    const PixelView v = surface_.pixels();
    x1 = std::max<std::int64_t>(x1, 0);
    y1 = std::max<std::int64_t>(y1, 0);
    x2 = std::min<std::int64_t>(x2, v.width);
    y2 = std::min<std::int64_t>(y2, v.height);
    if (x1 >= x2 || y1 >= y2) return;
    for (std::int64_t y = y1; y < y2; ++y) {
        std::uint8_t* row = v.pixels + std::size_t(y) * v.pitch;
        if (v.bytesPerPixel == 4)
            fillRun<std::uint32_t>(row, int(x1), int(x2 - x1), pixel);
        else
            fillRun<std::uint16_t>(row, int(x1), int(x2 - x1), pixel);
    }
}

// Pixels i = 0..len-1 at (x0 + dx*i, y0 + dy*i), one of dx, dy being 0 and
// the other 1 or -1. With the dashed pen, pixel i is drawn when
// (phase + i) mod (on + off) < on, so the pattern runs on around a figure.
void SurfaceCanvas::edge(std::int64_t x0, std::int64_t y0, int dx, int dy,
                                    std::int64_t len, std::int64_t phase, std::uint32_t pixel) {
    if (len <= 0) return;
    const PixelView v = surface_.pixels();
    // The range of i that lies on the surface.
    std::int64_t ia = 0, ib = len;
    auto clipAxis = [&](std::int64_t start, int step, std::int64_t limit) {
        if (step == 1) {
            ia = std::max(ia, -start);
            ib = std::min(ib, limit - start);
        } else if (step == -1) {
            ia = std::max(ia, start - limit + 1);
            ib = std::min(ib, start + 1);
        } else if (start < 0 || start >= limit) {
            ib = ia;
        }
    };
    clipAxis(x0, dx, v.width);
    clipAxis(y0, dy, v.height);
    if (ia >= ib) return;

    const bool dashed = penStyle_ == PenStyle::Dash;
    const int period = kDashOn + kDashOff;
    const bool wide = v.bytesPerPixel == 4;
    std::int64_t i = ia;
    while (i < ib) {
        std::int64_t run = ib - i;
        if (dashed) {
            const int p = int((phase + i) % period);
            if (p >= kDashOn) {
                i += period - p;
                continue;
            }
            run = std::min<std::int64_t>(kDashOn - p, run);
        }
        // Draw pixels i .. i+run-1; all of them lie on the surface.
        if (dy == 0) {
            const int xs = int(dx == 1 ? x0 + i : x0 - (i + run - 1));
            std::uint8_t* row = v.pixels + std::size_t(y0) * v.pitch;
            if (wide)
                fillRun<std::uint32_t>(row, xs, int(run), pixel);
            else
                fillRun<std::uint16_t>(row, xs, int(run), pixel);
        } else {
            const std::int64_t ys = dy == 1 ? y0 + i : y0 - (i + run - 1);
            std::uint8_t* p = v.pixels + std::size_t(ys) * v.pitch + std::size_t(x0) * v.bytesPerPixel;
            if (wide)
                columnRun<std::uint32_t>(p, v.pitch, int(run), pixel);
            else
                columnRun<std::uint16_t>(p, v.pitch, int(run), pixel);
        }
        i += run;
    }
}

void SurfaceCanvas::rectangle(std::int64_t left, std::int64_t top, std::int64_t right,
                                         std::int64_t bottom) {
    // Corners are held within +-2^40, far beyond any surface and far from
    // overflowing the sums below.
    constexpr std::int64_t kFar = std::int64_t(1) << 40;
    std::int64_t x1 = std::clamp(left, -kFar, kFar), y1 = std::clamp(top, -kFar, kFar);
    std::int64_t x2 = std::clamp(right, -kFar, kFar), y2 = std::clamp(bottom, -kFar, kFar);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const std::int64_t w = x2 - x1, h = y2 - y1;
    if (w <= 0 || h <= 0) return;
    if (!begin()) return;
    if (brushStyle_ == BrushStyle::Solid) fillRect(x1, y1, x2, y2, pixelOf(brushColor_));
    const std::uint32_t pen = pixelOf(penColor_);
    if (h == 1) {
        edge(x1, y1, 1, 0, w, 0, pen);
        return;
    }
    if (w == 1) {
        edge(x1, y1, 0, 1, h, 0, pen);
        return;
    }
    // Clockwise from the top-left corner, each pixel once.
    edge(x1, y1, 1, 0, w, 0, pen);                          // top, x1..x2-1
    edge(x2 - 1, y1 + 1, 0, 1, h - 1, w, pen);              // right, y1+1..y2-1
    edge(x2 - 2, y2 - 1, -1, 0, w - 1, w + h - 1, pen);     // bottom, x2-2..x1
    edge(x1, y2 - 2, 0, -1, h - 2, 2 * w + h - 2, pen);     // left, y2-2..y1+1
}

const SurfaceCanvas::Glyphs& SurfaceCanvas::glyphs(const QString& text) {
    auto it = glyphCache_.constFind(text);
    if (it != glyphCache_.constEnd()) return *it;
    if (glyphCache_.size() >= kMaxCachedTexts) glyphCache_.clear();

    Glyphs g;
    const QFontMetrics fm(font());
    g.width = fm.horizontalAdvance(text);
    const QRect br = fm.boundingRect(text);  // relative to the baseline origin
    if (br.width() > 0 && br.height() > 0) {
        const int ox = 1 - br.left(), oy = 1 - br.top();
        QImage mask(br.width() + 2, br.height() + 2, QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        {
            QPainter p(&mask);
            p.setFont(font());
            p.setPen(Qt::white);
            p.drawText(ox, oy, text);
        }
        const int ascent = fm.ascent();
        for (int y = 0; y < mask.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
            for (int x = 0; x < mask.width(); ++x)
                if (qAlpha(row[x]) >= 128)
                    g.points.emplace_back(std::int16_t(x - ox), std::int16_t(y - oy + ascent));
        }
    }
    return *glyphCache_.insert(text, std::move(g));
}

void SurfaceCanvas::drawText(int x, int y, const QString& text) {
    if (text.isEmpty() || !begin()) return;
    const Glyphs& g = glyphs(text);
    if (brushStyle_ == BrushStyle::Solid)
        fillRect(x, y, std::int64_t(x) + g.width, std::int64_t(y) + textHeight(), pixelOf(brushColor_));
    const PixelView v = surface_.pixels();
    const std::uint32_t pixel = pixelOf(fontColor_);
    for (const auto& [dx, dy] : g.points) {
        const std::int64_t px = std::int64_t(x) + dx, py = std::int64_t(y) + dy;
        if (px < 0 || py < 0 || px >= v.width || py >= v.height) continue;
        if (v.bytesPerPixel == 4)
            putPixel<std::uint32_t>(v, int(px), int(py), pixel);
        else
            putPixel<std::uint16_t>(v, int(px), int(py), pixel);
    }
}

int SurfaceCanvas::textHeight() const { return QFontMetrics(font()).height(); }

}  // namespace slv
