// mkdemo OUTDIR SKINDIR
//
// Writes a complete demo home folder into OUTDIR (backdrop, panel, colour
// key, title picture, stage backdrops in backpx/, animated sprites in
// sprites/, an empty actors/ folder for the skin package) and the test
// actor's skin bitmaps into SKINDIR. Every picture is a 24-bit BMP and the
// output is the same on every run.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "draw.h"

namespace {

bool save(const QImage& img, const QString& path) {
    QImage out = img.convertToFormat(QImage::Format_RGB888);
    if (!out.save(path, "BMP")) {
        std::fprintf(stderr, "mkdemo: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool makeDir(const QString& path) {
    if (QDir().mkpath(path)) return true;
    std::fprintf(stderr, "mkdemo: cannot create folder %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: mkdemo OUTDIR SKINDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString skins = QString::fromLocal8Bit(argv[2]);
    using namespace mkdemo;

    bool ok = makeDir(out) && makeDir(out + "/backpx") && makeDir(out + "/sprites") &&
              makeDir(out + "/actors") && makeDir(skins);
    if (!ok) return 1;

    ok = save(roadScene(), out + "/car.bmp") && save(padPanel(), out + "/pad01.bmp") &&
         save(keyPicture(), out + "/purple.bmp") && save(titlePicture(), out + "/screen1.bmp") &&
         save(desertScene(), out + "/backpx/desert.bmp") &&
         save(forestScene(), out + "/backpx/forest.bmp") &&
         save(nightCityScene(), out + "/backpx/city.bmp") &&
         save(seaScene(), out + "/backpx/sea.bmp") &&
         save(coinStrip(), out + "/sprites/coin.bmp") &&
         save(flameStrip(), out + "/sprites/flame.bmp") &&
         save(birdStrip(), out + "/sprites/bird.bmp") &&
         save(gemStrip(), out + "/sprites/gem.bmp") && save(fanStrip(), out + "/sprites/fan.bmp") &&
         save(actorStrip(Move::Idle, 4), skins + "/idle.bmp") &&
         save(actorStrip(Move::WalkRight, 6), skins + "/walkright.bmp") &&
         save(actorStrip(Move::WalkLeft, 6), skins + "/walkleft.bmp") &&
         save(actorStrip(Move::Jump, 8), skins + "/jump.bmp");
    return ok ? 0 : 1;
}
