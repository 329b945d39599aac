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

class PixelDevice;
class SurfaceCanvas;

// (Left, Top, Right, Bottom); Right and Bottom are exclusive.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return left >= right || top >= bottom; }
    bool operator==(const PixelRect&) const = default;
};

inline PixelRect rectAt(int left, int top, int width, int height) {
    return PixelRect{left, top, left + width, top + height};
}

// A rectangle in 64-bit coordinates, for areas computed from record fields
// (a sprite's frame (pos-1)*w .. pos*w) that need not fit in an int.
struct PixelRect64 {
    std::int64_t left = 0, top = 0, right = 0, bottom = 0;

    PixelRect64() = default;
    PixelRect64(std::int64_t l, std::int64_t t, std::int64_t r, std::int64_t b)
        : left(l), top(t), right(r), bottom(b) {}
    PixelRect64(const PixelRect& r) : left(r.left), top(r.top), right(r.right), bottom(r.bottom) {}
    bool operator==(const PixelRect64&) const = default;
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
PictureProbe probePicture(const std::string& fileName);

// Reads a picture file as Surface::loadPicture does: only a regular file is
// opened (never waiting on a FIFO or a device), recognised by content,
// checked for its size before its pixels are decoded. Throws slv::Error
// with the same texts.
QImage readPictureFile(const std::string& fileName);
// The same for the bytes of a picture file that is not written yet;
// `fileName` is the name errors give it.
QImage readPictureData(const std::string& fileName, const std::string& bytes);
// The same for the preview beside the stage list: "Cannot open file PATH"
// when the file cannot be opened as a regular file, "Bitmap image is not
// valid" when it holds no picture the editor takes.
QImage readPreviewPicture(const std::string& fileName);

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
class Surface {
public:
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // A new surface without pixels on `device` (the device owns it).
    static Surface* create(PixelDevice& device);

    PixelDevice& device() const { return *device_; }
    SurfaceHandle handle() const { return handle_; }
    int bitsPerPixel() const;

    // Loads a picture file (any format Qt reads, recognised by content) and
    // re-creates the pixels at its size in the device's format; the colour
    // key becomes 0. On failure the surface keeps the pixels it had and the
    // error names the file and the reason, as ProbePicture does.
    void loadPicture(const std::string& fileName);
    // The same from the file's bytes, before the file is written.
    void loadPictureData(const std::string& fileName, const std::string& bytes);
    // The same from a picture already in memory.
    void loadImage(const QImage& image);
    // Re-creates the pixels at the given size (contents undefined, key 0);
    // a size of 0 in either direction releases the pixels.
    void setSize(int width, int height);

    int width() const;
    int height() const;
    PixelRect rect() const { return PixelRect{0, 0, width(), height()}; }
    bool hasPixels() const { return surface_ != nullptr; }

    // Copies `srcRect` of `src` to (x, y), clipped to both surfaces. With
    // `transparent`, source pixels equal to the source's colour key are skipped.
    // The clip is computed in 64 bits: any coordinates are safe.
    void blit(int x, int y, PixelRect srcRect, Surface* src, bool transparent) {
        blit(std::int64_t(x), std::int64_t(y), PixelRect64(srcRect), src, transparent);
    }
    void blit(std::int64_t x, std::int64_t y, const PixelRect64& srcRect, Surface* src,
                  bool transparent);
    void blitAll(int x, int y, Surface* src, bool transparent) {
        if (src) blit(x, y, src->rect(), src, transparent);
    }
    void fill(std::uint32_t pixel);
    // Fills the part of `r` that lies on the surface.
    void fillRect(const PixelRect& r, std::uint32_t pixel);
    // The raw pixel value at (x, y); 0 outside the surface. At 32 bits the
    // top byte is always 0.
    std::uint32_t pixelAt(int x, int y) const;
    void setColorKey(std::uint32_t pixel);
    std::uint32_t colorKey() const { return key_; }

    SurfaceCanvas& canvas();
    // Ends the canvas's painting if it is active.
    void releaseCanvas();

    // Pixels for reading; `PixelsForWrite` also tells the surface that they
    // are about to change.
    PixelView pixels() const;
    PixelView pixelsForWrite();

    // Changes whenever the pixels or the colour key may have changed (a copy
    // or fill into the surface, a new size or picture, drawing on its
    // canvas): two equal versions of one surface mean the same pixels.
    std::uint64_t version() const { return version_; }

private:
    // Takes a decoded picture as loadPicture does; errors name `fileName`.
    void loadDecoded(const std::string& fileName, const QImage& image);
    friend class PixelDevice;
    friend class SurfaceCanvas;
    Surface(PixelDevice& device, SurfaceHandle handle);

    void releasePixels();
    void adoptPixels(std::vector<std::uint8_t>&& buffer, int width, int height, int pitch);
    void touch();  // pixels changed: the encoded copy for keyed blits is stale
    void flushFill() const;  // writes a pending fill into the pixels
    SDL_Surface* keyedSource();
    void releaseCanvasIfActive();

    PixelDevice* device_;
    SurfaceHandle handle_;
    std::vector<std::uint8_t> buffer_;  // the pixels, pitch-aligned rows
    SDL_Surface* surface_ = nullptr;    // plain view of buffer_
    SDL_Surface* keyed_ = nullptr;      // RLE-encoded view of buffer_ for keyed copies
    std::uint32_t key_ = 0;
    std::uint64_t version_ = 0;
    // A fill is written out only when the pixels are next used, so a fill
    // that a whole-surface opaque copy covers costs nothing.
    mutable bool fillPending_ = false;
    std::uint32_t fillValue_ = 0;
    std::unique_ptr<SurfaceCanvas> canvas_;
};

// The routines that make keyed copies: the plain one runs everywhere, the
// vector ones where the processor has their instructions.
enum class CopyPath { Plain, Avx2, Avx512 };
const char* copyPathName(CopyPath path);
// The paths compiled into this program that this processor runs, plainest
// first; Plain always.
std::vector<CopyPath> runnableCopyPaths();
// The path keyed copies take: the best runnable one, unless forced lower
// (forceCopyPath, or SLVEDIT_COPY_PATH=plain|avx2 in the environment).
CopyPath copyPath();
// Makes keyed copies take `path`, or the best runnable path below it when
// this processor cannot run it; returns the path taken.
CopyPath forceCopyPath(CopyPath path);
// One keyed copy of w x h pixels of `bytesPerPixel` (2 or 4) through
// `path`, which must be runnable: each source pixel that differs from `key`
// replaces the destination pixel. Rows are `dp` and `sp` bytes apart.
void keyedCopy(CopyPath path, std::uint8_t* d, int dp, const std::uint8_t* s, int sp, int w, int h,
               int bytesPerPixel, std::uint32_t key);
// The lanes of the last, partial block of a row, lowest lane first; 0 when the row ends on a block boundary.
std::uint64_t rowEndMask(int width, int lanes);

// The device: chooses the pixel format and owns every surface made on it.
class PixelDevice {
public:
    // `bitCount` 32 (XRGB8888) or 16 (RGB565).
    explicit PixelDevice(int bitCount = 32);
    ~PixelDevice();
    PixelDevice(const PixelDevice&) = delete;
    PixelDevice& operator=(const PixelDevice&) = delete;

    int bitsPerPixel() const { return bitCount_; }
    std::uint32_t pixelFormat() const { return format_; }  // SDL pixel format enum

    Surface* createSurface();
    // The surface of `handle`, or null for 0, a freed surface, a surface of
    // another device or any other value.
    Surface* resolve(SurfaceHandle handle) const;
    // Destroys the surface of `handle`; unknown handles are ignored.
    void freeSurface(SurfaceHandle handle);
    std::size_t surfaceCount() const { return surfaces_.size(); }

    // Pixel value of an RGB colour in this device's format.
    std::uint32_t rgbToPixel(int r, int g, int b) const;

private:
    int bitCount_;
    std::uint32_t format_;
    std::unordered_map<SurfaceHandle, std::unique_ptr<Surface>> surfaces_;
};

}  // namespace slv
