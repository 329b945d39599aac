// libFuzzer harness over the level package reader: the header check, the
// table checks and, for packages that pass them, a full Open (bitmaps
// extracted in a private temporary folder, pictures loaded into memory
// surfaces as the editor loads them), every stage drawn once as the view
// draws it (sprites at their frames, outlines, selection marks, an actor cut
// from a sprite's picture), and a Save whose header must match the one read.
// The temporary folder is removed when the run ends.
//
// Input: "RAW:" followed by a whole package, or a base-package number (first
// byte, 0..3) followed by edit operations on that package, so that the
// fuzzer reaches deep into packages of more than a megabyte with small inputs.
//
// Build (see fuzz/run_fuzz.sh):
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc
//           fuzz/package_fuzz.cpp src/package/{format,levelio,extract}.cpp src/model/pictureinfo.cpp
//           src/model/{names,fileio,level}.cpp src/display/{surface,canvas,scene}.cpp
//           $(pkg-config --cflags --libs Qt6Gui sdl2)
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "display/scene.h"
#include "display/surface.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/level.h"
#include "package/format.h"
#include "package/levelio.h"
#include "package/recoverywriter.h"
#include "package/restoredlevel.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "package_fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

std::string tempRoot() {
    const char* base = fs::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string t = std::string(base) + "/slvfuzz-XXXXXX";
    if (!::mkdtemp(t.data())) fail("mkdtemp", t);
    return t + "/";
}

void writeFile(const std::string& path, const std::string& data) {
    slv::BinFile f(path, slv::BinFile::Mode::Create);
    f.writeAll(data.data(), data.size());
    f.close();
}

// A 24-bit bottom-up BMP of w x h pixels: a magenta background (the colour
// key) with a pattern that differs per seed.
std::string bmp(int w, int h, int seed) {
    const int rowBytes = (w * 3 + 3) & ~3;
    const std::uint32_t dataSize = std::uint32_t(rowBytes * h), fileSize = 54 + dataSize;
    std::string b(fileSize, '\0');
    auto put = [&b](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b[at + std::size_t(i)] = char(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, fileSize, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, std::uint32_t(w), 4);
    put(22, std::uint32_t(h), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, dataSize, 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t at = 54 + std::size_t(y) * rowBytes + std::size_t(x) * 3;
            const bool key = (x + y + seed) % 3 == 0;
            b[at] = char(key ? 255 : 40 * seed + x);  // blue
            b[at + 1] = char(key ? 0 : 7 * y);        // green
            b[at + 2] = char(key ? 255 : 200 - x);    // red
        }
    return b;
}

constexpr int kFrameW = 4, kFrameH = 4, kFrames = 2;

// Open's picture loading as the editor does it, onto a memory device. A
// picture that cannot be read leaves its image without a surface, so that
// the draw still runs over everything else.
struct SurfaceHooks : slv::PackageHooks {
    explicit SurfaceHooks(slv::PixelDevice& d) : device(d) {}
    slv::SurfaceHandle loadImage(int, const std::string& path) override {
        return load([&](slv::Surface& s) { s.loadPicture(path); });
    }
    // As the window loads them when the files are written after Open.
    slv::SurfaceHandle loadImageData(int, const std::string& path, const PictureBytes& bytes) override {
        return load([&](slv::Surface& s) { s.loadPictureData(path, bytes()); });
    }
    template <class Fill>
    slv::SurfaceHandle load(Fill&& fill) {
        slv::Surface* s = device.createSurface();
        try {
            fill(*s);
        } catch (const slv::Error&) {
            device.freeSurface(s->handle());
            return 0;
        }
        s->setColorKey(device.rgbToPixel(255, 0, 255));
        return s->handle();
    }
    void freeSurface(slv::SurfaceHandle h) override { device.freeSurface(h); }
    slv::PixelDevice& device;
};

// Draws every stage of an opened level, and the sectors of column 0, as the
// view draws them.
void drawEveryStage(slv::Level& level, slv::PixelDevice& device) {
    slv::Surface* target = device.createSurface();
    target->setSize(640, 430);
    slv::Surface* backdrop = device.createSurface();
    const int stages = std::clamp(level.stageCount, 0, slv::kMaxStages);
    for (int s = 0; s <= stages; ++s) {
        slv::Surface* back = nullptr;
        if (s >= 1) {
            try {
                backdrop->loadPicture(level.stage(s).path.str());
                back = backdrop;
            } catch (const slv::Error&) {
            }
        }
        slv::SceneView view;
        view.stage = s;
        view.backdrop = back;
        view.sectorOutlines = view.spriteOutlines = true;
        view.selectedSprites = view.selectedSectors = {1, 2};
        // An actor cut from the first sprite's picture, placed by its record.
        slv::SkinRec actor{};
        if (s >= 1 && level.stage(s).spriteCount >= 1) {
            const slv::SpriteRec& r = level.sprite(1, s);
            actor.surface = r.surface;
            actor.w = r.w;
            actor.h = r.h;
            actor.frame = r.frame;
            view.actor = &actor;
            view.actorX = r.x;
            view.actorY = r.y;
            view.band = true;
            view.bandX1 = r.x;
            view.bandY1 = r.y;
            view.bandX2 = r.w;
            view.bandY2 = r.h;
        }
        slv::drawScene(*target, level, device, view);
        view.firstFrames = true;
        slv::drawScene(*target, level, device, view);
    }
    device.freeSurface(backdrop->handle());
    device.freeSurface(target->handle());
}

struct State {
    std::string root = tempRoot();
    std::string work = root + "pkg/";
    std::vector<std::string> bases;

    State() {
        fs::create_directories(work);
        std::string src = root + "src/";
        fs::create_directories(src);
        for (int v = 0; v < 4; ++v) {
            auto l = std::make_unique<slv::Level>();
            int images = v == 0 ? 2 : v == 2 ? 1 : 0;
            int stages = v == 0 ? 2 : v == 1 ? 1 : 0;
            for (int i = 1; i <= images; ++i) {
                std::string p = src + "img" + std::to_string(i) + ".bmp";
                writeFile(p, bmp(kFrameW * kFrames + i - 1, kFrameH + i - 1, i));
                l->image(i).name.set("img" + std::to_string(i) + ".bmp");
                l->image(i).path.set(p);
                l->imageCount = i;
            }
            for (int s = 1; s <= stages; ++s) {
                std::string p = src + "st" + std::to_string(s) + ".bmp";
                writeFile(p, bmp(16 + s, 8, 3 + s));
                l->stage(s).name.set("st" + std::to_string(s) + ".bmp");
                l->stage(s).path.set(p);
                l->stageCount = s;
                if (images) {
                    l->stage(s).spriteCount = 1;
                    l->sprite(1, s).name.set("img1.bmp");
                    l->sprite(1, s).image = 1;
                    l->sprite(1, s).frameCount = kFrames;
                    l->sprite(1, s).frame = 1;
                    l->sprite(1, s).w = kFrameW;
                    l->sprite(1, s).h = kFrameH;
                    l->sprite(1, s).x = 5 * s;
                }
                l->stage(s).sectorCount = 1;
                l->sector(1, s).name.set("Sector1");
                l->sector(1, s).w = 9;
            }
            slv::PackageHooks hooks;
            std::string out = root + "base.slv";
            slv::saveLevel(*l, out, hooks);
            bases.push_back(slv::readWholeFile(out));
        }
    }

    ~State() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void cleanWork() {
        std::error_code ec;
        fs::remove_all(work, ec);
        fs::create_directories(work);
    }
};

State& state() {
    static State s;
    return s;
}

std::uint32_t takeU(const std::uint8_t*& p, const std::uint8_t* end, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes && p < end; ++i) v |= static_cast<std::uint32_t>(*p++) << (8 * i);
    return v;
}

// Applies the edit operations to a base package.
std::string build(const std::uint8_t* data, std::size_t size) {
    State& st = state();
    if (size >= 4 && std::memcmp(data, "RAW:", 4) == 0)
        return std::string(reinterpret_cast<const char*>(data) + 4, size - 4);
    if (size == 0) return st.bases[0];
    std::string pkg = st.bases[data[0] % 4];
    const std::uint8_t* p = data + 1;
    const std::uint8_t* end = data + size;
    std::int64_t header = 64 * static_cast<std::int64_t>(slv::parsePackageHeader(pkg, static_cast<std::int64_t>(pkg.size())).fileCount());
    for (int ops = 0; p < end && ops < 64; ++ops) {
        std::uint8_t op = *p++;
        switch (op % 6) {
        case 0: {  // raw bytes anywhere
            std::size_t off = takeU(p, end, 3) % (pkg.size() + 1);
            std::size_t n = std::min<std::size_t>(op / 6 % 16 + 1, static_cast<std::size_t>(end - p));
            for (std::size_t i = 0; i < n && off + i < pkg.size(); ++i) pkg[off + i] = static_cast<char>(p[i]);
            p += n;
            break;
        }
        case 1: {  // a field of a header entry
            std::size_t entries = pkg.size() / 64 ? std::min<std::size_t>(pkg.size() / 64, 40) : 1;
            std::size_t k = takeU(p, end, 1) % entries;
            static const int fields[] = {52, 56, 60, 0};
            std::size_t off = k * 64 + static_cast<std::size_t>(fields[op / 6 % 4]);
            std::uint32_t v = takeU(p, end, 4);
            for (int i = 0; i < 4 && off + static_cast<std::size_t>(i) < pkg.size(); ++i)
                pkg[off + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
            break;
        }
        case 2: {  // a 32-bit field inside the tables
            std::size_t off = static_cast<std::size_t>(header) + (takeU(p, end, 3) % 1185052u & ~3u);
            std::uint32_t v = takeU(p, end, 4);
            if (op & 0x80) v = v % 8 - 2;  // small values, near the limits
            for (int i = 0; i < 4 && off + static_cast<std::size_t>(i) < pkg.size(); ++i)
                pkg[off + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
            break;
        }
        case 3:  // cut the file
            pkg.resize(takeU(p, end, 3) % (pkg.size() + 1));
            break;
        case 4:  // grow the file
            pkg.append(takeU(p, end, 1), static_cast<char>(op));
            break;
        case 5: {  // a new entry name
            std::size_t entries = std::max<std::size_t>(1, std::min<std::size_t>(pkg.size() / 64, 40));
            std::size_t k = takeU(p, end, 1) % entries;
            std::size_t n = std::min<std::size_t>(op / 6 % 32, static_cast<std::size_t>(end - p));
            if (k * 64 + 51 <= pkg.size()) {
                pkg[k * 64] = static_cast<char>(std::min<std::size_t>(n, 50));
                for (std::size_t i = 0; i < n && i < 50; ++i) pkg[k * 64 + 1 + i] = static_cast<char>(p[i]);
            }
            p += n;
            break;
        }
        }
    }
    return pkg;
}

}  // namespace

// The input as a recovery note: whatever it names, a restored level keeps
// the note's own path or none.
void readAsNote(const std::uint8_t* data, std::size_t size) {
    State& st = state();
    const std::string note = st.root + "recovery.txt";
    writeFile(note, std::string(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 4096)));
    const std::string noted = slv::RecoveryWriter::readNote(note);
    const std::string kept = slv::restoredLevelPath(noted);
    if (!kept.empty() && (kept != noted || kept.front() != '/')) fail("a note chose another path", kept);
}

// The splash record's path, read as the preview beside the stage list reads it.
void readSplash(const slv::Level& level) {
    try {
        slv::readPreviewPicture(level.stage(0).path.str());
    } catch (const slv::Error&) {
    }
}

// 0: refused by the checks; 1: opened and saved again.
int slvFuzzOne(const std::uint8_t* data, std::size_t size) {
    State& st = state();
    readAsNote(data, size);
    std::string pkg = build(data, size);
    st.cleanWork();
    std::string path = st.work + "p.slv";
    writeFile(path, pkg);

    slv::PackageContents c;
    try {
        c = slv::readPackage(path);
    } catch (const slv::Error&) {
        if (!fs::is_directory(st.work) || std::distance(fs::directory_iterator(st.work), {}) != 1)
            fail("refused package left files", path);
        return 0;
    }
    // A package that passed every check must open, draw and save again.
    auto level = std::make_unique<slv::Level>();
    slv::PixelDevice device(32);
    SurfaceHooks hooks(device);
    // Every other input opens as the window does: files written after Open.
    slv::PendingLevelFiles later;
    // Half of those save before the files are written, as a Save right
    // after Open does: that package must be the one saved from the files.
    const bool savedEarly = size % 4 == 1;
    const std::string early = st.work + "p.slv";
    try {
        slv::openLevel(*level, path, hooks, size % 2 ? &later : nullptr);
        if (savedEarly) {
            const slv::UnwrittenPictures pictures = later.unwrittenPictures();
            slv::saveLevel(*level, early, hooks, &pictures);
        }
        later.writeAll();
    } catch (const slv::Error& e) {
        fail("checked package failed to open", e.what());
    }
    if (level->imageCount != c.header.imageCount || level->stageCount != c.header.stageCount)
        fail("counts differ", path);
    for (int s = 1; s <= level->stageCount; ++s)
        for (int n = 1; n <= level->stage(s).spriteCount; ++n) {
            int img = level->sprite(n, s).image;
            if (img < 1 || img > level->imageCount) fail("live sprite without image", path);
        }
    drawEveryStage(*level, device);
    readSplash(*level);
    std::set<std::string> names;
    bool unique = true;
    for (const slv::PackEntry& e : c.header.entries) unique = names.insert(e.name.str()).second && unique;
    std::string again = st.work + "q.slv";
    try {
        slv::saveLevel(*level, again, hooks);
    } catch (const slv::Error& e) {
        fail("opened level failed to save", e.what());
    }
    if (savedEarly && slv::readWholeFile(early) != slv::readWholeFile(again)) fail("saved before its files differs", path);
    slv::PackageHeader h2 = slv::readPackageHeader(again);
    if (h2.fileCount() != c.header.fileCount()) fail("entry count changed on save", path);
    if (unique) {
        for (int k = 0; k < h2.fileCount(); ++k) {
            const slv::PackEntry& a = c.header.entries[static_cast<std::size_t>(k)];
            const slv::PackEntry& b = h2.entries[static_cast<std::size_t>(k)];
            bool freeSlot = k >= slv::kFixedEntries && k < slv::kFixedEntries + h2.imageCount &&
                            !slv::imageUsed(level->image(k - slv::kFixedEntries + 1));
            if (a.start != b.start || a.size != b.size || a.flag != b.flag ||
                (!freeSlot && a.name.str() != b.name.str()))
                fail("header changed on save", a.name.str() + " / " + b.name.str());
        }
    }
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    slvFuzzOne(data, size);
    return 0;
}
