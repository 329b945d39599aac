// Sprites or sectors taken from a stage to be put on a stage again: what
// Cut, Copy and Duplicate take and Paste puts back, here or in another
// editor. Sprites carry the bytes of the pictures they show, so a level
// that lacks a picture gets it with the sprite.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/level.h"
#include "model/selection.h"

namespace slv {

// The name of the items' format, in their JSON.
extern const char* const kLevelItemsFormat;  // "slvedit items"

struct ItemPicture {
    std::string name;                          // the file name the level knew it by
    std::shared_ptr<const std::string> bytes;  // the picture file's bytes
};

struct CopiedSprite {
    int picture = 0;  // index into LevelItems::pictures
    int x = 0, y = 0;
    int frameCount = 1, frame = 1;
};

struct CopiedSector {
    std::string name;
    int x = 0, y = 0, w = 0, h = 0;
};

struct LevelItems {
    ItemKind kind = ItemKind::Sprite;
    std::vector<ItemPicture> pictures;
    std::vector<CopiedSprite> sprites;
    std::vector<CopiedSector> sectors;
    bool empty() const { return kind == ItemKind::Sprite ? sprites.empty() : sectors.empty(); }
    std::size_t count() const { return kind == ItemKind::Sprite ? sprites.size() : sectors.size(); }
};

// The bytes of the level's picture at `path`; throws slv::Error when they
// cannot be read.
using PictureBytesFn = std::function<std::shared_ptr<const std::string>(const std::string& path)>;

// Items `numbers` (1-based) of `kind` on `stage`, in their order; numbers
// the stage lacks are left out. Each picture the sprites use is taken once.
LevelItems copyItems(const Level& level, int stage, ItemKind kind, const std::set<int>& numbers,
                     const PictureBytesFn& pictureBytes);

// How far (the same in x and y) pasted items go from where they were taken:
// 0 while no item of `stage` is one of them at its place (the same picture
// and place for a sprite, the same place and size for a sector, whose name
// a paste may have changed), else the
// first multiple of 10 at which none is.
int pasteOffset(const Level& level, int stage, const LevelItems& items);

// The items as JSON text. With the pictures' bytes (base64), for another
// editor; without them, each picture by name and size only, for other
// programs.
std::string itemsJson(const LevelItems& items, bool withPictureBytes);
// The items of a JSON text written by itemsJson with the pictures' bytes.
// Throws slv::Error saying what is wrong with it.
LevelItems itemsFromJson(std::string_view json);

}  // namespace slv
