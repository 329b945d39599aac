#include "fileio.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

BinFile::~BinFile() {
    if (fd_ >= 0) ::close(fd_);
}

void BinFile::open(const std::string& path, Mode mode) {
    if (fd_ >= 0) { ::close(fd_); fd_ = -1; }
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::Create: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    }
    int fd;
    do { fd = ::open(path.c_str(), flags, 0666); } while (fd < 0 && errno == EINTR);
    if (fd < 0) throwFileError(errno);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throwFileError(EISDIR);
    }
    fd_ = fd;
}

std::size_t BinFile::readSome(void* buf, std::size_t n) {
    if (fd_ < 0) throw Error("File not open");
    auto* p = static_cast<char*>(buf);
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd_, p + got, n - got);
        if (r < 0) {
            if (errno == EINTR) continue;
            throwFileError(errno);
        }
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

void BinFile::readExact(void* buf, std::size_t n) {
    if (readSome(buf, n) != n) throw Error("Read beyond end of file");
}

namespace {
// Writes all n bytes to fd; a failed or short write throws.
void writeAllFd(int fd, const void* buf, std::size_t n) {
    auto* p = static_cast<const char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd, p + done, n - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            throwFileError(errno);
        }
        if (w == 0) throw Error("Disk full");
        done += static_cast<std::size_t>(w);
    }
}
}  // namespace

void BinFile::writeAll(const void* buf, std::size_t n) {
    if (fd_ < 0) throw Error("File not open");
    writeAllFd(fd_, buf, n);
}

void BinFile::seek(std::int64_t pos) {
    if (pos < 0 || ::lseek(fd_, pos, SEEK_SET) < 0) throwFileError(pos < 0 ? EINVAL : errno);
}

void BinFile::seekEnd() {
    if (::lseek(fd_, 0, SEEK_END) < 0) throwFileError(errno);
}

std::int64_t BinFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throwFileError(errno);
    return st.st_size;
}

std::int64_t BinFile::position() const {
    off_t p = ::lseek(fd_, 0, SEEK_CUR);
    if (p < 0) throwFileError(errno);
    return p;
}

void BinFile::close() {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) throwFileError(errno);
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
    if (::stat(path.c_str(), &st) != 0) throwFileError(errno);
    if (S_ISDIR(st.st_mode)) throwFileError(EISDIR);
    return st.st_size;
}

std::string readWholeFile(const std::string& path) {
    BinFile f(path, BinFile::Mode::Read);
    std::string data(static_cast<std::size_t>(f.size()), '\0');
    data.resize(f.readSome(data.data(), data.size()));
    return data;
}

void writeFileAtomic(const std::string& path, std::string_view data) {
    PartFile out(path);
    out.write(data.data(), data.size());
    out.commit(true, true);
}

PartFile::PartFile(const std::string& dest) : dest_(dest) {
    temp_ = dest + ".part-XXXXXX";
    int fd = ::mkstemp(temp_.data());
    if (fd < 0) throwFileError(errno);
    ::fchmod(fd, 0644);
    fd_ = fd;
}

PartFile::~PartFile() { abandon(); }

void PartFile::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
        ::unlink(temp_.c_str());
    }
}

void PartFile::write(const void* data, std::size_t n) {
    if (fd_ < 0) throw Error("File not open");
    writeAllFd(fd_, data, n);
    written_ += static_cast<std::int64_t>(n);
}

void PartFile::commit(bool replace, bool sync) {
    if (fd_ < 0) throw Error("File not open");
    int err = 0;
    if (sync && ::fsync(fd_) != 0) err = errno;
    if (::close(fd_) != 0 && err == 0) err = errno;
    fd_ = -1;
    if (err == 0) {
        if (replace) {
            if (::rename(temp_.c_str(), dest_.c_str()) != 0) err = errno;
        } else {
            // Never replace: a file that appeared meanwhile is kept.
            if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, dest_.c_str(), RENAME_NOREPLACE) == 0) {
                return;
            } else if (errno == EEXIST) {
                // kept; the temporary file goes below
            } else if (::link(temp_.c_str(), dest_.c_str()) != 0 && errno != EEXIST) {
                // Some file systems have no hard links: fall back to a rename
                // when nothing is there yet.
                if (!fileExists(dest_) && ::rename(temp_.c_str(), dest_.c_str()) != 0) err = errno;
            }
        }
    }
    if (!replace || err != 0) ::unlink(temp_.c_str());
    if (err != 0) throwFileError(err);
}


std::string fileNamePart(std::string_view path) {
    std::size_t cut = path.find_last_of("/\\:");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string folderPart(std::string_view path) {
    std::size_t cut = path.find_last_of("/\\:");
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
