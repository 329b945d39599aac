#include "partfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/errors.h"
#include "model/fileio.h"

namespace slv {

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
    auto* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd_, p + done, n - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            throwFileError(errno);
        }
        if (w == 0) throw Error("Disk full");
        done += static_cast<std::size_t>(w);
    }
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

}  // namespace slv
