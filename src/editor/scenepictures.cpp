#include "editor/scenepictures.h"

#include <vector>

#include "actor/actorstate.h"
#include "editor/viewstate.h"
#include "display/scenewidget.h"
#include "display/surface.h"
#include "editor/leveldocument.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/framecount.h"
#include "model/homefiles.h"
#include "model/level.h"
#include "model/tablebounds.h"
#include "package/levelio.h"
#include "package/skinpackage.h"

namespace slv {

namespace {
}  // namespace

ScenePictures::ScenePictures(LevelDocument& document, SceneWidget& view, ViewState& viewState, ActorState& actor)
    : document_(document), view_(view), viewState_(viewState), actor_(actor) {}

Level& ScenePictures::level() const { return document_.level(); }

std::string ScenePictures::homePath(const char* name) const { return joinPath(document_.settings().homeFolder, name); }

Surface* ScenePictures::surface(SurfaceHandle h) const { return view_.resolve(h); }

SurfaceHandle ScenePictures::load(const std::string& path, bool keyed) {
    return make([&](Surface& s) { s.loadPicture(path); }, keyed);
}

SurfaceHandle ScenePictures::loadData(const std::string& path, const std::string& bytes, bool keyed) {
    return make([&](Surface& s) { s.loadPictureData(path, bytes); }, keyed);
}

SurfaceHandle ScenePictures::make(const std::function<void(Surface&)>& fill, bool keyed) {
    PixelDevice* dev = view_.device();
    if (!dev) throw Error("Surface cannot be made");
    Surface* s = dev->createSurface();
    try {
        fill(*s);
    } catch (...) {
        dev->freeSurface(s->handle());
        throw;
    }
    if (keyed) s->setColorKey(viewState_.colorKey);
    return s->handle();
}

void ScenePictures::release(SurfaceHandle h) {
    if (h && view_.device()) view_.device()->freeSurface(h);
}

SurfaceCallbacks ScenePictures::callbacks() {
    SurfaceCallbacks cb;
    cb.load = [this](const std::string& path) { return load(path, false); };
    cb.release = [this](SurfaceHandle h) { release(h); };
    cb.measure = [this](SurfaceHandle h) {
        Surface* s = surface(h);
        if (!s) throw Error("Surface cannot be made");
        return SurfaceSize{s->width(), s->height()};
    };
    cb.applyColorKey = [this](SurfaceHandle h) {
        if (Surface* s = surface(h)) s->setColorKey(viewState_.colorKey);
    };
    return cb;
}

DetectFramesFn ScenePictures::frameDetector() {
    return [this](const std::string& path) {
        // Plain bitmaps are read straight from the file; the rest are loaded.
        PixelDevice* dev = view_.device();
        const std::uint32_t key = viewState_.colorKey;
        if (const int n = dev ? detectFrameCountFromFile(path, dev->bitsPerPixel() / 8, key) : 0) return n;
        const SurfaceHandle h = load(path, false);
        try {
            const PixelView v = surface(h)->pixels();
            const int n = detectFrameCount(v.pixels, v.pitch, v.bytesPerPixel, v.width, v.height, key);
            release(h);
            return n;
        } catch (...) {
            release(h);
            throw;
        }
    };
}

void ScenePictures::loadHomePictures() {
    Level& L = level();
    release(viewState_.backdropSurface);
    release(viewState_.lowerPanelSurface);
    viewState_.backdropSurface = 0;
    viewState_.lowerPanelSurface = 0;
    QStringList failed;
    try {
        backdropPath_ = homePath(homefiles::kBackdrop);
        viewState_.backdropSurface = load(backdropPath_, false);
    } catch (const std::exception& e) {
        failed << QString::fromUtf8(e.what());
    }
    try {
        viewState_.lowerPanelSurface = load(homePath(homefiles::kLowerPanel), false);
    } catch (const std::exception& e) {
        failed << QString::fromUtf8(e.what());
    }
    if (!failed.isEmpty()) throw Error(failed.join("\n").toStdString());
}

std::uint32_t ScenePictures::colorOfFirstPixel(const std::string& path) {
    const SurfaceHandle h = load(path, false);
    const std::uint32_t color = surface(h)->pixelAt(0, 0);
    release(h);
    return color;
}

void ScenePictures::loadActor() {
    SkinHooks hooks;
    hooks.loadSkin = [this](int, const std::string& path) { return load(path, true); };
    hooks.releaseSkin = [this](SurfaceHandle h) { release(h); };
    try {
        loadSkinPackage(actor_, homePath(homefiles::kActorSkins), hooks);
    } catch (const std::exception& e) {
        throw Error(std::string("The test actor could not be loaded: ") + e.what());
    }
}

void ScenePictures::showBackdrop() {
    Level& L = level();
    const bool open = isStageNumber(L.openStage) && L.openStage <= L.stageCount;
    const std::string path = open ? L.stage(L.openStage).path.str() : homePath(homefiles::kBackdrop);
    if (path == backdropPath_ || !view_.device()) return;
    backdropPath_ = path;
    // A stage's picture is the one the level holds, whatever became of its file.
    const LevelPictureStore& held = document_.pictures();
    std::string bytes;
    bool fromLevel = false;
    if (open && held.find(path)) {
        try {
            bytes = held.read(path);
            fromLevel = true;
        } catch (const std::exception&) {
            // Its package was written over in place: the file is what is left.
        }
    }
    if (fromLevel) {
        if (Surface* back = surface(viewState_.backdropSurface))
            back->loadPictureData(path, bytes);
        else
            viewState_.backdropSurface = loadData(path, bytes, false);
        return;
    }
    if (Surface* back = surface(viewState_.backdropSurface))
        back->loadPicture(path);
    else
        viewState_.backdropSurface = load(path, false);
}

QStringList ScenePictures::reloadAll() {
    Level& L = level();
    QStringList errors;
    for (int m = 1; m <= clampCount(L.imageCount, kMaxImages); ++m) {
        ImageRec& img = L.image(m);
        if (img.name.empty()) continue;
        SurfaceHandle h = 0;
        try {
            h = load(img.path.str(), true);
        } catch (const std::exception& e) {
            errors << QString::fromUtf8(e.what());
        }
        img.surface = h;
        for (int s = 1; s <= kMaxStages; ++s)
            for (int n = 1; n <= clampCount(L.stage(s).spriteCount, kMaxSprites); ++n)
                if (L.sprite(n, s).image == m) L.sprite(n, s).surface = h;
    }
    const std::string skinFolder = joinPath(document_.settings().homeFolder, "actors/skins");
    for (int i = 1; i <= clampCount(actor_.skinCount, kMaxSkins); ++i) {
        SkinRec& s = actor_.skin(i);
        s.surface = 0;
        try {
            s.surface = load(joinPath(skinFolder, s.name.str()), true);
        } catch (const std::exception& e) {
            errors << QString::fromUtf8(e.what());
        }
    }
    return errors;
}

QStringList ScenePictures::reloadChanged(const QStringList& paths) {
    Level& L = level();
    QStringList problems;
    for (const QString& changed : paths) {
        const std::string path = changed.toStdString();
        QString problem;
        try {
            if (document_.pictures().find(path)) {
                reloadLevelPicture(path, problems);
            } else if (!fileExists(path)) {
                problem = changed + " is gone; the view keeps its last picture.";
            } else {
                if (path == backdropPath_) {
                    backdropPath_.clear();
                    showBackdrop();
                }
                if (path == homePath(homefiles::kLowerPanel) && viewState_.lowerPanelSurface) {
                    if (Surface* panel = surface(viewState_.lowerPanelSurface)) panel->loadPicture(path);
                }
            }
        } catch (const std::exception& e) {
            problem = QString::fromUtf8(e.what());
        }
        // A fault is told once, until the file changes into another fault or
        // into a picture that is taken.
        if (problem.isEmpty()) {
            toldFaults_.remove(changed);
        } else if (toldFaults_.value(changed) != problem) {
            toldFaults_.insert(changed, problem);
            problems << problem;
        }
    }
    return problems;
}

void ScenePictures::reloadLevelPicture(const std::string& path, QStringList& problems) {
    Level& L = level();
    if (!fileExists(path)) throw Error(path + " is gone; the level keeps its picture.");
    // The file is read and checked within the level's memory budget, then
    // decoded, before anything of the level is replaced.
    std::shared_ptr<const std::string> bytes;
    std::vector<int> images;
    for (int m = 1; m <= L.imageCount && m <= kMaxImages; ++m)
        if (!L.image(m).name.empty() && L.image(m).path.str() == path) images.push_back(m);
    std::vector<SurfaceHandle> fresh;
    try {
        bytes = document_.readChangedPicture(path);
        if (images.empty()) readPictureData(path, *bytes);  // a stage's picture: decoded to check it
        for (std::size_t k = 0; k < images.size(); ++k) fresh.push_back(loadData(path, *bytes, true));
    } catch (const std::exception& e) {
        for (SurfaceHandle h : fresh) release(h);
        throw Error(path + " changed but cannot be used, so the level keeps its picture: " + e.what());
    }
    document_.takeChangedPicture(path, bytes);
    if (path == backdropPath_) {
        backdropPath_.clear();
        showBackdrop();
    }
    for (std::size_t k = 0; k < images.size(); ++k) reloadImage(images[k], fresh[k], problems);
}

void ScenePictures::reloadImage(int m, SurfaceHandle fresh, QStringList& problems) {
    Level& L = level();
    ImageRec& img = L.image(m);
    // The new picture was loaded beside the old one, which stays until the
    // new one is whole.
    const Surface* picture = surface(fresh);
    const int width = picture->width(), height = picture->height();
    release(img.surface);
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
    std::vector<LevelDocument::FrameSize> sizes;
    for (const Fit& f : fits) sizes.push_back({f.stage, f.n, f.w, f.h});
    document_.fitSpriteFrames(sizes);
}

void ScenePictures::releaseAll() {
    Level& L = level();
    release(viewState_.backdropSurface);
    viewState_.backdropSurface = 0;
    release(viewState_.lowerPanelSurface);
    viewState_.lowerPanelSurface = 0;
    for (int i = 1; i <= clampCount(actor_.skinCount, kMaxSkins); ++i) {
        release(actor_.skin(i).surface);
        actor_.skin(i).surface = 0;
    }
}

}  // namespace slv
