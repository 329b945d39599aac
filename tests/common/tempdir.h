// A scratch folder for one test, removed with everything in it at the end.
#pragma once

#include <stdlib.h>

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

private:
    std::filesystem::path path_;
};

}  // namespace slvtest
