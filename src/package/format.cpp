#include "format.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "model/errors.h"
#include "model/fileio.h"

namespace slv {

const char* const kSectorsMember = "\\_sectors.tmp";
const char* const kSpritesMember = "\\_sprites.tmp";
const char* const kImagesMember = "\\_images.tmp";
const char* const kStagesMember = "\\_stages.tmp";
const char* const kImagePrefix = "\\sprites\\";
const char* const kStagePrefix = "\\backpx\\";

namespace {

struct FixedMember {
    const char* const* name;
    std::int32_t start;
    std::int32_t size;
};

const FixedMember kFixed[kFixedEntries] = {
    {&kSectorsMember, kSectorsStart, kSectorsFileBytes},
    {&kSpritesMember, kSpritesStart, kSpritesBytes},
    {&kImagesMember, kImagesStart, kImagesBytes},
    {&kStagesMember, kStagesStart, kStagesBytes},
};

[[noreturn]] void refuse(const std::string& why) {
    throw Error("Not a level package: " + why);
}

std::string entryLabel(int index, const PackEntry& e) {
    return "entry " + std::to_string(index + 1) + " (\"" + e.name.str() + "\")";
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// A single path component: no separators, no drive colon, not "." or "..".
bool isPlainComponent(std::string_view s) {
    if (s.empty() || s == "." || s == "..") return false;
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '/' || c == ':' || u < 0x20 || u == 0x7f) return false;
    }
    return true;
}

}  // namespace

PackEntry makeEntry(std::string_view name, std::int32_t start, std::int32_t size, bool flag) {
    PackEntry e;
    std::memset(&e, 0, sizeof e);
    e.name.set(name);
    e.start = start;
    e.size = size;
    e.flag = flag ? 1 : 0;
    return e;
}

std::string rawCut(std::string_view bytes, std::size_t max) {
    return std::string(bytes.substr(0, std::min(bytes.size(), max)));
}

std::string stageEntryName(const StageRec& rec) {
    return rawCut(std::string(kStagePrefix) + std::string(rec.name.stored()), 28);
}

void checkEntryName(std::string_view name) {
    std::string shown(name);
    if (name.empty()) throw Error("Unsafe member name: the name is empty");
    std::string_view rest = name;
    if (rest.front() == '\\' || rest.front() == '/') rest.remove_prefix(1);
    if (rest.empty()) throw Error("Unsafe member name \"" + shown + "\": it names the folder itself");
    if (rest.front() == '\\' || rest.front() == '/')
        throw Error("Unsafe member name \"" + shown + "\": it is an absolute path");
    std::size_t from = 0;
    for (;;) {
        std::size_t cut = rest.find_first_of("\\/", from);
        std::string_view part = rest.substr(from, cut == std::string_view::npos ? rest.npos : cut - from);
        if (!isPlainComponent(part)) {
            if (part == "..")
                throw Error("Unsafe member name \"" + shown + "\": it leads outside the package folder");
            if (part.find(':') != std::string_view::npos)
                throw Error("Unsafe member name \"" + shown + "\": it holds a drive or stream colon");
            throw Error("Unsafe member name \"" + shown + "\": empty or invalid path component");
        }
        if (cut == std::string_view::npos) break;
        from = cut + 1;
    }
}

PackageHeader parsePackageHeader(std::string_view bytes, std::int64_t fileSize) {
    PackageHeader h;
    h.fileSize = fileSize;
    const std::int64_t minSize = std::int64_t{kEntryBytes} * kFixedEntries + kFirstBitmapStart;
    if (fileSize < minSize)
        refuse("the file is too short (" + std::to_string(fileSize) + " bytes; a package has at least " +
               std::to_string(minSize) + ")");
    auto entryAt = [&](int k) {
        std::size_t off = static_cast<std::size_t>(k) * kEntryBytes;
        if (off + kEntryBytes > bytes.size() ||
            static_cast<std::int64_t>(off) + kEntryBytes > fileSize)
            refuse("the header runs past the end of the file");
        PackEntry e;
        std::memcpy(&e, bytes.data() + off, sizeof e);
        if (e.name.len > 50) refuse("entry " + std::to_string(k + 1) + " has a name longer than 50 characters");
        return e;
    };

    for (int k = 0; k < kFixedEntries; ++k) {
        PackEntry e = entryAt(k);
        const FixedMember& f = kFixed[k];
        if (!(e.name == *f.name))
            refuse(entryLabel(k, e) + " should be \"" + std::string(*f.name) + "\"");
        if (e.start != f.start || e.size != f.size)
            refuse(entryLabel(k, e) + " has start " + std::to_string(e.start) + " and size " +
                   std::to_string(e.size) + " instead of " + std::to_string(f.start) + " and " +
                   std::to_string(f.size));
        if (e.flag != 0) refuse(entryLabel(k, e) + " carries a group flag");
        h.entries.push_back(e);
    }

    enum Phase { Images, Stages, Done } phase = Images;
    std::int64_t run = kFirstBitmapStart;
    for (int k = kFixedEntries;; ++k) {
        // The header ends where the data area it describes ends exactly at the
        // end of the file. Every further entry would add 64 bytes to the header
        // and none to the end, so this end is the only one possible.
        bool endsHere = fileSize == std::int64_t{kEntryBytes} * k + run;
        if (phase == Done || endsHere) {
            if (!endsHere)
                refuse("the file is " + std::to_string(fileSize) + " bytes long but its header describes " +
                       std::to_string(std::int64_t{kEntryBytes} * k + run));
            if (phase == Images && h.imageCount > 0)
                refuse("the image group has no entry with the last-in-group flag");
            if (phase == Stages && h.stageCount > 0)
                refuse("the stage group has no entry with the last-in-group flag");
            break;
        }
        if (k >= kMaxEntries) refuse("more than 3034 header entries");
        if (std::int64_t{kEntryBytes} * (k + 1) + run > fileSize)
            refuse("the header and its members run past the end of the file");
        PackEntry e = entryAt(k);
        std::string name = e.name.str();
        if (e.start != run)
            refuse(entryLabel(k, e) + " starts at " + std::to_string(e.start) + " instead of " +
                   std::to_string(run));
        if (e.size < 0) refuse(entryLabel(k, e) + " has a negative size");
        if (e.flag > 1) refuse(entryLabel(k, e) + " has a flag other than 0 or 1");
        if (std::int64_t{kEntryBytes} * (k + 1) + run + e.size > fileSize)
            refuse(entryLabel(k, e) + " lies outside the file");
        bool isImage = startsWith(name, kImagePrefix);
        bool isStage = startsWith(name, kStagePrefix);
        auto checkName = [&] {
            try {
                checkEntryName(name);
            } catch (const Error& err) {
                refuse(entryLabel(k, e) + ": " + err.what());
            }
        };
        if (!isImage && !isStage) {
            checkName();
            refuse(entryLabel(k, e) + " belongs to neither the image nor the stage group");
        }
        std::string_view tail = std::string_view(name).substr(isImage ? 9 : 8);
        if (!isPlainComponent(tail)) checkName();
        if (!isPlainComponent(tail)) refuse(entryLabel(k, e) + " has an invalid file name");
        if (isImage) {
            if (phase != Images) refuse(entryLabel(k, e) + ": image entry after the stage group began");
            if (++h.imageCount > kMaxImages) refuse("more than 3000 image entries");
            if (e.flag) phase = Stages;
        } else {
            if (phase == Images && h.imageCount > 0)
                refuse(entryLabel(k, e) + ": the image group before it has no last-in-group flag");
            phase = Stages;
            if (++h.stageCount > kMaxStages) refuse("more than 30 stage entries");
            if (name.size() > 28) refuse(entryLabel(k, e) + " is longer than a stage name allows");
            if (e.flag) phase = Done;
        }
        h.entries.push_back(e);
        run += e.size;
    }
    h.dataStart = std::int64_t{kEntryBytes} * h.fileCount();
    return h;
}

PackageHeader readPackageHeader(const std::string& package) {
    BinFile f(package, BinFile::Mode::Read);
    std::int64_t size = f.size();
    std::int64_t want = std::min<std::int64_t>(size, std::int64_t{kEntryBytes} * kMaxEntries);
    std::string bytes(static_cast<std::size_t>(want), '\0');
    bytes.resize(f.readSome(bytes.data(), bytes.size()));
    f.close();
    return parsePackageHeader(bytes, size);
}

}  // namespace slv
