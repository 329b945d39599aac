#include "pictureinfo.h"

#include <cstdint>
#include <cstdlib>

namespace slv {

namespace {

std::uint32_t le(std::string_view b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

std::uint32_t be32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

}  // namespace

std::optional<PictureSize> pictureSize(std::string_view head) {
    if (looksLikeBmp(head) && head.size() >= 18) {
        const std::uint32_t dib = le(head, 14, 4);
        std::int64_t w = 0, h = 0;
        if (dib == 12 && head.size() >= 22) {  // BITMAPCOREHEADER: 16-bit sizes
            w = le(head, 18, 2);
            h = le(head, 20, 2);
        } else if (dib >= 40 && head.size() >= 26) {
            w = static_cast<std::int32_t>(le(head, 18, 4));
            h = static_cast<std::int32_t>(le(head, 22, 4));
            h = std::llabs(h);  // negative: rows stored top-down
        }
        if (w > 0 && h > 0 && w <= INT32_MAX && h <= INT32_MAX)
            return PictureSize{static_cast<int>(w), static_cast<int>(h)};
        return std::nullopt;
    }
    static constexpr char kPng[] = "\x89PNG\r\n\x1a\n";
    if (head.size() >= 24 && head.substr(0, 8) == std::string_view(kPng, 8) && head.substr(12, 4) == "IHDR") {
        const std::uint32_t w = be32(head, 16), h = be32(head, 20);
        if (w > 0 && h > 0 && w <= INT32_MAX && h <= INT32_MAX)
            return PictureSize{static_cast<int>(w), static_cast<int>(h)};
    }
    return std::nullopt;
}

std::optional<PictureLayout> pictureLayout(std::string_view head) {
    const std::optional<PictureSize> size = pictureSize(head);
    if (!size) return std::nullopt;
    PictureLayout layout{size->width, size->height, -1};
    if (!looksLikeBmp(head)) return layout;
    const std::uint32_t dib = le(head, 14, 4);
    std::uint32_t bits = 0;
    if (dib == 12 && head.size() >= 26) {
        bits = le(head, 24, 2);
    } else if (dib >= 40 && head.size() >= 34) {
        const std::uint32_t compression = le(head, 30, 4);
        if (compression != 0 && compression != 3 && compression != 6) return layout;  // run-length or embedded
        bits = le(head, 28, 2);
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return layout;
    const std::int64_t stride = (std::int64_t{layout.width} * bits + 31) / 32 * 4;
    layout.pixelEnd = std::int64_t{le(head, 10, 4)} + stride * layout.height;
    return layout;
}

}  // namespace slv
