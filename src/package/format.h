// The package format shared by level packages (.slv) and actor skin
// packages (.skn): a header of 64-byte entries, then the members.
#pragma once

#include <cstdint>
#include <string>

#include "model/level.h"

namespace slv {

// Copies `size` bytes from byte `offset` of the package into a new file at
// `dest`, unless a file already exists there (then nothing happens).
// A package shorter than offset + size gives a shorter file.
void getfile(const std::string& package, const std::string& dest, std::int64_t offset,
             std::int64_t size);

}  // namespace slv
