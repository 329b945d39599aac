// New, Open and Save of the whole level, with the progress panel.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QThread>
#include <cstdio>

#include "display/scenewidget.h"
#include "editor/mainwindow.h"
#include "model/homefiles.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/history.h"
#include "package/levelio.h"
#include "package/restoredlevel.h"
#include "editor/editstate.h"
#include "editor/uiservices.h"

using namespace slv;

namespace {

const QString kPackageFilter = QStringLiteral("Sublevels (*.slv)");

// The window's side of a Save or Open.
class WindowHooks : public PackageHooks {
public:
    WindowHooks(MainWindow& w, const QString& operation, const QString& fileName)
        : w_(w), operation_(operation), fileName_(fileName) {}

    void headerReady(int steps) override {
        w_.progressAction_->setText(operation_);
        w_.progressAction_->adjustSize();
        w_.progressFile_->setText(fileName_);
        w_.progressCount_->setText(QString::number(steps));
        w_.progressBar_->setMaximum(steps);
        w_.progressBar_->setValue(0);
        w_.progressPanel_->show();
        w_.progressPanel_->raise();
        w_.progressPanel_->repaint();
        w_.progressPanel_->setFocus();
    }
    void beforeLoad() override { w_.resetToNewLevel(); }
    void step() override {
        // Repainted about 60 times a second at most, and at the last step:
        // a repaint per entry would cost more than the entries.
        ++done_;
        if (done_ < w_.progressBar_->maximum() && shown_.isValid() && shown_.elapsed() < 16) return;
        w_.progressBar_->setValue(done_);
        w_.progressBar_->repaint();
        shown_.start();
    }
    SurfaceHandle loadImage(int, const std::string& path) override {
        return w_.loadSurface(path, true);
    }
    void freeSurface(SurfaceHandle h) override { w_.freeSurface(h); }

private:
    MainWindow& w_;
    QString operation_;
    QString fileName_;
    int done_ = 0;
    QElapsedTimer shown_;
};

}  // namespace

void MainWindow::newLevel() {
    EditState& es = editState();
    if (!es.discardAnswered && !confirmDiscard()) return;
    resetToNewLevel();
}

void MainWindow::resetToNewLevel() {
    Level& L = *level_;
    stageList_->clear();
    spriteList_->clear();
    sectorList_->clear();
    WindowHooks hooks(*this, QString(), QString());
    clearLevel(L, hooks);
    // No stage stays open: the one that was is gone with the level.
    L.openStage = 0;
    L.bandActive = false;
    EditState& es = editState();
    es.history.reset(L);
    es.path.clear();
    es.discardAnswered = false;
    es.recoveryTimer->stop();
    es.recovery.remove();
    // No level refers to the pictures of a restored one any more (unless
    // this New is the start of a restore, which extracts into that folder).
    if (!es.restoring) es.recovery.removePictures();
    resetTickErrors();
    showSpriteFields(-1);
    showSectorFields(-1);
    updateTitle();
    if (Surface* back = surface(L.backdropSurface)) back->loadPicture(homePath(homefiles::kBackdrop));
}

bool MainWindow::confirmClose() {
    EditState& es = editState();
    es.discardAnswered = false;
    if (!confirmDiscard()) return false;
    // The close sequence runs New; it must not ask a second time.
    es.discardAnswered = true;
    return true;
}

bool MainWindow::confirmDiscard() {
    EditState& es = editState();
    if (es.history.isClean()) return true;
    const QString name = es.path.empty() ? QStringLiteral("the new level")
                                         : QString::fromStdString(fileNamePart(es.path));
    switch (UiServices::instance().askSave(this, "Save changes to " + name + " ?")) {
    case SaveChoice::Cancel: return false;
    case SaveChoice::Discard: return true;
    case SaveChoice::Save: break;
    }
    QString path = QString::fromStdString(es.path);
    if (path.isEmpty()) {
        path = UiServices::instance().saveFile(this, QString::fromStdString(level_->workFolder),
                                               kPackageFilter, "slv");
        if (path.isEmpty()) return false;
    }
    try {
        return saveTo(path);
    } catch (const std::exception& e) {
        // Nothing is discarded when the level could not be saved.
        showError(QString::fromUtf8(e.what()));
        return false;
    }
}

void MainWindow::progressPause() {
    // Keeps the finished panel readable for a moment without busy waiting.
    progressPanel_->repaint();
    if (progressPauseMs > 0) QThread::msleep(static_cast<unsigned long>(progressPauseMs));
    progressPanel_->hide();
}

void MainWindow::openLevelFile() {
    Level& L = *level_;
    if (!confirmDiscard()) return;
    QString path;
    if (L.startupPackage.empty()) {
        QStringList chosen = UiServices::instance().openFiles(
            this, QString::fromStdString(L.workFolder), kPackageFilter, false);
        if (chosen.isEmpty()) return;
        path = chosen.first();
    } else {
        path = QString::fromStdString(L.startupPackage);
    }
    if (sceneView_) sceneView_->present();
    WindowHooks hooks(*this, "Loading : ", QString::fromStdString(fileNamePart(path.toStdString())));
    try {
        openLevel(L, path.toStdString(), hooks);
    } catch (...) {
        progressPanel_->hide();
        rebuildStageList();
        throw;
    }
    // Nothing is open after Open: the lists stay empty over car.bmp.
    L.openStage = 0;
    EditState& es = editState();
    es.history.reset(L);
    es.path = path.toStdString();
    updateTitle();
    rebuildStageList();
    progressPause();
}

void MainWindow::saveLevelFile() {
    Level& L = *level_;
    QString path = UiServices::instance().saveFile(this, QString::fromStdString(L.workFolder),
                                                   kPackageFilter, "slv");
    if (path.isEmpty()) return;
    saveTo(path);
}

bool MainWindow::saveTo(const QString& path) {
    Level& L = *level_;
    if (sceneView_) sceneView_->present();
    WindowHooks hooks(*this, "Saving : ", QString::fromStdString(fileNamePart(path.toStdString())));
    try {
        saveLevel(L, path.toStdString(), hooks);
    } catch (...) {
        progressPanel_->hide();
        throw;
    }
    EditState& es = editState();
    es.history.setClean(L);
    es.path = path.toStdString();
    es.recoveryTimer->stop();
    es.recovery.remove();
    updateTitle();
    progressPause();
    return true;
}

// ---- the recovery package ----

void MainWindow::writeRecoveryNow() {
    EditState& es = editState();
    if (es.history.isClean()) return;
    if (es.recovery.busy()) {
        es.recoveryTimer->start(recoveryDelayMs);
        return;
    }
    // The copy is taken here, between two frames; the worker writes it.
    es.recovery.start(std::make_unique<Level>(*level_), es.path);
}

void MainWindow::offerRecovery() {
    EditState& es = editState();
    RecoveryWriter& rw = es.recovery;
    // Newest first. Declined packages are removed and the next one is
    // offered; once one is restored the rest are kept for a later start.
    std::vector<LeftPackage> left = rw.claimLeftPackages();
    for (LeftPackage& one : left) {
        const QString name = one.levelPath.empty() ? QStringLiteral("the new level")
                                                   : QString::fromStdString(fileNamePart(one.levelPath));
        if (!UiServices::instance().confirm(
                this, "The last session ended without saving " + name + ". Restore it ?")) {
            RecoveryWriter::discard(one);
            continue;
        }
        restoreLeftPackage(one, name);
        return;
    }
}

void MainWindow::restoreLeftPackage(LeftPackage& left, const QString& name) {
    EditState& es = editState();
    RecoveryWriter& rw = es.recovery;
    // Opened from this editor's own folder: the pictures are extracted there
    // and stay until New, Open or a clean close leaves no level needing them.
    const std::string adopted = rw.adopt(left);
    Level& L = *level_;
    WindowHooks hooks(*this, "Loading : ", name);
    es.restoring = true;
    try {
        openLevel(L, adopted, hooks);
        es.restoring = false;
    } catch (...) {
        es.restoring = false;
        progressPanel_->hide();
        rebuildStageList();
        rw.giveBack(left, adopted);  // kept for another try
        rw.removePictures();
        throw;
    }
    std::remove(adopted.c_str());
    RecoveryWriter::discard(left);
    L.openStage = 0;
    es.history.reset(L);
    es.history.markUnsaved();
    es.path = restoredLevelPath(left.levelPath);
    rebuildStageList();
    progressPause();
    // Unsaved: this editor's own recovery package is written anew.
    afterEdit();
}
