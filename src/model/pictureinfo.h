// The size of a picture, read from the first bytes of its file.
#pragma once

#include <cstddef>
#include <cstdint>
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

// What a picture's first bytes declare: its size and, for an uncompressed
// BMP, where its pixel rows end in the file (-1 when the format does not
// tell: a compressed BMP or a PNG).
struct PictureLayout {
    int width = 0;
    int height = 0;
    std::int64_t pixelEnd = -1;
};

// Bytes of a file's start that pictureLayout needs.
constexpr std::size_t kPictureLayoutBytes = 34;

// The layout of a BMP or PNG picture; nothing as for pictureSize.
std::optional<PictureLayout> pictureLayout(std::string_view head);

// True when the bytes begin like a BMP file.
inline bool looksLikeBmp(std::string_view head) { return head.size() >= 2 && head[0] == 'B' && head[1] == 'M'; }

}  // namespace slv
