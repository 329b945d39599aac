// A file written under a temporary name beside its destination and renamed
// into place only when complete, so that a failure never leaves a half-
// written file under the real name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/fileio.h"

namespace slv {


// getfile's copy over a package that is already open: copies `size` bytes
// from `offset` into a new file at `dest` unless one exists there; `buf` is
// reused between calls.
void extractMember(BinFile& package, const std::string& dest, std::int64_t offset, std::int64_t size,
                   std::vector<char>& buf);



}  // namespace slv
