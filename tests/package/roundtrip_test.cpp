// Levels that come back whole: every picture its own after Open and Save,
// whatever names and folders the level's bitmaps had, and extraction that no
// symbolic link can redirect.
#include <unistd.h>

#include <functional>
#include <map>
#include <set>
#include <optional>

#include "common/error_text.h"
#include "model/editing.h"
#include "model/names.h"
#include "package_helpers.h"

using namespace pkgtest;

namespace {

// A level made from bitmap files under d/src (names may hold folders), one
// sprite per image, spread over the stages; the bytes of every picture kept.
struct MadeLevel {
    std::unique_ptr<slv::Level> level = std::make_unique<slv::Level>();
    std::vector<std::string> imageBytes{""}, stageBytes{""};  // 1-based
};

MadeLevel makeLevel(const TempDir& d, const std::vector<std::string>& images, const std::vector<std::string>& stages) {
    MadeLevel m;
    slv::Level& l = *m.level;
    for (const std::string& file : images) {
        int i = ++l.imageCount;
        std::string p = d / ("src/" + file);
        m.imageBytes.push_back(writeBitmapBytes(p, 300u + 17u * static_cast<unsigned>(i), 40u + static_cast<unsigned>(i)));
        l.image(i).name.set(slv::fileNamePart(p));
        l.image(i).path.set(p);
    }
    for (const std::string& file : stages) {
        int s = ++l.stageCount;
        std::string p = d / ("src/" + file);
        m.stageBytes.push_back(writeBitmapBytes(p, 500u + 31u * static_cast<unsigned>(s), 90u + static_cast<unsigned>(s)));
        l.stage(s).name.set(slv::fileNamePart(p));
        l.stage(s).path.set(p);
    }
    for (int i = 1; i <= l.imageCount; ++i) addSprite(l, (i - 1) % l.stageCount + 1, i, 5 * i, 7 * i, 2);
    return m;
}

// Every stage and every sprite of `l` shows the picture it was made from.
void expectPictures(const slv::Level& l, const MadeLevel& m) {
    ASSERT_EQ(l.stageCount, m.level->stageCount);
    for (int s = 1; s <= l.stageCount; ++s) {
        EXPECT_EQ(readAll(l.stage(s).path.str()), m.stageBytes[static_cast<std::size_t>(s)]) << "stage " << s;
        ASSERT_EQ(l.stage(s).spriteCount, m.level->stage(s).spriteCount);
        for (int n = 1; n <= l.stage(s).spriteCount; ++n) {
            const int img = l.sprite(n, s).image;
            ASSERT_EQ(img, m.level->sprite(n, s).image);
            EXPECT_EQ(readAll(l.image(img).path.str()), m.imageBytes[static_cast<std::size_t>(img)])
                << "sprite " << n << " of stage " << s;
        }
    }
}

// Opens `pkg`, from its own folder through a relative path when asked.
std::unique_ptr<slv::Level> openFrom(const std::string& pkg, bool relative) {
    if (!relative) return opened(pkg);
    struct BackWhereItWas {  // however Open ends
        fs::path folder = fs::current_path();
        ~BackWhereItWas() { fs::current_path(folder); }
    } back;
    fs::current_path(fs::path(pkg).parent_path());
    return opened(fs::path(pkg).filename().string());
}

}  // namespace

TEST(LevelRoundTrip, EveryPictureComesBackAfterOpenSaveOpen) {
    struct Case {
        const char* what;
        std::vector<std::string> images, stages;
        bool relative = false;
        std::function<void(const TempDir&)> before = nullptr;  // files beside the package before Open
        std::function<void(const TempDir&)> after = nullptr;   // checks after both opens
    };
    const std::string longName = "a_sprite_strip_with_a_very_long_descriptive_name_";
    const std::string stale = "not the package's picture";
    const Case cases[] = {
        {"long names that cut alike",
         {longName + "one.bmp", longName + "two.bmp"},
         {"forest_background_1_day.bmp", "forest_background_1_night.bmp", "forest_background.bmp"}},
        {"same-named stages from different folders", {"one/coin.bmp", "two/coin.bmp"}, {"one/city.bmp", "two/city.bmp"}},
        {"stale different files beside the package",
         {"coin.bmp"},
         {"city.bmp"},
         false,
         [&](const TempDir& d) {
             writeFile(d / "a/backpx/city.bmp", stale);
             writeFile(d / "a/sprites/coin.bmp", stale);
         },
         [&](const TempDir& d) {
             EXPECT_EQ(readAll(d / "a/backpx/city.bmp"), stale);
             EXPECT_EQ(readAll(d / "a/sprites/coin.bmp"), stale);
         }},
        {"8-bit names", {"naïve.bmp"}, {"café.bmp", "Ünïcødé.bmp"}, false, nullptr,
         [&](const TempDir& d) {
             auto h = headerOf(d / "a/level.slv");
             EXPECT_EQ(h[4].name.str(), "\\sprites\\na\xEFve.bmp");  // one byte per letter
             EXPECT_EQ(h[5].name.str(), "\\backpx\\caf\xE9.bmp");
             EXPECT_TRUE(fs::exists(d / "b/backpx/café.bmp"));
         }},
        {"a package path relative to the current folder", {"coin.bmp"}, {"city.bmp"}, true, nullptr,
         [&](const TempDir& d) { EXPECT_TRUE(fs::exists(d / "a/backpx/city.bmp")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir d;
        MadeLevel m = makeLevel(d, c.images, c.stages);
        fs::create_directories(d.path() / "a/backpx");
        fs::create_directories(d.path() / "a/sprites");
        save(*m.level, d / "a/level.slv");
        if (c.before) c.before(d);

        auto first = openFrom(d / "a/level.slv", c.relative);
        expectPictures(*first, m);
        for (int s = 1; s <= first->stageCount; ++s)  // extracted copies keep a usable name
            EXPECT_TRUE(first->stage(s).path.str().ends_with(".bmp")) << first->stage(s).path.str();
        for (int i = 1; i <= first->imageCount; ++i)
            EXPECT_TRUE(first->image(i).path.str().ends_with(".bmp")) << first->image(i).path.str();

        save(*first, d / "b/level.slv");
        EXPECT_TRUE(sameEntries(headerOf(d / "a/level.slv"), headerOf(d / "b/level.slv")));
        auto second = openFrom(d / "b/level.slv", c.relative);
        expectPictures(*second, m);
        if (c.after) c.after(d);
        EXPECT_FALSE(fs::exists("/sprites") || fs::exists("/backpx"));
    }
}

// Two sprite files whose names agree in their first 20 characters, added in
// one "Add 'em": two pictures with their own frame counts, two members, and
// after Save and Open (and Save and Open again) each sprite shows its own
// picture from a file of its own, also when the members' entry names are
// equal (the names agree in the 41 characters an entry keeps).
TEST(LevelRoundTrip, LongNamesAddedTogetherStayTwoPictures) {
    const std::string cut41 = "hero_running_animation_of_the_second_act_";
    struct Case {
        const char* what;
        std::string first, second;
        bool sameEntry;
    };
    const Case cases[] = {
        {"names differing after 20 characters", "hero_running_animation_v1.bmp", "hero_running_animation_v2.bmp", false},
        {"names differing after 41 characters", cut41 + "v1.bmp", cut41 + "v2.bmp", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir d;
        const std::string folder = d / "work/sprites";
        const std::map<std::string, int> detected{{c.first, 4}, {c.second, 6}};
        std::map<std::string, std::string> bytes;
        unsigned seed = 3;
        for (const std::string& f : {c.first, c.second})
            bytes[f] = writeBitmapBytes(folder + "/" + f, 700, seed++, 120, 20);  // same size, other bytes

        slv::Level l;
        addStage(l, d.path().string() + "/", "city.bmp", 900);
        l.openStage = 1;
        slv::SurfaceHandle next = 1;
        std::map<slv::SurfaceHandle, std::string> loaded;
        slv::SurfaceCallbacks cb;
        cb.load = [&](const std::string& path) { loaded[next] = path; return next++; };
        cb.release = [&](slv::SurfaceHandle h) { loaded.erase(h); };
        cb.measure = [](slv::SurfaceHandle) { return slv::SurfaceSize{120, 20}; };
        ASSERT_EQ(slv::addSprites(l, folder, {c.first, c.second}, cb,
                                  [&](const std::string& path) { return detected.at(slv::fileNamePart(path)); },
                                  [](int) { return 0; }),
                  2);
        ASSERT_EQ(l.imageCount, 2);

        save(l, d / "a/level.slv");
        const auto header = headerOf(d / "a/level.slv");
        ASSERT_EQ(header.size(), 7u);  // four tables, two pictures, one stage
        EXPECT_EQ(header[4].name.str() == header[5].name.str(), c.sameEntry);

        auto first = opened(d / "a/level.slv");
        save(*first, d / "b/level.slv");
        auto second = opened(d / "b/level.slv");
        for (const slv::Level* back : {first.get(), second.get()}) {
            ASSERT_EQ(back->stage(1).spriteCount, 2);
            std::set<std::string> files;
            for (int n = 1; n <= 2; ++n) {
                const slv::SpriteRec& sp = back->sprite(n, 1);
                const std::string& source = n == 1 ? c.first : c.second;
                EXPECT_EQ(sp.frameCount, detected.at(source)) << "sprite " << n;
                EXPECT_EQ(sp.w, 120 / detected.at(source)) << "sprite " << n;
                const std::string path = back->image(sp.image).path.str();
                files.insert(path);
                EXPECT_EQ(readAll(path), bytes[source]) << "sprite " << n << " from " << path;
            }
            EXPECT_EQ(files.size(), 2u);
        }
    }
}

TEST(LevelRoundTrip, NothingIsWrittenThroughSymbolicLinks) {
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> plant;
        const char* words;
    };
    const Case cases[] = {
        {"linked sprites folder", [](const TempDir& d) { fs::create_directory_symlink(d / "outside", d / "pkg/sprites"); },
         "pkg/sprites\" is a symbolic link"},
        {"dangling backpx link", [](const TempDir& d) { fs::create_directory_symlink(d / "outside/new", d / "pkg/backpx"); },
         "pkg/backpx\" is a symbolic link"},
        {"linked member file",
         [](const TempDir& d) {
             fs::create_directories(d.path() / "pkg/sprites");
             fs::create_symlink(d / "outside/victim", d / "pkg/sprites/hero.bmp");
         },
         "hero.bmp\" is a symbolic link"},
        {"dangling member file link",
         [](const TempDir& d) {
             fs::create_directories(d.path() / "pkg/backpx");
             fs::create_symlink(d / "outside/new.bmp", d / "pkg/backpx/park.bmp");
         },
         "park.bmp\" is a symbolic link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir d;
        writeFile(d / "outside/victim", "mine");
        save(*smallLevel(d.str()), d / "pkg/level.slv");
        c.plant(d);
        const std::string error = errorOf([&] { opened(d / "pkg/level.slv"); });
        EXPECT_NE(error.find(c.words), std::string::npos) << error;
        std::vector<std::string> outside;
        for (auto& e : fs::directory_iterator(d.path() / "outside")) outside.push_back(e.path().filename().string());
        EXPECT_EQ(outside, std::vector<std::string>{"victim"});
        EXPECT_EQ(readAll(d / "outside/victim"), "mine");
    }
}

TEST(PackageNames, Windows1252BothWays) {
    struct Case {
        std::string stored, utf8;
    };
    const Case cases[] = {
        {"caf\xE9.bmp", "café.bmp"},
        {"\xA0\xFF", "\u00A0ÿ"},
        {"plain", "plain"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(slv::fromWindows1252(c.stored), c.utf8);
        EXPECT_EQ(slv::toWindows1252(c.utf8), c.stored);
    }
    // The bytes 0x80..0x9F as the code page lays them out; the five it
    // leaves undefined stand for the control characters of the same value.
    const char* const high[32] = {
        "\u20AC", "\u0081", "\u201A", "\u0192", "\u201E", "\u2026", "\u2020", "\u2021",
        "\u02C6", "\u2030", "\u0160", "\u2039", "\u0152", "\u008D", "\u017D", "\u008F",
        "\u0090", "\u2018", "\u2019", "\u201C", "\u201D", "\u2022", "\u2013", "\u2014",
        "\u02DC", "\u2122", "\u0161", "\u203A", "\u0153", "\u009D", "\u017E", "\u0178",
    };
    const std::string undefined = "\x81\x8D\x8F\x90\x9D";
    for (int b = 0x80; b <= 0x9F; ++b) {
        SCOPED_TRACE(b);
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(slv::fromWindows1252(byte), high[b - 0x80]);
        EXPECT_EQ(slv::toWindows1252(high[b - 0x80]), byte);
        // U+0080..U+009F: only the five undefined bytes stand for themselves.
        const std::string control = {static_cast<char>(0xC2), static_cast<char>(b)};
        const bool own = undefined.find(static_cast<char>(b)) != std::string::npos;
        EXPECT_EQ(slv::toWindows1252(control), own ? std::optional<std::string>(byte) : std::nullopt);
    }
    for (const char* bad : {"日本.bmp", "\xC3", "a\xFF"}) {  // not in the page; broken UTF-8
        EXPECT_FALSE(slv::toWindows1252(bad)) << bad;
    }
    EXPECT_EQ(slv::toWindows1252Lossy("日本.bmp"), "??.bmp");
    EXPECT_EQ(slv::pathForPackage("/home/é/x.bmp"), "\\home\\\xE9\\x.bmp");
    EXPECT_EQ(slv::pathFromPackage("C:\\Games\\\xE9.bmp"), "C:/Games/é.bmp");
    EXPECT_NE(errorOf([] { slv::checkPortableName("日本.bmp"); }).find("日本.bmp"), std::string::npos);
    EXPECT_EQ(errorOf([] { slv::checkPortableName("café.bmp"); }), "");
    // Add refuses such a file before anything changes.
    auto l = std::make_unique<slv::Level>();
    auto size = [](const std::string&) -> std::int64_t { return 10; };
    EXPECT_NE(errorOf([&] { slv::addStages(*l, {"/w/backpx/ok.bmp", "/w/backpx/日本.bmp"}, size); }).find("日本.bmp"),
              std::string::npos);
    EXPECT_EQ(l->stageCount, 0);
    EXPECT_EQ(errorOf([&] { slv::addStages(*l, {"/w/backpx/café.bmp"}, size); }), "");
}
