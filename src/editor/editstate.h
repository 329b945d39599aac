// The main window's editing state: the level's history, the package it
// belongs to, what the fields show and the recovery package.
#pragma once

#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>

#include "editor/mainwindow.h"
#include "model/history.h"
#include "package/recoverywriter.h"

struct MainWindow::EditState {
    slv::History history;
    slv::RecoveryWriter recovery;
    std::string path;          // package of the level; empty for a new level
    int spriteShown = 0;       // sprite of openStage the Sprite fields show; 0 none
    int sectorShown = 0;       // the same for the Sector fields
    std::uint64_t gesture = 0; // counts mouse presses; a drag merges by it
    bool discardAnswered = false;  // the close under way was answered
    bool restoring = false;    // a recovery package is being opened into the state folder
    QTimer* recoveryTimer = nullptr;
};

// One edit of the level: recorded as one history step when the scope ends,
// after which the window updates its title and the recovery timer.
struct MainWindow::EditScope {
    MainWindow& w;
    std::optional<slv::HistoryEdit> edit;
    explicit EditScope(MainWindow& win, std::uint64_t mergeKey = 0) : w(win) {
        edit.emplace(w.history(), *w.level_, mergeKey);
    }
    ~EditScope() {
        edit.reset();
        w.afterEdit();
    }
    EditScope(const EditScope&) = delete;
    EditScope& operator=(const EditScope&) = delete;
};

// Merge keys: edits with the same key in a row become one step.
namespace slv::mergekey {
inline std::uint64_t drag(std::uint64_t gesture) { return (1ull << 60) | gesture; }
inline std::uint64_t field(int which, int stage, int record) {
    return (2ull << 60) | (static_cast<std::uint64_t>(which) << 32) |
           (static_cast<std::uint64_t>(stage & 0xFFFF) << 16) | static_cast<std::uint64_t>(record & 0xFFFF);
}
}  // namespace slv::mergekey
