// What a picture file is, told from its first bytes: the format its content
// shows (whatever its name says) and, for BMP and PNG, its width. Stages and
// sprites take BMP pictures only, because a package's readers choose their
// loader by the ".bmp" of the entry name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace slv {

// Bytes of a file's start that pictureFormatOf and pictureWidthOf need.
constexpr std::size_t kPictureProbeBytes = 32;

// The format the bytes begin with: "BMP", "PNG", "JPEG", "GIF", "TIFF",
// "WebP", "ICO", "PNM", "XPM", "XBM" or "SVG"; "" when none of these.
std::string pictureFormatOf(std::string_view head);

// The width in pixels of a BMP or PNG picture from its first bytes; 0 when
// the bytes do not give one.
int pictureWidthOf(std::string_view head);

// The first kPictureProbeBytes bytes of a file (fewer for a short file);
// "" when it cannot be read.
std::string pictureHead(const std::string& path);

// Throws slv::Error when the file at `path` holds a picture of another
// known format than BMP: "\"x.bmp\" is a PNG picture; a level takes BMP
// pictures only". A file that cannot be read or shows no known format
// passes: loading it reports the fault.
void checkBmpPicture(const std::string& path);

}  // namespace slv
