#include "display/canvas.h"

#include <QColor>
#include <QFontMetrics>
#include <QPen>
#include <QVector>

#include <algorithm>
#include <climits>
#include <cstring>

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

// n pixels of value v from p on, 16 bytes at a time.
template <class T>
inline void fillRow(T* p, int n, T v) {
    typedef T V __attribute__((vector_size(16)));
    constexpr int L = 16 / int(sizeof(T));
    const V vv = V{} + v;
    int i = 0;
    for (; i + L <= n; i += L) std::memcpy(p + i, &vv, sizeof vv);
    for (; i < n; ++i) p[i] = v;
}

template <class T>
void writeRuns(const PixelView& v, const OutlineRun* runs, std::size_t count, std::uint32_t pixel) {
    const T value = static_cast<T>(pixel);
    for (std::size_t k = 0; k < count; ++k) {
        const OutlineRun& r = runs[k];
        std::uint8_t* row = v.pixels + std::size_t(r.y) * v.pitch;
        if (r.vertical)
            columnRun<T>(row + std::size_t(r.x) * sizeof(T), v.pitch, r.length, pixel);
        else
            fillRow<T>(reinterpret_cast<T*>(row) + r.x, r.length, value);
    }
}

template <class T>
void writeRunsWithin(const PixelView& v, const OutlineRun* runs, std::size_t count, std::uint32_t pixel,
                     const PixelRect& c) {
    const T value = static_cast<T>(pixel);
    for (std::size_t k = 0; k < count; ++k) {
        const OutlineRun& r = runs[k];
        const bool vertical = r.vertical;
        // The run's span along its length, and its place across it.
        const int across = vertical ? r.x : r.y;
        if (across < (vertical ? c.left : c.top) || across >= (vertical ? c.right : c.bottom)) continue;
        const int from = std::max(vertical ? r.y : r.x, vertical ? c.top : c.left);
        const int to = std::min((vertical ? r.y : r.x) + r.length, vertical ? c.bottom : c.right);
        if (from >= to) continue;
        if (vertical) {
            columnRun<T>(v.pixels + std::size_t(from) * v.pitch + std::size_t(r.x) * sizeof(T), v.pitch, to - from,
                         pixel);
        } else {
            fillRow<T>(reinterpret_cast<T*>(v.pixels + std::size_t(r.y) * v.pitch) + from, to - from, value);
        }
    }
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

namespace {

// Pixels i = 0..len-1 at (x0 + dx*i, y0 + dy*i), one of dx, dy being 0 and
// the other 1 or -1, as runs; pixel i is drawn when `on` is 0 or
// (phase + i) mod (kDashOn + kDashOff) < on.
void traceEdge(std::int64_t x0, std::int64_t y0, int dx, int dy, std::int64_t len, std::int64_t phase,
               int on, int width, int height, std::vector<OutlineRun>& out) {
    const bool dashed = on > 0;
    if (len <= 0) return;
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
    clipAxis(x0, dx, width);
    clipAxis(y0, dy, height);
    if (ia >= ib) return;

    constexpr int period = SurfaceCanvas::kDashOn + SurfaceCanvas::kDashOff;
    // One division for the edge; the pattern's place then steps along.
    int p = dashed ? int((phase + ia) % period) : 0;
    std::int64_t i = ia;
    while (i < ib) {
        std::int64_t run = ib - i;
        if (dashed) {
            if (p >= on) {
                i += period - p;
                p = 0;
                continue;
            }
            run = std::min<std::int64_t>(on - p, run);
            p += int(run);
        }
        // Pixels i .. i+run-1, all on the surface.
        OutlineRun r;
        r.length = int(run);
        if (dy == 0) {
            r.x = int(dx == 1 ? x0 + i : x0 - (i + run - 1));
            r.y = int(y0);
        } else {
            r.vertical = true;
            r.x = int(x0);
            r.y = int(dy == 1 ? y0 + i : y0 - (i + run - 1));
        }
        out.push_back(r);
        i += run;
    }
}

}  // namespace

void traceOutline(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom, OutlineStyle style,
                  int width, int height, std::vector<OutlineRun>& out) {
    // Corners are held within +-2^40, far beyond any surface and far from
    // overflowing the sums below.
    constexpr std::int64_t kFar = std::int64_t(1) << 40;
    std::int64_t x1 = std::clamp(left, -kFar, kFar), y1 = std::clamp(top, -kFar, kFar);
    std::int64_t x2 = std::clamp(right, -kFar, kFar), y2 = std::clamp(bottom, -kFar, kFar);
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const std::int64_t w = x2 - x1, h = y2 - y1;
    if (w <= 0 || h <= 0 || width <= 0 || height <= 0) return;
    // Wholly off the surface: nothing to trace.
    if (x2 <= 0 || y2 <= 0 || x1 >= width || y1 >= height) return;
    // The gaps are the dashes of a pattern that starts kDashOn later and is
    // on for kDashOff.
    const int on = style == OutlineStyle::Solid    ? 0
                   : style == OutlineStyle::Dashes ? SurfaceCanvas::kDashOn
                                                   : SurfaceCanvas::kDashOff;
    const std::int64_t shift = style == OutlineStyle::Gaps ? SurfaceCanvas::kDashOff : 0;
    auto edge = [&](std::int64_t x0, std::int64_t y0, int dx, int dy, std::int64_t len, std::int64_t phase) {
        traceEdge(x0, y0, dx, dy, len, phase + shift, on, width, height, out);
    };
    if (h == 1) {
        edge(x1, y1, 1, 0, w, 0);
        return;
    }
    if (w == 1) {
        edge(x1, y1, 0, 1, h, 0);
        return;
    }
    edge(x1, y1, 1, 0, w, 0);                       // top, x1..x2-1
    edge(x2 - 1, y1 + 1, 0, 1, h - 1, w);           // right, y1+1..y2-1
    edge(x2 - 2, y2 - 1, -1, 0, w - 1, w + h - 1);  // bottom, x2-2..x1
    edge(x1, y2 - 2, 0, -1, h - 2, 2 * w + h - 2);  // left, y2-2..y1+1
}

void writeOutlineRuns(const PixelView& v, const OutlineRun* runs, std::size_t count, std::uint32_t pixel) {
    if (v.bytesPerPixel == 4)
        writeRuns<std::uint32_t>(v, runs, count, pixel);
    else
        writeRuns<std::uint16_t>(v, runs, count, pixel);
}

void writeOutlineRunsWithin(const PixelView& v, const OutlineRun* runs, std::size_t count, std::uint32_t pixel,
                            const PixelRect& clip) {
    if (v.bytesPerPixel == 4)
        writeRunsWithin<std::uint32_t>(v, runs, count, pixel, clip);
    else
        writeRunsWithin<std::uint16_t>(v, runs, count, pixel, clip);
}

PixelRect boundsOfRuns(const OutlineRun* runs, std::size_t count) {
    if (count == 0) return {};
    PixelRect b{runs[0].x, runs[0].y, runs[0].x, runs[0].y};
    for (std::size_t k = 0; k < count; ++k) {
        const OutlineRun& r = runs[k];
        b.left = std::min(b.left, r.x);
        b.top = std::min(b.top, r.y);
        b.right = std::max(b.right, r.vertical ? r.x + 1 : r.x + r.length);
        b.bottom = std::max(b.bottom, r.vertical ? r.y + r.length : r.y + 1);
    }
    return b;
}

void SurfaceCanvas::rectangle(std::int64_t left, std::int64_t top, std::int64_t right,
                                         std::int64_t bottom) {
    if (left == right || top == bottom) return;
    if (!begin()) return;
    if (brushStyle_ == BrushStyle::Solid)
        fillRect(std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom),
                 pixelOf(brushColor_));
    const PixelView v = surface_.pixels();
    runs_.clear();
    traceOutline(left, top, right, bottom, penStyle_ == PenStyle::Dash, v.width, v.height, runs_);
    writeOutlineRuns(v, runs_.data(), runs_.size(), pixelOf(penColor_));
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
    drawTextWithin(x, y, text, PixelRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX});
}

void SurfaceCanvas::drawTextWithin(int x, int y, const QString& text, const PixelRect& clip) {
    if (text.isEmpty() || clip.empty() || !begin()) return;
    const Glyphs& g = glyphs(text);
    if (brushStyle_ == BrushStyle::Solid)
        fillRect(std::max<std::int64_t>(x, clip.left), std::max<std::int64_t>(y, clip.top),
                 std::min<std::int64_t>(std::int64_t(x) + g.width, clip.right),
                 std::min<std::int64_t>(std::int64_t(y) + textHeight(), clip.bottom), pixelOf(brushColor_));
    const PixelView v = surface_.pixels();
    const std::int64_t left = std::max(0, clip.left), top = std::max(0, clip.top);
    const std::int64_t right = std::min(v.width, clip.right), bottom = std::min(v.height, clip.bottom);
    const std::uint32_t pixel = pixelOf(fontColor_);
    for (const auto& [dx, dy] : g.points) {
        const std::int64_t px = std::int64_t(x) + dx, py = std::int64_t(y) + dy;
        if (px < left || py < top || px >= right || py >= bottom) continue;
        if (v.bytesPerPixel == 4)
            putPixel<std::uint32_t>(v, int(px), int(py), pixel);
        else
            putPixel<std::uint16_t>(v, int(px), int(py), pixel);
    }
}

PixelRect SurfaceCanvas::textBounds(int x, int y, const QString& text) {
    if (text.isEmpty()) return {};
    const Glyphs& g = glyphs(text);
    if (g.points.empty()) return {};
    PixelRect b{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (const auto& [dx, dy] : g.points) {
        b.left = std::min(b.left, int(dx));
        b.top = std::min(b.top, int(dy));
        b.right = std::max(b.right, dx + 1);
        b.bottom = std::max(b.bottom, dy + 1);
    }
    // Far corners are held within the ints' range.
    auto at = [](int origin, int d) { return int(std::clamp<std::int64_t>(std::int64_t(origin) + d, INT_MIN, INT_MAX)); };
    return PixelRect{at(x, b.left), at(y, b.top), at(x, b.right), at(y, b.bottom)};
}

int SurfaceCanvas::textHeight() const { return QFontMetrics(font()).height(); }

}  // namespace slv
