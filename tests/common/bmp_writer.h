// Writes small uncompressed BMP files of a chosen layout: 24 or 32 bits per
// pixel, or 8 with a palette of the colours used; bottom-up or top-down.
#pragma once

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
    const std::size_t paletteBytes = palette.size() * 4;
    const std::size_t offset = 54 + paletteBytes;
    std::string out(offset + stride * static_cast<std::size_t>(l.height), '\0');
    auto put32 = [&out](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i));
    };
    auto put16 = [&out](std::size_t at, std::uint32_t v) {
        out[at] = static_cast<char>(v);
        out[at + 1] = static_cast<char>(v >> 8);
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, static_cast<std::uint32_t>(out.size()));
    put32(10, static_cast<std::uint32_t>(offset));
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(l.width));
    put32(22, static_cast<std::uint32_t>(l.topDown ? -l.height : l.height));
    put16(26, 1);
    put16(28, static_cast<std::uint32_t>(l.bits));
    put32(34, static_cast<std::uint32_t>(stride * l.height));
    put32(46, static_cast<std::uint32_t>(palette.size()));
    for (auto& [colour, index] : palette) put32(54 + static_cast<std::size_t>(index) * 4, colour);
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
