// The actor skin package (.skn): a header of 64-byte package entries in two
// flagged groups, then the members: the pack-name record, the skin table, the
// command table and the skin bitmaps. `readSkinPackage` reads one into its
// skin and command tables (the test actor's, never a level's).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/level.h"

namespace slv {

// Names of the table members as they are extracted into the package's folder.
inline constexpr std::string_view kPackNameFile = "_packname.tmp";
inline constexpr std::string_view kSkinsFile = "_skins.tmp";
inline constexpr std::string_view kCommandsFile = "_commands.tmp";
// The folder beside the package that receives the skin bitmaps.
inline constexpr std::string_view kSkinsFolder = "skins";

// Bounds of what a skin package may describe.
constexpr int kMaxSkinEntries = 1024;       // header entries looked at
constexpr int kMaxFrameSide = 4096;         // frame width and height
constexpr int kMaxSkinFrames = 1024;        // frames per skin
constexpr int kMaxStripWidth = 65536;       // frame width x frames

// What loadSkinPackage needs from the display layer.
struct SkinHooks {
    // Creates a surface for skin `index`, loads the bitmap at `bitmapPath` into
    // it and gives it the transparent colour. May throw slv::Error.
    std::function<SurfaceHandle(int index, const std::string& bitmapPath)> loadSkin;
    // Optional: frees a surface made by loadSkin when a later skin fails.
    std::function<void(SurfaceHandle)> releaseSkin;
};

struct SkinTables;

// Reads the skin package at `path`: extracts its members into the package's
// folder (existing files there are kept and used instead of the package's
// copies), reads and checks its three tables, loads every skin 1..skinCount
// through `hooks` (each skin's surface is set in the tables returned), and
// deletes the three table files again.
// A package that cannot be read or is not a sound skin package gives an
// slv::Error naming the problem; then no surface made by this call is kept
// and no table file extracted by this call is left behind.
std::unique_ptr<SkinTables> readSkinPackage(const std::string& path, const SkinHooks& hooks);

// ---- the pieces, also used by the package builder ----

// One member of a checked header.
struct SkinMember {
    std::string name;       // relative to the package folder, '/'-separated; "" for a member not extracted
    std::int64_t offset;    // byte position in the package file
    std::int64_t size;
};

struct SkinHeader {
    int g1 = 0;             // entries of the first group
    int entries = 0;        // entries of both groups
    std::vector<SkinMember> members;  // in header order
};

// Reads and checks the header of the skin package at `path`: two flagged
// groups within the file, every member name safe, every member inside the
// file after the header, the table members of their exact sizes.
SkinHeader readSkinHeader(const std::string& path);

// Checks a package entry name ("\_skins.tmp", "\skins\walk.bmp") and gives it
// relative, with '/' separators. The three table files and files directly in
// the skins folder are the editor's; any other member (a "\readme.txt") gives
// "" and is never extracted. Names with '..', '.', empty components, control
// characters, absolute names and drive letters are refused with an slv::Error.
std::string checkSkinEntryName(std::string_view name);

// True for a bare file name: no folder, no drive, not "." or "..".
bool isPlainFileName(std::string_view name);

// The three tables of a skin package, as records.
struct SkinTables {
    PackNameRec packageName{};
    std::vector<SkinRec> skins = std::vector<SkinRec>(kMaxSkins);
    std::vector<CommandRec> commands = std::vector<CommandRec>(kMaxCommands);
    int skinCount = 0;
    int commandCount = 0;
};

// Counts the skins and commands in use and checks the tables: skins in use are
// records 1..skinCount without gaps, with bitmap names that are bare file names
// and sane frame sizes; the start skin is one of them; the commands in use are
// records 1..commandCount without gaps and name only skins in use.
void checkSkinTables(SkinTables& t);

}  // namespace slv
