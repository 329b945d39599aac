// Runs mkdemo into a fresh folder and checks the home folder it makes: the
// pictures the editor and its tests rely on, the same on every run.
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
    return slv::detectFrameCount(c.constBits(), static_cast<int>(c.bytesPerLine()), bpp, c.width(), c.height(), key);
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

TEST_F(Demo, PicturesHaveTheSizesAndFramesTheTestsRelyOn) {
    const struct {
        const char* file;
        int w, h, frames;  // frames: 0 when not a sprite strip
    } pictures[] = {
        {"home/car.bmp", 640, 430, 0},             {"home/pad01.bmp", 640, 50, 0},
        {"home/screen1.bmp", 320, 215, 0},         {"home/sprites/coin.bmp", 8 * 32, 32, 8},
        {"home/sprites/flame.bmp", 6 * 48, 64, 6}, {"home/sprites/bird.bmp", 4 * 64, 48, 4},
        {"home/sprites/gem.bmp", 5 * 40, 40, 5},   {"home/sprites/fan.bmp", 3 * 56, 56, 3},
        {"skins/idle.bmp", 4 * 48, 64, 0},         {"skins/walkright.bmp", 6 * 48, 64, 0},
        {"skins/walkleft.bmp", 6 * 48, 64, 0},     {"skins/jump.bmp", 8 * 48, 64, 0},
    };
    for (const auto& p : pictures) {
        const QImage img = load(root / p.file);
        EXPECT_EQ(img.size(), QSize(p.w, p.h)) << p.file;
        EXPECT_EQ(bmpBits(root / p.file), 24) << p.file;
        if (p.frames) {
            EXPECT_EQ(detect(img, QImage::Format_RGB32, 4, 0xFF00FF), p.frames) << p.file;
            EXPECT_EQ(detect(img, QImage::Format_RGB16, 2, 0xF81F), p.frames) << p.file;
        }
    }
    // Backdrops fill the view, and the canvas under each scene starts black:
    // a backdrop shows none of it, so no gap opens between a sky and the
    // ground drawn over it.
    int stages = 0;
    for (const auto& e : fs::directory_iterator(root / "home/backpx")) {
        const QImage img = load(e.path());
        EXPECT_EQ(img.size(), QSize(640, 430)) << e.path();
        EXPECT_EQ(bmpBits(e.path()), 24) << e.path();
        int black = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) black += (img.pixel(x, y) & 0xFFFFFFu) == 0;
        EXPECT_EQ(black, 0) << e.path();
        ++stages;
    }
    EXPECT_GE(stages, 3);
    EXPECT_TRUE(fs::is_directory(root / "home/actors"));
    EXPECT_EQ(load(root / "home/purple.bmp").pixelColor(0, 0), QColor(255, 0, 255));
    // Nothing the editor writes at close is there yet.
    EXPECT_FALSE(fs::exists(root / "home/corvatel.cf") || fs::exists(root / "home/totposes.dat"));
}

TEST_F(Demo, BackdropsAreNotFlatAndSkinFiguresMove) {
    const QImage car = load(root / "home/car.bmp");
    EXPECT_NE(car.pixelColor(320, 5), car.pixelColor(320, 420));  // sky and ground
    EXPECT_NE(load(root / "home/backpx/desert.bmp"), load(root / "home/backpx/city.bmp"));
    auto frame = [](const char* f, int k) { return load(root / "skins" / f).copy(48 * k, 0, 48, 64); };
    for (const char* f : {"idle.bmp", "walkright.bmp", "walkleft.bmp", "jump.bmp"}) {
        EXPECT_EQ(frame(f, 0).pixelColor(0, 0), QColor(255, 0, 255)) << f;
        EXPECT_NE(frame(f, 0), frame(f, 1)) << f;
    }
    EXPECT_NE(frame("idle.bmp", 0), frame("walkright.bmp", 0));
    EXPECT_NE(frame("walkright.bmp", 0), frame("walkleft.bmp", 0));
}

TEST_F(Demo, OutputIsTheSameOnEveryRun) {
    ASSERT_EQ(mkdemo(root / "again"), 0);
    for (const char* f : {"home/car.bmp", "home/sprites/fan.bmp", "skins/jump.bmp"})
        EXPECT_EQ(load(root / f), load(root / "again" / f)) << f;
}

TEST(DemoTool, RefusesWrongArguments) { EXPECT_NE(mkdemo(std::string(">/dev/null 2>&1")), 0); }

#endif
