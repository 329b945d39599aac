// A scratch folder for the file-layer tests, removed with everything in it.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "model/fileio.h"

namespace modeltest {

namespace fs = std::filesystem;

struct TempDir {
    fs::path path = fs::temp_directory_path() /
                    ("slv-model-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    TempDir() { fs::create_directories(path); }
    ~TempDir() {
        std::error_code ec;
        for (auto& e : fs::recursive_directory_iterator(path, ec))
            if (e.is_directory() && !e.is_symlink()) ::chmod(e.path().c_str(), 0700);
        ::chmod(path.c_str(), 0700);
        fs::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
    // Hands the folder and everything in it to `uid` (when the tests may),
    // so that a child running as that user meets its own files.
    void giveTo(uid_t uid) const {
        if (::geteuid() != 0) return;
        int rc = ::chown(path.c_str(), uid, uid);
        for (auto& e : fs::recursive_directory_iterator(path))
            rc |= ::lchown(e.path().c_str(), uid, uid);
        (void)rc;
    }
    static inline int counter = 0;
};

inline void writeBytes(const std::string& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string bytesOf(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline unsigned modeOf(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The names in `dir` that hold ".part-": temporary files left behind.
inline int leftoverParts(const fs::path& dir) {
    int n = 0;
    for (auto& e : fs::directory_iterator(dir))
        n += e.path().filename().string().find(".part-") != std::string::npos;
    return n;
}

}  // namespace modeltest
