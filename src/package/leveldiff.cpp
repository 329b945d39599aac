#include "leveldiff.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "extract.h"
#include "format.h"
#include "leveljson.h"
#include "model/fileio.h"
#include "model/names.h"

namespace slv {

namespace {

constexpr std::size_t kImagePrefixLen = 9;  // "\sprites\"

struct Picture {
    std::string name;  // the entry's name after "\sprites\"
    std::string hash;
};

struct SpriteView {
    std::string name;
    std::int32_t x, y, w, h, frames, frame, reserved;
    std::string gap;
    Picture picture;
    bool operator==(const SpriteView& o) const {
        return name == o.name && x == o.x && y == o.y && w == o.w && h == o.h && frames == o.frames &&
               frame == o.frame && reserved == o.reserved && gap == o.gap && picture.name == o.picture.name &&
               picture.hash == o.picture.hash;
    }
};

struct SectorView {
    std::string name;
    std::int32_t x, y, w, h;
    std::string gap;
    bool operator==(const SectorView& o) const {
        return name == o.name && x == o.x && y == o.y && w == o.w && h == o.h && gap == o.gap;
    }
};

struct StageView {
    std::string name;
    std::string hash;  // of the backdrop
    std::vector<SpriteView> sprites;
    std::vector<SectorView> sectors;
};

struct LevelView {
    std::vector<StageView> stages;
    std::vector<Picture> pictures;  // used images in slot order
    std::string splash;             // the splash record's fields, as one text
};

std::string gapText(const std::uint8_t (&g)[3]) { return std::string(reinterpret_cast<const char*>(g), 3); }

LevelView viewOf(const std::string& packageGiven) {
    const std::string package = absolutePackagePath(packageGiven);
    const PackageContents c = readPackage(package);
    const PackageHeader& h = c.header;
    const PackageTables& t = c.tables;
    MemberExtractor extractor(package);
    LevelView v;
    std::vector<Picture> bySlot(static_cast<std::size_t>(h.imageCount) + 1);
    for (int i = 1; i <= h.imageCount; ++i) {
        if (!imageUsed(t.image(i))) continue;
        const PackEntry& e = h.imageEntry(i);
        Picture p{fromWindows1252(e.name.str().substr(kImagePrefixLen)), memberHash(extractor, h.dataStart + e.start, e.size)};
        bySlot[static_cast<std::size_t>(i)] = p;
        v.pictures.push_back(p);
    }
    for (int s = 1; s <= h.stageCount; ++s) {
        const StageRec& r = t.stage(s);
        const PackEntry& e = h.stageEntry(s);
        StageView st{r.name.str(), memberHash(extractor, h.dataStart + e.start, e.size), {}, {}};
        for (int n = 1; n <= r.spriteCount; ++n) {
            const SpriteRec& sp = t.sprite(n, s);
            st.sprites.push_back(SpriteView{sp.name.str(), sp.x, sp.y, sp.w, sp.h, sp.frameCount,
                                            sp.frame, sp.reserved, gapText(sp.gap),
                                            bySlot[static_cast<std::size_t>(sp.image)]});
        }
        for (int n = 1; n <= r.sectorCount; ++n) {
            const SectorRec& sc = t.sector(n, s);
            st.sectors.push_back(SectorView{sc.name.str(), sc.x, sc.y, sc.w, sc.h, gapText(sc.gap)});
        }
        v.stages.push_back(std::move(st));
    }
    const StageRec& splash = t.stage(0);
    v.splash = splash.name.str() + '\0' + splash.path.str() + '\0' + std::to_string(splash.size) + gapText(splash.gap);
    return v;
}

// Pairs the items of two lists: the longest run of equal items in order is
// matched; between matches, items left on both sides are paired in order
// (changed), the rest are removed (only in a) or added (only in b).
// Each pair is (index in a or -1, index in b or -1).
template <class T, class Same>
std::vector<std::pair<int, int>> align(const std::vector<T>& a, const std::vector<T>& b, Same same) {
    const std::size_t n = a.size(), m = b.size();
    std::vector<std::vector<int>> lcs(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            lcs[i][j] = same(a[i], b[j]) ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    std::vector<std::pair<int, int>> out;
    std::vector<int> gapA, gapB;
    auto flush = [&] {
        const std::size_t both = std::min(gapA.size(), gapB.size());
        for (std::size_t k = 0; k < both; ++k) out.emplace_back(gapA[k], gapB[k]);
        for (std::size_t k = both; k < gapA.size(); ++k) out.emplace_back(gapA[k], -1);
        for (std::size_t k = both; k < gapB.size(); ++k) out.emplace_back(-1, gapB[k]);
        gapA.clear();
        gapB.clear();
    };
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && same(a[i], b[j]) && lcs[i][j] == lcs[i + 1][j + 1] + 1) {
            flush();
            out.emplace_back(static_cast<int>(i++), static_cast<int>(j++));
        } else if (j >= m || (i < n && lcs[i + 1][j] >= lcs[i][j + 1])) {
            gapA.push_back(static_cast<int>(i++));
        } else {
            gapB.push_back(static_cast<int>(j++));
        }
    }
    flush();
    return out;
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }
std::string point(std::int32_t x, std::int32_t y) { return "(" + std::to_string(x) + ", " + std::to_string(y) + ")"; }
std::string area(std::int32_t w, std::int32_t h) { return std::to_string(w) + " x " + std::to_string(h); }
std::string strip(const SpriteView& s) { return std::to_string(s.frames) + " of " + area(s.w, s.h); }

class Report {
public:
    std::vector<std::string> lines;

    void stages(const LevelView& a, const LevelView& b) {
        auto pairs = align(a.stages, b.stages, [](const StageView& x, const StageView& y) { return x.name == y.name; });
        for (auto [i, j] : pairs) {
            if (j < 0) {
                const StageView& s = a.stages[static_cast<std::size_t>(i)];
                say("stage " + std::to_string(i + 1) + " " + quoted(s.name) + " removed");
                continue;
            }
            const StageView& t = b.stages[static_cast<std::size_t>(j)];
            const std::string label = "stage " + std::to_string(j + 1) + " " + quoted(t.name);
            if (i < 0) {
                say(label + " added (" + std::to_string(t.sprites.size()) + " sprites, " +
                    std::to_string(t.sectors.size()) + " sectors)");
                continue;
            }
            const StageView& s = a.stages[static_cast<std::size_t>(i)];
            if (s.name != t.name)
                say("stage " + std::to_string(j + 1) + " renamed from " + quoted(s.name) + " to " + quoted(t.name));
            if (s.hash != t.hash) say(label + ": backdrop changed (" + s.hash + " -> " + t.hash + ")");
            sprites(label, s.sprites, t.sprites);
            sectors(label, s.sectors, t.sectors);
        }
    }

    void sprites(const std::string& stage, const std::vector<SpriteView>& a, const std::vector<SpriteView>& b) {
        for (auto [i, j] : align(a, b, std::equal_to<>())) {
            if (j < 0) {
                const SpriteView& s = a[static_cast<std::size_t>(i)];
                say(stage + ": sprite " + std::to_string(i + 1) + " " + quoted(s.name) + " removed (was at " +
                    point(s.x, s.y) + ")");
                continue;
            }
            const SpriteView& t = b[static_cast<std::size_t>(j)];
            const std::string label = stage + ": sprite " + std::to_string(j + 1) + " " + quoted(t.name);
            if (i < 0) {
                say(label + " added at " + point(t.x, t.y));
                continue;
            }
            const SpriteView& s = a[static_cast<std::size_t>(i)];
            if (s == t) continue;
            if (s.name != t.name)
                say(stage + ": sprite " + std::to_string(j + 1) + " renamed from " + quoted(s.name) + " to " + quoted(t.name));
            if (s.x != t.x || s.y != t.y) say(label + " moved from " + point(s.x, s.y) + " to " + point(t.x, t.y));
            if (s.frames != t.frames || s.w != t.w || s.h != t.h)
                say(label + " frames changed from " + strip(s) + " to " + strip(t));
            if (s.frame != t.frame)
                say(label + " shows frame " + std::to_string(t.frame) + " instead of " + std::to_string(s.frame));
            // A picture whose bytes changed is told once, with the pictures.
            if (s.picture.name != t.picture.name)
                say(label + " draws from " + quoted(t.picture.name) + " instead of " + quoted(s.picture.name));
            if (s.reserved != t.reserved || s.gap != t.gap) say(label + ": fields the window does not show changed");
        }
    }

    void sectors(const std::string& stage, const std::vector<SectorView>& a, const std::vector<SectorView>& b) {
        for (auto [i, j] : align(a, b, std::equal_to<>())) {
            if (j < 0) {
                const SectorView& s = a[static_cast<std::size_t>(i)];
                say(stage + ": sector " + std::to_string(i + 1) + " " + quoted(s.name) + " removed (was " +
                    area(s.w, s.h) + " at " + point(s.x, s.y) + ")");
                continue;
            }
            const SectorView& t = b[static_cast<std::size_t>(j)];
            const std::string label = stage + ": sector " + std::to_string(j + 1) + " " + quoted(t.name);
            if (i < 0) {
                say(label + " added (" + area(t.w, t.h) + " at " + point(t.x, t.y) + ")");
                continue;
            }
            const SectorView& s = a[static_cast<std::size_t>(i)];
            if (s == t) continue;
            if (s.name != t.name)
                say(stage + ": sector " + std::to_string(j + 1) + " renamed from " + quoted(s.name) + " to " + quoted(t.name));
            if (s.x != t.x || s.y != t.y) say(label + " moved from " + point(s.x, s.y) + " to " + point(t.x, t.y));
            if (s.w != t.w || s.h != t.h) say(label + " resized from " + area(s.w, s.h) + " to " + area(t.w, t.h));
            if (s.gap != t.gap) say(label + ": fields the window does not show changed");
        }
    }

    // Pictures by name: the same name with other bytes is a changed picture.
    void pictures(const LevelView& a, const LevelView& b) {
        auto keyed = [](const std::vector<Picture>& list) {
            std::map<std::string, std::string> out;
            std::map<std::string, int> seen;
            for (const Picture& p : list) {
                const int k = ++seen[p.name];
                out.emplace(k == 1 ? p.name : p.name + " (" + std::to_string(k) + ")", p.hash);
            }
            return out;
        };
        const auto in = keyed(a.pictures), out = keyed(b.pictures);
        for (const auto& [name, hash] : in) {
            auto it = out.find(name);
            if (it == out.end()) say("picture " + quoted(name) + " removed (" + hash + ")");
            else if (it->second != hash) say("picture " + quoted(name) + " changed (" + hash + " -> " + it->second + ")");
        }
        for (const auto& [name, hash] : out)
            if (!in.count(name)) say("picture " + quoted(name) + " added (" + hash + ")");
    }

private:
    void say(std::string line) { lines.push_back(std::move(line)); }
};

}  // namespace

std::vector<std::string> levelDifferences(const std::string& packageA, const std::string& packageB) {
    const LevelView a = viewOf(packageA);
    const LevelView b = viewOf(packageB);
    Report r;
    if (a.splash != b.splash) r.lines.push_back("the splash record changed");
    r.stages(a, b);
    r.pictures(a, b);
    return r.lines;
}

}  // namespace slv
