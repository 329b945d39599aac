// Drawing canvas on a surface: dashed outlines and text straight into the
// surface's pixels.
#pragma once

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

namespace slv {

class TDirectDrawSurface;

enum class TBrushStyle { bsSolid, bsClear };
enum class TPenStyle { psSolid, psDash };

// Colours are 0x00BBGGRR (red in the low byte). Outlines and text are
// written straight into the surface's pixels in its own format; glyphs are
// rasterised once per text and kept. `Painter()` gives a QPainter over the
// same pixels for anything else. Drawing begins on the first call after a
// release; settings are kept across releases.
class TDirectDrawSurfaceCanvas {
public:
    explicit TDirectDrawSurfaceCanvas(TDirectDrawSurface& surface);
    ~TDirectDrawSurfaceCanvas();
    TDirectDrawSurfaceCanvas(const TDirectDrawSurfaceCanvas&) = delete;
    TDirectDrawSurfaceCanvas& operator=(const TDirectDrawSurfaceCanvas&) = delete;

    void SetFontColor(std::uint32_t color);
    void SetBrushStyle(TBrushStyle style);
    void SetBrushColor(std::uint32_t color);
    void SetPenStyle(TPenStyle style);
    void SetPenColor(std::uint32_t color);

    std::uint32_t FontColor() const { return fontColor_; }
    TBrushStyle BrushStyle() const { return brushStyle_; }
    std::uint32_t BrushColor() const { return brushColor_; }
    TPenStyle PenStyle() const { return penStyle_; }
    std::uint32_t PenColor() const { return penColor_; }

    // Outline in the pen over x1..x2-1, y1..y2-1 (corners in any order);
    // interior filled unless the brush is clear. Any coordinates are safe
    // (sums of ints such as x + w included); only the part on the surface
    // is drawn.
    void Rectangle(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2);
    // Text with its top left at (x, y); transparent background while the
    // brush is clear.
    void TextOut(int x, int y, const QString& text);
    void TextOut(int x, int y, const std::string& text) { TextOut(x, y, QString::fromStdString(text)); }
    void TextOut(int x, int y, const char* text) { TextOut(x, y, QString::fromUtf8(text)); }
    // Height of one text line in pixels.
    int TextHeight() const;

    // A painter over the surface's pixels (begins if needed), set up with
    // the canvas's pen, brush and font. At 32 bits it leaves 0xff in the top
    // byte of what it paints; ReadPixel ignores that byte.
    QPainter& Painter();

    // Ends drawing; needed before the surface is copied or presented.
    void ReleaseCanvas();
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
    void edge(std::int64_t x0, std::int64_t y0, int dx, int dy, std::int64_t len,
              std::int64_t phase, std::uint32_t pixel);
    void fillRect(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2,
                  std::uint32_t pixel);
    const Glyphs& glyphs(const QString& text);
    const QFont& font() const;

    TDirectDrawSurface& surface_;
    bool active_ = false;
    QHash<QString, Glyphs> glyphCache_;
    QImage image_;
    QPainter painter_;
    mutable std::optional<QFont> font_;
    std::uint32_t fontColor_ = 0;
    TBrushStyle brushStyle_ = TBrushStyle::bsSolid;
    std::uint32_t brushColor_ = 0xFFFFFF;
    TPenStyle penStyle_ = TPenStyle::psSolid;
    std::uint32_t penColor_ = 0;
};

}  // namespace slv
