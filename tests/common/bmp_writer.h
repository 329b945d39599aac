// Writes small uncompressed BMP files of a chosen layout: 24 or 32 bits per
// pixel, or 8 with a palette of the colours used; bottom-up or top-down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct BmpLayout {
    int width = 0;
    int height = 0;
    int bits = 24;          // 8, 24 or 32
    bool topDown = false;   // rows stored from the top (negative height)
};

// The 54-byte file and info header of an uncompressed BMP of `width` x
// `height` pixels (a negative height stores the rows from the top) with
// `colours` palette entries; the palette and the pixel rows follow it.
inline std::string bmpHeader(int width, int height, int bits = 24, std::size_t colours = 0) {
    const std::size_t stride = (static_cast<std::size_t>(width < 0 ? -width : width) * bits + 31) / 32 * 4;
    const std::size_t pixels = stride * static_cast<std::size_t>(height < 0 ? -height : height);
    const std::size_t offset = 54 + colours * 4;
    std::string out(54, '\0');
    auto put = [&out](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) out[at + i] = static_cast<char>(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put(2, static_cast<std::uint32_t>(offset + pixels), 4);
    put(10, static_cast<std::uint32_t>(offset), 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(width), 4);
    put(22, static_cast<std::uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, static_cast<std::uint32_t>(bits), 2);
    put(34, static_cast<std::uint32_t>(pixels), 4);
    put(46, static_cast<std::uint32_t>(colours), 4);
    return out;
}

// The bytes of a BMP whose pixel (x, y) has colour rgb(x, y) = 0xRRGGBB.
inline std::string bmpBytes(const BmpLayout& l, const std::function<std::uint32_t(int, int)>& rgb) {
    std::map<std::uint32_t, int> palette;
    if (l.bits == 8) {
        for (int y = 0; y < l.height; ++y)
            for (int x = 0; x < l.width; ++x) palette.emplace(rgb(x, y), 0);
        int i = 0;
        for (auto& [colour, index] : palette) index = i++;
    }
    const std::size_t stride = (static_cast<std::size_t>(l.width) * l.bits + 31) / 32 * 4;
    const std::size_t offset = 54 + palette.size() * 4;
    std::string out = bmpHeader(l.width, l.topDown ? -l.height : l.height, l.bits, palette.size());
    out.resize(offset + stride * static_cast<std::size_t>(l.height), '\0');
    for (auto& [colour, index] : palette)
        for (int i = 0; i < 4; ++i) out[54 + static_cast<std::size_t>(index) * 4 + i] = static_cast<char>(colour >> (8 * i));
    for (int y = 0; y < l.height; ++y) {
        const int row = l.topDown ? y : l.height - 1 - y;
        char* p = out.data() + offset + stride * static_cast<std::size_t>(row);
        for (int x = 0; x < l.width; ++x) {
            const std::uint32_t c = rgb(x, y);
            if (l.bits == 8) {
                p[x] = static_cast<char>(palette[c]);
            } else {
                const int n = l.bits / 8;
                p[x * n] = static_cast<char>(c);
                p[x * n + 1] = static_cast<char>(c >> 8);
                p[x * n + 2] = static_cast<char>(c >> 16);
                if (n == 4) p[x * n + 3] = static_cast<char>(0xFF);
            }
        }
        // Row padding is filled, so that a reader taking it for pixels shows.
        for (std::size_t b = static_cast<std::size_t>(l.width) * l.bits / 8; b < stride; ++b) p[b] = '\x5a';
    }
    return out;
}

inline bool writeBmp(const std::string& path, const BmpLayout& l,
                     const std::function<std::uint32_t(int, int)>& rgb) {
    std::ofstream f(path, std::ios::binary);
    const std::string bytes = bmpBytes(l, rgb);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}
