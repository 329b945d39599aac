#include "display/surface.h"

#include <SDL2/SDL.h>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

#include <QByteArray>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "display/canvas.h"
#include "model/errors.h"
#include "model/fileio.h"

namespace slv {

namespace {

// Handles are unique for the whole run, across devices, so a handle of a
// destroyed device never resolves on a later one.
SurfaceHandle gNextHandle = 1;

SurfaceHandle newHandle() {
    SurfaceHandle h = gNextHandle++;
    if (gNextHandle == 0) gNextHandle = 1;
    return h;
}

[[noreturn]] void cannotBeMade(const char* what) {
    throw Error(std::string(what) + " cannot be made");
}

// Colour-keyed copy of one row: each pixel of `s` that differs from `key`
// replaces the one in `d`. B bytes of pixels are compared and blended at once.
template <class T, int B>
__attribute__((always_inline)) inline void keyedRow(T* d, const T* s, int n, T key) {
    typedef T V __attribute__((vector_size(B)));
    constexpr int L = int(sizeof(V) / sizeof(T));
    const V k = V{} + key;
    int i = 0;
    for (; i + L <= n; i += L) {
        V sv, dv;
        std::memcpy(&sv, s + i, sizeof(V));
        std::memcpy(&dv, d + i, sizeof(V));
        const V keep = reinterpret_cast<V>(sv == k);  // all ones where the key matches
        const V out = (dv & keep) | (sv & ~keep);
        std::memcpy(d + i, &out, sizeof(V));
    }
    for (; i < n; ++i)
        if (s[i] != key) d[i] = s[i];
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define SLV_KEYED_AVX2 1
// 32 bytes at a time. Sprite strips are mostly runs of wholly transparent or
// wholly opaque pixels: a block that is all key is skipped and one without
// key is stored as it is, so the destination is read only where they mix.
template <class T>
__attribute__((target("avx2"))) void keyedRowsAvx2(std::uint8_t* d, int dp, const std::uint8_t* s,
                                                   int sp, int w, int h, T key) {
    constexpr int L = int(32 / sizeof(T));
    const __m256i k = sizeof(T) == 4 ? _mm256_set1_epi32(int(key)) : _mm256_set1_epi16(short(key));
    for (int row = 0; row < h; ++row) {
        T* dr = reinterpret_cast<T*>(d + std::size_t(row) * dp);
        const T* sr = reinterpret_cast<const T*>(s + std::size_t(row) * sp);
        int i = 0;
        for (; i + L <= w; i += L) {
            const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sr + i));
            const __m256i keep = sizeof(T) == 4 ? _mm256_cmpeq_epi32(sv, k) : _mm256_cmpeq_epi16(sv, k);
            const int mask = _mm256_movemask_epi8(keep);
            if (mask == -1) continue;
            auto* dst = reinterpret_cast<__m256i*>(dr + i);
            if (mask == 0) {
                _mm256_storeu_si256(dst, sv);
                continue;
            }
            _mm256_storeu_si256(dst, _mm256_blendv_epi8(sv, _mm256_loadu_si256(dst), keep));
        }
        for (; i < w; ++i)
            if (sr[i] != key) dr[i] = sr[i];
    }
}

// 64 bytes at a time with a masked store that writes the non-key pixels
// alone: no branch and no read of the destination. The row's end is a
// shorter mask, never a read past the row.
template <class T>
__attribute__((target("avx512f,avx512bw"))) void keyedRowsAvx512(std::uint8_t* d, int dp, const std::uint8_t* s,
                                                                 int sp, int w, int h, T key) {
    constexpr int L = int(64 / sizeof(T));
    const __m512i k = sizeof(T) == 4 ? _mm512_set1_epi32(int(key)) : _mm512_set1_epi16(short(key));
    const std::uint64_t restMask = rowEndMask(w, L);
    for (int row = 0; row < h; ++row) {
        T* dr = reinterpret_cast<T*>(d + std::size_t(row) * dp);
        const T* sr = reinterpret_cast<const T*>(s + std::size_t(row) * sp);
        int i = 0;
        for (; i + L <= w; i += L) {
            const __m512i sv = _mm512_loadu_si512(sr + i);
            if constexpr (sizeof(T) == 4)
                _mm512_mask_storeu_epi32(dr + i, _mm512_cmpneq_epi32_mask(sv, k), sv);
            else
                _mm512_mask_storeu_epi16(dr + i, _mm512_cmpneq_epi16_mask(sv, k), sv);
        }
        if (restMask) {
            if constexpr (sizeof(T) == 4) {
                const __mmask16 m = __mmask16(restMask);
                const __m512i sv = _mm512_maskz_loadu_epi32(m, sr + i);
                _mm512_mask_storeu_epi32(dr + i, _mm512_mask_cmpneq_epi32_mask(m, sv, k), sv);
            } else {
                const __mmask32 m = __mmask32(restMask);
                const __m512i sv = _mm512_maskz_loadu_epi16(m, sr + i);
                _mm512_mask_storeu_epi16(dr + i, _mm512_mask_cmpneq_epi16_mask(m, sv, k), sv);
            }
        }
    }
}

#endif

std::int64_t clampCoord(std::int64_t v) {
    constexpr std::int64_t kFar = std::int64_t(1) << 60;
    return std::clamp(v, -kFar, kFar);
}

// Largest pixel buffer a surface may ask for (bytes).
constexpr std::int64_t kMaxSurfaceBytes = std::int64_t(1) << 30;

bool processorRuns(CopyPath path) {
#ifdef SLV_KEYED_AVX2
    if (path == CopyPath::Avx512)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    if (path == CopyPath::Avx2) return __builtin_cpu_supports("avx2");
#endif
    return path == CopyPath::Plain;
}

CopyPath bestRunnable(CopyPath limit) {
    for (CopyPath p : {CopyPath::Avx512, CopyPath::Avx2})
        if (int(p) <= int(limit) && processorRuns(p)) return p;
    return CopyPath::Plain;
}

CopyPath startingCopyPath() {
    const char* asked = std::getenv("SLVEDIT_COPY_PATH");
    CopyPath limit = CopyPath::Avx512;
    if (asked && std::strcmp(asked, "plain") == 0) limit = CopyPath::Plain;
    if (asked && std::strcmp(asked, "avx2") == 0) limit = CopyPath::Avx2;
    return bestRunnable(limit);
}

CopyPath& chosenCopyPath() {
    static CopyPath path = startingCopyPath();
    return path;
}

template <class T>
void keyedRows(CopyPath path, std::uint8_t* d, int dp, const std::uint8_t* s, int sp, int w, int h, T key) {
#ifdef SLV_KEYED_AVX2
    if (path == CopyPath::Avx512) {
        keyedRowsAvx512<T>(d, dp, s, sp, w, h, key);
        return;
    }
    if (path == CopyPath::Avx2) {
        keyedRowsAvx2<T>(d, dp, s, sp, w, h, key);
        return;
    }
#else
    (void)path;
#endif
    for (int row = 0; row < h; ++row)
        keyedRow<T, 16>(reinterpret_cast<T*>(d + std::size_t(row) * dp),
                        reinterpret_cast<const T*>(s + std::size_t(row) * sp), w, key);
}

}  // namespace

const char* copyPathName(CopyPath path) {
    switch (path) {
    case CopyPath::Avx512: return "AVX-512";
    case CopyPath::Avx2: return "AVX2";
    case CopyPath::Plain: break;
    }
    return "plain";
}

std::vector<CopyPath> runnableCopyPaths() {
    std::vector<CopyPath> paths;
    for (CopyPath p : {CopyPath::Plain, CopyPath::Avx2, CopyPath::Avx512})
        if (processorRuns(p)) paths.push_back(p);
    return paths;
}

CopyPath copyPath() { return chosenCopyPath(); }

std::uint64_t rowEndMask(int width, int lanes) {
    const int rest = width % lanes;
    return (std::uint64_t(1) << rest) - 1;
}

CopyPath forceCopyPath(CopyPath path) { return chosenCopyPath() = bestRunnable(path); }

void keyedCopy(CopyPath path, std::uint8_t* d, int dp, const std::uint8_t* s, int sp, int w, int h,
               int bytesPerPixel, std::uint32_t key) {
    if (w <= 0 || h <= 0) return;
    if (!processorRuns(path)) path = bestRunnable(path);
    if (bytesPerPixel == 4)
        keyedRows<std::uint32_t>(path, d, dp, s, sp, w, h, key);
    else
        keyedRows<std::uint16_t>(path, d, dp, s, sp, w, h, static_cast<std::uint16_t>(key));
}

// ---------------------------------------------------------------- device

PixelDevice::PixelDevice(int bitCount) : bitCount_(bitCount) {
    if (bitCount == 32)
        format_ = SDL_PIXELFORMAT_RGB888;  // XRGB8888, top byte unused
    else if (bitCount == 16)
        format_ = SDL_PIXELFORMAT_RGB565;
    else
        throw Error("DirectDraw cannot be initialized");
}

PixelDevice::~PixelDevice() {
    // Surfaces go first; each one ends its canvas and frees its pixels.
    surfaces_.clear();
}

Surface* PixelDevice::createSurface() {
    SurfaceHandle h = newHandle();
    std::unique_ptr<Surface> s(new Surface(*this, h));
    Surface* raw = s.get();
    surfaces_.emplace(h, std::move(s));
    return raw;
}

Surface* PixelDevice::resolve(SurfaceHandle handle) const {
    if (handle == 0) return nullptr;
    auto it = surfaces_.find(handle);
    return it == surfaces_.end() ? nullptr : it->second.get();
}

void PixelDevice::freeSurface(SurfaceHandle handle) {
    if (handle == 0) return;
    auto it = surfaces_.find(handle);
    if (it == surfaces_.end()) return;
    std::unique_ptr<Surface> s = std::move(it->second);
    surfaces_.erase(it);
    s.reset();
}

std::uint32_t PixelDevice::rgbToPixel(int r, int g, int b) const {
    r &= 255;
    g &= 255;
    b &= 255;
    if (bitCount_ == 16)
        return static_cast<std::uint32_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    return static_cast<std::uint32_t>((r << 16) | (g << 8) | b);
}

// ---------------------------------------------------------------- surface

Surface::Surface(PixelDevice& device, SurfaceHandle handle)
    : device_(&device), handle_(handle) {}

Surface::~Surface() {
    canvas_.reset();
    releasePixels();
}

Surface* Surface::create(PixelDevice& device) {
    return device.createSurface();
}

int Surface::bitsPerPixel() const { return device_->bitsPerPixel(); }

int Surface::width() const { return surface_ ? surface_->w : 0; }
int Surface::height() const { return surface_ ? surface_->h : 0; }

void Surface::releaseCanvasIfActive() {
    if (canvas_ && canvas_->active()) canvas_->releaseCanvas();
}

void Surface::releaseCanvas() { releaseCanvasIfActive(); }

SurfaceCanvas& Surface::canvas() {
    if (!canvas_) canvas_ = std::make_unique<SurfaceCanvas>(*this);
    return *canvas_;
}

void Surface::touch() {
    ++version_;
    if (keyed_) {
        SDL_FreeSurface(keyed_);
        keyed_ = nullptr;
    }
}

void Surface::releasePixels() {
    touch();
    fillPending_ = false;
    if (surface_) {
        SDL_FreeSurface(surface_);
        surface_ = nullptr;
    }
    std::vector<std::uint8_t>().swap(buffer_);
}

// Takes `buffer` as the new pixels. The old pixels stay if the SDL surface
// cannot be made.
void Surface::adoptPixels(std::vector<std::uint8_t>&& buffer, int width, int height,
                                     int pitch) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(buffer.data(), width, height,
                                                        device_->bitsPerPixel(), pitch,
                                                        device_->pixelFormat());
    if (!s) cannotBeMade("Surface");
    releaseCanvasIfActive();
    releasePixels();
    buffer_ = std::move(buffer);  // the data pointer moves with the vector
    surface_ = s;
    key_ = 0;
}

namespace {

int pitchFor(int width, int bytesPerPixel) {
    return (width * bytesPerPixel + 3) & ~3;
}

std::vector<std::uint8_t> allocatePixels(int width, int height, int pitch) {
    std::int64_t bytes = std::int64_t(pitch) * height;
    if (width <= 0 || height <= 0 || bytes > kMaxSurfaceBytes) cannotBeMade("Surface");
    try {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(bytes));
    } catch (const std::bad_alloc&) {
        cannotBeMade("Surface");
    }
}

}  // namespace

void Surface::setSize(int width, int height) {
    if (width <= 0 || height <= 0) {
        releaseCanvasIfActive();
        releasePixels();
        key_ = 0;
        return;
    }
    int bpp = device_->bitsPerPixel() / 8;
    int pitch = pitchFor(width, bpp);
    adoptPixels(allocatePixels(width, height, pitch), width, height, pitch);
}

void Surface::loadImage(const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        setSize(0, 0);
        return;
    }
    const int w = image.width(), h = image.height();
    const bool wide = device_->bitsPerPixel() == 32;
    QImage converted = image.convertToFormat(wide ? QImage::Format_RGB32 : QImage::Format_RGB16);
    if (converted.isNull()) cannotBeMade("Surface");
    const int bpp = wide ? 4 : 2;
    const int pitch = pitchFor(w, bpp);
    std::vector<std::uint8_t> pixels = allocatePixels(w, h, pitch);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* dst = pixels.data() + std::size_t(y) * pitch;
        const uchar* src = converted.constScanLine(y);
        if (wide) {
            // Qt keeps 0xff in the top byte; surfaces keep 0 there.
            auto* d = reinterpret_cast<std::uint32_t*>(dst);
            auto* s = reinterpret_cast<const std::uint32_t*>(src);
            for (int x = 0; x < w; ++x) d[x] = s[x] & 0x00FFFFFFu;
        } else {
            std::memcpy(dst, src, std::size_t(w) * 2);
        }
    }
    adoptPixels(std::move(pixels), w, h, pitch);
}

namespace {

// Qt refuses to decode pictures whose pixels would take more than its
// allocation limit (256 MB by default); the largest picture a surface takes,
// 16384 x 16384 at 4 bytes a pixel, needs 1024 MB.
void allowLargestPictures() {
    static const bool done = [] {
        QImageReader::setAllocationLimit(int(std::int64_t(kMaxPictureSide) * kMaxPictureSide * 4 >> 20));
        return true;
    }();
    (void)done;
}

std::string unreadable(const std::string& fileName, const std::string& why) {
    return "Cannot open file " + fileName + ": unreadable (" + why + ")";
}

std::string notAPicture(const std::string& fileName) {
    return "Cannot load picture " + fileName + ": not a picture";
}

std::string tooLarge(const std::string& fileName, int w, int h) {
    return "Cannot load picture " + fileName + ": too large: " + std::to_string(w) + " x " + std::to_string(h) +
           " (at most " + std::to_string(kMaxPictureSide) + " x " + std::to_string(kMaxPictureSide) + ")";
}

// Opens a picture file for reading; only regular files are opened, and the
// open itself never waits, so a FIFO or a device never blocks. Returns the
// error text, empty on success.
std::string openPicture(const std::string& fileName, QFile& file) {
    std::string reason;
    const int fd = openRegularFile(fileName, O_RDONLY, Links::Follow, reason);
    if (fd < 0) return unreadable(fileName, errno != 0 ? std::strerror(errno) : "not a regular file");
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return unreadable(fileName, file.errorString().toStdString());
    }
    return {};
}

// A reader that decides the format from the file's first bytes, never from
// its name.
void setUpReader(QImageReader& reader, QIODevice& file) {
    reader.setDevice(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
}

}  // namespace

namespace {

// Checks what the reader's header says: a picture of a size a surface takes.
// Returns the error text, empty when the picture can be read.
std::string checkHeader(const std::string& fileName, QImageReader& reader, PictureProbe& probe) {
    if (!reader.canRead()) return notAPicture(fileName);
    QSize size = reader.size();
    // A top-down bitmap reports its height negative.
    if (size.height() < 0) size.setHeight(-size.height());
    if (!size.isValid() || size.width() <= 0 || size.height() <= 0) return notAPicture(fileName);
    probe.width = size.width();
    probe.height = size.height();
    if (probe.width > kMaxPictureSide || probe.height > kMaxPictureSide)
        return tooLarge(fileName, probe.width, probe.height);
    return {};
}

}  // namespace

PictureProbe probePicture(const std::string& fileName) {
    PictureProbe probe;
    QFile file;
    probe.error = openPicture(fileName, file);
    if (!probe.error.empty()) return probe;
    QImageReader reader;
    setUpReader(reader, file);
    probe.error = checkHeader(fileName, reader, probe);
    probe.readable = probe.error.empty();
    return probe;
}

namespace {

// One open and one reader: the header is checked before the pixels are decoded.
QImage decodePicture(const std::string& fileName, QIODevice& file) {
    QImageReader reader;
    setUpReader(reader, file);
    PictureProbe probe;
    const std::string error = checkHeader(fileName, reader, probe);
    if (!error.empty()) throw Error(error);
    allowLargestPictures();
    QImage image = reader.read();
    if (image.isNull()) {
        if (reader.error() == QImageReader::DeviceError)
            throw Error(unreadable(fileName, reader.errorString().toStdString()));
        throw Error(notAPicture(fileName));
    }
    if (image.width() > kMaxPictureSide || image.height() > kMaxPictureSide)
        throw Error(tooLarge(fileName, image.width(), image.height()));
    return image;
}

}  // namespace

QImage readPictureFile(const std::string& fileName) {
    QFile file;
    const std::string error = openPicture(fileName, file);
    if (!error.empty()) throw Error(error);
    return decodePicture(fileName, file);
}

QImage readPictureData(const std::string& fileName, const std::string& bytes) {
    QByteArray data = QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return decodePicture(fileName, buffer);
}

QImage readPreviewPicture(const std::string& fileName) {
    QFile file;
    if (!openPicture(fileName, file).empty()) throw Error("Cannot open file " + fileName);
    try {
        return decodePicture(fileName, file);
    } catch (const Error&) {
        throw Error("Bitmap image is not valid");
    }
}

void Surface::loadPicture(const std::string& fileName) { loadDecoded(fileName, readPictureFile(fileName)); }

void Surface::loadPictureData(const std::string& fileName, const std::string& bytes) {
    loadDecoded(fileName, readPictureData(fileName, bytes));
}

void Surface::loadDecoded(const std::string& fileName, const QImage& image) {
    try {
        loadImage(image);
    } catch (const Error&) {
        throw Error("Cannot load picture " + fileName + ": not enough memory for " + std::to_string(image.width()) +
                    " x " + std::to_string(image.height()));
    }
}

// ---------------------------------------------------------------- copies

SDL_Surface* Surface::keyedSource() {
    if (!keyed_ && surface_) {
        flushFill();
        keyed_ = SDL_CreateRGBSurfaceWithFormatFrom(buffer_.data(), surface_->w, surface_->h,
                                                    device_->bitsPerPixel(), surface_->pitch,
                                                    device_->pixelFormat());
        if (!keyed_) return nullptr;
        SDL_SetColorKey(keyed_, SDL_TRUE, key_);
        // Run-length encoding skips keyed spans without comparing each pixel;
        // it works on its own copy, so buffer_ stays readable.
        SDL_SetSurfaceRLE(keyed_, 1);
    }
    return keyed_;
}

void Surface::blit(std::int64_t x, std::int64_t y, const PixelRect64& srcRect,
                                  Surface* src, bool transparent) {
    if (!src) return;
    if (x > width() || y > height()) return;

    // Coordinates are held within +-2^60, so no step below can overflow; a
    // rectangle reaching that far lies off every surface whether held or not.
    // After the clip every coordinate lies on a surface.
    x = clampCoord(x);
    y = clampCoord(y);
    PixelRect64 S{clampCoord(srcRect.left), clampCoord(srcRect.top), clampCoord(srcRect.right),
              clampCoord(srcRect.bottom)};
    PixelRect64 Dst{x, y, x + (S.right - S.left), y + (S.bottom - S.top)};
    const PixelRect64 C(rect());
    const PixelRect64 K(src->rect());

    if (C.left > Dst.left) { S.left += C.left - Dst.left; Dst.left = C.left; }
    if (C.top > Dst.top) { S.top += C.top - Dst.top; Dst.top = C.top; }
    if (K.left > S.left) { Dst.left += K.left - S.left; S.left = K.left; }
    if (K.top > S.top) { Dst.top += K.top - S.top; S.top = K.top; }
    if (C.right < Dst.right) { S.right -= Dst.right - C.right; Dst.right = C.right; }
    if (C.bottom < Dst.bottom) { S.bottom -= Dst.bottom - C.bottom; Dst.bottom = C.bottom; }
    if (K.right < S.right) { Dst.right -= S.right - K.right; S.right = K.right; }
    if (K.bottom < S.bottom) { Dst.bottom -= S.bottom - K.bottom; S.bottom = K.bottom; }

    if (Dst.left >= Dst.right || Dst.top >= Dst.bottom || S.left >= S.right || S.top >= S.bottom)
        return;
    const PixelRect D{int(Dst.left), int(Dst.top), int(Dst.right), int(Dst.bottom)};
    const PixelRect Src{int(S.left), int(S.top), int(S.right), int(S.bottom)};
    if (!surface_ || !src->surface_) return;

    releaseCanvasIfActive();
    if (src != this) src->releaseCanvasIfActive();

    const int w = D.width(), h = D.height();
    const bool sameFormat = src->device_->pixelFormat() == device_->pixelFormat();
    src->flushFill();
    if (!transparent && sameFormat && D == C)
        fillPending_ = false;  // every pixel is about to be replaced
    else
        flushFill();

    if (!transparent && sameFormat) {
        // Opaque copy in the same format: plain row copies.
        const int bpp = device_->bitsPerPixel() / 8;
        const std::size_t rowBytes = std::size_t(w) * bpp;
        const int sp = src->surface_->pitch, dp = surface_->pitch;
        const std::uint8_t* s = src->buffer_.data() + std::size_t(Src.top) * sp + std::size_t(Src.left) * bpp;
        std::uint8_t* d = buffer_.data() + std::size_t(D.top) * dp + std::size_t(D.left) * bpp;
        if (src == this) {
            if (d > s) {  // overlapping copy downwards: walk rows from the bottom
                for (int row = h - 1; row >= 0; --row)
                    std::memmove(d + std::size_t(row) * dp, s + std::size_t(row) * sp, rowBytes);
            } else {
                for (int row = 0; row < h; ++row)
                    std::memmove(d + std::size_t(row) * dp, s + std::size_t(row) * sp, rowBytes);
            }
        } else if (Src.left == 0 && D.left == 0 && sp == dp && rowBytes == std::size_t(dp)) {
            std::memcpy(d, s, rowBytes * h);
        } else {
            for (int row = 0; row < h; ++row)
                std::memcpy(d + std::size_t(row) * dp, s + std::size_t(row) * sp, rowBytes);
        }
    } else if (transparent && sameFormat) {
        // Measured against per-row runs of shown pixels and SDL's RLE blit,
        // a vector compare-and-blend over the whole rectangle is fastest.
        const int sp = src->surface_->pitch, dp = surface_->pitch;
        const int bpp = device_->bitsPerPixel() / 8;
        std::uint8_t* d = buffer_.data() + std::size_t(D.top) * dp + std::size_t(D.left) * bpp;
        const std::uint8_t* s = src->buffer_.data() + std::size_t(Src.top) * sp + std::size_t(Src.left) * bpp;
        keyedCopy(copyPath(), d, dp, s, sp, w, h, bpp, src->key_);
    } else {
        SDL_Surface* from = transparent ? src->keyedSource() : src->surface_;
        if (!from) return;
        SDL_Rect sr{Src.left, Src.top, w, h};
        SDL_Rect dr{D.left, D.top, w, h};
        SDL_LowerBlit(from, &sr, surface_, &dr);
    }
    touch();
}

void Surface::fill(std::uint32_t pixel) {
    if (!surface_) return;
    releaseCanvasIfActive();
    fillValue_ = device_->bitsPerPixel() == 32 ? pixel & 0x00FFFFFFu : pixel & 0xFFFFu;
    fillPending_ = true;
    touch();
}

void Surface::fillRect(const PixelRect& r, std::uint32_t pixel) {
    const PixelRect c{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width()),
                      std::min(r.bottom, height())};
    if (c.empty()) return;
    if (c == rect()) {
        fill(pixel);
        return;
    }
    releaseCanvasIfActive();
    const PixelView v = pixelsForWrite();
    for (int y = c.top; y < c.bottom; ++y) {
        std::uint8_t* row = v.pixels + std::size_t(y) * v.pitch;
        if (v.bytesPerPixel == 4)
            std::fill_n(reinterpret_cast<std::uint32_t*>(row) + c.left, c.width(), pixel & 0x00FFFFFFu);
        else
            std::fill_n(reinterpret_cast<std::uint16_t*>(row) + c.left, c.width(), std::uint16_t(pixel));
    }
    touch();
}

void Surface::flushFill() const {
    if (!fillPending_) return;
    fillPending_ = false;
    auto* data = const_cast<std::uint8_t*>(buffer_.data());
    const std::uint32_t pixel = fillValue_;
    if (device_->bitsPerPixel() == 32) {
        if (pixel == 0)
            std::memset(data, 0, buffer_.size());
        else
            std::fill_n(reinterpret_cast<std::uint32_t*>(data), buffer_.size() / 4, pixel);
    } else {
        const auto v = static_cast<std::uint16_t>(pixel);
        if ((v & 0xFF) == (v >> 8))
            std::memset(data, v & 0xFF, buffer_.size());
        else
            std::fill_n(reinterpret_cast<std::uint16_t*>(data), buffer_.size() / 2, v);
    }
}

std::uint32_t Surface::pixelAt(int x, int y) const {
    if (!surface_ || x < 0 || y < 0 || x >= surface_->w || y >= surface_->h) return 0;
    if (fillPending_) return fillValue_;
    const std::uint8_t* row = buffer_.data() + std::size_t(y) * surface_->pitch;
    if (device_->bitsPerPixel() == 32) {
        std::uint32_t v;
        std::memcpy(&v, row + std::size_t(x) * 4, 4);
        return v & 0x00FFFFFFu;
    }
    std::uint16_t v;
    std::memcpy(&v, row + std::size_t(x) * 2, 2);
    return v;
}

void Surface::setColorKey(std::uint32_t pixel) {
    pixel &= device_->bitsPerPixel() == 32 ? 0x00FFFFFFu : 0xFFFFu;
    if (pixel == key_) return;
    key_ = pixel;
    touch();  // the encoded copy depends on the key
}

PixelView Surface::pixels() const {
    if (!surface_) return {};
    flushFill();
    return PixelView{const_cast<std::uint8_t*>(buffer_.data()), surface_->pitch,
                     device_->bitsPerPixel() / 8, surface_->w, surface_->h};
}

PixelView Surface::pixelsForWrite() {
    touch();
    return pixels();
}

}  // namespace slv
