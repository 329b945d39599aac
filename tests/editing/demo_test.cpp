// Runs mkdemo into a fresh folder and checks the home folder it makes.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/framecount.h"

#ifdef SLV_MKDEMO

namespace fs = std::filesystem;

namespace {

// Runs mkdemo with `args`; its exit status.
int mkdemo(const std::string& args) {
    return std::system((std::string("QT_QPA_PLATFORM=offscreen '") + SLV_MKDEMO + "' " + args).c_str());
}
int mkdemo(const fs::path& to) {
    return mkdemo("'" + (to / "home").string() + "' '" + (to / "skins").string() + "'");
}

QImage load(const fs::path& p) { return QImage(QString::fromStdString(p.string())); }

// Bits per pixel from the BMP header (QImage widens 24-bit pictures).
int bmpBits(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    unsigned char h[30] = {};
    f.read(reinterpret_cast<char*>(h), sizeof h);
    if (!f || h[0] != 'B' || h[1] != 'M') return -1;
    return h[28] | (h[29] << 8);
}

// Frame count of a strip at `format`, as the view sees it.
int detect(const QImage& img, QImage::Format format, int bpp, std::uint32_t key) {
    QImage c = img.convertToFormat(format);
    return slv::calctotpos(c.constBits(), static_cast<int>(c.bytesPerLine()), bpp, c.width(), c.height(), key);
}

class Demo : public ::testing::Test {
protected:
    static inline fs::path root;
    static inline int status = -1;

    static void SetUpTestSuite() {
        root = fs::temp_directory_path() / ("slv-demo-test-" + std::to_string(::getpid()));
        fs::remove_all(root);
        status = mkdemo(root);
    }
    static void TearDownTestSuite() { fs::remove_all(root); }
    void SetUp() override { ASSERT_EQ(status, 0); }
};

}  // namespace

TEST_F(Demo, MakesTheHomeFolderFilesWithTheirSizes) {
    const fs::path home = root / "home";
    for (const char* f : {"car.bmp", "pad01.bmp", "purple.bmp", "screen1.bmp"})
        EXPECT_TRUE(fs::is_regular_file(home / f)) << f;
    EXPECT_TRUE(fs::is_directory(home / "actors"));
    EXPECT_FALSE(fs::exists(home / "corvatel.cf"));
    EXPECT_FALSE(fs::exists(home / "totposes.dat"));
    int stages = 0;
    for (const auto& e : fs::directory_iterator(home / "backpx")) {
        EXPECT_EQ(load(e.path()).size(), QSize(640, 430)) << e.path();
        EXPECT_EQ(bmpBits(e.path()), 24) << e.path();
        ++stages;
    }
    EXPECT_GE(stages, 3);
    QImage car = load(home / "car.bmp");
    EXPECT_EQ(car.size(), QSize(640, 430));
    EXPECT_EQ(load(home / "pad01.bmp").size(), QSize(640, 50));
    EXPECT_EQ(load(home / "screen1.bmp").size(), QSize(320, 215));
    EXPECT_EQ(bmpBits(home / "car.bmp"), 24);
    QImage key = load(home / "purple.bmp");
    ASSERT_FALSE(key.isNull());
    EXPECT_EQ(key.pixelColor(0, 0), QColor(255, 0, 255));
    // Backdrops are not flat.
    EXPECT_NE(car.pixelColor(320, 5), car.pixelColor(320, 420));  // sky and ground
    EXPECT_NE(load(home / "backpx" / "desert.bmp"), load(home / "backpx" / "city.bmp"));
}

TEST_F(Demo, SpritesAreDetectedWithTheirFrameCounts) {
    const struct {
        const char* file;
        int frames, fw, fh;
    } sprites[] = {{"coin.bmp", 8, 32, 32}, {"flame.bmp", 6, 48, 64}, {"bird.bmp", 4, 64, 48},
                   {"gem.bmp", 5, 40, 40},  {"fan.bmp", 3, 56, 56}};
    for (const auto& s : sprites) {
        fs::path p = root / "home" / "sprites" / s.file;
        QImage img = load(p);
        EXPECT_EQ(img.size(), QSize(s.frames * s.fw, s.fh)) << s.file;
        EXPECT_EQ(bmpBits(p), 24) << s.file;
        EXPECT_EQ(detect(img, QImage::Format_RGB32, 4, 0xFF00FF), s.frames) << s.file;
        EXPECT_EQ(detect(img, QImage::Format_RGB16, 2, 0xF81F), s.frames) << s.file;
    }
}

TEST_F(Demo, SkinsAreFiguresOnTheKeyColour) {
    const struct {
        const char* file;
        int frames;
    } skins[] = {{"idle.bmp", 4}, {"walkright.bmp", 6}, {"walkleft.bmp", 6}, {"jump.bmp", 8}};
    for (const auto& s : skins) {
        fs::path p = root / "skins" / s.file;
        QImage img = load(p);
        ASSERT_EQ(img.size(), QSize(48 * s.frames, 64)) << s.file;
        EXPECT_EQ(img.pixelColor(0, 0), QColor(255, 0, 255)) << s.file;
        EXPECT_EQ(bmpBits(p), 24) << s.file;
        // Consecutive frames differ: the figure moves.
        EXPECT_NE(img.copy(0, 0, 48, 64), img.copy(48, 0, 48, 64)) << s.file;
    }
    auto first = [](const char* f) { return load(root / "skins" / f).copy(0, 0, 48, 64); };
    EXPECT_NE(first("idle.bmp"), first("walkright.bmp"));
    EXPECT_NE(first("walkright.bmp"), first("walkleft.bmp"));
}

TEST_F(Demo, OutputIsTheSameOnEveryRun) {
    ASSERT_EQ(mkdemo(root / "again"), 0);
    for (const char* f : {"home/car.bmp", "home/sprites/fan.bmp", "skins/jump.bmp"})
        EXPECT_EQ(load(root / f), load(root / "again" / f)) << f;
}

TEST(DemoTool, RefusesWrongArguments) { EXPECT_NE(mkdemo(std::string(">/dev/null 2>&1")), 0); }

#endif
