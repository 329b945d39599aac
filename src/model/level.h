// The level being edited: its fixed-size tables and counters, and what Open
// learnt about where its package and pictures are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <unordered_map>

#include "records.h"
#include "session.h"

namespace slv {

constexpr int kMaxStages = 30;
constexpr int kMaxSprites = 100;    // per stage
constexpr int kMaxSectors = 100;    // per stage
constexpr int kMaxImages = 3000;
constexpr int kMaxPoses = 10000;
constexpr int kMaxSkins = 300;
constexpr int kMaxCommands = 1000;

// Byte sizes of the whole-table images.
constexpr int kStagesBytes = (kMaxStages + 1) * 292;                  // 9052
constexpr int kSpritesBytes = kMaxSprites * kMaxStages * 60;          // 180000
constexpr int kSectorsFileBytes = kMaxSectors * kMaxStages * 40;      // 120000 (columns 1..30)
constexpr int kImagesBytes = kMaxImages * 292;                        // 876000
constexpr int kSkinsBytes = kMaxSkins * 100;                          // 30000
constexpr int kCommandsBytes = kMaxCommands * 28;                     // 28000

constexpr std::uint32_t kDefaultSpriteBoxColor = rgbColor(10, 100, 70);
constexpr std::uint32_t kDefaultSectorColor = rgbColor(70, 10, 150);

struct Level {
    Level();

    // ---- tables (raw storage, in file order) ----
    StageRec stages[kMaxStages + 1];               // 0 = splash, 1..30
    SpriteRec spriteTable[kMaxSprites][kMaxStages];   // [n-1][s-1]
    SectorRec sectorTable[kMaxSectors][kMaxStages + 1];  // [n-1][s]
    ImageRec imageTable[kMaxImages];               // [i-1]
    PoseRec poseTable[kMaxPoses];                  // [i-1]

    // ---- checked accessors (1-based as the editor counts) ----
    StageRec& stage(int s);                 // 0..30
    const StageRec& stage(int s) const;
    SpriteRec& sprite(int n, int s);        // n 1..100, s 1..30
    const SpriteRec& sprite(int n, int s) const;
    SectorRec& sector(int n, int s);        // n 1..100, s 0..30
    const SectorRec& sector(int n, int s) const;
    ImageRec& image(int i);                 // 1..3000
    const ImageRec& image(int i) const;
    PoseRec& pose(int i);                   // 1..10000
    const PoseRec& pose(int i) const;

    // ---- lookups ----
    // First image record 1..3000 named `name` (compared in Windows-1252, as a
    // record stores it); 0 when none. A name longer than a record holds (20
    // characters) is never found: a record keeps only its first 20, which
    // another file's name may share.
    int findImage(const std::string& name) const;
    // First free image slot (empty name); 0 when all are taken.
    int freeImageSlot() const;
    // Frame count of the last pose record 1..poseCount named `name` (compared
    // like findImage: a longer name has none); -1 when none.
    int lookupPose(const std::string& name) const;
    // Index of the last pose record named `name`; 0 when none (always for a
    // name longer than 20 characters).
    int lastPoseIndex(const std::string& name) const;

    // ---- counts and current indices ----
    std::int32_t stageCount = 0;
    std::int32_t openStage = 0;
    std::int32_t imageCount = 0;
    std::int32_t poseCount = 0;

    // ---- what the running editor keeps beside the tables ----
    EditSession session;

    // ---- folders and names ----
    std::string packageFolder;      // with a trailing separator once set
    std::string startupPackage;  // empty when none
    // Entry names (as stored, Windows-1252) of the bitmaps the last Open
    // extracted, by the path each went to: Save gives a bitmap still at such a
    // path its entry name again, whatever name the file got on disk.
    std::unordered_map<std::string, std::string> memberEntryNames;

    // The picture files stage `s` draws from: its backdrop, then the strips
    // of its sprites (a strip may be named more than once). None for a stage
    // outside 1..stageCount.
    std::vector<std::string> stagePictureFiles(int s) const;
};

}  // namespace slv
