// Levels as text: export then import gives the bytes resave gives, an edited
// JSON imports with the edit, faulty JSON is refused with the path of the
// fault, and diff tells what changed between two packages.
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>

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
    l.stage(1).spriteCount--;
    l.stageCount = 2;
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

// ---- faulty JSON: refused with the path of the fault, nothing written ----

struct Fault {
    const char* name;
    const char* pointer;  // where the exported JSON is changed
    const char* value;    // the new value as JSON; "" removes it
    const char* message;  // what the refusal says
};

const Fault kFaults[] = {
    {"text", "/sprites/1/x", "\"30\"", "sprites[1].x: not a number"},
    {"fraction", "/sprites/0/y", "20.5", "sprites[0].y: 20.5 is not a whole number"},
    {"huge", "/sectors/0/w", "4294967296", "sectors[0].w: 4294967296 is out of range"},
    {"missing", "/sprites/2/h", "", "sprites[2].h: missing"},
    {"noImage", "/sprites/0/image", "9", "sprites[0].image: 9 is not an image of the level (1 to 2)"},
    {"noFrame", "/sprites/0/frame", "5", "sprites[0].frame: 5 is not one of frames 1 to 4"},
    {"noFrames", "/sprites/0/frames", "0", "sprites[0].frames: 0 (at least 1 needed)"},
    {"stripTooWide", "/sprites/0/w", "1000", "sprites[0]: 4 frames of 1000 x 10 do not fit the picture of images[0]"},
    {"noStage", "/sprites/2/stage", "3", "sprites[2].stage: 3 is not a stage of the level (1 to 2)"},
    {"unknownField", "/sprites/0/colour", "1", "sprites[0].colour: unknown field"},
    {"notObject", "/sectors/1", "7", "sectors[1]: not an object"},
    {"notList", "/sprites", "{}", "sprites: not a list"},
    {"absolute", "/images/1/picture", "\"/etc/hostname\"", "images[1].picture: \"/etc/hostname\" is absolute"},
    {"parent", "/stages/0/picture", "\"../level.slv\"", "stages[0].picture: \"../level.slv\" must name a file inside"},
    {"absentPicture", "/images/0/picture", "\"sprites/none.bmp\"", "images[0].picture: cannot read the picture"},
    {"notCp1252", "/stages/1/name", "\"東京.bmp\"", "stages[1].name: holds a character outside Windows-1252"},
    {"longName", "/sectors/0/name", "\"a name of twenty-one!\"", "sectors[0].name: longer than 20 characters"},
    {"stageFolder", "/stages/0/name", "\"a/b.bmp\"", "stages[0].name: \"a/b.bmp\" is not a valid file name"},
    {"badCount", "/stages/0/sprites", "5", "stages[0].sprites: 5, but 2 sprites name stage 1"},
    {"negativeCount", "/stages/1/sectors", "-1", "stages[1].sectors: -1, but 2 sectors name stage 2"},
    {"badGap", "/sprites/0/gap", "\"zz0000\"", "sprites[0].gap: not 6 hex digits"},
    {"badEntry", "/images/0/entry", "\"..\\\\x.bmp\"", "images[0].entry:"},
    {"version", "/version", "2", "version: 2 is not a version this program reads (1)"},
    {"format", "/format", "\"tiled\"", "format: \"tiled\" is not \"slvedit level\""},
    {"leftover", "/leftover/sprites", "[{\"stage\":1,\"number\":0}]", "leftover.sprites[0].number: 0 is not within 1 to 100"},
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
    writeFile(dir + "/level.json", j.dump(2));

    const std::string out = d / "out/level.slv";
    slv::createDir(d / "out");
    const std::string error = errorOf([&] { slv::importLevel(dir, out); });
    EXPECT_NE(error.find(std::string("level.json: ") + f.message), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(d / "out"));
}

INSTANTIATE_TEST_SUITE_P(Cases, LevelJsonFault, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LevelJsonFault, NotJsonIsRefused) {
    TempDir d;
    writeFile(d / "level.json", std::string("{\"format\": \"slvedit level\", "));
    const std::string error = errorOf([&] { slv::importLevel(d.str(), d / "x.slv"); });
    EXPECT_NE(error.find("level.json: not JSON: parse error at line 1"), std::string::npos) << error;
    EXPECT_FALSE(slv::fileExists(d / "x.slv"));
}

// Open would refuse the package in a folder so deep that its pictures'
// paths do not fit a record: import refuses to write it there.
TEST(LevelJsonFault, DeepOutputFolderIsRefused) {
    TempDir d;
    exportedSmallLevel(d);
    const std::string deep = d / (std::string(120, 'a') + "/" + std::string(120, 'b'));
    fs::create_directories(deep);
    const std::string error = errorOf([&] { slv::importLevel(d / "text", deep + "/level.slv"); });
    EXPECT_NE(error.find("level.json: images[0].picture: opened from"), std::string::npos) << error;
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
    {"sectorRenamed", [](slv::Level& l, const std::string&) { l.sector(2, 2).name.set("Exit"); },
     {"stage 2 \"park.bmp\": sector 2 renamed from \"Sector2\" to \"Exit\""}},
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
