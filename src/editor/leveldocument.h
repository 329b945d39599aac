// The level being edited, as a document: the tables, their undo history, the
// items selected, the package they belong to, whether they are saved, and
// the recovery copy kept while they are not.
//
// Every change of the level goes through one method here. Each edit is one
// named undo step; afterwards the document says what changed through its
// signals: recordsChanged for an edit of existing sprites or sectors (a
// move, a typed value, a rename), levelChanged for anything else (items
// added, deleted or reordered, stages, pictures, New, Open). The views
// (lists, fields, the scene) refresh from the level. Settings kept beside
// the level (outline colours, the work folder, the remembered frame counts)
// are changed here too, but are not undo steps.
// The document knows nothing of widgets: what it needs from the display
// (loading pictures, detecting frames) comes in through callbacks, and what
// a package operation shows (progress) through PackageHooks.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "editor/gridsettings.h"
#include "model/editing.h"
#include "model/fileio.h"
#include "model/history.h"
#include "model/level.h"
#include "model/selection.h"
#include "model/settings.h"
#include "package/levelio.h"
#include "package/levelitems.h"
#include "package/recoverywriter.h"

namespace slv {

class LevelDocument : public QObject {
    Q_OBJECT
public:
    // Milliseconds after the last edit before the recovery copy is written.
    static constexpr int kDefaultRecoveryDelayMs = 1000;

    explicit LevelDocument(std::string stateFolder = RecoveryWriter::defaultFolder(),
                           QObject* parent = nullptr);
    ~LevelDocument() override;

    Level& level() { return *level_; }
    const Level& level() const { return *level_; }
    History& history() { return history_; }
    RecoveryWriter& recovery() { return recovery_; }

    // The package the level was opened from or saved to; empty when none.
    const std::string& packagePath() const { return path_; }
    // The package's file name, or "untitled".
    QString displayName() const;
    // True while the level is as it was last opened, made new or saved.
    bool isClean() const { return history_.isClean(); }
    // Whether another program changed the package on disk (replaced it, also
    // by a rename over it, wrote or touched it) since this document opened
    // or last saved it. False when the level has no package, when the
    // package was deleted, and for a restored level (not read from it).
    bool packageChangedOnDisk() const;
    // The package as it was on disk when last opened or saved here.
    const FileIdentity& packageIdentity() const { return packageIdentity_; }

    // What the edits need from the display.
    void setSurfaceCallbacks(SurfaceCallbacks callbacks);
    const SurfaceCallbacks& surfaceCallbacks() const { return surfaces_; }
    void setFrameDetector(DetectFramesFn detect) { detect_ = std::move(detect); }
    // Makes a surface from a picture's bytes (those the level holds). Without
    // it, pictures are loaded from their files.
    using PictureDataLoader = std::function<SurfaceHandle(const std::string& path, const std::string& bytes)>;
    void setPictureDataLoader(PictureDataLoader loader) { loadData_ = std::move(loader); }

    // The bytes of every picture the level uses, as Save writes them: from
    // the package at Open, from the file at Add, Change and a reload. Undo
    // and redo load pictures from here, so a file that changed or went since
    // does not matter to the level.
    const LevelPictureStore& pictures() const { return pictures_; }
    // Reads the file at `path` that is to replace the level's picture there
    // (it changed on disk) and checks it as Open checks a member: its header,
    // its pixels' size and the level's memory budget. Throws slv::Error
    // saying why it is refused; nothing changes then.
    std::shared_ptr<const std::string> readChangedPicture(const std::string& path);
    // The level's picture at `path` becomes `bytes` (read and checked by
    // readChangedPicture and decoded).
    void takeChangedPicture(const std::string& path, std::shared_ptr<const std::string> bytes);

    // ---- edits: each is one undo step; refusals throw slv::Error ----
    void addStages(const std::vector<std::string>& paths);
    void replaceStage(int stage, const std::string& path);
    void deleteStage(int stage);
    void setSplash(const std::string& path);
    void addSprites(const std::string& folder, const std::vector<std::string>& names,
                    const RandomFn& random);
    void replaceSprite(int row, const std::string& folder, const std::string& name);
    // Returns the row to select afterwards (-1 for none).
    int deleteSprite(int row);
    int deleteSector(int row);
    bool setSpriteX(int row, int value);
    bool setSpriteY(int row, int value);
    bool setSectorField(int row, SectorField field, int value);
    void renameSector(int row, const std::string& name);

    // ---- the items selected on the open stage ----
    const LevelSelection& selection() const { return selection_; }
    // Selects `numbers` of `kind` (those the open stage has), the other kind
    // staying as it is.
    void select(ItemKind kind, std::set<int> numbers);
    // Selects item `number` of `kind` alone; 0 selects none.
    void selectOnly(ItemKind kind, int number);
    // Adds item `number` of `kind` to the selection, or takes it out when it
    // is in it already.
    void toggleSelected(ItemKind kind, int number);
    // Selects every item of `kind` the open stage has.
    void selectAll(ItemKind kind);

    // ---- cut, copy, paste, duplicate and delete of the selection ----
    // The selected items of `kind` with the bytes of their pictures.
    LevelItems copySelection(ItemKind kind) const;
    // Puts `items` on the open stage as one undo step named `stepName`
    // ("Paste sprites"): where they were taken, moved on by 10,10 while that
    // place holds the same items (see pasteOffset). A picture the level
    // lacks is written into the level's folder and taken as Add takes a
    // file; a sector whose name the stage has takes the lowest free
    // "SectorN". Past 100 items a stage or 3000 pictures nothing changes
    // and slv::Error says why. The pasted items become the selection.
    void pasteItems(const LevelItems& items, const std::string& stepName);
    // Deletes the selected items of `kind` as one undo step named `stepName`
    // ("Delete sprites", "Cut sprites"); the item that moved into the first
    // place is selected afterwards.
    void deleteSelection(ItemKind kind, const std::string& stepName);

    // ---- placing items with the mouse ----
    // A new gesture (a press on the view) starts: the moves of one gesture
    // are one undo step. Returns its key for moveSelection.
    std::uint64_t beginGesture() { return ++gesture_; }
    // Moves every selected item of `kind` by (dx, dy) as part of `gesture`.
    // Returns false when nothing moved.
    bool moveSelection(ItemKind kind, int dx, int dy, std::uint64_t gesture);
    // Moves every selected item of `kind` by (dx, dy) from the keyboard.
    // Nudges in a row of the same items, with no other edit, undo or redo
    // between them, are one undo step. Returns false when nothing moved.
    bool nudgeSelection(ItemKind kind, int dx, int dy);
    // The rubber band of a new sector: its first corner, the pointer (its
    // other corner), and its end, which makes the sector (one undo step,
    // "Draw sector") and selects it. finishBand returns the new sector's
    // number, 0 when the band was empty or none was drawn.
    void startBand(int x, int y);
    void trackPointer(int x, int y);
    bool bandActive() const { return level_->session.bandActive; }
    int finishBand();

    // The view's grid, as the window's View menu sets it. snapToGrid gives
    // the grid point nearest to `p` while snapping is on, `p` itself when
    // off: where a dragged item's corner, a pasted item or a band's corner
    // goes. A view setting, not part of the level: no undo step.
    const GridSettings& grid() const { return grid_; }
    void setGrid(const GridSettings& grid) { grid_ = grid; }
    QPoint snapToGrid(QPoint p) const { return grid_.snapToGrid(p); }

    // A followed picture changed size: its sprites take frames of the new
    // size (one undo step, "Follow changed picture").
    struct FrameSize {
        int stage, number, w, h;
    };
    void fitSpriteFrames(const std::vector<FrameSize>& sizes);

    // ---- settings kept beside the level (not undo steps) ----
    const EditorSettings& settings() const { return settings_; }
    void setSpriteBoxColor(std::uint32_t color) { settings_.spriteBoxColor = color; }
    void setSectorColor(std::uint32_t color) { settings_.sectorColor = color; }
    void setWorkFolder(const std::string& folder);
    void setHomeFolder(const std::string& folder) { settings_.homeFolder = folder; }
    // Takes the outline colours and the work folder from the settings file
    // (see slv::readSettings); the defaults stand when it cannot be read.
    ReadReport readSettingsFile(const std::string& path, SettingsState& state);
    // The remembered frame counts ("poses"): see slv::pickSpriteFile and
    // slv::setPoseFrames.
    int pickSpriteFile(const std::string& folder, const std::string& name);
    bool setPoseFrames(const std::string& name, int frames);

    // Runs `change` on the level as one undo step named `label` (for edits
    // that have no method of their own yet).
    template <class Change>
    auto edit(StepLabel label, Change&& change, std::uint64_t mergeKey = 0);
    // The same for a change of the records in `touched` only (and the
    // counts): the history compares just those.
    template <class Change>
    auto editRecords(StepLabel label, const std::vector<RecordRef>& touched, Change&& change,
                     std::uint64_t mergeKey = 0);

    // Undo and redo; false when there is no step. A picture that does not
    // load again is thrown as slv::Error after the step is taken.
    bool undo();
    bool redo();

    // Shows stage `stage` in the view (0: none). Not an edit.
    void openStage(int stage);

    // ---- the package ----
    // Empties the level and its history.
    void newLevel(PackageHooks& hooks);
    void open(const std::string& path, PackageHooks& hooks);
    void save(const std::string& path, PackageHooks& hooks);
    // With this on, Open returns once the pictures are loaded from the
    // package, and the level's bitmap files are written afterwards: a few
    // at a time from the event loop. What reads one writes it first: opening
    // a stage its own, a picture loaded again (undo, redo) its file; another
    // level writes all that are left. Save and the recovery copy take the
    // pictures not written yet from the package. Off by default.
    void setWriteFilesAfterOpen(bool on) { writeFilesAfterOpen_ = on; }
    // The open level's bitmap files not written yet.
    std::size_t levelFilesLeft() const { return pendingFiles_.left(); }
    // Writes every one of them, or those at `paths`. Throws slv::Error naming
    // the file that could not be written; it is tried again next time.
    void writeLevelFiles();
    void writeLevelFiles(const std::vector<std::string>& paths);
    // Opens a package a crashed editor left, as an unsaved level. The package
    // stays on disk as this editor's recovery copy until a newer one replaces
    // it, so a second crash right after the restore still leaves it.
    void restore(LeftPackage& left, PackageHooks& hooks);

    // ---- the recovery copy ----
    int recoveryDelay() const { return recoveryDelayMs_; }
    void setRecoveryDelay(int ms) { recoveryDelayMs_ = ms < 0 ? 0 : ms; }
    // Starts writing the copy in the background now (when there is anything
    // unsaved and no write is running).
    void writeRecoveryNow();
    // Writes the copy on this thread, after any running write: for an editor
    // that is about to end (a signal, the end of the desktop session). True
    // when the level is saved or its copy is on disk.
    bool writeRecoveryAndWait();
    // A clean close: this editor's recovery folder goes with it.
    void closeSession();

signals:
    // The tables changed in their structure (an edit, undo or redo that adds,
    // deletes or reorders items or changes stages or pictures; New, Open).
    void levelChanged();
    // Existing items of `stage` changed (numbers 1-based), nothing else: a
    // move, a typed value, a rename, their undo and redo.
    void recordsChanged(slv::ItemKind kind, int stage, const QList<int>& numbers);
    // The items selected of `kind` changed.
    void selectionChanged(slv::ItemKind kind);
    // Another stage is shown in the view (0: none).
    void openStageChanged(int stage);
    void cleanChanged(bool clean);
    void packagePathChanged(const QString& path);
    // A recovery copy could not be written; said once until one is written.
    void recoveryFailed(const QString& message);
    // A bitmap file of the open level could not be written after Open.
    void levelFilesFailed(const QString& message);

private:
    struct EditMark {
        int openStage;
        bool clean;
    };
    EditMark mark() const { return {level_->openStage, history_.isClean()}; }
    void finishEdit(EditMark before);
    // Drops selected numbers the open stage no longer has.
    void fixSelection();
    void clearSelection();
    template <class Change>
    auto runEdit(StepLabel label, const std::vector<RecordRef>* touched, Change&& change,
                 std::uint64_t mergeKey);
    void setPath(const std::string& path);
    bool stepHistory(bool forward);
    void reportRecovery(const std::string& error);
    void writeSomeLevelFiles();
    void finishLevelFilesBeforeLeaving();
    // How a checked picture counts in the level's memory budget.
    enum class PictureUse { Image, Stage, Replacing };
    // The picture file at `path`, read whole and checked as Open checks a
    // member, counted as `use`. Throws slv::Error.
    std::shared_ptr<const std::string> readPictureFile(const std::string& path, PictureUse use);
    // Memory the level's picture at `path` takes once decoded (from the bytes held).
    std::int64_t pictureMemory(const std::string& path);
    void putPicture(const std::string& path, std::shared_ptr<const std::string> bytes);
    // The file a pasted picture is to use: the level's own picture with its
    // name and bytes, else a file of the level's folder (written when it is
    // not there yet). `written` tells whether this paste wrote it.
    std::string pastedPicturePath(const ItemPicture& picture, bool& written);
    // Runs an Add or Change of sprites: the pictures it loads come from their
    // files, checked, and those taken join the level's pictures.
    template <class Change>
    auto takingSpriteFiles(Change&& change);

    std::unique_ptr<Level> level_;
    EditorSettings settings_;
    History history_;
    RecoveryWriter recovery_;
    std::string path_;
    FileIdentity packageIdentity_;  // of path_, when this document read or wrote it
    SurfaceCallbacks surfaces_;
    PictureDataLoader loadData_;
    DetectFramesFn detect_;
    LevelPictureStore pictures_;
    std::unordered_map<std::string, std::int64_t> pictureMemory_;  // path -> decoded bytes
    // During an Add or Change of sprites: pictures loaded from their files.
    bool takingFiles_ = false;
    std::unordered_map<std::string, std::shared_ptr<const std::string>> taken_;
    QTimer recoveryTimer_;
    bool writeFilesAfterOpen_ = false;
    PendingLevelFiles pendingFiles_;
    QTimer levelFileTimer_;  // writes pendingFiles_ between frames
    int recoveryDelayMs_ = kDefaultRecoveryDelayMs;
    bool recoveryFailureShown_ = false;
    bool restoring_ = false;
    std::uint64_t gesture_ = 0;  // counts presses: a drag merges by it
    // The run of nudges going on: its merge key, and the items it moves.
    // Any other edit, undo or redo ends the run.
    std::uint64_t nudgeRun_ = 0;
    bool nudging_ = false;
    ItemKind nudgeKind_ = ItemKind::Sprite;
    std::set<int> nudgeItems_;
    LevelSelection selection_;
    GridSettings grid_;
};

template <class Change>
auto LevelDocument::edit(StepLabel label, Change&& change, std::uint64_t mergeKey) {
    return runEdit(std::move(label), nullptr, std::forward<Change>(change), mergeKey);
}

template <class Change>
auto LevelDocument::editRecords(StepLabel label, const std::vector<RecordRef>& touched, Change&& change,
                                std::uint64_t mergeKey) {
    return runEdit(std::move(label), &touched, std::forward<Change>(change), mergeKey);
}

template <class Change>
auto LevelDocument::runEdit(StepLabel label, const std::vector<RecordRef>* touched, Change&& change,
                            std::uint64_t mergeKey) {
    const EditMark before = mark();
    bool recorded = false;
    try {
        if constexpr (std::is_void_v<decltype(change())>) {
            {
                HistoryEdit step(history_, *level_, mergeKey, std::move(label), touched);
                change();
            }
            recorded = true;
            finishEdit(before);
        } else {
            auto result = [&] {
                HistoryEdit step(history_, *level_, mergeKey, std::move(label), touched);
                return change();
            }();
            recorded = true;
            finishEdit(before);
            return result;
        }
    } catch (...) {
        // What the edit did before it failed stays, as its own step.
        if (!recorded) finishEdit(before);
        throw;
    }
}

}  // namespace slv
