// Stage, sprite and sector commands, the stage preview and the sprite-frame
// picker. The table work lives in the editing module; these handlers gather
// the author's choices and keep the lists in step.
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>

#include "display/scenewidget.h"
#include "editor/mainwindow.h"
#include "model/homefiles.h"
#include "model/editing.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/framecount.h"
#include "editor/spritepicker.h"
#include "editor/edittools.h"
#include "editor/leveldocument.h"
#include "editor/picturewatcher.h"
#include "editor/scenepictures.h"
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
    // The sprite and sector lists show the document's selection: a row
    // selected here is the document's selection too.
    if (list == spriteList_ || list == sectorList_)
        document_->selectOnly(list == spriteList_ ? ItemKind::Sprite : ItemKind::Sector,
                              row >= 0 && row < list->count() ? row + 1 : 0);
}

static std::vector<std::string> toPaths(const QStringList& files) {
    std::vector<std::string> out;
    for (const QString& f : files) out.push_back(f.toStdString());
    return out;
}

void MainWindow::addOnActiveTab() {
    Level& L = level();
    switch (editTabs_->currentIndex()) {
    case 0: {
        const QStringList files = UiServices::instance().openFiles(
            this, QString::fromStdString(joinPath(document_->settings().workFolder, "backpx/")), kBitmapFilter, true);
        if (files.isEmpty()) return;
        QStringList unreadable;
        const std::vector<std::string> paths = readablePictures(toPaths(files), unreadable);
        if (!unreadable.isEmpty()) showError(unreadable.join("\n"));
        if (paths.empty()) return;
        try {
            document_->addStages(paths);
        } catch (const Error& e) {
            showError(QString::fromUtf8(e.what()));
            return;
        }
        if (paths.size() == 1) {
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
    case 2: showNote(kMsgHowToDrawSector); break;
    default: break;
    }
}

void MainWindow::replaceOnActiveTab() {
    Level& L = level();
    switch (editTabs_->currentIndex()) {
    case 0: {
        const int row = selectedRow(stageList_);
        if (row < 0) {
            showError(kMsgSelectStageToModify);
            return;
        }
        const QStringList files = UiServices::instance().openFiles(
            this, QString::fromStdString(joinPath(document_->settings().workFolder, "backpx/")), kBitmapFilter, false);
        if (files.isEmpty()) return;
        if (const PictureProbe probe = probePicture(files.first().toStdString()); !probe.readable) {
            showError(QString::fromStdString(probe.error));
            return;
        }
        document_->replaceStage(row + 1, files.first().toStdString());
        previewSelectedStage();
        openSelectedStage();
        break;
    }
    case 1:
        if (document_->selection().sprites.empty()) {
            showError(kMsgSelectSpriteToModify);
            return;
        }
        openPicker(false);
        break;
    case 2: renameSelectedSector(); break;
    default: break;
    }
}

void MainWindow::deleteOnActiveTab() {
    switch (editTabs_->currentIndex()) {
    case 0: {
        const int row = selectedRow(stageList_);
        if (row < 0) {
            showError(kMsgSelectStageToDelete);
            return;
        }
        const QString text = "Delete stage " + stageList_->item(row)->text() + " ?";
        if (!UiServices::instance().confirm(this, text)) return;
        // The list may have changed while the question was open.
        document_->deleteStage(row + 1);
        selectRow(stageList_, -1);  // no stage is picked for another Del by mistake
        break;
    }
    case 1: {
        const int row = document_->selection().first(ItemKind::Sprite) - 1;
        if (row < 0) {
            showError(kMsgSelectSpriteToDelete);
            return;
        }
        // The list and fields follow the document's selection: the next row.
        if (document_->selection().sprites.size() > 1) document_->deleteSelection(ItemKind::Sprite, "Delete sprites");
        else document_->deleteSprite(row);
        break;
    }
    case 2: {
        const int row = document_->selection().first(ItemKind::Sector) - 1;
        if (row < 0) {
            showError(kMsgSelectSectorToDelete);
            return;
        }
        if (document_->selection().sectors.size() > 1) document_->deleteSelection(ItemKind::Sector, "Delete sectors");
        else document_->deleteSector(row);
        break;
    }
    default: break;
    }
}

void MainWindow::previewSelectedStage() {
    const int row = selectedRow(stageList_);
    if (row < 0 || !previewStages_->isChecked()) return;
    loadPreview(level().stage(row + 1).path.str());
}

void MainWindow::openSelectedStage() {
    const int row = selectedRow(stageList_);
    if (row < 0 || row + 1 > level().stageCount) return;
    document_->openStage(row + 1);
}

void MainWindow::choosePreview(int item) {
    Level& L = level();
    if (item == 0) {
        previewSelectedStage();
        return;
    }
    const QStringList files = UiServices::instance().openFiles(
        this, QString::fromStdString(joinPath(document_->settings().workFolder, "backpx/")), kBitmapFilter, false);
    if (!files.isEmpty()) {
        document_->setSplash(files.first().toStdString());
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
    Level& L = level();
    spritePicker_->setFolder(QString::fromStdString(joinPath(document_->settings().workFolder, "sprites/")));
    spritePicker_->setMultiSelect(addMode);
    L.session.pickerAdds = addMode;
    spritePicker_->show();
    spritePicker_->raise();
    spritePicker_->fileList_->setFocus();
}

void MainWindow::pickerFileClicked() {
    Level& L = level();
    const int line = spritePicker_->selectedLine();
    if (line < 0) return;
    const int frames = document_->pickSpriteFile(spritePicker_->folder().toStdString(),
                                                 spritePicker_->lineName(line).toStdString());
    L.session.fillingPickerFields = true;
    spritePicker_->setStripWidth(L.session.pickedStripWidth);
    spritePicker_->frameCountField_->setValue(frames);
    L.session.fillingPickerFields = false;
    spritePicker_->showPicture(QDir(spritePicker_->folder()).filePath(spritePicker_->lineName(line)));
}

void MainWindow::pickerFrameCountChanged() {
    Level& L = level();
    const int value = spritePicker_->frameCountField_->value();
    const int line = spritePicker_->selectedLine();
    if (value == 0 || L.session.fillingPickerFields || line < 0) return;
    document_->setPoseFrames(spritePicker_->lineName(line).toStdString(), value);
}

void MainWindow::confirmPickedSprites() {
    const std::string folder = spritePicker_->folder().toStdString();
    if (level().session.pickerAdds) {
        std::vector<std::string> names;
        QStringList unreadable;
        for (int row : spritePicker_->selectedLines()) {
            const std::string name = spritePicker_->lineName(row).toStdString();
            if (!readablePictures({joinPath(folder, name)}, unreadable).empty()) names.push_back(name);
        }
        if (!unreadable.isEmpty()) showError(unreadable.join("\n"));
        try {
            document_->addSprites(folder, names, [](int n) { return std::rand() % n; });
        } catch (...) {
            showSpriteFields(-1);
            spriteList_->setFocus();
            throw;
        }
        showSpriteFields(-1);
        spriteList_->setFocus();
        return;
    }
    const int s = document_->selection().first(ItemKind::Sprite) - 1;
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
    document_->replaceSprite(s, folder, name.toStdString());
    spriteList_->setFocus();
    showSpriteFields(s + 1);
}

// ---- undo and redo ----

void MainWindow::undoEdit() { document_->undo(); }

void MainWindow::redoEdit() { document_->redo(); }

// ---- the views follow the document ----

void MainWindow::connectDocument() {
    document_->setSurfaceCallbacks(pictures_->callbacks());
    document_->setFrameDetector(pictures_->frameDetector());
    document_->setPictureDataLoader(
        [this](const std::string& path, const std::string& bytes) { return pictures_->loadData(path, bytes, false); });
    pictureWatcher_ = new PictureWatcher(this);
    connect(pictureWatcher_, &PictureWatcher::picturesChanged, this,
            [this](const QStringList& paths) { reloadChangedPictures(paths); });
    connect(document_, &LevelDocument::levelChanged, this, [this] {
        refreshLists();
        refreshPreview();
        pictures_->showBackdrop();
        watchLevelPictures();
    });
    connect(document_, &LevelDocument::openStageChanged, this, [this](int stage) {
        spriteAnimation_.restart(level(), stage);
        resetTickErrors();
        showOpenStageInLists(stage);
        pictures_->showBackdrop();
        watchLevelPictures();
    });
    connect(document_, &LevelDocument::cleanChanged, this, [this] { updateLevelName(); });
    connect(document_, &LevelDocument::packagePathChanged, this, [this] { updateLevelName(); });
    connect(document_, &LevelDocument::recordsChanged, this,
            [this](ItemKind kind, int, const QList<int>& numbers) { refreshItems(kind, numbers); });
    connect(document_, &LevelDocument::selectionChanged, this, [this](ItemKind kind) { showSelection(kind); });
    fieldsTimer_ = new QTimer(this);
    fieldsTimer_->setSingleShot(true);
    fieldsTimer_->setInterval(kFieldsIntervalMs);
    connect(fieldsTimer_, &QTimer::timeout, this, [this] { refreshStaleFields(); });
    // The view's mouse goes to the tool of the page shown.
    spriteTool_ = new SpriteTool(*document_, this);
    sectorTool_ = new SectorTool(*document_, this);
    connect(sectorTool_, &EditTool::refused, this, [this](const QString& text) {
        if (bandRefusalShown_) return;
        bandRefusalShown_ = true;
        showNote(text);
    });
    connect(sectorTool_, &SectorTool::bandStarted, this, [this](int x, int y) { showBand(x, y); });
    connect(sectorTool_, &SectorTool::bandResized, this, [this](int w, int h) { showBandSize(w, h); });
    connect(sectorTool_, &SectorTool::bandEnded, this, [this] { showSelection(ItemKind::Sector); });
    connect(document_, &LevelDocument::recoveryFailed, this, [this](const QString& text) { showError(text); });
    // Open shows the level as soon as its pictures are loaded; the files
    // follow between frames.
    document_->setWriteFilesAfterOpen(true);
    connect(document_, &LevelDocument::levelFilesFailed, this, [this](const QString& text) { showError(text); });
    setupPackageWatch();
    updateLevelName();
}

namespace {
// Makes `list` show `names`, touching only the rows that differ, so that the
// selection stays on rows that remain.
void syncRows(QListWidget* list, const QStringList& names) {
    while (list->count() > names.size()) delete list->takeItem(list->count() - 1);
    for (int i = 0; i < names.size(); ++i) {
        if (i >= list->count())
            list->addItem(names[i]);
        else if (list->item(i)->text() != names[i])
            list->item(i)->setText(names[i]);
    }
}
}  // namespace

void MainWindow::refreshLists() {
    const Level& L = level();
    QStringList stages, sprites, sectors;
    for (int s = 1; s <= L.stageCount && s <= kMaxStages; ++s) stages << QString::fromStdString(L.stage(s).name.str());
    const int open = L.openStage;
    if (open >= 1 && open <= kMaxStages) {
        for (int n = 1; n <= L.stage(open).spriteCount && n <= kMaxSprites; ++n)
            sprites << QString::fromStdString(L.sprite(n, open).name.str());
        for (int n = 1; n <= L.stage(open).sectorCount && n <= kMaxSectors; ++n)
            sectors << QString::fromStdString(L.sector(n, open).name.str());
    }
    listUpdating_ = true;
    for (auto [list, names] : {std::pair{stageList_, &stages}, {spriteList_, &sprites}, {sectorList_, &sectors}}) {
        syncRows(list, *names);
        // A keyboard frame without a selection would keep Home and the
        // arrows from selecting the row it is on.
        if (selectedRow(list) < 0) list->setCurrentRow(-1);
    }
    listUpdating_ = false;
    // The lists select what the document has selected.
    const int sprite = document_->selection().first(ItemKind::Sprite) - 1;
    const int sector = document_->selection().first(ItemKind::Sector) - 1;
    showListSelection(ItemKind::Sprite);
    showListSelection(ItemKind::Sector);
    // The fields show the records as they are now; a field being typed in
    // keeps what the author typed.
    if (!spriteXField_->hasFocus() && !spriteYField_->hasFocus()) showSpriteFields(sprite >= 0 ? sprite + 1 : -1);
    bool typing = false;
    for (const QSpinBox* s : {sectorXField_, sectorYField_, sectorWidthField_, sectorHeightField_})
        typing = typing || s->hasFocus();
    if (!typing && !L.session.bandActive) showSectorFields(sector >= 0 ? sector + 1 : -1);
}

void MainWindow::showOpenStageInLists(int stage) {
    // The lists and fields now belong to another stage, where the document
    // has nothing selected.
    refreshLists();
    selectRow(stageList_, stage - 1);
    showSpriteFields(-1);
    showSectorFields(-1);
}

void MainWindow::refreshPreview() {
    const Level& L = level();
    std::string path;
    if (previewSplash_->isChecked()) {
        if (!L.stage(0).name.empty()) path = L.stage(0).path.str();
    } else if (const int row = selectedRow(stageList_); row >= 0 && row < L.stageCount) {
        path = L.stage(row + 1).path.str();
    }
    if (path.empty() || path == previewPath_) return;
    try {
        loadPreview(path);
    } catch (const std::exception&) {
        // The preview keeps its last picture; the stage itself reports.
    }
}

void MainWindow::showSelection(ItemKind kind) {
    const int n = document_->selection().first(kind);
    showListSelection(kind);
    if (kind == ItemKind::Sprite) {
        showSpriteFields(n >= 1 ? n : -1);
    } else {
        if (!level().session.bandActive) showSectorFields(n >= 1 ? n : -1);
    }
}

void MainWindow::refreshItems(ItemKind kind, const QList<int>& numbers) {
    const Level& L = level();
    QListWidget* list = kind == ItemKind::Sprite ? spriteList_ : sectorList_;
    for (int n : numbers) {
        if (n < 1 || n > list->count()) continue;
        const QString name = QString::fromStdString(kind == ItemKind::Sprite ? L.sprite(n, L.openStage).name.str()
                                                                             : L.sector(n, L.openStage).name.str());
        if (list->item(n - 1)->text() != name) list->item(n - 1)->setText(name);
    }
    const int shown = kind == ItemKind::Sprite ? spriteFieldsRow_ : sectorFieldsRow_;
    if (shown < 1 || !numbers.contains(shown)) return;
    // A drag changes the record at every move of the mouse: the fields show
    // the first change at once and then follow at most every
    // kFieldsIntervalMs, which is all a reader can follow; the release shows
    // where it ended.
    bool& stale = kind == ItemKind::Sprite ? spriteFieldsStale_ : sectorFieldsStale_;
    if (mouseHeld_ && fieldsTimer_->isActive()) {
        stale = true;
        return;
    }
    stale = false;
    refreshShownFields(kind);
    fieldsTimer_->start();
}

void MainWindow::refreshStaleFields() {
    for (ItemKind kind : {ItemKind::Sprite, ItemKind::Sector}) {
        bool& stale = kind == ItemKind::Sprite ? spriteFieldsStale_ : sectorFieldsStale_;
        if (!stale) continue;
        stale = false;
        refreshShownFields(kind);
    }
}

void MainWindow::refreshShownFields(ItemKind kind) {
    // The fields show the record as it is now, unless it is being typed in.
    if (kind == ItemKind::Sprite) {
        if (spriteFieldsRow_ >= 1 && !spriteXField_->hasFocus() && !spriteYField_->hasFocus())
            showSpriteFields(spriteFieldsRow_);
        return;
    }
    bool typing = false;
    for (const QSpinBox* s : {sectorXField_, sectorYField_, sectorWidthField_, sectorHeightField_})
        typing = typing || s->hasFocus();
    if (sectorFieldsRow_ >= 1 && !typing && !level().session.bandActive) showSectorFields(sectorFieldsRow_);
}

void MainWindow::updateLevelName() {
    const QString mark = document_->isClean() ? QString() : QStringLiteral(" *");
    levelNameLabel_->setText(document_->displayName() + mark);
    levelNameLabel_->setToolTip(document_->packagePath().empty()
                                    ? QStringLiteral("Not saved yet")
                                    : QString::fromStdString(document_->packagePath()));
    const QString name = document_->packagePath().empty() ? QStringLiteral("new level") : document_->displayName();
    // The platform shows its own mark for unsaved changes in place of "[*]".
    setWindowFilePath(QString::fromStdString(document_->packagePath()));
    setWindowTitle("Sublevel editor - " + name + "[*]");
    setWindowModified(!document_->isClean());
}
