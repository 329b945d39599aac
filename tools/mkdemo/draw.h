// Pictures of the demo home folder, drawn with QPainter.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>

namespace mkdemo {

// The transparent colour of sprite and skin bitmaps.
inline const QColor kKey(255, 0, 255);

// Backdrops and panels (scenes.cpp).
QImage roadScene();                  // car.bmp, 640x430
QImage padPanel();                   // pad01.bmp, 640x50
QImage keyPicture();                 // purple.bmp
QImage titlePicture();               // screen1.bmp, 320x215
QImage desertScene();                // backpx/desert.bmp
QImage forestScene();                // backpx/forest.bmp
QImage nightCityScene();             // backpx/city.bmp
QImage seaScene();                   // backpx/sea.bmp

// Animated strips on the key colour (strips.cpp). Every frame leaves its
// left column transparent.
QImage coinStrip();   // 8 frames of 32x32
QImage flameStrip();  // 6 frames of 48x64
QImage birdStrip();   // 4 frames of 64x48
QImage gemStrip();    // 5 frames of 40x40
QImage fanStrip();    // 3 frames of 56x56

// The test actor's skins: frames of 48x64.
enum class Move { Idle, WalkRight, WalkLeft, Jump };
QImage actorStrip(Move move, int frames);

}  // namespace mkdemo
