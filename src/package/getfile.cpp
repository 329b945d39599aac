#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "format.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "partfile.h"

namespace slv {

void getfile(const std::string& package, const std::string& dest, std::int64_t offset,
             std::int64_t size) {
    if (fileExists(dest)) return;
    if (size < 0) throw Error("Invalid member size " + std::to_string(size));
    BinFile in(package, BinFile::Mode::Read);
    in.seek(offset);
    PartFile out(dest);
    std::vector<char> buf(static_cast<std::size_t>(std::min<std::int64_t>(size, 1 << 18)) + 1);
    std::int64_t left = size;
    while (left > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, buf.size()));
        std::size_t got = in.readSome(buf.data(), want);
        if (got == 0) break;  // the package ends early: a shorter file
        out.write(buf.data(), got);
        left -= static_cast<std::int64_t>(got);
    }
    in.close();
    out.commit(/*replace=*/false);
}

}  // namespace slv
