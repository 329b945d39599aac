// Levels as text: export then import gives the bytes resave gives, an edited
// JSON imports with the edit, faulty JSON is refused with the path of the
// fault, and diff tells what changed between two packages.
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "common/error_text.h"
#include "model/names.h"
#include "package/leveldiff.h"
#include "package/leveljson.h"
#include "package_helpers.h"

using namespace pkgtest;

namespace {

using Json = nlohmann::json;

std::string resave(const std::string& in, const std::string& out) {
    auto l = opened(in);
    save(*l, out);
    return readAll(out);
}

// The small level saved as d/level.slv and exported to d/text; its JSON.
Json exportedSmallLevel(const TempDir& d) {
    save(*smallLevel(d.str()), d / "level.slv");
    slv::exportLevel(d / "level.slv", d / "text");
    return Json::parse(readAll(d / "text/level.json"));
}

// ---- export, then import: the bytes of resave ----

struct RoundTripCase {
    const char* name;
    std::function<void(slv::Level&, const std::string& dir)> shape;  // changes to smallLevel
    std::function<void(const std::string& package)> patch = {};      // changes to the saved package
};

// A sprite name of 20 stored characters that take 40 bytes in UTF-8: the
// editor keeps the first 10, and so does import.
void longStoredName(const std::string& pkg) {
    const std::int64_t tableStart = 64 * static_cast<std::int64_t>(headerOf(pkg).size()) + slv::kSpritesStart;
    const std::string name = std::string(1, '\x14') + std::string(20, '\xE4');
    patch(pkg, tableStart + 4, name.data(), name.size());
}

void accentedNames(slv::Level& l, const std::string&) {
    l.image(1).name.set("café.bmp");
    l.stage(1).name.set("Straße in Köln.bmp");  // 20 bytes stored, cut when read
    l.sprite(1, 1).name.set("ÄÖÜäöüßÄÖÜäöüß");
    l.sector(1, 2).name.set("Tür");
}

// The editor leaves records behind when it removes sprites, sectors and stages.
void leftRecords(slv::Level& l, const std::string& dir) {
    addStage(l, dir, "gone.bmp", 900);
    addSprite(l, 3, 1, 1, 2, 1);
    addSector(l, 2, 3, 4, 5, 6);
    l.stage(2).sectorCount--;
    l.stage(1).spriteCount--;  // coin.bmp's sprite: the editor counts one use less
    l.image(2).useCount--;
    l.stageCount = 2;  // and hero.bmp's sprite on stage 3
    l.image(1).useCount--;
    l.image(40).name.set("stale.bmp");
    l.image(40).path.set("/old/place/stale.bmp");
    l.image(40).size = 77;
}

void hiddenFields(slv::Level& l, const std::string&) {
    l.sprite(1, 1).reserved = 12345;
    l.sprite(2, 1).gap[1] = 7;
    l.sector(1, 1).gap[2] = 0xff;
    l.stage(2).gap[0] = 1;
    l.image(2).gap[2] = 9;
    l.stage(0).name.set("splash");
    l.stage(0).path.set("/home/ann/splash.bmp");
    l.stage(0).size = 4242;
}

void freeImageSlot(slv::Level& l, const std::string& dir) {
    addImage(l, dir, 3, "gem.bmp", 6000);
    addSprite(l, 2, 3, 1, 1, 1);
    l.image(2).name.clear();  // slot 2 free inside 1..3: Save numbers the others anew
    for (int n = 1; n <= l.stage(1).spriteCount; ++n)
        if (l.sprite(n, 1).image == 2) l.sprite(n, 1).image = 1;
    l.sprite(1, 2).image = 1;
    l.image(1).useCount = 3;
}

// An older editor let a strip hold more frames than pixels: frames 0 pixels
// wide, which Open takes and draws as nothing.
void zeroWideSprite(slv::Level& l, const std::string&) {
    l.sprite(1, 1).w = 0;
    l.sprite(1, 1).frameCount = 999;
    l.sprite(1, 1).frame = 999;
}

// Pictures whose names Open changes: no ".bmp", and the same name twice.
void renamedPictures(slv::Level& l, const std::string& dir) {
    writeBitmapBytes(dir + "src/sprites/hero", 5000, 3);
    l.image(1).path.set(dir + "src/sprites/hero");
    writeBitmapBytes(dir + "src/other/coin.bmp", 5100, 4);
    l.image(3).name.set("coin.bmp");
    l.image(3).path.set(dir + "src/other/coin.bmp");
    l.imageCount = 3;
    addSprite(l, 2, 3, 9, 9, 1);
}

class LevelJsonRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// Exported into the package's own folder (where resave puts the pictures),
// import gives resave's bytes; exported elsewhere, the level is the same.
TEST_P(LevelJsonRoundTrip, ImportGivesTheBytesOfResave) {
    TempDir d;
    auto l = smallLevel(d.str());
    GetParam().shape(*l, d.str());
    const std::string pkg = d / "level.slv";
    save(*l, pkg);
    if (GetParam().patch) GetParam().patch(pkg);
    const std::string resaved = resave(pkg, d / "resaved.slv");

    slv::exportLevel(pkg, d.str());
    slv::importLevel(d.str(), d / "imported.slv");
    EXPECT_TRUE(readAll(d / "imported.slv") == resaved);

    const std::string elsewhere = d / "text";
    slv::exportLevel(pkg, elsewhere);
    slv::importLevel(elsewhere, d / "again.slv");
    EXPECT_EQ(slv::levelText(d / "again.slv"), slv::levelText(d / "resaved.slv"));
    EXPECT_TRUE(slv::levelDifferences(d / "again.slv", d / "resaved.slv").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Levels, LevelJsonRoundTrip,
    ::testing::Values(RoundTripCase{"small", [](slv::Level&, const std::string&) {}},
                      RoundTripCase{"accentedNames", accentedNames, longStoredName}, RoundTripCase{"leftRecords", leftRecords},
                      RoundTripCase{"hiddenFields", hiddenFields}, RoundTripCase{"freeImageSlot", freeImageSlot},
                      RoundTripCase{"renamedPictures", renamedPictures},
                      RoundTripCase{"zeroWideSprite", zeroWideSprite},
                      RoundTripCase{"empty", [](slv::Level& l, const std::string&) { l.stageCount = l.imageCount = 0; }}),
    [](const auto& info) { return std::string(info.param.name); });

#ifdef SLV_DEMO_DIR
// The demo's four backdrops and five strips, every strip placed on every stage.
TEST(LevelJsonDemo, ImportGivesTheBytesOfResave) {
    const std::string demo = SLV_DEMO_DIR;
    if (!slv::fileExists(demo + "/sprites/coin.bmp")) GTEST_SKIP() << "the demo home folder is not built";
    const struct {
        const char* file;
        int w, h, frames;
    } strips[] = {{"coin.bmp", 32, 32, 8}, {"flame.bmp", 48, 64, 6}, {"bird.bmp", 64, 48, 4},
                  {"gem.bmp", 40, 40, 5},  {"fan.bmp", 56, 56, 3}};
    TempDir d;
    auto l = std::make_unique<slv::Level>();
    for (const auto& s : strips) {
        slv::ImageRec& r = l->image(++l->imageCount);
        r.name.set(s.file);
        r.path.set(demo + "/sprites/" + s.file);
    }
    for (const char* stage : {"desert.bmp", "forest.bmp", "city.bmp", "sea.bmp"}) {
        const int s = ++l->stageCount;
        l->stage(s).name.set(stage);
        l->stage(s).path.set(demo + "/backpx/" + stage);
        for (int i = 1; i <= l->imageCount; ++i) {
            addSprite(*l, s, i, 100 * i + s, 60 * s, strips[i - 1].frames);
            l->sprite(i, s).w = strips[i - 1].w, l->sprite(i, s).h = strips[i - 1].h;
        }
        addSector(*l, s, 10, 20, 200, 100);
    }
    const std::string pkg = d / "demo.slv";
    save(*l, pkg);
    const std::string resaved = resave(pkg, d / "resaved.slv");
    slv::exportLevel(pkg, d.str());
    slv::importLevel(d.str(), d / "imported.slv");
    EXPECT_TRUE(readAll(d / "imported.slv") == resaved);
}
#endif

// ---- an edited JSON ----

// The use counts are the editor's: counted from the sprites whatever the
// JSON says (coin.bmp is drawn by two sprites).
class LevelJsonUses : public ::testing::TestWithParam<const char*> {};

TEST_P(LevelJsonUses, AreCountedFromTheSprites) {
    TempDir d;
    Json j = exportedSmallLevel(d);
    if (*GetParam()) j["images"][1]["uses"] = Json::parse(GetParam());
    else j["images"][1].erase("uses");
    writeFile(d / "text/level.json", j.dump(2));
    slv::importLevel(d / "text", d / "counted.slv");
    EXPECT_EQ(slv::readPackage(d / "counted.slv").tables.image(2).useCount, 2);
}

INSTANTIATE_TEST_SUITE_P(Given, LevelJsonUses, ::testing::Values("-1", "0", "99", "\"many\"", ""));

TEST(LevelJsonImport, EditedFieldsReachThePackage) {
    TempDir d;
    const std::string dir = d / "text";
    Json j = exportedSmallLevel(d);
    j["sprites"][1]["x"] = 99;
    j["sprites"][1]["frame"] = 2;
    j["sectors"][0]["name"] = "Tür";
    j["images"][0].erase("uses");  // counted from the sprites
    writeFile(dir + "/level.json", j.dump(2));
    slv::importLevel(dir, d / "edited.slv");
    const slv::PackageContents c = slv::readPackage(d / "edited.slv");
    EXPECT_EQ(c.tables.sprite(2, 1).x, 99);
    EXPECT_EQ(c.tables.sprite(2, 1).frame, 2);
    EXPECT_EQ(c.tables.sector(1, 1).name.stored(), "T\xFCr");
    EXPECT_EQ(c.tables.image(1).useCount, 1);
}

// The ends of the 32-bit range are values like any other, and a strip the
// frames fill exactly fits.
TEST(LevelJsonImport, TakesTheEndsOfTheRangeAndStripsFilledExactly) {
    const struct {
        const char* pointer;
        std::int64_t value;
    } rows[] = {{"/sprites/1/x", -2147483648ll}, {"/sprites/1/y", 2147483647ll}, {"/sectors/0/x", -2147483648ll},
                {"/sprites/0/w", 25}, {"/sprites/0/h", 20}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pointer);
        TempDir d;
        const std::string dir = d / "text";
        Json j = exportedSmallLevel(d);
        j[Json::json_pointer(row.pointer)] = row.value;
        writeFile(dir + "/level.json", j.dump(2));
        EXPECT_EQ(errorOf([&] { slv::importLevel(dir, d / "edited.slv"); }), "");
        const slv::PackageTables t = slv::readPackage(d / "edited.slv").tables;
        const std::int64_t stored[] = {t.sprite(2, 1).x, t.sprite(2, 1).y, t.sector(1, 1).x, t.sprite(1, 1).w,
                                       t.sprite(1, 1).h};
        EXPECT_EQ(stored[&row - rows], row.value);
    }
}

// ---- faulty JSON: refused with the path of the fault, nothing written ----

struct Fault {
    const char* name;
    const char* pointer;  // where the exported JSON is changed
    const char* value;    // the new value as JSON; "" removes it
    const char* message;  // what the refusal says
    const char* place = nullptr;  // the value the line and column point at, when not `pointer`
    const char* file = nullptr;   // made (as a copy of sprites/coin.bmp) in the folder first
};

const Fault kFaults[] = {
    {"text", "/sprites/1/x", "\"30\"", "sprites[1].x: not a number"},
    {"fraction", "/sprites/0/y", "20.5", "sprites[0].y: 20.5 is not a whole number"},
    {"huge", "/sectors/0/w", "4294967296", "sectors[0].w: 4294967296 is out of range"},
    {"missing", "/sprites/2/h", "", "sprites[2].h: missing", "/sprites/2"},
    {"noImage", "/sprites/0/image", "9", "sprites[0].image: 9 is not an image of the level (1 to 2)"},
    {"noFrame", "/sprites/0/frame", "5", "sprites[0].frame: 5 is not one of frames 1 to 4"},
    {"noFrames", "/sprites/0/frames", "0", "sprites[0].frames: 0 (at least 1 needed)"},
    {"negativeWidth", "/sprites/1/w", "-1", "sprites[1].w: -1 (cannot be negative)"},
    {"framesTooWide", "/sprites/0/w", "26", "sprites[0]: 4 frames of 26 x 10 do not fit the picture of images[0]",
     "/sprites/0"},
    {"framesTooTall", "/sprites/0/h", "21", "sprites[0]: 4 frames of 10 x 21 do not fit the picture of images[0]",
     "/sprites/0"},
    {"belowRange", "/sprites/1/x", "-2147483649", "sprites[1].x: -2147483649 is out of range"},
    {"stripTooWide", "/sprites/0/w", "1000", "sprites[0]: 4 frames of 1000 x 10 do not fit the picture of images[0]",
     "/sprites/0"},
    {"noStage", "/sprites/2/stage", "3", "sprites[2].stage: 3 is not a stage of the level (1 to 2)"},
    {"unknownField", "/sprites/0/colour", "1", "sprites[0].colour: unknown field"},
    {"bracketKey", "/sprites/0/x[b]", "1", "sprites[0].x[b]: unknown field", "/sprites/0"},
    {"notObject", "/sectors/1", "7", "sectors[1]: not an object"},
    {"notList", "/sprites", "{}", "sprites: not a list"},
    {"absolute", "/images/1/picture", "\"/etc/hostname\"", "images[1].picture: \"/etc/hostname\" is absolute"},
    {"parent", "/stages/0/picture", "\"../level.slv\"", "stages[0].picture: \"../level.slv\" must name a file inside"},
    {"absentPicture", "/images/0/picture", "\"sprites/none.bmp\"", "images[0].picture: cannot read the picture"},
    {"backslash", "/images/1/picture", "\"sprites\\\\coin.bmp\"",
     "images[1].picture: \"sprites\\coin.bmp\" holds a backslash", nullptr, "sprites\\coin.bmp"},
    {"sectorTooWide", "/sectors/0/w", "641", "sectors[0].w: 641 is not a sector width (0 to 640)"},
    {"sectorNegative", "/sectors/1/w", "-5", "sectors[1].w: -5 is not a sector width (0 to 640)"},
    {"sectorTooTall", "/sectors/2/h", "431", "sectors[2].h: 431 is not a sector height (0 to 430)"},
    {"sectorNegativeHeight", "/sectors/2/h", "-1", "sectors[2].h: -1 is not a sector height (0 to 430)"},
    {"notCp1252", "/stages/1/name", "\"東京.bmp\"", "stages[1].name: holds a character outside Windows-1252"},
    {"longName", "/sectors/0/name", "\"a name of twenty-one!\"", "sectors[0].name: longer than 20 characters"},
    {"stageFolder", "/stages/0/name", "\"a/b.bmp\"", "stages[0].name: \"a/b.bmp\" is not a valid file name"},
    {"badCount", "/stages/0/sprites", "5", "stages[0].sprites: 5, but 2 sprites name stage 1"},
    {"negativeCount", "/stages/1/sectors", "-1", "stages[1].sectors: -1, but 2 sectors name stage 2"},
    {"badGap", "/sprites/0/gap", "\"zz0000\"", "sprites[0].gap: not 6 hex digits"},
    {"badEntry", "/images/0/entry", "\"..\\\\x.bmp\"", "images[0].entry:"},
    {"version", "/version", "2", "version: 2 is not a version this program reads (1)"},
    {"format", "/format", "\"tiled\"", "format: \"tiled\" is not \"slvedit level\""},
    {"leftover", "/leftover/sprites", "[{\"stage\":1,\"number\":0}]", "leftover.sprites[0].number: 0 is not within 1 to 100",
     "/leftover/sprites/0/number"},
};

class LevelJsonFault : public ::testing::TestWithParam<Fault> {};

TEST_P(LevelJsonFault, IsRefusedWithItsPath) {
    const Fault& f = GetParam();
    TempDir d;
    const std::string dir = d / "text";
    Json j = exportedSmallLevel(d);
    const Json::json_pointer at(f.pointer);
    if (*f.value) j[at] = Json::parse(f.value);
    else j.at(at.parent_pointer()).erase(at.back());
    const std::string text = j.dump(2);
    writeFile(dir + "/level.json", text);
    if (f.file) fs::copy_file(dir + "/sprites/coin.bmp", dir + "/" + f.file);

    const std::string out = d / "out/level.slv";
    slv::createDir(d / "out");
    const std::string error = errorOf([&] { slv::importLevel(dir, out); });
    EXPECT_TRUE(fs::is_empty(d / "out"));
    // "DIR/level.json:LINE:COLUMN: message", the place being the faulty value's.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(error, m, std::regex("level\\.json:([0-9]+):([0-9]+): (.*)"))) << error;
    EXPECT_EQ(m[3].str().rfind(f.message, 0), 0u) << error;
    std::istringstream lines(text);
    std::string line;
    for (int n = std::stoi(m[1]); n > 0; --n) std::getline(lines, line);
    const std::string shown = j[Json::json_pointer(f.place ? f.place : f.pointer)].dump(2);
    EXPECT_EQ(line.substr(std::stoul(m[2]) - 1).rfind(shown.substr(0, shown.find('\n')), 0), 0u)
        << error << "\nline: " << line;
}

INSTANTIATE_TEST_SUITE_P(Cases, LevelJsonFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- text that is not JSON: the place and a short part of the text ----

struct SyntaxCase {
    const char* name;
    const char* find;          // in the exported text, replaced by `replace`
    std::string replace;
    const char* message;       // after "level.json:LINE:COLUMN: "
    const char* at;            // the text the line and column point at ("" for the end)
    bool cutAfter = false;     // the text ends after the replacement
};

const std::string kHugeNumber = std::string(100000, '7');

const SyntaxCase kSyntax[] = {
    {"hugeNumber", "\"x\": 30", "\"x\": " + kHugeNumber, "not JSON: the number is too large (at: 7777", "7777"},
    {"missingComma", "\"x\": 30,", "\"x\": 30", "not JSON: syntax error while parsing object", "\"y\""},
    {"badLiteral", "\"x\": 30", "\"x\": tru", "not JSON: syntax error while parsing value - invalid literal", "tru"},
    {"endOfText", "\"x\": 30", "\"x\": 30", "not JSON: syntax error while parsing object", "", true},
    {"hugeKey", "\"x\": 30", "\"x\": 30, \"" + std::string(100000, 'k') + "\": 1", "sprites[1].kkkk", "{"},
    {"hugePicture", "\"sprites/coin.bmp\"", "\"" + std::string(100000, 'p') + "\"",
     "images[1].picture: the picture's path \"", "\"pppp"},
};

class LevelJsonSyntax : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(LevelJsonSyntax, IsToldWithItsPlaceAndShort) {
    const SyntaxCase& c = GetParam();
    TempDir d;
    const std::string dir = d / "text";
    std::string text = exportedSmallLevel(d).dump(2);
    std::size_t at = text.find(c.find, text.find("\"x\": 30"));  // in sprites[1]
    if (at == std::string::npos) at = text.find(c.find);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::strlen(c.find), c.replace);
    if (c.cutAfter) text.resize(at + c.replace.size());
    writeFile(dir + "/level.json", text);

    const std::string error = errorOf([&] { slv::importLevel(dir, d / "x.slv"); });
    EXPECT_FALSE(slv::fileExists(d / "x.slv"));
    ASSERT_LT(error.size(), 400u) << error.substr(0, 400);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(error, m, std::regex("level\\.json:([0-9]+):([0-9]+): (.*)"))) << error;
    EXPECT_EQ(m[3].str().rfind(c.message, 0), 0u) << error;
    std::istringstream lines(text);
    std::string line;
    const int lineNumber = std::stoi(m[1]);
    for (int n = lineNumber; n > 0; --n) std::getline(lines, line);
    const std::size_t column = std::stoul(m[2]);
    if (*c.at) EXPECT_EQ(line.substr(column - 1, std::strlen(c.at)), c.at) << error;
    else EXPECT_EQ(lineNumber, std::count(text.begin(), text.end(), '\n') + 1) << error;
}

INSTANTIATE_TEST_SUITE_P(Cases, LevelJsonSyntax, ::testing::ValuesIn(kSyntax),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- pictures Open would refuse, or that lie outside the folder ----

// The first bytes of a PNG of width x height pixels (all that is read of it).
std::string pngHead(std::uint32_t width, std::uint32_t height) {
    std::string head("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (std::uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) head += static_cast<char>(v >> shift);
    return head + std::string(76, '\0');
}

// A 24-bit BMP of 100 x 20 pixels (6054 bytes) cut to `size` bytes.
void cutBitmap(const std::string& path, std::size_t size) {
    std::string bytes = bmpHeader(100, 20);
    bytes.resize(size, '\x33');
    writeFile(path, bytes);
}

struct PictureFault {
    const char* name;
    std::function<void(const std::string& dir, const std::string& outside)> change;
    std::vector<std::string> message;  // parts of the refusal, in order; empty: imported
};

const PictureFault kPictureFaults[] = {
    {"cutSprite", [](const std::string& dir, const std::string&) { cutBitmap(dir + "/sprites/hero.bmp", 5000); },
     {"images[0].picture: \"", "/text/sprites/hero.bmp\" is cut short: its header declares 100 x 20 pixels in 6054 bytes but the file holds 5000"}},
    {"cutStage", [](const std::string& dir, const std::string&) { cutBitmap(dir + "/backpx/park.bmp", 3000); },
     {"stages[1].picture: \"", "/text/backpx/park.bmp\" is cut short"}},
    {"wholeBitmap", [](const std::string& dir, const std::string&) { cutBitmap(dir + "/backpx/park.bmp", 6054); }, {}},
    {"hugeStage", [](const std::string& dir, const std::string&) { writeFile(dir + "/backpx/street.bmp", pngHead(30000, 30000)); },
     {"stages[0].picture: \"", "/text/backpx/street.bmp\" (30000 x 30000)", "2 GB"}},
    {"imagesTogether",
     [](const std::string& dir, const std::string&) {
         writeFile(dir + "/sprites/hero.bmp", pngHead(16400, 16400));
         writeFile(dir + "/sprites/coin.bmp", pngHead(16400, 16400));
     },
     {"images[1].picture: the level's pictures need more than 2 GB of memory: \"", "/text/sprites/coin.bmp\" (16400 x 16400) passes the limit"}},
    {"imagesAndLargestStage",
     [](const std::string& dir, const std::string&) {
         writeFile(dir + "/sprites/hero.bmp", pngHead(16400, 16400));
         writeFile(dir + "/backpx/street.bmp", pngHead(100, 100));
         writeFile(dir + "/backpx/park.bmp", pngHead(16400, 16400));
     },
     {"stages[1].picture: the level's pictures need more than 2 GB", "/text/backpx/park.bmp\" (16400 x 16400)"}},
    {"justWithinBudget",
     [](const std::string& dir, const std::string&) {
         // 1 GB, 1 GB less 64 KB and 8000 bytes: within 2 GB, the smaller stage not counted.
         writeFile(dir + "/sprites/hero.bmp", pngHead(16384, 16384));
         writeFile(dir + "/backpx/street.bmp", pngHead(16384, 1));
         writeFile(dir + "/backpx/park.bmp", pngHead(16384, 16383));
     },
     {}},
    {"linkedFile",
     [](const std::string& dir, const std::string& outside) {
         fs::rename(dir + "/sprites/coin.bmp", outside + "/coin.bmp");
         fs::create_symlink(outside + "/coin.bmp", dir + "/sprites/coin.bmp");
     },
     {"images[1].picture: \"sprites/coin.bmp\" is a symbolic link, or lies in one, that leads outside the level's folder"}},
    {"linkedFolder",
     [](const std::string& dir, const std::string& outside) {
         fs::rename(dir + "/backpx", outside + "/backpx");
         fs::create_symlink(outside + "/backpx", dir + "/backpx");
     },
     {"stages[0].picture: \"backpx/street.bmp\" is a symbolic link, or lies in one, that leads outside"}},
    {"relativeLinkOut",
     [](const std::string& dir, const std::string&) {
         fs::rename(dir + "/sprites/hero.bmp", dir + "/../hero.bmp");
         fs::create_symlink("../../hero.bmp", dir + "/sprites/hero.bmp");
     },
     {"images[0].picture: \"sprites/hero.bmp\" is a symbolic link"}},
    {"linkInside",
     [](const std::string& dir, const std::string&) {
         fs::create_directories(dir + "/shared");
         fs::rename(dir + "/sprites/coin.bmp", dir + "/shared/coin.bmp");
         fs::create_symlink("../shared/coin.bmp", dir + "/sprites/coin.bmp");
     },
     {}},
};

class LevelJsonPicture : public ::testing::TestWithParam<PictureFault> {};

// A refused picture is named with the reason before anything is written: a
// package already at OUT keeps its bytes.
TEST_P(LevelJsonPicture, IsCheckedAsOpenChecksIt) {
    const PictureFault& c = GetParam();
    TempDir d;
    exportedSmallLevel(d);
    const std::string outside = d / "outside";
    fs::create_directories(outside);
    c.change(d / "text", outside);
    const std::string out = d / "out.slv";
    fs::copy_file(d / "level.slv", out);
    const std::string before = readAll(out);

    const std::string error = errorOf([&] { slv::importLevel(d / "text", out); });
    if (c.message.empty()) {
        EXPECT_EQ(error, "");
        EXPECT_NO_THROW(opened(out));
        return;
    }
    std::size_t from = 0;
    for (const std::string& part : c.message) {
        const std::size_t found = error.find(part, from);
        EXPECT_NE(found, std::string::npos) << "\"" << part << "\" in: " << error;
        if (found != std::string::npos) from = found + part.size();
    }
    EXPECT_TRUE(readAll(out) == before);
    EXPECT_FALSE(anyTemp(d.str()));
}

INSTANTIATE_TEST_SUITE_P(Cases, LevelJsonPicture, ::testing::ValuesIn(kPictureFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- export never writes through a link ----

class LevelJsonExportLink : public ::testing::TestWithParam<bool> {};

TEST_P(LevelJsonExportLink, AtLevelJsonIsRefused) {
    const bool dangling = GetParam();
    TempDir d;
    save(*smallLevel(d.str()), d / "level.slv");
    const std::string target = d / "elsewhere.txt";
    if (!dangling) writeFile(target, std::string("the author's own"));
    fs::create_directories(d / "text");
    fs::create_symlink(target, d / "text/level.json");

    const std::string error = errorOf([&] { slv::exportLevel(d / "level.slv", d / "text"); });
    EXPECT_TRUE(mentions(error, "/text/level.json\" is a symbolic link")) << error;
    if (dangling) EXPECT_FALSE(fs::exists(target));
    else EXPECT_EQ(readAll(target), "the author's own");
    EXPECT_TRUE(fs::is_symlink(d / "text/level.json"));
    EXPECT_FALSE(fs::exists(d / "text/sprites"));  // refused before any picture
}

INSTANTIATE_TEST_SUITE_P(Links, LevelJsonExportLink, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "dangling" : "toAFile"); });

// A second export replaces the level.json of the first with a new file.
TEST(LevelJsonExport, ReplacesItsOwnFile) {
    TempDir d;
    auto l = smallLevel(d.str());
    save(*l, d / "a.slv");
    l->sprite(1, 1).x = 77;
    save(*l, d / "b.slv");
    slv::exportLevel(d / "a.slv", d / "text");
    slv::exportLevel(d / "b.slv", d / "text");
    EXPECT_EQ(Json::parse(readAll(d / "text/level.json"))["sprites"][0]["x"], 77);
    EXPECT_FALSE(anyTemp(d / "text"));
}

// Open would refuse the package in a folder so deep that its pictures'
// paths do not fit a record: import refuses to write it there.
TEST(LevelJsonFault, DeepOutputFolderIsRefused) {
    TempDir d;
    exportedSmallLevel(d);
    const std::string deep = d / (std::string(120, 'a') + "/" + std::string(120, 'b'));
    fs::create_directories(deep);
    const std::string error = errorOf([&] { slv::importLevel(d / "text", deep + "/level.slv"); });
    EXPECT_TRUE(std::regex_search(error, std::regex("level\\.json:[0-9]+:[0-9]+: images\\[0\\]\\.picture: opened from")))
        << error;
    EXPECT_TRUE(fs::is_empty(deep));
}

// ---- diff ----

struct DiffCase {
    const char* name;
    std::function<void(slv::Level&, const std::string& dir)> change;
    std::vector<std::string> lines;  // hashes written as H
};

std::string hashesHidden(const std::string& line) {
    static const std::regex hash("\\b[0-9a-f]{8}\\b");
    return std::regex_replace(line, hash, "H");
}

const DiffCase kDiffs[] = {
    {"same", [](slv::Level&, const std::string&) {}, {}},
    {"moved", [](slv::Level& l, const std::string&) { l.sprite(2, 1).x = 31, l.sprite(2, 1).y = 41; },
     {"stage 1 \"street.bmp\": sprite 2 \"coin.bmp\" moved from (30, 40) to (31, 41)"}},
    {"added", [](slv::Level& l, const std::string&) { addSprite(l, 2, 1, 70, 80, 4); },
     {"stage 2 \"park.bmp\": sprite 2 \"hero.bmp\" added at (70, 80)"}},
    {"removed",
     [](slv::Level& l, const std::string&) {
         l.sprite(1, 1) = l.sprite(2, 1);
         l.stage(1).spriteCount = 1;
     },
     {"stage 1 \"street.bmp\": sprite 1 \"hero.bmp\" removed (was at (10, 20))"}},
    {"changedPicture", [](slv::Level& l, const std::string&) { writeBitmapBytes(l.image(1).path.str(), 5000, 99); },
     {"picture \"hero.bmp\" changed (H -> H)"}},
    {"changedBackdrop", [](slv::Level& l, const std::string&) { writeBytes(l.stage(2).path.str(), 3000, 98); },
     {"stage 2 \"park.bmp\": backdrop changed (H -> H)"}},
    {"frames",
     [](slv::Level& l, const std::string&) {
         l.sprite(1, 1).frameCount = 2;
         l.sprite(1, 1).w = 20;
     },
     {"stage 1 \"street.bmp\": sprite 1 \"hero.bmp\" frames changed from 4 of 10 x 10 to 2 of 20 x 10"}},
    {"stageAdded", [](slv::Level& l, const std::string& dir) { addStage(l, dir, "cave.bmp", 700); },
     {"stage 3 \"cave.bmp\" added (0 sprites, 0 sectors)"}},
    {"stageRemoved", [](slv::Level& l, const std::string&) { l.stageCount = 1; }, {"stage 2 \"park.bmp\" removed"}},
    {"stageRenamed", [](slv::Level& l, const std::string&) { l.stage(2).name.set("garden.bmp"); },
     {"stage 2 renamed from \"park.bmp\" to \"garden.bmp\""}},
    {"sectorResized", [](slv::Level& l, const std::string&) { l.sector(1, 2).w = 70; },
     {"stage 2 \"park.bmp\": sector 1 \"Sector1\" resized from 7 x 8 to 70 x 8"}},
    {"sectorTaller", [](slv::Level& l, const std::string&) { l.sector(1, 2).h = 9; },
     {"stage 2 \"park.bmp\": sector 1 \"Sector1\" resized from 7 x 8 to 7 x 9"}},
    {"frameShown", [](slv::Level& l, const std::string&) { l.sprite(1, 1).frame = 2; },
     {"stage 1 \"street.bmp\": sprite 1 \"hero.bmp\" shows frame 2 instead of 1"}},
    {"sectorAdded", [](slv::Level& l, const std::string&) { addSector(l, 1, 20, 30, 40, 50); },
     {"stage 1 \"street.bmp\": sector 2 \"Sector2\" added (40 x 50 at (20, 30))"}},
    {"sectorRemoved", [](slv::Level& l, const std::string&) { l.stage(2).sectorCount = 1; },
     {"stage 2 \"park.bmp\": sector 2 \"Sector2\" removed (was 11 x 12 at (9, 10))"}},
    {"sectorMoved", [](slv::Level& l, const std::string&) { l.sector(1, 1).x = 2; },
     {"stage 1 \"street.bmp\": sector 1 \"Sector1\" moved from (1, 2) to (2, 2)"}},
    {"splash", [](slv::Level& l, const std::string&) { l.stage(0).name.set("title.bmp"); },
     {"the splash record changed"}},
    {"sectorRenamed", [](slv::Level& l, const std::string&) { l.sector(2, 2).name.set("Exit"); },
     {"stage 2 \"park.bmp\": sector 2 renamed from \"Sector2\" to \"Exit\""}},
    {"accentedNames",
     [](slv::Level& l, const std::string&) {
         l.sprite(1, 1).name.set("café");
         l.stage(2).name.set("Straße.bmp");
     },
     {"stage 1 \"street.bmp\": sprite 1 renamed from \"hero.bmp\" to \"café\"",
      "stage 2 renamed from \"park.bmp\" to \"Straße.bmp\""}},
};

class LevelDiff : public ::testing::TestWithParam<DiffCase> {};

TEST_P(LevelDiff, TellsWhatChanged) {
    TempDir d;
    auto l = smallLevel(d.str());
    save(*l, d / "a.slv");
    GetParam().change(*l, d.str());
    save(*l, d / "b.slv");
    std::vector<std::string> lines = slv::levelDifferences(d / "a.slv", d / "b.slv");
    for (std::string& line : lines) line = hashesHidden(line);
    EXPECT_EQ(lines, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Cases, LevelDiff, ::testing::ValuesIn(kDiffs),
                         [](const auto& info) { return std::string(info.param.name); });

// The hash a changed picture is told with is the hash of its bytes.
TEST(LevelDiffHash, IsTheHashOfThePictureBytes) {
    TempDir d;
    auto l = smallLevel(d.str());
    const std::string before = readAll(l->image(2).path.str());
    save(*l, d / "a.slv");
    const std::string after = writeBitmapBytes(l->image(2).path.str(), 7000, 1234);
    save(*l, d / "b.slv");
    EXPECT_EQ(slv::levelDifferences(d / "a.slv", d / "b.slv"),
              std::vector<std::string>{"picture \"coin.bmp\" changed (" + slv::pictureHash(before) + " -> " +
                                       slv::pictureHash(after) + ")"});
    EXPECT_NE(slv::pictureHash(before), slv::pictureHash(after));
}

}  // namespace
