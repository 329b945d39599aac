// The view's zoom and pan, and the status line: the pointer's place on the
// stage, the item under it and the zoom factor.
#include <QListWidget>
#include <QSettings>
#include <QTabWidget>

#include "display/scenewidget.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "editor/statusline.h"
#include "model/editing.h"
#include "model/tablebounds.h"

using namespace slv;

namespace {
constexpr const char* kZoomSetting = "view/zoom";  // 1..8, or 0 for fit to view
constexpr int kSceneWidth = 640;
constexpr int kSceneHeight = 430;

// The editor's own preferences (on Linux ~/.config/slvedit/slvedit.conf).
QSettings preferences() { return QSettings(QSettings::IniFormat, QSettings::UserScope, "slvedit", "slvedit"); }
}  // namespace

void MainWindow::setupZoomAndStatus() {
    // The back buffer is the scene's size whatever room the view has: the
    // zoom, not the control's size, decides how large it is shown.
    sceneView_->setAutoSize(false);
    sceneView_->setSurfaceSize(kSceneWidth, kSceneHeight);

    const int remembered = preferences().value(kZoomSetting, 0).toInt();
    if (remembered >= SceneWidget::kMinZoom && remembered <= SceneWidget::kMaxZoom)
        sceneView_->setZoom(remembered);
    else
        sceneView_->setFitToView(true);
    statusLine_->setZoom(sceneView_->zoom(), sceneView_->fitToView());
    connect(sceneView_, &SceneWidget::zoomChanged, this, [this](int factor) {
        statusLine_->setZoom(factor, sceneView_->fitToView());
        preferences().setValue(kZoomSetting, sceneView_->fitToView() ? 0 : factor);
    });

    connect(sceneView_, &SceneWidget::pointerMoved, this, [this](QPoint p) {
        pointerOnScene_ = true;
        pointerScenePixel_ = p;
        statusLine_->setPointer(p.x(), p.y());
        showItemInStatus();
    });
    connect(sceneView_, &SceneWidget::pointerLeft, this, [this] {
        pointerOnScene_ = false;
        statusLine_->clearPointer();
        showItemInStatus();
    });
    connect(document_, &LevelDocument::levelChanged, this, [this] { showItemInStatus(); });
    connect(document_, &LevelDocument::openStageChanged, this, [this] { showItemInStatus(); });
    connect(editTabs_, &QTabWidget::currentChanged, this, [this] { showItemInStatus(); });
    connect(document_, &LevelDocument::selectionChanged, this, [this] { showItemInStatus(); });
    connect(document_, &LevelDocument::recordsChanged, this, [this] { showItemInStatus(); });
}

void MainWindow::showItemInStatus() {
    const Level& L = level();
    // The Sprite and Sector tabs (1 and 2) tell of their own kind of item.
    const int tab = editTabs_->currentIndex();
    QString text;
    if (tab == 1 && isStageNumber(L.openStage)) {
        int n = pointerOnScene_ ? pickSprite(L, pointerScenePixel_.x(), pointerScenePixel_.y()) : 0;
        if (n == 0) n = document_->selection().first(ItemKind::Sprite);
        if (n >= 1 && n <= std::min(L.stage(L.openStage).spriteCount, kMaxSprites)) {
            const SpriteRec& r = L.sprite(n, L.openStage);
            text = StatusLine::itemText("Sprite", QString::fromStdString(r.name.str()), r.x, r.y, r.w, r.h);
        }
    } else if (tab == 2 && L.openStage >= 0 && L.openStage <= kMaxStages) {
        int n = pointerOnScene_ ? pickSector(L, pointerScenePixel_.x(), pointerScenePixel_.y()) : 0;
        if (n == 0) n = document_->selection().first(ItemKind::Sector);
        if (n >= 1 && n <= std::min(L.stage(L.openStage).sectorCount, kMaxSectors)) {
            const SectorRec& r = L.sector(n, L.openStage);
            text = StatusLine::itemText("Sector", QString::fromStdString(r.name.str()), r.x, r.y, r.w, r.h);
        }
    }
    statusLine_->setItem(text);
}

void MainWindow::zoomIn() { sceneView_->zoomIn(); }
void MainWindow::zoomOut() { sceneView_->zoomOut(); }
void MainWindow::zoomActualSize() { sceneView_->setZoom(1); }
void MainWindow::zoomToFit() { sceneView_->setFitToView(true); }
