// slvtool: the level package reader and writer of the editor, on the
// command line.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/errors.h"
#include "model/fileio.h"
#include "package/format.h"
#include "model/names.h"
#include "package/extract.h"
#include "package/levelio.h"
#include "package/memberplanner.h"
#include "printable.h"

namespace {

const char* const kUsage =
    "Usage: slvtool COMMAND ARGS...\n"
    "\n"
    "Commands:\n"
    "  ls PKG            list the header entries (name, start, size, flag), then\n"
    "                    stages 1..N with their sprites (name, x, y,\n"
    "                    frames, image) and sectors (name, x, y, w, h);\n"
    "                    control bytes in names are shown as \\xHH\n"
    "  check PKG         run every check that Open makes and decode every bitmap\n"
    "                    member as the editor loads pictures, so that a package\n"
    "                    check accepts also opens; prints \"ok\" or the reason\n"
    "                    the package is refused\n"
    "  extract PKG DIR   extract every member under DIR (the four tables as\n"
    "                    _*.tmp files, bitmaps under DIR/sprites and DIR/backpx);\n"
    "                    files already present are kept, a member whose name is\n"
    "                    taken by other bytes goes to a free name (city~2.bmp);\n"
    "                    nothing is written through a symbolic link\n"
    "  resave IN OUT     open IN (bitmaps land beside IN) and save the level to\n"
    "                    OUT through the editor's own load and save code\n"
    "  render PKG STAGE OUT.png [--key RRGGBB]\n"
    "                    open PKG as the editor does (bitmaps land beside it) and\n"
    "                    draw stage STAGE (1..30) as the view shows it with that\n"
    "                    stage open: its backdrop and every sprite at its first\n"
    "                    frame, keyed with the sprite colour key (default ff00ff,\n"
    "                    magenta), 640x430 at 32 bits, no outlines, actor or\n"
    "                    numbers; written as a PNG\n"
    "  --help            show this text\n"
    "\n"
    "Package paths may be relative to the current folder.\n"
    "Exit status: 0 success, 1 the input was refused or a file operation failed\n"
    "(the message says why), 2 wrong usage.\n";

using slvtool::printable;

// A stored (Windows-1252) name as this terminal shows text, control bytes
// escaped ("\x1b").
template <int N>
std::string shown(const slv::PStr<N>& name) {
    return printable(slv::fromWindows1252(name.str()));
}

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int cmdLs(const std::string& pkg) {
    slv::PackageContents c = slv::readPackage(pkg);
    const slv::PackageHeader& h = c.header;
    std::printf("entries %d data %lld size %lld\n", h.fileCount(), static_cast<long long>(h.dataStart),
                static_cast<long long>(h.fileSize));
    for (const slv::PackEntry& e : h.entries)
        std::printf("entry %-50s %10d %10d %d\n", shown(e.name).c_str(), e.start, e.size, e.flag);
    for (int i = 1; i <= h.imageCount; ++i) {
        const slv::ImageRec& r = c.tables.image(i);
        std::printf("image %d %s size %d uses %d\n", i, r.name.empty() ? "-" : shown(r.name).c_str(), r.size,
                    r.useCount);
    }
    for (int s = 1; s <= h.stageCount; ++s) {
        const slv::StageRec& st = c.tables.stage(s);
        std::printf("stage %d %s sprites %d sectors %d\n", s, shown(st.name).c_str(), st.spriteCount,
                    st.sectorCount);
        for (int n = 1; n <= st.spriteCount; ++n) {
            const slv::SpriteRec& sp = c.tables.sprite(n, s);
            std::printf("  sprite %d %s x %d y %d frames %d image %d\n", n, shown(sp.name).c_str(), sp.x, sp.y,
                        sp.frameCount, sp.image);
        }
        for (int n = 1; n <= st.sectorCount; ++n) {
            const slv::SectorRec& sc = c.tables.sector(n, s);
            std::printf("  sector %d %s x %d y %d w %d h %d\n", n, shown(sc.name).c_str(), sc.x, sc.y, sc.w,
                        sc.h);
        }
    }
    return 0;
}

int cmdExtract(const std::string& pkg, const std::string& dir) {
    slv::PackageContents c = slv::readPackage(pkg);
    const slv::PackageHeader& h = c.header;
    slv::createDir(dir);
    slv::MemberFolder base = slv::MemberFolder::open(dir);
    slv::MemberFolder sprites = base.subfolder("sprites");
    slv::MemberFolder backpx = base.subfolder("backpx");
    slv::MemberExtractor extractor(pkg);
    for (const slv::MemberFolder* f : {&base, &sprites, &backpx}) f->removeStaleTemporaries();
    // Every name is planned first; any member may share a file with the same bytes.
    slv::MemberPlanner planBase(extractor, &base, base.path(), true);
    slv::MemberPlanner planSprites(extractor, &sprites, sprites.path(), true);
    slv::MemberPlanner planBackpx(extractor, &backpx, backpx.path(), true);
    std::vector<slv::PlannedFile> files;
    for (int k = 0; k < h.fileCount(); ++k) {
        const slv::PackEntry& e = h.entries[static_cast<std::size_t>(k)];
        const std::int64_t offset = h.dataStart + e.start;
        slv::MemberPlanner& planner =
            k < slv::kFixedEntries ? planBase : k < slv::kFixedEntries + h.imageCount ? planSprites : planBackpx;
        char head[2] = {0, 0};
        std::size_t got = e.size >= 2 ? extractor.readAt(offset, head, 2) : 0;
        files.push_back(planner.plan(slv::memberFileName(e.name.str(), std::string_view(head, got)), e.name.str(),
                                     offset, e.size));
    }
    for (int k = 0; k < h.fileCount(); ++k) {
        const slv::PackEntry& e = h.entries[static_cast<std::size_t>(k)];
        const slv::MemberFolder& folder =
            k < slv::kFixedEntries ? base : k < slv::kFixedEntries + h.imageCount ? sprites : backpx;
        const slv::PlannedFile& f = files[static_cast<std::size_t>(k)];
        if (f.create) extractor.extractNew(folder, f.name, h.dataStart + e.start, e.size);
        std::printf("%s\n", printable(folder.pathOf(f.name)).c_str());
    }
    return 0;
}

// check and render need the editor's display code; they run in
// slvtool-display beside this program, so that the other commands start
// without loading the GUI libraries.
int runDisplayCommands(char** argv) {
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string helper = n > 0 ? slv::folderPart(std::string(self, static_cast<std::size_t>(n))) : std::string();
    helper += "slvtool-display";
    ::execv(helper.c_str(), argv);
    std::fprintf(stderr, "slvtool: cannot run %s: %s\n", helper.c_str(), std::strerror(errno));
    return 1;
}

int cmdResave(const std::string& in, const std::string& out) {
    auto level = std::make_unique<slv::Level>();
    slv::PackageHooks hooks;
    slv::openLevel(*level, in, hooks);
    slv::saveLevel(*level, out, hooks);
    std::printf("saved %s: %d images, %d stages\n", out.c_str(), level->imageCount, level->stageCount);
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
        if (a[0] == "check" || a[0] == "render") return runDisplayCommands(argv);
        if (a[0] == "extract" && a.size() == 3) return cmdExtract(a[1], a[2]);
        if (a[0] == "resave" && a.size() == 3) return cmdResave(a[1], a[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "slvtool: %s\n", printable(e.what()).c_str());
        return 1;
    }
    return usage();
}
