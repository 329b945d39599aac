#include "actor.h"

#include <algorithm>

namespace slv {

namespace {

int skinCount(const Level& lv) { return std::clamp(lv.skinCount, 0, kMaxSkins); }
int commandCount(const Level& lv) { return std::clamp(lv.commandCount, 0, kMaxCommands); }

bool isOneshot(const Level& lv, int s) { return skinInUse(lv, s) && lv.skin(s).oneShot != 0; }

bool atLastFrame(const Level& lv, int s) {
    return skinInUse(lv, s) && lv.skin(s).frame == lv.skin(s).frameCount;
}

bool commandInTable(int i) { return i >= 1 && i <= kMaxCommands; }

// A command whose target skin is not in use is as good as absent.
bool leadsToSkin(const Level& lv, const CommandRec& c) { return skinInUse(lv, c.to); }

// Virtual-key codes are 16-bit; 0 is the code of a key without one.
bool isKeyCode(int key) { return key >= 1 && key <= 65535; }

bool isKeyOf(const CommandRec& c, int key) {
    return key != -1 && (c.key1 == key || c.key2 == key || c.key3 == key);
}

}  // namespace

bool skinInUse(const Level& lv, int s) { return s >= 1 && s <= skinCount(lv); }

bool isHeldKey(int key, int h1, int h2, int h3) { return key == h1 || key == h2 || key == h3; }

bool commandMatchesHeldKeys(const Level& lv, int i) {
    if (!commandInTable(i)) return false;
    const CommandRec& c = lv.command(i);
    const int h1 = lv.heldKeys[0], h2 = lv.heldKeys[1], h3 = lv.heldKeys[2];
    const bool noKeys = c.key1 == -1 && c.key2 == -1 && c.key3 == -1;
    if (h1 == -1 && h2 == -1 && h3 == -1) return noKeys;
    if (noKeys) return false;
    for (int k : {c.key1, c.key2, c.key3})
        if (k != -1 && !isHeldKey(k, h1, h2, h3)) return false;
    return true;
}

void updateActorSkin(Level& lv) {
    const int old = lv.currentSkin;

    if (lv.session.releasePending && atLastFrame(lv, lv.currentSkin)) {
        if (commandInTable(lv.lastActorCommand)) {
            int back = lv.command(lv.lastActorCommand).back;
            if (skinInUse(lv, back)) lv.currentSkin = back;
        }
        lv.session.releasePending = false;
    }

    const int n = commandCount(lv);
    if (skinInUse(lv, lv.currentSkin) && !isOneshot(lv, lv.currentSkin)) {
        for (int i = 1; i <= n; ++i) {
            const CommandRec& c = lv.command(i);
            if (c.from == lv.currentSkin && leadsToSkin(lv, c) && commandMatchesHeldKeys(lv, i)) {
                lv.currentSkin = c.to;
                lv.lastActorCommand = i;
                break;
            }
        }
    }

    if (isOneshot(lv, lv.currentSkin) && atLastFrame(lv, lv.currentSkin)) {
        for (int i = 1; i <= n; ++i) {
            const CommandRec& c = lv.command(i);
            if (c.from == lv.currentSkin && leadsToSkin(lv, c)) {
                lv.currentSkin = c.to;
                lv.lastActorCommand = i;
                break;
            }
        }
    }

    if (lv.currentSkin != old) {
        const int m = skinCount(lv);
        for (int s = 1; s <= m; ++s) lv.skin(s).frame = 1;
    }
}

void actorKeyDown(Level& lv, int key) {
    if (!isKeyCode(key)) {
        updateActorSkin(lv);
        return;
    }
    if (lv.heldKeys[0] == -1 && key != lv.heldKeys[1] && key != lv.heldKeys[2]) lv.heldKeys[0] = key;
    if (lv.heldKeys[1] == -1 && key != lv.heldKeys[0] && key != lv.heldKeys[2]) lv.heldKeys[1] = key;
    if (lv.heldKeys[2] == -1 && key != lv.heldKeys[0] && key != lv.heldKeys[1]) lv.heldKeys[2] = key;
    updateActorSkin(lv);
}

void actorKeyUp(Level& lv, int key) {
    if (!isKeyCode(key)) return;
    if (lv.heldKeys[0] == key) lv.heldKeys[0] = -1;
    if (lv.heldKeys[1] == key) lv.heldKeys[1] = -1;
    if (lv.heldKeys[2] == key) lv.heldKeys[2] = -1;
    if (lv.lastActorCommand == -1 || !commandInTable(lv.lastActorCommand)) return;
    const CommandRec& c = lv.command(lv.lastActorCommand);
    if (!isKeyOf(c, key)) return;
    if (!isOneshot(lv, lv.currentSkin) && skinInUse(lv, c.back)) lv.currentSkin = c.back;
    if (isOneshot(lv, lv.currentSkin)) lv.session.releasePending = true;
}

namespace {
void nextFrame(int& frame, int frameCount) {
    frame += 1;
    if (frame < 1 || frame > frameCount) frame = 1;
}
}  // namespace

void advanceActorFrame(Level& lv) {
    if (skinInUse(lv, lv.currentSkin)) nextFrame(lv.skin(lv.currentSkin).frame, lv.skin(lv.currentSkin).frameCount);
}

}  // namespace slv
