// The home folder start-up picks, from the situations an editor meets:
// started in a prepared folder, pointed elsewhere by corvatel.txt, or
// installed and started from the desktop menu in a folder without home files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/error_text.h"
#include "common/files.h"
#include "common/tempdir.h"
#include "model/homefolder.h"

namespace fs = std::filesystem;
using slv::HomeSource;
using slvtest::TempDir;

namespace {

// Sets an environment variable for the life of the object, then puts back the old value.
class EnvVar {
public:
    EnvVar(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~EnvVar() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

enum class Pointer { None, Valid, MissingFolder };
enum class Own { Absent, UserFolder, IsAFile, ParentIsAFile };
enum class DataHome { Set, Unset, Relative };

struct Situation {
    const char* name;
    std::vector<std::string> startFiles;  // files in the folder the editor starts from
    Pointer pointer;
    bool installed;
    Own own;
    DataHome dataHome;
    HomeSource source;     // and so the folder: the start folder, the one pointed to or the own home
    const char* problem;   // a part of the expected problem, "" for none
    bool pointerReported;  // corvatel.txt's report carries a message
};

void PrintTo(const Situation& s, std::ostream* os) { *os << s.name; }

const Situation kSituations[] = {
    {"StartFolderWithBackdrop", {"car.bmp"}, Pointer::None, true, Own::Absent, DataHome::Set,
     HomeSource::StartFolder, "", false},
    {"StartFolderWithSettingsOnly", {"corvatel.cf"}, Pointer::None, true, Own::Absent, DataHome::Set,
     HomeSource::StartFolder, "", false},
    {"StartFolderWithActorOnly", {"actors/test.skn"}, Pointer::None, true, Own::Absent, DataHome::Set,
     HomeSource::StartFolder, "", false},
    {"StartFolderWithFrameCountsOnly", {"totposes.dat"}, Pointer::None, true, Own::UserFolder, DataHome::Set,
     HomeSource::StartFolder, "", false},
    {"PointerWins", {}, Pointer::Valid, true, Own::Absent, DataHome::Set, HomeSource::Pointer, "", false},
    {"PointerWinsOverHomeFiles", {"car.bmp"}, Pointer::Valid, true, Own::UserFolder, DataHome::Set,
     HomeSource::Pointer, "", false},
    {"BrokenPointerReportedStartFolderUsed", {}, Pointer::MissingFolder, true, Own::Absent, DataHome::Set,
     HomeSource::StartFolder, "", true},
    {"BuildFolderEditorKeepsStartFolder", {}, Pointer::None, false, Own::Absent, DataHome::Set,
     HomeSource::StartFolder, "", false},
    {"BuildFolderEditorIgnoresOwnHome", {}, Pointer::None, false, Own::UserFolder, DataHome::Set,
     HomeSource::StartFolder, "", false},
    {"FirstStartMakesOwnHome", {}, Pointer::None, true, Own::Absent, DataHome::Set, HomeSource::NewOwnHome, "", false},
    {"FirstStartInUnrelatedFiles", {"notes.txt", "level.slv"}, Pointer::None, true, Own::Absent,
     DataHome::Set, HomeSource::NewOwnHome, "", false},
    {"LaterStartUsesOwnHomeAsItIs", {}, Pointer::None, true, Own::UserFolder, DataHome::Set,
     HomeSource::OwnHome, "", false},
    {"DataHomeUnsetMeansLocalShare", {}, Pointer::None, true, Own::Absent, DataHome::Unset,
     HomeSource::NewOwnHome, "", false},
    {"RelativeDataHomeIsIgnored", {}, Pointer::None, true, Own::Absent, DataHome::Relative,
     HomeSource::NewOwnHome, "", false},
    {"OwnHomeIsAFile", {}, Pointer::None, true, Own::IsAFile, DataHome::Set, HomeSource::StartFolder,
     "It is not a folder", false},
    {"OwnHomeCannotBeMade", {}, Pointer::None, true, Own::ParentIsAFile, DataHome::Set,
     HomeSource::StartFolder, "Setting up the home folder", false},
};

// Every file below `root`, as paths relative to it, with their bytes.
std::vector<std::pair<std::string, std::string>> treeOf(const fs::path& root) {
    std::vector<std::pair<std::string, std::string>> files;
    for (auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files.emplace_back(fs::relative(e.path(), root).string(), slvtest::readFile(e.path().string()));
    std::sort(files.begin(), files.end());
    return files;
}

class HomeFolderTest : public ::testing::TestWithParam<Situation> {};

TEST_P(HomeFolderTest, PicksTheFolderAndNeverOverwrites) {
    const Situation& s = GetParam();
    TempDir t;
    const std::string start = t / "start", demo = t / "share/slvedit/demo", pointed = t / "elsewhere";
    const std::string home = t / "user", config = t / "config", data = t / "data";
    for (const std::string& d : {start, demo, pointed, home, config, data}) fs::create_directories(d);
    for (const std::string& f : s.startFiles) slvtest::writeFile(start + "/" + f, "start " + f);
    for (const char* f : {"car.bmp", "pad01.bmp", "purple.bmp", "screen1.bmp", "actors/test.skn", "backpx/city.bmp"})
        slvtest::writeFile(demo + "/" + f, std::string("demo ") + f);
    if (s.pointer == Pointer::Valid) slvtest::writeFile(config + "/corvatel.txt", pointed + "\n");
    if (s.pointer == Pointer::MissingFolder) slvtest::writeFile(config + "/corvatel.txt", t / "gone");

    const std::string dataBase = s.dataHome == DataHome::Set ? data : home + "/.local/share";
    const std::string own = dataBase + "/slvedit/home";
    switch (s.own) {
    case Own::Absent: break;
    case Own::UserFolder: slvtest::writeFile(own + "/car.bmp", "mine"); break;
    case Own::IsAFile: slvtest::writeFile(own, "a file"); break;
    case Own::ParentIsAFile: slvtest::writeFile(dataBase + "/slvedit", "a file"); break;
    }
    const auto before = treeOf(t.path());

    EnvVar envHome("HOME", home);
    EnvVar envConfig("XDG_CONFIG_HOME", config);
    EnvVar envData("XDG_DATA_HOME", s.dataHome == DataHome::Set        ? std::optional<std::string>(data)
                                    : s.dataHome == DataHome::Relative ? std::optional<std::string>("rel/data")
                                                                       : std::nullopt);
    const slv::HomeFolderChoice c = slv::chooseHomeFolder(start, s.installed ? demo : std::string());

    EXPECT_EQ(c.source, s.source);
    EXPECT_EQ(c.folder, s.source == HomeSource::StartFolder ? start : s.source == HomeSource::Pointer ? pointed : own);
    EXPECT_TRUE(mentions(c.problem, s.problem)) << c.problem;
    EXPECT_EQ(!c.pointer.message.empty(), s.pointerReported) << c.pointer.message;

    // Only a new own home folder adds files, and it is a copy of the demo;
    // nothing that was there changes.
    auto after = treeOf(t.path());
    if (s.source == HomeSource::NewOwnHome) {
        EXPECT_EQ(treeOf(own), treeOf(demo));
        EXPECT_EQ(slvtest::modeOf(own), slvtest::modeOf(demo));
        std::erase_if(after, [&](const auto& f) { return ("/" + f.first).find("/slvedit/home/") != std::string::npos; });
    }
    EXPECT_EQ(after, before);
    if (fs::is_directory(dataBase + "/slvedit")) {
        EXPECT_EQ(slvtest::leftoverParts(dataBase + "/slvedit"), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Situations, HomeFolderTest, ::testing::ValuesIn(kSituations),
                         [](const auto& info) { return std::string(info.param.name); });

// Where an editor finds the demo it was installed with.
struct Layout {
    const char* name;
    std::vector<std::string> folders;  // made under the scratch folder
    const char* program;               // the program's folder, under the scratch folder
    bool found;
};

void PrintTo(const Layout& l, std::ostream* os) { *os << l.name; }

class InstalledDemoTest : public ::testing::TestWithParam<Layout> {};

TEST_P(InstalledDemoTest, FoundBesideTheProgramsFolder) {
    const Layout& l = GetParam();
    TempDir t;
    for (const std::string& f : l.folders) fs::create_directories(t / f);
    const std::string found = slv::installedDemoFolder(*l.program ? t / l.program : std::string());
    EXPECT_EQ(fs::path(found), l.found ? fs::canonical(t / "usr/share/slvedit/demo") : fs::path());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, InstalledDemoTest,
    ::testing::Values(Layout{"Installed", {"usr/bin", "usr/share/slvedit/demo"}, "usr/bin", true},
                      Layout{"ProgramFolderWithTrailingSlash", {"usr/bin", "usr/share/slvedit/demo"}, "usr/bin/", true},
                      Layout{"BuildFolder", {"build/demo"}, "build", false},
                      Layout{"NothingInstalledBesideIt", {"usr/bin", "usr/share/slvedit"}, "usr/bin", false},
                      Layout{"NoProgramFolder", {}, "", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A home folder that appears while the copy is being made stays as it is.
TEST(HomeFolderSetUpTest, FolderThatAppearedMeanwhileIsKept) {
    TempDir t;
    slvtest::writeFile(t / "demo/car.bmp", "demo");
    slvtest::writeFile(t / "own/home/car.bmp", "mine");
    EXPECT_FALSE(slv::setUpHomeFolder(t / "demo", t / "own/home"));
    EXPECT_EQ(slvtest::readFile(t / "own/home/car.bmp"), "mine");
    EXPECT_EQ(slvtest::leftoverParts(t.path() / "own"), 0);
}

}  // namespace
