#include "extract.h"

#include <fcntl.h>
#include <sys/types.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

}  // namespace

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

std::string MemberExtractor::extract(const MemberFolder& folder, const std::string& name, std::int64_t offset,
                                     std::int64_t size, WhenTaken when,
                                     const std::function<bool(const std::string&)>& mayShare, bool* created) {
    if (created) *created = false;
    if (size < 0) throw Error("Invalid member size " + std::to_string(size));
    for (int n = 1; n <= kMaxNumberedNames; ++n) {
        const std::string candidate = numberedName(name, n);
        const std::string shown = folder.pathOf(candidate);
        int out = ::openat(folder.fd(), candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out >= 0) {
            try {
                copyInto(out, offset, size);
            } catch (const Error& e) {
                ::close(out);
                folder.remove(candidate);
                throw Error("Extracting \"" + shown + "\": " + e.what());
            }
            if (::close(out) != 0 && errno != EINTR) {
                const int err = errno;
                folder.remove(candidate);
                fail("Extracting \"" + shown + "\"", err);
            }
            if (created) *created = true;
            return candidate;
        }
        if (errno != EEXIST) fail("Cannot create \"" + shown + "\"", errno);
        struct stat st {};
        if (::fstatat(folder.fd(), candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) fail("Cannot inspect \"" + shown + "\"", errno);
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
