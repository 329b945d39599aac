// Frame-count detection for sprite strips.
//
// A sprite bitmap holds its frames side by side, all equally wide, and every
// frame leaves its left edge column transparent. The detector tries frame
// counts from the largest plausible one down and takes the first count for
// which the left edge columns of all frames are (nearly) transparent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace slv {

// Largest frame count the detector considers (frames at least W/36 wide).
constexpr int kMaxDetectedFrames = 36;
// A candidate is refused once this many opaque pixels lie in its edge columns.
constexpr int kOpaqueLimit = 40;

// Detects the number of frames in a strip held as raw pixels.
//   pixels        first byte of row 0
//   pitch         bytes from one row to the next (at least width*bytesPerPixel)
//   bytesPerPixel 2 (16-bit 5-6-5 values) or 4 (32-bit values whose low
//                 24 bits are the colour; the top byte is ignored)
//   colorKey      the transparent value in the same format
// For each candidate n, the pixels that differ from `colorKey` are counted in
// the columns 0, W/n, 2W/n, ... over all rows; the first candidate with fewer
// than 40 such pixels is the result, 1 when none qualifies.
// Throws slv::Error for a pixel size other than 2 or 4, a missing buffer or a
// pitch too small for the width.
int detectFrameCount(const std::uint8_t* pixels, int pitch, int bytesPerPixel, int width, int height,
               std::uint32_t colorKey);

// Frame detection straight from a bitmap file, without loading a picture:
// the pixel rows of an uncompressed BMP (24 or 32 bits per pixel, or 8 with
// a palette; bottom-up or top-down) are read into a buffer kept for the next
// call, and only the pixels the detector looks at are converted to the
// display's format (`bytesPerPixel` 4: 0x00RRGGBB, 2: 5-6-5, as pictures are
// loaded onto surfaces) and compared with `colorKey`. The count is the one
// detectFrameCount gives for the same picture loaded onto a surface.
// Returns 0 for a file this path does not read (another format, compressed,
// short or unreadable): load it the general way then.
int detectFrameCountFromFile(const std::string& path, int bytesPerPixel, std::uint32_t colorKey);

}  // namespace slv
