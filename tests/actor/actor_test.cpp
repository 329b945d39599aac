#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "actor/actor.h"
#include "actor/vkeys.h"
#include "common/ints.h"

using namespace slv;

namespace {

constexpr int L = vk::Left, U = vk::Up, R = vk::Right, S = vk::Space, D = vk::Down;

class ActorTest : public ::testing::Test {
protected:
    std::unique_ptr<Level> lv = std::make_unique<Level>();

    // Skins 1..n, `frames` frames each, starting on frame 1; `cur` is in use.
    void skins(int n, int frames = 4, int cur = 1) {
        for (int i = 1; i <= n; ++i) {
            SkinRec& s = lv->skin(i);
            s.name.set("skin" + std::to_string(i) + ".bmp");
            s.totpos = frames;
            s.pos = 1;
            s.oneshot = 0;
        }
        lv->totskins = n;
        lv->curskin = cur;
    }
    void oneshot(int s) { lv->skin(s).oneshot = 1; }
    int command(int from, int to, int back, int k1 = -1, int k2 = -1, int k3 = -1) {
        int i = ++lv->totcommands;
        lv->command(i) = CommandRec{k1, k2, k3, 0, from, to, back};
        return i;
    }
    void down(int k) { actorKeyDown(*lv, k); }
    void up(int k) { actorKeyUp(*lv, k); }
    Ints held() const { return {lv->heldkey1, lv->heldkey2, lv->heldkey3}; }
    Ints state() const { return {lv->curskin, lv->kcom}; }  // skin in use, last command
};

}  // namespace

TEST(SeekKey, MatchesAnyOfTheThreeSlots) {
    EXPECT_TRUE(seekkey(37, 37, -1, -1));
    EXPECT_TRUE(seekkey(37, -1, 37, -1));
    EXPECT_TRUE(seekkey(37, -1, -1, 37));
    EXPECT_FALSE(seekkey(37, 38, 39, 40));
    EXPECT_FALSE(seekkey(37, -1, -1, -1));
}

TEST_F(ActorTest, KeypressNeedsEveryKeyOfTheCommandAndNothingForNoKeys) {
    skins(2);
    constexpr int _ = -1;
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
        lv->command(1) = CommandRec{c.keys[0], c.keys[1], c.keys[2], 0, 1, 2, 1};
        lv->totcommands = 1;
        lv->heldkey1 = c.held[0], lv->heldkey2 = c.held[1], lv->heldkey3 = c.held[2];
        EXPECT_EQ(keypress(*lv, 1), c.matches) << ::testing::PrintToString(c.keys) << " held "
                                               << ::testing::PrintToString(c.held);
    }
    EXPECT_FALSE(keypress(*lv, 0));  // outside the table
    EXPECT_FALSE(keypress(*lv, 1001));
}

TEST_F(ActorTest, FirstMatchInTableOrderWins) {
    skins(3);
    command(1, 2, 1, L);
    command(1, 3, 1, L, U);
    down(U);
    EXPECT_EQ(state(), (Ints{1, -1}));
    down(L);
    EXPECT_EQ(state(), (Ints{2, 1}));
}

TEST_F(ActorTest, CommandWithoutKeysLeavesAsSoonAsNothingIsHeld) {
    skins(2, 4, 2);
    command(2, 1, 2);
    down(L);
    EXPECT_EQ(lv->curskin, 2);
    up(L);  // no command taken yet: only the slot is freed
    EXPECT_EQ(lv->curskin, 2);
    EXPECT_EQ(lv->heldkey1, -1);
    setkcom(*lv);
    EXPECT_EQ(state(), (Ints{1, 1}));
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
        lv->heldkey1 = lv->heldkey2 = lv->heldkey3 = -1;
        for (int e : c.events) e >= 0 ? down(e) : up(-e);
        EXPECT_EQ(held(), c.held) << ::testing::PrintToString(c.events);
    }
}

TEST_F(ActorTest, FourthKeyIsRecordedOnlyAfterAReleaseAndItsNextKeyDown) {
    skins(2);
    command(1, 2, 1, R);
    for (int k : {L, U, D, R}) down(k);  // fourth key: not recorded, no command
    EXPECT_EQ(held(), (Ints{L, U, D}));
    EXPECT_EQ(lv->curskin, 1);
    up(U);
    setkcom(*lv);
    EXPECT_EQ(lv->curskin, 1);  // still not held as far as the actor knows
    down(R);                    // auto-repeat of the fourth key
    EXPECT_EQ(lv->heldkey2, R);
    EXPECT_EQ(lv->curskin, 2);
}

TEST_F(ActorTest, ReleaseOnNormalSkinSwitchesToBackAtOnceKeepingItsFrame) {
    skins(3, 6);
    command(1, 2, 3, L);
    lv->skin(3).pos = 5;
    down(L);
    EXPECT_EQ(lv->curskin, 2);
    EXPECT_EQ(lv->skin(3).pos, 1);  // the switch restarted every skin
    lv->skin(3).pos = 4;
    lv->skin(2).pos = 3;
    up(L);
    EXPECT_EQ(lv->curskin, 3);
    EXPECT_EQ(lv->skin(3).pos, 4);
    EXPECT_EQ(lv->skin(2).pos, 3);
    EXPECT_FALSE(lv->releasepending);
}

TEST_F(ActorTest, ReleaseOfAKeyOutsideTheLastCommandChangesNothing) {
    skins(3);
    command(1, 2, 3, L);
    down(U);
    down(L);
    ASSERT_EQ(lv->curskin, 2);
    up(U);
    EXPECT_EQ(lv->curskin, 2);
    EXPECT_EQ(lv->heldkey1, -1);
}

TEST_F(ActorTest, ReleaseBeforeAnyCommandOnlyFreesTheSlot) {
    skins(2);
    command(1, 2, 2, L, U);
    down(L);
    up(L);
    EXPECT_EQ(lv->heldkey1, -1);
    EXPECT_EQ(state(), (Ints{1, -1}));
    EXPECT_FALSE(lv->releasepending);
}

TEST_F(ActorTest, OneShotSkinIgnoresKeysAndFollowsFirstCommandAtItsLastFrame) {
    skins(4, 3);
    oneshot(2);
    command(1, 2, 1, S);
    command(2, 4, 1, L);  // first command from 2: taken at the end, keys or not
    command(2, 3, 1, U);
    down(S);
    ASSERT_EQ(lv->curskin, 2);
    down(U);  // would match command 3 on a normal skin
    EXPECT_EQ(lv->curskin, 2);
    lv->skin(2).pos = 2;
    setkcom(*lv);
    EXPECT_EQ(lv->curskin, 2);
    lv->skin(2).pos = 3;
    lv->skin(4).pos = 2;
    setkcom(*lv);
    EXPECT_EQ(state(), (Ints{4, 2}));
    EXPECT_EQ(lv->skin(4).pos, 1);
}

TEST_F(ActorTest, ReleaseDuringOneShotIsPendingUntilTheLastFrame) {
    skins(3, 3);
    oneshot(2);
    command(1, 2, 1, S);
    command(2, 3, 3);  // end of the one-shot without a release
    down(S);
    ASSERT_EQ(lv->curskin, 2);
    up(S);
    EXPECT_EQ(lv->curskin, 2);
    EXPECT_TRUE(lv->releasepending);
    setkcom(*lv);  // frame 1 of 3
    EXPECT_EQ(lv->curskin, 2);
    EXPECT_TRUE(lv->releasepending);
    lv->skin(2).pos = 3;
    setkcom(*lv);
    EXPECT_EQ(lv->curskin, 1);  // back of command 1, not command 2's target
    EXPECT_FALSE(lv->releasepending);
    EXPECT_EQ(lv->skin(2).pos, 1);
}

TEST_F(ActorTest, OneShotAtItsLastFrameLeavesOnlyForASkinInUse) {
    // Skin 2 is a one-shot entered by command 1 (Space, back skin `back`),
    // leaving through command 2 to `next` when there is one; Space is let go
    // (pending release) or held at the last frame.
    struct Case {
        int back, next;
        bool released;
        Ints state;  // curskin, kcom after the last frame
    };
    const Case cases[] = {
        {1, 3, true, {1, 1}},     // the release goes back
        {1, 3, false, {3, 2}},    // held: the one-shot's own command
        {9, 3, true, {3, 2}},     // no back skin: the one-shot's own command
        {1, 9, false, {2, 1}},    // its command leads nowhere: it stays
        {9, 0, true, {2, 1}},     // nowhere to go at all
        {1, 0, false, {2, 1}},
    };
    for (const Case& c : cases) {
        lv->totcommands = 0;
        lv->heldkey1 = lv->heldkey2 = lv->heldkey3 = -1;
        lv->kcom = -1;
        lv->releasepending = false;
        skins(3, 3);
        oneshot(2);
        command(1, 2, c.back, S);
        if (c.next) command(2, c.next, 1);
        down(S);
        if (c.released) up(S);
        EXPECT_EQ(lv->releasepending, c.released);
        lv->skin(2).pos = 3;
        setkcom(*lv);
        EXPECT_EQ(state(), c.state) << c.back << " " << c.next << " " << c.released;
        EXPECT_FALSE(lv->releasepending);
    }
}

TEST_F(ActorTest, ReleaseIntoAOneShotBackSkinMarksThePendingRelease) {
    skins(3, 3);
    oneshot(3);
    command(1, 2, 3, L);
    down(L);
    up(L);
    EXPECT_EQ(lv->curskin, 3);
    EXPECT_TRUE(lv->releasepending);
}

TEST_F(ActorTest, CurskinZeroChangesNothing) {
    skins(2, 4, 0);
    command(0, 1, 1);  // names no skin in use
    command(0, 2, 2, L);
    setkcom(*lv);
    down(L);
    EXPECT_EQ(state(), (Ints{0, -1}));
    lv->totskins = 0;
    setkcom(*lv);
    EXPECT_EQ(lv->curskin, 0);
}

TEST_F(ActorTest, SkinsOutsideTheTableAreNeverTargetsOrBackSkins) {
    skins(2);
    command(1, 301, 1, L);
    command(1, 3, 1, L);  // beyond totskins
    command(1, 2, 0, L);  // back skin 0: ignored on release
    down(L);
    EXPECT_EQ(state(), (Ints{2, 3}));
    up(L);
    EXPECT_EQ(lv->curskin, 2);
}

TEST_F(ActorTest, CountsBeyondTheTablesStayInside) {
    skins(2);
    lv->totskins = 100000;  // nonsense counts are clamped to the tables
    lv->totcommands = 100000;
    lv->command(1) = CommandRec{L, -1, -1, 0, 1, 2, 1};
    for (int i = 2; i <= kMaxCommands; ++i) lv->command(i) = CommandRec{-1, -1, -1, 0, -1, 0, 0};
    down(L);
    EXPECT_EQ(lv->curskin, 2);
    EXPECT_EQ(lv->skin(kMaxSkins).pos, 1);
}

TEST_F(ActorTest, SkinChangeRestartsOnlySkinsInUse) {
    skins(2);
    lv->skin(3).pos = 7;  // beyond totskins: not touched
    lv->skin(1).pos = 3;
    command(1, 2, 1, L);
    down(U);  // no change of skin: frames go on
    EXPECT_EQ(lv->skin(1).pos, 3);
    down(L);
    EXPECT_EQ(lv->skin(1).pos, 1);
    EXPECT_EQ(lv->skin(3).pos, 7);
}
