// Open that leaves the bitmap files to be written afterwards: the level is
// the same as after a plain Open, the pictures come from the package's
// bytes, and the files written later are the files a plain Open writes.
#include <chrono>
#include <functional>
#include <map>

#include "common/error_text.h"
#include "package_helpers.h"

using namespace pkgtest;

namespace {

// Hooks that keep the bytes every picture was loaded from, by path.
struct DataHooks : slv::PackageHooks {
    std::map<std::string, std::string> loaded;
    slv::SurfaceHandle loadImageData(int index, const std::string& path, const PictureBytes& bytes) override {
        loaded[path] = bytes();
        return static_cast<slv::SurfaceHandle>(1000 + index);
    }
};

// The bitmap files the level's records name that exist, by path relative to `folder`.
std::map<std::string, std::string> filesOf(const slv::Level& l, const std::string& folder) {
    std::map<std::string, std::string> out;
    std::vector<std::string> paths{l.stage(1).path.str(), l.stage(2).path.str()};
    for (int i = 1; i <= l.imageCount; ++i) paths.push_back(l.image(i).path.str());
    for (const std::string& p : paths)
        if (fs::exists(p)) out[fs::relative(p, folder).string()] = readAll(p);
    return out;
}

// The bitmap members of a package, by entry name.
std::map<std::string, std::string> membersOf(const std::string& pkg) {
    const slv::PackageHeader h = slv::readPackage(pkg).header;
    const std::string all = readAll(pkg);
    std::map<std::string, std::string> out;
    for (std::size_t k = slv::kFixedEntries; k < h.entries.size(); ++k) {
        const slv::PackEntry& e = h.entries[k];
        out[e.name.str()] = all.substr(std::size_t(h.dataStart + e.start), std::size_t(e.size));
    }
    return out;
}

}  // namespace

// Each case: what the package's folder holds before the Open. The records
// and, in the end, the files must be those of a plain Open of a copy.
TEST(PendingLevelFiles, WrittenLaterAsAPlainOpenWritesThem) {
    struct Case {
        const char* name;
        std::string file, bytes;  // in the folder before ("" bytes: the member's own)
        std::size_t left;         // files the Open leaves to write
    } cases[] = {
        {"empty folder", "", "", 4},
        {"a member's own bytes already there: shared", "sprites/hero.bmp", "", 3},
        {"other bytes under a member's name: a free name", "backpx/street.bmp", "other", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        save(*smallLevel(d.str()), d / "src/level.slv");
        for (const char* where : {"later/", "plain/"}) {
            fs::create_directories(d / where);
            fs::copy_file(d / "src/level.slv", d / where + "level.slv");
            if (!c.file.empty()) writeFile(d / where + c.file, c.bytes.empty() ? readAll(d / "src/" + c.file) : c.bytes);
        }
        auto plain = opened(d / "plain/level.slv");
        const auto planned = filesOf(*plain, d / "plain");
        slv::Level l;
        DataHooks hooks;
        slv::PendingLevelFiles later;
        slv::openLevel(l, d / "later/level.slv", hooks, &later);
        EXPECT_EQ(later.left(), c.left);
        EXPECT_EQ(filesOf(l, d / "later").size(), planned.size() - c.left);
        for (const auto& [path, bytes] : hooks.loaded)  // the bytes its file gets
            EXPECT_EQ(bytes, planned.at(fs::relative(path, d / "later").string())) << path;
        EXPECT_EQ(hooks.loaded.size(), 2u);
        for (const char* folder : {"sprites", "backpx"})  // made with its first file
            EXPECT_EQ(fs::exists(d / "later/" + folder), c.file.rfind(folder, 0) == 0) << folder;

        // Save takes the members from the package and leaves the files to write.
        save(*plain, d / "plain/saved.slv");
        const slv::UnwrittenPictures pictures = later.unwrittenPictures();
        slv::saveLevel(l, d / "later/saved.slv", hooks, &pictures);
        EXPECT_EQ(membersOf(d / "later/saved.slv"), membersOf(d / "plain/saved.slv"));
        EXPECT_EQ(later.left(), c.left);
        EXPECT_EQ(filesOf(l, d / "later").size(), planned.size() - c.left);

        later.writeNext();
        EXPECT_EQ(later.left(), c.left - 1);
        later.writeAll();
        EXPECT_TRUE(later.empty());
        EXPECT_EQ(filesOf(l, d / "later"), planned);
        EXPECT_FALSE(anyTemp(d / "later"));
    }
}

// The files come from the package the level was opened from: one replaced
// under its name still gives them, to their files and to Save; one written
// over in place does not, and says so without writing a file or a package.
TEST(PendingLevelFiles, APackageWrittenOverInPlaceGivesNoFiles) {
    using Change = std::function<void(const std::string& pkg, const std::string& other)>;
    const std::vector<std::tuple<const char*, Change, bool>> cases = {
        {"replaced under its name", [](auto& pkg, auto& other) { fs::rename(other, pkg); }, true},
        {"written over, same size", [](auto& pkg, auto& other) { writeFile(pkg, readAll(other)); }, false},
        {"cut short", [](auto& pkg, auto&) { fs::resize_file(pkg, 100); }, false},
    };
    for (const auto& [name, change, written] : cases) {
        SCOPED_TRACE(name);
        TempDir d;
        save(*smallLevel(d.str()), d / "pkg/level.slv");
        auto other = smallLevel(d / "o/");  // the same sizes, other bytes
        for (int i = 1; i <= 2; ++i) writeBitmapBytes(other->image(i).path.str(), 5000u + 2000u * unsigned(i - 1), 77u + unsigned(i));
        save(*other, d / "o/other.slv");
        ASSERT_EQ(fs::file_size(d / "o/other.slv"), fs::file_size(d / "pkg/level.slv"));
        // Saved an hour ago: a write now gives it another time, however coarse the clock.
        fs::last_write_time(d / "pkg/level.slv", fs::file_time_type::clock::now() - std::chrono::hours(1));
        slv::Level l;
        DataHooks hooks;
        slv::PendingLevelFiles later;
        slv::openLevel(l, d / "pkg/level.slv", hooks, &later);
        const std::string hero = l.image(1).path.str();
        const auto members = membersOf(d / "pkg/level.slv");
        const slv::UnwrittenPictures pictures = later.unwrittenPictures();
        change(d / "pkg/level.slv", d / "o/other.slv");
        if (written) {
            later.writeAll();  // done with the package; the pictures keep it open
            EXPECT_EQ(readAll(hero), hooks.loaded.at(hero));
            slv::saveLevel(l, d / "pkg/saved.slv", hooks, &pictures);
            EXPECT_EQ(membersOf(d / "pkg/saved.slv"), members);
            continue;
        }
        EXPECT_THROW(later.writeNext(), slv::Error);
        EXPECT_THROW(slv::saveLevel(l, d / "pkg/saved.slv", hooks, &pictures), slv::Error);
        EXPECT_FALSE(fs::exists(d / "pkg/saved.slv"));
        EXPECT_FALSE(anyTemp(d / "pkg"));
        EXPECT_EQ(later.left(), 4u);
        EXPECT_FALSE(fs::exists(hero));
    }
}

// Save writes the pictures a level holds (members of the package it was
// opened from, or bytes taken from files), whatever became of the files
// beside it; pictures it does not hold come from their files.
TEST(LevelPictureStore, SaveWritesTheHeldPicturesNotTheFiles) {
    struct Row {
        const char* what;
        bool heldAsBytes;   // else as members of the opened package
        bool fileRemoved;   // else written over with other bytes
    };
    const Row rows[] = {
        {"members, files removed", false, true},
        {"members, files written over", false, false},
        {"bytes, files removed", true, true},
        {"bytes, files written over", true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir d;
        auto made = smallLevel(d / "src");
        save(*made, d / "pkg/level.slv");
        const auto original = membersOf(d / "pkg/level.slv");

        slv::Level l;
        slv::PackageHooks hooks;
        slv::LevelPictureStore pictures;
        slv::openLevel(l, d / "pkg/level.slv", hooks, nullptr, &pictures);
        ASSERT_EQ(pictures.size(), 4u);  // two images, two stages
        EXPECT_EQ(pictures.heldBytes(), 0);
        if (row.heldAsBytes) {
            for (const std::string& p : {l.image(1).path.str(), l.image(2).path.str(), l.stage(1).path.str(),
                                         l.stage(2).path.str()})
                pictures.putBytes(p, std::make_shared<const std::string>(readAll(p)));
            EXPECT_GT(pictures.heldBytes(), 0);
        }
        for (const std::string& p : {l.image(1).path.str(), l.stage(2).path.str()}) {
            if (row.fileRemoved) fs::remove(p);
            else writeFile(p, readAll(p) + "more bytes");
        }
        slv::saveLevel(l, d / "pkg/saved.slv", hooks, &pictures);
        EXPECT_EQ(membersOf(d / "pkg/saved.slv"), original);

        // A picture the level does not hold comes from its file.
        pictures.remove(l.image(2).path.str());
        writeFile(l.image(2).path.str(), readAll(l.image(2).path.str()) + "x");
        slv::saveLevel(l, d / "pkg/saved.slv", hooks, &pictures);
        const auto resaved = membersOf(d / "pkg/saved.slv");
        EXPECT_EQ(resaved.at("\\sprites\\coin.bmp").size(),
                  original.at("\\sprites\\coin.bmp").size() + 1);
    }
}

// Save copies a picture not written yet from the package: a package written
// over in place after the pictures were measured, while the tables are
// written, is noticed after the copy and no package is left.
TEST(PendingLevelFiles, SaveNoticesThePackageWrittenOverDuringTheCopy) {
    struct WriteOverOnStep : DataHooks {
        std::string pkg, other;
        int steps = 0, at = 0;
        void step() override {
            if (++steps == at) writeFile(pkg, readAll(other));
        }
    };
    for (int at : {1, 4}) {  // after the first table, after the last
        SCOPED_TRACE(at);
        TempDir d;
        save(*smallLevel(d.str()), d / "pkg/level.slv");
        auto other = smallLevel(d / "o/");  // the same sizes, other bytes
        for (int i = 1; i <= 2; ++i)
            writeBitmapBytes(other->image(i).path.str(), 5000u + 2000u * unsigned(i - 1), 77u + unsigned(i));
        save(*other, d / "o/other.slv");
        ASSERT_EQ(fs::file_size(d / "o/other.slv"), fs::file_size(d / "pkg/level.slv"));
        fs::last_write_time(d / "pkg/level.slv", fs::file_time_type::clock::now() - std::chrono::hours(1));
        slv::Level l;
        WriteOverOnStep hooks;
        slv::PendingLevelFiles later;
        slv::openLevel(l, d / "pkg/level.slv", hooks, &later);
        const slv::UnwrittenPictures pictures = later.unwrittenPictures();
        hooks.steps = 0;  // Save's steps from here
        hooks.pkg = d / "pkg/level.slv";
        hooks.other = d / "o/other.slv";
        hooks.at = at;
        const std::string error = errorOf([&] { slv::saveLevel(l, d / "pkg/saved.slv", hooks, &pictures); });
        EXPECT_NE(error.find("was written over after the level was opened from it"), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(d / "pkg/saved.slv"));
        EXPECT_FALSE(anyTemp(d / "pkg"));
    }
}
