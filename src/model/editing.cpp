#include "editing.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "tablebounds.h"
#include "fileio.h"
#include "names.h"
#include "picturefile.h"

namespace slv {

namespace {

std::int32_t sizeOfFile(const FileSizeFn& fn, const std::string& path) {
    std::int64_t n = fn ? fn(path) : fileSize(path);
    if (n < 0 || n > INT32_MAX) throw Error("File too large: " + path);
    return static_cast<std::int32_t>(n);
}

void checkOpenStage(const Level& lv) {
    if (!isStageNumber(lv.openStage)) throw Error(kMsgNoOpenStage);
}

void releaseSurface(const SurfaceCallbacks& cb, SurfaceHandle h) {
    if (h != 0 && cb.release) cb.release(h);
}

// The result of finding or loading an image, with what is needed to undo it.
struct Acquired {
    int image = 0;
    bool created = false;
    ImageRec before{};
    std::int32_t imageCountBefore = 0;
};

Acquired acquire(Level& lv, const std::string& path, const SurfaceCallbacks& cb) {
    Acquired a;
    const std::string name = fileNamePart(path);
    if (name.empty()) throw Error("Invalid filename");
    checkPictureFile(path);
    a.imageCountBefore = lv.imageCount;
    if (int m = lv.findImage(name)) {
        a.image = m;
        a.before = lv.image(m);
        ++lv.image(m).useCount;
        return a;
    }
    int m = lv.freeImageSlot();
    if (m == 0) throw Error(kMsgTooManyImages);
    if (!cb.load) throw Error("No display to load " + name);
    a.image = m;
    a.created = true;
    ImageRec& rec = lv.image(m);
    a.before = rec;
    SurfaceHandle h = 0;
    try {
        rec.surface = 0;
        rec.name.set(name);
        rec.path.set(path);
        std::memset(rec.gap, 0, sizeof rec.gap);
        rec.size = 0;
        rec.useCount = 0;
        h = cb.load(path);
        rec.surface = h;
        if (m > lv.imageCount) lv.imageCount = m;
        rec.size = sizeOfFile(cb.fileSize, path);
        rec.useCount = 1;
    } catch (...) {
        releaseSurface(cb, h);
        rec = a.before;
        lv.imageCount = a.imageCountBefore;
        throw;
    }
    return a;
}

void undoAcquire(Level& lv, const Acquired& a, const SurfaceCallbacks& cb) {
    ImageRec& rec = lv.image(a.image);
    if (a.created) releaseSurface(cb, rec.surface);
    rec = a.before;
    lv.imageCount = a.imageCountBefore;
}

std::string sectorName(int n) { return "Sector" + std::to_string(n); }

bool validSectorColumn(int s) { return s >= 0 && s <= kMaxStages; }

// The path of file `name` in `folder`: every character of the name is its own
// (a backslash included), unlike joinPath, which reads it as a separator.
std::string pathIn(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    std::string out = folder;
    while (!out.empty() && out.back() == '/') out.pop_back();
    return out + "/" + name;
}

// The width of the picture file at `path` from its header; 0 when unknown.
int stripWidthOf(const std::string& path) { return pictureWidthOf(pictureHead(path)); }

// True when `frames` frames of at least one pixel fit a strip `width` pixels
// wide (any count fits a strip of unknown width).
bool framesFit(int frames, int width) { return frames >= 1 && frames <= frameCountLimit(width); }

std::string tooManyFrames(const std::string& name, int width, int frames) {
    return "\"" + name + "\" is " + std::to_string(width) + " pixels wide: it cannot hold " + std::to_string(frames) +
           " frames";
}

}  // namespace

void checkPictureFile(const std::string& path) {
    const std::string name = fileNamePart(path);
    checkPortableName(name);
    // A package entry separates its folders with '\' and refuses a colon.
    if (name.find_first_of("\\:") != std::string::npos)
        throw Error("The file name \"" + name + "\" cannot be stored in a level package: it holds '\\' or ':'");
    checkBmpPicture(path);
}

int frameCountLimit(int stripWidth) { return stripWidth > 0 ? stripWidth : INT_MAX; }

// ---------------------------------------------------------------------------
// Stage table.

int addStages(Level& lv, const std::vector<std::string>& paths, const FileSizeFn& fileSize) {
    if (paths.empty()) return lv.stageCount;
    const int first = clampCount(lv.stageCount, kMaxStages);
    if (first + static_cast<long long>(paths.size()) > kMaxStages) throw Error(kMsgTooManyStages);
    std::vector<std::int32_t> sizes;
    sizes.reserve(paths.size());
    for (const std::string& p : paths) checkPictureFile(p);
    for (const std::string& p : paths) sizes.push_back(sizeOfFile(fileSize, p));
    for (std::size_t a = 0; a < paths.size(); ++a) {
        StageRec& st = lv.stage(first + 1 + static_cast<int>(a));
        st.name.set(fileNamePart(paths[a]));
        st.path.set(paths[a]);
        st.size = sizes[a];
    }
    lv.stageCount = first + static_cast<int>(paths.size());
    return lv.stageCount;
}

void modifyStage(Level& lv, int s, const std::string& path, const FileSizeFn& fileSize) {
    if (s < 1 || s > std::min<int>(lv.stageCount, kMaxStages)) throw Error(kMsgSelectStageToModify);
    checkPictureFile(path);
    std::int32_t size = sizeOfFile(fileSize, path);
    StageRec& st = lv.stage(s);
    st.name.set(fileNamePart(path));
    st.path.set(path);
    st.size = size;
}

void setSplash(Level& lv, const std::string& path) {
    lv.stage(0).name.set(fileNamePart(path));
    lv.stage(0).path.set(path);
}

void deleteStage(Level& lv, int s, const SurfaceCallbacks& cb) {
    const int total = clampCount(lv.stageCount, kMaxStages);
    if (s < 1 || s > total) throw Error(kMsgSelectStageToDelete);

    // The stage's sprites go with it, and so does their use of the images.
    const int gone = clampCount(lv.stage(s).spriteCount, kMaxSprites);
    for (int n = 1; n <= gone; ++n) releaseImage(lv, lv.sprite(n, s).image, cb);

    for (int k = s + 1; k <= total; ++k) {
        lv.stage(k - 1) = lv.stage(k);
        const int ns = clampCount(lv.stage(k).spriteCount, kMaxSprites);
        for (int n = 1; n <= ns; ++n) lv.sprite(n, k - 1) = lv.sprite(n, k);
        const int nc = clampCount(lv.stage(k).sectorCount, kMaxSectors);
        for (int n = 1; n <= nc; ++n) lv.sector(n, k - 1) = lv.sector(n, k);
    }
    lv.stage(total).spriteCount = 0;
    lv.stage(total).sectorCount = 0;
    lv.stageCount = total - 1;
}

// ---------------------------------------------------------------------------
// Sprites and sectors.

int deleteSprite(Level& lv, int stage, int slot, const SurfaceCallbacks& cb) {
    if (!isStageNumber(stage)) throw Error(kMsgSelectSpriteToDelete);
    StageRec& st = lv.stage(stage);
    const int count = clampCount(st.spriteCount, kMaxSprites);
    if (slot < 0 || slot >= count) throw Error(kMsgSelectSpriteToDelete);
    releaseImage(lv, lv.sprite(slot + 1, stage).image, cb);
    for (int n = slot + 2; n <= count; ++n) lv.sprite(n - 1, stage) = lv.sprite(n, stage);
    st.spriteCount = count - 1;
    return slot < count - 1 ? slot : -1;
}

int deleteSector(Level& lv, int stage, int slot) {
    if (stage < 0 || stage > kMaxStages) throw Error(kMsgSelectSectorToDelete);
    StageRec& st = lv.stage(stage);
    const int count = clampCount(st.sectorCount, kMaxSectors);
    if (slot < 0 || slot >= count) throw Error(kMsgSelectSectorToDelete);
    for (int n = slot + 2; n <= count; ++n) lv.sector(n - 1, stage) = lv.sector(n, stage);
    st.sectorCount = count - 1;
    return slot < count - 1 ? slot : -1;
}

void releaseImage(Level& lv, int m, const SurfaceCallbacks& cb) {
    if (m < 1 || m > kMaxImages) return;
    ImageRec& rec = lv.image(m);
    if (rec.useCount <= 0 || rec.name.empty()) return;
    if (--rec.useCount > 0) return;
    SurfaceHandle h = rec.surface;
    rec.surface = 0;
    rec.name.clear();
    trimImageCount(lv);
    releaseSurface(cb, h);
}

void trimImageCount(Level& lv) {
    if (lv.imageCount > kMaxImages) lv.imageCount = kMaxImages;
    while (lv.imageCount > 0 && lv.image(lv.imageCount).name.empty()) --lv.imageCount;
    if (lv.imageCount < 0) lv.imageCount = 0;
}

// ---------------------------------------------------------------------------
// Images.

int acquireImage(Level& lv, const std::string& path, const SurfaceCallbacks& cb) {
    return acquire(lv, path, cb).image;
}

int attachSpritePicture(Level& lv, const std::string& path, int slot, const SurfaceCallbacks& cb) {
    checkOpenStage(lv);
    SpriteRec& sp = lv.sprite(slot, lv.openStage);
    const int frames = sp.frameCount;
    if (frames < 1) throw Error(kMsgBadFrameCount);
    if (!cb.measure) throw Error("No display to measure " + fileNamePart(path));

    Acquired a = acquire(lv, path, cb);
    const ImageRec& rec = lv.image(a.image);
    SurfaceSize size;
    try {
        size = cb.measure(rec.surface);
        if (size.width < 0 || size.height < 0) throw Error("Bad picture size: " + path);
        if (!framesFit(frames, size.width)) throw Error(tooManyFrames(fileNamePart(path), size.width, frames));
        if (cb.applyColorKey) cb.applyColorKey(rec.surface);
    } catch (...) {
        undoAcquire(lv, a, cb);
        throw;
    }
    sp.surface = rec.surface;
    sp.image = a.image;
    sp.w = size.width / frames;
    sp.h = size.height;
    return a.image;
}

// ---------------------------------------------------------------------------
// Pose table and frame counts.

int rememberedFrameCount(const Level& lv, const std::string& name) {
    return lv.lookupPose(name);
}

int pickSpriteFile(Level& lv, const std::string& folder, const std::string& name,
                   const DetectFramesFn& detect) {
    const std::string path = pathIn(folder, name);
    lv.session.pickedStripWidth = stripWidthOf(path);
    lv.session.longNamePickedPath.clear();
    if (!NameField::fits(name)) {
        // No pose record can name this file (it would hold only the first 20
        // characters, which another file may share): its count is detected
        // at every click and kept for it while it stays the picker's choice.
        if (!detect) throw Error("No display to analyse " + name);
        int frames = detect(path);
        if (!framesFit(frames, lv.session.pickedStripWidth)) frames = 1;
        lv.session.longNamePickedPath = path;
        lv.session.longNamePickedFrames = frames;
        return frames;
    }
    const int remembered = rememberedFrameCount(lv, name);
    if (framesFit(remembered, lv.session.pickedStripWidth)) return remembered;
    // A count that no longer fits the picture is detected again into the record that held it.
    const int k = remembered == -1 ? 0 : lv.lastPoseIndex(name);
    if (k == 0 && lv.poseCount >= kMaxPoses) throw Error(kMsgTooManyPoses);
    if (lv.poseCount < 0) lv.poseCount = 0;
    if (!detect) throw Error("No display to analyse " + name);
    int frames = detect(path);
    if (!framesFit(frames, lv.session.pickedStripWidth)) frames = 1;
    PoseRec& p = lv.pose(k != 0 ? k : lv.poseCount + 1);
    p.name.set(name);
    std::memset(p.gap, 0, sizeof p.gap);
    p.frameCount = frames;
    if (k == 0) ++lv.poseCount;
    return frames;
}

bool setPoseFrames(Level& lv, const std::string& name, int frames) {
    if (lv.session.fillingPickerFields || !framesFit(frames, lv.session.pickedStripWidth)) return false;
    if (!NameField::fits(name)) {
        const std::string& picked = lv.session.longNamePickedPath;
        if (picked.empty() || fileNamePart(picked) != name || lv.session.longNamePickedFrames == frames) return false;
        lv.session.longNamePickedFrames = frames;
        return true;
    }
    int k = lv.lastPoseIndex(name);
    if (k == 0) return false;
    lv.pose(k).frameCount = frames;
    return true;
}

int spriteFrameCount(Level& lv, const std::string& folder, const std::string& name,
                     const DetectFramesFn& detect) {
    const std::string path = pathIn(folder, name);
    const int width = stripWidthOf(path);
    if (!NameField::fits(name)) {
        // Only the count shown in the picker for this very file is taken;
        // any other file with such a name is detected anew.
        const bool picked = path == lv.session.longNamePickedPath && framesFit(lv.session.longNamePickedFrames, width);
        if (!picked && !detect) throw Error("No display to analyse " + name);
        const int frames = picked ? lv.session.longNamePickedFrames : detect(path);
        if (frames < 1) throw Error(kMsgBadFrameCount);
        return frames;
    }
    int frames = rememberedFrameCount(lv, name);
    if (frames == -1 || (frames >= 1 && !framesFit(frames, width))) {
        if (!detect) throw Error("No display to analyse " + name);
        frames = detect(path);
    }
    if (frames < 1) throw Error(kMsgBadFrameCount);
    return frames;
}

// ---------------------------------------------------------------------------
// The picker's "Add 'em".

int addSprites(Level& lv, const std::string& folder, const std::vector<std::string>& names,
               const SurfaceCallbacks& cb, const DetectFramesFn& detect, const RandomFn& random) {
    checkOpenStage(lv);
    auto pick = [&](int n) {
        int v = random ? random(n) : std::rand() % n;
        return v < 0 || v >= n ? ((v % n) + n) % n : v;
    };
    int added = 0;
    for (const std::string& name : names) {
        StageRec& st = lv.stage(lv.openStage);
        const int count = clampCount(st.spriteCount, kMaxSprites);
        if (count >= kMaxSprites) throw Error(kMsgTooManySprites);
        const int frames = spriteFrameCount(lv, folder, name, detect);

        const int slot = count + 1;
        SpriteRec& sp = lv.sprite(slot, lv.openStage);
        const SpriteRec before = sp;
        sp.frameCount = frames;
        sp.name.set(name);
        std::memset(sp.gap, 0, sizeof sp.gap);
        sp.x = 0;
        sp.y = 0;
        sp.reserved = 0;
        sp.frame = 1;
        try {
            attachSpritePicture(lv, pathIn(folder, name), slot, cb);
        } catch (...) {
            sp = before;
            throw;
        }
        // Wholly inside the view where the frame fits, else at its left or top edge.
        sp.x = pick(std::max(1, kViewWidth - sp.w + 1));
        sp.y = pick(std::max(1, kViewHeight - sp.h + 1));
        st.spriteCount = slot;
        ++added;
    }
    return added;
}

void replaceSprite(Level& lv, int slot, const std::string& folder, const std::string& name,
                   const SurfaceCallbacks& cb, const DetectFramesFn& detect) {
    checkOpenStage(lv);
    const int count = clampCount(lv.stage(lv.openStage).spriteCount, kMaxSprites);
    if (slot < 0 || slot >= count) throw Error(kMsgSelectSpriteToModify);
    const int frames = spriteFrameCount(lv, folder, name, detect);

    SpriteRec& sp = lv.sprite(slot + 1, lv.openStage);
    const SpriteRec before = sp;
    sp.frameCount = frames;
    sp.name.set(name);
    sp.frame = 1;
    try {
        attachSpritePicture(lv, pathIn(folder, name), slot + 1, cb);
    } catch (...) {
        sp = before;
        throw;
    }
    // The old picture loses this sprite only now that the new one is in place.
    releaseImage(lv, before.image, cb);
}

// ---------------------------------------------------------------------------
// Placement.

bool hitRect(int px, int py, int x, int y, int w, int h) {
    const long long X = x, Y = y;
    return px >= X && px <= X + w && py >= Y && py <= Y + h;
}

int pickSprite(const Level& lv, int px, int py) {
    if (!isStageNumber(lv.openStage)) return 0;
    const int count = clampCount(lv.stage(lv.openStage).spriteCount, kMaxSprites);
    int hit = 0;
    for (int k = 1; k <= count; ++k) {
        const SpriteRec& sp = lv.sprite(k, lv.openStage);
        if (hitRect(px, py, sp.x, sp.y, sp.w, sp.h)) hit = k;
    }
    return hit;
}

int pickSector(const Level& lv, int px, int py) {
    if (lv.openStage < 0 || lv.openStage > kMaxStages) return 0;
    const int count = clampCount(lv.stage(lv.openStage).sectorCount, kMaxSectors);
    int hit = 0;
    for (int k = 1; k <= count; ++k) {
        const SectorRec& sc = lv.sector(k, lv.openStage);
        if (hitRect(px, py, sc.x, sc.y, sc.w, sc.h)) hit = k;
    }
    return hit;
}

namespace {

bool spriteRowValid(const Level& lv, int row) {
    return isStageNumber(lv.openStage) && row >= 0 &&
           row < clampCount(lv.stage(lv.openStage).spriteCount, kMaxSprites);
}

bool sectorRowValid(const Level& lv, int row) {
    return lv.openStage >= 0 && lv.openStage <= kMaxStages && row >= 0 &&
           row < clampCount(lv.stage(lv.openStage).sectorCount, kMaxSectors);
}

}  // namespace

bool moveSprite(Level& lv, int n, int x, int y) {
    if (!spriteRowValid(lv, n - 1)) return false;
    SpriteRec& sp = lv.sprite(n, lv.openStage);
    sp.x = x;
    sp.y = y;
    return true;
}

bool moveSector(Level& lv, int n, int x, int y) {
    if (!sectorRowValid(lv, n - 1)) return false;
    SectorRec& sc = lv.sector(n, lv.openStage);
    sc.x = x;
    sc.y = y;
    return true;
}

int addSectorFromBand(Level& lv) {
    lv.session.bandActive = false;
    if (lv.openStage < 0 || lv.openStage > kMaxStages) throw Error(kMsgNoOpenStage);
    StageRec& st = lv.stage(lv.openStage);
    const int count = clampCount(st.sectorCount, kMaxSectors);
    if (lv.session.bandStartX == lv.session.mouseX || lv.session.bandStartY == lv.session.mouseY) return 0;
    if (count >= kMaxSectors) throw Error(kMsgTooManySectors);
    const int n = count + 1;
    const std::string name = freeSectorName(lv, lv.openStage);
    SectorRec& sc = lv.sector(n, lv.openStage);
    sc.name.set(name);
    std::memset(sc.gap, 0, sizeof sc.gap);
    sc.x = std::min(lv.session.bandStartX, lv.session.mouseX);
    sc.w = std::max(lv.session.bandStartX, lv.session.mouseX) - sc.x;
    sc.y = std::min(lv.session.bandStartY, lv.session.mouseY);
    sc.h = std::max(lv.session.bandStartY, lv.session.mouseY) - sc.y;
    st.sectorCount = n;
    return n;
}

bool setSpriteX(Level& lv, int row, int value) {
    if (!lv.session.spritesShown || !spriteRowValid(lv, row)) return false;
    lv.sprite(row + 1, lv.openStage).x = value;
    return true;
}

bool setSpriteY(Level& lv, int row, int value) {
    if (!lv.session.spritesShown || !spriteRowValid(lv, row)) return false;
    lv.sprite(row + 1, lv.openStage).y = value;
    return true;
}

bool setSectorField(Level& lv, int row, SectorField field, int value) {
    if (!sectorRowValid(lv, row)) return false;
    SectorRec& sc = lv.sector(row + 1, lv.openStage);
    std::int32_t* target = nullptr;
    switch (field) {
    case SectorField::X: target = &sc.x; break;
    case SectorField::Y: target = &sc.y; break;
    case SectorField::W: target = &sc.w; break;
    case SectorField::H: target = &sc.h; break;
    }
    if ((field == SectorField::W || field == SectorField::H) && value < 0) return false;
    if (*target == value) return false;
    *target = value;
    return true;
}

std::string freeSectorName(const Level& lv, int stage) {
    if (!validSectorColumn(stage)) throw Error(kMsgNoOpenStage);
    const int count = clampCount(lv.stage(stage).sectorCount, kMaxSectors);
    for (int k = 1;; ++k) {
        const std::string name = sectorName(k);
        bool taken = false;
        for (int n = 1; n <= count && !taken; ++n) taken = lv.sector(n, stage).name == name;
        if (!taken) return name;
    }
}

void checkSectorName(const std::string& name) {
    if (name.empty()) throw Error(kMsgEmptySectorName);
    const std::optional<std::string> stored = toWindows1252(name);
    if (!stored)
        throw Error("The sector name \"" + name + "\" holds characters a level cannot store (Windows-1252 only)");
    if (stored->size() > static_cast<std::size_t>(NameField::capacity))
        throw Error("The sector name \"" + name + "\" is " + std::to_string(stored->size()) +
                    " characters long; a sector name holds at most 20");
}

bool renameSector(Level& lv, int stage, int n, const std::string& name) {
    if (!validSectorColumn(stage) || n < 1 || n > clampCount(lv.stage(stage).sectorCount, kMaxSectors))
        throw Error(kMsgSelectSectorToModify);
    checkSectorName(name);
    SectorRec& sc = lv.sector(n, stage);
    if (sc.name == name) return false;
    sc.name.set(name);
    return true;
}

}  // namespace slv
