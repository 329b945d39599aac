// Packages built to hurt: many members of one name, pictures whose headers
// lie, names at the path limit, control bytes in names, and Opens killed
// half way.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "common/bmp_writer.h"
#include "common/child_process.h"
#include "common/error_text.h"
#include "model/names.h"
#include "package/extract.h"
#include "package_helpers.h"

using namespace pkgtest;

namespace {

// A level of `n` images whose entries all take the name `name`, each with
// bytes of its own (or all alike with `alike`), saved to `pkg`.
void saveSameNamed(const std::string& dir, const std::string& pkg, int n, const std::string& name,
                   bool alike = false) {
    auto l = std::make_unique<slv::Level>();
    for (int i = 1; i <= n; ++i) {
        const std::string p = dir + "src/" + std::to_string(i) + ".bmp";
        writeBitmapBytes(p, 512, alike ? 1u : static_cast<unsigned>(i));
        slv::ImageRec& r = l->image(i);
        r.name.set(name);
        r.path.set(p);
        l->memberEntryNames[p] = "\\sprites\\" + name;  // as if opened from a package under that name
    }
    l->imageCount = n;
    save(*l, pkg);
}

std::size_t filesIn(const std::string& dir) {
    std::size_t n = 0;
    for (auto& e : fs::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
    return n;
}

bool anyExtractionTemporary(const std::string& dir) {
    for (auto& e : fs::directory_iterator(dir))
        if (slv::isExtractionTemporary(e.path().filename().string())) return true;
    return false;
}

}  // namespace

// ---- many members of one name ----

TEST(SameNamedMembers, FileSystemCallsGrowLinearly) {
    struct Row {
        const char* what;
        bool alike;       // every member holds the same bytes
        int foreign;      // files of the author's own under the members' names
        int openBefore;   // Opens of the same package before the one counted
    };
    const Row rows[] = {
        {"an empty folder", false, 0, 0},
        {"a second Open shares every file", false, 0, 1},
        {"beside files of the author's own", false, 20, 0},
        {"members of one name and the same bytes", true, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::size_t examined[2] = {0, 0};
        for (int k = 0; k < 2; ++k) {
            const int n = 60 * (k + 1);
            TempDir d;
            fs::create_directories(d.path() / "pkg/sprites");
            const std::string pkg = d / "pkg/level.slv";
            saveSameNamed(d.str(), pkg, n, "same.bmp", row.alike);
            for (int f = 1; f <= row.foreign; ++f)
                writeBytes(d / ("pkg/sprites/" + slv::numberedName("same.bmp", f)), 512, 9000u + f);
            for (int o = 0; o < row.openBefore; ++o) opened(pkg);
            examined[k] = slv::planExtraction(pkg, slv::readPackage(pkg)).filesExamined;
            opened(pkg);
            const std::size_t expected = row.alike ? 1 + row.foreign : static_cast<std::size_t>(n + row.foreign);
            EXPECT_EQ(filesIn(d / "pkg/sprites"), expected) << "members of " << n;
        }
        EXPECT_GT(examined[0], 0u);
        EXPECT_LE(examined[1], 2 * examined[0] + 4) << examined[0] << " then " << examined[1];
    }
}

// ---- pictures whose headers lie, and the memory budget ----

namespace {

// The first bytes of a BMP whose header declares `compression`: its 54-byte
// header and `extra` bytes after it.
std::string headerOnly(int width, int height, int bits, int compression, std::size_t extra) {
    std::string b = bmpHeader(width, height, bits) + std::string(extra, '\0');
    slvtest::put32(b, 2, static_cast<std::int32_t>(b.size()));
    slvtest::put32(b, 30, compression);
    slvtest::put32(b, 34, 0);  // no size of the pixels given
    return b;
}

const std::string kLying32 = headerOnly(16384, 16384, 32, 0, 16);            // 70 bytes, 1 GB of pixels declared
const std::string kRunLength = headerOnly(16384, 16384, 8, 1, 1024 + 2);     // 1 GB once decoded
const std::string kWhole = bmpBytes(BmpLayout{20, 10, 24, false}, [](int x, int y) { return x * 7 + y; });
const std::string kRowShort = kWhole.substr(0, kWhole.size() - 1);

struct PictureRow {
    const char* what;
    std::vector<std::string> images, stages;
    std::string error;  // empty: the package opens
};

const std::vector<PictureRow>& pictureRows() {
    static const std::vector<PictureRow> rows = {
        {"a whole picture", {kWhole}, {kWhole}, ""},
        {"70 bytes declaring 16384 x 16384 x 32", {kLying32}, {},
         "Damaged level package: image 1 (\"\\sprites\\p1.bmp\") is cut short: its header declares 16384 x 16384 "
         "pixels in 1073741878 bytes but it holds 70"},
        {"a stage one byte short", {}, {kRowShort},
         "Damaged level package: stage 1 (\"\\backpx\\s1.bmp\") is cut short: its header declares 20 x 10 pixels in "
         "654 bytes but it holds 653"},
        {"two pictures of 1 GB fill the budget", {kRunLength, kRunLength}, {}, ""},
        {"a third picture passes it", {kRunLength, kRunLength, kRunLength}, {},
         "The level's pictures need more than 2 GB of memory: image 3 (\"\\sprites\\p3.bmp\", 16384 x 16384) passes "
         "the limit"},
        {"so does the largest stage", {kRunLength, kRunLength}, {kWhole, kRunLength},
         "The level's pictures need more than 2 GB of memory: stage 2 (\"\\backpx\\s2.bmp\", 16384 x 16384) passes "
         "the limit"},
        {"stages alone count one at a time", {}, {kRunLength, kRunLength, kRunLength}, ""},
    };
    return rows;
}

// A level whose pictures are the row's, each in its own file under `dir`/src.
std::unique_ptr<slv::Level> levelOf(const PictureRow& row, const TempDir& d) {
    auto l = std::make_unique<slv::Level>();
    auto member = [&](auto& rec, const std::string& file, const std::string& bytes) {
        writeFile(d / ("src/" + file), bytes);
        rec.name.set(file);
        rec.path.set(d / ("src/" + file));
        rec.size = static_cast<std::int32_t>(bytes.size());
    };
    for (const std::string& bytes : row.images) {
        const int i = ++l->imageCount;
        member(l->image(i), "p" + std::to_string(i) + ".bmp", bytes);
    }
    for (const std::string& bytes : row.stages) {
        const int s = ++l->stageCount;
        member(l->stage(s), "s" + std::to_string(s) + ".bmp", bytes);
    }
    return l;
}

}  // namespace

TEST(PictureMembers, CutShortOrOverTheBudgetAreRefused) {
    for (const PictureRow& row : pictureRows()) {
        SCOPED_TRACE(row.what);
        TempDir d;
        auto l = levelOf(row, d);
        const std::string pkg = d / "pkg/level.slv";
        fs::create_directories(d / "pkg");
        buildByHand(*l, *l, pkg);
        const std::string error = errorOf([&] { opened(pkg); });
        EXPECT_EQ(error, row.error.empty() ? "" : "Opening " + pkg + ": " + row.error);
        if (!row.error.empty()) {
            EXPECT_FALSE(fs::exists(d / "pkg/sprites"));
        }
    }
}

// Save reads what it wrote back with Open's checks: a package Open would
// refuse never takes the name, and the package there before stays whole.
TEST(PictureMembers, SaveNeverWritesAPackageOpenRefuses) {
    for (const PictureRow& row : pictureRows()) {
        SCOPED_TRACE(row.what);
        TempDir d;
        const std::string pkg = d / "pkg/level.slv";
        auto good = smallLevel(d / "good");
        save(*good, pkg);
        const std::string before = readAll(pkg);
        auto l = levelOf(row, d);
        const std::string error = errorOf([&] { save(*l, pkg); });
        if (row.error.empty()) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(errorOf([&] { opened(pkg); }), "");
            continue;
        }
        std::string why = row.error;
        const std::string lead = "Damaged level package: ";
        if (why.rfind(lead, 0) == 0) why = why.substr(lead.size());
        EXPECT_EQ(error, "The level cannot be saved: " + why);
        EXPECT_EQ(readAll(pkg), before);
        EXPECT_FALSE(anyTemp(d / "pkg"));
    }
}

// ---- numbered names are planned before anything is written ----

TEST(NumberedNames, ArePlannedAndCheckedBeforeTheLevelChanges) {
    struct Row {
        const char* what;
        int own;  // 0: no file of the author's; 1: one with other bytes; 2: one with the member's bytes
        bool refused;
    };
    const Row rows[] = {
        {"no file of the author's", 0, false},
        {"the author's own x.bmp, other bytes", 1, true},
        {"the author's own x.bmp, the same bytes", 2, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir d;
        // A folder whose "sprites/x.bmp" takes exactly 255 characters.
        std::string folder = d.str();
        const std::size_t want = 255 - std::string("sprites/x.bmp").size();
        while (folder.size() < want) {
            const std::size_t step = std::min<std::size_t>(want - folder.size(), 100);
            folder += std::string(step - 1, 'f') + "/";
        }
        ASSERT_EQ((folder + "sprites/x.bmp").size(), 255u);
        fs::create_directories(folder + "sprites");
        auto l = std::make_unique<slv::Level>();
        addImage(*l, d.str(), 1, "x.bmp", 3000);
        const std::string bytes = readAll(l->image(1).path.str()), pkg = folder + "p.slv";
        save(*l, pkg);
        if (row.own == 1) writeBytes(folder + "sprites/x.bmp", 3000, 77);
        if (row.own == 2) writeFile(folder + "sprites/x.bmp", bytes);
        const std::string tooLong =
            "The package folder's path is too long: \"" + folder + "sprites/x~2.bmp\" would exceed 255 characters";

        // What slvtool check runs, then Open itself.
        EXPECT_EQ(errorOf([&] { slv::planExtraction(pkg, slv::readPackage(pkg)); }), row.refused ? tooLong : "");
        auto level = std::make_unique<slv::Level>();
        level->stageCount = 1;
        level->stage(1).name.set("keep.bmp");
        RecordingHooks hooks;
        EXPECT_EQ(errorOf([&] { slv::openLevel(*level, pkg, hooks); }), row.refused ? tooLong : "");
        EXPECT_EQ(hooks.before, row.refused ? 0 : 1);
        EXPECT_EQ(level->stageCount, row.refused ? 1 : 0);
        EXPECT_FALSE(fs::exists(folder + "sprites/x~2.bmp"));
        EXPECT_EQ(filesIn(folder + "sprites"), 1u);
    }
}

// ---- a killed Open ----

TEST(KilledOpen, LeavesNoShortFileUnderAMembersName) {
    struct Row {
        const char* what;
        std::size_t stageBytes;
        rlim_t limit;  // the file-size limit the Open is killed by
    };
    const Row rows[] = {
        {"killed in the first megabyte", 1 << 20, 64 << 10},
        {"killed near the end", 3 << 20, (3 << 20) - 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir d;
        auto l = std::make_unique<slv::Level>();
        addStage(*l, d.str(), "bg08.bmp", row.stageBytes);
        const std::string pkg = d / "pkg/level.slv";
        save(*l, pkg);
        const std::string killed = slvtest::inChild([&] {
            rlimit lim{row.limit, row.limit};
            ::setrlimit(RLIMIT_FSIZE, &lim);
            ::signal(SIGXFSZ, SIG_DFL);
            opened(pkg);
            return std::string("the Open ended");
        });
        EXPECT_NE(killed, "the Open ended");
        EXPECT_FALSE(fs::exists(d / "pkg/backpx/bg08.bmp"));

        // The next Open puts the whole picture under its own name and
        // removes what the killed one left.
        auto again = opened(pkg);
        EXPECT_EQ(again->stage(1).path.str(), d / "pkg/backpx/bg08.bmp");
        EXPECT_EQ(readAll(d / "pkg/backpx/bg08.bmp"), readAll(d / "src/backpx/bg08.bmp"));
        EXPECT_FALSE(fs::exists(d / "pkg/backpx/bg08~2.bmp"));
        EXPECT_FALSE(anyExtractionTemporary(d / "pkg/backpx"));
    }
}

TEST(KilledOpen, TheNextOpenRemovesOnlyStaleTemporaries) {
    struct Row {
        const char* what;
        const char* name;
        unsigned mode;
        bool locked;  // an Open still running holds it
        bool removed;
    };
    const Row rows[] = {
        {"left by a killed Open", ".slv-part-Ab3x9Z", 0200, false, true},
        {"of an Open still running", ".slv-part-Ab3x9Z", 0200, true, false},
        {"a member that looks like one", ".slv-part-Ab3x9Z", 0644, false, false},
        {"another name", "x.slv-part-Ab3x9Z", 0200, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir d;
        const std::string pkg = d / "pkg/level.slv";
        save(*smallLevel(d.str()), pkg);
        const std::string stale = d / (std::string("pkg/sprites/") + row.name);
        writeBytes(stale, 100, 3);
        ::chmod(stale.c_str(), row.mode);
        const int fd = ::open(stale.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        if (row.locked) ::flock(fd, LOCK_EX);
        opened(pkg);
        EXPECT_EQ(!fs::exists(stale), row.removed);
        ::close(fd);
    }
}

// ---- control bytes ----

TEST(ControlBytes, MemberFileNamesHoldNone) {
    struct Row {
        std::string entry;
        std::string file;
    };
    const Row rows[] = {
        {"\\sprites\\a\x81.bmp", "a%81.bmp"},
        {"\\sprites\\\x8D\x8F.bmp", "%8D%8F.bmp"},
        {"\\backpx\\x\x90y\x9D", "x%90y%9D"},
        {"\\sprites\\\x80\x9F.bmp", "\u20AC\u0178.bmp"},  // defined bytes keep their characters
        {"\\sprites\\100%.bmp", "100%.bmp"},
    };
    for (const Row& row : rows) EXPECT_EQ(slv::memberFileName(row.entry, {}), row.file) << row.entry;
}

TEST(ControlBytes, OpenWritesNoControlCharacterAndSaveKeepsTheEntry) {
    TempDir d;
    auto l = std::make_unique<slv::Level>();
    addImage(*l, d.str(), 1, "a\u0081b.bmp", 900);  // stored as the undefined byte 0x81
    addImage(*l, d.str(), 2, "c\u009D.bmp", 900);
    const std::string pkg = d / "pkg/level.slv";
    save(*l, pkg);
    auto back = opened(pkg);
    EXPECT_EQ(back->image(1).path.str(), d / "pkg/sprites/a%81b.bmp");
    EXPECT_EQ(back->image(2).path.str(), d / "pkg/sprites/c%9D.bmp");
    for (auto& e : fs::recursive_directory_iterator(d.path() / "pkg")) {
        const std::string n = e.path().filename().string();
        for (std::size_t i = 0; i < n.size(); ++i) {
            const auto c = static_cast<unsigned char>(n[i]);
            EXPECT_FALSE(c < 0x20 || c == 0x7f || (c == 0xC2 && i + 1 < n.size() &&
                                                    static_cast<unsigned char>(n[i + 1]) < 0xA0))
                << n;
        }
    }
    save(*back, d / "pkg/again.slv");
    auto before = headerOf(pkg), after = headerOf(d / "pkg/again.slv");
    before.resize(6);  // the fixed four and the two images
    after.resize(6);
    EXPECT_TRUE(sameEntries(before, after));
    EXPECT_EQ(after[4].name.str(), "\\sprites\\a\x81" "b.bmp");
}
