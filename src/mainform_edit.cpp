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
#include "spriteframe/spriteframe.h"
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
        const int next = deleteSprite(L, L.curstage, row, Callbacks::surfaces(*this));
        delete ListBox2->takeItem(row);
        selectRow(ListBox2, next);
        break;
    }
    case 2: {
        const int row = selectedRow(ListBox3);
        if (row < 0) {
            showError(kMsgSelectSectorToDelete);
            return;
        }
        const int next = deleteSector(L, L.curstage, row);
        delete ListBox3->takeItem(row);
        selectRow(ListBox3, next);
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
        try {
            addSprites(L, folder, names, Callbacks::surfaces(*this), Callbacks::detector(*this),
                       [](int n) { return std::rand() % n; });
        } catch (...) {
            rebuild();
            throw;
        }
        rebuild();
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
    replaceSprite(L, s, folder, name.toStdString(), Callbacks::surfaces(*this),
                  Callbacks::detector(*this));
    ListBox2->item(s)->setText(name);
    ListBox2->setFocus();
}
