// Record layouts of the level, the actor and the settings files.
// Every table in memory is the byte image the files hold, so the layouts are
// packed and every size and offset is pinned down at compile time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "names.h"

static_assert(std::endian::native == std::endian::little,
              "record images are little-endian");

namespace slv {

// Cuts a UTF-8 text to at most `maxBytes` bytes without splitting a
// multi-byte character.
std::string cutText(std::string_view text, std::size_t maxBytes);

// How a text field's bytes are read and written.
enum class FieldText {
    Utf8,         // UTF-8 text, never cut inside a character
    Windows1252,  // stored as Windows-1252, one byte per character; str()
                  // gives UTF-8 and set() takes UTF-8
};

#pragma pack(push, 1)

// Length-prefixed text field: one length byte, then up to N bytes.
template <int N, FieldText Text = FieldText::Utf8>
struct PStr {
    std::uint8_t len;
    char ch[N];

    static constexpr int capacity = N;

    // The bytes as the field holds them.
    std::string_view stored() const {
        int n = len > N ? N : len;
        return std::string_view(ch, static_cast<std::size_t>(n));
    }
    // Stores bytes already in the field's form, cut to the capacity; the
    // unused bytes become 0.
    void setStored(std::string_view bytes) {
        const std::size_t n = bytes.size() < static_cast<std::size_t>(N) ? bytes.size() : N;
        len = static_cast<std::uint8_t>(n);
        for (int i = 0; i < N; ++i)
            ch[i] = static_cast<std::size_t>(i) < n ? bytes[static_cast<std::size_t>(i)] : 0;
    }
    // `text` in the field's form before any cut: longer than the capacity
    // when the field cannot hold it whole.
    static std::string wholeForm(std::string_view text) {
        if constexpr (Text == FieldText::Windows1252) return toWindows1252Lossy(text);
        else return std::string(text);
    }
    // True when the field holds `text` whole, with nothing cut off.
    static bool fits(std::string_view text) { return wholeForm(text).size() <= static_cast<std::size_t>(N); }
    // The stored form of `text` as set() would store it.
    static std::string storedForm(std::string_view text) {
        std::string s;
        if constexpr (Text == FieldText::Windows1252) s = wholeForm(text);
        else s = cutText(text, N);
        if (s.size() > static_cast<std::size_t>(N)) s.resize(N);
        return s;
    }

    std::string str() const {
        if constexpr (Text == FieldText::Windows1252) return fromWindows1252(stored());
        else return std::string(stored());
    }
    bool empty() const { return len == 0; }
    // Stores `text`, cut to the capacity (by whole characters).
    void set(std::string_view text) { setStored(storedForm(text)); }
    void clear() { setStored({}); }
    // True when the field holds exactly `text`.
    bool operator==(std::string_view text) const { return str() == text; }
    // True when the field holds `text` itself. A text longer than the
    // capacity is never held: what set() keeps of it is not that text.
    bool holds(std::string_view text) const {
        const std::string whole = wholeForm(text);
        return whole.size() <= static_cast<std::size_t>(N) && stored() == whole;
    }
};

// Names of stages, sprites, sectors, images and poses: 20 Windows-1252
// characters, as the level files store them. In memory they are kept in the
// same form, so a name is cut and compared by stored characters; str() and
// set() convert from and to UTF-8.
using NameField = PStr<20, FieldText::Windows1252>;  // 21 bytes
// Paths on this system (UTF-8); a package holds them in its own form.
using PathField = PStr<255, FieldText::Utf8>;          // 256 bytes

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
