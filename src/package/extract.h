// Extraction of package members into folders that no symbolic link can
// redirect. Every file is created relative to an open folder descriptor with
// an exclusive create that does not follow links, and every folder below the
// one the user chose is opened without following links, so a package (or a
// link planted beside it) can never make the editor write elsewhere.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace slv {

class MemberFolder {
public:
    // Opens the folder at `path` (the folder of a package the user chose; links
    // on the way to it are the user's own and are followed). Throws slv::Error.
    static MemberFolder open(const std::string& path);
    // Creates the subfolder `name` when it is missing and opens it without
    // following a link: a link in its place, dangling or not, is refused.
    MemberFolder subfolder(std::string_view name) const;
    // The subfolder `name` when it exists (nothing is created); a link in
    // its place is refused as by subfolder().
    std::optional<MemberFolder> existingSubfolder(std::string_view name) const;
    // Removes the temporary files that an extraction killed before its end
    // left in this folder (see MemberExtractor::extractNew); those of an
    // extraction still running are kept.
    void removeStaleTemporaries() const;

    MemberFolder(MemberFolder&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }
    MemberFolder& operator=(MemberFolder&& other) noexcept;
    MemberFolder(const MemberFolder&) = delete;
    MemberFolder& operator=(const MemberFolder&) = delete;
    ~MemberFolder();

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }  // with a trailing '/'
    std::string pathOf(std::string_view name) const { return path_ + std::string(name); }
    // Removes the file `name` of this folder (a link is removed, never followed).
    void remove(std::string_view name) const;

private:
    MemberFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;
};

// What happens when the file name a member should get is already taken.
enum class WhenTaken {
    KeepExisting,     // the existing regular file is kept and used instead
    KeepIfSameBytes,  // kept and shared when its bytes are the member's; else a free name
};

// Copies members out of one open package.
class MemberExtractor {
public:
    explicit MemberExtractor(const std::string& package);
    ~MemberExtractor();
    MemberExtractor(const MemberExtractor&) = delete;
    MemberExtractor& operator=(const MemberExtractor&) = delete;

    // Gives the member (`size` bytes at `offset` of the package) the file
    // `name` in `folder` and returns the name the member ended up under. The
    // file is written as extractNew writes it (a temporary file renamed into
    // place when whole, never over an existing file). When
    // the name is taken: see WhenTaken; with KeepIfSameBytes the free names
    // tried are "stem~2.ext", "stem~3.ext", ..., and an existing file with the
    // member's bytes is shared only where `mayShare(name)` allows. A symbolic
    // link in the member's place is an error. `created` tells whether a new
    // file was made.
    std::string extract(const MemberFolder& folder, const std::string& name, std::int64_t offset,
                        std::int64_t size, WhenTaken when,
                        const std::function<bool(const std::string&)>& mayShare = {}, bool* created = nullptr);

    // Writes the member into the new file `name` of `folder`: the bytes go
    // to a temporary file beside it (".slv-part-XXXXXX", without permissions
    // for others until complete, locked while written), which gets the name
    // only when whole, so that a killed extraction never leaves a short file
    // under a member's name. A file that took the name meanwhile is kept and
    // the extraction fails.
    void extractNew(const MemberFolder& folder, const std::string& name, std::int64_t offset, std::int64_t size);

    // Reads `n` bytes at `offset` of the package (fewer at its end).
    std::size_t readAt(std::int64_t offset, void* buf, std::size_t n) const;

    const std::string& path() const { return package_; }
    // The package's descriptor, for reads by offset (pread, copy_file_range).
    int fd() const { return fd_; }
    // Whether the package was written in place since it was opened here (its
    // size or its modification time differs). A package replaced by a new
    // file under its name, or moved, is not: the one opened here is still
    // read.
    bool changedSinceOpened() const;

private:
    static constexpr std::size_t kWindowBytes = 4 << 20;
    // Members from this size on are copied by the kernel (copy_file_range).
    static constexpr std::int64_t kKernelCopyBytes = 0;
    bool kernelCopyRefused_ = false;
    // Up to `want` bytes of the package at `offset`, from a window of it kept
    // in memory; `got` is 0 past the end of the package.
    const char* view(std::int64_t offset, std::size_t want, std::size_t& got);
    bool sameBytes(int fd, std::int64_t offset, std::int64_t size);
    void copyInto(int fd, std::int64_t offset, std::int64_t size);
    // extractNew's work; false when `name` was taken before the rename.
    bool place(const MemberFolder& folder, const std::string& name, std::int64_t offset, std::int64_t size);
    std::mt19937 random_{std::random_device{}()};
    unsigned fileMask_ = 022;

    int fd_ = -1;
    std::string package_;
    std::int64_t openedSize_ = 0;
    timespec openedModified_{};
    std::vector<char> window_, other_;
    std::int64_t windowStart_ = 0;
    std::size_t windowLength_ = 0;
};

// "stem~N.ext" for N >= 2; the name itself for N = 1.
std::string numberedName(const std::string& name, int n);

// Whether a file name has the form of extractNew's temporary files.
bool isExtractionTemporary(std::string_view name);

}  // namespace slv
