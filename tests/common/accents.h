// Accented text for the tests of names: letters that take two bytes in
// UTF-8 and one in Windows-1252.
#pragma once

#include <string>

inline const std::string kE = "\xC3\xA9";  // e acute in UTF-8

// `s` written `n` times over.
inline std::string times(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}
