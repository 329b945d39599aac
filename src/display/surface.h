// The device and its surfaces: software pixel buffers in the display's pixel
// format (XRGB8888 in a window, RGB565 in the full-screen modes), copied onto
// one another 1:1 with or without a colour key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/records.h"

struct SDL_Surface;
class QImage;

namespace slv {

class TDirectDraw;
class TDirectDrawSurfaceCanvas;

// (Left, Top, Right, Bottom); Right and Bottom are exclusive.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;

    int width() const { return Right - Left; }
    int height() const { return Bottom - Top; }
    bool empty() const { return Left >= Right || Top >= Bottom; }
    bool operator==(const TRect&) const = default;
};

inline TRect Bounds(int left, int top, int width, int height) {
    return TRect{left, top, left + width, top + height};
}

// A rectangle in 64-bit coordinates, for areas computed from record fields
// (a sprite's frame (pos-1)*w .. pos*w) that need not fit in an int.
struct TRect64 {
    std::int64_t Left = 0, Top = 0, Right = 0, Bottom = 0;

    TRect64() = default;
    TRect64(std::int64_t l, std::int64_t t, std::int64_t r, std::int64_t b)
        : Left(l), Top(t), Right(r), Bottom(b) {}
    TRect64(const TRect& r) : Left(r.Left), Top(r.Top), Right(r.Right), Bottom(r.Bottom) {}
    bool operator==(const TRect64&) const = default;
};

// Pictures larger than this in either direction are refused.
constexpr int kMaxPictureSide = 16384;

// Whether a picture file can be loaded, and its size, from its first bytes
// only: cheap enough to ask before a command takes a picture in. Pictures
// are recognised by their content, whatever their file name says.
struct PictureProbe {
    bool readable = false;
    int width = 0, height = 0;  // known when the header could be read
    // Why not, naming the file: "... unreadable (why)", "... not a
    // picture" or "... too large: W x H ...".
    std::string error;
};
PictureProbe ProbePicture(const std::string& fileName);

// Direct view of a surface's pixels. `pixels` is null when the surface has none.
struct PixelView {
    std::uint8_t* pixels = nullptr;
    int pitch = 0;          // bytes per row
    int bytesPerPixel = 0;  // 2 or 4
    int width = 0;
    int height = 0;
};

// A picture surface: created on a device, owned by it, referred to from the
// level tables by its handle.
class TDirectDrawSurface {
public:
    ~TDirectDrawSurface();
    TDirectDrawSurface(const TDirectDrawSurface&) = delete;
    TDirectDrawSurface& operator=(const TDirectDrawSurface&) = delete;

    // A new surface without pixels on `device` (the device owns it).
    static TDirectDrawSurface* Create(TDirectDraw& device);

    TDirectDraw& device() const { return *device_; }
    SurfaceHandle handle() const { return handle_; }
    int BitCount() const;

    // Loads a picture file (any format Qt reads, recognised by content) and
    // re-creates the pixels at its size in the device's format; the colour
    // key becomes 0. On failure the surface keeps the pixels it had and the
    // error names the file and the reason, as ProbePicture does.
    void LoadBitmapFile(const std::string& fileName);
    // The same from a picture already in memory.
    void LoadFromImage(const QImage& image);
    // Re-creates the pixels at the given size (contents undefined, key 0);
    // a size of 0 in either direction releases the pixels.
    void SetSize(int width, int height);

    int Width() const;
    int Height() const;
    TRect SurfaceRect() const { return TRect{0, 0, Width(), Height()}; }
    bool hasPixels() const { return surface_ != nullptr; }

    // Copies `srcRect` of `src` to (x, y), clipped to both surfaces. With
    // `transparent`, source pixels equal to the source's colour key are skipped.
    // The clip is computed in 64 bits: any coordinates are safe.
    void DrawRect(int x, int y, TRect srcRect, TDirectDrawSurface* src, bool transparent) {
        DrawRect(std::int64_t(x), std::int64_t(y), TRect64(srcRect), src, transparent);
    }
    void DrawRect(std::int64_t x, std::int64_t y, const TRect64& srcRect, TDirectDrawSurface* src,
                  bool transparent);
    void Draw(int x, int y, TDirectDrawSurface* src, bool transparent) {
        if (src) DrawRect(x, y, src->SurfaceRect(), src, transparent);
    }
    void FillColor(std::uint32_t pixel);
    // The raw pixel value at (x, y); 0 outside the surface. At 32 bits the
    // top byte is always 0.
    std::uint32_t ReadPixel(int x, int y) const;
    void SetKeyColor(std::uint32_t pixel);
    std::uint32_t KeyColor() const { return key_; }

    TDirectDrawSurfaceCanvas& Canvas();
    // Ends the canvas's painting if it is active.
    void ReleaseCanvas();

    // Pixels for reading; `PixelsForWrite` also tells the surface that they
    // are about to change.
    PixelView Pixels() const;
    PixelView PixelsForWrite();

private:
    friend class TDirectDraw;
    friend class TDirectDrawSurfaceCanvas;
    TDirectDrawSurface(TDirectDraw& device, SurfaceHandle handle);

    void releasePixels();
    void adoptPixels(std::vector<std::uint8_t>&& buffer, int width, int height, int pitch);
    void touch();  // pixels changed: the encoded copy for keyed blits is stale
    void flushFill() const;  // writes a pending fill into the pixels
    SDL_Surface* keyedSource();
    void releaseCanvasIfActive();

    TDirectDraw* device_;
    SurfaceHandle handle_;
    std::vector<std::uint8_t> buffer_;  // the pixels, pitch-aligned rows
    SDL_Surface* surface_ = nullptr;    // plain view of buffer_
    SDL_Surface* keyed_ = nullptr;      // RLE-encoded view of buffer_ for keyed copies
    std::uint32_t key_ = 0;
    // A fill is written out only when the pixels are next used, so a fill
    // that a whole-surface opaque copy covers costs nothing.
    mutable bool fillPending_ = false;
    std::uint32_t fillValue_ = 0;
    std::unique_ptr<TDirectDrawSurfaceCanvas> canvas_;
};

// The device: chooses the pixel format and owns every surface made on it.
class TDirectDraw {
public:
    // `bitCount` 32 (XRGB8888) or 16 (RGB565).
    explicit TDirectDraw(int bitCount = 32);
    ~TDirectDraw();
    TDirectDraw(const TDirectDraw&) = delete;
    TDirectDraw& operator=(const TDirectDraw&) = delete;

    int BitCount() const { return bitCount_; }
    std::uint32_t pixelFormat() const { return format_; }  // SDL pixel format enum

    TDirectDrawSurface* CreateSurface();
    // The surface of `handle`, or null for 0, a freed surface, a surface of
    // another device or any other value.
    TDirectDrawSurface* resolve(SurfaceHandle handle) const;
    // Destroys the surface of `handle`; unknown handles are ignored.
    void FreeSurface(SurfaceHandle handle);
    std::size_t SurfaceCount() const { return surfaces_.size(); }

    // Pixel value of an RGB colour in this device's format.
    std::uint32_t rgbToPixel(int r, int g, int b) const;

private:
    int bitCount_;
    std::uint32_t format_;
    std::unordered_map<SurfaceHandle, std::unique_ptr<TDirectDrawSurface>> surfaces_;
};

}  // namespace slv
