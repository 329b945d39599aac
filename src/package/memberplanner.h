// The file names the members of one package get in one folder, decided
// before anything is written.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace slv {

class MemberExtractor;
class MemberFolder;

// Where one member goes.
struct PlannedFile {
    std::string name;     // the file name in its folder
    bool create = false;  // true: a new file; false: an existing file with the member's bytes is shared
};

// Plans the members of one package in one folder. A member's name is kept
// when it is free; a taken name goes on to "stem~2.ext", "stem~3.ext", ...
// until a free one. A regular file on the way that holds the member's bytes
// is shared instead of written again; a member planned earlier in this run
// is shared only by a member of the same entry name (or any member with
// `shareAcrossEntries`). A symbolic link on the way is an error.
//
// Every file of the folder is examined at most once (one stat, and one read
// when its size is that of a member of its name), and what this run planned
// is kept in memory (name, size, a hash of the bytes), so that a package of
// many members of one name plans in time linear in its size.
class MemberPlanner {
public:
    // `folder` may be null: the folder does not exist yet and every name is free.
    MemberPlanner(const MemberExtractor& package, const MemberFolder* folder, std::string folderPath,
                  bool shareAcrossEntries = false);

    // Plans the member `entry` (`size` bytes at `offset` of the package)
    // under `name`. Throws slv::Error when no name is free or a link is met.
    PlannedFile plan(const std::string& name, const std::string& entry, std::int64_t offset, std::int64_t size);

    // File-system calls made on the folder's entries so far.
    std::size_t filesExamined() const { return examined_; }

private:
    struct Candidate {
        std::string name;
        std::int64_t size = -1;      // -1: not a regular file
        bool onDisk = false;         // an existing file; else planned in this run
        std::string entry;           // planned: the member's entry name
        std::int64_t offset = 0;     // planned: where its bytes are in the package
        bool hashed = false;
        std::uint64_t hash = 0;
    };
    struct Group {  // the names stem~N.ext of one member name
        int next = 1;
        std::unordered_map<std::int64_t, std::vector<std::size_t>> unhashed;  // by size
        std::unordered_map<std::uint64_t, std::vector<std::size_t>> byKey;    // by size and hash
        std::unordered_map<std::int64_t, int> sizes;                          // how many of each size
    };
    struct Member {
        const std::string& entry;
        std::int64_t offset, size;
        bool hashed = false;
        std::uint64_t hash = 0;
    };

    std::uint64_t memberHash(Member& m);
    std::uint64_t candidateHash(Candidate& c);
    void addToGroup(Group& g, std::size_t index);
    // An already known candidate of the group that can be shared, or -1.
    long findShared(Group& g, Member& m);
    bool canShare(Candidate& c, Member& m);

    const MemberExtractor& package_;
    const MemberFolder* folder_;
    std::string folderPath_;
    bool shareAcrossEntries_;
    std::vector<Candidate> candidates_;
    std::unordered_map<std::string, std::size_t> byName_;
    std::unordered_map<std::string, Group> groups_;
    std::size_t examined_ = 0;
    std::vector<char> bufA_, bufB_;
};

}  // namespace slv
