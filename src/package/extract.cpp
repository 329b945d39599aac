#include "extract.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/types.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "model/errors.h"
#include "model/fileio.h"

namespace slv {

namespace {

constexpr int kMaxNumberedNames = 10000;

[[noreturn]] void fail(const std::string& what, int err) {
    throw Error(what + ": " + fileErrorText(err));
}

std::string withSlash(std::string p) {
    if (p.empty()) return "./";
    if (p.back() != '/') p += '/';
    return p;
}

constexpr std::string_view kTempPrefix = ".slv-part-";
constexpr std::size_t kTempRandom = 6;
// The mode of a temporary file while it is written: the owner may write,
// nobody may read. A member's file never has it, so that only temporaries
// are ever taken for stale ones.
constexpr mode_t kTempMode = 0200;

}  // namespace

bool isExtractionTemporary(std::string_view name) {
    if (name.size() != kTempPrefix.size() + kTempRandom || name.substr(0, kTempPrefix.size()) != kTempPrefix)
        return false;
    for (char c : name.substr(kTempPrefix.size()))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string numberedName(const std::string& name, int n) {
    if (n <= 1) return name;
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) dot = name.size();
    return name.substr(0, dot) + "~" + std::to_string(n) + name.substr(dot);
}

// ---- MemberFolder ----

MemberFolder MemberFolder::open(const std::string& path) {
    const std::string p = withSlash(path);
    int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) fail("Cannot open the folder \"" + p + "\"", errno);
    return MemberFolder(fd, p);
}

MemberFolder MemberFolder::subfolder(std::string_view name) const {
    const std::string n(name);
    const std::string shown = path_ + n;
    if (::mkdirat(fd_, n.c_str(), 0777) != 0 && errno != EEXIST) fail("Cannot create the folder \"" + shown + "\"", errno);
    int fd = ::openat(fd_, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        if (::fstatat(fd_, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
            throw Error("The folder \"" + shown + "\" is a symbolic link: nothing is extracted through links");
        if (err == ENOTDIR) throw Error("\"" + shown + "\" is not a folder");
        fail("Cannot open the folder \"" + shown + "\"", err);
    }
    return MemberFolder(fd, shown + "/");
}

std::optional<MemberFolder> MemberFolder::existingSubfolder(std::string_view name) const {
    const std::string n(name);
    struct stat st {};
    if (::fstatat(fd_, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return std::nullopt;
        fail("Cannot open the folder \"" + path_ + n + "\"", errno);
    }
    if (S_ISLNK(st.st_mode))
        throw Error("The folder \"" + path_ + n + "\" is a symbolic link: nothing is extracted through links");
    int fd = ::openat(fd_, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOTDIR) throw Error("\"" + path_ + n + "\" is not a folder");
        fail("Cannot open the folder \"" + path_ + n + "\"", errno);
    }
    return MemberFolder(fd, path_ + n + "/");
}

void MemberFolder::removeStaleTemporaries() const {
    const int dfd = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return;
    DIR* d = ::fdopendir(dfd);
    if (!d) {
        ::close(dfd);
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        if (!isExtractionTemporary(e->d_name)) continue;
        struct stat st {};
        if (::fstatat(fd_, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            (st.st_mode & 07777) != kTempMode || st.st_uid != ::geteuid())
            continue;
        // A running extraction holds a lock on its temporary file.
        const int fd = ::openat(fd_, e->d_name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {};
        if (::fstat(fd, &held) == 0 && held.st_ino == st.st_ino && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(fd_, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(d);
}

MemberFolder& MemberFolder::operator=(MemberFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

MemberFolder::~MemberFolder() {
    if (fd_ >= 0) ::close(fd_);
}

void MemberFolder::remove(std::string_view name) const {
    ::unlinkat(fd_, std::string(name).c_str(), 0);
}

// ---- MemberExtractor ----

MemberExtractor::MemberExtractor(const std::string& package) : package_(package) {
    fd_ = ::open(package.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) fail("Cannot open \"" + package + "\"", errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw Error("\"" + package + "\" is not a regular file");
    }
    openedSize_ = st.st_size;
    openedModified_ = st.st_mtim;
    fileMask_ = currentFileMask();
}

bool MemberExtractor::changedSinceOpened() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return true;
    return st.st_size != openedSize_ || st.st_mtim.tv_sec != openedModified_.tv_sec ||
           st.st_mtim.tv_nsec != openedModified_.tv_nsec;
}

MemberExtractor::~MemberExtractor() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t MemberExtractor::readAt(std::int64_t offset, void* buf, std::size_t n) const {
    auto* p = static_cast<char*>(buf);
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd_, p + got, n - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
        if (r < 0) {
            if (errno == EINTR) continue;
            fail("Reading \"" + package_ + "\"", errno);
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

const char* MemberExtractor::view(std::int64_t offset, std::size_t want, std::size_t& got) {
    const std::int64_t end = windowStart_ + static_cast<std::int64_t>(windowLength_);
    if (offset < windowStart_ || offset >= end) {
        // Members are read in file order: one large read serves many of them.
        window_.resize(kWindowBytes);
        windowLength_ = readAt(offset, window_.data(), window_.size());
        windowStart_ = offset;
    }
    const std::size_t at = static_cast<std::size_t>(offset - windowStart_);
    got = std::min(want, windowLength_ - at);
    return window_.data() + at;
}

bool MemberExtractor::sameBytes(int fd, std::int64_t offset, std::int64_t size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size != size) return false;
    other_.resize(kWindowBytes);
    std::int64_t done = 0;
    while (done < size) {
        std::size_t got = 0;
        const char* p = view(offset + done, static_cast<std::size_t>(std::min<std::int64_t>(size - done, kWindowBytes)), got);
        if (got == 0) return false;
        std::size_t have = 0;
        while (have < got) {
            ssize_t r = ::pread(fd, other_.data() + have, got - have, static_cast<off_t>(done + static_cast<std::int64_t>(have)));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            have += static_cast<std::size_t>(r);
        }
        if (std::memcmp(p, other_.data(), got) != 0) return false;
        done += static_cast<std::int64_t>(got);
    }
    return true;
}

void MemberExtractor::copyInto(int out, std::int64_t offset, std::int64_t size) {
    std::int64_t done = 0;
    if (size >= kKernelCopyBytes && !kernelCopyRefused_) {
        // The kernel copies from the package's pages into the member's
        // without a pass through this process. Where the file system cannot
        // (a first call refused before any byte moved), the read-and-write
        // path below takes over for this and every later member.
        while (done < size) {
            loff_t from = static_cast<loff_t>(offset + done);
            const ssize_t n = ::copy_file_range(fd_, &from, out, nullptr, static_cast<std::size_t>(size - done), 0);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (done == 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL ||
                                  errno == EBADF || errno == EPERM)) {
                    kernelCopyRefused_ = true;
                    break;
                }
                throwFileError(errno);
            }
            if (n == 0) throw Error("\"" + package_ + "\" ended inside a member");
            done += n;
        }
        if (done == size) return;
    }
    while (done < size) {
        std::size_t got = 0;
        const char* p = view(offset + done, static_cast<std::size_t>(std::min<std::int64_t>(size - done, kWindowBytes)), got);
        if (got == 0) throw Error("\"" + package_ + "\" ended inside a member");
        std::size_t put = 0;
        while (put < got) {
            ssize_t w = ::write(out, p + put, got - put);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) throwFileError(errno);
            if (w == 0) throw Error("Disk full");
            put += static_cast<std::size_t>(w);
        }
        done += static_cast<std::int64_t>(got);
    }
}

bool MemberExtractor::place(const MemberFolder& folder, const std::string& name, std::int64_t offset,
                            std::int64_t size) {
    const std::string shown = folder.pathOf(name);
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string temp;
    int out = -1;
    for (int tries = 0; out < 0 && tries < 100; ++tries) {
        temp = std::string(kTempPrefix);
        for (std::size_t i = 0; i < kTempRandom; ++i) temp += kLetters[random_() % (sizeof kLetters - 1)];
        out = ::openat(folder.fd(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kTempMode);
        if (out < 0 && errno != EEXIST) fail("Cannot create \"" + shown + "\"", errno);
    }
    if (out < 0) fail("Cannot create \"" + shown + "\"", EEXIST);
    ::flock(out, LOCK_EX | LOCK_NB);  // marks it as in use (see removeStaleTemporaries)
    try {
        copyInto(out, offset, size);
        if (::fchmod(out, static_cast<mode_t>(0666 & ~fileMask_)) != 0) throwFileError(errno);
    } catch (const Error& e) {
        ::close(out);
        folder.remove(temp);
        throw Error("Extracting \"" + shown + "\": " + e.what());
    }
    if (::close(out) != 0 && errno != EINTR) {
        const int err = errno;
        folder.remove(temp);
        fail("Extracting \"" + shown + "\"", err);
    }
    if (::renameat2(folder.fd(), temp.c_str(), folder.fd(), name.c_str(), RENAME_NOREPLACE) == 0) return true;
    int err = errno;
    if (err == EINVAL || err == ENOSYS) {
        // A file system without RENAME_NOREPLACE: a hard link does the same.
        err = ::linkat(folder.fd(), temp.c_str(), folder.fd(), name.c_str(), 0) == 0 ? 0 : errno;
        folder.remove(temp);
        if (err == 0) return true;
    } else {
        folder.remove(temp);
    }
    if (err == EEXIST) return false;
    fail("Extracting \"" + shown + "\"", err);
}

void MemberExtractor::extractNew(const MemberFolder& folder, const std::string& name, std::int64_t offset,
                                 std::int64_t size) {
    if (size < 0) throw Error("Invalid member size " + std::to_string(size));
    if (!place(folder, name, offset, size))
        throw Error("\"" + folder.pathOf(name) + "\" appeared while the package was being extracted");
}

std::string MemberExtractor::extract(const MemberFolder& folder, const std::string& name, std::int64_t offset,
                                     std::int64_t size, WhenTaken when,
                                     const std::function<bool(const std::string&)>& mayShare, bool* created) {
    if (created) *created = false;
    if (size < 0) throw Error("Invalid member size " + std::to_string(size));
    for (int n = 1; n <= kMaxNumberedNames; ++n) {
        const std::string candidate = numberedName(name, n);
        const std::string shown = folder.pathOf(candidate);
        struct stat st {};
        if (::fstatat(folder.fd(), candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) fail("Cannot inspect \"" + shown + "\"", errno);
            if (place(folder, candidate, offset, size)) {
                if (created) *created = true;
                return candidate;
            }
            if (::fstatat(folder.fd(), candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                fail("Cannot inspect \"" + shown + "\"", errno);
        }
        if (S_ISLNK(st.st_mode))
            throw Error("\"" + shown + "\" is a symbolic link: nothing is extracted through links");
        if (when == WhenTaken::KeepExisting) return candidate;
        if (!S_ISREG(st.st_mode)) continue;
        if (mayShare && !mayShare(candidate)) continue;
        int in = ::openat(folder.fd(), candidate.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (in < 0) continue;
        const bool same = sameBytes(in, offset, size);
        ::close(in);
        if (same) return candidate;
    }
    throw Error("No free file name for \"" + folder.pathOf(name) + "\"");
}

}  // namespace slv
