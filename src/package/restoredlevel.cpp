#include "restoredlevel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "format.h"
#include "model/errors.h"
#include "model/fileio.h"

namespace slv {

namespace {

bool isLevelPackage(const std::string& path) {
    try {
        readPackageHeader(path);
        return true;
    } catch (const Error&) {
        return false;
    }
}

bool isWritableFolder(const std::string& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

}  // namespace

std::string restoredLevelPath(const std::string& noted) {
    if (noted.empty() || noted.front() != '/' || fileNamePart(noted).empty()) return {};
    if (noted.find('\0') != std::string::npos) return {};
    struct stat st {};
    if (::lstat(noted.c_str(), &st) == 0) return isLevelPackage(noted) ? noted : std::string();
    if (errno != ENOENT) return {};
    std::string folder = folderPart(noted);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return isWritableFolder(folder) ? noted : std::string();
}

}  // namespace slv
