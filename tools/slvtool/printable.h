// Text made safe for a terminal: names from a package may hold bytes that a
// terminal takes as commands.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace slvtool {

// UTF-8 text with every control character (U+0000..U+001F, U+007F and
// U+0080..U+009F) and every byte that is not part of valid UTF-8 written as
// "\xHH" (the character's code, or the byte); everything else unchanged.
inline std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto escape = [&out](unsigned v) {
        char b[5];
        std::snprintf(b, sizeof b, "\\x%02x", v);
        out += b;
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            escape(c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        bool valid = len != 0 && i + len <= text.size() && c != 0xC0 && c != 0xC1;
        for (std::size_t k = 1; valid && k < len; ++k) valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (!valid) {
            escape(c);
            ++i;
            continue;
        }
        if (len == 2) {
            const unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            if (cp < 0xA0) {
                escape(cp);
                i += 2;
                continue;
            }
        }
        out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

}  // namespace slvtool
