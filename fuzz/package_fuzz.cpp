// libFuzzer harness over the level package reader: the header check, the
// table checks and, for packages that pass them, a full Open (bitmaps
// extracted in a private temporary folder) followed by a Save whose header
// must match the one read.
//
// Input: "RAW:" followed by a whole package, or a base-package number (first
// byte, 0..3) followed by edit operations on that package, so that the
// fuzzer reaches deep into packages of more than a megabyte with small inputs.
//
// Build (see fuzz/run_fuzz.sh):
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc
//           fuzz/package_fuzz.cpp src/package/{format,getfile,partfile,levelio}.cpp
//           src/model/{fileio,level}.cpp
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "model/errors.h"
#include "model/fileio.h"
#include "model/level.h"
#include "package/format.h"
#include "package/levelio.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "package_fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

std::string tempRoot() {
    const char* base = fs::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string t = std::string(base) + "/slvfuzz-XXXXXX";
    if (!::mkdtemp(t.data())) fail("mkdtemp", t);
    return t + "/";
}

void writeFile(const std::string& path, const std::string& data) {
    slv::BinFile f(path, slv::BinFile::Mode::Create);
    f.writeAll(data.data(), data.size());
    f.close();
}

struct State {
    std::string root = tempRoot();
    std::string work = root + "pkg/";
    std::vector<std::string> bases;

    State() {
        fs::create_directories(work);
        std::string src = root + "src/";
        fs::create_directories(src);
        for (int v = 0; v < 4; ++v) {
            auto l = std::make_unique<slv::Level>();
            int images = v == 0 ? 2 : v == 2 ? 1 : 0;
            int stages = v == 0 ? 2 : v == 1 ? 1 : 0;
            for (int i = 1; i <= images; ++i) {
                std::string p = src + "img" + std::to_string(i) + ".bmp";
                std::string bmp(static_cast<std::size_t>(40 * i), static_cast<char>('a' + i));
                bmp.replace(0, 26, std::string("BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0\x40\0\0\0\x10\0\0\0", 26));
                writeFile(p, bmp);  // a 64 x 16 BMP as far as its header goes
                l->image(i).name.set("img" + std::to_string(i) + ".bmp");
                l->image(i).path.set(p);
                l->totimages = i;
            }
            for (int s = 1; s <= stages; ++s) {
                std::string p = src + "st" + std::to_string(s) + ".bmp";
                writeFile(p, std::string(static_cast<std::size_t>(30 * s), static_cast<char>('A' + s)));
                l->stage(s).name.set("st" + std::to_string(s) + ".bmp");
                l->stage(s).path.set(p);
                l->totstages = s;
                if (images) {
                    l->stage(s).totsprites = 1;
                    l->sprite(1, s).name.set("img1.bmp");
                    l->sprite(1, s).image = 1;
                    l->sprite(1, s).totpos = 2;
                    l->sprite(1, s).pos = 1;
                    l->sprite(1, s).w = 32;
                    l->sprite(1, s).h = 16;
                    l->sprite(1, s).x = 5 * s;
                }
                l->stage(s).totsectors = 1;
                l->sector(1, s).name.set("Sector1");
                l->sector(1, s).w = 9;
            }
            slv::PackageHooks hooks;
            std::string out = root + "base.slv";
            slv::saveLevel(*l, out, hooks);
            bases.push_back(slv::readWholeFile(out));
        }
    }

    void cleanWork() {
        std::error_code ec;
        fs::remove_all(work, ec);
        fs::create_directories(work);
    }
};

State& state() {
    static State s;
    return s;
}

std::uint32_t takeU(const std::uint8_t*& p, const std::uint8_t* end, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes && p < end; ++i) v |= static_cast<std::uint32_t>(*p++) << (8 * i);
    return v;
}

// Applies the edit operations to a base package.
std::string build(const std::uint8_t* data, std::size_t size) {
    State& st = state();
    if (size >= 4 && std::memcmp(data, "RAW:", 4) == 0)
        return std::string(reinterpret_cast<const char*>(data) + 4, size - 4);
    if (size == 0) return st.bases[0];
    std::string pkg = st.bases[data[0] % 4];
    const std::uint8_t* p = data + 1;
    const std::uint8_t* end = data + size;
    std::int64_t header = 64 * static_cast<std::int64_t>(slv::parsePackageHeader(pkg, static_cast<std::int64_t>(pkg.size())).totfiles());
    for (int ops = 0; p < end && ops < 64; ++ops) {
        std::uint8_t op = *p++;
        switch (op % 6) {
        case 0: {  // raw bytes anywhere
            std::size_t off = takeU(p, end, 3) % (pkg.size() + 1);
            std::size_t n = std::min<std::size_t>(op / 6 % 16 + 1, static_cast<std::size_t>(end - p));
            for (std::size_t i = 0; i < n && off + i < pkg.size(); ++i) pkg[off + i] = static_cast<char>(p[i]);
            p += n;
            break;
        }
        case 1: {  // a field of a header entry
            std::size_t entries = pkg.size() / 64 ? std::min<std::size_t>(pkg.size() / 64, 40) : 1;
            std::size_t k = takeU(p, end, 1) % entries;
            static const int fields[] = {52, 56, 60, 0};
            std::size_t off = k * 64 + static_cast<std::size_t>(fields[op / 6 % 4]);
            std::uint32_t v = takeU(p, end, 4);
            for (int i = 0; i < 4 && off + static_cast<std::size_t>(i) < pkg.size(); ++i)
                pkg[off + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
            break;
        }
        case 2: {  // a 32-bit field inside the tables
            std::size_t off = static_cast<std::size_t>(header) + (takeU(p, end, 3) % 1185052u & ~3u);
            std::uint32_t v = takeU(p, end, 4);
            if (op & 0x80) v = v % 8 - 2;  // small values, near the limits
            for (int i = 0; i < 4 && off + static_cast<std::size_t>(i) < pkg.size(); ++i)
                pkg[off + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
            break;
        }
        case 3:  // cut the file
            pkg.resize(takeU(p, end, 3) % (pkg.size() + 1));
            break;
        case 4:  // grow the file
            pkg.append(takeU(p, end, 1), static_cast<char>(op));
            break;
        case 5: {  // a new entry name
            std::size_t entries = std::max<std::size_t>(1, std::min<std::size_t>(pkg.size() / 64, 40));
            std::size_t k = takeU(p, end, 1) % entries;
            std::size_t n = std::min<std::size_t>(op / 6 % 32, static_cast<std::size_t>(end - p));
            if (k * 64 + 51 <= pkg.size()) {
                pkg[k * 64] = static_cast<char>(std::min<std::size_t>(n, 50));
                for (std::size_t i = 0; i < n && i < 50; ++i) pkg[k * 64 + 1 + i] = static_cast<char>(p[i]);
            }
            p += n;
            break;
        }
        }
    }
    return pkg;
}

}  // namespace

// 0: refused by the checks; 1: opened and saved again.
int slvFuzzOne(const std::uint8_t* data, std::size_t size) {
    State& st = state();
    std::string pkg = build(data, size);
    st.cleanWork();
    std::string path = st.work + "p.slv";
    writeFile(path, pkg);

    slv::PackageContents c;
    try {
        c = slv::readPackage(path);
    } catch (const slv::Error&) {
        if (!fs::is_directory(st.work) || std::distance(fs::directory_iterator(st.work), {}) != 1)
            fail("refused package left files", path);
        return 0;
    }
    // A package that passed every check must open and save again.
    auto level = std::make_unique<slv::Level>();
    slv::PackageHooks hooks;
    try {
        slv::openLevel(*level, path, hooks);
    } catch (const slv::Error& e) {
        fail("checked package failed to open", e.what());
    }
    if (level->totimages != c.header.totimages || level->totstages != c.header.totstages)
        fail("counts differ", path);
    for (int s = 1; s <= level->totstages; ++s)
        for (int n = 1; n <= level->stage(s).totsprites; ++n) {
            int img = level->sprite(n, s).image;
            if (img < 1 || img > level->totimages) fail("live sprite without image", path);
        }
    std::set<std::string> names;
    bool unique = true;
    for (const slv::PackEntry& e : c.header.entries) unique = names.insert(e.name.str()).second && unique;
    std::string again = st.work + "q.slv";
    try {
        slv::saveLevel(*level, again, hooks);
    } catch (const slv::Error& e) {
        fail("opened level failed to save", e.what());
    }
    slv::PackageHeader h2 = slv::readPackageHeader(again);
    int freeSlots = 0;  // Save does not write free image slots
    for (int i = 1; i <= level->totimages; ++i) freeSlots += !slv::imageUsed(level->image(i));
    if (h2.totfiles() != c.header.totfiles() - freeSlots) fail("entry count changed on save", path);
    if (unique && freeSlots == 0) {
        for (int k = 0; k < h2.totfiles(); ++k) {
            const slv::PackEntry& a = c.header.entries[static_cast<std::size_t>(k)];
            const slv::PackEntry& b = h2.entries[static_cast<std::size_t>(k)];
            bool freeSlot = k >= slv::kFixedEntries && k < slv::kFixedEntries + h2.totimages &&
                            !slv::imageUsed(level->image(k - slv::kFixedEntries + 1));
            if (a.start != b.start || a.size != b.size || a.flag != b.flag ||
                (!freeSlot && a.name.str() != b.name.str()))
                fail("header changed on save", a.name.str() + " / " + b.name.str());
        }
    }
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    slvFuzzOne(data, size);
    return 0;
}
