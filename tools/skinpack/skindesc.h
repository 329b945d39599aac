// The text description of an actor skin package and the builder that turns it
// and a folder of skin bitmaps into a .skn file (see docs/skin-package.md).
#pragma once

#include <string>
#include <vector>

#include "package/skinpackage.h"

namespace slv {

struct SkinLine {
    int line = 0;           // line of the description
    std::string label;      // how commands and "start" name the skin
    std::string bitmap;     // file name in the bitmap folder; also the skin's name
    int w = 0, h = 0, frames = 0;
    bool oneShot = false;
};

struct CommandLine {
    int line = 0;
    int from = 0, to = 0, back = 0;  // skin numbers, 1-based
    std::vector<int> keys;           // virtual-key codes, at most three
};

struct SkinDescription {
    std::string packageName;
    int firstSkin = 0;
    std::vector<SkinLine> skins;
    std::vector<CommandLine> commands;
};

// Parses a description. `source` names it in messages ("test-skin.txt:12: ...").
SkinDescription parseSkinDescription(const std::string& text, const std::string& source);

// The width and height of a .bmp file's picture; throws slv::Error when the
// bytes are not a bitmap.
struct BitmapSize {
    int width = 0, height = 0;
};
BitmapSize bitmapSize(const std::string& bytes);

// The three tables a description gives, checked as the reader checks them.
SkinTables skinTablesFor(const SkinDescription& d);

// The whole package: header, tables and the bitmaps read from `bitmapDir`,
// each bitmap checked against its skin's frame size and count.
std::string buildSkinPackage(const SkinDescription& d, const std::string& bitmapDir,
                             const std::string& source);

}  // namespace slv
