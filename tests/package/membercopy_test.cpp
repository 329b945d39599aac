// Save and Open move the bitmaps between their files and the package in two
// ways: through a buffer, or by the kernel. Open shares only a file with the
// member's very bytes, and Save notices a bitmap that changes meanwhile.
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>

#include "common/child_process.h"
#include "common/error_text.h"
#include "package/extract.h"
#include "package_helpers.h"

using namespace pkgtest;

namespace {

constexpr std::size_t kSmall = 3000, kLarge = 300000;  // either side of the kernel copy's threshold

// From here on, copy_file_range fails in this process as on a kernel
// without it.
bool refuseKernelCopy() {
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_copy_file_range, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Members copied by the kernel and, where it cannot, read and written: a
// file already at the name is shared only when it holds exactly the member's
// bytes, whatever order the members come in.
TEST(MemberCopy, EitherCopyGivesTheMembersBytesAndSharesOnlyTheSameFile) {
    constexpr std::size_t kBig = kSmall + 3;
    TempDir d;
    const std::string package = writeBytes(d / "package.bin", 2 * kBig + 100, 11);
    const std::string second = package.substr(100 + kBig, kBig);
    const std::string first = package.substr(100, kBig);
    for (bool kernel : {true, false}) {
        SCOPED_TRACE(kernel ? "kernel copy" : "read and write");
        const std::string out = d / (kernel ? "kernel" : "plain");
        writeFile(out + "/same.bmp", second);
        writeFile(out + "/longer.bmp", second + "x");          // the member's bytes, then more
        writeFile(out + "/late.bmp", second.substr(0, kBig - 1) + "!");  // differs in its last byte
        const std::string r = slvtest::inChild([&]() -> std::string {
            if (!kernel && !refuseKernelCopy()) return "cannot refuse the kernel copy";
            slv::MemberExtractor ex(d / "package.bin");
            const slv::MemberFolder folder = slv::MemberFolder::open(out);
            std::string got;
            for (const char* name : {"same.bmp", "longer.bmp", "late.bmp"})
                got += ex.extract(folder, name, 100 + kBig, kBig, slv::WhenTaken::KeepIfSameBytes) + " ";
            got += ex.extract(folder, "first.bmp", 100, kBig, slv::WhenTaken::KeepIfSameBytes);
            return got == "same.bmp longer~2.bmp late~2.bmp first.bmp" ? "" : "names: " + got;
        }, slvtest::ChildOptions{5, false});
        EXPECT_EQ(r, "");
        EXPECT_TRUE(readAll(out + "/longer~2.bmp") == second);
        EXPECT_TRUE(readAll(out + "/late~2.bmp") == second);
        EXPECT_TRUE(readAll(out + "/first.bmp") == first);
        EXPECT_TRUE(readAll(out + "/longer.bmp") == second + "x");
    }
}

// Where the kernel copy is refused, members are read through a window of
// the package: one that starts inside the window and ends past it is read
// on from the window's end, whichever member came before it.
TEST(MemberCopy, AMemberAcrossTheReadWindowsEndIsCopiedWhole) {
    constexpr std::size_t kMiB = 1u << 20;
    TempDir d;
    const std::string package = writeBytes(d / "package.bin", 7 * kMiB, 23);
    struct Member {
        const char* name;
        std::size_t offset, size;
    };
    // The first fills the window from offset 100; the second crosses its end
    // at 100 + 4 MiB; the third starts exactly at the next window's end.
    const Member members[] = {
        {"first.bmp", 100, 3 * kMiB}, {"across.bmp", 100 + 3 * kMiB, 2 * kMiB}, {"after.bmp", 100 + 5 * kMiB, kMiB}};
    const std::string r = slvtest::inChild([&]() -> std::string {
        if (!refuseKernelCopy()) return "cannot refuse the kernel copy";
        slv::MemberExtractor ex(d / "package.bin");
        const slv::MemberFolder folder = slv::MemberFolder::open(d.str());
        for (const Member& m : members)
            ex.extract(folder, m.name, std::int64_t(m.offset), std::int64_t(m.size), slv::WhenTaken::KeepIfSameBytes);
        return "";
    }, slvtest::ChildOptions{20, false});
    EXPECT_EQ(r, "");
    for (const Member& m : members) EXPECT_TRUE(readAll(d / m.name) == package.substr(m.offset, m.size)) << m.name;
}

// Changes a file once, when Save reports its first step (after measuring
// every bitmap, before copying any).
struct ChangeOnFirstStep : slv::PackageHooks {
    std::string path;
    std::int64_t newSize = 0;
    bool done = false;
    void step() override {
        if (done) return;
        done = true;
        std::string bytes = readAll(path);
        bytes.resize(static_cast<std::size_t>(newSize), 'x');
        writeFile(path, bytes);
    }
};

TEST(MemberCopy, ABitmapThatChangesSizeWhileSavingIsRefused) {
    struct Case {
        std::size_t size;
        int change;
        const char* how;
    };
    const Case cases[] = {
        {kSmall, +1, "longer"},
        {kSmall, -1, "shorter"},
        {kLarge, +1, "longer"},
        {kLarge, -1, "shorter"},
        {kLarge, -static_cast<int>(kLarge), "shorter"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes, " + std::to_string(c.change));
        TempDir d;
        auto l = smallLevel(d.str());
        const std::string stage = l->stage(2).path.str();
        writeBitmapBytes(stage, c.size, 5);
        fs::create_directories(d.path() / "out");
        ChangeOnFirstStep hooks;
        hooks.path = stage;
        hooks.newSize = static_cast<std::int64_t>(c.size) + c.change;
        EXPECT_EQ(errorOf([&] { slv::saveLevel(*l, d / "out/p.slv", hooks); }),
                  "\"" + stage + "\" became " + c.how + " while the level was being saved");
        EXPECT_FALSE(fs::exists(d / "out/p.slv"));
        EXPECT_FALSE(anyTemp(d.str()));
    }
}

}  // namespace
