// Shared helpers of the skin package tests: scratch folders, small bitmaps
// and packages built from a description.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <stdlib.h>

#include "model/records.h"

namespace skintest {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "slvskinXXXXXX").string();
        char* made = ::mkdtemp(tmpl.data());
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void put32(std::string& b, std::size_t at, std::int32_t v) { std::memcpy(&b[at], &v, 4); }
inline std::int32_t get32(const std::string& b, std::size_t at) {
    std::int32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

// A 24-bit bitmap of w x h pixels, every pixel (r, g, b).
inline std::string bmpBytes(int w, int h, int r = 255, int g = 0, int b = 255) {
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
            std::size_t at = 54 + static_cast<std::size_t>(y) * row + static_cast<std::size_t>(x) * 3;
            out[at] = static_cast<char>(b);
            out[at + 1] = static_cast<char>(g);
            out[at + 2] = static_cast<char>(r);
        }
    return out;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline slv::PackEntry entryAt(const std::string& pkg, int i) {
    slv::PackEntry e;
    std::memcpy(&e, pkg.data() + 64 * i, 64);
    return e;
}
inline void setEntry(std::string& pkg, int i, const slv::PackEntry& e) {
    std::memcpy(pkg.data() + 64 * i, &e, 64);
}

}  // namespace skintest
