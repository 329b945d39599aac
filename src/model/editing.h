// Editing commands on the level tables: stages, sprites, sectors, the shared
// images and the pose table, and the geometry of placing items.
//
// Everything here works on a Level and nothing else. Whatever needs the
// display or the file system comes in through the small callback structs
// below; the editor's document runs these functions as its edits.
//
// Conventions:
//  * stage numbers and sprite/sector numbers are 1-based as in the tables;
//    "slot" arguments are 0-based list rows (slot i is number i+1).
//  * A refused command throws slv::Error with the text the author sees and
//    leaves every table as it was.
//  * Image records are shared by use count (`useCount`); an image whose count
//    falls to 0 is released: its surface is freed through the callbacks and
//    its name emptied. `imageCount` then falls past the free slots at the top,
//    so it always covers every image a sprite uses and no more.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "level.h"

namespace slv {

// ---------------------------------------------------------------------------
// Messages of refused commands.

inline constexpr const char* kMsgTooManyStages = "Total stages are more than 30 !";
inline constexpr const char* kMsgNoOpenStage = "No open stage !";
inline constexpr const char* kMsgTooManySprites = "Too many sprites on this stage !";
inline constexpr const char* kMsgTooManySectors = "Too many sectors on this stage !";
inline constexpr const char* kMsgTooManyImages = "Too many images !";
inline constexpr const char* kMsgTooManyPoses = "Too many poses !";
inline constexpr const char* kMsgSelectStageToModify = "Select the stage you want to modify !";
inline constexpr const char* kMsgSelectSpriteToModify = "Select the sprite you want to modify !";
inline constexpr const char* kMsgSelectStageToDelete = "Select the stage you want to delete !";
inline constexpr const char* kMsgSelectSpriteToDelete = "Select the sprite you want to delete !";
inline constexpr const char* kMsgSelectSectorToDelete = "Select the sector you want to delete !";
inline constexpr const char* kMsgBadFrameCount = "The frame count must be 1 or more !";
inline constexpr const char* kMsgSelectSectorToModify = "Select the sector you want to modify !";
inline constexpr const char* kMsgEmptySectorName = "A sector needs a name !";

// The view's size in pixels.
inline constexpr int kViewWidth = 640;
inline constexpr int kViewHeight = 430;

// ---------------------------------------------------------------------------
// Callbacks.

// Size of a file in bytes; throws slv::Error when it cannot be opened.
using FileSizeFn = std::function<std::int64_t(const std::string& path)>;

struct SurfaceSize {
    int width = 0;
    int height = 0;
};

// What the display gives the image table. `load` and `release` are required;
// the others fall back to sensible defaults when left empty.
struct SurfaceCallbacks {
    // Creates a surface and loads the bitmap at `path` into it.
    // Throws slv::Error when the bitmap cannot be loaded.
    std::function<SurfaceHandle(const std::string& path)> load;
    // Frees a surface made by `load`.
    std::function<void(SurfaceHandle)> release;
    // Width and height of a loaded surface; may throw slv::Error.
    std::function<SurfaceSize(SurfaceHandle)> measure;
    // Gives a surface the view's transparent colour (optional).
    std::function<void(SurfaceHandle)> applyColorKey;
    // Size of the bitmap file (optional; slv::fileSize by default).
    FileSizeFn fileSize;
};

// Frame detection on a bitmap file: loads the picture into a temporary
// surface, runs detectFrameCount on its pixels with the level's colorKey and frees
// the surface. Throws slv::Error when the file cannot be loaded.
using DetectFramesFn = std::function<int(const std::string& path)>;

// A whole random number 0..n-1.
using RandomFn = std::function<int(int n)>;

// ---------------------------------------------------------------------------
// Pictures.

// Throws slv::Error unless the picture file at `path` can go into a level
// package: its name must be storable (Windows-1252 characters, no '\' or
// ':') and its content must not be another known format than BMP (see
// checkBmpPicture). Add and Mod of stages and sprites call it first.
void checkPictureFile(const std::string& path);

// The largest frame count a strip `stripWidth` pixels wide takes (frames at
// least one pixel wide); with an unknown width (0) there is no bound.
int frameCountLimit(int stripWidth);

// ---------------------------------------------------------------------------
// Stage table.

// Adds one stage per path, in order, after the last stage. The 30-stage limit
// is checked for the whole selection before anything is stored ("Total stages
// are more than 30 !"); file sizes are all taken before the first record is
// written, so a failing file leaves the table untouched. An empty selection
// does nothing. Returns the new stageCount.
int addStages(Level& lv, const std::vector<std::string>& paths, const FileSizeFn& fileSize = {});

// Gives stage `s` (1..stageCount) a new picture; its sprites and sectors stay.
void modifyStage(Level& lv, int s, const std::string& path, const FileSizeFn& fileSize = {});

// Stores the splash picture's name and path in stage record 0.
void setSplash(Level& lv, const std::string& path);

// Deletes stage `s` (1..stageCount): the images of its sprites lose one use
// each (released at 0), the later stages move down one place with their
// sprite and sector slots (slots above the moved counts keep their old
// contents), the vacated last record gets zero counts and stageCount falls.
// openStage is left alone.
void deleteStage(Level& lv, int s, const SurfaceCallbacks& cb);

// ---------------------------------------------------------------------------
// Sprites and sectors of a stage.

// Deletes sprite slot `slot` (0-based) of stage `stage`: its image loses one
// use (released at 0), later sprites move down, the count falls by one.
// A slot outside 0..count-1 or a stage outside 1..30 is refused with
// "Select the sprite you want to delete !". Returns the row to select
// afterwards: `slot` when a sprite moved into it, else -1.
int deleteSprite(Level& lv, int stage, int slot, const SurfaceCallbacks& cb);

// The same for sector slots; stage 0..30.
int deleteSector(Level& lv, int stage, int slot);

// Lowers the use count of image `m`; at 0 the surface is freed and the
// record emptied, and imageCount falls past free slots at the top. An index
// outside 1..3000 or an image already unused is ignored.
void releaseImage(Level& lv, int m, const SurfaceCallbacks& cb);

// Lowers imageCount while the highest counted slot is free.
void trimImageCount(Level& lv);

// ---------------------------------------------------------------------------
// Images.

// Finds or loads the image for `path` and counts one more use of it.
// Images are matched by the file-name part of `path` against the stored
// names (exact, first match); a name longer than 20 characters matches none,
// so each such file gets an image of its own. A new image takes the first free slot; when
// loading the bitmap or taking its file size fails, the slot and imageCount
// return to what they were and the error propagates. With all 3000 slots
// taken: "Too many images !". Returns the image number.
int acquireImage(Level& lv, const std::string& path, const SurfaceCallbacks& cb);

// Gives sprite `slot` (1-based) of openStage its picture from `path`: acquires
// the image, then sets the sprite's surface, image, w = width / frameCount and
// h = height, with `frameCount` the sprite's frame count (1 up to the width),
// and gives the surface the view's transparent colour (applyColorKey). On failure the sprite record and the image table
// are as they were. Returns the image number.
int attachSpritePicture(Level& lv, const std::string& path, int slot, const SurfaceCallbacks& cb);

// ---------------------------------------------------------------------------
// Pose table and frame counts.

// The frame count of the last pose record named `name`, or -1 when there is none.
int rememberedFrameCount(const Level& lv, const std::string& name);

// A click on a file in the picker: reads the picture's width into
// lv.session.pickedStripWidth and looks the file up in the pose table. When it is not
// there, detects its frame count and appends a pose record (name cut to 20
// characters); a remembered count that no longer fits the width is detected
// again into the same record. A full pose table refuses a new record with
// "Too many poses !" before anything is written. A name longer than 20
// characters has no pose record: its count is detected at every click and
// kept in lv.session for that file alone. Returns the frame count.
int pickSpriteFile(Level& lv, const std::string& folder, const std::string& name,
                   const DetectFramesFn& detect);

// A typed frame count for the file last clicked: stored into the last pose
// record named `name` (for a name longer than 20 characters: the count kept
// for the file last clicked, when it is that file). Values below 1 or above
// lv.pickedStripWidth (when known) are ignored, as is everything while
// lv.session.fillingPickerFields is set. Returns true when a count changed.
bool setPoseFrames(Level& lv, const std::string& name, int frames);

// The frame count for a new or changed sprite: the pose table's when it fits
// the picture's width, else detected (not remembered). A name longer than 20
// characters takes the count the picker shows for that file when it was the
// last clicked, else it is detected, and returned. A count below 1 is
// refused with "The frame count must be 1 or more !".
int spriteFrameCount(Level& lv, const std::string& folder, const std::string& name,
                     const DetectFramesFn& detect);

// ---------------------------------------------------------------------------
// The picker's "Add 'em".

// Add mode: each file becomes a new sprite of openStage at a random place
// that keeps its frame wholly inside the 640 x 430 view (x 0..640-w,
// y 0..430-h; 0 when the frame is wider or taller than the view), showing
// frame 1. The sprite is counted only after its
// picture is loaded; a failure stops the command with the error, keeping the
// sprites of earlier files. Refusals: no open stage ("No open stage !"), a
// 101st sprite ("Too many sprites on this stage !"). Returns the number of
// sprites added (all of `names` unless an error was thrown).
int addSprites(Level& lv, const std::string& folder, const std::vector<std::string>& names,
               const SurfaceCallbacks& cb, const DetectFramesFn& detect, const RandomFn& random);

// Replace mode: sprite `slot` (0-based) of openStage takes the picture of
// folder/name; its position stays and it restarts at frame 1. The old image
// loses one use only after the new one was acquired. A slot outside the
// stage's sprites is refused with "Select the sprite you want to modify !";
// on any failure the sprite is unchanged.
void replaceSprite(Level& lv, int slot, const std::string& folder, const std::string& name,
                   const SurfaceCallbacks& cb, const DetectFramesFn& detect);

// ---------------------------------------------------------------------------
// Placement.

// Closed-rectangle hit test: both edges count.
bool hitRect(int px, int py, int x, int y, int w, int h);

// The last sprite of openStage whose closed rectangle holds (px, py), as a
// sprite number 1..spriteCount, 0 when none (also when no stage is open).
int pickSprite(const Level& lv, int px, int py);
// The same for sectors; with openStage 0 the sectors of column 0.
int pickSector(const Level& lv, int px, int py);

// Puts sprite `n` (1..spriteCount) of openStage at (x, y); false when there
// is no such sprite.
bool moveSprite(Level& lv, int n, int x, int y);
// The same for sector `n` of openStage (column 0 when no stage is open).
bool moveSector(Level& lv, int n, int x, int y);

// Makes sector sectorCount+1 of openStage (column 0 when no stage is open)
// from the band corner (bandStartX, bandStartY) and the last pointer position
// (mouseX, mouseY): named with the lowest "SectorN" (N = 1, 2, ...) no
// sector of that stage has, x/y the smaller coordinates,
// w/h the differences. Clears bandActive. A band of zero width or height (a
// plain click) makes no sector and returns 0. A 101st sector is refused with
// "Too many sectors on this stage !". Returns the new sector number.
int addSectorFromBand(Level& lv);

// A typed sprite position (the X or Y field): written into sprite row `row`
// of openStage while lv.session.spritesShown is set. Returns true when written.
bool setSpriteX(Level& lv, int row, int value);
bool setSpriteY(Level& lv, int row, int value);

// A typed sector value: X, Y, W or H of sector row `row` of openStage
// (column 0 when no stage is open). Widths and heights below 0 are refused.
// Returns true when the record changed.
enum class SectorField { X, Y, W, H };
bool setSectorField(Level& lv, int row, SectorField field, int value);

// The lowest "SectorN" (N = 1, 2, ...) that no sector of stage `stage`
// (0..30) is named.
std::string freeSectorName(const Level& lv, int stage);

// Throws slv::Error with the reason when a sector record cannot store `name`
// as it is: empty, a character outside Windows-1252, or more than 20
// characters in Windows-1252.
void checkSectorName(const std::string& name);

// Renames sector `n` (1..sectorCount) of stage `stage` (0..30). A sector
// outside the stage is refused with "Select the sector you want to modify !";
// a name the record cannot store as it is (see checkSectorName) is refused
// with the reason, leaving the record as it was. Returns true when the name
// changed.
bool renameSector(Level& lv, int stage, int n, const std::string& name);

}  // namespace slv
