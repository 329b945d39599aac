// Writing and reading the files a test works on: exact bytes, or bytes
// made from a seed.
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

// Creates (or truncates) `path` with exactly these bytes, making its folders.
inline void writeFile(const std::string& path, std::string_view bytes) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder);
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

// Writes `size` bytes that depend on `seed` and returns them.
inline std::string writeBytes(const std::string& path, std::size_t size, unsigned seed) {
    std::string data(size, '\0');
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& c : data) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    writeFile(path, data);
    return data;
}

inline void put32(std::string& b, std::size_t at, std::int32_t v) { std::memcpy(&b[at], &v, 4); }
inline std::int32_t get32(const std::string& b, std::size_t at) {
    std::int32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

}  // namespace slvtest
