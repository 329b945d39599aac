// slvtool: the level package reader and writer of the editor, on the
// command line.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/errors.h"
#include "model/fileio.h"
#include "package/format.h"
#include "package/levelio.h"

namespace {

const char* const kUsage =
    "Usage: slvtool COMMAND ARGS...\n"
    "\n"
    "Commands:\n"
    "  ls PKG            list the header entries (name, start, size, flag), then\n"
    "                    stages 1..totstages with their sprites (name, x, y,\n"
    "                    frames, image) and sectors (name, x, y, w, h)\n"
    "  check PKG         run every check that Open makes; prints \"ok\" or the\n"
    "                    reason the package is refused\n"
    "  extract PKG DIR   extract every member under DIR (the four tables as\n"
    "                    _*.tmp files, bitmaps under DIR/sprites and DIR/backpx);\n"
    "                    files already present are kept\n"
    "  resave IN OUT     open IN (bitmaps land beside IN) and save the level to\n"
    "                    OUT through the editor's own load and save code\n"
    "  --help            show this text\n"
    "\n"
    "Exit status: 0 success, 1 the input was refused or a file operation failed,\n"
    "2 wrong usage.\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int cmdLs(const std::string& pkg) {
    slv::PackageContents c = slv::readPackage(pkg);
    const slv::PackageHeader& h = c.header;
    std::printf("entries %d data %lld size %lld\n", h.totfiles(), static_cast<long long>(h.dataStart),
                static_cast<long long>(h.fileSize));
    for (const slv::PackEntry& e : h.entries)
        std::printf("entry %-50s %10d %10d %d\n", e.name.str().c_str(), e.start, e.size, e.flag);
    for (int i = 1; i <= h.totimages; ++i) {
        const slv::ImageRec& r = c.tables.image(i);
        std::printf("image %d %s size %d refs %d\n", i, r.name.empty() ? "-" : r.name.str().c_str(), r.size,
                    r.refs);
    }
    for (int s = 1; s <= h.totstages; ++s) {
        const slv::StageRec& st = c.tables.stage(s);
        std::printf("stage %d %s sprites %d sectors %d\n", s, st.name.str().c_str(), st.totsprites,
                    st.totsectors);
        for (int n = 1; n <= st.totsprites; ++n) {
            const slv::SpriteRec& sp = c.tables.sprite(n, s);
            std::printf("  sprite %d %s x %d y %d frames %d image %d\n", n, sp.name.str().c_str(), sp.x, sp.y,
                        sp.totpos, sp.image);
        }
        for (int n = 1; n <= st.totsectors; ++n) {
            const slv::SectorRec& sc = c.tables.sector(n, s);
            std::printf("  sector %d %s x %d y %d w %d h %d\n", n, sc.name.str().c_str(), sc.x, sc.y, sc.w,
                        sc.h);
        }
    }
    return 0;
}

int cmdCheck(const std::string& pkg) {
    slv::PackageContents c = slv::readPackage(pkg);
    std::printf("ok: %d entries, %d images, %d stages\n", c.header.totfiles(), c.header.totimages,
                c.header.totstages);
    return 0;
}

int cmdExtract(const std::string& pkg, const std::string& dir) {
    slv::PackageContents c = slv::readPackage(pkg);
    const slv::PackageHeader& h = c.header;
    std::vector<std::string> dests;
    for (const slv::PackEntry& e : h.entries) dests.push_back(slv::memberPath(dir, e.name.str()));
    slv::createDir(dir);
    slv::createDir(slv::joinPath(dir, "sprites"));
    slv::createDir(slv::joinPath(dir, "backpx"));
    for (std::size_t k = 0; k < h.entries.size(); ++k) {
        const slv::PackEntry& e = h.entries[k];
        slv::getfile(pkg, dests[k], h.dataStart + e.start, e.size);
        std::printf("%s\n", dests[k].c_str());
    }
    return 0;
}

int cmdResave(const std::string& in, const std::string& out) {
    auto level = std::make_unique<slv::Level>();
    slv::PackageHooks hooks;
    slv::openLevel(*level, in, hooks);
    slv::saveLevel(*level, out, hooks);
    std::printf("saved %s: %d images, %d stages\n", out.c_str(), level->totimages, level->totstages);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    slv::ignoreFileSizeSignal();
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.empty()) return usage();
    if (a[0] == "--help" || a[0] == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        if (a[0] == "ls" && a.size() == 2) return cmdLs(a[1]);
        if (a[0] == "check" && a.size() == 2) return cmdCheck(a[1]);
        if (a[0] == "extract" && a.size() == 3) return cmdExtract(a[1], a[2]);
        if (a[0] == "resave" && a.size() == 3) return cmdResave(a[1], a[2]);
    } catch (const slv::Error& e) {
        std::fprintf(stderr, "slvtool: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "slvtool: %s\n", e.what());
        return 1;
    }
    return usage();
}
