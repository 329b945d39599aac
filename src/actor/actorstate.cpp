#include "actorstate.h"

#include <cstring>

#include "model/errors.h"

namespace slv {

namespace {
void checkNumber(int number, int last) {
    if (number < 1 || number > last) throw Error("Range check error");
}
}  // namespace

ActorState::ActorState() {
    std::memset(skinTable, 0, sizeof skinTable);
    std::memset(commandTable, 0, sizeof commandTable);
}

SkinRec& ActorState::skin(int number) { checkNumber(number, kMaxSkins); return skinTable[number - 1]; }
const SkinRec& ActorState::skin(int number) const {
    checkNumber(number, kMaxSkins);
    return skinTable[number - 1];
}
CommandRec& ActorState::command(int number) {
    checkNumber(number, kMaxCommands);
    return commandTable[number - 1];
}
const CommandRec& ActorState::command(int number) const {
    checkNumber(number, kMaxCommands);
    return commandTable[number - 1];
}

void ActorState::takeTables(const SkinTables& tables) {
    std::memcpy(skinTable, tables.skins.data(), kSkinsBytes);
    std::memcpy(commandTable, tables.commands.data(), kCommandsBytes);
    skinCount = tables.skinCount;
    commandCount = tables.commandCount;
    firstSkin = tables.packageName.firstSkin;
    packageName = tables.packageName.packageName.str();
}

void loadSkinPackage(ActorState& actor, const std::string& path, const SkinHooks& hooks) {
    // Everything is read and loaded first: only then do the actor's tables change.
    actor.takeTables(*readSkinPackage(path, hooks));
}

}  // namespace slv
