// The settings files of the home folder: the pose table "totposes.dat" and
// the settings record "corvatel.cf", and the home-folder file.
#pragma once

#include <string>

#include "level.h"

namespace slv {

// Reads pose records into poses 1..n; stops at the table's capacity and
// ignores a trailing partial record. Sets totposes.
void readPoses(Level& level, const std::string& path);
// Writes pose records 1..totposes, replacing the file only when all is written.
void writePoses(const Level& level, const std::string& path);

// Reads the one settings record; a file shorter than a record is an I/O error.
SettingsRec readSettings(const std::string& path);
void writeSettings(const Level& level, const std::string& path);

// The fixed place of the home-folder file (the user's configuration folder).
std::string homeFolderFilePath();
// Reads the home-folder file's bytes as they stand; empty when it is absent.
bool readHomeFolderFile(const std::string& path, std::string& homedir);

}  // namespace slv
