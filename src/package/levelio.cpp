#include "levelio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>

#include "extract.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/names.h"
#include "model/pictureinfo.h"

namespace slv {

namespace {

constexpr std::size_t kTableRows = static_cast<std::size_t>(kMaxSprites) * kMaxStages;  // 3000
constexpr std::size_t kImagePrefixLen = 9;  // "\sprites\"
constexpr std::size_t kStagePrefixLen = 8;  // "\backpx\"

[[noreturn]] void damaged(const std::string& why) {
    throw Error("Damaged level package: " + why);
}

// Reads `n` bytes at `offset` of an open package.
void readAt(BinFile& f, std::int64_t offset, void* buf, std::size_t n) {
    f.seek(offset);
    f.readExact(buf, n);
}

std::string storedName(const std::string& name, const std::string& what) {
    std::optional<std::string> s = toWindows1252(name);
    if (!s)
        throw Error("The file name \"" + name + "\" of " + what +
                    " cannot be stored in a level package: it holds characters outside Windows-1252");
    return *s;
}

// Collects what Save appends and writes it in large blocks, so that many
// small bitmaps cost a few writes instead of one each. Large bitmaps are
// copied by the kernel straight from their file into the package. Written
// data is handed to the disk as it goes, so that the flush at the end of
// the save finds little left to write.
class Gather {
public:
    explicit Gather(PartFile& out) : out_(out), buf_(1 << 20) {}
    // Free space at the end of the buffer (at least 64 KB).
    char* room(std::size_t& n) {
        if (buf_.size() - used_ < (1u << 16)) flush();
        n = buf_.size() - used_;
        return buf_.data() + used_;
    }
    void filled(std::size_t n) { used_ += n; }
    void append(const char* data, std::size_t n) {
        while (n > 0) {
            std::size_t free = 0;
            char* p = room(free);
            const std::size_t k = std::min(n, free);
            std::memcpy(p, data, k);
            filled(k);
            data += k;
            n -= k;
        }
    }
    void flush() {
        if (used_ > 0) out_.write(buf_.data(), used_);
        startWriteback(used_);
        used_ = 0;
    }
    // Copies up to `size` bytes of `in` from `offset` on by the kernel and
    // sets `copied`. False when that cannot be done here (a package kept in
    // memory, or a file system that refuses) before any byte moved.
    bool copyFrom(int in, std::int64_t offset, std::int64_t size, std::int64_t& copied) {
        copied = 0;
        if (kernelCopyRefused_ || out_.fd() < 0) return false;
        flush();
        loff_t from = offset;
        while (copied < size) {
            const ssize_t n = ::copy_file_range(in, &from, out_.fd(), nullptr, static_cast<std::size_t>(size - copied), 0);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (copied == 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL ||
                                    errno == EBADF || errno == EPERM)) {
                    kernelCopyRefused_ = true;
                    return false;
                }
                throw Error("Writing the package: " + fileErrorText(errno));
            }
            if (n == 0) break;
            copied += n;
        }
        startWriteback(static_cast<std::size_t>(copied));
        return true;
    }

private:
    void startWriteback(std::size_t added) {
        pending_ += added;
        if (pending_ < kWritebackBytes || out_.fd() < 0) return;
        ::sync_file_range(out_.fd(), 0, 0, SYNC_FILE_RANGE_WRITE);  // a hint: failure changes nothing
        pending_ = 0;
    }

    static constexpr std::size_t kWritebackBytes = 4u << 20;
    PartFile& out_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
    std::size_t pending_ = 0;
    bool kernelCopyRefused_ = false;
};

// Members from this size on go through Gather::copyFrom.
constexpr std::int32_t kKernelCopyBytes = 64 << 10;

// Copies exactly `size` bytes of `source` to the package being written. The
// last read asks for one byte more than is left, so a file that grew is seen
// without a read of its own. Returns the first bytes (for the picture size).
std::string copyMember(const std::string& source, std::int32_t size, Gather& out) {
    std::string why;
    int fd = openRegularFile(source, O_RDONLY, Links::Follow, why);
    if (fd < 0) throw Error("Cannot read \"" + source + "\": " + why);
    std::string head;
    std::int64_t left = size;
    try {
        std::int64_t copied = 0;
        if (size >= kKernelCopyBytes && out.copyFrom(fd, 0, size, copied)) {
            struct stat st {};
            if (copied < size) left = size - copied;
            else if (::fstat(fd, &st) == 0 && st.st_size > size)
                throw Error("\"" + source + "\" became longer while the level was being saved");
            else left = 0;
            head.resize(kPictureHeadBytes);
            const ssize_t r = left == 0 ? ::pread(fd, head.data(), head.size(), 0) : 0;
            head.resize(r > 0 ? static_cast<std::size_t>(r) : 0);
        }
        while (copied == 0 && left > 0) {
            std::size_t room = 0;
            char* p = out.room(room);
            std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left + 1, static_cast<std::int64_t>(room)));
            ssize_t r = ::read(fd, p, want);
            if (r < 0) {
                if (errno == EINTR) continue;
                throw Error("Cannot read \"" + source + "\": " + fileErrorText(errno));
            }
            if (r == 0) break;
            if (r > left) throw Error("\"" + source + "\" became longer while the level was being saved");
            if (head.size() < kPictureHeadBytes)
                head.append(p, std::min<std::size_t>(static_cast<std::size_t>(r), kPictureHeadBytes - head.size()));
            out.filled(static_cast<std::size_t>(r));
            left -= r;
            if (left == 0 && static_cast<std::size_t>(r) < want) break;  // a regular file's end
        }
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    if (left > 0) throw Error("\"" + source + "\" became shorter while the level was being saved");
    return head;
}

// Copies `size` bytes at `offset` of an open package to the package being
// written. Returns the first bytes (for the picture size).
std::string copyPackageBytes(const MemberExtractor& package, std::int64_t offset, std::int64_t size, Gather& out) {
    std::string head(static_cast<std::size_t>(std::min<std::int64_t>(size, kPictureHeadBytes)), '\0');
    const std::size_t got = package.readAt(offset, head.data(), head.size());
    std::int64_t copied = 0;
    if (got == head.size() && size >= kKernelCopyBytes && out.copyFrom(package.fd(), offset, size, copied) &&
        copied == size)
        return head;
    for (std::int64_t at = copied; at < size;) {
        std::size_t room = 0;
        char* p = out.room(room);
        const std::size_t n = package.readAt(offset + at, p, static_cast<std::size_t>(std::min<std::int64_t>(size - at, room)));
        if (n == 0)
            throw Error("\"" + package.path() + "\" became shorter while the level was being saved from it");
        out.filled(n);
        at += static_cast<std::int64_t>(n);
    }
    return head;
}

// Measures a bitmap again; the message names the record on failure.
std::int32_t measure(const std::string& path, const std::string& what) {
    std::int64_t n;
    try {
        n = fileSize(path);
    } catch (const FileError& e) {  // the path is named already
        throw Error("Cannot read the bitmap of " + what + " (\"" + path + "\"): " + e.reason());
    } catch (const Error& e) {
        throw Error("Cannot read the bitmap of " + what + " (\"" + path + "\"): " + e.what());
    }
    if (n > std::numeric_limits<std::int32_t>::max())
        throw Error("The bitmap of " + what + " (\"" + path + "\") is larger than 2 GB");
    return static_cast<std::int32_t>(n);
}

bool plainName(const std::string& s) {
    if (s.empty() || s == "." || s == "..") return false;
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '/' || c == ':' || u < 0x20 || u == 0x7f) return false;
    }
    return true;
}

bool endsWithBmp(const std::string& s) {
    if (s.size() < 4) return false;
    std::string tail = s.substr(s.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".bmp";
}

// The entry name the last Open read for the bitmap at `path`. A stage entry
// must also give back the record's name (`name`, in memory), which a stage
// added later from the extracted file would not.
const std::string* knownEntry(const Level& level, const std::string& path, const NameField* name,
                              std::size_t prefixLen) {
    auto it = level.memberEntryNames.find(path);
    if (it == level.memberEntryNames.end() || it->second.size() < prefixLen) return nullptr;
    if (!name) return &it->second;
    NameField n{};
    n.setStored(std::string_view(it->second).substr(prefixLen));
    return n.stored() == name->stored() ? &it->second : nullptr;
}

std::string spriteLabel(int n, int s) { return "sprite " + std::to_string(n) + " of stage " + std::to_string(s); }

}  // namespace

PackageForm packageForm(const Level& level) {
    if (level.imageCount < 0 || level.imageCount > kMaxImages)
        throw Error("The level counts " + std::to_string(level.imageCount) + " images; a package holds at most 3000");
    if (level.stageCount < 0 || level.stageCount > kMaxStages) throw Error("Total stages are more than 30 !");
    PackageForm f;
    PackageTables& t = f.tables;

    // Images: the used slots of 1..imageCount, numbered on without gaps.
    std::vector<int> renumber(kMaxImages + 1, 0);
    for (int i = 1; i <= level.imageCount; ++i)
        if (imageUsed(level.image(i))) {
            f.imageSlots.push_back(i);
            renumber[static_cast<std::size_t>(i)] = static_cast<int>(f.imageSlots.size());
        }
    f.imageCount = static_cast<int>(f.imageSlots.size());
    const bool compact = f.imageCount != level.imageCount;
    if (compact) {
        t.images.assign(kMaxImages, ImageRec{});
        std::memset(t.images.data(), 0, t.images.size() * sizeof(ImageRec));
        for (int k = 1; k <= f.imageCount; ++k)
            t.images[static_cast<std::size_t>(k - 1)] = level.image(f.imageSlots[static_cast<std::size_t>(k - 1)]);
    } else {
        t.images.assign(level.imageTable, level.imageTable + kMaxImages);
    }
    // Names are in package form already; paths are this system's.
    for (ImageRec& r : t.images) {
        r.surface = 0;
        r.path.setStored(pathForPackage(r.path.str()));
    }

    t.stages.assign(level.stages, level.stages + kMaxStages + 1);
    for (StageRec& r : t.stages) r.path.setStored(pathForPackage(r.path.str()));
    t.sprites.resize(kTableRows);
    t.sectors.resize(kTableRows);
    for (int n = 0; n < kMaxSprites; ++n)
        for (int s = 0; s < kMaxStages; ++s) {
            SpriteRec& r = t.sprites[static_cast<std::size_t>(n * kMaxStages + s)];
            r = level.spriteTable[n][s];
            r.surface = 0;
            if (compact && r.image >= 1 && r.image <= level.imageCount && renumber[static_cast<std::size_t>(r.image)] > 0)
                r.image = renumber[static_cast<std::size_t>(r.image)];
        }
    for (int n = 0; n < kMaxSectors; ++n)
        for (int s = 0; s < kMaxStages; ++s) t.sectors[static_cast<std::size_t>(n * kMaxStages + s)] = level.sectorTable[n][s + 1];

    // The header.
    f.entries.reserve(static_cast<std::size_t>(kFixedEntries + f.imageCount + level.stageCount));
    f.entries.push_back(makeEntry(kSectorsMember, kSectorsStart, kSectorsFileBytes, false));
    f.entries.push_back(makeEntry(kSpritesMember, kSpritesStart, kSpritesBytes, false));
    f.entries.push_back(makeEntry(kImagesMember, kImagesStart, kImagesBytes, false));
    f.entries.push_back(makeEntry(kStagesMember, kStagesStart, kStagesBytes, false));
    std::int64_t run = kFirstBitmapStart;
    auto add = [&](const std::string& name, std::int32_t size, bool flag, const std::string& what) {
        if (size < 0) throw Error(what + " has a negative size");
        if (run > std::numeric_limits<std::int32_t>::max())
            throw Error("The level is too large for a package (more than 2 GB of bitmaps)");
        PackEntry e = makeEntry({}, static_cast<std::int32_t>(run), size, flag);
        e.name.setStored(name);
        f.entries.push_back(e);
        run += size;
    };
    for (int k = 1; k <= f.imageCount; ++k) {
        const int slot = f.imageSlots[static_cast<std::size_t>(k - 1)];
        const ImageRec& r = level.image(slot);
        const std::string what = "image " + std::to_string(slot);
        const std::string* known = knownEntry(level, r.path.str(), nullptr, kImagePrefixLen);
        std::string name = known ? *known
                                 : rawCut(std::string(kImagePrefix) + storedName(fileNamePart(r.path.str()), what), 50);
        add(name, r.size, k == f.imageCount, "Image " + std::to_string(slot));
    }
    for (int s = 1; s <= level.stageCount; ++s) {
        const StageRec& r = level.stage(s);
        const std::string* known = knownEntry(level, r.path.str(), &r.name, kStagePrefixLen);
        std::string name = known ? *known : stageEntryName(r);
        // The record's name must give its entry back when the package is read.
        t.stages[static_cast<std::size_t>(s)].name.setStored(std::string_view(name).substr(kStagePrefixLen));
        add(name, r.size, s == level.stageCount, "Stage " + std::to_string(s));
    }
    if (run > std::numeric_limits<std::int32_t>::max())
        throw Error("The level is too large for a package (more than 2 GB of bitmaps)");
    return f;
}

std::vector<PackEntry> headerEntries(const Level& level) { return packageForm(level).entries; }

PackageTables tablesOf(const Level& level) { return packageForm(level).tables; }

void checkTables(const PackageHeader& h, const PackageTables& t) {
    for (int s = 1; s <= h.stageCount; ++s) {
        const StageRec& st = t.stage(s);
        const PackEntry& e = h.stageEntry(s);
        std::string label = "stage " + std::to_string(s);
        if (st.spriteCount < 0 || st.spriteCount > kMaxSprites)
            damaged(label + " counts " + std::to_string(st.spriteCount) + " sprites (0 to 100 allowed)");
        if (st.sectorCount < 0 || st.sectorCount > kMaxSectors)
            damaged(label + " counts " + std::to_string(st.sectorCount) + " sectors (0 to 100 allowed)");
        if (!(e.name == stageEntryName(st)))
            damaged(label + " is named \"" + st.name.str() + "\" but its entry is \"" + e.name.str() + "\"");
        if (st.size != e.size)
            damaged(label + " records " + std::to_string(st.size) + " bytes but its entry holds " +
                    std::to_string(e.size));
    }
    for (int i = 1; i <= h.imageCount; ++i) {
        const ImageRec& im = t.image(i);
        const PackEntry& e = h.imageEntry(i);
        if (im.size != e.size)
            damaged("image " + std::to_string(i) + " records " + std::to_string(im.size) +
                    " bytes but its entry holds " + std::to_string(e.size));
    }
    for (int s = 1; s <= h.stageCount; ++s) {
        for (int n = 1; n <= t.stage(s).spriteCount; ++n) {
            const SpriteRec& sp = t.sprite(n, s);
            const std::string label = spriteLabel(n, s);
            if (sp.image < 1 || sp.image > h.imageCount)
                damaged(label + " uses image " + std::to_string(sp.image) + " but the package holds " +
                        std::to_string(h.imageCount) + " images");
            if (!imageUsed(t.image(sp.image)))
                damaged(label + " uses image " + std::to_string(sp.image) + ", a free slot");
            if (sp.frameCount < 1)
                damaged(label + " has " + std::to_string(sp.frameCount) + " frames (at least 1 needed)");
            // Frames 0 pixels wide (more frames than the strip has pixels)
            // are allowed: such a sprite draws nothing.
            if (sp.w < 0 || sp.h < 1)
                damaged(label + " has frames of " + std::to_string(sp.w) + " x " + std::to_string(sp.h) +
                        " pixels (the width cannot be negative and the height must be positive)");
            if (sp.frame < 1 || sp.frame > sp.frameCount)
                damaged(label + " shows frame " + std::to_string(sp.frame) + " of " + std::to_string(sp.frameCount));
        }
    }
}

void checkSpriteStrips(const PackageHeader& h, const PackageTables& t,
                       const std::function<std::string(int slot)>& headOf) {
    std::vector<std::optional<PictureSize>> sizes(static_cast<std::size_t>(h.imageCount) + 1);
    std::vector<bool> read(sizes.size(), false);
    for (int s = 1; s <= h.stageCount; ++s)
        for (int n = 1; n <= t.stage(s).spriteCount; ++n) {
            const SpriteRec& sp = t.sprite(n, s);
            const auto i = static_cast<std::size_t>(sp.image);
            if (!read[i]) {
                sizes[i] = pictureSize(headOf(sp.image));
                read[i] = true;
            }
            const std::string label = spriteLabel(n, s);
            const std::string image = "image " + std::to_string(sp.image) + " (\"" + t.image(sp.image).name.str() + "\")";
            if (!sizes[i]) damaged(label + " uses " + image + ", which is not a BMP or PNG picture");
            const std::int64_t strip = std::int64_t{sp.w} * sp.frameCount;
            if (strip > sizes[i]->width || sp.h > sizes[i]->height)
                damaged(label + ": " + std::to_string(sp.frameCount) + " frames of " + std::to_string(sp.w) + " x " +
                        std::to_string(sp.h) + " do not fit " + image + " of " + std::to_string(sizes[i]->width) +
                        " x " + std::to_string(sizes[i]->height) + " pixels");
        }
}

std::int64_t checkedPictureMemory(const std::string& what, const std::string& name, std::string_view head,
                                  std::int64_t size) {
    const std::optional<PictureLayout> l = pictureLayout(head);
    if (!l) return 0;  // not a picture: its load reports it
    if (l->pixelEnd > size)
        damaged(what + " (\"" + name + "\") is cut short: its header declares " + std::to_string(l->width) + " x " +
                std::to_string(l->height) + " pixels in " + std::to_string(l->pixelEnd) + " bytes but it holds " +
                std::to_string(size));
    const std::int64_t bytes = std::int64_t{l->width} * l->height * 4;
    if (bytes > kPictureMemoryBudget)
        refusePictureMemory(what + " (\"" + name + "\", " + std::to_string(l->width) + " x " +
                            std::to_string(l->height) + ")");
    return bytes;
}

void refusePictureMemory(const std::string& what) {
    throw Error("The level's pictures need more than " + std::to_string(kPictureMemoryBudget >> 30) +
                " GB of memory: " + what + " passes the limit");
}

void checkPictures(const PackageHeader& h, const PackageTables& t,
                   const std::function<std::string(const PackEntry&)>& headOf) {
    std::int64_t total = 0;
    std::int64_t largestStage = 0;
    std::string largestStageLabel;
    auto label = [](const std::string& what, const PackEntry& e, const PictureLayout& l) {
        return what + " (\"" + e.name.str() + "\", " + std::to_string(l.width) + " x " + std::to_string(l.height) + ")";
    };
    auto overBudget = [](const std::string& which) { refusePictureMemory(which); };
    auto measure = [&](const std::string& what, const PackEntry& e) -> std::int64_t {
        return checkedPictureMemory(what, e.name.str(), headOf(e), e.size);
    };
    for (int i = 1; i <= h.imageCount; ++i) {
        if (!imageUsed(t.image(i))) continue;
        const PackEntry& e = h.imageEntry(i);
        const std::string what = "image " + std::to_string(i);
        total += measure(what, e);
        if (total > kPictureMemoryBudget) {
            const std::optional<PictureLayout> l = pictureLayout(headOf(e));
            overBudget(label(what, e, *l));
        }
    }
    for (int s = 1; s <= h.stageCount; ++s) {
        const PackEntry& e = h.stageEntry(s);
        const std::string what = "stage " + std::to_string(s);
        const std::int64_t bytes = measure(what, e);
        if (bytes > largestStage) {
            largestStage = bytes;
            largestStageLabel = label(what, e, *pictureLayout(headOf(e)));
        }
    }
    if (total + largestStage > kPictureMemoryBudget) overBudget(largestStageLabel);
}

namespace {

PackageContents readAndCheck(const std::string& package) {
    PackageContents c;
    c.header = readPackageHeader(package);
    BinFile f(package, BinFile::Mode::Read);
    if (f.size() != c.header.fileSize) throw Error("The package changed while it was being read");
    const std::int64_t d = c.header.dataStart;
    PackageTables& t = c.tables;
    t.sectors.resize(kTableRows);
    t.sprites.resize(kTableRows);
    t.images.resize(kMaxImages);
    t.stages.resize(kMaxStages + 1);
    readAt(f, d + kSectorsStart, t.sectors.data(), kSectorsFileBytes);
    readAt(f, d + kSpritesStart, t.sprites.data(), kSpritesBytes);
    readAt(f, d + kImagesStart, t.images.data(), kImagesBytes);
    readAt(f, d + kStagesStart, t.stages.data(), kStagesBytes);
    checkTables(c.header, t);
    checkSpriteStrips(c.header, t, [&](int slot) {
        const PackEntry& e = c.header.imageEntry(slot);
        std::string head(std::min<std::size_t>(kPictureHeadBytes, static_cast<std::size_t>(e.size)), '\0');
        f.seek(d + e.start);
        head.resize(f.readSome(head.data(), head.size()));
        return head;
    });
    checkPictures(c.header, t, [&](const PackEntry& e) {
        std::string head(std::min<std::size_t>(kPictureLayoutBytes, static_cast<std::size_t>(e.size)), '\0');
        f.seek(d + e.start);
        head.resize(f.readSome(head.data(), head.size()));
        return head;
    });
    f.close();
    return c;
}

}  // namespace

// A refusal names the package it is about.
PackageContents readPackage(const std::string& package) {
    return withFileContext("Opening", package, [&] { return readAndCheck(package); });
}

void clearLevel(Level& level, PackageHooks& hooks) {
    int ts = std::clamp(level.stageCount, 0, kMaxStages);
    for (int s = 0; s <= ts; ++s) {
        level.stages[s].spriteCount = 0;
        level.stages[s].sectorCount = 0;
    }
    level.stageCount = 0;
    int ti = std::clamp(level.imageCount, 0, kMaxImages);
    for (int i = 1; i <= ti; ++i) {
        ImageRec& r = level.image(i);
        if (r.name.empty()) continue;
        r.name.clear();
        if (r.surface != 0) {
            SurfaceHandle s = r.surface;
            r.surface = 0;
            hooks.freeSurface(s);
        }
        r.useCount = 0;
    }
    level.imageCount = 0;
    level.memberEntryNames.clear();
}

void removeMemberTemps(const std::string& packageFolder) {
    for (const char* m : {kSectorsMember, kSpritesMember, kImagesMember, kStagesMember})
        deleteFile(joinPath(packageFolder, m));
}

std::string memberFileName(std::string_view entryName, std::string_view firstBytes) {
    // Entry names separate their folders with '\'.
    const std::size_t cut = entryName.find_last_of("\\/");
    if (cut != std::string_view::npos) entryName.remove_prefix(cut + 1);
    std::string name = fileNameFromWindows1252(entryName);
    if (!endsWithBmp(name) && looksLikeBmp(firstBytes)) name += ".bmp";
    return name;
}

std::string absolutePackagePath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    std::string_view rest = path;
    while (rest.size() > 2 && rest.substr(0, 2) == "./") rest.remove_prefix(2);
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    if (ec) throw Error("Cannot find the current folder for \"" + path + "\"");
    return (here / rest).string();
}

void saveLevel(Level& level, const std::string& pathGiven, PackageHooks& hooks, const LevelPictureStore* pictures) {
    if (level.imageCount < 0 || level.imageCount > kMaxImages)
        throw Error("The level counts " + std::to_string(level.imageCount) + " images; at most 3000 fit");
    if (level.stageCount < 0 || level.stageCount > kMaxStages) throw Error("Total stages are more than 30 !");
    if (fileNamePart(pathGiven).empty()) throw Error("Invalid filename");
    const std::string path = absolutePackagePath(pathGiven);

    // A picture the level holds is written from its bytes, not from its file.
    auto held = [pictures](const std::string& p) { return pictures ? pictures->find(p) : nullptr; };
    auto sizeOf = [&](const std::string& p, const std::string& what) {
        const LevelPictureStore::Picture* m = held(p);
        if (!m) return measure(p, what);
        pictures->checkPackage(p);
        if (m->size > std::numeric_limits<std::int32_t>::max())
            throw Error("The bitmap of " + what + " (\"" + p + "\") is larger than 2 GB");
        return static_cast<std::int32_t>(m->size);
    };
    auto copy = [&](const std::string& p, std::int32_t size, Gather& out) {
        const LevelPictureStore::Picture* m = held(p);
        if (!m) return copyMember(p, size, out);
        if (m->bytes) {
            out.append(m->bytes->data(), m->bytes->size());
            return m->bytes->substr(0, kPictureHeadBytes);
        }
        std::string head = copyPackageBytes(*m->package, m->offset, size, out);
        pictures->checkPackage(p);  // the bytes copied are those it held at Open
        return head;
    };

    // Measure every bitmap again, so that the header agrees with the data.
    for (int i = 1; i <= level.imageCount; ++i) {
        ImageRec& r = level.image(i);
        if (!imageUsed(r)) continue;
        std::string what = "image " + std::to_string(i) + " \"" + r.name.str() + "\"";
        if (!plainName(fileNamePart(r.path.str())))
            throw Error("The path of " + what + " (\"" + r.path.str() + "\") names no file");
        r.size = sizeOf(r.path.str(), what);
    }
    for (int s = 1; s <= level.stageCount; ++s) {
        StageRec& r = level.stage(s);
        std::string what = "stage " + std::to_string(s) + " \"" + r.name.str() + "\"";
        if (!plainName(r.name.str())) throw Error("Stage " + std::to_string(s) + " has no valid name");
        r.size = sizeOf(r.path.str(), what);
    }
    PackageForm form = packageForm(level);
    PackageHeader header;
    header.entries = form.entries;
    header.imageCount = form.imageCount;
    header.stageCount = level.stageCount;
    header.dataStart = std::int64_t{kEntryBytes} * header.fileCount();
    const PackageTables& tables = form.tables;
    auto refused = [](const Error& e) {
        std::string m = e.what();
        const std::string lead = "Damaged level package: ";
        if (m.rfind(lead, 0) == 0) m = m.substr(lead.size());
        return Error("The level cannot be saved: " + m);
    };
    try {
        checkTables(header, tables);
    } catch (const Error& e) {
        throw refused(e);
    }
    hooks.headerReady(header.fileCount());

    PartFile out(path);
    out.write(header.entries.data(), header.entries.size() * sizeof(PackEntry));
    out.write(tables.sectors.data(), kSectorsFileBytes);
    hooks.step();
    out.write(tables.sprites.data(), kSpritesBytes);
    hooks.step();
    out.write(tables.images.data(), kImagesBytes);
    hooks.step();
    out.write(tables.stages.data(), kStagesBytes);
    hooks.step();
    Gather gather(out);
    std::vector<std::string> heads(static_cast<std::size_t>(form.imageCount) + 1);
    for (int k = 1; k <= form.imageCount; ++k) {
        const ImageRec& r = level.image(form.imageSlots[static_cast<std::size_t>(k - 1)]);
        heads[static_cast<std::size_t>(k)] = copy(r.path.str(), r.size, gather);
        hooks.step();
    }
    for (int s = 1; s <= level.stageCount; ++s) {
        const StageRec& r = level.stage(s);
        copy(r.path.str(), r.size, gather);
        hooks.step();
    }
    gather.flush();
    try {
        checkSpriteStrips(header, tables, [&](int k) { return heads[static_cast<std::size_t>(k)]; });
        // What Open will read is checked as Open checks it, before it takes
        // the name. (A package written in place, where the folder takes no
        // new file, is held in memory until its commit.)
        if (!out.tempPath().empty()) readAndCheck(out.tempPath());
    } catch (const Error& e) {
        throw refused(e);
    }
    out.commit(/*replace=*/true);
    level.packageFolder = folderPart(path);
    removeMemberTemps(level.packageFolder);
}

namespace {

void checkExtractedPath(const std::string& p) {
    if (p.size() > 255)
        throw Error("The package folder's path is too long: \"" + p + "\" would exceed 255 characters");
}

}  // namespace

ExtractionPlan planExtraction(const std::string& folder, const PackageContents& c, const MemberExtractor& package,
                              const MemberFolder* sprites, const MemberFolder* backpx) {
    const PackageHeader& h = c.header;
    // Only a member whose name lacks ".bmp" needs its first bytes looked at.
    auto fileNameOf = [&](const PackEntry& e) {
        std::string name = memberFileName(e.name.str(), {});
        if (endsWithBmp(name) || e.size < 2) return name;
        char head[2] = {0, 0};
        std::size_t got = package.readAt(h.dataStart + e.start, head, 2);
        return memberFileName(e.name.str(), std::string_view(head, got));
    };
    const std::string spritesPath = joinPath(folder, "sprites") + "/";
    const std::string backpxPath = joinPath(folder, "backpx") + "/";
    MemberPlanner imagePlanner(package, sprites, spritesPath);
    MemberPlanner stagePlanner(package, backpx, backpxPath);
    auto plan = [&](MemberPlanner& planner, const std::string& dir, const PackEntry& e) {
        PlannedFile f = planner.plan(fileNameOf(e), e.name.str(), h.dataStart + e.start, e.size);
        checkExtractedPath(dir + f.name);
        return f;
    };
    ExtractionPlan result;
    result.imageFiles.resize(static_cast<std::size_t>(h.imageCount) + 1);
    result.stageFiles.resize(static_cast<std::size_t>(h.stageCount) + 1);
    for (int i = 1; i <= h.imageCount; ++i)
        if (imageUsed(c.tables.image(i)))
            result.imageFiles[static_cast<std::size_t>(i)] = plan(imagePlanner, spritesPath, h.imageEntry(i));
    for (int s = 1; s <= h.stageCount; ++s)
        result.stageFiles[static_cast<std::size_t>(s)] = plan(stagePlanner, backpxPath, h.stageEntry(s));
    result.filesExamined = imagePlanner.filesExamined() + stagePlanner.filesExamined();
    return result;
}

ExtractionPlan planExtraction(const std::string& packagePath, const PackageContents& contents) {
    const std::string path = absolutePackagePath(packagePath);
    const std::string folder = folderPart(path);
    MemberExtractor extractor(path);
    MemberFolder base = MemberFolder::open(folder);
    std::optional<MemberFolder> sprites = base.existingSubfolder("sprites");
    std::optional<MemberFolder> backpx = base.existingSubfolder("backpx");
    return planExtraction(folder, contents, extractor, sprites ? &*sprites : nullptr, backpx ? &*backpx : nullptr);
}

void openLevel(Level& level, const std::string& pathGiven, PackageHooks& hooks, PendingLevelFiles* later,
               LevelPictureStore* pictures) {
    const std::string path = absolutePackagePath(pathGiven);
    PackageContents c = readPackage(path);
    const PackageHeader& h = c.header;
    PackageTables& t = c.tables;
    const std::string folder = folderPart(path);
    auto package = std::make_shared<MemberExtractor>(path);
    MemberExtractor& extractor = *package;

    // The member folders are opened (links refused) before the level changes;
    // what a killed Open left in them goes first.
    MemberFolder base = MemberFolder::open(folder);
    std::optional<MemberFolder> sprites = base.existingSubfolder("sprites");
    std::optional<MemberFolder> backpx = base.existingSubfolder("backpx");
    for (const auto* f : {&sprites, &backpx})
        if (*f) (*f)->removeStaleTemporaries();
    // Where each bitmap goes; every final path is checked before anything
    // is written, a missing folder made only then.
    const ExtractionPlan plan =
        planExtraction(folder, c, extractor, sprites ? &*sprites : nullptr, backpx ? &*backpx : nullptr);
    // Files written now need their folders now; files left for later make
    // theirs with the first of them.
    if (!later) {
        if (!sprites) sprites = base.subfolder("sprites");
        if (!backpx) backpx = base.subfolder("backpx");
    }

    hooks.headerReady(h.fileCount());
    hooks.beforeLoad();
    clearLevel(level, hooks);

    // The four tables come from the package itself, never from files in the folder.
    for (int k = 0; k < kFixedEntries; ++k) hooks.step();
    std::unordered_map<std::string, std::string> entryOf;  // extracted path -> entry name
    PendingLevelFiles pending;
    constexpr std::size_t kSpritesFolder = 0, kBackpxFolder = 1;
    pending.folders_.push_back({"sprites", std::move(sprites)});
    pending.folders_.push_back({"backpx", std::move(backpx)});
    auto extract = [&](std::size_t folderIndex, const PackEntry& e, const PlannedFile& file) {
        const PendingLevelFiles::Folder& dir = pending.folders_[folderIndex];
        std::string p = base.pathOf(dir.name + "/" + file.name);
        if (file.create && later) {
            pending.byPath_.emplace(p, pending.files_.size());
            pending.files_.push_back({folderIndex, file.name, h.dataStart + e.start, e.size});
        } else if (file.create) {
            extractor.extractNew(*dir.open, file.name, h.dataStart + e.start, e.size);
        }
        entryOf.emplace(p, e.name.str());
        return p;
    };
    std::vector<std::string> imagePaths(plan.imageFiles.size()), stagePaths(plan.stageFiles.size());
    for (int i = 1; i <= h.imageCount; ++i) {
        if (imageUsed(t.image(i)))
            imagePaths[static_cast<std::size_t>(i)] =
                extract(kSpritesFolder, h.imageEntry(i), plan.imageFiles[static_cast<std::size_t>(i)]);
        hooks.step();
    }
    for (int s = 1; s <= h.stageCount; ++s) {
        stagePaths[static_cast<std::size_t>(s)] =
            extract(kBackpxFolder, h.stageEntry(s), plan.stageFiles[static_cast<std::size_t>(s)]);
        hooks.step();
    }

    // Every check has passed and every bitmap is in place: take the tables,
    // names as stored and paths in this system's form.
    for (int i = 1; i <= kMaxImages; ++i) {
        ImageRec& r = level.image(i);
        r = t.image(i);
        r.surface = 0;
        if (i <= h.imageCount && imageUsed(r)) r.path.set(imagePaths[static_cast<std::size_t>(i)]);
        else r.path.set(pathFromPackage(r.path.str()));
    }
    for (int n = 1; n <= kMaxSprites; ++n)
        for (int s = 1; s <= kMaxStages; ++s) {
            SpriteRec& r = level.sprite(n, s);
            r = t.sprite(n, s);
            r.surface = 0;
        }
    for (int n = 1; n <= kMaxSectors; ++n)
        for (int s = 1; s <= kMaxStages; ++s) level.sector(n, s) = t.sector(n, s);
    for (int s = 0; s <= kMaxStages; ++s) {
        StageRec& r = level.stages[s];
        r = t.stage(s);
        if (s >= 1 && s <= h.stageCount) r.path.set(stagePaths[static_cast<std::size_t>(s)]);
        else r.path.set(pathFromPackage(r.path.str()));
    }
    // Column 0 of the sector table is not stored, so stage 0 keeps no counts.
    level.stages[0].spriteCount = 0;
    level.stages[0].sectorCount = 0;
    level.imageCount = h.imageCount;
    level.stageCount = h.stageCount;
    level.packageFolder = folder;
    level.memberEntryNames = std::move(entryOf);

    try {
        for (int i = 1; i <= h.imageCount; ++i) {
            ImageRec& r = level.image(i);
            if (!imageUsed(r)) continue;
            if (!later) {
                r.surface = hooks.loadImage(i, r.path.str());
                continue;
            }
            const PackEntry& e = h.imageEntry(i);
            r.surface = hooks.loadImageData(i, r.path.str(), [&] {
                std::string bytes(static_cast<std::size_t>(e.size), '\0');
                if (extractor.readAt(h.dataStart + e.start, bytes.data(), bytes.size()) != bytes.size())
                    throw Error("Cannot read \"" + e.name.str() + "\" from \"" + path + "\": the package ends before it");
                return bytes;
            });
        }
    } catch (...) {
        clearLevel(level, hooks);
        throw;
    }
    for (int n = 1; n <= kMaxSprites; ++n)
        for (int s = 1; s <= kMaxStages; ++s) {
            SpriteRec& sp = level.sprite(n, s);
            if (!sp.name.empty() && sp.image >= 1 && sp.image <= kMaxImages)
                sp.surface = level.image(sp.image).surface;
        }
    removeMemberTemps(folder);
    if (pictures) {
        pictures->clear();
        for (int i = 1; i <= h.imageCount; ++i)
            if (imageUsed(level.image(i))) {
                const PackEntry& e = h.imageEntry(i);
                pictures->putMember(level.image(i).path.str(), package, h.dataStart + e.start, e.size);
            }
        for (int s = 1; s <= h.stageCount; ++s) {
            const PackEntry& e = h.stageEntry(s);
            pictures->putMember(level.stage(s).path.str(), package, h.dataStart + e.start, e.size);
        }
    }
    if (later) {
        pending.package_ = std::move(package);
        pending.base_ = std::move(base);
        pending.left_ = pending.files_.size();
        *later = std::move(pending);
    }
}

void resaveLevel(Level& level, const std::string& in, const std::string& out) {
    PackageHooks hooks;
    PendingLevelFiles files;
    openLevel(level, in, hooks, &files);
    const UnwrittenPictures pictures = files.unwrittenPictures();
    saveLevel(level, out, hooks, &pictures);
}

PendingLevelFiles::PendingLevelFiles() = default;
PendingLevelFiles::~PendingLevelFiles() = default;
PendingLevelFiles::PendingLevelFiles(PendingLevelFiles&&) noexcept = default;
PendingLevelFiles& PendingLevelFiles::operator=(PendingLevelFiles&&) noexcept = default;

const PendingLevelFiles::File* PendingLevelFiles::unwritten(const std::string& path) const {
    const auto at = byPath_.find(path);
    if (at == byPath_.end() || files_[at->second].written) return nullptr;
    return &files_[at->second];
}

LevelPictureStore PendingLevelFiles::unwrittenPictures() const {
    LevelPictureStore u;
    if (empty()) return u;
    for (const auto& [path, k] : byPath_)
        if (!files_[k].written) u.putMember(path, package_, files_[k].offset, files_[k].size);
    return u;
}

const LevelPictureStore::Picture* LevelPictureStore::find(const std::string& path) const {
    const auto at = pictures_.find(path);
    return at == pictures_.end() ? nullptr : &at->second;
}

std::int64_t LevelPictureStore::heldBytes() const {
    std::int64_t n = 0;
    for (const auto& [path, p] : pictures_)
        if (p.bytes) n += static_cast<std::int64_t>(p.bytes->size());
    return n;
}

void LevelPictureStore::putMember(const std::string& path, std::shared_ptr<const MemberExtractor> package,
                              std::int64_t offset, std::int64_t size) {
    Picture& p = pictures_[path];
    p = Picture{std::move(package), offset, size, nullptr};
}

void LevelPictureStore::putBytes(const std::string& path, std::shared_ptr<const std::string> bytes) {
    Picture& p = pictures_[path];
    const auto size = static_cast<std::int64_t>(bytes->size());
    p = Picture{nullptr, 0, size, std::move(bytes)};
}

std::string LevelPictureStore::head(const std::string& path, std::size_t n) const {
    const Picture* p = find(path);
    if (!p) throw Error("The level holds no picture for \"" + path + "\"");
    if (p->bytes) return p->bytes->substr(0, n);
    std::string bytes(static_cast<std::size_t>(std::min<std::int64_t>(p->size, static_cast<std::int64_t>(n))), '\0');
    bytes.resize(p->package->readAt(p->offset, bytes.data(), bytes.size()));
    return bytes;
}

std::string LevelPictureStore::read(const std::string& path) const {
    const Picture* p = find(path);
    if (!p) throw Error("The level holds no picture for \"" + path + "\"");
    if (p->bytes) return *p->bytes;
    checkPackage(path);
    std::string bytes(static_cast<std::size_t>(p->size), '\0');
    if (p->package->readAt(p->offset, bytes.data(), bytes.size()) != bytes.size())
        throw Error("Cannot read the picture for \"" + path + "\" from \"" + p->package->path() +
                    "\": the package ends before it");
    return bytes;
}

namespace {

// Bytes written into the package in place since the Open are not the
// level's: its pictures were loaded from the bytes it had then.
void checkNotWrittenOver(const MemberExtractor& package, const std::string& picture) {
    if (package.changedSinceOpened())
        throw Error("\"" + package.path() + "\" was written over after the level was opened from it: it no longer "
                    "holds the picture for \"" + picture + "\". Open the level again.");
}

}  // namespace

void LevelPictureStore::checkPackage(const std::string& path) const {
    const Picture* p = find(path);
    if (p && p->package) checkNotWrittenOver(*p->package, path);
}

void PendingLevelFiles::write(File& f) {
    checkNotWrittenOver(*package_, pathOf(f));
    Folder& folder = folders_[f.folder];
    if (!folder.open) folder.open = base_->subfolder(folder.name);
    package_->extractNew(*folder.open, f.name, f.offset, f.size);
    f.written = true;
    if (--left_ == 0) *this = PendingLevelFiles();  // the package is closed with the last file
}

void PendingLevelFiles::writeNext() {
    while (next_ < files_.size() && files_[next_].written) ++next_;
    if (next_ < files_.size()) write(files_[next_]);
}

void PendingLevelFiles::writeFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (empty()) return;
        if (const File* f = unwritten(path)) write(files_[std::size_t(f - files_.data())]);
    }
}

void PendingLevelFiles::writeAll() {
    while (!empty()) writeNext();
}

}  // namespace slv
