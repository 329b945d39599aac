// The size of a picture, read from the first bytes of its file.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace slv {

struct PictureSize {
    int width = 0;
    int height = 0;
};

// Bytes of a file's start that pictureSize needs.
constexpr std::size_t kPictureHeadBytes = 26;

// Width and height from the start of a BMP (any DIB header) or PNG file;
// nothing when the bytes are neither or give no positive size.
std::optional<PictureSize> pictureSize(std::string_view head);

// True when the bytes begin like a BMP file.
inline bool looksLikeBmp(std::string_view head) { return head.size() >= 2 && head[0] == 'B' && head[1] == 'M'; }

}  // namespace slv
