// The actor's keys and commands: the slot a key takes, the command a set of
// held keys fires, and where a one-shot skin goes at its last frame.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "actor/actor.h"
#include "actor/vkeys.h"
#include "common/error_text.h"
#include "common/ints.h"

using namespace slv;

namespace {

constexpr int L = vk::Left, U = vk::Up, R = vk::Right, S = vk::Space, D = vk::Down, _ = -1;
// Script events besides key codes (down) and negated key codes (up).
constexpr int kFrame = 100000;                                  // a frame goes by: updateActorSkin
constexpr int lastFrameOf(int skin) { return 200000 + skin; }  // the skin shows its last frame

CommandRec cmd(int from, int to, int back, int k1 = _, int k2 = _, int k3 = _) {
    return CommandRec{k1, k2, k3, 0, from, to, back};
}

class ActorTest : public ::testing::Test {
protected:
    std::unique_ptr<ActorState> lv = std::make_unique<ActorState>();

    // Skins 1..n, `frames` frames each, starting on frame 1; `cur` is in use.
    void skins(int n, int frames = 4, int cur = 1) {
        for (int i = 1; i <= n; ++i) {
            SkinRec& s = lv->skin(i);
            s.name.set("skin" + std::to_string(i) + ".bmp");
            s.frameCount = frames;
            s.frame = 1;
            s.oneShot = 0;
        }
        lv->skinCount = n;
        lv->currentSkin = cur;
    }
    int command(int from, int to, int back, int k1 = _, int k2 = _, int k3 = _) {
        int i = ++lv->commandCount;
        lv->command(i) = cmd(from, to, back, k1, k2, k3);
        return i;
    }
    void down(int k) { actorKeyDown(*lv, k); }
    void up(int k) { actorKeyUp(*lv, k); }
    Ints held() const { return {lv->heldKeys[0], lv->heldKeys[1], lv->heldKeys[2]}; }
    Ints state() const { return {lv->currentSkin, lv->lastCommand}; }  // skin in use, last command
    // Runs the events; the skin in use after each.
    Ints run(const Ints& events) {
        Ints trace;
        for (int e : events) {
            if (e == kFrame) updateActorSkin(*lv);
            else if (e > 200000) lv->skin(e - 200000).frame = lv->skin(e - 200000).frameCount;
            else if (e >= 0) down(e);
            else up(-e);
            trace.push_back(lv->currentSkin);
        }
        return trace;
    }
};

}  // namespace

TEST_F(ActorTest, KeypressNeedsEveryKeyOfTheCommandAndNothingForNoKeys) {
    skins(2);
    struct Case {
        Ints keys, held;
        bool matches;
    };
    const Case cases[] = {
        {{_, _, _}, {_, _, _}, true},  // nothing held: only commands without keys
        {{L, _, _}, {_, _, _}, false},
        {{_, _, _}, {_, L, _}, false},
        {{L, _, _}, {_, L, _}, true},
        {{_, _, S}, {_, _, S}, true},
        {{L, U, _}, {_, L, _}, false},
        {{L, U, _}, {_, L, U}, true},
        {{L, U, _}, {D, L, U}, true},  // an extra key does not matter
        {{L, U, S}, {L, U, _}, false},  // three keys: any two are not enough
        {{L, U, S}, {L, _, S}, false},
        {{L, U, S}, {_, U, S}, false},
        {{L, U, S}, {S, L, U}, true},
    };
    for (const Case& c : cases) {
        lv->command(1) = cmd(1, 2, 1, c.keys[0], c.keys[1], c.keys[2]);
        lv->commandCount = 1;
        lv->heldKeys[0] = c.held[0], lv->heldKeys[1] = c.held[1], lv->heldKeys[2] = c.held[2];
        EXPECT_EQ(commandMatchesHeldKeys(*lv, 1), c.matches) << ::testing::PrintToString(c.keys) << " held "
                                               << ::testing::PrintToString(c.held);
    }
    EXPECT_FALSE(commandMatchesHeldKeys(*lv, 0));  // outside the table
    EXPECT_FALSE(commandMatchesHeldKeys(*lv, 1001));
}

TEST_F(ActorTest, KeysTakeTheFirstFreeSlotAndAutoRepeatTakesNoSecond) {
    skins(1);
    // Key events (positive: down, negative: up) and the slots afterwards.
    struct Case {
        Ints events, held;
    };
    const Case cases[] = {
        {{L, U}, {L, U, -1}},
        {{L, U, -L, S}, {S, U, -1}},
        {{L, U, -L, S, S, S}, {S, U, -1}},
        {{L, U, -L, U}, {-1, U, -1}},         // repeat of the key in slot 2
        {{L, U, S, -L, S}, {-1, U, S}},       // repeat of the key in slot 3
        {{L, U, S, -U, S, S}, {L, -1, S}},
        {{L, U, S, -L, -U, S}, {-1, -1, S}},
        {{L, U, S, D}, {L, U, S}},            // a fourth key finds no slot
        {{0, 70000, L}, {L, -1, -1}},         // keys without a code are not held
    };
    for (const Case& c : cases) {
        lv->heldKeys[0] = lv->heldKeys[1] = lv->heldKeys[2] = -1;
        for (int e : c.events) e >= 0 ? down(e) : up(-e);
        EXPECT_EQ(held(), c.held) << ::testing::PrintToString(c.events);
    }
}

TEST_F(ActorTest, ReleaseOnNormalSkinSwitchesToBackAtOnceKeepingItsFrame) {
    skins(3, 6);
    command(1, 2, 3, L);
    lv->skin(3).frame = 5;
    down(L);
    EXPECT_EQ(lv->currentSkin, 2);
    EXPECT_EQ(lv->skin(3).frame, 1);  // the switch restarted every skin
    lv->skin(3).frame = 4;
    lv->skin(2).frame = 3;
    up(L);
    EXPECT_EQ((Ints{lv->currentSkin, lv->skin(3).frame, lv->skin(2).frame}), (Ints{3, 4, 3}));
    EXPECT_FALSE(lv->releasePending);
}

TEST_F(ActorTest, CountsBeyondTheTablesStayInside) {
    skins(2);
    lv->skinCount = 100000;  // nonsense counts are clamped to the tables
    lv->commandCount = 100000;
    lv->command(1) = CommandRec{L, -1, -1, 0, 1, 2, 1};
    for (int i = 2; i <= kMaxCommands; ++i) lv->command(i) = CommandRec{-1, -1, -1, 0, -1, 0, 0};
    down(L);
    EXPECT_EQ((Ints{lv->currentSkin, lv->skin(kMaxSkins).frame}), (Ints{2, 1}));
}

TEST_F(ActorTest, SkinChangeRestartsOnlySkinsInUse) {
    skins(2);
    lv->skin(3).frame = 7;  // beyond skinCount: not touched
    lv->skin(1).frame = 3;
    command(1, 2, 1, L);
    down(U);  // no change of skin: frames go on
    EXPECT_EQ(lv->skin(1).frame, 3);
    down(L);
    EXPECT_EQ((Ints{lv->skin(1).frame, lv->skin(3).frame}), (Ints{1, 7}));
}

// Scripts of key events and frames: the skin in use after each event, the
// last command taken and whether a release waits for a one-shot's end.
TEST_F(ActorTest, ScriptsFollowTheCommands) {
    const int F = kFrame, end2 = lastFrameOf(2);
    struct Script {
        const char* name;
        int skins, cur, oneShot;
        std::vector<CommandRec> commands;
        Ints events, trace;
        int lastActorCommand;
        bool pending;
    };
    const Script scripts[] = {
        {"the first match in table order wins", 3, 1, 0, {cmd(1, 2, 1, L), cmd(1, 3, 1, L, U)}, {U, L}, {1, 2}, 1, false},
        {"a command without keys waits for a frame with nothing held", 2, 2, 0, {cmd(2, 1, 2)}, {L, -L, F},
         {2, 2, 1}, 1, false},
        {"release of a key outside the last command", 3, 1, 0, {cmd(1, 2, 3, L)}, {U, L, -U}, {1, 2, 2}, 1, false},
        {"release before any command only frees the slot", 2, 1, 0, {cmd(1, 2, 2, L, U)}, {L, -L}, {1, 1}, -1, false},
        {"release on a normal skin goes back at once", 3, 1, 0, {cmd(1, 2, 3, L)}, {L, -L}, {2, 3}, 1, false},
        {"a fourth key counts only from its next key down", 2, 1, 0, {cmd(1, 2, 1, R)}, {L, U, D, R, -U, F, R},
         {1, 1, 1, 1, 1, 1, 2}, 1, false},
        {"a one-shot ignores keys and takes its first command at its end", 4, 1, 2,
         {cmd(1, 2, 1, S), cmd(2, 4, 1, L), cmd(2, 3, 1, U)}, {S, U, F, end2, F}, {2, 2, 2, 2, 4}, 2, false},
        {"a release during a one-shot waits for its end, then goes back", 3, 1, 2, {cmd(1, 2, 1, S), cmd(2, 3, 3)},
         {S, -S, F, end2, F}, {2, 2, 2, 2, 1}, 1, false},
        {"held at the end: the one-shot's own command", 3, 1, 2, {cmd(1, 2, 1, S), cmd(2, 3, 1)}, {S, end2, F},
         {2, 2, 3}, 2, false},
        {"released without a back skin: the one-shot's own command", 3, 1, 2, {cmd(1, 2, 9, S), cmd(2, 3, 1)},
         {S, -S, end2, F}, {2, 2, 2, 3}, 2, false},
        {"its command leads nowhere: it stays", 3, 1, 2, {cmd(1, 2, 1, S), cmd(2, 9, 1)}, {S, end2, F}, {2, 2, 2}, 1,
         false},
        {"released with nowhere to go", 3, 1, 2, {cmd(1, 2, 9, S)}, {S, -S, end2, F}, {2, 2, 2, 2}, 1, false},
        {"held with nowhere to go", 3, 1, 2, {cmd(1, 2, 1, S)}, {S, end2, F}, {2, 2, 2}, 1, false},
        {"a release into a one-shot back skin waits for its end", 3, 1, 3, {cmd(1, 2, 3, L)}, {L, -L}, {2, 3}, 1, true},
        {"no skin in use: nothing changes", 2, 0, 0, {cmd(0, 1, 1), cmd(0, 2, 2, L)}, {F, L}, {0, 0}, -1, false},
        {"skins outside the table are never targets or back skins", 2, 1, 0,
         {cmd(1, 301, 1, L), cmd(1, 3, 1, L), cmd(1, 2, 0, L)}, {L, -L}, {2, 2}, 3, false},
    };
    for (const Script& sc : scripts) {
        SCOPED_TRACE(sc.name);
        lv = std::make_unique<ActorState>();
        skins(sc.skins, 3, sc.cur);
        if (sc.oneShot) lv->skin(sc.oneShot).oneShot = 1;
        for (const CommandRec& c : sc.commands) lv->command(++lv->commandCount) = c;
        EXPECT_EQ(run(sc.events), sc.trace);
        EXPECT_EQ(lv->lastCommand, sc.lastActorCommand);
        EXPECT_EQ(lv->releasePending, sc.pending);
    }
}

// One animation step of the actor: its skin's next frame, the first again
// after the last or from a frame out of range.
TEST_F(ActorTest, AdvanceActorFrameWrapsTheSkin) {
    struct Case {
        int frame, frameCount, expected;
    } cases[] = {{1, 4, 2}, {3, 4, 4}, {4, 4, 1}, {0, 4, 1}, {-7, 4, 1}, {9, 4, 1}, {1, 1, 1}, {1, 0, 1}};
    skins(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frame << " of " << c.frameCount);
        lv->skin(1).frame = c.frame;
        lv->skin(1).frameCount = c.frameCount;
        advanceActorFrame(*lv);
        EXPECT_EQ(lv->skin(1).frame, c.expected);
    }
}

TEST(ActorState, NumbersOutsideTheTablesAreARangeCheckError) {
    ActorState actor;
    const std::pair<std::function<void()>, bool> cases[] = {
        {[&] { actor.skin(0); }, true},      {[&] { actor.skin(301); }, true},   {[&] { actor.skin(300); }, false},
        {[&] { actor.command(0); }, true},   {[&] { actor.command(1001); }, true},
        {[&] { actor.command(1000); }, false},
    };
    int i = 0;
    for (const auto& [call, refused] : cases) EXPECT_EQ(errorOf(call), refused ? "Range check error" : "") << i++;
}
