#include "fileio.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "errors.h"

namespace slv {

std::string fileErrorText(int err) {
    switch (err) {
    case ENOENT: return "File not found";
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case EISDIR: return "Invalid filename";
    case EMFILE:
    case ENFILE: return "Too many open files";
    case EACCES:
    case EPERM:
    case EROFS: return "File access denied";
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return "Disk full";
    default: return "I/O error " + std::to_string(err);
    }
}

void throwFileError(int err) { throw Error(fileErrorText(err)); }

std::string fileErrorMessage(std::string_view action, std::string_view path, std::string_view reason) {
    std::string m(action);
    m += ' ';
    m += path;
    m += ": ";
    m += reason;
    return m;
}

FileError::FileError(std::string action, std::string path, std::string reason)
    : Error(fileErrorMessage(action, path, reason)),
      action_(std::move(action)),
      path_(std::move(path)),
      reason_(std::move(reason)) {}

void throwFileError(std::string_view action, const std::string& path, int err) {
    throw FileError(std::string(action), path, fileErrorText(err));
}

void throwFileError(std::string_view action, const std::string& path, std::string_view reason) {
    throw FileError(std::string(action), path, std::string(reason));
}

void ignoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

namespace {

constexpr const char* kNotRegular = "Not a regular file";

int openRetrying(const char* path, int flags, mode_t mode = 0666) {
    int fd;
    do { fd = ::open(path, flags, mode); } while (fd < 0 && errno == EINTR);
    return fd;
}

// 0 for a regular file, else the reason an open file is refused.
const char* refusal(const struct stat& st) {
    if (S_ISREG(st.st_mode)) return nullptr;
    if (S_ISDIR(st.st_mode)) return "Invalid filename";
    return kNotRegular;
}

// Writes all n bytes to fd, at its position or (at >= 0) at offset `at`; a
// failed or short write gives its errno (ENOSPC for a write that makes no
// progress), 0 on success.
int writeLoop(int fd, const char* p, std::size_t n, off_t at) {
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = at < 0 ? ::write(fd, p + done, n - done)
                           : ::pwrite(fd, p + done, n - done, at + static_cast<off_t>(done));
        if (w < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (w == 0) return ENOSPC;
        done += static_cast<std::size_t>(w);
    }
    return 0;
}

int writeAllFd(int fd, const void* buf, std::size_t n) {
    return writeLoop(fd, static_cast<const char*>(buf), n, -1);
}

// The same at a fixed offset.
int pwriteAllFd(int fd, const char* p, std::size_t n, off_t at) { return writeLoop(fd, p, n, at); }

}  // namespace

int openRegularFile(const std::string& path, int flags, Links links, std::string& reason, unsigned mode) {
    // O_NONBLOCK: opening a FIFO must not wait for its other end; it is
    // refused below and the flag cleared for a regular file.
    flags |= O_CLOEXEC | O_NONBLOCK;
    if (links == Links::Refuse) flags |= O_NOFOLLOW;
    const int fd = openRetrying(path.c_str(), flags, static_cast<mode_t>(mode));
    if (fd < 0) {
        const int err = errno;
        if (err == ENXIO) reason = kNotRegular;  // a FIFO without a reader
        else if (err == ELOOP && links == Links::Refuse) reason = "Is a symbolic link";
        else reason = fileErrorText(err);
        errno = err == ENXIO ? 0 : err;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        reason = fileErrorText(err);
        ::close(fd);
        errno = err;
        return -1;
    }
    if (const char* why = refusal(st)) {
        reason = why;
        ::close(fd);
        errno = 0;
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

int openFileForReading(const std::string& path, Links links) {
    std::string why;
    const int fd = openRegularFile(path, O_RDONLY, links, why);
    if (fd < 0) throwFileError("Reading", path, why);
    return fd;
}

BinFile::~BinFile() {
    if (fd_ >= 0) ::close(fd_);
}

const char* BinFile::action() const { return mode_ == Mode::Read ? "Reading" : "Writing"; }

void BinFile::fail(int err) const { throwFileError(action(), path_, err); }
void BinFile::fail(std::string_view reason) const { throwFileError(action(), path_, reason); }

void BinFile::open(const std::string& path, Mode mode, Links links) {
    if (fd_ >= 0) { ::close(fd_); fd_ = -1; }
    path_ = path;
    mode_ = mode;
    int flags = 0;
    switch (mode) {
    case Mode::Read: flags = O_RDONLY; break;
    case Mode::Create: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case Mode::ReadWrite: flags = O_RDWR; break;
    }
    if (mode != Mode::Read) {
        // Truncating is harmless only on a regular file; look before opening.
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && refusal(st)) fail(refusal(st));
    }
    std::string why;
    const int fd = openRegularFile(path, flags, links, why);
    if (fd < 0) fail(why);
    fd_ = fd;
}

std::size_t BinFile::readSome(void* buf, std::size_t n) {
    if (fd_ < 0) fail("File not open");
    auto* p = static_cast<char*>(buf);
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd_, p + got, n - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

void BinFile::readExact(void* buf, std::size_t n) {
    if (readSome(buf, n) != n) fail("Read beyond end of file");
}

void BinFile::writeAll(const void* buf, std::size_t n) {
    if (fd_ < 0) fail("File not open");
    if (int err = writeAllFd(fd_, buf, n)) fail(err);
}

void BinFile::seek(std::int64_t pos) {
    if (pos < 0) fail(EINVAL);
    if (::lseek(fd_, pos, SEEK_SET) < 0) fail(errno);
}

void BinFile::seekEnd() {
    if (::lseek(fd_, 0, SEEK_END) < 0) fail(errno);
}

std::int64_t BinFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) fail(errno);
    return st.st_size;
}

std::int64_t BinFile::position() const {
    off_t p = ::lseek(fd_, 0, SEEK_CUR);
    if (p < 0) fail(errno);
    return p;
}

void BinFile::close() {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) fail(errno);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool dirExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void deleteFile(const std::string& path) { ::unlink(path.c_str()); }

void createDir(const std::string& path) { ::mkdir(path.c_str(), 0777); }

std::int64_t fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throwFileError("Reading", path, errno);
    if (const char* why = refusal(st)) throwFileError("Reading", path, why);
    return st.st_size;
}

namespace {

// Within this much of the current time a modification time may be shared
// by two writes: the identity then keeps the bytes' hash as well.
constexpr std::int64_t kTieWindowNs = 2'000'000'000;

std::int64_t nowNs() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// A 64-bit hash of the file's bytes, eight at a time; nullopt when it
// cannot be read. Not for security: it tells a rewrite from the same bytes.
std::optional<std::uint64_t> hashFileBytes(const std::string& path) {
    std::string reason;
    const int fd = openRegularFile(path, O_RDONLY, Links::Follow, reason);
    if (fd < 0) return std::nullopt;
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = 0xCBF29CE484222325ull, length = 0;
    std::vector<unsigned char> buf(1 << 16);
    std::size_t carried = 0;  // bytes of an unfinished word at the front of buf
    for (;;) {
        const ssize_t r = ::read(fd, buf.data() + carried, buf.size() - carried);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            ::close(fd);
            return std::nullopt;
        }
        const std::size_t have = carried + static_cast<std::size_t>(r);
        const std::size_t whole = r == 0 ? have : have / 8 * 8;
        std::size_t i = 0;
        for (; i < whole; i += 8) {
            std::uint64_t w = 0;
            std::memcpy(&w, buf.data() + i, std::min<std::size_t>(8, whole - i));
            h = (h ^ w) * kMul;
            h ^= h >> 29;
        }
        length += static_cast<std::uint64_t>(r);
        if (r == 0) break;
        carried = have - whole;
        std::memmove(buf.data(), buf.data() + whole, carried);
    }
    ::close(fd);
    return (h ^ length) * kMul;
}

}  // namespace

FileIdentity fileIdentity(const std::string& path) {
    struct stat st {};
    FileIdentity id;
    if (::stat(path.c_str(), &st) != 0) return id;
    id.exists = true;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::int64_t>(st.st_size);
    id.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    if (S_ISREG(st.st_mode) && nowNs() - id.modifiedNs < kTieWindowNs) id.contentHash = hashFileBytes(path);
    return id;
}

bool fileStillIs(const std::string& path, const FileIdentity& known) {
    FileIdentity now = fileIdentity(path);
    if (!now.exists || !known.exists) return now.exists == known.exists;
    if (now.device != known.device || now.inode != known.inode || now.size != known.size ||
        now.modifiedNs != known.modifiedNs)
        return false;
    // Everything ties: only the bytes can tell a rewrite within one clock tick.
    if (!known.contentHash) return true;
    if (!now.contentHash) now.contentHash = hashFileBytes(path);
    return now.contentHash && *now.contentHash == *known.contentHash;
}

std::string readWholeFile(const std::string& path) {
    return readWholeFile(path, std::numeric_limits<std::int64_t>::max());
}

std::string readWholeFile(const std::string& path, std::int64_t maxBytes, Links links) {
    BinFile f(path, BinFile::Mode::Read, links);
    const std::int64_t size = f.size();
    if (size > maxBytes)
        throwFileError("Reading", path,
                       "The file is longer than " + std::to_string(maxBytes) + " bytes");
    std::string data(static_cast<std::size_t>(size), '\0');
    data.resize(f.readSome(data.data(), data.size()));
    f.close();
    return data;
}

void writeFileAtomic(const std::string& path, std::string_view data) {
    PartFile out(path);
    out.write(data.data(), data.size());
    out.commit(true);
}

// ---------------------------------------------------------------------------
// PartFile

namespace {

constexpr std::string_view kPartMark = ".part-";
constexpr std::size_t kPartSuffix = 12;  // ".part-" and six random characters

std::string dirOf(const std::string& p) {
    std::size_t cut = p.rfind('/');
    if (cut == std::string::npos) return ".";
    if (cut == 0) return "/";
    return p.substr(0, cut);
}

std::string baseOf(const std::string& p) {
    std::size_t cut = p.rfind('/');
    return cut == std::string::npos ? p : p.substr(cut + 1);
}

// Follows a chain of symbolic links to the file it ends at (which need not
// exist yet). Relative links are taken from the folder of the link.
std::string finalTarget(const std::string& path, int& err) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::string link(PATH_MAX, '\0');
        ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n < 0) { err = errno; return p; }
        if (static_cast<std::size_t>(n) >= link.size()) { err = ENAMETOOLONG; return p; }
        link.resize(static_cast<std::size_t>(n));
        p = (link.empty() || link[0] == '/') ? link : dirOf(p) + "/" + link;
    }
    err = ELOOP;
    return p;
}

// The stem of the temporary names of `name`: the name itself when
// "<name>.part-XXXXXX" fits the folder's limit, else a cut of it (never
// splitting a UTF-8 character) with a hash of the whole name.
std::string partStem(const std::string& name, const std::string& dir) {
    long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = 255;
    const auto max = static_cast<std::size_t>(limit);
    if (name.size() + kPartSuffix <= max) return name;
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (unsigned char c : name) h = (h ^ c) * 16777619u;
    char hash[10];
    std::snprintf(hash, sizeof hash, "~%08x", h);
    std::size_t cut = max > kPartSuffix + 9 ? max - kPartSuffix - 9 : 0;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut) + hash;
}

bool isPartName(std::string_view entry, std::string_view stem) {
    if (entry.size() != stem.size() + kPartSuffix || entry.substr(0, stem.size()) != stem) return false;
    if (entry.substr(stem.size(), kPartMark.size()) != kPartMark) return false;
    for (char c : entry.substr(stem.size() + kPartMark.size()))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

// Removes temporary files of `stem` that a killed save left in `dir`: a
// live save holds a lock on its temporary file, a dead one does not.
void removeStaleParts(const std::string& dir, const std::string& stem) {
    int dfd = openRetrying(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return;
    DIR* d = ::fdopendir(dfd);
    if (!d) { ::close(dfd); return; }
    while (const dirent* e = ::readdir(d)) {
        if (!isPartName(e->d_name, stem)) continue;
        int fd = ::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dfd, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(d);
}

mode_t currentUmask() {
    // /proc tells it without changing it; umask() would, for a moment.
    if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found) return static_cast<mode_t>(mask);
    }
    return 022;
}

void syncFolder(const std::string& dir) {
    int dfd = openRetrying(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return;
    ::fsync(dfd);  // some file systems cannot; the rename stands all the same
    ::close(dfd);
}

}  // namespace

PartFile::PartFile(const std::string& dest, Target target, std::string action)
    : dest_(dest), target_(dest), action_(std::move(action)) {
    if (action_.empty()) action_ = target == Target::Replace ? "Saving" : "Creating";
    if (baseOf(dest).empty()) fail(EISDIR);
    if (target == Target::Replace) {
        int err = 0;
        target_ = finalTarget(dest, err);
        if (err) fail(err);
        struct stat st {};
        if (::stat(target_.c_str(), &st) == 0) {
            if (const char* why = refusal(st)) fail(why);
            if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) fail(errno);
            haveOld_ = true;
            oldMode_ = st.st_mode & 07777;
            oldUid_ = st.st_uid;
            oldGid_ = st.st_gid;
        } else if (errno != ENOENT) {
            fail(errno);
        }
    }
    const std::string dir = dirOf(target_);
    const std::string stem = partStem(baseOf(target_), dir);
    std::string temp = dir + "/" + stem + std::string(kPartMark) + "XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (haveOld_ && (err == EACCES || err == EPERM || err == EROFS)) {
            // The folder takes no new file but the file itself is writable.
            inPlace_ = true;
            return;
        }
        fail(err);
    }
    ::flock(fd, LOCK_EX | LOCK_NB);  // marks the file as in use (see removeStaleParts)
    temp_ = std::move(temp);
    fd_ = fd;
}

PartFile::~PartFile() { abandon(); }

void PartFile::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        ::unlink(temp_.c_str());
    }
    pending_.clear();
    inPlace_ = false;
}

void PartFile::fail(int err) { fail(fileErrorText(err)); }

void PartFile::fail(std::string_view reason) {
    abandon();
    throwFileError(action_, dest_, reason);
}

void PartFile::write(const void* data, std::size_t n) {
    if (inPlace_) {
        pending_.append(static_cast<const char*>(data), n);
    } else {
        if (fd_ < 0) fail("File not open");
        if (int err = writeAllFd(fd_, data, n)) fail(err);
    }
    written_ += static_cast<std::int64_t>(n);
}

void PartFile::commit(bool replace, bool sync) {
    if (inPlace_) {
        if (replace) commitInPlace();
        abandon();
        return;
    }
    if (fd_ < 0) fail("File not open");
    commitRename(replace, sync);
}

void PartFile::commitRename(bool replace, bool sync) {
    if (replace) {
        const mode_t mode = haveOld_ ? static_cast<mode_t>(oldMode_) : (0666 & ~currentUmask());
        if (haveOld_ && (oldUid_ != ::geteuid() || oldGid_ != ::getegid())) {
            // Owner and group where the process may; the group alone else.
            if (::fchown(fd_, oldUid_, oldGid_) != 0) {
                int kept = ::fchown(fd_, static_cast<uid_t>(-1), oldGid_);
                (void)kept;  // a group the user is not in stays the user's
            }
        }
        if (::fchmod(fd_, mode) != 0) fail(errno);
        if (::fsync(fd_) != 0) fail(errno);
    } else if (sync && ::fsync(fd_) != 0) {
        fail(errno);
    }
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        int err = errno;
        ::unlink(temp_.c_str());
        throwFileError(action_, dest_, err);
    }
    auto failAfterClose = [this](int err) {
        ::unlink(temp_.c_str());
        throwFileError(action_, dest_, err);
    };
    if (replace) {
        if (::rename(temp_.c_str(), target_.c_str()) != 0) failAfterClose(errno);
        const std::string dir = dirOf(target_);
        syncFolder(dir);
        // Done only here, so that extracting many files never scans their folder.
        removeStaleParts(dir, partStem(baseOf(target_), dir));
        return;
    }
    // Never replace: whatever stands at the destination is kept, a link
    // included; a link that leads nowhere is an error, not a success.
    struct stat st {};
    if (::lstat(dest_.c_str(), &st) == 0) {
        struct stat through {};
        if (S_ISLNK(st.st_mode) && ::stat(dest_.c_str(), &through) != 0) {
            ::unlink(temp_.c_str());
            throwFileError(action_, dest_, "Is a symbolic link that leads nowhere");
        }
        ::unlink(temp_.c_str());
        return;
    }
    if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, dest_.c_str(), RENAME_NOREPLACE) == 0) {
        if (sync) syncFolder(dirOf(dest_));
        return;
    }
    if (errno == EEXIST) {
        ::unlink(temp_.c_str());
        return;
    }
    // Some file systems have no RENAME_NOREPLACE: a hard link does the same.
    if (::link(temp_.c_str(), dest_.c_str()) != 0 && errno != EEXIST) failAfterClose(errno);
    ::unlink(temp_.c_str());
    if (sync) syncFolder(dirOf(dest_));
}

void PartFile::commitInPlace() {
    int fd = openRetrying(target_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fail(errno == ENXIO ? EINVAL : errno);
    auto failClosing = [&](int err) {
        ::close(fd);
        fail(err);
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) failClosing(errno);
    if (refusal(st)) failClosing(EINVAL);
    const auto oldSize = static_cast<std::size_t>(st.st_size);
    const std::size_t newSize = pending_.size();
    // Grow first: the bytes past the old end go in before any old byte is
    // overwritten, so a full disk or the file-size limit leaves the old file.
    if (newSize > oldSize) {
        if (int err = pwriteAllFd(fd, pending_.data() + oldSize, newSize - oldSize, static_cast<off_t>(oldSize))) {
            int cut = ::ftruncate(fd, static_cast<off_t>(oldSize));
            (void)cut;  // shrinking back cannot fail for want of space
            failClosing(err);
        }
    }
    if (int err = pwriteAllFd(fd, pending_.data(), std::min(oldSize, newSize), 0)) failClosing(err);
    if (newSize < oldSize && ::ftruncate(fd, static_cast<off_t>(newSize)) != 0) failClosing(errno);
    if (::fsync(fd) != 0) failClosing(errno);
    if (::close(fd) != 0 && errno != EINTR) fail(errno);
}


unsigned currentFileMask() { return currentUmask(); }

std::string fileNamePart(std::string_view path) {
    std::size_t cut = path.find_last_of('/');
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string folderPart(std::string_view path) {
    std::size_t cut = path.find_last_of('/');
    return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    std::string n(name);
    for (char& c : n)
        if (c == '\\') c = '/';
    if (out.empty()) return n;
    while (!out.empty() && out.back() == '/') out.pop_back();
    std::size_t i = 0;
    while (i < n.size() && n[i] == '/') ++i;
    out += '/';
    out += n.substr(i);
    return out;
}

}  // namespace slv
