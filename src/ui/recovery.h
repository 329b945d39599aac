// The recovery package: a copy of a level with unsaved changes, written in
// the background to the user's state folder so that a crash loses little.
//
// The level is copied on the caller's thread (the window's), then written on
// a worker thread with the same writer as Save, which writes under a
// temporary name and renames the finished file over the old one. Beside the
// package a note names the package the level came from (empty for a new
// level), so that a restored level keeps its name.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "model/level.h"

namespace slv {

class RecoveryWriter {
public:
    // `folder` is where the package goes; created when first written.
    explicit RecoveryWriter(std::string folder = defaultFolder());
    ~RecoveryWriter();  // waits for a running write; leaves the files
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;

    // $XDG_STATE_HOME/slvedit, or ~/.local/state/slvedit without it.
    static std::string defaultFolder();

    std::string packagePath() const;
    std::string notePath() const;
    bool exists() const;
    // The package path the note names; empty for a new level or no note.
    std::string levelPathNote() const;

    // Starts writing `snapshot` (taken by the caller) in the background.
    // False, and nothing started, while an earlier write still runs.
    bool start(std::unique_ptr<Level> snapshot, const std::string& levelPath);
    bool busy() const { return busy_; }
    // Waits until a running write has ended.
    void wait();
    // Waits, then deletes the package and its note.
    void remove();
    // The message of the last write that failed; empty after a good one.
    std::string lastError() const;

private:
    std::string folder_;
    std::thread worker_;
    std::atomic<bool> busy_{false};
    mutable std::mutex mutex_;
    std::string lastError_;
};

}  // namespace slv
