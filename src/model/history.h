// Undo and redo of level edits.
//
// The history keeps a shadow copy of the level's tables as they stood after
// the last recorded edit. An edit runs between begin() and record(): record()
// compares the tables with the shadow and keeps, for each record that
// changed, its bytes before and after, together with the counts the edit
// changed. A step therefore costs memory in proportion to what the edit
// touched, and undo or redo writes back exactly those records.
//
// An edit that knows which records it may change (a drag moves the records
// of the items it drags) declares them: record() then compares only those
// records and the counts, so a step of a long drag costs a few records, not
// a pass over every table. With checkDeclared on, the rest of the tables are
// compared as well and an undeclared change is still recorded (and counted
// in undeclaredChanges()), so a declaration that is too short never breaks
// undo; it is on in debug builds.
//
// What the history leaves alone: the surface references of sprite and image
// records, which only mean something while the program runs (the frame a
// sprite shows while it animates is not in the level at all). After undo or
// redo the surfaces are set right again: an image that comes back gets its
// picture loaded again, an
// image that goes away has its picture released, and every live sprite takes
// the surface of its image.
//
// The pose table and the outline colours are settings, not level edits; they
// are not recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editing.h"
#include "level.h"

namespace slv {

// What an undo step is called ("Move sprite") and what it was about: the
// page (0 stages, 1 sprites, 2 sectors; -1 none) and 0-based row to select
// when the step is undone or redone.
struct StepLabel {
    StepLabel(std::string stepName = {}, int stepPage = -1, int stepRow = -1)
        : name(std::move(stepName)), page(stepPage), row(stepRow) {}
    std::string name;
    int page = -1;
    int row = -1;
    // Every row the step was about (0-based) when there were several; empty
    // when `row` alone says it.
    std::vector<int> rows;
};

// One record of the level's tables, as the history names it: `index` is
// the record's place in its flat table (see the *Record functions).
enum class RecordTable : std::uint8_t { Stage, Sprite, Sector, Image };
struct RecordRef {
    RecordTable table = RecordTable::Stage;
    int index = 0;
    bool operator==(const RecordRef&) const = default;
};
RecordRef stageRecord(int stage);              // 0..30
RecordRef spriteRecord(int stage, int number); // stage 1..30, number 1..100
RecordRef sectorRecord(int stage, int number); // stage 0..30, number 1..100
RecordRef imageRecord(int number);             // 1..3000
// The stage and the number of a sprite or sector record.
int recordStage(RecordRef r);
int recordNumber(RecordRef r);

class History {
public:
    // How many steps are kept; the oldest go first. Beyond kKeptSteps steps
    // the oldest also go while the steps hold more than kByteBudget bytes.
    static constexpr std::size_t kDefaultLimit = 1000;
    static constexpr std::size_t kKeptSteps = 500;
    static constexpr std::size_t kByteBudget = std::size_t(128) << 20;

    explicit History(std::size_t limit = kDefaultLimit, std::size_t byteBudget = kByteBudget);
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Forgets every step and takes the level as it is now as the saved
    // state (New, Open, start-up).
    void reset(const Level& lv);

    // An edit starts. Calls nest: only the outermost begin/record pair makes
    // a step, so several edits that are one action become one step.
    void begin(const Level& lv);

    // The edit that began ends: the records that changed since the last step
    // become one step (nothing is recorded when nothing changed). A non-zero
    // `mergeKey` equal to the previous step's merges the two into one step,
    // unless the previous step is the saved state or was undone. The redo
    // steps are dropped when a step is recorded. Returns true when a step
    // was recorded or merged.
    bool record(const Level& lv, std::uint64_t mergeKey = 0, StepLabel label = {});
    // The same for an edit that changed only the records in `declared` (and
    // perhaps the counts): only those are compared.
    bool record(const Level& lv, std::uint64_t mergeKey, StepLabel label,
                const std::vector<RecordRef>& declared);

    // Compare the whole tables after a declared edit too (see above).
    void setCheckDeclared(bool on) { checkDeclared_ = on; }
    bool checksDeclared() const { return checkDeclared_; }
    // Records changed outside their edit's declaration, found by that check
    // since the last reset().
    std::size_t undeclaredChanges() const { return undeclared_; }

    // What the last record(), undo() or redo() changed: the records, and
    // whether stageCount or imageCount changed.
    const std::vector<RecordRef>& lastChanged() const { return lastChanged_; }
    bool lastChangedCounts() const { return lastChangedCounts_; }

    // Undoes or redoes one step; false when there is none. Pictures that come
    // back are loaded through `cb` (load and setColorKey), pictures that go
    // away are released. A picture that fails to load leaves its surface at
    // 0; the first such failure is thrown as slv::Error after the whole step
    // is applied, so the tables are always whole.
    bool undo(Level& lv, const SurfaceCallbacks& cb);
    bool redo(Level& lv, const SurfaceCallbacks& cb);

    bool canUndo() const { return index_ > 0; }
    bool canRedo() const { return index_ < steps_.size(); }
    // Steps that can be undone / redone.
    std::size_t undoCount() const { return index_; }
    std::size_t redoCount() const { return steps_.size() - index_; }

    // The label of the step undo / redo would take; nullptr when none.
    const StepLabel* undoLabel() const;
    const StepLabel* redoLabel() const;

    // True while the level is as it was at the last reset() or setClean().
    bool isClean() const { return depth_ == 0 && cleanIndex_ == static_cast<long>(index_); }
    // The level as it is now is the saved state (after Save).
    void setClean(const Level& lv);

    // The level as it is now differs from any saved state (a restored
    // recovery package).
    void markUnsaved() { cleanIndex_ = -1; }

    // Bytes held by the steps (the shadow copy not included).
    std::size_t bytes() const;

    // Takes the tables as they are now into the shadow without making a
    // step (for changes that are not edits, such as Save measuring files).
    void resync(const Level& lv);

    struct Step;

private:
    void apply(Level& lv, const Step& st, bool forward, const SurfaceCallbacks& cb);
    void noteChanged(const Step& st);
    void dropOldest();

    struct Shadow;
    std::unique_ptr<Shadow> shadow_;
    std::deque<std::unique_ptr<Step>> steps_;
    std::size_t index_ = 0;   // steps 0..index_-1 are done
    long cleanIndex_ = 0;     // -1: the saved state is no longer reachable
    std::size_t limit_;
    std::size_t byteBudget_;
    std::size_t bytes_ = 0;
    int depth_ = 0;
    std::int32_t openStageAtBegin_ = 0;
#ifdef NDEBUG
    bool checkDeclared_ = false;
#else
    bool checkDeclared_ = true;
#endif
    std::size_t undeclared_ = 0;
    std::vector<RecordRef> lastChanged_;
    bool lastChangedCounts_ = false;
    bool recordStep(const Level& lv, std::uint64_t mergeKey, StepLabel label,
                    const std::vector<RecordRef>* declared);
};

// One edit as a scope: begins on construction and records on destruction,
// also when the edit fails half-way (what it did stays undoable).
class HistoryEdit {
public:
    HistoryEdit(History& h, const Level& lv, std::uint64_t mergeKey = 0, StepLabel label = {},
                const std::vector<RecordRef>* declared = nullptr)
        : h_(h), lv_(lv), mergeKey_(mergeKey), label_(std::move(label)), declared_(declared) {
        h_.begin(lv_);
    }
    ~HistoryEdit() {
        if (declared_)
            h_.record(lv_, mergeKey_, std::move(label_), *declared_);
        else
            h_.record(lv_, mergeKey_, std::move(label_));
    }
    HistoryEdit(const HistoryEdit&) = delete;
    HistoryEdit& operator=(const HistoryEdit&) = delete;

private:
    History& h_;
    const Level& lv_;
    std::uint64_t mergeKey_;
    StepLabel label_;
    const std::vector<RecordRef>* declared_;
};

}  // namespace slv
