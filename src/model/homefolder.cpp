#include "homefolder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "fileio.h"
#include "homefiles.h"

namespace slv {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSetUpAction = "Setting up the home folder";

std::string absoluteOrEmpty(const char* value) {
    return value && value[0] == '/' ? std::string(value) : std::string();
}

// Removes a half-made copy; what cannot be removed is left, the error that
// stopped the copy is the one worth reporting.
void removeQuietly(const fs::path& p) {
    std::error_code ec;
    fs::remove_all(p, ec);
}

}  // namespace

bool holdsHomeFiles(const std::string& folder) {
    for (const char* name : {homefiles::kBackdrop, homefiles::kLowerPanel, homefiles::kColorKeyPicture,
                             homefiles::kFirstPreview, homefiles::kActorSkins, homefiles::kSettings,
                             homefiles::kFrameCounts}) {
        std::error_code ec;
        if (fs::exists(fs::symlink_status(joinPath(folder, name), ec))) return true;
    }
    return false;
}

std::string ownHomeFolder() {
    std::string base = absoluteOrEmpty(std::getenv("XDG_DATA_HOME"));
    if (base.empty()) {
        const std::string home = absoluteOrEmpty(std::getenv("HOME"));
        if (home.empty()) return {};
        base = joinPath(home, ".local/share");
    }
    return joinPath(joinPath(base, "slvedit"), "home");
}

std::string installedDemoFolder(const std::string& programFolder) {
    if (programFolder.empty()) return {};
    std::error_code ec;
    const fs::path demo = fs::weakly_canonical(fs::path(programFolder) / ".." / "share" / "slvedit" / "demo", ec);
    return !ec && fs::is_directory(demo, ec) ? demo.string() : std::string();
}

bool setUpHomeFolder(const std::string& demoFolder, const std::string& home) {
    const fs::path target(home);
    const fs::path parent = target.parent_path();
    std::error_code ec;
    fs::create_directories(parent, ec);
    if (ec) throwFileError(kSetUpAction, home, ec.message());
    std::string pattern = (parent / (target.filename().string() + ".part-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throwFileError(kSetUpAction, home, errno);
    const fs::path temp(pattern);
    // The temporary folder is private; the home folder gets the demo's permissions.
    fs::permissions(temp, fs::status(demoFolder, ec).permissions(), ec);
    if (!ec) fs::copy(demoFolder, temp, fs::copy_options::recursive, ec);
    if (ec) {
        removeQuietly(temp);
        throwFileError(kSetUpAction, home, ec.message());
    }
    // rename() does not replace a folder that is not empty, nor a file by a
    // folder: whatever appeared meanwhile stays as it is.
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        removeQuietly(temp);
        if (err == EEXIST || err == ENOTEMPTY) return false;
        throwFileError(kSetUpAction, home, err);
    }
    return true;
}

HomeFolderChoice chooseHomeFolder(const std::string& startFolder, const std::string& demoFolder) {
    HomeFolderChoice c;
    c.folder = startFolder;
    c.pointer = readHomeFolderFile(homeFolderFilePath(), c.folder);
    if (c.pointer.state == FileRead::Read && !c.folder.empty()) {
        c.source = HomeSource::Pointer;
        return c;
    }
    c.folder = startFolder;
    // A corvatel.txt that cannot be used is reported, and the start folder
    // is used as it always was; so is a start folder with home files.
    if (c.pointer.state != FileRead::Absent || demoFolder.empty() || holdsHomeFiles(startFolder)) return c;
    const std::string own = ownHomeFolder();
    if (own.empty()) return c;
    std::error_code ec;
    const fs::file_status st = fs::status(own, ec);
    if (fs::is_directory(st)) {
        c.folder = own;
        c.source = HomeSource::OwnHome;
        return c;
    }
    if (fs::exists(st)) {
        c.problem = fileErrorMessage(kSetUpAction, own, "It is not a folder");
        return c;
    }
    try {
        c.source = setUpHomeFolder(demoFolder, own) ? HomeSource::NewOwnHome : HomeSource::OwnHome;
        c.folder = own;
    } catch (const std::exception& e) {
        c.problem = e.what();
    }
    return c;
}

}  // namespace slv
