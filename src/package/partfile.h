// A file written under a temporary name beside its destination and renamed
// into place only when complete, so that a failure never leaves a half-
// written file under the real name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace slv {

class BinFile;

// getfile's copy over a package that is already open: copies `size` bytes
// from `offset` into a new file at `dest` unless one exists there; `buf` is
// reused between calls.
void extractMember(BinFile& package, const std::string& dest, std::int64_t offset, std::int64_t size,
                   std::vector<char>& buf);

class PartFile {
public:
    // Creates "<dest>.part-XXXXXX" in the destination's folder.
    explicit PartFile(const std::string& dest);
    ~PartFile();  // removes the temporary file unless committed
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    void write(const void* data, std::size_t n);  // throws on a failed or short write
    std::int64_t written() const { return written_; }
    const std::string& tempPath() const { return temp_; }
    // Closes the file and gives it its real name. With replace false an
    // existing destination is kept and the temporary file is dropped.
    void commit(bool replace, bool sync = false);
    void abandon();

private:
    std::string dest_;
    std::string temp_;
    int fd_ = -1;
    std::int64_t written_ = 0;
};

}  // namespace slv
