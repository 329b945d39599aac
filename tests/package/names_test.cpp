// Names through Save and Open: records keep their stored (Windows-1252)
// names whole, a package may lie in a folder or file whose name holds '\'
// or ':', and an older package's sprite with frames 0 pixels wide survives.
#include <gtest/gtest.h>

#include "common/accents.h"
#include "common/bmp_writer.h"
#include "common/ints.h"
#include "package_helpers.h"

using namespace pkgtest;

namespace {

void bmp(const std::string& path, int w, int h) {
    fs::create_directories(fs::path(path).parent_path());
    ASSERT_TRUE(writeBmp(path, BmpLayout{w, h, 24, false}, [](int x, int) { return x % 7 ? 0x336699u : 0xFF00FFu; }));
}

// A level as an older editor wrote it: its bitmaps lie where Open puts them
// (`folder`/sprites, `folder`/backpx), so a resave in that folder gives back
// every byte of the tables.
std::unique_ptr<slv::Level> olderLevel(const std::string& folder, const std::string& spriteFile,
                                       const std::string& stageFile, int frames, int frameWidth) {
    auto l = std::make_unique<slv::Level>();
    const std::string sprite = folder + "sprites/" + spriteFile, stage = folder + "backpx/" + stageFile;
    bmp(sprite, 30, 16);
    bmp(stage, 64, 48);
    slv::ImageRec& im = l->image(1);
    im.name.set(spriteFile);
    im.path.set(sprite);
    im.size = static_cast<std::int32_t>(fs::file_size(sprite));
    im.useCount = 1;
    l->imageCount = 1;
    slv::StageRec& st = l->stage(1);
    st.name.set(stageFile);
    st.path.set(stage);
    st.size = static_cast<std::int32_t>(fs::file_size(stage));
    l->stageCount = 1;
    addSprite(*l, 1, 1, 5, 6, frames);
    l->sprite(1, 1).w = frameWidth;
    l->sprite(1, 1).h = 16;
    l->image(1).useCount = 1;
    addSector(*l, 1, 1, 2, 3, 4);
    l->sector(1, 1).name.set("Secteur_" + kE);
    return l;
}

// The four tables and the header, as the package holds them.
std::string tableBytes(const std::string& pkg) {
    const std::string b = readAll(pkg);
    const std::size_t data = headerOf(pkg).size() * 64;
    return b.substr(0, data + static_cast<std::size_t>(slv::kFirstBitmapStart));
}

}  // namespace

// An older package round-trips through Open and Save with every name and
// record as it was, and its names read back whole.
TEST(PackageNames, OlderPackagesRoundTripByteForByte) {
    struct Case {
        const char* what;
        std::string spriteFile, stageFile;
        int frames, frameWidth;
        std::string stageEntry;  // in Windows-1252
    };
    const Case cases[] = {
        {"accented 19-character sprite", times(kE, 15) + ".bmp", "desert.bmp", 1, 30, "\\backpx\\desert.bmp"},
        {"accented 20-character stage", "bird.bmp", "plage_d_" + kE + "t" + kE + "_2026.bmp", 2, 15,
         "\\backpx\\plage_d_\xE9t\xE9_2026.bmp"},
        {"frames 0 pixels wide", "rope.bmp", "sea.bmp", 999, 0, "\\backpx\\sea.bmp"},
        {"all at once", times(kE, 15) + ".bmp", times(kE, 16) + ".bmp", 31, 0,
         "\\backpx\\" + std::string(16, '\xE9') + ".bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir d;
        auto l = olderLevel(d.str(), c.spriteFile, c.stageFile, c.frames, c.frameWidth);
        const std::string older = d / "older.slv", again = d / "again.slv";
        buildByHand(*l, *l, older);
        EXPECT_EQ(headerOf(older)[5].name.str(), c.stageEntry);

        auto back = opened(older);
        EXPECT_EQ(back->image(1).name.str(), c.spriteFile);
        EXPECT_EQ(back->sprite(1, 1).name.str(), c.spriteFile);
        EXPECT_EQ(back->stage(1).name.str(), c.stageFile);
        EXPECT_EQ(back->sector(1, 1).name.str(), "Secteur_" + kE);
        EXPECT_EQ((Ints{back->sprite(1, 1).frameCount, back->sprite(1, 1).w}), (Ints{c.frames, c.frameWidth}));
        save(*back, again);
        EXPECT_EQ(tableBytes(again), tableBytes(older));
        EXPECT_NO_THROW(slv::readPackage(again));
    }
}

// Only '/' separates folders: a package named or placed with '\' or ':' in
// its name saves, opens and saves again beside itself.
TEST(PackageNames, PackagePathsMayHoldAnyCharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "lev:el\\1.slv"},
        {"a\\b/", "level.slv"},
        {"c:/", "d:e.slv"},
        {"x:\\y" + kE + "/", "\\.slv"},
    };
    for (const auto& [folder, file] : cases) {
        SCOPED_TRACE(folder + file);
        TempDir d;
        auto l = smallLevel(d.str());
        const std::string where = d.str() + folder;
        fs::create_directories(where);
        save(*l, where + file);
        EXPECT_EQ(l->packageFolder, where);
        auto back = opened(where + file);
        EXPECT_EQ(back->packageFolder, where);
        EXPECT_EQ(back->image(1).path.str(), where + "sprites/hero.bmp");
        EXPECT_EQ(back->stage(2).path.str(), where + "backpx/park.bmp");
        save(*back, where + "again-" + file);
        EXPECT_TRUE(sameEntries(headerOf(where + file), headerOf(where + "again-" + file)));
        EXPECT_NO_THROW(opened(where + "again-" + file));
    }
    for (const auto& [path, name, folder] : {std::tuple{"/a/lev:el\\1.slv", "lev:el\\1.slv", "/a/"},
                                             {"c:\\x", "c:\\x", ""}, {"/p\\q/r", "r", "/p\\q/"}}) {
        EXPECT_EQ(slv::fileNamePart(path), name);
        EXPECT_EQ(slv::folderPart(path), folder);
    }
    // Entry names still separate their folders with '\'.
    EXPECT_EQ(slv::memberFileName("\\sprites\\caf\xE9.bmp", ""), "caf" + kE + ".bmp");
    EXPECT_EQ(slv::memberFileName("\\backpx\\plage_d_\xE9t\xE9_2026", "BM"), "plage_d_" + kE + "t" + kE + "_2026.bmp");
}
