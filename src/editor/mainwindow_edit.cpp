// Stage, sprite and sector commands, the stage preview and the sprite-frame
// picker. The table work lives in the editing module; these handlers gather
// the author's choices and keep the lists in step.
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <cstdlib>

#include "display/scenewidget.h"
#include "editor/mainwindow.h"
#include "model/homefiles.h"
#include "model/editing.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/framecount.h"
#include "model/history.h"
#include "editor/spritepicker.h"
#include "editor/editstate.h"
#include "editor/uiservices.h"

using namespace slv;

namespace {
const QString kBitmapFilter = QStringLiteral("Bitmap (*.bmp)");

// The pictures that can be read; the reasons for the others are added to
// `errors`. Asked before a command takes pictures in, so that no stage or
// sprite is made with a picture that cannot be shown.
std::vector<std::string> readablePictures(const std::vector<std::string>& paths, QStringList& errors) {
    std::vector<std::string> ok;
    for (const std::string& p : paths) {
        const PictureProbe probe = probePicture(p);
        if (probe.readable)
            ok.push_back(p);
        else
            errors << QString::fromStdString(probe.error);
    }
    return ok;
}
}

// What the editing module needs from the display.
struct MainWindow::Callbacks {
    static SurfaceCallbacks surfaces(MainWindow& w) {
        SurfaceCallbacks cb;
        cb.load = [&w](const std::string& path) { return w.loadSurface(path, false); };
        cb.release = [&w](SurfaceHandle h) { w.freeSurface(h); };
        cb.measure = [&w](SurfaceHandle h) {
            Surface* s = w.surface(h);
            if (!s) throw Error("Surface cannot be made");
            return SurfaceSize{s->width(), s->height()};
        };
        cb.setColorKey = [&w](SurfaceHandle h, std::uint32_t key) {
            if (Surface* s = w.surface(h)) s->setColorKey(key);
        };
        return cb;
    }
    static DetectFramesFn detector(MainWindow& w) {
        return [&w](const std::string& path) {
            // Plain bitmaps are read straight from the file; the rest are loaded.
            PixelDevice* dev = w.sceneView_ ? w.sceneView_->device() : nullptr;
            if (const int n = dev ? detectFrameCountFromFile(path, dev->bitsPerPixel() / 8, w.level().colorKey) : 0)
                return n;
            const SurfaceHandle h = w.loadSurface(path, false);
            try {
                const PixelView v = w.surface(h)->pixels();
                const int n = detectFrameCount(v.pixels, v.pitch, v.bytesPerPixel, v.width, v.height,
                                         w.level().colorKey);
                w.freeSurface(h);
                return n;
            } catch (...) {
                w.freeSurface(h);
                throw;
            }
        };
    }
};

int MainWindow::selectedRow(const QListWidget* list) {
    QListWidgetItem* it = list->currentItem();
    return it && it->isSelected() ? list->row(it) : -1;
}

void MainWindow::selectRow(QListWidget* list, int row) {
    listUpdating_ = true;
    if (row >= 0 && row < list->count()) {
        list->setCurrentRow(row);
    } else {
        list->clearSelection();
        list->setCurrentRow(-1);
    }
    listUpdating_ = false;
}

void MainWindow::rebuildStageList() {
    const Level& L = *level_;
    listUpdating_ = true;
    stageList_->clear();
    for (int s = 1; s <= L.stageCount && s <= kMaxStages; ++s)
        stageList_->addItem(QString::fromStdString(L.stage(s).name.str()));
    listUpdating_ = false;
}

static std::vector<std::string> toPaths(const QStringList& files) {
    std::vector<std::string> out;
    for (const QString& f : files) out.push_back(f.toStdString());
    return out;
}

void MainWindow::addOnActiveTab() {
    Level& L = *level_;
    switch (editTabs_->currentIndex()) {
    case 0: {
        QStringList files = UiServices::instance().openFiles(
            this, QString::fromStdString(joinPath(L.workFolder, "backpx/")), kBitmapFilter, true);
        if (files.isEmpty()) return;
        QStringList unreadable;
        const std::vector<std::string> paths = readablePictures(toPaths(files), unreadable);
        if (!unreadable.isEmpty()) showError(unreadable.join("\n"));
        if (paths.empty()) return;
        files.clear();
        for (const std::string& p : paths) files << QString::fromStdString(p);
        EditScope edit(*this);
        try {
            addStages(L, paths);
        } catch (const Error& e) {
            showError(QString::fromUtf8(e.what()));
            return;
        }
        rebuildStageList();
        if (files.size() == 1) {
            selectRow(stageList_, stageList_->count() - 1);
            previewSelectedStage();
            openSelectedStage();
        }
        stageList_->setFocus();
        break;
    }
    case 1:
        if (L.openStage == 0) {
            showError(kMsgNoOpenStage);
            return;
        }
        openPicker(true);
        break;
    default: break;
    }
}

void MainWindow::replaceOnActiveTab() {
    Level& L = *level_;
    switch (editTabs_->currentIndex()) {
    case 0: {
        const int row = selectedRow(stageList_);
        if (row < 0) {
            showError(kMsgSelectStageToModify);
            return;
        }
        QStringList files = UiServices::instance().openFiles(
            this, QString::fromStdString(joinPath(L.workFolder, "backpx/")), kBitmapFilter, false);
        if (files.isEmpty()) return;
        if (const PictureProbe probe = probePicture(files.first().toStdString()); !probe.readable) {
            showError(QString::fromStdString(probe.error));
            return;
        }
        EditScope edit(*this);
        modifyStage(L, row + 1, files.first().toStdString());
        stageList_->item(row)->setText(QString::fromStdString(L.stage(row + 1).name.str()));
        previewSelectedStage();
        openSelectedStage();
        break;
    }
    case 1:
        if (selectedRow(spriteList_) < 0) {
            showError(kMsgSelectSpriteToModify);
            return;
        }
        openPicker(false);
        break;
    default: break;
    }
}

void MainWindow::deleteOnActiveTab() {
    Level& L = *level_;
    switch (editTabs_->currentIndex()) {
    case 0: {
        const int row = selectedRow(stageList_);
        if (row < 0) {
            showError(kMsgSelectStageToDelete);
            return;
        }
        const QString text = "Delete stage " + stageList_->item(row)->text() + " ?";
        if (!UiServices::instance().confirm(this, text)) return;
        const int s = row + 1;
        if (s > L.stageCount) return;  // the list changed while the question was open
        EditScope edit(*this);
        deleteStage(L, s, Callbacks::surfaces(*this));
        rebuildStageList();
        // Keep the open stage open: it moved down one place, or it is gone.
        if (s < L.openStage) {
            L.openStage -= 1;
        } else if (s == L.openStage) {
            L.openStage = 0;
            spriteList_->clear();
            sectorList_->clear();
            showSpriteFields(-1);
            showSectorFields(-1);
            if (Surface* back = surface(L.backdropSurface))
                back->loadPicture(homePath(homefiles::kBackdrop));
        }
        break;
    }
    case 1: {
        const int row = selectedRow(spriteList_);
        if (row < 0) {
            showError(kMsgSelectSpriteToDelete);
            return;
        }
        EditScope edit(*this);
        const int next = deleteSprite(L, L.openStage, row, Callbacks::surfaces(*this));
        delete spriteList_->takeItem(row);
        selectRow(spriteList_, next);
        showSpriteFields(next >= 0 ? next + 1 : -1);
        break;
    }
    case 2: {
        const int row = selectedRow(sectorList_);
        if (row < 0) {
            showError(kMsgSelectSectorToDelete);
            return;
        }
        EditScope edit(*this);
        const int next = deleteSector(L, L.openStage, row);
        delete sectorList_->takeItem(row);
        selectRow(sectorList_, next);
        showSectorFields(next >= 0 ? next + 1 : -1);
        break;
    }
    default: break;
    }
}

void MainWindow::previewSelectedStage() {
    const int row = selectedRow(stageList_);
    if (row < 0 || !previewStages_->isChecked()) return;
    loadPreview(level_->stage(row + 1).path.str());
}

void MainWindow::openSelectedStage() {
    Level& L = *level_;
    const int row = selectedRow(stageList_);
    if (row < 0 || row + 1 > L.stageCount) return;
    L.openStage = row + 1;
    resetTickErrors();
    // The lists follow the open stage even when its picture fails to load.
    listUpdating_ = true;
    spriteList_->clear();
    sectorList_->clear();
    const StageRec& st = L.stage(L.openStage);
    for (int n = 1; n <= st.spriteCount && n <= kMaxSprites; ++n)
        spriteList_->addItem(QString::fromStdString(L.sprite(n, L.openStage).name.str()));
    for (int n = 1; n <= st.sectorCount && n <= kMaxSectors; ++n)
        sectorList_->addItem(QString::fromStdString(L.sector(n, L.openStage).name.str()));
    listUpdating_ = false;
    showSpriteFields(-1);
    showSectorFields(-1);
    Surface* back = surface(L.backdropSurface);
    if (back) {
        back->loadPicture(st.path.str());
    } else if (sceneView_ && sceneView_->device()) {
        L.backdropSurface = loadSurface(st.path.str(), false);
    }
}

void MainWindow::choosePreview(int item) {
    Level& L = *level_;
    if (item == 0) {
        previewSelectedStage();
        return;
    }
    QStringList files = UiServices::instance().openFiles(
        this, QString::fromStdString(joinPath(L.workFolder, "backpx/")), kBitmapFilter, false);
    if (!files.isEmpty()) {
        EditScope edit(*this);
        setSplash(L, files.first().toStdString());
        loadPreview(files.first().toStdString());
    } else if (!L.stage(0).name.empty()) {
        loadPreview(L.stage(0).path.str());
    } else {
        previewStages_->setChecked(true);
    }
}

// ---- the sprite-frame picker ----

void MainWindow::setupPicker() {
    connect(spritePicker_->fileList_, &QListWidget::itemClicked, this,
            [this] { pickerFileClicked(); });
    connect(spritePicker_->frameCountField_, &QSpinBox::valueChanged, this,
            [this] { pickerFrameCountChanged(); });
    connect(spritePicker_->addButton_, &QPushButton::clicked, this, [this] { confirmPickedSprites(); });
}

void MainWindow::openPicker(bool addMode) {
    Level& L = *level_;
    spritePicker_->setFolder(QString::fromStdString(joinPath(L.workFolder, "sprites/")));
    spritePicker_->setMultiSelect(addMode);
    L.pickerAdds = addMode;
    spritePicker_->show();
    spritePicker_->raise();
    spritePicker_->fileList_->setFocus();
}

void MainWindow::pickerFileClicked() {
    Level& L = *level_;
    const int line = spritePicker_->selectedLine();
    if (line < 0) return;
    pickSpriteFile(L, spritePicker_->folder().toStdString(), spritePicker_->lineName(line).toStdString(),
                   Callbacks::detector(*this));
    L.fillingPickerFields = true;
    spritePicker_->setFrameCountLimit(L.pickedStripWidth);
    spritePicker_->frameCountField_->setValue(L.frameCount);
    L.fillingPickerFields = false;
}

void MainWindow::pickerFrameCountChanged() {
    Level& L = *level_;
    const int value = spritePicker_->frameCountField_->value();
    const int line = spritePicker_->selectedLine();
    if (value == 0 || L.fillingPickerFields || line < 0) return;
    setPoseFrames(L, spritePicker_->lineName(line).toStdString(), value);
}

void MainWindow::confirmPickedSprites() {
    Level& L = *level_;
    const std::string folder = spritePicker_->folder().toStdString();
    if (L.pickerAdds) {
        std::vector<std::string> names;
        QStringList unreadable;
        for (int row : spritePicker_->selectedLines()) {
            const std::string name = spritePicker_->lineName(row).toStdString();
            if (!readablePictures({joinPath(folder, name)}, unreadable).empty()) names.push_back(name);
        }
        if (!unreadable.isEmpty()) showError(unreadable.join("\n"));
        auto rebuild = [this, &L] {
            listUpdating_ = true;
            spriteList_->clear();
            if (L.openStage >= 1 && L.openStage <= kMaxStages)
                for (int n = 1; n <= L.stage(L.openStage).spriteCount && n <= kMaxSprites; ++n)
                    spriteList_->addItem(QString::fromStdString(L.sprite(n, L.openStage).name.str()));
            listUpdating_ = false;
            spriteList_->setFocus();
        };
        EditScope edit(*this);
        try {
            addSprites(L, folder, names, Callbacks::surfaces(*this), Callbacks::detector(*this),
                       [](int n) { return std::rand() % n; });
        } catch (...) {
            rebuild();
            showSpriteFields(-1);
            throw;
        }
        rebuild();
        showSpriteFields(-1);
        return;
    }
    const int s = selectedRow(spriteList_);
    if (s < 0) {
        showError(kMsgSelectSpriteToModify);
        return;
    }
    const int f = spritePicker_->selectedLine();
    if (f < 0) {
        showError("Select the bitmap of the sprite !");
        return;
    }
    const QString name = spritePicker_->lineName(f);
    if (const PictureProbe probe = probePicture(joinPath(folder, name.toStdString())); !probe.readable) {
        showError(QString::fromStdString(probe.error));
        return;
    }
    EditScope edit(*this);
    replaceSprite(L, s, folder, name.toStdString(), Callbacks::surfaces(*this),
                  Callbacks::detector(*this));
    spriteList_->item(s)->setText(QString::fromStdString(L.sprite(s + 1, L.openStage).name.str()));
    spriteList_->setFocus();
    showSpriteFields(s + 1);
}

// ---- undo and redo ----

MainWindow::EditState& MainWindow::editState() {
    if (!edit_) {
        edit_ = std::make_shared<EditState>();
        edit_->history.reset(*level_);
        edit_->recoveryTimer = new QTimer(this);
        edit_->recoveryTimer->setSingleShot(true);
        connect(edit_->recoveryTimer, &QTimer::timeout, this, [this] { writeRecoveryNow(); });
    }
    return *edit_;
}

History& MainWindow::history() { return editState().history; }
RecoveryWriter& MainWindow::recovery() { return editState().recovery; }
bool MainWindow::levelChanged() { return !history().isClean(); }
std::string MainWindow::levelPath() { return editState().path; }

bool MainWindow::historyKey(int key, Qt::KeyboardModifiers shift) {
    constexpr int VK_Y = 89, VK_Z = 90;
    if (!shift.testFlag(Qt::ControlModifier) || shift.testFlag(Qt::AltModifier)) return false;
    if (key == VK_Z && !shift.testFlag(Qt::ShiftModifier)) {
        undoEdit();
        return true;
    }
    if (key == VK_Y || key == VK_Z) {
        redoEdit();
        return true;
    }
    return false;
}

void MainWindow::undoEdit() { stepHistory(false); }

void MainWindow::redoEdit() { stepHistory(true); }

void MainWindow::stepHistory(bool forward) {
    Level& L = *level_;
    const int stageWas = L.openStage;
    const std::string backdropWas = stageWas >= 1 && stageWas <= kMaxStages ? L.stage(stageWas).path.str() : "";
    bool done = false;
    std::string error;
    try {
        const SurfaceCallbacks cb = Callbacks::surfaces(*this);
        done = forward ? history().redo(L, cb) : history().undo(L, cb);
    } catch (const std::exception& e) {
        done = true;  // the step was taken; a picture that did not load again is reported
        error = e.what();
    }
    if (!done) return;
    syncAfterHistory(stageWas, backdropWas, error);
}

// The lists, fields and backdrop after an undo or redo: the rows that were
// selected stay selected while they exist, and the fields show them.
void MainWindow::syncAfterHistory(int stageWas, const std::string& backdropWas, std::string error) {
    Level& L = *level_;
    const int stageRow = selectedRow(stageList_);
    const int spriteRow = L.openStage == stageWas ? selectedRow(spriteList_) : -1;
    const int sectorRow = L.openStage == stageWas ? selectedRow(sectorList_) : -1;
    rebuildStageList();
    selectRow(stageList_, stageRow);
    listUpdating_ = true;
    spriteList_->clear();
    sectorList_->clear();
    if (L.openStage >= 1 && L.openStage <= kMaxStages)
        for (int n = 1; n <= L.stage(L.openStage).spriteCount && n <= kMaxSprites; ++n)
            spriteList_->addItem(QString::fromStdString(L.sprite(n, L.openStage).name.str()));
    if (L.openStage >= 0 && L.openStage <= kMaxStages)
        for (int n = 1; n <= L.stage(L.openStage).sectorCount && n <= kMaxSectors; ++n)
            sectorList_->addItem(QString::fromStdString(L.sector(n, L.openStage).name.str()));
    listUpdating_ = false;
    selectRow(spriteList_, spriteRow);
    selectRow(sectorList_, sectorRow);
    showSpriteFields(selectedRow(spriteList_) >= 0 ? selectedRow(spriteList_) + 1 : -1);
    showSectorFields(selectedRow(sectorList_) >= 0 ? selectedRow(sectorList_) + 1 : -1);

    const bool open = L.openStage >= 1 && L.openStage <= kMaxStages;
    const std::string backdrop = open ? L.stage(L.openStage).path.str() : homePath(homefiles::kBackdrop);
    if (L.openStage != stageWas || (open && backdrop != backdropWas)) {
        try {
            if (Surface* back = surface(L.backdropSurface)) back->loadPicture(backdrop);
        } catch (const std::exception& e) {
            if (error.empty()) error = e.what();
        }
    }
    if (previewSplash_->isChecked() && !L.stage(0).name.empty()) {
        try {
            loadPreview(L.stage(0).path.str());
        } catch (const std::exception&) {
        }
    }
    afterEdit();
    if (!error.empty()) throw Error(error);
}

void MainWindow::afterEdit() {
    EditState& es = editState();
    updateTitle();
    if (!es.history.isClean()) {
        es.discardAnswered = false;
        es.recoveryTimer->start(recoveryDelayMs);
    } else {
        es.recoveryTimer->stop();
        if (es.recovery.exists()) es.recovery.remove();
    }
}

void MainWindow::updateTitle() {
    EditState& es = editState();
    const QString name = es.path.empty() ? QStringLiteral("new level")
                                         : QString::fromStdString(fileNamePart(es.path));
    setWindowTitle("Sublevel editor - " + name + (es.history.isClean() ? "" : " *"));
}
