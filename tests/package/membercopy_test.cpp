// Save and Open move the bitmaps between their files and the package in two
// ways: small ones through a buffer, large ones by the kernel. Both give the
// same bytes, and both notice a bitmap that changes while the level is saved.
#include <unistd.h>

#include "common/error_text.h"
#include "package_helpers.h"

using namespace pkgtest;

namespace {

constexpr std::size_t kSmall = 3000, kLarge = 300000;  // either side of the kernel copy's threshold

TEST(MemberCopy, SmallAndLargeBitmapsComeBackWhole) {
    TempDir d;
    auto l = std::make_unique<slv::Level>();
    addImage(*l, d.str(), 1, "small.bmp", kSmall);
    addImage(*l, d.str(), 2, "large.bmp", kLarge + 7);
    addStage(*l, d.str(), "small.bmp", kSmall + 1);
    addStage(*l, d.str(), "large.bmp", kLarge);
    addSprite(*l, 1, 1, 1, 1, 2);
    addSprite(*l, 2, 2, 3, 3, 2);
    fs::create_directories(d.path() / "a");
    fs::create_directories(d.path() / "b");
    save(*l, d / "a/level.slv");
    auto first = opened(d / "a/level.slv");
    save(*first, d / "b/level.slv");
    auto second = opened(d / "b/level.slv");
    for (const slv::Level* back : {first.get(), second.get()}) {
        for (int i = 1; i <= 2; ++i)
            EXPECT_EQ(readAll(back->image(i).path.str()), readAll(l->image(i).path.str())) << "image " << i;
        for (int s = 1; s <= 2; ++s)
            EXPECT_EQ(readAll(back->stage(s).path.str()), readAll(l->stage(s).path.str())) << "stage " << s;
    }
    EXPECT_TRUE(sameEntries(headerOf(d / "a/level.slv"), headerOf(d / "b/level.slv")));
}

// Changes a file once, when Save reports its first step (after measuring
// every bitmap, before copying any).
struct ChangeOnFirstStep : slv::PackageHooks {
    std::string path;
    std::int64_t newSize = 0;
    bool done = false;
    void step() override {
        if (done) return;
        done = true;
        if (newSize > static_cast<std::int64_t>(fs::file_size(path))) {
            std::string bytes = readAll(path);
            bytes.resize(static_cast<std::size_t>(newSize), 'x');
            writeFile(path, bytes);
        } else {
            fs::resize_file(path, static_cast<std::uintmax_t>(newSize));
        }
    }
};

TEST(MemberCopy, ABitmapThatChangesSizeWhileSavingIsRefused) {
    struct Case {
        std::size_t size;
        int change;
        const char* how;
    };
    const Case cases[] = {
        {kSmall, +1, "longer"},
        {kSmall, -1, "shorter"},
        {kLarge, +1, "longer"},
        {kLarge, -1, "shorter"},
        {kLarge, -static_cast<int>(kLarge), "shorter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes, " + std::to_string(c.change));
        TempDir d;
        auto l = smallLevel(d.str());
        const std::string stage = l->stage(2).path.str();
        writeBitmapBytes(stage, c.size, 5);
        fs::create_directories(d.path() / "out");
        ChangeOnFirstStep hooks;
        hooks.path = stage;
        hooks.newSize = static_cast<std::int64_t>(c.size) + c.change;
        EXPECT_EQ(errorOf([&] { slv::saveLevel(*l, d / "out/p.slv", hooks); }),
                  "\"" + stage + "\" became " + c.how + " while the level was being saved");
        EXPECT_FALSE(fs::exists(d / "out/p.slv"));
        EXPECT_FALSE(anyTemp(d.str()));
    }
}

}  // namespace
