// A scratch folder for one test, removed with everything in it at the end
// (folders a test made read-only included), and checks of what it holds.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace slvtest {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "slvtest-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
            if (e.is_directory() && !e.is_symlink()) ::chmod(e.path().c_str(), 0700);
        ::chmod(path_.c_str(), 0700);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as a prefix for file names: ends with "/".
    std::string str() const { return path_.string() + "/"; }
    // A path inside the folder.
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::string file(const std::string& name) const { return *this / name; }

    // Hands the folder and everything in it to `uid` (when the tests may),
    // so that a child running as that user meets its own files.
    void giveTo(uid_t uid) const {
        if (::geteuid() != 0) return;
        int rc = ::chown(path_.c_str(), uid, uid);
        for (auto& e : std::filesystem::recursive_directory_iterator(path_)) rc |= ::lchown(e.path().c_str(), uid, uid);
        (void)rc;
    }

private:
    std::filesystem::path path_;
};

// The permission bits of `p` (the link itself for a symbolic link); 0 when absent.
inline unsigned modeOf(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The names in `dir` that hold ".part-": temporary files left behind by saves.
inline int leftoverParts(const std::filesystem::path& dir) {
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator(dir))
        n += e.path().filename().string().find(".part-") != std::string::npos;
    return n;
}

}  // namespace slvtest
