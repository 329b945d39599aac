#include <gtest/gtest.h>

#include <cstring>

#include "fake_display.h"

using namespace slv;

namespace {

struct Sprites : ::testing::Test {
    std::unique_ptr<Level> lv = newLevel();
    FakeDisplay d;
    SeqRandom rnd{{123, 456, 599, 399, 600, 400}};

    void SetUp() override {
        lv->totstages = 2;
        lv->curstage = 1;
        lv->colorkey = 0xF81F;
        d.add("coin.bmp", 256, 32, 8);
        d.add("bird.bmp", 256, 48, 4);
        d.add("gem.bmp", 200, 40, 5);
        d.add("odd.bmp", 100, 20, 3);
    }
    int add(const std::vector<std::string>& names) {
        return addSprites(*lv, "/w/sprites", names, d.callbacks(), d.detector(), std::ref(rnd));
    }
    int count() const { return lv->stage(lv->curstage).totsprites; }
};

}  // namespace

TEST_F(Sprites, AddFillsTheRecordsInOrder) {
    lv->stage(1).totsprites = 2;
    EXPECT_EQ(add({"coin.bmp", "bird.bmp", "odd.bmp"}), 3);
    EXPECT_EQ(count(), 5);
    const SpriteRec& c = lv->sprite(3, 1);
    EXPECT_EQ(c.name.str(), "coin.bmp");
    EXPECT_EQ(c.totpos, 8);
    EXPECT_EQ(c.pos, 1);
    EXPECT_EQ(c.w, 32);
    EXPECT_EQ(c.h, 32);
    EXPECT_EQ(c.x, 123);
    EXPECT_EQ(c.y, 56);
    EXPECT_EQ(c.image, 1);
    EXPECT_EQ(c.surface, lv->image(1).surface);
    EXPECT_NE(c.surface, 0u);
    EXPECT_EQ(lv->sprite(4, 1).x, 599);
    EXPECT_EQ(lv->sprite(4, 1).y, 399);
    EXPECT_EQ(lv->sprite(5, 1).x, 0);  // 600 wraps into 0..599
    EXPECT_EQ(lv->sprite(5, 1).w, 33);  // 100 / 3, remainder dropped
    EXPECT_EQ(lv->sprite(5, 1).h, 20);
    EXPECT_EQ(lv->image(1).path.str(), "/w/sprites/coin.bmp");
    EXPECT_EQ(lv->image(1).size, 1008);
    EXPECT_EQ(lv->image(1).refs, 1);
    EXPECT_EQ(lv->totimages, 3);
}

TEST_F(Sprites, DetectedCountsAreNotRememberedButPosesAreUsed) {
    lv->totposes = 1;
    lv->pose(1).name.set("coin.bmp");
    lv->pose(1).totpos = 4;
    add({"coin.bmp", "bird.bmp"});
    EXPECT_EQ(lv->sprite(1, 1).totpos, 4);
    EXPECT_EQ(lv->sprite(1, 1).w, 64);
    EXPECT_EQ(lv->sprite(2, 1).totpos, 4);
    EXPECT_EQ(d.detections, 1);
    EXPECT_EQ(lv->totposes, 1);
}

TEST_F(Sprites, AddWithoutOpenStageIsRefused) {
    lv->curstage = 0;
    EXPECT_EQ(errorOf([&] { add({"coin.bmp"}); }), "No open stage !");
    EXPECT_EQ(d.loads, 0);
}

TEST_F(Sprites, SameFileIsLoadedOnceAndShared) {
    add({"coin.bmp", "coin.bmp"});
    EXPECT_EQ(d.loads, 1);
    EXPECT_EQ(lv->totimages, 1);
    EXPECT_EQ(lv->image(1).refs, 2);
    EXPECT_EQ(lv->sprite(1, 1).image, lv->sprite(2, 1).image);
    // The same name from another folder is the same image.
    lv->curstage = 2;
    addSprites(*lv, "/elsewhere", {"coin.bmp"}, d.callbacks(), d.detector(), std::ref(rnd));
    EXPECT_EQ(lv->image(1).refs, 3);
    EXPECT_EQ(d.loads, 1);
}

TEST_F(Sprites, DeletingTheLastUserFreesTheImage) {
    add({"coin.bmp", "coin.bmp"});
    EXPECT_EQ(deleteSprite(*lv, 1, 0, d.callbacks()), 0);
    EXPECT_EQ(lv->image(1).refs, 1);
    EXPECT_EQ(d.releases, 0);
    EXPECT_EQ(deleteSprite(*lv, 1, 0, d.callbacks()), -1);
    EXPECT_EQ(count(), 0);
    EXPECT_TRUE(lv->image(1).name.empty());
    EXPECT_EQ(lv->image(1).surface, 0u);
    EXPECT_EQ(d.releases, 1);
    EXPECT_TRUE(d.live.empty());
    EXPECT_EQ(lv->totimages, 0);
}

TEST_F(Sprites, DeletingMovesLaterSpritesDown) {
    add({"coin.bmp", "bird.bmp", "gem.bmp"});
    EXPECT_EQ(deleteSprite(*lv, 1, 1, d.callbacks()), 1);
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(lv->sprite(1, 1).name.str(), "coin.bmp");
    EXPECT_EQ(lv->sprite(2, 1).name.str(), "gem.bmp");
    EXPECT_EQ(lv->sprite(3, 1).name.str(), "gem.bmp");  // stale slot above the count
}

TEST_F(Sprites, TotimagesFallsOnlyWhenTheTopSlotsAreFree) {
    add({"coin.bmp", "bird.bmp", "gem.bmp"});
    ASSERT_EQ(lv->totimages, 3);
    deleteSprite(*lv, 1, 1, d.callbacks());  // bird, slot 2: below a used slot
    EXPECT_EQ(lv->totimages, 3);
    deleteSprite(*lv, 1, 1, d.callbacks());  // gem, slot 3: 3 and 2 are free now
    EXPECT_EQ(lv->totimages, 1);
    add({"odd.bmp", "gem.bmp"});  // the lowest free slots are reused
    EXPECT_EQ(lv->findImage("odd.bmp"), 2);
    EXPECT_EQ(lv->findImage("gem.bmp"), 3);
    EXPECT_EQ(lv->totimages, 3);
}

TEST_F(Sprites, DeletingOutsideTheCountIsRefused) {
    add({"coin.bmp"});
    EXPECT_EQ(errorOf([&] { deleteSprite(*lv, 1, 1, d.callbacks()); }),
              "Select the sprite you want to delete !");
    EXPECT_THROW(deleteSprite(*lv, 1, -1, d.callbacks()), Error);
    EXPECT_THROW(deleteSprite(*lv, 0, 0, d.callbacks()), Error);
    EXPECT_THROW(deleteSprite(*lv, 2, 0, d.callbacks()), Error);
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(lv->image(1).refs, 1);
}

TEST_F(Sprites, ALoadFailureLeavesNoSpriteAndNoHalfImage) {
    add({"coin.bmp"});
    SpriteRec before = lv->sprite(2, 1);
    EXPECT_EQ(errorOf([&] { add({"bird.bmp", "missing.bmp", "gem.bmp"}); }), "File not found");
    EXPECT_EQ(count(), 2);  // coin and bird stay, nothing after the failure
    EXPECT_EQ(lv->sprite(2, 1).name.str(), "bird.bmp");
    EXPECT_NE(std::memcmp(&before, &lv->sprite(2, 1), sizeof before), 0);
    EXPECT_TRUE(lv->sprite(3, 1).name.empty());
    EXPECT_EQ(lv->totimages, 2);
    EXPECT_TRUE(lv->image(3).name.empty());
}

TEST_F(Sprites, ASizeFailureUndoesTheNewImage) {
    d.unreadableSize.insert("gem.bmp");
    add({"coin.bmp"});
    ImageRec slot2 = lv->image(2);
    SpriteRec sprite2 = lv->sprite(2, 1);
    EXPECT_EQ(errorOf([&] { add({"gem.bmp"}); }), "File access denied");
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(std::memcmp(&slot2, &lv->image(2), sizeof slot2), 0);
    EXPECT_EQ(std::memcmp(&sprite2, &lv->sprite(2, 1), sizeof sprite2), 0);
    EXPECT_EQ(lv->totimages, 1);
    EXPECT_EQ(d.live.size(), 1u);  // the surface made for gem was freed
}

TEST_F(Sprites, AMeasureFailureUndoesBothNewAndSharedImages) {
    add({"coin.bmp"});
    d.unmeasurable.insert("coin.bmp");
    d.unmeasurable.insert("gem.bmp");
    EXPECT_EQ(errorOf([&] { add({"coin.bmp"}); }), "Surface lost");
    EXPECT_EQ(lv->image(1).refs, 1);
    EXPECT_THROW(add({"gem.bmp"}), Error);
    EXPECT_TRUE(lv->image(2).name.empty());
    EXPECT_EQ(lv->totimages, 1);
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(d.live.size(), 1u);
}

TEST_F(Sprites, AHundredSpritesIsTheLimit) {
    lv->stage(1).totsprites = 99;
    EXPECT_EQ(add({"coin.bmp"}), 1);
    EXPECT_EQ(errorOf([&] { add({"coin.bmp"}); }), "Too many sprites on this stage !");
    EXPECT_EQ(count(), 100);
    EXPECT_EQ(lv->image(1).refs, 1);
    EXPECT_EQ(lv->sprite(100, 1).name.str(), "coin.bmp");
}

TEST_F(Sprites, AFullImageTableRefusesANewPicture) {
    for (int i = 1; i <= kMaxImages; ++i) {
        lv->image(i).name.set("img" + std::to_string(i));
        lv->image(i).refs = 1;
    }
    lv->totimages = kMaxImages;
    EXPECT_EQ(errorOf([&] { add({"coin.bmp"}); }), "Too many images !");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(d.loads, 0);
    EXPECT_EQ(lv->totimages, kMaxImages);
    // A picture already loaded can still be shared.
    lv->image(7).name.set("coin.bmp");
    lv->image(7).surface = 55;
    d.live[55] = "coin.bmp";
    EXPECT_EQ(errorOf([&] { add({"coin.bmp"}); }), "");
    EXPECT_EQ(lv->image(7).refs, 2);
}

TEST_F(Sprites, AFrameCountBelowOneNeverReachesASprite) {
    lv->totposes = 1;
    lv->pose(1).name.set("coin.bmp");
    lv->pose(1).totpos = 0;
    EXPECT_EQ(errorOf([&] { add({"coin.bmp"}); }), "The frame count must be 1 or more !");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(d.loads, 0);
}

TEST_F(Sprites, ColourKeyIsGivenToNewSurfaces) {
    std::map<SurfaceHandle, std::uint32_t> keys;
    SurfaceCallbacks cb = d.callbacks();
    cb.setColorKey = [&](SurfaceHandle h, std::uint32_t k) { keys[h] = k; };
    addSprites(*lv, "/w/sprites", {"coin.bmp"}, cb, d.detector(), std::ref(rnd));
    EXPECT_EQ(keys.at(lv->image(1).surface), 0xF81Fu);
}

// ---- replace mode ----

TEST_F(Sprites, ReplacingKeepsThePlaceAndReleasesTheOldPicture) {
    add({"coin.bmp", "bird.bmp"});
    SpriteRec& s = lv->sprite(1, 1);
    s.pos = 5;
    const int x = s.x, y = s.y;
    replaceSprite(*lv, 0, "/w/sprites", "gem.bmp", d.callbacks(), d.detector());
    EXPECT_EQ(s.name.str(), "gem.bmp");
    EXPECT_EQ(s.x, x);
    EXPECT_EQ(s.y, y);
    EXPECT_EQ(s.pos, 1);
    EXPECT_EQ(s.totpos, 5);
    EXPECT_EQ(s.w, 40);
    EXPECT_EQ(s.image, 3);
    EXPECT_TRUE(lv->image(1).name.empty());  // coin had no other user
    EXPECT_EQ(d.releases, 1);
    EXPECT_EQ(lv->totimages, 3);
}

TEST_F(Sprites, ReplacingASharedPictureLowersItsCount) {
    add({"coin.bmp", "coin.bmp"});
    replaceSprite(*lv, 1, "/w/sprites", "bird.bmp", d.callbacks(), d.detector());
    EXPECT_EQ(lv->image(1).refs, 1);
    EXPECT_EQ(lv->image(2).refs, 1);
    // Replacing with the same picture leaves the count as it was.
    replaceSprite(*lv, 0, "/w/sprites", "coin.bmp", d.callbacks(), d.detector());
    EXPECT_EQ(lv->image(1).refs, 1);
    EXPECT_EQ(d.releases, 0);
}

TEST_F(Sprites, AFailedReplaceLeavesTheSpriteAndItsPicture) {
    add({"coin.bmp"});
    SpriteRec before = lv->sprite(1, 1);
    d.frames["nothere.bmp"] = 2;
    EXPECT_THROW(replaceSprite(*lv, 0, "/w/sprites", "nothere.bmp", d.callbacks(), d.detector()),
                 Error);
    EXPECT_EQ(std::memcmp(&before, &lv->sprite(1, 1), sizeof before), 0);
    EXPECT_EQ(lv->image(1).refs, 1);
    EXPECT_EQ(lv->totimages, 1);
    EXPECT_EQ(errorOf([&] {
                  replaceSprite(*lv, 1, "/w/sprites", "gem.bmp", d.callbacks(), d.detector());
              }),
              "Select the sprite you want to modify !");
    EXPECT_EQ(d.loads, 1);
}

// ---- pose bookkeeping ----

TEST(Poses, SeekTakesTheLastRecord) {
    auto lv = newLevel();
    EXPECT_EQ(seektotpos(*lv, "a.bmp"), -1);
    lv->totposes = 3;
    lv->pose(1).name.set("a.bmp");
    lv->pose(1).totpos = 4;
    lv->pose(2).name.set("A.bmp");
    lv->pose(2).totpos = 9;
    lv->pose(3).name.set("a.bmp");
    lv->pose(3).totpos = 6;
    lv->pose(4).name.set("a.bmp");  // beyond the count
    lv->pose(4).totpos = 2;
    EXPECT_EQ(seektotpos(*lv, "a.bmp"), 6);
    EXPECT_EQ(lv->totpos, 6);
    EXPECT_EQ(seektotpos(*lv, "A.bmp"), 9);
    EXPECT_EQ(seektotpos(*lv, "b.bmp"), -1);
    EXPECT_EQ(lv->totpos, -1);
}

TEST(Poses, ClickingTwiceAppendsOneRecord) {
    auto lv = newLevel();
    FakeDisplay d;
    d.add("flame.bmp", 288, 64, 6);
    EXPECT_EQ(pickSpriteFile(*lv, "/w/sprites", "flame.bmp", d.detector()), 6);
    EXPECT_EQ(pickSpriteFile(*lv, "/w/sprites", "flame.bmp", d.detector()), 6);
    EXPECT_EQ(lv->totposes, 1);
    EXPECT_EQ(d.detections, 1);
    EXPECT_EQ(lv->pose(1).name.str(), "flame.bmp");
    EXPECT_EQ(lv->pose(1).totpos, 6);
}

TEST(Poses, LongNamesNeverMatchTheirCutRecord) {
    auto lv = newLevel();
    FakeDisplay d;
    const std::string name = "a_sprite_with_a_long_name.bmp";
    d.add(name, 100, 10, 2);
    pickSpriteFile(*lv, "/w", name, d.detector());
    pickSpriteFile(*lv, "/w", name, d.detector());
    EXPECT_EQ(lv->totposes, 2);
    EXPECT_EQ(lv->pose(2).name.str(), name.substr(0, 20));
}

TEST(Poses, TypedCountsUpdateTheLastRecordAndRefuseBelowOne) {
    auto lv = newLevel();
    FakeDisplay d;
    d.add("gem.bmp", 200, 40, 5);
    lv->totposes = 1;
    lv->pose(1).name.set("gem.bmp");
    lv->pose(1).totpos = 2;
    pickSpriteFile(*lv, "/w", "other.bmp", [](const std::string&) { return 3; });
    lv->totposes = 3;
    lv->pose(3).name.set("gem.bmp");
    lv->pose(3).totpos = 2;
    EXPECT_FALSE(setPoseFrames(*lv, "gem.bmp", 6));  // still filling at start
    lv->fillingpos = false;
    EXPECT_TRUE(setPoseFrames(*lv, "gem.bmp", 6));
    EXPECT_EQ(lv->pose(3).totpos, 6);
    EXPECT_EQ(lv->pose(1).totpos, 2);
    EXPECT_FALSE(setPoseFrames(*lv, "gem.bmp", 0));
    EXPECT_FALSE(setPoseFrames(*lv, "gem.bmp", -4));
    EXPECT_EQ(lv->pose(3).totpos, 6);
    EXPECT_FALSE(setPoseFrames(*lv, "none.bmp", 4));
    // The next sprite made from the file takes the typed count.
    lv->curstage = 1;
    addSprites(*lv, "/w", {"gem.bmp"}, d.callbacks(), d.detector(), [](int) { return 0; });
    EXPECT_EQ(lv->sprite(1, 1).totpos, 6);
    EXPECT_EQ(lv->sprite(1, 1).w, 33);
}

TEST(Poses, AFullPoseTableRefusesANewRecord) {
    auto lv = newLevel();
    FakeDisplay d;
    d.add("new.bmp", 100, 10, 2);
    lv->totposes = kMaxPoses;
    lv->pose(kMaxPoses).name.set("last.bmp");
    lv->pose(kMaxPoses).totpos = 3;
    EXPECT_EQ(errorOf([&] { pickSpriteFile(*lv, "/w", "new.bmp", d.detector()); }),
              "Too many poses !");
    EXPECT_EQ(lv->totposes, kMaxPoses);
    EXPECT_EQ(d.detections, 0);
    // Known files are still found.
    EXPECT_EQ(pickSpriteFile(*lv, "/w", "last.bmp", d.detector()), 3);
}

TEST(Poses, DetectionBelowOneIsStoredAsOne) {
    auto lv = newLevel();
    EXPECT_EQ(pickSpriteFile(*lv, "/w", "x.bmp", [](const std::string&) { return 0; }), 1);
    EXPECT_EQ(lv->pose(1).totpos, 1);
}
