#include "names.h"

#include <cstdint>

#include "errors.h"

namespace slv {

namespace {

// Code points of the bytes 0x80..0x9F; the rest of the page equals Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The byte of a code point, or -1 when the code page has none.
int byteOf(std::uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == cp) return 0x80 + i;
    return -1;
}

// Decodes one UTF-8 character at `i`; returns false on a malformed sequence.
bool nextCodePoint(std::string_view s, std::size_t& i, std::uint32_t& cp) {
    auto b = static_cast<unsigned char>(s[i]);
    int more = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (more < 0 || s.size() - i <= static_cast<std::size_t>(more)) return false;
    cp = more == 0 ? b : b & (0x3F >> more);
    for (int k = 1; k <= more; ++k) {
        auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((c & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (c & 0x3F);
    }
    i += static_cast<std::size_t>(more) + 1;
    return true;
}

template <class OnBad>
bool encode(std::string_view utf8, std::string& out, OnBad onBad) {
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t cp = 0;
        if (!nextCodePoint(utf8, i, cp)) {
            if (!onBad(out)) return false;
            ++i;
            continue;
        }
        int b = byteOf(cp);
        if (b < 0) {
            if (!onBad(out)) return false;
            continue;
        }
        out += static_cast<char>(b);
    }
    return true;
}

}  // namespace

std::string fromWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80) out += c;
        else appendUtf8(out, b < 0xA0 ? kHigh[b - 0x80] : b);
    }
    return out;
}

namespace {

bool undefinedByte(unsigned char b) { return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D; }

}  // namespace

std::string fileNameFromWindows1252(std::string_view bytes) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (!undefinedByte(b)) continue;
        out += fromWindows1252(bytes.substr(from, i - from));
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += '%';
        out += kHex[b >> 4];
        out += kHex[b & 15];
        from = i + 1;
    }
    out += fromWindows1252(bytes.substr(from));
    return out;
}

std::optional<std::string> toWindows1252(std::string_view utf8) {
    std::string out;
    if (!encode(utf8, out, [](std::string&) { return false; })) return std::nullopt;
    return out;
}

std::string toWindows1252Lossy(std::string_view utf8) {
    std::string out;
    encode(utf8, out, [](std::string& o) {
        o += '?';
        return true;
    });
    return out;
}

void checkPortableName(const std::string& fileName) {
    if (!toWindows1252(fileName))
        throw Error("The file name \"" + fileName +
                    "\" cannot be stored in a level package: it holds characters outside Windows-1252");
}

std::string pathForPackage(std::string_view path) {
    std::string out = toWindows1252Lossy(path);
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::string pathFromPackage(std::string_view stored) {
    std::string out = fromWindows1252(stored);
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

}  // namespace slv
