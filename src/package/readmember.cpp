#include <algorithm>
#include <vector>

#include "format.h"
#include "model/errors.h"
#include "model/fileio.h"
#include "partfile.h"

namespace slv {

void extractMember(BinFile& in, const std::string& dest, std::int64_t offset, std::int64_t size,
                   std::vector<char>& buf) {
    if (fileExists(dest)) return;
    if (size < 0) throw Error("Invalid member size " + std::to_string(size));
    if (buf.empty()) buf.resize(1 << 18);
    in.seek(offset);
    PartFile out(dest);
    std::int64_t left = size;
    while (left > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(buf.size())));
        std::size_t got = in.readSome(buf.data(), want);
        if (got == 0) break;  // the package ends early: a shorter file
        out.write(buf.data(), got);
        left -= static_cast<std::int64_t>(got);
    }
    out.commit(/*replace=*/false);
}

void readMember(const std::string& package, const std::string& dest, std::int64_t offset,
             std::int64_t size) {
    if (fileExists(dest)) return;
    BinFile in(package, BinFile::Mode::Read);
    std::vector<char> buf(static_cast<std::size_t>(std::clamp<std::int64_t>(size, 1, 1 << 18)));
    extractMember(in, dest, offset, size, buf);
    in.close();
}

}  // namespace slv
