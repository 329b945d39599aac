#include <gtest/gtest.h>

#include "fake_display.h"

using namespace slv;

namespace {

struct Placement : ::testing::Test {
    std::unique_ptr<Level> lv = freshLevel();

    void SetUp() override {
        lv->stageCount = 2;
        lv->openStage = 2;
        putSprite(1, 10, 10, 50, 40);   // 10..60 x 10..50
        putSprite(2, 40, 30, 30, 30);   // 40..70 x 30..60, over sprite 1
        putSprite(3, 300, 300, 10, 10);
        lv->stage(2).spriteCount = 3;
    }
    void putSprite(int n, int x, int y, int w, int h) {
        SpriteRec& s = lv->sprite(n, 2);
        s.x = x, s.y = y, s.w = w, s.h = h;
    }
    // A band from (x0, y0) to (x1, y1) made into a sector.
    int band(int x0, int y0, int x1, int y1) {
        lv->session.bandStartX = x0;
        lv->session.bandStartY = y0;
        lv->session.bandActive = true;
        lv->session.mouseX = x1;
        lv->session.mouseY = y1;
        return addSectorFromBand(*lv);
    }
    const SectorRec& sector(int n) { return lv->sector(n, lv->openStage); }
};

}  // namespace

TEST_F(Placement, TheTopmostSpriteIsPicked) {
    // The overlap, inside, the right and bottom edges of sprite 1, just outside.
    const int cases[][3] = {{45, 35, 2}, {20, 20, 1}, {60, 50, 2}, {60, 20, 1},
                            {30, 50, 1}, {61, 20, 0}, {310, 310, 3}};
    for (auto [x, y, n] : cases) EXPECT_EQ(pickSprite(*lv, x, y), n) << x << "," << y;
    lv->stage(2).spriteCount = 2;  // sprite 3 no longer counts
    EXPECT_EQ(pickSprite(*lv, 310, 310), 0);
    lv->openStage = 0;
    EXPECT_EQ(pickSprite(*lv, 20, 20), 0);
}

TEST_F(Placement, MovingPutsOnlyAnExistingItemOfTheOpenStage) {
    band(0, 0, 10, 10);
    const struct {
        bool sprite;
        int n, x, y;
        bool moved;
    } cases[] = {{true, 2, 140, 230, true}, {true, 3, -5, 7, true}, {true, 4, 1, 1, false},
                 {true, 0, 1, 1, false},    {false, 1, 60, 70, true}, {false, 2, 1, 1, false}};
    for (const auto& c : cases) {
        lv->sprite(4, 2).x = 99;
        const bool moved = c.sprite ? moveSprite(*lv, c.n, c.x, c.y) : moveSector(*lv, c.n, c.x, c.y);
        EXPECT_EQ(moved, c.moved) << c.n;
        if (c.moved && c.sprite) EXPECT_EQ((Ints{lv->sprite(c.n, 2).x, lv->sprite(c.n, 2).y}), (Ints{c.x, c.y}));
        if (c.moved && !c.sprite) EXPECT_EQ((Ints{sector(c.n).x, sector(c.n).y}), (Ints{c.x, c.y}));
        EXPECT_EQ(lv->sprite(4, 2).x, 99);  // beyond the count: left alone
    }
    EXPECT_EQ(lv->sprite(2, 1).x, 0);  // the same number on another stage stays
    lv->openStage = 0;
    EXPECT_FALSE(moveSprite(*lv, 1, 5, 5));
}

TEST_F(Placement, RubberBandsInAllFourDirectionsAndOfSizeZero) {
    const int corners[4][4] = {{100, 50, 160, 90}, {160, 90, 100, 50}, {160, 50, 100, 90},
                               {100, 90, 160, 50}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(band(corners[i][0], corners[i][1], corners[i][2], corners[i][3]), i + 1);
        EXPECT_EQ(sector(i + 1).name.str(), "Sector" + std::to_string(i + 1));
        EXPECT_EQ(rectOf(sector(i + 1)), (Ints{100, 50, 60, 40})) << i;
    }
    EXPECT_EQ(lv->stage(2).sectorCount, 4);
    EXPECT_FALSE(lv->session.bandActive);
    // A right click without moving, and bands flat in one direction, make
    // no sector.
    const int flat[3][4] = {{33, 44, 33, 44}, {33, 44, 80, 44}, {33, 44, 33, 90}};
    for (auto& f : flat) {
        EXPECT_EQ(band(f[0], f[1], f[2], f[3]), 0);
        EXPECT_FALSE(lv->session.bandActive);
    }
    EXPECT_EQ(lv->stage(2).sectorCount, 4);
}

TEST_F(Placement, TypedSectorValuesEditTheRowTheyName) {
    band(0, 0, 100, 100);
    band(50, 50, 150, 150);
    struct Case {
        int row;
        SectorField field;
        int value;
        bool changed;
        Ints first, second;
    } cases[] = {
        {1, SectorField::X, 7, true, {0, 0, 100, 100}, {7, 50, 100, 100}},
        {1, SectorField::Y, -8, true, {0, 0, 100, 100}, {7, -8, 100, 100}},
        {0, SectorField::W, 30, true, {0, 0, 30, 100}, {7, -8, 100, 100}},
        {0, SectorField::H, 40, true, {0, 0, 30, 40}, {7, -8, 100, 100}},
        {0, SectorField::H, 40, false, {0, 0, 30, 40}, {7, -8, 100, 100}},   // same value
        {0, SectorField::W, -1, false, {0, 0, 30, 40}, {7, -8, 100, 100}},   // negative size
        {2, SectorField::X, 9, false, {0, 0, 30, 40}, {7, -8, 100, 100}},    // no such row
        {-1, SectorField::X, 9, false, {0, 0, 30, 40}, {7, -8, 100, 100}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(setSectorField(*lv, c.row, c.field, c.value), c.changed) << c.row << " " << c.value;
        EXPECT_EQ(rectOf(sector(1)), c.first);
        EXPECT_EQ(rectOf(sector(2)), c.second);
    }
}

TEST_F(Placement, SectorsWithoutAnOpenStageGoToColumnZero) {
    lv->openStage = 0;
    band(1, 2, 3, 4);
    EXPECT_EQ((Ints{lv->stage(0).sectorCount, lv->sector(1, 0).w, pickSector(*lv, 2, 3)}), (Ints{1, 2, 1}));
    lv->openStage = 2;
    EXPECT_EQ(pickSector(*lv, 2, 3), 0);
}

TEST_F(Placement, TheTopmostSectorIsPicked) {
    band(0, 0, 100, 100);
    band(50, 50, 150, 150);
    const int cases[][3] = {{100, 100, 2}, {10, 10, 1}, {150, 150, 2}, {151, 150, 0}, {400, 400, 0}};
    for (auto [x, y, n] : cases) EXPECT_EQ(pickSector(*lv, x, y), n) << x << "," << y;
}

TEST_F(Placement, DeletingSectorsStopsAtTheCountAndNamesFollowIt) {
    for (int n = 1; n <= 3; ++n) band(0, 0, n, n);
    EXPECT_EQ(sector(3).name.str(), "Sector3");
    EXPECT_EQ(deleteSector(*lv, 2, 0), 0);
    EXPECT_EQ(sector(1).w, 2);
    band(0, 0, 4, 4);
    EXPECT_EQ(sector(3).name.str(), "Sector1");  // the lowest free name
    EXPECT_EQ(sector(2).name.str(), "Sector3");
    for (int left = 2; left >= 0; --left) EXPECT_EQ(deleteSector(*lv, 2, 0), left ? 0 : -1);
    EXPECT_EQ(lv->stage(2).sectorCount, 0);
    EXPECT_EQ(errorOf([&] { deleteSector(*lv, 2, 0); }), "Select the sector you want to delete !");
    EXPECT_THROW(deleteSector(*lv, 31, 0), Error);
    EXPECT_EQ(lv->stage(2).sectorCount, 0);
}

TEST_F(Placement, AHundredSectorsIsTheLimit) {
    lv->stage(2).sectorCount = 99;
    for (int n = 1; n <= 99; ++n) lv->sector(n, 2).name.set("Sector" + std::to_string(n));
    EXPECT_EQ(band(5, 5, 6, 6), 100);
    EXPECT_EQ(sector(100).name.str(), "Sector100");
    EXPECT_EQ(errorOf([&] { band(1, 1, 2, 2); }), "Too many sectors on this stage !");
    EXPECT_EQ((Ints{lv->stage(2).sectorCount, sector(100).x}), (Ints{100, 5}));
    EXPECT_FALSE(lv->session.bandActive);
}

TEST_F(Placement, TypedPositionsWriteBackOnlyWhileShown) {
    EXPECT_TRUE(setSpriteX(*lv, 0, 120));
    EXPECT_TRUE(setSpriteY(*lv, 0, -3));
    EXPECT_EQ((Ints{lv->sprite(1, 2).x, lv->sprite(1, 2).y}), (Ints{120, -3}));
    lv->session.spritesShown = false;
    EXPECT_FALSE(setSpriteX(*lv, 0, 7));
    EXPECT_EQ(lv->sprite(1, 2).x, 120);
    lv->session.spritesShown = true;
    EXPECT_FALSE(setSpriteX(*lv, -1, 7));
    EXPECT_FALSE(setSpriteX(*lv, 3, 7));
}
