#include "format.h"

#include "model/fileio.h"

namespace slv {

void getfile(const std::string& package, const std::string& dest, std::int64_t offset,
             std::int64_t size) {
    if (fileExists(dest)) return;
    BinFile in(package, BinFile::Mode::Read);
    BinFile out(dest, BinFile::Mode::Create);
    in.seek(offset);
    char buf[2048];
    std::int64_t n = size / 2048;
    std::int64_t rest = size - 2048 * n;
    for (std::int64_t i = 0; i < n; ++i) {
        std::size_t got = in.readSome(buf, sizeof buf);
        out.writeAll(buf, got);
    }
    std::size_t got = in.readSome(buf, static_cast<std::size_t>(rest));
    out.writeAll(buf, got);
    out.close();
    in.close();
}

}  // namespace slv
