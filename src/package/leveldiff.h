// What differs between two level packages, told as an author would say it:
// stages added, removed or renamed, sprites and sectors moved, resized or
// changed, pictures whose bytes changed (with a short hash of each side).
#pragma once

#include <string>
#include <vector>

#include "levelio.h"

namespace slv {

// One line per difference, in stage order, then the pictures. Empty when the
// two levels are the same. What is compared is what Open takes from a
// package; record paths (they tell where the pictures were last read from),
// use counts and records beyond the counts are not.
std::vector<std::string> levelDifferences(const std::string& packageA, const std::string& packageB);

}  // namespace slv
