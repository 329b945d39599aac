// The one file-access layer of the editor. Every failure becomes an
// slv::Error carrying the runtime's file error text ("File not found",
// "File access denied", "Read beyond end of file", "Disk full", ...).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace slv {

// The text for an errno value, in the runtime's words.
std::string fileErrorText(int err);
[[noreturn]] void throwFileError(int err);

class BinFile {
public:
    enum class Mode { Read, Create, ReadWrite };

    BinFile() = default;
    BinFile(const std::string& path, Mode mode) { open(path, mode); }
    ~BinFile();
    BinFile(const BinFile&) = delete;
    BinFile& operator=(const BinFile&) = delete;
    BinFile(BinFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

    void open(const std::string& path, Mode mode);
    bool isOpen() const { return fd_ >= 0; }
    // Reads exactly n bytes or throws "Read beyond end of file".
    void readExact(void* buf, std::size_t n);
    // Reads up to n bytes; returns how many were read (0 at the end).
    std::size_t readSome(void* buf, std::size_t n);
    // Writes all n bytes or throws ("Disk full" on a short write).
    void writeAll(const void* buf, std::size_t n);
    void seek(std::int64_t pos);
    void seekEnd();
    std::int64_t size() const;
    std::int64_t position() const;
    void close();  // throws on a failed close

private:
    int fd_ = -1;
};

// A file written under a temporary name beside its destination and renamed
// into place only when complete, so that a failure never leaves a half-
// written file under the real name.
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

bool fileExists(const std::string& path);
bool dirExists(const std::string& path);
// Deleting a file and creating a folder report nothing.
void deleteFile(const std::string& path);
void createDir(const std::string& path);
std::int64_t fileSize(const std::string& path);  // throws when it cannot be opened

// Reads a whole file into a string (throws on failure).
std::string readWholeFile(const std::string& path);
// Writes `data` to a temporary file beside `path` and renames it over `path`
// only when everything was written; on failure the old file stays as it was.
void writeFileAtomic(const std::string& path, std::string_view data);

// The file-name part of a path: the text after the last '/', '\' or drive colon.
std::string fileNamePart(std::string_view path);
// The folder part with its trailing separator ('' when there is none).
std::string folderPart(std::string_view path);
// Joins a folder and a name with one '/', turning the name's '\' into '/'.
std::string joinPath(std::string_view folder, std::string_view name);

}  // namespace slv
