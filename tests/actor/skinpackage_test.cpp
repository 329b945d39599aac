#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "actor/actor.h"
#include "actor/vkeys.h"
#include "common/error_text.h"
#include "common/ints.h"
#include "model/errors.h"
#include "package/skinpackage.h"
#include "skindesc.h"
#include "skinfixture.h"

using namespace slv;
using namespace skintest;

namespace {

const char* kDescription = R"(# three skins
pack Walker of the test pack
start walk
skin stand stand.bmp 8 6 2
skin walk  walk.bmp  8 6 3
skin hop   hop.bmp  10 6 4 oneshot
command stand walk stand Left Up
command walk  hop  stand Space
command hop   stand stand
)";

class SkinPackageTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::unique_ptr<ActorState> lv = std::make_unique<ActorState>();
    std::string bitmaps, pack, package;
    std::vector<std::pair<int, std::string>> loads;
    std::vector<SurfaceHandle> released;
    SkinHooks hooks;

    void SetUp() override {
        ASSERT_FALSE(tmp.path().empty());
        bitmaps = tmp / "bitmaps";
        fs::create_directory(bitmaps);
        fs::create_directory(tmp / "actors");
        writeFile(bitmaps + "/stand.bmp", bmpBytes(16, 6));
        writeFile(bitmaps + "/walk.bmp", bmpBytes(24, 6));
        writeFile(bitmaps + "/hop.bmp", bmpBytes(40, 6));
        pack = tmp / "actors/test.skn";
        package = buildSkinPackage(parseSkinDescription(kDescription, "desc"), bitmaps, "desc");
        writeFile(pack, package);
        hooks.loadSkin = [this](int i, const std::string& p) {
            loads.emplace_back(i, p);
            return static_cast<SurfaceHandle>(100 + i);
        };
        hooks.releaseSkin = [this](SurfaceHandle h) { released.push_back(h); };
        // Something to keep when a package is refused.
        lv->skin(1).name.set("keep.bmp");
        lv->skinCount = 1;
        lv->commandCount = 0;
        lv->firstSkin = 1;
        lv->packageName = "old pack";
        for (int i = 1; i <= kMaxCommands; ++i) lv->command(i) = CommandRec{-1, -1, -1, 0, -1, 0, 0};
    }

    bool tableFilesLeft() const {  // links planted by a test are not table files
        auto left = [](const std::string& p) { return fs::is_regular_file(fs::symlink_status(p)); };
        return left(tmp / "actors/_packname.tmp") || left(tmp / "actors/_skins.tmp") ||
               left(tmp / "actors/_commands.tmp");
    }

    // Offset of member `i`'s bytes in the package written by the builder.
    std::size_t memberOffset(int i) const {
        int count = 0;
        while (entryAt(package, count).flag == 0) ++count;
        int g1 = count + 1;
        return static_cast<std::size_t>(64 * (g1 + 1) + entryAt(package, i).start);
    }

    void rewrite() { writeFile(pack, package); }

    // loadSkinPackage must fail with a message holding `words`, keep the tables and
    // leave no table file behind; the message.
    std::string expectRefused(const std::string& words) {
        const std::string error = errorOf([&] { loadSkinPackage(*lv, pack, hooks); });
        EXPECT_NE(error.find(words), std::string::npos) << "refused with \"" << error << "\"";
        EXPECT_EQ((Ints{lv->skinCount, lv->firstSkin, lv->commandCount, lv->command(1).from}), (Ints{1, 1, 0, -1}));
        EXPECT_EQ(lv->skin(1).name.str(), "keep.bmp");
        EXPECT_EQ(lv->packageName, "old pack");
        EXPECT_FALSE(tableFilesLeft());
        return error;
    }
};

}  // namespace

TEST_F(SkinPackageTest, BuilderLaysOutTwoFlaggedGroupsWithDataAfterTheHeader) {
    // 3 tables + 3 bitmaps; group one ends on the second-to-last entry.
    const char* names[] = {"\\_packname.tmp", "\\_skins.tmp", "\\_commands.tmp",
                           "\\skins\\stand.bmp", "\\skins\\walk.bmp", "\\skins\\hop.bmp"};
    const int sizes[] = {28, 30000, 28000, 54 + 48 * 6, 54 + 72 * 6, 54 + 120 * 6};
    std::int32_t start = 0;
    for (int i = 0; i < 6; ++i) {
        PackEntry e = entryAt(package, i);
        EXPECT_EQ(e.name.str(), names[i]);
        EXPECT_EQ(e.start, start);
        EXPECT_EQ(e.size, sizes[i]);
        EXPECT_EQ(e.flag, i >= 4 ? 1 : 0) << i;
        start += e.size;
    }
    EXPECT_EQ(package.size(), 6u * 64 + static_cast<std::size_t>(start));
    SkinHeader h = readSkinHeader(pack);
    EXPECT_EQ((Ints{h.g1, h.entries, int(h.members[0].offset)}), (Ints{5, 6, 384}));
    EXPECT_EQ(h.members[5].name, "skins/hop.bmp");
}

TEST_F(SkinPackageTest, LoadSkinPackageFillsTheTablesFromABuiltPackage) {
    loadSkinPackage(*lv, pack, hooks);
    EXPECT_EQ((Ints{lv->skinCount, lv->commandCount, lv->firstSkin, lv->skin(2).frameCount}), (Ints{3, 3, 2, 3}));
    EXPECT_EQ(lv->packageName, "Walker of the test pack");
    EXPECT_EQ(lv->skin(1).name.str(), "stand.bmp");
    EXPECT_EQ((Ints{lv->skin(3).w, lv->skin(3).h, lv->skin(3).frame}), (Ints{10, 6, 1}));
    EXPECT_NE(lv->skin(3).oneShot, 0);
    EXPECT_EQ(lv->skin(1).oneShot, 0);
    EXPECT_EQ(lv->skin(4).name.str(), "");
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(lv->skin(i).surface, 100u + i);
    const CommandRec& c1 = lv->command(1);
    EXPECT_EQ((Ints{c1.key1, c1.key2, c1.key3, c1.from, c1.to, c1.back}), (Ints{vk::Left, vk::Up, -1, 1, 2, 1}));
    EXPECT_EQ((Ints{lv->command(3).key1, lv->command(3).from, lv->command(4).from, lv->command(1000).key1}),
              (Ints{-1, 3, -1, -1}));
    ASSERT_EQ(loads.size(), 3u);
    EXPECT_EQ(loads[1].first, 2);
    EXPECT_EQ(fs::path(loads[1].second).lexically_normal(),
              fs::path(tmp / "actors/skins/walk.bmp").lexically_normal());
    EXPECT_FALSE(tableFilesLeft());
    EXPECT_EQ(readFile(tmp / "actors/skins/hop.bmp"), bmpBytes(40, 6));
}

TEST_F(SkinPackageTest, AStoredFrameOutsideTheStripStartsOver) {
    const std::size_t names = memberOffset(1);  // stand 2 frames, walk 3, hop 4
    put32(package, names + offsetof(SkinRec, frame), 2);
    put32(package, names + 100 + offsetof(SkinRec, frame), 4);
    put32(package, names + 200 + offsetof(SkinRec, frame), 0);
    rewrite();
    loadSkinPackage(*lv, pack, hooks);
    EXPECT_EQ((Ints{lv->skin(1).frame, lv->skin(2).frame, lv->skin(3).frame}), (Ints{2, 1, 1}));
}

TEST_F(SkinPackageTest, ExistingSkinBitmapsAreKept) {
    fs::create_directory(tmp / "actors/skins");
    writeFile(tmp / "actors/skins/walk.bmp", "edited by hand");
    loadSkinPackage(*lv, pack, hooks);
    EXPECT_EQ(readFile(tmp / "actors/skins/walk.bmp"), "edited by hand");
    EXPECT_EQ(readFile(tmp / "actors/skins/stand.bmp"), bmpBytes(16, 6));
}

TEST_F(SkinPackageTest, StaleTableFileInTheFolderIsUsedAndRemoved) {
    PackNameRec stale{};
    stale.firstSkin = 3;
    stale.packageName.set("left over");
    writeFile(tmp / "actors/_packname.tmp", std::string(reinterpret_cast<char*>(&stale), sizeof stale));
    loadSkinPackage(*lv, pack, hooks);
    EXPECT_EQ(lv->packageName, "left over");
    EXPECT_EQ(lv->firstSkin, 3);
    EXPECT_FALSE(tableFilesLeft());
}

TEST_F(SkinPackageTest, PackageBesideTheWorkingFolderExtractsThere) {
    // A bare file name has the current folder as its folder, never the root.
    fs::path old = fs::current_path();
    fs::current_path(tmp / "actors");
    EXPECT_NO_THROW(loadSkinPackage(*lv, "test.skn", hooks));
    fs::current_path(old);
    EXPECT_TRUE(fs::exists(tmp / "actors/skins/hop.bmp"));
    EXPECT_EQ(lv->skinCount, 3);
}

TEST_F(SkinPackageTest, RefusesAnEntryNameWithDotDot) {
    PackEntry e = entryAt(package, 3);
    e.name.set("\\skins\\..\\..\\evil.bmp");
    setEntry(package, 3, e);
    rewrite();
    expectRefused("leads outside");
    EXPECT_FALSE(fs::exists(tmp / "evil.bmp"));
    EXPECT_FALSE(fs::exists(tmp / "actors/skins"));  // nothing was written at all
}

TEST_F(SkinPackageTest, RefusesCorruptPackagesKeepingTheTables) {
    const std::string original = package;
    auto entry = [&](int i, auto edit) {
        PackEntry e = entryAt(package, i);
        edit(e);
        setEntry(package, i, e);
    };
    const std::size_t packTable = memberOffset(0), names = memberOffset(1), cmds = memberOffset(2);
    const std::size_t walk = names + sizeof(SkinRec);
    auto at32 = [&](std::size_t off, std::int32_t v) { return [&, off, v] { put32(package, off, v); }; };
    struct Case {
        std::string words;
        std::function<void()> patch;
    };
    const Case cases[] = {
        {"leads outside", [&] { entry(0, [](PackEntry& e) { e.name.set("\\..\\_packname.tmp"); }); }},
        {"truncated", [&] { package.resize(package.size() - 10); }},
        {"first group", [&] { package.resize(64 * 3 + 10); }},
        {"second group", [&] { entry(5, [](PackEntry& e) { e.flag = 0; }); }},
        {"30000 expected", [&] { entry(1, [](PackEntry& e) { e.size = 29999; }); }},
        {"negative", [&] { entry(0, [](PackEntry& e) { e.start = -64; }); }},
        {": the file is too short to hold a package header", [&] { package.resize(63); }},
        {": the header holds no two complete groups within 1024 entries", [&] { package.assign(1025 * 64, '\0'); }},
        {": entry 1: its name length 51 is over 50", [&] { package[0] = 51; }},
        {": the pack name's length 24 is over 23", [&] { package[packTable + offsetof(PackNameRec, packageName)] = 24; }},
        {": skin 1: name length 24 is over 23", [&] { package[names] = 24; }},
        {": the package holds no skins", [&] { package[names] = package[walk] = package[walk + 100] = 0; }},
        {"skin 301", at32(cmds + offsetof(CommandRec, to), 301)},
        {"command 2: back skin 4", at32(cmds + 28 + offsetof(CommandRec, back), 4)},
        {": command 2: to skin 4 is not one of the skins 1..3", at32(cmds + 28 + offsetof(CommandRec, to), 4)},
        {": command 1: key code 70000 is not a virtual-key code", at32(cmds + offsetof(CommandRec, key1), 70000)},
        {": command 1: key code -2 is not a virtual-key code", at32(cmds + offsetof(CommandRec, key3), -2)},
        {"without gaps", [&] { package[walk] = 0; }},  // skin 2 empty, skin 3 used
        {"without gaps", at32(cmds + 28 + offsetof(CommandRec, from), -1)},
        {"start skin 0", at32(packTable, 0)},
        {"frame size", at32(walk + offsetof(SkinRec, w), 0)},
        {R"(: skin 1 ("stand.bmp"): frame size 4097x6 is not within 1..4096)", at32(names + offsetof(SkinRec, w), 4097)},
        {"frame count", at32(names + offsetof(SkinRec, frameCount), -3)},
        {R"(: skin 2 ("walk.bmp"): frame count 1025 is not within 1..1024)", at32(walk + offsetof(SkinRec, frameCount), 1025)},
        {R"(: skin 1 ("stand.bmp"): 1000 frames of width 100 are wider than 65536 pixels)",
         [&] { at32(names + offsetof(SkinRec, w), 100)(), at32(names + offsetof(SkinRec, frameCount), 1000)(); }},
        {"bare file name", [&] { package[walk + 1] = '/'; }},
        {R"(: skin 2: its bitmap "gone.bmp" is neither in the package nor in the skins folder)",
         [&] { package.replace(walk + 1, 4, "gone"); }},
        {"walk.bmp", [&] { entry(4, [](PackEntry& e) { e.name.set("\\skins\\other.bmp"); }); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        package = original;
        c.patch();
        rewrite();
        const std::string error = expectRefused(c.words);
        EXPECT_EQ(error.rfind("Cannot load the actor skin package " + pack + ": ", 0), 0u) << error;
        fs::remove_all(tmp / "actors/skins");
    }
    pack = tmp / "actors/none.skn";  // a missing package is a file error
    expectRefused("File not found");
}

TEST_F(SkinPackageTest, FailedBitmapLoadReleasesSurfacesAndKeepsTheTables) {
    hooks.loadSkin = [this](int i, const std::string& p) -> SurfaceHandle {
        loads.emplace_back(i, p);
        if (i == 3) throw Error("Cannot load the bitmap");
        return static_cast<SurfaceHandle>(100 + i);
    };
    expectRefused("Cannot load the bitmap");
    EXPECT_EQ(released, (std::vector<SurfaceHandle>{101, 102}));
}

TEST_F(SkinPackageTest, ExtraMembersAreIgnoredAndNeverExtracted) {
    // Two more entries at the head of the first group; the data area moves
    // down by their 128 bytes, their members follow the others.
    int count = 0;
    while (entryAt(package, count).flag == 0) ++count;
    const int entries = count + 2;  // the second group is the last entry alone
    const std::string data = package.substr(static_cast<std::size_t>(64 * entries));
    const std::string text = "read me";
    std::string grown;
    for (const char* name : {"\\readme.txt", "\\docs\\notes.txt"}) {
        PackEntry e{};
        e.name.set(name);
        e.start = static_cast<std::int32_t>(data.size() + (grown.empty() ? 0 : text.size()));
        e.size = static_cast<std::int32_t>(text.size());
        grown.append(reinterpret_cast<const char*>(&e), sizeof e);
    }
    package = grown + package.substr(0, static_cast<std::size_t>(64 * entries)) + data + text + text;
    rewrite();
    loadSkinPackage(*lv, pack, hooks);
    EXPECT_EQ(lv->skinCount, 3);
    EXPECT_EQ(lv->packageName, "Walker of the test pack");
    EXPECT_EQ(readFile(tmp / "actors/skins/hop.bmp"), bmpBytes(40, 6));
    EXPECT_FALSE(fs::exists(tmp / "actors/readme.txt"));
    EXPECT_FALSE(fs::exists(tmp / "actors/docs"));
    EXPECT_FALSE(tableFilesLeft());
}

TEST_F(SkinPackageTest, LinkedSkinsFolderOrSkinFileWritesNothingOutside) {
    fs::create_directory(tmp / "outside");
    writeFile(tmp / "outside/victim", "mine");
    const std::function<void()> plants[] = {
        [&] { fs::create_directory_symlink(tmp / "outside", tmp / "actors/skins"); },
        [&] { fs::create_directory_symlink(tmp / "outside/new", tmp / "actors/skins"); },
        [&] {
            fs::create_directory(tmp / "actors/skins");
            fs::create_symlink(tmp / "outside/walk.bmp", tmp / "actors/skins/walk.bmp");
        },
        [&] { fs::create_symlink(tmp / "outside/victim", tmp / "actors/_skins.tmp"); },
    };
    for (const auto& plant : plants) {
        plant();
        expectRefused("is a symbolic link");
        std::vector<std::string> outside;
        for (auto& e : fs::directory_iterator(tmp / "outside")) outside.push_back(e.path().filename().string());
        EXPECT_EQ(outside, std::vector<std::string>{"victim"});
        EXPECT_EQ(readFile(tmp / "outside/victim"), "mine");
        fs::remove_all(tmp / "actors/skins");
        fs::remove(tmp / "actors/_skins.tmp");
    }
}

TEST(SkinEntryName, AcceptsTablesAndSkinBitmaps) {
    for (const char* extra : {"\\readme.txt", "\\other\\x.bmp", "\\skins\\a\\b.bmp", "\\evil.sh"})
        EXPECT_EQ(checkSkinEntryName(extra), "") << extra;  // not the editor's: never extracted
    EXPECT_EQ(checkSkinEntryName("\\_skins.tmp"), "_skins.tmp");
    EXPECT_EQ(checkSkinEntryName("_commands.tmp"), "_commands.tmp");
    EXPECT_EQ(checkSkinEntryName("\\skins\\walk.bmp"), "skins/walk.bmp");
    EXPECT_EQ(checkSkinEntryName("/skins/a..b.bmp"), "skins/a..b.bmp");
}

TEST(SkinEntryName, RefusesNamesLeadingElsewhere) {
    for (const char* n : {"", "\\..\\x.bmp", "..", "\\skins\\..", "\\skins\\..\\..\\x", "C:\\x.bmp",
                          "\\\\server\\x", "//etc/passwd", "\\skins\\", "\\skins\\.",
                          "\\skins\\a\tb"})
        EXPECT_THROW(checkSkinEntryName(n), Error) << n;
}
