// A stand-in display for the editing tests: surfaces are numbers, pictures
// have the sizes the test gives them, and every load and release is counted.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/error_text.h"
#include "common/ints.h"
#include "model/editing.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/level.h"

struct FakeDisplay {
    std::map<std::string, slv::SurfaceSize> pictures;  // by file name
    std::set<std::string> unreadableSize;               // file size fails
    std::set<std::string> unmeasurable;                 // measure fails
    std::map<slv::SurfaceHandle, std::string> live;     // surface -> file name
    std::map<std::string, int> frames;                  // detection results
    int loads = 0;
    int releases = 0;
    int detections = 0;
    slv::SurfaceHandle next = 100;

    void add(const std::string& name, int w, int h, int detected = 1) {
        pictures[name] = {w, h};
        frames[name] = detected;
    }

    slv::SurfaceCallbacks callbacks() {
        slv::SurfaceCallbacks cb;
        cb.load = [this](const std::string& path) {
            std::string name = slv::fileNamePart(path);
            if (!pictures.count(name)) throw slv::Error("File not found");
            ++loads;
            live[next] = name;
            return next++;
        };
        cb.release = [this](slv::SurfaceHandle h) {
            if (!live.erase(h)) throw slv::Error("released twice");
            ++releases;
        };
        cb.measure = [this](slv::SurfaceHandle h) {
            auto it = live.find(h);
            if (it == live.end()) throw slv::Error("no such surface");
            if (unmeasurable.count(it->second)) throw slv::Error("Surface lost");
            return pictures.at(it->second);
        };
        cb.fileSize = [this](const std::string& path) -> std::int64_t {
            std::string name = slv::fileNamePart(path);
            if (unreadableSize.count(name)) throw slv::Error("File access denied");
            return 1000 + static_cast<std::int64_t>(name.size());
        };
        return cb;
    }

    slv::DetectFramesFn detector() {
        return [this](const std::string& path) {
            ++detections;
            std::string name = slv::fileNamePart(path);
            if (!frames.count(name)) throw slv::Error("File not found");
            return frames.at(name);
        };
    }
};

// A repeatable random source: returns the values in turn, modulo n.
struct SeqRandom {
    std::vector<int> values;
    std::size_t i = 0;
    int operator()(int n) { return values.empty() ? 0 : values[i++ % values.size()] % n; }
};

inline std::unique_ptr<slv::Level> freshLevel() { return std::make_unique<slv::Level>(); }

// The level's tables as bytes, without the surface references: they only
// mean something while the program runs, and a picture loaded again gets a
// new one.
inline std::string tablesBytes(const slv::Level& lv) {
    std::string out;
    auto put = [&out](const void* p, std::size_t n) { out.append(static_cast<const char*>(p), n); };
    put(lv.stages, sizeof lv.stages);
    for (int n = 1; n <= slv::kMaxSprites; ++n)
        for (int s = 1; s <= slv::kMaxStages; ++s) {
            slv::SpriteRec r = lv.sprite(n, s);
            r.surface = 0;
            put(&r, sizeof r);
        }
    put(lv.sectorTable, sizeof lv.sectorTable);
    for (int i = 1; i <= slv::kMaxImages; ++i) {
        slv::ImageRec r = lv.image(i);
        r.surface = 0;
        put(&r, sizeof r);
    }
    const std::int32_t counts[] = {lv.stageCount, lv.imageCount, lv.openStage};
    put(counts, sizeof counts);
    return out;
}

