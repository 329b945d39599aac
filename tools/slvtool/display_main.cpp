// slvtool-display: the slvtool commands that need the editor's display code,
// `check` (every check of Open, then every picture decoded as the editor
// loads it) and `render`. slvtool runs this program for them, so that its
// other commands start without loading the GUI libraries.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/errors.h"
#include "model/fileio.h"
#include "model/level.h"
#include "package/extract.h"
#include "package/levelio.h"
#include "printable.h"
#include "render.h"

namespace {

int usage() {
    std::fputs("Usage: slvtool check PKG | slvtool render PKG STAGE OUT.png [--key RRGGBB]"
               " (see slvtool --help)\n", stderr);
    return 2;
}

int cmdCheck(const std::string& pkg) {
    slv::PackageContents c = slv::readPackage(pkg);
    // Open extracts beside the package: the paths it makes must fit.
    slv::planExtraction(pkg, c);
    slvtool::decodeMembers(pkg);
    std::printf("ok: %d entries, %d images, %d stages\n", c.header.fileCount(), c.header.imageCount,
                c.header.stageCount);
    return 0;
}

int cmdRender(const std::vector<std::string>& a) {
    std::uint32_t key = 0xff00ff;
    if (a.size() == 6) {
        if (a[4] != "--key" || a[5].size() != 6 || a[5].find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return usage();
        key = static_cast<std::uint32_t>(std::stoul(a[5], nullptr, 16));
    }
    char* end = nullptr;
    errno = 0;
    long stage = std::strtol(a[2].c_str(), &end, 10);
    if (a[2].empty() || *end != '\0' || errno == ERANGE) return usage();
    slvtool::renderStage(a[1], stage, a[3], key);
    std::printf("rendered stage %ld to %s\n", stage, a[3].c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    try {
        if (a.size() == 2 && a[0] == "check") return cmdCheck(a[1]);
        if ((a.size() == 4 || a.size() == 6) && a[0] == "render") return cmdRender(a);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "slvtool: %s\n", slvtool::printable(e.what()).c_str());
        return 1;
    }
    return usage();
}
