// Names as a level package stores them: 8-bit Windows-1252 characters in
// entry names and record name fields, backslashes in path fields. In memory
// and on this system's disks every name is UTF-8 with '/' separators.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace slv {

// Windows-1252 bytes as UTF-8. Every byte has a character (the five bytes the
// code page leaves undefined become the control characters U+0081, U+008D,
// U+008F, U+0090 and U+009D), so the conversion never fails and is undone
// exactly by toWindows1252.
std::string fromWindows1252(std::string_view bytes);

// The same for a file name the editor creates: the five undefined bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) would be control characters on disk and
// become the visible "%81", "%8D", "%8F", "%90" and "%9D" instead. Open
// keeps each member's entry name, so the next Save stores the bytes again.
std::string fileNameFromWindows1252(std::string_view bytes);

// UTF-8 as Windows-1252; nothing when the text is not valid UTF-8 or holds a
// character the code page does not have.
std::optional<std::string> toWindows1252(std::string_view utf8);

// The same, with '?' for every character that cannot be written.
std::string toWindows1252Lossy(std::string_view utf8);

// Throws slv::Error naming `fileName` unless a level package can store it
// (every character in Windows-1252). The editor calls it before a picture is
// added or replaced.
void checkPortableName(const std::string& fileName);

// A path field as a package stores it: Windows-1252, '/' turned into '\'.
std::string pathForPackage(std::string_view path);
// A path field read from a package: UTF-8, '\' turned into '/'.
std::string pathFromPackage(std::string_view stored);

}  // namespace slv
