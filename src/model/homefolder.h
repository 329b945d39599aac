// Which folder the editor uses as its home folder, and the set-up of the
// user's own home folder from the installed demo on an installed editor's
// first start.
#pragma once

#include <string>

#include "settings.h"

namespace slv {

// How start-up came to its home folder.
enum class HomeSource {
    Pointer,      // corvatel.txt in the config folder names it
    StartFolder,  // the folder the editor was started from (also the fallback)
    OwnHome,      // the user's own home folder, set up on an earlier start
    NewOwnHome,   // the user's own home folder, set up from the demo just now
};

struct HomeFolderChoice {
    std::string folder;
    HomeSource source = HomeSource::StartFolder;
    ReadReport pointer;   // how corvatel.txt was read (Absent when there is none)
    std::string problem;  // why the own home folder could not be set up, else empty
};

// True when `folder` holds any of the home files (pictures, actor, settings).
bool holdsHomeFiles(const std::string& folder);

// The user's own home folder: $XDG_DATA_HOME/slvedit/home, or
// ~/.local/share/slvedit/home when that is unset or not an absolute path;
// empty when neither variable gives a place.
std::string ownHomeFolder();

// The demo home folder installed with the editor whose program lies in
// `programFolder` (<prefix>/bin -> <prefix>/share/slvedit/demo); empty when
// the editor is not an installed one (it runs from its build folder).
std::string installedDemoFolder(const std::string& programFolder);

// Picks the home folder. A readable corvatel.txt wins; an unreadable one is
// reported and the start folder is used, as is a start folder that holds any
// of the home files. Otherwise an installed editor (`demoFolder` not empty)
// uses the own home folder, making it from the demo when it does not exist
// yet. What is already there is never overwritten. When the set-up fails,
// `problem` says why and the start folder is used.
HomeFolderChoice chooseHomeFolder(const std::string& startFolder, const std::string& demoFolder);

// Copies `demoFolder` to `home`, which must not exist yet. The copy is made
// beside `home` under a temporary name and renamed into place when complete,
// so an interrupted set-up leaves no half home folder. Returns false, with
// nothing changed, when `home` appeared meanwhile. Throws FileError.
bool setUpHomeFolder(const std::string& demoFolder, const std::string& home);

}  // namespace slv
