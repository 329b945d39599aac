// Open that leaves the bitmap files to be written afterwards: the level is
// the same as after a plain Open, the pictures come from the package's
// bytes, and the files written later are the files a plain Open writes.
#include <chrono>
#include <functional>
#include <map>

#include "package_helpers.h"

using namespace pkgtest;

namespace {

// Hooks that keep the bytes every picture was loaded from, by path.
struct DataHooks : slv::PackageHooks {
    std::map<std::string, std::string> loaded;
    int fromFiles = 0;
    slv::SurfaceHandle loadImage(int index, const std::string&) override {
        ++fromFiles;
        return static_cast<slv::SurfaceHandle>(1000 + index);
    }
    slv::SurfaceHandle loadImageData(int index, const std::string& path, const std::string& bytes) override {
        loaded[path] = bytes;
        return static_cast<slv::SurfaceHandle>(1000 + index);
    }
};

// The bitmap files of a level's records, relative to `folder`, with their bytes.
std::map<std::string, std::string> filesOf(const slv::Level& l, const std::string& folder) {
    std::map<std::string, std::string> out;
    auto add = [&](const std::string& p) {
        if (fs::exists(p)) out[fs::relative(p, folder).string()] = readAll(p);
    };
    for (int i = 1; i <= l.imageCount; ++i)
        if (!l.image(i).name.empty()) add(l.image(i).path.str());
    for (int s = 1; s <= l.stageCount; ++s) add(l.stage(s).path.str());
    return out;
}

}  // namespace

// Each case: what the package's folder holds before the Open. The level and
// the files written at the end must equal those of a plain Open of a copy.
TEST(PendingLevelFiles, WrittenLaterAsAPlainOpenWritesThem) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> before;  // file in the folder, its bytes ("" = a member's)
        std::size_t left;                                          // files the Open leaves to write
    };
    const std::vector<Case> cases = {
        {"empty folder", {}, 4},
        {"a member's own bytes already there: shared, not written", {{"sprites/hero.bmp", ""}}, 3},
        {"other bytes under a member's name: it goes to a free name", {{"backpx/street.bmp", "other"}}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        save(*smallLevel(d.str()), d / "src/level.slv");
        for (const char* where : {"later/", "plain/"}) {
            const std::string folder = d / where;
            fs::create_directories(folder);
            fs::copy_file(d / "src/level.slv", folder + "level.slv");
            for (const auto& [file, bytes] : c.before)
                writeFile(folder + file, bytes.empty() ? readAll(d / "src/" + file) : bytes);
        }
        auto plain = opened(d / "plain/level.slv");

        slv::Level l;
        DataHooks hooks;
        slv::PendingLevelFiles later;
        slv::openLevel(l, d / "later/level.slv", hooks, &later);
        EXPECT_EQ(later.left(), c.left);
        EXPECT_EQ(hooks.fromFiles, 0);
        // The same records, naming the same places in their own folder.
        auto samePlace = [&](const std::string& path) {
            return d / "later/" + fs::relative(path, d / "plain").string();
        };
        EXPECT_EQ(l.image(2).path.str(), samePlace(plain->image(2).path.str()));
        EXPECT_EQ(l.stage(1).path.str(), samePlace(plain->stage(1).path.str()));
        EXPECT_EQ(l.sprite(2, 1).x, plain->sprite(2, 1).x);
        EXPECT_EQ(l.memberEntryNames.size(), plain->memberEntryNames.size());
        // Each picture was loaded from exactly the bytes its file gets.
        const auto planned = filesOf(*plain, d / "plain");
        ASSERT_EQ(hooks.loaded.size(), 2u);
        for (const auto& [path, bytes] : hooks.loaded)
            EXPECT_EQ(bytes, planned.at(fs::relative(path, d / "later").string())) << path;
        // Nothing but the files kept from before is there yet.
        EXPECT_EQ(filesOf(l, d / "later").size(), planned.size() - c.left);

        // Out of turn: the files asked for and no other; the next in turn
        // then skips them.
        const std::string park = l.stage(2).path.str();
        later.writeFiles({d / "later/backpx/elsewhere.bmp", park});
        EXPECT_EQ(later.left(), c.left - 1);
        EXPECT_EQ(filesOf(l, d / "later").size(), planned.size() - c.left + 1);
        EXPECT_EQ(readAll(park), planned.at(fs::relative(park, d / "later").string()));
        later.writeNext();
        EXPECT_EQ(later.left(), c.left - 2);
        later.writeAll();
        EXPECT_TRUE(later.empty());
        EXPECT_EQ(filesOf(l, d / "later"), planned);
        EXPECT_FALSE(anyTemp(d / "later"));
        later.writeAll();  // nothing left: nothing happens
        EXPECT_EQ(filesOf(l, d / "later"), planned);
    }
}

TEST(PendingLevelFiles, AFileInTheWayIsReportedAndTriedAgain) {
    TempDir d;
    save(*smallLevel(d.str()), d / "pkg/level.slv");
    slv::Level l;
    DataHooks hooks;
    slv::PendingLevelFiles later;
    slv::openLevel(l, d / "pkg/level.slv", hooks, &later);
    // Another program takes the first file's name before it is written.
    const std::string first = l.image(1).path.str();
    writeFile(first, "theirs");
    EXPECT_THROW(later.writeNext(), slv::Error);
    EXPECT_EQ(later.left(), 4u);
    EXPECT_EQ(readAll(first), "theirs");  // never written over
    fs::remove(first);
    later.writeAll();
    EXPECT_EQ(readAll(first), readAll(d / "src/sprites/hero.bmp"));
}

TEST(PendingLevelFiles, ARefusedOpenKeepsWhatWasLeftToWrite) {
    TempDir d;
    save(*smallLevel(d.str()), d / "a/level.slv");
    writeFile(d / "b/level.slv", "not a package");
    slv::Level l;
    DataHooks hooks;
    slv::PendingLevelFiles later;
    slv::openLevel(l, d / "a/level.slv", hooks, &later);
    EXPECT_THROW(slv::openLevel(l, d / "b/level.slv", hooks, &later), slv::Error);
    EXPECT_EQ(later.left(), 4u);
    later.writeAll();
    EXPECT_EQ(readAll(l.stage(2).path.str()), readAll(d / "src/backpx/park.bmp"));
}

// The files are written from the package the level was opened from: one
// replaced under its name, or moved, still gives them; one written over in
// place does not, and says so without writing a file.
TEST(PendingLevelFiles, APackageWrittenOverInPlaceGivesNoFiles) {
    struct Case {
        const char* name;
        std::function<void(const std::string& pkg, const std::string& other)> change;
        bool written;
    };
    const std::vector<Case> cases = {
        {"replaced by another file under its name",
         [](const std::string& pkg, const std::string& other) { fs::rename(other, pkg); }, true},
        {"moved away", [](const std::string& pkg, const std::string&) { fs::rename(pkg, pkg + ".old"); }, true},
        {"written over in place, the same size",
         [](const std::string& pkg, const std::string& other) { writeFile(pkg, readAll(other)); }, false},
        {"cut short in place",
         [](const std::string& pkg, const std::string&) { fs::resize_file(pkg, 100); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        save(*smallLevel(d.str()), d / "pkg/level.slv");
        // Another level of the same size: its pictures' bytes differ.
        auto other = smallLevel(d / "o/");
        for (int i = 1; i <= 2; ++i) writeBitmapBytes(other->image(i).path.str(), std::size_t(other->image(i).size), 77u + unsigned(i));
        save(*other, d / "o/other.slv");
        ASSERT_EQ(fs::file_size(d / "o/other.slv"), fs::file_size(d / "pkg/level.slv"));
        // Saved an hour ago: a write now gives it another time, however coarse the clock.
        fs::last_write_time(d / "pkg/level.slv", fs::file_time_type::clock::now() - std::chrono::hours(1));

        slv::Level l;
        DataHooks hooks;
        slv::PendingLevelFiles later;
        slv::openLevel(l, d / "pkg/level.slv", hooks, &later);
        const std::string hero = l.image(1).path.str();
        c.change(d / "pkg/level.slv", d / "o/other.slv");
        if (c.written) {
            later.writeAll();
            EXPECT_EQ(readAll(hero), hooks.loaded.at(hero));
            continue;
        }
        try {
            later.writeNext();
            ADD_FAILURE() << "a file was written from changed bytes";
        } catch (const slv::Error& e) {
            EXPECT_NE(std::string(e.what()).find("was written over after the level was opened"), std::string::npos)
                << e.what();
        }
        EXPECT_EQ(later.left(), 4u);
        EXPECT_FALSE(fs::exists(hero));
    }
}
