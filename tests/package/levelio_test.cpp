#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdarg>
#include <functional>

#include "common/child_process.h"
#include "common/error_text.h"
#include "common/ints.h"
#include "package_helpers.h"

using namespace pkgtest;
using slv::Error;

namespace {

// Saves the small level into d/pkg/level.slv and returns that path.
std::string savedSmallLevel(const TempDir& d) {
    save(*smallLevel(d.str()), d / "pkg/level.slv");
    return d / "pkg/level.slv";
}

// Opening `pkg` is refused with exactly `message` (after "Opening PKG: "
// when the package itself is refused); a level already holding something
// stays as it was and nothing is extracted.
void expectRefused(const std::string& pkg, const std::string& reason, bool aboutThePackage = true) {
    const std::string message = aboutThePackage ? "Opening " + pkg + ": " + reason : reason;
    SCOPED_TRACE(message);
    auto l = std::make_unique<slv::Level>();
    slv::Level& level = *l;
    level.stageCount = level.imageCount = 1;
    level.stage(1).name.set("keep.bmp");
    level.stage(1).spriteCount = 1;
    level.image(1).name.set("keep.bmp");
    level.image(1).surface = 77;
    level.packageFolder = "/old/";
    RecordingHooks hooks;
    EXPECT_EQ(errorOf([&] { slv::openLevel(level, pkg, hooks); }), message);
    EXPECT_EQ((Ints{hooks.before, hooks.steps}), (Ints{0, 0}));
    EXPECT_EQ((Ints{level.stageCount, level.stage(1).spriteCount, level.imageCount}), (Ints{1, 1, 1}));
    EXPECT_EQ(level.stage(1).name.str(), "keep.bmp");
    EXPECT_EQ(level.image(1).surface, 77u);
    EXPECT_EQ(level.packageFolder, "/old/");
    std::string folder = slv::folderPart(pkg);
    EXPECT_FALSE(fs::exists(folder + "sprites"));
    EXPECT_FALSE(fs::exists(folder + "backpx"));
}

std::int64_t entryOff(int k) { return 64 * k; }

// A file that grows by a byte when it is opened the second time from now,
// as a package another program writes to while Open reads it.
std::string growing;
int opensOfGrowing = 0;

}  // namespace

// This program's open: passed on to the C library, after growing `growing`.
extern "C" int open(const char* path, int flags, ...) {
    static const auto next = reinterpret_cast<int (*)(const char*, int, ...)>(::dlsym(RTLD_NEXT, "open"));
    va_list args;
    va_start(args, flags);
    const int mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(args, int) : 0;
    va_end(args);
    if (growing == path && ++opensOfGrowing == 2) {
        growing.clear();
        const int fd = next(path, O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0) {
            (void)!::write(fd, "x", 1);
            ::close(fd);
        }
    }
    return next(path, flags, mode);
}

namespace {

void writeStaleTables(const TempDir& d, std::size_t size) {
    for (const char* n : {"_sectors.tmp", "_sprites.tmp", "_images.tmp", "_stages.tmp"})
        writeBytes(d / (std::string("pkg/") + n), size, 2);
}

}  // namespace

TEST(LevelPackage, SaveOpenSaveKeepsTheHeaderAndTheLevel) {
    TempDir d;
    std::string pkg = savedSmallLevel(d);
    auto l = std::make_unique<slv::Level>();
    RecordingHooks hooks;
    slv::openLevel(*l, pkg, hooks);
    EXPECT_EQ((Ints{hooks.ready, hooks.before, hooks.steps, hooks.loads}), (Ints{8, 1, 8, 2}));
    EXPECT_EQ((Ints{l->imageCount, l->stageCount}), (Ints{2, 2}));
    EXPECT_EQ(l->packageFolder, d.str() + "pkg/");
    EXPECT_EQ(l->image(1).path.str(), d.str() + "pkg/sprites/hero.bmp");
    EXPECT_EQ(l->image(2).surface, 1002u);
    EXPECT_EQ(l->stage(2).path.str(), d.str() + "pkg/backpx/park.bmp");
    EXPECT_EQ(readAll(l->stage(2).path.str()), readAll(d / "src/backpx/park.bmp"));
    EXPECT_EQ(readAll(l->image(1).path.str()), readAll(d / "src/sprites/hero.bmp"));
    EXPECT_EQ((Ints{l->stage(1).spriteCount, l->sprite(2, 1).x, l->sprite(1, 2).frameCount}), (Ints{2, 30, 3}));
    EXPECT_EQ(l->sprite(2, 1).surface, 1002u);
    EXPECT_EQ((Ints{l->stage(2).sectorCount, l->sector(2, 2).w, l->image(2).useCount}), (Ints{2, 11, 2}));
    EXPECT_FALSE(anyTemp(d.str()));

    // The source bitmaps can go: the level now lives beside its package.
    fs::remove_all(d.path() / "src");
    RecordingHooks again;
    slv::saveLevel(*l, d / "pkg/copy.slv", again);
    EXPECT_EQ((Ints{again.ready, again.steps}), (Ints{8, 8}));
    EXPECT_TRUE(sameEntries(headerOf(pkg), headerOf(d / "pkg/copy.slv")));
    EXPECT_FALSE(anyTemp(d.str()));
}

TEST(LevelPackage, SaveReplacesAnExistingPackageAndStaleTableFiles) {
    TempDir d;
    std::string pkg = savedSmallLevel(d);
    writeStaleTables(d, 10);
    auto l = std::make_unique<slv::Level>();
    addImage(*l, d.str(), 1, "other.bmp", 300);
    addStage(*l, d.str(), "other.bmp", 400);
    save(*l, pkg);
    EXPECT_EQ(headerOf(pkg).size(), 6u);
    EXPECT_EQ(fs::file_size(pkg), 6u * 64 + 1185052 + 700);
    EXPECT_FALSE(anyTemp(d.str()));
}

TEST(LevelPackage, FailedSaveOrWriteLeavesTheOldPackage) {
    TempDir d;
    std::string pkg = savedSmallLevel(d);
    std::string before = readAll(pkg);
    // The child may write no more than 600 KB: the save must fail.
    const std::string child = slvtest::inChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{600000, 600000};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        return errorOf([&] { save(*smallLevel(d.str()), pkg); }).empty() ? "saved past the limit" : "";
    });
    EXPECT_EQ(child, "");
    EXPECT_EQ(readAll(pkg), before);
    EXPECT_FALSE(anyTemp(d.str()));

    // A bitmap gone missing.
    auto l = smallLevel(d.str());
    fs::remove(d.path() / "src/backpx/park.bmp");
    const std::string error = errorOf([&] { save(*l, pkg); });
    EXPECT_NE(error.find("park.bmp"), std::string::npos) << error;
    EXPECT_EQ(readAll(pkg), before);
    EXPECT_FALSE(anyTemp(d.str()));
}

TEST(LevelPackage, SaveMeasuresBitmapsAgainAndStagesBeyondTheCountAreNotStages) {
    TempDir d;
    auto l = smallLevel(d.str());
    std::string grown = writeBitmapBytes(d / "src/sprites/coin.bmp", 7777, 5);
    l->stage(3).name.set("ghost.bmp");
    save(*l, d / "p.slv");
    EXPECT_EQ(l->image(2).size, 7777);
    auto h = headerOf(d / "p.slv");
    EXPECT_EQ(h[5].size, 7777);
    EXPECT_EQ(h[6].start, 1185052 + 5000 + 7777);
    auto back = opened(d / "p.slv");
    EXPECT_EQ(readAll(back->image(2).path.str()), grown);
    EXPECT_EQ(back->stageCount, 2);
    EXPECT_FALSE(fs::exists(d / "backpx/ghost.bmp"));
}

TEST(LevelPackage, LevelsWithoutImagesOrStagesSaveAndOpen) {
    TempDir d;
    struct Case { int images, stages; };
    for (Case c : {Case{0, 0}, Case{0, 2}, Case{2, 0}}) {
        auto l = std::make_unique<slv::Level>();
        for (int i = 1; i <= c.images; ++i) addImage(*l, d.str(), i, "i" + std::to_string(i), 100u * i);
        for (int s = 1; s <= c.stages; ++s) addStage(*l, d.str(), "s" + std::to_string(s), 50u * s);
        if (c.stages) addSector(*l, 1, 1, 2, 3, 4);
        std::string pkg = d / ("p" + std::to_string(c.images) + std::to_string(c.stages) + ".slv");
        save(*l, pkg);
        auto h = slv::readPackageHeader(pkg);
        EXPECT_EQ((Ints{h.imageCount, h.stageCount}), (Ints{c.images, c.stages}));
        int flagged = 0;
        for (auto& e : h.entries) flagged += e.flag;
        EXPECT_EQ(flagged, (c.images > 0) + (c.stages > 0));
        auto back = opened(pkg);
        EXPECT_EQ((Ints{back->imageCount, back->stageCount}), (Ints{c.images, c.stages}));
        if (c.stages) {
            EXPECT_EQ(back->sector(1, 1).h, 4);
        }
    }
}

TEST(LevelPackage, FreeImageSlotsAreNotWrittenAndSpritesFollowTheirImage) {
    TempDir d;
    auto l = smallLevel(d.str());
    addImage(*l, d.str(), 3, "gone.bmp", 100);
    l->image(2).name.clear();  // slot 2 freed, slot 3 still counted
    l->sprite(2, 1).image = 3;
    l->sprite(1, 2).image = 3;
    RecordingHooks saving;
    slv::saveLevel(*l, d / "p.slv", saving);
    EXPECT_EQ((Ints{saving.ready, saving.steps}), (Ints{8, 8}));  // the progress counts the entries written
    EXPECT_EQ((Ints{l->imageCount, l->sprite(2, 1).image}), (Ints{3, 3}));  // the level in memory keeps its slots
    auto h = headerOf(d / "p.slv");
    ASSERT_EQ(h.size(), 8u);
    EXPECT_EQ(h[5].name.str(), "\\sprites\\gone.bmp");
    EXPECT_EQ(h[5].flag, 1);
    auto back = std::make_unique<slv::Level>();
    RecordingHooks rec;
    slv::openLevel(*back, d / "p.slv", rec);
    EXPECT_EQ((Ints{back->imageCount, rec.loads}), (Ints{2, 2}));
    EXPECT_EQ(back->image(2).name.str(), "gone.bmp");
    EXPECT_EQ(readAll(back->image(2).path.str()), readAll(d / "src/sprites/gone.bmp"));
    EXPECT_EQ((Ints{back->sprite(2, 1).image, back->sprite(1, 2).image, back->sprite(1, 1).image}), (Ints{2, 2, 1}));
    EXPECT_EQ(back->sprite(2, 1).surface, 1002u);
}

TEST(LevelPackage, OpenReadsThePackageAndKeepsBitmapsAlreadyInItsFolder) {
    TempDir d;
    std::string pkg = savedSmallLevel(d);
    writeStaleTables(d, 1300000);
    std::string mine = writeBytes(d / "pkg/sprites/hero.bmp", 12, 99);
    std::string mineStage = writeBytes(d / "pkg/backpx/street.bmp", 13, 98);
    auto l = opened(pkg);
    // The tables come from the package, not from stale table files.
    EXPECT_EQ(l->sprite(1, 1).x, 10);
    EXPECT_EQ(l->stage(1).name.str(), "street.bmp");
    EXPECT_FALSE(anyTemp(d.str()));
    EXPECT_EQ(readAll(d / "pkg/sprites/hero.bmp"), mine);
    EXPECT_EQ(readAll(d / "pkg/backpx/street.bmp"), mineStage);
    // The package's own pictures went to free names beside them.
    EXPECT_EQ(l->image(1).path.str(), d / "pkg/sprites/hero~2.bmp");
    EXPECT_EQ(l->stage(1).path.str(), d / "pkg/backpx/street~2.bmp");
    EXPECT_EQ(readAll(l->image(1).path.str()), readAll(d / "src/sprites/hero.bmp"));
    EXPECT_EQ(readAll(l->stage(1).path.str()), readAll(d / "src/backpx/street.bmp"));
    EXPECT_EQ(readAll(d / "pkg/sprites/coin.bmp"), readAll(d / "src/sprites/coin.bmp"));
    // Opened again, the copies with the same bytes are shared, not made anew.
    auto again = opened(pkg);
    EXPECT_EQ(again->image(1).path.str(), l->image(1).path.str());
    EXPECT_FALSE(fs::exists(d / "pkg/sprites/hero~3.bmp"));
    save(*again, d / "pkg/same.slv");
    EXPECT_TRUE(sameEntries(headerOf(pkg), headerOf(d / "pkg/same.slv")));
}

TEST(LevelPackage, ImageLoadFailureEmptiesTheLevel) {
    TempDir d;
    std::string pkg = savedSmallLevel(d);
    auto l = std::make_unique<slv::Level>();
    RecordingHooks hooks;
    hooks.failAt = 2;
    EXPECT_THROW(slv::openLevel(*l, pkg, hooks), Error);
    EXPECT_EQ((Ints{hooks.loads, hooks.frees, l->imageCount, l->stageCount}), (Ints{1, 1, 0, 0}));
}

TEST(LevelPackage, ClearLevelResetsCountsAndFreesSurfaces) {
    TempDir d;
    auto l = smallLevel(d.str());
    l->image(1).surface = 5;
    l->image(2).surface = 6;
    l->stage(0).sectorCount = 3;
    RecordingHooks hooks;
    slv::clearLevel(*l, hooks);
    EXPECT_EQ((Ints{hooks.frees, l->stageCount, l->imageCount}), (Ints{2, 0, 0}));
    EXPECT_EQ((Ints{l->stage(0).sectorCount, l->stage(2).sectorCount, l->image(2).useCount}), (Ints{0, 0, 0}));
    EXPECT_TRUE(l->image(1).name.empty());
    EXPECT_EQ(l->stage(1).name.str(), "street.bmp");  // records stay
    EXPECT_EQ(l->sprite(1, 1).x, 10);
}

TEST(LevelPackage, WindowsPathsInRecordsOpenAndSaveAgain) {
    TempDir d;
    auto l = smallLevel(d.str());
    // Write the package the long way, with the tables claiming Windows paths.
    auto win = std::make_unique<slv::Level>(*l);
    win->image(1).path.set("C:\\Games\\work\\sprites\\hero.bmp");
    win->image(2).path.set("C:\\Games\\work\\sprites\\coin.bmp");
    win->stage(1).path.set("C:\\Games\\work\\backpx\\street.bmp");
    win->stage(2).path.set("D:park.bmp");
    std::string pkg = d / "pkg/win.slv";
    buildByHand(*win, *l, pkg);

    auto back = opened(pkg);
    EXPECT_EQ(back->image(1).path.str(), d.str() + "pkg/sprites/hero.bmp");
    EXPECT_EQ(back->stage(2).path.str(), d.str() + "pkg/backpx/park.bmp");
    save(*back, d / "pkg/again.slv");
    EXPECT_TRUE(sameEntries(headerOf(pkg), headerOf(d / "pkg/again.slv")));
}

// ---- refusals: the level stays as it was and nothing is extracted ----

// Each case spoils a fresh copy of the small level's package.
TEST(LevelPackageRefusal, SpoiledPackages) {
    TempDir d;
    const std::string pkg = savedSmallLevel(d);
    const std::string good = readAll(pkg);
    const std::int64_t data = 64 * static_cast<std::int64_t>(headerOf(pkg).size());
    const std::int64_t stage1 = data + slv::kStagesStart + 292;
    const std::int64_t sprite21 = data + slv::kSpritesStart + 1800;  // sprite 2, stage 1
    const std::int64_t image1 = data + slv::kImagesStart;
    auto i32At = [&](std::int64_t off, std::int32_t v) { return [=] { patchI32(pkg, off, v); }; };
    auto bytesAt = [&](std::int64_t off, const char* s) { return [=] { patch(pkg, off, s, 1); }; };
    auto stage1Named = [&](const char* name) {
        return [=] {
            slv::PackEntry e = slv::makeEntry(name, 0, 0, false);
            patch(pkg, entryOff(6), &e.name, sizeof e.name);  // entries: 4 fixed, 2 images, the stages
        };
    };
    auto unsafe = [](const std::string& name, const std::string& why) {
        return "Not a level package: entry 7 (\"" + name + "\"): Unsafe member name \"" + name + "\": " + why;
    };
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { writeBytes(pkg, 1000, 1); },
         "Not a level package: the file is too short (1000 bytes; a package has at least 1185308)"},
        {[&] { fs::resize_file(pkg, good.size() - 1); },
         "Not a level package: " R"(entry 8 ("\backpx\park.bmp") lies outside the file)"},
        {[&] { fs::resize_file(pkg, good.size() + 1); },
         "Not a level package: the file is 1205365 bytes long but its header describes 1205364"},
        // Fixed members with a wrong name, start or size.
        {bytesAt(entryOff(1) + 1, "X"),
         "Not a level package: " R"(entry 2 ("X_sprites.tmp") should be "\_sprites.tmp")"},
        {i32At(entryOff(2) + 52, 300001),
         "Not a level package: " R"(entry 3 ("\_images.tmp") has start 300001 and size 876000 )"
         "instead of 300000 and 876000"},
        {i32At(entryOff(3) + 56, 9000),
         "Not a level package: " R"(entry 4 ("\_stages.tmp") has start 1176000 and size 9000 )"
         "instead of 1176000 and 9052"},
        // Negative or absurd sizes, starts that do not run on.
        {i32At(entryOff(4) + 56, -5), "Not a level package: " R"(entry 5 ("\sprites\hero.bmp") has a negative size)"},
        {i32At(entryOff(4) + 56, 0x7fffffff),
         "Not a level package: " R"(entry 5 ("\sprites\hero.bmp") lies outside the file)"},
        {i32At(entryOff(5) + 52, 1185052),
         "Not a level package: " R"(entry 6 ("\sprites\coin.bmp") starts at 1185052 instead of 1190052)"},
        // The image group loses its end.
        {bytesAt(entryOff(5) + 60, "\0"),
         "Not a level package: " R"(entry 7 ("\backpx\street.bmp"): )"
         "the image group before it has no last-in-group flag"},
        // Entry names leading outside the package folder.
        {stage1Named("\\backpx\\.."), unsafe(R"(\backpx\..)", "it leads outside the package folder")},
        {stage1Named("\\..\\..\\evil"), unsafe(R"(\..\..\evil)", "it leads outside the package folder")},
        {stage1Named("\\backpx\\C:evil"), unsafe(R"(\backpx\C:evil)", "it holds a drive or stream colon")},
        {stage1Named("\\sprites\\a\\..\\..\\b"),
         unsafe(R"(\sprites\a\..\..\b)", "it leads outside the package folder")},
        {stage1Named("\\\\evil"), unsafe(R"(\\evil)", "it is an absolute path")},
        {stage1Named("\\sprites\\"), unsafe(R"(\sprites\)", "empty or invalid path component")},
        {stage1Named("\\backpx\\.\\x.bmp"), unsafe(R"(\backpx\.\x.bmp)", "empty or invalid path component")},
        {stage1Named("\\"), unsafe(R"(\)", "it names the folder itself")},
        {stage1Named(""), R"(Not a level package: entry 7 (""): Unsafe member name: the name is empty)"},
        // Stage counts out of range.
        {i32At(stage1 + 280, 101), "Damaged level package: stage 1 counts 101 sprites (0 to 100 allowed)"},
        {i32At(stage1 + 284, -1), "Damaged level package: stage 1 counts -1 sectors (0 to 100 allowed)"},
        // Sprites with bad images or frames.
        {i32At(sprite21 + 56, 3),
         "Damaged level package: sprite 2 of stage 1 uses image 3 but the package holds 2 images"},
        {i32At(sprite21 + 56, 0),
         "Damaged level package: sprite 2 of stage 1 uses image 0 but the package holds 2 images"},
        {i32At(sprite21 + 48, 0), "Damaged level package: sprite 2 of stage 1 has 0 frames (at least 1 needed)"},
        {[&] {  // a strip far outside its picture, frame offset beyond any int
             patchI32(pkg, sprite21 + 28, -2147483647);
             patchI32(pkg, sprite21 + 36, 321);
             patchI32(pkg, sprite21 + 40, 50);
             patchI32(pkg, sprite21 + 48, 1);
             patchI32(pkg, sprite21 + 52, 2147483633);
         }, "Damaged level package: sprite 2 of stage 1 shows frame 2147483633 of 1"},
        {i32At(sprite21 + 52, 0), "Damaged level package: sprite 2 of stage 1 shows frame 0 of 2"},
        {i32At(sprite21 + 52, 3), "Damaged level package: sprite 2 of stage 1 shows frame 3 of 2"},
        {i32At(sprite21 + 36, -1), "Damaged level package: sprite 2 of stage 1 has frames of -1 x 10 pixels (the width cannot be negative and the height must be positive)"},
        {i32At(sprite21 + 40, -1), "Damaged level package: sprite 2 of stage 1 has frames of 10 x -1 pixels (the width cannot be negative and the height must be positive)"},
        {i32At(sprite21 + 36, 51), "Damaged level package: sprite 2 of stage 1: 2 frames of 51 x 10 do not fit image 2 (\"coin.bmp\") of 100 x 20 pixels"},
        {i32At(sprite21 + 36, 1 << 30), "Damaged level package: sprite 2 of stage 1: 2 frames of 1073741824 x 10 do not fit image 2 (\"coin.bmp\") of 100 x 20 pixels"},  // 2 x 2^30 overflows 32 bits
        {i32At(sprite21 + 40, 21), "Damaged level package: sprite 2 of stage 1: 2 frames of 10 x 21 do not fit image 2 (\"coin.bmp\") of 100 x 20 pixels"},
        {bytesAt(data + 1185052 + 5000, "X"), "Damaged level package: sprite 2 of stage 1 uses image 2 (\"coin.bmp\"), which is not a BMP or PNG picture"},  // image 2's member
        {[&] {  // slot 3 holds a record, but the package counts 2 images
             slv::PackEntry e = slv::makeEntry("x.bmp", 0, 0, false);
             patch(pkg, image1 + 2 * 292 + 4, &e.name, 21);
             patchI32(pkg, sprite21 + 56, 3);
         }, "Damaged level package: sprite 2 of stage 1 uses image 3 but the package holds 2 images"},
        // Tables that disagree with the header.
        {i32At(stage1 + 292 + 288, 1), "Damaged level package: stage 2 records 1 bytes but its entry holds 3000"},
        {i32At(image1 + 284, 1), "Damaged level package: image 1 records 1 bytes but its entry holds 5000"},
        {bytesAt(stage1 + 1, "X"),
         "Damaged level package: " R"(stage 1 is named "Xtreet.bmp" but its entry is "\backpx\street.bmp")"},
        // The package grows between the reading of its header and of its tables.
        {[&] { growing = pkg, opensOfGrowing = 0; }, "The package changed while it was being read"},
    };
    for (const auto& [spoil, message] : cases) {
        writeFile(pkg, good);
        spoil();
        expectRefused(pkg, message);
    }
    EXPECT_FALSE(fs::exists(d / "evil"));
    EXPECT_FALSE(fs::exists(d / "b"));
}

TEST(LevelPackageRefusal, MoreThan3000ImagesOr30Stages) {
    TempDir d;
    for (int imgs : {3001, 0}) {
        int stgs = imgs ? 0 : 31;
        std::vector<slv::PackEntry> h = slv::headerEntries(*std::make_unique<slv::Level>());  // the fixed four
        for (int i = 1; i <= imgs; ++i) h.push_back(slv::makeEntry("\\sprites\\a", 1185052, 0, i == imgs));
        for (int s = 1; s <= stgs; ++s) h.push_back(slv::makeEntry("\\backpx\\a", 1185052, 0, s == stgs));
        std::string pkg = d / ("big" + std::to_string(imgs) + ".slv");
        writeFile(pkg, h.data(), h.size() * 64);
        fs::resize_file(pkg, h.size() * 64 + 1185052);
        expectRefused(pkg, imgs ? "Not a level package: more than 3000 image entries"
                                : "Not a level package: more than 30 stage entries");
    }
}

// A member folder that is a link (to a folder or to nothing) or a file is
// refused before the level changes, and nothing is written through it.
TEST(LevelPackageRefusal, MemberFoldersThatAreLinksOrFiles) {
    enum Kind { LinkToFolder, DanglingLink, File };
    for (const char* member : {"sprites", "backpx"})
        for (const Kind kind : {LinkToFolder, DanglingLink, File}) {
            SCOPED_TRACE(std::string(member) + " kind " + std::to_string(kind));
            TempDir d;
            const std::string pkg = savedSmallLevel(d);
            const std::string at = d / "pkg/" + member, elsewhere = d / "elsewhere";
            if (kind == LinkToFolder) fs::create_directories(elsewhere);
            if (kind == File) writeFile(at, "a file");
            else fs::create_symlink(elsewhere, at);
            const std::string refusal = kind == File ? "\"" + at + "\" is not a folder"
                                                     : "The folder \"" + at +
                                                           "\" is a symbolic link: nothing is extracted through links";
            EXPECT_EQ(errorOf([&] { slv::planExtraction(pkg, slv::readPackage(pkg)); }), refusal);
            auto level = std::make_unique<slv::Level>();
            level->stageCount = 1;
            level->stage(1).name.set("keep.bmp");
            RecordingHooks hooks;
            EXPECT_EQ(errorOf([&] { slv::openLevel(*level, pkg, hooks); }), refusal);
            EXPECT_EQ((Ints{hooks.before, level->stageCount}), (Ints{0, 1}));
            if (kind == LinkToFolder) EXPECT_TRUE(fs::is_empty(elsewhere));
            else EXPECT_FALSE(fs::exists(elsewhere));
        }
}

// A record holds a path of up to 255 characters: a package whose longest
// extracted path ("backpx/street.bmp") takes exactly that opens, one
// character more is refused before anything is extracted.
TEST(LevelPackageRefusal, ExtractedPathOf255CharactersIsTheLongestTaken) {
    for (const std::size_t length : {254u, 255u, 256u}) {
        SCOPED_TRACE(length);
        TempDir d;
        const std::string tail = "/backpx/street.bmp";
        std::string folder = d.str() + "p";
        while (folder.size() + tail.size() < length) {
            const std::size_t step = std::min<std::size_t>(length - folder.size() - tail.size(), 100);
            folder += step == 1 ? "q" : "/" + std::string(step - 1, 'f');
        }
        ASSERT_EQ((folder + tail).size(), length);
        save(*smallLevel(d.str()), folder + "/p.slv");
        const std::string refusal =
            length > 255 ? "The package folder's path is too long: \"" + folder + tail + "\" would exceed 255 characters"
                         : "";
        EXPECT_EQ(errorOf([&] { slv::planExtraction(folder + "/p.slv", slv::readPackage(folder + "/p.slv")); }),
                  refusal);
        auto level = std::make_unique<slv::Level>();
        RecordingHooks hooks;
        EXPECT_EQ(errorOf([&] { slv::openLevel(*level, folder + "/p.slv", hooks); }), refusal);
        EXPECT_EQ(fs::exists(folder + tail), length <= 255);
    }
}

TEST(LevelPackageRefusal, ExtractedPathsTooLongForTheRecords) {
    TempDir d;
    std::string deep = d.str() + std::string(120, 'a') + "/" + std::string(120, 'b');
    save(*smallLevel(d.str()), deep + "/p.slv");
    expectRefused(deep + "/p.slv", "The package folder's path is too long: \"" + deep +
                                       "/sprites/hero.bmp\" would exceed 255 characters", false);
}
