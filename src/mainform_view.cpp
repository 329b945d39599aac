// The scene view: surfaces of the window, the frame loop and the display modes.
#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "actor/actor.h"
#include "display/canvas.h"
#include "display/clock.h"
#include "display/dxdraw.h"
#include "display/dxtimer.h"
#include "display/scene.h"
#include "mainform.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "package/skinpackage.h"

using namespace slv;

namespace {
constexpr std::uint32_t kFullScreenKey = 63519;  // magenta in 5-6-5

int clampCount(int n, int max) { return n < 0 ? 0 : (n > max ? max : n); }
}  // namespace

void Tmain::createView() {
    DXDraw1 = new TDXDraw(editor_);
    DXDraw1->setObjectName("DXDraw1");
    DXDraw1->setGeometry(6, 7, 640, 430);
    DXDraw1->setOptions(TDXDrawOptions{doAllowReboot, doCenter, doHardware, doSelectDriver});
    DXDraw1->setErrorHandler([this](const std::string& text) {
        QString t = QString::fromStdString(text);
        QTimer::singleShot(0, this, [this, t] { showError(t); });
    });
    connect(DXDraw1, &TDXDraw::mouseDown, this,
            [this](Qt::MouseButton b, bool ctrl, int x, int y) { DXDraw1MouseDown(b, ctrl, x, y); });
    connect(DXDraw1, &TDXDraw::mouseMove, this,
            [this](Qt::MouseButtons b, bool ctrl, int x, int y) {
                DXDraw1MouseMove(static_cast<int>(b), ctrl, x, y);
            });
    connect(DXDraw1, &TDXDraw::mouseUp, this,
            [this](Qt::MouseButton b, bool ctrl, int x, int y) { DXDraw1MouseUp(b, ctrl, x, y); });
    DXTimer1 = new TDXTimer(this);
    DXTimer1->OnTimer = [this](int lag) { DXTimer1Timer(lag); };
}

TDirectDrawSurface* Tmain::surface(SurfaceHandle h) const {
    return DXDraw1 ? DXDraw1->resolve(h) : nullptr;
}

SurfaceHandle Tmain::loadSurface(const std::string& path, bool keyed) {
    TDirectDraw* dev = DXDraw1 ? DXDraw1->Device() : nullptr;
    if (!dev) throw Error("Surface cannot be made");
    TDirectDrawSurface* s = dev->CreateSurface();
    try {
        s->LoadBitmapFile(path);
    } catch (...) {
        dev->FreeSurface(s->handle());
        throw;
    }
    if (keyed) s->SetKeyColor(level_->colorkey);
    return s->handle();
}

void Tmain::freeSurface(SurfaceHandle h) {
    if (h && DXDraw1 && DXDraw1->Device()) DXDraw1->Device()->FreeSurface(h);
}

void Tmain::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!e->spontaneous() && !shownOnce_) {
        shownOnce_ = true;
        centerOnScreen();
        activateWindow();
        raise();
    }
}

void Tmain::createsurfaces() {
    Level& L = *level_;
    freeSurface(L.backsurface);
    freeSurface(L.padsurface);
    L.backsurface = 0;
    L.padsurface = 0;
    // Each picture on its own: a missing one is left out (a black backdrop,
    // no lower panel) and reported once the other is loaded.
    QStringList failed;
    try {
        L.backsurface = loadSurface(homePath("car.bmp"), false);
    } catch (const std::exception& e) {
        failed << QString::fromUtf8(e.what());
    }
    try {
        L.padsurface = loadSurface(homePath("pad01.bmp"), false);
    } catch (const std::exception& e) {
        failed << QString::fromUtf8(e.what());
    }
    if (!failed.isEmpty()) throw Error(failed.join("\n").toStdString());
}

void Tmain::reportTickError(const QString& text) {
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

void Tmain::resetTickErrors() { tickErrorsShown_.clear(); }

void Tmain::checkSpritePictures() {
    const Level& L = *level_;
    if (L.curstage < 1 || L.curstage > kMaxStages) return;
    QStringList gone;
    const int n = clampCount(L.stage(L.curstage).totsprites, kMaxSprites);
    for (int k = 1; k <= n; ++k) {
        const SpriteRec& r = L.sprite(k, L.curstage);
        if (r.surface && !surface(r.surface)) gone << QString::fromStdString(r.name.str());
    }
    if (!gone.isEmpty())
        reportTickError("The picture of " + gone.join(", ") + " is not loaded: it is not drawn.");
}

void Tmain::firstTickWork() {
    Level& L = *level_;
    // Runs once: whatever fails is reported once and the editor goes on
    // without it.
    L.firsttick = false;
    QStringList errors;
    try {
        createsurfaces();
    } catch (const std::exception& e) {
        errors << QString::fromUtf8(e.what());
    }
    try {
        const SurfaceHandle purple = loadSurface(homePath("purple.bmp"), false);
        L.colorkey = surface(purple)->ReadPixel(0, 0);
        L.windowcolorkey = L.colorkey;
        freeSurface(purple);
    } catch (const std::exception& e) {
        errors << QString::fromUtf8(e.what());
    }

    if (!L.startuppackage.empty()) {
        try {
            Button2Click();
        } catch (const std::exception& e) {
            errors << QString::fromUtf8(e.what());
        }
        // Opened once: a later Open asks for its package again.
        L.startuppackage.clear();
    }
    try {
        offerRecovery();
    } catch (const std::exception& e) {
        errors << QString::fromUtf8(e.what());
    }
    try {
        loadActor();
    } catch (const std::exception& e) {
        errors << QString::fromUtf8(e.what());
    }
    L.curskin = L.startskin;
    if (!errors.isEmpty()) reportTickError(errors.join("\n\n"));
}

void Tmain::loadActor() {
    Level& L = *level_;
    const std::string pkg = joinPath(L.homedir, "actors/test.skn");
    SkinHooks hooks;
    hooks.loadSkin = [this](int, const std::string& path) { return loadSurface(path, true); };
    hooks.releaseSkin = [this](SurfaceHandle h) { freeSurface(h); };
    try {
        openskin(L, pkg, hooks);
    } catch (const std::exception& e) {
        throw Error(std::string("The test actor could not be loaded: ") + e.what());
    }
}

void Tmain::DXTimer1Timer(int) {
    Level& L = *level_;
    if (!DXDraw1 || !DXDraw1->ViewReady()) return;
    if (L.firsttick) {
        if (tickBoxOpen_) return;  // its failure is still being shown
        firstTickWork();
        if (L.firsttick) return;
    }
    try {
        drawFrame();
        checkSpritePictures();
    } catch (const std::exception& e) {
        reportTickError(QString::fromUtf8(e.what()));
    }
}

void Tmain::drawFrame() {
    Level& L = *level_;
    TDirectDrawSurface* bb = DXDraw1->BackBuffer();
    if (!bb) return;
    // The actor is drawn as it stood before this tick's key commands; the
    // numbers show the skin and command they chose.
    SkinRec actor;
    const bool actorShown = skinInUse(L, L.curskin);
    if (actorShown) actor = L.skin(L.curskin);
    setkcom(L);

    SceneView view;
    view.stage = L.curstage;
    view.backdrop = surface(L.backsurface);
    view.pad = L.padvisible ? surface(L.padsurface) : nullptr;
    view.actor = actorShown ? &actor : nullptr;
    view.band = L.banding;
    view.bandX1 = L.bandx;
    view.bandY1 = L.bandy;
    view.bandX2 = L.mousex;
    view.bandY2 = L.mousey;
    view.sectorOutlines = CheckBox2->isChecked();
    view.spriteOutlines = CheckBox1->isChecked();
    view.sectorColor = L.sectorcolor;
    view.spriteBoxColor = L.spriteboxcolor;
    view.selectedSprite = selectedRow(ListBox2) + 1;
    view.selectedSector = selectedRow(ListBox3) + 1;
    view.numbers = {QString::number(DXTimer1->FramesPerSecond()), QString::number(L.curskin),
                    QString::number(L.kcom)};
    if (!sceneCache_) sceneCache_ = std::make_shared<SceneCache>();
    drawScene(*bb, L, *DXDraw1->Device(), view, sceneCache_.get());

    if (static_cast<std::uint32_t>(tickCount() - L.lasttick) > 30) {
        if (skinInUse(L, L.curskin)) {
            SkinRec& s = L.skin(L.curskin);
            s.pos += 1;
            if (s.pos == s.totpos + 1 || s.pos < 1 || s.pos > s.totpos) s.pos = 1;
        }
        const bool stageOpen = L.curstage >= 1 && L.curstage <= kMaxStages;
        const int nsprites = stageOpen ? clampCount(L.stage(L.curstage).totsprites, kMaxSprites) : 0;
        for (int n = 1; n <= nsprites; ++n) {
            SpriteRec& r = L.sprite(n, L.curstage);
            r.pos += 1;
            if (r.pos == r.totpos + 1 || r.pos < 1 || r.pos > r.totpos) r.pos = 1;
        }
        L.lasttick = tickCount();
    }
    DXDraw1->Present();
}

// The actor at (x, y) as the frame loop draws it, on the back buffer.
void Tmain::drawkhali(int x, int y) {
    Level& L = *level_;
    if (!skinInUse(L, L.curskin) || !DXDraw1->BackBuffer()) return;
    const SkinRec& s = L.skin(L.curskin);
    TDirectDrawSurface* src = surface(s.surface);
    if (!src) return;
    DXDraw1->BackBuffer()->DrawRect(std::int64_t(x) - s.w / 2, std::int64_t(y) - s.h,
                                    frameRect(s.pos, s.w, s.h), src, true);
}

// Sprite n of the open stage at its current frame, on the back buffer.
void Tmain::drawsprite(int n) {
    Level& L = *level_;
    if (L.curstage < 1 || L.curstage > kMaxStages || !DXDraw1->BackBuffer()) return;
    const SpriteRec& r = L.sprite(n, L.curstage);
    TDirectDrawSurface* src = surface(r.surface);
    if (!src) return;
    DXDraw1->BackBuffer()->DrawRect(r.x, r.y, frameRect(r.pos, r.w, r.h), src, true);
}

void Tmain::reloadPictures() {
    Level& L = *level_;
    QStringList errors;
    for (int m = 1; m <= clampCount(L.totimages, kMaxImages); ++m) {
        ImageRec& img = L.image(m);
        if (img.name.empty()) continue;
        SurfaceHandle h = 0;
        try {
            h = loadSurface(img.path.str(), true);
        } catch (const std::exception& e) {
            errors << QString::fromUtf8(e.what());
        }
        img.surface = h;
        for (int s = 1; s <= kMaxStages; ++s)
            for (int n = 1; n <= clampCount(L.stage(s).totsprites, kMaxSprites); ++n)
                if (L.sprite(n, s).image == m) L.sprite(n, s).surface = h;
    }
    const std::string skinFolder = joinPath(L.homedir, "actors/skins");
    for (int i = 1; i <= clampCount(L.totskins, kMaxSkins); ++i) {
        SkinRec& s = L.skin(i);
        s.surface = 0;
        try {
            s.surface = loadSurface(joinPath(skinFolder, s.name.str()), true);
        } catch (const std::exception& e) {
            errors << QString::fromUtf8(e.what());
        }
    }
    if (!errors.isEmpty()) showError(errors.join("\n"));
}

void Tmain::switchDisplayMode(int fkey) {
    Level& L = *level_;
    const bool f9 = fkey == 120, f10 = fkey == 121;
    const bool full = f9 || f10;
    DXTimer1->setEnabled(false);
    DXDraw1->FinalizeView();
    resetTickErrors();

    QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect sg = scr ? scr->geometry() : QRect(0, 0, 800, 600);
    if (full) {
        // The desktop keeps its resolution: the mode is shown full screen,
        // on black, by covering the whole screen with the window.
        setFixedSize(sg.size());
        setGeometry(sg);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, Qt::black);
        setPalette(pal);
        setAutoFillBackground(true);
        editor_->move((sg.width() - 800) / 2, (sg.height() - 600) / 2);
    } else {
        setFixedSize(800, 600);
        setPalette(QPalette());
        setAutoFillBackground(false);
        editor_->move(0, 0);
    }
    if (f9) {
        DXDraw1->setParent(this);
        DXDraw1->setGeometry(0, 0, sg.width(), sg.height());
        DXDraw1->setAutoSize(false);
        DXDraw1->setSurfaceSize(640, 480);
        DXDraw1->setScaleToFit(true);
        DXDraw1->setCursorHidden(true);
        editor_->hide();
        DXDraw1->show();
        DXDraw1->raise();
        DXDraw1->Display.Height = 480;
        DXDraw1->Display.Width = 640;
    } else {
        if (DXDraw1->parentWidget() != editor_) {
            DXDraw1->setParent(editor_);
            DXDraw1->show();
        }
        editor_->show();
        DXDraw1->setScaleToFit(false);
        DXDraw1->setAutoSize(true);
        DXDraw1->setGeometry(7, 7, 640, 430);
        DXDraw1->setCursorHidden(false);
        DXDraw1->Display.Height = f10 ? 600 : 480;
        DXDraw1->Display.Width = f10 ? 800 : 640;
    }
    L.colorkey = full ? kFullScreenKey : L.windowcolorkey;
    TDXDrawOptions o = DXDraw1->Options();
    if (full) o.include(doFullScreen); else o.exclude(doFullScreen);
    DXDraw1->setOptions(o);
    if (!full) centerOnScreen();
    activateWindow();
    DXDraw1->InitializeView();
    QString missing;
    try {
        createsurfaces();
    } catch (const std::exception& e) {
        missing = QString::fromUtf8(e.what());
    }
    L.padvisible = f9;
    // Every picture lived on the old device: load them again.
    showOpenStage();
    reloadPictures();
    DXTimer1->setEnabled(true);
    if (!missing.isEmpty()) showError(missing);
}
