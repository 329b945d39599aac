// What an editor that ended without closing left in the state folder, when
// it is not what it should be: FIFOs, links and devices never stop a start,
// and a note never picks the file Save replaces.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/child_process.h"
#include "package/recoverywriter.h"
#include "package/restoredlevel.h"
#include "package_helpers.h"

using namespace pkgtest;

namespace {

// A session folder of an editor that ended without closing, holding
// `package` (a level package unless it is made otherwise) and a note.
std::string leftSession(const std::string& state) {
    const std::string folder = state + "session-1-0000abcd/";
    writeFile(folder + "lock", "");
    return folder;
}

}  // namespace

TEST(LeftSession, StrangeFilesNeverStopTheStart) {
    struct Row {
        const char* what;
        std::function<void(const std::string& folder)> spoil;
        std::string offered;  // what claimLeftPackages gives: "none" or "package, note: <path>"
    };
    const Row rows[] = {
        {"a plain note", [](const std::string& f) { writeFile(f + "recovery.txt", "/home/a/level.slv"); },
         "package, note: /home/a/level.slv"},
        {"the note is a FIFO", [](const std::string& f) { ::mkfifo((f + "recovery.txt").c_str(), 0600); },
         "package, note: "},
        {"the note links to a FIFO",
         [](const std::string& f) {
             ::mkfifo((f + "pipe").c_str(), 0600);
             fs::create_symlink(f + "pipe", f + "recovery.txt");
         },
         "package, note: "},
        {"the note links to /dev/zero",
         [](const std::string& f) { fs::create_symlink("/dev/zero", f + "recovery.txt"); }, "package, note: "},
        {"the note is a folder", [](const std::string& f) { fs::create_directory(f + "recovery.txt"); },
         "package, note: "},
        {"the package is a FIFO",
         [](const std::string& f) {
             fs::remove(f + "recovery.slv");
             ::mkfifo((f + "recovery.slv").c_str(), 0600);
         },
         "none"},
        {"the lock is a FIFO",
         [](const std::string& f) {
             fs::remove(f + "lock");
             ::mkfifo((f + "lock").c_str(), 0600);
         },
         "none"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir d;
        const std::string folder = leftSession(d.str());
        writeBytes(folder + "recovery.slv", 100, 1);
        row.spoil(folder);
        const std::string got = slvtest::inChild(
            [&] {
                slv::RecoveryWriter writer(d.str());
                std::vector<slv::LeftPackage> left = writer.claimLeftPackages();
                if (left.empty()) return std::string("none");
                return "package, note: " + left.front().levelPath;
            },
            {3, false});
        EXPECT_EQ(got, row.offered);
    }
}

TEST(RestoredLevelPath, OnlyAPathSaveMayUse) {
    TempDir d;
    ::chmod(d.path().c_str(), 0755);  // an unprivileged child may look inside
    save(*smallLevel(d.str()), d / "pkg/level.slv");
    writeFile(d / "notes.txt", "the author's own file");
    ::mkfifo((d / "fifo").c_str(), 0600);
    fs::create_symlink(d / "pkg/level.slv", d / "link.slv");
    fs::create_symlink(d / "nowhere.slv", d / "dangling.slv");
    fs::create_directories(d.path() / "locked");
    ::chmod((d / "locked").c_str(), 0555);
    struct Row {
        std::string noted;
        bool kept;
        bool unprivileged = false;  // asked as a user who cannot write where root could
    };
    const Row rows[] = {
        {d / "pkg/level.slv", true},
        {d / "link.slv", true},                     // a link to a level package
        {d / "pkg/new.slv", true},                  // not there yet, in a folder the author can write
        {d / "notes.txt", false},                   // a file of the author's that is no level package
        {d / "fifo", false},
        {"/dev/zero", false},
        {d / "pkg", false},                         // a folder
        {d / "dangling.slv", false},
        {d / "missing/new.slv", false},             // no such folder
        {d / "locked/new.slv", false, true},        // a folder the author cannot write
        {"pkg/level.slv", false},                   // relative: to what?
        {"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.noted);
        const std::string got = slvtest::inChild([&] { return slv::restoredLevelPath(row.noted); },
                                                 {3, row.unprivileged});
        EXPECT_EQ(got, row.kept ? row.noted : "");
    }
}
