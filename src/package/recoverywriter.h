// The recovery package: a copy of a level with unsaved changes, written in
// the background to the user's state folder so that a crash loses little.
//
// Every running editor has a folder of its own in the state folder,
// "session-<pid>-<random>", holding a lock file that the editor keeps locked
// (flock) for as long as it runs. In it go its recovery package
// (recovery.slv), the note naming the package the level came from
// (recovery.txt, empty for a new level) and, after a restore, the restored
// level's pictures (sprites/ and backpx/). A session folder whose lock is
// free belongs to an editor that ended without closing: its package is
// offered at the next start, and a folder with no package is removed.
//
// The level is copied on the caller's thread (the window's), then written on
// a worker thread with the same writer as Save, which writes under a
// temporary name and renames the finished file over the old one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/level.h"
#include "package/levelio.h"

namespace slv {

// An exclusive flock on an open lock file; let go when this ends.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock() { release(); }
    FolderLock(FolderLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Locks `path` (created when missing) without waiting; false when
    // another holder has it or it cannot be opened.
    bool tryLock(const std::string& path, bool create);
    bool held() const { return fd_ >= 0; }
    void release();

private:
    int fd_ = -1;
};

// A recovery package left by an editor that ended without closing, held
// locked so that no other starting editor offers it at the same time.
struct LeftPackage {
    std::string folder;     // its session folder
    std::string package;    // folder/recovery.slv
    std::string levelPath;  // what its note names; empty for a new level
    std::int64_t modified = 0;
    FolderLock lock;
};

class RecoveryWriter {
public:
    // `stateFolder` holds the session folders; nothing is made until needed.
    explicit RecoveryWriter(std::string stateFolder = defaultFolder());
    // Waits for a running write and lets go of the lock; the files stay, as
    // after a crash.
    ~RecoveryWriter();
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;

    // $XDG_STATE_HOME/slvedit, or ~/.local/state/slvedit without it.
    static std::string defaultFolder();
    // Every recovery package in a state folder, of running editors or not.
    static std::vector<std::string> packagesIn(const std::string& stateFolder);

    // This editor's folder, made and locked the first time. Throws slv::Error.
    const std::string& claimSession();
    // This editor's folder; empty while it has none.
    std::string sessionFolder() const { return session_; }
    std::string packagePath() const;
    std::string notePath() const;
    bool exists() const;

    // Starts writing `snapshot` (taken by the caller) in the background.
    // False, and nothing started, while an earlier write still runs or when
    // the session folder cannot be made (lastError says why). `done` runs on
    // the worker when the write has ended, with the error ("" when written).
    // Pictures in `unwritten` (files an Open has not written yet) are copied
    // from the package they wait in.
    bool start(std::unique_ptr<Level> snapshot, const std::string& levelPath, UnwrittenPictures unwritten = {},
               std::function<void(const std::string& error)> done = {});
    // Writes a copy of `level` on the caller's thread, after any running
    // write. Throws slv::Error when it cannot be written.
    void writeNow(const Level& level, const std::string& levelPath, const UnwrittenPictures& unwritten = {});
    bool busy() const { return busy_; }
    // Waits until a running write has ended.
    void wait();
    // Waits, then deletes the package and its note.
    void remove();
    // Deletes the pictures a restored level was given in this editor's
    // folder (once no level refers to them).
    void removePictures();
    // A clean close: removes this editor's folder with all it holds and lets
    // go of its lock.
    void close();
    // The message of the last write that failed; empty after a good one.
    std::string lastError() const;

    // The packages of editors that ended without closing, newest first, each
    // locked by this editor until the entry ends. Folders of ended editors
    // without a package are removed on the way.
    std::vector<LeftPackage> claimLeftPackages();
    // Removes a left package's whole folder.
    static void discard(LeftPackage& left);
    // Moves a left package into this editor's folder as its recovery
    // package, with its note, to be opened from there (its pictures are
    // extracted beside it); returns its new path.
    std::string adopt(LeftPackage& left);
    // Puts an adopted package back where it came from (its open failed).
    void giveBack(LeftPackage& left, const std::string& adopted);

    // The level path a note names; empty when the note is missing, is not
    // a regular file (a FIFO, a link, a device), is longer than
    // kMaxNoteBytes or cannot be read. Never waits.
    static std::string readNote(const std::string& path);
    static constexpr std::int64_t kMaxNoteBytes = 64 * 1024;

private:
    void adoptUnsharedPackage();
    std::string folder_;   // the state folder
    std::string session_;  // this editor's folder; empty until claimed
    FolderLock lock_;
    std::thread worker_;
    std::atomic<bool> busy_{false};
    mutable std::mutex mutex_;
    std::string lastError_;
};

}  // namespace slv
