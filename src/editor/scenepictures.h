// The level's pictures as surfaces of the scene view's pixel device: the
// backdrop, the lower panel, the sprites' strips and the actor's skins. A
// display switch replaces the device, and everything is loaded again.
#pragma once

#include <QHash>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>

#include "model/editing.h"
#include "model/records.h"

namespace slv {

class LevelDocument;
class SceneWidget;
class Surface;
struct Level;
struct ActorState;
struct ViewState;

class ScenePictures {
public:
    ScenePictures(LevelDocument& document, SceneWidget& view, ViewState& viewState, ActorState& actor);

    Surface* surface(SurfaceHandle h) const;
    // A new surface holding the picture at `path`, with the level's colour
    // key when `keyed`. Throws slv::Error when it cannot be read.
    SurfaceHandle load(const std::string& path, bool keyed);
    // The same from the bytes of the file at `path`, not written yet.
    SurfaceHandle loadData(const std::string& path, const std::string& bytes, bool keyed);
    void release(SurfaceHandle h);
    // What the editing module needs of the device.
    SurfaceCallbacks callbacks();
    DetectFramesFn frameDetector();

    // The home folder's backdrop and lower panel, each on its own: a missing
    // one is left out, and the failures are thrown once both were tried.
    void loadHomePictures();
    // The colour of the top left pixel of the picture at `path`, in the
    // device's format.
    std::uint32_t colorOfFirstPixel(const std::string& path);
    // The actor's skins, from the home folder's skin package.
    void loadActor();
    // The open stage's picture as the backdrop, else the home backdrop;
    // read only when it is another picture than the one shown.
    void showBackdrop();
    // Every used strip and skin loaded again (after a display switch); the
    // failures' messages.
    QStringList reloadAll();
    // The pictures at `paths` changed on disk: those the level shows are
    // loaded again. A level picture's new file is read, checked and decoded
    // before it replaces anything; one that is refused (broken, too large,
    // gone, unreadable) leaves the level its picture, surface and bytes.
    // Returns what the author should be told: each fault once, until the
    // file changes into another fault or is taken.
    QStringList reloadChanged(const QStringList& paths);
    // The backdrop, the lower panel and the skins go (the window closes).
    void releaseAll();

private:
    Level& level() const;
    std::string homePath(const char* name) const;
    // The level's picture at `path` from its changed file; throws slv::Error.
    void reloadLevelPicture(const std::string& path, QStringList& problems);
    void reloadImage(int image, SurfaceHandle fresh, QStringList& problems);
    // A new surface that `fill` loads, keyed as load() keys it.
    SurfaceHandle make(const std::function<void(Surface&)>& fill, bool keyed);

    LevelDocument& document_;
    SceneWidget& view_;
    ViewState& viewState_;
    ActorState& actor_;
    std::string backdropPath_;  // the picture the backdrop surface holds
    QHash<QString, QString> toldFaults_;  // changed file -> the fault last told
};

}  // namespace slv
