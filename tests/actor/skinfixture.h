// Shared helpers of the skin package tests: scratch folders, small bitmaps
// and packages built from a description.
#pragma once

#include <cstring>
#include <filesystem>
#include <string>

#include "common/bmp_writer.h"
#include "common/error_text.h"
#include "common/files.h"
#include "common/tempdir.h"
#include "model/records.h"

namespace skintest {

namespace fs = std::filesystem;

using slvtest::get32;
using slvtest::put32;
using slvtest::readFile;
using slvtest::TempDir;
using slvtest::writeFile;

// A w x h 24-bit bitmap, magenta all over.
inline std::string bmpBytes(int w, int h) {
    return ::bmpBytes(BmpLayout{w, h}, [](int, int) { return 0xFF00FFu; });
}

inline slv::PackEntry entryAt(const std::string& pkg, int i) {
    slv::PackEntry e;
    std::memcpy(&e, pkg.data() + 64 * i, 64);
    return e;
}
inline void setEntry(std::string& pkg, int i, const slv::PackEntry& e) {
    std::memcpy(pkg.data() + 64 * i, &e, 64);
}

}  // namespace skintest
