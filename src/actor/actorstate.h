// The test actor the view shows over the level: the skin and command tables
// of the actor's skin package, the skin shown, the last command taken and the
// keys held. The skin package comes from the editor's home folder; nothing of
// it is part of a level, saved or undone. The window owns one.
#pragma once

#include <cstdint>
#include <string>

#include "model/level.h"
#include "package/skinpackage.h"

namespace slv {

struct ActorState {
    ActorState();

    // ---- the skin package's tables (raw storage, in file order) ----
    SkinRec skinTable[kMaxSkins];          // [i-1]
    CommandRec commandTable[kMaxCommands]; // [i-1]
    std::int32_t skinCount = 0;
    std::int32_t commandCount = 0;
    std::int32_t firstSkin = 0;  // the skin the actor starts with
    std::string packageName;

    // ---- checked accessors (1-based) ----
    SkinRec& skin(int number);            // 1..300
    const SkinRec& skin(int number) const;
    CommandRec& command(int number);      // 1..1000
    const CommandRec& command(int number) const;

    // ---- what the keys did ----
    std::int32_t currentSkin = 0;   // 0 before a skin package is loaded
    std::int32_t lastCommand = -1;  // the command taken last; -1 for none
    std::int32_t heldKeys[3] = {-1, -1, -1};
    bool releasePending = false;  // a key of a one-shot skin's command went up: switch back at its end

    // Takes the tables of a skin package that was read whole.
    void takeTables(const SkinTables& tables);
};

// Reads the skin package at `path` (see slv::readSkinPackage) into the actor's
// tables. On failure the tables keep what they held.
void loadSkinPackage(ActorState& actor, const std::string& path, const SkinHooks& hooks);

}  // namespace slv
