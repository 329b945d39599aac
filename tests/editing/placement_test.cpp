#include <gtest/gtest.h>

#include "fake_display.h"

using namespace slv;

namespace {

constexpr MouseButtons kLeft{true, false, false};
constexpr MouseButtons kRight{false, true, false};
constexpr MouseButtons kCtrlLeft{true, false, true};
constexpr MouseButtons kNone{};

struct Placement : ::testing::Test {
    std::unique_ptr<Level> lv = newLevel();
    ViewSelection sel;

    void SetUp() override {
        lv->totstages = 2;
        lv->curstage = 2;
        putSprite(1, 10, 10, 50, 40);   // 10..60 x 10..50
        putSprite(2, 40, 30, 30, 30);   // 40..70 x 30..60, over sprite 1
        putSprite(3, 300, 300, 10, 10);
        lv->stage(2).totsprites = 3;
    }
    void putSprite(int n, int x, int y, int w, int h) {
        SpriteRec& s = lv->sprite(n, 2);
        s.x = x, s.y = y, s.w = w, s.h = h;
    }
    // A band from (x0, y0) to (x1, y1) as the mouse draws it.
    ViewUpdate band(int x0, int y0, int x1, int y1) {
        viewMouseMove(*lv, EditPage::Sector, kNone, x0, y0, sel);
        viewMouseDown(*lv, EditPage::Sector, kRight, x0, y0, sel);
        viewMouseMove(*lv, EditPage::Sector, kNone, x1, y1, sel);
        return viewMouseUp(*lv, EditPage::Sector);
    }
    const SectorRec& sector(int n) { return lv->sector(n, lv->curstage); }
};

}  // namespace

TEST(HitRect, EdgesAreInside) {
    EXPECT_TRUE(hitRect(10, 10, 10, 10, 5, 5));
    EXPECT_TRUE(hitRect(15, 15, 10, 10, 5, 5));
    EXPECT_FALSE(hitRect(16, 15, 10, 10, 5, 5));
    EXPECT_FALSE(hitRect(9, 12, 10, 10, 5, 5));
    EXPECT_TRUE(hitRect(3, 4, 3, 4, 0, 0));
}

TEST_F(Placement, TheTopmostSpriteIsPicked) {
    EXPECT_EQ(pickSprite(*lv, 45, 35), 2);  // the overlap
    EXPECT_EQ(pickSprite(*lv, 20, 20), 1);
    EXPECT_EQ(pickSprite(*lv, 60, 50), 2);
    EXPECT_EQ(pickSprite(*lv, 60, 20), 1);  // right edge of sprite 1
    EXPECT_EQ(pickSprite(*lv, 30, 50), 1);  // bottom edge
    EXPECT_EQ(pickSprite(*lv, 61, 20), 0);
    EXPECT_EQ(pickSprite(*lv, 310, 310), 3);
    lv->stage(2).totsprites = 2;  // sprite 3 no longer counts
    EXPECT_EQ(pickSprite(*lv, 310, 310), 0);
    lv->curstage = 0;
    EXPECT_EQ(pickSprite(*lv, 20, 20), 0);
}

TEST_F(Placement, ClickAndDragMovesTheSprite) {
    ViewUpdate u = viewMouseDown(*lv, EditPage::Sprite, kLeft, 45, 35, sel);
    EXPECT_TRUE(u.showSprite);
    EXPECT_EQ(sel.spriteRow, 1);
    EXPECT_EQ(lv->dragdx, 5);
    EXPECT_EQ(lv->dragdy, 5);
    u = viewMouseMove(*lv, EditPage::Sprite, kLeft, 145, 235, sel);
    EXPECT_TRUE(u.showSprite);
    EXPECT_EQ(lv->sprite(2, 2).x, 140);
    EXPECT_EQ(lv->sprite(2, 2).y, 230);
    EXPECT_EQ(lv->mousex, 145);
    EXPECT_EQ(lv->sprite(2, 1).x, 0);  // the same number on another stage stays
}

TEST_F(Placement, CtrlDragKeepsTheSelection) {
    viewMouseDown(*lv, EditPage::Sprite, kLeft, 20, 20, sel);  // sprite 1
    ASSERT_EQ(sel.spriteRow, 0);
    ViewUpdate u = viewMouseDown(*lv, EditPage::Sprite, kCtrlLeft, 45, 35, sel);
    EXPECT_FALSE(u.showSprite);
    EXPECT_EQ(sel.spriteRow, 0);
    viewMouseMove(*lv, EditPage::Sprite, kCtrlLeft, 50, 50, sel);
    EXPECT_EQ(lv->sprite(1, 2).x, 40);  // grab offset 10 of the last pick
    EXPECT_EQ(lv->sprite(1, 2).y, 40);
    EXPECT_EQ(lv->sprite(2, 2).x, 40);
}

TEST_F(Placement, AClickOnEmptyViewClearsTheSelection) {
    viewMouseDown(*lv, EditPage::Sprite, kLeft, 20, 20, sel);
    ViewUpdate u = viewMouseDown(*lv, EditPage::Sprite, kLeft, 500, 5, sel);
    EXPECT_TRUE(u.showSprite);
    EXPECT_EQ(sel.spriteRow, -1);
    u = viewMouseMove(*lv, EditPage::Sprite, kLeft, 100, 100, sel);
    EXPECT_FALSE(u.showSprite);
    EXPECT_EQ(lv->sprite(1, 2).x, 10);
}

TEST_F(Placement, OtherPagesOnlyRecordThePointer) {
    ViewUpdate u = viewMouseDown(*lv, EditPage::Stage, kLeft, 20, 20, sel);
    EXPECT_FALSE(u.showSprite || u.showSector || u.bandStarted);
    EXPECT_EQ(sel.spriteRow, -1);
    sel.spriteRow = 0;
    viewMouseMove(*lv, EditPage::Pather, kLeft, 77, 88, sel);
    EXPECT_EQ(lv->mousex, 77);
    EXPECT_EQ(lv->mousey, 88);
    EXPECT_EQ(lv->sprite(1, 2).x, 10);
    viewMouseDown(*lv, EditPage::Stage, kRight, 20, 20, sel);
    EXPECT_FALSE(lv->banding);
}

TEST_F(Placement, ARowBeyondTheCountIsNotDragged) {
    sel.spriteRow = 3;  // a list left over from another stage
    lv->sprite(4, 2).x = 99;
    viewMouseMove(*lv, EditPage::Sprite, kLeft, 1, 1, sel);
    EXPECT_EQ(lv->sprite(4, 2).x, 99);
}

TEST_F(Placement, RubberBandsInAllFourDirectionsGiveTheSameSector) {
    const int corners[4][4] = {{100, 50, 160, 90}, {160, 90, 100, 50}, {160, 50, 100, 90},
                               {100, 90, 160, 50}};
    for (int i = 0; i < 4; ++i) {
        ViewUpdate u = band(corners[i][0], corners[i][1], corners[i][2], corners[i][3]);
        EXPECT_EQ(u.newSector, i + 1);
        const SectorRec& s = sector(i + 1);
        EXPECT_EQ(s.name.str(), "Sector" + std::to_string(i + 1));
        EXPECT_EQ(s.x, 100);
        EXPECT_EQ(s.y, 50);
        EXPECT_EQ(s.w, 60);
        EXPECT_EQ(s.h, 40);
    }
    EXPECT_EQ(lv->stage(2).totsectors, 4);
    EXPECT_FALSE(lv->banding);
}

TEST_F(Placement, ARightClickWithoutMovingGivesAnEmptySector) {
    band(33, 44, 33, 44);
    EXPECT_EQ(sector(1).x, 33);
    EXPECT_EQ(sector(1).y, 44);
    EXPECT_EQ(sector(1).w, 0);
    EXPECT_EQ(sector(1).h, 0);
}

TEST_F(Placement, TheBandEndsAtTheLastMovePosition) {
    viewMouseDown(*lv, EditPage::Sector, kRight, 10, 10, sel);
    EXPECT_TRUE(lv->banding);
    ViewUpdate u = viewMouseMove(*lv, EditPage::Sector, kRight, 4, 30, sel);
    EXPECT_TRUE(u.bandChanged);
    EXPECT_EQ(lv->mousex - lv->bandx, -6);  // shown as the band's width
    // Released on another page: the band goes on.
    EXPECT_EQ(viewMouseUp(*lv, EditPage::Sprite).newSector, 0);
    EXPECT_TRUE(lv->banding);
    u = viewMouseUp(*lv, EditPage::Sector);
    EXPECT_EQ(u.newSector, 1);
    EXPECT_EQ(sector(1).x, 4);
    EXPECT_EQ(sector(1).w, 6);
    EXPECT_EQ(sector(1).h, 20);
}

TEST_F(Placement, SectorsWithoutAnOpenStageGoToColumnZero) {
    lv->curstage = 0;
    band(1, 2, 3, 4);
    EXPECT_EQ(lv->stage(0).totsectors, 1);
    EXPECT_EQ(lv->sector(1, 0).w, 2);
    EXPECT_EQ(pickSector(*lv, 2, 3), 1);
    lv->curstage = 2;
    EXPECT_EQ(pickSector(*lv, 2, 3), 0);
}

TEST_F(Placement, SectorsArePickedAndDragged) {
    band(0, 0, 100, 100);
    band(50, 50, 150, 150);
    ViewUpdate u = viewMouseDown(*lv, EditPage::Sector, kLeft, 100, 100, sel);
    EXPECT_TRUE(u.showSector);
    EXPECT_EQ(sel.sectorRow, 1);
    EXPECT_EQ(lv->secdragdx, 50);
    viewMouseMove(*lv, EditPage::Sector, kLeft, 60, 70, sel);
    EXPECT_EQ(sector(2).x, 10);
    EXPECT_EQ(sector(2).y, 20);
    EXPECT_EQ(sector(1).x, 0);
    viewMouseDown(*lv, EditPage::Sector, kLeft, 400, 400, sel);
    EXPECT_EQ(sel.sectorRow, -1);
}

TEST_F(Placement, NamesFollowTheCountAfterDeletion) {
    band(0, 0, 1, 1);
    band(0, 0, 2, 2);
    band(0, 0, 3, 3);
    EXPECT_EQ(sector(3).name.str(), "Sector3");
    EXPECT_EQ(deleteSector(*lv, 2, 0), 0);
    EXPECT_EQ(sector(1).w, 2);
    band(0, 0, 4, 4);
    EXPECT_EQ(sector(3).name.str(), "Sector3");
    EXPECT_EQ(sector(2).name.str(), "Sector3");
}

TEST_F(Placement, DeletingSectorsStopsAtTheCount) {
    band(0, 0, 1, 1);
    EXPECT_EQ(deleteSector(*lv, 2, 0), -1);
    EXPECT_EQ(lv->stage(2).totsectors, 0);
    EXPECT_EQ(errorOf([&] { deleteSector(*lv, 2, 0); }), "Select the sector you want to delete !");
    EXPECT_THROW(deleteSector(*lv, 31, 0), Error);
    EXPECT_EQ(lv->stage(2).totsectors, 0);
}

TEST_F(Placement, AHundredSectorsIsTheLimit) {
    lv->stage(2).totsectors = 99;
    EXPECT_EQ(band(5, 5, 6, 6).newSector, 100);
    EXPECT_EQ(sector(100).name.str(), "Sector100");
    EXPECT_EQ(errorOf([&] { band(1, 1, 2, 2); }), "Too many sectors on this stage !");
    EXPECT_EQ(lv->stage(2).totsectors, 100);
    EXPECT_EQ(sector(100).x, 5);
    EXPECT_FALSE(lv->banding);
}

TEST_F(Placement, TypedPositionsWriteBackOnlyWhileShown) {
    EXPECT_TRUE(setSpriteX(*lv, 0, 120));
    EXPECT_TRUE(setSpriteY(*lv, 0, -3));
    EXPECT_EQ(lv->sprite(1, 2).x, 120);
    EXPECT_EQ(lv->sprite(1, 2).y, -3);
    lv->spriteshown = false;
    EXPECT_FALSE(setSpriteX(*lv, 0, 7));
    EXPECT_EQ(lv->sprite(1, 2).x, 120);
    lv->spriteshown = true;
    EXPECT_FALSE(setSpriteX(*lv, -1, 7));
    EXPECT_FALSE(setSpriteX(*lv, 3, 7));
}
