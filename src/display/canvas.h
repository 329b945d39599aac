// Drawing canvas on a surface: dashed outlines and text straight into the
// surface's pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QHash>

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>

#include "display/surface.h"

namespace slv {

// One straight run of outline pixels: (x + k, y) when horizontal, (x, y + k)
// when vertical, for k = 0 .. length-1.
struct OutlineRun {
    int x = 0, y = 0, length = 0;
    bool vertical = false;
};

// The pixels of the outline of x1..x2-1, y1..y2-1 (corners in any order)
// that lie on a width x height surface, as runs appended to `out` in the
// order the canvas draws them: clockwise from the top-left corner, each
// pixel once. Dashed, pixel i of the way round is drawn when i mod 24 < 18,
// so the pattern runs on around the corners. Any coordinates are safe.
// Which pixels of the way round an outline has: all, the dashes, or the
// gaps between the dashes (a second colour there makes a two-tone line).
enum class OutlineStyle { Solid, Dashes, Gaps };
void traceOutline(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, OutlineStyle style,
                  int width, int height, std::vector<OutlineRun>& out);
inline void traceOutline(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2, bool dashed,
                         int width, int height, std::vector<OutlineRun>& out) {
    traceOutline(x1, y1, x2, y2, dashed ? OutlineStyle::Dashes : OutlineStyle::Solid, width, height, out);
}

// Writes `count` runs in one pixel value onto the pixels of `v`; every run
// must lie on them (as traceOutline gives them for v's size).
void writeOutlineRuns(const PixelView& v, const OutlineRun* runs, std::size_t count, std::uint32_t pixel);
// The same, writing only the pixels that lie inside `clip`.
void writeOutlineRunsWithin(const PixelView& v, const OutlineRun* runs, std::size_t count, std::uint32_t pixel,
                            const PixelRect& clip);
// The smallest rectangle holding every pixel of `runs`; empty for none.
PixelRect boundsOfRuns(const OutlineRun* runs, std::size_t count);

enum class BrushStyle { Solid, Clear };
enum class PenStyle { Solid, Dash };

// Colours are 0x00BBGGRR (red in the low byte). Outlines and text are
// written straight into the surface's pixels in its own format; glyphs are
// rasterised once per text and kept. `painter()` gives a QPainter over the
// same pixels for anything else. Drawing begins on the first call after a
// release; settings are kept across releases.
class SurfaceCanvas {
public:
    explicit SurfaceCanvas(Surface& surface);
    ~SurfaceCanvas();
    SurfaceCanvas(const SurfaceCanvas&) = delete;
    SurfaceCanvas& operator=(const SurfaceCanvas&) = delete;

    void setFontColor(std::uint32_t color);
    void setBrushStyle(BrushStyle style);
    void setBrushColor(std::uint32_t color);
    void setPenStyle(PenStyle style);
    void setPenColor(std::uint32_t color);

    std::uint32_t fontColor() const { return fontColor_; }
    BrushStyle brushStyle() const { return brushStyle_; }
    std::uint32_t brushColor() const { return brushColor_; }
    PenStyle penStyle() const { return penStyle_; }
    std::uint32_t penColor() const { return penColor_; }

    // Outline in the pen over x1..x2-1, y1..y2-1 (corners in any order);
    // interior filled unless the brush is clear. Any coordinates are safe
    // (sums of ints such as x + w included); only the part on the surface
    // is drawn.
    void rectangle(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2);
    // Text with its top left at (x, y); transparent background while the
    // brush is clear.
    void drawText(int x, int y, const QString& text);
    void drawText(int x, int y, const std::string& text) { drawText(x, y, QString::fromStdString(text)); }
    void drawText(int x, int y, const char* text) { drawText(x, y, QString::fromUtf8(text)); }
    // The same, writing only the text pixels that lie inside `clip`.
    void drawTextWithin(int x, int y, const QString& text, const PixelRect& clip);
    // The pixels drawText(x, y, text) writes with a clear brush lie inside
    // this rectangle (which may reach off the surface).
    PixelRect textBounds(int x, int y, const QString& text);
    // Height of one text line in pixels.
    int textHeight() const;

    // A painter over the surface's pixels (begins if needed), set up with
    // the canvas's pen, brush and font. At 32 bits it leaves 0xff in the top
    // byte of what it paints; ReadPixel ignores that byte.
    QPainter& painter();

    // Ends drawing; needed before the surface is copied or presented.
    void releaseCanvas();
    bool active() const { return active_; }

    // Dash pattern of the dashed pen, in pixels.
    static constexpr int kDashOn = 18;
    static constexpr int kDashOff = 6;

private:
    struct Glyphs {
        int width = 0;                      // advance of the whole text
        std::vector<std::pair<std::int16_t, std::int16_t>> points;  // (dx, dy) of each text pixel
    };
    bool begin();
    void applyPen();
    void applyBrush();
    std::uint32_t pixelOf(std::uint32_t color) const;
    void fillRect(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2,
                  std::uint32_t pixel);
    const Glyphs& glyphs(const QString& text);
    const QFont& font() const;

    Surface& surface_;
    bool active_ = false;
    QHash<QString, Glyphs> glyphCache_;
    std::vector<OutlineRun> runs_;  // kept for its capacity
    QImage image_;
    QPainter painter_;
    mutable std::optional<QFont> font_;
    std::uint32_t fontColor_ = 0;
    BrushStyle brushStyle_ = BrushStyle::Solid;
    std::uint32_t brushColor_ = 0xFFFFFF;
    PenStyle penStyle_ = PenStyle::Solid;
    std::uint32_t penColor_ = 0;
};

}  // namespace slv
