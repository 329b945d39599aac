// New, Open and Save of the whole level, the progress panel and the
// recovery copy's questions.

#include <functional>
#include <utility>

#include "display/scenewidget.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "editor/progresspanel.h"
#include "editor/scenepictures.h"
#include "editor/uiservices.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "package/levelio.h"

using namespace slv;

namespace {
const QString kPackageFilter = QStringLiteral("Sublevels (*.slv)");
}  // namespace

// The window's side of a Save or Open: the progress panel and the pictures.
struct MainWindow::ProgressHooks : PackageHooks {
    ProgressHooks(MainWindow& w, const QString& operation, const QString& fileName)
        : w_(w), operation_(operation), fileName_(fileName) {}
    void headerReady(int steps) override { w_.progressPanel_->begin(operation_, fileName_, steps); }
    void step() override { w_.progressPanel_->step(); }
    SurfaceHandle loadImage(int, const std::string& path) override { return w_.pictures_->load(path, true); }
    SurfaceHandle loadImageData(int, const std::string& path, const PictureBytes& bytes) override {
        return w_.pictures_->loadData(path, bytes(), true);
    }
    void freeSurface(SurfaceHandle h) override { w_.pictures_->release(h); }

private:
    MainWindow& w_;
    QString operation_;
    QString fileName_;
};

void MainWindow::runWithProgress(const QString& operation, const QString& fileName,
                                 const std::function<void(PackageHooks&)>& run) {
    ProgressHooks hooks(*this, operation, fileName);
    try {
        run(hooks);
    } catch (...) {
        progressPanel_->hide();
        throw;
    }
    progressPanel_->finish(progressPauseMs);
}

void MainWindow::newLevel() {
    // The close under way answered the question already; the answer counts once.
    const bool answered = std::exchange(closeAnswered_, false);
    if (!answered && !confirmDiscard()) return;
    ProgressHooks hooks(*this, QString(), QString());
    document_->newLevel(hooks);
    resetTickErrors();
}

bool MainWindow::confirmClose() {
    closeAnswered_ = false;
    if (!confirmDiscard()) return false;
    // The close sequence runs New; it must not ask a second time.
    closeAnswered_ = true;
    return true;
}

bool MainWindow::confirmDiscard() {
    if (document_->isClean()) return true;
    const QString name = document_->packagePath().empty() ? QStringLiteral("the new level")
                                                          : document_->displayName();
    switch (UiServices::instance().askSave(this, "Save changes to " + name + " ?")) {
    case SaveChoice::Cancel: return false;
    case SaveChoice::Discard: return true;
    case SaveChoice::Save: break;
    }
    std::string path = document_->packagePath();
    if (path.empty()) path = askPackageToSave();
    if (path.empty()) return false;
    try {
        return saveTo(path);
    } catch (const std::exception& e) {
        // Nothing is discarded when the level could not be saved.
        showError(QString::fromUtf8(e.what()));
        return false;
    }
}

void MainWindow::openLevel() {
    Level& L = level();
    if (!confirmDiscard()) return;
    std::string path = L.startupPackage;
    if (path.empty()) {
        const QStringList chosen = UiServices::instance().openFiles(
            this, QString::fromStdString(document_->settings().workFolder), kPackageFilter, false);
        if (chosen.isEmpty()) return;
        path = chosen.first().toStdString();
    }
    openPackage(path);
}

void MainWindow::openPackage(const std::string& path) {
    if (sceneView_) sceneView_->present();
    runWithProgress("Loading : ", QString::fromStdString(fileNamePart(path)),
                    [&](PackageHooks& hooks) { document_->open(path, hooks); });
    resetTickErrors();
}

void MainWindow::saveLevel() {
    const std::string own = document_->packagePath();
    if (own.empty()) {
        saveLevelAs();
        return;
    }
    saveTo(own);
}

void MainWindow::saveLevelAs() {
    const std::string path = askPackageToSave();
    if (!path.empty()) saveTo(path);
}

std::string MainWindow::askPackageToSave() {
    const std::string own = document_->packagePath();
    // The dialog starts in the level's folder with its name, else in the
    // work folder.
    // No to "Replace it ?" goes back to the dialog, at the name chosen.
    QString start = QString::fromStdString(own.empty() ? document_->settings().workFolder : own);
    for (;;) {
        const QString chosen = UiServices::instance().saveFile(this, start, kPackageFilter, "slv");
        if (chosen.isEmpty()) return {};
        const std::string path = chosen.toStdString();
        if (path == own || !fileExists(path) ||
            UiServices::instance().askReplace(
                this, QString::fromStdString(fileNamePart(path)) + " already exists. Replace it ?"))
            return path;
        start = chosen;
    }
}

bool MainWindow::saveTo(const std::string& path) {
    // Another program's version of the package (another editor's Save, a
    // checkout) is replaced only when the author says so.
    if (path == document_->packagePath() && document_->packageChangedOnDisk() &&
        !UiServices::instance().askAboutDiskChange(
            this, "“" + document_->displayName() + "” was changed on disk since it was opened. Replace it ?"))
        return false;
    if (sceneView_) sceneView_->present();
    runWithProgress("Saving : ", QString::fromStdString(fileNamePart(path)),
                    [&](PackageHooks& hooks) { document_->save(path, hooks); });
    return true;
}

void MainWindow::offerRecovery() {
    // Newest first. Declined packages are removed and the next one is
    // offered; once one is restored the rest are kept for a later start.
    std::vector<LeftPackage> left = document_->recovery().claimLeftPackages();
    for (LeftPackage& one : left) {
        const QString name = one.levelPath.empty() ? QStringLiteral("the new level")
                                                   : QString::fromStdString(fileNamePart(one.levelPath));
        if (!UiServices::instance().confirm(
                this, "The last session ended without saving " + name + ". Restore it ?")) {
            // Ended while asking: no answer was given, and the package stays for the next start.
            if (closed_) return;
            RecoveryWriter::discard(one);
            continue;
        }
        runWithProgress("Loading : ", name, [&](PackageHooks& hooks) { document_->restore(one, hooks); });
        return;
    }
}
