#include "leveljson.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <nlohmann/json.hpp>

#include "extract.h"
#include "format.h"
#include "model/editing.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "model/names.h"
#include "model/pictureinfo.h"

namespace slv {

const char* const kLevelJsonFormat = "slvedit level";
const char* const kLevelJsonFile = "level.json";

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr std::size_t kImagePrefixLen = 9;  // "\sprites\"
constexpr std::size_t kEntryNameBytes = 50;

// 64-bit FNV-1a over a stream of bytes.
class Fnv {
public:
    void add(const char* p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            h_ ^= static_cast<unsigned char>(p[i]);
            h_ *= 1099511628211ull;
        }
    }
    std::string text() const {
        char buf[9];
        std::snprintf(buf, sizeof buf, "%08x", static_cast<unsigned>((h_ >> 32) ^ (h_ & 0xffffffffu)));
        return buf;
    }

private:
    std::uint64_t h_ = 14695981039346656037ull;
};

std::string hexBytes(const std::uint8_t* p, std::size_t n) {
    static const char* const digits = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

bool zero(const std::uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

// A name field's text: the field keeps Windows-1252 and gives UTF-8.
template <int N>
std::string text(const PStr<N, FieldText::Windows1252>& field) { return field.str(); }

// ---- writing ----

// Adds `key` unless the value is zero or empty (`always` adds it anyway).
void put(OrderedJson& j, const char* key, std::int32_t v, bool always) {
    if (always || v != 0) j[key] = v;
}
void put(OrderedJson& j, const char* key, const std::string& v, bool always) {
    if (always || !v.empty()) j[key] = v;
}
void putGap(OrderedJson& j, const std::uint8_t (&gap)[3]) {
    if (!zero(gap, 3)) j["gap"] = hexBytes(gap, 3);
}

OrderedJson stageJson(const StageRec& r, bool used) {
    OrderedJson j;
    put(j, "name", text(r.name), true);
    if (!used) put(j, "path", pathFromPackage(r.path.str()), false);
    put(j, "sprites", r.spriteCount, used);
    put(j, "sectors", r.sectorCount, used);
    if (!used) put(j, "size", r.size, false);
    putGap(j, r.gap);
    return j;
}

OrderedJson imageJson(const ImageRec& r, bool pictured) {
    OrderedJson j;
    put(j, "name", text(r.name), true);
    if (!pictured) put(j, "path", pathFromPackage(r.path.str()), false);
    if (!pictured) put(j, "size", r.size, false);
    put(j, "uses", r.useCount, pictured);
    putGap(j, r.gap);
    return j;
}

OrderedJson spriteJson(const SpriteRec& r, bool used) {
    OrderedJson j;
    put(j, "name", text(r.name), used);
    put(j, "x", r.x, used);
    put(j, "y", r.y, used);
    put(j, "w", r.w, used);
    put(j, "h", r.h, used);
    put(j, "frames", r.frameCount, used);
    put(j, "frame", r.frame, used);
    put(j, "image", r.image, used);
    put(j, "reserved", r.reserved, false);
    putGap(j, r.gap);
    return j;
}

OrderedJson sectorJson(const SectorRec& r, bool used) {
    OrderedJson j;
    put(j, "name", text(r.name), used);
    put(j, "x", r.x, used);
    put(j, "y", r.y, used);
    put(j, "w", r.w, used);
    put(j, "h", r.h, used);
    putGap(j, r.gap);
    return j;
}

// A record with leading keys (stage, number) followed by its own keys.
OrderedJson placed(OrderedJson lead, const OrderedJson& rest) {
    for (auto it = rest.begin(); it != rest.end(); ++it) lead[it.key()] = it.value();
    return lead;
}

// Records outside the counts that still hold data: the editor keeps them and
// Save writes them, so they are carried to keep the package's bytes.
bool blank(const OrderedJson& rec) { return rec.empty() || (rec.size() == 1 && rec.contains("name") && rec["name"] == ""); }

// "key": [ one record per line ]
void putList(std::string& out, const char* indent, const char* key, const std::vector<OrderedJson>& list, bool last) {
    out += indent;
    out += OrderedJson(key).dump();
    if (list.empty()) {
        out += ": []";
    } else {
        out += ": [\n";
        for (std::size_t i = 0; i < list.size(); ++i) {
            out += indent;
            out += "  ";
            out += list[i].dump();
            out += i + 1 < list.size() ? ",\n" : "\n";
        }
        out += indent;
        out += "]";
    }
    out += last ? "\n" : ",\n";
}

// ---- reading ----

// A fault in the JSON: where it is (its JSON path, "sprites[3].x") and why.
// levelFromJson and importLevel turn it into a message with the line and
// column of that place in the text.
class JsonFault : public Error {
public:
    JsonFault(std::string where, std::string why)
        : Error(where + ": " + why), where_(std::move(where)), why_(std::move(why)) {}
    const std::string& where() const { return where_; }
    const std::string& why() const { return why_; }

private:
    std::string where_, why_;
};

[[noreturn]] void fault(const std::string& where, const std::string& why) { throw JsonFault(where, why); }

// At most the first 80 characters of a text the author wrote, so that a
// message quoting it stays short.
constexpr std::size_t kQuotedChars = 80;
std::string shortText(const std::string& s) {
    if (s.size() <= kQuotedChars) return s;
    return cutText(s, kQuotedChars - 3) + "...";
}
std::string quoted(const std::string& s) { return "\"" + shortText(s) + "\""; }

std::string describe(const Json& j) {
    std::string s = j.dump();
    return s.size() > 40 ? s.substr(0, 37) + "..." : s;
}

// The keys of one JSON object, read by name; keys nobody asked for are faults.
class Fields {
public:
    Fields(const Json& j, std::string where) : j_(j), where_(std::move(where)) {
        if (!j_.is_object()) fault(where_, "not an object");
    }
    const std::string& where() const { return where_; }
    std::string at(const char* key) const { return where_ + "." + key; }
    bool has(const char* key) const { return j_.contains(key); }

    std::int32_t integer(const char* key, std::optional<std::int32_t> otherwise = std::nullopt) {
        const Json* v = find(key);
        if (!v) {
            if (otherwise) return *otherwise;
            fault(at(key), "missing");
        }
        if (v->is_number_integer() || v->is_number_unsigned()) {
            if (v->is_number_unsigned() ? v->get<std::uint64_t>() > 2147483647u
                                        : (v->get<std::int64_t>() < -2147483648ll || v->get<std::int64_t>() > 2147483647ll))
                fault(at(key), describe(*v) + " is out of range (-2147483648 to 2147483647)");
            return static_cast<std::int32_t>(v->get<std::int64_t>());
        }
        if (v->is_number_float()) fault(at(key), describe(*v) + " is not a whole number");
        fault(at(key), "not a number");
    }
    std::string text(const char* key, std::optional<std::string> otherwise = std::nullopt) {
        const Json* v = find(key);
        if (!v) {
            if (otherwise) return *otherwise;
            fault(at(key), "missing");
        }
        if (!v->is_string()) fault(at(key), "not text");
        return v->get<std::string>();
    }
    const Json* list(const char* key) {
        const Json* v = find(key);
        if (v && !v->is_array()) fault(at(key), "not a list");
        return v;
    }
    void gap(std::uint8_t (&out)[3]) {
        std::string s = text("gap", std::string("000000"));
        auto hex = [](char c) {
            return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        };
        if (s.size() != 6) fault(at("gap"), "not 6 hex digits");
        for (int i = 0; i < 3; ++i) {
            int hi = hex(s[static_cast<std::size_t>(2 * i)]), lo = hex(s[static_cast<std::size_t>(2 * i + 1)]);
            if (hi < 0 || lo < 0) fault(at("gap"), "not 6 hex digits");
            out[i] = static_cast<std::uint8_t>(hi * 16 + lo);
        }
    }
    // A text field as the record keeps it: Windows-1252, at most N bytes.
    template <int N, FieldText T>
    void name(const char* key, PStr<N, T>& out, bool required) {
        std::string s = required ? text(key) : text(key, std::string());
        std::optional<std::string> stored = toWindows1252(s);
        if (!stored) fault(at(key), "holds a character outside Windows-1252");
        if (stored->size() > static_cast<std::size_t>(N))
            fault(at(key), "longer than " + std::to_string(N) + " characters");
        out.set(s);
    }
    void ignore(const char* key) { seen_.insert(key); }
    void finish() const {
        for (auto it = j_.begin(); it != j_.end(); ++it)
            if (!seen_.count(it.key())) fault(at(shortText(it.key()).c_str()), "unknown field");
    }

private:
    const Json* find(const char* key) {
        seen_.insert(key);
        auto it = j_.find(key);
        return it == j_.end() ? nullptr : &*it;
    }
    const Json& j_;
    std::string where_;
    std::set<std::string> seen_;
};

// ---- places in the text ----

// The JSON text is read twice: once by the JSON library into values, and
// again here, only to find where in the text a faulty value stands, so that
// a message can give its line and column. The text has been parsed already,
// so it is well formed.
class TextPlaces {
public:
    explicit TextPlaces(std::string_view text) : t_(text) {}

    // Where the value at `where` ("leftover.sprites[2].x") begins; the
    // deepest value found on the way when the path goes on past the text
    // (a key that is missing points at its object).
    std::size_t locate(std::string_view where) const {
        std::size_t pos = skipSpace(0);
        std::size_t j = 0;
        while (j < where.size() && pos < t_.size()) {
            const std::size_t before = pos;
            std::size_t end = where.find_first_of(".[", j);
            if (end == std::string_view::npos) end = where.size();
            if (end > j) {
                const std::size_t found = member(pos, where.substr(j, end - j));
                if (found == npos) return pos;
                pos = found;
            }
            j = end;
            while (j < where.size() && where[j] == '[') {
                const std::size_t close = where.find(']', j);
                std::size_t index = 0;
                if (close == std::string_view::npos ||
                    std::from_chars(where.data() + j + 1, where.data() + close, index).ptr != where.data() + close)
                    return before;  // a key of the author's own holding "["
                const std::size_t found = element(pos, index);
                if (found == npos) return pos;
                pos = found;
                j = close + 1;
            }
            if (j < where.size() && where[j] == '.') ++j;
        }
        return pos;
    }

    // "LINE:COLUMN" of a byte offset, both counted from 1, columns in characters.
    std::string lineColumn(std::size_t pos) const {
        pos = std::min(pos, t_.size());
        std::size_t line = 1, lineStart = 0;
        for (std::size_t i = 0; i < pos; ++i)
            if (t_[i] == '\n') ++line, lineStart = i + 1;
        std::size_t column = 1;
        for (std::size_t i = lineStart; i < pos; ++i) column += (static_cast<unsigned char>(t_[i]) & 0xC0) != 0x80;
        return std::to_string(line) + ":" + std::to_string(column);
    }

    // The text of the value at `pos`, up to its line's end and at most 80
    // characters.
    std::string excerpt(std::size_t pos) const {
        if (pos >= t_.size()) return std::string();
        const std::size_t end = std::min({skipValue(pos), t_.size(), t_.find('\n', pos)});
        // More than enough bytes for 80 characters, so that a long value is
        // never copied whole.
        return shortText(std::string(t_.substr(pos, std::min(end - pos, 4 * kQuotedChars + 4))));
    }

    std::size_t skipSpace(std::size_t i) const {
        while (i < t_.size() && (t_[i] == ' ' || t_[i] == '\t' || t_[i] == '\r' || t_[i] == '\n')) ++i;
        return i;
    }

private:
    static constexpr std::size_t npos = std::string_view::npos;

    std::size_t skipString(std::size_t i) const {
        for (++i; i < t_.size(); ++i) {
            if (t_[i] == '\\') ++i;
            else if (t_[i] == '"') return i + 1;
        }
        return t_.size();
    }
    std::size_t skipValue(std::size_t i) const {
        i = skipSpace(i);
        if (i >= t_.size()) return i;
        if (t_[i] == '"') return skipString(i);
        if (t_[i] == '{' || t_[i] == '[') {
            int depth = 0;
            while (i < t_.size()) {
                const char c = t_[i];
                if (c == '"') {
                    i = skipString(i);
                    continue;
                }
                if (c == '{' || c == '[') ++depth;
                if ((c == '}' || c == ']') && --depth == 0) return i + 1;
                ++i;
            }
            return i;
        }
        while (i < t_.size() && std::string_view(",}] \t\r\n").find(t_[i]) == npos) ++i;
        return i;
    }
    // The value of `key` in the object at `pos` (the last one, as the JSON
    // library keeps the last of keys given twice).
    std::size_t member(std::size_t pos, std::string_view key) const {
        if (t_[pos] != '{') return npos;
        std::size_t found = npos;
        std::size_t i = skipSpace(pos + 1);
        while (i < t_.size() && t_[i] == '"') {
            const std::size_t keyEnd = skipString(i);
            const std::string_view name = t_.substr(i + 1, keyEnd - i - 2);
            i = skipSpace(keyEnd);
            if (i >= t_.size() || t_[i] != ':') break;
            i = skipSpace(i + 1);
            if (name == key) found = i;
            i = skipSpace(skipValue(i));
            if (i >= t_.size() || t_[i] != ',') break;
            i = skipSpace(i + 1);
        }
        return found;
    }
    std::size_t element(std::size_t pos, std::size_t n) const {
        if (t_[pos] != '[') return npos;
        std::size_t i = skipSpace(pos + 1);
        for (std::size_t k = 0; i < t_.size() && t_[i] != ']'; ++k) {
            if (k == n) return i;
            i = skipSpace(skipValue(i));
            if (i >= t_.size() || t_[i] != ',') break;
            i = skipSpace(i + 1);
        }
        return npos;
    }

    std::string_view t_;
};

// Runs `read`, telling a fault in the JSON with the line and column of the
// faulty value and the start of its text:
//   12:18: sprites[3].x: not a number (at: "30")
template <typename Read>
void withTextPlace(std::string_view text, Read&& read) {
    try {
        read();
    } catch (const JsonFault& e) {
        const TextPlaces places(text);
        const std::size_t pos = places.locate(e.where());
        const std::string at = places.excerpt(pos);
        throw Error(places.lineColumn(pos) + ": " + e.where() + ": " + e.why() + (at.empty() ? "" : " (at: " + at + ")"));
    }
}

// Builds the JSON values as the library's own parser does, and keeps the
// place and the token of a syntax fault, which the library's exceptions
// give only in part (a number too large comes without its place, and with
// all of its digits).
class ValueBuilder {
public:
    explicit ValueBuilder(Json& root) : dom_(root, false) {}
    bool null() { return dom_.null(); }
    bool boolean(bool v) { return dom_.boolean(v); }
    bool number_integer(Json::number_integer_t v) { return dom_.number_integer(v); }
    bool number_unsigned(Json::number_unsigned_t v) { return dom_.number_unsigned(v); }
    bool number_float(Json::number_float_t v, const std::string& s) { return dom_.number_float(v, s); }
    bool string(std::string& v) { return dom_.string(v); }
    bool binary(Json::binary_t& v) { return dom_.binary(v); }
    bool start_object(std::size_t n) { return dom_.start_object(n); }
    bool key(std::string& v) { return dom_.key(v); }
    bool end_object() { return dom_.end_object(); }
    bool start_array(std::size_t n) { return dom_.start_array(n); }
    bool end_array() { return dom_.end_array(); }
    template <class Exception>
    bool parse_error(std::size_t position, const std::string& token, const Exception& e) {
        failed = true;
        end = position;
        stringToken = !token.empty() && token.back() == '"';
        if (e.id == 406) {
            why = "the number is too large";
        } else {
            why = e.what();
            if (const std::size_t cut = why.find("] "); cut != std::string::npos) why.erase(0, cut + 2);
            if (why.rfind("parse error", 0) == 0)
                if (const std::size_t cut = why.find(": "); cut != std::string::npos) why.erase(0, cut + 2);
            if (const std::size_t cut = why.find("; last read"); cut != std::string::npos) why.erase(cut);
            // The fault is the text's end: nothing of the last token to show.
            if (why.find("unexpected end of input") != std::string::npos) end = std::string::npos;
        }
        return false;
    }

    bool failed = false;
    std::size_t end = 0;       // bytes read when the fault was seen
    bool stringToken = false;  // the token read last is a string, ending there
    std::string why;

private:
    nlohmann::detail::json_sax_dom_parser<Json> dom_;
};

// The values of a JSON text; a syntax fault is told with its line, column
// and the start of the faulty text.
Json parseJson(std::string_view text) {
    Json root;
    ValueBuilder builder(root);
    Json::sax_parse(text, &builder);
    if (!builder.failed) return root;
    const TextPlaces places(text);
    // Back from where the library stopped to the start of the token it
    // stopped in: a string from its opening quote, anything else from the
    // last space or punctuation.
    std::size_t start = std::min(builder.end, text.size());
    auto breaks = [](char c) { return std::string_view(" \t\r\n{}[],:\"").find(c) != std::string_view::npos; };
    if (start > 1 && builder.stringToken && text[start - 1] == '"') {
        start -= 2;
        while (start > 0 && !(text[start] == '"' && text[start - 1] != '\\')) --start;
    } else if (builder.end != std::string::npos) {
        if (start > 0 && breaks(text[start - 1])) --start;
        while (start > 0 && !breaks(text[start - 1])) --start;
    }
    std::string_view rest = text.substr(std::min(start, text.size()));
    rest = rest.substr(0, std::min(rest.find('\n'), 4 * kQuotedChars + 4));
    const std::string at = shortText(std::string(rest));
    throw Error(places.lineColumn(start) + ": not JSON: " + builder.why +
                (start >= text.size() ? " (at the end of the text)" : at.empty() ? "" : " (at: " + at + ")"));
}

// The absolute, normalised form of a folder given on the command line, with
// a trailing '/', so that paths made under it are the ones Open makes.
std::string folderPath(const std::string& given) {
    std::string f = std::filesystem::path(absolutePackagePath(given)).lexically_normal().string();
    if (f.empty() || f.back() != '/') f += '/';
    return f;
}

std::string item(const std::string& list, std::size_t i) { return list + "[" + std::to_string(i) + "]"; }

// A picture path relative to the folder: no absolute path, no "." or ".."
// component, no backslash, nothing that would leave the folder, also not
// through a symbolic link (to a file or to a folder on the way).
std::string picturePath(const std::string& folder, const std::string& rel, const std::string& where) {
    if (rel.empty()) fault(where, "empty");
    if (rel.front() == '/' || (rel.size() > 1 && rel[1] == ':'))
        fault(where, quoted(rel) + " is absolute; pictures are named relative to the level's folder");
    if (rel.find('\\') != std::string::npos)
        fault(where, quoted(rel) + " holds a backslash; folders in a picture's path are separated with /");
    std::size_t start = 0;
    while (start <= rel.size()) {
        std::size_t end = rel.find('/', start);
        if (end == std::string::npos) end = rel.size();
        const std::string part = rel.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            fault(where, quoted(rel) + " must name a file inside the level's folder (no empty, \".\" or \"..\" parts)");
        for (char c : part)
            if (static_cast<unsigned char>(c) < 0x20) fault(where, quoted(rel) + " holds a control character");
        start = end + 1;
    }
    const std::string path = joinPath(folder, rel);
    if (path.size() > static_cast<std::size_t>(PathField::capacity))
        fault(where, "the picture's path " + quoted(path) + " is longer than 255 bytes");
    try {
        fileSize(path);
    } catch (const Error& e) {
        fault(where, std::string("cannot read the picture: ") + e.what());
    }
    // Where the path ends once every link on it is followed.
    std::error_code pathError, folderError;
    const std::filesystem::path real = std::filesystem::canonical(path, pathError);
    const std::filesystem::path realFolder = std::filesystem::canonical(folder, folderError);
    if (pathError || folderError)
        fault(where, "cannot read the picture " + quoted(path) + ": " + (pathError ? pathError : folderError).message());
    const auto [inFolder, inReal] = std::mismatch(realFolder.begin(), realFolder.end(), real.begin(), real.end());
    if (inFolder != realFolder.end())
        fault(where, quoted(rel) + " is a symbolic link, or lies in one, that leads outside the level's folder (to " +
                         quoted(real.string()) + ")");
    return path;
}

std::string pictureHead(const std::string& path, std::size_t bytes = kPictureHeadBytes) {
    BinFile f(path, BinFile::Mode::Read);
    std::string head(bytes, '\0');
    head.resize(f.readSome(head.data(), head.size()));
    f.close();
    return head;
}

bool plainStageName(const std::string& s) {
    if (s.empty() || s == "." || s == "..") return false;
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '/' || c == ':' || u < 0x20 || u == 0x7f) return false;
    }
    return true;
}

struct Reader {
    Reader(const std::string& f, Level& l) : folder(f), level(l) {}
    const std::string& folder;
    Level& level;
    std::vector<std::string> imageWhere;  // JSON path of image slot i (index i)
    std::vector<bool> spriteUsed = std::vector<bool>(kMaxSprites * kMaxStages, false);
    std::vector<bool> sectorUsed = std::vector<bool>(kMaxSectors * kMaxStages, false);
    std::vector<int> spriteCounts = std::vector<int>(kMaxStages + 1, 0);
    std::vector<int> sectorCounts = std::vector<int>(kMaxStages + 1, 0);
    // The counts a stage record states, checked against the records listed.
    std::vector<std::optional<int>> givenSprites = std::vector<std::optional<int>>(kMaxStages + 1);
    std::vector<std::optional<int>> givenSectors = std::vector<std::optional<int>>(kMaxStages + 1);

    void readImages(const Json* list) {
        if (!list) return;
        if (list->size() > static_cast<std::size_t>(kMaxImages))
            fault("images", "holds " + std::to_string(list->size()) + " images; a level holds at most 3000");
        imageWhere.assign(list->size() + 1, std::string());
        std::map<std::string, std::pair<std::string, std::string>> entryOfPath;  // path -> entry, where
        for (std::size_t k = 0; k < list->size(); ++k) {
            const int slot = static_cast<int>(k) + 1;
            Fields f((*list)[k], item("images", k));
            imageWhere[static_cast<std::size_t>(slot)] = f.where();
            ImageRec& r = level.image(slot);
            f.name("name", r.name, true);
            f.gap(r.gap);
            if (r.name.empty()) {
                f.name("path", r.path, false);
                r.size = f.integer("size", 0);
                r.useCount = f.integer("uses", 0);
            } else {
                const std::string rel = f.text("picture");
                const std::string path = picturePath(folder, rel, f.at("picture"));
                r.path.set(path);
                r.size = static_cast<std::int32_t>(std::min<std::int64_t>(fileSize(path), 2147483647));
                // The editor's count of the sprites drawing from it: always
                // counted from the sprites (settleCounts), never taken as written.
                f.ignore("uses");
                r.useCount = 0;
                const std::string entry = f.text("entry", fileNamePart(rel));
                std::optional<std::string> stored = toWindows1252(entry);
                if (!stored) fault(f.at("entry"), "holds a character outside Windows-1252");
                const std::string full = std::string(kImagePrefix) + *stored;
                if (f.has("entry")) {
                    if (full.size() > kEntryNameBytes) fault(f.at("entry"), "longer than 41 characters");
                    try {
                        checkEntryName(full);
                    } catch (const Error& e) {
                        fault(f.at("entry"), e.what());
                    }
                }
                const std::string cut = rawCut(full, kEntryNameBytes);
                auto [it, fresh] = entryOfPath.emplace(path, std::pair(cut, f.where()));
                if (!fresh && it->second.first != cut)
                    fault(f.at("picture"), "the same picture as " + it->second.second + " under another entry name");
                level.memberEntryNames[path] = cut;
                f.ignore("hash");
            }
            f.finish();
        }
        level.imageCount = static_cast<std::int32_t>(list->size());
    }

    void readStages(const Json* list) {
        if (!list) return;
        if (list->size() > static_cast<std::size_t>(kMaxStages))
            fault("stages", "holds " + std::to_string(list->size()) + " stages; a level holds at most 30");
        for (std::size_t k = 0; k < list->size(); ++k) {
            const int s = static_cast<int>(k) + 1;
            Fields f((*list)[k], item("stages", k));
            StageRec& r = level.stage(s);
            f.name("name", r.name, true);
            const std::string name = f.text("name");
            if (!plainStageName(name)) fault(f.at("name"), quoted(name) + " is not a valid file name");
            const std::string path = picturePath(folder, f.text("picture"), f.at("picture"));
            r.path.set(path);
            r.size = static_cast<std::int32_t>(std::min<std::int64_t>(fileSize(path), 2147483647));
            f.gap(r.gap);
            // The stage's entry is its full name, which the record may hold cut.
            level.memberEntryNames.emplace(path, std::string(kStagePrefix) + *toWindows1252(name));
            if (f.has("sprites")) givenSprites[static_cast<std::size_t>(s)] = f.integer("sprites");
            if (f.has("sectors")) givenSectors[static_cast<std::size_t>(s)] = f.integer("sectors");
            f.ignore("hash");
            f.finish();
        }
        level.stageCount = static_cast<std::int32_t>(list->size());
    }

    int stageOf(Fields& f, int last) {
        const int s = f.integer("stage");
        if (s < 1 || s > last)
            fault(f.at("stage"), std::to_string(s) + " is not a stage of the level (1 to " + std::to_string(last) + ")");
        return s;
    }

    void readSprites(const Json* list) {
        if (!list) return;
        for (std::size_t k = 0; k < list->size(); ++k) {
            Fields f((*list)[k], item("sprites", k));
            const int s = stageOf(f, level.stageCount);
            const int n = ++spriteCounts[static_cast<std::size_t>(s)];
            if (n > kMaxSprites) fault(f.where(), "stage " + std::to_string(s) + " has more than 100 sprites");
            SpriteRec& r = level.sprite(n, s);
            readSprite(f, r);
            spriteUsed[static_cast<std::size_t>((n - 1) * kMaxStages + s - 1)] = true;
            checkSprite(f, r);
            f.finish();
        }
    }

    void readSprite(Fields& f, SpriteRec& r) {
        f.name("name", r.name, false);
        r.x = f.integer("x", 0);
        r.y = f.integer("y", 0);
        r.w = f.integer("w", 0);
        r.h = f.integer("h", 0);
        r.frameCount = f.integer("frames", 0);
        r.frame = f.integer("frame", 0);
        r.image = f.integer("image", 0);
        r.reserved = f.integer("reserved", 0);
        f.gap(r.gap);
    }

    // What Open checks of a live sprite, told with the JSON path.
    void checkSprite(Fields& f, const SpriteRec& r) {
        for (const char* key : {"x", "y", "w", "h", "frames", "frame", "image"})
            if (!f.has(key)) fault(f.at(key), "missing");
        if (r.image < 1 || r.image > level.imageCount)
            fault(f.at("image"), std::to_string(r.image) + " is not an image of the level (1 to " +
                                     std::to_string(level.imageCount) + ")");
        if (!imageUsed(level.image(r.image))) fault(f.at("image"), std::to_string(r.image) + " is a free image slot");
        if (r.frameCount < 1) fault(f.at("frames"), std::to_string(r.frameCount) + " (at least 1 needed)");
        // Frames 0 pixels wide draw nothing; Open takes them, and so does import.
        if (r.w < 0) fault(f.at("w"), std::to_string(r.w) + " (cannot be negative)");
        if (r.h < 1) fault(f.at("h"), std::to_string(r.h) + " (must be positive)");
        if (r.frame < 1 || r.frame > r.frameCount)
            fault(f.at("frame"), std::to_string(r.frame) + " is not one of frames 1 to " + std::to_string(r.frameCount));
        const std::string& picture = imageWhere[static_cast<std::size_t>(r.image)];
        const std::string path = level.image(r.image).path.str();
        auto known = sizes.find(r.image);
        if (known == sizes.end()) known = sizes.emplace(r.image, pictureSize(pictureHead(path))).first;
        const std::optional<PictureSize>& size = known->second;
        if (!size) fault(picture + ".picture", quoted(path) + " is not a BMP or PNG picture");
        if (std::int64_t{r.w} * r.frameCount > size->width || r.h > size->height)
            fault(f.where(), std::to_string(r.frameCount) + " frames of " + std::to_string(r.w) + " x " +
                                 std::to_string(r.h) + " do not fit the picture of " + picture + " (" +
                                 std::to_string(size->width) + " x " + std::to_string(size->height) + ")");
    }

    void readSectors(const Json* list) {
        if (!list) return;
        for (std::size_t k = 0; k < list->size(); ++k) {
            Fields f((*list)[k], item("sectors", k));
            const int s = stageOf(f, level.stageCount);
            const int n = ++sectorCounts[static_cast<std::size_t>(s)];
            if (n > kMaxSectors) fault(f.where(), "stage " + std::to_string(s) + " has more than 100 sectors");
            SectorRec& r = level.sector(n, s);
            readSector(f, r);
            for (const char* key : {"x", "y", "w", "h"})
                if (!f.has(key)) fault(f.at(key), "missing");
            // The sizes the editor's sector fields take.
            if (r.w < 0 || r.w > kViewWidth)
                fault(f.at("w"), std::to_string(r.w) + " is not a sector width (0 to " + std::to_string(kViewWidth) + ")");
            if (r.h < 0 || r.h > kViewHeight)
                fault(f.at("h"), std::to_string(r.h) + " is not a sector height (0 to " + std::to_string(kViewHeight) + ")");
            sectorUsed[static_cast<std::size_t>((n - 1) * kMaxStages + s - 1)] = true;
            f.finish();
        }
    }

    void readSector(Fields& f, SectorRec& r) {
        f.name("name", r.name, false);
        r.x = f.integer("x", 0);
        r.y = f.integer("y", 0);
        r.w = f.integer("w", 0);
        r.h = f.integer("h", 0);
        f.gap(r.gap);
    }

    // Stage counts: given ones must agree with the records listed.
    void settleCounts() {
        for (int s = 1; s <= level.stageCount; ++s) {
            StageRec& r = level.stage(s);
            const std::string where = item("stages", static_cast<std::size_t>(s - 1));
            const int sprites = spriteCounts[static_cast<std::size_t>(s)];
            const int sectors = sectorCounts[static_cast<std::size_t>(s)];
            const std::optional<int>& saidSprites = givenSprites[static_cast<std::size_t>(s)];
            const std::optional<int>& saidSectors = givenSectors[static_cast<std::size_t>(s)];
            if (saidSprites && *saidSprites != sprites)
                fault(where + ".sprites", std::to_string(*saidSprites) + ", but " + std::to_string(sprites) +
                                              " sprites name stage " + std::to_string(s));
            if (saidSectors && *saidSectors != sectors)
                fault(where + ".sectors", std::to_string(*saidSectors) + ", but " + std::to_string(sectors) +
                                              " sectors name stage " + std::to_string(s));
            r.spriteCount = sprites;
            r.sectorCount = sectors;
        }
        // Use counts are counted from the sprites.
        for (int i = 1; i <= level.imageCount; ++i)
            if (imageUsed(level.image(i))) {
                int uses = 0;
                for (int s = 1; s <= level.stageCount; ++s)
                    for (int n = 1; n <= level.stage(s).spriteCount; ++n) uses += level.sprite(n, s).image == i;
                level.image(i).useCount = uses;
            }
    }

    std::map<int, std::optional<PictureSize>> sizes;  // by image slot

    int number(Fields& f, int lo, int hi) {
        const int n = f.integer("number");
        if (n < lo || n > hi)
            fault(f.at("number"), std::to_string(n) + " is not within " + std::to_string(lo) + " to " + std::to_string(hi));
        return n;
    }

    // Records outside the counts. One at a place the level uses is ignored:
    // the record in use wins.
    void readLeftovers(const Json* obj) {
        if (!obj) return;
        Fields top(*obj, "leftover");
        if (const Json* list = top.list("stages"))
            for (std::size_t k = 0; k < list->size(); ++k) {
                Fields f((*list)[k], item("leftover.stages", k));
                const int s = number(f, 1, kMaxStages);
                StageRec r{};
                std::memset(&r, 0, sizeof r);
                f.name("name", r.name, false);
                f.name("path", r.path, false);
                r.spriteCount = f.integer("sprites", 0);
                r.sectorCount = f.integer("sectors", 0);
                r.size = f.integer("size", 0);
                f.gap(r.gap);
                f.finish();
                if (s > level.stageCount) level.stage(s) = r;
            }
        if (const Json* list = top.list("images"))
            for (std::size_t k = 0; k < list->size(); ++k) {
                Fields f((*list)[k], item("leftover.images", k));
                const int i = number(f, 1, kMaxImages);
                ImageRec r{};
                std::memset(&r, 0, sizeof r);
                f.name("name", r.name, false);
                f.name("path", r.path, false);
                r.size = f.integer("size", 0);
                r.useCount = f.integer("uses", 0);
                f.gap(r.gap);
                f.finish();
                if (i > level.imageCount) level.image(i) = r;
            }
        if (const Json* list = top.list("sprites"))
            for (std::size_t k = 0; k < list->size(); ++k) {
                Fields f((*list)[k], item("leftover.sprites", k));
                const int s = stageOf(f, kMaxStages);
                const int n = number(f, 1, kMaxSprites);
                SpriteRec r{};
                std::memset(&r, 0, sizeof r);
                readSprite(f, r);
                f.finish();
                if (!spriteUsed[static_cast<std::size_t>((n - 1) * kMaxStages + s - 1)]) level.sprite(n, s) = r;
            }
        if (const Json* list = top.list("sectors"))
            for (std::size_t k = 0; k < list->size(); ++k) {
                Fields f((*list)[k], item("leftover.sectors", k));
                const int s = stageOf(f, kMaxStages);
                const int n = number(f, 1, kMaxSectors);
                SectorRec r{};
                std::memset(&r, 0, sizeof r);
                readSector(f, r);
                f.finish();
                if (!sectorUsed[static_cast<std::size_t>((n - 1) * kMaxStages + s - 1)]) level.sector(n, s) = r;
            }
        top.finish();
    }

    void readSplash(const Json* obj) {
        if (!obj) return;
        Fields f(*obj, "splash");
        StageRec& r = level.stage(0);
        f.name("name", r.name, false);
        f.name("path", r.path, false);
        r.size = f.integer("size", 0);
        f.gap(r.gap);
        f.finish();
    }
};

// Open extracts the pictures beside the package and refuses a package whose
// pictures would get paths too long for a record: so does import, before
// anything is written.
void checkOpenPaths(const Level& level, const std::string& out) {
    const std::string folder = folderPart(absolutePackagePath(out));
    const PackageForm form = packageForm(level);
    auto check = [&](const PackEntry& e, const std::string& picture, const char* sub, const std::string& where) {
        const std::string path = joinPath(folder, sub + memberFileName(e.name.str(), pictureHead(picture)));
        if (path.size() > static_cast<std::size_t>(PathField::capacity))
            fault(where, "opened from \"" + folder + "\", the picture would go to \"" + path +
                             "\", longer than the 255 characters a record holds");
    };
    for (int k = 1; k <= form.imageCount; ++k) {
        const int slot = form.imageSlots[static_cast<std::size_t>(k - 1)];
        check(form.entries[static_cast<std::size_t>(kFixedEntries + k - 1)], level.image(slot).path.str(), "sprites/",
              item("images", static_cast<std::size_t>(slot - 1)) + ".picture");
    }
    for (int s = 1; s <= level.stageCount; ++s)
        check(form.entries[static_cast<std::size_t>(kFixedEntries + form.imageCount + s - 1)], level.stage(s).path.str(),
              "backpx/", item("stages", static_cast<std::size_t>(s - 1)) + ".picture");
}

// What Open checks of the pictures themselves (see checkPictures), on the
// files, before anything is written: a BMP whose header declares more pixel
// bytes than its file holds is cut short, and the pictures together must fit
// in kPictureMemoryBudget once decoded (every image and the largest stage).
void checkPictureFiles(const Level& level) {
    const std::string gb = std::to_string(kPictureMemoryBudget >> 30) + " GB";
    auto dimensions = [](const PictureLayout& l) { return std::to_string(l.width) + " x " + std::to_string(l.height); };
    struct Measured {
        std::int64_t bytes = 0;  // once decoded, 4 a pixel; 0: not a picture (nothing Open decodes)
        std::string label;       // the file and its size
    };
    auto measure = [&](const std::string& where, const std::string& path) {
        const std::optional<PictureLayout> l = pictureLayout(pictureHead(path, kPictureLayoutBytes));
        if (!l) return Measured{};
        const std::int64_t size = fileSize(path);
        if (l->pixelEnd > size)
            fault(where, quoted(path) + " is cut short: its header declares " + dimensions(*l) + " pixels in " +
                             std::to_string(l->pixelEnd) + " bytes but the file holds " + std::to_string(size));
        Measured m{std::int64_t{l->width} * l->height * 4, quoted(path) + " (" + dimensions(*l) + ")"};
        if (m.bytes > kPictureMemoryBudget)
            fault(where, m.label + " needs more than the " + gb + " of memory a level's pictures may take");
        return m;
    };
    auto overBudget = [&](const std::string& where, const Measured& m) {
        fault(where, "the level's pictures need more than " + gb + " of memory: " + m.label + " passes the limit");
    };
    std::int64_t total = 0;
    for (int i = 1; i <= level.imageCount; ++i) {
        if (!imageUsed(level.image(i))) continue;
        const std::string where = item("images", static_cast<std::size_t>(i - 1)) + ".picture";
        const Measured m = measure(where, level.image(i).path.str());
        total += m.bytes;
        if (total > kPictureMemoryBudget) overBudget(where, m);
    }
    Measured largestStage;
    std::string largestWhere;
    for (int s = 1; s <= level.stageCount; ++s) {
        const std::string where = item("stages", static_cast<std::size_t>(s - 1)) + ".picture";
        Measured m = measure(where, level.stage(s).path.str());
        if (m.bytes > largestStage.bytes) largestStage = std::move(m), largestWhere = where;
    }
    if (total + largestStage.bytes > kPictureMemoryBudget) overBudget(largestWhere, largestStage);
}

// Writes a text file as the pictures are written: under a temporary name
// beside it, renamed over `path` when whole. A symbolic link at `path` is
// refused and never followed (the rename would replace the link itself, so
// one made meanwhile is not followed either).
void refuseLink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        throw Error("\"" + path + "\" is a symbolic link: the level's text is written only as a file of its own, "
                    "never through a link; remove the link or export to another folder");
}

void writeTextFile(const std::string& path, std::string_view text) {
    refuseLink(path);
    PartFile out(path, PartFile::Target::New, "Saving");
    out.write(text.data(), text.size());
    out.commit(true);
}

}  // namespace

std::string pictureHash(std::string_view bytes) {
    Fnv h;
    h.add(bytes.data(), bytes.size());
    return h.text();
}

std::string memberHash(const MemberExtractor& package, std::int64_t offset, std::int64_t size) {
    Fnv h;
    std::vector<char> buf(1 << 16);
    while (size > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size, static_cast<std::int64_t>(buf.size())));
        const std::size_t got = package.readAt(offset, buf.data(), want);
        if (got == 0) break;
        h.add(buf.data(), got);
        offset += static_cast<std::int64_t>(got);
        size -= static_cast<std::int64_t>(got);
    }
    return h.text();
}

std::string levelJson(const PackageContents& c, const LevelPictures& pics) {
    const PackageHeader& h = c.header;
    const PackageTables& t = c.tables;
    const bool hashes = !pics.imageHashes.empty() || !pics.stageHashes.empty();
    auto at = [](const std::vector<std::string>& v, int i) {
        return static_cast<std::size_t>(i) < v.size() ? v[static_cast<std::size_t>(i)] : std::string();
    };

    std::vector<OrderedJson> stages, images, sprites, sectors;
    std::vector<OrderedJson> oldStages, oldImages, oldSprites, oldSectors;
    for (int s = 1; s <= kMaxStages; ++s) {
        const StageRec& r = t.stage(s);
        if (s <= h.stageCount) {
            OrderedJson j = stageJson(r, true);
            OrderedJson lead;
            lead["name"] = j["name"];
            lead["picture"] = at(pics.stageFiles, s);
            if (hashes) lead["hash"] = at(pics.stageHashes, s);
            stages.push_back(placed(lead, j));
        } else if (OrderedJson j = stageJson(r, false); !blank(j)) {
            OrderedJson lead;
            lead["number"] = s;
            oldStages.push_back(placed(lead, j));
        }
    }
    for (int i = 1; i <= kMaxImages; ++i) {
        const ImageRec& r = t.image(i);
        if (i <= h.imageCount) {
            const bool pictured = imageUsed(r);
            OrderedJson j = imageJson(r, pictured);
            if (pictured) {
                OrderedJson lead;
                lead["name"] = j["name"];
                const std::string file = at(pics.imageFiles, i);
                lead["picture"] = file;
                const std::string entry = fromWindows1252(h.imageEntry(i).name.str().substr(kImagePrefixLen));
                if (entry != fileNamePart(file)) lead["entry"] = entry;
                if (hashes) lead["hash"] = at(pics.imageHashes, i);
                j = placed(lead, j);
            }
            images.push_back(j);
        } else if (OrderedJson j = imageJson(r, false); !blank(j)) {
            OrderedJson lead;
            lead["number"] = i;
            oldImages.push_back(placed(lead, j));
        }
    }
    for (int s = 1; s <= kMaxStages; ++s)
        for (int n = 1; n <= kMaxSprites; ++n) {
            const bool used = s <= h.stageCount && n <= t.stage(s).spriteCount;
            OrderedJson j = spriteJson(t.sprite(n, s), used);
            OrderedJson lead;
            lead["stage"] = s;
            if (used) sprites.push_back(placed(lead, j));
            else if (!blank(j)) {
                lead["number"] = n;
                oldSprites.push_back(placed(lead, j));
            }
        }
    for (int s = 1; s <= kMaxStages; ++s)
        for (int n = 1; n <= kMaxSectors; ++n) {
            const bool used = s <= h.stageCount && n <= t.stage(s).sectorCount;
            OrderedJson j = sectorJson(t.sector(n, s), used);
            OrderedJson lead;
            lead["stage"] = s;
            if (used) sectors.push_back(placed(lead, j));
            else if (!blank(j)) {
                lead["number"] = n;
                oldSectors.push_back(placed(lead, j));
            }
        }

    const StageRec& splashRec = t.stage(0);
    OrderedJson splash;
    splash["name"] = text(splashRec.name);
    splash["path"] = pathFromPackage(splashRec.path.str());
    splash["size"] = splashRec.size;
    putGap(splash, splashRec.gap);

    std::string out = "{\n";
    out += "  \"format\": " + OrderedJson(kLevelJsonFormat).dump() + ",\n";
    out += "  \"version\": " + std::to_string(kLevelJsonVersion) + ",\n";
    out += "  \"splash\": " + splash.dump() + ",\n";
    putList(out, "  ", "stages", stages, false);
    putList(out, "  ", "images", images, false);
    putList(out, "  ", "sprites", sprites, false);
    putList(out, "  ", "sectors", sectors, false);
    out += "  \"leftover\": {\n";
    putList(out, "    ", "stages", oldStages, false);
    putList(out, "    ", "images", oldImages, false);
    putList(out, "    ", "sprites", oldSprites, false);
    putList(out, "    ", "sectors", oldSectors, true);
    out += "  }\n}\n";
    return out;
}

void exportLevel(const std::string& packageGiven, const std::string& dirGiven) {
    const std::string package = absolutePackagePath(packageGiven);
    const PackageContents c = readPackage(package);
    const PackageHeader& h = c.header;
    const std::string dir = folderPath(dirGiven);
    createDir(dir);
    refuseLink(joinPath(dir, kLevelJsonFile));  // before any picture is written
    MemberExtractor extractor(package);
    MemberFolder base = MemberFolder::open(dir);
    std::optional<MemberFolder> sprites = base.existingSubfolder("sprites");
    std::optional<MemberFolder> backpx = base.existingSubfolder("backpx");
    for (const auto* f : {&sprites, &backpx})
        if (*f) (*f)->removeStaleTemporaries();
    // Every name is planned and every path checked before anything is
    // written; pictures are shared or given free names exactly as Open does.
    const ExtractionPlan plan =
        planExtraction(dir, c, extractor, sprites ? &*sprites : nullptr, backpx ? &*backpx : nullptr);
    MemberFolder spritesDir = base.subfolder("sprites");
    MemberFolder backpxDir = base.subfolder("backpx");
    auto extract = [&](const MemberFolder& folder, const PackEntry& e, const PlannedFile& f) {
        if (f.create) extractor.extractNew(folder, f.name, h.dataStart + e.start, e.size);
        return f.name;
    };
    LevelPictures pics;
    pics.imageFiles.resize(static_cast<std::size_t>(h.imageCount) + 1);
    pics.stageFiles.resize(static_cast<std::size_t>(h.stageCount) + 1);
    for (int i = 1; i <= h.imageCount; ++i)
        if (imageUsed(c.tables.image(i)))
            pics.imageFiles[static_cast<std::size_t>(i)] =
                "sprites/" + extract(spritesDir, h.imageEntry(i), plan.imageFiles[static_cast<std::size_t>(i)]);
    for (int s = 1; s <= h.stageCount; ++s)
        pics.stageFiles[static_cast<std::size_t>(s)] =
            "backpx/" + extract(backpxDir, h.stageEntry(s), plan.stageFiles[static_cast<std::size_t>(s)]);
    writeTextFile(joinPath(dir, kLevelJsonFile), levelJson(c, pics));
}

std::string levelText(const std::string& packageGiven) {
    const std::string package = absolutePackagePath(packageGiven);
    const PackageContents c = readPackage(package);
    const PackageHeader& h = c.header;
    MemberExtractor extractor(package);
    // Names as an Open into empty folders would give them.
    const ExtractionPlan plan = planExtraction("", c, extractor, nullptr, nullptr);
    LevelPictures pics;
    pics.imageFiles.resize(plan.imageFiles.size());
    pics.imageHashes.resize(plan.imageFiles.size());
    pics.stageFiles.resize(plan.stageFiles.size());
    pics.stageHashes.resize(plan.stageFiles.size());
    for (int i = 1; i <= h.imageCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (plan.imageFiles[k].name.empty()) continue;
        pics.imageFiles[k] = "sprites/" + plan.imageFiles[k].name;
        pics.imageHashes[k] = memberHash(extractor, h.dataStart + h.imageEntry(i).start, h.imageEntry(i).size);
    }
    for (int s = 1; s <= h.stageCount; ++s) {
        const auto k = static_cast<std::size_t>(s);
        pics.stageFiles[k] = "backpx/" + plan.stageFiles[k].name;
        pics.stageHashes[k] = memberHash(extractor, h.dataStart + h.stageEntry(s).start, h.stageEntry(s).size);
    }
    return levelJson(c, pics);
}

namespace {

void readLevelJson(const Json& root, const std::string& dirGiven, Level& level) {
    const std::string dir = folderPath(dirGiven);
    auto topFault = [](const char* key, const std::string& why) { fault(key, why); };
    const Json* format = root.contains("format") ? &root["format"] : nullptr;
    if (!format) topFault("format", "missing");
    if (!format->is_string() || format->get<std::string>() != kLevelJsonFormat)
        topFault("format", describe(*format) + " is not \"" + std::string(kLevelJsonFormat) + "\"");
    if (!root.contains("version")) topFault("version", "missing");
    const Json& version = root["version"];
    if (!version.is_number_integer()) topFault("version", "not a whole number");
    if (version.get<std::int64_t>() != kLevelJsonVersion)
        topFault("version", describe(version) + " is not a version this program reads (" +
                                std::to_string(kLevelJsonVersion) + ")");
    for (const char* key : {"stages", "images", "sprites", "sectors"})
        if (root.contains(key) && !root[key].is_array()) topFault(key, "not a list");
    for (const char* key : {"splash", "leftover"})
        if (root.contains(key) && !root[key].is_object()) topFault(key, "not an object");
    for (auto it = root.begin(); it != root.end(); ++it) {
        static const std::set<std::string> known = {"format", "version", "splash", "stages", "images",
                                                    "sprites", "sectors", "leftover"};
        if (!known.count(it.key())) topFault(shortText(it.key()).c_str(), "unknown field");
    }
    auto get = [&](const char* key) { return root.contains(key) ? &root[key] : nullptr; };

    Reader r(dir, level);
    r.readSplash(get("splash"));
    r.readImages(get("images"));
    r.readStages(get("stages"));
    r.readSprites(get("sprites"));
    r.readSectors(get("sectors"));
    r.settleCounts();
    r.readLeftovers(get("leftover"));
}

}  // namespace

void levelFromJson(std::string_view text, const std::string& dir, Level& level) {
    const Json root = parseJson(text);
    if (!root.is_object()) throw Error(TextPlaces(text).lineColumn(TextPlaces(text).skipSpace(0)) + ": the JSON is not an object");
    withTextPlace(text, [&] { readLevelJson(root, dir, level); });
}

void importLevel(const std::string& dirGiven, const std::string& out) {
    const std::string dir = folderPath(dirGiven);
    const std::string file = dir + kLevelJsonFile;
    const std::string text = readWholeFile(file, 64 << 20);
    auto level = std::make_unique<Level>();
    try {
        levelFromJson(text, dir, *level);
        withTextPlace(text, [&] {
            checkPictureFiles(*level);
            checkOpenPaths(*level, out);
        });
    } catch (const Error& e) {
        throw Error(file + ":" + e.what());
    }
    PackageHooks hooks;
    saveLevel(*level, out, hooks);
}

}  // namespace slv
