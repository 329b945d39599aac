// The one file-access layer of the editor. Every failure becomes an
// slv::FileError whose text names what was being done, the file, and the
// runtime's file error text:
//
//     "<Action> <path>: <reason>"     e.g. "Saving /home/a/level.slv: Disk full"
//
// The reasons are the runtime's texts ("File not found", "File access denied",
// "Read beyond end of file", "Disk full", "I/O error %d", ...) or a sentence
// of the caller's own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "errors.h"

namespace slv {

// The text for an errno value, in the runtime's words.
std::string fileErrorText(int err);
// Throws the bare runtime text; prefer the FileError forms below, which name the file.
[[noreturn]] void throwFileError(int err);

// A failed file operation: what was being done, to which file, and why.
class FileError : public Error {
public:
    FileError(std::string action, std::string path, std::string reason);
    const std::string& action() const { return action_; }
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    std::string action_;
    std::string path_;
    std::string reason_;
};

// "<action> <path>: <reason>", the one form every file error takes.
std::string fileErrorMessage(std::string_view action, std::string_view path, std::string_view reason);
[[noreturn]] void throwFileError(std::string_view action, const std::string& path, int err);
[[noreturn]] void throwFileError(std::string_view action, const std::string& path, std::string_view reason);

// Runs `f`; an slv::Error it throws that does not name a file yet becomes a
// FileError about `path` ("Opening /a/x.slv: Damaged level package: ...").
// A FileError passes unchanged: it already names its own file.
template <class F>
decltype(auto) withFileContext(std::string_view action, const std::string& path, F&& f) {
    try {
        return std::forward<F>(f)();
    } catch (const FileError&) {
        throw;
    } catch (const Error& e) {
        throw FileError(std::string(action), path, e.what());
    }
}

// Whether opening may follow a symbolic link at the path's last component.
enum class Links { Follow, Refuse };

// The one way the editor opens a file it reads: the open never waits (a
// FIFO without a writer, a device that blocks), and what was opened is
// looked at before any byte is read: everything but a regular file is
// refused ("Not a regular file"; a folder gives "Invalid filename"). With
// Links::Refuse a symbolic link is refused as well. `flags` are open(2)
// flags besides O_CLOEXEC; the descriptor comes back blocking. Returns -1
// and sets `reason` on failure, with errno the system's cause (0 when the
// file's kind was refused).
int openRegularFile(const std::string& path, int flags, Links links, std::string& reason, unsigned mode = 0666);
// The same for reading; a failure throws FileError("Reading", path, reason).
int openFileForReading(const std::string& path, Links links = Links::Follow);

// Makes a write past the file-size limit (ulimit -f) fail with an error
// instead of ending the process. Called first thing by every program's main().
void ignoreFileSizeSignal();

class BinFile {
public:
    enum class Mode { Read, Create, ReadWrite };

    BinFile() = default;
    BinFile(const std::string& path, Mode mode, Links links = Links::Follow) { open(path, mode, links); }
    ~BinFile();
    BinFile(const BinFile&) = delete;
    BinFile& operator=(const BinFile&) = delete;
    BinFile(BinFile&& other) noexcept
        : fd_(other.fd_), path_(std::move(other.path_)), mode_(other.mode_) {
        other.fd_ = -1;
    }

    // Only regular files are opened: a FIFO, device or socket is refused
    // without waiting for it ("Not a regular file"), a folder likewise.
    void open(const std::string& path, Mode mode, Links links = Links::Follow);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
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
    [[noreturn]] void fail(int err) const;
    [[noreturn]] void fail(std::string_view reason) const;
    const char* action() const;

    int fd_ = -1;
    std::string path_;
    Mode mode_ = Mode::Read;
};

// A file written under a temporary name and given its real name only when
// complete, so that a failure never leaves a half-written file under the
// real name and never touches the file being replaced.
//
// Replacing (the default):
//  - a destination that is a symbolic link is written through the link: the
//    link's final target is replaced in the target's own folder and the link
//    stays a link;
//  - the replaced file keeps its permission bits, and its owner and group
//    where the process may set them; a new file gets 0666 less the umask;
//  - a destination the user cannot write is refused ("File access denied"),
//    never replaced through a writable folder;
//  - when the folder refuses new files but the file itself is writable, the
//    bytes are kept in memory and written into the file in place at commit,
//    growing the file before any old byte is overwritten;
//  - the new file is flushed to disk before the rename, the folder after it.
// Creating new files (Target::New) never follows a link at the destination.
//
// The temporary file is "<name>.part-XXXXXX" beside the file it becomes
// (shortened, with a hash of the name, where that would exceed the folder's
// file-name limit). It is removed when the save fails; those that a killed
// save left behind for the same destination are removed when the next save
// to it commits.
class PartFile {
public:
    enum class Target { Replace, New };

    // `action` names the operation in error texts; empty gives "Saving"
    // (Replace) or "Creating" (New).
    explicit PartFile(const std::string& dest, Target target = Target::Replace, std::string action = {});
    ~PartFile();  // removes the temporary file unless committed
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    void write(const void* data, std::size_t n);  // throws on a failed or short write
    std::int64_t written() const { return written_; }
    // The temporary file's descriptor; -1 when the file is written in place.
    int fd() const { return fd_; }
    // The temporary file; empty when the file is written in place.
    const std::string& tempPath() const { return temp_; }
    // The file that commit() replaces or creates (a link's final target).
    const std::string& targetPath() const { return target_; }
    // Closes the file and gives it its real name. With replace false an
    // existing destination is kept and the temporary file is dropped; a
    // destination that is a dangling symbolic link is an error. `sync`
    // flushes a new file; a replacing commit always flushes.
    void commit(bool replace, bool sync = false);
    void abandon();

private:
    [[noreturn]] void fail(int err);
    [[noreturn]] void fail(std::string_view reason);
    void commitInPlace();
    void commitRename(bool replace, bool sync);

    std::string dest_;
    std::string target_;
    std::string action_;
    std::string temp_;
    int fd_ = -1;
    bool inPlace_ = false;
    bool haveOld_ = false;        // target_ existed when the save began
    unsigned oldMode_ = 0;
    unsigned oldUid_ = 0, oldGid_ = 0;
    std::string pending_;         // the bytes of an in-place write
    std::int64_t written_ = 0;
};

// The process's file-creation mask, read without changing it.
unsigned currentFileMask();

bool fileExists(const std::string& path);
bool dirExists(const std::string& path);
// Deleting a file and creating a folder report nothing.
void deleteFile(const std::string& path);
void createDir(const std::string& path);
std::int64_t fileSize(const std::string& path);  // throws when it cannot be opened

// What a file on disk is, as far as another program's write would change it:
// which file the path names (device and inode: a rename over it gives
// another), its size and its modification time. Taken when the editor reads
// or writes a file, and compared before it writes that file again.
struct FileIdentity {
    bool exists = false;
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, modifiedNs = 0;
    // The bytes' hash, kept only when the file was modified so recently that
    // a write of the same size could still leave the same modification time
    // (file-system clocks move in ticks of a few milliseconds).
    std::optional<std::uint64_t> contentHash;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the file at `path` now (through a link, its target's).
FileIdentity fileIdentity(const std::string& path);
// True while the file at `path` is the one `known` describes (or, for a
// `known` that does not exist, while there is still no file). A file that
// cannot be read to compare its hash counts as another.
bool fileStillIs(const std::string& path, const FileIdentity& known);

// Reads a whole file into a string (throws on failure).
std::string readWholeFile(const std::string& path);
// The same for a file that must not be longer than maxBytes: a longer one is
// refused without reading it.
std::string readWholeFile(const std::string& path, std::int64_t maxBytes, Links links = Links::Follow);
// Replaces `path` with `data` through a PartFile: on failure the old file
// stays as it was and no temporary file is left.
void writeFileAtomic(const std::string& path, std::string_view data);

// The file-name part of a path on this system: the text after the last '/'.
// Every other character, '\' and ':' included, belongs to the name.
std::string fileNamePart(std::string_view path);
// The folder part with its trailing separator ('' when there is none).
std::string folderPart(std::string_view path);
// Joins a folder and a name with one '/', turning the name's '\' into '/'.
std::string joinPath(std::string_view folder, std::string_view name);

}  // namespace slv
