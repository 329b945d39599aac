// Save and Open of a full-size level (30 stages of 825 654 bytes, 300 sprite
// images of 4 KB) next to a plain copy of the same package bytes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "model/fileio.h"
#include "package/levelio.h"

namespace {

namespace fs = std::filesystem;

struct BigLevel {
    std::string dir;
    std::unique_ptr<slv::Level> level = std::make_unique<slv::Level>();

    BigLevel() {
        std::string t = (fs::temp_directory_path() / "slvbench-pkg-XXXXXX").string();
        if (!::mkdtemp(t.data())) std::abort();
        dir = t + "/";
        fs::create_directories(dir + "src");
        auto blob = [](const std::string& p, std::size_t n, unsigned seed) {
            std::string d(n, '\0');
            for (char& c : d) c = static_cast<char>(seed = seed * 1103515245u + 12345u);
            slv::BinFile f(p, slv::BinFile::Mode::Create);
            f.writeAll(d.data(), d.size());
            f.close();
        };
        for (int i = 1; i <= 300; ++i) {
            std::string name = "sprite" + std::to_string(i) + ".bmp";
            blob(dir + "src/" + name, 4096, static_cast<unsigned>(i));
            level->image(i).name.set(name);
            level->image(i).path.set(dir + "src/" + name);
            level->imageCount = i;
        }
        for (int s = 1; s <= 30; ++s) {
            std::string name = "stage" + std::to_string(s) + ".bmp";
            blob(dir + "src/" + name, 825654, 1000u + static_cast<unsigned>(s));
            level->stage(s).name.set(name);
            level->stage(s).path.set(dir + "src/" + name);
            level->stageCount = s;
        }
        slv::PackageHooks hooks;
        slv::saveLevel(*level, dir + "level.slv", hooks);
    }
    ~BigLevel() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

BigLevel& big() {
    static BigLevel b;
    return b;
}

void BM_PackageSave(benchmark::State& state) {
    BigLevel& b = big();
    slv::PackageHooks hooks;
    for (auto _ : state) slv::saveLevel(*b.level, b.dir + "out.slv", hooks);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(b.dir + "out.slv")));
}
BENCHMARK(BM_PackageSave)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PackageOpen(benchmark::State& state) {
    BigLevel& b = big();
    fs::create_directories(b.dir + "open");
    fs::copy_file(b.dir + "level.slv", b.dir + "open/level.slv", fs::copy_options::overwrite_existing);
    slv::PackageHooks hooks;
    auto l = std::make_unique<slv::Level>();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(b.dir + "open/sprites");
        fs::remove_all(b.dir + "open/backpx");
        state.ResumeTiming();
        slv::openLevel(*l, b.dir + "open/level.slv", hooks);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(b.dir + "level.slv")));
}
BENCHMARK(BM_PackageOpen)->Unit(benchmark::kMillisecond)->UseRealTime();

// The yardstick: copying the package's bytes once, the way cp does.
void BM_PackageCopyBaseline(benchmark::State& state) {
    BigLevel& b = big();
    for (auto _ : state)
        fs::copy_file(b.dir + "level.slv", b.dir + "copy.slv", fs::copy_options::overwrite_existing);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(b.dir + "level.slv")));
}
BENCHMARK(BM_PackageCopyBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// A package of 2000 members of one name (512 bytes each, all different),
// opened into an empty folder: every member after the first is numbered.
struct SameNamedLevel {
    std::string dir;

    SameNamedLevel() {
        std::string t = (fs::temp_directory_path() / "slvbench-same-XXXXXX").string();
        if (!::mkdtemp(t.data())) std::abort();
        dir = t + "/";
        auto level = std::make_unique<slv::Level>();
        for (int i = 1; i <= 2000; ++i) {
            const std::string folder = dir + "src/" + std::to_string(i) + "/";
            fs::create_directories(folder);
            std::string d(512, '\0');
            unsigned seed = static_cast<unsigned>(i);
            for (char& c : d) c = static_cast<char>(seed = seed * 1103515245u + 12345u);
            slv::writeFileAtomic(folder + "same.bmp", d);
            level->image(i).name.set("same.bmp");
            level->image(i).path.set(folder + "same.bmp");
            level->imageCount = i;
        }
        fs::create_directories(dir + "open");
        slv::PackageHooks hooks;
        slv::saveLevel(*level, dir + "open/level.slv", hooks);
    }
    ~SameNamedLevel() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

void BM_PackageOpenSameNamed(benchmark::State& state) {
    static SameNamedLevel b;
    slv::PackageHooks hooks;
    auto l = std::make_unique<slv::Level>();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(b.dir + "open/sprites");
        state.ResumeTiming();
        slv::openLevel(*l, b.dir + "open/level.slv", hooks);
    }
}
BENCHMARK(BM_PackageOpenSameNamed)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

}  // namespace
