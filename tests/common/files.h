// Writing and reading the files a test works on: exact bytes, bytes made
// from a seed, and small 24-bit bitmaps.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

namespace slvtest {

// Creates (or truncates) `path` with exactly these bytes.
inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    f.close();
    if (!f) throw std::runtime_error("cannot write " + path);
}
inline void writeFile(const std::string& path, const void* data, std::size_t n) {
    writeFile(path, std::string_view(static_cast<const char*>(data), n));
}

// The whole file; empty when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Writes `size` bytes that depend on `seed` (parent folders made) and returns them.
inline std::string writeBytes(const std::string& path, std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& c : data) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    writeFile(path, data);
    return data;
}

inline void put32(std::string& b, std::size_t at, std::int32_t v) { std::memcpy(&b[at], &v, 4); }
inline std::int32_t get32(const std::string& b, std::size_t at) {
    std::int32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

// A bottom-up 24-bit bitmap of w x h pixels; pixel(x, y) gives 0xRRGGBB
// (y counted from the top).
template <class PixelOf>
std::string bmpBytesOf(int w, int h, PixelOf pixel) {
    const int row = (w * 3 + 3) / 4 * 4;
    std::string out(54 + static_cast<std::size_t>(row) * h, '\0');
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, static_cast<std::int32_t>(out.size()));
    put32(out, 10, 54);
    put32(out, 14, 40);
    put32(out, 18, w);
    put32(out, 22, h);
    out[26] = 1;
    out[28] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = pixel(x, h - 1 - y);
            std::size_t at = 54 + static_cast<std::size_t>(y) * row + static_cast<std::size_t>(x) * 3;
            out[at] = static_cast<char>(c & 0xFF);
            out[at + 1] = static_cast<char>((c >> 8) & 0xFF);
            out[at + 2] = static_cast<char>((c >> 16) & 0xFF);
        }
    return out;
}

// A w x h bitmap of one colour, magenta unless told.
inline std::string bmpBytes(int w, int h, int r = 255, int g = 0, int b = 255) {
    const std::uint32_t c = static_cast<std::uint32_t>(r << 16 | g << 8 | b);
    return bmpBytesOf(w, h, [c](int, int) { return c; });
}

}  // namespace slvtest
