// Shared fixtures of the package tests: temporary folders, bitmap files of
// chosen sizes and small levels built over them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/bmp_writer.h"
#include "common/files.h"
#include "common/tempdir.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/level.h"
#include "package/format.h"
#include "package/levelio.h"

namespace pkgtest {

namespace fs = std::filesystem;

using slvtest::TempDir;
using slvtest::writeBytes;
using slvtest::writeFile;

inline std::string readAll(const std::string& path) { return slvtest::readFile(path); }

// A file of `size` bytes that begins as a BMP of width x height pixels.
inline std::string writeBitmapBytes(const std::string& path, std::size_t size, unsigned seed, int width = 100,
                                    int height = 20) {
    std::string data = writeBytes(path, size, seed);
    // The header up to the height: the size readers need no more, and with
    // no pixel format declared the bytes after it are not held to one.
    const std::string head = bmpHeader(width, height).substr(0, 26);
    data.replace(0, std::min(head.size(), data.size()), head.substr(0, std::min(head.size(), data.size())));
    writeFile(path, data);
    return data;
}

// Overwrites bytes of a file in place.
inline void patch(const std::string& path, std::int64_t off, const void* data, std::size_t n) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(off);
    f.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
    if (!f) throw std::runtime_error("cannot patch " + path);
}
inline void patchI32(const std::string& path, std::int64_t off, std::int32_t v) { patch(path, off, &v, 4); }

inline std::vector<slv::PackEntry> headerOf(const std::string& pkg) {
    std::string b = readAll(pkg);
    std::vector<slv::PackEntry> out;
    for (std::size_t off = 0; off + 64 <= b.size(); off += 64) {
        slv::PackEntry e;
        std::memcpy(&e, b.data() + off, 64);
        out.push_back(e);
        if (out.size() > 4 && e.flag == 1 && out.back().name.str().rfind("\\backpx\\", 0) == 0) break;
    }
    return out;
}

inline bool sameEntries(const std::vector<slv::PackEntry>& a, const std::vector<slv::PackEntry>& b) {
    auto key = [](const slv::PackEntry& e) { return std::tuple(e.name.str(), e.start, e.size, e.flag); };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](auto& x, auto& y) { return key(x) == key(y); });
}

// Save (into a folder made for it) and Open without a window to report to.
inline void save(slv::Level& l, const std::string& pkg) {
    if (!fs::path(pkg).parent_path().empty()) fs::create_directories(fs::path(pkg).parent_path());
    slv::PackageHooks hooks;
    slv::saveLevel(l, pkg, hooks);
}
inline std::unique_ptr<slv::Level> opened(const std::string& pkg) {
    auto l = std::make_unique<slv::Level>();
    slv::PackageHooks hooks;
    slv::openLevel(*l, pkg, hooks);
    return l;
}

// Builds `pkg` byte by byte, without the checks of Save: the header and the
// four tables of `l`, then the bitmap files of `bitmaps` one after the other.
inline void buildByHand(const slv::Level& l, const slv::Level& bitmaps, const std::string& pkg) {
    const std::vector<slv::PackEntry> header = slv::headerEntries(bitmaps);  // entries name the bitmaps below
    std::string bytes(reinterpret_cast<const char*>(header.data()), header.size() * sizeof(slv::PackEntry));
    const slv::PackageTables t = slv::tablesOf(l);
    bytes.append(reinterpret_cast<const char*>(t.sectors.data()), slv::kSectorsFileBytes);
    bytes.append(reinterpret_cast<const char*>(t.sprites.data()), slv::kSpritesBytes);
    bytes.append(reinterpret_cast<const char*>(t.images.data()), slv::kImagesBytes);
    bytes.append(reinterpret_cast<const char*>(t.stages.data()), slv::kStagesBytes);
    for (int i = 1; i <= bitmaps.imageCount; ++i) bytes += readAll(bitmaps.image(i).path.str());
    for (int s = 1; s <= bitmaps.stageCount; ++s) bytes += readAll(bitmaps.stage(s).path.str());
    writeFile(pkg, bytes);
}

// Adds an image (slot `i`) made from a bitmap of `size` bytes.
inline void addImage(slv::Level& l, const std::string& dir, int i, const std::string& file, std::size_t size) {
    std::string p = dir + "src/sprites/" + file;
    writeBitmapBytes(p, size, static_cast<unsigned>(i) * 7u + static_cast<unsigned>(size));
    slv::ImageRec& r = l.image(i);
    r.name.set(file);
    r.path.set(p);
    r.size = static_cast<std::int32_t>(size);
    r.useCount = 0;
    if (i > l.imageCount) l.imageCount = i;
}

inline void addStage(slv::Level& l, const std::string& dir, const std::string& file, std::size_t size) {
    int s = ++l.stageCount;
    std::string p = dir + "src/backpx/" + file;
    writeBytes(p, size, static_cast<unsigned>(s) * 13u + static_cast<unsigned>(size));
    slv::StageRec& r = l.stage(s);
    r.name.set(file);
    r.path.set(p);
    r.size = static_cast<std::int32_t>(size);
    r.spriteCount = 0;
    r.sectorCount = 0;
}

inline void addSprite(slv::Level& l, int s, int image, int x, int y, int frames) {
    slv::SpriteRec& sp = l.sprite(++l.stage(s).spriteCount, s);
    sp.name = l.image(image).name;
    sp.x = x, sp.y = y, sp.w = 10, sp.h = 10;
    sp.frameCount = frames, sp.frame = 1, sp.image = image;
    l.image(image).useCount++;
}

inline void addSector(slv::Level& l, int s, int x, int y, int w, int h) {
    int n = ++l.stage(s).sectorCount;
    slv::SectorRec& sc = l.sector(n, s);
    sc.name.set("Sector" + std::to_string(n));
    sc.x = x, sc.y = y, sc.w = w, sc.h = h;
}

// Two images, two stages, sprites and sectors on both stages.
inline std::unique_ptr<slv::Level> smallLevel(const std::string& dir) {
    auto l = std::make_unique<slv::Level>();
    addImage(*l, dir, 1, "hero.bmp", 5000);
    addImage(*l, dir, 2, "coin.bmp", 7000);
    addStage(*l, dir, "street.bmp", 4800);
    addStage(*l, dir, "park.bmp", 3000);
    addSprite(*l, 1, 1, 10, 20, 4);
    addSprite(*l, 1, 2, 30, 40, 2);
    addSprite(*l, 2, 2, 50, 60, 3);
    addSector(*l, 1, 1, 2, 3, 4);
    addSector(*l, 2, 5, 6, 7, 8);
    addSector(*l, 2, 9, 10, 11, 12);
    return l;
}

// Records every call the window would see.
struct RecordingHooks : slv::PackageHooks {
    int ready = -1, before = 0, steps = 0, loads = 0, frees = 0;
    int failAt = 0;  // loadImage throws for this index
    void headerReady(int n) override { ready = n; }
    void beforeLoad() override { ++before; }
    void step() override { ++steps; }
    slv::SurfaceHandle loadImage(int index, const std::string&) override {
        if (index == failAt) throw slv::Error("Cannot load bitmap");
        ++loads;
        return static_cast<slv::SurfaceHandle>(1000 + index);
    }
    void freeSurface(slv::SurfaceHandle) override { ++frees; }
};

// Whether a table file (_*.tmp) or a half-written part file is left under `dir`.
inline bool anyTemp(const std::string& dir) {
    for (auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string n = e.path().filename().string();
        if ((n.size() > 4 && n[0] == '_' && n.substr(n.size() - 4) == ".tmp") || n.find(".part-") != std::string::npos)
            return true;
    }
    return false;
}

}  // namespace pkgtest
