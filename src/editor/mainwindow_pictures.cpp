// Pictures that change on disk while the level is open (a paint program
// saving a strip or a backdrop) are loaded again, so that the view shows
// what Save will store.
#include <QSet>

#include "display/scenewidget.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "editor/picturewatcher.h"
#include "model/fileio.h"
#include "model/homefiles.h"

using namespace slv;

void MainWindow::watchLevelPictures() {
    const Level& L = level();
    QSet<QString> files{QString::fromStdString(homePath(homefiles::kBackdrop)),
                        QString::fromStdString(homePath(homefiles::kLowerPanel))};
    const int open = L.openStage;
    if (open >= 1 && open <= L.stageCount && open <= kMaxStages) {
        files << QString::fromStdString(L.stage(open).path.str());
        for (int n = 1; n <= L.stage(open).spriteCount && n <= kMaxSprites; ++n) {
            const int m = L.sprite(n, open).image;
            if (m >= 1 && m <= kMaxImages && !L.image(m).name.empty())
                files << QString::fromStdString(L.image(m).path.str());
        }
    }
    QStringList sorted(files.begin(), files.end());
    sorted.sort();
    if (sorted != pictureWatcher_->watchedFiles()) pictureWatcher_->watchFiles(sorted);
}

void MainWindow::reloadChangedPictures(const QStringList& paths) {
    Level& L = level();
    QStringList problems;
    for (const QString& changed : paths) {
        const std::string path = changed.toStdString();
        if (!fileExists(path)) {
            problems << changed + " is gone; the view keeps its last picture.";
            continue;
        }
        try {
            if (path == backdropPath_) {
                backdropPath_.clear();
                refreshBackdrop();
            }
            if (path == homePath(homefiles::kLowerPanel) && L.session.padSurface) {
                if (Surface* pad = surface(L.session.padSurface)) pad->loadPicture(path);
            }
            for (int m = 1; m <= L.imageCount && m <= kMaxImages; ++m)
                if (!L.image(m).name.empty() && L.image(m).path.str() == path) reloadImage(m, problems);
        } catch (const std::exception& e) {
            problems << QString::fromUtf8(e.what());
        }
    }
    if (!problems.isEmpty()) reportTickError(problems.join("\n"));
}

void MainWindow::reloadImage(int m, QStringList& problems) {
    Level& L = level();
    ImageRec& img = L.image(m);
    // The new picture is loaded beside the old one, which stays until the
    // new one is whole.
    const SurfaceHandle fresh = loadSurface(img.path.str(), true);
    const Surface* picture = surface(fresh);
    const int width = picture->width(), height = picture->height();
    freeSurface(img.surface);
    img.surface = fresh;
    // Sprites whose strip no longer has its old size get frames that fit it:
    // a record change, so one undo step for all of them.
    struct Fit {
        int stage, n, w, h;
    };
    std::vector<Fit> fits;
    for (int s = 1; s <= L.stageCount && s <= kMaxStages; ++s)
        for (int n = 1; n <= L.stage(s).spriteCount && n <= kMaxSprites; ++n) {
            SpriteRec& r = L.sprite(n, s);
            if (r.image != m) continue;
            r.surface = fresh;
            const int frames = r.frameCount >= 1 ? r.frameCount : 1;
            const int w = width / frames;
            if (width % frames != 0)
                problems << QString("%1 is %2 pixels wide now, which does not divide into %3 frames; "
                                    "its sprites show frames %4 pixels wide.")
                                .arg(QString::fromStdString(img.name.str()))
                                .arg(width)
                                .arg(frames)
                                .arg(w);
            if (r.w != w || r.h != height) fits.push_back({s, n, w, height});
        }
    if (fits.empty()) return;
    document_->edit({"Follow changed picture", 1, -1}, [&] {
        for (const Fit& f : fits) {
            SpriteRec& r = L.sprite(f.n, f.stage);
            r.w = f.w;
            r.h = f.h;
        }
    });
}
