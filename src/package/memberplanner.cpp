#include "memberplanner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string_view>

#include "extract.h"
#include "model/errors.h"
#include "model/fileio.h"

namespace slv {

namespace {

constexpr int kMaxNumberedNames = 10000;
constexpr std::size_t kChunkBytes = 1 << 20;

std::uint64_t keyOf(std::int64_t size, std::uint64_t hash) {
    return hash ^ (static_cast<std::uint64_t>(size) * 0x9E3779B97F4A7C15ull);
}

// Reads `n` bytes at `offset` of a descriptor; fewer at its end.
std::size_t preadFully(int fd, char* p, std::size_t n, std::int64_t offset) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, p + got, n - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<std::size_t>(r);
    }
    return got;
}

// The hash of `size` bytes given chunk by chunk by `read` (false: the bytes
// could not all be read).
bool hashBytes(std::int64_t size, std::vector<char>& buf,
               const std::function<std::size_t(std::int64_t at, char* p, std::size_t n)>& read, std::uint64_t& hash) {
    buf.resize(kChunkBytes);
    std::uint64_t h = 1469598103934665603ull ^ static_cast<std::uint64_t>(size);
    for (std::int64_t done = 0; done < size;) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(size - done, kChunkBytes));
        if (read(done, buf.data(), want) != want) return false;
        h = (h ^ std::hash<std::string_view>{}(std::string_view(buf.data(), want))) * 1099511628211ull;
        done += static_cast<std::int64_t>(want);
    }
    hash = h;
    return true;
}

// A file of the folder opened for reading, never through a link and never
// waiting; -1 when it cannot be or is not a regular file.
int openCandidate(const MemberFolder& folder, const std::string& name) {
    const int fd = ::openat(folder.fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

MemberPlanner::MemberPlanner(const MemberExtractor& package, const MemberFolder* folder, std::string folderPath,
                             bool shareAcrossEntries)
    : package_(package), folder_(folder), folderPath_(std::move(folderPath)), shareAcrossEntries_(shareAcrossEntries) {
    if (!folderPath_.empty() && folderPath_.back() != '/') folderPath_ += '/';
}

std::uint64_t MemberPlanner::memberHash(Member& m) {
    if (!m.hashed) {
        hashBytes(m.size, bufA_,
                  [&](std::int64_t at, char* p, std::size_t n) { return package_.readAt(m.offset + at, p, n); }, m.hash);
        m.hashed = true;
    }
    return m.hash;
}

std::uint64_t MemberPlanner::candidateHash(Candidate& c) {
    if (c.hashed) return c.hash;
    c.hashed = true;
    if (!c.onDisk) {
        hashBytes(c.size, bufA_,
                  [&](std::int64_t at, char* p, std::size_t n) { return package_.readAt(c.offset + at, p, n); }, c.hash);
        return c.hash;
    }
    ++examined_;
    const int fd = folder_ ? openCandidate(*folder_, c.name) : -1;
    if (fd < 0 || !hashBytes(c.size, bufA_, [&](std::int64_t at, char* p, std::size_t n) { return preadFully(fd, p, n, at); },
                             c.hash))
        c.size = -1;  // unreadable: never shared
    if (fd >= 0) ::close(fd);
    return c.hash;
}

void MemberPlanner::addToGroup(Group& g, std::size_t index) {
    Candidate& c = candidates_[index];
    if (c.size < 0) return;
    ++g.sizes[c.size];
    if (c.hashed) g.byKey[keyOf(c.size, c.hash)].push_back(index);
    else g.unhashed[c.size].push_back(index);
}

bool MemberPlanner::canShare(Candidate& c, Member& m) {
    if (c.size != m.size) return false;
    if (!c.onDisk && !shareAcrossEntries_ && c.entry != m.entry) return false;
    bufA_.resize(kChunkBytes);
    bufB_.resize(kChunkBytes);
    int fd = -1;
    if (c.onDisk) {
        ++examined_;
        fd = folder_ ? openCandidate(*folder_, c.name) : -1;
        if (fd < 0) return false;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || st.st_size != m.size) {
            ::close(fd);
            return false;
        }
    } else if (c.offset == m.offset) {
        return true;
    }
    bool same = true;
    for (std::int64_t done = 0; same && done < m.size;) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(m.size - done, kChunkBytes));
        const std::size_t a = package_.readAt(m.offset + done, bufA_.data(), want);
        const std::size_t b = c.onDisk ? preadFully(fd, bufB_.data(), want, done)
                                       : package_.readAt(c.offset + done, bufB_.data(), want);
        same = a == want && b == want && std::memcmp(bufA_.data(), bufB_.data(), want) == 0;
        done += static_cast<std::int64_t>(want);
    }
    if (fd >= 0) ::close(fd);
    return same;
}

long MemberPlanner::findShared(Group& g, Member& m) {
    if (g.sizes.find(m.size) == g.sizes.end()) return -1;
    if (auto u = g.unhashed.find(m.size); u != g.unhashed.end()) {
        const std::vector<std::size_t> waiting = std::move(u->second);
        g.unhashed.erase(u);
        for (std::size_t i : waiting) {
            Candidate& c = candidates_[i];
            candidateHash(c);
            if (c.size >= 0) g.byKey[keyOf(c.size, c.hash)].push_back(i);
        }
    }
    auto k = g.byKey.find(keyOf(m.size, memberHash(m)));
    if (k == g.byKey.end()) return -1;
    for (std::size_t i : k->second) {
        Candidate& c = candidates_[i];
        if (c.hash == m.hash && canShare(c, m)) return static_cast<long>(i);
    }
    return -1;
}

PlannedFile MemberPlanner::plan(const std::string& name, const std::string& entry, std::int64_t offset,
                                std::int64_t size) {
    if (size < 0) throw Error("Invalid member size " + std::to_string(size));
    Group& g = groups_[name];
    Member m{entry, offset, size};
    if (long shared = findShared(g, m); shared >= 0) return {candidates_[static_cast<std::size_t>(shared)].name, false};
    for (;;) {
        if (g.next > kMaxNumberedNames) throw Error("No free file name for \"" + folderPath_ + name + "\"");
        std::string candidate = numberedName(name, g.next++);
        if (auto it = byName_.find(candidate); it != byName_.end()) {
            // Met before, under another member's name.
            addToGroup(g, it->second);
            if (canShare(candidates_[it->second], m)) return {candidate, false};
            continue;
        }
        struct stat st {};
        bool exists = false;
        if (folder_) {
            ++examined_;
            if (::fstatat(folder_->fd(), candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) exists = true;
            else if (errno != ENOENT)
                throw Error("Cannot inspect \"" + folderPath_ + candidate + "\": " + fileErrorText(errno));
        }
        Candidate c;
        c.name = candidate;
        if (!exists) {
            c.size = size;
            c.entry = entry;
            c.offset = offset;
            c.hashed = m.hashed;
            c.hash = m.hash;
        } else {
            if (S_ISLNK(st.st_mode))
                throw Error("\"" + folderPath_ + candidate + "\" is a symbolic link: nothing is extracted through links");
            c.onDisk = true;
            c.size = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : -1;
        }
        const std::size_t index = candidates_.size();
        candidates_.push_back(std::move(c));
        byName_.emplace(candidate, index);
        addToGroup(g, index);
        if (!exists) return {candidate, true};
        if (canShare(candidates_[index], m)) return {candidate, false};
    }
}

}  // namespace slv
