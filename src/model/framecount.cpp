#include "framecount.h"

#include <cstring>

#include "errors.h"

namespace slv {

std::vector<int> frameCandidates(int width) {
    std::vector<int> out;
    for (int b = 1; b < width; ++b)
        if (width % b == 0 && width / b <= kMaxDetectedFrames) out.push_back(width / b);
    return out;
}

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

template <typename Pixel>
int detect(const std::uint8_t* pixels, int pitch, int width, int height, Pixel key, Pixel mask) {
    // Each column is counted at most once: the candidates share many edge
    // columns (column 0 always, and every column of a count is a column of
    // the counts it divides). -1 marks a column not counted yet.
    std::vector<int> column(static_cast<std::size_t>(width), -1);
    for (int b = 1; b < width; ++b) {
        if (width % b != 0 || width / b > kMaxDetectedFrames) continue;
        int total = 0;
        for (int x = 0; x < width && total < kOpaqueLimit; x += b) {
            int& c = column[static_cast<std::size_t>(x)];
            if (c < 0) c = countColumn<Pixel>(pixels, pitch, height, x, key, mask, kOpaqueLimit);
            total += c;
        }
        if (total < kOpaqueLimit) return width / b;
    }
    return 1;
}

}  // namespace

int calctotpos(const std::uint8_t* pixels, int pitch, int bytesPerPixel, int width, int height,
               std::uint32_t colorkey) {
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
                                     static_cast<std::uint16_t>(colorkey & 0xFFFFu), 0xFFFFu);
    return detect<std::uint32_t>(pixels, pitch, width, height, colorkey & 0xFFFFFFu, 0xFFFFFFu);
}

}  // namespace slv
