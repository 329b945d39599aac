#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <sys/wait.h>

#include "actor/actor.h"
#include "actor/vkeys.h"
#include "common/ints.h"
#include "model/errors.h"
#include "package/skinpackage.h"
#include "skindesc.h"
#include "skinfixture.h"

using namespace slv;
using namespace skintest;

namespace {

// The message of the error `text` gives, or "" when it parses.
std::string parseError(const std::string& text) { return errorOf([&] { parseSkinDescription(text, "d.txt"); }); }

const std::string kHead = "pack P\nstart a\nskin a a.bmp 4 4 2\n";

int runTool(const std::string& args) {
    std::string cmd = std::string(SKINPACK_PROGRAM) + " " + args + " >/dev/null 2>&1";
    int st = std::system(cmd.c_str());
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// The actor with the skin package at `path` loaded; surfaces are the skin numbers.
std::unique_ptr<ActorState> openPackage(const std::string& path) {
    auto lv = std::make_unique<ActorState>();
    SkinHooks hooks;
    hooks.loadSkin = [](int i, const std::string&) { return static_cast<SurfaceHandle>(i); };
    loadSkinPackage(*lv, path, hooks);
    return lv;
}

}  // namespace

TEST(SkinDescription, ParsesSkinsCommandsAndKeys) {
    SkinDescription d = parseSkinDescription(
        "# comment\n\npack  My pack  \nstart 2\nskin a a.bmp 4 5 2   # trailing\n"
        "skin b b.bmp 6 7 3 oneshot\ncommand a b a Left Up Space\ncommand b a a\n",
        "d.txt");
    EXPECT_EQ(d.packageName, "My pack");
    EXPECT_EQ(d.firstSkin, 2);
    ASSERT_EQ(d.skins.size(), 2u);
    EXPECT_EQ(d.skins[1].bitmap, "b.bmp");
    EXPECT_EQ((Ints{d.skins[1].w, d.skins[1].h, d.skins[1].frames}), (Ints{6, 7, 3}));
    EXPECT_TRUE(d.skins[1].oneShot);
    EXPECT_FALSE(d.skins[0].oneShot);
    ASSERT_EQ(d.commands.size(), 2u);
    EXPECT_EQ(d.commands[0].keys, (std::vector<int>{37, 38, 32}));
    EXPECT_EQ((Ints{d.commands[0].from, d.commands[0].to, d.commands[0].line}), (Ints{1, 2, 7}));
    EXPECT_TRUE(d.commands[1].keys.empty());
    // A pack name of 23 characters fits, and so does every number, skin and
    // command count at its upper bound.
    d = parseSkinDescription("pack " + std::string(23, 'n') + "\nstart a\nskin a a.bmp 4 4 2\n", "d.txt");
    EXPECT_EQ(d.packageName.size(), 23u);
    for (const char* skin : {"skin b b.bmp 4096 4096 16", "skin b b.bmp 64 1 1024"})
        EXPECT_EQ(parseError(kHead + skin + "\n"), "") << skin;
    std::string most = "pack P\nstart s1\n";
    for (int i = 1; i <= 300; ++i) most += "skin s" + std::to_string(i) + " a.bmp 4 4 1\n";
    for (int i = 1; i <= 1000; ++i) most += "command s1 s2 s1\n";
    EXPECT_EQ(parseError(most), "");
    EXPECT_NE(parseError(most + "skin s301 a.bmp 4 4 1\n").find("more than 300 skins"), std::string::npos);
    EXPECT_NE(parseError(most + "command s1 s2 s1\n").find("more than 1000 commands"), std::string::npos);
}

TEST(SkinDescription, ErrorsNameTheirLine) {
    const std::pair<std::string, const char*> cases[] = {
        {kHead + "command a a a Lft\n", "d.txt:4: unknown key \"Lft\""},
        {kHead + "\ncommand a zz a\n", "d.txt:5: no skin is labelled \"zz\""},
        {kHead + "skin b b.bmp 0 4 1\n", "d.txt:4: frame width 0"},
        {kHead + "skin b b.bmp 4097 4 1\n", "d.txt:4: frame width 4097 is not within 1..4096"},
        {kHead + "skin b b.bmp 4 4097 1\n", "d.txt:4: frame height 4097 is not within 1..4096"},
        {kHead + "skin b b.bmp 1 4 1025\n", "d.txt:4: frame count 1025 is not within 1..1024"},
        {kHead + "skin b b.bmp 4096 4 17\n", "d.txt:4: the frames are wider than 65536 pixels together"},
        {kHead + "skin b b.bmp 4 4 two\n", "d.txt:4: frame count \"two\" is not a number"},
        {kHead + "skin a c.bmp 4 4 1\n", "d.txt:4: skin \"a\" is already described on line 3"},
        {kHead + "skin b ../b.bmp 4 4 1\n", "d.txt:4: the bitmap \"../b.bmp\""},
        {kHead + "skin b b.bmp 4 4 1 twice\n", "d.txt:4: unknown word"},
        {kHead + "skin 7 b.bmp 4 4 1\n", "d.txt:4: a skin label must not be a number"},
        {kHead + "skin b abcdefghijklmnopqrstuvwx.bmp 4 4 1\n", "d.txt:4: the bitmap name"},
        {kHead + "command a a a A B C D\n", "d.txt:4: \"command\" takes"},
        {kHead + "command a a a A A\n", "d.txt:4: key \"A\" is given twice"},
        {kHead + "command a 5 a\n", "d.txt:4: there is no skin 5"},
        {kHead + "jump a\n", "d.txt:4: unknown line"},
        {kHead + "pack Q\n", "d.txt:4: a second \"pack\" line"},
        {"pack " + std::string(24, 'x') + "\n", "d.txt:1: the pack name has 24"},
        {"pack P\nskin a a.bmp 4 4 1\n", "no \"start\" line"},
        {"pack P\nstart a\n", "no \"skin\" line"},
        {"start a\nskin a a.bmp 4 4 1\n", "no \"pack\" line"},
    };
    for (const auto& [text, words] : cases)
        EXPECT_NE(parseError(text).find(words), std::string::npos) << parseError(text);
}

TEST(BitmapSize, ReadsTheHeaderAndRefusesOtherFiles) {
    BitmapSize s = bitmapSize(bmpBytes(7, 3));
    EXPECT_EQ((Ints{s.width, s.height}), (Ints{7, 3}));
    std::string topDown = bmpBytes(5, 4);
    put32(topDown, 22, -4);
    EXPECT_EQ(bitmapSize(topDown).height, 4);
    for (const char* other : {"GIF89a.......................", "BM"}) EXPECT_THROW(bitmapSize(other), Error);
}

TEST(BuildSkinPackage, WrongSizedOrMissingBitmapsAreRefusedNamingTheLine) {
    TempDir tmp;
    auto buildError = [&] { return errorOf([&] { buildSkinPackage(parseSkinDescription(kHead, "d.txt"), tmp.path(), "d.txt"); }); };
    EXPECT_NE(buildError().find("d.txt:3: cannot read"), std::string::npos) << buildError();
    writeFile(tmp / "a.bmp", bmpBytes(9, 4));
    for (const char* words : {"d.txt:3:", "need 8x4"})
        EXPECT_NE(buildError().find(words), std::string::npos) << buildError();
}

TEST(BuildSkinPackage, SharedBitmapIsStoredOnceAndSingleBitmapPackageOpens) {
    TempDir tmp;
    writeFile(tmp / "a.bmp", bmpBytes(8, 4));
    SkinDescription d = parseSkinDescription(kHead + "skin b a.bmp 4 4 2 oneshot\n", "d.txt");
    std::string pkg = buildSkinPackage(d, tmp.path(), "d.txt");
    // Three tables, then the one bitmap alone in the second group.
    EXPECT_EQ((Ints{entryAt(pkg, 2).flag, entryAt(pkg, 3).flag}), (Ints{1, 1}));
    EXPECT_EQ(entryAt(pkg, 3).name.str(), "\\skins\\a.bmp");
    EXPECT_EQ(pkg.size(), 4u * 64 + 28 + 30000 + 28000 + bmpBytes(8, 4).size());
    writeFile(tmp / "out/x.skn", pkg);
    auto lv = openPackage(tmp / "out/x.skn");
    EXPECT_EQ(lv->skinCount, 2);
    EXPECT_EQ(lv->skin(2).name.str(), "a.bmp");
}

TEST(SkinpackProgram, ExitCodes) {
    TempDir tmp;
    EXPECT_EQ(runTool(""), 2);
    EXPECT_EQ(runTool("a b"), 2);
    writeFile(tmp / "bad.txt", "pack P\nstart a\nskin a a.bmp 4 4 two\n");
    EXPECT_EQ(runTool(tmp / "bad.txt" + " " + tmp.path().string() + " " + tmp / "bad.skn"), 1);
    EXPECT_FALSE(fs::exists(tmp / "bad.skn"));
    EXPECT_EQ(runTool(tmp / "none.txt" + " " + tmp.path().string() + " " + tmp / "x.skn"), 1);
    writeFile(tmp / "good.txt", kHead);
    writeFile(tmp / "a.bmp", bmpBytes(8, 4));
    EXPECT_EQ(runTool(tmp / "good.txt" + " " + tmp.path().string() + " " + tmp / "good.skn"), 0);
    EXPECT_NO_THROW(readSkinHeader(tmp / "good.skn"));
    EXPECT_EQ(runTool(tmp / "good.txt" + " " + tmp.path().string() + " " + tmp / "nofolder/good.skn"), 1);
}

TEST(DemoActor, DescriptionBuildsAPackageThatWalksAndJumps) {
    TempDir tmp;
    fs::create_directories(tmp / "home/actors");
    for (auto [name, frames] : {std::pair{"idle", 4}, {"walkright", 6}, {"walkleft", 6}, {"jump", 8}})
        writeFile(tmp / "bmp/" + name + ".bmp", bmpBytes(48 * frames, 64));
    const std::string desc = std::string(SLV_SOURCE_DIR) + "/assets/actor/test-skin.txt";
    ASSERT_EQ(runTool(desc + " " + tmp / "bmp" + " " + tmp / "home/actors/test.skn"), 0);

    auto lv = openPackage(tmp / "home/actors/test.skn");
    ASSERT_EQ(lv->skinCount, 4);
    EXPECT_EQ(lv->skin(lv->firstSkin).name.str(), "idle.bmp");
    std::map<std::string, int> skin;  // by bitmap name
    for (int i = 1; i <= lv->skinCount; ++i) {
        EXPECT_EQ(lv->skin(i).w, 48);
        EXPECT_EQ(lv->skin(i).h, 64);
        skin[lv->skin(i).name.str()] = i;
    }
    const int jump = skin["jump.bmp"], walkright = skin["walkright.bmp"], walkleft = skin["walkleft.bmp"];
    ASSERT_NE(jump, 0);
    EXPECT_NE(lv->skin(jump).oneShot, 0);
    EXPECT_EQ(lv->skin(jump).frameCount, 8);

    lv->currentSkin = lv->firstSkin;
    actorKeyDown(*lv, vk::Right);
    EXPECT_EQ(lv->currentSkin, walkright);
    actorKeyDown(*lv, vk::Left);
    EXPECT_EQ(lv->currentSkin, walkleft);
    updateActorSkin(*lv);  // both held: no flipping back and forth
    EXPECT_EQ(lv->currentSkin, walkleft);
    actorKeyUp(*lv, vk::Left);
    EXPECT_EQ(lv->currentSkin, lv->firstSkin);
    actorKeyUp(*lv, vk::Right);
    actorKeyDown(*lv, vk::Space);
    EXPECT_EQ(lv->currentSkin, jump);
    lv->skin(jump).frame = 8;
    updateActorSkin(*lv);  // the jump ends: back to idle even with Space still held
    EXPECT_EQ(lv->currentSkin, lv->firstSkin);
}
