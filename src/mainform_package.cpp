// New, Open and Save of the whole level, with the progress panel.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QThread>

#include "display/dxdraw.h"
#include "mainform.h"
#include "model/fileio.h"
#include "package/levelio.h"
#include "ui/uiservices.h"

using namespace slv;

namespace {

const QString kPackageFilter = QStringLiteral("Sublevels (*.slv)");

// The window's side of a Save or Open.
class WindowHooks : public PackageHooks {
public:
    WindowHooks(Tmain& w, const QString& operation, const QString& fileName)
        : w_(w), operation_(operation), fileName_(fileName) {}

    void headerReady(int steps) override {
        w_.Label19->setText(operation_);
        w_.Label19->adjustSize();
        w_.Label20->setText(fileName_);
        w_.Label21->setText(QString::number(steps));
        w_.pb1->setMaximum(steps);
        w_.pb1->setValue(0);
        w_.Panel6->show();
        w_.Panel6->raise();
        w_.Panel6->repaint();
        w_.Panel6->setFocus();
    }
    void beforeLoad() override { w_.Button1Click(); }
    void step() override {
        // Repainted about 60 times a second at most, and at the last step:
        // a repaint per entry would cost more than the entries.
        ++done_;
        if (done_ < w_.pb1->maximum() && shown_.isValid() && shown_.elapsed() < 16) return;
        w_.pb1->setValue(done_);
        w_.pb1->repaint();
        shown_.start();
    }
    SurfaceHandle loadImage(int, const std::string& path) override {
        return w_.loadSurface(path, true);
    }
    void freeSurface(SurfaceHandle h) override { w_.freeSurface(h); }

private:
    Tmain& w_;
    QString operation_;
    QString fileName_;
    int done_ = 0;
    QElapsedTimer shown_;
};

}  // namespace

void Tmain::Button1Click() {
    Level& L = *level_;
    ListBox1->clear();
    ListBox2->clear();
    ListBox3->clear();
    WindowHooks hooks(*this, QString(), QString());
    clearLevel(L, hooks);
    if (TDirectDrawSurface* back = surface(L.backsurface)) back->LoadBitmapFile(homePath("car.bmp"));
}

void Tmain::progressPause() {
    // Keeps the finished panel readable for a moment without busy waiting.
    Panel6->repaint();
    if (progressPauseMs > 0) QThread::msleep(static_cast<unsigned long>(progressPauseMs));
    Panel6->hide();
}

void Tmain::Button2Click() {
    Level& L = *level_;
    QString path;
    if (L.startuppackage.empty()) {
        QStringList chosen = UiServices::instance().openFiles(
            this, QString::fromStdString(L.workdir), kPackageFilter, false);
        if (chosen.isEmpty()) return;
        path = chosen.first();
    } else {
        path = QString::fromStdString(L.startuppackage);
    }
    if (DXDraw1) DXDraw1->Present();
    WindowHooks hooks(*this, "Loading : ", QString::fromStdString(fileNamePart(path.toStdString())));
    try {
        openLevel(L, path.toStdString(), hooks);
    } catch (...) {
        Panel6->hide();
        rebuildStageList();
        throw;
    }
    rebuildStageList();
    progressPause();
}

void Tmain::Button3Click() {
    Level& L = *level_;
    QString path = UiServices::instance().saveFile(this, QString::fromStdString(L.workdir),
                                                   kPackageFilter, "slv");
    if (path.isEmpty()) return;
    if (DXDraw1) DXDraw1->Present();
    WindowHooks hooks(*this, "Saving : ", QString::fromStdString(fileNamePart(path.toStdString())));
    try {
        saveLevel(L, path.toStdString(), hooks);
    } catch (...) {
        Panel6->hide();
        throw;
    }
    progressPause();
}
