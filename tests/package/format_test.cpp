#include "common/ints.h"
#include "package_helpers.h"
#include "model/pictureinfo.h"

using namespace pkgtest;
using slv::Error;

TEST(PackageFormat, WorkedExampleHasTheDocumentedLayout) {
    TempDir d;
    auto l = std::make_unique<slv::Level>();
    addImage(*l, d.str(), 1, "a.bmp", 5000);
    addImage(*l, d.str(), 2, "b.bmp", 7000);
    addStage(*l, d.str(), "stage.bmp", 480054);
    save(*l, d / "level.slv");

    std::string pkg = readAll(d / "level.slv");
    ASSERT_EQ(pkg.size(), 1677554u);
    auto h = headerOf(d / "level.slv");
    ASSERT_EQ(h.size(), 7u);
    const char* names[] = {"\\_sectors.tmp", "\\_sprites.tmp", "\\_images.tmp", "\\_stages.tmp",
                           "\\sprites\\a.bmp", "\\sprites\\b.bmp", "\\backpx\\stage.bmp"};
    const int starts[] = {0, 120000, 300000, 1176000, 1185052, 1190052, 1197052};
    const int sizes[] = {120000, 180000, 876000, 9052, 5000, 7000, 480054};
    const int flags[] = {0, 0, 0, 0, 0, 1, 1};
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(h[k].name.str(), names[k]) << k;
        EXPECT_EQ(h[k].start, starts[k]) << k;
        EXPECT_EQ(h[k].size, sizes[k]) << k;
        EXPECT_EQ(h[k].flag, flags[k]) << k;
    }
    // The members lie at 448 + start, byte for byte.
    EXPECT_EQ(pkg.substr(448 + 1185052, 5000), readAll(l->image(1).path.str()));
    EXPECT_EQ(pkg.substr(448 + 1190052, 7000), readAll(l->image(2).path.str()));
    EXPECT_EQ(pkg.substr(448 + 1197052), readAll(l->stage(1).path.str()));
    // The image table member holds the image records.
    slv::ImageRec rec;
    std::memcpy(&rec, pkg.data() + 448 + 300000 + 292, sizeof rec);
    EXPECT_EQ(rec.name.str(), "b.bmp");
    EXPECT_EQ(rec.size, 7000);
}

TEST(PackageFormat, EntryNamesAreCutAndTakeTheFileNamePart) {
    auto l = std::make_unique<slv::Level>();
    const std::string file = "abc" + std::string(42, 'x');
    // Only '/' separates folders on this system: '\\' and ':' belong to folder names.
    for (const std::string& p : {"/levels/sprites/" + file, std::string("/lev:el\\1/sprites/hero.bmp"),
                                std::string("/D:/hero2.bmp")}) {
        const int i = ++l->imageCount;
        l->image(i).name.set(slv::fileNamePart(p));
        l->image(i).path.set(p);
    }
    l->stageCount = 1;
    l->stage(1).name.set("a_very_long_stage_name_of_30ch.bmp");
    EXPECT_EQ(l->stage(1).name.str().size(), 20u);
    const auto h = slv::headerEntries(*l);
    ASSERT_EQ(h.size(), 8u);
    EXPECT_EQ(h[4].name.str(), "\\sprites\\" + file.substr(0, 41));  // 50 characters
    EXPECT_EQ(h[5].name.str(), "\\sprites\\hero.bmp");
    EXPECT_EQ(h[6].name.str(), "\\sprites\\hero2.bmp");
    EXPECT_EQ(h[7].name.str(), "\\backpx\\a_very_long_stage_na");
}

TEST(PackageFormat, UnsafeEntryNamesAreRefused) {
    for (const char* bad : {"", "\\", "\\..\\x", "\\sprites\\..\\..\\x", "\\\\server\\x", "\\C:\\x", "C:x",
                            "\\sprites\\\\x", "\\a\\.\\b", "/../x"})
        EXPECT_THROW(slv::checkEntryName(bad), Error) << bad;
    for (const char* good : {"\\_sectors.tmp", "\\sprites\\hero.bmp", "\\backpx\\a b.bmp", "\\x..y"})
        EXPECT_NO_THROW(slv::checkEntryName(good)) << good;
}

TEST(PictureSize, ReadFromTheHeadersOfBmpAndPng) {
    auto core = [](std::uint16_t w, std::uint16_t h) {  // a 12-byte DIB header
        std::string b = bmpHeader(0, 0);
        b[14] = 12;
        std::memcpy(&b[18], &w, 2);
        std::memcpy(&b[20], &h, 2);
        return b.substr(0, 22);
    };
    auto png = [](std::uint32_t w, std::uint32_t h) {
        std::string b = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
        for (std::uint32_t v : {w, h})
            for (int k = 3; k >= 0; --k) b += static_cast<char>(v >> (8 * k));
        return b;
    };
    struct Case {
        std::string head;
        int w, h;  // 0: no size
    };
    const Case cases[] = {
        {bmpHeader(640, 430), 640, 430},   {bmpHeader(64, -16), 64, 16},  // top-down rows
        {core(300, 20), 300, 20},        {png(70000, 3), 70000, 3},
        {bmpHeader(0, 10), 0, 0},          {bmpHeader(10, 0), 0, 0},      {bmpHeader(-5, 10), 0, 0},
        {bmpHeader(10, 10).substr(0, 25), 0, 0},                         {png(0, 5), 0, 0},
        {"GIF89a and more bytes here...", 0, 0},
    };
    for (const Case& c : cases) {
        const std::optional<slv::PictureSize> got = slv::pictureSize(c.head);
        EXPECT_EQ((got ? Ints{got->width, got->height} : Ints()), (c.w ? Ints{c.w, c.h} : Ints())) << c.head.size();
    }
}
