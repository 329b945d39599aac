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

#include "display/dxdraw.h"
#include "mainform.h"
#include "model/editing.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/framecount.h"
#include "model/history.h"
#include "spriteframe/spriteframe.h"
#include "ui/editstate.h"
#include "ui/uiservices.h"

using namespace slv;

namespace {
const QString kBitmapFilter = QStringLiteral("Bitmap (*.bmp)");

// The pictures that can be read; the reasons for the others are added to
// `errors`. Asked before a command takes pictures in, so that no stage or
// sprite is made with a picture that cannot be shown.
std::vector<std::string> readablePictures(const std::vector<std::string>& paths, QStringList& errors) {
    std::vector<std::string> ok;
    for (const std::string& p : paths) {
        const PictureProbe probe = ProbePicture(p);
        if (probe.readable)
            ok.push_back(p);
        else
            errors << QString::fromStdString(probe.error);
    }
    return ok;
}
}

// What the editing module needs from the display.
struct Tmain::Callbacks {
    static SurfaceCallbacks surfaces(Tmain& w) {
        SurfaceCallbacks cb;
        cb.load = [&w](const std::string& path) { return w.loadSurface(path, false); };
        cb.release = [&w](SurfaceHandle h) { w.freeSurface(h); };
        cb.measure = [&w](SurfaceHandle h) {
            TDirectDrawSurface* s = w.surface(h);
            if (!s) throw Error("Surface cannot be made");
            return SurfaceSize{s->Width(), s->Height()};
        };
        cb.setColorKey = [&w](SurfaceHandle h, std::uint32_t key) {
            if (TDirectDrawSurface* s = w.surface(h)) s->SetKeyColor(key);
        };
        return cb;
    }
    static DetectFramesFn detector(Tmain& w) {
        return [&w](const std::string& path) {
            // Plain bitmaps are read straight from the file; the rest are loaded.
            TDirectDraw* dev = w.DXDraw1 ? w.DXDraw1->Device() : nullptr;
            if (const int n = dev ? calctotposFromFile(path, dev->BitCount() / 8, w.level().colorkey) : 0)
                return n;
            const SurfaceHandle h = w.loadSurface(path, false);
            try {
                const PixelView v = w.surface(h)->Pixels();
                const int n = calctotpos(v.pixels, v.pitch, v.bytesPerPixel, v.width, v.height,
                                         w.level().colorkey);
                w.freeSurface(h);
                return n;
            } catch (...) {
                w.freeSurface(h);
                throw;
            }
        };
    }
};

int Tmain::selectedRow(const QListWidget* list) {
    QListWidgetItem* it = list->currentItem();
    return it && it->isSelected() ? list->row(it) : -1;
}

void Tmain::selectRow(QListWidget* list, int row) {
    listUpdating_ = true;
    if (row >= 0 && row < list->count()) {
        list->setCurrentRow(row);
    } else {
        list->clearSelection();
        list->setCurrentRow(-1);
    }
    listUpdating_ = false;
}

void Tmain::rebuildStageList() {
    const Level& L = *level_;
    listUpdating_ = true;
    ListBox1->clear();
    for (int s = 1; s <= L.totstages && s <= kMaxStages; ++s)
        ListBox1->addItem(QString::fromStdString(L.stage(s).name.str()));
    listUpdating_ = false;
}

static std::vector<std::string> toPaths(const QStringList& files) {
    std::vector<std::string> out;
    for (const QString& f : files) out.push_back(f.toStdString());
    return out;
}

void Tmain::Button4Click() {
    Level& L = *level_;
    switch (PageControl2->currentIndex()) {
    case 0: {
        QStringList files = UiServices::instance().openFiles(
            this, QString::fromStdString(joinPath(L.workdir, "backpx/")), kBitmapFilter, true);
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
            selectRow(ListBox1, ListBox1->count() - 1);
            ListBox1Click();
            ListBox1DblClick();
        }
        ListBox1->setFocus();
        break;
    }
    case 1:
        if (L.curstage == 0) {
            showError(kMsgNoOpenStage);
            return;
        }
        openPicker(true);
        break;
    default: break;
    }
}

void Tmain::Button5Click() {
    Level& L = *level_;
    switch (PageControl2->currentIndex()) {
    case 0: {
        const int row = selectedRow(ListBox1);
        if (row < 0) {
            showError(kMsgSelectStageToModify);
            return;
        }
        QStringList files = UiServices::instance().openFiles(
            this, QString::fromStdString(joinPath(L.workdir, "backpx/")), kBitmapFilter, false);
        if (files.isEmpty()) return;
        if (const PictureProbe probe = ProbePicture(files.first().toStdString()); !probe.readable) {
            showError(QString::fromStdString(probe.error));
            return;
        }
        EditScope edit(*this);
        modifyStage(L, row + 1, files.first().toStdString());
        ListBox1->item(row)->setText(QString::fromStdString(fileNamePart(files.first().toStdString())));
        ListBox1Click();
        ListBox1DblClick();
        break;
    }
    case 1:
        if (selectedRow(ListBox2) < 0) {
            showError(kMsgSelectSpriteToModify);
            return;
        }
        openPicker(false);
        break;
    default: break;
    }
}

void Tmain::Button6Click() {
    Level& L = *level_;
    switch (PageControl2->currentIndex()) {
    case 0: {
        const int row = selectedRow(ListBox1);
        if (row < 0) {
            showError(kMsgSelectStageToDelete);
            return;
        }
        const QString text = "Delete stage " + ListBox1->item(row)->text() + " ?";
        if (!UiServices::instance().confirm(this, text)) return;
        const int s = row + 1;
        if (s > L.totstages) return;  // the list changed while the question was open
        EditScope edit(*this);
        deleteStage(L, s, Callbacks::surfaces(*this));
        rebuildStageList();
        // Keep the open stage open: it moved down one place, or it is gone.
        if (s < L.curstage) {
            L.curstage -= 1;
        } else if (s == L.curstage) {
            L.curstage = 0;
            ListBox2->clear();
            ListBox3->clear();
            displaysprite(-1);
            displaysector(-1);
            if (TDirectDrawSurface* back = surface(L.backsurface))
                back->LoadBitmapFile(homePath("car.bmp"));
        }
        break;
    }
    case 1: {
        const int row = selectedRow(ListBox2);
        if (row < 0) {
            showError(kMsgSelectSpriteToDelete);
            return;
        }
        EditScope edit(*this);
        const int next = deleteSprite(L, L.curstage, row, Callbacks::surfaces(*this));
        delete ListBox2->takeItem(row);
        selectRow(ListBox2, next);
        displaysprite(next >= 0 ? next + 1 : -1);
        break;
    }
    case 2: {
        const int row = selectedRow(ListBox3);
        if (row < 0) {
            showError(kMsgSelectSectorToDelete);
            return;
        }
        EditScope edit(*this);
        const int next = deleteSector(L, L.curstage, row);
        delete ListBox3->takeItem(row);
        selectRow(ListBox3, next);
        displaysector(next >= 0 ? next + 1 : -1);
        break;
    }
    default: break;
    }
}

void Tmain::ListBox1Click() {
    const int row = selectedRow(ListBox1);
    if (row < 0 || !RadioStages->isChecked()) return;
    loadPreview(level_->stage(row + 1).path.str());
}

void Tmain::ListBox1DblClick() {
    Level& L = *level_;
    const int row = selectedRow(ListBox1);
    if (row < 0 || row + 1 > L.totstages) return;
    L.curstage = row + 1;
    resetTickErrors();
    // The lists follow the open stage even when its picture fails to load.
    listUpdating_ = true;
    ListBox2->clear();
    ListBox3->clear();
    const StageRec& st = L.stage(L.curstage);
    for (int n = 1; n <= st.totsprites && n <= kMaxSprites; ++n)
        ListBox2->addItem(QString::fromStdString(L.sprite(n, L.curstage).name.str()));
    for (int n = 1; n <= st.totsectors && n <= kMaxSectors; ++n)
        ListBox3->addItem(QString::fromStdString(L.sector(n, L.curstage).name.str()));
    listUpdating_ = false;
    displaysprite(-1);
    displaysector(-1);
    TDirectDrawSurface* back = surface(L.backsurface);
    if (back) {
        back->LoadBitmapFile(st.path.str());
    } else if (DXDraw1 && DXDraw1->Device()) {
        L.backsurface = loadSurface(st.path.str(), false);
    }
}

void Tmain::RadioGroup1Click(int item) {
    Level& L = *level_;
    if (item == 0) {
        ListBox1Click();
        return;
    }
    QStringList files = UiServices::instance().openFiles(
        this, QString::fromStdString(joinPath(L.workdir, "backpx/")), kBitmapFilter, false);
    if (!files.isEmpty()) {
        EditScope edit(*this);
        setSplash(L, files.first().toStdString());
        loadPreview(files.first().toStdString());
    } else if (!L.stage(0).name.empty()) {
        loadPreview(L.stage(0).path.str());
    } else {
        RadioStages->setChecked(true);
    }
}

// ---- the sprite-frame picker ----

void Tmain::setupPicker() {
    connect(spritef1->FileListBox1, &QListWidget::itemClicked, this,
            [this] { spritef1FileListBox1Click(); });
    connect(spritef1->SpinEdit1, &QSpinBox::valueChanged, this,
            [this] { spritef1SpinEdit1Change(); });
    connect(spritef1->Button1, &QPushButton::clicked, this, [this] { spritef1Button1Click(); });
}

void Tmain::openPicker(bool addMode) {
    Level& L = *level_;
    spritef1->setFolder(QString::fromStdString(joinPath(L.workdir, "sprites/")));
    spritef1->setMultiSelect(addMode);
    L.addmode = addMode;
    spritef1->show();
    spritef1->raise();
    spritef1->FileListBox1->setFocus();
}

void Tmain::spritef1FileListBox1Click() {
    Level& L = *level_;
    const int line = spritef1->selectedLine();
    if (line < 0) return;
    pickSpriteFile(L, spritef1->folder().toStdString(), spritef1->lineName(line).toStdString(),
                   Callbacks::detector(*this));
    L.fillingpos = true;
    spritef1->SpinEdit1->setValue(L.totpos);
    L.fillingpos = false;
}

void Tmain::spritef1SpinEdit1Change() {
    Level& L = *level_;
    const int value = spritef1->SpinEdit1->value();
    const int line = spritef1->selectedLine();
    if (value == 0 || L.fillingpos || line < 0) return;
    setPoseFrames(L, spritef1->lineName(line).toStdString(), value);
}

void Tmain::spritef1Button1Click() {
    Level& L = *level_;
    const std::string folder = spritef1->folder().toStdString();
    if (L.addmode) {
        std::vector<std::string> names;
        QStringList unreadable;
        for (int row : spritef1->selectedLines()) {
            const std::string name = spritef1->lineName(row).toStdString();
            if (!readablePictures({joinPath(folder, name)}, unreadable).empty()) names.push_back(name);
        }
        if (!unreadable.isEmpty()) showError(unreadable.join("\n"));
        auto rebuild = [this, &L] {
            listUpdating_ = true;
            ListBox2->clear();
            if (L.curstage >= 1 && L.curstage <= kMaxStages)
                for (int n = 1; n <= L.stage(L.curstage).totsprites && n <= kMaxSprites; ++n)
                    ListBox2->addItem(QString::fromStdString(L.sprite(n, L.curstage).name.str()));
            listUpdating_ = false;
            ListBox2->setFocus();
        };
        EditScope edit(*this);
        try {
            addSprites(L, folder, names, Callbacks::surfaces(*this), Callbacks::detector(*this),
                       [](int n) { return std::rand() % n; });
        } catch (...) {
            rebuild();
            displaysprite(-1);
            throw;
        }
        rebuild();
        displaysprite(-1);
        return;
    }
    const int s = selectedRow(ListBox2);
    if (s < 0) {
        showError(kMsgSelectSpriteToModify);
        return;
    }
    const int f = spritef1->selectedLine();
    if (f < 0) {
        showError("Select the bitmap of the sprite !");
        return;
    }
    const QString name = spritef1->lineName(f);
    if (const PictureProbe probe = ProbePicture(joinPath(folder, name.toStdString())); !probe.readable) {
        showError(QString::fromStdString(probe.error));
        return;
    }
    EditScope edit(*this);
    replaceSprite(L, s, folder, name.toStdString(), Callbacks::surfaces(*this),
                  Callbacks::detector(*this));
    ListBox2->item(s)->setText(name);
    ListBox2->setFocus();
    displaysprite(s + 1);
}

// ---- undo and redo ----

Tmain::EditState& Tmain::editState() {
    if (!edit_) {
        edit_ = std::make_shared<EditState>();
        edit_->history.reset(*level_);
        edit_->recoveryTimer = new QTimer(this);
        edit_->recoveryTimer->setSingleShot(true);
        connect(edit_->recoveryTimer, &QTimer::timeout, this, [this] { writeRecoveryNow(); });
    }
    return *edit_;
}

History& Tmain::history() { return editState().history; }
RecoveryWriter& Tmain::recovery() { return editState().recovery; }
bool Tmain::levelChanged() { return !history().isClean(); }
std::string Tmain::levelPath() { return editState().path; }

bool Tmain::historyKey(int key, Qt::KeyboardModifiers shift) {
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

void Tmain::undoEdit() { stepHistory(false); }

void Tmain::redoEdit() { stepHistory(true); }

void Tmain::stepHistory(bool forward) {
    Level& L = *level_;
    const int stageWas = L.curstage;
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
void Tmain::syncAfterHistory(int stageWas, const std::string& backdropWas, std::string error) {
    Level& L = *level_;
    const int stageRow = selectedRow(ListBox1);
    const int spriteRow = L.curstage == stageWas ? selectedRow(ListBox2) : -1;
    const int sectorRow = L.curstage == stageWas ? selectedRow(ListBox3) : -1;
    rebuildStageList();
    selectRow(ListBox1, stageRow);
    listUpdating_ = true;
    ListBox2->clear();
    ListBox3->clear();
    if (L.curstage >= 1 && L.curstage <= kMaxStages)
        for (int n = 1; n <= L.stage(L.curstage).totsprites && n <= kMaxSprites; ++n)
            ListBox2->addItem(QString::fromStdString(L.sprite(n, L.curstage).name.str()));
    if (L.curstage >= 0 && L.curstage <= kMaxStages)
        for (int n = 1; n <= L.stage(L.curstage).totsectors && n <= kMaxSectors; ++n)
            ListBox3->addItem(QString::fromStdString(L.sector(n, L.curstage).name.str()));
    listUpdating_ = false;
    selectRow(ListBox2, spriteRow);
    selectRow(ListBox3, sectorRow);
    displaysprite(selectedRow(ListBox2) >= 0 ? selectedRow(ListBox2) + 1 : -1);
    displaysector(selectedRow(ListBox3) >= 0 ? selectedRow(ListBox3) + 1 : -1);

    const bool open = L.curstage >= 1 && L.curstage <= kMaxStages;
    const std::string backdrop = open ? L.stage(L.curstage).path.str() : homePath("car.bmp");
    if (L.curstage != stageWas || (open && backdrop != backdropWas)) {
        try {
            if (TDirectDrawSurface* back = surface(L.backsurface)) back->LoadBitmapFile(backdrop);
        } catch (const std::exception& e) {
            if (error.empty()) error = e.what();
        }
    }
    if (RadioSplash->isChecked() && !L.stage(0).name.empty()) {
        try {
            loadPreview(L.stage(0).path.str());
        } catch (const std::exception&) {
        }
    }
    afterEdit();
    if (!error.empty()) throw Error(error);
}

void Tmain::afterEdit() {
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

void Tmain::updateTitle() {
    EditState& es = editState();
    const QString name = es.path.empty() ? QStringLiteral("new level")
                                         : QString::fromStdString(fileNamePart(es.path));
    setWindowTitle("Sublevel editor - " + name + (es.history.isClean() ? "" : " *"));
}
