// The recovery copy written on its worker while the window writes the
// level's files: built with ThreadSanitizer, so that a race between the two
// readers of the open package fails the run. Each round opens a package
// with its files left to write, starts the copy, writes every file at the
// same time, and checks that the copy holds the package's pictures.
// Usage: recovery_race PACKAGE_TESTDATA
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "model/fileio.h"
#include "model/level.h"
#include "package/levelio.h"
#include "package/recoverywriter.h"

namespace fs = std::filesystem;

namespace {

int fail(const std::string& why) {
    std::fprintf(stderr, "FAIL: %s\n", why.c_str());
    return 1;
}

// The bitmap members of a package, in entry order.
std::string membersOf(const std::string& pkg) {
    const slv::PackageHeader h = slv::readPackage(pkg).header;
    const std::string all = slv::readWholeFile(pkg);
    const std::int64_t first = h.dataStart + h.entries[slv::kFixedEntries].start;
    return all.substr(static_cast<std::size_t>(first));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return fail("usage: recovery_race PACKAGE_TESTDATA");
    char name[] = "/tmp/slv-recovery-race-XXXXXX";
    if (!::mkdtemp(name)) return fail("no temporary folder");
    const std::string dir = name;
    const std::string make = std::string("'") + argv[1] + "' '" + dir + "/level' 30 20000 100 4096 > /dev/null";
    if (std::system(make.c_str()) != 0) {
        fs::remove_all(dir);
        return fail("the test level could not be made");
    }
    const std::string pkg = dir + "/level/level.slv";
    const std::string pictures = membersOf(pkg);
    int status = 0;
    for (int round = 0; round < 10 && status == 0; ++round) {
        auto level = std::make_unique<slv::Level>();
        slv::PackageHooks hooks;
        slv::PendingLevelFiles later;
        slv::openLevel(*level, pkg, hooks, &later);
        if (later.left() != 130) status = fail("files left after Open: " + std::to_string(later.left()));
        slv::RecoveryWriter writer(dir + "/state");
        std::string error = "not written";
        writer.start(std::make_unique<slv::Level>(*level), pkg, later.unwrittenPictures(),
                     [&error](const std::string& e) { error = e; });
        later.writeAll();  // meanwhile, as the window does between frames
        writer.wait();
        if (status == 0 && !error.empty()) status = fail("the recovery copy: " + error);
        if (status == 0 && membersOf(writer.packagePath()) != pictures)
            status = fail("the recovery copy does not hold the package's pictures");
        writer.close();
        fs::remove_all(dir + "/level/sprites");
        fs::remove_all(dir + "/level/backpx");
    }
    fs::remove_all(dir);
    if (status == 0) std::puts("ok: 10 rounds");
    return status;
}
