// A level package written byte by byte, without the checks of Save: for
// packages as other or older editors wrote them.
#pragma once

#include <string>
#include <vector>

#include "common/files.h"
#include "model/level.h"
#include "package/format.h"
#include "package/levelio.h"

namespace slvtest {

// Builds `pkg`: the header and the four tables of `l`, then the bitmap files
// of `bitmaps` one after the other.
inline void buildByHand(const slv::Level& l, const slv::Level& bitmaps, const std::string& pkg) {
    const std::vector<slv::PackEntry> header = slv::headerEntries(bitmaps);  // entries name the bitmaps below
    std::string bytes(reinterpret_cast<const char*>(header.data()), header.size() * sizeof(slv::PackEntry));
    const slv::PackageTables t = slv::tablesOf(l);
    bytes.append(reinterpret_cast<const char*>(t.sectors.data()), slv::kSectorsFileBytes);
    bytes.append(reinterpret_cast<const char*>(t.sprites.data()), slv::kSpritesBytes);
    bytes.append(reinterpret_cast<const char*>(t.images.data()), slv::kImagesBytes);
    bytes.append(reinterpret_cast<const char*>(t.stages.data()), slv::kStagesBytes);
    for (int i = 1; i <= bitmaps.imageCount; ++i) bytes += readFile(bitmaps.image(i).path.str());
    for (int s = 1; s <= bitmaps.stageCount; ++s) bytes += readFile(bitmaps.stage(s).path.str());
    writeFile(pkg, bytes);
}

}  // namespace slvtest
