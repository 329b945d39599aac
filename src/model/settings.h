// The settings files of the home folder: the pose table "totposes.dat" and
// the settings record "corvatel.cf", and the home-folder file.
//
// Start-up reads each file with the forms that take a SettingsState; they
// never throw, fill the tables only from a file that is sound, and return a
// report whose message (when not empty) the window shows once. Close writes
// the files with the same SettingsState: a file that could not be read is
// left as it stands, never replaced by defaults.
#pragma once

#include <cstdint>
#include <string>

#include "level.h"

namespace slv {

// What the editor keeps from run to run beside any level: the outline
// colours and the work folder (the settings record), and the home folder the
// settings files live in. Never saved in a package and never undone.
struct EditorSettings {
    std::uint32_t spriteBoxColor = kDefaultSpriteBoxColor;
    std::uint32_t sectorColor = kDefaultSectorColor;
    std::string homeFolder;
    std::string workFolder;  // at most 255 bytes
};

// How a start-up read went.
enum class FileRead {
    NotRead, // start-up never came to it: close keeps the file, creates it if absent
    Absent,  // no such file: the defaults stand, and close may create it
    Read,    // read and taken
    Failed,  // there but unreadable or unsound: the defaults stand, close keeps the file
};

struct ReadReport {
    FileRead state = FileRead::Absent;
    // A text naming the file for the author: why it failed, or a notice
    // about a file that was read (records past the pose table's capacity).
    std::string message;
};

// What close needs to know of the start-up reads. The window keeps one from
// start-up to close.
struct SettingsState {
    FileRead poses = FileRead::NotRead;
    FileRead settings = FileRead::NotRead;
    // The bytes of totposes.dat past the pose table's capacity, written back
    // after pose records 1..10000 so that close never cuts them off.
    std::string posesPastTable;
};

// Bytes of totposes.dat past the pose table that are kept for close; a
// file with more is not read and left as it stands.
constexpr std::int64_t kMaxPosesPastTable = std::int64_t{1} << 24;

// Reads totposes.dat into poses 1..n and sets poseCount. A trailing partial
// record is ignored. On failure the pose table is empty (poseCount 0).
ReadReport readPoses(Level& level, const std::string& path, SettingsState& state);
// Whether close may write the settings file at `path` that start-up read
// with `state`: never over a file that failed or was not read.
bool mayReplace(FileRead state, const std::string& path);

// Writes pose records 1..poseCount, then the records kept past the table,
// when mayReplace allows it.
void writePoses(const Level& level, const std::string& path, const SettingsState& state);

// Reads the settings record into spriteBoxColor, sectorColor and workFolder;
// a file shorter than a record, or whose record is not sound, leaves them.
ReadReport readSettings(EditorSettings& settings, const std::string& path, SettingsState& state);
// Writes the settings record when mayReplace allows it.
void writeSettings(const EditorSettings& settings, const std::string& path, const SettingsState& state);

// The plain forms: they throw a FileError naming the file.
void writePoses(const Level& level, const std::string& path);
SettingsRec readSettings(const std::string& path);
void writeSettings(const EditorSettings& settings, const std::string& path);

// The home folder's frame-rate cap (maxfps.txt): frames a second, a whole
// number from 0 (no cap) to 1000, spaces and line ends around it allowed.
// -1 when there is no such file; throws Error naming the file when it
// holds anything else or cannot be read.
int readFrameRateCap(const std::string& path);

// The fixed place of the home-folder file (the user's configuration folder).
std::string homeFolderFilePath();
// The longest home-folder file that is read (a path is never longer).
constexpr std::int64_t kMaxHomeFolderFile = 4096;
// Reads the home-folder file: its bytes without trailing spaces, CR and LF
// name the home folder. When Read, `homeFolder` is set; otherwise it is left
// for the caller's default.
ReadReport readHomeFolderFile(const std::string& path, std::string& homeFolder);

}  // namespace slv
