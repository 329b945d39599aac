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
#include "package/leveldiff.h"
#include "package/leveljson.h"
#include "package/levelio.h"
#include "package/memberplanner.h"
#include "printable.h"
#include "version.h"

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
    "  resave IN OUT     open IN and save the level to OUT through the editor's\n"
    "                    own load and save code; the bitmaps go from package to\n"
    "                    package (nothing is written beside IN)\n"
    "  render PKG STAGE OUT.png [--key RRGGBB]\n"
    "                    open PKG as the editor does (bitmaps land beside it) and\n"
    "                    draw stage STAGE (1..30) as the view shows it with that\n"
    "                    stage open: its backdrop and every sprite at its first\n"
    "                    frame, keyed with the sprite colour key (default ff00ff,\n"
    "                    magenta), 640x430 at 32 bits, no outlines, actor or\n"
    "                    numbers; written as a PNG\n"
    "  export PKG DIR    write the level as text: DIR/level.json (every record,\n"
    "                    one per line; see docs/level-json.md) and its pictures\n"
    "                    under DIR/sprites and DIR/backpx, named as Open names\n"
    "                    them; files already there are kept as extract keeps them;\n"
    "                    a symbolic link at DIR/level.json is refused\n"
    "  import DIR OUT    build the package OUT from DIR/level.json and the\n"
    "                    pictures it names under DIR, through the editor's own\n"
    "                    Save, after checking every picture as Open does; a\n"
    "                    fault is told with its line, column and path\n"
    "                    (\"level.json:19:41: sprites[1].x: not a number\") and\n"
    "                    nothing is written\n"
    "  text PKG          print the level's JSON with a short hash for each picture\n"
    "                    (for git's textconv); nothing is written\n"
    "  diff A B          tell what differs between two packages (stages added,\n"
    "                    removed, renamed; sprites moved; frames changed; sectors\n"
    "                    resized; pictures changed), control bytes in names\n"
    "                    shown as \\xHH; exit status 0 when the\n"
    "                    levels are the same, 1 when they differ, 2 on trouble\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "Package paths may be relative to the current folder.\n"
    "Exit status: 0 success, 1 the input was refused or a file operation failed\n"
    "(the message says why), 2 wrong usage.\n";

using slvtool::printable;

// An entry name (stored in Windows-1252) as this terminal shows text,
// control bytes escaped ("\x1b").
std::string shown(const slv::PackEntry& e) { return printable(slv::fromWindows1252(e.name.stored())); }
// A record's name the same way.
template <int N, slv::FieldText T>
std::string shown(const slv::PStr<N, T>& name) {
    return printable(name.str());
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
        std::printf("entry %-50s %10d %10d %d\n", shown(e).c_str(), e.start, e.size, e.flag);
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
// slvtool-display, so that the other commands start
// without loading the GUI libraries.
int runDisplayCommands(char** argv) {
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string folder = n > 0 ? slv::folderPart(std::string(self, static_cast<std::size_t>(n))) : std::string();
    // Beside this program in the build folder; in libexec once installed.
    std::string helper = folder + "slvtool-display";
    if (!slv::fileExists(helper)) helper = folder + "../libexec/slvedit/slvtool-display";
    ::execv(helper.c_str(), argv);
    std::fprintf(stderr, "slvtool: cannot run %s: %s\n", helper.c_str(), std::strerror(errno));
    return 1;
}

int cmdResave(const std::string& in, const std::string& out) {
    auto level = std::make_unique<slv::Level>();
    slv::resaveLevel(*level, in, out);
    std::printf("saved %s: %d images, %d stages\n", out.c_str(), level->imageCount, level->stageCount);
    return 0;
}

int cmdExport(const std::string& pkg, const std::string& dir) {
    slv::exportLevel(pkg, dir);
    std::printf("wrote %s\n", slv::joinPath(dir, slv::kLevelJsonFile).c_str());
    return 0;
}

int cmdImport(const std::string& dir, const std::string& out) {
    slv::importLevel(dir, out);
    std::printf("saved %s\n", out.c_str());
    return 0;
}

int cmdText(const std::string& pkg) {
    const std::string text = slv::levelText(pkg);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// Like diff(1): 0 the same, 1 different, 2 trouble.
int cmdDiff(const std::string& a, const std::string& b) {
    std::vector<std::string> lines;
    try {
        lines = slv::levelDifferences(a, b);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "slvtool: %s\n", printable(e.what()).c_str());
        return 2;
    }
    for (const std::string& line : lines) std::printf("%s\n", printable(line).c_str());
    return lines.empty() ? 0 : 1;
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
    if (a[0] == "--version") {
        std::fputs("slvtool " SLV_VERSION "\n", stdout);
        return 0;
    }
    try {
        if (a[0] == "ls" && a.size() == 2) return cmdLs(a[1]);
        if (a[0] == "check" || a[0] == "render") return runDisplayCommands(argv);
        if (a[0] == "extract" && a.size() == 3) return cmdExtract(a[1], a[2]);
        if (a[0] == "resave" && a.size() == 3) return cmdResave(a[1], a[2]);
        if (a[0] == "export" && a.size() == 3) return cmdExport(a[1], a[2]);
        if (a[0] == "import" && a.size() == 3) return cmdImport(a[1], a[2]);
        if (a[0] == "text" && a.size() == 2) return cmdText(a[1]);
        if (a[0] == "diff" && a.size() == 3) return cmdDiff(a[1], a[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "slvtool: %s\n", printable(e.what()).c_str());
        return 1;
    }
    return usage();
}
