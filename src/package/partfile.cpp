#include "partfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/errors.h"
#include "model/fileio.h"

namespace slv {

}  // namespace slv
