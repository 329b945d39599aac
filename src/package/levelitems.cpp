#include "package/levelitems.h"

#include <map>
#include <nlohmann/json.hpp>

#include "model/errors.h"
#include "model/fileio.h"

namespace slv {

const char* const kLevelItemsFormat = "slvedit items";

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string toBase64(std::string_view in) {
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(in[i]) << 16 | static_cast<unsigned char>(in[i + 1]) << 8 |
                           static_cast<unsigned char>(in[i + 2]);
        out += kBase64[v >> 18 & 63];
        out += kBase64[v >> 12 & 63];
        out += kBase64[v >> 6 & 63];
        out += kBase64[v & 63];
    }
    if (i < in.size()) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
        out += kBase64[v >> 18 & 63];
        out += kBase64[v >> 12 & 63];
        out += i + 1 < in.size() ? kBase64[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string fromBase64(std::string_view in) {
    int value[256];
    std::fill(std::begin(value), std::end(value), -1);
    for (int k = 0; k < 64; ++k) value[static_cast<unsigned char>(kBase64[k])] = k;
    std::string out;
    out.reserve(in.size() / 4 * 3);
    unsigned acc = 0;
    int bits = 0;
    for (char c : in) {
        if (c == '=') break;
        const int v = value[static_cast<unsigned char>(c)];
        if (v < 0) throw Error("a picture's bytes are not base64");
        acc = acc << 6 | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>(acc >> bits & 0xFF);
        }
    }
    return out;
}

const char* kindName(ItemKind kind) { return kind == ItemKind::Sprite ? "sprites" : "sectors"; }

int number(const Json& j, const char* key, int low, int high) {
    const auto at = j.find(key);
    if (at == j.end() || !at->is_number_integer()) throw Error(std::string("\"") + key + "\" is not a whole number");
    const auto v = at->get<std::int64_t>();
    if (v < low || v > high)
        throw Error(std::string("\"") + key + "\" is outside " + std::to_string(low) + ".." + std::to_string(high));
    return static_cast<int>(v);
}

std::string text(const Json& j, const char* key) {
    const auto at = j.find(key);
    if (at == j.end() || !at->is_string()) throw Error(std::string("\"") + key + "\" is not a text");
    return at->get<std::string>();
}

const Json& array(const Json& j, const char* key, std::size_t most) {
    const auto at = j.find(key);
    if (at == j.end() || !at->is_array()) throw Error(std::string("\"") + key + "\" is not a list");
    if (at->size() > most) throw Error(std::string("\"") + key + "\" holds more than " + std::to_string(most));
    return *at;
}

constexpr int kPlaceLimit = 1 << 20;  // far beyond any view, well inside the records' numbers

}  // namespace

LevelItems copyItems(const Level& level, int stage, ItemKind kind, const std::set<int>& numbers,
                     const PictureBytesFn& pictureBytes) {
    LevelItems items;
    items.kind = kind;
    if (kind == ItemKind::Sector) {
        if (stage < 0 || stage > kMaxStages) return items;
        const int count = level.stage(stage).sectorCount;
        for (int n : numbers) {
            if (n < 1 || n > count || n > kMaxSectors) continue;
            const SectorRec& r = level.sector(n, stage);
            items.sectors.push_back({r.name.str(), r.x, r.y, r.w, r.h});
        }
        return items;
    }
    if (stage < 1 || stage > kMaxStages) return items;
    const int count = level.stage(stage).spriteCount;
    std::map<int, int> pictureOfImage;  // image number -> index into items.pictures
    for (int n : numbers) {
        if (n < 1 || n > count || n > kMaxSprites) continue;
        const SpriteRec& r = level.sprite(n, stage);
        if (r.image < 1 || r.image > kMaxImages) continue;
        auto [at, added] = pictureOfImage.emplace(r.image, static_cast<int>(items.pictures.size()));
        if (added) {
            const std::string path = level.image(r.image).path.str();
            items.pictures.push_back({fileNamePart(path), pictureBytes(path)});
        }
        items.sprites.push_back({at->second, r.x, r.y, r.frameCount, r.frame});
    }
    return items;
}

int pasteOffset(const Level& level, int stage, const LevelItems& items) {
    const auto taken = [&](int d) {
        if (items.kind == ItemKind::Sector) {
            if (stage < 0 || stage > kMaxStages) return false;
            const int count = std::min<int>(level.stage(stage).sectorCount, kMaxSectors);
            for (const CopiedSector& c : items.sectors)
                for (int n = 1; n <= count; ++n) {
                    const SectorRec& r = level.sector(n, stage);
                    // A pasted sector whose name the stage had is renamed: the
                    // place and size tell it.
                    if (r.x == c.x + d && r.y == c.y + d && r.w == c.w && r.h == c.h) return true;
                }
            return false;
        }
        if (stage < 1 || stage > kMaxStages) return false;
        const int count = std::min<int>(level.stage(stage).spriteCount, kMaxSprites);
        for (const CopiedSprite& c : items.sprites)
            for (int n = 1; n <= count; ++n) {
                const SpriteRec& r = level.sprite(n, stage);
                if (r.x != c.x + d || r.y != c.y + d || r.image < 1 || r.image > kMaxImages) continue;
                if (fileNamePart(level.image(r.image).path.str()) == items.pictures[c.picture].name) return true;
            }
        return false;
    };
    int d = 0;
    while (taken(d) && d < kPlaceLimit) d += 10;
    return d;
}

std::string itemsJson(const LevelItems& items, bool withPictureBytes) {
    OrderedJson j;
    j["format"] = kLevelItemsFormat;
    j["version"] = 1;
    j["kind"] = kindName(items.kind);
    if (items.kind == ItemKind::Sprite) {
        OrderedJson pictures = OrderedJson::array();
        for (const ItemPicture& p : items.pictures) {
            OrderedJson pj;
            pj["name"] = p.name;
            pj["size"] = p.bytes ? p.bytes->size() : 0;
            if (withPictureBytes) pj["bytes"] = p.bytes ? toBase64(*p.bytes) : std::string();
            pictures.push_back(std::move(pj));
        }
        j["pictures"] = std::move(pictures);
        OrderedJson sprites = OrderedJson::array();
        for (const CopiedSprite& s : items.sprites)
            sprites.push_back(OrderedJson{{"picture", s.picture}, {"x", s.x}, {"y", s.y},
                                          {"frames", s.frameCount}, {"frame", s.frame}});
        j["sprites"] = std::move(sprites);
    } else {
        OrderedJson sectors = OrderedJson::array();
        for (const CopiedSector& s : items.sectors)
            sectors.push_back(OrderedJson{{"name", s.name}, {"x", s.x}, {"y", s.y}, {"w", s.w}, {"h", s.h}});
        j["sectors"] = std::move(sectors);
    }
    return j.dump(1);
}

LevelItems itemsFromJson(std::string_view json) {
    try {
        const Json j = Json::parse(json.begin(), json.end());
        if (!j.is_object() || text(j, "format") != kLevelItemsFormat) throw Error("it is not the editor's items");
        if (number(j, "version", 1, 1000) != 1) throw Error("it was written by a newer editor");
        LevelItems items;
        const std::string kind = text(j, "kind");
        if (kind == "sectors") {
            items.kind = ItemKind::Sector;
            for (const Json& s : array(j, "sectors", kMaxSectors)) {
                CopiedSector c;
                c.name = text(s, "name");
                c.x = number(s, "x", -kPlaceLimit, kPlaceLimit);
                c.y = number(s, "y", -kPlaceLimit, kPlaceLimit);
                c.w = number(s, "w", 0, kPlaceLimit);
                c.h = number(s, "h", 0, kPlaceLimit);
                items.sectors.push_back(std::move(c));
            }
        } else if (kind == "sprites") {
            items.kind = ItemKind::Sprite;
            for (const Json& p : array(j, "pictures", kMaxSprites)) {
                ItemPicture picture;
                picture.name = text(p, "name");
                if (picture.name.empty() || picture.name.find('/') != std::string::npos || picture.name == "." ||
                    picture.name == "..")
                    throw Error("a picture has no usable file name");
                picture.bytes = std::make_shared<const std::string>(fromBase64(text(p, "bytes")));
                items.pictures.push_back(std::move(picture));
            }
            const int lastPicture = static_cast<int>(items.pictures.size()) - 1;
            for (const Json& s : array(j, "sprites", kMaxSprites)) {
                CopiedSprite c;
                c.picture = number(s, "picture", 0, lastPicture);
                c.x = number(s, "x", -kPlaceLimit, kPlaceLimit);
                c.y = number(s, "y", -kPlaceLimit, kPlaceLimit);
                c.frameCount = number(s, "frames", 1, kPlaceLimit);
                c.frame = number(s, "frame", 0, c.frameCount);
                items.sprites.push_back(c);
            }
        } else {
            throw Error("it holds neither sprites nor sectors");
        }
        return items;
    } catch (const Json::exception& e) {
        throw Error(std::string("The clipboard's items cannot be pasted: ") + e.what());
    } catch (const Error& e) {
        throw Error(std::string("The clipboard's items cannot be pasted: ") + e.what());
    }
}

}  // namespace slv
