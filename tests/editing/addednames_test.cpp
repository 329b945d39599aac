// What Add and Mod bring into the tables: names as a record stores them,
// frame counts that fit their strip, BMP pictures only, sprites placed inside
// the view and sector names.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "common/accents.h"
#include "common/bmp_writer.h"
#include "common/files.h"
#include "common/tempdir.h"
#include "fake_display.h"
#include "model/picturefile.h"

using namespace slv;

namespace {

// Real picture files in a sprites and a backpx folder (their headers give the
// widths), with a stand-in display for loading and detection.
struct AddedPictures : ::testing::Test {
    slvtest::TempDir dir;
    FakeDisplay d;
    std::unique_ptr<Level> lv = freshLevel();
    SeqRandom rnd{{0}};

    void SetUp() override {
        std::filesystem::create_directories(dir / "sprites");
        std::filesystem::create_directories(dir / "backpx");
        lv->stageCount = 1;
        lv->openStage = 1;
    }
    std::string sprites() const { return dir / "sprites"; }
    std::string backpx(const std::string& name) const { return dir / ("backpx/" + name); }
    void picture(const std::string& folder, const std::string& name, int w, int h, int detected = 1) {
        ASSERT_TRUE(writeBmp(folder + "/" + name, BmpLayout{w, h, 24, false}, [](int, int) { return 0xFF00FFu; }));
        d.add(name, w, h, detected);
    }
    int add(const std::vector<std::string>& names) {
        return addSprites(*lv, sprites(), names, d.callbacks(), d.detector(), std::ref(rnd));
    }
    int pick(const std::string& name) { return pickSpriteFile(*lv, sprites(), name, d.detector()); }
};

}  // namespace

// A name is cut to 20 stored (Windows-1252) characters. A file whose name a
// record holds whole finds its image and pose records again; a longer one
// finds neither (the cut name is not its name): each use loads it anew and
// no pose record is kept for it.
TEST_F(AddedPictures, NamesAreCutAndMatchedAsStored) {
    struct Case {
        std::string file, stored;
        bool whole;  // the name fits a record
    };
    const Case cases[] = {
        {times(kE, 15) + ".bmp", times(kE, 15) + ".bmp", true},                // 19 characters, 34 bytes
        {"plage_d_" + kE + "t" + kE + "_2026.bmp", "plage_d_" + kE + "t" + kE + "_2026.bmp", true},  // exactly 20
        {"a_sprite_with_a_long_name.bmp", "a_sprite_with_a_long", false},
        {"\xE2\x82\xAC" "uro_" + times(kE, 20) + ".bmp", "\xE2\x82\xAC" "uro_" + times(kE, 15), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        lv = freshLevel();
        SetUp();
        picture(sprites(), c.file, 64, 16, 2);
        picture(dir / "backpx", c.file, 640, 430, 2);

        EXPECT_EQ(add({c.file, c.file}), 2);
        EXPECT_EQ(lv->sprite(1, 1).name.str(), c.stored);
        EXPECT_EQ((Ints{lv->imageCount, lv->image(1).useCount, lv->sprite(2, 1).image}),
                  (c.whole ? Ints{1, 2, 1} : Ints{2, 1, 2}));
        EXPECT_EQ(lv->image(1).name.str(), c.stored);

        const int detectionsBefore = d.detections;
        EXPECT_EQ(pick(c.file), 2);
        EXPECT_EQ(pick(c.file), 2);
        EXPECT_EQ((Ints{lv->poseCount, d.detections - detectionsBefore}), (c.whole ? Ints{1, 1} : Ints{0, 2}));  // a short name is detected once
        EXPECT_EQ(lv->pose(1).name.str(), c.whole ? c.stored : "");

        addStages(*lv, {backpx(c.file)}, d.callbacks().fileSize);
        EXPECT_EQ(lv->stage(2).name.str(), c.stored);
        EXPECT_EQ(lv->stage(2).path.str(), backpx(c.file));
    }
}

// Two files whose names agree in their first 20 characters are two
// pictures: each gets its own image record and its own frame count, whether
// remembered records with their cut name exist or not. Only the count shown
// in the picker for the file last clicked is taken over, typed or detected.
TEST_F(AddedPictures, LongNamesSharingTheirFirst20CharactersAreTwoPictures) {
    const std::string v1 = "hero_running_animation_v1.bmp", v2 = "hero_running_animation_v2.bmp";
    struct Case {
        const char* what;
        int remembered;    // a pose record under the cut name; 0 for none
        std::string clicked;  // the file last clicked in the picker
        int typed;         // typed after the click; 0 for none
        Ints frames;       // {v1's sprite, v2's sprite}
    };
    const Case cases[] = {
        {"nothing clicked", 0, "", 0, {4, 6}},
        {"a cut record is not theirs", 9, "", 0, {4, 6}},
        {"v2 clicked", 9, v2, 0, {4, 6}},
        {"v2 clicked and typed", 0, v2, 3, {4, 3}},
        {"v1 clicked and typed", 9, v1, 2, {2, 6}},
        {"another file clicked last", 0, "short.bmp", 0, {4, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        lv = freshLevel();
        SetUp();
        picture(sprites(), v1, 96, 16, 4);
        picture(sprites(), v2, 96, 16, 6);
        picture(sprites(), "short.bmp", 8, 8, 1);
        if (c.remembered) {
            lv->poseCount = 1;
            lv->pose(1).name.set(v1);
            lv->pose(1).frameCount = c.remembered;
        }
        if (!c.clicked.empty()) {
            if (c.typed) pick(c.clicked == v1 ? v2 : v1);  // a count typed for another file stays there
            if (c.typed) setPoseFrames(*lv, c.clicked, 5);
            pick(c.clicked);
            lv->session.fillingPickerFields = false;
            if (c.typed) EXPECT_TRUE(setPoseFrames(*lv, c.clicked, c.typed));
            EXPECT_FALSE(setPoseFrames(*lv, c.clicked == v1 ? v2 : v1, 5));
        }
        EXPECT_EQ(add({v1, v2}), 2);
        const SpriteRec &a = lv->sprite(1, 1), &b = lv->sprite(2, 1);
        EXPECT_EQ((Ints{a.frameCount, b.frameCount}), c.frames);
        EXPECT_EQ((Ints{a.w, b.w}), (Ints{96 / c.frames[0], 96 / c.frames[1]}));
        EXPECT_EQ((Ints{a.image, b.image, lv->imageCount}), (Ints{1, 2, 2}));
        EXPECT_EQ(fileNamePart(lv->image(a.image).path.str()) + " " + fileNamePart(lv->image(b.image).path.str()),
                  v1 + " " + v2);
        EXPECT_NE(a.surface, b.surface);
        // Nothing written under the cut name; the short file has its record.
        EXPECT_EQ(lv->poseCount, (c.remembered ? 1 : 0) + (c.clicked == "short.bmp" ? 1 : 0));
        if (c.remembered) EXPECT_EQ(lv->pose(1).frameCount, c.remembered);
    }
    // Mod of a sprite to a long-named file detects it too.
    replaceSprite(*lv, 0, sprites(), v2, d.callbacks(), d.detector());
    EXPECT_EQ((Ints{lv->sprite(1, 1).frameCount, lv->sprite(1, 1).image}), (Ints{6, 3}));
}

// Frames are at least one pixel wide: a count above the strip's width is
// neither typed, remembered nor attached.
TEST_F(AddedPictures, FrameCountsFitTheStrip) {
    picture(sprites(), "rope.bmp", 30, 16, 3);
    const std::string tooMany = "\"rope.bmp\" is 30 pixels wide: it cannot hold 999 frames";
    struct Case {
        const char* what;
        int remembered;  // pose record before the click; 0 for none
        int typed;       // typed after the click
        Ints expect;     // {frames shown, pose record, poseCount, sprite frames, sprite w}
    };
    const Case cases[] = {
        {"detected", 0, 0, {3, 3, 1, 3, 10}},
        {"typed within the width", 0, 30, {3, 30, 1, 30, 1}},
        {"typed beyond the width", 0, 999, {3, 3, 1, 3, 10}},
        {"typed below one", 0, -2, {3, 3, 1, 3, 10}},
        {"remembered within", 5, 0, {5, 5, 1, 5, 6}},
        {"remembered beyond", 999, 0, {3, 3, 1, 3, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        lv = freshLevel();
        SetUp();
        if (c.remembered) {
            lv->poseCount = 1;
            lv->pose(1).name.set("rope.bmp");
            lv->pose(1).frameCount = c.remembered;
        }
        lv->session.fillingPickerFields = false;
        const int shown = pick("rope.bmp");
        EXPECT_EQ(lv->session.pickedStripWidth, 30);
        if (c.typed) setPoseFrames(*lv, "rope.bmp", c.typed);
        add({"rope.bmp"});
        const SpriteRec& sp = lv->sprite(1, 1);
        EXPECT_EQ((Ints{shown, lv->pose(1).frameCount, lv->poseCount, sp.frameCount, sp.w}), c.expect);
    }
    // The picture's own check, whatever count reaches it.
    lv->stage(1).spriteCount = 1;
    SpriteRec& sp = lv->sprite(1, 1);
    const SpriteRec before = sp;
    sp.frameCount = 999;
    EXPECT_EQ(errorOf([&] { attachSpritePicture(*lv, joinPath(sprites(), "rope.bmp"), 1, d.callbacks()); }), tooMany);
    sp.frameCount = before.frameCount;
    EXPECT_EQ(std::memcmp(&sp, &before, sizeof sp), 0);
    EXPECT_EQ(lv->image(1).useCount, 1);
    for (const auto& [width, limit] : {std::pair{30, 30}, {1, 1}, {0, INT_MAX}}) EXPECT_EQ(frameCountLimit(width), limit);
}

// Add and Mod take BMP pictures only, told by content; a name a package
// cannot store is refused too. Nothing changes on a refusal.
TEST_F(AddedPictures, OnlyBmpPicturesComeIn) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x20\0\0\0\x10", 24);
    struct Case {
        std::string file, bytes, refusal;
    };
    const Case cases[] = {
        {"fake.bmp", png, "\"fake.bmp\" is a PNG picture; a level takes BMP pictures only"},
        {"photo.bmp", "\xFF\xD8\xFF\xE0", "\"photo.bmp\" is a JPEG picture; a level takes BMP pictures only"},
        {"anim.bmp", "GIF89a\x10\0\x10\0", "\"anim.bmp\" is a GIF picture; a level takes BMP pictures only"},
        {"web.bmp", std::string("RIFF\0\0\0\0WEBPVP8 ", 16), "\"web.bmp\" is a WebP picture; a level takes BMP pictures only"},
        {"a:b.bmp", "", "The file name \"a:b.bmp\" cannot be stored in a level package: it holds '\\' or ':'"},
        {"a\\b.bmp", "", "The file name \"a\\b.bmp\" cannot be stored in a level package: it holds '\\' or ':'"},
        {"ok.bmp", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        lv = freshLevel();
        SetUp();
        picture(sprites(), "old.bmp", 32, 32);
        picture(dir / "backpx", "old.bmp", 640, 430);
        for (const std::string& folder : {sprites(), dir / "backpx"}) {
            picture(folder, c.file, 32, 32);
            if (!c.bytes.empty()) slvtest::writeFile(folder + "/" + c.file, c.bytes);
        }
        add({"old.bmp"});
        addStages(*lv, {backpx("old.bmp")}, d.callbacks().fileSize);
        const std::string was = tablesBytes(*lv);
        EXPECT_EQ(errorOf([&] { checkPictureFile(backpx(c.file)); }), c.refusal);
        EXPECT_EQ(errorOf([&] { addStages(*lv, {backpx(c.file)}, d.callbacks().fileSize); }), c.refusal);
        EXPECT_EQ(errorOf([&] { modifyStage(*lv, 2, backpx(c.file), d.callbacks().fileSize); }), c.refusal);
        EXPECT_EQ(errorOf([&] { add({c.file}); }), c.refusal);
        EXPECT_EQ(errorOf([&] {
                      replaceSprite(*lv, 0, sprites(), c.file, d.callbacks(), d.detector());
                  }), c.refusal);
        if (!c.refusal.empty()) {
            EXPECT_EQ(tablesBytes(*lv), was);
        }
    }
    // A file that cannot be read or shows no known format is left to the loader.
    EXPECT_EQ(errorOf([&] { checkBmpPicture(dir / "none.bmp"); }), "");
    EXPECT_EQ(pictureFormatOf("hello"), "");
    EXPECT_EQ(pictureWidthOf(png), 32);
}

// "Add 'em" keeps every frame wholly inside the 640 x 430 view where it fits.
TEST_F(AddedPictures, AddedSpritesLandInsideTheView) {
    struct Case {
        int w, h, frames;
        int random;  // what the random source returns
        Ints place;  // {x, y}
    };
    const Case cases[] = {
        {64, 48, 1, 576, {576, 193}},  // x 0..576, y 0..382: its right edge at 640
        {64, 48, 1, 595, {18, 212}},   // 595 wraps
        {256, 32, 8, 639, {30, 240}},  // frames of 32: x 0..608, y 0..398
        {640, 430, 1, 77, {0, 0}},                // exactly the view
        {700, 500, 1, 77, {0, 0}},                // larger: at the corner
        {10, 500, 1, 600, {600, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " random " << c.random);
        lv = freshLevel();
        SetUp();
        picture(sprites(), "s.bmp", c.w, c.h, c.frames);
        rnd = SeqRandom{{c.random}};
        add({"s.bmp"});
        const SpriteRec& sp = lv->sprite(1, 1);
        EXPECT_EQ((Ints{sp.x, sp.y}), c.place);
        if (c.w / c.frames <= kViewWidth) {
            EXPECT_LE(sp.x + sp.w, kViewWidth);
        }
        if (c.h <= kViewHeight) {
            EXPECT_LE(sp.y + sp.h, kViewHeight);
        }
    }
}

// New sectors take the lowest free "SectorN"; a rename keeps only names the
// record stores as they are.
TEST_F(AddedPictures, SectorNamesAreFreeAndStorable) {
    const struct {
        std::vector<std::string> names;
        std::string next;
    } free[] = {
        {{}, "Sector1"},
        {{"Sector2"}, "Sector1"},
        {{"Sector1", "Sector3"}, "Sector2"},
        {{"Sector1", "Sector2"}, "Sector3"},
        {{"Gate", "Sector1"}, "Sector2"},
    };
    for (const auto& c : free) {
        lv->stage(1).sectorCount = static_cast<int>(c.names.size());
        for (std::size_t n = 0; n < c.names.size(); ++n) lv->sector(static_cast<int>(n) + 1, 1).name.set(c.names[n]);
        EXPECT_EQ(freeSectorName(*lv, 1), c.next);
    }
    // Deleting Sector1 and drawing another gives Sector1 again, not a second Sector2.
    lv = freshLevel();
    SetUp();
    for (int k = 1; k <= 2; ++k) {
        lv->session.bandStartX = lv->session.bandStartY = 0;
        lv->session.mouseX = lv->session.mouseY = 10 * k;
        addSectorFromBand(*lv);
    }
    deleteSector(*lv, 1, 0);
    lv->session.mouseX = lv->session.mouseY = 30;
    addSectorFromBand(*lv);
    EXPECT_EQ(lv->sector(1, 1).name.str() + "," + lv->sector(2, 1).name.str(), "Sector2,Sector1");

    const struct {
        std::string name, refusal;
    } renames[] = {
        {"Gate", ""},
        {"Porte_" + kE + "t" + kE, ""},
        {times(kE, 20), ""},  // 20 characters, 40 bytes
        {"", "A sector needs a name !"},
        {std::string(21, 'x'), "The sector name \"" + std::string(21, 'x') + "\" is 21 characters long; a sector name holds at most 20"},
        {times(kE, 21), "The sector name \"" + times(kE, 21) + "\" is 21 characters long; a sector name holds at most 20"},
        {"\xE6\x97\xA5", "The sector name \"\xE6\x97\xA5\" holds characters a level cannot store (Windows-1252 only)"},
        {"bad\xFF", "The sector name \"bad\xFF\" holds characters a level cannot store (Windows-1252 only)"},
    };
    for (const auto& c : renames) {
        SCOPED_TRACE(c.name);
        lv->sector(1, 1).name.set("Sector2");
        EXPECT_EQ(errorOf([&] { EXPECT_TRUE(renameSector(*lv, 1, 1, c.name)); }), c.refusal);
        EXPECT_EQ(lv->sector(1, 1).name.str(), c.refusal.empty() ? c.name : "Sector2");
    }
    EXPECT_FALSE(renameSector(*lv, 1, 1, "Sector2"));
    for (const auto& [stage, n] : {std::pair{1, 0}, {1, 3}, {31, 1}, {-1, 1}})
        EXPECT_EQ(errorOf([&] { renameSector(*lv, stage, n, "X"); }), "Select the sector you want to modify !");
}
