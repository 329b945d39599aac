// The package format shared by level packages (.slv) and actor skin
// packages (.skn): a header of 64-byte entries, then the members.
//
// A level package holds, in entry order: the four fixed members (whole-table
// images of the sector, sprite, image and stage tables), the image group
// (one entry per image slot 1..imageCount, named "\sprites\NAME") and the stage
// group (one entry per stage 1..stageCount, named "\backpx\NAME"). The last
// entry of each non-empty group carries the last-in-group flag. Entry starts
// count from the beginning of the data area, which follows the header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/level.h"

namespace slv {

constexpr int kEntryBytes = 64;
constexpr int kFixedEntries = 4;
constexpr int kMaxEntries = kFixedEntries + kMaxImages + kMaxStages;  // 3034

// The fixed members: names, starts and sizes never change.
constexpr std::int32_t kSectorsStart = 0;
constexpr std::int32_t kSpritesStart = kSectorsStart + kSectorsFileBytes;  // 120000
constexpr std::int32_t kImagesStart = kSpritesStart + kSpritesBytes;       // 300000
constexpr std::int32_t kStagesStart = kImagesStart + kImagesBytes;         // 1176000
constexpr std::int32_t kFirstBitmapStart = kStagesStart + kStagesBytes;    // 1185052

extern const char* const kSectorsMember;  // "\_sectors.tmp"
extern const char* const kSpritesMember;  // "\_sprites.tmp"
extern const char* const kImagesMember;   // "\_images.tmp"
extern const char* const kStagesMember;   // "\_stages.tmp"
extern const char* const kImagePrefix;    // "\sprites\"
extern const char* const kStagePrefix;    // "\backpx\"

// One header entry with its text fields filled and every other byte zero.
PackEntry makeEntry(std::string_view name, std::int32_t start, std::int32_t size, bool flag);

// Cuts stored (8-bit) text to at most `max` bytes.
std::string rawCut(std::string_view bytes, std::size_t max);

// Entry name of a stage in package form: "\backpx\" + its name (at most 28).
std::string stageEntryName(const StageRec& rec);

// The complete header Save writes for the level (E = 4 + the images in use
// + stageCount entries; see packageForm in levelio.h). Throws slv::Error when the counts are out of range or the sizes
// overflow the 32-bit starts.
std::vector<PackEntry> headerEntries(const Level& level);

// ---- reading and checking ----

// A level package's header after every check has passed.
struct PackageHeader {
    std::vector<PackEntry> entries;  // all E entries, in file order
    int imageCount = 0;               // entries of the image group
    int stageCount = 0;               // entries of the stage group
    std::int64_t dataStart = 0;      // 64 * E
    std::int64_t fileSize = 0;

    int fileCount() const { return static_cast<int>(entries.size()); }
    const PackEntry& imageEntry(int i) const { return entries[kFixedEntries + i - 1]; }
    const PackEntry& stageEntry(int s) const {
        return entries[kFixedEntries + imageCount + s - 1];
    }
};

// Reads and checks the whole header of a level package: the file is long
// enough, the fixed members have their names, starts and sizes, every other
// entry belongs to the image group ("\sprites\...") or the stage group
// ("\backpx\..."), in that order, with safe names, starts that run on without
// gaps, sizes of 0 or more, the group flags on the last entry of each group,
// at most 3000 images and 30 stages, and a data area that ends exactly at
// the end of the file. Throws slv::Error naming the first fault.
PackageHeader readPackageHeader(const std::string& package);
// The same over bytes already in memory (the package's first bytes; the
// whole file length is `fileSize`).
PackageHeader parsePackageHeader(std::string_view bytes, std::int64_t fileSize);

// Throws slv::Error unless `name` (an entry name as stored, with
// backslashes) stays inside the package folder: not empty, not absolute
// beyond its leading backslash, no drive letter, no "." or ".." component,
// no empty component, no control characters.
void checkEntryName(std::string_view name);

}  // namespace slv
