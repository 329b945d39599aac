#include <gtest/gtest.h>

#include "fake_display.h"

using namespace slv;

namespace {

constexpr MouseButtons kLeft{true, false, false};
constexpr MouseButtons kRight{false, true, false};
constexpr MouseButtons kNone{};

struct Placement : ::testing::Test {
    std::unique_ptr<Level> lv = freshLevel();
    ViewSelection sel;

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
    ViewUpdate down(EditPage page, MouseButtons b, int x, int y) { return viewMouseDown(*lv, page, b, x, y, sel); }
    ViewUpdate move(EditPage page, MouseButtons b, int x, int y) { return viewMouseMove(*lv, page, b, x, y, sel); }
    // A band from (x0, y0) to (x1, y1) as the mouse draws it.
    ViewUpdate band(int x0, int y0, int x1, int y1) {
        move(EditPage::Sector, kNone, x0, y0);
        down(EditPage::Sector, kRight, x0, y0);
        move(EditPage::Sector, kNone, x1, y1);
        return viewMouseUp(*lv, EditPage::Sector);
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

TEST_F(Placement, ClickAndDragMovesTheSprite) {
    EXPECT_TRUE(down(EditPage::Sprite, kLeft, 45, 35).showSprite);
    EXPECT_EQ((Ints{sel.spriteRow, lv->session.dragOffsetX, lv->session.dragOffsetY}), (Ints{1, 5, 5}));
    EXPECT_TRUE(move(EditPage::Sprite, kLeft, 145, 235).showSprite);
    EXPECT_EQ((Ints{lv->sprite(2, 2).x, lv->sprite(2, 2).y, lv->session.mouseX}), (Ints{140, 230, 145}));
    EXPECT_EQ(lv->sprite(2, 1).x, 0);  // the same number on another stage stays
    // A row beyond the count (left over from another stage) is not dragged.
    sel.spriteRow = 3;
    lv->sprite(4, 2).x = 99;
    move(EditPage::Sprite, kLeft, 1, 1);
    EXPECT_EQ(lv->sprite(4, 2).x, 99);
}

TEST_F(Placement, OtherPagesOnlyRecordThePointer) {
    ViewUpdate u = down(EditPage::Stage, kLeft, 20, 20);
    EXPECT_FALSE(u.showSprite || u.showSector || u.bandStarted);
    EXPECT_EQ(sel.spriteRow, -1);
    sel.spriteRow = 0;
    move(EditPage::Pather, kLeft, 77, 88);
    EXPECT_EQ((Ints{lv->session.mouseX, lv->session.mouseY, lv->sprite(1, 2).x}), (Ints{77, 88, 10}));
    down(EditPage::Stage, kRight, 20, 20);
    EXPECT_FALSE(lv->session.bandActive);
}

TEST_F(Placement, RubberBandsInAllFourDirectionsAndOfSizeZero) {
    const int corners[4][4] = {{100, 50, 160, 90}, {160, 90, 100, 50}, {160, 50, 100, 90},
                               {100, 90, 160, 50}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(band(corners[i][0], corners[i][1], corners[i][2], corners[i][3]).newSector, i + 1);
        EXPECT_EQ(sector(i + 1).name.str(), "Sector" + std::to_string(i + 1));
        EXPECT_EQ(rectOf(sector(i + 1)), (Ints{100, 50, 60, 40})) << i;
    }
    EXPECT_EQ(lv->stage(2).sectorCount, 4);
    EXPECT_FALSE(lv->session.bandActive);
    // A right click without moving, and bands flat in one direction, make
    // no sector.
    const int flat[3][4] = {{33, 44, 33, 44}, {33, 44, 80, 44}, {33, 44, 33, 90}};
    for (auto& f : flat) {
        const ViewUpdate u = band(f[0], f[1], f[2], f[3]);
        EXPECT_EQ(u.newSector, 0);
        EXPECT_FALSE(u.showSector);
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

TEST_F(Placement, TheBandEndsAtTheLastMovePosition) {
    down(EditPage::Sector, kRight, 10, 10);
    EXPECT_TRUE(lv->session.bandActive);
    EXPECT_TRUE(move(EditPage::Sector, kRight, 4, 30).bandChanged);
    EXPECT_EQ(lv->session.mouseX - lv->session.bandStartX, -6);  // shown as the band's width
    // Released on another page: the band goes on.
    EXPECT_EQ(viewMouseUp(*lv, EditPage::Sprite).newSector, 0);
    EXPECT_TRUE(lv->session.bandActive);
    EXPECT_EQ(viewMouseUp(*lv, EditPage::Sector).newSector, 1);
    EXPECT_EQ(rectOf(sector(1)), (Ints{4, 10, 6, 20}));
}

TEST_F(Placement, SectorsWithoutAnOpenStageGoToColumnZero) {
    lv->openStage = 0;
    band(1, 2, 3, 4);
    EXPECT_EQ((Ints{lv->stage(0).sectorCount, lv->sector(1, 0).w, pickSector(*lv, 2, 3)}), (Ints{1, 2, 1}));
    lv->openStage = 2;
    EXPECT_EQ(pickSector(*lv, 2, 3), 0);
}

TEST_F(Placement, SectorsArePickedAndDragged) {
    band(0, 0, 100, 100);
    band(50, 50, 150, 150);
    EXPECT_TRUE(down(EditPage::Sector, kLeft, 100, 100).showSector);
    EXPECT_EQ((Ints{sel.sectorRow, lv->session.sectorDragOffsetX}), (Ints{1, 50}));
    move(EditPage::Sector, kLeft, 60, 70);
    EXPECT_EQ((Ints{sector(2).x, sector(2).y, sector(1).x}), (Ints{10, 20, 0}));
    down(EditPage::Sector, kLeft, 400, 400);
    EXPECT_EQ(sel.sectorRow, -1);
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
    EXPECT_EQ(band(5, 5, 6, 6).newSector, 100);
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
