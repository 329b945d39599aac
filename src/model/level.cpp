#include "level.h"

#include <cstring>

#include "errors.h"

namespace slv {

std::string cutText(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t n = maxBytes;
    // Step back over continuation bytes so that no character is split.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return std::string(text.substr(0, n));
}

namespace {
[[noreturn]] void rangeError() { throw Error("Range check error"); }
inline void check(int v, int lo, int hi) {
    if (v < lo || v > hi) rangeError();
}
}  // namespace

Level::Level() {
    std::memset(stages, 0, sizeof stages);
    std::memset(spriteTable, 0, sizeof spriteTable);
    std::memset(sectorTable, 0, sizeof sectorTable);
    std::memset(imageTable, 0, sizeof imageTable);
    std::memset(poseTable, 0, sizeof poseTable);
}

StageRec& Level::stage(int s) { check(s, 0, kMaxStages); return stages[s]; }
const StageRec& Level::stage(int s) const { check(s, 0, kMaxStages); return stages[s]; }

SpriteRec& Level::sprite(int n, int s) {
    check(n, 1, kMaxSprites); check(s, 1, kMaxStages);
    return spriteTable[n - 1][s - 1];
}
const SpriteRec& Level::sprite(int n, int s) const {
    check(n, 1, kMaxSprites); check(s, 1, kMaxStages);
    return spriteTable[n - 1][s - 1];
}
SectorRec& Level::sector(int n, int s) {
    check(n, 1, kMaxSectors); check(s, 0, kMaxStages);
    return sectorTable[n - 1][s];
}
const SectorRec& Level::sector(int n, int s) const {
    check(n, 1, kMaxSectors); check(s, 0, kMaxStages);
    return sectorTable[n - 1][s];
}
std::vector<std::string> Level::stagePictureFiles(int s) const {
    if (s < 1 || s > stageCount || s > kMaxStages) return {};
    std::vector<std::string> files{stage(s).path.str()};
    for (int n = 1; n <= stage(s).spriteCount && n <= kMaxSprites; ++n) {
        const int m = sprite(n, s).image;
        if (m >= 1 && m <= kMaxImages && !image(m).name.empty()) files.push_back(image(m).path.str());
    }
    return files;
}

ImageRec& Level::image(int i) { check(i, 1, kMaxImages); return imageTable[i - 1]; }
const ImageRec& Level::image(int i) const { check(i, 1, kMaxImages); return imageTable[i - 1]; }
PoseRec& Level::pose(int i) { check(i, 1, kMaxPoses); return poseTable[i - 1]; }
const PoseRec& Level::pose(int i) const { check(i, 1, kMaxPoses); return poseTable[i - 1]; }

int Level::findImage(const std::string& name) const {
    const std::string key = NameField::wholeForm(name);
    if (key.empty() || key.size() > static_cast<std::size_t>(NameField::capacity)) return 0;
    for (int i = 0; i < kMaxImages; ++i)
        if (imageTable[i].name.stored() == key) return i + 1;
    return 0;
}

int Level::freeImageSlot() const {
    for (int i = 0; i < kMaxImages; ++i)
        if (imageTable[i].name.empty()) return i + 1;
    return 0;
}

int Level::lastPoseIndex(const std::string& name) const {
    int found = 0;
    int n = poseCount < kMaxPoses ? poseCount : kMaxPoses;
    const std::string key = NameField::wholeForm(name);
    if (key.size() > static_cast<std::size_t>(NameField::capacity)) return 0;
    for (int i = 1; i <= n; ++i)
        if (poseTable[i - 1].name.stored() == key) found = i;
    return found;
}

int Level::lookupPose(const std::string& name) const {
    int k = lastPoseIndex(name);
    return k == 0 ? -1 : poseTable[k - 1].frameCount;
}

}  // namespace slv
