// The scene view: the frame loop, the first tick's loading and the display modes.
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QMenuBar>
#include <QStatusBar>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <utility>

#include "actor/actor.h"
#include "display/canvas.h"
#include "display/clock.h"
#include "display/scenewidget.h"
#include "display/frametimer.h"
#include "display/scene.h"
#include "editor/edittools.h"
#include "editor/mainwindow.h"
#include "editor/leveldocument.h"
#include "editor/scenepictures.h"
#include "model/homefiles.h"
#include "model/tablebounds.h"

using namespace slv;

namespace {
constexpr std::uint32_t kFullScreenKey = 63519;  // magenta in 5-6-5

}  // namespace

void MainWindow::connectView() {
    sceneView_->setOptions(SceneOptions{doAllowReboot, doCenter, doHardware, doSelectDriver});
    sceneView_->setErrorHandler([this](const std::string& text) {
        QString t = QString::fromStdString(text);
        QTimer::singleShot(0, this, [this, t] { showError(t); });
    });
    connect(sceneView_, &SceneWidget::mouseDown, this,
            [this](Qt::MouseButton b, bool ctrl, int x, int y) { pressOnScene(b, ctrl, x, y); });
    connect(sceneView_, &SceneWidget::mouseMove, this,
            [this](Qt::MouseButtons b, bool ctrl, int x, int y) {
                moveOnScene(static_cast<int>(b), ctrl, x, y);
            });
    connect(sceneView_, &SceneWidget::mouseUp, this,
            [this](Qt::MouseButton b, bool ctrl, int x, int y) { releaseOnScene(b, ctrl, x, y); });
    frameTimer_ = new FrameTimer(this);
    frameTimer_->onTick = [this](int lag) { onFrameTick(lag); };
}

void MainWindow::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!e->spontaneous() && !shownOnce_) {
        shownOnce_ = true;
        if (placeOnScreen_ || classicWindow_) centerOnScreen();
        activateWindow();
        raise();
    }
}

void MainWindow::reportTickError(const QString& text) {
    // A failure that comes back at every tick is shown once, not in a box
    // that reopens for ever; the frame loop goes on without the failing part.
    if (tickBoxOpen_ || tickErrorsShown_.contains(text)) return;
    tickErrorsShown_.insert(text);
    tickBoxOpen_ = true;
    QTimer::singleShot(0, this, [this, text] {
        showError(text);
        tickBoxOpen_ = false;
    });
}

void MainWindow::resetTickErrors() { tickErrorsShown_.clear(); }

void MainWindow::checkSpritePictures() {
    const Level& L = level();
    if (L.openStage < 1 || L.openStage > kMaxStages) return;
    QStringList gone;
    const int n = clampCount(L.stage(L.openStage).spriteCount, kMaxSprites);
    for (int k = 1; k <= n; ++k) {
        const SpriteRec& r = L.sprite(k, L.openStage);
        if (r.surface && !pictures_->surface(r.surface)) gone << QString::fromStdString(r.name.str());
    }
    if (!gone.isEmpty())
        reportTickError("The picture of " + gone.join(", ") + " is not loaded: it is not drawn.");
}

void MainWindow::firstTickWork() {
    Level& L = level();
    // Runs once: whatever fails is reported once and the editor goes on
    // without it.
    viewState_.startupPending = false;
    QStringList errors;
    try {
        pictures_->loadHomePictures();
    } catch (const std::exception& e) {
        errors << QString::fromUtf8(e.what());
    }
    try {
        viewState_.colorKey = pictures_->colorOfFirstPixel(homePath(homefiles::kColorKeyPicture));
        viewState_.windowColorKey = viewState_.colorKey;
    } catch (const std::exception& e) {
        errors << QString::fromUtf8(e.what());
    }

    if (!L.startupPackage.empty()) {
        try {
            openLevel();
        } catch (const std::exception& e) {
            errors << QString::fromUtf8(e.what());
        }
        // Opened once: a later Open asks for its package again.
        L.startupPackage.clear();
    }
    try {
        offerRecovery();
    } catch (const std::exception& e) {
        errors << QString::fromUtf8(e.what());
    }
    try {
        pictures_->loadActor();
    } catch (const std::exception& e) {
        errors << QString::fromUtf8(e.what());
    }
    actor_.currentSkin = actor_.firstSkin;
    if (!errors.isEmpty()) reportTickError(errors.join("\n\n"));
}

void MainWindow::onFrameTick(int) {
    Level& L = level();
    if (!sceneView_ || !sceneView_->isViewReady()) return;
    if (viewState_.startupPending) {
        if (tickBoxOpen_) return;  // its failure is still being shown
        firstTickWork();
        if (viewState_.startupPending) return;
    }
    try {
        drawFrame();
        checkSpritePictures();
    } catch (const std::exception& e) {
        reportTickError(QString::fromUtf8(e.what()));
    }
}

void MainWindow::drawFrame() {
    Level& L = level();
    Surface* bb = sceneView_->backBuffer();
    if (!bb) return;
    // The actor is drawn as it stood before this tick's key commands; the
    // numbers show the skin and command they chose.
    SkinRec actor;
    const bool actorShown = skinInUse(actor_, actor_.currentSkin);
    if (actorShown) actor = actor_.skin(actor_.currentSkin);
    updateActorSkin(actor_);

    SceneView view;
    view.stage = L.openStage;
    view.backdrop = pictures_->surface(viewState_.backdropSurface);
    view.lowerPanel = viewState_.lowerPanelVisible ? pictures_->surface(viewState_.lowerPanelSurface) : nullptr;
    view.actor = actorShown ? &actor : nullptr;
    view.band = L.session.bandActive;
    view.bandX1 = L.session.bandStartX;
    view.bandY1 = L.session.bandStartY;
    view.bandX2 = L.session.mouseX;
    view.bandY2 = L.session.mouseY;
    if (auto* tool = qobject_cast<ItemTool*>(activeTool()); tool && !view.band)
        view.band = tool->selectionBand(view.bandX1, view.bandY1, view.bandX2, view.bandY2);
    view.gridSize = grid().visible ? grid().size : 0;
    view.sectorOutlines = showSectors_->isChecked();
    view.spriteOutlines = showSpriteBoxes_->isChecked();
    view.sectorColor = document_->settings().sectorColor;
    view.spriteBoxColor = document_->settings().spriteBoxColor;
    view.selectedSprites = document_->selection().sprites;
    view.selectedSectors = document_->selection().sectors;
    view.numbers = {QString::number(frameTimer_->framesPerSecond()), QString::number(actor_.currentSkin),
                    QString::number(actor_.lastCommand)};
    spriteAnimation_.follow(L, L.openStage);
    view.animation = &spriteAnimation_;
    if (!sceneCache_) sceneCache_ = std::make_shared<SceneCache>();
    const std::vector<PixelRect> changed = drawScene(*bb, L, *sceneView_->device(), view, sceneCache_.get());

    if (static_cast<std::uint32_t>(tickCount() - viewState_.lastTick) > 30) {
        advanceActorFrame(actor_);
        spriteAnimation_.advance();
        viewState_.lastTick = tickCount();
    }
    sceneView_->present(changed);
}

void MainWindow::switchDisplayMode(int fkey) {
    Level& L = level();
    const bool f9 = fkey == 120, f10 = fkey == 121;
    const bool full = f9 || f10;
    frameTimer_->setEnabled(false);
    sceneView_->finalizeView();
    resetTickErrors();

    // Full screen shows the editor (F10) or the view alone (F9) on black
    // over the whole screen; the window's frame, menus and status bar go.
    auto* screenGrid = static_cast<QGridLayout*>(screenArea_->layout());
    if (full) {
        if (displayModeKey_ == 122) {
            saveWindowPlace();
            windowedPlace_ = QRect(frameGeometry().topLeft(), size());
        }
        menuBar()->hide();
        statusBar()->hide();
        QPalette pal = screenArea_->palette();
        pal.setColor(QPalette::Window, Qt::black);
        screenArea_->setPalette(pal);
        screenArea_->setAutoFillBackground(true);
        editor_->setFixedSize(800, 600);
        screenGrid->setAlignment(editor_, Qt::AlignCenter);
        if (!isFullScreen()) {
            setMinimumSize(0, 0);
            setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            showFullScreen();
        }
    } else {
        screenArea_->setPalette(QPalette());
        screenArea_->setAutoFillBackground(false);
        editor_->setMinimumSize(0, 0);
        editor_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        screenGrid->setAlignment(editor_, Qt::Alignment());
        if (isFullScreen()) showNormal();
        applyWindowFrame();
        // The editor's fixed full-screen size goes from the window's minimum first.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (windowedPlace_.isValid() && !classicWindow_) {
            resize(windowedPlace_.size());
            move(windowedPlace_.topLeft());
        }
        windowedPlace_ = QRect();
    }
    if (f9) {
        viewFrame_->layout()->removeWidget(sceneView_);
        screenGrid->addWidget(sceneView_, 0, 0);
        sceneView_->setAutoSize(false);
        sceneView_->setSurfaceSize(640, 480);
        sceneView_->setScaleToFit(true);
        sceneView_->setCursorHidden(true);
        editor_->hide();
        sceneView_->show();
        sceneView_->raise();
        sceneView_->display.height = 480;
        sceneView_->display.width = 640;
    } else {
        if (sceneView_->parentWidget() != viewFrame_) {
            screenGrid->removeWidget(sceneView_);
            viewFrame_->layout()->addWidget(sceneView_);
            sceneView_->show();
        }
        editor_->show();
        sceneView_->setScaleToFit(false);
        sceneView_->setAutoSize(false);  // the scene's size, shown at the view's zoom
        sceneView_->setSurfaceSize(640, 430);
        sceneView_->setCursorHidden(false);
        sceneView_->display.height = f10 ? 600 : 480;
        sceneView_->display.width = f10 ? 800 : 640;
    }
    displayModeKey_ = fkey;
    viewState_.colorKey = full ? kFullScreenKey : viewState_.windowColorKey;
    SceneOptions o = sceneView_->options();
    if (full) o.include(doFullScreen); else o.exclude(doFullScreen);
    sceneView_->setOptions(o);
    activateWindow();
    // The view takes its new place before its back buffer is made.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    sceneView_->initializeView();
    QStringList missing;
    try {
        pictures_->loadHomePictures();
    } catch (const std::exception& e) {
        missing << QString::fromUtf8(e.what());
    }
    try {
        pictures_->showBackdrop();
    } catch (const std::exception& e) {
        missing << QString::fromUtf8(e.what());
    }
    viewState_.lowerPanelVisible = f9;
    // Every picture lived on the old device: load them again.
    missing << pictures_->reloadAll();
    frameTimer_->setEnabled(true);
    if (!missing.isEmpty()) showError(missing.join("\n"));
}
