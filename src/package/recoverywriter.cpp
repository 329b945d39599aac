#include "recoverywriter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/errors.h"
#include "model/fileio.h"
#include "package/levelio.h"

namespace slv {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSessionPrefix = "session-";
constexpr const char* kMakingPrefix = ".new-";  // a session folder being made
constexpr const char* kLockName = "lock";
constexpr const char* kPackageName = "recovery.slv";
constexpr const char* kNoteName = "recovery.txt";

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

void makeFolders(const std::string& folder) {
    // Every level of the path, quietly: existing folders are fine.
    for (std::size_t at = 1; at <= folder.size(); ++at)
        if (at == folder.size() || folder[at] == '/') ::mkdir(folder.substr(0, at).c_str(), 0700);
}

void writeNote(const std::string& path, const std::string& text) {
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) throw Error("Cannot write " + temp);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw Error("Cannot write " + path);
    }
}

}  // namespace

std::string RecoveryWriter::readNote(const std::string& path) {
    // Read like every file of the state folder: no waiting on a FIFO, no
    // link followed, nothing but a regular file of a sensible length. A
    // note that cannot be read names no package: the level is a new one.
    std::string text;
    try {
        text = readWholeFile(path, kMaxNoteBytes, Links::Refuse);
    } catch (const Error&) {
        return {};
    }
    const std::size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    return text;
}

namespace {

std::string uniqueId() {
    std::random_device random;
    char id[40];
    std::snprintf(id, sizeof id, "%ld-%08x", static_cast<long>(::getpid()), static_cast<unsigned>(random()));
    return id;
}

// Removes a folder and everything in it; symbolic links inside are removed,
// never followed.
void removeTree(const std::string& folder) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// The names in a folder that are real folders (not links) starting with one
// of the session prefixes.
std::vector<std::string> sessionEntries(const std::string& stateFolder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(stateFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!startsWith(name, kSessionPrefix) && !startsWith(name, kMakingPrefix)) continue;
        std::error_code typeError;
        if (it->symlink_status(typeError).type() == fs::file_type::directory) names.push_back(name);
    }
    return names;
}

}  // namespace

// ---- FolderLock ----

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool FolderLock::tryLock(const std::string& path, bool create) {
    release();
    std::string why;
    const int fd = openRegularFile(path, O_RDWR | (create ? O_CREAT : 0), Links::Refuse, why, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void FolderLock::release() {
    if (fd_ >= 0) ::close(fd_);  // closing the only descriptor lets go of the lock
    fd_ = -1;
}

// ---- RecoveryWriter ----

RecoveryWriter::RecoveryWriter(std::string stateFolder) : folder_(std::move(stateFolder)) {}

RecoveryWriter::~RecoveryWriter() { wait(); }

std::string RecoveryWriter::defaultFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/') return joinPath(state, "slvedit");
    const char* home = std::getenv("HOME");
    return joinPath(joinPath(home && *home ? home : "/tmp", ".local/state"), "slvedit");
}

std::vector<std::string> RecoveryWriter::packagesIn(const std::string& stateFolder) {
    std::vector<std::string> found;
    for (const std::string& name : sessionEntries(stateFolder)) {
        const std::string package = joinPath(joinPath(stateFolder, name), kPackageName);
        if (startsWith(name, kSessionPrefix) && fileExists(package)) found.push_back(package);
    }
    std::sort(found.begin(), found.end());
    return found;
}

const std::string& RecoveryWriter::claimSession() {
    if (!session_.empty()) return session_;
    makeFolders(folder_);
    const std::string id = uniqueId();
    const std::string making = joinPath(folder_, kMakingPrefix + id);
    const std::string made = joinPath(folder_, kSessionPrefix + id);
    if (::mkdir(making.c_str(), 0700) != 0) throw Error("Cannot create folder " + making);
    // Locked before it gets its final name, so that no other editor ever
    // sees this folder unlocked while this one runs.
    FolderLock lock;
    if (!lock.tryLock(joinPath(making, kLockName), true) || ::rename(making.c_str(), made.c_str()) != 0) {
        lock.release();
        removeTree(making);
        throw Error("Cannot create folder " + made);
    }
    lock_ = std::move(lock);
    session_ = made;
    return session_;
}

std::string RecoveryWriter::packagePath() const {
    return session_.empty() ? std::string() : joinPath(session_, kPackageName);
}
std::string RecoveryWriter::notePath() const {
    return session_.empty() ? std::string() : joinPath(session_, kNoteName);
}
bool RecoveryWriter::exists() const { return !session_.empty() && fileExists(packagePath()); }

bool RecoveryWriter::start(std::unique_ptr<Level> snapshot, const std::string& levelPath, UnwrittenPictures unwritten,
                           std::function<void(const std::string& error)> done) {
    if (busy_) return false;
    if (worker_.joinable()) worker_.join();
    try {
        claimSession();
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> lock(mutex_);
        lastError_ = e.what();
        return false;
    }
    busy_ = true;
    worker_ = std::thread([this, level = std::move(snapshot), levelPath, package = packagePath(),
                           note = notePath(), unwritten = std::move(unwritten), done = std::move(done)] {
        std::string error;
        try {
            PackageHooks quiet;
            saveLevel(*level, package, quiet, &unwritten);
            writeNote(note, levelPath);
        } catch (const std::exception& e) {
            error = e.what();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lastError_ = error;
        }
        busy_ = false;
        if (done) done(error);
    });
    return true;
}

void RecoveryWriter::writeNow(const Level& level, const std::string& levelPath, const UnwrittenPictures& unwritten) {
    wait();
    claimSession();
    auto copy = std::make_unique<Level>(level);
    PackageHooks quiet;
    saveLevel(*copy, packagePath(), quiet, &unwritten);
    writeNote(notePath(), levelPath);
    std::lock_guard<std::mutex> lock(mutex_);
    lastError_.clear();
}

void RecoveryWriter::wait() {
    if (worker_.joinable()) worker_.join();
}

void RecoveryWriter::remove() {
    wait();
    if (session_.empty()) return;
    std::remove(packagePath().c_str());
    std::remove(notePath().c_str());
}

void RecoveryWriter::removePictures() {
    if (session_.empty()) return;
    removeTree(joinPath(session_, "sprites"));
    removeTree(joinPath(session_, "backpx"));
}

void RecoveryWriter::close() {
    wait();
    if (session_.empty()) return;
    removeTree(session_);
    lock_.release();
    session_.clear();
}

std::string RecoveryWriter::lastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

void RecoveryWriter::adoptUnsharedPackage() {
    // Editors before session folders kept one package in the state folder
    // itself. It moves into a session folder of its own, left unlocked, so
    // that it is offered like the package of any editor that did not close.
    const std::string old = joinPath(folder_, kPackageName);
    if (!fileExists(old)) return;
    const std::string id = uniqueId();
    const std::string making = joinPath(folder_, kMakingPrefix + id);
    if (::mkdir(making.c_str(), 0700) != 0) return;
    FolderLock lock;
    if (!lock.tryLock(joinPath(making, kLockName), true) ||
        std::rename(old.c_str(), joinPath(making, kPackageName).c_str()) != 0) {
        lock.release();
        removeTree(making);
        return;
    }
    std::rename(joinPath(folder_, kNoteName).c_str(), joinPath(making, kNoteName).c_str());
    if (std::rename(making.c_str(), joinPath(folder_, kSessionPrefix + id).c_str()) != 0)
        std::rename(joinPath(making, kPackageName).c_str(), old.c_str());  // as it was
}

std::vector<LeftPackage> RecoveryWriter::claimLeftPackages() {
    adoptUnsharedPackage();
    std::vector<LeftPackage> left;
    for (const std::string& name : sessionEntries(folder_)) {
        LeftPackage p;
        p.folder = joinPath(folder_, name);
        if (p.folder == session_) continue;
        // A running editor holds its lock; a folder being made may have none yet.
        if (!p.lock.tryLock(joinPath(p.folder, kLockName), false)) continue;
        p.package = joinPath(p.folder, kPackageName);
        struct stat kind {};
        const bool regular = ::lstat(p.package.c_str(), &kind) == 0 && S_ISREG(kind.st_mode);
        if (startsWith(name, kMakingPrefix) || !regular) {
            discard(p);  // an ended editor with nothing to restore
            continue;
        }
        p.levelPath = readNote(joinPath(p.folder, kNoteName));
        struct stat st {};
        if (::stat(p.package.c_str(), &st) == 0)
            p.modified = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        left.push_back(std::move(p));
    }
    std::stable_sort(left.begin(), left.end(),
                     [](const LeftPackage& a, const LeftPackage& b) { return a.modified > b.modified; });
    return left;
}

void RecoveryWriter::discard(LeftPackage& left) {
    removeTree(left.folder);
    left.lock.release();
}

std::string RecoveryWriter::adopt(LeftPackage& left) {
    claimSession();
    wait();
    // The left package becomes this editor's own recovery copy at once, note
    // and all: should this editor end before it writes a newer copy, the
    // package is offered again at the next start.
    const std::string adopted = packagePath();
    if (std::rename(left.package.c_str(), adopted.c_str()) != 0) throw Error("Cannot open file " + left.package);
    // It is this editor's newest copy now, for the order packages are offered in.
    ::utimensat(AT_FDCWD, adopted.c_str(), nullptr, 0);
    try {
        writeNote(notePath(), left.levelPath);
    } catch (const std::exception&) {
        // Without its note the package is still offered, as a new level.
    }
    return adopted;
}

void RecoveryWriter::giveBack(LeftPackage& left, const std::string& adopted) {
    if (std::rename(adopted.c_str(), left.package.c_str()) == 0) std::remove(notePath().c_str());
}

}  // namespace slv
