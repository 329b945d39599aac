#include "settings.h"
#include "homefiles.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "errors.h"
#include "fileio.h"

namespace slv {

namespace {

constexpr std::int64_t kPoseBytes = sizeof(PoseRec);
constexpr std::int64_t kPoseTableBytes = kPoseBytes * kMaxPoses;

// A pose record as the editor writes it: a name of at most 20 characters.
bool soundPose(const PoseRec& rec) { return rec.name.len <= NameField::capacity; }

bool holdsNul(const std::string& s) { return s.find('\0') != std::string::npos; }

// Runs a start-up read: a FileError (or any Error) becomes a Failed report
// naming the file.
template <class F>
ReadReport guarded(const std::string& path, F&& read) {
    try {
        return withFileContext("Reading", path, std::forward<F>(read));
    } catch (const Error& e) {
        return {FileRead::Failed, e.what()};
    }
}

}  // namespace

ReadReport readPoses(Level& level, const std::string& path, SettingsState& state) {
    state.posesPastTable.clear();
    if (!fileExists(path) && !dirExists(path)) {
        state.poses = FileRead::Absent;
        return {};
    }
    std::string past;
    int count = 0;
    ReadReport report = guarded(path, [&] {
        BinFile f(path, BinFile::Mode::Read);
        const std::int64_t size = f.size();
        if (size - kPoseTableBytes > kMaxPosesPastTable)
            throw Error("The file holds " + std::to_string(size / kPoseBytes) +
                        " pose records, too many to keep; it is left as it is");
        const std::int64_t whole = size / kPoseBytes;
        std::string bytes(static_cast<std::size_t>(whole * kPoseBytes), '\0');
        f.readExact(bytes.data(), bytes.size());
        f.close();
        for (std::int64_t i = 0; i < whole; ++i) {
            PoseRec rec;
            std::memcpy(&rec, bytes.data() + i * kPoseBytes, sizeof rec);
            if (!soundPose(rec))
                throw Error("Record " + std::to_string(i + 1) + " is not a pose record; the file is left as it is");
        }
        count = static_cast<int>(std::min<std::int64_t>(whole, kMaxPoses));
        std::memcpy(level.poseTable, bytes.data(), static_cast<std::size_t>(count) * kPoseBytes);
        if (whole > kMaxPoses) past = bytes.substr(static_cast<std::size_t>(kPoseTableBytes));
        ReadReport r{FileRead::Read, {}};
        if (whole > kMaxPoses)
            r.message = fileErrorMessage("Reading", path,
                                         "The file holds " + std::to_string(whole) + " pose records; the first " +
                                             std::to_string(kMaxPoses) +
                                             " are used and the others are kept in the file");
        else if (size % kPoseBytes != 0)
            r.message = fileErrorMessage("Reading", path,
                                         "The file ends in a partial pose record of " +
                                             std::to_string(size % kPoseBytes) + " bytes, which is dropped");
        return r;
    });
    state.poses = report.state;
    if (report.state == FileRead::Read) {
        level.poseCount = count;
        state.posesPastTable = std::move(past);
    } else {
        level.poseCount = 0;
    }
    return report;
}

bool mayReplace(FileRead state, const std::string& path) {
    switch (state) {
    case FileRead::Absent:
    case FileRead::Read: return true;
    case FileRead::NotRead: {
        struct stat st {};
        return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
    }
    case FileRead::Failed: break;
    }
    return false;
}

void writePoses(const Level& level, const std::string& path) {
    SettingsState state;
    state.poses = FileRead::Read;
    writePoses(level, path, state);
}

void writePoses(const Level& level, const std::string& path, const SettingsState& state) {
    if (!mayReplace(state.poses, path)) return;
    const int n = level.poseCount < 0 ? 0 : (level.poseCount > kMaxPoses ? kMaxPoses : level.poseCount);
    std::string data(reinterpret_cast<const char*>(level.poseTable), static_cast<std::size_t>(n) * kPoseBytes);
    data += state.posesPastTable;
    writeFileAtomic(path, data);
}

SettingsRec readSettings(const std::string& path) {
    return withFileContext("Reading", path, [&] {
        BinFile f(path, BinFile::Mode::Read);
        SettingsRec rec;
        f.readExact(&rec, sizeof rec);
        if (f.size() > static_cast<std::int64_t>(sizeof rec))
            throw Error("The file holds " + std::to_string(f.size()) + " bytes; a settings file holds " +
                        std::to_string(sizeof rec));
        f.close();
        if ((rec.spriteBoxColor | rec.sectorColor) >> 24 != 0)
            throw Error("The file holds no colours; it is not a settings file");
        if (holdsNul(rec.workFolder.str())) throw Error("The work directory it names is not a path");
        return rec;
    });
}

ReadReport readSettings(EditorSettings& settings, const std::string& path, SettingsState& state) {
    if (!fileExists(path) && !dirExists(path)) {
        state.settings = FileRead::Absent;
        return {};
    }
    SettingsRec rec;
    ReadReport report = guarded(path, [&] {
        rec = readSettings(path);
        return ReadReport{FileRead::Read, {}};
    });
    state.settings = report.state;
    if (report.state == FileRead::Read) {
        settings.spriteBoxColor = rec.spriteBoxColor;
        settings.sectorColor = rec.sectorColor;
        settings.workFolder = rec.workFolder.str();
    }
    return report;
}

void writeSettings(const EditorSettings& settings, const std::string& path) {
    SettingsRec rec;
    std::memset(&rec, 0, sizeof rec);
    rec.spriteBoxColor = settings.spriteBoxColor;
    rec.sectorColor = settings.sectorColor;
    rec.workFolder.set(settings.workFolder);
    writeFileAtomic(path, std::string_view(reinterpret_cast<const char*>(&rec), sizeof rec));
}

void writeSettings(const EditorSettings& settings, const std::string& path, const SettingsState& state) {
    if (!mayReplace(state.settings, path)) return;
    writeSettings(settings, path);
}

std::string homeFolderFilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/" + homefiles::kHomeFolderPointer;
}

ReadReport readHomeFolderFile(const std::string& path, std::string& homeFolder) {
    if (!fileExists(path) && !dirExists(path)) return {};
    std::string folder;
    ReadReport report = guarded(path, [&] {
        folder = readWholeFile(path, kMaxHomeFolderFile);
        // A line end or spaces after the path are not part of it.
        while (!folder.empty() && (folder.back() == ' ' || folder.back() == '\r' || folder.back() == '\n'))
            folder.pop_back();
        if (folder.empty()) throw Error("The file names no folder");
        if (holdsNul(folder)) throw Error("The file holds no folder path");
        if (!dirExists(folder)) throw Error("The folder \"" + folder + "\" it names does not exist");
        return ReadReport{FileRead::Read, {}};
    });
    if (report.state == FileRead::Read) homeFolder = folder;
    return report;
}

int readFrameRateCap(const std::string& path) {
    if (!fileExists(path)) return -1;
    const std::string text = readWholeFile(path, 4096);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    const std::string number = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    const char* begin = number.data() + (number.size() > 1 && number[0] == '+' ? 1 : 0);
    const char* end = number.data() + number.size();
    int n = -1;
    const auto [stop, error] = std::from_chars(begin, end, n);
    if (error != std::errc() || stop != end || n < 0 || n > 1000)
        throw Error(path + ": a frame-rate cap is a number from 0 to 1000, not \"" + cutText(number, 40) + "\"");
    return n;
}

}  // namespace slv
