#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/files.h"
#include "common/tempdir.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/settings.h"

using namespace slv;
namespace fs = std::filesystem;

namespace {

using slvtest::TempDir;
using slvtest::writeFile;

}  // namespace

TEST(PoseFile, FiftySixBytesAreTwoPoses) {
    TempDir d;
    Level src;
    src.pose(1).name.set("walk.bmp"); src.pose(1).totpos = 6;
    src.pose(2).name.set("run.bmp");  src.pose(2).totpos = 8;
    src.totposes = 2;
    writePoses(src, d.file("totposes.dat"));
    EXPECT_EQ(fs::file_size(d.file("totposes.dat")), 56u);
    Level l;
    readPoses(l, d.file("totposes.dat"));
    EXPECT_EQ(l.totposes, 2);
    EXPECT_EQ(l.lookupPose("run.bmp"), 8);
}

TEST(PoseFile, TrailingPartialRecordIsIgnoredAndTheTableNeverOverflows) {
    TempDir d;
    writeFile(d.file("p.dat"), std::string(28 * 3 + 5, '\0'));
    Level l;
    readPoses(l, d.file("p.dat"));
    EXPECT_EQ(l.totposes, 3);
    writeFile(d.file("big.dat"), std::string(28 * (kMaxPoses + 7), 'x'));
    readPoses(l, d.file("big.dat"));
    EXPECT_EQ(l.totposes, kMaxPoses);
}

TEST(SettingsFile, RoundTripAndShortFileIsAnError) {
    TempDir d;
    Level l;
    l.spriteboxcolor = rgbColor(1, 2, 3);
    l.sectorcolor = rgbColor(4, 5, 6);
    l.workdir = "/home/author/levels";
    writeSettings(l, d.file("corvatel.cf"));
    EXPECT_EQ(fs::file_size(d.file("corvatel.cf")), 264u);
    SettingsRec r = readSettings(d.file("corvatel.cf"));
    EXPECT_EQ(r.spriteboxcolor, rgbColor(1, 2, 3));
    EXPECT_EQ(r.sectorcolor, rgbColor(4, 5, 6));
    EXPECT_EQ(r.workdir.str(), "/home/author/levels");

    writeFile(d.file("short.cf"), std::string(263, '\0'));
    try {
        readSettings(d.file("short.cf"));
        FAIL() << "a short settings file was accepted";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Read beyond end of file");
    }
    EXPECT_THROW(readSettings(d.file("missing.cf")), Error);
}

TEST(FileLayer, ErrorTextsAndAtomicReplace) {
    TempDir d;
    try {
        BinFile f(d.file("nope"), BinFile::Mode::Read);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_EQ(fileErrorText(ENOSPC), "Disk full");
    EXPECT_EQ(fileErrorText(EACCES), "File access denied");
    EXPECT_EQ(fileErrorText(EMFILE), "Too many open files");
    EXPECT_EQ(fileErrorText(EIO), "I/O error 5");

    writeFile(d.file("keep"), "old");
    // A target that cannot be replaced (a folder) leaves no temporary file behind.
    fs::create_directories(d.path() / "dir");
    EXPECT_THROW(writeFileAtomic((d.path() / "dir").string(), "new"), Error);
    writeFileAtomic(d.file("keep"), "new");
    EXPECT_EQ(readWholeFile(d.file("keep")), "new");
    int files = 0;
    for (auto& e : fs::directory_iterator(d.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST(Paths, FileNamePartAcceptsEitherSeparator) {
    EXPECT_EQ(fileNamePart("C:\\levels\\sprites\\bird.bmp"), "bird.bmp");
    EXPECT_EQ(fileNamePart("/home/a/bird.bmp"), "bird.bmp");
    EXPECT_EQ(fileNamePart("C:bird.bmp"), "bird.bmp");
    EXPECT_EQ(folderPart("/home/a/x.slv"), "/home/a/");
    EXPECT_EQ(joinPath("/home/a/", "\\sprites\\bird.bmp"), "/home/a/sprites/bird.bmp");
    EXPECT_EQ(joinPath("", "x"), "x");
}

TEST(HomeFolderFile, BytesAreTakenAsTheyStand) {
    TempDir d;
    writeFile(d.file("corvatel.txt"), "/data/home\r\n");
    std::string home;
    EXPECT_TRUE(readHomeFolderFile(d.file("corvatel.txt"), home));
    EXPECT_EQ(home, "/data/home\r\n");
    std::string none;
    EXPECT_FALSE(readHomeFolderFile(d.file("absent.txt"), none));
    EXPECT_TRUE(none.empty());
}
