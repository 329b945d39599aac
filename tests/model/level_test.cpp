#include <gtest/gtest.h>

#include <cstring>

#include "model/errors.h"
#include "model/level.h"

using namespace slv;

TEST(Level, SpriteAndSectorTablesAreLaidOutByNumberThenStage) {
    Level l;
    auto* base = reinterpret_cast<char*>(l.spriteTable);
    EXPECT_EQ(reinterpret_cast<char*>(&l.sprite(3, 2)) - base, (3 - 1) * 1800 + (2 - 1) * 60);
    auto* sbase = reinterpret_cast<char*>(l.sectorTable);
    EXPECT_EQ(reinterpret_cast<char*>(&l.sector(4, 0)) - sbase, 3 * 1240);
    EXPECT_EQ(reinterpret_cast<char*>(&l.sector(4, 7)) - sbase, 3 * 1240 + 7 * 40);
}

TEST(Level, AccessorsRejectIndicesOutsideTheTables) {
    Level l;
    EXPECT_THROW(l.stage(-1), Error);
    EXPECT_THROW(l.stage(31), Error);
    EXPECT_NO_THROW(l.stage(0));
    EXPECT_THROW(l.sprite(0, 1), Error);
    EXPECT_THROW(l.sprite(101, 1), Error);
    EXPECT_THROW(l.sprite(1, 0), Error);   // no column for stage 0
    EXPECT_THROW(l.sprite(1, 31), Error);
    EXPECT_NO_THROW(l.sector(1, 0));
    EXPECT_THROW(l.sector(1, 31), Error);
    EXPECT_THROW(l.sector(101, 1), Error);
    EXPECT_THROW(l.image(0), Error);
    EXPECT_THROW(l.image(3001), Error);
    EXPECT_NO_THROW(l.image(3000));
    EXPECT_THROW(l.pose(10001), Error);
    EXPECT_THROW(l.skin(301), Error);
    EXPECT_THROW(l.command(1001), Error);
    try {
        l.image(3001);
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Range check error");
    }
}

TEST(Level, InitialValues) {
    Level l;
    EXPECT_EQ(l.totstages, 0);
    EXPECT_EQ(l.curstage, 0);
    EXPECT_EQ(l.kcom, -1);
    EXPECT_EQ(l.heldkey1, -1);
    EXPECT_EQ(l.heldkey2, -1);
    EXPECT_EQ(l.heldkey3, -1);
    EXPECT_TRUE(l.spriteshown);
    EXPECT_TRUE(l.fillingpos);
    EXPECT_TRUE(l.firsttick);
    EXPECT_FALSE(l.banding);
    EXPECT_EQ(l.spriteboxcolor, 10u | (100u << 8) | (70u << 16));
    EXPECT_EQ(l.sectorcolor, 70u | (10u << 8) | (150u << 16));
}

TEST(Level, SpritesOfDifferentStagesAreIndependent) {
    Level l;
    l.sprite(1, 2).x = 50;
    l.sprite(1, 3).x = 70;
    l.sprite(1, 2).x += 5;
    EXPECT_EQ(l.sprite(1, 2).x, 55);
    EXPECT_EQ(l.sprite(1, 3).x, 70);
}

TEST(NameFields, AreCutToTheirCapacity) {
    NameField n;
    n.set("abcdefghijklmnopqrstuvwxy");  // 25 characters
    EXPECT_EQ(n.len, 20);
    EXPECT_EQ(n.str(), "abcdefghijklmnopqrst");
    PathField p;
    p.set(std::string(300, 'x'));
    EXPECT_EQ(p.str().size(), 255u);
    n.set("");
    EXPECT_TRUE(n.empty());
}

TEST(NameFields, CutNeverSplitsAMultiByteCharacter) {
    NameField n;
    // 19 ASCII letters then a two-byte 'é': 21 bytes, the cut must drop the whole 'é'.
    n.set(std::string(19, 'a') + "\xC3\xA9");
    EXPECT_EQ(n.len, 19);
    // Three-byte characters: 7 of them make 21 bytes, 6 fit.
    n.set("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC");
    EXPECT_EQ(n.len, 18);
    EXPECT_EQ(cutText("ab", 5), "ab");
}

TEST(Lookups, ImageByExactNameFirstMatch) {
    Level l;
    l.image(2).name.set("tree.bmp");
    l.image(5).name.set("tree.bmp");
    EXPECT_EQ(l.findImage("tree.bmp"), 2);
    EXPECT_EQ(l.findImage("Tree.bmp"), 0);  // letter case counts
    EXPECT_EQ(l.findImage(""), 0);
    EXPECT_EQ(l.freeImageSlot(), 1);
    l.image(1).name.set("a.bmp");
    EXPECT_EQ(l.freeImageSlot(), 3);
}

TEST(Lookups, PoseLastRecordWinsWithinTheCount) {
    Level l;
    l.pose(1).name.set("run.bmp"); l.pose(1).totpos = 4;
    l.pose(2).name.set("run.bmp"); l.pose(2).totpos = 6;
    l.pose(3).name.set("run.bmp"); l.pose(3).totpos = 9;  // beyond the count
    l.totposes = 2;
    EXPECT_EQ(l.lookupPose("run.bmp"), 6);
    EXPECT_EQ(l.lastPoseIndex("run.bmp"), 2);
    EXPECT_EQ(l.lookupPose("walk.bmp"), -1);
}
