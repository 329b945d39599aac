#include "actor.h"

#include <algorithm>

namespace slv {

namespace {

int skinCount(const Level& lv) { return std::clamp(lv.totskins, 0, kMaxSkins); }
int commandCount(const Level& lv) { return std::clamp(lv.totcommands, 0, kMaxCommands); }

bool isOneshot(const Level& lv, int s) { return skinInUse(lv, s) && lv.skin(s).oneshot != 0; }

bool atLastFrame(const Level& lv, int s) {
    return skinInUse(lv, s) && lv.skin(s).pos == lv.skin(s).totpos;
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

bool seekkey(int key, int h1, int h2, int h3) { return key == h1 || key == h2 || key == h3; }

bool keypress(const Level& lv, int i) {
    if (!commandInTable(i)) return false;
    const CommandRec& c = lv.command(i);
    const int h1 = lv.heldkey1, h2 = lv.heldkey2, h3 = lv.heldkey3;
    const bool noKeys = c.key1 == -1 && c.key2 == -1 && c.key3 == -1;
    if (h1 == -1 && h2 == -1 && h3 == -1) return noKeys;
    if (noKeys) return false;
    for (int k : {c.key1, c.key2, c.key3})
        if (k != -1 && !seekkey(k, h1, h2, h3)) return false;
    return true;
}

void setkcom(Level& lv) {
    const int old = lv.curskin;

    if (lv.releasepending && atLastFrame(lv, lv.curskin)) {
        if (commandInTable(lv.kcom)) {
            int back = lv.command(lv.kcom).back;
            if (skinInUse(lv, back)) lv.curskin = back;
        }
        lv.releasepending = false;
    }

    const int n = commandCount(lv);
    if (skinInUse(lv, lv.curskin) && !isOneshot(lv, lv.curskin)) {
        for (int i = 1; i <= n; ++i) {
            const CommandRec& c = lv.command(i);
            if (c.from == lv.curskin && leadsToSkin(lv, c) && keypress(lv, i)) {
                lv.curskin = c.to;
                lv.kcom = i;
                break;
            }
        }
    }

    if (isOneshot(lv, lv.curskin) && atLastFrame(lv, lv.curskin)) {
        for (int i = 1; i <= n; ++i) {
            const CommandRec& c = lv.command(i);
            if (c.from == lv.curskin && leadsToSkin(lv, c)) {
                lv.curskin = c.to;
                lv.kcom = i;
                break;
            }
        }
    }

    if (lv.curskin != old) {
        const int m = skinCount(lv);
        for (int s = 1; s <= m; ++s) lv.skin(s).pos = 1;
    }
}

void actorKeyDown(Level& lv, int key) {
    if (!isKeyCode(key)) {
        setkcom(lv);
        return;
    }
    if (lv.heldkey1 == -1 && key != lv.heldkey2 && key != lv.heldkey3) lv.heldkey1 = key;
    if (lv.heldkey2 == -1 && key != lv.heldkey1 && key != lv.heldkey3) lv.heldkey2 = key;
    if (lv.heldkey3 == -1 && key != lv.heldkey1 && key != lv.heldkey2) lv.heldkey3 = key;
    setkcom(lv);
}

void actorKeyUp(Level& lv, int key) {
    if (!isKeyCode(key)) return;
    if (lv.heldkey1 == key) lv.heldkey1 = -1;
    if (lv.heldkey2 == key) lv.heldkey2 = -1;
    if (lv.heldkey3 == key) lv.heldkey3 = -1;
    if (lv.kcom == -1 || !commandInTable(lv.kcom)) return;
    const CommandRec& c = lv.command(lv.kcom);
    if (!isKeyOf(c, key)) return;
    if (!isOneshot(lv, lv.curskin) && skinInUse(lv, c.back)) lv.curskin = c.back;
    if (isOneshot(lv, lv.curskin)) lv.releasepending = true;
}

}  // namespace slv
