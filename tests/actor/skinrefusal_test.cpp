// Damaged actor skin packages: each is refused with a message that names the
// package and the fault, before any table of the level changes.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "common/error_text.h"
#include "package/skinpackage.h"
#include "skindesc.h"
#include "skinfixture.h"

using namespace slv;
using namespace skintest;

namespace {

const char* kTwoSkins = R"(pack Two
start stand
skin stand stand.bmp 8 6 2
skin walk  walk.bmp  8 6 3
command stand walk stand Right
command walk  stand stand
)";

class SkinRefusal : public ::testing::Test {
protected:
    TempDir tmp;
    std::string pack = tmp / "actors/test.skn";
    std::string built;
    std::size_t names = 0, skins = 0, commands = 0;  // where the three tables start

    void SetUp() override {
        fs::create_directories(tmp / "bitmaps");
        fs::create_directories(tmp / "actors");
        writeFile(tmp / "bitmaps/stand.bmp", bmpBytes(16, 6));
        writeFile(tmp / "bitmaps/walk.bmp", bmpBytes(24, 6));
        built = buildSkinPackage(parseSkinDescription(kTwoSkins, "desc"), tmp / "bitmaps", "desc");
        writeFile(pack, built);
        const SkinHeader h = readSkinHeader(pack);
        names = static_cast<std::size_t>(h.members[0].offset);
        skins = static_cast<std::size_t>(h.members[1].offset);
        commands = static_cast<std::size_t>(h.members[2].offset);
    }

    // Opening the package as it is now: the error text, with the level
    // checked to be untouched and no table file left.
    std::string refusal() {
        auto lv = std::make_unique<Level>();
        SkinHooks hooks;
        hooks.loadSkin = [](int i, const std::string&) { return static_cast<SurfaceHandle>(100 + i); };
        const std::string error = errorOf([&] { openskin(*lv, pack, hooks); });
        EXPECT_EQ(lv->totskins, 0);
        EXPECT_EQ(lv->totcommands, 0);
        EXPECT_EQ(lv->skin(1).name.str(), "");
        for (const char* t : {"_packname.tmp", "_skins.tmp", "_commands.tmp"})
            EXPECT_FALSE(fs::exists(tmp / (std::string("actors/") + t))) << t;
        return error;
    }
};

TEST_F(SkinRefusal, EachDamageIsNamed) {
    auto at32 = [this](std::size_t off, std::int32_t v) { return [=, this] { put32(built, off, v); }; };
    auto byte = [this](std::size_t off, char v) { return [=, this] { built[off] = v; }; };
    const std::size_t walk = skins + sizeof(SkinRec);
    struct Case {
        std::function<void()> damage;
        std::string reason;
    };
    const Case cases[] = {
        {[this] { built.resize(63); }, "the file is too short to hold a package header"},
        {[this] { built.assign(1025 * 64, '\0'); }, "the header holds no two complete groups within 1024 entries"},
        {byte(0, 51), "entry 1: its name length 51 is over 50"},
        {byte(names + offsetof(PackNameRec, packname), 24), "the pack name's length 24 is over 23"},
        {byte(skins, 24), "skin 1: name length 24 is over 23"},
        {[=, this] { built[skins] = built[walk] = 0; }, "the package holds no skins"},
        {at32(walk + offsetof(SkinRec, totpos), 1025),
         R"(skin 2 ("walk.bmp"): frame count 1025 is not within 1..1024)"},
        {at32(skins + offsetof(SkinRec, w), 4097), R"(skin 1 ("stand.bmp"): frame size 4097x6 is not within 1..4096)"},
        {[=, this] {
             put32(built, skins + offsetof(SkinRec, w), 100);
             put32(built, skins + offsetof(SkinRec, totpos), 1000);
         },
         R"(skin 1 ("stand.bmp"): 1000 frames of width 100 are wider than 65536 pixels)"},
        {at32(commands + offsetof(CommandRec, key1), 70000),
         "command 1: key code 70000 is not a virtual-key code"},
        {at32(commands + offsetof(CommandRec, key3), -2), "command 1: key code -2 is not a virtual-key code"},
        {at32(commands + sizeof(CommandRec) + offsetof(CommandRec, to), 3),
         "command 2: to skin 3 is not one of the skins 1..2"},
        {[=, this] { built.replace(walk + 1, 4, "gone"); },
         R"(skin 2: its bitmap "gone.bmp" is neither in the package nor in the skins folder)"},
    };
    const std::string good = built;
    for (const Case& c : cases) {
        built = good;
        c.damage();
        writeFile(pack, built);
        fs::remove_all(tmp / "actors/skins");
        EXPECT_EQ(refusal(), "Cannot load the actor skin package " + pack + ": " + c.reason);
    }
}

}  // namespace
