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

class Demo : public ::testing::Test {
protected:
    static fs::path root;

    static void SetUpTestSuite() {
        root = fs::temp_directory_path() / ("slv-demo-test-" + std::to_string(::getpid()));
        fs::remove_all(root);
        std::string cmd = std::string("QT_QPA_PLATFORM=offscreen '") + SLV_MKDEMO + "' '" +
                          (root / "home").string() + "' '" + (root / "skins").string() + "'";
        status = std::system(cmd.c_str());
    }
    static void TearDownTestSuite() { fs::remove_all(root); }

    static QImage load(const fs::path& p) { return QImage(QString::fromStdString(p.string())); }

    // Bits per pixel from the BMP header (QImage widens 24-bit pictures).
    static int bmpBits(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        unsigned char h[30] = {};
        f.read(reinterpret_cast<char*>(h), sizeof h);
        if (!f || h[0] != 'B' || h[1] != 'M') return -1;
        return h[28] | (h[29] << 8);
    }

    // Frame count of a strip at 32 and at 16 bits per pixel, as the view sees it.
    static std::pair<int, int> detect(const fs::path& p) {
        QImage img = load(p);
        QImage c32 = img.convertToFormat(QImage::Format_RGB32);
        QImage c16 = img.convertToFormat(QImage::Format_RGB16);
        int n32 = slv::calctotpos(c32.constBits(), static_cast<int>(c32.bytesPerLine()), 4,
                                  c32.width(), c32.height(), 0xFF00FF);
        int n16 = slv::calctotpos(c16.constBits(), static_cast<int>(c16.bytesPerLine()), 2,
                                  c16.width(), c16.height(), 0xF81F);
        return {n32, n16};
    }

    static int status;
};

fs::path Demo::root;
int Demo::status = -1;

}  // namespace

TEST_F(Demo, RunsAndMakesTheHomeFolderFiles) {
    ASSERT_EQ(status, 0);
    for (const char* f : {"car.bmp", "pad01.bmp", "purple.bmp", "screen1.bmp"})
        EXPECT_TRUE(fs::is_regular_file(root / "home" / f)) << f;
    EXPECT_TRUE(fs::is_directory(root / "home" / "actors"));
    EXPECT_FALSE(fs::exists(root / "home" / "corvatel.cf"));
    EXPECT_FALSE(fs::exists(root / "home" / "totposes.dat"));
    int stages = 0;
    for (const auto& e : fs::directory_iterator(root / "home" / "backpx")) {
        QImage img = load(e.path());
        EXPECT_EQ(img.size(), QSize(640, 430)) << e.path();
        EXPECT_EQ(bmpBits(e.path()), 24) << e.path();
        ++stages;
    }
    EXPECT_GE(stages, 3);
}

TEST_F(Demo, PicturesHaveTheirSizes) {
    ASSERT_EQ(status, 0);
    EXPECT_EQ(load(root / "home" / "car.bmp").size(), QSize(640, 430));
    EXPECT_EQ(load(root / "home" / "pad01.bmp").size(), QSize(640, 50));
    EXPECT_EQ(load(root / "home" / "screen1.bmp").size(), QSize(320, 215));
    EXPECT_EQ(bmpBits(root / "home" / "car.bmp"), 24);
    QImage key = load(root / "home" / "purple.bmp");
    ASSERT_FALSE(key.isNull());
    EXPECT_EQ(key.pixelColor(0, 0), QColor(255, 0, 255));
}

TEST_F(Demo, BackdropsAreNotFlat) {
    ASSERT_EQ(status, 0);
    QImage car = load(root / "home" / "car.bmp");
    EXPECT_NE(car.pixelColor(320, 5), car.pixelColor(320, 420));  // sky and ground
    EXPECT_NE(load(root / "home" / "backpx" / "desert.bmp"), load(root / "home" / "backpx" / "city.bmp"));
}

TEST_F(Demo, SpritesAreDetectedWithTheirFrameCounts) {
    ASSERT_EQ(status, 0);
    const struct {
        const char* file;
        int frames, fw, fh;
    } sprites[] = {{"coin.bmp", 8, 32, 32},
                   {"flame.bmp", 6, 48, 64},
                   {"bird.bmp", 4, 64, 48},
                   {"gem.bmp", 5, 40, 40},
                   {"fan.bmp", 3, 56, 56}};
    for (const auto& s : sprites) {
        fs::path p = root / "home" / "sprites" / s.file;
        QImage img = load(p);
        EXPECT_EQ(img.size(), QSize(s.frames * s.fw, s.fh)) << s.file;
        EXPECT_EQ(bmpBits(p), 24) << s.file;
        auto [n32, n16] = detect(p);
        EXPECT_EQ(n32, s.frames) << s.file;
        EXPECT_EQ(n16, s.frames) << s.file;
    }
}

TEST_F(Demo, SkinsAreFiguresOnTheKeyColour) {
    ASSERT_EQ(status, 0);
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
    QImage idle = load(root / "skins" / "idle.bmp").copy(0, 0, 48, 64);
    QImage right = load(root / "skins" / "walkright.bmp").copy(0, 0, 48, 64);
    QImage left = load(root / "skins" / "walkleft.bmp").copy(0, 0, 48, 64);
    EXPECT_NE(idle, right);
    EXPECT_NE(right, left);
}

TEST_F(Demo, OutputIsTheSameOnEveryRun) {
    ASSERT_EQ(status, 0);
    fs::path again = root / "again";
    std::string cmd = std::string("QT_QPA_PLATFORM=offscreen '") + SLV_MKDEMO + "' '" +
                      (again / "home").string() + "' '" + (again / "skins").string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    for (const char* f : {"home/car.bmp", "home/sprites/fan.bmp", "skins/jump.bmp"})
        EXPECT_EQ(load(root / f), load(again / f)) << f;
}

TEST(DemoTool, RefusesWrongArguments) {
    std::string cmd = std::string("QT_QPA_PLATFORM=offscreen '") + SLV_MKDEMO + "' >/dev/null 2>&1";
    int rc = std::system(cmd.c_str());
    EXPECT_NE(rc, 0);
}

#endif
