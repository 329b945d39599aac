// The open package changed by another program while the level is open
// (another editor's Save, a checkout, a copy over it): noticed while the
// editor is idle. A level with no unsaved changes is offered to be opened
// again; an edited one is told once, and its Save asks before replacing the
// package (saveTo).
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "editor/picturewatcher.h"
#include "editor/uiservices.h"

using namespace slv;

void MainWindow::setupPackageWatch() {
    packageWatcher_ = new PictureWatcher(this);
    connect(packageWatcher_, &PictureWatcher::picturesChanged, this, [this] { packageChangedOnDisk(); });
    connect(document_, &LevelDocument::packagePathChanged, this, [this] { watchPackage(); });
    watchPackage();
}

void MainWindow::watchPackage() {
    const std::string& path = document_->packagePath();
    packageWatcher_->watchFiles(path.empty() ? QStringList() : QStringList{QString::fromStdString(path)});
}

void MainWindow::packageChangedOnDisk() {
    // This editor's own Save refreshed what the document knows of the file:
    // its write is no change. A deleted package is saved again without asking.
    if (diskQuestionOpen_ || !document_->packageChangedOnDisk()) return;
    const QString name = "“" + document_->displayName() + "”";
    if (!document_->isClean()) {
        if (diskChangeToldFor_ == document_->packageIdentity()) return;
        diskChangeToldFor_ = document_->packageIdentity();
        UiServices::instance().note(
            this, name + " was changed on disk. Your changes are kept; Save asks before replacing it.");
        return;
    }
    diskQuestionOpen_ = true;
    const bool again = UiServices::instance().askAboutDiskChange(this, name + " was changed on disk. Open it again ?");
    diskQuestionOpen_ = false;
    if (!again || !document_->isClean()) return;
    // A copy: Open empties the level, and the document's path with it, before it reads.
    const std::string path = document_->packagePath();
    try {
        openPackage(path);
    } catch (const std::exception& e) {
        // The package another program is writing may not be whole yet: the
        // level stays as it was.
        showError(QString::fromUtf8(e.what()));
    }
}
