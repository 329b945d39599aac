#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "fake_display.h"

using namespace slv;

namespace {

struct Sprites : ::testing::Test {
    std::unique_ptr<Level> lv = freshLevel();
    FakeDisplay d;
    SeqRandom rnd{{123, 456, 599, 399, 600, 400}};

    void SetUp() override {
        lv->stageCount = 2;
        lv->openStage = 1;
        d.add("coin.bmp", 256, 32, 8);
        d.add("bird.bmp", 256, 48, 4);
        d.add("gem.bmp", 200, 40, 5);
        d.add("odd.bmp", 100, 20, 3);
    }
    int add(const std::vector<std::string>& names, const std::string& folder = "/w/sprites") {
        return addSprites(*lv, folder, names, d.callbacks(), d.detector(), std::ref(rnd));
    }
    int del(int stage, int row) { return deleteSprite(*lv, stage, row, d.callbacks()); }
    void replace(int row, const std::string& name) {
        replaceSprite(*lv, row, "/w/sprites", name, d.callbacks(), d.detector());
    }
    int pick(const std::string& name) { return pickSpriteFile(*lv, "/w", name, d.detector()); }
    void pose(int n, const std::string& name, int frameCount) {
        lv->pose(n).name.set(name);
        lv->pose(n).frameCount = frameCount;
    }
    int count() const { return lv->stage(lv->openStage).spriteCount; }
    std::string name(int n) const { return lv->sprite(n, 1).name.str(); }
    static bool same(const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
};

}  // namespace

TEST_F(Sprites, AddFillsTheRecordsInOrder) {
    lv->stage(1).spriteCount = 2;
    EXPECT_EQ(add({"coin.bmp", "bird.bmp", "odd.bmp"}), 3);
    EXPECT_EQ(count(), 5);
    const SpriteRec& c = lv->sprite(3, 1);
    EXPECT_EQ(c.name.str(), "coin.bmp");
    EXPECT_EQ((Ints{c.frameCount, c.frame, c.image}), (Ints{8, 1, 1}));
    EXPECT_EQ(rectOf(c), (Ints{123, 57, 32, 32}));  // x 0..608, y 0..398
    EXPECT_EQ(c.surface, lv->image(1).surface);
    EXPECT_NE(c.surface, 0u);
    EXPECT_EQ(rectOf(lv->sprite(4, 1)), (Ints{22, 16, 64, 48}));  // 599 and 399 wrap past 576 and 382
    EXPECT_EQ(rectOf(lv->sprite(5, 1)), (Ints{600, 400, 33, 20}));  // 100 / 3 drops the rest
    EXPECT_EQ(lv->image(1).path.str(), "/w/sprites/coin.bmp");
    EXPECT_EQ((Ints{lv->image(1).size, lv->image(1).useCount, lv->imageCount}), (Ints{1008, 1, 3}));
}

TEST_F(Sprites, DetectedCountsAreNotRememberedButPosesAreUsed) {
    lv->poseCount = 1;
    pose(1, "coin.bmp", 4);
    add({"coin.bmp", "bird.bmp"});
    EXPECT_EQ((Ints{lv->sprite(1, 1).frameCount, lv->sprite(1, 1).w, lv->sprite(2, 1).frameCount}), (Ints{4, 64, 4}));
    EXPECT_EQ((Ints{d.detections, lv->poseCount}), (Ints{1, 1}));
}

TEST_F(Sprites, SameFileIsSharedAndFreedWithItsLastUser) {
    add({"coin.bmp", "coin.bmp"});
    EXPECT_EQ((Ints{d.loads, lv->imageCount, lv->image(1).useCount}), (Ints{1, 1, 2}));
    EXPECT_EQ(lv->sprite(1, 1).image, lv->sprite(2, 1).image);
    // The same name from another folder is the same image.
    lv->openStage = 2;
    add({"coin.bmp"}, "/elsewhere");
    EXPECT_EQ((Ints{lv->image(1).useCount, d.loads}), (Ints{3, 1}));
    del(2, 0);
    lv->openStage = 1;
    EXPECT_EQ(del(1, 0), 0);
    EXPECT_EQ((Ints{lv->image(1).useCount, d.releases}), (Ints{1, 0}));
    EXPECT_EQ(del(1, 0), -1);
    EXPECT_TRUE(lv->image(1).name.empty());
    EXPECT_EQ(lv->image(1).surface, 0u);
    EXPECT_TRUE(d.live.empty());
    EXPECT_EQ((Ints{count(), d.releases, lv->imageCount}), (Ints{0, 1, 0}));
}

TEST_F(Sprites, DeletingMovesLaterSpritesDownAndImageCountFallsOnlyFromTheTop) {
    add({"coin.bmp", "bird.bmp", "gem.bmp"});
    ASSERT_EQ(lv->imageCount, 3);
    EXPECT_EQ(del(1, 1), 1);  // bird, slot 2: below a used slot
    EXPECT_EQ((Ints{count(), lv->imageCount}), (Ints{2, 3}));
    // Slot 3 is stale, above the count.
    EXPECT_EQ(name(1) + " " + name(2) + " " + name(3), "coin.bmp gem.bmp gem.bmp");
    del(1, 1);  // gem, slot 3: 3 and 2 are free now
    EXPECT_EQ(lv->imageCount, 1);
    add({"odd.bmp", "gem.bmp"});  // the lowest free slots are reused
    EXPECT_EQ((Ints{lv->findImage("odd.bmp"), lv->findImage("gem.bmp"), lv->imageCount}), (Ints{2, 3, 3}));
}

TEST_F(Sprites, ALoadFailureLeavesNoSpriteAndNoHalfImage) {
    add({"coin.bmp"});
    SpriteRec before = lv->sprite(2, 1);
    EXPECT_EQ(errorOf([&] { add({"bird.bmp", "missing.bmp", "gem.bmp"}); }), "File not found");
    EXPECT_EQ((Ints{count(), lv->imageCount}), (Ints{2, 2}));  // coin and bird stay, nothing after the failure
    EXPECT_EQ(name(2), "bird.bmp");
    EXPECT_FALSE(same(before, lv->sprite(2, 1)));
    EXPECT_TRUE(lv->sprite(3, 1).name.empty());
    EXPECT_TRUE(lv->image(3).name.empty());
}

// Refused edits name the reason and leave every table as it was.
TEST_F(Sprites, RefusalsNameTheReasonAndChangeNothing) {
    struct Case {
        const char* message;  // nullptr: any error
        std::function<void()> prepare, action;
    };
    const Case cases[] = {
        {"No open stage !", [&] { lv->openStage = 0; }, [&] { add({"gem.bmp"}); }},
        {"The frame count must be 1 or more !", [&] { lv->poseCount = 1, pose(1, "gem.bmp", 0); },
         [&] { add({"gem.bmp"}); }},
        {"Too many sprites on this stage !", [&] { lv->stage(1).spriteCount = 99, add({"coin.bmp"}); },
         [&] { add({"coin.bmp"}); }},
        {"File access denied", [&] { d.unreadableSize.insert("gem.bmp"); }, [&] { add({"gem.bmp"}); }},
        {"Surface lost", [&] { d.unmeasurable = {"coin.bmp"}; }, [&] { add({"coin.bmp"}); }},  // a shared picture
        {"Surface lost", [&] { d.unmeasurable = {"gem.bmp"}; }, [&] { add({"gem.bmp"}); }},
        {"Select the sprite you want to delete !", [] {}, [&] { del(1, 1); }},
        {nullptr, [] {}, [&] { del(1, -1); }},
        {nullptr, [] {}, [&] { del(0, 0); }},
        {nullptr, [] {}, [&] { del(2, 0); }},
        {"Select the sprite you want to modify !", [] {}, [&] { replace(1, "gem.bmp"); }},
        {"File not found", [&] { d.frames["nothere.bmp"] = 2; }, [&] { replace(0, "nothere.bmp"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message ? c.message : "an error");
        lv = freshLevel();
        d = FakeDisplay();
        SetUp();
        add({"coin.bmp"});
        c.prepare();
        const std::string tables = tablesBytes(*lv);
        const auto live = d.live;
        const std::string error = errorOf(c.action);
        EXPECT_TRUE(c.message ? error == c.message : !error.empty()) << error;
        EXPECT_TRUE(tablesBytes(*lv) == tables);
        EXPECT_EQ(d.live, live);
    }
}

TEST_F(Sprites, AFullImageTableRefusesANewPicture) {
    for (int i = 1; i < kMaxImages; ++i) {
        lv->image(i).name.set("img" + std::to_string(i));
        lv->image(i).useCount = 1;
    }
    lv->imageCount = kMaxImages - 1;
    // The last slot is taken, then the table is full.
    EXPECT_EQ(errorOf([&] { add({"coin.bmp"}); }), "");
    EXPECT_EQ(lv->image(kMaxImages).name.str(), "coin.bmp");
    EXPECT_EQ(lv->imageCount, kMaxImages);
    EXPECT_EQ(errorOf([&] { add({"gem.bmp"}); }), "Too many images !");
    EXPECT_EQ((Ints{count(), d.loads, lv->imageCount}), (Ints{1, 1, kMaxImages}));
    // A picture already loaded can still be shared.
    EXPECT_EQ(errorOf([&] { add({"coin.bmp"}); }), "");
    EXPECT_EQ(lv->image(kMaxImages).useCount, 2);
}

TEST_F(Sprites, ReplacingKeepsThePlaceAndReleasesTheOldPicture) {
    add({"coin.bmp", "bird.bmp"});
    SpriteRec& s = lv->sprite(1, 1);
    s.frame = 5;
    const int x = s.x, y = s.y;
    replace(0, "gem.bmp");
    EXPECT_EQ(s.name.str(), "gem.bmp");
    EXPECT_EQ(rectOf(s), (Ints{x, y, 40, 40}));
    EXPECT_EQ((Ints{s.frame, s.frameCount, s.image}), (Ints{1, 5, 3}));
    EXPECT_TRUE(lv->image(1).name.empty());  // coin had no other user
    EXPECT_EQ((Ints{d.releases, lv->imageCount}), (Ints{1, 3}));
}

TEST_F(Sprites, ReplacingASharedPictureLowersItsCount) {
    add({"coin.bmp", "coin.bmp"});
    replace(1, "bird.bmp");
    EXPECT_EQ((Ints{lv->image(1).useCount, lv->image(2).useCount}), (Ints{1, 1}));
    replace(0, "coin.bmp");  // the same picture: the count stays
    EXPECT_EQ((Ints{lv->image(1).useCount, d.releases}), (Ints{1, 0}));
}

TEST_F(Sprites, PoseSeekTakesTheLastRecord) {
    EXPECT_EQ(rememberedFrameCount(*lv, "a.bmp"), -1);
    lv->poseCount = 3;
    pose(1, "a.bmp", 4);
    pose(2, "A.bmp", 9);
    pose(3, "a.bmp", 6);
    pose(4, "a.bmp", 2);  // beyond the count
    EXPECT_EQ(rememberedFrameCount(*lv, "a.bmp"), 6);
    EXPECT_EQ(rememberedFrameCount(*lv, "A.bmp"), 9);
    EXPECT_EQ(rememberedFrameCount(*lv, "b.bmp"), -1);
}

TEST_F(Sprites, PickingTwiceAppendsOneRecord) {
    d.add("flame.bmp", 288, 64, 6);
    EXPECT_EQ(pick("flame.bmp"), 6);
    EXPECT_EQ(pick("flame.bmp"), 6);
    EXPECT_EQ((Ints{lv->poseCount, d.detections, lv->pose(1).frameCount}), (Ints{1, 1, 6}));
    EXPECT_EQ(lv->pose(1).name.str(), "flame.bmp");
    // A name a record cannot hold whole gets no record: it is detected at every click.
    const std::string longName = "a_sprite_with_a_long_name.bmp";
    d.add(longName, 100, 10, 2);
    EXPECT_EQ(pick(longName), 2);
    EXPECT_EQ(pick(longName), 2);
    EXPECT_EQ((Ints{lv->poseCount, d.detections}), (Ints{1, 3}));
}

TEST_F(Sprites, TypedPoseCountsUpdateTheLastRecordAndRefuseBelowOne) {
    lv->poseCount = 1;
    pose(1, "gem.bmp", 2);
    pickSpriteFile(*lv, "/w", "other.bmp", [](const std::string&) { return 3; });
    lv->poseCount = 3;
    pose(3, "gem.bmp", 2);
    EXPECT_FALSE(setPoseFrames(*lv, "gem.bmp", 6));  // still filling at start
    lv->session.fillingPickerFields = false;
    EXPECT_TRUE(setPoseFrames(*lv, "gem.bmp", 6));
    EXPECT_EQ((Ints{lv->pose(3).frameCount, lv->pose(1).frameCount}), (Ints{6, 2}));
    for (int bad : {0, -4}) EXPECT_FALSE(setPoseFrames(*lv, "gem.bmp", bad));
    EXPECT_EQ(lv->pose(3).frameCount, 6);
    EXPECT_FALSE(setPoseFrames(*lv, "none.bmp", 4));
    // The next sprite made from the file takes the typed count.
    addSprites(*lv, "/w", {"gem.bmp"}, d.callbacks(), d.detector(), [](int) { return 0; });
    EXPECT_EQ((Ints{lv->sprite(1, 1).frameCount, lv->sprite(1, 1).w}), (Ints{6, 33}));
}

TEST_F(Sprites, AFullPoseTableRefusesANewRecord) {
    d.add("new.bmp", 100, 10, 2);
    lv->poseCount = kMaxPoses;
    pose(kMaxPoses, "last.bmp", 3);
    EXPECT_EQ(errorOf([&] { pick("new.bmp"); }), "Too many poses !");
    EXPECT_EQ((Ints{lv->poseCount, d.detections}), (Ints{kMaxPoses, 0}));
    EXPECT_EQ(pick("last.bmp"), 3);  // known files are still found
}

TEST_F(Sprites, PoseDetectionBelowOneIsStoredAsOne) {
    EXPECT_EQ(pickSpriteFile(*lv, "/w", "x.bmp", [](const std::string&) { return 0; }), 1);
    EXPECT_EQ(lv->pose(1).frameCount, 1);
}
