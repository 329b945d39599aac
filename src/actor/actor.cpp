#include "actor.h"

#include <algorithm>

namespace slv {

namespace {

int skinCount(const ActorState& actor) { return std::clamp(actor.skinCount, 0, kMaxSkins); }
int commandCount(const ActorState& actor) { return std::clamp(actor.commandCount, 0, kMaxCommands); }

bool isOneshot(const ActorState& actor, int s) { return skinInUse(actor, s) && actor.skin(s).oneShot != 0; }

bool atLastFrame(const ActorState& actor, int s) {
    return skinInUse(actor, s) && actor.skin(s).frame == actor.skin(s).frameCount;
}

bool commandInTable(int i) { return i >= 1 && i <= kMaxCommands; }

// A command whose target skin is not in use is as good as absent.
bool leadsToSkin(const ActorState& actor, const CommandRec& c) { return skinInUse(actor, c.to); }

// Virtual-key codes are 16-bit; 0 is the code of a key without one.
bool isKeyCode(int key) { return key >= 1 && key <= 65535; }

bool isKeyOf(const CommandRec& c, int key) {
    return key != -1 && (c.key1 == key || c.key2 == key || c.key3 == key);
}

}  // namespace

bool skinInUse(const ActorState& actor, int s) { return s >= 1 && s <= skinCount(actor); }

bool isHeldKey(int key, int h1, int h2, int h3) { return key == h1 || key == h2 || key == h3; }

bool commandMatchesHeldKeys(const ActorState& actor, int i) {
    if (!commandInTable(i)) return false;
    const CommandRec& c = actor.command(i);
    const int h1 = actor.heldKeys[0], h2 = actor.heldKeys[1], h3 = actor.heldKeys[2];
    const bool noKeys = c.key1 == -1 && c.key2 == -1 && c.key3 == -1;
    if (h1 == -1 && h2 == -1 && h3 == -1) return noKeys;
    if (noKeys) return false;
    for (int k : {c.key1, c.key2, c.key3})
        if (k != -1 && !isHeldKey(k, h1, h2, h3)) return false;
    return true;
}

void updateActorSkin(ActorState& actor) {
    const int old = actor.currentSkin;

    if (actor.releasePending && atLastFrame(actor, actor.currentSkin)) {
        if (commandInTable(actor.lastCommand)) {
            int back = actor.command(actor.lastCommand).back;
            if (skinInUse(actor, back)) actor.currentSkin = back;
        }
        actor.releasePending = false;
    }

    const int n = commandCount(actor);
    if (skinInUse(actor, actor.currentSkin) && !isOneshot(actor, actor.currentSkin)) {
        for (int i = 1; i <= n; ++i) {
            const CommandRec& c = actor.command(i);
            if (c.from == actor.currentSkin && leadsToSkin(actor, c) && commandMatchesHeldKeys(actor, i)) {
                actor.currentSkin = c.to;
                actor.lastCommand = i;
                break;
            }
        }
    }

    if (isOneshot(actor, actor.currentSkin) && atLastFrame(actor, actor.currentSkin)) {
        for (int i = 1; i <= n; ++i) {
            const CommandRec& c = actor.command(i);
            if (c.from == actor.currentSkin && leadsToSkin(actor, c)) {
                actor.currentSkin = c.to;
                actor.lastCommand = i;
                break;
            }
        }
    }

    if (actor.currentSkin != old) {
        const int m = skinCount(actor);
        for (int s = 1; s <= m; ++s) actor.skin(s).frame = 1;
    }
}

void actorKeyDown(ActorState& actor, int key) {
    if (!isKeyCode(key)) {
        updateActorSkin(actor);
        return;
    }
    if (actor.heldKeys[0] == -1 && key != actor.heldKeys[1] && key != actor.heldKeys[2]) actor.heldKeys[0] = key;
    if (actor.heldKeys[1] == -1 && key != actor.heldKeys[0] && key != actor.heldKeys[2]) actor.heldKeys[1] = key;
    if (actor.heldKeys[2] == -1 && key != actor.heldKeys[0] && key != actor.heldKeys[1]) actor.heldKeys[2] = key;
    updateActorSkin(actor);
}

void actorKeyUp(ActorState& actor, int key) {
    if (!isKeyCode(key)) return;
    if (actor.heldKeys[0] == key) actor.heldKeys[0] = -1;
    if (actor.heldKeys[1] == key) actor.heldKeys[1] = -1;
    if (actor.heldKeys[2] == key) actor.heldKeys[2] = -1;
    if (actor.lastCommand == -1 || !commandInTable(actor.lastCommand)) return;
    const CommandRec& c = actor.command(actor.lastCommand);
    if (!isKeyOf(c, key)) return;
    if (!isOneshot(actor, actor.currentSkin) && skinInUse(actor, c.back)) actor.currentSkin = c.back;
    if (isOneshot(actor, actor.currentSkin)) actor.releasePending = true;
}

namespace {
void nextFrame(int& frame, int frameCount) {
    frame += 1;
    if (frame < 1 || frame > frameCount) frame = 1;
}
}  // namespace

void advanceActorFrame(ActorState& actor) {
    if (skinInUse(actor, actor.currentSkin)) nextFrame(actor.skin(actor.currentSkin).frame, actor.skin(actor.currentSkin).frameCount);
}

}  // namespace slv
