// The level's tables: the order records are stored in, the range check on
// every index, name fields cut to their capacity, and image look-up.
#include <gtest/gtest.h>

#include <functional>

#include "common/accents.h"
#include "common/error_text.h"
#include "common/ints.h"
#include "model/level.h"
#include "model/tablebounds.h"

using namespace slv;

TEST(Level, SpritesAndSectorsAreStoredByNumberThenStage) {
    Level l;
    auto offset = [](const void* p, const void* base) { return static_cast<const char*>(p) - static_cast<const char*>(base); };
    EXPECT_EQ(offset(&l.sprite(3, 2), l.spriteTable), (3 - 1) * 1800 + (2 - 1) * 60);
    EXPECT_EQ(offset(&l.sector(4, 7), l.sectorTable), 3 * 1240 + 7 * 40);
}

TEST(Level, IndicesOutsideTheTablesAreARangeCheckError) {
    Level l;
    const std::pair<std::function<void()>, bool> cases[] = {
        {[&] { l.stage(-1); }, true},     {[&] { l.stage(31); }, true},     {[&] { l.stage(0); }, false},
        {[&] { l.sprite(0, 1); }, true},  {[&] { l.sprite(101, 1); }, true}, {[&] { l.sprite(1, 0); }, true},
        {[&] { l.sprite(1, 31); }, true}, {[&] { l.sector(1, 0); }, false},  {[&] { l.sector(1, 31); }, true},
        {[&] { l.sector(101, 1); }, true}, {[&] { l.image(0); }, true},     {[&] { l.image(3001); }, true},
        {[&] { l.image(3000); }, false},  {[&] { l.pose(10001); }, true},
    };
    int i = 0;
    for (const auto& [call, refused] : cases) EXPECT_EQ(errorOf(call), refused ? "Range check error" : "") << i++;
}

// A count from a damaged record never takes a loop past its table, and only
// stages 1..30 hold sprites and sectors.
TEST(TableBounds, CountsAreHeldInTheTableAndStagesAreOneToThirty) {
    const Ints counts[] = {{-5, 100, 0}, {0, 100, 0}, {1, 100, 1}, {100, 100, 100}, {101, 100, 100}, {3000, 30, 30}};
    for (const Ints& c : counts) EXPECT_EQ(clampCount(c[0], c[1]), c[2]) << c[0] << " of " << c[1];
    const std::pair<int, bool> stages[] = {{-1, false}, {0, false}, {1, true}, {30, true}, {31, false}};
    for (const auto& [number, isStage] : stages) EXPECT_EQ(isStageNumber(number), isStage) << number;
}

TEST(NameFields, AreStoredInWindows1252AndCutByCharacters) {
    const std::string eAcute = kE, euro = "\xE2\x82\xAC", fifteen = times(kE, 15);
    struct Case {
        std::string text, shown, stored;
        bool whole;  // the field holds the text itself, nothing cut off
    };
    const Case cases[] = {
        {"abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrst", "abcdefghijklmnopqrst", false},
        {std::string(19, 'a') + eAcute, std::string(19, 'a') + eAcute, std::string(19, 'a') + "\xE9", true},
        {fifteen + ".bmp", fifteen + ".bmp", std::string(15, '\xE9') + ".bmp", true},  // 19 characters stay whole
        {fifteen + "_long.bmp", fifteen + "_long", std::string(15, '\xE9') + "_long", false},
        {euro + euro + euro, euro + euro + euro, "\x80\x80\x80", true},
        {"\xE6\x97\xA5.bmp", "?.bmp", "?.bmp", true},  // outside the code page
        {"", "", "", true},
    };
    for (const Case& c : cases) {
        NameField n;
        n.set(c.text);
        EXPECT_EQ(n.str(), c.shown) << c.text;
        EXPECT_EQ(n.stored(), c.stored) << c.text;
        EXPECT_EQ(n.holds(c.text), c.whole) << c.text;
        EXPECT_EQ(NameField::fits(c.text), c.whole) << c.text;
        EXPECT_EQ(n == c.text, c.shown == c.text) << c.text;
    }
    PathField p;
    p.set(std::string(300, 'x'));
    EXPECT_EQ(p.str().size(), 255u);
    p.set(std::string(254, 'x') + eAcute);  // a path is never cut inside a character
    EXPECT_EQ(p.str(), std::string(254, 'x'));
    EXPECT_EQ(cutText("ab", 5), "ab");
}

TEST(Lookups, ImageByExactNameFirstMatch) {
    Level l;
    l.image(2).name.set("tree.bmp");
    l.image(5).name.set("tree.bmp");
    EXPECT_EQ(l.findImage("tree.bmp"), 2);
    EXPECT_EQ(l.findImage("Tree.bmp"), 0);  // letter case counts
    EXPECT_EQ(l.findImage(""), 0);
    // A record keeps 20 characters: a longer name finds neither its own cut
    // record nor another file's, while a name of exactly 20 still finds its own.
    const std::string twenty = "hero_running_animati", longer = twenty + "on_v1.bmp";
    struct Case {
        std::string stored, looked;
        int image, pose;
    };
    const Case cases[] = {
        {longer, longer, 0, -1},
        {longer, twenty + "on_v2.bmp", 0, -1},
        {twenty, twenty, 3, 7},
        {twenty, longer, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored + " / " + c.looked);
        l.image(3).name.set(c.stored);
        l.poseCount = 1;
        l.pose(1).name.set(c.stored);
        l.pose(1).frameCount = 7;
        EXPECT_EQ((Ints{l.findImage(c.looked), l.lookupPose(c.looked), l.lastPoseIndex(c.looked)}),
                  (Ints{c.image, c.pose, c.pose == -1 ? 0 : 1}));
    }
    l.image(3).name.clear();
    l.poseCount = 0;
    EXPECT_EQ(l.freeImageSlot(), 1);
    l.image(1).name.set("a.bmp");
    EXPECT_EQ(l.freeImageSlot(), 3);
}
