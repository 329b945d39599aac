#include "skindesc.h"

#include <charconv>
#include <climits>
#include <cstring>
#include <map>
#include <sstream>

#include "actor/vkeys.h"
#include "model/errors.h"
#include "model/fileio.h"

namespace slv {

namespace {

[[noreturn]] void lineError(const std::string& source, int line, const std::string& text) {
    throw Error(source + ":" + std::to_string(line) + ": " + text);
}

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

std::string trim(const std::string& s) {
    const char* ws = " \t\r";
    std::size_t a = s.find_first_not_of(ws);
    if (a == std::string::npos) return {};
    std::size_t b = s.find_last_not_of(ws);
    return s.substr(a, b - a + 1);
}

bool toInt(const std::string& s, int& v) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size();
}

int number(const std::string& source, int line, const std::string& word, const char* what, int lo,
           int hi) {
    int v = 0;
    if (!toInt(word, v))
        lineError(source, line, std::string(what) + " \"" + word + "\" is not a number");
    if (v < lo || v > hi)
        lineError(source, line, std::string(what) + " " + word + " is not within " +
                                    std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

struct PendingRef {
    int line;
    std::string word;
};

std::int32_t le32(const std::string& b, std::size_t at) {
    std::int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

}  // namespace

SkinDescription parseSkinDescription(const std::string& text, const std::string& source) {
    SkinDescription d;
    std::map<std::string, int> labels;
    bool havePack = false;
    PendingRef start{0, {}};
    struct PendingCommand {
        PendingRef from, to, back;
        std::vector<int> keys;
    };
    std::vector<PendingCommand> pending;

    std::istringstream in(text);
    std::string raw;
    int line = 0;
    while (std::getline(in, raw)) {
        ++line;
        std::size_t hash = raw.find('#');
        std::string body = trim(hash == std::string::npos ? raw : raw.substr(0, hash));
        if (body.empty()) continue;
        std::vector<std::string> w = words(body);
        const std::string& kw = w[0];
        if (kw == "pack") {
            if (havePack) lineError(source, line, "a second \"pack\" line");
            std::string name = trim(body.substr(4));
            if (name.empty()) lineError(source, line, "\"pack\" needs a name");
            if (name.size() > 23)
                lineError(source, line, "the pack name has " + std::to_string(name.size()) +
                                            " characters; at most 23 fit");
            d.packageName = name;
            havePack = true;
        } else if (kw == "start") {
            if (start.line) lineError(source, line, "a second \"start\" line");
            if (w.size() != 2) lineError(source, line, "\"start\" takes one skin");
            start = {line, w[1]};
        } else if (kw == "skin") {
            if (w.size() != 6 && w.size() != 7)
                lineError(source, line,
                          "\"skin\" takes LABEL BITMAP WIDTH HEIGHT FRAMES and an optional \"oneshot\"");
            if (static_cast<int>(d.skins.size()) >= kMaxSkins)
                lineError(source, line, "more than " + std::to_string(kMaxSkins) + " skins");
            SkinLine s;
            s.line = line;
            s.label = w[1];
            int dummy;
            if (toInt(s.label, dummy)) lineError(source, line, "a skin label must not be a number");
            if (labels.count(s.label))
                lineError(source, line, "skin \"" + s.label + "\" is already described on line " +
                                            std::to_string(d.skins[static_cast<std::size_t>(labels[s.label] - 1)].line));
            s.bitmap = w[2];
            if (!isPlainFileName(s.bitmap))
                lineError(source, line, "the bitmap \"" + s.bitmap + "\" must be a bare file name");
            if (s.bitmap.size() > 23)
                lineError(source, line, "the bitmap name \"" + s.bitmap +
                                            "\" is longer than 23 characters");
            s.w = number(source, line, w[3], "frame width", 1, kMaxFrameSide);
            s.h = number(source, line, w[4], "frame height", 1, kMaxFrameSide);
            s.frames = number(source, line, w[5], "frame count", 1, kMaxSkinFrames);
            if (static_cast<long>(s.w) * s.frames > kMaxStripWidth)
                lineError(source, line, "the frames are wider than " +
                                            std::to_string(kMaxStripWidth) + " pixels together");
            if (w.size() == 7) {
                if (w[6] != "oneshot")
                    lineError(source, line, "unknown word \"" + w[6] + "\" (only \"oneshot\" may follow)");
                s.oneShot = true;
            }
            d.skins.push_back(s);
            labels[s.label] = static_cast<int>(d.skins.size());
        } else if (kw == "command") {
            if (w.size() < 4 || w.size() > 7)
                lineError(source, line, "\"command\" takes FROM TO BACK and up to three keys");
            if (static_cast<int>(pending.size()) >= kMaxCommands)
                lineError(source, line, "more than " + std::to_string(kMaxCommands) + " commands");
            PendingCommand c{{line, w[1]}, {line, w[2]}, {line, w[3]}, {}};
            for (std::size_t k = 4; k < w.size(); ++k) {
                int code = vkFromName(w[k]);
                if (code == 0) lineError(source, line, "unknown key \"" + w[k] + "\"");
                for (int held : c.keys)
                    if (held == code) lineError(source, line, "key \"" + w[k] + "\" is given twice");
                c.keys.push_back(code);
            }
            pending.push_back(std::move(c));
        } else {
            lineError(source, line, "unknown line \"" + kw +
                                        "\" (expected pack, start, skin or command)");
        }
    }

    auto resolve = [&](const PendingRef& r) {
        auto it = labels.find(r.word);
        if (it != labels.end()) return it->second;
        int v = 0;
        if (toInt(r.word, v)) {
            if (v >= 1 && v <= static_cast<int>(d.skins.size())) return v;
            lineError(source, r.line, "there is no skin " + r.word + " (the skins are 1.." +
                                          std::to_string(d.skins.size()) + ")");
        }
        lineError(source, r.line, "no skin is labelled \"" + r.word + "\"");
    };

    if (d.skins.empty()) lineError(source, line, "the description has no \"skin\" line");
    if (!havePack) lineError(source, line, "the description has no \"pack\" line");
    if (!start.line) lineError(source, line, "the description has no \"start\" line");
    d.firstSkin = resolve(start);
    for (const PendingCommand& c : pending) {
        CommandLine cl;
        cl.line = c.from.line;
        cl.from = resolve(c.from);
        cl.to = resolve(c.to);
        cl.back = resolve(c.back);
        cl.keys = c.keys;
        d.commands.push_back(std::move(cl));
    }
    return d;
}

BitmapSize bitmapSize(const std::string& bytes) {
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M')
        throw Error("not a .bmp file");
    std::int32_t headerSize = le32(bytes, 14);
    BitmapSize s;
    if (headerSize == 12) {  // the old OS/2 header: 16-bit sizes
        std::uint16_t w, h;
        std::memcpy(&w, bytes.data() + 18, 2);
        std::memcpy(&h, bytes.data() + 20, 2);
        s.width = w;
        s.height = h;
    } else {
        s.width = le32(bytes, 18);
        std::int32_t h = le32(bytes, 22);
        s.height = h == INT_MIN ? 0 : (h < 0 ? -h : h);  // negative: stored top-down
    }
    if (s.width <= 0 || s.height <= 0) throw Error("the bitmap has no picture");
    return s;
}

SkinTables skinTablesFor(const SkinDescription& d) {
    SkinTables t;
    t.packageName.firstSkin = d.firstSkin;
    t.packageName.packageName.set(d.packageName);
    std::memset(t.skins.data(), 0, kSkinsBytes);
    for (std::size_t i = 0; i < d.skins.size() && i < kMaxSkins; ++i) {
        const SkinLine& s = d.skins[i];
        SkinRec& r = t.skins[i];
        r.name.set(s.bitmap);
        r.w = s.w;
        r.h = s.h;
        r.frameCount = s.frames;
        r.frame = 1;
        r.oneShot = s.oneShot ? 1 : 0;
    }
    for (CommandRec& c : t.commands) c = CommandRec{-1, -1, -1, 0, -1, 0, 0};
    for (std::size_t i = 0; i < d.commands.size() && i < kMaxCommands; ++i) {
        const CommandLine& cl = d.commands[i];
        CommandRec& c = t.commands[i];
        std::int32_t* keys[3] = {&c.key1, &c.key2, &c.key3};
        for (std::size_t k = 0; k < cl.keys.size() && k < 3; ++k) *keys[k] = cl.keys[k];
        c.from = cl.from;
        c.to = cl.to;
        c.back = cl.back;
    }
    checkSkinTables(t);
    return t;
}

std::string buildSkinPackage(const SkinDescription& d, const std::string& bitmapDir,
                             const std::string& source) {
    SkinTables t = skinTablesFor(d);

    struct Member {
        std::string entry;
        std::string bytes;
    };
    std::vector<Member> members;
    members.push_back({"\\" + std::string(kPackNameFile),
                       std::string(reinterpret_cast<const char*>(&t.packageName), sizeof t.packageName)});
    members.push_back({"\\" + std::string(kSkinsFile),
                       std::string(reinterpret_cast<const char*>(t.skins.data()), kSkinsBytes)});
    members.push_back({"\\" + std::string(kCommandsFile),
                       std::string(reinterpret_cast<const char*>(t.commands.data()), kCommandsBytes)});

    // Each bitmap once, in the order the skins first name it.
    std::map<std::string, const SkinLine*> seen;
    for (const SkinLine& s : d.skins) {
        auto it = seen.find(s.bitmap);
        const std::string file = joinPath(bitmapDir, s.bitmap);
        std::string bytes;
        try {
            bytes = readWholeFile(file);
        } catch (const Error& e) {
            lineError(source, s.line, "cannot read " + file + ": " + e.what());
        }
        BitmapSize size;
        try {
            size = bitmapSize(bytes);
        } catch (const Error& e) {
            lineError(source, s.line, file + ": " + e.what());
        }
        if (size.width != s.w * s.frames || size.height != s.h)
            lineError(source, s.line,
                      file + " is " + std::to_string(size.width) + "x" + std::to_string(size.height) +
                          " pixels; " + std::to_string(s.frames) + " frames of " +
                          std::to_string(s.w) + "x" + std::to_string(s.h) + " need " +
                          std::to_string(s.w * s.frames) + "x" + std::to_string(s.h));
        if (it != seen.end()) continue;
        seen[s.bitmap] = &s;
        members.push_back({"\\" + std::string(kSkinsFolder) + "\\" + s.bitmap, std::move(bytes)});
    }

    // Group one: the tables and every bitmap but the last; group two: the last
    // bitmap alone. The data area then begins right after the header, at
    // 64 x (entries of group one + 1).
    const std::size_t count = members.size();
    std::string header(64 * count, '\0');
    std::int64_t start = 0;
    for (std::size_t i = 0; i < count; ++i) {
        PackEntry e;
        std::memset(&e, 0, sizeof e);
        e.name.set(members[i].entry);
        if (start + static_cast<std::int64_t>(members[i].bytes.size()) > INT32_MAX)
            throw Error("the package would be larger than 2 GB");
        e.start = static_cast<std::int32_t>(start);
        e.size = static_cast<std::int32_t>(members[i].bytes.size());
        e.flag = (i + 2 == count || i + 1 == count) ? 1 : 0;
        std::memcpy(header.data() + 64 * i, &e, sizeof e);
        start += e.size;
    }
    std::string out = std::move(header);
    for (const Member& m : members) out += m.bytes;
    return out;
}

}  // namespace slv
