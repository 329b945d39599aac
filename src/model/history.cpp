#include "history.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "errors.h"
#include "tablebounds.h"

namespace slv {

namespace {

enum Table : std::uint8_t { kStage, kSprite, kSector, kImage };

constexpr int kStageRecords = kMaxStages + 1;
constexpr int kSpriteRecords = kMaxSprites * kMaxStages;
constexpr int kSectorRecords = kMaxSectors * (kMaxStages + 1);
constexpr int kImageRecords = kMaxImages;

constexpr std::size_t recordSize(std::uint8_t table) {
    switch (table) {
    case kStage: return sizeof(StageRec);
    case kSprite: return sizeof(SpriteRec);
    case kSector: return sizeof(SectorRec);
    default: return sizeof(ImageRec);
    }
}

// The tables of a level as flat arrays of records.
struct Tables {
    StageRec* stages;
    SpriteRec* sprites;
    SectorRec* sectors;
    ImageRec* images;

    std::uint8_t* record(std::uint8_t table, int index) const {
        switch (table) {
        case kStage: return reinterpret_cast<std::uint8_t*>(stages + index);
        case kSprite: return reinterpret_cast<std::uint8_t*>(sprites + index);
        case kSector: return reinterpret_cast<std::uint8_t*>(sectors + index);
        default: return reinterpret_cast<std::uint8_t*>(images + index);
        }
    }
};

Tables tablesOf(Level& lv) {
    return {lv.stages, &lv.spriteTable[0][0], &lv.sectorTable[0][0], lv.imageTable};
}

Tables tablesOf(const Level& lv) { return tablesOf(const_cast<Level&>(lv)); }

// Sprite records compared without the surface (bytes 0..3). The stored
// frame counts like any other field: only edits change it.
bool sameSprite(const SpriteRec& a, const SpriteRec& b) {
    return std::memcmp(reinterpret_cast<const std::uint8_t*>(&a) + 4,
                       reinterpret_cast<const std::uint8_t*>(&b) + 4, sizeof(SpriteRec) - 4) == 0;
}

// Image records compared without the surface.
bool sameImage(const ImageRec& a, const ImageRec& b) {
    return std::memcmp(reinterpret_cast<const std::uint8_t*>(&a) + 4,
                       reinterpret_cast<const std::uint8_t*>(&b) + 4, sizeof(ImageRec) - 4) == 0;
}

bool sameBytes(const void* a, const void* b, std::size_t n) { return std::memcmp(a, b, n) == 0; }

}  // namespace

RecordRef stageRecord(int stage) { return {RecordTable::Stage, stage}; }
RecordRef spriteRecord(int stage, int number) {
    return {RecordTable::Sprite, (number - 1) * kMaxStages + (stage - 1)};
}
RecordRef sectorRecord(int stage, int number) {
    return {RecordTable::Sector, (number - 1) * (kMaxStages + 1) + stage};
}
RecordRef imageRecord(int number) { return {RecordTable::Image, number - 1}; }

int recordStage(RecordRef r) {
    switch (r.table) {
    case RecordTable::Sprite: return r.index % kMaxStages + 1;
    case RecordTable::Sector: return r.index % (kMaxStages + 1);
    case RecordTable::Stage: return r.index;
    default: return 0;
    }
}

int recordNumber(RecordRef r) {
    switch (r.table) {
    case RecordTable::Sprite: return r.index / kMaxStages + 1;
    case RecordTable::Sector: return r.index / (kMaxStages + 1) + 1;
    case RecordTable::Image: return r.index + 1;
    default: return r.index;
    }
}

struct History::Shadow {
    StageRec stages[kStageRecords];
    SpriteRec sprites[kSpriteRecords];
    SectorRec sectors[kSectorRecords];
    ImageRec images[kImageRecords];
    std::int32_t stageCount = 0;
    std::int32_t imageCount = 0;

    Tables tables() { return {stages, sprites, sectors, images}; }

    void take(const Level& lv) {
        std::memcpy(stages, lv.stages, sizeof stages);
        std::memcpy(sprites, lv.spriteTable, sizeof sprites);
        std::memcpy(sectors, lv.sectorTable, sizeof sectors);
        std::memcpy(images, lv.imageTable, sizeof images);
        stageCount = lv.stageCount;
        imageCount = lv.imageCount;
    }
};

static_assert(sizeof(Level::spriteTable) == sizeof(SpriteRec) * kSpriteRecords);
static_assert(sizeof(Level::sectorTable) == sizeof(SectorRec) * kSectorRecords);

struct History::Step {
    struct Change {
        std::uint8_t table;
        std::uint16_t index;
        std::uint32_t offset;  // into data: the bytes before, then the bytes after
    };
    std::vector<Change> changes;
    std::vector<std::uint8_t> data;
    std::int32_t stageCountBefore = 0, stageCountAfter = 0;
    std::int32_t imageCountBefore = 0, imageCountAfter = 0;
    std::int32_t openStageBefore = 0, openStageAfter = 0;
    std::uint64_t mergeKey = 0;
    StepLabel label;

    std::size_t bytes() const {
        return sizeof(Step) + data.capacity() + changes.capacity() * sizeof(Change) +
               label.name.capacity();
    }
    void add(std::uint8_t table, int index, const void* before, const void* after) {
        const std::size_t n = recordSize(table);
        changes.push_back({table, static_cast<std::uint16_t>(index),
                           static_cast<std::uint32_t>(data.size())});
        const auto* b = static_cast<const std::uint8_t*>(before);
        const auto* a = static_cast<const std::uint8_t*>(after);
        data.insert(data.end(), b, b + n);
        data.insert(data.end(), a, a + n);
    }
    const std::uint8_t* before(const Change& c) const { return data.data() + c.offset; }
    const std::uint8_t* after(const Change& c) const {
        return data.data() + c.offset + recordSize(c.table);
    }
};

History::History(std::size_t limit, std::size_t byteBudget)
    : shadow_(std::make_unique<Shadow>()), limit_(limit), byteBudget_(byteBudget) {
    if (limit_ < 1) limit_ = 1;
}

History::~History() = default;

void History::reset(const Level& lv) {
    steps_.clear();
    bytes_ = 0;
    index_ = 0;
    cleanIndex_ = 0;
    depth_ = 0;
    undeclared_ = 0;
    shadow_->take(lv);
}

void History::resync(const Level& lv) { shadow_->take(lv); }

void History::setClean(const Level& lv) {
    cleanIndex_ = static_cast<long>(index_);
    shadow_->take(lv);
}

void History::begin(const Level& lv) {
    if (depth_++ == 0) openStageAtBegin_ = lv.openStage;
}

bool History::record(const Level& lv, std::uint64_t mergeKey, StepLabel label) {
    return recordStep(lv, mergeKey, std::move(label), nullptr);
}

bool History::record(const Level& lv, std::uint64_t mergeKey, StepLabel label,
                     const std::vector<RecordRef>& declared) {
    return recordStep(lv, mergeKey, std::move(label), &declared);
}

bool History::recordStep(const Level& lv, std::uint64_t mergeKey, StepLabel label,
                         const std::vector<RecordRef>* declared) {
    lastChanged_.clear();
    lastChangedCounts_ = false;
    if (depth_ == 0) return false;
    if (--depth_ > 0) return false;

    auto step = std::make_unique<Step>();
    Tables live = tablesOf(lv);
    Tables old = shadow_->tables();
    // Takes record `i` of `table` into the step when it differs from the shadow.
    auto compare = [&](std::uint8_t table, int i) {
        switch (table) {
        case kStage:
            if (sameBytes(&live.stages[i], &old.stages[i], sizeof(StageRec))) return false;
            step->add(kStage, i, &old.stages[i], &live.stages[i]);
            old.stages[i] = live.stages[i];
            return true;
        case kSprite:
            if (sameSprite(live.sprites[i], old.sprites[i])) return false;
            step->add(kSprite, i, &old.sprites[i], &live.sprites[i]);
            old.sprites[i] = live.sprites[i];
            return true;
        case kSector:
            if (sameBytes(&live.sectors[i], &old.sectors[i], sizeof(SectorRec))) return false;
            step->add(kSector, i, &old.sectors[i], &live.sectors[i]);
            old.sectors[i] = live.sectors[i];
            return true;
        default:
            if (sameImage(live.images[i], old.images[i])) return false;
            step->add(kImage, i, &old.images[i], &live.images[i]);
            old.images[i] = live.images[i];
            return true;
        }
    };
    constexpr int kRecords[] = {kStageRecords, kSpriteRecords, kSectorRecords, kImageRecords};
    if (declared) {
        for (const RecordRef& r : *declared) {
            const auto table = static_cast<std::uint8_t>(r.table);
            if (table <= kImage && r.index >= 0 && r.index < kRecords[table]) compare(table, r.index);
        }
    }
    if (!declared || checkDeclared_) {
        // Every table; after a declared edit this finds only what the
        // declaration left out.
        const std::size_t found = step->changes.size();
        for (std::uint8_t table = kStage; table <= kImage; ++table)
            for (int i = 0; i < kRecords[table]; ++i) compare(table, i);
        if (declared) undeclared_ += step->changes.size() - found;
    }
    step->stageCountBefore = shadow_->stageCount;
    step->imageCountBefore = shadow_->imageCount;
    step->stageCountAfter = shadow_->stageCount = lv.stageCount;
    step->imageCountAfter = shadow_->imageCount = lv.imageCount;
    step->openStageBefore = openStageAtBegin_;
    step->openStageAfter = lv.openStage;
    step->mergeKey = mergeKey;
    step->label = std::move(label);
    noteChanged(*step);
    if (step->changes.empty() && !lastChangedCounts_) return false;

    const bool canMerge = mergeKey != 0 && index_ == steps_.size() && index_ > 0 &&
                          steps_.back()->mergeKey == mergeKey &&
                          cleanIndex_ != static_cast<long>(index_);
    if (canMerge) {
        // One step from the earlier step's "before" to this step's "after".
        Step& prev = *steps_.back();
        std::map<std::pair<int, int>, std::pair<const std::uint8_t*, const std::uint8_t*>> merged;
        for (const Step::Change& c : prev.changes)
            merged[{c.table, c.index}] = {prev.before(c), prev.after(c)};
        for (const Step::Change& c : step->changes) {
            auto [it, fresh] = merged.try_emplace({c.table, c.index}, step->before(c), step->after(c));
            if (!fresh) it->second.second = step->after(c);
        }
        auto both = std::make_unique<Step>();
        for (const auto& [key, bytes] : merged)
            both->add(static_cast<std::uint8_t>(key.first), key.second, bytes.first, bytes.second);
        both->stageCountBefore = prev.stageCountBefore;
        both->imageCountBefore = prev.imageCountBefore;
        both->openStageBefore = prev.openStageBefore;
        both->stageCountAfter = step->stageCountAfter;
        both->imageCountAfter = step->imageCountAfter;
        both->openStageAfter = step->openStageAfter;
        both->mergeKey = mergeKey;
        const std::size_t prevBytes = prev.bytes();
        both->label = std::move(prev.label);
        bytes_ += both->bytes() - prevBytes;
        steps_.back() = std::move(both);
        return true;
    }

    // A new edit after undo: the undone steps cannot come back.
    if (index_ < steps_.size()) {
        for (std::size_t k = index_; k < steps_.size(); ++k) bytes_ -= steps_[k]->bytes();
        steps_.erase(steps_.begin() + static_cast<long>(index_), steps_.end());
        if (cleanIndex_ > static_cast<long>(index_)) cleanIndex_ = -1;
    }
    step->data.shrink_to_fit();
    step->changes.shrink_to_fit();
    bytes_ += step->bytes();
    steps_.push_back(std::move(step));
    ++index_;
    while (steps_.size() > limit_ || (steps_.size() > kKeptSteps && bytes_ > byteBudget_)) dropOldest();
    return true;
}

void History::dropOldest() {
    bytes_ -= steps_.front()->bytes();
    steps_.pop_front();
    --index_;
    if (cleanIndex_ == 0) cleanIndex_ = -1;
    else if (cleanIndex_ > 0) --cleanIndex_;
}

const StepLabel* History::undoLabel() const { return index_ > 0 ? &steps_[index_ - 1]->label : nullptr; }

const StepLabel* History::redoLabel() const {
    return index_ < steps_.size() ? &steps_[index_]->label : nullptr;
}

bool History::undo(Level& lv, const SurfaceCallbacks& cb) {
    if (depth_ != 0 || !canUndo()) return false;
    --index_;
    apply(lv, *steps_[index_], false, cb);
    return true;
}

bool History::redo(Level& lv, const SurfaceCallbacks& cb) {
    if (depth_ != 0 || !canRedo()) return false;
    ++index_;
    apply(lv, *steps_[index_ - 1], true, cb);
    return true;
}

void History::noteChanged(const Step& st) {
    lastChanged_.clear();
    for (const Step::Change& c : st.changes)
        lastChanged_.push_back({static_cast<RecordTable>(c.table), c.index});
    lastChangedCounts_ = st.stageCountBefore != st.stageCountAfter || st.imageCountBefore != st.imageCountAfter;
}

void History::apply(Level& lv, const Step& st, bool forward, const SurfaceCallbacks& cb) {
    noteChanged(st);
    Tables live = tablesOf(lv);
    Tables old = shadow_->tables();
    // The image records as they are before the step, to see which pictures
    // stay, come back or go.
    std::vector<std::pair<int, ImageRec>> imagesBefore;
    for (const Step::Change& c : st.changes) {
        const std::size_t n = recordSize(c.table);
        const std::uint8_t* src = forward ? st.after(c) : st.before(c);
        if (c.table == kImage) imagesBefore.emplace_back(c.index, live.images[c.index]);
        std::memcpy(live.record(c.table, c.index), src, n);
        std::memcpy(old.record(c.table, c.index), src, n);
    }
    lv.stageCount = shadow_->stageCount = forward ? st.stageCountAfter : st.stageCountBefore;
    lv.imageCount = shadow_->imageCount = forward ? st.imageCountAfter : st.imageCountBefore;
    lv.openStage = forward ? st.openStageAfter : st.openStageBefore;

    std::string firstError;
    for (const auto& [index, was] : imagesBefore) {
        ImageRec& rec = lv.imageTable[index];
        const bool samePicture = !was.name.empty() && was.surface != 0 &&
                                 sameBytes(&was.name, &rec.name, sizeof rec.name) &&
                                 sameBytes(&was.path, &rec.path, sizeof rec.path);
        if (!rec.name.empty() && samePicture) {
            rec.surface = was.surface;
            continue;
        }
        if (was.surface != 0 && cb.release) cb.release(was.surface);
        rec.surface = 0;
        if (rec.name.empty()) continue;
        try {
            if (!cb.load) throw Error("No display to load " + rec.name.str());
            rec.surface = cb.load(rec.path.str());
            if (cb.applyColorKey) cb.applyColorKey(rec.surface);
        } catch (const std::exception& e) {
            if (firstError.empty()) firstError = e.what();
        }
    }

    // Every live sprite draws from its image's surface.
    const int stages = clampCount(lv.stageCount, kMaxStages);
    for (int s = 1; s <= stages; ++s) {
        const int count = clampCount(lv.stage(s).spriteCount, kMaxSprites);
        for (int n = 1; n <= count; ++n) {
            SpriteRec& sp = lv.sprite(n, s);
            const bool known = sp.image >= 1 && sp.image <= kMaxImages;
            sp.surface = known ? lv.image(sp.image).surface : 0;
        }
    }
    if (!firstError.empty()) throw Error(firstError);
}

std::size_t History::bytes() const { return bytes_; }

}  // namespace slv
