#include "recovery.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

#include "model/errors.h"
#include "model/fileio.h"
#include "package/levelio.h"

namespace slv {

namespace {

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

RecoveryWriter::RecoveryWriter(std::string folder) : folder_(std::move(folder)) {}

RecoveryWriter::~RecoveryWriter() { wait(); }

std::string RecoveryWriter::defaultFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/') return joinPath(state, "slvedit");
    const char* home = std::getenv("HOME");
    return joinPath(joinPath(home && *home ? home : "/tmp", ".local/state"), "slvedit");
}

std::string RecoveryWriter::packagePath() const { return joinPath(folder_, "recovery.slv"); }
std::string RecoveryWriter::notePath() const { return joinPath(folder_, "recovery.txt"); }
bool RecoveryWriter::exists() const { return fileExists(packagePath()); }

std::string RecoveryWriter::levelPathNote() const {
    std::ifstream in(notePath(), std::ios::binary);
    std::string text;
    std::getline(in, text, '\0');
    return text;
}

bool RecoveryWriter::start(std::unique_ptr<Level> snapshot, const std::string& levelPath) {
    if (busy_) return false;
    if (worker_.joinable()) worker_.join();
    busy_ = true;
    worker_ = std::thread([this, level = std::move(snapshot), levelPath] {
        std::string error;
        try {
            makeFolders(folder_);
            PackageHooks quiet;
            saveLevel(*level, packagePath(), quiet);
            writeNote(notePath(), levelPath);
        } catch (const std::exception& e) {
            error = e.what();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lastError_ = error;
        }
        busy_ = false;
    });
    return true;
}

void RecoveryWriter::wait() {
    if (worker_.joinable()) worker_.join();
}

void RecoveryWriter::remove() {
    wait();
    std::remove(packagePath().c_str());
    std::remove(notePath().c_str());
}

std::string RecoveryWriter::lastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

}  // namespace slv
