// Pictures that change on disk while the level is open (a paint program
// saving a strip or a backdrop) are loaded again, so that the view shows
// what Save will store.
#include <QSet>

#include "display/scenewidget.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "editor/picturewatcher.h"
#include "editor/scenepictures.h"
#include "model/fileio.h"
#include "model/homefiles.h"

using namespace slv;

void MainWindow::watchLevelPictures() {
    const Level& L = level();
    QSet<QString> files{QString::fromStdString(homePath(homefiles::kBackdrop)),
                        QString::fromStdString(homePath(homefiles::kLowerPanel))};
    for (const std::string& f : L.stagePictureFiles(L.openStage)) files << QString::fromStdString(f);
    QStringList sorted(files.begin(), files.end());
    sorted.sort();
    if (sorted != pictureWatcher_->watchedFiles()) pictureWatcher_->watchFiles(sorted);
}

void MainWindow::reloadChangedPictures(const QStringList& paths) {
    const QStringList problems = pictures_->reloadChanged(paths);
    if (!problems.isEmpty()) reportTickError(problems.join("\n"));
}
