// The file layer: safe replacing, errors that name the file, and reading
// only regular files.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/child_process.h"
#include "common/error_text.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "package/levelio.h"
#include "package/skinpackage.h"
#include "common/files.h"
#include "common/tempdir.h"

using namespace slv;
using namespace slvtest;
namespace fs = std::filesystem;
using slvtest::ChildOptions;
using slvtest::inChild;

namespace {

// The flushes (of the file a descriptor names) and renames of the file
// layer, in order, while `listening`.
bool listening = false;
std::vector<std::string> syncCalls;

}  // namespace

// This program's fsync and rename: noted, then passed on to the C library.
extern "C" int fsync(int fd) {
    static const auto next = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    std::error_code unnamed;
    if (listening) syncCalls.push_back("fsync " + fs::read_symlink("/proc/self/fd/" + std::to_string(fd), unnamed).string());
    return next(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    static const auto next = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(RTLD_NEXT, "rename"));
    if (listening) syncCalls.push_back(std::string("rename ") + from);
    return next(from, to);
}

namespace {

ino_t inodeOf(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

TEST(SafeReplace, KeepsPermissionBitsAndOwner) {
    for (unsigned mode : {0600u, 0640u, 0604u, 0755u}) {
        TempDir d;
        const std::string p = d.file("level.slv");
        writeFile(p, "old");
        ::chmod(p.c_str(), mode);
        if (slvtest::runningAsRoot()) {
            ASSERT_EQ(::chown(p.c_str(), slvtest::kNobody, slvtest::kNobody), 0);
        }
        writeFileAtomic(p, "new");
        EXPECT_EQ(readFile(p), "new");
        EXPECT_EQ(modeOf(p), mode) << std::oct << mode;
        struct stat st {};
        ASSERT_EQ(::stat(p.c_str(), &st), 0);
        if (slvtest::runningAsRoot()) {
            EXPECT_EQ(st.st_uid, slvtest::kNobody);
            EXPECT_EQ(st.st_gid, slvtest::kNobody);
        }
        EXPECT_EQ(leftoverParts(d.path()), 0);
    }
}

TEST(SafeReplace, WritesThroughSymbolicLinksKeepingThem) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;  // link (in "home") -> what it holds
        std::string target;                                       // file that must get the bytes
    };
    const std::vector<Case> cases = {
        {"relative link to another folder", {{"home/level.slv", "../store/real.slv"}}, "store/real.slv"},
        {"chain of two links", {{"home/level.slv", "hop.slv"}, {"home/hop.slv", "../store/real.slv"}},
         "store/real.slv"},
        {"absolute link", {{"home/level.slv", "@store/real.slv"}}, "store/real.slv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        fs::create_directories(d.path() / "home");
        writeFile(d.file(c.target), "old");
        ::chmod(d.file(c.target).c_str(), 0600);
        for (const auto& [link, to] : c.links)
            fs::create_symlink(to[0] == '@' ? d.file(to.substr(1)) : to, d.path() / link);
        writeFileAtomic(d.file("home/level.slv"), "new bytes");
        for (const auto& [link, to] : c.links) {
            EXPECT_TRUE(fs::is_symlink(d.path() / link)) << link;
            EXPECT_EQ(fs::read_symlink(d.path() / link).string(), to[0] == '@' ? d.file(to.substr(1)) : to);
        }
        EXPECT_EQ(readFile(d.file(c.target)), "new bytes");
        EXPECT_EQ(modeOf(d.file(c.target)), 0600u);
        EXPECT_EQ(leftoverParts(d.path() / "home") + leftoverParts(d.path() / "store"), 0);
    }
}

TEST(SafeReplace, RefusesAFileTheUserCannotWrite) {
    TempDir d;
    const std::string p = d.file("level.slv");
    writeFile(p, "old");
    ::chmod(p.c_str(), 0444);
    d.giveTo(slvtest::kNobody);
    std::string r = inChild(
        [&]() -> std::string {
            std::string e = errorOf([&] { writeFileAtomic(p, "new"); });
            if (e != "Saving " + p + ": File access denied") return "error: \"" + e + "\"";
            if (readFile(p) != "old") return "the file was replaced";
            if (leftoverParts(d.path()) != 0) return "a temporary file was left";
            return "";
        },
        ChildOptions{5, true});
    EXPECT_EQ(r, "");
}

TEST(SafeReplace, WritesInPlaceWhenOnlyTheFileIsWritable) {
    struct Case {
        std::string next;
        bool linkSwappedIn;  // the file becomes a link between the start of the save and its commit
    };
    const Case cases[] = {{std::string(5000, 'L'), false}, {"short", false}, {"swapped", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.next.substr(0, 10));
        TempDir d;
        const std::string p = d.file("corvatel.cf");
        const std::string victim = d.file("victim");
        writeFile(p, std::string(300, 'o'));
        writeFile(victim, "mine");
        ::chmod(p.c_str(), 0640);
        d.giveTo(slvtest::kNobody);
        ::chmod(d.path().c_str(), 0555);
        const ino_t before = inodeOf(p);
        std::string r = inChild(
            [&]() -> std::string {
                if (!c.linkSwappedIn) {
                    std::string e = errorOf([&] { writeFileAtomic(p, c.next); });
                    return e.empty() ? "" : "error: " + e;
                }
                PartFile f(p);
                if (!f.tempPath().empty()) return "not written in place";
                f.write(c.next.data(), c.next.size());
                if (::chmod(d.path().c_str(), 0755) != 0 || ::unlink(p.c_str()) != 0 ||
                    ::symlink(victim.c_str(), p.c_str()) != 0 || ::chmod(d.path().c_str(), 0555) != 0)
                    return "cannot swap the link in";
                std::string e = errorOf([&] { f.commit(true); });
                return e.rfind("Saving " + p + ": ", 0) == 0 ? "" : "error: \"" + e + "\"";
            },
            ChildOptions{5, true});
        EXPECT_EQ(r, "");
        EXPECT_EQ(readFile(victim), "mine");
        EXPECT_EQ(leftoverParts(d.path()), 0);
        if (c.linkSwappedIn) {
            EXPECT_TRUE(fs::is_symlink(p));
            continue;
        }
        EXPECT_EQ(readFile(p), c.next);
        EXPECT_EQ(inodeOf(p), before);
        EXPECT_EQ(modeOf(p), 0640u);
    }
}

// The new bytes are on the disk before the name points to them.
TEST(SafeReplace, FlushesTheNewFileBeforeItTakesTheName) {
    for (bool existing : {false, true}) {
        SCOPED_TRACE(existing);
        TempDir d;
        const std::string p = d.file("level.slv");
        if (existing) writeFile(p, "old");
        syncCalls.clear();
        listening = true;
        writeFileAtomic(p, "new");
        listening = false;
        auto renamed = std::find_if(syncCalls.begin(), syncCalls.end(), [](auto& c) { return c.rfind("rename ", 0) == 0; });
        ASSERT_NE(renamed, syncCalls.end());
        EXPECT_NE(std::find(syncCalls.begin(), renamed, "fsync " + renamed->substr(7)), renamed)
            << ::testing::PrintToString(syncCalls);
        EXPECT_EQ(readFile(p), "new");
    }
}

TEST(SafeReplace, FileNamesUpToTheLimitSave) {
    std::string accented;
    while (accented.size() < 254) accented += "\xC3\xA9";  // 'é', two bytes each
    for (const std::string& name :
         {std::string(255, 'n'), std::string(244, 'm') + ".slv", accented + "x", std::string(200, 'k')}) {
        SCOPED_TRACE(name.size());
        TempDir d;
        const std::string p = d.file(name);
        writeFileAtomic(p, "first");
        writeFileAtomic(p, "second");
        EXPECT_EQ(readFile(p), "second");
        EXPECT_EQ(leftoverParts(d.path()), 0);
    }
}

TEST(SafeReplace, TemporaryFilesOfAKilledSaveGoAtTheNextSave) {
    for (const std::string& name : {std::string("level.slv"), std::string(255, 'q')}) {
        TempDir d;
        const std::string p = d.file(name);
        // A save killed half-way: its temporary file stays behind.
        std::string r = inChild([&]() -> std::string {
            auto* killed = new PartFile(p);
            killed->write("half", 4);
            ::_exit(0);
        });
        ASSERT_EQ(r, "");
        ASSERT_EQ(leftoverParts(d.path()), 1);
        // Another save still under way, and files that belong to other names.
        PartFile live(p);
        live.write("live", 4);
        writeFile(d.file("other.slv.part-ABC123"), "x");
        writeFile(d.file(name.substr(0, 200) + ".part-toolong7"), "x");
        writeFileAtomic(p, "saved");
        EXPECT_EQ(readFile(p), "saved");
        EXPECT_EQ(leftoverParts(d.path()), 3);  // the live one and the two others
        EXPECT_TRUE(fs::exists(live.tempPath()));
        live.commit(true);
        EXPECT_EQ(readFile(p), "live");
        EXPECT_EQ(leftoverParts(d.path()), 2);
    }
}

TEST(SafeReplace, FileSizeLimitIsAnErrorThatKeepsTheOldFile) {
    // Through a temporary file, and in place in a folder that takes no new file.
    for (bool readOnlyFolder : {false, true}) {
        SCOPED_TRACE(readOnlyFolder ? "in place" : "rename");
        TempDir d;
        const std::string p = d.file("level.slv");
        const std::string old(1000, 'o');
        writeFile(p, old);
        d.giveTo(slvtest::kNobody);
        if (readOnlyFolder) ::chmod(d.path().c_str(), 0555);
        std::string r = inChild(
            [&]() -> std::string {
                ignoreFileSizeSignal();
                rlimit lim{64 * 1024, 64 * 1024};
                if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return "setrlimit failed";
                std::string e = errorOf([&] { writeFileAtomic(p, std::string(200 * 1024, 'n')); });
                if (e != "Saving " + p + ": Disk full") return "error: \"" + e + "\"";
                return "";
            },
            ChildOptions{5, readOnlyFolder});
        EXPECT_EQ(r, "");
        EXPECT_EQ(readFile(p), old);
        EXPECT_EQ(leftoverParts(d.path()), 0);
    }
}

// Every failure names the operation and the file; FIFOs and devices are
// refused at once (the cases run in a child that a hang would outlast).
TEST(FileErrors, NameTheOperationAndTheFileAndNeverWait) {
    TempDir d;
    const std::string shortFile = d.file("short.bin");
    writeFile(shortFile, "12345678901");
    fs::create_directories(d.path() / "folder");
    const std::string folder = d.file("folder");
    const std::string missing = d.file("missing/level.slv");
    const std::string none = d.file("none");
    const std::string fifo = d.file("level.slv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { BinFile f(none, BinFile::Mode::Read); }, "Reading " + none + ": File not found"},
        {[&] { char b[20]; BinFile(shortFile, BinFile::Mode::Read).readExact(b, sizeof b); },
         "Reading " + shortFile + ": Read beyond end of file"},
        {[&] { BinFile f(folder, BinFile::Mode::Read); }, "Reading " + folder + ": Invalid filename"},
        {[&] { writeFileAtomic(missing, "x"); }, "Saving " + missing + ": File not found"},
        {[&] { PartFile(missing, PartFile::Target::New, "Extracting"); },
         "Extracting " + missing + ": File not found"},
        {[&] { readWholeFile(shortFile, 10); }, "Reading " + shortFile + ": The file is longer than 10 bytes"},
        {[&] { withFileContext("Opening", shortFile, [] { throw Error("Damaged level package"); }); },
         "Opening " + shortFile + ": Damaged level package"},
        {[&] { withFileContext("Opening", shortFile, [&] { BinFile f(none, BinFile::Mode::Read); }); },
         "Reading " + none + ": File not found"},  // a file error inside keeps its own file
        {[&] { BinFile f(fifo, BinFile::Mode::Read); }, "Reading " + fifo + ": Not a regular file"},
        {[&] { BinFile f(fifo, BinFile::Mode::Create); }, "Writing " + fifo + ": Not a regular file"},
        {[&] { writeFileAtomic(fifo, "x"); }, "Saving " + fifo + ": Not a regular file"},
        {[&] { readWholeFile("/dev/zero"); }, "Reading /dev/zero: Not a regular file"},
        {[&] { readPackage(fifo); }, "Reading " + fifo + ": Not a regular file"},
        {[&] { readSkinHeader(fifo); }, "Reading " + fifo + ": Not a regular file"},
    };
    for (const auto& [run, expected] : cases) {
        std::string r = inChild([&] {
            std::string e = errorOf(run);
            return e == expected ? std::string() : "error: \"" + e + "\"";
        }, ChildOptions{3, false});
        EXPECT_EQ(r, "") << expected;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(OpenForReading, OnlyRegularFilesAndNeverAWait) {
    TempDir d;
    writeFile(d / "plain", "bytes");
    ASSERT_EQ(::mkfifo((d / "fifo").c_str(), 0600), 0);
    fs::create_symlink(d / "plain", d / "plain-link");
    fs::create_symlink(d / "fifo", d / "fifo-link");
    fs::create_directory(d / "folder");
    struct Row {
        std::string path;
        Links links;
        std::string reason;  // empty: opened
    };
    const Row rows[] = {
        {d / "plain", Links::Refuse, ""},
        {d / "plain-link", Links::Follow, ""},
        {d / "plain-link", Links::Refuse, "Is a symbolic link"},
        {d / "fifo", Links::Follow, "Not a regular file"},
        {d / "fifo-link", Links::Follow, "Not a regular file"},
        {"/dev/zero", Links::Follow, "Not a regular file"},
        {d / "folder", Links::Follow, "Invalid filename"},
        {d / "missing", Links::Follow, "File not found"},
    };
    for (const Row& row : rows) {
        const std::string got = inChild(
            [&] {
                const std::string text = errorOf([&] { ::close(openFileForReading(row.path, row.links)); });
                return text.empty() ? std::string("opened") : text;
            },
            ChildOptions{3, false});
        EXPECT_EQ(got, row.reason.empty() ? "opened" : "Reading " + row.path + ": " + row.reason);
    }
}
