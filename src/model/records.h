// Record layouts of the level, the actor and the settings files.
// Every table in memory is the byte image the files hold, so the layouts are
// packed and every size and offset is pinned down at compile time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

static_assert(std::endian::native == std::endian::little,
              "record images are little-endian");

namespace slv {

// Cuts a UTF-8 text to at most `maxBytes` bytes without splitting a
// multi-byte character.
std::string cutText(std::string_view text, std::size_t maxBytes);

#pragma pack(push, 1)

// Length-prefixed text field: one length byte, then up to N bytes.
template <int N>
struct PStr {
    std::uint8_t len;
    char ch[N];

    static constexpr int capacity = N;

    std::string str() const {
        int n = len > N ? N : len;
        return std::string(ch, static_cast<std::size_t>(n));
    }
    bool empty() const { return len == 0; }
    // Stores `text`, cut to the capacity; the unused bytes become 0.
    void set(std::string_view text) {
        std::string cut = cutText(text, N);
        len = static_cast<std::uint8_t>(cut.size());
        for (int i = 0; i < N; ++i)
            ch[i] = i < static_cast<int>(cut.size()) ? cut[static_cast<std::size_t>(i)] : 0;
    }
    void clear() { set({}); }
    bool operator==(std::string_view text) const {
        int n = len > N ? N : len;
        return std::string_view(ch, static_cast<std::size_t>(n)) == text;
    }
};

using NameField = PStr<20>;   // 21 bytes
using PathField = PStr<255>;  // 256 bytes

// A surface reference: a handle resolved through the display device.
// Zero is "no surface"; a value read from a file means nothing.
using SurfaceHandle = std::uint32_t;

struct StageRec {
    NameField name;
    PathField path;
    std::uint8_t gap[3];
    std::int32_t spriteCount;
    std::int32_t sectorCount;
    std::int32_t size;
};

struct SpriteRec {
    SurfaceHandle surface;
    NameField name;
    std::uint8_t gap[3];
    std::int32_t x, y, w, h;
    std::int32_t reserved;
    std::int32_t frameCount;
    std::int32_t frame;
    std::int32_t image;
};

struct SectorRec {
    NameField name;
    std::uint8_t gap[3];
    std::int32_t x, y, w, h;
};

struct ImageRec {
    SurfaceHandle surface;
    NameField name;
    PathField path;
    std::uint8_t gap[3];
    std::int32_t size;
    std::int32_t useCount;
};

struct PoseRec {
    NameField name;
    std::uint8_t gap[3];
    std::int32_t frameCount;
};

struct SkinRec {
    PStr<23> name;  // 24 bytes
    SurfaceHandle surface;
    std::int32_t w, h;
    std::int32_t frameCount;
    std::int32_t frame;
    std::uint8_t reserved1[42];
    std::uint8_t oneShot;
    std::uint8_t reserved2[13];
};

struct CommandRec {
    std::int32_t key1, key2, key3;
    std::int32_t reserved;
    std::int32_t from, to, back;
};

struct SettingsRec {
    std::uint32_t spriteBoxColor;
    std::uint32_t sectorColor;
    PathField workFolder;
};

// One 64-byte header entry of a level or skin package.
struct PackEntry {
    PStr<50> name;
    std::uint8_t pad1;
    std::int32_t start;
    std::int32_t size;
    std::uint8_t flag;
    std::uint8_t pad2[3];
};

// First record of a skin package's "_packname.tmp".
struct PackNameRec {
    std::int32_t firstSkin;
    PStr<23> packageName;
};

#pragma pack(pop)

#define SLV_LAYOUT(T, f, off) static_assert(offsetof(T, f) == (off), #T "." #f)

static_assert(sizeof(StageRec) == 292);
SLV_LAYOUT(StageRec, name, 0);
SLV_LAYOUT(StageRec, path, 21);
SLV_LAYOUT(StageRec, gap, 277);
SLV_LAYOUT(StageRec, spriteCount, 280);
SLV_LAYOUT(StageRec, sectorCount, 284);
SLV_LAYOUT(StageRec, size, 288);

static_assert(sizeof(SpriteRec) == 60);
SLV_LAYOUT(SpriteRec, surface, 0);
SLV_LAYOUT(SpriteRec, name, 4);
SLV_LAYOUT(SpriteRec, gap, 25);
SLV_LAYOUT(SpriteRec, x, 28);
SLV_LAYOUT(SpriteRec, y, 32);
SLV_LAYOUT(SpriteRec, w, 36);
SLV_LAYOUT(SpriteRec, h, 40);
SLV_LAYOUT(SpriteRec, reserved, 44);
SLV_LAYOUT(SpriteRec, frameCount, 48);
SLV_LAYOUT(SpriteRec, frame, 52);
SLV_LAYOUT(SpriteRec, image, 56);

static_assert(sizeof(SectorRec) == 40);
SLV_LAYOUT(SectorRec, name, 0);
SLV_LAYOUT(SectorRec, gap, 21);
SLV_LAYOUT(SectorRec, x, 24);
SLV_LAYOUT(SectorRec, y, 28);
SLV_LAYOUT(SectorRec, w, 32);
SLV_LAYOUT(SectorRec, h, 36);

static_assert(sizeof(ImageRec) == 292);
SLV_LAYOUT(ImageRec, surface, 0);
SLV_LAYOUT(ImageRec, name, 4);
SLV_LAYOUT(ImageRec, path, 25);
SLV_LAYOUT(ImageRec, gap, 281);
SLV_LAYOUT(ImageRec, size, 284);
SLV_LAYOUT(ImageRec, useCount, 288);

static_assert(sizeof(PoseRec) == 28);
SLV_LAYOUT(PoseRec, name, 0);
SLV_LAYOUT(PoseRec, gap, 21);
SLV_LAYOUT(PoseRec, frameCount, 24);

static_assert(sizeof(SkinRec) == 100);
SLV_LAYOUT(SkinRec, name, 0);
SLV_LAYOUT(SkinRec, surface, 24);
SLV_LAYOUT(SkinRec, w, 28);
SLV_LAYOUT(SkinRec, h, 32);
SLV_LAYOUT(SkinRec, frameCount, 36);
SLV_LAYOUT(SkinRec, frame, 40);
SLV_LAYOUT(SkinRec, oneShot, 86);

static_assert(sizeof(CommandRec) == 28);
SLV_LAYOUT(CommandRec, key1, 0);
SLV_LAYOUT(CommandRec, key2, 4);
SLV_LAYOUT(CommandRec, key3, 8);
SLV_LAYOUT(CommandRec, reserved, 12);
SLV_LAYOUT(CommandRec, from, 16);
SLV_LAYOUT(CommandRec, to, 20);
SLV_LAYOUT(CommandRec, back, 24);

static_assert(sizeof(SettingsRec) == 264);
SLV_LAYOUT(SettingsRec, spriteBoxColor, 0);
SLV_LAYOUT(SettingsRec, sectorColor, 4);
SLV_LAYOUT(SettingsRec, workFolder, 8);

static_assert(sizeof(PackEntry) == 64);
SLV_LAYOUT(PackEntry, name, 0);
SLV_LAYOUT(PackEntry, start, 52);
SLV_LAYOUT(PackEntry, size, 56);
SLV_LAYOUT(PackEntry, flag, 60);

static_assert(sizeof(PackNameRec) == 28);
SLV_LAYOUT(PackNameRec, firstSkin, 0);
SLV_LAYOUT(PackNameRec, packageName, 4);

#undef SLV_LAYOUT

// Colours are 0x00BBGGRR (red in the low byte).
constexpr std::uint32_t rgbColor(int r, int g, int b) {
    return static_cast<std::uint32_t>(r & 255) | (static_cast<std::uint32_t>(g & 255) << 8) |
           (static_cast<std::uint32_t>(b & 255) << 16);
}

}  // namespace slv
