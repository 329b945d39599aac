// The files of the editor's home folder, by what they hold. The names are
// fixed: levels, skins and other tools find them under these names.
#pragma once

namespace slv::homefiles {

constexpr const char* kBackdrop = "car.bmp";          // shown until a stage is opened
constexpr const char* kLowerPanel = "pad01.bmp";      // the 640x480 full-screen panel
constexpr const char* kColorKeyPicture = "purple.bmp";  // top-left pixel: transparent colour
constexpr const char* kFirstPreview = "screen1.bmp";  // the first preview picture
constexpr const char* kActorSkins = "actors/test.skn";  // the test actor
constexpr const char* kSettings = "corvatel.cf";      // outline colours and work folder
constexpr const char* kFrameCounts = "totposes.dat";  // frame counts per sprite bitmap
constexpr const char* kMaxFps = "maxfps.txt";         // the frame-rate cap
constexpr const char* kHomeFolderPointer = "corvatel.txt";  // in the user's config folder

}  // namespace slv::homefiles
