// Where a restored level may be saved without asking.
#pragma once

#include <string>

namespace slv {

// The path a level restored from a recovery package keeps: the path its
// note names when that names a level package (a regular file whose header
// reads as one) or a file that does not exist yet in a folder the user can
// write; otherwise empty, and the restored level is untitled so that Save
// asks for a name. A note is never trusted to pick a file Save would
// replace. Only absolute paths are taken. Never waits on a FIFO or device.
std::string restoredLevelPath(const std::string& notedPath);

}  // namespace slv
