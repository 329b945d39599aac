#include "levelio.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "model/errors.h"
#include "model/fileio.h"
#include "partfile.h"

namespace slv {

namespace {

constexpr std::size_t kTableRows = static_cast<std::size_t>(kMaxSprites) * kMaxStages;  // 3000

[[noreturn]] void damaged(const std::string& why) {
    throw Error("Damaged level package: " + why);
}

// Reads `n` bytes at `offset` of an open package.
void readAt(BinFile& f, std::int64_t offset, void* buf, std::size_t n) {
    f.seek(offset);
    f.readExact(buf, n);
}

// Copies exactly `size` bytes of `source` to the package being written; the
// source must still be exactly that long.
void copyMember(const std::string& source, std::int32_t size, PartFile& out, std::vector<char>& buf) {
    BinFile in(source, BinFile::Mode::Read);
    std::int64_t left = size;
    while (left > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(buf.size())));
        std::size_t got = in.readSome(buf.data(), want);
        if (got == 0)
            throw Error("\"" + source + "\" became shorter while the level was being saved");
        out.write(buf.data(), got);
        left -= static_cast<std::int64_t>(got);
    }
    char extra;
    if (in.readSome(&extra, 1) != 0)
        throw Error("\"" + source + "\" became longer while the level was being saved");
    in.close();
}

// Measures a bitmap again; the message names the record on failure.
std::int32_t measure(const std::string& path, const std::string& what) {
    std::int64_t n;
    try {
        n = fileSize(path);
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

PackageHeader headerOf(std::vector<PackEntry> entries, const Level& level) {
    PackageHeader h;
    h.entries = std::move(entries);
    h.totimages = level.totimages;
    h.totstages = level.totstages;
    h.dataStart = std::int64_t{kEntryBytes} * h.totfiles();
    return h;
}

}  // namespace

PackageTables tablesOf(const Level& level) {
    PackageTables t;
    t.stages.assign(level.stages, level.stages + kMaxStages + 1);
    t.images.assign(level.imageTable, level.imageTable + kMaxImages);
    t.sprites.resize(kTableRows);
    t.sectors.resize(kTableRows);
    for (int n = 0; n < kMaxSprites; ++n)
        for (int s = 0; s < kMaxStages; ++s)
            t.sprites[static_cast<std::size_t>(n * kMaxStages + s)] = level.spriteTable[n][s];
    for (int n = 0; n < kMaxSectors; ++n)
        for (int s = 0; s < kMaxStages; ++s)
            t.sectors[static_cast<std::size_t>(n * kMaxStages + s)] = level.sectorTable[n][s + 1];
    // Surface references mean nothing outside the run.
    for (ImageRec& r : t.images) r.surface = 0;
    for (SpriteRec& r : t.sprites) r.surface = 0;
    return t;
}

void checkTables(const PackageHeader& h, const PackageTables& t) {
    for (int s = 1; s <= h.totstages; ++s) {
        const StageRec& st = t.stage(s);
        const PackEntry& e = h.stageEntry(s);
        std::string label = "stage " + std::to_string(s);
        if (st.totsprites < 0 || st.totsprites > kMaxSprites)
            damaged(label + " counts " + std::to_string(st.totsprites) + " sprites (0 to 100 allowed)");
        if (st.totsectors < 0 || st.totsectors > kMaxSectors)
            damaged(label + " counts " + std::to_string(st.totsectors) + " sectors (0 to 100 allowed)");
        if (!(e.name == stageEntryName(st)))
            damaged(label + " is named \"" + st.name.str() + "\" but its entry is \"" + e.name.str() + "\"");
        if (st.size != e.size)
            damaged(label + " records " + std::to_string(st.size) + " bytes but its entry holds " +
                    std::to_string(e.size));
    }
    for (int i = 1; i <= h.totimages; ++i) {
        const ImageRec& im = t.image(i);
        const PackEntry& e = h.imageEntry(i);
        if (im.size != e.size)
            damaged("image " + std::to_string(i) + " records " + std::to_string(im.size) +
                    " bytes but its entry holds " + std::to_string(e.size));
    }
    for (int s = 1; s <= h.totstages; ++s) {
        for (int n = 1; n <= t.stage(s).totsprites; ++n) {
            const SpriteRec& sp = t.sprite(n, s);
            std::string label = "sprite " + std::to_string(n) + " of stage " + std::to_string(s);
            if (sp.image < 1 || sp.image > h.totimages)
                damaged(label + " uses image " + std::to_string(sp.image) + " but the package holds " +
                        std::to_string(h.totimages) + " images");
            if (!imageUsed(t.image(sp.image)))
                damaged(label + " uses image " + std::to_string(sp.image) + ", a free slot");
            if (sp.totpos < 1)
                damaged(label + " has " + std::to_string(sp.totpos) + " frames (at least 1 needed)");
        }
    }
}

PackageContents readPackage(const std::string& package) {
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
    f.close();
    checkTables(c.header, t);
    return c;
}

void clearLevel(Level& level, PackageHooks& hooks) {
    int ts = std::clamp(level.totstages, 0, kMaxStages);
    for (int s = 0; s <= ts; ++s) {
        level.stages[s].totsprites = 0;
        level.stages[s].totsectors = 0;
    }
    level.totstages = 0;
    int ti = std::clamp(level.totimages, 0, kMaxImages);
    for (int i = 1; i <= ti; ++i) {
        ImageRec& r = level.image(i);
        if (r.name.empty()) continue;
        r.name.clear();
        if (r.surface != 0) {
            SurfaceHandle s = r.surface;
            r.surface = 0;
            hooks.freeSurface(s);
        }
        r.refs = 0;
    }
    level.totimages = 0;
}

void removeMemberTemps(const std::string& packfolder) {
    for (const char* m : {kSectorsMember, kSpritesMember, kImagesMember, kStagesMember})
        deleteFile(joinPath(packfolder, m));
}

void saveLevel(Level& level, const std::string& path, PackageHooks& hooks) {
    if (level.totimages < 0 || level.totimages > kMaxImages)
        throw Error("The level counts " + std::to_string(level.totimages) + " images; at most 3000 fit");
    if (level.totstages < 0 || level.totstages > kMaxStages) throw Error("Total stages are more than 30 !");
    if (fileNamePart(path).empty()) throw Error("Invalid filename");

    // Measure every bitmap again, so that the header agrees with the data.
    for (int i = 1; i <= level.totimages; ++i) {
        ImageRec& r = level.image(i);
        if (!imageUsed(r)) {
            r.size = 0;
            continue;
        }
        std::string what = "image " + std::to_string(i) + " \"" + r.name.str() + "\"";
        if (!plainName(fileNamePart(r.path.str())))
            throw Error("The path of " + what + " (\"" + r.path.str() + "\") names no file");
        r.size = measure(r.path.str(), what);
    }
    for (int s = 1; s <= level.totstages; ++s) {
        StageRec& r = level.stage(s);
        std::string what = "stage " + std::to_string(s) + " \"" + r.name.str() + "\"";
        if (!plainName(r.name.str())) throw Error("Stage " + std::to_string(s) + " has no valid name");
        r.size = measure(r.path.str(), what);
    }
    PackageHeader header = headerOf(headerEntries(level), level);
    PackageTables tables = tablesOf(level);
    try {
        checkTables(header, tables);
    } catch (const Error& e) {
        std::string m = e.what();
        const std::string lead = "Damaged level package: ";
        if (m.rfind(lead, 0) == 0) m = m.substr(lead.size());
        throw Error("The level cannot be saved: " + m);
    }
    hooks.headerReady(header.totfiles());

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
    std::vector<char> buf(1 << 18);
    for (int i = 1; i <= level.totimages; ++i) {
        const ImageRec& r = level.image(i);
        if (imageUsed(r)) copyMember(r.path.str(), r.size, out, buf);
        hooks.step();
    }
    for (int s = 1; s <= level.totstages; ++s) {
        const StageRec& r = level.stage(s);
        copyMember(r.path.str(), r.size, out, buf);
        hooks.step();
    }
    out.commit(/*replace=*/true);
    level.packfolder = folderPart(path);
    removeMemberTemps(level.packfolder);
}

void openLevel(Level& level, const std::string& path, PackageHooks& hooks) {
    PackageContents c = readPackage(path);
    const PackageHeader& h = c.header;
    PackageTables& t = c.tables;
    const std::string folder = folderPart(path);

    // Where every bitmap goes; all names are checked before anything is written.
    std::vector<std::string> imagePaths(static_cast<std::size_t>(h.totimages) + 1);
    std::vector<std::string> stagePaths(static_cast<std::size_t>(h.totstages) + 1);
    auto place = [&](const PackEntry& e) {
        std::string p = memberPath(folder, e.name.str());
        if (p.size() > 255)
            throw Error("The package folder's path is too long: \"" + p + "\" would exceed 255 characters");
        return p;
    };
    for (int i = 1; i <= h.totimages; ++i)
        if (imageUsed(t.image(i))) imagePaths[static_cast<std::size_t>(i)] = place(h.imageEntry(i));
    for (int s = 1; s <= h.totstages; ++s) stagePaths[static_cast<std::size_t>(s)] = place(h.stageEntry(s));

    hooks.headerReady(h.totfiles());
    hooks.beforeLoad();
    clearLevel(level, hooks);
    level.totfiles = h.totfiles();

    // The four tables come from the package itself, never from files in the folder.
    for (int k = 0; k < kFixedEntries; ++k) hooks.step();
    {
        BinFile pkg(path, BinFile::Mode::Read);
        std::vector<char> buf;
        createDir(joinPath(folder, "sprites"));
        for (int i = 1; i <= h.totimages; ++i) {
            const PackEntry& e = h.imageEntry(i);
            if (imageUsed(t.image(i)))
                extractMember(pkg, imagePaths[static_cast<std::size_t>(i)], h.dataStart + e.start, e.size, buf);
            hooks.step();
        }
        createDir(joinPath(folder, "backpx"));
        for (int s = 1; s <= h.totstages; ++s) {
            const PackEntry& e = h.stageEntry(s);
            extractMember(pkg, stagePaths[static_cast<std::size_t>(s)], h.dataStart + e.start, e.size, buf);
            hooks.step();
        }
        pkg.close();
    }

    // Every check has passed and every bitmap is in place: take the tables.
    for (int i = 1; i <= kMaxImages; ++i) {
        ImageRec& r = level.image(i);
        r = t.image(i);
        r.surface = 0;
        if (i <= h.totimages && imageUsed(r)) r.path.set(imagePaths[static_cast<std::size_t>(i)]);
    }
    for (int n = 1; n <= kMaxSprites; ++n)
        for (int s = 1; s <= kMaxStages; ++s) {
            level.sprite(n, s) = t.sprite(n, s);
            level.sprite(n, s).surface = 0;
        }
    for (int n = 1; n <= kMaxSectors; ++n)
        for (int s = 1; s <= kMaxStages; ++s) level.sector(n, s) = t.sector(n, s);
    for (int s = 0; s <= kMaxStages; ++s) {
        level.stages[s] = t.stage(s);
        if (s >= 1 && s <= h.totstages) level.stages[s].path.set(stagePaths[static_cast<std::size_t>(s)]);
    }
    // Column 0 of the sector table is not stored, so stage 0 keeps no counts.
    level.stages[0].totsprites = 0;
    level.stages[0].totsectors = 0;
    level.totimages = h.totimages;
    level.totstages = h.totstages;
    level.packfolder = folder;

    try {
        for (int i = 1; i <= h.totimages; ++i) {
            ImageRec& r = level.image(i);
            if (imageUsed(r)) r.surface = hooks.loadImage(i, r.path.str());
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
}

}  // namespace slv
