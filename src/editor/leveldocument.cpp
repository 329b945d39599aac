#include "editor/leveldocument.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>

#include <algorithm>
#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <limits>

#include "model/errors.h"
#include "model/tablebounds.h"
#include "model/fileio.h"
#include "model/pictureinfo.h"
#include "package/restoredlevel.h"

namespace slv {

namespace {

// Merge keys: edits with the same key in a row become one step.
std::uint64_t dragKey(std::uint64_t gesture) { return (1ull << 60) | gesture; }
std::uint64_t nudgeKey(std::uint64_t run) { return (3ull << 60) | run; }
std::uint64_t fieldKey(int field, int stage, int record) {
    return (2ull << 60) | (static_cast<std::uint64_t>(field) << 32) |
           (static_cast<std::uint64_t>(stage & 0xFFFF) << 16) | static_cast<std::uint64_t>(record & 0xFFFF);
}

constexpr int kStagePage = 0, kSpritePage = 1, kSectorPage = 2;

// Hooks of an Open or restore: the level is emptied through the document
// just before the package replaces it, the rest goes to the caller's hooks.
class OpenHooks : public PackageHooks {
public:
    OpenHooks(PackageHooks& outer, std::function<void()> beforeLoad)
        : outer_(outer), beforeLoad_(std::move(beforeLoad)) {}
    void headerReady(int steps) override { outer_.headerReady(steps); }
    void beforeLoad() override { beforeLoad_(); }
    void step() override { outer_.step(); }
    SurfaceHandle loadImage(int index, const std::string& path) override {
        return outer_.loadImage(index, path);
    }
    SurfaceHandle loadImageData(int index, const std::string& path, const PictureBytes& bytes) override {
        return outer_.loadImageData(index, path, bytes);
    }
    void freeSurface(SurfaceHandle surface) override { outer_.freeSurface(surface); }

private:
    PackageHooks& outer_;
    std::function<void()> beforeLoad_;
};

std::string stageNumberText(int stage) { return std::to_string(stage); }

// The whole of a regular file (never waiting on a pipe or a device), or
// nothing with `why` set when it cannot be read.
std::shared_ptr<const std::string> readRegularFile(const std::string& path, std::string& why) {
    const int fd = openRegularFile(path, O_RDONLY, Links::Follow, why);
    if (fd < 0) return nullptr;
    auto bytes = std::make_shared<std::string>();
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = fileErrorText(errno);
    } else if (st.st_size > std::numeric_limits<std::int32_t>::max()) {
        why = "it is larger than 2 GB";
    } else {
        bytes->resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < bytes->size()) {
            const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                why = fileErrorText(errno);
                break;
            }
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        bytes->resize(got);  // a file that became shorter meanwhile is what it holds now
    }
    ::close(fd);
    if (!why.empty()) return nullptr;
    return bytes;
}

}  // namespace

LevelDocument::LevelDocument(std::string stateFolder, QObject* parent)
    : QObject(parent), level_(std::make_unique<Level>()), recovery_(std::move(stateFolder)) {
    history_.reset(*level_);
    recoveryTimer_.setSingleShot(true);
    connect(&recoveryTimer_, &QTimer::timeout, this, [this] { writeRecoveryNow(); });
    connect(&levelFileTimer_, &QTimer::timeout, this, [this] { writeSomeLevelFiles(); });
}

LevelDocument::~LevelDocument() = default;

void LevelDocument::setSurfaceCallbacks(SurfaceCallbacks callbacks) {
    surfaces_ = std::move(callbacks);
    // A picture of the level loaded by its path (undo and redo load them
    // again) has its file written first when Open left it to write.
    // During an Add or Change of sprites the picture comes from its file,
    // checked before it is taken; otherwise (undo, redo) from the bytes the
    // level holds, whatever became of the file.
    if (surfaces_.load)
        surfaces_.load = [this, load = std::move(surfaces_.load)](const std::string& path) {
            writeLevelFiles({path});
            if (takingFiles_) {
                const std::shared_ptr<const std::string> bytes = readPictureFile(path, PictureUse::Image);
                if (!bytes) return load(path);  // the load says why the file cannot be read
                const SurfaceHandle h = loadData_ ? loadData_(path, *bytes) : load(path);
                taken_[path] = bytes;
                return h;
            }
            if (loadData_ && pictures_.find(path)) {
                std::string bytes;
                try {
                    bytes = pictures_.read(path);
                } catch (const std::exception&) {
                    return load(path);  // its package was written over in place: the file is what is left
                }
                return loadData_(path, bytes);
            }
            return load(path);
        };
}

// ---- the level's pictures ----

std::int64_t LevelDocument::pictureMemory(const std::string& path) {
    const auto at = pictureMemory_.find(path);
    if (at != pictureMemory_.end()) return at->second;
    std::int64_t bytes = 0;
    if (pictures_.find(path)) {
        try {
            const std::optional<PictureLayout> l = pictureLayout(pictures_.head(path, kPictureLayoutBytes));
            if (l) bytes = std::int64_t{l->width} * l->height * 4;
        } catch (const std::exception&) {
            // A picture whose head cannot be read counts nothing; Save reports it.
        }
    }
    pictureMemory_.emplace(path, bytes);
    return bytes;
}

void LevelDocument::putPicture(const std::string& path, std::shared_ptr<const std::string> bytes) {
    pictures_.putBytes(path, std::move(bytes));
    pictureMemory_.erase(path);
}

std::shared_ptr<const std::string> LevelDocument::readPictureFile(const std::string& path, PictureUse use) {
    std::string why;
    std::shared_ptr<const std::string> bytes = readRegularFile(path, why);
    if (!bytes) {
        if (use == PictureUse::Replacing) throw Error("Cannot read \"" + path + "\": " + why);
        return nullptr;  // the edit's own reading of the file reports it
    }
    const std::string what = "The picture";
    std::int64_t memory = 0;
    try {
        memory = checkedPictureMemory(what, path, *bytes, static_cast<std::int64_t>(bytes->size()));
    } catch (const Error& e) {
        std::string m = e.what();
        const std::string lead = "Damaged level package: ";
        if (m.rfind(lead, 0) == 0) m = m.substr(lead.size());
        throw Error(m);
    }
    // The level's pictures with this one, counted as Open counts them: every
    // sprite picture and the largest stage picture.
    const Level& L = *level_;
    std::int64_t images = 0, largestStage = 0;
    bool isImage = false;
    for (int i = 1; i <= L.imageCount && i <= kMaxImages; ++i) {
        const ImageRec& r = L.image(i);
        if (!imageUsed(r)) continue;
        const bool here = r.path.str() == path;
        isImage = isImage || here;
        images += here && use == PictureUse::Replacing ? memory : pictureMemory(r.path.str());
    }
    for (int st = 1; st <= L.stageCount && st <= kMaxStages; ++st) {
        const bool here = L.stage(st).path.str() == path;
        const std::int64_t m = here && use == PictureUse::Replacing ? memory : pictureMemory(L.stage(st).path.str());
        largestStage = std::max(largestStage, m);
    }
    if (use == PictureUse::Image && !isImage) images += memory;
    if (use == PictureUse::Stage) largestStage = std::max(largestStage, memory);
    if (images + largestStage > kPictureMemoryBudget) {
        const std::optional<PictureLayout> l = pictureLayout(*bytes);
        refusePictureMemory(what + " (\"" + path + "\", " + std::to_string(l->width) + " x " +
                            std::to_string(l->height) + ")");
    }
    return bytes;
}

std::shared_ptr<const std::string> LevelDocument::readChangedPicture(const std::string& path) {
    return readPictureFile(path, PictureUse::Replacing);
}

void LevelDocument::takeChangedPicture(const std::string& path, std::shared_ptr<const std::string> bytes) {
    putPicture(path, std::move(bytes));
}

template <class Change>
auto LevelDocument::takingSpriteFiles(Change&& change) {
    takingFiles_ = true;
    taken_.clear();
    struct Finish {
        LevelDocument& d;
        ~Finish() {
            d.takingFiles_ = false;
            for (auto& [path, bytes] : d.taken_) d.putPicture(path, bytes);
            d.taken_.clear();
        }
    } finish{*this};
    return change();
}

QString LevelDocument::displayName() const {
    return path_.empty() ? QStringLiteral("untitled") : QString::fromStdString(fileNamePart(path_));
}

// ---- edits ----

void LevelDocument::finishEdit(EditMark before) {
    if (!nudging_) ++nudgeRun_;
    const bool clean = history_.isClean();
    const bool otherStage = level_->openStage != before.openStage;
    if (otherStage) {
        clearSelection();
        emit openStageChanged(level_->openStage);
    }
    // An edit of existing sprites or sectors of the open stage names them;
    // anything else is a change of the level's structure.
    const std::vector<RecordRef>& changed = history_.lastChanged();
    bool structural = otherStage || history_.lastChangedCounts() || changed.empty();
    QList<int> sprites, sectors;
    for (const RecordRef& r : changed) {
        if ((r.table != RecordTable::Sprite && r.table != RecordTable::Sector) ||
            recordStage(r) != level_->openStage) {
            structural = true;
            break;
        }
        (r.table == RecordTable::Sprite ? sprites : sectors) << recordNumber(r);
    }
    if (structural) {
        fixSelection();
        emit levelChanged();
    } else {
        if (!sprites.isEmpty()) emit recordsChanged(ItemKind::Sprite, level_->openStage, sprites);
        if (!sectors.isEmpty()) emit recordsChanged(ItemKind::Sector, level_->openStage, sectors);
    }
    if (clean != before.clean) emit cleanChanged(clean);
    if (!clean) {
        recoveryTimer_.start(recoveryDelayMs_);
    } else {
        recoveryTimer_.stop();
        if (recovery_.exists()) recovery_.remove();
    }
}

void LevelDocument::addStages(const std::vector<std::string>& paths) {
    const int first = level_->stageCount + 1;
    std::vector<std::shared_ptr<const std::string>> bytes;
    for (const std::string& p : paths) bytes.push_back(readPictureFile(p, PictureUse::Stage));
    edit({paths.size() == 1 ? "Add stage" : "Add stages", kStagePage, first - 1},
         [&] { slv::addStages(*level_, paths, surfaces_.fileSize); });
    for (std::size_t k = 0; k < paths.size(); ++k)
        if (bytes[k]) putPicture(paths[k], bytes[k]);
}

void LevelDocument::replaceStage(int stage, const std::string& path) {
    const std::shared_ptr<const std::string> bytes = readPictureFile(path, PictureUse::Stage);
    edit({"Change stage " + stageNumberText(stage), kStagePage, stage - 1},
         [&] { modifyStage(*level_, stage, path, surfaces_.fileSize); });
    if (bytes) putPicture(path, bytes);
}

void LevelDocument::deleteStage(int stage) {
    if (stage < 1 || stage > level_->stageCount) return;
    edit({"Delete stage " + stageNumberText(stage), kStagePage, stage - 1}, [&] {
        slv::deleteStage(*level_, stage, surfaces_);
        // The open stage stays open: it moved down one place, or it is gone.
        if (stage < level_->openStage)
            level_->openStage -= 1;
        else if (stage == level_->openStage)
            level_->openStage = 0;
    });
}

void LevelDocument::setSplash(const std::string& path) {
    edit({"Choose splash picture"}, [&] { slv::setSplash(*level_, path); });
}

void LevelDocument::addSprites(const std::string& folder, const std::vector<std::string>& names,
                               const RandomFn& random) {
    const int first = isStageNumber(level_->openStage)
                          ? level_->stage(level_->openStage).spriteCount
                          : 0;
    takingSpriteFiles([&] {
        edit({names.size() == 1 ? "Add sprite" : "Add sprites", kSpritePage, first},
             [&] { slv::addSprites(*level_, folder, names, surfaces_, detect_, random); });
    });
}

void LevelDocument::replaceSprite(int row, const std::string& folder, const std::string& name) {
    takingSpriteFiles([&] {
        edit({"Change sprite", kSpritePage, row},
             [&] { slv::replaceSprite(*level_, row, folder, name, surfaces_, detect_); });
    });
}

int LevelDocument::deleteSprite(int row) {
    const int next = edit({"Delete sprite", kSpritePage, row},
                          [&] { return slv::deleteSprite(*level_, level_->openStage, row, surfaces_); });
    selectOnly(ItemKind::Sprite, next + 1);
    return next;
}

int LevelDocument::deleteSector(int row) {
    const int next = edit({"Delete sector", kSectorPage, row},
                          [&] { return slv::deleteSector(*level_, level_->openStage, row); });
    selectOnly(ItemKind::Sector, next + 1);
    return next;
}

namespace {
// The record of item row `row` of the open stage, for a declared edit; none
// when there is no such item (the edit then changes nothing).
std::vector<RecordRef> itemRecord(const Level& lv, ItemKind kind, int row) {
    if (row < 0 || row >= kMaxSprites) return {};
    if (kind == ItemKind::Sprite) {
        if (lv.openStage < 1 || lv.openStage > kMaxStages) return {};
        return {spriteRecord(lv.openStage, row + 1)};
    }
    if (lv.openStage < 0 || lv.openStage > kMaxStages) return {};
    return {sectorRecord(lv.openStage, row + 1)};
}
}  // namespace

bool LevelDocument::setSpriteX(int row, int value) {
    return editRecords({"Move sprite", kSpritePage, row}, itemRecord(*level_, ItemKind::Sprite, row),
                       [&] { return slv::setSpriteX(*level_, row, value); }, fieldKey(1, level_->openStage, row));
}

bool LevelDocument::setSpriteY(int row, int value) {
    return editRecords({"Move sprite", kSpritePage, row}, itemRecord(*level_, ItemKind::Sprite, row),
                       [&] { return slv::setSpriteY(*level_, row, value); }, fieldKey(2, level_->openStage, row));
}

bool LevelDocument::setSectorField(int row, SectorField field, int value) {
    const bool size = field == SectorField::W || field == SectorField::H;
    return editRecords({size ? "Resize sector" : "Move sector", kSectorPage, row},
                       itemRecord(*level_, ItemKind::Sector, row),
                       [&] { return slv::setSectorField(*level_, row, field, value); },
                       fieldKey(3 + static_cast<int>(field), level_->openStage, row));
}

void LevelDocument::renameSector(int row, const std::string& name) {
    editRecords({"Rename sector", kSectorPage, row}, itemRecord(*level_, ItemKind::Sector, row),
                [&] { slv::renameSector(*level_, level_->openStage, row + 1, name); });
}

// ---- the selection ----

namespace {
int itemCount(const Level& lv, ItemKind kind) {
    if (kind == ItemKind::Sprite) {
        if (lv.openStage < 1 || lv.openStage > kMaxStages) return 0;
        return std::clamp(lv.stage(lv.openStage).spriteCount, 0, kMaxSprites);
    }
    if (lv.openStage < 0 || lv.openStage > kMaxStages) return 0;
    return std::clamp(lv.stage(lv.openStage).sectorCount, 0, kMaxSectors);
}
}  // namespace

void LevelDocument::select(ItemKind kind, std::set<int> numbers) {
    const int count = itemCount(*level_, kind);
    std::erase_if(numbers, [count](int n) { return n < 1 || n > count; });
    if (numbers == selection_.of(kind)) return;
    selection_.of(kind) = std::move(numbers);
    emit selectionChanged(kind);
}

void LevelDocument::selectOnly(ItemKind kind, int number) {
    select(kind, number >= 1 ? std::set<int>{number} : std::set<int>{});
}

void LevelDocument::toggleSelected(ItemKind kind, int number) {
    std::set<int> numbers = selection_.of(kind);
    if (!numbers.erase(number)) numbers.insert(number);
    select(kind, std::move(numbers));
}

void LevelDocument::selectAll(ItemKind kind) {
    std::set<int> numbers;
    for (int n = 1, count = itemCount(*level_, kind); n <= count; ++n) numbers.insert(numbers.end(), n);
    select(kind, std::move(numbers));
}

void LevelDocument::fixSelection() {
    for (ItemKind kind : {ItemKind::Sprite, ItemKind::Sector}) select(kind, selection_.of(kind));
}

void LevelDocument::clearSelection() {
    for (ItemKind kind : {ItemKind::Sprite, ItemKind::Sector}) select(kind, {});
}

// ---- placing items with the mouse ----

bool LevelDocument::moveSelection(ItemKind kind, int dx, int dy, std::uint64_t gesture) {
    const std::set<int>& numbers = selection_.of(kind);
    if (numbers.empty() || (dx == 0 && dy == 0)) return false;
    const bool sprites = kind == ItemKind::Sprite;
    std::vector<RecordRef> touched;
    touched.reserve(numbers.size());
    for (int n : numbers) {
        const std::vector<RecordRef> one = itemRecord(*level_, kind, n - 1);
        touched.insert(touched.end(), one.begin(), one.end());
    }
    if (touched.empty()) return false;
    StepLabel label{sprites ? "Move sprite" : "Move sector", sprites ? kSpritePage : kSectorPage,
                    *numbers.begin() - 1};
    if (numbers.size() > 1)
        for (int n : numbers) label.rows.push_back(n - 1);
    return editRecords(std::move(label), touched,
                       [&] {
                           bool moved = false;
                           for (int n : numbers) {
                               if (sprites) {
                                   const SpriteRec& r = level_->sprite(n, level_->openStage);
                                   moved = moveSprite(*level_, n, r.x + dx, r.y + dy) || moved;
                               } else {
                                   const SectorRec& r = level_->sector(n, level_->openStage);
                                   moved = moveSector(*level_, n, r.x + dx, r.y + dy) || moved;
                               }
                           }
                           return moved;
                       },
                       nudging_ ? nudgeKey(nudgeRun_) : dragKey(gesture));
}

bool LevelDocument::nudgeSelection(ItemKind kind, int dx, int dy) {
    // A run ends at another edit (finishEdit starts a new key then), or
    // when other items are nudged.
    if (kind != nudgeKind_ || selection_.of(kind) != nudgeItems_) ++nudgeRun_;
    nudgeKind_ = kind;
    nudgeItems_ = selection_.of(kind);
    nudging_ = true;
    bool moved = false;
    try {
        moved = moveSelection(kind, dx, dy, 0);
    } catch (...) {
        nudging_ = false;
        throw;
    }
    nudging_ = false;
    return moved;
}

void LevelDocument::startBand(int x, int y) {
    level_->session.bandStartX = x;
    level_->session.bandStartY = y;
    level_->session.bandActive = true;
}

void LevelDocument::trackPointer(int x, int y) {
    level_->session.mouseX = x;
    level_->session.mouseY = y;
}

int LevelDocument::finishBand() {
    if (!level_->session.bandActive) return 0;
    const int row = level_->openStage >= 0 && level_->openStage <= kMaxStages
                        ? level_->stage(level_->openStage).sectorCount
                        : 0;
    const int made = edit({"Draw sector", kSectorPage, row}, [&] { return addSectorFromBand(*level_); });
    if (made > 0) selectOnly(ItemKind::Sector, made);
    return made;
}

void LevelDocument::fitSpriteFrames(const std::vector<FrameSize>& sizes) {
    if (sizes.empty()) return;
    std::vector<RecordRef> touched;
    for (const FrameSize& f : sizes) touched.push_back(spriteRecord(f.stage, f.number));
    editRecords({"Follow changed picture", kSpritePage, -1}, touched, [&] {
        for (const FrameSize& f : sizes) {
            SpriteRec& r = level_->sprite(f.number, f.stage);
            r.w = f.w;
            r.h = f.h;
        }
    });
}

// ---- settings ----

void LevelDocument::setWorkFolder(const std::string& folder) { settings_.workFolder = cutText(folder, 255); }

ReadReport LevelDocument::readSettingsFile(const std::string& path, SettingsState& state) {
    settings_.spriteBoxColor = kDefaultSpriteBoxColor;
    settings_.sectorColor = kDefaultSectorColor;
    return readSettings(settings_, path, state);
}

int LevelDocument::pickSpriteFile(const std::string& folder, const std::string& name) {
    return slv::pickSpriteFile(*level_, folder, name, detect_);
}

bool LevelDocument::setPoseFrames(const std::string& name, int frames) {
    return slv::setPoseFrames(*level_, name, frames);
}

bool LevelDocument::undo() { return stepHistory(false); }
bool LevelDocument::redo() { return stepHistory(true); }

bool LevelDocument::stepHistory(bool forward) {
    const StepLabel* next = forward ? history_.redoLabel() : history_.undoLabel();
    if (!next) return false;
    const StepLabel label = *next;
    const EditMark before = mark();
    std::string error;
    try {
        if (forward)
            history_.redo(*level_, surfaces_);
        else
            history_.undo(*level_, surfaces_);
    } catch (const std::exception& e) {
        error = e.what();  // the step was taken; a picture that did not load is reported
    }
    finishEdit(before);
    // The items the step was about are selected again, where they still exist.
    if (label.page == kSpritePage || label.page == kSectorPage) {
        const ItemKind kind = label.page == kSpritePage ? ItemKind::Sprite : ItemKind::Sector;
        if (!label.rows.empty()) {
            std::set<int> numbers;
            for (int row : label.rows) numbers.insert(row + 1);
            select(kind, std::move(numbers));
        } else if (label.row >= 0 && label.row < itemCount(*level_, kind)) {
            selectOnly(kind, label.row + 1);
        }
    }
    if (!error.empty()) throw Error(error);
    return true;
}

void LevelDocument::openStage(int stage) {
    if (stage < 0 || stage > level_->stageCount || stage > kMaxStages) return;
    // Its backdrop is read from its file, and its sprites' files are watched.
    writeLevelFiles(level_->stagePictureFiles(stage));
    level_->openStage = stage;
    // The selection belongs to the stage that was open.
    clearSelection();
    emit openStageChanged(stage);
}

// ---- the package ----

void LevelDocument::setPath(const std::string& path) {
    if (path == path_) return;
    path_ = path;
    emit packagePathChanged(QString::fromStdString(path_));
}

bool LevelDocument::packageChangedOnDisk() const {
    if (path_.empty() || !packageIdentity_.exists) return false;
    return fileExists(path_) && !fileStillIs(path_, packageIdentity_);
}

void LevelDocument::writeLevelFiles() {
    levelFileTimer_.stop();
    pendingFiles_.writeAll();
}

void LevelDocument::writeLevelFiles(const std::vector<std::string>& paths) {
    pendingFiles_.writeFiles(paths);
    if (pendingFiles_.empty()) levelFileTimer_.stop();
}

void LevelDocument::writeSomeLevelFiles() {
    // A slice of a few milliseconds, so that frames and input go on between.
    constexpr qint64 kSliceNs = 4'000'000;
    QElapsedTimer slice;
    slice.start();
    try {
        while (!pendingFiles_.empty() && slice.nsecsElapsed() < kSliceNs) pendingFiles_.writeNext();
    } catch (const std::exception& e) {
        // Said once; the file is tried again before anything reads it.
        levelFileTimer_.stop();
        emit levelFilesFailed(QString::fromUtf8(e.what()));
        return;
    }
    if (pendingFiles_.empty()) levelFileTimer_.stop();
}

void LevelDocument::finishLevelFilesBeforeLeaving() {
    // Another level replaces this one. Its files are written, so that its
    // folder holds them as after any Open; and a file that cannot be is
    // given up, since its bytes stay in the package the level came from.
    levelFileTimer_.stop();
    try {
        pendingFiles_.writeAll();
    } catch (const std::exception&) {
        pendingFiles_ = PendingLevelFiles();
    }
}

void LevelDocument::newLevel(PackageHooks& hooks) {
    finishLevelFilesBeforeLeaving();
    const EditMark before = mark();
    clearLevel(*level_, hooks);
    pictures_.clear();
    pictureMemory_.clear();
    // No stage stays open: the one that was is gone with the level.
    level_->openStage = 0;
    level_->session.bandActive = false;
    clearSelection();
    history_.reset(*level_);
    packageIdentity_ = {};
    setPath({});
    recoveryTimer_.stop();
    if (!restoring_) {
        recovery_.remove();
        // No level refers to the pictures of a restored one any more.
        recovery_.removePictures();
    }
    if (before.openStage != 0) emit openStageChanged(0);
    emit levelChanged();
    if (!before.clean) emit cleanChanged(true);
}

void LevelDocument::open(const std::string& path, PackageHooks& hooks) {
    // Before the new package's files are planned: they may go to the same folder.
    finishLevelFilesBeforeLeaving();
    // Taken before reading: a change while Open reads counts as a change.
    const FileIdentity opened = fileIdentity(path);
    OpenHooks openHooks(hooks, [&] { newLevel(hooks); });
    try {
        openLevel(*level_, path, openHooks, writeFilesAfterOpen_ ? &pendingFiles_ : nullptr, &pictures_);
    } catch (...) {
        emit levelChanged();
        throw;
    }
    if (!pendingFiles_.empty()) levelFileTimer_.start(0);
    // Nothing is open after Open: the lists stay empty over the backdrop.
    level_->openStage = 0;
    clearSelection();
    history_.reset(*level_);
    packageIdentity_ = opened;
    setPath(path);
    emit openStageChanged(0);
    emit levelChanged();
    emit cleanChanged(true);
}

void LevelDocument::save(const std::string& path, PackageHooks& hooks) {
    const EditMark before = mark();
    // The level's pictures are written from what it holds (members of the
    // package it was opened from, bytes taken from files), never from files
    // beside it that may have changed or gone since.
    saveLevel(*level_, path, hooks, &pictures_);
    // Save measured the pictures: records it updated are the saved state.
    history_.setClean(*level_);
    // What this editor wrote is not another program's change.
    packageIdentity_ = fileIdentity(path);
    setPath(path);
    recoveryTimer_.stop();
    recovery_.remove();
    emit levelChanged();
    if (!before.clean) emit cleanChanged(true);
}

void LevelDocument::restore(LeftPackage& left, PackageHooks& hooks) {
    // Opened from this editor's own folder: the pictures are extracted there
    // and stay until New, Open or a clean close leaves no level needing them.
    finishLevelFilesBeforeLeaving();
    const std::string adopted = recovery_.adopt(left);
    restoring_ = true;
    OpenHooks openHooks(hooks, [&] { newLevel(hooks); });
    try {
        openLevel(*level_, adopted, openHooks, nullptr, &pictures_);
        restoring_ = false;
    } catch (...) {
        restoring_ = false;
        recovery_.giveBack(left, adopted);  // kept for another try
        recovery_.removePictures();
        emit levelChanged();
        throw;
    }
    RecoveryWriter::discard(left);
    level_->openStage = 0;
    clearSelection();
    history_.reset(*level_);
    history_.markUnsaved();
    // The noted path is kept only where Save may write without asking.
    setPath(restoredLevelPath(left.levelPath));
    emit openStageChanged(0);
    emit levelChanged();
    emit cleanChanged(false);
    // The adopted package stays this editor's recovery copy until a newer
    // copy of the level replaces it.
    recoveryTimer_.start(recoveryDelayMs_);
}

// ---- the recovery copy ----

void LevelDocument::reportRecovery(const std::string& error) {
    if (error.empty()) {
        recoveryFailureShown_ = false;
        return;
    }
    if (recoveryFailureShown_) return;
    recoveryFailureShown_ = true;
    const std::string folder =
        recovery_.sessionFolder().empty() ? RecoveryWriter::defaultFolder() : recovery_.sessionFolder();
    emit recoveryFailed(QString::fromStdString("Unsaved changes could not be kept safe in " + folder +
                                               ":\n" + error));
}

void LevelDocument::writeRecoveryNow() {
    if (history_.isClean()) return;
    if (recovery_.busy()) {
        recoveryTimer_.start(recoveryDelayMs_);
        return;
    }
    // The copy is taken here, between two frames; the worker writes it,
    // taking the level's pictures from what it holds (a copy that shares them).
    // The recovery writer (a member) waits for its worker before this
    // document goes, so the worker may post to it.
    const bool started = recovery_.start(std::make_unique<Level>(*level_), path_, pictures_,
                                         [this](const std::string& error) {
                                             QMetaObject::invokeMethod(
                                                 this, [this, error] { reportRecovery(error); }, Qt::QueuedConnection);
                                         });
    if (!started) reportRecovery(recovery_.lastError());
}

bool LevelDocument::writeRecoveryAndWait() {
    recoveryTimer_.stop();
    if (history_.isClean()) return true;
    try {
        recovery_.writeNow(*level_, path_, pictures_);
        return true;
    } catch (const std::exception& e) {
        reportRecovery(e.what());
        return false;
    }
}

void LevelDocument::closeSession() {
    finishLevelFilesBeforeLeaving();
    recoveryTimer_.stop();
    recovery_.close();
}

// ---- cut, copy, paste, duplicate and delete of the selection ----

LevelItems LevelDocument::copySelection(ItemKind kind) const {
    return copyItems(*level_, level_->openStage, kind, selection_.of(kind), [this](const std::string& path) {
        if (pictures_.find(path)) return std::make_shared<const std::string>(pictures_.read(path));
        return std::make_shared<const std::string>(readWholeFile(path));
    });
}


std::string LevelDocument::pastedPicturePath(const ItemPicture& picture, bool& written) {
    written = false;
    const Level& L = *level_;
    if (!picture.bytes) throw Error("The picture \"" + picture.name + "\" came without its bytes");
    const auto sameBytes = [&](const std::string& path) {
        try {
            if (const LevelPictureStore::Picture* held = pictures_.find(path)) {
                const std::int64_t size = held->bytes ? static_cast<std::int64_t>(held->bytes->size()) : held->size;
                return size == static_cast<std::int64_t>(picture.bytes->size()) && pictures_.read(path) == *picture.bytes;
            }
            return readWholeFile(path) == *picture.bytes;
        } catch (const std::exception&) {
            return false;
        }
    };
    std::set<std::string> levelNames;
    for (int i = 1; i <= L.imageCount && i <= kMaxImages; ++i) {
        const ImageRec& r = L.image(i);
        if (!imageUsed(r)) continue;
        const std::string path = r.path.str();
        levelNames.insert(fileNamePart(path));
        if (fileNamePart(path) == picture.name && sameBytes(path)) return path;
    }
    // A picture the level lacks: checked as Open checks a member before
    // anything is written.
    checkedPictureMemory("The picture", picture.name, *picture.bytes, static_cast<std::int64_t>(picture.bytes->size()));
    const std::string folder = !L.packageFolder.empty() ? L.packageFolder : settings_.workFolder;
    if (folder.empty()) throw Error("The level has no folder for the picture \"" + picture.name + "\"");
    for (int k = 1;; ++k) {
        const std::string name = k == 1 ? picture.name : numberedName(picture.name, k);
        if (levelNames.count(name)) continue;  // another picture of the level has that name
        const std::string path = joinPath(folder, name);
        if (fileExists(path)) {
            if (sameBytes(path)) return path;
            continue;
        }
        checkPictureFile(path);
        writeFileAtomic(path, *picture.bytes);
        written = true;
        return path;
    }
}

void LevelDocument::pasteItems(const LevelItems& items, const std::string& stepName) {
    if (items.empty()) return;
    Level& L = *level_;
    const int stage = L.openStage;
    if (items.kind == ItemKind::Sector) {
        const int stageAt = stage >= 0 && stage <= kMaxStages ? stage : 0;
        const int count = L.stage(stageAt).sectorCount;
        if (count + static_cast<int>(items.sectors.size()) > kMaxSectors) throw Error(kMsgTooManySectors);
        const int offset = pasteOffset(L, stageAt, items);
        edit({stepName, kSectorPage, count}, [&] {
            for (const CopiedSector& c : items.sectors) {
                StageRec& st = L.stage(stageAt);
                const int slot = st.sectorCount + 1;
                bool taken = false;
                for (int n = 1; n < slot; ++n) taken = taken || L.sector(n, stageAt).name.holds(c.name);
                bool storable = true;
                try {
                    checkSectorName(c.name);
                } catch (const Error&) {
                    storable = false;
                }
                const std::string name = taken || !storable ? freeSectorName(L, stageAt) : c.name;
                SectorRec& r = L.sector(slot, stageAt);
                r = SectorRec{};
                r.name.set(name);
                r.x = c.x + offset;
                r.y = c.y + offset;
                r.w = c.w;
                r.h = c.h;
                st.sectorCount = slot;
            }
        });
        std::set<int> pasted;
        for (int n = count + 1; n <= L.stage(stageAt).sectorCount; ++n) pasted.insert(n);
        select(ItemKind::Sector, pasted);
        return;
    }
    if (stage < 1 || stage > L.stageCount || stage > kMaxStages) throw Error(kMsgNoOpenStage);
    const int count = L.stage(stage).spriteCount;
    if (count + static_cast<int>(items.sprites.size()) > kMaxSprites) throw Error(kMsgTooManySprites);
    // Every picture is placed before the first sprite: a refusal changes nothing.
    std::vector<std::string> paths(items.pictures.size());
    std::vector<std::string> writtenFiles;
    const auto removeWritten = [&] {
        for (const std::string& path : writtenFiles) {
            try {
                deleteFile(path);
            } catch (const std::exception&) {
                // A file left over harms nothing: the level does not name it.
            }
        }
    };
    try {
        int used = 0;
        for (int i = 1; i <= L.imageCount && i <= kMaxImages; ++i) used += imageUsed(L.image(i)) ? 1 : 0;
        for (std::size_t k = 0; k < items.pictures.size(); ++k) {
            bool written = false;
            paths[k] = pastedPicturePath(items.pictures[k], written);
            if (written) {
                writtenFiles.push_back(paths[k]);
                if (++used > kMaxImages) throw Error(kMsgTooManyImages);
                readPictureFile(paths[k], PictureUse::Image);  // the level's picture memory
            }
        }
    } catch (...) {
        removeWritten();
        throw;
    }
    const int offset = pasteOffset(L, stage, items);
    // Pictures all in the level under names a record holds: only the stage,
    // the new sprites and those pictures' use counts change, and the history
    // compares just them.
    std::vector<RecordRef> touched;
    if (writtenFiles.empty()) {
        touched.push_back(stageRecord(stage));
        for (int n = count + 1; n <= count + static_cast<int>(items.sprites.size()); ++n)
            touched.push_back(spriteRecord(stage, n));
        for (const std::string& path : paths) {
            if (!NameField::fits(fileNamePart(path))) {
                touched.clear();
                break;
            }
            for (int i = 1; i <= L.imageCount && i <= kMaxImages; ++i)
                if (imageUsed(L.image(i)) && L.image(i).path.holds(path)) touched.push_back(imageRecord(i));
        }
    }
    try {
        takingSpriteFiles([&] {
            runEdit({stepName, kSpritePage, count}, touched.empty() ? nullptr : &touched, [&] {
                try {
                    for (const CopiedSprite& c : items.sprites) {
                        StageRec& st = L.stage(stage);
                        const int slot = st.spriteCount + 1;
                        SpriteRec& sp = L.sprite(slot, stage);
                        const SpriteRec before = sp;
                        sp = SpriteRec{};
                        sp.frameCount = c.frameCount;
                        sp.frame = c.frame;
                        sp.name.set(fileNamePart(paths[static_cast<std::size_t>(c.picture)]));
                        try {
                            attachSpritePicture(L, paths[static_cast<std::size_t>(c.picture)], slot, surfaces_);
                        } catch (...) {
                            sp = before;
                            throw;
                        }
                        sp.x = c.x + offset;
                        sp.y = c.y + offset;
                        st.spriteCount = slot;
                    }
                } catch (...) {
                    // All or nothing: the sprites pasted so far go again.
                    while (L.stage(stage).spriteCount > count)
                        slv::deleteSprite(L, stage, L.stage(stage).spriteCount - 1, surfaces_);
                    throw;
                }
            }, 0);
        });
    } catch (...) {
        removeWritten();
        throw;
    }
    std::set<int> pasted;
    for (int n = count + 1; n <= L.stage(stage).spriteCount; ++n) pasted.insert(n);
    select(ItemKind::Sprite, pasted);
}

void LevelDocument::deleteSelection(ItemKind kind, const std::string& stepName) {
    const std::set<int> numbers = selection_.of(kind);
    if (numbers.empty()) return;
    Level& L = *level_;
    const int stage = L.openStage;
    const int first = *numbers.begin();
    const bool sprites = kind == ItemKind::Sprite;
    edit({stepName, sprites ? kSpritePage : kSectorPage, first - 1}, [&] {
        for (auto n = numbers.rbegin(); n != numbers.rend(); ++n)
            sprites ? slv::deleteSprite(L, stage, *n - 1, surfaces_) : slv::deleteSector(L, stage, *n - 1);
    });
    const int left = stage >= 0 && stage <= kMaxStages
                         ? (sprites ? L.stage(stage).spriteCount : L.stage(stage).sectorCount)
                         : 0;
    selectOnly(kind, first <= left ? first : 0);
}

}  // namespace slv
