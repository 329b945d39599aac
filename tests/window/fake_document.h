// A level document on the stand-in display of the editing tests: its
// pictures are 64x16 strips of 4 frames named as the test lists them, its
// state folder a scratch folder.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "common/tempdir.h"
#include "editing/fake_display.h"
#include "editor/leveldocument.h"

struct FakeDocument {
    slvtest::TempDir dir;
    FakeDisplay display;
    std::unique_ptr<slv::LevelDocument> doc;

    explicit FakeDocument(std::initializer_list<const char*> pictures) {
        doc = std::make_unique<slv::LevelDocument>((dir.path() / "state").string());
        for (const char* name : pictures) display.add(name, 64, 16, 4);
        doc->setSurfaceCallbacks(display.callbacks());
        doc->setFrameDetector(display.detector());
    }
    std::string path(const char* name) const { return (dir.path() / name).string(); }
    slv::Level& level() { return doc->level(); }
};
