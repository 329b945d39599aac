#include "framecount.h"
#include "fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "errors.h"

namespace slv {

namespace {

// Opaque pixels of one column, counted up to `limit`.
template <typename Pixel>
int countColumn(const std::uint8_t* pixels, int pitch, int height, int x, Pixel key, Pixel mask,
                int limit) {
    int n = 0;
    const std::uint8_t* p = pixels + static_cast<std::size_t>(x) * sizeof(Pixel);
    for (int y = 0; y < height; ++y, p += pitch) {
        Pixel v;
        std::memcpy(&v, p, sizeof v);
        if ((v & mask) != key && ++n >= limit) break;
    }
    return n;
}

// Tries the candidates from the most frames down; `countColumn(x, limit)`
// gives the opaque pixels of column x, counted up to `limit`.
template <typename CountColumn>
int detectColumns(int width, CountColumn countColumn) {
    // Each column is counted at most once: the candidates share many edge
    // columns (column 0 always, and every column of a count is a column of
    // the counts it divides). -1 marks a column not counted yet.
    std::vector<int> column(static_cast<std::size_t>(width), -1);
    for (int b = 1; b < width; ++b) {
        if (width % b != 0 || width / b > kMaxDetectedFrames) continue;
        int total = 0;
        for (int x = 0; x < width && total < kOpaqueLimit; x += b) {
            int& c = column[static_cast<std::size_t>(x)];
            if (c < 0) c = countColumn(x, kOpaqueLimit);
            total += c;
        }
        if (total < kOpaqueLimit) return width / b;
    }
    return 1;
}

template <typename Pixel>
int detect(const std::uint8_t* pixels, int pitch, int width, int height, Pixel key, Pixel mask) {
    return detectColumns(width, [&](int x, int limit) {
        return countColumn<Pixel>(pixels, pitch, height, x, key, mask, limit);
    });
}

}  // namespace

int detectFrameCount(const std::uint8_t* pixels, int pitch, int bytesPerPixel, int width, int height,
               std::uint32_t colorKey) {
    if (bytesPerPixel != 2 && bytesPerPixel != 4)
        throw Error("Unsupported pixel format: " + std::to_string(bytesPerPixel * 8) +
                    " bits per pixel");
    if (width < 2 || height < 1) return 1;
    if (pixels == nullptr) throw Error("No pixels to analyse");
    if (pitch < width * bytesPerPixel)
        throw Error("Row pitch " + std::to_string(pitch) + " is too small for " +
                    std::to_string(width) + " pixels");
    if (bytesPerPixel == 2)
        return detect<std::uint16_t>(pixels, pitch, width, height,
                                     static_cast<std::uint16_t>(colorKey & 0xFFFFu), 0xFFFFu);
    return detect<std::uint32_t>(pixels, pitch, width, height, colorKey & 0xFFFFFFu, 0xFFFFFFu);
}

namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

// A colour 0x00RRGGBB in the display's format, as a picture is converted
// when it is loaded onto a surface (5-6-5 keeps the high bits).
std::uint32_t toDisplay(std::uint32_t rgb, int bytesPerPixel) {
    if (bytesPerPixel == 4) return rgb & 0xFFFFFFu;
    return ((rgb >> 8) & 0xF800u) | ((rgb >> 5) & 0x07E0u) | ((rgb >> 3) & 0x001Fu);
}

// Closes a file descriptor on every way out.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

bool readAt(int fd, void* buf, std::size_t n, off_t at) {
    auto* p = static_cast<std::uint8_t*>(buf);
    while (n > 0) {
        const ssize_t got = ::pread(fd, p, n, at);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            return false;
        }
        p += got;
        n -= static_cast<std::size_t>(got);
        at += got;
    }
    return true;
}

}  // namespace

int detectFrameCountFromFile(const std::string& path, int bytesPerPixel, std::uint32_t colorKey) {
    if (bytesPerPixel != 2 && bytesPerPixel != 4) return 0;
    // A FIFO or device is refused without waiting for it.
    std::string refused;
    Fd file{openRegularFile(path, O_RDONLY, Links::Follow, refused)};
    if (file.fd < 0) return 0;
    struct stat st;
    if (::fstat(file.fd, &st) != 0) return 0;
    // File header (14 bytes), an info header of 40 bytes or more, and for
    // 8 bits the palette that follows it.
    std::uint8_t head[14 + 40 + 1024];
    const std::size_t headSize = std::min<std::size_t>(sizeof head, static_cast<std::size_t>(st.st_size));
    if (headSize < 54 || !readAt(file.fd, head, headSize, 0)) return 0;
    if (head[0] != 'B' || head[1] != 'M') return 0;
    const std::uint32_t dataOffset = le32(head + 10);
    const std::uint32_t infoSize = le32(head + 14);
    const std::int32_t width = static_cast<std::int32_t>(le32(head + 18));
    const std::int32_t rawHeight = static_cast<std::int32_t>(le32(head + 22));
    const int bits = le16(head + 28);
    const std::uint32_t compression = le32(head + 30);
    if (infoSize < 40 || infoSize > 124 || le16(head + 26) != 1 || compression != 0) return 0;
    // Newer headers carry colour masks a 32-bit picture may be read with.
    if (bits == 32 && infoSize != 40) return 0;
    if (bits != 24 && bits != 32 && bits != 8) return 0;
    if (width <= 0 || width > 65535 || rawHeight == 0 || rawHeight < -65535 || rawHeight > 65535)
        return 0;
    const bool topDown = rawHeight < 0;
    const int height = topDown ? -rawHeight : rawHeight;

    std::uint32_t palette[256] = {};
    if (bits == 8) {
        std::uint32_t colours = le32(head + 46);
        if (colours == 0) colours = 256;
        if (colours > 256) return 0;
        const std::size_t at = 14 + infoSize;
        if (at + colours * 4 > headSize || at + colours * 4 > dataOffset) return 0;
        for (std::uint32_t i = 0; i < colours; ++i) {
            const std::uint8_t* q = head + at + i * 4;
            palette[i] = toDisplay(std::uint32_t(q[2]) << 16 | std::uint32_t(q[1]) << 8 | q[0],
                                   bytesPerPixel);
        }
    }
    const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    const std::size_t bytes = stride * static_cast<std::size_t>(height);
    if (dataOffset < 54 || static_cast<std::uint64_t>(dataOffset) + bytes > static_cast<std::uint64_t>(st.st_size))
        return 0;
    // The rows of ordinary strips stay in a buffer kept from call to call: a
    // fresh one would cost more in page faults than reading the file. A huge
    // picture gets a buffer of its own, so that it is not kept.
    constexpr std::size_t kKeptBytes = std::size_t(4) << 20;
    static thread_local std::vector<std::uint8_t> kept;
    std::vector<std::uint8_t> own;
    std::vector<std::uint8_t>& rows = bytes <= kKeptBytes ? kept : own;
    if (rows.size() < bytes) rows.resize(bytes);
    if (!readAt(file.fd, rows.data(), bytes, static_cast<off_t>(dataOffset))) return 0;

    if (width < 2) return 1;
    const std::uint32_t key = bytesPerPixel == 4 ? colorKey & 0xFFFFFFu : colorKey & 0xFFFFu;
    const std::uint8_t* first = rows.data() + (topDown ? 0 : stride * static_cast<std::size_t>(height - 1));
    const std::ptrdiff_t step = topDown ? static_cast<std::ptrdiff_t>(stride) : -static_cast<std::ptrdiff_t>(stride);
    const int pixelBytes = bits / 8;
    return detectColumns(width, [&](int x, int limit) {
        int n = 0;
        const std::uint8_t* p = first + static_cast<std::size_t>(x) * pixelBytes;
        for (int y = 0; y < height; ++y, p += step) {
            const std::uint32_t v =
                bits == 8 ? palette[*p]
                          : toDisplay(std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0], bytesPerPixel);
            if (v != key && ++n >= limit) break;
        }
        return n;
    });
}

}  // namespace slv
