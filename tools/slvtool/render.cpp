#include "render.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "display/surface.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "package/levelio.h"

namespace slvtool {

namespace {

constexpr int kViewWidth = 640;
constexpr int kViewHeight = 430;

// The editor's side of Open: a surface per image, keyed with the sprite key.
struct SurfaceHooks : slv::PackageHooks {
    slv::PixelDevice& device;
    std::uint32_t key;
    SurfaceHooks(slv::PixelDevice& d, std::uint32_t k) : device(d), key(k) {}
    slv::SurfaceHandle loadImage(int, const std::string& path) override {
        slv::Surface* s = device.createSurface();
        try {
            s->loadPicture(path);
        } catch (...) {
            device.freeSurface(s->handle());
            throw;
        }
        s->setColorKey(key);
        return s->handle();
    }
    void freeSurface(slv::SurfaceHandle h) override { device.freeSurface(h); }
};

}  // namespace

std::string noStageText(long stage, int stageCount) {
    const std::string lead = "There is no stage " + std::to_string(stage) + ": ";
    if (stageCount < 1) return lead + "the package has no stages";
    if (stageCount == 1) return lead + "the package has one stage, stage 1";
    return lead + "the package's stages are 1.." + std::to_string(stageCount);
}

void checkOutputFolder(const std::string& outFile) {
    const std::string folder = slv::folderPart(outFile);
    if (slv::fileNamePart(outFile).empty()) throw slv::Error("\"" + outFile + "\" names a folder, not a file");
    if (folder.empty()) return;  // the current folder
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec))
        throw slv::Error("Cannot write \"" + outFile + "\": the folder \"" + folder + "\" does not exist");
}

void decodeMembers(const std::string& package) {
    slv::PackageContents c = slv::readPackage(package);
    const slv::PackageHeader& h = c.header;
    // Each member goes, under the name Open would give it, into a private
    // folder and through the editor's own picture loader, then away again.
    std::string scratch = (std::filesystem::temp_directory_path() / "slvtool-check-XXXXXX").string();
    if (!::mkdtemp(scratch.data())) throw slv::Error("Cannot create a scratch folder in " + scratch);
    struct Cleanup {
        std::string dir;
        ~Cleanup() {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        }
    } cleanup{scratch};
    slv::PixelDevice device(32);
    slv::Surface* s = device.createSurface();
    slv::BinFile f(package, slv::BinFile::Mode::Read);
    std::string bytes;
    auto decode = [&](const slv::PackEntry& e, const std::string& what) {
        bytes.resize(static_cast<std::size_t>(e.size));
        f.seek(h.dataStart + e.start);
        f.readExact(bytes.data(), bytes.size());
        const std::string file = slv::joinPath(scratch, slv::memberFileName(e.name.str(), bytes));
        slv::writeFileAtomic(file, bytes);
        try {
            s->loadPicture(file);
        } catch (const std::exception& err) {
            throw slv::Error("The package's " + what + " (\"" + e.name.str() + "\") does not load: " + err.what());
        }
        slv::deleteFile(file);
    };
    for (int i = 1; i <= h.imageCount; ++i)
        if (slv::imageUsed(c.tables.image(i))) decode(h.imageEntry(i), "image " + std::to_string(i));
    for (int st = 1; st <= h.stageCount; ++st) decode(h.stageEntry(st), "stage " + std::to_string(st));
    f.close();
}

void renderStage(const std::string& package, long stage, const std::string& outPng, std::uint32_t keyRgb) {
    // Both are asked before Open puts the package's bitmaps beside it.
    checkOutputFolder(outPng);
    const int stages = slv::readPackage(package).header.stageCount;
    if (stage < 1 || stage > stages) throw slv::Error(noStageText(stage, stages));

    auto level = std::make_unique<slv::Level>();
    slv::PixelDevice device(32);
    const std::uint32_t key = device.rgbToPixel(keyRgb >> 16 & 255, keyRgb >> 8 & 255, keyRgb & 255);
    SurfaceHooks hooks(device, key);
    slv::openLevel(*level, package, hooks);

    slv::Surface* view = device.createSurface();
    view->setSize(kViewWidth, kViewHeight);
    view->fill(0);
    slv::Surface* backdrop = device.createSurface();
    backdrop->loadPicture(level->stage(stage).path.str());
    view->blit(0, 0, backdrop->rect(), backdrop, false);
    for (int n = 1; n <= level->stage(stage).spriteCount; ++n) {
        const slv::SpriteRec& sp = level->sprite(n, stage);
        if (slv::Surface* src = device.resolve(sp.surface))
            view->blit(sp.x, sp.y, slv::PixelRect{0, 0, sp.w, sp.h}, src, true);  // frame 1
    }

    const slv::PixelView v = view->pixels();
    QImage image(v.pixels, v.width, v.height, v.pitch, QImage::Format_RGB32);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) throw slv::Error("Cannot encode the picture for \"" + outPng + "\"");
    slv::writeFileAtomic(outPng, std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
}

}  // namespace slvtool
