#include "settings.h"

#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "fileio.h"

namespace slv {

void readPoses(Level& level, const std::string& path) {
    BinFile f(path, BinFile::Mode::Read);
    level.totposes = 0;
    PoseRec rec;
    while (level.totposes < kMaxPoses) {
        std::size_t got = f.readSome(&rec, sizeof rec);
        if (got < sizeof rec) break;
        level.pose(level.totposes + 1) = rec;
        ++level.totposes;
    }
    f.close();
}

void writePoses(const Level& level, const std::string& path) {
    int n = level.totposes < 0 ? 0 : (level.totposes > kMaxPoses ? kMaxPoses : level.totposes);
    writeFileAtomic(path, std::string_view(reinterpret_cast<const char*>(level.poseTable),
                                           static_cast<std::size_t>(n) * sizeof(PoseRec)));
}

SettingsRec readSettings(const std::string& path) {
    BinFile f(path, BinFile::Mode::Read);
    SettingsRec rec;
    f.readExact(&rec, sizeof rec);
    f.close();
    return rec;
}

void writeSettings(const Level& level, const std::string& path) {
    SettingsRec rec;
    std::memset(&rec, 0, sizeof rec);
    rec.spriteboxcolor = level.spriteboxcolor;
    rec.sectorcolor = level.sectorcolor;
    rec.workdir.set(level.workdir);
    writeFileAtomic(path, std::string_view(reinterpret_cast<const char*>(&rec), sizeof rec));
}

std::string homeFolderFilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/corvatel.txt";
}

bool readHomeFolderFile(const std::string& path, std::string& homedir) {
    if (!fileExists(path)) return false;
    homedir += readWholeFile(path);
    return true;
}

}  // namespace slv
