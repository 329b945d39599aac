// Extraction of one package member over a package that is already open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/fileio.h"

namespace slv {


// readMember's copy over a package that is already open: copies `size` bytes
// from `offset` into a new file at `dest` unless one exists there; `buf` is
// reused between calls.
void extractMember(BinFile& package, const std::string& dest, std::int64_t offset, std::int64_t size,
                   std::vector<char>& buf);



}  // namespace slv
