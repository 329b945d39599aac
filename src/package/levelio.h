// Save, Open and New of a whole level, shared by the main window and the
// command-line tool. The window supplies the parts that need the display
// (progress panel, surfaces) through PackageHooks; everything else is here.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "extract.h"
#include "format.h"
#include "memberplanner.h"
#include "model/level.h"

namespace slv {

// What the window does around a Save or Open. Every hook has a default that
// does nothing, so the tool and the tests can pass a plain PackageHooks.
struct PackageHooks {
    virtual ~PackageHooks() = default;
    // The package has been counted and checked; `steps` entries follow
    // (one step() each). The window shows its progress panel here.
    virtual void headerReady(int steps) { (void)steps; }
    // Open is about to replace the level (only after every check passed).
    // The window runs its New here: clears the lists, calls clearLevel and
    // reloads the backdrop.
    virtual void beforeLoad() {}
    // One entry has been appended (Save) or extracted (Open).
    virtual void step() {}
    // Creates a surface for image `index`, loads the bitmap at `path` and sets
    // its colour key. May throw slv::Error; Open then empties the level.
    virtual SurfaceHandle loadImage(int index, const std::string& path) {
        (void)index; (void)path;
        return 0;
    }
    // The same for a bitmap whose file is not written yet (an Open that
    // leaves its files to PendingLevelFiles): `bytes()` reads the file's
    // contents from the package (throws slv::Error when it cannot), so that
    // hooks that load no pictures read nothing.
    using PictureBytes = std::function<std::string()>;
    virtual SurfaceHandle loadImageData(int index, const std::string& path, const PictureBytes& bytes) {
        (void)index; (void)path; (void)bytes;
        return 0;
    }
    virtual void freeSurface(SurfaceHandle surface) { (void)surface; }
};

// The four tables as a package stores them.
struct PackageTables {
    std::vector<StageRec> stages;    // 0..30
    std::vector<SpriteRec> sprites;  // sprite-major, stage columns 1..30
    std::vector<SectorRec> sectors;  // sector-major, stage columns 1..30
    std::vector<ImageRec> images;    // 1..3000

    const StageRec& stage(int s) const { return stages[static_cast<std::size_t>(s)]; }
    const SpriteRec& sprite(int n, int s) const {
        return sprites[static_cast<std::size_t>((n - 1) * kMaxStages + (s - 1))];
    }
    const SectorRec& sector(int n, int s) const {
        return sectors[static_cast<std::size_t>((n - 1) * kMaxStages + (s - 1))];
    }
    const ImageRec& image(int i) const { return images[static_cast<std::size_t>(i - 1)]; }
};

// A package whose header and tables have passed every check.
struct PackageContents {
    PackageHeader header;
    PackageTables tables;
};

// A level as Save writes it. Free image slots inside 1..imageCount are not
// written: the used images are numbered 1..n in slot order and the sprite
// records follow their image. Names are Windows-1252, path fields use
// backslashes, surface references are zero.
struct PackageForm {
    std::vector<PackEntry> entries;
    PackageTables tables;
    std::vector<int> imageSlots;  // level slot of package image k (index k-1)
    int imageCount = 0;
};
// Throws slv::Error when a stage or image file name cannot be stored.
PackageForm packageForm(const Level& level);

// The tables of a level in package form (packageForm(level).tables).
PackageTables tablesOf(const Level& level);

// Checks tables against a header: every stage 1..stageCount counts 0..100
// sprites and sectors and carries the name and size of its entry; every used
// image 1..imageCount has the size of its entry; every live sprite draws from
// a used image within 1..imageCount, has a positive h and a w of 0 or more
// (frames 0 pixels wide draw nothing), at least one frame
// and its current frame within 1..frameCount. Throws slv::Error naming the first fault.
void checkTables(const PackageHeader& header, const PackageTables& tables);

// Checks that every live sprite's strip (frameCount frames of w by h) fits the
// picture of its image. `headOf(slot)` gives the first bytes of that image's
// bitmap (see pictureinfo.h). Throws slv::Error naming the first fault.
void checkSpriteStrips(const PackageHeader& header, const PackageTables& tables,
                       const std::function<std::string(int slot)>& headOf);

// The memory the pictures of one level may take once decoded (4 bytes a
// pixel): every sprite picture and the largest stage picture together.
constexpr std::int64_t kPictureMemoryBudget = std::int64_t{2} << 30;  // 2 GB

// Checks the picture members (every used image and every stage): a BMP whose
// header declares more pixel bytes than the member holds is a damaged
// package; pictures that together pass kPictureMemoryBudget are refused,
// naming the picture that passes it. `headOf(entry)` gives the first
// kPictureLayoutBytes bytes of a member. Throws slv::Error.
void checkPictures(const PackageHeader& header, const PackageTables& tables,
                   const std::function<std::string(const PackEntry&)>& headOf);

// Reads and checks a package's header, tables and sprite strips without
// touching anything else. Throws slv::Error when the package is not sound.
PackageContents readPackage(const std::string& package);

// True for image slots that hold an image (a non-empty name).
inline bool imageUsed(const ImageRec& rec) { return !rec.name.empty(); }

// New's table steps: the sprite and sector counts of stages 0..stageCount and
// stageCount become 0; every used image 1..imageCount loses its name, surface
// (freed through the hooks) and use counts; imageCount becomes 0. Names, paths and
// placements stay in the records.
void clearLevel(Level& level, PackageHooks& hooks);

// The file name a member gets on this system: the file name of its entry
// (Windows-1252) in UTF-8, the code page's five undefined bytes in the
// visible form "%81" (see fileNameFromWindows1252), with ".bmp" added for a BMP whose cut name lost
// its extension. `firstBytes`: at least the member's first two bytes.
std::string memberFileName(std::string_view entryName, std::string_view firstBytes);

// The absolute form of a package path given relative to the current folder.
std::string absolutePackagePath(const std::string& path);

// The bytes of every picture a level uses, keyed by the path its image or
// stage record names, so that Save and the recovery copy never depend on a
// file beside the level that may have changed or gone. A picture is either
// a member of a package kept open (unchanged since an Open: nothing is held
// but its place) or bytes taken from a file (held, shared and immutable).
// A copy shares both and may be read on another thread.
class LevelPictureStore {
public:
    struct Picture {
        std::shared_ptr<const MemberExtractor> package;  // set for a package member
        std::int64_t offset = 0, size = 0;               // its place in the package
        std::shared_ptr<const std::string> bytes;        // set for bytes taken from a file
    };
    // The picture at `path` (as the level names it), or null.
    const Picture* find(const std::string& path) const;
    bool empty() const { return pictures_.empty(); }
    std::size_t size() const { return pictures_.size(); }
    // The bytes held for pictures taken from files (members hold none).
    std::int64_t heldBytes() const;
    void putMember(const std::string& path, std::shared_ptr<const MemberExtractor> package, std::int64_t offset,
                   std::int64_t size);
    void putBytes(const std::string& path, std::shared_ptr<const std::string> bytes);
    void remove(const std::string& path) { pictures_.erase(path); }
    void clear() { pictures_.clear(); }
    // The whole picture at `path`; throws slv::Error when it cannot be read.
    std::string read(const std::string& path) const;
    // The first `n` bytes (fewer when the picture is shorter).
    std::string head(const std::string& path, std::size_t n) const;
    // Throws when the package a member of `path` waits in was written over in
    // place since the Open, so that it no longer holds the picture.
    void checkPackage(const std::string& path) const;

private:
    std::unordered_map<std::string, Picture> pictures_;
};
// The pictures an Open left to write (PendingLevelFiles::unwrittenPictures).
using UnwrittenPictures = LevelPictureStore;

// The memory a picture takes once decoded (4 bytes a pixel), from its bytes
// (at least the first kPictureLayoutBytes); 0 for bytes that are no BMP or
// PNG picture. Throws slv::Error, as Open refuses such a member, when the
// header declares more pixel bytes than `size` holds, or a picture alone
// passes kPictureMemoryBudget. The message names it as `what ("name")`.
std::int64_t checkedPictureMemory(const std::string& what, const std::string& name, std::string_view head,
                                  std::int64_t size);

// Throws the refusal Open gives a level whose pictures need more than
// kPictureMemoryBudget, naming `what`.
[[noreturn]] void refusePictureMemory(const std::string& what);

// Writes the level into the package at `path`. The bitmaps are measured
// first (records whose size changed are updated); the package is written
// under a temporary name beside `path` and replaces it only when complete.
// Sets level.packageFolder. Leaves no "_*.tmp" file in the folder.
//
// With `pictures`, a bitmap found there is written from it (its member in a
// kept-open package or its held bytes), never from its file; others are read
// from their files. A package written over in place since the Open has lost
// its members: Save then fails with the reason and writes nothing.
//
// What was written is read back with Open's checks (readPackage: header,
// tables, every picture's header) before it takes the name; a package Open
// would refuse is never written: the old file stays, the temporary goes,
// and the error says why.
void saveLevel(Level& level, const std::string& path, PackageHooks& hooks,
               const LevelPictureStore* pictures = nullptr);

// The files Open gives the bitmaps of a checked package (index = image slot
// or stage; an empty name for free slots), every final name decided before
// anything is written: a name taken by other bytes sends a member on to
// "city~2.bmp", ..., a file with the member's bytes is shared (see
// MemberPlanner). `sprites` and `backpx` are the member folders, null where
// a folder does not exist yet. Throws slv::Error when a final path under
// `folder` (the package's folder) would not fit a record's 255-character
// path field, naming that path.
struct ExtractionPlan {
    std::vector<PlannedFile> imageFiles, stageFiles;
    std::size_t filesExamined = 0;  // file-system calls made on the folders' entries
};
ExtractionPlan planExtraction(const std::string& folder, const PackageContents& contents,
                              const MemberExtractor& package, const MemberFolder* sprites,
                              const MemberFolder* backpx);
// The same for a package that is only checked: the folders are looked at,
// never made.
ExtractionPlan planExtraction(const std::string& packagePath, const PackageContents& contents);

// Replaces the level with the package at `path`. Everything is checked
// before hooks.beforeLoad() is called; a refused package leaves the level as
// it was. Image and stage bitmaps are extracted under the package folder's
// "sprites" and "backpx" folders, which must not be symbolic links. A file
// already there is never overwritten: one with the member's bytes is shared,
// otherwise the member goes to a free name beside it ("city~2.bmp"). The
// image and stage records then name those copies, and memberEntryNames keeps
// their entry names for the next Save. Every final name is planned and its
// path checked before the level is touched; each new file is written under
// a temporary name and renamed when whole, and temporaries that an Open
// killed before its end left in the folders are removed. Sets
// level.packageFolder.
//
// With `later`, the bitmap files are not written during the Open: the
// pictures are loaded from the package's bytes (hooks.loadImageData), and
// the files the level names are handed to `later` (replacing what it held),
// to be written before anything reads them. Every name is planned and
// checked as without it; a missing member folder is made with its first file.
//
// With `pictures`, every picture of the level is put there (replacing what
// it held) as its member in the package, which stays open while it is used.
class PendingLevelFiles;
void openLevel(Level& level, const std::string& path, PackageHooks& hooks, PendingLevelFiles* later = nullptr,
               LevelPictureStore* pictures = nullptr);

// The bitmap files an Open left to write. The level names them already and
// their bytes stay in the package it was opened from, which is kept open.
// Each is written as Open writes it (a temporary file renamed into place
// when whole, never over an existing file).
class PendingLevelFiles {
public:
    PendingLevelFiles();
    ~PendingLevelFiles();
    PendingLevelFiles(PendingLevelFiles&&) noexcept;
    PendingLevelFiles& operator=(PendingLevelFiles&&) noexcept;

    bool empty() const { return left_ == 0; }
    std::size_t left() const { return left_; }
    // Writes the next file. Throws slv::Error; the file then stays next, so
    // that a later call tries it again and reports the same reason.
    void writeNext();
    // Writes every file left.
    void writeAll();
    // Writes those of the files left that are at one of `paths` (as the
    // level names them); the others stay for later.
    void writeFiles(const std::vector<std::string>& paths);
    // The pictures of the files left, for a Save that does not wait for them.
    UnwrittenPictures unwrittenPictures() const;

private:
    friend void openLevel(Level&, const std::string&, PackageHooks&, PendingLevelFiles*, LevelPictureStore*);
    struct File {
        std::size_t folder;  // in folders_
        std::string name;
        std::int64_t offset, size;
        bool written = false;  // out of turn, by writeFiles
    };
    // "sprites" or "backpx" in the package's folder, opened (and made when
    // missing) for its first file.
    struct Folder {
        std::string name;
        std::optional<MemberFolder> open;
    };
    std::string pathOf(const File& f) const { return base_->pathOf(folders_[f.folder].name + "/" + f.name); }
    // The file left to write at `path` (as the level names it), or null.
    const File* unwritten(const std::string& path) const;
    void write(File& f);
    std::shared_ptr<MemberExtractor> package_;
    std::optional<MemberFolder> base_;
    std::vector<Folder> folders_;
    std::vector<File> files_;
    std::unordered_map<std::string, std::size_t> byPath_;  // pathOf(file) -> its index in files_
    std::size_t next_ = 0;  // files_ before it are written
    std::size_t left_ = 0;
};

// Opens the package at `in` into `level` and saves it to `out`, the bitmaps
// going from one package to the other: nothing is written beside `in`.
void resaveLevel(Level& level, const std::string& in, const std::string& out);

// Removes stray "_sectors.tmp", "_sprites.tmp", "_images.tmp" and
// "_stages.tmp" files from a package folder.
void removeMemberTemps(const std::string& packageFolder);

}  // namespace slv
