// Levels that Save must refuse: each is named in a whole message, and
// neither a package nor a table file is left behind.
#include <functional>
#include <limits>

#include "common/error_text.h"
#include "package_helpers.h"

using namespace pkgtest;

namespace {

TEST(SaveRefusal, EachFaultOfTheLevelIsNamed) {
    TempDir d;
    const std::string pkg = d / "out/p.slv";
    struct Case {
        std::function<void(slv::Level&)> spoil;
        std::string message;
    };
    const std::string coin = d.str() + "src/sprites/coin.bmp";
    const Case cases[] = {
        {[](slv::Level& l) { l.imageCount = 3001; }, "The level counts 3001 images; at most 3000 fit"},
        {[](slv::Level& l) { l.imageCount = -1; }, "The level counts -1 images; at most 3000 fit"},
        {[](slv::Level& l) { l.stageCount = 31; }, "Total stages are more than 30 !"},
        {[](slv::Level& l) { l.image(1).path.set("/x/"); }, R"(The path of image 1 "hero.bmp" ("/x/") names no file)"},
        {[](slv::Level& l) { l.stage(2).name.set("a/b"); }, "Stage 2 has no valid name"},
        {[](slv::Level& l) { l.stage(2).name.clear(); }, "Stage 2 has no valid name"},
        {[&](slv::Level&) { fs::remove(coin); },
         R"(Cannot read the bitmap of image 2 "coin.bmp" (")" + coin + R"("): File not found)"},
        {[](slv::Level& l) { l.sprite(2, 1).image = 3; },
         "The level cannot be saved: sprite 2 of stage 1 uses image 3 but the package holds 2 images"},
        {[](slv::Level& l) { l.image(2).name.clear(); },  // freed while sprites still use it
         "The level cannot be saved: sprite 2 of stage 1 uses image 2 but the package holds 1 images"},
        {[](slv::Level& l) { l.sprite(1, 2).frameCount = 0; },
         "The level cannot be saved: sprite 1 of stage 2 has 0 frames (at least 1 needed)"},
        {[](slv::Level& l) { l.stage(1).spriteCount = 101; },
         "The level cannot be saved: stage 1 counts 101 sprites (0 to 100 allowed)"},
        {[](slv::Level& l) { l.stage(2).sectorCount = -1; },
         "The level cannot be saved: stage 2 counts -1 sectors (0 to 100 allowed)"},
    };
    for (const Case& c : cases) {
        auto l = smallLevel(d.str());
        c.spoil(*l);
        EXPECT_EQ(errorOf([&] { save(*l, pkg); }), c.message);
        EXPECT_FALSE(fs::exists(pkg)) << c.message;
        EXPECT_FALSE(anyTemp(d.str())) << c.message;
    }
    EXPECT_EQ(errorOf([&] { save(*smallLevel(d.str()), d / "out/"); }), "Invalid filename");
}

TEST(SaveRefusal, HeaderEntriesOnlyForSizesAPackageCanHold) {
    TempDir d;
    const std::int32_t most = std::numeric_limits<std::int32_t>::max();
    struct Case {
        std::function<void(slv::Level&)> spoil;
        std::string message;
    };
    const Case cases[] = {
        {[](slv::Level& l) { l.imageCount = 3001; }, "The level counts 3001 images; a package holds at most 3000"},
        {[](slv::Level& l) { l.stageCount = -1; }, "Total stages are more than 30 !"},
        {[](slv::Level& l) { l.image(1).size = -1; }, "Image 1 has a negative size"},
        {[](slv::Level& l) { l.stage(2).size = -7; }, "Stage 2 has a negative size"},
        // Past 2 GB at a later member, or with the last one.
        {[&](slv::Level& l) { l.image(1).size = most - 100; },
         "The level is too large for a package (more than 2 GB of bitmaps)"},
        {[&](slv::Level& l) { l.stage(2).size = most - 1185052 - 5000 - 7000 - 4800 + 1; },
         "The level is too large for a package (more than 2 GB of bitmaps)"},
        {[&](slv::Level& l) { l.stage(2).size = most - 1185052 - 5000 - 7000 - 4800; }, ""},  // just fits
    };
    for (const Case& c : cases) {
        auto l = smallLevel(d.str());
        c.spoil(*l);
        EXPECT_EQ(errorOf([&] { slv::headerEntries(*l); }), c.message);
    }
}

}  // namespace
