// Levels as text: a folder holding "level.json" and the level's pictures as
// files, written from a package and turned back into a package through
// Save. docs/level-json.md describes the JSON.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "levelio.h"
#include "model/level.h"

namespace slv {

constexpr int kLevelJsonVersion = 1;
extern const char* const kLevelJsonFormat;  // "slvedit level"
extern const char* const kLevelJsonFile;    // "level.json"

// Where the pictures of a package are, relative to the folder the JSON sits
// in ("sprites/coin.bmp"): index = image slot or stage, "" for none. With
// hashes (the text form), every picture record also carries the short hash
// of its bytes.
struct LevelPictures {
    std::vector<std::string> imageFiles, stageFiles;
    std::vector<std::string> imageHashes, stageHashes;  // empty: no hashes
};

// The JSON of a checked package, one record per line, keys in a fixed order.
std::string levelJson(const PackageContents& contents, const LevelPictures& pictures);

// Writes `dir`/level.json and the package's pictures under `dir`/sprites and
// `dir`/backpx, named as Open names them. A picture already there is never
// overwritten: one with the picture's bytes is shared, otherwise the picture
// goes to a free name ("city~2.bmp"), as Open does. level.json is replaced
// by a new file (a temporary one renamed into place); a symbolic link in its
// place is refused before anything is written.
void exportLevel(const std::string& package, const std::string& dir);

// The JSON of a package with a hash in place of each picture's bytes, for
// reading and for line-based diffs; nothing is written.
std::string levelText(const std::string& package);

// Fills `level` (a fresh Level) from JSON text whose pictures lie under
// `dir`. Everything Open checks of the records is checked here, with the
// sizes the editor's fields take; use counts are counted from the sprites. A
// fault is an slv::Error whose text starts with the line and column of the
// faulty value and its JSON path, and ends with at most 80 characters of the
// text there ("19:41: sprites[1].x: not a number (at: \"20\")").
void levelFromJson(std::string_view json, const std::string& dir, Level& level);

// Reads `dir`/level.json, checks every picture file as Open checks the
// pictures of a package, and saves the level to `out` through saveLevel.
// Only `out` (through a temporary file beside it) is written, and only when
// every check passed. A fault's text starts with the file's path
// ("DIR/level.json:19:41: ...").
void importLevel(const std::string& dir, const std::string& out);

// A short hash of a picture's bytes (8 hex digits).
std::string pictureHash(std::string_view bytes);

// The hash of `size` bytes at `offset` of an open package.
std::string memberHash(const MemberExtractor& package, std::int64_t offset, std::int64_t size);

}  // namespace slv
