#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sys/stat.h>

#include "common/child_process.h"
#include "common/error_text.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/settings.h"
#include "common/files.h"
#include "common/tempdir.h"

using namespace slv;
using namespace slvtest;
namespace fs = std::filesystem;

namespace {

std::string poseBytes(int first, int count) {
    std::string out;
    for (int i = first; i < first + count; ++i) {
        PoseRec rec;
        std::memset(&rec, 0, sizeof rec);
        rec.name.set("p" + std::to_string(i) + ".bmp");
        rec.frameCount = i % 7 + 1;
        out.append(reinterpret_cast<const char*>(&rec), sizeof rec);
    }
    return out;
}

std::string settingsBytes(std::uint32_t box, std::uint32_t sector, const std::string& workFolder) {
    SettingsRec rec;
    std::memset(&rec, 0, sizeof rec);
    rec.spriteBoxColor = box;
    rec.sectorColor = sector;
    rec.workFolder.set(workFolder);
    return std::string(reinterpret_cast<const char*>(&rec), sizeof rec);
}

}  // namespace

TEST(PoseFile, RecordsPastTheTableAreReportedAndKeptAtClose) {
    TempDir d;
    const std::string p = d.file("totposes.dat");
    const std::string original = poseBytes(1, kMaxPoses + 7);
    writeFile(p, original);
    Level l;
    SettingsState st;
    ReadReport r = readPoses(l, p, st);
    EXPECT_EQ(r.state, FileRead::Read);
    EXPECT_TRUE(mentions(r.message, "Reading " + p + ": ")) << r.message;
    EXPECT_TRUE(mentions(r.message, std::to_string(kMaxPoses + 7))) << r.message;
    EXPECT_EQ(l.poseCount, kMaxPoses);
    EXPECT_EQ(l.lookupPose("p10000.bmp"), 10000 % 7 + 1);
    EXPECT_EQ(l.lookupPose("p10001.bmp"), -1);

    writePoses(l, p, st);
    EXPECT_EQ(readFile(p), original);
    l.pose(3).frameCount = 42;  // a frame count changed while the editor ran
    writePoses(l, p, st);
    std::string expected = original;
    std::int32_t v = 42;
    std::memcpy(expected.data() + 2 * 28 + 24, &v, 4);
    EXPECT_EQ(readFile(p), expected);
}

// Every settings reader against bad input: a message naming the file, the
// defaults, and a file that close leaves as it is.
TEST(SettingsReaders, BadInputGivesAMessageAndTheDefaults) {
    enum Kind { Empty, Truncated, Huge, Random, Fifo, Folder };
    std::mt19937 rng(7);
    auto randomBytes = [&](std::size_t n) {
        std::string s(n, '\0');
        for (char& c : s) c = static_cast<char>(rng());
        return s;
    };
    struct Case {
        const char* file;
        Kind kind;
        FileRead state;  // Read: a sound file that is taken, with a notice
    };
    const std::vector<Case> cases = {
        {"corvatel.cf", Empty, FileRead::Failed},     {"corvatel.cf", Truncated, FileRead::Failed},
        {"corvatel.cf", Huge, FileRead::Failed},      {"corvatel.cf", Random, FileRead::Failed},
        {"corvatel.cf", Fifo, FileRead::Failed},      {"corvatel.cf", Folder, FileRead::Failed},
        {"totposes.dat", Truncated, FileRead::Read},
        {"totposes.dat", Huge, FileRead::Failed},     {"totposes.dat", Random, FileRead::Failed},
        {"totposes.dat", Fifo, FileRead::Failed},     {"totposes.dat", Folder, FileRead::Failed},
        {"corvatel.txt", Empty, FileRead::Failed},    {"corvatel.txt", Truncated, FileRead::Failed},
        {"corvatel.txt", Huge, FileRead::Failed},     {"corvatel.txt", Random, FileRead::Failed},
        {"corvatel.txt", Fifo, FileRead::Failed},     {"corvatel.txt", Folder, FileRead::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " kind " + std::to_string(c.kind));
        TempDir d;
        const std::string p = d.file(c.file);
        const std::string name = c.file;
        std::string content;
        switch (c.kind) {
        case Empty: break;
        case Truncated:
            content = name == "corvatel.cf"    ? settingsBytes(1, 2, "/w").substr(0, 200)
                      : name == "totposes.dat" ? poseBytes(1, 3) + "\x05wa"
                                               : d.path().string().substr(0, 3) + "\n";
            break;
        case Huge:
            content = name == "totposes.dat" ? std::string(28 * kMaxPoses + kMaxPosesPastTable + 28, '\0')
                                             : std::string(1 << 20, 'a');
            break;
        case Random: content = randomBytes(name == "corvatel.cf" ? 264 : 28 * 50); break;
        default: break;
        }
        if (c.kind == Fifo) ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
        else if (c.kind == Folder) fs::create_directories(p);
        else writeFile(p, content);

        std::string result = slvtest::inChild([&]() -> std::string {
            Level l;
            EditorSettings settings;
            settings.homeFolder = "/home/default";
            settings.workFolder = "/work/default";
            SettingsState st;
            ReadReport r;
            if (name == "corvatel.cf") r = readSettings(settings, p, st);
            else if (name == "totposes.dat") r = readPoses(l, p, st);
            else r = readHomeFolderFile(p, settings.homeFolder);
            if (r.state != c.state) return "state " + std::to_string(static_cast<int>(r.state));
            if (!mentions(r.message, "Reading " + p + ": ")) return "message \"" + r.message + "\"";
            if (c.state == FileRead::Read && l.poseCount != 3) return "the whole records were not taken";
            if (c.state == FileRead::Failed &&
                (settings.homeFolder != "/home/default" || settings.workFolder != "/work/default" ||
                 l.poseCount != 0 || settings.spriteBoxColor != kDefaultSpriteBoxColor ||
                 settings.sectorColor != kDefaultSectorColor))
                return "the defaults were changed";
            // Close keeps a file that failed to read.
            if (c.state == FileRead::Failed && c.kind != Folder && c.kind != Fifo && name != "corvatel.txt") {
                if (name == "corvatel.cf") writeSettings(settings, p, st);
                else writePoses(l, p, st);
                if (readFile(p) != content) return "close replaced the file";
            }
            return "";
        }, slvtest::ChildOptions{5, false});
        EXPECT_EQ(result, "");
    }
}

// Records a sound file never holds are refused, naming the file.
TEST(SettingsFile, OnlySoundRecordsAreRead) {
    TempDir d;
    const std::string p = d.file("bad.cf");
    writeFile(p, settingsBytes(rgbColor(1, 2, 3), rgbColor(4, 5, 6), "/home/author"));
    EXPECT_EQ(readSettings(p).workFolder.str(), "/home/author");
    for (const std::string& bad : {settingsBytes(0x01000000, 0, "/w"), settingsBytes(0, 0, std::string("/a\0b", 4)),
                                   settingsBytes(0, 0, "/w") + "x"}) {
        writeFile(p, bad);
        EXPECT_TRUE(mentions(errorOf([&] { readSettings(p); }), "Reading " + p + ": "));
    }
    EXPECT_EQ(errorOf([&] { readSettings(d.file("none.cf")); }), "Reading " + d.file("none.cf") + ": File not found");
}

// A settings file that start-up did not read is never replaced by defaults.
TEST(SettingsFiles, CloseWritesOnlyWhatStartupRead) {
    struct Case {
        FileRead state;
        bool fileThere;
        bool written;
    };
    const std::vector<Case> cases = {
        {FileRead::Read, true, true},     {FileRead::Absent, false, true},  {FileRead::Failed, true, false},
        {FileRead::NotRead, true, false}, {FileRead::NotRead, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state) * 10 + c.fileThere);
        TempDir d;
        const std::string poses = d.file("totposes.dat");
        const std::string cf = d.file("corvatel.cf");
        if (c.fileThere) {
            writeFile(poses, poseBytes(1, 2));
            writeFile(cf, settingsBytes(rgbColor(9, 9, 9), rgbColor(8, 8, 8), "/kept"));
        }
        const std::string posesBefore = readFile(poses), cfBefore = readFile(cf);
        Level l;  // no poses
        const EditorSettings settings;  // defaults
        SettingsState st;
        st.poses = st.settings = c.state;
        writePoses(l, poses, st);
        writeSettings(settings, cf, st);
        EXPECT_EQ(c.fileThere ? readFile(poses) != posesBefore : fs::exists(poses), c.written);
        EXPECT_EQ(c.fileThere ? readFile(cf) != cfBefore : fs::exists(cf), c.written);
    }
}

TEST(HomeFolderFile, PathWithoutTrailingLineEndsAndSpaces) {
    TempDir d;
    fs::create_directories(d.path() / "my home");
    const std::string home = d.file("my home");
    for (const std::string& text : {home, home + "\n", home + "\r\n", home + " \r\n \n", home + "   "}) {
        writeFile(d.file("corvatel.txt"), text);
        std::string got = "unchanged";
        ReadReport r = readHomeFolderFile(d.file("corvatel.txt"), got);
        EXPECT_EQ(r.state, FileRead::Read);
        EXPECT_EQ(got, home);
    }
    std::string none = "unchanged";
    EXPECT_EQ(readHomeFolderFile(d.file("absent.txt"), none).state, FileRead::Absent);
    EXPECT_EQ(none, "unchanged");
    // A path as long as a path can be is read; one byte more is refused.
    writeFile(d.file("long.txt"), home + std::string(kMaxHomeFolderFile - home.size(), ' '));
    EXPECT_EQ(readHomeFolderFile(d.file("long.txt"), none).state, FileRead::Read);
    writeFile(d.file("long.txt"), home + std::string(kMaxHomeFolderFile - home.size() + 1, ' '));
    EXPECT_EQ(readHomeFolderFile(d.file("long.txt"), none).state, FileRead::Failed);
}

// The frame-rate cap: a whole number 0..1000 with spaces and line ends
// around it; anything else is refused with the file's name and what it held.
TEST(FrameRateCapFile, WholeNumbersUpToOneThousand) {
    TempDir d;
    const std::string file = d.file("maxfps.txt");
    EXPECT_EQ(readFrameRateCap(file), -1);  // no file: no cap chosen
    const struct {
        const char* text;
        int cap;  // -1: refused
    } cases[] = {{"60", 60},   {" 60\r\n", 60}, {"0", 0},    {"1000", 1000}, {"+5", 5},   {"0060", 60},
                 {"1001", -1}, {"-1", -1},      {"fast", -1}, {"", -1},      {"6 0", -1}, {"60fps", -1},
                 {"+", -1},    {"99999999999", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile(file, c.text);
        const std::string error = errorOf([&] { EXPECT_EQ(readFrameRateCap(file), c.cap); });
        EXPECT_EQ(error.empty(), c.cap >= 0) << error;
        if (c.cap < 0) {
            EXPECT_NE(error.find(file), std::string::npos) << error;
        }
    }
}
