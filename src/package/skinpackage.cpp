#include "skinpackage.h"

#include <cstring>
#include <memory>

#include "extract.h"
#include "format.h"
#include "model/errors.h"
#include "model/fileio.h"

namespace slv {

namespace {

[[noreturn]] void refuse(const std::string& text) { throw Error(text); }

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// The package's folder; "." for a bare file name so that members never land
// at the file system's root.
std::string packageFolder(const std::string& path) {
    std::string folder = folderPart(path);
    return folder.empty() ? std::string(".") : folder;
}

bool isTableName(std::string_view n) {
    return n == kPackNameFile || n == kSkinsFile || n == kCommandsFile;
}

std::int64_t tableSize(std::string_view n) {
    if (n == kSkinsFile) return kSkinsBytes;
    if (n == kCommandsFile) return kCommandsBytes;
    return static_cast<std::int64_t>(sizeof(PackNameRec));
}

void checkSkinRecord(const SkinRec& s, int i) {
    const std::string where = "skin " + std::to_string(i) + " (" + quoted(s.name.str()) + ")";
    if (!isPlainFileName(s.name.str()))
        refuse(where + ": the bitmap name must be a bare file name");
    if (s.w < 1 || s.w > kMaxFrameSide || s.h < 1 || s.h > kMaxFrameSide)
        refuse(where + ": frame size " + std::to_string(s.w) + "x" + std::to_string(s.h) +
               " is not within 1.." + std::to_string(kMaxFrameSide));
    if (s.frameCount < 1 || s.frameCount > kMaxSkinFrames)
        refuse(where + ": frame count " + std::to_string(s.frameCount) + " is not within 1.." +
               std::to_string(kMaxSkinFrames));
    if (static_cast<std::int64_t>(s.w) * s.frameCount > kMaxStripWidth)
        refuse(where + ": " + std::to_string(s.frameCount) + " frames of width " +
               std::to_string(s.w) + " are wider than " + std::to_string(kMaxStripWidth) +
               " pixels");
}

void checkSkinNumber(int value, const char* field, int cmd, int skinCount) {
    if (value < 1 || value > skinCount)
        refuse("command " + std::to_string(cmd) + ": " + field + " skin " +
               std::to_string(value) + " is not one of the skins 1.." + std::to_string(skinCount));
}

void checkKey(int key, int cmd) {
    if (key != -1 && (key < 0 || key > 65535))
        refuse("command " + std::to_string(cmd) + ": key code " + std::to_string(key) +
               " is not a virtual-key code");
}

// Reads a whole table file of at least `bytes` bytes into `dest`.
void readTable(const std::string& file, std::string_view name, void* dest, std::size_t bytes) {
    BinFile f(file, BinFile::Mode::Read);
    if (f.size() < static_cast<std::int64_t>(bytes))
        refuse(std::string(name) + " holds " + std::to_string(f.size()) + " bytes, " +
               std::to_string(bytes) + " expected");
    f.readExact(dest, bytes);
    f.close();
}

}  // namespace

bool isPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name)
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 32) return false;
    return true;
}

std::string checkSkinEntryName(std::string_view name) {
    const std::string shown = quoted(name);
    if (name.empty()) refuse("an entry has an empty name");
    std::string n(name);
    for (char& c : n) {
        if (c == '\\') c = '/';
        if (c == ':') refuse("entry " + shown + " names a drive");
        if (static_cast<unsigned char>(c) < 32) refuse("entry " + shown + " holds a control character");
    }
    std::string_view rest(n);
    if (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == '/')
        refuse("entry " + shown + " is an absolute path");
    for (std::size_t from = 0; from <= rest.size();) {
        std::size_t to = rest.find('/', from);
        if (to == std::string_view::npos) to = rest.size();
        std::string_view part = rest.substr(from, to - from);
        if (part == ".." || part == ".")
            refuse("entry " + shown + " leads outside the package's folder");
        if (part.empty()) refuse("entry " + shown + " has an empty path component");
        from = to + 1;
    }
    // A table file, or skins/<file>; anything else is not for the editor.
    std::size_t cut = rest.find('/');
    std::string_view first = rest.substr(0, cut);
    if (cut == std::string_view::npos) return isTableName(first) ? std::string(first) : std::string();
    std::string_view second = rest.substr(cut + 1);
    if (first != kSkinsFolder || !isPlainFileName(second)) return std::string();
    return std::string(rest);
}

SkinHeader readSkinHeader(const std::string& path) {
    BinFile f(path, BinFile::Mode::Read);
    const std::int64_t fileBytes = f.size();
    if (fileBytes < 64) refuse("the file is too short to hold a package header");

    SkinHeader h;
    std::vector<PackEntry> entries;
    int flagged = 0;
    while (flagged < 2) {
        if (static_cast<std::int64_t>(entries.size() + 1) * 64 > fileBytes)
            refuse(flagged == 0 ? "the header has no entry that ends the first group"
                                : "the header ends before its second group is complete");
        if (static_cast<int>(entries.size()) >= kMaxSkinEntries)
            refuse("the header holds no two complete groups within " +
                   std::to_string(kMaxSkinEntries) + " entries");
        PackEntry e;
        f.readExact(&e, sizeof e);
        entries.push_back(e);
        if (e.flag == 1) {
            ++flagged;
            if (flagged == 1) h.g1 = static_cast<int>(entries.size());
        }
    }
    f.close();
    h.entries = static_cast<int>(entries.size());

    const std::int64_t dataArea = 64 * static_cast<std::int64_t>(h.g1 + 1);
    const std::int64_t headerEnd = 64 * static_cast<std::int64_t>(h.entries);
    for (int i = 0; i < h.entries; ++i) {
        const PackEntry& e = entries[static_cast<std::size_t>(i)];
        const std::string where = "entry " + std::to_string(i + 1);
        if (e.name.len > PStr<50>::capacity)
            refuse(where + ": its name length " + std::to_string(e.name.len) + " is over 50");
        SkinMember m;
        m.name = checkSkinEntryName(e.name.str());
        if (e.start < 0 || e.size < 0)
            refuse(where + " (" + quoted(m.name) + "): negative start or size");
        m.offset = dataArea + e.start;
        m.size = e.size;
        if (m.offset < headerEnd)
            refuse(where + " (" + quoted(m.name) + ") begins inside the header");
        if (m.offset + m.size > fileBytes)
            refuse(where + " (" + quoted(m.name) + ") runs past the end of the file (" +
                   std::to_string(m.offset + m.size) + " > " + std::to_string(fileBytes) +
                   " bytes): the package is truncated");
        if (isTableName(m.name) && m.size != tableSize(m.name))
            refuse(where + " (" + quoted(m.name) + ") is " + std::to_string(m.size) + " bytes, " +
                   std::to_string(tableSize(m.name)) + " expected");
        h.members.push_back(std::move(m));
    }
    return h;
}

void checkSkinTables(SkinTables& t) {
    if (t.packageName.packageName.len > PStr<23>::capacity)
        refuse("the pack name's length " + std::to_string(t.packageName.packageName.len) + " is over 23");

    t.skinCount = 0;
    int firstFree = 0;
    for (int i = 1; i <= kMaxSkins; ++i) {
        const SkinRec& s = t.skins[static_cast<std::size_t>(i - 1)];
        if (s.name.len > PStr<23>::capacity)
            refuse("skin " + std::to_string(i) + ": name length " + std::to_string(s.name.len) +
                   " is over 23");
        if (s.name.empty()) {
            if (firstFree == 0) firstFree = i;
            continue;
        }
        if (firstFree != 0)
            refuse("skin " + std::to_string(i) + " is in use but skin " + std::to_string(firstFree) +
                   " before it is empty: the skins must be numbered without gaps");
        ++t.skinCount;
    }
    if (t.skinCount == 0) refuse("the package holds no skins");
    for (int i = 1; i <= t.skinCount; ++i) checkSkinRecord(t.skins[static_cast<std::size_t>(i - 1)], i);
    if (t.packageName.firstSkin < 1 || t.packageName.firstSkin > t.skinCount)
        refuse("the start skin " + std::to_string(t.packageName.firstSkin) +
               " is not one of the skins 1.." + std::to_string(t.skinCount));

    t.commandCount = 0;
    firstFree = 0;
    for (int i = 1; i <= kMaxCommands; ++i) {
        const CommandRec& c = t.commands[static_cast<std::size_t>(i - 1)];
        if (c.from == -1) {
            if (firstFree == 0) firstFree = i;
            continue;
        }
        if (firstFree != 0)
            refuse("command " + std::to_string(i) + " is in use but command " +
                   std::to_string(firstFree) +
                   " before it is free: the commands must be numbered without gaps");
        ++t.commandCount;
        checkSkinNumber(c.from, "from", i, t.skinCount);
        checkSkinNumber(c.to, "to", i, t.skinCount);
        checkSkinNumber(c.back, "back", i, t.skinCount);
        checkKey(c.key1, i);
        checkKey(c.key2, i);
        checkKey(c.key3, i);
    }
}

std::unique_ptr<SkinTables> readSkinPackage(const std::string& path, const SkinHooks& hooks) {
    const std::string folder = packageFolder(path);
    const std::string tableFiles[3] = {joinPath(folder, kPackNameFile), joinPath(folder, kSkinsFile),
                                       joinPath(folder, kCommandsFile)};
    std::vector<std::string> created;   // table files this call extracted
    std::vector<SurfaceHandle> loaded;  // surfaces made so far
    std::unique_ptr<SkinTables> t;
    try {
        if (!hooks.loadSkin) refuse("no way to load the skin bitmaps was given");
        SkinHeader header = readSkinHeader(path);

        // Members go only into the package's folder and its skins folder,
        // neither reached through a symbolic link.
        MemberFolder base = MemberFolder::open(folder);
        MemberFolder skinsDir = base.subfolder(kSkinsFolder);
        MemberExtractor extractor(path);
        for (const SkinMember& m : header.members) {
            if (m.name.empty()) continue;  // not the editor's: left in the package
            const bool table = isTableName(m.name);
            const MemberFolder& dir = table ? base : skinsDir;
            const std::string file = table ? m.name : m.name.substr(kSkinsFolder.size() + 1);
            bool isNew = false;
            extractor.extract(dir, file, m.offset, m.size, WhenTaken::KeepExisting, {}, &isNew);
            if (isNew && table) created.push_back(dir.pathOf(file));
        }

        t = std::make_unique<SkinTables>();
        readTable(tableFiles[0], kPackNameFile, &t->packageName, sizeof t->packageName);
        readTable(tableFiles[1], kSkinsFile, t->skins.data(), kSkinsBytes);
        readTable(tableFiles[2], kCommandsFile, t->commands.data(), kCommandsBytes);
        checkSkinTables(*t);

        const std::string skinDir = joinPath(folder, kSkinsFolder);
        for (int i = 1; i <= t->skinCount; ++i) {
            SkinRec& s = t->skins[static_cast<std::size_t>(i - 1)];
            const std::string bitmap = joinPath(skinDir, s.name.str());
            if (!fileExists(bitmap))
                refuse("skin " + std::to_string(i) + ": its bitmap " + quoted(s.name.str()) +
                       " is neither in the package nor in the skins folder");
            s.surface = hooks.loadSkin(i, bitmap);
            loaded.push_back(s.surface);
            if (s.frame < 1 || s.frame > s.frameCount) s.frame = 1;
        }

    } catch (const std::exception& e) {
        if (hooks.releaseSkin)
            for (SurfaceHandle h : loaded) hooks.releaseSkin(h);
        for (const std::string& f : created) deleteFile(f);
        throw Error("Cannot load the actor skin package " + path + ": " + e.what());
    }
    for (const std::string& f : {tableFiles[1], tableFiles[2], tableFiles[0]}) deleteFile(f);
    return t;
}

}  // namespace slv
