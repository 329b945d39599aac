#include <gtest/gtest.h>

#include "fake_display.h"

using namespace slv;

namespace {

std::int64_t sizeByLength(const std::string& path) { return static_cast<std::int64_t>(path.size()); }

std::vector<std::string> stageFiles(int from, int n) {
    std::vector<std::string> v;
    for (int i = 0; i < n; ++i) v.push_back("/w/backpx/stage" + std::to_string(from + i) + ".bmp");
    return v;
}

}  // namespace

TEST(AddStages, StoresNamePathAndSizeAndTheSplashGoesToRecordZero) {
    auto lv = freshLevel();
    EXPECT_EQ(addStages(*lv, {"/w/backpx/desert.bmp", "/w/backpx/a_very_long_stage_name_indeed.bmp"},
                        sizeByLength),
              2);
    EXPECT_EQ((Ints{lv->stageCount, lv->stage(1).size, lv->stage(1).spriteCount}), (Ints{2, 20, 0}));
    EXPECT_EQ(lv->stage(1).name.str(), "desert.bmp");
    EXPECT_EQ(lv->stage(1).path.str(), "/w/backpx/desert.bmp");
    EXPECT_EQ(lv->stage(2).name.str(), "a_very_long_stage_na");  // cut to 20
    // The splash goes into record zero and is no stage.
    setSplash(*lv, "/w/backpx/title_picture_with_long_name.bmp");
    EXPECT_EQ(lv->stage(0).name.str(), "title_picture_with_l");
    EXPECT_EQ(lv->stage(0).path.str(), "/w/backpx/title_picture_with_long_name.bmp");
    EXPECT_EQ(lv->stageCount, 2);
}

TEST(AddStages, AFileWithoutSizeAddsNothing) {
    auto lv = freshLevel();
    auto failing = [](const std::string& p) -> std::int64_t {
        if (p.find("bad") != std::string::npos) throw Error("File not found");
        return 5;
    };
    EXPECT_EQ(errorOf([&] { addStages(*lv, {"/w/good.bmp", "/w/bad.bmp"}, failing); }),
              "File not found");
    EXPECT_EQ(lv->stageCount, 0);
    EXPECT_TRUE(lv->stage(1).name.empty());
    // By default the real file size is taken.
    EXPECT_THROW(addStages(*lv, {"/nonexistent/folder/x.bmp"}), Error);
    EXPECT_EQ(lv->stageCount, 0);
}

TEST(ModifyStage, KeepsSpritesAndSectors) {
    auto lv = freshLevel();
    addStages(*lv, stageFiles(1, 2), sizeByLength);
    lv->stage(2).spriteCount = 3;
    lv->stage(2).sectorCount = 1;
    modifyStage(*lv, 2, "/x/other.bmp", sizeByLength);
    EXPECT_EQ(lv->stage(2).name.str(), "other.bmp");
    EXPECT_EQ((Ints{lv->stage(2).size, lv->stage(2).spriteCount, lv->stage(2).sectorCount}), (Ints{12, 3, 1}));
    EXPECT_EQ(errorOf([&] { modifyStage(*lv, 3, "/x/y.bmp", sizeByLength); }),
              "Select the stage you want to modify !");
}

namespace {

// Three stages; stage k has k sprites and k+1 sectors. Sprites on stage 1
// and 2 share "shared.bmp"; each stage also has a picture of its own.
struct ThreeStages : ::testing::Test {
    std::unique_ptr<Level> lv = freshLevel();
    FakeDisplay d;
    SeqRandom rnd{{5, 7, 11, 13}};

    void SetUp() override {
        d.add("shared.bmp", 64, 32, 2);
        for (int k = 1; k <= 3; ++k) d.add("own" + std::to_string(k) + ".bmp", 90, 30, 3);
        addStages(*lv, stageFiles(1, 3), sizeByLength);
        for (int k = 1; k <= 3; ++k) {
            lv->openStage = k;
            std::vector<std::string> names{"own" + std::to_string(k) + ".bmp"};
            for (int i = 1; i < k; ++i) names.push_back("shared.bmp");
            addSprites(*lv, "/w/sprites", names, d.callbacks(), d.detector(), std::ref(rnd));
            for (int n = 1; n <= k + 1; ++n) {
                lv->session.bandStartX = 10 * k + n;
                lv->session.mouseX = lv->session.bandStartX + 1;
                lv->session.bandStartY = 0;
                lv->session.mouseY = 1;
                addSectorFromBand(*lv);
            }
        }
    }
    void del(int k) { deleteStage(*lv, k, d.callbacks()); }
};

}  // namespace

TEST_F(ThreeStages, DeletingAStageMovesLaterStagesWithTheirSpritesAndSectors) {
    const int own2 = lv->findImage("own2.bmp"), shared = lv->findImage("shared.bmp");
    ASSERT_EQ(lv->image(shared).useCount, 3);
    SpriteRec s3 = lv->sprite(2, 3);
    del(2);
    EXPECT_EQ(lv->stage(1).name.str() + " " + lv->stage(2).name.str(), "stage1.bmp stage3.bmp");
    // Stage 3 moves down with its sprites and sectors; the vacated record has
    // none, its old slots stay as they were.
    EXPECT_EQ((Ints{lv->stageCount, lv->stage(2).spriteCount, lv->stage(2).sectorCount, lv->stage(3).spriteCount,
                    lv->stage(3).sectorCount}),
              (Ints{2, 3, 4, 0, 0}));
    EXPECT_EQ(lv->sprite(1, 2).name.str(), "own3.bmp");
    EXPECT_EQ((Ints{lv->sprite(2, 2).x, lv->sprite(2, 2).image}), (Ints{s3.x, s3.image}));
    EXPECT_EQ(lv->sector(4, 2).name.str() + " " + std::to_string(lv->sector(4, 2).x), "Sector4 34");
    EXPECT_EQ(lv->sprite(3, 3).name.str(), "shared.bmp");
    // The deleted stage's pictures are released; shared ones lose a user.
    EXPECT_TRUE(lv->image(own2).name.empty());
    EXPECT_EQ((Ints{lv->image(shared).useCount, d.releases, static_cast<int>(d.live.size())}), (Ints{2, 1, 3}));
    // Stage 3 (now 2) still draws from its own picture.
    EXPECT_EQ(lv->image(lv->sprite(1, 2).image).name.str(), "own3.bmp");
}

TEST_F(ThreeStages, DeletingTheLastStageMovesNothingAndDeletingAllFreesEveryPicture) {
    SpriteRec before = lv->sprite(1, 2);
    del(3);
    // own3 was the highest image slot.
    EXPECT_EQ((Ints{lv->stageCount, lv->stage(2).spriteCount, lv->sprite(1, 2).x, lv->imageCount}),
              (Ints{2, 2, before.x, 3}));
    del(1);
    del(1);
    EXPECT_EQ((Ints{lv->stageCount, lv->imageCount, static_cast<int>(d.live.size()), d.releases}), (Ints{0, 0, 0, 4}));
}

TEST_F(ThreeStages, AStageAddedAfterDeletionStartsEmpty) {
    EXPECT_EQ(errorOf([&] { del(0); }), "Select the stage you want to delete !");
    EXPECT_THROW(del(4), Error);
    EXPECT_EQ(lv->stageCount, 3);
    del(1);
    addStages(*lv, {"/w/new.bmp"}, sizeByLength);
    EXPECT_EQ((Ints{lv->stageCount, lv->stage(3).spriteCount, lv->stage(3).sectorCount}), (Ints{3, 0, 0}));
}

TEST(DeleteStage, ThirtyStagesLoseOne) {
    auto lv = freshLevel();
    FakeDisplay d;
    addStages(*lv, stageFiles(1, 30), sizeByLength);
    for (int k = 1; k <= 30; ++k) {
        lv->stage(k).sectorCount = 1;
        lv->sector(1, k).x = k;
    }
    deleteStage(*lv, 10, d.callbacks());
    ASSERT_EQ(lv->stageCount, 29);
    for (int k = 1; k <= 29; ++k) {
        int old = k < 10 ? k : k + 1;
        EXPECT_EQ(lv->stage(k).name.str(), "stage" + std::to_string(old) + ".bmp");
        EXPECT_EQ(lv->sector(1, k).x, old);
    }
    EXPECT_EQ(lv->stage(30).sectorCount, 0);
}
